// Dropped zip files: the source report, the content trees and the merge into real archives.
#include <gtest/gtest.h>

#include "engine/ContentTree.h"
#include "engine/DatFileUnit.h"
#include "engine/Merge.h"
#include "engine/RomsFiles.h"
#include "engine/SrcRomList.h"
#include "game_db/cel_strings.h"
#include "support/CollectionFixture.h"
#include "support/KillHarness.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::CrcOf;
using test::MakeZip;
using test::RomLine;
using Listing = std::map<std::string, std::string>;

const std::string kA = "rom a of pac";
const std::string kB = "rom b of pac, also x of its clone";
const std::string kC = "rom c of pac";
const std::string kG = "rom g of gal";
const std::string kK = "rom k of bad";
const std::string kOther = "some other data";

std::string Size(const std::string& data) {
    return std::to_string(data.size());
}

class DroppedFilesTest : public test::CollectionTest {
protected:
    void SetUp() override {
        CollectionTest::SetUp();
        LoadDatabase({
            RomLine("pac", "Pac Man", "pac", "Pac Man", "a.bin", CrcOf(kA), "N", "O", Size(kA)),
            RomLine("pac", "Pac Man", "pac", "Pac Man", "b.bin", CrcOf(kB), "N", "O", Size(kB)),
            RomLine("pac", "Pac Man", "pac", "Pac Man", "c.bin", CrcOf(kC), "N", "O", Size(kC)),
            RomLine("pac", "Pac Man", "pacx", "Pac Man X", "a.bin", CrcOf(kA), "N", "", Size(kA)),
            RomLine("pac", "Pac Man", "pacx", "Pac Man X", "x.bin", CrcOf(kB), "N", "O", Size(kB)),
            RomLine("gal", "Galaxy", "gal", "Galaxy", "g.bin", CrcOf(kG), "N", "O", Size(kG)),
            RomLine("bad", "Bad Set", "bad", "Bad Set", "k.bin", CrcOf(kK), "N", "O", Size(kK)),
        });
        fs::create_directories(Roms());
        fs::create_directories(Roms("second"));
        paths->AddPath(RomsDir("second"));
        paths->AddPath(RomsDir());
        paths->Scan(false, job);
    }

    fs::path Drop(const std::string& name, const std::vector<test::ZipEntrySpec>& entries) {
        return MakeZip(Root() / "drop" / name, entries);
    }
    void Examine(const std::vector<fs::path>& files) {
        std::vector<std::string> list;
        for (const fs::path& file : files) {
            list.push_back(file.string());
        }
        SourceReadOptions options;
        options.TempPath = Root() / "scratch";
        sources.LoadSourceRoms(list, games, options, job);
        sources.KeepNewRoms(games);
    }
    MergeOutcome Merge() {
        MergeOutcome outcome = MergeNewRoms(*paths, sources.NewRoms(), Root() / "scratch", job);
        cache->Flush();
        return outcome;
    }
    // Scanned again from the caches, as the command does after a merge.
    void Rescan() {
        cache->Reset();
        paths->Reset(true);
        paths->Scan(false, job);
    }
    const TClone* Clone(const std::string& name) const { return games.FindClone(name); }

    TSrcRomList sources;
};

TEST_F(DroppedFilesTest, SourceReportTellsWhatEachFileHolds) {
    const fs::path one = Drop("One.zip", {{"a.bin", kA},
                                          {"roms/B.BIN", kB},
                                          {"docs/", ""},
                                          {"readme.txt", "unknown data"},
                                          {"empty.bin", ""},
                                          {"k.bin", test::ForgeCrc(ComplementCrc(CrcOf(kK)))}});
    const fs::path two = Drop("two.zip", {{"copy-of-a.bin", kA}});
    const fs::path damaged = test::TempDirTest::WriteFile("drop/damaged.zip", "PK\x03\x04 not a zip");
    Examine({one, Root() / "drop/gone.zip", damaged, two});

    const std::vector<std::string>& r = sources.Report;
    ASSERT_GE(r.size(), 12u);
    EXPECT_EQ(r[0], "File " + one.string() + ":");
    EXPECT_EQ(r[1], "     a.bin: used in Pac Man");
    EXPECT_EQ(r[2], "     a.bin: used in Pac Man X");
    // Stored in a folder and in capitals: compared under its lower-cased file name.
    EXPECT_EQ(r[3], "     b.bin: used in Pac Man");
    EXPECT_EQ(r[4], "     b.bin: used in Pac Man X renamed x.bin");
    EXPECT_EQ(r[5], "**** readme.txt: Unknown rom file");
    EXPECT_EQ(r[6], "**** empty.bin: Unknown rom file");
    EXPECT_EQ(r[7], "---- k.bin: used in Bad Set (No good dump known).");
    EXPECT_EQ(r[8], "");
    EXPECT_EQ(r[9], "File " + (Root() / "drop/gone.zip").string() + " not found");
    EXPECT_EQ(r[10], "File " + damaged.string() + ":");
    EXPECT_EQ(r[11].rfind("**** damaged.zip: ", 0), 0u) << r[11];
    EXPECT_EQ(r[12], "File " + two.string() + ":");
    EXPECT_EQ(r[13], "     copy-of-a.bin: used in Pac Man renamed a.bin");

    // One source ROM per CRC, the first file's; the bad dump is one too.
    ASSERT_EQ(sources.Count(), 3u);
    EXPECT_EQ(sources.FindByCrc(CrcOf(kA))->ZipPath, one.string());
    EXPECT_EQ(sources.FindByCrc(CrcOf(kB))->EntryName, "roms/b.bin");
    EXPECT_EQ(sources.NewRoms().size(), 3u);
}

TEST_F(DroppedFilesTest, AMemberOfSizeZeroWhoseCrcIsNeededMakesNoSourceRom) {
    games.LoadDatafileBytes(
        test::Datafile({RomLine("z", "Zero", "z", "Zero", "z.bin", "00000000", "N", "O", "0"),
                        RomLine("z", "Zero", "z", "Zero", "y.bin", CrcOf(kA), "N", "O", Size(kA))}));
    subList->Rebuild();
    Examine({Drop("z.zip", {{"Z.bin", ""}})});
    EXPECT_EQ(sources.Count(), 0u);
    EXPECT_EQ(sources.Report[1], "**** z.bin: Size = 0");
}

TEST_F(DroppedFilesTest, RomsTheCollectionHoldsAreNotNew) {
    MakeZip(Roms() / "pac.zip", {{"a.bin", kA}});
    paths->Scan(false, job);
    Examine({Drop("d.zip", {{"a.bin", kA}, {"c.bin", kC}})});
    ASSERT_EQ(sources.Count(), 2u);
    ASSERT_EQ(sources.NewRoms().size(), 1u);
    EXPECT_EQ(sources.NewRoms()[0]->Crc, CrcOf(kC));
}

TEST_F(DroppedFilesTest, ContentTreeShowsHowMuchOfEachCloneWasDropped) {
    Examine({Drop("d.zip", {{"a.bin", kA}, {"b.bin", kB}, {"g.bin", kG}})});
    const ContentTree all = FillContentTree(games, sources, job);
    // Sorted at every level; set, clone and ROM nodes with their icons.
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].Text, "Galaxy");
    EXPECT_EQ(all[0].Image, 2);
    EXPECT_EQ(all[0].Game, games.FindGame("gal"));
    const ContentNode& pac = all[1];
    EXPECT_EQ(pac.Text, "Pac Man");
    EXPECT_EQ(pac.Image, 1);  // one clone complete, one not
    ASSERT_EQ(pac.Children.size(), 2u);
    EXPECT_EQ(pac.Children[0].Text, "Pac Man");
    EXPECT_EQ(pac.Children[0].Image, 1);  // c.bin is not dropped
    EXPECT_EQ(pac.Children[1].Text, "Pac Man X");
    EXPECT_EQ(pac.Children[1].Image, 2);
    ASSERT_EQ(pac.Children[0].Children.size(), 3u);
    EXPECT_EQ(pac.Children[0].Children[2].Text, "c.bin");
    EXPECT_EQ(pac.Children[0].Children[2].Image, 0);
    EXPECT_EQ(pac.Children[0].Children[1].Image, 2);
    EXPECT_EQ(pac.Children[0].Children[1].Rom, games.FindRom(CrcOf(kB)));

    // The new ROMs: only their own nodes, no icons.
    MakeZip(Roms() / "gal.zip", {{"g.bin", kG}});
    paths->Scan(false, job);
    sources.KeepNewRoms(games);
    const ContentTree fresh = FillNewContentTree(games, sources, job);
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_EQ(fresh[0].Image, kNoImage);
    ASSERT_EQ(fresh[0].Children.size(), 2u);
    std::vector<std::string> names;
    for (const ContentNode& rom : fresh[0].Children[1].Children) {
        names.push_back(rom.Text);
        EXPECT_EQ(rom.Image, kNoImage);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a.bin", "x.bin"}));
}

TEST_F(DroppedFilesTest, ABadDumpIsANoGoodDumpNodeInBothTrees) {
    Examine({Drop("d.zip", {{"k.bin", test::ForgeCrc(ComplementCrc(CrcOf(kK)))}})});
    const ContentTree all = FillContentTree(games, sources, job);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].Image, 5);
    EXPECT_EQ(all[0].Children[0].Children[0].Image, 5);
    const ContentTree fresh = FillNewContentTree(games, sources, job);
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_EQ(fresh[0].Children[0].Children[0].Image, kNewNoGoodDumpImage);
}

TEST_F(DroppedFilesTest, MergeCopiesEachRomUnderEveryNameItsSetNeeds) {
    const fs::path d1 = Drop("d1.zip", {{"roms/b.bin", kB}, {"a.bin", kA}, {"stray.bin", kOther}});
    const fs::path d2 = Drop("d2.zip", {{"again-a.bin", kA}, {"g.bin", kG}});
    const std::string d1Bytes = ReadFile(d1);
    Examine({d1, d2});
    const MergeOutcome outcome = Merge();

    EXPECT_EQ(outcome.ProblemLines, std::vector<std::string>{});
    // One ROM needed under two names in one set: both in the set's archive, written once.
    EXPECT_EQ(test::ArchiveListing(Roms("second") / "pac.zip"),
              (Listing{{"a.bin", CrcOf(kA)}, {"b.bin", CrcOf(kB)}, {"x.bin", CrcOf(kB)}}));
    EXPECT_EQ(test::ArchiveListing(Roms("second") / "gal.zip"), (Listing{{"g.bin", CrcOf(kG)}}));
    EXPECT_EQ(outcome.RomsCopied, 4u);
    EXPECT_EQ(outcome.ArchivesCreated, 2u);
    EXPECT_EQ(outcome.ArchivesChanged, 0u);
    // The dropped files are only read; the work folder is gone.
    EXPECT_EQ(ReadFile(d1), d1Bytes);
    EXPECT_TRUE(fs::is_empty(Root() / "scratch"));

    // Model, cache and disk agree, and the clones have the states the ROMs give them.
    EXPECT_NE(paths->Paths()[0]->FindFile("pac.zip")->FindRom("x.bin"), nullptr);
    EXPECT_EQ(test::CacheDisagreement(Roms("second") / "quillmark.dat", Roms("second")), "");
    Rescan();
    EXPECT_TRUE(Clone("pacx")->Complete);
    EXPECT_FALSE(Clone("pac")->Complete);
    EXPECT_TRUE(Clone("pac")->HasPresentRom);
    EXPECT_TRUE(Clone("gal")->Complete);
    sources.KeepNewRoms(games);
    EXPECT_TRUE(sources.NewRoms().empty());
}

TEST_F(DroppedFilesTest, AnEntryOfTheNeededNameWithOtherDataIsKeptUnderAnotherName) {
    MakeZip(Roms() / "pac.zip", {{"a.bin", kOther}, {"c.bin", kC}});
    paths->Scan(false, job);
    cache->Flush();
    Examine({Drop("d.zip", {{"a.bin", kA}})});
    const MergeOutcome outcome = Merge();
    EXPECT_EQ(test::ArchiveListing(Roms() / "pac.zip"),
              (Listing{{"a.bin", CrcOf(kA)}, {"a.bin__", CrcOf(kOther)}, {"c.bin", CrcOf(kC)}}));
    ASSERT_EQ(outcome.Displaced.size(), 1u);
    EXPECT_EQ(outcome.Displaced[0].From, "a.bin");
    EXPECT_EQ(outcome.Displaced[0].To, "a.bin__");
    EXPECT_EQ(outcome.ArchivesChanged, 1u);
    EXPECT_EQ(test::CacheDisagreement(Roms() / "quillmark.dat", Roms()), "");
    Rescan();
    EXPECT_TRUE(Clone("pacx")->HasPresentRom);
}

TEST_F(DroppedFilesTest, TwoClonesNeedingOtherRomsUnderOneNameGetBothKept) {
    LoadDatabase({
        RomLine("pac", "Pac Man", "pac", "Pac Man", "a.bin", CrcOf(kA), "N", "O", Size(kA)),
        RomLine("pac", "Pac Man", "pacx", "Pac Man X", "a.bin", CrcOf(kOther), "N", "O", Size(kOther)),
    });
    paths->AddPath(RomsDir());
    paths->Scan(false, job);
    Examine({Drop("d.zip", {{"a.bin", kA}, {"x/a.bin", kOther}})});
    const MergeOutcome outcome = Merge();
    EXPECT_EQ(test::ArchiveListing(Roms() / "pac.zip"), (Listing{{"a.bin", CrcOf(kA)}, {"a.bin__", CrcOf(kOther)}}));
    EXPECT_EQ(outcome.RomsCopied, 2u);
    ASSERT_EQ(outcome.Displaced.size(), 1u);
    EXPECT_EQ(outcome.Displaced[0].To, "a.bin__");
    Rescan();
    EXPECT_TRUE(Clone("pac")->Complete);
    EXPECT_TRUE(Clone("pacx")->Complete);
    // Merged again, nothing moves.
    sources.KeepNewRoms(games);
    EXPECT_TRUE(sources.NewRoms().empty());
}

TEST_F(DroppedFilesTest, EverySetThatOwnsTheRomGetsItUnderItsName) {
    LoadDatabase({
        RomLine("one", "One", "one", "One", "shared.bin", CrcOf(kA), "N", "O", Size(kA)),
        RomLine("two", "Two", "two", "Two", "other.bin", CrcOf(kB), "N", "O", Size(kB)),
        RomLine("two", "Two", "twob", "Two B", "shared.bin", CrcOf(kA), "N", "O", Size(kA)),
    });
    paths->AddPath(RomsDir());
    paths->Scan(false, job);
    Examine({Drop("d.zip", {{"shared.bin", kA}})});
    Merge();
    EXPECT_EQ(test::ArchiveListing(Roms() / "one.zip"), (Listing{{"shared.bin", CrcOf(kA)}}));
    EXPECT_EQ(test::ArchiveListing(Roms() / "two.zip"), (Listing{{"shared.bin", CrcOf(kA)}}));
}

TEST_F(DroppedFilesTest, AnUnreadableTargetIsKeptAsBadAndANewArchiveGetsTheRom) {
    WriteFile("second/gal.zip", "PK\x03\x04 broken");
    paths->Scan(false, job);
    Examine({Drop("d.zip", {{"g.bin", kG}})});
    const MergeOutcome outcome = Merge();
    ASSERT_EQ(outcome.ProblemLines.size(), 2u);
    EXPECT_EQ(outcome.ProblemLines[0].rfind("File " + RomsDir("second") + "gal.zip (g.bin) : Zip problem... - ", 0), 0u)
        << outcome.ProblemLines[0];
    EXPECT_EQ(outcome.ProblemLines[1], "      File renamed gal_bad.zip");
    EXPECT_EQ(ReadFile(Roms("second") / "gal_bad.zip"), "PK\x03\x04 broken");
    EXPECT_EQ(test::ArchiveListing(Roms("second") / "gal.zip"), (Listing{{"g.bin", CrcOf(kG)}}));
    EXPECT_EQ(outcome.ArchivesCreated, 1u);
}

TEST_F(DroppedFilesTest, SourcesThatVanishOrNeedNothingAreProblemsOrNothing) {
    const fs::path d = Drop("d.zip", {{"c.bin", kC}});
    const fs::path e = Drop("e.zip", {{"g.bin", kG}});
    Examine({d, e});
    fs::remove(d);
    // Broken after it was examined: one problem line, the rest goes on.
    test::TempDirTest::WriteFile("drop/e.zip", "garbage now");
    const MergeOutcome outcome = Merge();
    ASSERT_EQ(outcome.ProblemLines.size(), 2u);
    EXPECT_EQ(outcome.ProblemLines[0], "File d.zip not found.");
    EXPECT_EQ(outcome.ProblemLines[1].rfind("File e.zip: Zip problem... not copied.", 0), 0u);
    EXPECT_EQ(outcome.RomsCopied, 0u);
    EXPECT_FALSE(fs::exists(Roms("second") / "gal.zip"));
    EXPECT_EQ(test::CacheDisagreement(Roms("second") / "quillmark.dat", Roms("second")), "");
}

TEST_F(DroppedFilesTest, ACancelStopsBetweenArchivesWithWhatWasWrittenRecorded) {
    Examine({Drop("d.zip", {{"a.bin", kA}, {"g.bin", kG}})});
    job.CancelWhen = [&] { return fs::exists(Roms("second") / "pac.zip"); };
    const MergeOutcome outcome = Merge();
    EXPECT_TRUE(outcome.Cancelled);
    EXPECT_EQ(outcome.ArchivesCreated, 1u);
    EXPECT_FALSE(fs::exists(Roms("second") / "gal.zip"));
    EXPECT_EQ(test::CacheDisagreement(Roms("second") / "quillmark.dat", Roms("second")), "");
}

TEST_F(DroppedFilesTest, ProgressIsReportedAboutFiftyTimes) {
    std::vector<std::string> lines;
    std::vector<test::ZipEntrySpec> entries;
    for (int i = 0; i < 120; ++i) {
        const std::string data = "rom number " + std::to_string(i);
        const std::string set = "s" + std::to_string(i);
        lines.push_back(RomLine(set, set, set, set, "r.bin", CrcOf(data), "N", "O", Size(data)));
        entries.push_back({set + ".bin", data});
    }
    LoadDatabase(lines);
    paths->AddPath(RomsDir());
    paths->Scan(false, job);
    Examine({Drop("many.zip", entries)});
    job.Progresses.clear();
    const MergeOutcome outcome = Merge();
    EXPECT_EQ(outcome.ArchivesCreated, 120u);
    EXPECT_GE(job.Progresses.size(), 35u);
    EXPECT_LE(job.Progresses.size(), 60u);
}

}  // namespace
}  // namespace qm
