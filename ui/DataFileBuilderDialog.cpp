#include "ui/DataFileBuilderDialog.h"

#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "commands/Profiles.h"
#include "platform/UserPrompts.h"
#include "ui/DisplayText.h"

namespace qm {

namespace {

// The emulator's picture: a badge with its family name, drawn here rather than taken from
// anywhere.
QPixmap EmulatorBadge(const QString& text, QColor top, QColor bottom, qreal ratio) {
    const QSizeF size(96, 40);
    QPixmap pixmap((size * ratio).toSize());
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, size.height());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(QPointF(1, 1), size - QSizeF(2, 2)), 8, 8);
    painter.fillPath(shape, fill);
    painter.setPen(QPen(bottom.darker(150), 1.5));
    painter.drawPath(shape);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(20);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(QPointF(0, 0), size), Qt::AlignCenter, text);
    return pixmap;
}

QLabel* NewValue(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

TDataFileBuilder::TDataFileBuilder(UserPrompts& prompts, QWidget* parent) : QDialog(parent), prompts_(prompts) {
    setObjectName("DataFileBuilder");
    setWindowTitle("Data File builder");

    const qreal ratio = devicePixelRatioF();
    MameImage = new QLabel(this);
    MameImage->setObjectName("MameImage");
    MameImage->setPixmap(EmulatorBadge("MAME", QColor(0x3a, 0x6e, 0xc8), QColor(0x1c, 0x3c, 0x7a), ratio));
    RaineImage = new QLabel(this);
    RaineImage->setObjectName("RaineImage");
    RaineImage->setPixmap(EmulatorBadge("Raine", QColor(0xe0, 0x6a, 0x2c), QColor(0x9a, 0x36, 0x10), ratio));

    FileLabel = new QLabel("Binary file :", this);
    ExeFile = NewValue(this, "ExeFile");
    VersionLabel = new QLabel("Version :", this);
    Version = NewValue(this, "Version");
    auto* nameLabel = new QLabel("Quillmark data file name (ex: mame 36b1) :", this);
    DatafileName = new QLineEdit(this);
    DatafileName->setObjectName("DatafileName");
    nameLabel->setBuddy(DatafileName);

    Build = new QPushButton("&Build", this);
    Build->setObjectName("Build");
    Build->setDefault(true);
    Cancel = new QPushButton("&Cancel", this);
    Cancel->setObjectName("Cancel");
    Cancel->setAutoDefault(false);
    connect(Build, &QPushButton::clicked, this, &TDataFileBuilder::accept);
    connect(Cancel, &QPushButton::clicked, this, &TDataFileBuilder::reject);

    auto* fields = new QGridLayout;
    fields->addWidget(FileLabel, 0, 0);
    fields->addWidget(ExeFile, 0, 1);
    fields->addWidget(VersionLabel, 1, 0);
    fields->addWidget(Version, 1, 1);
    fields->setColumnStretch(1, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(MameImage, 0, Qt::AlignTop);
    top->addWidget(RaineImage, 0, Qt::AlignTop);
    top->addLayout(fields, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Build);
    buttons->addWidget(Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(nameLabel);
    layout->addWidget(DatafileName);
    layout->addLayout(buttons);
    setMinimumWidth(420);
}

void TDataFileBuilder::Prepare(BuilderSource source, const std::string& file, const std::string& version,
                               const std::string& proposedName) {
    MameImage->setVisible(source == BuilderSource::Mame);
    RaineImage->setVisible(source == BuilderSource::Raine);
    switch (source) {
        case BuilderSource::Mame:
            setWindowTitle("Mame informations");
            break;
        case BuilderSource::Raine:
            setWindowTitle("Raine informations");
            break;
        case BuilderSource::Datafile:
            setWindowTitle("Datafile informations");
            break;
    }
    const bool emulator = source != BuilderSource::Datafile;
    FileLabel->setText(emulator ? "Binary file :" : "Datafile :");
    ExeFile->setText(QFile::decodeName(QByteArray::fromStdString(file)));
    VersionLabel->setVisible(emulator);
    Version->setVisible(emulator);
    Version->setText(ToDisplay(version));
    DatafileName->setText(QFile::decodeName(QByteArray::fromStdString(proposedName)));
    DatafileName->selectAll();
    DatafileName->setFocus();
    adjustSize();
}

std::string TDataFileBuilder::DatafileNameText() const {
    // The name names a file: its bytes are those of a file name. A ".dat" typed along is the one
    // the datafile gets anyway.
    return ProfileNameFromArgument(QFile::encodeName(DatafileName->text()).toStdString());
}

void TDataFileBuilder::accept() {
    if (const auto problem = ProfileNameProblem(DatafileNameText())) {
        prompts_.Show(MessageKind::Warning, "The datafile cannot be saved under this name: " + *problem + ".");
        DatafileName->setFocus();
        return;
    }
    QDialog::accept();
}

}  // namespace qm
