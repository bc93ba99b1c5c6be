// The commands that act on the whole collection, in the order the desktop program runs them,
// minus the windows: each reads top to bottom as its pipeline.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Finding.h"
#include "engine/Repair.h"
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

// The checks of the repair options, in the order of the options dialog: a move folder must be
// given, exist and be writable (a trailing '/' is added to it). Empty when they pass, else the
// message to show.
std::string CheckRepairOptions(TCheckOptions& options);
// Whether the options delete files (unknown or corrupted): the user must confirm that first.
bool RepairDeletes(const TCheckOptions& options);
// The confirmation asked for a repair that deletes.
inline constexpr const char* kRepairDeleteWarning =
    "WARNING !\nYou choose to delete bad or unknown files.\n\nPlease confirm your choice.";

// A repair that would delete or move more than half of the archives of one directory (almost
// always the sign of a wrong datafile) stops before it changes anything, unless forced.
class ERepairRefused : public std::runtime_error {
public:
    ERepairRefused(const std::string& directory, std::size_t going, std::size_t archives);
    std::string Directory;
    std::size_t Going = 0;
    std::size_t Archives = 0;
};

struct RepairRequest {
    bool DryRun = false;  // the walk on the model only: nothing on disk changes
    bool Force = false;   // go on even when most archives of a directory would go
};

struct RepairOutcome {
    TRepairResult Result;                   // what was done (a dry run: what would be), in order
    std::vector<std::string> ProblemLines;  // every problem line of the run, as the job saw them
    // Archives whose work ended on an error, and corrupted archives that could not be moved or
    // deleted.
    std::size_t FailedChanges = 0;
};

// Repair: options handed over, the dry run's plan checked against the loss guard (when the
// options move or delete), a fresh reading of every archive (corrupted ones handled as it meets
// them), the walk, then a rescan from the caches. `outcome` holds what was done also when the
// repair is cancelled (ECancelClick goes on to the caller once the picture is whole again).
void RunRepair(TSession& session, const TCheckOptions& options, const RepairRequest& request, Job& job,
               RepairOutcome& outcome);

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
