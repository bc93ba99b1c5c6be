#include "ui/MessageBoxPrompts.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QShortcut>
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
    Run(kind, text, Buttons::Ok);
}

bool MessageBoxPrompts::Ask(MessageKind kind, const std::string& text) {
    return Run(kind, text, Buttons::YesNo);
}

bool MessageBoxPrompts::AskOkCancel(MessageKind kind, const std::string& text) {
    return Run(kind, text, Buttons::OkCancel);
}

bool MessageBoxPrompts::Run(MessageKind kind, const std::string& text, Buttons buttons) {
    if (QThread::currentThread() != thread()) {
        bool answer = false;
        QMetaObject::invokeMethod(
            this, [&] { answer = Run(kind, text, buttons); }, Qt::BlockingQueuedConnection);
        return answer;
    }
    // Over whichever window is active, unless that is disabled (the main window while an
    // operation runs): a box parented to a disabled window would be disabled too.
    QWidget* parent = QApplication::activeWindow();
    if (parent != nullptr && !parent->isEnabled()) {
        parent = nullptr;
    }
    const QMessageBox::StandardButtons standard = buttons == Buttons::YesNo      ? QMessageBox::Yes | QMessageBox::No
                                                  : buttons == Buttons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                                                                 : QMessageBox::Ok;
    const QMessageBox::StandardButton first = buttons == Buttons::YesNo ? QMessageBox::Yes : QMessageBox::Ok;
    QMessageBox box(IconOf(kind), QApplication::applicationName(), ToDisplay(text), standard, parent);
    box.setDefaultButton(first);
    // Ctrl+C copies the message (a path, an error to paste into a report), as message boxes do on
    // other desktops.
    const QShortcut copy(QKeySequence::Copy, &box, [&box] { QApplication::clipboard()->setText(box.text()); });
    const int answer = box.exec();
    return buttons != Buttons::Ok && answer == first;
}

bool OkCancelPrompts::Ask(MessageKind kind, const std::string& text) {
    if (auto* boxes = dynamic_cast<MessageBoxPrompts*>(&prompts_)) {
        return boxes->AskOkCancel(kind, text);
    }
    return prompts_.Ask(kind, text);
}

}  // namespace qm
