#include <gtest/gtest.h>

#include "game_db/Datafile.h"
#include "game_db/GamesList.h"
#include "platform/Text.h"
#include "support/RecordingJob.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::Datafile;
constexpr auto RomLineText = &test::RomLine;

TGamesList::LoadResult Load(TGamesList& games, const std::vector<std::string>& lines, Job& job = SilentJob()) {
    return games.LoadDatafileBytes(Datafile(lines), job);
}

TEST(DatafileLoading, SectionLineIsFoundWithoutRegardToCaseButNotTrimmed) {
    const std::string line = RomLineText("a", "A", "a", "A", "r.bin", "11111111", "N", "O", "4");
    for (const char* section : {"[GAMES]", "[Games]", "[games]"}) {
        TGamesList games;
        const std::string text = std::string("[EMULATOR]\r\nrefname=mame\r\n") + section + "\r\n" + line + "\r\n";
        EXPECT_FALSE(games.LoadDatafileBytes(text).BadFormat) << section;
        EXPECT_EQ(games.Games().size(), 1u);
    }
    TGamesList games;
    games.FindOrAddGame("keep", "kept");  // a failed load must not touch the database
    const auto result = games.LoadDatafileBytes(" [games]\r\n" + line + "\r\n");
    EXPECT_TRUE(result.BadFormat);
    EXPECT_NE(games.FindGame("keep"), nullptr);
    EXPECT_TRUE(games.LoadDatafileBytes("").BadFormat);
}

TEST(DatafileLoading, BuildsSetsClonesAndSharedRoms) {
    TGamesList games;
    test::RecordingJob job;
    Load(games,
         {
             RomLineText("Alpha", "Alpha Game", "alpha", "Alpha Game", "A1.BIN", "0000ABCD", "n", "O", "1024"),
             RomLineText("alpha", "ignored", "alphaj", "Alpha (Japan)", "shared.bin", "DEADBEEF", "N", "N", ""),
             RomLineText("beta", "Beta", "beta", "Beta", "other-name.bin", "deadbeef", "N", "O", "77"),
             RomLineText("beta", "Beta", "beta", "Beta", "letters.bin", "22222222", "N", "o", "abc"),
         },
         job);
    EXPECT_EQ(job.Statuses, std::vector<std::string>{"Loading datas..."});
    ASSERT_EQ(games.Games().size(), 2u);
    const TGame* alpha = games.FindGame("alpha");
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->Description, "Alpha Game");  // from the set's first line
    EXPECT_EQ(alpha->Clones.size(), 2u);
    EXPECT_EQ(games.AllClones.size(), 3u);
    ASSERT_NE(games.FindClone("alphaj"), nullptr);
    EXPECT_EQ(games.FindClone("alphaj")->Game, alpha);
    EXPECT_EQ(games.FindClone("alpha")->FindCloneRom("a1.bin")->Crc, "0000abcd");

    // One ROM object for one CRC, in any set, with the size of its first line.
    TRom* shared = games.FindRom("deadbeef");
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->Clones.size(), 2u);
    EXPECT_EQ(games.FindClone("beta")->FindCloneRom("other-name.bin"), shared);
    EXPECT_EQ(shared->Size, 0);                      // empty size field
    EXPECT_EQ(games.FindRom("22222222")->Size, -1);  // letters

    // Own flag only for an upper-case "O".
    EXPECT_TRUE(games.FindClone("alpha")->Roms.Find("a1.bin")->Own);
    EXPECT_FALSE(games.FindClone("beta")->Roms.Find("letters.bin")->Own);
    EXPECT_FALSE(games.FindClone("alphaj")->Roms.Find("shared.bin")->Own);

    EXPECT_EQ(games.RomsByCrc.size(), 3u);
    ASSERT_GE(job.Counts.size(), 3u);
    EXPECT_EQ(job.Counts.back(), std::make_pair(LoadCount::Roms, std::uint64_t{3}));
    ASSERT_FALSE(job.Progresses.empty());
    EXPECT_TRUE(std::is_sorted(job.Progresses.begin(), job.Progresses.end()));
    EXPECT_EQ(job.Progresses.back().first, job.Progresses.back().second);
}

TEST(DatafileLoading, NeoGeoFlagIsReadFromTheSetsFirstLineInEitherCase) {
    TGamesList games;
    Load(games, {
                    RomLineText("ng1", "NG", "ng1", "NG", "p1.bin", "00000001", "o", "O", "1"),
                    RomLineText("ng1", "NG", "ng1", "NG", "p2.bin", "00000002", "N", "O", "1"),
                    RomLineText("plain", "P", "plain", "P", "p.bin", "00000003", "N", "O", "1"),
                    RomLineText("plain", "P", "plain", "P", "q.bin", "00000004", "O", "O", "1"),
                });
    EXPECT_TRUE(games.FindGame("ng1")->NeoGeo);
    EXPECT_FALSE(games.FindGame("plain")->NeoGeo);
}

TEST(DatafileLoading, NoGoodDumpLinesAndPlaceholders) {
    TGamesList games;
    Load(games, {
                    // A no-good-dump line for a name another clone of the set lists with a real
                    // CRC uses that ROM and is not a no-good-dump entry.
                    RomLineText("set1", "S1", "set1", "S1", "prog.bin", "12345678", "N", "O", "16"),
                    RomLineText("set1", "S1", "set1a", "S1a", "prog.bin", "00000000", "N", "N", "16"),
                    // Two no-good-dump lines of one set with the same name share one ROM.
                    RomLineText("set1", "S1", "set1a", "S1a", "pal.bin", "00000000", "N", "O", "260"),
                    RomLineText("set1", "S1", "set1b", "S1b", "pal.bin", "00000000", "N", "O", "260"),
                    // Another set's no-good-dump ROM is another object.
                    RomLineText("set2", "S2", "set2", "S2", "pal2.bin", "00000000", "N", "O", "260"),
                    RomLineText("set3", "S3", "set3", "S3", "No roms needed", "        ", "N", "O", "0"),
                });
    const TRomEntry* reused = games.FindClone("set1a")->Roms.Find("prog.bin");
    EXPECT_FALSE(reused->NoGoodDump);
    EXPECT_EQ(reused->Rom->Crc, "12345678");
    EXPECT_FALSE(reused->Rom->NoGoodDump);

    TRom* pal = games.FindClone("set1a")->FindCloneRom("pal.bin");
    TRom* pal2 = games.FindClone("set2")->FindCloneRom("pal2.bin");
    EXPECT_EQ(games.FindClone("set1b")->FindCloneRom("pal.bin"), pal);
    EXPECT_NE(pal, pal2);
    EXPECT_TRUE(pal->NoGoodDump);
    EXPECT_TRUE(pal2->NoGoodDump);
    EXPECT_EQ(games.NoGoodDumpRoms.size(), 3u);
    // Only the first "00000000" ROM is indexed by CRC.
    EXPECT_EQ(games.FindRom("00000000"), pal);

    const TRom* placeholder = games.FindRom("        ");
    ASSERT_NE(placeholder, nullptr);
    EXPECT_EQ(placeholder->Status, rsPresent);
    EXPECT_EQ(games.FindRom("12345678")->Status, rsMissing);
}

TEST(DatafileLoading, SkipsBlankShortTruncatedAndStrayLines) {
    TGamesList games;
    std::string text = Datafile({
        "",
        "   ",
        "garbage without delimiters",
        RomLineText("a", "A", "a", "A", "r1.bin", "00000001", "N", "O", "1"),
        std::string("\xAC") + "a\xAC" + "A\xAC" + "a\xAC" + "A\xAC" + "r2.bin",  // short: no CRC, no size
        std::string("\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC\xAC"),                 // all fields empty
        RomLineText("b\x01\xFF", "B\x80", "b\x01\xFF", "B", "r\xE9.bin", "zzzz", "N", "O", "99999999999"),
    });
    text += std::string("\xAC") + "c\xAC" + "C\xAC" + "c\xAC" + "C\xAC" + "trunc";  // no line end
    const auto result = games.LoadDatafileBytes(text);
    EXPECT_FALSE(result.BadFormat);
    EXPECT_EQ(result.SkippedLines, 6u);
    EXPECT_EQ(games.Games().size(), 2u);
    ASSERT_NE(games.FindClone("a"), nullptr);
    EXPECT_EQ(games.FindClone("a")->Roms.size(), 1u);
    EXPECT_EQ(games.FindClone("b\x01\xff")->FindCloneRom("r\xe9.bin")->Size, -1);  // does not fit
    EXPECT_EQ(games.FindClone("c"), nullptr);
}

TEST(DatafileWriting, RomLineAndHeaderReadBack) {
    qm::RomLine line;
    line.SetName = "pacman";
    line.SetDescription = "Pac-Man";
    line.CloneName = "pacmanf";
    line.CloneDescription = "Pac-Man (fast)";
    line.RomName = "pacman.6e";
    line.Crc = "c1e6ab10";
    line.NeoGeo = false;
    line.Own = true;
    line.Size = 4096;
    const std::string text = FormatRomLine(line);
    EXPECT_EQ(text,
              "\xACpacman\xACPac-Man\xACpacmanf\xACPac-Man (fast)\xACpacman.6e\xAC"
              "c1e6ab10\xACN\xACO\xAC"
              "4096\xAC");
    std::array<std::string_view, kRomLineFields> fields;
    EXPECT_EQ(SplitRomLine(text, fields), 10);
    EXPECT_EQ(fields[fCloneDescription], "Pac-Man (fast)");
    EXPECT_EQ(fields[fSize], "4096");

    DatafileHeader header;
    header.RefName = "mame";
    header.RomPaths = "/roms/;";
    const auto lines = FormatDatafileHeader(header);
    EXPECT_EQ(lines.front(), "[CREDITS]");
    EXPECT_EQ(lines[5], "version=1.90");
    EXPECT_EQ(lines.back(), "[GAMES]");
    EXPECT_EQ(lines[11], "romspaths=/roms/;");

    // A value with a line break would add lines to the header, or a ROM line after "[GAMES]".
    header.Comment = "fine\r\n[GAMES]";
    EXPECT_THROW(FormatDatafileHeader(header), EBadValue);
}

TEST(DatafileLoading, ACancelledLoadLeavesAnEmptyDatabase) {
    std::vector<std::string> lines;
    for (int i = 0; i < 200; ++i) {
        const std::string set = "set" + std::to_string(i);
        lines.push_back(RomLineText(set, set, set, set, "r.bin", "1111" + std::to_string(1000 + i), "N", "O", "4"));
    }
    TGamesList games;
    test::RecordingJob job;
    // Cancel is pressed once the load has counted some sets.
    job.CancelWhen = [&] { return !job.Counts.empty(); };
    EXPECT_THROW(Load(games, lines, job), ECancelClick);
    EXPECT_TRUE(games.Games().empty());
    EXPECT_TRUE(games.RomsByCrc.empty());
    EXPECT_NO_THROW(Load(games, lines));
    EXPECT_EQ(games.Games().size(), 200u);
}

}  // namespace
}  // namespace qm
