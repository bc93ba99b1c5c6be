// Helpers for tests on real archives: running the zip tools of the system and reading what
// `unzip -v` says about an archive.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archive/ZipMstr.h"
#include "engine/FilesTools.h"
#include "game_db/cel_strings.h"
#include "support/TestSupport.h"

namespace qm::test {

struct Listed {
    std::string Name;
    std::string Crc;
    std::uint64_t Size = 0;
    bool operator==(const Listed&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Listed& e) {
    return out << e.Crc << " " << e.Size << " " << e.Name;
}

// A shell command run in `dir`; its exit code.
inline int Shell(const std::filesystem::path& dir, const std::string& command) {
    return ExecAndWait({"sh", "-c", "cd '" + dir.string() + "' && " + command}, true, false);
}

inline bool HaveTool(const std::string& name) {
    return ExecAndWait({"sh", "-c", "command -v " + name + " >/dev/null 2>&1"}, true, false) == 0;
}

// The 7-Zip command of this machine, or empty.
inline std::string SevenZip() {
    for (const char* name : {"7zz", "7z", "7za"}) {
        if (HaveTool(name)) {
            return name;
        }
    }
    return {};
}

// Entries as `unzip -v` prints them.
inline std::vector<Listed> UnzipListing(const std::filesystem::path& archive, const std::filesystem::path& scratch) {
    const std::filesystem::path out = scratch / "unzip-v.txt";
    ExecAndWait({"unzip", "-v", archive.string()}, true, false, out);
    std::ifstream in(out);
    std::vector<Listed> entries;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string length, method, size, ratio, date, time, crc;
        if (!(fields >> length >> method >> size >> ratio >> date >> time >> crc) ||
            length.find_first_not_of("0123456789") != std::string::npos || ratio.back() != '%' || crc.size() != 8) {
            continue;
        }
        const std::size_t at = line.find(crc, line.find(time) + time.size());
        entries.push_back({line.substr(at + 10), crc, std::stoull(length)});
    }
    return entries;
}

inline std::vector<Listed> Entries(const TZipMaster& zip) {
    std::vector<Listed> out;
    for (const ZipDirEntry& e : zip.ZipEntries()) {
        out.push_back({e.FileName, CrcToHex(e.Crc32), e.UncompressedSize64});
    }
    return out;
}

}  // namespace qm::test
