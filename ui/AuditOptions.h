// The audit options dialog: what the report lists, one archive per set or per clone, and what
// becomes of corrupted archives. Created once; its choices stay for the rest of the run, except
// the split choice, which is taken from the configuration at every showing.
#pragma once

#include <QDialog>
#include <string>

#include "engine/RomsFiles.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace qm {

class TConfig;
class TPathEdit;
class UserPrompts;

class TAuditOptions : public QDialog {
    Q_OBJECT

public:
    TAuditOptions(TConfig& config, std::string baseDir, UserPrompts& prompts, QWidget* parent = nullptr);

    // The choices as engine options; what the dialog does not set (the repair's own choices)
    // comes from `base`.
    TCheckOptions Options(TCheckOptions base) const;

    QCheckBox* correctroms = nullptr;
    QCheckBox* badromnames = nullptr;
    QCheckBox* badfilenames = nullptr;
    QCheckBox* NoGoodDumpRoms = nullptr;
    QCheckBox* Spread = nullptr;
    QCheckBox* RomsNotNeeded = nullptr;
    QCheckBox* correctfiles = nullptr;
    QCheckBox* RefreshCache = nullptr;
    QCheckBox* UnknownRoms = nullptr;
    QRadioButton* NotSplit = nullptr;
    QRadioButton* Split = nullptr;
    QRadioButton* MoveCorrupted = nullptr;
    QRadioButton* DeleteCorrupted = nullptr;
    QRadioButton* IgnoreCorrupted = nullptr;
    QLabel* CorruptedLabel = nullptr;
    TPathEdit* CorruptedPath = nullptr;
    QPushButton* OK = nullptr;
    QPushButton* Cancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // OK: closes only when the move folder passes its checks.
    void accept() override;

private:
    void CorruptedChoiceChanged();

    TConfig& config_;
    std::string baseDir_;
    UserPrompts& prompts_;
};

}  // namespace qm
