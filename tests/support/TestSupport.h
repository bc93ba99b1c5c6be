// Shared test fixtures: a fresh temporary folder per test with the settings, data and scratch
// folders pointed into it, so no test touches the developer's own files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qm::test {

namespace fs = std::filesystem;

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const fs::path& Root() const { return root_; }
    fs::path DataDir() const { return root_ / "datas"; }
    // Writes bytes to Root()/relative (parents created) and gives the path.
    fs::path WriteFile(const fs::path& relative, std::string_view bytes) const;
    std::string ReadFile(const fs::path& path) const;

private:
    fs::path root_;
    std::vector<std::pair<std::string, std::string>> savedEnv_;
};

// A ROM line of the datafile format, fields given in order.
std::string RomLine(std::string_view set, std::string_view setDescription, std::string_view clone,
                    std::string_view cloneDescription, std::string_view rom, std::string_view crc,
                    std::string_view neoGeo, std::string_view own, std::string_view size);

// A datafile: header with the given refname and romspaths, then "[GAMES]" and the lines.
std::string Datafile(const std::vector<std::string>& romLines, std::string_view refName = "mame",
                     std::string_view romPaths = "");

// A zip archive written with libzip: each entry (name, bytes) deflated, in order. Gives the
// path. Directory entries are names ending with '/'.
struct ZipEntrySpec {
    std::string Name;
    std::string Data;
};
fs::path MakeZip(const fs::path& path, const std::vector<ZipEntrySpec>& entries);
// Entry name (lower-cased) -> CRC of an archive, as its central directory says.
std::map<std::string, std::string> ArchiveListing(const fs::path& archive);
// CRC-32 of bytes as 8 lower-case hex digits.
std::string CrcOf(std::string_view bytes);
// Four bytes whose CRC-32 is the given one (8 hex digits).
std::string ForgeCrc(std::string_view crcHex);

// Runs the quillmark-cli verbs in-process; gives the exit status and what was printed.
struct CliRun {
    int Status = 0;
    std::string Out;
    std::string Err;
};
CliRun RunCliCommand(const std::vector<std::string>& args);

}  // namespace qm::test
