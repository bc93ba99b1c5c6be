#include "reports/AuditReport.h"

#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace qm {

namespace {

constexpr std::size_t kNameWidth = 12;
constexpr const char* kGap = "         ";  // before every status word of an entry line

// Names are padded with blanks to this width, never cut.
void AppendPadded(std::string& line, std::string_view s) {
    AppendPadRight(line, s, kNameWidth);
}

void AppendArchiveLine(std::string& line, const TArchiveFinding& f) {
    AppendPadded(line, FileNameOfPath(f.ArchivePath));
    switch (f.Kind) {
        case FindingKind::RightName:
        case FindingKind::RightNameTaken:
        case FindingKind::RightNameReadOnly:
            line += " : Right name is ";
            AppendPadded(line, f.Expected);
            if (f.Kind == FindingKind::RightNameTaken) {
                line += " but can't rename (";
                line += f.Expected;
                line += " already exist)";
            } else if (f.Kind == FindingKind::RightNameReadOnly) {
                line += " but can't rename (Read Only device)";
            }
            return;
        case FindingKind::DuplicatedArchive:
            line += " : Duplicated file.";
            return;
        case FindingKind::NoGoodName:
            line += " : No good name found";
            return;
        default:
            line += " : File name correct";
            return;
    }
}

// Name and CRC, then what was found.
void AppendEntryLine(std::string& line, const TFinding& f) {
    AppendPadded(line, f.Entry);
    line += ' ';
    line += f.Crc;
    const std::string_view suffix = f.Complemented ? " (complemented crc)" : "";
    const std::string_view noGoodDump = f.NoGoodDump ? " (No good dump known)" : "";
    switch (f.Kind) {
        case FindingKind::Correct:
            line += " correct";
            line += suffix;
            line += noGoodDump;
            return;
        case FindingKind::NeededElsewhere:
            line += kGap;
            line += "missing in set ";
            AppendPadded(line, f.Target);
            line += " (";
            line += f.Expected;
            line += ')';
            line += noGoodDump;
            line += suffix;
            return;
        case FindingKind::WrongName:
            line += kGap;
            line += "right name is ";
            line += f.Expected;
            line += suffix;
            return;
        case FindingKind::SecondName:
            line += kGap;
            line += "also needed with the name ";
            line += f.Expected;
            line += suffix;
            return;
        case FindingKind::DuplicatedEntry:
            line += kGap;
            line += "duplicated";
            line += suffix;
            return;
        case FindingKind::NotNeeded:
            line += kGap;
            line += "not needed in this set";
            return;
        default:
            line += kGap;
            line += "Unknown";
            return;
    }
}

void AppendFindingLine(std::string& line, const TFinding& f) {
    if (f.Kind == FindingKind::CheckFailed) {
        line += "Error : ";
        line += f.Message;
    } else {
        AppendEntryLine(line, f);
    }
}

}  // namespace

std::string FindingLine(const TArchiveFinding& finding) {
    std::string line;
    AppendArchiveLine(line, finding);
    return line;
}

std::string FindingLine(const TFinding& finding) {
    std::string line;
    AppendFindingLine(line, finding);
    return line;
}

void ForEachAuditReportLine(const TAuditResult& result, const std::function<void(std::string_view)>& line) {
    std::string scratch;
    for (const TArchiveFinding& finding : result.Names) {
        scratch.clear();
        AppendArchiveLine(scratch, finding);
        line(scratch);
    }
    for (const TArchiveFindings& archive : result.Archives) {
        line(std::string_view());
        scratch = "File " + archive.Path;
        const std::size_t headerSize = scratch.size();
        if (archive.Duplicate) {
            scratch += " (Another file with the same name exist)";
        }
        line(scratch);
        // One longer than the header without its remark.
        scratch.assign(headerSize + 1, '=');
        line(scratch);
        for (const TFinding& finding : archive.Findings) {
            scratch.clear();
            AppendFindingLine(scratch, finding);
            line(scratch);
        }
    }
    if (result.Empty()) {
        line(kNothingToReport);
    }
    line(std::string_view());
    line(kEndOfReport);
}

std::vector<std::string> AuditReportLines(const TAuditResult& result) {
    std::vector<std::string> lines;
    ForEachAuditReportLine(result, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

std::filesystem::path SaveAuditReport(const TAuditResult& result, const std::filesystem::path& folder) {
    std::filesystem::path file = folder / "report.txt";
    AtomicFileWriter writer(file);
    ForEachAuditReportLine(result, [&](std::string_view line) {
        writer.Write(line);
        writer.Write("\r\n");
    });
    writer.Commit();
    return file;
}

}  // namespace qm
