#include "ui/WaitWindow.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include "ui/Icons.h"

namespace qm {

void CentreOnScreen(QWidget* window, const QWidget* reference) {
    QScreen* screen = reference != nullptr ? reference->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

void ArrangeWaitControls(QDialog* window, QWidget* text, QWidget* picture, QWidget* bar, QWidget* cancel) {
    auto* layout = new QGridLayout(window);
    layout->addWidget(text, 0, 0);
    layout->addWidget(picture, 0, 1, 2, 1, Qt::AlignTop | Qt::AlignRight);
    layout->addWidget(bar, 1, 0);
    layout->addWidget(cancel, 2, 0, 1, 2, Qt::AlignCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

TPleaseWaitFrm::TPleaseWaitFrm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("PleaseWaitFrm");
    setWindowTitle("Please wait...");
    setModal(false);
    setCursor(Qt::WaitCursor);

    WaitInfo = new QLabel("WaitInfo", this);
    WaitInfo->setObjectName("WaitInfo");
    // A fixed size: long texts (archive paths) must not resize the window while it is up.
    WaitInfo->setFixedWidth(300);
    WaitInfo->setTextFormat(Qt::PlainText);
    WaitProgressBar = new QProgressBar(this);
    WaitProgressBar->setObjectName("WaitProgressBar");
    WaitProgressBar->setRange(0, 100);
    WaitProgressBar->setTextVisible(false);
    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setPixmap(ApplicationIcon().pixmap(32, 32));
    Cancel = new QPushButton("Cancel", this);
    Cancel->setObjectName("Cancel");
    // Not reached with Tab: Enter or Space meant for a window behind must not cancel.
    Cancel->setFocusPolicy(Qt::ClickFocus);
    Cancel->setAutoDefault(false);
    connect(Cancel, &QPushButton::clicked, this, &TPleaseWaitFrm::CancelClick);

    ArrangeWaitControls(this, WaitInfo, Image1, WaitProgressBar, Cancel);
}

void TPleaseWaitFrm::ShowWait(QWidget* owner, bool withCancel) {
    Cancel->setEnabled(withCancel);
    Cancel->setVisible(withCancel);
    if (owner != nullptr) {
        owner->setEnabled(false);
    }
    // Disabling the owner disables the windows it owns too; this one must take Cancel.
    setEnabled(true);
    WaitInfo->clear();
    WaitProgressBar->setValue(0);
    show();
    raise();
    activateWindow();
}

void TPleaseWaitFrm::HideWait(QWidget* owner) {
    WaitInfo->clear();
    WaitProgressBar->setValue(0);
    if (owner != nullptr) {
        owner->setEnabled(true);
    }
    hide();
}

void TPleaseWaitFrm::CancelClick() {
    if (!Cancel->isEnabled()) {
        return;
    }
    Cancel->setEnabled(false);
    if (OnCancel) {
        OnCancel();
    }
}

void TPleaseWaitFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen(this, parentWidget());
}

void TPleaseWaitFrm::closeEvent(QCloseEvent* event) {
    // Only the command that showed the window hides it.
    event->ignore();
}

void TPleaseWaitFrm::reject() {
    if (!Cancel->isHidden()) {
        CancelClick();
    }
}

}  // namespace qm
