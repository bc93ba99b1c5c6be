#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "game_db/GamesList.h"
#include "game_db/SubList.h"
#include "platform/Platform.h"
#include "platform/UserPrompts.h"
#include "reports/HtmlReport.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::Datafile;
using test::RomLine;

std::string Crlf(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

const std::string kHeader = Crlf({
    "<html>",
    "<head>",
    "<title>mame complete sets</title>",
    R"(<meta http-equiv="Content-Type" content="text/html; charset=utf-8">)",
    R"(<meta name="GENERATOR" content="Microsoft FrontPage 3.0">)",
    "</head>",
    R"(<body bgcolor="#FFFFFF" text="#000000">)",
    R"(<table border="0" width="100%" cellspacing="0" cellpadding="0">)",
    "  <tr>",
    R"(    <td width="65%" bgcolor="#FFEBBF"><p align="left"><a href="https://quillmark.example.org/"><img border="0" width="180" height="37" alt="Quillmark")",
    R"(    src="qmlogo.jpg" ></a></td>)",
    R"(    <td width="35%" bgcolor="#FFEBBF"><p align="right"><font color="#000000"><small>Compiled)",
    R"(    on 2024-02-29 with <a href="https://quillmark.example.org/">Quillmark</a></small><strong>.</strong></font></td>)",
    "  </tr>",
    "</table>",
    R"(<hr width="95%" color="#000080">)",
    "<p>&nbsp;</p>",
    R"(<div align="center"><center>)",
    R"(<table border="1" width="70%" bgcolor="#FFFFFF" bordercolor="#FFCC66")",
    R"(bordercolorlight="#FFFF00" bordercolordark="#FF0000" cellspacing="0">)",
    "  <tr>",
    R"(    <td width="100%"><p align="center"><font face="Times New Roman" color="#000080"><strong><big><big><big>mame complete sets</big></big></big></strong></font></td>)",
    "  </tr>",
    "</table>",
    "</center></div>",
    "<p>&nbsp;</p>",
});

const std::string kFooterEnd = Crlf({
    R"(<hr width="100%" color="#000080">)",
    R"(<table border="0" width="100%" bgcolor="#FFFFFF" cellspacing="0" cellpadding="0">)",
    "  <tr>",
    R"(    <td width="100%" bgcolor="#FFEBBF"><p align="right"><font color="#000000"><small>Quillmark 1.91 keeps your arcade ROM collection right.)",
    R"(    Written by the Quillmark developers: <a href="mailto:quillmark@example.org">quillmark@example.org</a></small></font></td>)",
    "  </tr>",
    "</table>",
    "<p>&nbsp;</p>",
    "</body>",
    "</html>",
});

const std::string kSetTableHead = Crlf({
    R"(<table border="1" bgcolor="#FFFFFF" width="100%" cellspacing="0" bordercolor="#000080">)",
    "  <tr>",
    R"(    <td width="10%" bgcolor="#FFCC66"><font color="#000080"><strong>Set</strong></font></td>)",
    R"(    <td width="90%" bgcolor="#FFCC66"><font color="#000080"><strong>Set full name</strong></font></td>)",
    "  </tr>",
});

TEST(HtmlPageTest, AnEmptyTableHasItsHeadingRowAndNoRecordCount) {
    THtmlreport page("mame complete sets", "2024-02-29");
    page.BeginSetTable();
    page.EndSetTable();
    EXPECT_EQ(page.RecordCount(), 0u);
    EXPECT_EQ(page.Text(), kHeader + kSetTableHead + "</table>\r\n<p>&nbsp;</p>\r\n" + kFooterEnd);
}

TEST(HtmlPageTest, RowsKeepTheirColumnOrderAndAreCounted) {
    THtmlreport page("t", "d");
    page.BeginCloneTable();
    page.AddCloneRow("puckb", "Puck (bootleg)", "Puck", "puck");
    page.EndCloneTable();
    page.BeginRomTable();
    page.AddRomRow("000000a1", "p1.bin", "puckb", "Puck (bootleg)", "puck", "Puck");
    page.EndRomTable();
    EXPECT_EQ(page.RecordCount(), 2u);
    const std::string text = page.Text();
    EXPECT_NE(
        text.find(Crlf({
            R"(    <td width="10%" bgcolor="#FFCC66"><font color="#000080"><strong>Clone</strong></font></td>)",
            R"(    <td width="40%" bgcolor="#FFCC66"><font color="#000080"><strong>Clone full name</strong></font></td>)",
            R"(    <td width="10%" bgcolor="#FFCC66"><font color="#000080"><strong>Set</strong></font></td>)",
            R"(    <td width="40%" bgcolor="#FFCC66"><font color="#000080"><strong>Set full name</strong></font></td>)",
            "  </tr>",
            "  <tr>",
            R"(    <td width="10%">puckb</td>)",
            R"(    <td width="40%">Puck (bootleg)</td>)",
            R"(    <td width="10%">puck</td>)",
            R"(    <td width="40%">Puck</td>)",
            "  </tr>",
            "</table>",
        })),
        std::string::npos)
        << text;
    EXPECT_NE(
        text.find(Crlf({
            R"(    <td width="10%" bgcolor="#FFCC66"><font color="#000080"><strong>Crc</strong></font></td>)",
            R"(    <td width="14%" bgcolor="#FFCC66"><font color="#000080"><strong>Rom</strong></font></td>)",
            R"(    <td width="10%" bgcolor="#FFCC66"><font color="#000080"><strong>Used in clone</strong></font></td>)",
            R"(    <td width="28%" bgcolor="#FFCC66"><font color="#000080"><strong>Clone full name</strong></font></td>)",
            R"(    <td width="10%" bgcolor="#FFCC66"><font color="#000080"><strong>Set</strong></font></td>)",
            R"(    <td width="28%" bgcolor="#FFCC66"><font color="#000080"><strong>Set full name</strong></font></td>)",
            "  </tr>",
            "  <tr>",
            R"(    <td width="10%">000000a1</td>)",
            R"(    <td width="14%">p1.bin</td>)",
            R"(    <td width="10%">puckb</td>)",
            R"(    <td width="28%">Puck (bootleg)</td>)",
            R"(    <td width="10%">puck</td>)",
            R"(    <td width="28%">Puck</td>)",
            "  </tr>",
            "</table>",
            "<p>&nbsp;</p>",
            R"(<p><strong><font color="#0000A0">Number of records : 2</font></strong></p>)",
        })),
        std::string::npos)
        << text;
}

// Datafiles come from anywhere: markup in them stays text, and the page's bytes are the UTF-8
// its header declares, whether the datafile's bytes were Windows-1252 or UTF-8.
TEST(HtmlPageTest, TextIsEscapedAndUtf8) {
    THtmlreport page("m<a>me & \"co\"", "d");
    page.BeginSetTable();
    page.AddSetRow("bad", "<script>alert(1)</script> Pac & Pal");
    page.AddSetRow("latin", "Caf\xE9 \x80 100 \x99");  // Windows-1252: e acute, euro, trade mark
    page.AddSetRow("utf8", "Caf\xC3\xA9");             // UTF-8 e acute from a zip name
    page.EndSetTable();
    const std::string text = page.Text();
    EXPECT_NE(text.find("<title>m&lt;a&gt;me &amp; &quot;co&quot;</title>"), std::string::npos);
    EXPECT_NE(text.find(R"(<td width="90%">&lt;script&gt;alert(1)&lt;/script&gt; Pac &amp; Pal</td>)"),
              std::string::npos);
    EXPECT_EQ(text.find("<script"), std::string::npos);
    EXPECT_NE(text.find("<td width=\"90%\">Caf\xC3\xA9 \xE2\x82\xAC 100 \xE2\x84\xA2</td>"), std::string::npos);
    EXPECT_NE(text.find("<td width=\"90%\">Caf\xC3\xA9</td>"), std::string::npos);
    EXPECT_EQ(DisplayText(text), text) << "the page is not UTF-8 throughout";
}

const std::string kBarStyle = Crlf({
    R"(<div align="center"><center>)",
    R"(<table border="0" width="80%" cellspacing="0" cellpadding="0")",
    R"x(style="border-left: 1px solid rgb(128,128,128); border-right: 2px solid rgb(0,0,0); border-top: 1px solid rgb(128,128,128); border-bottom: 2px solid rgb(0,0,0)")x",
    R"(height="10">)",
    "  <tr>",
});

std::string LegendCell(const std::string& width, const std::string& image, const std::string& text) {
    return Crlf({R"(    <td width=")" + width + R"(%"><img src=")" + image + R"(" width="10" height="10")",
                 "    > " + text + "</td>"});
}

TEST(HtmlPageTest, StatisticsGroupsWithRoundedPercentages) {
    THtmlreport page("mame roms statistics", "d");
    TReportStatistics counts;
    counts.SetsFull = 1;
    counts.SetsPartial = 1;
    counts.SetsEmpty = 1;
    counts.ClonesFull = 1;  // of 8: 12.5
    counts.ClonesPartial = 2;
    counts.ClonesEmpty = 5;
    counts.RomsAvailable = 1;  // of 32: 312.5 hundredths, to the even 3.12
    counts.RomsMissing = 3;    // 937.5 hundredths, to the even 9.38
    counts.RomsNoGoodDump = 28;
    page.AddStatistics(counts);
    const std::string text = page.Text();
    const std::string sets =
        Crlf(
            {R"(<p align="center"><strong><font color="#000080"><big><big>Sets (3)</big></big></font></strong></p>)"}) +
        kBarStyle +
        Crlf({
            R"(    <td width="33.33%" bgcolor="#80FF80" align="left"></td>)",
            R"(    <td width="33.33%" bgcolor="#FFCC66" align="left"></td>)",
            R"(    <td width="33.33%" bgcolor="#FF8080" align="left"></td>)",
            R"(    <td width="0%" bgcolor="#C0C0C0" align="left"></td>)",
            "  </tr>",
            "</table>",
            R"(</center></div><div align="center"><center>)",
            R"(<table border="0" width="80%">)",
            "  <tr>",
        }) +
        LegendCell("35", "legendevert.jpg", "Full : 1 (33.33 %)") +
        LegendCell("65", "legenderouge.jpg", "Empty : 1 (33.33 %)") + Crlf({"  </tr>", "  <tr>"}) +
        LegendCell("35", "legendejaune.jpg", "Partial : 1 (33.33 %)") +
        LegendCell("65", "legendegris.jpg", "No good dump known : 0 (0 %)") +
        Crlf(
            {"  </tr>", "</table>", "</center></div>", R"(<hr width="80%" color="#000080">)",
             R"(<p align="center"><strong><font color="#000080"><big><big>clones (8)</big></big></font></strong></p>)"});
    EXPECT_NE(text.find(sets), std::string::npos) << text;
    EXPECT_NE(text.find(LegendCell("35", "legendevert.jpg", "Full : 1 (12.5 %)")), std::string::npos);
    EXPECT_NE(text.find(LegendCell("65", "legenderouge.jpg", "Empty : 5 (62.5 %)")), std::string::npos);
    const std::string roms = Crlf({
                                 R"(    <td width="3.12%" bgcolor="#80FF80"></td>)",
                                 R"(    <td width="9.38%" bgcolor="#FF8080"></td>)",
                                 R"(    <td width="87.5%" bgcolor="#C0C0C0"></td>)",
                                 "  </tr>",
                                 "</table>",
                                 R"(</center></div><div align="center"><center>)",
                                 R"(<table border="0" width="80%">)",
                                 "  <tr>",
                             }) +
                             LegendCell("35", "legendevert.jpg", "Available : 1 (3.12 %)") +
                             LegendCell("65", "legenderouge.jpg", "Missing : 3 (9.38 %)") +
                             Crlf({"  </tr>", "  <tr>", R"(    <td width="35%"></td>)"}) +
                             LegendCell("65", "legendegris.jpg", "No good dump known : 28 (87.5 %)") +
                             Crlf({"  </tr>", "</table>", "</center></div>", "<p>&nbsp;</p>"});
    EXPECT_NE(text.find(roms), std::string::npos) << text;
    // A rule after the sets and the clones, none after the ROMs; no rows, so no record count.
    std::size_t rules = 0;
    for (std::size_t at = text.find(R"(<hr width="80%")"); at != std::string::npos;
         at = text.find(R"(<hr width="80%")", at + 1)) {
        ++rules;
    }
    EXPECT_EQ(rules, 2u);
    EXPECT_EQ(text.find("Number of records"), std::string::npos);
}

TEST(HtmlPageTest, EmptyStatisticsShowEmptyBarsWithoutDividingByZero) {
    THtmlreport page("t", "d");
    page.AddStatistics(TReportStatistics{});
    const std::string text = page.Text();
    EXPECT_NE(text.find(">Sets (0)<"), std::string::npos);
    EXPECT_NE(text.find(">clones (0)<"), std::string::npos);
    EXPECT_NE(text.find(">Roms (0)<"), std::string::npos);
    EXPECT_NE(text.find(kBarStyle + Crlf({R"(    <td width="100%"></td>)", "  </tr>"})), std::string::npos);
    EXPECT_NE(text.find("    > Missing : 0 (0 %)</td>"), std::string::npos);
    EXPECT_EQ(text.find("bgcolor=\"#80FF80\""), std::string::npos);
    EXPECT_EQ(text.find("nan"), std::string::npos);
}

// A small collection: "puck" with parent, an own-ROM clone, and a clone with a no-good-dump ROM;
// "other" sharing a ROM with puck; "solo"; a set with only a placeholder ROM.
class HtmlReportCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        games.LoadDatafileBytes(Datafile({
            RomLine("nothing", "Nothing Needed", "nothing", "Nothing Needed", "No roms needed", "        ", "N", "O",
                    "0"),
            RomLine("other", "Other & Co", "other", "Other & Co", "snd.bin", "000000cc", "N", "O", "8"),
            RomLine("other", "Other & Co", "other", "Other & Co", "x.bin", "000000dd", "N", "O", "8"),
            RomLine("puck", "Puck", "puck", "Puck", "p1.bin", "000000a1", "N", "O", "8"),
            RomLine("puck", "Puck", "puck", "Puck", "sound.bin", "000000cc", "N", "O", "8"),
            RomLine("puck", "Puck", "puckb", "Puck B", "p1.bin", "000000a1", "N", "N", "8"),
            RomLine("puck", "Puck", "puckb", "Puck B", "p1b.bin", "000000b1", "N", "O", "8"),
            RomLine("puck", "Puck", "puckb", "Puck B", "sound.bin", "000000cc", "N", "N", "8"),
            RomLine("puck", "Puck", "puckc", "Puck C", "p1.bin", "000000a1", "N", "N", "8"),
            RomLine("puck", "Puck", "puckc", "Puck C", "pal.bin", "00000000", "N", "O", "260"),
            RomLine("solo", "Solo", "solo", "Solo", "s.bin", "000000e1", "N", "O", "8"),
        }));
        subList = std::make_unique<TSubList>(games);
        subList->Rebuild();
    }

    void MarkPresent(std::initializer_list<const char*> crcs) {
        games.ResetRomStatus();
        for (const char* crc : crcs) {
            games.FindRom(crc)->Status = rsPresent;
        }
        games.ComputeStatus();
    }

    // The data rows of a page's table, each as its cell values.
    std::vector<std::vector<std::string>> Rows(HtmlReportKind kind) const {
        const std::string text = BuildHtmlReport(kind, *subList, "mame", "d").Text();
        std::vector<std::vector<std::string>> rows;
        bool inRow = false;
        for (const std::string& line : SplitLines(text)) {
            if (line == "  <tr>") {
                inRow = true;
                rows.emplace_back();
            } else if (line == "  </tr>") {
                inRow = false;
            } else if (inRow && line.starts_with("    <td width=\"") && line.find("bgcolor") == std::string::npos) {
                const std::size_t open = line.find("%\">");
                rows.back().push_back(line.substr(open + 3, line.size() - open - 3 - 5));
            }
        }
        // The header band and the heading row have no plain cells; the title box has one.
        std::erase_if(rows, [](const auto& row) { return row.empty(); });
        rows.erase(rows.begin());
        return rows;
    }
    std::vector<std::string> FirstColumn(HtmlReportKind kind) const {
        std::vector<std::string> names;
        for (const auto& row : Rows(kind)) {
            names.push_back(row[0] + (row.size() > 2 ? "/" + row[1] : ""));
        }
        return names;
    }

    TGamesList games;
    std::unique_ptr<TSubList> subList;
};

using Names = std::vector<std::string>;

TEST_F(HtmlReportCommandTest, EveryReportListsWhatTheFlagsSay) {
    // puck complete in its parent and puckb; puckc lacks its no-good-dump ROM; other has one of
    // its two ROMs (shared with puck); solo has none.
    MarkPresent({"000000a1", "000000cc", "000000b1"});
    // Rows come in the order of the selection: by set description, the clones of one set last
    // added first; each set once.
    EXPECT_EQ(FirstColumn(HtmlReportKind::CompleteSets), (Names{"nothing"}));
    EXPECT_EQ(FirstColumn(HtmlReportKind::IncompleteSets), (Names{"other", "puck"}));
    EXPECT_EQ(FirstColumn(HtmlReportKind::EmptySets), (Names{"solo"}));

    EXPECT_EQ(Rows(HtmlReportKind::CompleteClones),
              (std::vector<Names>{{"nothing", "Nothing Needed", "nothing", "Nothing Needed"},
                                  {"puckb", "Puck B", "puck", "Puck"},
                                  {"puck", "Puck", "puck", "Puck"}}));
    EXPECT_EQ(FirstColumn(HtmlReportKind::IncompleteClones), (Names{"other/Other &amp; Co", "puckc/Puck C"}));
    EXPECT_EQ(FirstColumn(HtmlReportKind::EmptyClones), (Names{"solo/Solo"}));

    // Missing: the clones of incomplete sets that are not complete, without no-good-dump ROMs.
    EXPECT_EQ(Rows(HtmlReportKind::MissingRoms),
              (std::vector<Names>{{"000000dd", "x.bin", "other", "Other &amp; Co", "other", "Other &amp; Co"},
                                  {"000000e1", "s.bin", "solo", "Solo", "solo", "Solo"}}));
    EXPECT_EQ(Rows(HtmlReportKind::NoGoodDumpRoms),
              (std::vector<Names>{{"00000000", "pal.bin", "puckc", "Puck C", "puck", "Puck"}}));

    const TReportStatistics stats = CountReportStatistics(*subList);
    TReportStatistics expected;
    expected.SetsFull = 1;        // nothing
    expected.SetsPartial = 1;     // other
    expected.SetsEmpty = 1;       // solo
    expected.SetsNoGoodDump = 1;  // puck, counted once for its three clones
    expected.ClonesFull = 3;
    expected.ClonesPartial = 1;
    expected.ClonesEmpty = 1;
    expected.ClonesNoGoodDump = 1;
    expected.RomsAvailable = 8;  // the placeholder, and every a1 / cc / b1 entry
    expected.RomsMissing = 2;
    expected.RomsNoGoodDump = 1;
    EXPECT_EQ(stats, expected);
}

TEST_F(HtmlReportCommandTest, HiddenNoGoodDumpRomsCountAsPresent) {
    subList->HideNoGoodDump = true;
    subList->Rebuild();
    MarkPresent({"000000a1", "000000cc", "000000b1"});
    EXPECT_EQ(FirstColumn(HtmlReportKind::CompleteSets), (Names{"nothing", "puck"}));
    EXPECT_TRUE(Rows(HtmlReportKind::NoGoodDumpRoms).empty());
    const TReportStatistics stats = CountReportStatistics(*subList);
    EXPECT_EQ(stats.SetsFull, 2);
    EXPECT_EQ(stats.SetsNoGoodDump, 0);
    EXPECT_EQ(stats.RomsAvailable, 9);
    EXPECT_EQ(stats.RomsNoGoodDump, 0);
}

TEST_F(HtmlReportCommandTest, EmptySelectionWritesValidPages) {
    subList->OnlyNeoGeo = true;  // no Neo-Geo set here
    subList->Rebuild();
    EXPECT_TRUE(Rows(HtmlReportKind::MissingRoms).empty());
    EXPECT_EQ(CountReportStatistics(*subList), TReportStatistics{});
    const std::string text = BuildHtmlReport(HtmlReportKind::Statistics, *subList, "mame", "d").Text();
    EXPECT_NE(text.find("<title>mame roms statistics</title>"), std::string::npos);
    EXPECT_NE(text.find(">Roms (0)<"), std::string::npos);
}

TEST_F(HtmlReportCommandTest, TitlesTakeTheReferenceName) {
    const std::pair<HtmlReportKind, const char*> titles[] = {
        {HtmlReportKind::CompleteSets, "raine complete sets"},
        {HtmlReportKind::IncompleteSets, "raine incomplete sets"},
        {HtmlReportKind::EmptySets, "raine empty sets"},
        {HtmlReportKind::CompleteClones, "raine complete clones"},
        {HtmlReportKind::IncompleteClones, "raine incomplete clones"},
        {HtmlReportKind::EmptyClones, "raine empty clones"},
        {HtmlReportKind::MissingRoms, "raine missing roms"},
        {HtmlReportKind::NoGoodDumpRoms, "raine 'no good dump known' roms"},
        {HtmlReportKind::Statistics, "raine roms statistics"},
    };
    for (const auto& [kind, title] : titles) {
        const std::string text = BuildHtmlReport(kind, *subList, "raine", "d").Text();
        EXPECT_NE(text.find("<title>" + std::string(title) + "</title>"), std::string::npos) << title;
    }
}

class HtmlReportFileTest : public test::TempDirTest {};

TEST_F(HtmlReportFileTest, SavingWritesTheImagesAndReplacesAnEarlierPage) {
    const fs::path page = Root() / "scratch" / kHtmlReportFileName;
    fs::create_directories(page.parent_path());
    const char* images[] = {"qmlogo.jpg", "legendegris.jpg", "legenderouge.jpg", "legendevert.jpg", "legendejaune.jpg"};
    for (const char* image : images) {
        WriteFile(fs::path("scratch") / image, "old");
    }
    WriteFile("scratch/QuillmarkReport.htm", std::string(100000, 'x'));

    THtmlreport report("first", "d");
    report.BeginSetTable();
    report.AddSetRow("a", "A");
    report.EndSetTable();
    report.SaveToFile(page);
    EXPECT_EQ(ReadFile(page), report.Text());
    for (const char* image : images) {
        const std::string bytes = ReadFile(page.parent_path() / image);
        ASSERT_GE(bytes.size(), 4u) << image;
        EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8") << image << " is no JPEG";
        EXPECT_EQ(bytes.substr(bytes.size() - 2), "\xFF\xD9") << image;
    }

    THtmlreport second("second", "d");
    second.SaveToFile(page);
    EXPECT_EQ(ReadFile(page), second.Text());
}

TEST_F(HtmlReportFileTest, AnUnwritableFolderIsAnErrorNamingTheFile) {
    const fs::path page = Root() / "no" / "such" / "folder" / kHtmlReportFileName;
    THtmlreport report("t", "d");
    try {
        report.SaveToFile(page);
        FAIL() << "no error";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find((Root() / "no/such/folder").string()), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(page));
}

// The 1000-row question of the missing-ROMs report, on real pages of 1000 and 1001 rows.
class MissingRomsQuestionTest : public test::TempDirTest {
protected:
    HtmlReportOutcome Write(int roms) {
        std::vector<std::string> lines;
        for (int i = 0; i < roms; ++i) {
            char crc[9];
            std::snprintf(crc, sizeof crc, "%08x", i + 1);
            lines.push_back(RomLine("big", "Big", "big", "Big", "r" + std::to_string(i) + ".bin", crc, "N", "O", "8"));
        }
        games = std::make_unique<TGamesList>();
        games->LoadDatafileBytes(Datafile(lines));
        subList = std::make_unique<TSubList>(*games);
        subList->Rebuild();
        return WriteHtmlReport(HtmlReportKind::MissingRoms, *subList, "mame", Root());
    }
    std::unique_ptr<TGamesList> games;
    std::unique_ptr<TSubList> subList;
};

TEST_F(MissingRomsQuestionTest, AskedAboveAThousandRows) {
    RecordingPrompts yes(true);
    HtmlReportOutcome outcome = Write(1000);
    EXPECT_EQ(outcome.Records, 1000u);
    EXPECT_EQ(outcome.File, Root() / "QuillmarkReport.htm");
    EXPECT_TRUE(ConfirmShowingHtmlReport(HtmlReportKind::MissingRoms, outcome, yes));
    EXPECT_TRUE(yes.asked.empty());

    outcome = Write(1001);
    RecordingPrompts no(false);
    EXPECT_FALSE(ConfirmShowingHtmlReport(HtmlReportKind::MissingRoms, outcome, no));
    ASSERT_EQ(no.asked.size(), 1u);
    EXPECT_EQ(no.asked[0].first, MessageKind::Information);
    EXPECT_EQ(no.asked[0].second, "There are 1001 records to display ! Continue ?");
    EXPECT_TRUE(fs::exists(outcome.File));  // written before the question
    // Other reports never ask, however long.
    EXPECT_TRUE(ConfirmShowingHtmlReport(HtmlReportKind::EmptyClones, outcome, no));
    EXPECT_EQ(no.asked.size(), 1u);
}

}  // namespace
}  // namespace qm
