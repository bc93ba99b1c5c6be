// quillmark-cli repair killed (SIGKILL) at many moments of a run on a planted collection with
// every kind of fault (misnamed archives and entries, ROMs needed elsewhere, unknown entries and
// archives deleted to the Trash). After each kill: every archive opens and every entry's data
// has its CRC; every ROM that was in the collection is still in it or in the Trash; the cache
// is true or absent. The repair then runs again to its end, after which nothing is left to
// repair and no temporary file is left anywhere. CI runs a few kill points, scripts/killtest
// many.
#include <gtest/gtest.h>

#include <zip.h>

#include <set>

#include "support/KillHarness.h"
#include "support/TestSupport.h"

namespace qm::test {
namespace {

constexpr int kCiKillPoints = 6;
constexpr int kSets = 60;

// The problems of the archives of a folder: one that does not open, an entry whose data is not
// read back whole with its CRC (libzip checks it at the end of each entry).
std::vector<std::string> DamagedArchives(const fs::path& folder) {
    std::vector<std::string> damaged;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(folder, ec)) {
        if (item.path().extension() != ".zip") {
            continue;
        }
        int error = 0;
        zip_t* archive = zip_open(item.path().c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
        if (archive == nullptr) {
            damaged.push_back(item.path().filename().string() + ": does not open");
            continue;
        }
        const zip_int64_t count = zip_get_num_entries(archive, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
            char buffer[4096];
            zip_int64_t got = file == nullptr ? -1 : 0;
            while (file != nullptr && (got = zip_fread(file, buffer, sizeof buffer)) > 0) {
            }
            if (got < 0) {
                damaged.push_back(item.path().filename().string() + ": entry " + std::to_string(i) + " unreadable");
            }
            if (file != nullptr) {
                zip_fclose(file);
            }
        }
        zip_discard(archive);
    }
    return damaged;
}

// The CRCs of every entry of every archive in the folders.
std::set<std::string> CrcsIn(const std::vector<fs::path>& folders) {
    std::set<std::string> crcs;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        for (const auto& item : fs::directory_iterator(folder, ec)) {
            if (item.path().extension() == ".zip") {
                for (const auto& [name, crc] : ArchiveListing(item.path())) {
                    crcs.insert(crc);
                }
            }
        }
    }
    return crcs;
}

class RepairKillTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        const std::string common = "a sound rom every set uses";
        std::vector<std::string> romLines;
        for (int n = 0; n < kSets; ++n) {
            const std::string set = Name(n);
            std::vector<ZipEntrySpec> entries;
            for (int r = 0; r < 3; ++r) {
                const std::string rom = "r" + std::to_string(r) + ".bin";
                const std::string data = set + "/" + rom + std::string(200, static_cast<char>('a' + r));
                // Every fifth set holds its first ROM under a wrong name.
                entries.push_back({n % 5 == 1 && r == 0 ? "wrong.bin" : rom, data});
                romLines.push_back(
                    RomLine(set, set, set, set, rom, CrcOf(data), "N", "O", std::to_string(data.size())));
            }
            romLines.push_back(
                RomLine(set, set, set, set, "snd.bin", CrcOf(common), "N", "O", std::to_string(common.size())));
            // A few hold the shared ROM: the others need it copied in.
            if (n % 10 == 0) {
                entries.push_back({"snd.bin", common});
            }
            if (n % 5 == 3) {
                entries.push_back({"junk" + std::to_string(n) + ".txt", "nobody needs " + set});
            }
            // Every fifth archive is misnamed.
            MakeZip(Master() / ((n % 5 == 2 ? "old" : "") + set + ".zip"), entries);
        }
        for (int k = 0; k < 3; ++k) {
            MakeZip(Master() / ("stranger" + std::to_string(k) + ".zip"),
                    {{"notes.txt", "stranger " + std::to_string(k)}});
        }
        WriteFile("datas/kill.dat", Datafile(romLines, "mame", Roms().string() + "/"));
        ASSERT_EQ(RunCliCommand({"use", "kill"}).Status, 0);
    }

    static std::string Name(int n) {
        std::string digits = std::to_string(n);
        return "s" + std::string(3 - digits.size(), '0') + digits;
    }
    fs::path Master() const { return Root() / "master"; }
    fs::path Roms() const { return Root() / "roms"; }
    fs::path Trash() const { return Root() / "share/Trash"; }
    fs::path CacheFile() const { return Roms() / "quillmark.dat"; }

    void Plant() {
        std::error_code ec;
        fs::remove_all(Roms(), ec);
        fs::remove_all(Trash(), ec);
        fs::copy(Master(), Roms());
        ASSERT_EQ(RunCliCommand({"scan"}).Status, 0);
        crcsBefore_ = CrcsIn({Roms()});
    }

    void ExpectNothingLostOrDamaged() const {
        EXPECT_EQ(DamagedArchives(Roms()), std::vector<std::string>{});
        EXPECT_EQ(DamagedArchives(Trash() / "files"), std::vector<std::string>{});
        const std::set<std::string> after = CrcsIn({Roms(), Trash() / "files"});
        for (const std::string& crc : crcsBefore_) {
            EXPECT_TRUE(after.contains(crc)) << "lost: " << crc;
        }
        EXPECT_EQ(CacheDisagreement(CacheFile(), Roms()), "");
    }

    std::set<std::string> crcsBefore_;
};

TEST_F(RepairKillTest, RepairDeletingToTheTrash) {
    const ChildProgram repair = CliUnderTest({"repair", "--unknown=delete", "--yes"});
    RunKillTrials(
        repair, KillPointCount(kCiKillPoints), [&] { Plant(); },
        [&](const KillTrial& trial) {
            SCOPED_TRACE(trial.Outcome.Killed ? "killed" : "ended by itself");
            ExpectNothingLostOrDamaged();
        },
        [&](const KillTrial&) {
            ExpectNothingLostOrDamaged();
            EXPECT_TRUE(fs::exists(CacheFile()));
            EXPECT_EQ(TemporaryFilesIn({Roms(), Trash() / "files", DataDir(), Root() / "cache/quillmark"}),
                      std::vector<fs::path>{});
            // Nor one of libzip's, which writes a changed archive as NAME.zip.XXXXXX first.
            std::vector<std::string> strays;
            for (const auto& item : fs::directory_iterator(Roms())) {
                const std::string name = item.path().filename().string();
                if (item.path().extension() != ".zip" && name != "quillmark.dat") {
                    strays.push_back(name);
                }
            }
            EXPECT_EQ(strays, std::vector<std::string>{});
            // Nothing left to repair.
            const CliRun dry = RunCliCommand({"repair", "--dry-run", "--unknown=delete"});
            EXPECT_NE(dry.Out.find("Dry run: 0 actions"), std::string::npos) << dry.Out;
            for (int n = 0; n < kSets; ++n) {
                EXPECT_TRUE(fs::exists(Roms() / (Name(n) + ".zip"))) << Name(n);
            }
        });
}

}  // namespace
}  // namespace qm::test
