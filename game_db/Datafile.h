// The datafile format: header sections read as INI text, then "[GAMES]" and one ROM line per
// ROM of each clone. A ROM line is nine fields, each introduced by the byte 0xAC, with a
// closing 0xAC.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

enum RomLineField { fSet = 0, fSetDescription, fClone, fCloneDescription, fRomName, fCrc, fNeoGeo, fOwn, fSize };
inline constexpr int kRomLineFields = 9;

// Splits a ROM line into its nine fields as GetField reads them: field k is the text after the
// k-th delimiter up to the next one (or the end of the line); missing fields are empty. Gives
// the number of delimiters of the line. The views point into `line`.
int SplitRomLine(std::string_view line, std::array<std::string_view, kRomLineFields>& fields);
// True for a line of exactly nine fields: it starts and ends with the delimiter and holds ten.
bool IsWholeRomLine(std::string_view line, int delimiters);

struct RomLine {
    std::string SetName;
    std::string SetDescription;
    std::string CloneName;
    std::string CloneDescription;
    std::string RomName;
    std::string Crc;
    bool NeoGeo = false;
    bool Own = false;
    std::int64_t Size = 0;
};

std::string FormatRomLine(const RomLine& line);

struct DatafileHeader {
    std::string Author;
    std::string Version;
    std::string Comment;
    std::string RefName;
    std::string EmulatorVersion;
    std::string Exe;
    std::string RunCmd;
    std::string RomPaths;
};

// The header lines, "[CREDITS]" to "[GAMES]" included, as the builder writes them. Throws
// EBadValue for a value with control characters (CheckOneLineText).
std::vector<std::string> FormatDatafileHeader(const DatafileHeader& header);

}  // namespace qm
