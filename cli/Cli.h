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

#include "cli/Json.h"
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
    // The last error shown, on one line: what a failed verb's JSON error object says.
    const std::string& LastError() const { return lastError_; }

private:
    std::ostream& err_;
    bool yes_;
    int errors_ = 0;
    std::string lastError_;
};

// The words of the core that speak of the desktop program's windows, said for this program.
std::string ForCommandLine(const std::string& text);

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
    // Prints "quillmark-cli: <message>" on standard error (under --json also the error object on
    // standard output, unless the verb printed its own object) and gives the failure exit status.
    // `file` is the file the error is about, when there is one.
    int Fail(const std::string& message, const std::string& file = {});
    // The command line asks for something the verb cannot do: the message, the verb's usage, and
    // the usage exit status.
    int Usage(const std::string& message);
    // The operation was cancelled: said as an error is, with the cancelled exit status.
    int Cancelled(const std::string& message);
    // The verb's one JSON object on standard output.
    void PrintJson(const JsonObject& json);
    bool JsonPrinted() const { return jsonPrinted_; }

private:
    friend int RunCli(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err);

    CliArgs args_;
    std::ostream& out_;
    std::ostream& err_;
    StreamPrompts prompts_;
    std::unique_ptr<TSession> session_;
    std::unique_ptr<TerminalJob> job_;
    std::string usage_;  // of the verb being run
    bool jsonPrinted_ = false;
};

// Exit statuses; scripts rely on them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// An audit that ran to its end and found something to report (or archives it could not read).
inline constexpr int kExitProblemsFound = 3;
inline constexpr int kExitCancelled = 130;

int RunCli(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err);

}  // namespace qm
