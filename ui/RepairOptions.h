// The repair options dialog: what becomes of useless files and of corrupted archives, one archive
// per set or per clone; and the preview of a repair that deletes or moves: its dry run's actions,
// to confirm. Created once; the choices stay for the rest of the run, except the split choice,
// which is taken from the configuration at every showing.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "engine/RomsFiles.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace qm {

class TConfig;
class TPathEdit;
class UserPrompts;

class TRepairOptions : public QDialog {
    Q_OBJECT

public:
    TRepairOptions(TConfig& config, std::string baseDir, UserPrompts& prompts, QWidget* parent = nullptr);

    // The choices as engine options; what the dialog does not set (the audit's own choices)
    // comes from `base`.
    TCheckOptions Options(TCheckOptions base) const;

    QLabel* Label1 = nullptr;
    QGroupBox* OptionsGroup = nullptr;
    QCheckBox* cleanSet = nullptr;
    QCheckBox* Spread = nullptr;
    QCheckBox* nogooddump = nullptr;
    QRadioButton* DeleteUnknown = nullptr;
    QRadioButton* MoveUnknown = nullptr;
    QRadioButton* IgnoreUnknown = nullptr;
    QLabel* UnknownLabel = nullptr;
    TPathEdit* UnknownPath = nullptr;
    QRadioButton* MoveCorrupted = nullptr;
    QRadioButton* DeleteCorrupted = nullptr;
    QRadioButton* IgnoreCorrupted = nullptr;
    QLabel* CorruptedLabel = nullptr;
    TPathEdit* CorruptedPath = nullptr;
    QRadioButton* NotSplit = nullptr;
    QRadioButton* Split = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* OK = nullptr;
    QPushButton* Cancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // OK: closes only when the move folders pass their checks and a delete is confirmed.
    void accept() override;

private:
    void ChoicesChanged();

    TConfig& config_;
    std::string baseDir_;
    UserPrompts& prompts_;
};

// The actions a repair is about to take, one a line, with OK and Cancel.
class TRepairPreview : public QDialog {
    Q_OBJECT

public:
    TRepairPreview(const std::vector<std::string>& actions, QWidget* parent = nullptr);

    QListWidget* Actions = nullptr;
    QPushButton* OK = nullptr;
    QPushButton* Cancel = nullptr;
};

}  // namespace qm
