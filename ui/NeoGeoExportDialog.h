// The options of the Neo-Geo export: move or copy, replace the archives the destination holds or
// leave them, every Neo-Geo set or only the complete ones, and the destination folder. Created
// once; its choices stay for the rest of the run, except the folder, which starts from the
// emulator's folder at every showing.
#pragma once

#include <QDialog>
#include <string>

#include "engine/NeoGeoExport.h"

class QCheckBox;
class QPushButton;
class QRadioButton;

namespace qm {

class TGamesList;
class TPathEdit;
class UserPrompts;

class TNeogeoCopyOpt : public QDialog {
    Q_OBJECT

public:
    TNeogeoCopyOpt(const TGamesList& games, std::string baseDir, UserPrompts& prompts, QWidget* parent = nullptr);

    // The choices as the export takes them; the folder as the last OK checked it.
    NeoGeoExportOptions Options() const;

    QRadioButton* MoveFiles = nullptr;
    QRadioButton* Copyfiles = nullptr;
    QCheckBox* Replace = nullptr;
    TPathEdit* DestPath = nullptr;
    QRadioButton* AllSets = nullptr;
    QRadioButton* WorkingSets = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // "&Ok": closes only when the destination passes its checks.
    void accept() override;

private:
    const TGamesList& games_;
    std::string baseDir_;
    UserPrompts& prompts_;
};

}  // namespace qm
