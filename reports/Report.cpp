#include "reports/Report.h"

#include "platform/Platform.h"

namespace qm {

void CompleteAuditReport(std::vector<std::string>& lines) {
    if (lines.empty()) {
        lines.emplace_back(kNothingToReport);
    }
    lines.emplace_back();
    lines.emplace_back(kEndOfReport);
}

std::filesystem::path SaveAuditReport(const std::vector<std::string>& lines, const std::filesystem::path& folder) {
    const std::filesystem::path file = folder / "report.txt";
    WriteLinesAtomic(file, lines);
    return file;
}

}  // namespace qm
