// Messages and questions for the user. The engine and the configuration never talk to a
// toolkit: they hand texts to this interface, which the desktop program answers with message
// boxes, the command-line program on standard error and from its --yes option, and tests with
// a recorder.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qm {

enum class MessageKind { Information, Error, Warning, Confirmation };

class UserPrompts {
public:
    virtual ~UserPrompts() = default;
    // A message box with an OK button.
    virtual void Show(MessageKind kind, const std::string& text) = 0;
    // A Yes / No question; true for Yes.
    virtual bool Ask(MessageKind kind, const std::string& text) = 0;
};

// Answers every question with a fixed answer and keeps what was shown; for tests and batch use.
class RecordingPrompts : public UserPrompts {
public:
    explicit RecordingPrompts(bool answer = true) : answer_(answer) {}
    void Show(MessageKind kind, const std::string& text) override { shown.emplace_back(kind, text); }
    bool Ask(MessageKind kind, const std::string& text) override {
        asked.emplace_back(kind, text);
        return answer_;
    }
    std::vector<std::pair<MessageKind, std::string>> shown;
    std::vector<std::pair<MessageKind, std::string>> asked;

private:
    bool answer_;
};

}  // namespace qm
