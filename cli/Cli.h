// quillmark-cli: every collection operation without a display. Each verb is a function that
// writes to the streams it is given, so tests can run verbs and read what they print.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "commands/Session.h"
#include "platform/UserPrompts.h"

namespace qm {

// Messages go to standard error on one line each; questions are answered by --yes.
class StreamPrompts : public UserPrompts {
public:
    StreamPrompts(std::ostream& err, bool yes) : err_(err), yes_(yes) {}
    void Show(MessageKind kind, const std::string& text) override;
    bool Ask(MessageKind kind, const std::string& text) override;
    int ErrorsShown() const { return errors_; }

private:
    std::ostream& err_;
    bool yes_;
    int errors_ = 0;
};

struct CliArgs {
    std::string Verb;
    std::vector<std::string> Positional;
    // Options as given: "--name" -> "" or "--name=value" / "--name value" -> value.
    std::multimap<std::string, std::string> Options;

    bool Has(const std::string& name) const { return Options.count(name) > 0; }
    std::optional<std::string> Value(const std::string& name) const;
};

class TerminalJob;

class CliContext {
public:
    CliContext(CliArgs args, std::ostream& out, std::ostream& err);
    ~CliContext();
    CliContext(const CliContext&) = delete;
    CliContext& operator=(const CliContext&) = delete;

    // The session with the configuration read; created on first use.
    TSession& Session();
    // Loads --profile or the current profile, scanning its ROM directories from their caches
    // when asked; false after the error was printed.
    bool LoadProfile(bool scan);
    // The job of the verb's long operations, made on first use: the progress line on a terminal,
    // the problem lines kept, Ctrl-C as Cancel from then on.
    TerminalJob& Job();

    const CliArgs& Args() const { return args_; }
    bool Json() const { return args_.Has("json"); }
    std::ostream& Out() { return out_; }
    std::ostream& Err() { return err_; }
    StreamPrompts& Prompts() { return prompts_; }
    // Prints "quillmark-cli: <message>" and gives the failure exit status.
    int Fail(const std::string& message);

private:
    CliArgs args_;
    std::ostream& out_;
    std::ostream& err_;
    StreamPrompts prompts_;
    std::unique_ptr<TSession> session_;
    std::unique_ptr<TerminalJob> job_;
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCancelled = 130;

int RunCli(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err);

}  // namespace qm
