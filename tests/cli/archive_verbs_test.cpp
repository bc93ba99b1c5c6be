#include <gtest/gtest.h>

#include "archive/ZipForge.h"
#include "game_db/cel_strings.h"
#include "support/TestSupport.h"

namespace qm::test {
namespace {

std::string Crc(std::string_view data) {
    return CrcToHex(Crc32Of(data.data(), data.size()));
}

class ArchiveVerbs : public TempDirTest {};

TEST_F(ArchiveVerbs, ZipListPrintsEntriesAndNumberedErrors) {
    const fs::path good =
        WriteFile("good.zip", ForgeZip({{.Name = "a.bin", .Data = "aaa"}, {.Name = "dir/b.bin", .Data = ""}}));
    const fs::path bad = WriteFile("bad.zip", std::string(40, 'x'));
    const fs::path moved = WriteFile("moved.zip", "stub" + ReadFile(good));

    CliRun run = RunCliCommand({"zip", "list", good.string()});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, good.string() + "\n  " + Crc("aaa") + "          3  a.bin\n  00000000          0  dir/b.bin\n");

    run = RunCliCommand({"zip", "list", bad.string(), good.string(), (Root() / "none.zip").string(), moved.string()});
    EXPECT_NE(run.Status, 0);
    EXPECT_NE(run.Err.find(bad.string() + ": error 11036: This archive is not a valid Zip archive"), std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("none.zip: not found"), std::string::npos) << run.Err;
    // A warning still lists the entries.
    EXPECT_NE(run.Err.find("moved.zip: warning 10203: Warning - Error in zip structure!"), std::string::npos);
    EXPECT_NE(run.Out.find(moved.string() + "\n  " + Crc("aaa")), std::string::npos) << run.Out;

    run = RunCliCommand({"--json", "zip", "list", good.string(), bad.string()});
    EXPECT_NE(run.Status, 0);
    EXPECT_NE(run.Out.find("{\"name\": \"a.bin\", \"crc\": \"" + Crc("aaa") + "\", \"size\": 3}"), std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("\"error\": {\"code\": 11036, \"message\": \"This archive is not a "
                           "valid Zip archive\", \"file\": \"" +
                           bad.string() + "\"}"),
              std::string::npos)
        << run.Out;

    EXPECT_EQ(RunCliCommand({"zip", "show", good.string()}).Status, 2);
    EXPECT_EQ(RunCliCommand({"zip", "list"}).Status, 2);
}

TEST_F(ArchiveVerbs, CrcPrintsTheListOfEachFile) {
    const std::string image(8192, 'i');
    const fs::path rom = WriteFile("game.nes", std::string(16, 'h') + image);
    const fs::path archive = WriteFile("Set.zip", ForgeZip({{.Name = "PRG.BIN", .Data = "prg"}}));

    CliRun run = RunCliCommand({"crc", rom.string(), archive.string()});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, rom.string() + "\n  " + Crc(std::string(16, 'h') + image) + "       8208  " + rom.string() +
                           "\n" + archive.string() + "\n  " + Crc("prg") + "          3  prg.bin\n");
    run = RunCliCommand({"crc", "--nes", rom.string()});
    EXPECT_NE(run.Out.find(Crc(image) + "       8192"), std::string::npos) << run.Out;
    run = RunCliCommand({"crc", "--snes", rom.string()});
    EXPECT_NE(run.Out.find(Crc(image) + "       8192"), std::string::npos) << run.Out;

    run =
        RunCliCommand({"crc", (Root() / "none.bin").string(), WriteFile("x.zip", "not a zip at all!!!!!!!!").string()});
    EXPECT_NE(run.Status, 0);
    EXPECT_NE(run.Err.find("File \"" + (Root() / "none.bin").string() + "\" not found."), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("File \"x.zip\": This archive is not a valid Zip archive"), std::string::npos) << run.Err;

    run = RunCliCommand({"--json", "crc", archive.string()});
    EXPECT_EQ(run.Status, 0);
    EXPECT_NE(run.Out.find("\"items\": [{\"name\": \"prg.bin\", \"crc\": \"" + Crc("prg") + "\", \"size\": 3}]"),
              std::string::npos)
        << run.Out;
}

TEST(CliVersion, IsTheProjectsVersion) {
    const CliRun run = RunCliCommand({"--version"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, std::string("quillmark-cli ") + QM_VERSION + "\n");
}

}  // namespace
}  // namespace qm::test
