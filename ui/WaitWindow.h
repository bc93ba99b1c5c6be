// The wait window: a line of status text, a progress bar and an optional Cancel button, shown
// over the main window while a command works. It is not modal; it disables its owner instead,
// so that the only input the program takes meanwhile is Cancel. The operation itself runs on a
// worker thread, so the window repaints and Cancel is taken at any time.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace qm {

class TPleaseWaitFrm : public QDialog {
    Q_OBJECT

public:
    explicit TPleaseWaitFrm(QWidget* parent = nullptr);

    // Showing it again while it is shown only resets its text, progress and Cancel.
    void ShowWait(QWidget* owner, bool withCancel);
    // Always enables the owner again, also when the window was already hidden.
    void HideWait(QWidget* owner);
    // Disables Cancel (one request per showing), then calls OnCancel when it is set.
    void CancelClick();

    // Called when Cancel is pressed; may be empty.
    std::function<void()> OnCancel;

    QLabel* WaitInfo = nullptr;
    QProgressBar* WaitProgressBar = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* Cancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Escape presses Cancel when it is offered, and never closes the window.
    void reject() override;
};

// The arrangement both progress windows share: the text line with the picture at its right, the
// bar below the text, Cancel centred at the bottom; the window keeps the size this needs.
void ArrangeWaitControls(QDialog* window, QWidget* text, QWidget* picture, QWidget* bar, QWidget* cancel);

// Centres a window on the screen of `reference` (the primary screen without one).
void CentreOnScreen(QWidget* window, const QWidget* reference = nullptr);

}  // namespace qm
