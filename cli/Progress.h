// The job of quillmark-cli's long operations: progress on a terminal's standard error, one line
// redrawn in place; problem lines kept for the verb to print; Ctrl-C as Cancel.
#pragma once

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <unordered_set>
#include <vector>

#include "cli/Cli.h"
#include "platform/Job.h"

namespace qm {

// Ctrl-C is the Cancel button: the first one asks the operation to stop at its next poll, a
// second one ends the program at once.
class CancelOnInterrupt {
public:
    explicit CancelOnInterrupt(std::atomic<bool>& flag);
    ~CancelOnInterrupt();
    CancelOnInterrupt(const CancelOnInterrupt&) = delete;
    CancelOnInterrupt& operator=(const CancelOnInterrupt&) = delete;

private:
    void (*previous_)(int) = nullptr;
};

// Progress and status on one line of a terminal's standard error (redrawn at most ten times a
// second), problem lines printed on standard error as they come and kept, Ctrl-C as Cancel.
// A problem is said once per run: the scan of the profile's load, the audit's fresh scan and the
// rescan that ends a command meet the same unreadable archive again, and the handling of a
// corrupted archive repeats the message the scan gave after the archive's path.
class TerminalJob : public CancellableJob {
public:
    explicit TerminalJob(CliContext& ctx);
    ~TerminalJob() override;
    TerminalJob(const TerminalJob&) = delete;
    TerminalJob& operator=(const TerminalJob&) = delete;

    void Progress(std::uint64_t done, std::uint64_t total) override;
    void Status(std::string_view text) override;
    void Problem(std::string_view line) override;

    // Every problem line so far, in order, each once.
    const std::vector<std::string>& Problems() const { return problems_; }

private:
    void Draw(bool force);

    CliContext& ctx_;
    bool active_;
    CancelOnInterrupt interrupt_;
    std::string text_;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
    std::vector<std::string> problems_;
    std::unordered_set<std::string> said_;
    // What the lines said follow "<file>: " with.
    std::unordered_set<std::string> saidAfterFile_;
};

}  // namespace qm
