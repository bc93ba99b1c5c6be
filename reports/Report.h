// The text audit report: its closing lines and the file "report.txt" in the scratch folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qm {

inline constexpr const char* kNothingToReport = "Nothing to report !";
inline constexpr const char* kEndOfReport = "------------ end of report";

// "Nothing to report !" when there is no line, then an empty line and the end line.
void CompleteAuditReport(std::vector<std::string>& lines);
// Writes the lines (CR LF) to folder/"report.txt", replacing it whole; gives its path.
std::filesystem::path SaveAuditReport(const std::vector<std::string>& lines, const std::filesystem::path& folder);

}  // namespace qm
