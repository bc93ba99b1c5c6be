// The text audit report: the audit's findings in words, the closing lines, and the file
// "report.txt" in the scratch folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "engine/Finding.h"

namespace qm {

inline constexpr const char* kNothingToReport = "Nothing to report !";
inline constexpr const char* kEndOfReport = "------------ end of report";

// The report line of one finding. Entry findings need no archive: their block's header names it.
std::string FindingLine(const TFinding& finding);
// The findings as report lines: the archive-name lines, then per archive an empty line, its
// header ("File " + path, with a remark for a duplicated archive), the underline and its lines.
std::vector<std::string> AuditReportLines(const TAuditResult& result);
// "Nothing to report !" when there is no line, then an empty line and the end line.
void CompleteAuditReport(std::vector<std::string>& lines);
// Writes the lines (CR LF) to folder/"report.txt", replacing it whole; gives its path.
std::filesystem::path SaveAuditReport(const std::vector<std::string>& lines, const std::filesystem::path& folder);

}  // namespace qm
