#include "ui/MessageBoxPrompts.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "ui/DisplayText.h"

namespace qm {

namespace {

QMessageBox::Icon IconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Information:
            return QMessageBox::Information;
        case MessageKind::Error:
            return QMessageBox::Critical;
        case MessageKind::Warning:
            return QMessageBox::Warning;
        case MessageKind::Confirmation:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void MessageBoxPrompts::Show(MessageKind kind, const std::string& text) {
    Run(kind, text, false);
}

bool MessageBoxPrompts::Ask(MessageKind kind, const std::string& text) {
    return Run(kind, text, true);
}

bool MessageBoxPrompts::Run(MessageKind kind, const std::string& text, bool question) {
    if (QThread::currentThread() != thread()) {
        bool answer = false;
        QMetaObject::invokeMethod(
            this, [&] { answer = Run(kind, text, question); }, Qt::BlockingQueuedConnection);
        return answer;
    }
    // Over whichever window is active, unless that is disabled (the main window while an
    // operation runs): a box parented to a disabled window would be disabled too.
    QWidget* parent = QApplication::activeWindow();
    if (parent != nullptr && !parent->isEnabled()) {
        parent = nullptr;
    }
    QMessageBox box(IconOf(kind), QApplication::applicationName(), ToDisplay(text),
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    box.setDefaultButton(question ? QMessageBox::Yes : QMessageBox::Ok);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace qm
