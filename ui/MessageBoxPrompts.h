// The desktop program's answer to the core's questions: message boxes. The core may ask from a
// worker thread (a profile load runs there); the box is then shown on the GUI thread while the
// worker waits for the answer.
#pragma once

#include <QObject>

#include "platform/UserPrompts.h"

class QWidget;

namespace qm {

class MessageBoxPrompts : public QObject, public UserPrompts {
    Q_OBJECT

public:
    explicit MessageBoxPrompts(QObject* parent = nullptr) : QObject(parent) {}

    void Show(MessageKind kind, const std::string& text) override;
    // Yes and No.
    bool Ask(MessageKind kind, const std::string& text) override;
    // OK and Cancel; true for OK.
    bool AskOkCancel(MessageKind kind, const std::string& text);

private:
    enum class Buttons { Ok, YesNo, OkCancel };
    bool Run(MessageKind kind, const std::string& text, Buttons buttons);
};

// The prompts of a dialog whose questions are put with OK and Cancel rather than Yes and No.
// Messages, and questions to prompts that are no message boxes (a test's recorder), pass through.
class OkCancelPrompts : public UserPrompts {
public:
    explicit OkCancelPrompts(UserPrompts& prompts) : prompts_(prompts) {}

    void Show(MessageKind kind, const std::string& text) override { prompts_.Show(kind, text); }
    bool Ask(MessageKind kind, const std::string& text) override;

private:
    UserPrompts& prompts_;
};

}  // namespace qm
