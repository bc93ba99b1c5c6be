#include "commands/Commands.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "commands/Session.h"
#include "engine/Audit.h"
#include "engine/CorruptedFiles.h"
#include "platform/Job.h"
#include "platform/SystemTools.h"
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
    session.CheckOptions = options;
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

AuditOutcome RunAudit(TSession& session, const TCheckOptions& options, Job& commandJob,
                      const std::function<void(const AuditOutcome&)>& reportSaved) {
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
        TAudit audit(session.Paths, options, job);
        audit.BeforeEntryCheck = session.BeforeEntryCheck;
        outcome.Result = audit.Run();
        SaveCacheChanges(session, job);
        outcome.Result.CorruptedHandled = corrupted.Handled();
        outcome.Result.CorruptedFailed = outcome.FailedChanges = corrupted.Failed();
        outcome.ReportFile = SaveAuditReport(outcome.Result, session.Config.TempDir);
        if (reportSaved) {
            reportSaved(outcome);
        }
    } catch (...) {
        error = std::current_exception();
    }
    RestorePicture(session, options, job, error != nullptr);
    if (error) {
        std::rethrow_exception(error);
    }
    return outcome;
}

std::vector<std::string> PlayCommandLine(const std::string& exe, const std::string& runCmd, const std::string& game) {
    std::vector<std::string> argv{exe};
    std::size_t at = 0;
    while (at < runCmd.size()) {
        const std::size_t end = std::min(runCmd.find(' ', at), runCmd.size());
        if (end > at) {
            argv.push_back(runCmd.substr(at, end - at));
        }
        at = end + 1;
    }
    argv.push_back(game);
    return argv;
}

PlayOutcome RunGame(const std::vector<std::string>& commandLine, const std::filesystem::path& exeDir) {
    PlayOutcome outcome;
    outcome.ExitCode = RunProcessReading(
        commandLine,
        [](std::string_view piece) {
            std::fwrite(piece.data(), 1, piece.size(), stdout);
            std::fflush(stdout);
            return true;
        },
        &outcome.ErrorTail, exeDir);
    return outcome;
}

}  // namespace qm
