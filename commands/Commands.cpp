#include "commands/Commands.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>
#include <set>

#include "commands/Session.h"
#include "engine/Audit.h"
#include "engine/CorruptedFiles.h"
#include "engine/Repair.h"
#include "platform/Job.h"
#include "platform/Platform.h"
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
    // Copies into the move folders that a killed run left half-made.
    if (options.Corrupted == CorruptedAction::Move && !options.CorruptedPath.empty()) {
        RemoveStaleTempFiles(options.CorruptedPath);
    }
    if (options.Unknown == UnknownAction::Move && !options.UnknownPath.empty()) {
        RemoveStaleTempFiles(options.UnknownPath);
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

namespace {

// Another job's progress, status and cancel, without its problem lines: for a pass whose
// problems the next pass meets and reports again.
class QuietJob : public Job {
public:
    explicit QuietJob(Job& job) : job_(job) {}
    void Progress(std::uint64_t done, std::uint64_t total) override { job_.Progress(done, total); }
    void Status(std::string_view text) override { job_.Status(text); }
    bool CancelRequested() const override { return job_.CancelRequested(); }

private:
    Job& job_;
};

std::string FolderCheck(std::string& folder, const char* emptyMessage) {
    if (folder.empty()) {
        return emptyMessage;
    }
    folder = WithTrailingSlash(folder);
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        return "Directory not found, please choose another one.";
    }
    if (IsReadOnlyMedium(folder)) {
        return "Directory read only, please choose another one.";
    }
    return {};
}

std::string DirectoryOfArchive(const std::string& archivePath) {
    return WithTrailingSlash(std::filesystem::path(archivePath).parent_path().string());
}

TRepairAction CorruptedRepairAction(const TCheckOptions& options, const std::string& archivePath) {
    if (options.Corrupted == CorruptedAction::Delete) {
        return {RepairActionKind::DeleteCorrupted, archivePath, {}, {}, {}, {}};
    }
    return {RepairActionKind::MoveCorrupted, archivePath, {}, {}, WithTrailingSlash(options.CorruptedPath), {}};
}

// The dry run: a scan from the caches (corrupted archives recorded, not touched), then the walk
// on the model.
// `archives`, when given, gets the number of archives of each directory as the scan found them
// (unreadable ones included).
TRepairResult PlanRepair(TSession& session, const TCheckOptions& options, Job& job,
                         std::map<std::string, std::size_t>* archives = nullptr) {
    std::vector<TRepairAction> corrupted;
    std::set<std::string> unreadable;
    session.Paths.Scan(false, job, [&](const std::string& path, const std::string& message) {
        job.Problem(message);
        if (options.Corrupted == CorruptedAction::Ignore) {
            job.Problem("***** File ignored");
            unreadable.insert(path);
        } else {
            corrupted.push_back(CorruptedRepairAction(options, path));
        }
    });
    if (archives != nullptr) {
        for (const auto& path : session.Paths.Paths()) {
            (*archives)[path->Path] = path->Files().size();
        }
        for (const TRepairAction& action : corrupted) {
            ++(*archives)[DirectoryOfArchive(action.Archive)];
        }
    }
    TRepair repair(session.Paths, options, nullptr, job);
    repair.UnreadableArchives = std::move(unreadable);
    for (TRepairAction& action : corrupted) {
        repair.Record(std::move(action));
    }
    repair.Run();
    return std::move(repair.Result);
}

// The directory of which the plan moves or deletes more than half of the archives, if any.
void GuardAgainstLoss(const TRepairResult& plan, const std::map<std::string, std::size_t>& archives) {
    std::map<std::string, std::size_t> going;
    for (const TRepairAction& action : plan.Actions) {
        switch (action.Kind) {
            case RepairActionKind::DeleteArchive:
            case RepairActionKind::MoveArchive:
            case RepairActionKind::DeleteCorrupted:
            case RepairActionKind::MoveCorrupted:
                ++going[DirectoryOfArchive(action.Archive)];
                break;
            default:
                break;
        }
    }
    for (const auto& [directory, count] : going) {
        const auto it = archives.find(directory);
        const std::size_t total = it == archives.end() ? count : it->second;
        if (2 * count > total) {
            throw ERepairRefused(directory, count, total);
        }
    }
}

}  // namespace

ERepairRefused::ERepairRefused(const std::string& directory, std::size_t going, std::size_t archives)
    : std::runtime_error("The repair would delete or move " + std::to_string(going) + " of the " +
                         std::to_string(archives) + " archives of " + directory +
                         ": nothing was changed. Is this the right datafile ?"),
      Directory(directory),
      Going(going),
      Archives(archives) {}

std::string CheckRepairOptions(TCheckOptions& options) {
    if (options.Corrupted == CorruptedAction::Move) {
        if (std::string why = FolderCheck(options.CorruptedPath, "Select a directory to move corrupted files.");
            !why.empty()) {
            return why;
        }
    }
    if (options.Unknown == UnknownAction::Move) {
        if (std::string why = FolderCheck(options.UnknownPath, "Select a directory to move useless files.");
            !why.empty()) {
            return why;
        }
    }
    return {};
}

bool RepairDeletes(const TCheckOptions& options) {
    return options.Unknown == UnknownAction::Delete || options.Corrupted == CorruptedAction::Delete;
}

void RunRepair(TSession& session, const TCheckOptions& options, const RepairRequest& request, Job& commandJob,
               RepairOutcome& outcome) {
    KeepingProblems job(commandJob, outcome.ProblemLines);
    std::exception_ptr error;
    try {
        UseCheckOptions(session, options);
        RemoveLeftoversOfMoves(options);
        const bool disposes = options.Unknown != UnknownAction::Ignore || options.Corrupted != CorruptedAction::Ignore;
        if (request.DryRun) {
            outcome.Result = PlanRepair(session, options, job);
        } else {
            if (disposes) {
                // The walk on the model first: were most archives of a directory to go, nothing
                // is touched. Its problem lines come again with the repair itself.
                QuietJob quiet(job);
                std::map<std::string, std::size_t> archives;
                const TRepairResult plan = PlanRepair(session, options, quiet, &archives);
                if (!request.Force) {
                    GuardAgainstLoss(plan, archives);
                }
            }
            // Every archive read afresh before anything changes.
            TCorruptedFiles corrupted(session.DirCache, options, job);
            std::vector<TRepairAction> handled;
            std::set<std::string> unreadable;
            auto handle = [&](const std::string& path, const std::string& message) {
                const std::size_t before = corrupted.Handled();
                corrupted.Handle(path, message);
                if (corrupted.Handled() > before) {
                    handled.push_back(CorruptedRepairAction(options, path));
                    return true;
                }
                unreadable.insert(path);
                return false;
            };
            session.Paths.Scan(true, job,
                               [&](const std::string& path, const std::string& message) { handle(path, message); });
            TRepair repair(session.Paths, options, &session.DiskAccess, job);
            repair.UnreadableArchives = std::move(unreadable);
            unreadable.clear();
            for (TRepairAction& action : handled) {
                repair.Record(std::move(action));
            }
            handled.clear();
            repair.OnZipError = [&](const std::string& path, const std::string& message) {
                const bool gone = handle(path, message);
                repair.UnreadableArchives.merge(unreadable);
                for (TRepairAction& action : handled) {
                    repair.Record(std::move(action));
                }
                handled.clear();
                return gone;
            };
            try {
                repair.Run();
            } catch (...) {
                outcome.Result = std::move(repair.Result);
                outcome.FailedChanges = outcome.Result.FailedArchives + corrupted.Failed();
                throw;
            }
            outcome.Result = std::move(repair.Result);
            outcome.FailedChanges = outcome.Result.FailedArchives + corrupted.Failed();
            SaveCacheChanges(session, job);
        }
    } catch (...) {
        error = std::current_exception();
    }
    RestorePicture(session, options, job, error != nullptr);
    if (error) {
        std::rethrow_exception(error);
    }
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
