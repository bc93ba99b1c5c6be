#include "commands/Commands.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>

#include "commands/Session.h"
#include "platform/SystemTools.h"
#include "platform/TempFiles.h"
#include "reports/Report.h"

namespace qm {

AuditOutcome RunAudit(TSession& session, const TCheckOptions& options,
                      const std::function<void(const AuditOutcome&)>& reportSaved) {
    AuditOutcome outcome;
    TPathsList& paths = session.Paths;
    paths.Options = options;
    paths.SplitMode = options.SplitMode;
    session.Games.SplitMode = options.SplitMode;
    session.Config.SplitMode = options.SplitMode;

    auto previousProblems = paths.OnProblemLines;
    paths.OnProblemLines = [&](const std::vector<std::string>& lines) {
        outcome.ProblemLines.insert(outcome.ProblemLines.end(), lines.begin(), lines.end());
        if (previousProblems) {
            previousProblems(lines);
        }
    };
    // What runs whatever happens: statuses again after a refresh, and the cache edits on disk.
    struct Always {
        TSession& session;
        const TCheckOptions& options;
        std::function<void(const std::vector<std::string>&)> previous;
        ~Always() {
            session.Paths.OnProblemLines = previous;
            try {
                // A cache that cannot be written is removed instead; the next scan reads those
                // archives again. Nothing else can be done about it while an error unwinds.
                session.DirCache.Reset();
            } catch (const std::exception&) {
            }
            session.DirCache.ReleaseLocks();
            if (options.RefreshCache) {
                session.Paths.SetRomStatus();
            }
        }
    } always{session, options, previousProblems};

    if (options.Corrupted == CorruptedAction::Move && !options.CorruptedPath.empty()) {
        // Copies into the move folder that a killed run left half-made.
        RemoveStaleTempFiles(options.CorruptedPath);
    }
    paths.Audit(outcome.Lines);
    outcome.FailedChanges = paths.FailedChanges;
    if (!paths.ProblemLines.empty()) {
        outcome.ProblemLines.insert(outcome.ProblemLines.end(), paths.ProblemLines.begin(), paths.ProblemLines.end());
        paths.ProblemLines.clear();
    }
    CompleteAuditReport(outcome.Lines);
    outcome.ReportFile = SaveAuditReport(outcome.Lines, session.Config.TempDir);
    if (reportSaved) {
        reportSaved(outcome);
    }
    paths.Reset(true);
    paths.Scan(false);
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
