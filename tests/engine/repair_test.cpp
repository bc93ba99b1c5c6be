// The repair on real archives: what it changes on disk, what it leaves, what goes to the Trash,
// the caches it leaves behind, and that its dry run announces exactly what it then does.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "commands/Commands.h"
#include "commands/Session.h"
#include "engine/Audit.h"
#include "platform/UserPrompts.h"
#include "reports/RepairReport.h"
#include "support/KillHarness.h"
#include "support/MountSupport.h"
#include "support/RecordingJob.h"
#include "support/SmallSets.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::CrcOf;
using test::MakeZip;
using test::RomLine;
using Listing = std::map<std::string, std::string>;

using test::kB1;
using test::kC1;
using test::kCommon;
using test::kD1;
using test::kP1;
using test::kP2;
using test::kPJ;
const std::string kJunk = "nobody needs this";

class RepairTest : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        UseDatafile(test::SmallSetLines());
    }

    void UseDatafile(const std::vector<std::string>& romLines, const std::vector<std::string>& dirs = {"roms"}) {
        std::string romPaths;
        for (const std::string& dir : dirs) {
            fs::create_directories(Roms(dir));
            romPaths += Roms(dir).string() + "/;";
        }
        WriteFile("datas/test.dat", test::Datafile(romLines, "mame", romPaths));
    }

    fs::path Roms(const std::string& dir = "roms") const { return Root() / dir; }
    fs::path Trash() const { return Root() / "share/Trash/files"; }
    std::string At(const std::string& archive, const std::string& dir = "roms") const {
        return (Roms(dir) / archive).string();
    }
    Listing Zip(const std::string& archive, const std::string& dir = "roms") const {
        return test::ArchiveListing(Roms(dir) / archive);
    }

    void Load() {
        job = test::RecordingJob{};
        session = std::make_unique<TSession>(ConfigPaths::FromEnvironment(), prompts);
        ASSERT_TRUE(session->UseEmulator("test", job));
    }

    RepairOutcome Repair(const TCheckOptions& options = {}, RepairRequest request = {}) {
        Load();
        RepairOutcome outcome;
        RunRepair(*session, options, request, job, outcome);
        return outcome;
    }

    static std::vector<std::string> Lines(const RepairOutcome& outcome) {
        std::vector<std::string> lines;
        for (const TRepairAction& action : outcome.Result.Actions) {
            lines.push_back(RepairActionLine(action));
        }
        return lines;
    }

    // The collection as bytes: a dry run must leave every file as it was.
    std::map<std::string, std::string> Snapshot(const std::string& dir = "roms") const {
        auto files = test::FilesOf(Roms(dir));
        files.erase("quillmark.dat");
        return files;
    }

    void ExpectCacheTrue(const std::string& dir = "roms") const {
        EXPECT_EQ(test::CacheDisagreement(Roms(dir) / "quillmark.dat", Roms(dir)), "");
    }

    RecordingPrompts prompts;
    test::RecordingJob job;
    std::unique_ptr<TSession> session;
};

TEST_F(RepairTest, ArchiveRenamedFirstThenItsEntriesWithTheBlockingNameDisplaced) {
    // pacman is a clone of set puckman: the archive holds the set's ROMs, one under a wrong name
    // whose right name another entry of another CRC holds.
    MakeZip(Roms() / "pacman.zip", {{"p1.bin", kP1}, {"x.bin", kP2}, {"p2.bin", "not the real p2"}, {"pj.bin", kPJ}});
    const RepairOutcome outcome = Repair();
    EXPECT_FALSE(fs::exists(Roms() / "pacman.zip"));
    EXPECT_EQ(Zip("puckman.zip"), (Listing{{"p1.bin", CrcOf(kP1)},
                                           {"p2.bin", CrcOf(kP2)},
                                           {"p2.bin__", CrcOf("not the real p2")},
                                           {"pj.bin", CrcOf(kPJ)}}));
    const std::string puckman = At("puckman.zip");
    EXPECT_EQ(Lines(outcome), (std::vector<std::string>{
                                  "rename archive " + At("pacman.zip") + " -> puckman.zip",
                                  "displace entry " + puckman + " : p2.bin -> p2.bin__",
                                  "rename entry " + puckman + " : x.bin -> p2.bin",
                              }));
    EXPECT_EQ(outcome.FailedChanges, 0u);
    ExpectCacheTrue();

    // Nothing left that these options repair.
    TCheckOptions audit;
    audit.ReportUnknown = false;
    audit.ReportNotNeeded = false;
    EXPECT_TRUE(RunAudit(*session, audit, job).Result.Empty());
}

TEST_F(RepairTest, RomsNeededElsewhereAreCopiedAndTheDryRunAnnouncesExactlyThat) {
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}});
    MakeZip(Roms() / "gamma.zip", {{"c1.bin", kC1}});
    const auto before = Snapshot();

    RepairRequest dry;
    dry.DryRun = true;
    const RepairOutcome planned = Repair({}, dry);
    EXPECT_EQ(Snapshot(), before);
    ExpectCacheTrue();

    const RepairOutcome done = Repair();
    EXPECT_EQ(Lines(planned), Lines(done));
    EXPECT_EQ(Lines(done), (std::vector<std::string>{
                               "copy entry " + At("beta.zip") + " : common.bin -> " + At("delta.zip") + " : snd.bin",
                               "copy entry " + At("beta.zip") + " : common.bin -> " + At("gamma.zip") + " : common.bin",
                           }));
    EXPECT_EQ(Zip("gamma.zip"), (Listing{{"c1.bin", CrcOf(kC1)}, {"common.bin", CrcOf(kCommon)}}));
    EXPECT_EQ(Zip("delta.zip"), (Listing{{"snd.bin", CrcOf(kCommon)}}));
    EXPECT_EQ(Zip("beta.zip"), (Listing{{"b1.bin", CrcOf(kB1)}, {"common.bin", CrcOf(kCommon)}}));
    EXPECT_GT(done.Result.BytesWritten, 0u);
    ExpectCacheTrue();

    // A second run finds nothing to do.
    EXPECT_TRUE(Repair().Result.Actions.empty());
}

TEST_F(RepairTest, DeletedEntriesAndArchivesGoToTheTrash) {
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}, {"junk.txt", kJunk}, {"d1.bin", kD1}});
    MakeZip(Roms() / "gamma.zip", {{"c1.bin", kC1}, {"common.bin", kCommon}});
    MakeZip(Roms() / "delta.zip", {{"snd.bin", kCommon}});
    MakeZip(Roms() / "puckman.zip", {{"p1.bin", kP1}, {"p2.bin", kP2}});
    MakeZip(Roms() / "stranger.zip", {{"notes.txt", "a stranger's notes"}});
    TCheckOptions options;
    options.Unknown = UnknownAction::Delete;
    const RepairOutcome outcome = Repair(options);

    // d1.bin went first where it is needed, then left the archive that does not need it.
    EXPECT_EQ(Zip("delta.zip"), (Listing{{"d1.bin", CrcOf(kD1)}, {"snd.bin", CrcOf(kCommon)}}));
    EXPECT_EQ(Zip("beta.zip"), (Listing{{"b1.bin", CrcOf(kB1)}, {"common.bin", CrcOf(kCommon)}}));
    EXPECT_FALSE(fs::exists(Roms() / "stranger.zip"));
    // Entries taken out of beta.zip are collected in a beta.zip of the Trash; whole archives go
    // as they are. Each has its record.
    EXPECT_EQ(test::ArchiveListing(Trash() / "beta.zip"),
              (Listing{{"d1.bin", CrcOf(kD1)}, {"junk.txt", CrcOf(kJunk)}}));
    EXPECT_EQ(test::ArchiveListing(Trash() / "stranger.zip"), (Listing{{"notes.txt", CrcOf("a stranger's notes")}}));
    EXPECT_TRUE(fs::exists(Root() / "share/Trash/info/beta.zip.trashinfo"));
    EXPECT_TRUE(fs::exists(Root() / "share/Trash/info/stranger.zip.trashinfo"));
    EXPECT_EQ(outcome.Result.Count(RepairActionKind::DeleteEntry), 2u);
    EXPECT_EQ(outcome.Result.Count(RepairActionKind::DeleteArchive), 1u);
    ExpectCacheTrue();
}

TEST_F(RepairTest, IgnoreLeavesUnneededEntriesAndUnknownArchivesWhereTheyAre) {
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}, {"junk.txt", kJunk}});
    MakeZip(Roms() / "stranger.zip", {{"notes.txt", "a stranger's notes"}});
    const auto before = Snapshot();
    RepairOutcome outcome = Repair();
    // Only the copies that gamma and delta need.
    EXPECT_EQ(outcome.Result.Count(RepairActionKind::CopyEntry), 2u);
    EXPECT_EQ(outcome.Result.Actions.size(), 2u);
    EXPECT_EQ(Snapshot()["stranger.zip"], before.at("stranger.zip"));
    EXPECT_EQ(Snapshot()["beta.zip"], before.at("beta.zip"));
}

TEST_F(RepairTest, UselessArchivesAreMovedWithoutReplacingAnything) {
    MakeZip(Roms() / "puckman.zip", {{"p1.bin", kP1}, {"p2.bin", kP2}});
    // The right name of this one is taken: puckman's ROMs leave it one by one, pj.bin first
    // copied where it is missing, and the empty archive goes.
    MakeZip(Roms() / "puckman2.zip", {{"p1.bin", kP1}, {"p2.bin", kP2}, {"pj.bin", kPJ}});
    // This one stands for nothing: it goes whole.
    MakeZip(Roms() / "stranger.zip", {{"notes.txt", "a stranger's notes"}});
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}});
    MakeZip(Roms() / "gamma.zip", {{"c1.bin", kC1}, {"common.bin", kCommon}});
    MakeZip(Roms() / "delta.zip", {{"d1.bin", kD1}, {"snd.bin", kCommon}});
    // The move folder holds older files of those names already.
    MakeZip(Root() / "useless/puckman2.zip", {{"p1.bin", "an older file"}});
    MakeZip(Root() / "useless/stranger.zip", {{"notes.txt", "older notes"}});
    TCheckOptions options;
    options.Unknown = UnknownAction::Move;
    options.UnknownPath = (Root() / "useless").string();
    ASSERT_EQ(CheckRepairOptions(options), "");
    EXPECT_EQ(options.UnknownPath, (Root() / "useless").string() + "/");
    const RepairOutcome outcome = Repair(options);

    EXPECT_EQ(Zip("puckman.zip"), (Listing{{"p1.bin", CrcOf(kP1)}, {"p2.bin", CrcOf(kP2)}, {"pj.bin", CrcOf(kPJ)}}));
    EXPECT_FALSE(fs::exists(Roms() / "puckman2.zip"));
    EXPECT_FALSE(fs::exists(Roms() / "stranger.zip"));
    EXPECT_EQ(test::ArchiveListing(Root() / "useless/puckman2.zip"), (Listing{{"p1.bin", CrcOf("an older file")},
                                                                              {"p1.bin__", CrcOf(kP1)},
                                                                              {"p2.bin", CrcOf(kP2)},
                                                                              {"pj.bin", CrcOf(kPJ)}}));
    EXPECT_EQ(test::ArchiveListing(Root() / "useless/stranger.zip"), (Listing{{"notes.txt", CrcOf("older notes")}}));
    EXPECT_EQ(test::ArchiveListing(Root() / "useless/stranger (2).zip"),
              (Listing{{"notes.txt", CrcOf("a stranger's notes")}}));
    EXPECT_EQ(Lines(outcome).back(),
              "move archive " + At("stranger.zip") + " -> " + (Root() / "useless/stranger (2).zip").string());
    ExpectCacheTrue();
}

TEST_F(RepairTest, MovedEntriesGoIntoAnArchiveOfTheirArchiveNameKeepingEarlierOnes) {
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}, {"junk.txt", kJunk}});
    MakeZip(Roms() / "gamma.zip", {{"c1.bin", kC1}, {"common.bin", kCommon}});
    MakeZip(Roms() / "delta.zip", {{"d1.bin", kD1}, {"snd.bin", kCommon}});
    MakeZip(Root() / "useless/beta.zip", {{"junk.txt", "moved by an earlier run"}});
    TCheckOptions options;
    options.Unknown = UnknownAction::Move;
    options.UnknownPath = (Root() / "useless/").string();
    Repair(options);
    EXPECT_EQ(Zip("beta.zip"), (Listing{{"b1.bin", CrcOf(kB1)}, {"common.bin", CrcOf(kCommon)}}));
    EXPECT_EQ(test::ArchiveListing(Root() / "useless/beta.zip"),
              (Listing{{"junk.txt", CrcOf("moved by an earlier run")}, {"junk.txt__", CrcOf(kJunk)}}));
    ExpectCacheTrue();
}

TEST_F(RepairTest, ARepairThatWouldEmptyADirectoryStopsBeforeTouchingIt) {
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}});
    for (const char* name : {"a.zip", "b.zip", "c.zip"}) {
        MakeZip(Roms() / name, {{std::string(name) + ".txt", std::string("unknown ") + name}});
    }
    const auto before = Snapshot();
    TCheckOptions options;
    options.Unknown = UnknownAction::Delete;
    try {
        Repair(options);
        ADD_FAILURE() << "not refused";
    } catch (const ERepairRefused& e) {
        EXPECT_EQ(e.Going, 3u);
        EXPECT_EQ(e.Archives, 4u);
        EXPECT_EQ(e.Directory, Roms().string() + "/");
    }
    EXPECT_EQ(Snapshot(), before);
    EXPECT_FALSE(fs::exists(Trash()));

    RepairRequest force;
    force.Force = true;
    Repair(options, force);
    EXPECT_FALSE(fs::exists(Roms() / "a.zip"));
    EXPECT_TRUE(fs::exists(Trash() / "a.zip"));
}

TEST_F(RepairTest, AnArchiveOnAReadOnlyMediumIsNeverChanged) {
    UseDatafile(
        {
            RomLine("beta", "Beta", "beta", "Beta", "b1.bin", CrcOf(kB1), "N", "O", "12"),
            RomLine("beta", "Beta", "beta", "Beta", "common.bin", CrcOf(kCommon), "N", "O", "26"),
            RomLine("gamma", "Gamma", "gamma", "Gamma", "c1.bin", CrcOf(kC1), "N", "O", "13"),
            RomLine("gamma", "Gamma", "gamma", "Gamma", "common.bin", CrcOf(kCommon), "N", "O", "26"),
        },
        {"cd", "roms"});
    MakeZip(Roms("cd") / "beta.zip", {{"wrong.bin", kB1}, {"common.bin", kCommon}, {"junk.txt", kJunk}});
    ::setenv("QUILLMARK_TEST_READONLY_DIRS", Roms("cd").c_str(), 1);
    const auto before = Snapshot("cd");
    TCheckOptions options;
    options.Unknown = UnknownAction::Delete;
    const RepairOutcome outcome = Repair(options);
    EXPECT_EQ(Snapshot("cd"), before);
    // What it lacks or misnames goes into archives of the right names in the writable directory.
    EXPECT_EQ(Zip("beta.zip"), (Listing{{"b1.bin", CrcOf(kB1)}}));
    EXPECT_EQ(Zip("gamma.zip"), (Listing{{"common.bin", CrcOf(kCommon)}}));
    EXPECT_EQ(outcome.FailedChanges, 0u);
    ExpectCacheTrue();
    // Once there, never again.
    EXPECT_TRUE(Repair(options).Result.Actions.empty());
}

TEST_F(RepairTest, OneRomNeededUnderTwoNamesKeepsBoth) {
    UseDatafile({
        RomLine("gamma", "Gamma", "gamma", "Gamma", "c1.bin", CrcOf(kC1), "N", "O", "13"),
        RomLine("gamma", "Gamma", "gamma", "Gamma", "c1a.bin", CrcOf(kC1), "N", "O", "13"),
    });
    MakeZip(Roms() / "gamma.zip", {{"x.bin", kC1}});
    Repair();
    EXPECT_EQ(Zip("gamma.zip"), (Listing{{"c1.bin", CrcOf(kC1)}, {"c1a.bin", CrcOf(kC1)}}));
    ExpectCacheTrue();
}

TEST_F(RepairTest, ACopyNeededByTwoClonesOfOneSetIsMadeOnce) {
    UseDatafile({
        RomLine("alpha", "Alpha", "alpha", "Alpha", "snd.bin", CrcOf(kCommon), "N", "O", "26"),
        RomLine("alpha", "Alpha", "alphab", "Alpha B", "snd.bin", CrcOf(kCommon), "N", "N", "26"),
        RomLine("beta", "Beta", "beta", "Beta", "common.bin", CrcOf(kCommon), "N", "O", "26"),
    });
    MakeZip(Roms() / "beta.zip", {{"common.bin", kCommon}});
    const RepairOutcome outcome = Repair();
    EXPECT_EQ(Lines(outcome), (std::vector<std::string>{"copy entry " + At("beta.zip") + " : common.bin -> " +
                                                        At("alpha.zip") + " : snd.bin"}));
    EXPECT_EQ(Zip("alpha.zip"), (Listing{{"snd.bin", CrcOf(kCommon)}}));
}

TEST_F(RepairTest, CancelKeepsWhatWasDoneOnDiskAndInTheCache) {
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}});
    MakeZip(Roms() / "gamma.zip", {{"c1.bin", kC1}, {"x.bin", kCommon}});
    MakeZip(Roms() / "delta.zip", {{"d1.bin", kD1}, {"y.bin", kCommon}});
    Load();
    TCheckOptions options;
    options.RepairNeededElsewhere = false;
    bool repaired = false;
    job.OnStatus = [&](const std::string& text) { repaired = repaired || text.starts_with("Repairing file"); };
    job.CancelWhen = [&] { return repaired; };
    RepairOutcome outcome;
    try {
        RunRepair(*session, options, {}, job, outcome);
        ADD_FAILURE() << "not cancelled";
    } catch (const ECancelClick& e) {
        EXPECT_STREQ(e.what(), "Operation cancelled by the user !");
    }
    ASSERT_EQ(outcome.Result.Actions.size(), 1u);
    // delta.zip comes first: its y.bin was renamed, gamma.zip was not reached.
    EXPECT_EQ(Lines(outcome)[0], "rename entry " + At("delta.zip") + " : y.bin -> snd.bin");
    EXPECT_EQ(Zip("delta.zip"), (Listing{{"d1.bin", CrcOf(kD1)}, {"snd.bin", CrcOf(kCommon)}}));
    EXPECT_EQ(Zip("gamma.zip"), (Listing{{"c1.bin", CrcOf(kC1)}, {"x.bin", CrcOf(kCommon)}}));
    ExpectCacheTrue();
}

TEST_F(RepairTest, AFullDiskEndsTheWorkOnThatArchiveAndLosesNothing) {
    test::ScopedTmpfs disk(Roms(), 96 << 10);
    if (!disk.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}});
    MakeZip(Roms() / "gamma.zip", {{"c1.bin", kC1}});
    Load();  // the cache is written while there is room
    {
        // Fill the disk.
        std::ofstream filler(Roms() / "filler.bin", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), block.size())) {
        }
    }
    const auto before = Snapshot();
    RepairOutcome outcome;
    RunRepair(*session, {}, {}, job, outcome);
    EXPECT_GE(outcome.FailedChanges, 1u);
    EXPECT_FALSE(outcome.ProblemLines.empty());
    // Every archive whole with what it held (a small new one may have fitted), no temporary
    // file left, no cache that lies.
    for (const auto& [name, bytes] : before) {
        if (name != "filler.bin") {
            EXPECT_EQ(ReadFile(Roms() / name), bytes) << name;
        }
    }
    EXPECT_EQ(test::TemporaryFilesIn({Roms()}), std::vector<fs::path>{});
    ExpectCacheTrue();
}

TEST_F(RepairTest, ACorruptedArchiveToBeDeletedGoesToTheTrash) {
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}});
    MakeZip(Roms() / "gamma.zip", {{"c1.bin", kC1}, {"common.bin", kCommon}});
    MakeZip(Roms() / "delta.zip", {{"d1.bin", kD1}, {"snd.bin", kCommon}});
    WriteFile("roms/broken.zip", "PK\x03\x04 not an archive at all");
    TCheckOptions options;
    options.Corrupted = CorruptedAction::Delete;
    const RepairOutcome outcome = Repair(options);
    EXPECT_FALSE(fs::exists(Roms() / "broken.zip"));
    EXPECT_EQ(ReadFile(Trash() / "broken.zip"), "PK\x03\x04 not an archive at all");
    EXPECT_EQ(Lines(outcome),
              (std::vector<std::string>{"delete corrupted archive " + At("broken.zip") + " (to the Trash)"}));
}

TEST_F(RepairTest, NothingIsWrittenIntoAnArchiveThatCannotBeRead) {
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}});
    WriteFile("roms/gamma.zip", "PK\x03\x04 gamma, damaged");
    const RepairOutcome outcome = Repair();
    EXPECT_EQ(Lines(outcome), (std::vector<std::string>{"copy entry " + At("beta.zip") + " : common.bin -> " +
                                                        At("delta.zip") + " : snd.bin"}));
    EXPECT_EQ(ReadFile(Roms() / "gamma.zip"), "PK\x03\x04 gamma, damaged");
    EXPECT_EQ(outcome.FailedChanges, 0u);
}

TEST(RepairOptions, MoveFoldersAreCheckedInTheDialogsOrder) {
    TCheckOptions options;
    options.Unknown = UnknownAction::Delete;
    options.Corrupted = CorruptedAction::Move;
    EXPECT_EQ(CheckRepairOptions(options), "Select a directory to move corrupted files.");
    options.CorruptedPath = "/nonexistent/folder";
    EXPECT_EQ(CheckRepairOptions(options), "Directory not found, please choose another one.");
    options.CorruptedPath = "/tmp";
    EXPECT_EQ(CheckRepairOptions(options), "");
    EXPECT_EQ(options.CorruptedPath, "/tmp/");
    options.Unknown = UnknownAction::Move;
    EXPECT_EQ(CheckRepairOptions(options), "Select a directory to move useless files.");
    EXPECT_FALSE(RepairDeletes(options));
    options.Corrupted = CorruptedAction::Delete;
    EXPECT_TRUE(RepairDeletes(options));
}

}  // namespace
}  // namespace qm
