// The one way long operations talk to whoever started them: progress, status text, problem
// lines, counts of a datafile load, and the question whether the user asked to stop. The
// command-line program draws a progress line on its terminal; the desktop program forwards the
// calls as queued signals from its worker thread; tests record them. The engine never calls a
// toolkit.
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

inline constexpr const char* kProcessCancelled = "Process cancelled by user !";

// The three counts a datafile load reports while it reads (the start-up window shows them).
enum class LoadCount { Sets = 0, Clones = 1, Roms = 2 };

class Job {
public:
    virtual ~Job() = default;

    // `done` units of `total` finished (total 0: nothing to count). Loops report through a
    // ProgressMeter, which calls this only when the whole percentage changes.
    virtual void Progress(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
    // The current step, for the progress line; an empty text clears it.
    virtual void Status(std::string_view /*text*/) {}
    // A line for the user about a file that could not be handled (the problem lines).
    virtual void Problem(std::string_view /*line*/) {}
    virtual void Count(LoadCount /*which*/, std::uint64_t /*value*/) {}
    // Polled often (at least once per archive and per entry), from the thread that runs the
    // operation.
    virtual bool CancelRequested() const { return false; }

    // Throws ECancelClick with `message` when the user asked to stop.
    void CheckCancel(const char* message = kProcessCancelled) const {
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

// Another job's reports, without its cancel: for the steps that must run to their end after a
// cancel (the rescan that puts the collection's picture back together).
class UncancellableJob : public Job {
public:
    explicit UncancellableJob(Job& job) : job_(job) {}
    void Progress(std::uint64_t done, std::uint64_t total) override { job_.Progress(done, total); }
    void Status(std::string_view text) override { job_.Status(text); }
    void Problem(std::string_view line) override { job_.Problem(line); }
    void Count(LoadCount which, std::uint64_t value) override { job_.Count(which, value); }

private:
    Job& job_;
};

// Progress of one loop: passes `done` of `total` to the job only when the whole percentage
// changes, so that a loop over hundreds of thousands of entries reports a hundred times.
class ProgressMeter {
public:
    ProgressMeter(Job& job, std::uint64_t total) : job_(job), total_(total) { Set(0); }

    void Step() { Set(done_ + 1); }
    void Set(std::uint64_t done) {
        done_ = done;
        const std::uint64_t percent = total_ == 0 ? 100 : done * 100 / total_;
        if (percent != percent_) {
            percent_ = percent;
            job_.Progress(done, total_);
        }
    }

private:
    Job& job_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    std::uint64_t percent_ = ~std::uint64_t{0};
};

}  // namespace qm
