#include "commands/Commands.h"

#include <exception>

#include "commands/Session.h"
#include "engine/Audit.h"
#include "engine/CorruptedFiles.h"
#include "platform/Job.h"
#include "platform/TempFiles.h"
#include "reports/AuditReport.h"

namespace qm {

namespace {

// The job of a command, keeping a copy of every problem line for the command's outcome.
class KeepingProblems : public Job {
public:
    KeepingProblems(Job& job, std::vector<std::string>& lines) : job_(job), lines_(lines) {}
    void Progress(std::uint64_t done, std::uint64_t total) override { job_.Progress(done, total); }
    void Status(std::string_view text) override { job_.Status(text); }
    void Problem(std::string_view line) override {
        lines_.emplace_back(line);
        job_.Problem(line);
    }
    void Count(LoadCount which, std::uint64_t value) override { job_.Count(which, value); }
    bool CancelRequested() const override { return job_.CancelRequested(); }

private:
    Job& job_;
    std::vector<std::string>& lines_;
};

void UseCheckOptions(TSession& session, const TCheckOptions& options) {
    session.Paths.SplitMode = options.SplitMode;
    session.Games.SplitMode = options.SplitMode;
    session.Config.SplitMode = options.SplitMode;
}

void RemoveLeftoversOfMoves(const TCheckOptions& options) {
    if (options.Corrupted == CorruptedAction::Move && !options.CorruptedPath.empty()) {
        // Copies into the move folder that a killed run left half-made.
        RemoveStaleTempFiles(options.CorruptedPath);
    }
}

// The directory caches' edits reach the disk; one that cannot be written only makes the next
// scan read its archives again.
void SaveCacheChanges(TSession& session, Job& job) {
    try {
        session.DirCache.Flush();
    } catch (const std::exception& e) {
        job.Problem(std::string("Cache not written: ") + e.what());
    }
}

// What runs whatever happened before: the picture of the collection read again from the caches
// (an audit cancelled half-way, or its model renames, leave it otherwise), and the statuses
// again after a refresh. While an error is on its way nothing here may replace it.
void RestorePicture(TSession& session, const TCheckOptions& options, Job& job, bool failing) {
    UncancellableJob uncancellable(job);
    struct Unlock {
        TDatFile& cache;
        ~Unlock() { cache.ReleaseLocks(); }
    } unlock{session.DirCache};
    if (failing) {
        try {
            // Edits that cannot be written are forgotten; the next scan reads those archives again.
            session.DirCache.Reset();
        } catch (const std::exception&) {
        }
    }
    try {
        session.Paths.Reset(true);
        session.Paths.Scan(false, uncancellable);
    } catch (const std::exception&) {
        if (!failing) {
            throw;
        }
        // No picture rather than half of one.
        session.Paths.Reset(true);
    }
    if (options.RefreshCache) {
        session.Paths.SetRomStatus();
    }
}

}  // namespace

AuditOutcome RunAudit(TSession& session, const TCheckOptions& options, Job& commandJob) {
    AuditOutcome outcome;
    KeepingProblems job(commandJob, outcome.ProblemLines);
    std::exception_ptr error;
    try {
        UseCheckOptions(session, options);
        RemoveLeftoversOfMoves(options);
        TCorruptedFiles corrupted(session.DirCache, options, job);
        if (options.RefreshCache) {
            session.Paths.Scan(true, job, corrupted.Handler());
        }
        outcome.Result = TAudit(session.Paths, options, job).Run();
        SaveCacheChanges(session, job);
        outcome.Result.CorruptedHandled = corrupted.Handled();
        outcome.Result.CorruptedFailed = outcome.FailedChanges = corrupted.Failed();
        outcome.ReportFile = SaveAuditReport(outcome.Result, session.Config.TempDir);
    } catch (...) {
        error = std::current_exception();
    }
    RestorePicture(session, options, job, error != nullptr);
    if (error) {
        std::rethrow_exception(error);
    }
    return outcome;
}

}  // namespace qm
