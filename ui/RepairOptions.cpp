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
#include "ui/DisplayText.h"
#include "ui/FileChoosers.h"

namespace qm {

namespace {

QRadioButton* NewRadio(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(name);
    return button;
}

QCheckBox* NewCheck(QWidget* parent, const char* name, const char* caption) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setChecked(true);
    return box;
}

// A group of Move / Delete / Ignore with its folder field; Ignore chosen.
struct MoveGroup {
    QGroupBox* Box;
    QRadioButton* Move;
    QRadioButton* Delete;
    QRadioButton* Ignore;
    QLabel* Label;
    TPathEdit* Path;
};

MoveGroup NewMoveGroup(QWidget* parent, const char* title, const char* what, const char* label,
                       const std::string& baseDir) {
    auto* box = new QGroupBox(title, parent);
    const std::string name(what);
    const std::string move = "Move" + name;
    const std::string erase = "Delete" + name;
    const std::string ignore = "Ignore" + name;
    const std::string labelName = name + "Label";
    const std::string pathName = name + "Path";
    MoveGroup group{box,
                    NewRadio(box, move.c_str(), "Move"),
                    NewRadio(box, erase.c_str(), "Delete"),
                    NewRadio(box, ignore.c_str(), "Ignore"),
                    new QLabel(label, box),
                    new TPathEdit(TPathEdit::Kind::Directory, QString(label).chopped(2), box)};
    group.Ignore->setChecked(true);
    group.Label->setObjectName(QString::fromStdString(labelName));
    group.Path->setObjectName(QString::fromStdString(pathName));
    TPathEdit* path = group.Path;
    path->StartDir = [path, baseDir] { return path->Path().empty() ? baseDir : path->Path(); };
    group.Label->setBuddy(path);
    auto* layout = new QGridLayout(box);
    layout->addWidget(group.Delete, 0, 0);
    layout->addWidget(group.Move, 0, 1);
    layout->addWidget(group.Ignore, 0, 2);
    layout->addWidget(group.Label, 1, 0, 1, 3);
    layout->addWidget(group.Path, 2, 0, 1, 3);
    return group;
}

}  // namespace

TRepairOptions::TRepairOptions(TConfig& config, std::string baseDir, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), config_(config), baseDir_(std::move(baseDir)), prompts_(prompts) {
    setObjectName("RepairOptions");
    setWindowTitle("Repair Options");

    Label1 = new QLabel("BACKUP YOUR ROMS BEFORE REPAIRING THEM.", this);
    Label1->setObjectName("Label1");
    Label1->setAlignment(Qt::AlignHCenter);

    // Hidden: the three are always handed over as on.
    OptionsGroup = new QGroupBox("Options", this);
    cleanSet = NewCheck(OptionsGroup, "cleanSet", "Repair incorrect roms filenames");
    Spread = NewCheck(OptionsGroup, "Spread", "Copy roms in sets where they are required");
    nogooddump = NewCheck(OptionsGroup, "nogooddump", "Also repair roms with 'no good dump known'");
    auto* optionsLayout = new QVBoxLayout(OptionsGroup);
    for (QCheckBox* box : {cleanSet, Spread, nogooddump}) {
        optionsLayout->addWidget(box);
    }
    OptionsGroup->hide();

    const MoveGroup unknown =
        NewMoveGroup(this, "Useless files and roms", "Unknown", "Select a directory to move useless files :", baseDir_);
    DeleteUnknown = unknown.Delete;
    MoveUnknown = unknown.Move;
    IgnoreUnknown = unknown.Ignore;
    UnknownLabel = unknown.Label;
    UnknownPath = unknown.Path;
    const MoveGroup corrupted =
        NewMoveGroup(this, "Corrupted files", "Corrupted", "Select a directory to move corrupted files :", baseDir_);
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

    OK = new QPushButton("OK", this);
    OK->setObjectName("OK");
    OK->setDefault(true);
    Cancel = new QPushButton("Cancel", this);
    Cancel->setObjectName("Cancel");
    Cancel->setAutoDefault(false);
    connect(OK, &QPushButton::clicked, this, &TRepairOptions::accept);
    connect(Cancel, &QPushButton::clicked, this, &TRepairOptions::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    buttons->addWidget(Cancel);

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
    base.Unknown = MoveUnknown->isChecked()     ? UnknownAction::Move
                   : DeleteUnknown->isChecked() ? UnknownAction::Delete
                                                : UnknownAction::Ignore;
    base.UnknownPath = UnknownPath->Path();
    base.Corrupted = MoveCorrupted->isChecked()     ? CorruptedAction::Move
                     : DeleteCorrupted->isChecked() ? CorruptedAction::Delete
                                                    : CorruptedAction::Ignore;
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
    OK = new QPushButton("OK", this);
    OK->setObjectName("OK");
    OK->setDefault(true);
    Cancel = new QPushButton("Cancel", this);
    Cancel->setObjectName("Cancel");
    connect(OK, &QPushButton::clicked, this, &TRepairPreview::accept);
    connect(Cancel, &QPushButton::clicked, this, &TRepairPreview::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    buttons->addWidget(Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(Actions);
    layout->addLayout(buttons);
    resize(720, 420);
}

}  // namespace qm
