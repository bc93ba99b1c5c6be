// The start-up progress window: shown while the first profile loads, with the emulator's
// version line, the set, clone and ROM counts as the datafile is read, a line of information
// and a progress bar.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

namespace qm::ProgressDlg {

class TProgressFrm : public QDialog {
    Q_OBJECT

public:
    explicit TProgressFrm(QWidget* parent = nullptr);

    QLabel* Version = nullptr;
    QLabel* sets = nullptr;
    QLabel* clones = nullptr;
    QLabel* roms = nullptr;
    QLabel* infos = nullptr;
    QProgressBar* ProgressBar = nullptr;

protected:
    // Empties the three count lines at each showing.
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}
};

}  // namespace qm::ProgressDlg
