// The commands that act on the whole collection, in the order the desktop program runs them,
// minus the windows: each reads top to bottom as its pipeline.
#pragma once

#include <filesystem>
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
// them), the checks, the report in words with its closing lines, report.txt, then a rescan
// from the caches. The rescan runs also after a cancel or an error, so that the picture of the
// collection is whole again; then ECancelClick (or the error) goes on to the caller.
AuditOutcome RunAudit(TSession& session, const TCheckOptions& options, Job& job);

}  // namespace qm
