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
#include "ui/FileChoosers.h"

namespace qm {

namespace {

QCheckBox* NewCheck(QWidget* parent, const char* name, const char* caption, bool checked) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setChecked(checked);
    return box;
}

QRadioButton* NewRadio(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(name);
    return button;
}

}  // namespace

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

    auto* corrupted = new QGroupBox("Corrupted files", this);
    MoveCorrupted = NewRadio(corrupted, "MoveCorrupted", "Move");
    DeleteCorrupted = NewRadio(corrupted, "DeleteCorrupted", "Delete");
    IgnoreCorrupted = NewRadio(corrupted, "IgnoreCorrupted", "Ignore");
    IgnoreCorrupted->setChecked(true);
    CorruptedLabel = new QLabel("Select a directory to move corrupted files :", corrupted);
    CorruptedLabel->setObjectName("CorruptedLabel");
    CorruptedPath = new TPathEdit(TPathEdit::Kind::Directory, "Select a directory to move corrupted files", corrupted);
    CorruptedPath->setObjectName("CorruptedPath");
    CorruptedPath->StartDir = [this] { return CorruptedPath->Path().empty() ? baseDir_ : CorruptedPath->Path(); };
    CorruptedLabel->setBuddy(CorruptedPath);
    auto* corruptedLayout = new QGridLayout(corrupted);
    corruptedLayout->addWidget(MoveCorrupted, 0, 0);
    corruptedLayout->addWidget(DeleteCorrupted, 0, 1);
    corruptedLayout->addWidget(IgnoreCorrupted, 0, 2);
    corruptedLayout->addWidget(CorruptedLabel, 1, 0, 1, 3);
    corruptedLayout->addWidget(CorruptedPath, 2, 0, 1, 3);
    for (QRadioButton* button : {MoveCorrupted, DeleteCorrupted, IgnoreCorrupted}) {
        connect(button, &QRadioButton::toggled, this, &TAuditOptions::CorruptedChoiceChanged);
    }

    OK = new QPushButton("OK", this);
    OK->setObjectName("OK");
    OK->setDefault(true);
    Cancel = new QPushButton("Cancel", this);
    Cancel->setObjectName("Cancel");
    Cancel->setAutoDefault(false);
    connect(OK, &QPushButton::clicked, this, &TAuditOptions::accept);
    connect(Cancel, &QPushButton::clicked, this, &TAuditOptions::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    buttons->addWidget(Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(report);
    layout->addWidget(mode);
    layout->addWidget(corrupted);
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
    base.Corrupted = MoveCorrupted->isChecked()     ? CorruptedAction::Move
                     : DeleteCorrupted->isChecked() ? CorruptedAction::Delete
                                                    : CorruptedAction::Ignore;
    base.CorruptedPath = CorruptedPath->Path();
    base.SplitMode = Split->isChecked();
    return base;
}

}  // namespace qm
