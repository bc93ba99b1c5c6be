#include "ui/AuditOptions.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "config/config.h"
#include "ui/DialogParts.h"
#include "ui/FileChoosers.h"

namespace qm {

TAuditOptions::TAuditOptions(TConfig& config, std::string baseDir, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), config_(config), baseDir_(std::move(baseDir)), prompts_(prompts) {
    setObjectName("AuditOptions");
    setWindowTitle("Audit Options");

    auto* report = new QGroupBox("Select what you want in the report", this);
    correctroms = NewCheck(report, "correctroms", "Correct roms", false);
    badromnames = NewCheck(report, "badromnames", "Incorrect roms filenames", true);
    badfilenames = NewCheck(report, "badfilenames", "Incorrect zip filenames", true);
    NoGoodDumpRoms = NewCheck(report, "NoGoodDumpRoms", "Handle 'No good dump known'", false);
    Spread = NewCheck(report, "Spread", "Roms required in other sets", true);
    RomsNotNeeded = NewCheck(report, "RomsNotNeeded", "Roms not needed", true);
    correctfiles = NewCheck(report, "correctfiles", "Correct filenames", false);
    RefreshCache = NewCheck(report, "RefreshCache", "Refresh internal cache", false);
    UnknownRoms = NewCheck(report, "UnknownRoms", "Unknown roms", true);
    auto* reportLayout = new QGridLayout(report);
    QCheckBox* const order[] = {correctroms,   badromnames,  badfilenames, NoGoodDumpRoms, Spread,
                                RomsNotNeeded, correctfiles, RefreshCache, UnknownRoms};
    for (int i = 0; i < 9; ++i) {
        reportLayout->addWidget(order[i], i % 5, i / 5);
    }

    auto* mode = new QWidget(this);
    NotSplit = NewRadio(mode, "NotSplit", "One file per set");
    Split = NewRadio(mode, "Split", "One file per clone (split)");
    auto* modeLayout = new QHBoxLayout(mode);
    modeLayout->setContentsMargins(0, 0, 0, 0);
    modeLayout->addWidget(NotSplit);
    modeLayout->addWidget(Split);
    modeLayout->addStretch();

    const MoveChoice corrupted = NewMoveChoice(
        this, "Corrupted files", "Corrupted",
        "Select a directory to move corrupted files :", "Select a directory to move corrupted files", baseDir_, false);
    MoveCorrupted = corrupted.Move;
    DeleteCorrupted = corrupted.Delete;
    IgnoreCorrupted = corrupted.Ignore;
    CorruptedLabel = corrupted.Label;
    CorruptedPath = corrupted.Path;
    for (QRadioButton* button : {MoveCorrupted, DeleteCorrupted, IgnoreCorrupted}) {
        connect(button, &QRadioButton::toggled, this, &TAuditOptions::CorruptedChoiceChanged);
    }
    QBoxLayout* buttons = NewOkCancelRow(this, OK, Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(report);
    layout->addWidget(mode);
    layout->addWidget(corrupted.Box);
    layout->addLayout(buttons);
    CorruptedChoiceChanged();
}

void TAuditOptions::showEvent(QShowEvent* event) {
    CorruptedChoiceChanged();
    (config_.SplitMode ? Split : NotSplit)->setChecked(true);
    QDialog::showEvent(event);
}

void TAuditOptions::CorruptedChoiceChanged() {
    const bool move = MoveCorrupted->isChecked();
    CorruptedLabel->setEnabled(move);
    CorruptedPath->setEnabled(move);
}

void TAuditOptions::accept() {
    if (MoveCorrupted->isChecked() &&
        !CheckMoveDirectory(*CorruptedPath, "Choose a directory to move corrupted files.", baseDir_, prompts_)) {
        return;
    }
    config_.SplitMode = Split->isChecked();
    QDialog::accept();
}

TCheckOptions TAuditOptions::Options(TCheckOptions base) const {
    base.ReportCorrectNames = correctfiles->isChecked();
    base.ReportBadZipNames = badfilenames->isChecked();
    base.ReportCorrectRoms = correctroms->isChecked();
    base.ReportBadRomNames = badromnames->isChecked();
    base.ReportUnknown = UnknownRoms->isChecked();
    base.ReportNotNeeded = RomsNotNeeded->isChecked();
    base.ReportNoGoodDump = NoGoodDumpRoms->isChecked();
    base.ReportNeededElsewhere = Spread->isChecked();
    base.RefreshCache = RefreshCache->isChecked();
    base.Corrupted = ChosenAction<CorruptedAction>(MoveCorrupted, DeleteCorrupted);
    base.CorruptedPath = CorruptedPath->Path();
    base.SplitMode = Split->isChecked();
    return base;
}

}  // namespace qm
