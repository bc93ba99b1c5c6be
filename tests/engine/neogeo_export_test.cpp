#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/DatFileUnit.h"
#include "engine/NeoGeoExport.h"
#include "engine/RomsFiles.h"
#include "game_db/SubList.h"
#include "support/CollectionFixture.h"
#include "support/KillHarness.h"
#include "support/MountSupport.h"
#include "support/RecordingJob.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::CacheDisagreement;
using test::CrcOf;
using test::MakeZip;
using test::RomLine;

std::vector<std::string> Archives(const std::vector<NeoGeoExportItem>& items) {
    std::vector<std::string> names;
    for (const NeoGeoExportItem& item : items) {
        names.push_back(item.Archive);
    }
    return names;
}

// Neo-Geo sets: the BIOS "neogeo", "nga" complete, "ngb" lacking a ROM (in a second directory),
// "ngc" whose only archive is misnamed NGC.zip; "plain" is no Neo-Geo set.
class NeoGeoExportTest : public test::CollectionTest {
protected:
    void SetUp() override {
        CollectionTest::SetUp();
        LoadDatabase({
            RomLine("neogeo", "Neo-Geo", "neogeo", "Neo-Geo", "bios.rom", CrcOf("bios"), "O", "O", "4"),
            RomLine("nga", "A", "nga", "A", "a1.rom", CrcOf("nga/a1"), "O", "O", "6"),
            RomLine("nga", "A", "nga", "A", "a2.rom", CrcOf("nga/a2"), "O", "O", "6"),
            RomLine("ngb", "B", "ngb", "B", "b1.rom", CrcOf("ngb/b1"), "O", "O", "6"),
            RomLine("ngb", "B", "ngb", "B", "b2.rom", CrcOf("ngb/b2"), "O", "O", "6"),
            RomLine("ngc", "C", "ngc", "C", "c1.rom", CrcOf("ngc/c1"), "O", "O", "6"),
            RomLine("plain", "P", "plain", "P", "p1.rom", CrcOf("plain/p1"), "N", "O", "8"),
        });
        MakeZip(Roms() / "neogeo.zip", {{"bios.rom", "bios"}});
        MakeZip(Roms() / "nga.zip", {{"a1.rom", "nga/a1"}, {"a2.rom", "nga/a2"}});
        MakeZip(Roms("roms2") / "ngb.zip", {{"b1.rom", "ngb/b1"}});
        MakeZip(Roms() / "NGC.zip", {{"c1.rom", "ngc/c1"}});
        MakeZip(Roms() / "plain.zip", {{"p1.rom", "plain/p1"}});
        fs::create_directories(Out());
    }

    void ScanCollection() {
        paths->AddPath(RomsDir());
        paths->AddPath(RomsDir("roms2"));
        paths->Scan(false, job);
        job = test::RecordingJob{};  // the operation's reports only
    }

    fs::path Out() const { return Root() / "out"; }

    NeoGeoExportOptions Options(const fs::path& destination) const {
        NeoGeoExportOptions options;
        options.Destination = destination.string();
        return options;
    }

    // Gives `dir` an archive of its own and a complete cache file, as a scan of it would write.
    void CacheOf(const fs::path& dir) {
        MakeZip(dir / "other.zip", {{"x.bin", "no set of the datafile"}});
        TDatFile otherCache(DataDir());
        TPathsList other(games, otherCache, DataDir());
        other.AddPath(dir.string() + "/");
        other.Scan(false, SilentJob());
        ASSERT_TRUE(fs::exists(dir / "quillmark.dat"));
    }

    NeoGeoExportResult Export(const NeoGeoExportOptions& options, Job& reportTo) {
        const NeoGeoExportPlan plan = PlanNeoGeoExport(*paths, options);
        NeoGeoExportResult result = ExportNeoGeoSets(*cache, plan, options, reportTo);
        cache->Reset();
        return result;
    }

    void ExpectCachesTrue() {
        for (const fs::path& dir : {Roms(), Roms("roms2"), Out()}) {
            EXPECT_EQ(CacheDisagreement(dir / "quillmark.dat", dir), "") << dir;
        }
    }
};

TEST_F(NeoGeoExportTest, PlanTakesEveryNeoGeoArchiveAsTheOptionsSay) {
    ScanCollection();
    // Every Neo-Geo set with an archive of its exact name, in database order; a destination typed
    // without its trailing slash gets one.
    NeoGeoExportPlan plan = PlanNeoGeoExport(*paths, Options(Out()));
    EXPECT_EQ(plan.Destination, Out().string() + "/");
    EXPECT_FALSE(plan.DestinationIsRomDir);
    EXPECT_EQ(Archives(plan.Items), (std::vector<std::string>{"neogeo.zip", "nga.zip", "ngb.zip"}));
    EXPECT_EQ(plan.Items[1].Source, RomsDir() + "nga.zip");
    EXPECT_EQ(plan.Items[1].Target, Out().string() + "/nga.zip");
    EXPECT_EQ(plan.Items[2].SourceDir, RomsDir("roms2"));
    EXPECT_TRUE(plan.Skipped.empty());

    NeoGeoExportOptions options = Options(Out());
    options.OnlyWorkingSets = true;
    plan = PlanNeoGeoExport(*paths, options);
    EXPECT_EQ(Archives(plan.Items), (std::vector<std::string>{"neogeo.zip", "nga.zip"}));
    ASSERT_EQ(plan.Skipped.size(), 1u);
    EXPECT_EQ(plan.Skipped[0].Archive, "ngb.zip");
    EXPECT_EQ(plan.Skipped[0].Why, ExportSkip::NotWorking);

    // A set outside the selection has no current status: it is not taken for a working one.
    subList->WithoutNeoGeo = true;
    subList->Rebuild();
    paths->SetRomStatus();
    ASSERT_TRUE(games.FindGame("nga")->Complete);  // as the last full status left it
    plan = PlanNeoGeoExport(*paths, options);
    EXPECT_TRUE(plan.Items.empty());
    subList->WithoutNeoGeo = false;
    subList->Rebuild();
    paths->SetRomStatus();

    // Without "Replace existing", an archive the destination holds is left out before anything
    // is done; with it, it is taken.
    MakeZip(Out() / "nga.zip", {{"old.rom", "old"}});
    options = Options(Out());
    options.ReplaceExisting = false;
    plan = PlanNeoGeoExport(*paths, options);
    EXPECT_EQ(Archives(plan.Items), (std::vector<std::string>{"neogeo.zip", "ngb.zip"}));
    ASSERT_EQ(plan.Skipped.size(), 1u);
    EXPECT_EQ(plan.Skipped[0].Why, ExportSkip::AlreadyThere);
    options.ReplaceExisting = true;
    EXPECT_EQ(PlanNeoGeoExport(*paths, options).Items.size(), 3u);
}

TEST_F(NeoGeoExportTest, ExportingIntoARomDirectorySkipsItsOwnArchives) {
    // A second copy of nga in roms2: the one already at the destination is not replaced by the
    // other, whichever directory comes first.
    MakeZip(Roms("roms2") / "nga.zip", {{"a1.rom", "nga/a1"}});
    ScanCollection();
    // Another spelling of the same directory is recognised as that directory.
    const NeoGeoExportPlan plan = PlanNeoGeoExport(*paths, Options(Root() / "roms2/../roms2"));
    EXPECT_TRUE(plan.DestinationIsRomDir);
    EXPECT_EQ(plan.Destination, RomsDir("roms2"));
    EXPECT_EQ(Archives(plan.Items), (std::vector<std::string>{"neogeo.zip"}));
    ASSERT_EQ(plan.Skipped.size(), 2u);
    EXPECT_EQ(plan.Skipped[0].Archive, "nga.zip");
    EXPECT_EQ(plan.Skipped[0].Why, ExportSkip::IsTheTarget);
    EXPECT_EQ(plan.Skipped[1].Archive, "ngb.zip");
    EXPECT_EQ(plan.Skipped[1].Why, ExportSkip::IsTheTarget);
}

TEST_F(NeoGeoExportTest, MovingKeepsTheCachesOfBothSidesTrue) {
    CacheOf(Out());
    ScanCollection();
    const std::string ngaBytes = ReadFile(Roms() / "nga.zip");
    MakeZip(Out() / "ngb.zip", {{"stale.rom", "an older archive, replaced whole"}});
    fs::permissions(Out() / "ngb.zip", fs::perms::owner_read);

    const NeoGeoExportResult result = Export(Options(Out()), job);
    EXPECT_TRUE(result.Failure.empty()) << result.Failure;
    EXPECT_FALSE(result.Cancelled);
    ASSERT_EQ(result.Done.size(), 3u);
    EXPECT_EQ(result.MovedCount(), 3u);
    EXPECT_EQ(job.Statuses,
              (std::vector<std::string>{"Exporting neogeo.zip...", "Exporting nga.zip...", "Exporting ngb.zip..."}));
    EXPECT_EQ(job.Progresses.front(), std::make_pair(std::uint64_t{0}, std::uint64_t{3}));
    EXPECT_EQ(job.Progresses.back(), std::make_pair(std::uint64_t{3}, std::uint64_t{3}));

    EXPECT_FALSE(fs::exists(Roms() / "nga.zip"));
    EXPECT_FALSE(fs::exists(Roms("roms2") / "ngb.zip"));
    EXPECT_EQ(ReadFile(Out() / "nga.zip"), ngaBytes);
    EXPECT_NE(ReadFile(Out() / "ngb.zip").find("b1.rom"), std::string::npos);
    EXPECT_TRUE(fs::exists(Roms() / "NGC.zip"));
    EXPECT_TRUE(fs::exists(Roms() / "plain.zip"));
    // Both sides' caches were written again, and say what their folders hold.
    ASSERT_TRUE(fs::exists(Roms() / "quillmark.dat"));
    ASSERT_TRUE(fs::exists(Out() / "quillmark.dat"));
    EXPECT_NE(ReadFile(Out() / "quillmark.dat")
                  .find("nga.zip\xA4"
                        "a2.rom"),
              std::string::npos);
    ExpectCachesTrue();
}

TEST_F(NeoGeoExportTest, CopyingLeavesTheCollectionAsItWas) {
    ScanCollection();
    const std::string cacheBefore = ReadFile(Roms() / "quillmark.dat");
    fs::permissions(Roms() / "nga.zip", fs::perms::owner_read | fs::perms::group_read);
    NeoGeoExportOptions options = Options(Out());
    options.Move = false;
    const NeoGeoExportResult result = Export(options, job);
    EXPECT_EQ(result.CopiedCount(), 3u);
    EXPECT_EQ(ReadFile(Out() / "nga.zip"), ReadFile(Roms() / "nga.zip"));
    EXPECT_TRUE(fs::exists(Roms("roms2") / "ngb.zip"));
    EXPECT_EQ(ReadFile(Roms() / "quillmark.dat"), cacheBefore);
    // The destination had no cache: it gets none (the next scan of it reads its archives).
    EXPECT_FALSE(fs::exists(Out() / "quillmark.dat"));
}

TEST_F(NeoGeoExportTest, AcrossFileSystemsAndFromReadOnlyMedia) {
    test::ScopedTmpfs medium(Out(), 1 << 20);
    if (!medium.Mounted()) {
        GTEST_SKIP() << "no tmpfs can be mounted here";
    }
    CacheOf(Out());
    // roms2 stands for a CD: its archives cannot leave it.
    ::setenv("QUILLMARK_TEST_READONLY_DIRS", Roms("roms2").c_str(), 1);
    ScanCollection();
    const std::string ngbBytes = ReadFile(Roms("roms2") / "ngb.zip");

    const NeoGeoExportResult result = Export(Options(Out()), job);
    EXPECT_TRUE(result.Failure.empty()) << result.Failure;
    ASSERT_EQ(result.Done.size(), 3u);
    EXPECT_TRUE(result.Done[1].Moved);   // copied to the other file system, then deleted
    EXPECT_FALSE(result.Done[2].Moved);  // copied only
    EXPECT_FALSE(fs::exists(Roms() / "nga.zip"));
    EXPECT_TRUE(fs::exists(Out() / "nga.zip"));
    EXPECT_EQ(ReadFile(Roms("roms2") / "ngb.zip"), ngbBytes);
    EXPECT_EQ(ReadFile(Out() / "ngb.zip"), ngbBytes);
    EXPECT_EQ(test::TemporaryFilesIn({Out(), Roms()}), std::vector<fs::path>{});
    ExpectCachesTrue();
}

TEST_F(NeoGeoExportTest, AFailureEndsTheExportAtThatArchive) {
    CacheOf(Out());
    ScanCollection();
    // A folder stands where ngb's archive should go: neither a rename nor a copy can replace it.
    fs::create_directories(Out() / "ngb.zip/inside");
    const NeoGeoExportResult result = Export(Options(Out()), job);
    EXPECT_EQ(result.Done.size(), 2u);
    EXPECT_EQ(result.Failure.rfind(RomsDir("roms2") + "ngb.zip: Can't copy file. (", 0), 0u) << result.Failure;
    EXPECT_TRUE(fs::exists(Roms("roms2") / "ngb.zip"));
    EXPECT_TRUE(fs::exists(Out() / "nga.zip"));
    ExpectCachesTrue();
}

TEST_F(NeoGeoExportTest, CancelStopsBetweenArchives) {
    ScanCollection();
    // Cancel is pressed once the first archive is on its way.
    job.OnProgress = [&](std::uint64_t, std::uint64_t) { job.Cancelled = !job.Statuses.empty(); };
    const NeoGeoExportResult result = Export(Options(Out()), job);
    EXPECT_TRUE(result.Cancelled);
    ASSERT_EQ(result.Done.size(), 1u);
    EXPECT_EQ(result.Done[0].Item.Archive, "neogeo.zip");
    EXPECT_TRUE(fs::exists(Roms() / "nga.zip"));
    ExpectCachesTrue();
}

TEST_F(NeoGeoExportTest, TheDialogChecksItsDestination) {
    EXPECT_EQ(CheckExportDestination(""), "Please select a destination folder to export your files.");
    EXPECT_EQ(CheckExportDestination((Root() / "nowhere").string()), "The path you choose does not exist !");
    EXPECT_EQ(CheckExportDestination((Roms() / "nga.zip").string()), "The path you choose does not exist !");
    ::setenv("QUILLMARK_TEST_READONLY_DIRS", Out().c_str(), 1);
    EXPECT_EQ(CheckExportDestination(Out().string()), "The path you choose is write protected !");
    ::unsetenv("QUILLMARK_TEST_READONLY_DIRS");
    EXPECT_EQ(CheckExportDestination(Out().string()), "");
}

}  // namespace
}  // namespace qm
