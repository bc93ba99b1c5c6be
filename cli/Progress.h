// Progress of long operations on a terminal's standard error, one line redrawn in place.
#pragma once

#include <unistd.h>

#include <string>

#include "cli/Cli.h"
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

}  // namespace qm
