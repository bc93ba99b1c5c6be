#include "cli/Progress.h"

#include <csignal>

#include "platform/Platform.h"

namespace qm {

namespace {

// The flag the signal handler sets: a signal handler reaches nothing but globals.
std::atomic<std::atomic<bool>*> g_cancelFlag{nullptr};

void OnInterrupt(int) {
    if (std::atomic<bool>* flag = g_cancelFlag.load()) {
        flag->store(true);
    }
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace

CancelOnInterrupt::CancelOnInterrupt(std::atomic<bool>& flag) {
    g_cancelFlag.store(&flag);
    previous_ = std::signal(SIGINT, OnInterrupt);
}

CancelOnInterrupt::~CancelOnInterrupt() {
    std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_);
    g_cancelFlag.store(nullptr);
}

TerminalJob::TerminalJob(CliContext& ctx)
    : ctx_(ctx), active_(::isatty(STDERR_FILENO) == 1), interrupt_(CancelFlag()) {}

TerminalJob::~TerminalJob() {
    if (active_) {
        ctx_.Err() << "\r\033[K" << std::flush;
    }
}

void TerminalJob::Progress(std::uint64_t done, std::uint64_t total) {
    done_ = done;
    total_ = total;
    Draw(false);
}

void TerminalJob::Status(std::string_view text) {
    if (!active_) {
        return;
    }
    text_ = DisplayText(text);
    Draw(false);
}

void TerminalJob::Problem(std::string_view line) {
    if (saidAfterFile_.count(std::string(line)) > 0 || !said_.emplace(line).second) {
        return;
    }
    if (const std::size_t colon = line.find(": "); colon != std::string_view::npos) {
        saidAfterFile_.emplace(line.substr(colon + 2));
    }
    problems_.emplace_back(line);
    if (active_) {
        ctx_.Err() << "\r\033[K";
    }
    ctx_.Err() << DisplayText(line) << "\n";
    Draw(true);
}

void TerminalJob::Draw(bool force) {
    if (!active_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(100)) {
        return;
    }
    lastDraw_ = now;
    std::string line = text_;
    if (total_ > 0) {
        line += " " + std::to_string(done_ * 100 / total_) + "%";
    } else if (done_ > 0) {
        line += " " + std::to_string(done_);
    }
    if (line.size() > 78) {
        line = line.substr(line.size() - 78);
    }
    ctx_.Err() << "\r\033[K" << line << std::flush;
}

}  // namespace qm
