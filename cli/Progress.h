// Progress of long operations on a terminal's standard error, one line redrawn in place.
#pragma once

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>

#include "cli/Cli.h"
#include "platform/Job.h"
#include "platform/Platform.h"

namespace qm {

// A one-line progress display on a terminal's standard error.
class TerminalProgress {
public:
    explicit TerminalProgress(CliContext& ctx) : ctx_(ctx), active_(::isatty(STDERR_FILENO) == 1) {
        if (!active_) {
            return;
        }
        TSession& session = ctx.Session();
        session.Paths.OnMessage = [this](const std::string& text) { Text(text); };
        session.Paths.OnProgress = [this](int percent) { Percent(percent); };
        session.Games.OnStatus = [this](const std::string& text) { Text(text); };
        session.Games.OnProgress = [this](int percent) { Percent(percent); };
    }
    ~TerminalProgress() {
        if (active_) {
            ctx_.Err() << "\r\033[K" << std::flush;
            TSession& session = ctx_.Session();
            session.Paths.OnMessage = nullptr;
            session.Paths.OnProgress = nullptr;
            session.Games.OnStatus = nullptr;
            session.Games.OnProgress = nullptr;
        }
    }
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

private:
    void Text(const std::string& text) {
        text_ = DisplayText(text);
        Draw();
    }
    void Percent(int percent) {
        percent_ = percent;
        Draw();
    }
    void Draw() {
        std::string line = text_ + " " + std::to_string(percent_) + "%";
        if (line.size() > 78) {
            line = line.substr(line.size() - 78);
        }
        ctx_.Err() << "\r\033[K" << line << std::flush;
    }

    CliContext& ctx_;
    bool active_;
    std::string text_;
    int percent_ = 0;
};

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

// The job of a long operation started from the command line: progress and status on one line
// of a terminal's standard error (redrawn at most ten times a second), problems as lines of
// their own, Ctrl-C as Cancel.
class TerminalJob : public CancellableJob {
public:
    explicit TerminalJob(CliContext& ctx);
    ~TerminalJob() override;
    TerminalJob(const TerminalJob&) = delete;
    TerminalJob& operator=(const TerminalJob&) = delete;

    void Progress(std::uint64_t done, std::uint64_t total) override;
    void Status(std::string_view text) override;
    void Problem(std::string_view line) override;

private:
    void Draw(bool force);

    CliContext& ctx_;
    bool active_;
    CancelOnInterrupt interrupt_;
    std::string text_;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace qm
