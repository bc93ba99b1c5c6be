// quillmark-cli killed (SIGKILL) at many moments of a scan, a refreshing scan and an audit that
// moves corrupted archives: no archive is lost, every cache is either true or the one the run
// started with (itself checked by the next scan) or absent, and the next run leaves no temporary
// file anywhere. CI runs a few kill points per command; scripts/killtest runs many.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/KillHarness.h"
#include "support/MountSupport.h"
#include "support/TestSupport.h"

namespace qm::test {
namespace {

constexpr int kCiKillPoints = 6;

class KillTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::vector<std::string> romLines;
        for (int n = 0; n < kArchives; ++n) {
            const std::string set = Name(n);
            std::vector<ZipEntrySpec> entries;
            for (int r = 0; r < 4; ++r) {
                const std::string rom = "r" + std::to_string(r) + ".bin";
                const std::string data = set + "/" + rom;
                entries.push_back({rom, data});
                romLines.push_back(
                    RomLine(set, set, set, set, rom, CrcOf(data), "N", "O", std::to_string(data.size())));
            }
            MakeZip(Master() / (set + ".zip"), entries);
        }
        MakeZip(Master() / "folders.zip", {{"docs/", ""}, {"docs/readme.txt", "read me"}});
        MakeZip(Master() / "odd.zip", {{"caf\xA4.bin", "a name no cache line can hold"}});
        for (int n = 0; n < 4; ++n) {
            WriteFile(Master().lexically_relative(Root()) / ("bad" + std::to_string(n) + ".zip"),
                      "PK\x03\x04 corrupted archive number " + std::to_string(n));
        }
        WriteFile("datas/kill.dat", Datafile(romLines, "mame", Roms().string() + "/"));
        ASSERT_EQ(RunCliCommand({"use", "kill"}).Status, 0);
        // Where corrupted archives go: another file system when one can be mounted here, so that
        // the move is a copy into a temporary file there.
        moveMount_ = std::make_unique<ScopedTmpfs>(Root() / "moved", 64 << 20);
    }

    static constexpr int kArchives = 80;
    static std::string Name(int n) {
        std::string digits = std::to_string(n);
        return "g" + std::string(3 - digits.size(), '0') + digits;
    }
    fs::path Master() const { return Root() / "master"; }
    fs::path Roms() const { return Root() / "roms"; }
    fs::path Moved() const { return Root() / "moved"; }
    fs::path CacheFile() const { return Roms() / "quillmark.dat"; }
    fs::path Scratch() const { return Root() / "cache/quillmark"; }

    // The planted collection, scanned once so that it has its cache.
    void Plant() {
        std::error_code ec;
        fs::remove_all(Roms(), ec);
        for (const auto& entry : fs::directory_iterator(Moved(), ec)) {
            fs::remove_all(entry.path(), ec);
        }
        fs::copy(Master(), Roms());
        ASSERT_EQ(RunCliCommand({"scan"}).Status, 0);
        ASSERT_TRUE(CacheDisagreement(CacheFile(), Roms()).empty());
    }
    // Remembers the archives and the cache as the run under test finds them.
    void Remember() {
        archives_ = FilesOf(Roms());
        archives_.erase("quillmark.dat");
        cacheBefore_ = ReadFile(CacheFile());
    }

    void ExpectNothingLost(const std::vector<fs::path>& folders) const {
        EXPECT_EQ(LostFiles(archives_, folders), std::vector<std::string>{});
    }
    // The cache the run started with, a true one, or none.
    void ExpectCacheTrueOrAsBeforeOrAbsent() const {
        if (fs::exists(CacheFile()) && ReadFile(CacheFile()) != cacheBefore_) {
            EXPECT_EQ(CacheDisagreement(CacheFile(), Roms()), "");
        }
    }
    void ExpectCleanAfterRerun() const {
        EXPECT_TRUE(fs::exists(CacheFile()));
        EXPECT_EQ(CacheDisagreement(CacheFile(), Roms()), "");
        EXPECT_EQ(TemporaryFilesIn({Roms(), Moved(), DataDir(), Scratch(), Root() / "config/quillmark"}),
                  std::vector<fs::path>{});
    }

    std::map<std::string, std::string> archives_;
    std::string cacheBefore_;
    std::unique_ptr<ScopedTmpfs> moveMount_;
};

TEST_F(KillTest, ScanOfAChangedCollection) {
    RunKillTrials(
        CliUnderTest({"scan"}), KillPointCount(kCiKillPoints),
        [&] {
            Plant();
            // Changed behind the cache's back: the scan has a cache to rewrite.
            fs::remove(Roms() / "g001.zip");
            fs::remove(Roms() / "g002.zip");
            fs::copy_file(Master() / "g001.zip", Roms() / "new.zip");
            fs::copy_file(Master() / "g004.zip", Roms() / "g003.zip", fs::copy_options::overwrite_existing);
            Remember();
        },
        [&](const KillTrial&) {
            ExpectNothingLost({Roms()});
            ExpectCacheTrueOrAsBeforeOrAbsent();
        },
        [&](const KillTrial&) { ExpectCleanAfterRerun(); });
}

TEST_F(KillTest, RefreshingScanKeepsACache) {
    RunKillTrials(
        CliUnderTest({"scan", "--refresh"}), KillPointCount(kCiKillPoints),
        [&] {
            Plant();
            Remember();
        },
        [&](const KillTrial&) {
            ExpectNothingLost({Roms()});
            // The old cache stays until the new one replaces it whole.
            EXPECT_TRUE(fs::exists(CacheFile()));
            ExpectCacheTrueOrAsBeforeOrAbsent();
        },
        [&](const KillTrial&) { ExpectCleanAfterRerun(); });
}

TEST_F(KillTest, AuditMovingCorruptedArchives) {
    RunKillTrials(
        CliUnderTest({"audit", "--quiet", "--refresh", "--corrupted=move:" + Moved().string()}),
        KillPointCount(kCiKillPoints),
        [&] {
            Plant();
            Remember();
        },
        [&](const KillTrial&) {
            ExpectNothingLost({Roms(), Moved()});
            ExpectCacheTrueOrAsBeforeOrAbsent();
        },
        [&](const KillTrial&) {
            ExpectCleanAfterRerun();
            for (int n = 0; n < 4; ++n) {
                EXPECT_FALSE(fs::exists(Roms() / ("bad" + std::to_string(n) + ".zip")));
            }
            ExpectNothingLost({Roms(), Moved()});
        });
}

}  // namespace
}  // namespace qm::test
