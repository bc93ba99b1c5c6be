// The options of the CD update: the folder of the ROM CD (only ever read), the folder that
// receives the updated archives, and what the update does besides. Created once and reused; it
// keeps the progress window the update runs behind.
#pragma once

#include <QDialog>
#include <string>

#include "engine/CdUpdate.h"
#include "ui/MessageBoxPrompts.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace qm {

class TPathEdit;
class TProgressFrm;

class TCDUpdate : public QDialog {
    Q_OBJECT

public:
    TCDUpdate(std::string baseDir, UserPrompts& prompts, QWidget* parent = nullptr);

    // The choices stored by the last OK; both folders end with '/'.
    const CdUpdateOptions& Options() const { return options_; }

    QLabel* SrcLabel = nullptr;
    TPathEdit* SrcDirEdt = nullptr;
    QLabel* DestLabel = nullptr;
    TPathEdit* DestDirEdt = nullptr;
    QRadioButton* UpdateFiles = nullptr;
    QRadioButton* CreateFiles = nullptr;
    QCheckBox* ShowDelete = nullptr;
    QPushButton* Ok = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    TProgressFrm* ProgressFrm = nullptr;

protected:
    // "&OK" (OkClick): closes only once both folders are usable, the destination created when
    // the user agrees.
    void accept() override;

private:
    void EnableOk();

    std::string baseDir_;
    // "Do you want to create it ?" is put with OK and Cancel.
    OkCancelPrompts prompts_;
    CdUpdateOptions options_;
};

}  // namespace qm
