// quillmark-cli export-neogeo killed (SIGKILL) at many moments of a move to another file system:
// every archive is in its ROM directory or complete at the destination, neither folder keeps a
// cache that disagrees with it, and the next run finishes the export and leaves no temporary file.
// CI runs a few kill points; scripts/killtest runs many.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "support/KillHarness.h"
#include "support/MountSupport.h"
#include "support/TestSupport.h"

namespace qm::test {
namespace {

constexpr int kCiKillPoints = 6;
constexpr int kSets = 40;

class ExportKillTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::mt19937 random(251);
        std::vector<std::string> romLines;
        for (int n = 0; n < kSets; ++n) {
            const std::string set = Name(n);
            std::vector<ZipEntrySpec> entries;
            for (const char* rom : {"p1.rom", "c1.rom"}) {
                // Data that does not compress: each copy takes a while.
                std::string data(64 * 1024, '\0');
                for (char& c : data) {
                    c = static_cast<char>(random());
                }
                entries.push_back({rom, data});
                romLines.push_back(
                    RomLine(set, set, set, set, rom, CrcOf(data), "O", "O", std::to_string(data.size())));
            }
            MakeZip(Master() / (set + ".zip"), entries);
        }
        romLines.push_back(RomLine("plain", "p", "plain", "p", "x.rom", CrcOf("plain"), "N", "O", "5"));
        MakeZip(Master() / "plain.zip", {{"x.rom", "plain"}});
        WriteFile("datas/kill.dat", Datafile(romLines, "mame", Roms().string() + "/"));
        // A profile that reads the destination, so that it has a cache of its own to keep true.
        WriteFile("datas/other.dat", Datafile(romLines, "mame", Out().string() + "/"));
        ASSERT_EQ(RunCliCommand({"use", "kill"}).Status, 0);
        // The destination on another file system when one can be mounted: each move is then a
        // copy into a temporary file there, flushed, renamed, and only then the source deleted.
        mount_ = std::make_unique<ScopedTmpfs>(Out(), 64 << 20);
    }

    static std::string Name(int n) {
        const std::string digits = std::to_string(n);
        return "ng" + std::string(3 - digits.size(), '0') + digits;
    }
    fs::path Master() const { return Root() / "master"; }
    fs::path Roms() const { return Root() / "roms"; }
    fs::path Out() const { return Root() / "out"; }

    void Plant() {
        std::error_code ec;
        fs::remove_all(Roms(), ec);
        for (const auto& entry : fs::directory_iterator(Out(), ec)) {
            fs::remove_all(entry.path(), ec);
        }
        fs::copy(Master(), Roms());
        MakeZip(Out() / "kept.zip", {{"y.rom", "an archive the destination had"}});
        ASSERT_EQ(RunCliCommand({"scan"}).Status, 0);
        ASSERT_EQ(RunCliCommand({"scan", "--profile", "other"}).Status, 0);
        ASSERT_TRUE(fs::exists(Out() / "quillmark.dat"));
        archives_ = FilesOf(Roms());
        archives_.erase("quillmark.dat");
        for (auto& [name, bytes] : FilesOf(Out())) {
            archives_.emplace("out/" + name, std::move(bytes));
        }
        archives_.erase("out/quillmark.dat");
    }

    void ExpectNothingLostAndCachesTrue() const {
        EXPECT_EQ(LostFiles(archives_, {Roms(), Out()}), std::vector<std::string>{});
        // A cache is removed before its folder changes and written once the change is done.
        EXPECT_EQ(CacheDisagreement(Roms() / "quillmark.dat", Roms()), "");
        EXPECT_EQ(CacheDisagreement(Out() / "quillmark.dat", Out()), "");
    }

    std::map<std::string, std::string> archives_;
    std::unique_ptr<ScopedTmpfs> mount_;
};

TEST_F(ExportKillTest, MoveToAnotherFileSystem) {
    RunKillTrials(
        CliUnderTest({"export-neogeo", Out().string(), "--yes"}), KillPointCount(kCiKillPoints), [&] { Plant(); },
        [&](const KillTrial&) { ExpectNothingLostAndCachesTrue(); },
        [&](const KillTrial&) {
            ExpectNothingLostAndCachesTrue();
            for (int n = 0; n < kSets; ++n) {
                EXPECT_FALSE(fs::exists(Roms() / (Name(n) + ".zip"))) << Name(n);
                EXPECT_TRUE(fs::exists(Out() / (Name(n) + ".zip"))) << Name(n);
            }
            EXPECT_TRUE(fs::exists(Roms() / "quillmark.dat"));
            EXPECT_EQ(TemporaryFilesIn({Roms(), Out(), DataDir()}), std::vector<fs::path>{});
        });
}

}  // namespace
}  // namespace qm::test
