#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "archive/crc32.h"
#include "engine/CdUpdate.h"
#include "engine/DatFileUnit.h"
#include "engine/RomsFiles.h"
#include "support/CollectionFixture.h"
#include "support/KillHarness.h"
#include "support/MountSupport.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::CrcOf;
using test::MakeZip;
using test::RomLine;

std::string Line(std::string_view set, std::string_view clone, std::string_view rom, std::string_view data) {
    return RomLine(set, set, clone, clone, rom, CrcOf(data), "N", "O", std::to_string(data.size()));
}

// A collection in roms/, a CD in cd/ (read-only) and the folder for the updated archives.
class CdUpdateTest : public test::CollectionTest {
protected:
    void SetUp() override {
        CollectionTest::SetUp();
        LoadDatabase({
            Line("alpha", "alpha", "a1.rom", "alpha 1"),
            Line("alpha", "alpha", "a2.rom", "alpha 2"),
            Line("alpha", "alphaj", "aj1.rom", "alpha j1"),
            Line("beta", "beta", "b1.rom", "beta 1"),
            Line("beta", "beta", "b2.rom", "beta 2"),
            Line("delta", "delta", "d1.rom", "delta 1"),
            Line("delta", "delta", "d2.rom", "delta 2"),
            RomLine("epsilon", "e", "epsilon", "e", "e0.rom", "00000000", "N", "O", "0"),
            Line("epsilon", "epsilon", "e1.rom", "epsilon 1"),
            Line("eta", "eta", "h1.rom", "eta 1"),
            Line("gamma", "gamma", "g1.rom", "gamma 1"),
            Line("gamma", "gamma", "g2.rom", "gamma 2"),
            Line("sharedx", "sharedx", "shared.rom", "shared"),
            Line("sharedy", "sharedy", "shared.rom", "shared"),
            Line("zeta", "zeta", "z1.rom", "zeta 1"),
            Line("zeta", "zeta", "z2.rom", "zeta 2"),
        });
        MakeZip(Roms() / "alpha.zip", {{"a1.rom", "alpha 1"}, {"a2-other-name.bin", "alpha 2"}});
        MakeZip(Roms() / "alphaj.zip", {{"aj1.rom", "alpha j1"}});
        MakeZip(Roms() / "beta.zip", {{"b1.rom", "beta 1"}, {"b2.rom", "beta 2"}});
        MakeZip(Roms() / "delta.zip", {{"d1.rom", "delta 1"}, {"d2.rom", "delta 2"}});
        // An entry of CRC 00000000 is no dump of e0.rom, whose good dump nobody knows.
        MakeZip(Roms() / "epsilon.zip", {{"e1.rom", "epsilon 1"}, {"zero.bin", ""}});
        MakeZip(Roms() / "eta.zip", {{"h1.rom", "eta 1"}});
        MakeZip(Roms() / "gamma.zip", {{"g1.rom", "gamma 1"}, {"g2.rom", "gamma 2"}});
        MakeZip(Roms() / "zeta.zip", {{"z1.rom", "zeta 1"}});
        MakeZip(Roms() / "misc.zip", {{"z2.rom", "zeta 2"}});

        MakeZip(Cd() / "alpha.zip", {{"a1.rom", "alpha 1"}});
        MakeZip(Cd() / "beta.zip", {{"b1.rom", "beta 1"}, {"b2.rom", "beta 2"}});
        MakeZip(Cd() / "delta.zip", {{"d1.rom", "delta 1"}});
        MakeZip(Cd() / "epsilon.zip", {{"e1.rom", "epsilon 1"}});
        MakeZip(Cd() / "Gamma_v1.zip", {{"g1.rom", "gamma 1"}});
        MakeZip(Cd() / "shared.zip", {{"shared.rom", "shared"}});
        WriteFile("cd/broken.zip", "PK\x03\x04 not an archive at all");
        for (const auto& entry : fs::directory_iterator(Cd())) {
            fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::group_read);
        }
        fs::create_directories(Dest());
    }

    fs::path Cd() const { return Root() / "cd"; }
    fs::path Dest() const { return Root() / "dest"; }

    void ScanCollection() {
        paths->AddPath(RomsDir());
        paths->Scan(false, job);
        job = test::RecordingJob{};  // the operation's reports only
    }

    CdUpdateOptions Options() const {
        CdUpdateOptions options;
        options.SourceDir = Cd().string() + "/";
        options.DestinationDir = Dest().string();
        return options;
    }

    CdUpdateResult Update(const CdUpdateOptions& options, Job& reportTo) {
        CdUpdateResult result = UpdateCd(*paths, *cache, Root() / "scratch", options, reportTo);
        cache->Reset();
        return result;
    }
};

TEST_F(CdUpdateTest, EachArchiveIsCopiedOnceWithTheRomsItLacks) {
    // The destination already holds delta's archive, with a file of its own: it is completed.
    MakeZip(Dest() / "delta.zip", {{"d1.rom", "delta 1"}, {"extra.txt", "kept"}});
    {
        TDatFile otherCache(DataDir());
        TPathsList other(games, otherCache, DataDir());
        other.AddPath(Dest().string() + "/");
        other.Scan(false, SilentJob());
    }
    ASSERT_TRUE(fs::exists(Dest() / "quillmark.dat"));
    ::setenv("QUILLMARK_TEST_READONLY_DIRS", Cd().c_str(), 1);
    ScanCollection();
    const auto cdBefore = test::FilesOf(Cd());
    const auto dataBefore = test::FilesOf(DataDir());

    CdUpdateOptions options = Options();
    options.ShowDelete = true;
    CdUpdateResult result = Update(options, job);
    EXPECT_FALSE(result.Cancelled);
    EXPECT_EQ(result.Processed, 7u);
    ASSERT_EQ(result.Updated.size(), 3u);
    // Two ROMs from two archives of the collection, one under the name the set expects.
    EXPECT_EQ(result.Updated[0].Source, Cd().string() + "/alpha.zip");
    EXPECT_EQ(result.Updated[0].Target, Dest().string() + "/alpha.zip");
    EXPECT_EQ(result.Updated[0].Added, (std::vector<std::string>{"a2.rom", "aj1.rom"}));
    EXPECT_EQ(test::ArchiveListing(Dest() / "alpha.zip"),
              (std::map<std::string, std::string>{
                  {"a1.rom", CrcOf("alpha 1")}, {"a2.rom", CrcOf("alpha 2")}, {"aj1.rom", CrcOf("alpha j1")}}));
    EXPECT_EQ(result.Updated[1].Target, Dest().string() + "/delta.zip");
    EXPECT_EQ(test::ArchiveListing(Dest() / "delta.zip"),
              (std::map<std::string, std::string>{
                  {"d1.rom", CrcOf("delta 1")}, {"d2.rom", CrcOf("delta 2")}, {"extra.txt", CrcOf("kept")}}));
    // A misnamed archive is written under its set's name.
    EXPECT_EQ(result.Updated[2].Source, Cd().string() + "/Gamma_v1.zip");
    EXPECT_EQ(result.Updated[2].Target, Dest().string() + "/gamma.zip");
    EXPECT_EQ(result.Updated[2].Added, std::vector<std::string>{"g2.rom"});
    // Complete already, or lacking only a ROM of no known dump: not copied at all.
    EXPECT_FALSE(fs::exists(Dest() / "beta.zip"));
    EXPECT_FALSE(fs::exists(Dest() / "epsilon.zip"));
    // Its only ROM belongs to two sets: no set is known for it.
    EXPECT_EQ(result.ToDelete, std::vector<std::string>{Cd().string() + "/shared.zip"});
    ASSERT_EQ(result.Problems.size(), 1u);
    EXPECT_EQ(result.Problems[0].rfind("File " + Cd().string() + "/broken.zip: ", 0), 0u) << result.Problems[0];
    EXPECT_TRUE(result.Created.empty());

    // The CD was only read, and no cache was made for it anywhere.
    EXPECT_EQ(test::FilesOf(Cd()), cdBefore);
    EXPECT_EQ(test::FilesOf(DataDir()), dataBefore);
    // The destination's cache lists what it holds.
    ASSERT_TRUE(fs::exists(Dest() / "quillmark.dat"));
    EXPECT_EQ(test::CacheDisagreement(Dest() / "quillmark.dat", Dest()), "");
    EXPECT_FALSE(fs::exists(Root() / "scratch") && !fs::is_empty(Root() / "scratch"));

    // Run again, nothing is left to add.
    result = Update(options, job);
    EXPECT_TRUE(result.Updated.empty());
    EXPECT_EQ(test::CacheDisagreement(Dest() / "quillmark.dat", Dest()), "");
}

TEST_F(CdUpdateTest, CreatingFilesBuildsTheSetsTheCdLacks) {
    ScanCollection();
    CdUpdateOptions options = Options();
    options.CreateFiles = true;
    const CdUpdateResult result = Update(options, job);
    EXPECT_EQ(result.Updated.size(), 3u);
    // Sets the CD has an archive for are not made again; the others are copied from the
    // collection and completed from it.
    ASSERT_EQ(result.Created.size(), 2u);
    EXPECT_EQ(result.Created[0].Target, Dest().string() + "/eta.zip");
    EXPECT_EQ(result.Created[0].Source, RomsDir() + "eta.zip");
    EXPECT_TRUE(result.Created[0].Added.empty());
    EXPECT_EQ(result.Created[1].Target, Dest().string() + "/zeta.zip");
    EXPECT_EQ(result.Created[1].Added, std::vector<std::string>{"z2.rom"});
    EXPECT_EQ(test::ArchiveListing(Dest() / "zeta.zip"),
              (std::map<std::string, std::string>{{"z1.rom", CrcOf("zeta 1")}, {"z2.rom", CrcOf("zeta 2")}}));
    EXPECT_FALSE(fs::exists(Dest() / "beta.zip"));
    EXPECT_FALSE(fs::exists(Dest() / "sharedx.zip"));
}

TEST_F(CdUpdateTest, CancelStopsBetweenArchives) {
    ScanCollection();
    // Cancel is pressed once the second archive is on its way.
    job.CancelWhen = [&] { return job.Statuses.size() > 1; };
    const CdUpdateResult result = Update(Options(), job);
    EXPECT_TRUE(result.Cancelled);
    EXPECT_EQ(result.Processed, 1u);
    ASSERT_EQ(result.Updated.size(), 1u);
    EXPECT_EQ(result.Updated[0].Target, Dest().string() + "/alpha.zip");
    EXPECT_FALSE(fs::exists(Dest() / "delta.zip"));
    EXPECT_EQ(FilesUpdatedMessage(result.Updated.size()), "1 files updated.");
}

TEST_F(CdUpdateTest, AReadOnlyMountIsOnlyRead) {
    const fs::path mount = Root() / "medium";
    test::ScopedTmpfs medium(mount, 1 << 20);
    if (!medium.Mounted()) {
        GTEST_SKIP() << "no tmpfs can be mounted here";
    }
    for (const auto& entry : fs::directory_iterator(Cd())) {
        fs::copy_file(entry.path(), mount / entry.path().filename());
    }
    ASSERT_TRUE(medium.MakeReadOnly());
    ScanCollection();
    CdUpdateOptions options = Options();
    options.SourceDir = mount.string();
    const CdUpdateResult result = Update(options, job);
    EXPECT_EQ(result.Updated.size(), 3u);
    EXPECT_EQ(result.Problems.size(), 1u);  // broken.zip
    EXPECT_EQ(test::FilesOf(mount), test::FilesOf(Cd()));
}

}  // namespace
}  // namespace qm
