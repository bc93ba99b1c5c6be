// What quillmark-cli does when another run holds the collection, when a cache cannot be
// written, when a ROM directory is not there, and with the leftovers of a killed run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/DirectoryLock.h"
#include "support/ForeignLock.h"
#include "support/TestSupport.h"

namespace qm::test {
namespace {

const std::string kRom = "the only rom";

class CliConcurrencyTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        MakeZip(Roms() / "game.zip", {{"game.bin", kRom}});
        WriteFile("roms/broken.zip", "PK\x03\x04 not a zip archive");
        WriteFile("datas/test.dat", Datafile({RomLine("game", "Game", "game", "Game", "game.bin", CrcOf(kRom), "N", "O",
                                                      std::to_string(kRom.size()))},
                                             "mame", Roms().string() + "/;" + (Root() / "unplugged").string() + "/"));
        ASSERT_EQ(RunCliCommand({"use", "test"}).Status, 0);
    }
    fs::path Roms() const { return Root() / "roms"; }
};

TEST_F(CliConcurrencyTest, ASecondChangingRunWaitsThenNamesTheFirstAndChangesNothing) {
    ForeignLock other(Roms());
    const std::string busy = Roms().string() + "/: in use by another process (pid " + std::to_string(other.Pid()) +
                             ", " + ProcessName(other.Pid()) + ")";
    auto run = RunCliCommand({"scan"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find(busy), std::string::npos) << run.Err;
    EXPECT_FALSE(fs::exists(Roms() / "quillmark.dat"));

    run = RunCliCommand({"audit", "--refresh", "--corrupted=delete"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find(busy), std::string::npos) << run.Err;
    EXPECT_TRUE(fs::exists(Roms() / "broken.zip"));
}

TEST_F(CliConcurrencyTest, ScanSaysWhatItCouldNotDo) {
    fs::create_directories(Roms() / "quillmark.dat");  // no cache can be written there
    auto run = RunCliCommand({"scan"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Out.find("Scanned 1 archives, 1 entries in 1 directories\n"), std::string::npos) << run.Out;
    // What it could not do goes to standard error.
    EXPECT_NE(
        run.Err.find("Directory " + (Root() / "unplugged").string() + "/ cannot be read: No such file or directory\n"),
        std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("Cache not written: " + (Roms() / "quillmark.dat").string()), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("cache writes failed: 1\n"), std::string::npos) << run.Err;
    run = RunCliCommand({"scan", "--json"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Out.find("\"directories_scanned\": 1, \"cache_writes_failed\": 1"), std::string::npos) << run.Out;

    fs::remove(Roms() / "quillmark.dat");
    run = RunCliCommand({"scan"});
    EXPECT_EQ(run.Status, 0) << run.Out;
    EXPECT_EQ(run.Err.find("cache writes failed"), std::string::npos);
    EXPECT_TRUE(fs::exists(Roms() / "quillmark.dat"));
}

TEST_F(CliConcurrencyTest, LeftoversOfAKilledRunGoAtTheNextRun) {
    const fs::path scratch = Root() / "cache/quillmark";
    const std::vector<fs::path> stale = {
        WriteFile("datas/test.dat.qmtmp-a1B2c3", "half a datafile"),
        WriteFile("cache/quillmark/report.txt.qmtmp-a1B2c3", std::string(1000, 'r')),
        WriteFile("config/quillmark/quillmark.ini.qmtmp-a1B2c3", "[quillmark]"),
        WriteFile("roms/quillmark.dat.qmtmp-a1B2c3", "half a cache"),
        WriteFile("moved/broken.zip.qmtmp-a1B2c3", "half a copy"),
    };
    // One being written by a live run stays.
    const fs::path live = WriteFile("cache/quillmark/report.txt.qmtmp-LiVe00", "being written");
    const int fd = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    auto run = RunCliCommand({"audit", "--quiet", "--refresh", "--corrupted=move:" + (Root() / "moved").string()});
    EXPECT_EQ(run.Status, 3) << run.Err;  // it met a corrupted archive
    for (const fs::path& file : stale) {
        EXPECT_FALSE(fs::exists(file)) << file;
    }
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(Root() / "moved/broken.zip"));
    ::close(fd);
}

}  // namespace
}  // namespace qm::test
