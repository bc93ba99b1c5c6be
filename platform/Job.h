// The one way long operations talk to whoever started them: progress, status text, problem
// lines, and the question whether the user asked to stop. The command-line program draws a
// progress line on its terminal; the desktop program forwards the calls as queued signals from
// its worker thread; tests record them. The engine never calls a toolkit.
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qm {

// The user pressed Cancel: the operation stops after the current archive or entry.
class ECancelClick : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Job {
public:
    virtual ~Job() = default;

    // `done` units of `total` finished (total 0: nothing to count).
    virtual void Progress(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
    // The current step, for the progress line; an empty text clears it.
    virtual void Status(std::string_view /*text*/) {}
    // A line for the user about a file that could not be handled (the problem lines).
    virtual void Problem(std::string_view /*line*/) {}
    // Polled often, from the thread that runs the operation.
    virtual bool CancelRequested() const { return false; }

    // Throws ECancelClick with `message` when the user asked to stop.
    void CheckCancel(const char* message) const {
        if (CancelRequested()) {
            throw ECancelClick(message);
        }
    }
};

// A job nobody watches: no progress, no cancel. Problems are dropped.
inline Job& SilentJob() {
    static Job silent;
    return silent;
}

// A job whose cancel is a flag another thread (or a signal handler) may set.
class CancellableJob : public Job {
public:
    bool CancelRequested() const override { return cancel_.load(std::memory_order_relaxed); }
    void RequestCancel() { cancel_.store(true, std::memory_order_relaxed); }
    std::atomic<bool>& CancelFlag() { return cancel_; }

private:
    std::atomic<bool> cancel_{false};
};

}  // namespace qm
