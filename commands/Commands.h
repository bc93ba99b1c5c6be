// The commands that act on the whole collection, in the order the desktop program runs them,
// minus the windows: each reads top to bottom as its pipeline.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/Finding.h"
#include "engine/RomsFiles.h"

namespace qm {

class Job;
class TSession;

struct AuditOutcome {
    TAuditResult Result;                    // the findings, which report.txt puts in words
    std::filesystem::path ReportFile;       // scratch folder/report.txt
    std::vector<std::string> ProblemLines;  // every problem line of the run, as the job saw them
    std::size_t FailedChanges = 0;          // corrupted archives that could not be moved or deleted
};

// Audit: options handed over, a fresh scan when asked (corrupted archives handled as it meets
// them), the checks, report.txt, then a rescan from the caches. `reportSaved`, when given, is
// called with the outcome once the report is saved, before the rescan (the desktop program shows
// it then). The rescan runs also after a cancel or an error, so that the picture of the
// collection is whole again; then ECancelClick (or the error) goes on to the caller.
AuditOutcome RunAudit(TSession& session, const TCheckOptions& options, Job& job,
                      const std::function<void(const AuditOutcome&)>& reportSaved = {});

// The emulator's command line for playing `game`: the executable, the words of its run command
// (split on blanks), the game name. No shell sees it: names and paths go as they are.
std::vector<std::string> PlayCommandLine(const std::string& exe, const std::string& runCmd, const std::string& game);

struct PlayOutcome {
    int ExitCode = 0;       // kProcessNotWaited when the emulator did not start
    std::string ErrorTail;  // the end of what it wrote to its standard error
};
// Runs the emulator in its own folder `exeDir` and waits for its end; what it prints goes on to
// this program's standard output.
PlayOutcome RunGame(const std::vector<std::string>& commandLine, const std::filesystem::path& exeDir);

}  // namespace qm
