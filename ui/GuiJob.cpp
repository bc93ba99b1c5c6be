#include "ui/GuiJob.h"

#include <QMetaObject>

#include "ui/DisplayText.h"

namespace qm {

void GuiJob::Progress(std::uint64_t done, std::uint64_t total) {
    const int percent = total == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(done, total) * 100 / total);
    {
        std::lock_guard lock(mutex_);
        if (percent == percent_) {
            return;
        }
        percent_ = percent;
        percentChanged_ = true;
    }
    Post();
}

void GuiJob::Status(std::string_view text) {
    {
        std::lock_guard lock(mutex_);
        status_.assign(text);
        statusChanged_ = true;
    }
    Post();
}

void GuiJob::Problem(std::string_view line) {
    {
        std::lock_guard lock(mutex_);
        problems_.emplace_back(line);
    }
    Post();
}

void GuiJob::Count(LoadCount which, std::uint64_t value) {
    {
        std::lock_guard lock(mutex_);
        const auto k = static_cast<std::size_t>(which);
        counts_[k] = static_cast<int>(std::min<std::uint64_t>(value, INT32_MAX));
        countsChanged_[k] = true;
    }
    Post();
}

void GuiJob::Post() {
    // One delivery event at a time: the worker may report thousands of times a second.
    if (!posted_.exchange(true)) {
        QMetaObject::invokeMethod(this, &GuiJob::Deliver, Qt::QueuedConnection);
    }
}

void GuiJob::Deliver() {
    posted_.store(false);
    int percent = 0;
    bool percentChanged = false;
    std::string status;
    bool statusChanged = false;
    std::vector<std::string> problems;
    std::array<int, 3> counts{};
    std::array<bool, 3> countsChanged{};
    {
        std::lock_guard lock(mutex_);
        std::swap(percentChanged, percentChanged_);
        percent = percent_;
        std::swap(statusChanged, statusChanged_);
        status.swap(status_);
        problems.swap(problems_);
        counts = counts_;
        std::swap(countsChanged, countsChanged_);
    }
    for (std::size_t k = 0; k < counts.size(); ++k) {
        if (countsChanged[k]) {
            Q_EMIT CountChanged(static_cast<int>(k), counts[k]);
        }
    }
    if (statusChanged) {
        Q_EMIT StatusChanged(ToDisplay(status));
    }
    for (const std::string& line : problems) {
        Q_EMIT ProblemReported(ToDisplay(line));
    }
    if (percentChanged) {
        Q_EMIT ProgressChanged(percent);
    }
}

TJobRunner::~TJobRunner() {
    if (thread_.joinable()) {
        job_->RequestCancel();
        thread_.join();
    }
}

bool TJobRunner::Start(Work work, Done done) {
    if (Busy()) {
        return false;
    }
    job_ = std::make_unique<GuiJob>();
    connect(job_.get(), &GuiJob::ProgressChanged, this, &TJobRunner::ProgressChanged);
    connect(job_.get(), &GuiJob::StatusChanged, this, &TJobRunner::StatusChanged);
    connect(job_.get(), &GuiJob::ProblemReported, this, &TJobRunner::ProblemReported);
    connect(job_.get(), &GuiJob::CountChanged, this, &TJobRunner::CountChanged);
    GuiJob* job = job_.get();
    thread_ = std::thread([this, job, work = std::move(work), done = std::move(done)]() mutable {
        std::exception_ptr error;
        try {
            work(*job);
        } catch (...) {
            error = std::current_exception();
        }
        // Queued after the job's last reports, which therefore arrive first.
        QMetaObject::invokeMethod(
            this, [this, done = std::move(done), error]() { Finish(done, error); }, Qt::QueuedConnection);
    });
    return true;
}

void TJobRunner::RequestCancel() {
    if (job_) {
        job_->RequestCancel();
    }
}

void TJobRunner::Finish(const Done& done, std::exception_ptr error) {
    thread_.join();
    job_->Deliver();
    job_.reset();
    if (done) {
        done(error);
    }
    Q_EMIT Finished();
}

}  // namespace qm
