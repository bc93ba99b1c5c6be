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
    bool Ask(MessageKind kind, const std::string& text) override;

private:
    bool Run(MessageKind kind, const std::string& text, bool question);
};

}  // namespace qm
