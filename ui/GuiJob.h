// Long operations of the desktop program run on a worker thread. GuiJob is the qm::Job they
// report to: its calls come from the worker and reach the GUI thread as queued signals, folded
// so that a burst of reports costs one event (the latest position and text win; problem lines
// all arrive). Its cancel flag is set from the GUI thread (the wait window's Cancel) and read by
// the worker.
//
// TJobRunner runs one operation at a time on its own thread and hands its end (or its
// exception) back to the GUI thread; the window stays responsive throughout, without nested
// event loops.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Job.h"

namespace qm {

class GuiJob : public QObject, public CancellableJob {
    Q_OBJECT

public:
    explicit GuiJob(QObject* parent = nullptr) : QObject(parent) {}

    void Progress(std::uint64_t done, std::uint64_t total) override;
    void Status(std::string_view text) override;
    void Problem(std::string_view line) override;
    void Count(LoadCount which, std::uint64_t value) override;

    // From now on the operation runs to its end: a cancel requested before or after is ignored
    // (the steps after an audit's report are not stopped halfway). Worker thread.
    void CloseCancel() { cancelClosed_.store(true, std::memory_order_relaxed); }
    bool CancelRequested() const override {
        return !cancelClosed_.load(std::memory_order_relaxed) && CancellableJob::CancelRequested();
    }

    // Delivers what is still waiting at once; GUI thread only.
    void Deliver();

Q_SIGNALS:
    void ProgressChanged(int percent);
    // Text decoded for display (the engine's texts are Windows-1252 or UTF-8 bytes).
    void StatusChanged(const QString& text);
    void ProblemReported(const QString& line);
    void CountChanged(int which, int value);

private:
    void Post();

    std::mutex mutex_;
    int percent_ = -1;
    bool percentChanged_ = false;
    std::string status_;
    bool statusChanged_ = false;
    std::vector<std::string> problems_;
    std::array<int, 3> counts_{};
    std::array<bool, 3> countsChanged_{};
    std::atomic<bool> posted_{false};
    std::atomic<bool> cancelClosed_{false};
};

class TJobRunner : public QObject {
    Q_OBJECT

public:
    using Work = std::function<void(GuiJob&)>;
    // Runs on the GUI thread once the worker has ended; `error` is what the work threw, if
    // anything (ECancelClick after a cancel).
    using Done = std::function<void(std::exception_ptr error)>;

    explicit TJobRunner(QObject* parent = nullptr) : QObject(parent) {}
    // Cancels a running operation and waits for it.
    ~TJobRunner() override;

    // Starts `work` on a worker thread. One operation at a time: false when one is running.
    bool Start(Work work, Done done);
    bool Busy() const { return job_ != nullptr; }
    // Asks the running operation to stop at its next poll (the wait window's Cancel).
    void RequestCancel();

Q_SIGNALS:
    void ProgressChanged(int percent);
    void StatusChanged(const QString& text);
    void ProblemReported(const QString& line);
    void CountChanged(int which, int value);
    void Finished();

private:
    void Finish(const Done& done, std::exception_ptr error);

    std::unique_ptr<GuiJob> job_;
    std::thread thread_;
};

}  // namespace qm
