// The text audit report: the audit's findings in words, the closing lines, and the file
// "report.txt" in the scratch folder.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Finding.h"

namespace qm {

inline constexpr const char* kNothingToReport = "Nothing to report !";
inline constexpr const char* kEndOfReport = "------------ end of report";

// The report line of one finding. Entry findings need no archive: their block's header names it.
std::string FindingLine(const TArchiveFinding& finding);
std::string FindingLine(const TFinding& finding);
// Every line of report.txt, in order: the archive-name lines, then per archive an empty line,
// its header ("File " + path, with a remark for a duplicated archive), the underline and its
// lines; "Nothing to report !" when there is none of those; then an empty line and the end line.
// Each line is made when it is handed over and not kept: a large collection's report has
// hundreds of thousands of lines, and its findings hold all they say.
void ForEachAuditReportLine(const TAuditResult& result, const std::function<void(std::string_view)>& line);
std::vector<std::string> AuditReportLines(const TAuditResult& result);
// Writes folder/"report.txt" (lines ended by CR LF), replacing it whole; gives its path.
std::filesystem::path SaveAuditReport(const TAuditResult& result, const std::filesystem::path& folder);

}  // namespace qm
