// quillmark-cli merge killed (SIGKILL) at many moments of its run: every archive of the collection
// stays whole and keeps every ROM it held (an entry in the way is kept under another name), the
// cache is true or absent, the dropped files are untouched, and the next run completes the merge
// and leaves no temporary file. CI runs a few kill points; scripts/killtest runs many.
#include <gtest/gtest.h>

#include "support/KillHarness.h"
#include "support/TestSupport.h"

namespace qm::test {
namespace {

constexpr int kCiKillPoints = 6;
constexpr int kSets = 40;
constexpr int kDropped = 8;

std::string SetName(int n) {
    std::string digits = std::to_string(n);
    return "s" + std::string(3 - digits.size(), '0') + digits;
}
std::string RomData(int set, int rom) {
    // Tens of kilobytes each, so that writing the archives takes most of the run.
    std::string data = SetName(set) + "/r" + std::to_string(rom) + ".bin ";
    while (data.size() < 40000) {
        data += std::to_string(data.size() * 7919 + static_cast<std::size_t>(set));
    }
    return data;
}
std::string OldData(int set) {
    return "an older dump of " + SetName(set) + " r2";
}

class MergeKillTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::vector<std::string> lines;
        std::vector<std::vector<ZipEntrySpec>> drops(kDropped);
        for (int s = 0; s < kSets; ++s) {
            const std::string set = SetName(s);
            std::vector<ZipEntrySpec> held;
            for (int r = 0; r < 4; ++r) {
                const std::string rom = "r" + std::to_string(r) + ".bin";
                const std::string data = RomData(s, r);
                lines.push_back(RomLine(set, set, set, set, rom, CrcOf(data), "N", "O", std::to_string(data.size())));
                const bool inCollection = s < 30 && r < 2;
                if (inCollection) {
                    held.push_back({rom, data});
                } else {
                    drops[static_cast<std::size_t>(s % kDropped)].push_back({set + "-" + rom, data});
                }
            }
            if (s < 30 && s % 5 == 0) {
                held.push_back({"r2.bin", OldData(s)});
            }
            if (!held.empty()) {
                MakeZip(Master() / (set + ".zip"), held);
            }
        }
        for (int d = 0; d < kDropped; ++d) {
            const fs::path file = Root() / "drop" / ("d" + std::to_string(d) + ".zip");
            MakeZip(file, drops[static_cast<std::size_t>(d)]);
            dropped_.push_back(file.string());
        }
        WriteFile("datas/kill.dat", Datafile(lines, "mame", Roms().string() + "/"));
        ASSERT_EQ(RunCliCommand({"use", "kill"}).Status, 0);
        for (const std::string& file : dropped_) {
            droppedBytes_.push_back(ReadFile(file));
        }
    }

    fs::path Master() const { return Root() / "master"; }
    fs::path Roms() const { return Root() / "roms"; }
    fs::path CacheFile() const { return Roms() / "quillmark.dat"; }

    void Plant() {
        std::error_code ec;
        fs::remove_all(Roms(), ec);
        fs::copy(Master(), Roms());
        ASSERT_EQ(RunCliCommand({"scan"}).Status, 0);
        before_.clear();
        for (const auto& [name, bytes] : FilesOf(Roms())) {
            if (name != "quillmark.dat") {
                before_[name] = ArchiveListing(Roms() / name);
            }
        }
    }

    ChildProgram Merge() const {
        std::vector<std::string> args = {"merge", "--yes"};
        args.insert(args.end(), dropped_.begin(), dropped_.end());
        return CliUnderTest(args);
    }

    // Every archive there before is whole and holds every ROM it held, under its name or, for
    // one that made room, under that name + "__".
    void ExpectEveryArchiveWhole() const {
        for (const auto& [name, entries] : before_) {
            ASSERT_TRUE(fs::exists(Roms() / name)) << name;
            const std::map<std::string, std::string> now = ArchiveListing(Roms() / name);
            for (const auto& [entry, crc] : entries) {
                const auto same = now.find(entry);
                const auto moved = now.find(entry + "__");
                EXPECT_TRUE((same != now.end() && same->second == crc) || (moved != now.end() && moved->second == crc))
                    << name << ": " << entry;
            }
        }
        for (std::size_t d = 0; d < dropped_.size(); ++d) {
            EXPECT_EQ(ReadFile(dropped_[d]), droppedBytes_[d]);
        }
    }

    std::vector<std::string> dropped_;
    std::vector<std::string> droppedBytes_;
    std::map<std::string, std::map<std::string, std::string>> before_;
};

TEST_F(MergeKillTest, EveryArchiveStaysWholeAndEveryCacheTrue) {
    RunKillTrials(
        Merge(), KillPointCount(kCiKillPoints), [&] { Plant(); },
        [&](const KillTrial&) {
            ExpectEveryArchiveWhole();
            EXPECT_EQ(CacheDisagreement(CacheFile(), Roms()), "");
        },
        [&](const KillTrial&) {
            ExpectEveryArchiveWhole();
            EXPECT_TRUE(fs::exists(CacheFile()));
            EXPECT_EQ(CacheDisagreement(CacheFile(), Roms()), "");
            EXPECT_EQ(TemporaryFilesIn({Roms(), DataDir(), Root() / "cache/quillmark"}), std::vector<fs::path>{});
            // The extracted ROMs of a killed run are gone with its work folder.
            for (const auto& entry : fs::directory_iterator(Root() / "cache/quillmark")) {
                EXPECT_FALSE(entry.path().filename().string().starts_with("merge-")) << entry.path();
            }
            // The whole merge is done: every set complete, each old r2.bin kept once.
            const CliRun status = RunCliCommand({"status", "--sets", "--incomplete"});
            EXPECT_EQ(status.Out, "");
            const CliRun missing = RunCliCommand({"status", "--sets", "--missing"});
            EXPECT_EQ(missing.Out, "");
            for (int s = 0; s < 30; s += 5) {
                const auto listing = ArchiveListing(Roms() / (SetName(s) + ".zip"));
                EXPECT_EQ(listing.size(), 5u) << SetName(s);
                EXPECT_EQ(listing.at("r2.bin__"), CrcOf(OldData(s)));
            }
        });
}

}  // namespace
}  // namespace qm::test
