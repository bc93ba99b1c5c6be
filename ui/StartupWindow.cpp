#include "ui/StartupWindow.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "ui/Icons.h"
#include "ui/WaitWindow.h"

namespace qm::ProgressDlg {

TProgressFrm::TProgressFrm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("ProgressFrm");
    setWindowTitle("Quillmark");
    setCursor(Qt::WaitCursor);

    auto* group = new QGroupBox("Loading. Please wait...", this);
    Version = new QLabel(group);
    Version->setObjectName("Version");
    Version->setAlignment(Qt::AlignCenter);
    Version->setTextFormat(Qt::PlainText);
    auto makeValue = [group](const char* name) {
        auto* label = new QLabel(group);
        label->setObjectName(name);
        label->setMinimumWidth(80);
        return label;
    };
    sets = makeValue("sets");
    clones = makeValue("clones");
    roms = makeValue("roms");
    infos = new QLabel("Initializing...", group);
    infos->setObjectName("infos");
    infos->setTextFormat(Qt::PlainText);
    // A fixed width: the lines name directories of any length.
    infos->setFixedWidth(320);
    ProgressBar = new QProgressBar(group);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);

    auto* counts = new QFormLayout;
    counts->addRow("Sets :", sets);
    counts->addRow("Clones :", clones);
    counts->addRow("Roms :", roms);
    auto* picture = new QLabel(group);
    picture->setPixmap(ApplicationIcon().pixmap(64, 64));
    auto* middle = new QHBoxLayout;
    middle->addLayout(counts);
    middle->addStretch();
    middle->addWidget(picture);

    auto* inner = new QVBoxLayout(group);
    inner->addWidget(Version);
    inner->addLayout(middle);
    inner->addWidget(infos);
    inner->addWidget(ProgressBar);

    auto* authorship = new QLabel("Quillmark, a ROM collection keeper, by the Quillmark developers", this);
    authorship->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(authorship);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TProgressFrm::showEvent(QShowEvent* event) {
    sets->clear();
    clones->clear();
    roms->clear();
    QDialog::showEvent(event);
    CentreOnScreen(this);
}

void TProgressFrm::closeEvent(QCloseEvent* event) {
    // It closes when the start-up has ended, not before.
    event->ignore();
}

}  // namespace qm::ProgressDlg
