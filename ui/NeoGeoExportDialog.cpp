#include "ui/NeoGeoExportDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "game_db/GamesList.h"
#include "ui/FileChoosers.h"

namespace qm {

namespace {

QRadioButton* NewRadio(QWidget* parent, const char* name, const char* caption, bool checked = false) {
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(name);
    button->setChecked(checked);
    return button;
}

}  // namespace

TNeogeoCopyOpt::TNeogeoCopyOpt(const TGamesList& games, std::string baseDir, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), games_(games), baseDir_(std::move(baseDir)), prompts_(prompts) {
    setObjectName("NeogeoCopyOpt");
    setWindowTitle("Neogeo export options");

    auto* destination = new QGroupBox("Destination", this);
    MoveFiles = NewRadio(destination, "MoveFiles", "Move games", true);
    Copyfiles = NewRadio(destination, "Copyfiles", "Copy games");
    Replace = new QCheckBox("Replace existing", destination);
    Replace->setObjectName("Replace");
    Replace->setChecked(true);
    DestPath =
        new TPathEdit(TPathEdit::Kind::Directory, "Select the folder to export the Neo-Geo games to", destination);
    DestPath->setObjectName("DestPath");
    DestPath->StartDir = [this] { return DestPath->Path().empty() ? baseDir_ : DestPath->Path(); };
    auto* modes = new QHBoxLayout;
    modes->addWidget(MoveFiles);
    modes->addWidget(Copyfiles);
    modes->addStretch();
    modes->addWidget(Replace);
    auto* destinationLayout = new QVBoxLayout(destination);
    destinationLayout->addLayout(modes);
    destinationLayout->addWidget(DestPath);

    auto* source = new QGroupBox("Source", this);
    AllSets = NewRadio(source, "AllSets", "All sets", true);
    WorkingSets = NewRadio(source, "WorkingSets", "Only working sets");
    auto* sourceLayout = new QHBoxLayout(source);
    sourceLayout->addWidget(AllSets);
    sourceLayout->addWidget(WorkingSets);
    sourceLayout->addStretch();

    Button1 = new QPushButton("&Ok", this);
    Button1->setObjectName("Button1");
    Button1->setDefault(true);
    Button2 = new QPushButton("&Cancel", this);
    Button2->setObjectName("Button2");
    Button2->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TNeogeoCopyOpt::accept);
    connect(Button2, &QPushButton::clicked, this, &TNeogeoCopyOpt::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(destination);
    layout->addWidget(source);
    layout->addLayout(buttons);
    setMinimumWidth(420);
}

void TNeogeoCopyOpt::showEvent(QShowEvent* event) {
    DestPath->SetPath(games_.EmulatorDir);
    QDialog::showEvent(event);
}

void TNeogeoCopyOpt::accept() {
    // A folder typed without its trailing '/' is completed: joined to a file name as it stands,
    // it would name a file beside the folder.
    if (!CheckFolderField(*DestPath, baseDir_, prompts_, CheckExportDestination)) {
        return;
    }
    QDialog::accept();
}

NeoGeoExportOptions TNeogeoCopyOpt::Options() const {
    NeoGeoExportOptions options;
    options.Destination = DestPath->Path();
    options.Move = MoveFiles->isChecked();
    options.ReplaceExisting = Replace->isChecked();
    options.OnlyWorkingSets = WorkingSets->isChecked();
    return options;
}

}  // namespace qm
