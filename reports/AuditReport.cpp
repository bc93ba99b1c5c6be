#include "reports/AuditReport.h"

#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace qm {

namespace {

constexpr int kNameWidth = 12;
constexpr const char* kGap = "         ";  // before every status word of an entry line

std::string P(std::string_view s) {
    return PadRight(s, kNameWidth);
}

}  // namespace

std::string FindingLine(const TFinding& f) {
    const std::string suffix = f.Complemented ? " (complemented crc)" : "";
    const std::string entry = P(f.Entry) + " " + f.Crc;
    switch (f.Kind) {
        case FindingKind::RightName:
            return P(f.Archive) + " : Right name is " + P(f.Expected);
        case FindingKind::RightNameTaken:
            return P(f.Archive) + " : Right name is " + P(f.Expected) + " but can't rename (" + f.Expected +
                   " already exist)";
        case FindingKind::RightNameReadOnly:
            return P(f.Archive) + " : Right name is " + P(f.Expected) + " but can't rename (Read Only device)";
        case FindingKind::DuplicatedArchive:
            return P(f.Archive) + " : Duplicated file.";
        case FindingKind::NoGoodName:
            return P(f.Archive) + " : No good name found";
        case FindingKind::NameCorrect:
            return P(f.Archive) + " : File name correct";
        case FindingKind::Correct:
            return entry + " correct" + (f.Complemented ? " (complemented crc)" : "") +
                   (f.NoGoodDump ? " (No good dump known)" : "");
        case FindingKind::NeededElsewhere:
            return entry + kGap + "missing in set " + P(f.Target) + " (" + f.Expected + ")" +
                   (f.NoGoodDump ? " (No good dump known)" : "") + suffix;
        case FindingKind::WrongName:
            return entry + kGap + "right name is " + f.Expected + suffix;
        case FindingKind::SecondName:
            return entry + kGap + "also needed with the name " + f.Expected + suffix;
        case FindingKind::DuplicatedEntry:
            return entry + kGap + "duplicated" + suffix;
        case FindingKind::NotNeeded:
            return entry + kGap + "not needed in this set";
        case FindingKind::Unknown:
            return entry + kGap + "Unknown";
        case FindingKind::CheckFailed:
            return "Error : " + f.Message;
    }
    return {};
}

std::vector<std::string> AuditReportLines(const TAuditResult& result) {
    std::vector<std::string> lines;
    std::size_t count = result.Names.size();
    for (const TArchiveFindings& archive : result.Archives) {
        count += 3 + archive.Findings.size();
    }
    lines.reserve(count);
    for (const TFinding& finding : result.Names) {
        lines.push_back(FindingLine(finding));
    }
    for (const TArchiveFindings& archive : result.Archives) {
        const std::string header = "File " + archive.Path;
        lines.emplace_back();
        lines.push_back(archive.Duplicate ? header + " (Another file with the same name exist)" : header);
        // One longer than the header without its remark.
        lines.emplace_back(header.size() + 1, '=');
        for (const TFinding& finding : archive.Findings) {
            lines.push_back(FindingLine(finding));
        }
    }
    return lines;
}

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
