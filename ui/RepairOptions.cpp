#include "ui/RepairOptions.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "commands/Commands.h"
#include "config/config.h"
#include "platform/UserPrompts.h"
#include "ui/DialogParts.h"
#include "ui/DisplayText.h"
#include "ui/FileChoosers.h"

namespace qm {

TRepairOptions::TRepairOptions(TConfig& config, std::string baseDir, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), config_(config), baseDir_(std::move(baseDir)), prompts_(prompts) {
    setObjectName("RepairOptions");
    setWindowTitle("Repair Options");

    Label1 = new QLabel("BACKUP YOUR ROMS BEFORE REPAIRING THEM.", this);
    Label1->setObjectName("Label1");
    Label1->setAlignment(Qt::AlignHCenter);

    // Hidden: the three are always handed over as on.
    OptionsGroup = new QGroupBox("Options", this);
    cleanSet = NewCheck(OptionsGroup, "cleanSet", "Repair incorrect roms filenames", true);
    Spread = NewCheck(OptionsGroup, "Spread", "Copy roms in sets where they are required", true);
    nogooddump = NewCheck(OptionsGroup, "nogooddump", "Also repair roms with 'no good dump known'", true);
    auto* optionsLayout = new QVBoxLayout(OptionsGroup);
    for (QCheckBox* box : {cleanSet, Spread, nogooddump}) {
        optionsLayout->addWidget(box);
    }
    OptionsGroup->hide();

    const MoveChoice unknown =
        NewMoveChoice(this, "Useless files and roms", "Unknown",
                      "Select a directory to move useless files :", "Select a directory to move useless files",
                      baseDir_, /*deleteFirst=*/true);
    DeleteUnknown = unknown.Delete;
    MoveUnknown = unknown.Move;
    IgnoreUnknown = unknown.Ignore;
    UnknownLabel = unknown.Label;
    UnknownPath = unknown.Path;
    const MoveChoice corrupted =
        NewMoveChoice(this, "Corrupted files", "Corrupted",
                      "Select a directory to move corrupted files :", "Select a directory to move corrupted files",
                      baseDir_, /*deleteFirst=*/false);
    MoveCorrupted = corrupted.Move;
    DeleteCorrupted = corrupted.Delete;
    IgnoreCorrupted = corrupted.Ignore;
    CorruptedLabel = corrupted.Label;
    CorruptedPath = corrupted.Path;
    for (QRadioButton* button :
         {DeleteUnknown, MoveUnknown, IgnoreUnknown, MoveCorrupted, DeleteCorrupted, IgnoreCorrupted}) {
        connect(button, &QRadioButton::toggled, this, &TRepairOptions::ChoicesChanged);
    }

    auto* general = new QGroupBox("General", this);
    NotSplit = NewRadio(general, "NotSplit", "One file per set");
    Split = NewRadio(general, "Split", "One file per clone (split)");
    auto* generalLayout = new QHBoxLayout(general);
    generalLayout->addWidget(Split);
    generalLayout->addWidget(NotSplit);
    generalLayout->addStretch();

    auto* infos = new QGroupBox("Infos", this);
    Memo1 = new QPlainTextEdit(infos);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setPlainText(
        "The repair process will fix the following problems:\n  - Bad zip file name\n  - Bad rom name\n"
        "  - Roms needed in other zip files\n  - Roms not used in a zip file\n  - Files not recognized as roms.");
    auto* infosLayout = new QVBoxLayout(infos);
    infosLayout->addWidget(Memo1);

    QBoxLayout* buttons = NewOkCancelRow(this, OK, Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(OptionsGroup);
    layout->addWidget(unknown.Box);
    layout->addWidget(corrupted.Box);
    layout->addWidget(general);
    layout->addWidget(infos);
    layout->addLayout(buttons);
    ChoicesChanged();
}

void TRepairOptions::showEvent(QShowEvent* event) {
    ChoicesChanged();
    (config_.SplitMode ? Split : NotSplit)->setChecked(true);
    QDialog::showEvent(event);
}

void TRepairOptions::ChoicesChanged() {
    UnknownLabel->setEnabled(MoveUnknown->isChecked());
    UnknownPath->setEnabled(MoveUnknown->isChecked());
    CorruptedLabel->setEnabled(MoveCorrupted->isChecked());
    CorruptedPath->setEnabled(MoveCorrupted->isChecked());
}

void TRepairOptions::accept() {
    if (MoveCorrupted->isChecked() &&
        !CheckMoveDirectory(*CorruptedPath, "Select a directory to move corrupted files.", baseDir_, prompts_)) {
        return;
    }
    if (MoveUnknown->isChecked() &&
        !CheckMoveDirectory(*UnknownPath, "Select a directory to move useless files.", baseDir_, prompts_)) {
        return;
    }
    if ((DeleteUnknown->isChecked() || DeleteCorrupted->isChecked()) &&
        !prompts_.Ask(MessageKind::Warning, kRepairDeleteWarning)) {
        return;
    }
    config_.SplitMode = Split->isChecked();
    QDialog::accept();
}

TCheckOptions TRepairOptions::Options(TCheckOptions base) const {
    base.RepairNames = cleanSet->isChecked();
    base.RepairNeededElsewhere = Spread->isChecked();
    base.RepairNoGoodDump = nogooddump->isChecked();
    base.Unknown = ChosenAction<UnknownAction>(MoveUnknown, DeleteUnknown);
    base.UnknownPath = UnknownPath->Path();
    base.Corrupted = ChosenAction<CorruptedAction>(MoveCorrupted, DeleteCorrupted);
    base.CorruptedPath = CorruptedPath->Path();
    base.SplitMode = Split->isChecked();
    return base;
}

TRepairPreview::TRepairPreview(const std::vector<std::string>& actions, QWidget* parent) : QDialog(parent) {
    setObjectName("RepairPreview");
    setWindowTitle("Repair");
    auto* label = new QLabel(
        actions.empty()
            ? QString("The repair has nothing to do.")
            : QString("The repair will take these %1 actions (deleted files go to the Trash):").arg(actions.size()),
        this);
    Actions = new QListWidget(this);
    Actions->setObjectName("Actions");
    for (const std::string& action : actions) {
        Actions->addItem(ToDisplay(action));
    }
    QBoxLayout* buttons = NewOkCancelRow(this, OK, Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(Actions);
    layout->addLayout(buttons);
    resize(720, 420);
}

}  // namespace qm
