// quillmark-cli examine and merge on real folders: the report and tree they print, the question,
// and the collection after the merge as a scan from its caches sees it.
#include <gtest/gtest.h>

#include "support/KillHarness.h"
#include "support/TestSupport.h"

namespace qm::test {
namespace {

std::string Line(std::string_view set, std::string_view clone, std::string_view rom, std::string_view data) {
    return RomLine(set, set, clone, clone, rom, CrcOf(data), "N", "O", std::to_string(data.size()));
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliMergeTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        WriteFile("datas/m.dat", Datafile(
                                     {
                                         Line("alpha", "alpha", "a1.rom", "alpha 1"),
                                         Line("alpha", "alpha", "a2.rom", "alpha 2"),
                                         Line("alpha", "alphb", "a1.rom", "alpha 1"),
                                         Line("beta", "beta", "b1.rom", "beta 1"),
                                     },
                                     "mame", Roms().string() + "/"));
        MakeZip(Roms() / "alpha.zip", {{"a1.rom", "alpha 1"}});
        MakeZip(Root() / "drop/New.ZIP", {{"A2.ROM", "alpha 2"}, {"b1.rom", "beta 1"}, {"junk.txt", "junk"}});
        ASSERT_EQ(RunCliCommand({"use", "m"}).Status, 0);
    }

    fs::path Roms() const { return Root() / "roms"; }
    std::string Dropped() const { return (Root() / "drop/New.ZIP").string(); }
};

TEST_F(CliMergeTest, ExaminePrintsTheReportAndTheTree) {
    CliRun run = RunCliCommand({"examine", Dropped(), (Root() / "drop/notes.txt").string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::string report = "File " + Dropped() +
                               ":\n     a2.rom: used in alpha\n     b1.rom: used in beta\n**** junk.txt: Unknown rom "
                               "file\n\n";
    EXPECT_EQ(run.Out.substr(0, report.size()), report) << run.Out;
    EXPECT_TRUE(Has(run.Out,
                    "Zip content (All): 2 roms found, 2 new\n"
                    "alpha  [some]\n  alpha  [some]\n    a1.rom  [none]\n    a2.rom  [all]\n"
                    "beta  [all]\n  beta  [all]\n    b1.rom  [all]\n"))
        << run.Out;
    const fs::path saved = Root() / "cache/quillmark/srcreport.txt";
    EXPECT_EQ(ReadFile(saved).substr(0, 9), "File " + Dropped().substr(0, 4));
    EXPECT_TRUE(Has(run.Out, "Report saved as " + saved.string()));

    run = RunCliCommand({"examine", "--new", "--json", Dropped()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(Has(run.Out, "\"new_roms\": 2")) << run.Out;
    EXPECT_TRUE(Has(run.Out, "{\"text\": \"a2.rom\", \"state\": \"new\", \"children\": []}")) << run.Out;

    run = RunCliCommand({"examine", (Root() / "drop/notes.txt").string()});
    EXPECT_EQ(run.Status, 2);
}

TEST_F(CliMergeTest, MergeAsksThenCopiesWhatTheCollectionLacks) {
    CliRun run = RunCliCommand({"merge", Dropped()});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(Has(run.Err, "The new roms will now be copied in the mame rom directory no (give --yes")) << run.Err;
    EXPECT_FALSE(fs::exists(Roms() / "beta.zip"));

    const std::string droppedBytes = ReadFile(Dropped());
    run = RunCliCommand({"merge", Dropped(), "--yes"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(Has(run.Out, "Merged: 2 roms copied, 1 archives created, 1 archives changed\n")) << run.Out;
    EXPECT_TRUE(Has(run.Out, "Sets:   2 (complete 2, incomplete 0, empty 0; 2 with an archive)")) << run.Out;
    EXPECT_EQ(ArchiveListing(Roms() / "alpha.zip"),
              (std::map<std::string, std::string>{{"a1.rom", CrcOf("alpha 1")}, {"a2.rom", CrcOf("alpha 2")}}));
    EXPECT_EQ(ArchiveListing(Roms() / "beta.zip"), (std::map<std::string, std::string>{{"b1.rom", CrcOf("beta 1")}}));
    EXPECT_EQ(ReadFile(Dropped()), droppedBytes);
    EXPECT_EQ(CacheDisagreement(Roms() / "quillmark.dat", Roms()), "");
    EXPECT_EQ(RunCliCommand({"status", "--sets"}).Out, "alpha complete\nbeta complete\n");

    // Everything is there now.
    run = RunCliCommand({"merge", Dropped(), "--yes", "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(Has(run.Out, "\"nothing_to_merge\": true")) << run.Out;
    EXPECT_TRUE(Has(run.Err, "Nothing to merge. Drag and drop zip files in the zip dropping zone.")) << run.Err;
}

TEST_F(CliMergeTest, AnEntryInTheWayIsKeptAndTheMergeSaysSo) {
    MakeZip(Roms() / "beta.zip", {{"b1.rom", "an older beta 1"}});
    ASSERT_EQ(RunCliCommand({"scan"}).Status, 0);
    const CliRun run = RunCliCommand({"merge", Dropped(), "--yes"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(
        Has(run.Out, "Kept " + Roms().string() + "/beta.zip: b1.rom renamed b1.rom__ (another rom of that name)"))
        << run.Out;
    EXPECT_TRUE(Has(run.Out, "2 archives changed, 1 entries renamed to make room")) << run.Out;
    EXPECT_EQ(
        ArchiveListing(Roms() / "beta.zip"),
        (std::map<std::string, std::string>{{"b1.rom", CrcOf("beta 1")}, {"b1.rom__", CrcOf("an older beta 1")}}));
    EXPECT_EQ(CacheDisagreement(Roms() / "quillmark.dat", Roms()), "");
}

}  // namespace
}  // namespace qm::test
