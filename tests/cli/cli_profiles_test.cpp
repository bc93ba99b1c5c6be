#include <gtest/gtest.h>

#include <zlib.h>

#include "support/TestSupport.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::RunCliCommand;

class CliProfilesTest : public test::TempDirTest {
protected:
    void CopyDemo() { fs::copy_file(fs::path(QM_SOURCE_DIR) / "demo/datas/demo.dat", DataDir() / "demo.dat"); }
};

TEST_F(CliProfilesTest, InfoOnTheDemoProfile) {
    CopyDemo();
    const auto run = RunCliCommand({"info", "--profile", "demo", "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    for (const char* key :
         {"\"profile\": \"demo\"", "\"sets\": 7", "\"clones\": 10", "\"roms\": 27", "\"sets_complete\": 1",
          "\"sets_incomplete\": 0", "\"sets_empty\": 6", "\"clones_complete\": 1", "\"clones_incomplete\": 0",
          "\"clones_empty\": 9", "\"rom_paths\": ["}) {
        EXPECT_NE(run.Out.find(key), std::string::npos) << key << " in " << run.Out;
    }
    const auto text = RunCliCommand({"info", "--profile", "demo"});
    // No archive at all: "complete" counts the set that needs no ROM.
    EXPECT_NE(text.Out.find("Sets:   7 (complete 1, incomplete 0, empty 6; 0 with an archive)"), std::string::npos)
        << text.Out;
    // --profile is for one command only.
    EXPECT_FALSE(fs::exists(Root() / "config/quillmark/quillmark.ini"));
}

TEST_F(CliProfilesTest, ProfilesUseAndTheCurrentMark) {
    CopyDemo();
    fs::copy_file(DataDir() / "demo.dat", DataDir() / "Arcade.dat");
    WriteFile("datas/quillmark.dat", "1.20\r\n/roms/\r\n");
    WriteFile("datas/quillmark0.dat", "1.20\r\n/cdrom/\r\n");
    auto run = RunCliCommand({"profiles"});
    EXPECT_EQ(run.Out, "  Arcade\n  demo\n");
    run = RunCliCommand({"use", "demo"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    run = RunCliCommand({"profiles"});
    EXPECT_EQ(run.Out, "  Arcade\n* demo\n");
    run = RunCliCommand({"profiles", "--json"});
    EXPECT_NE(run.Out.find("{\"name\": \"demo\", \"current\": true}"), std::string::npos) << run.Out;
    run = RunCliCommand({"info"});
    EXPECT_NE(run.Out.find("Profile:  demo"), std::string::npos);
}

TEST_F(CliProfilesTest, FailuresGiveOneLineAndNonZeroStatus) {
    auto run = RunCliCommand({"use", "nothing"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "quillmark-cli: no profile \"nothing\" in " + DataDir().string() +
                           "/; make one with \"import-dat FILE --name NAME\", \"import-emulator mame|raine EXE --name "
                           "NAME\" or \"profiles add FILE.dat\"\n");
    WriteFile("datas/broken.dat", "[EMULATOR]\r\nrefname=mame\r\n [GAMES]\r\n");
    run = RunCliCommand({"info", "--profile", "broken"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("File broken.dat has bad format."), std::string::npos) << run.Err;
    EXPECT_EQ(RunCliCommand({"frobnicate"}).Status, 2);
    EXPECT_EQ(RunCliCommand({"info", "--bogus"}).Status, 2);
    EXPECT_EQ(RunCliCommand({}).Status, 2);
    EXPECT_EQ(RunCliCommand({"--help"}).Status, 0);
    run = RunCliCommand({"info", "--data-dir"});
    EXPECT_EQ(run.Status, 2);
}

// The full MAME datafile, when the shared data is on this machine.
TEST_F(CliProfilesTest, FullMameDatafileCounts) {
    const fs::path gz = fs::path(QM_SOURCE_DIR) / "../shared/data/mame0251.dat.gz";
    if (!fs::exists(gz)) {
        GTEST_SKIP() << "no " << gz;
    }
    gzFile in = gzopen(gz.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    std::string bytes;
    char buffer[1 << 16];
    int n = 0;
    while ((n = gzread(in, buffer, sizeof buffer)) > 0) {
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    gzclose(in);
    WriteFile("datas/mame.dat", bytes);
    const auto run = RunCliCommand({"info", "--profile", "mame", "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"sets\": 19243, \"clones\": 45294, \"roms\": 146458"), std::string::npos) << run.Out;
    // With no archive only placeholder machines count: complete sets and clones, plus the sets
    // that hold a placeholder clone next to clones with ROMs.
    EXPECT_NE(run.Out.find("\"sets_complete\": 4958, \"sets_incomplete\": 6"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("\"clones_complete\": 5058, \"clones_incomplete\": 0"), std::string::npos) << run.Out;
}

}  // namespace
}  // namespace qm
