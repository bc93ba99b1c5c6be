// The commands that act on the whole collection, in the order the desktop program runs them,
// minus the windows: each reads top to bottom as its pipeline.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "engine/RomsFiles.h"

namespace qm {

class TSession;

struct AuditOutcome {
    std::vector<std::string> Lines;         // the report as saved
    std::filesystem::path ReportFile;       // scratch folder/report.txt
    std::vector<std::string> ProblemLines;  // corrupted archives met on the way
    std::size_t FailedChanges = 0;          // corrupted archives that could not be moved or deleted
};

// Audit: options handed over, the audit, the closing lines, report.txt, then a rescan from the
// caches. Throws ECancelClick when cancelled (after the steps that always run).
AuditOutcome RunAudit(TSession& session, const TCheckOptions& options);

}  // namespace qm
