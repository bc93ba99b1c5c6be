#include <gtest/gtest.h>

#include <sys/mount.h>

#include <algorithm>
#include <stdexcept>

#include "commands/Commands.h"
#include "commands/Session.h"
#include "engine/Audit.h"
#include "game_db/SubList.h"
#include "platform/Platform.h"
#include "platform/UserPrompts.h"
#include "reports/AuditReport.h"
#include "support/RecordingJob.h"
#include "support/SmallSets.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::CrcOf;
using test::MakeZip;
using test::RomLine;

using test::kB1;
using test::kC1;
using test::kCommon;
using test::kD1;
using test::kP1;
using test::kP2;
using test::kPJ;

// A session on a profile whose datafile is written by the test; the collection is built in
// Root()/roms with real archives.
class AuditTest : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        const std::vector<std::string> lines = test::SmallSetLines();
        WriteFile("datas/test.dat", test::Datafile(lines, "mame", (Root() / "roms").string() + "/;"));
        fs::create_directories(Roms());
    }

    fs::path Roms(const std::string& dir = "roms") const { return Root() / dir; }
    std::string RomsDir(const std::string& dir = "roms") const { return Roms(dir).string() + "/"; }

    // Loads the profile (scanning), then audits; the report as saved, closing lines included.
    std::vector<std::string> Audit(const TCheckOptions& options = {}) {
        Load();
        outcome = RunAudit(*session, options, job);
        return AuditReportLines(outcome.Result);
    }

    void Load() {
        job = test::RecordingJob{};
        session = std::make_unique<TSession>(ConfigPaths::FromEnvironment(), prompts);
        ASSERT_TRUE(session->UseEmulator("test", job));
    }

    static std::vector<std::string> Report(std::vector<std::string> lines) {
        lines.emplace_back();
        lines.emplace_back("------------ end of report");
        return lines;
    }

    // Replaces the profile's datafile; its ROM directories are the given folders of Root().
    void UseDatafile(const std::vector<std::string>& romLines, const std::vector<std::string>& dirs = {"roms"}) {
        std::string romPaths;
        for (const std::string& dir : dirs) {
            fs::create_directories(Roms(dir));
            romPaths += RomsDir(dir) + ";";
        }
        WriteFile("datas/test.dat", test::Datafile(romLines, "mame", romPaths));
    }

    // The report section of one archive: a blank line, the header (with its remark), the
    // underline (as long as the header without the remark, plus one) and the lines.
    std::vector<std::string> Section(const std::string& archive, const std::vector<std::string>& lines,
                                     const std::string& dir = "roms", const std::string& remark = {}) const {
        const std::string header = "File " + RomsDir(dir) + archive;
        std::vector<std::string> section = {"", header + remark, std::string(header.size() + 1, '=')};
        section.insert(section.end(), lines.begin(), lines.end());
        return section;
    }

    static std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (const auto& part : parts) {
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }

    bool Exists(const std::string& relative) const { return fs::exists(Root() / relative); }

    RecordingPrompts prompts;
    test::RecordingJob job;
    std::unique_ptr<TSession> session;
    AuditOutcome outcome;
};

TEST_F(AuditTest, CorrectCollectionHasNothingToReport) {
    MakeZip(Roms() / "puckman.zip", {{"p1.bin", kP1}, {"p2.bin", kP2}, {"pj.bin", kPJ}});
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}});
    MakeZip(Roms() / "gamma.zip", {{"c1.bin", kC1}, {"common.bin", kCommon}});
    MakeZip(Roms() / "delta.zip", {{"d1.bin", kD1}, {"snd.bin", kCommon}});
    EXPECT_EQ(Audit(), Report({"Nothing to report !"}));
    EXPECT_EQ(ReadFile(outcome.ReportFile), "Nothing to report !\r\n\r\n------------ end of report\r\n");
    EXPECT_EQ(outcome.ReportFile, Root() / "cache/quillmark/report.txt");

    TCheckOptions correct;
    correct.ReportCorrectNames = true;
    correct.ReportCorrectRoms = true;
    const auto lines = Audit(correct);
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[0], "beta.zip     : File name correct");
    EXPECT_EQ(lines[1], "delta.zip    : File name correct");
    EXPECT_EQ(lines[3], "puckman.zip  : File name correct");
    const std::string header = "File " + RomsDir() + "beta.zip";
    EXPECT_EQ(lines[5], header);
    EXPECT_EQ(lines[6], std::string(header.size() + 1, '='));
    const std::string b1 = "b1.bin       " + CrcOf(kB1) + " correct";
    const std::string common = "common.bin   " + CrcOf(kCommon) + " correct";
    EXPECT_TRUE((lines[7] == b1 && lines[8] == common) || (lines[7] == common && lines[8] == b1));
}

TEST_F(AuditTest, MisnamedArchiveIsReportedUnderItsRightNameForTheRestOfTheReport) {
    // Holds puckman's own ROMs; pacman is a clone of set puckman.
    MakeZip(Roms() / "pacman.zip", {{"p1.bin", kP1}, {"p2.bin", kP2}, {"wrong.bin", kPJ}});
    const auto lines = Audit();
    const std::vector<std::string> expected = {
        "pacman.zip   : Right name is puckman.zip ",
        "",
        "File " + RomsDir() + "puckman.zip",
        std::string(("File " + RomsDir() + "puckman.zip").size() + 1, '='),
        "wrong.bin    " + CrcOf(kPJ) + "         right name is pj.bin",
    };
    EXPECT_EQ(lines, Report(expected));
    EXPECT_TRUE(fs::exists(Roms() / "pacman.zip"));  // nothing renamed on disk
}

TEST_F(AuditTest, ArchiveNamesThatCannotBeFixed) {
    MakeZip(Roms() / "pacman.zip", {{"p1.bin", kP1}, {"p2.bin", kP2}});
    MakeZip(Roms() / "puckman.zip", {{"p1.bin", kP1}, {"p2.bin", kP2}});
    MakeZip(Roms() / "mystery.zip", {{"notes.bin", "nobody needs this"}});
    MakeZip(Roms("cdrom") / "Beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}});
    ::setenv("QUILLMARK_TEST_READONLY_DIRS", Roms("cdrom").c_str(), 1);
    WriteFile("datas/test.dat", ReadFile(DataDir() / "test.dat")
                                    .replace(ReadFile(DataDir() / "test.dat").find("romspaths="), 10,
                                             "romspaths=" + RomsDir("cdrom") + ";"));
    TCheckOptions options;
    options.ReportNotNeeded = false;
    const auto lines = Audit(options);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Beta.zip     : Right name is beta.zip     but can't rename (Read Only device)");
    EXPECT_EQ(lines[1], "mystery.zip  : No good name found");
    EXPECT_EQ(lines[2], "pacman.zip   : Right name is puckman.zip  but can't rename (puckman.zip already exist)");
    const std::string unknown = "notes.bin    " + CrcOf("nobody needs this") + "         Unknown";
    EXPECT_NE(std::find(lines.begin(), lines.end(), unknown), lines.end());
}

TEST_F(AuditTest, RomsNeededElsewhereDuplicatesAndUnneededEntries) {
    // common.bin is needed by beta, gamma (as common.bin) and delta (as snd.bin).
    MakeZip(Roms() / "puckman.zip",
            {{"p1.bin", kP1}, {"p2.bin", kP2}, {"pj.bin", kPJ}, {"copy.bin", kP2}, {"common.bin", kCommon}});
    MakeZip(Roms() / "gamma.zip", {{"c1.bin", kC1}, {"common.bin", kCommon}});
    const auto lines = Audit();
    const std::string c = CrcOf(kCommon);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "common.bin   " + c + "         missing in set beta.zip     (common.bin)"),
              lines.end());
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), "common.bin   " + c + "         missing in set delta.zip    (snd.bin)"),
        lines.end());
    // gamma.zip holds it already.
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find("gamma.zip    ("), std::string::npos) << line;
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), "common.bin   " + c + "         not needed in this set"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "copy.bin     " + CrcOf(kP2) + "         duplicated"), lines.end());
    int duplicated = 0;
    for (const std::string& line : lines) {
        duplicated += line.find("duplicated") != std::string::npos;
    }
    EXPECT_EQ(duplicated, 1);
}

TEST_F(AuditTest, OneFilePerCloneReportsEveryCloneArchiveThatLacksARom) {
    MakeZip(Roms() / "puckman.zip", {{"p1.bin", kP1}, {"p2.bin", kP2}, {"common.bin", kCommon}});
    MakeZip(Roms() / "pacman.zip", {{"pj.bin", kPJ}});
    TCheckOptions options;
    options.SplitMode = true;
    const auto lines = Audit(options);
    const std::string c = CrcOf(kCommon);
    int missing = 0;
    for (const std::string& line : lines) {
        missing += line.starts_with("common.bin   " + c + "         missing in set ");
    }
    EXPECT_EQ(missing, 3);  // beta, delta, gamma
    // pacman.zip lacks p1.bin, which it shares with its parent.
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "p1.bin       " + CrcOf(kP1) + "         missing in set pacman.zip   (p1.bin)"),
              lines.end());
}

TEST_F(AuditTest, ComplementedCrcAndNoGoodDumpNeedTheOption) {
    // The complement of a ROM's CRC is its known bad dump; its data is a few forged bytes.
    const std::string badDump = test::ForgeCrc(ComplementCrc(CrcOf(kP2)));
    MakeZip(Roms() / "puckman.zip", {{"p1.bin", kP1}, {"p2.bin", badDump}, {"pal.bin", "some pal dump"}});
    EXPECT_EQ(Audit(), Report({"Nothing to report !"}));

    TCheckOptions options;
    options.ReportNoGoodDump = true;
    const auto lines = Audit(options);
    const std::string header = "File " + RomsDir() + "puckman.zip";
    // The scan recorded the bad dump as the set's no-good-dump ROM, so it is reported as both.
    // Entries come in CRC order.
    const std::string p2 = ComplementCrc(CrcOf(kP2));
    const std::string pal = CrcOf("some pal dump");
    std::vector<std::string> expected = {"", header, std::string(header.size() + 1, '=')};
    std::vector<std::string> p2Lines = {"p2.bin       " + p2 + " correct (complemented crc)",
                                        "p2.bin       " + p2 + " correct (No good dump known)"};
    std::vector<std::string> palLines = {"pal.bin      " + pal + " correct (No good dump known)"};
    for (const auto& part : pal < p2 ? std::vector{palLines, p2Lines} : std::vector{p2Lines, palLines}) {
        expected.insert(expected.end(), part.begin(), part.end());
    }
    EXPECT_EQ(lines, Report(expected)) << ::testing::PrintToString(lines);
}

TEST_F(AuditTest, CorruptArchivesAreIgnoredMovedOrDeleted) {
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}});
    const std::string garbage = "PK\x03\x04 not really a zip archive";
    TCheckOptions options;
    options.RefreshCache = true;

    WriteFile("roms/broken.zip", garbage);
    Audit(options);
    const std::string message = "File \"broken.zip\": This archive is not a valid Zip archive";
    // Found by the audit's own scan, handled, and still there at the scan that ends the audit.
    const std::string found = "File " + RomsDir() + "broken.zip: " + message;
    EXPECT_EQ(outcome.ProblemLines, (std::vector<std::string>{found, message, "***** File ignored", found}));
    EXPECT_TRUE(fs::exists(Roms() / "broken.zip"));

    options.Corrupted = CorruptedAction::Move;
    options.CorruptedPath = (Root() / "bad/deeper").string() + "/";
    WriteFile("bad/deeper/broken.zip", "an older file of that name");
    Audit(options);
    EXPECT_FALSE(fs::exists(Roms() / "broken.zip"));
    EXPECT_EQ(ReadFile(Root() / "bad/deeper/broken (2).zip"), garbage);
    EXPECT_EQ(ReadFile(Root() / "bad/deeper/broken.zip"), "an older file of that name");
    EXPECT_EQ(outcome.ProblemLines.back(), "***** File moved to " + options.CorruptedPath);

    options.Corrupted = CorruptedAction::Delete;
    WriteFile("roms/broken.zip", garbage);
    Audit(options);
    EXPECT_FALSE(fs::exists(Roms() / "broken.zip"));
    EXPECT_EQ(outcome.ProblemLines.back(), "***** File deleted");
    EXPECT_TRUE(fs::exists(Roms() / "beta.zip"));
    EXPECT_EQ(ReadFile(Roms() / "quillmark.dat").find("broken"), std::string::npos);
}

TEST_F(AuditTest, CancelStopsAfterTheCurrentEntry) {
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"x.bin", "unknown 1"}, {"y.bin", "unknown 2"}});
    MakeZip(Roms() / "pacman.zip", {{"p1.bin", kP1}, {"p2.bin", kP2}});
    Load();
    int archivesSeen = 0;
    const std::size_t pollsBefore = job.Polls;
    job.OnStatus = [&](const std::string& text) {
        if (text.starts_with("Auditing roms in file")) {
            job.Cancelled = true;  // as if Cancel was pressed now
            ++archivesSeen;
        }
    };
    try {
        RunAudit(*session, TCheckOptions{}, job);
        FAIL() << "not cancelled";
    } catch (const ECancelClick& e) {
        EXPECT_STREQ(e.what(), "Process cancelled by user !");
    }
    EXPECT_EQ(archivesSeen, 1);
    EXPECT_GT(job.Polls, pollsBefore);
    EXPECT_FALSE(fs::exists(Root() / "cache/quillmark/report.txt"));
    EXPECT_TRUE(fs::exists(Roms() / "quillmark.dat"));
    // pacman.zip was renamed to puckman.zip in the model by the name pass: the picture is read
    // again from the caches, as it is on disk.
    ASSERT_EQ(session->Paths.Files.size(), 2u);
    EXPECT_NE(session->Paths.Paths()[0]->FindFile("pacman.zip"), nullptr);
    EXPECT_EQ(session->Paths.Paths()[0]->FindFile("puckman.zip"), nullptr);
}

TEST_F(AuditTest, NoGoodDumpRomsOfTwoSetsAreToldApart) {
    // Every clone lists a pal.bin whose good dump is unknown; a.zip and b.zip hold the same
    // dump of it. Each set has its own ROM for it, alike in everything but identity.
    UseDatafile({
        RomLine("a", "A", "a", "A", "pal.bin", "00000000", "N", "O", "260"),
        RomLine("a", "A", "a2", "A 2", "pal.bin", "00000000", "N", "O", "260"),
        RomLine("b", "B", "b", "B", "pal.bin", "00000000", "N", "O", "260"),
        RomLine("b", "B", "b2", "B 2", "pal.bin", "00000000", "N", "O", "260"),
    });
    const std::string pal = test::ForgeCrc("9a1c0de5");
    MakeZip(Roms() / "a.zip", {{"pal.bin", pal}});
    MakeZip(Roms() / "b.zip", {{"pal.bin", pal}});
    TCheckOptions options;
    options.SplitMode = true;
    const std::string entry = "pal.bin      9a1c0de5";
    EXPECT_EQ(Audit(options),
              Report(Concat({Section("a.zip", {entry + "         missing in set a2.zip       (pal.bin)"}),
                             Section("b.zip", {entry + "         missing in set b2.zip       (pal.bin)"})})));

    options.ReportNoGoodDump = true;
    EXPECT_EQ(
        Audit(options),
        Report(Concat(
            {Section("a.zip",
                     {entry + "         missing in set a2.zip       (pal.bin)", entry + " correct (No good dump known)",
                      entry + "         missing in set a2.zip       (pal.bin) (No good dump known)"}),
             Section("b.zip",
                     {entry + "         missing in set b2.zip       (pal.bin)", entry + " correct (No good dump known)",
                      entry + "         missing in set b2.zip       (pal.bin) (No good dump known)"})})));
}

TEST_F(AuditTest, SecondNamesAndArchivesDuplicatedInALaterDirectory) {
    UseDatafile(
        {
            RomLine("alpha", "Alpha", "alpha", "Alpha", "a1.bin", "a1a1a1a1", "N", "O", "4"),
            RomLine("alpha", "Alpha", "alpha", "Alpha", "a1copy.bin", "a1a1a1a1", "N", "O", "4"),
            RomLine("beta", "Beta", "beta", "Beta", "b1.bin", "b1b1b1b1", "N", "O", "4"),
        },
        {"roms", "more"});
    MakeZip(Roms() / "alpha.zip", {{"a1.bin", test::ForgeCrc("a1a1a1a1")}});
    MakeZip(Roms() / "beta.zip", {{"b1.bin", test::ForgeCrc("b1b1b1b1")}});
    MakeZip(Roms("more") / "beta.zip", {{"b1.bin", test::ForgeCrc("b1b1b1b1")}});
    // The second beta.zip gets its section even with nothing to say about its entries.
    EXPECT_EQ(
        Audit(),
        Report(Concat({{"beta.zip     : Duplicated file."},
                       Section("alpha.zip", {"a1.bin       a1a1a1a1         also needed with the name a1copy.bin"}),
                       Section("beta.zip", {}, "more", " (Another file with the same name exist)")})));
}

TEST_F(AuditTest, KnownBadDumpsInAnotherSetOrUnderAnotherName) {
    // e2e2e2e2 is the complement of delta's d1.bin: its known bad dump.
    UseDatafile({
        RomLine("delta", "Delta", "delta", "Delta", "d1.bin", "1d1d1d1d", "N", "O", "4"),
        RomLine("eps", "Eps", "eps", "Eps", "e1.bin", "0e1e1e1e", "N", "O", "4"),
    });
    const std::string badDump = test::ForgeCrc("e2e2e2e2");
    MakeZip(Roms() / "delta.zip", {{"dx.bin", badDump}});
    MakeZip(Roms() / "eps.zip", {{"e1.bin", test::ForgeCrc("0e1e1e1e")}, {"d1.bin", badDump}});
    TCheckOptions options;
    options.ReportNoGoodDump = true;
    EXPECT_EQ(
        Audit(options),
        Report(Concat({Section("delta.zip", {"dx.bin       e2e2e2e2         right name is d1.bin (complemented crc)"}),
                       Section("eps.zip", {"d1.bin       e2e2e2e2         missing in set delta.zip    (d1.bin) "
                                           "(complemented crc)",
                                           "d1.bin       e2e2e2e2         not needed in this set"})})));
}

TEST_F(AuditTest, CrcFfffffffIsNoBadDumpOfARomWithoutAGoodDump) {
    // The complement of ffffffff is 00000000, the CRC of puckman's pal.bin, whose good dump
    // is unknown: not a ROM that could have been dumped badly.
    MakeZip(Roms() / "mystery.zip", {{"ff.bin", test::ForgeCrc("ffffffff")}});
    TCheckOptions options;
    options.ReportNoGoodDump = true;
    EXPECT_EQ(Audit(options), Report(Concat({{"mystery.zip  : No good name found"},
                                             Section("mystery.zip", {"ff.bin       ffffffff         Unknown"})})));
    EXPECT_EQ(SetState(*session->Games.FindGame("puckman")), ItemState::Empty);
    EXPECT_EQ(session->Games.NoGoodDumpRoms.size(), 1u);  // the datafile's own line
}

TEST_F(AuditTest, AFailingCheckEndsItsArchiveWithAnErrorLine) {
    MakeZip(Roms() / "mystery.zip", {{"u1.bin", test::ForgeCrc("11111111")},
                                     {"u2.bin", test::ForgeCrc("22222222")},
                                     {"u3.bin", test::ForgeCrc("33333333")}});
    Load();
    TCheckOptions options;
    options.Corrupted = CorruptedAction::Delete;
    TAudit audit(session->Paths, options, job);
    audit.BeforeEntryCheck = [](const TZipRom& entry) {
        if (entry.Name == "u2.bin") {
            throw std::runtime_error("internal error");
        }
    };
    const TAuditResult result = audit.Run();
    EXPECT_EQ(
        AuditReportLines(result),
        Report(Concat({{"mystery.zip  : No good name found"},
                       Section("mystery.zip", {"u1.bin       11111111         Unknown", "Error : internal error"})})));
    // The checks read no archive: their failure says nothing of the archive, which stays.
    const std::vector<std::string> problem = {"File " + RomsDir() + "mystery.zip: internal error"};
    EXPECT_EQ(result.ProblemLines, problem);
    EXPECT_EQ(job.Problems, problem);
    EXPECT_TRUE(Exists("roms/mystery.zip"));
}

TEST_F(AuditTest, AGoodArchiveWithStrayBytesIsNoCorruptedArchive) {
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"common.bin", kCommon}});
    WriteFile("roms/beta.zip", ReadFile(Roms() / "beta.zip") + "x");
    TCheckOptions options;
    options.RefreshCache = true;
    options.Corrupted = CorruptedAction::Delete;
    options.ReportNeededElsewhere = false;  // by gamma and delta, which have no archive
    EXPECT_EQ(Audit(options), Report({"Nothing to report !"}));
    EXPECT_TRUE(Exists("roms/beta.zip"));
    EXPECT_EQ(outcome.ProblemLines,
              (std::vector<std::string>{"File " + RomsDir() +
                                        "beta.zip: File \"beta.zip\": Warning - Garbage at the end "
                                        "of the zipfile!"}));
    EXPECT_EQ(SetState(*session->Games.FindGame("beta")), ItemState::Complete);
}

TEST_F(AuditTest, CancelStopsTheHandlingOfCorruptedArchives) {
    const std::vector<std::string> names = {"bad1.zip", "bad2.zip", "bad3.zip", "bad4.zip"};
    for (const std::string& name : names) {
        WriteFile("roms/" + name, "PK\x03\x04 not really a zip archive");
    }
    auto left = [&] {
        return std::count_if(names.begin(), names.end(),
                             [&](const std::string& name) { return Exists("roms/" + name); });
    };
    for (const CorruptedAction action : {CorruptedAction::Delete, CorruptedAction::Move}) {
        SCOPED_TRACE(static_cast<int>(action));
        Load();
        // Cancel is pressed once the first archive is gone.
        job.CancelWhen = [&] { return left() < 4; };
        TCheckOptions options;
        options.RefreshCache = true;
        options.Corrupted = action;
        options.CorruptedPath = (Root() / "bad").string() + "/";
        EXPECT_THROW(RunAudit(*session, options, job), ECancelClick);
        EXPECT_EQ(left(), 3);
        EXPECT_EQ(Exists("bad/bad1.zip"), action == CorruptedAction::Move);
        EXPECT_FALSE(Exists("bad/bad2.zip"));
        WriteFile("roms/bad1.zip", "PK\x03\x04 not really a zip archive");
    }
}

}  // namespace
}  // namespace qm
