// quillmark-cli export-neogeo and update-cd on real folders: what they print, what they ask, and
// that a scan of the destination afterwards shows the sets as the collection had them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/KillHarness.h"
#include "support/TestSupport.h"

namespace qm::test {
namespace {

std::string Line(std::string_view set, std::string_view rom, std::string_view data, bool neoGeo = true) {
    return RomLine(set, set, set, set, rom, CrcOf(data), neoGeo ? "O" : "N", "O", std::to_string(data.size()));
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliExportTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        WriteFile("datas/ng.dat", Datafile(
                                      {
                                          Line("neogeo", "bios.rom", "bios"),
                                          Line("nga", "a1.rom", "nga 1"),
                                          Line("nga", "a2.rom", "nga 2"),
                                          Line("ngb", "b1.rom", "ngb 1"),
                                          Line("ngb", "b2.rom", "ngb 2"),
                                          Line("plain", "p1.rom", "plain 1", false),
                                          Line("plain", "p2.rom", "plain 2", false),
                                      },
                                      "mame", Roms().string() + "/"));
        MakeZip(Roms() / "neogeo.zip", {{"bios.rom", "bios"}});
        MakeZip(Roms() / "nga.zip", {{"a1.rom", "nga 1"}, {"a2.rom", "nga 2"}});
        MakeZip(Roms() / "ngb.zip", {{"b1.rom", "ngb 1"}});
        MakeZip(Roms() / "plain.zip", {{"p1.rom", "plain 1"}, {"p2-other.bin", "plain 2"}});
        ASSERT_EQ(RunCliCommand({"use", "ng"}).Status, 0);
    }

    fs::path Roms() const { return Root() / "roms"; }
    fs::path Out() const { return Root() / "out"; }
    std::string OutDir() const { return Out().string() + "/"; }
};

TEST_F(CliExportTest, AnExportedCollectionScansAsItWas) {
    const CliRun before = RunCliCommand({"status", "--sets"});
    ASSERT_EQ(before.Out, "neogeo complete\nnga complete\nngb incomplete\nplain complete\n");

    // Nothing happens without the user's consent: neither the folder is made nor an archive moved.
    CliRun run = RunCliCommand({"export-neogeo", Out().string()});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(Has(run.Err, "Directory " + OutDir() + " not found. Do you want to create it ? no (give --yes"))
        << run.Err;
    EXPECT_TRUE(Has(run.Err, OutDir() + ": The path you choose does not exist !")) << run.Err;
    fs::create_directories(Out());
    run = RunCliCommand({"export-neogeo", Out().string()});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(Has(run.Err, "Move 3 Neo-Geo archives to " + OutDir() + " ? no (give --yes to confirm)")) << run.Err;
    EXPECT_TRUE(fs::exists(Roms() / "nga.zip"));

    run = RunCliCommand({"export-neogeo", Out().string(), "--yes"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "moved " + Roms().string() + "/neogeo.zip\nmoved " + Roms().string() + "/nga.zip\nmoved " +
                           Roms().string() + "/ngb.zip\nExported to " + OutDir() + ": 3 moved, 0 copied, 0 skipped\n");
    EXPECT_EQ(CacheDisagreement(Roms() / "quillmark.dat", Roms()), "");
    // Moved out of the collection, the sets are missing from it; scanned where they went, they
    // are as they were.
    EXPECT_EQ(RunCliCommand({"status", "--sets"}).Out, "neogeo empty\nnga empty\nngb empty\nplain complete\n");
    ASSERT_EQ(RunCliCommand({"paths", "add", Out().string()}).Status, 0);
    EXPECT_EQ(RunCliCommand({"status", "--sets"}).Out, before.Out);
    EXPECT_EQ(CacheDisagreement(Out() / "quillmark.dat", Out()), "");

    // Exporting into that ROM directory again finds every archive there already.
    run = RunCliCommand({"export-neogeo", Out().string(), "--copy", "--json"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(Has(run.Out, "\"message\": \"Nothing to copy\"")) << run.Out;
    EXPECT_TRUE(Has(run.Out, "\"reason\": \"is_destination\"")) << run.Out;
}

TEST_F(CliExportTest, CopyingWorkingSetsAndKeepingWhatIsThere) {
    fs::create_directories(Out());
    CliRun run = RunCliCommand({"export-neogeo", Out().string(), "--copy", "--working"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "copied " + Roms().string() + "/neogeo.zip\ncopied " + Roms().string() + "/nga.zip\nskipped " +
                           Roms().string() + "/ngb.zip: its set is not complete\nExported to " + OutDir() +
                           ": 0 moved, 2 copied, 1 skipped\n");
    EXPECT_TRUE(fs::exists(Roms() / "nga.zip"));

    run = RunCliCommand({"export-neogeo", Out().string(), "--copy", "--no-replace", "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(Has(run.Out, "\"copied\": [\"" + Roms().string() + "/ngb.zip\"]")) << run.Out;
    EXPECT_TRUE(Has(run.Out, "\"reason\": \"exists\"")) << run.Out;
    run = RunCliCommand({"export-neogeo", Out().string(), "--copy", "--no-replace"});
    EXPECT_TRUE(Has(run.Out, "Nothing to copy\n")) << run.Out;

    ::setenv("QUILLMARK_TEST_READONLY_DIRS", Out().c_str(), 1);
    run = RunCliCommand({"export-neogeo", Out().string(), "--copy"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(Has(run.Err, "The path you choose is write protected !")) << run.Err;
    ::unsetenv("QUILLMARK_TEST_READONLY_DIRS");

    // Only a MAME profile has Neo-Geo sets to export.
    std::string dat = ReadFile(DataDir() / "ng.dat");
    dat.replace(dat.find("refname=mame"), 12, "refname=raine");
    WriteFile("datas/ng.dat", dat);
    run = RunCliCommand({"export-neogeo", Out().string(), "--copy"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(Has(run.Err, "the Neo-Geo export needs a MAME profile")) << run.Err;
    EXPECT_EQ(RunCliCommand({"export-neogeo"}).Status, 2);
}

TEST_F(CliExportTest, AnUpdatedCdScansWithTheStatesOfTheCollection) {
    MakeZip(Root() / "cd/nga.zip", {{"a1.rom", "nga 1"}});
    MakeZip(Root() / "cd/unknown.zip", {{"x.bin", "nobody's"}});
    const std::string cd = (Root() / "cd").string() + "/";

    CliRun run = RunCliCommand({"update-cd", (Root() / "nowhere").string(), Out().string()});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(Has(run.Err, "error: Directory " + (Root() / "nowhere").string() + "/ not found.")) << run.Err;
    run = RunCliCommand({"update-cd", cd, Out().string()});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(Has(run.Err, "Directory " + OutDir() + " not found. Do you want to create it ? no")) << run.Err;
    run = RunCliCommand({"update-cd", cd, cd, "--yes"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(Has(run.Err, "must differ")) << run.Err;

    run = RunCliCommand({"update-cd", cd, Out().string(), "--yes", "--show-delete"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "updated " + OutDir() + "nga.zip from " + cd + "nga.zip, added: a2.rom\nto delete " + cd +
                           "unknown.zip\n1 files updated.\n");
    run = RunCliCommand({"update-cd", cd, Out().string(), "--json", "--create"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(Has(run.Out, "\"files_updated\": 0")) << run.Out;
    // The sets the CD lacks, copied from the collection (a ROM held under another name is not
    // added twice).
    EXPECT_TRUE(Has(run.Out, "\"target\": \"" + OutDir() + "plain.zip\", \"added\": []")) << run.Out;
    EXPECT_TRUE(Has(run.Out, "\"target\": \"" + OutDir() + "ngb.zip\"")) << run.Out;

    // The updated folder alone as the collection: the sets it holds are as complete as they were.
    ASSERT_EQ(RunCliCommand({"paths", "remove", Roms().string()}).Status, 0);
    ASSERT_EQ(RunCliCommand({"paths", "add", Out().string()}).Status, 0);
    EXPECT_EQ(RunCliCommand({"status", "--sets"}).Out,
              "neogeo complete\nnga complete\nngb incomplete\nplain complete\n");
}

}  // namespace
}  // namespace qm::test
