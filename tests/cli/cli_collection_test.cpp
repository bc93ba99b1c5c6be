#include <gtest/gtest.h>

#include <cstdlib>

#include "support/DemoCollection.h"
#include "support/MountSupport.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::RunCliCommand;

using CliCollectionTest = test::DemoCollectionTest;

TEST_F(CliCollectionTest, ScanStatusAndPaths) {
    auto run = RunCliCommand({"scan"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("Sets:   7 (complete 4, incomplete 2, empty 1; 4 with an archive)"), std::string::npos)
        << run.Out;
    EXPECT_NE(run.Err.find("broken.zip: File \"broken.zip\": This archive is not a valid Zip archive"),
              std::string::npos);

    run = RunCliCommand({"scan", "--json"});
    for (const char* key : {"\"sets\": 7", "\"sets_complete\": 4", "\"sets_incomplete\": 2", "\"sets_empty\": 1",
                            "\"clones\": 10", "\"clones_complete\": 7", "\"roms\": 27"}) {
        EXPECT_NE(run.Out.find(key), std::string::npos) << key << " in " << run.Out;
    }

    run = RunCliCommand({"status", "--clones", "--incomplete"});
    EXPECT_EQ(run.Out, "moonracea moonrace incomplete nogooddump\npixelpop pixelpop incomplete\n");
    run = RunCliCommand({"status", "--missing"});
    EXPECT_EQ(run.Out, "moonrace incomplete nogooddump\npixelpop incomplete\nturbotk empty\n");
    run = RunCliCommand({"status", "--sets", "--json"});
    EXPECT_NE(run.Out.find("{\"name\": \"turbotk\", \"state\": \"empty\", \"nogooddump\": false}"), std::string::npos)
        << run.Out;
    EXPECT_EQ(RunCliCommand({"status", "--sets", "--clones"}).Status, 2);

    const std::string extra = (Root() / "extra").string() + "/";
    fs::create_directories(Root() / "extra");
    run = RunCliCommand({"paths", "add", (Root() / "extra").string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find(extra), std::string::npos);
    EXPECT_EQ(RunCliCommand({"paths", "add", extra}).Status, 1);  // already there
    EXPECT_NE(ReadFile(DataDir() / "demo.dat").find(extra + ";"), std::string::npos);
    run = RunCliCommand({"paths", "remove", extra});
    EXPECT_EQ(run.Out.find(extra), std::string::npos);
    EXPECT_EQ(RunCliCommand({"paths", "remove", extra}).Status, 1);
}

TEST_F(CliCollectionTest, AuditReportsTheDemoCollection) {
    auto run = RunCliCommand({"audit", "--refresh", "--corrupted=move:" + (Root() / "bad").string()});
    ASSERT_EQ(run.Status, 3) << run.Err;  // the report has something to say
    const std::string roms = (DataDir() / "roms").string() + "/";
    const std::string expected =
        "mystery.zip  : No good name found\n"
        "starblaster.zip : Right name is starblas.zip\n"
        "\n"
        "File " +
        roms + "mystery.zip\n" + std::string(("File " + roms + "mystery.zip").size() + 1, '=') + "\n" +
        "notes.bin    " + test::CrcOf("nobody needs this\n") +
        "         Unknown\n"
        "\n"
        "------------ end of report\n";
    EXPECT_EQ(run.Out, expected +
                           "\nSummary:\n"
                           "  archives with a wrong name: 1\n"
                           "  archives of no known set: 1\n"
                           "  unknown ROMs: 1\n"
                           "  problem lines (on standard error): 2\n");
    EXPECT_NE(run.Err.find("***** File moved to " + (Root() / "bad").string() + "/"), std::string::npos) << run.Err;
    EXPECT_TRUE(fs::exists(Root() / "bad/broken.zip"));
    EXPECT_EQ(ReadFile(Root() / "cache/quillmark/report.txt"), [&] {
        std::string crlf;
        for (const char c : expected) {
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        }
        return crlf;
    }());

    // Without the archive-name check the misnamed archive keeps its name for the rest of the
    // report, and its entries belong to no set; silencing those checks too leaves nothing.
    run = RunCliCommand({"audit", "--no-bad-zip-names"});
    EXPECT_NE(run.Out.find("sb-1.6f      baeb1045         missing in set starblas.zip (sb-1.6f)"), std::string::npos)
        << run.Out;
    run = RunCliCommand(
        {"audit", "--quiet", "--no-bad-zip-names", "--no-unknown", "--no-needed-elsewhere", "--no-not-needed"});
    EXPECT_EQ(run.Out, (Root() / "cache/quillmark/report.txt").string() + "\n");
    EXPECT_EQ(ReadFile(Root() / "cache/quillmark/report.txt"),
              "Nothing to report !\r\n\r\n------------ end of report\r\n");
    EXPECT_EQ(RunCliCommand({"audit", "--corrupted=sideways"}).Status, 2);
}

TEST_F(CliCollectionTest, AnAuditThatCouldNotMoveOrDeleteACorruptedArchiveFails) {
    const std::string roms = (DataDir() / "roms").string() + "/";
    // A file where the folder for corrupted archives should be: the move cannot succeed.
    WriteFile("occupied", "a file, not a folder");
    const std::string move = "--corrupted=move:" + (Root() / "occupied").string();
    auto run = RunCliCommand({"audit", "--refresh", move});
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_TRUE(fs::exists(DataDir() / "roms/broken.zip"));
    EXPECT_NE(run.Err.find("Can't copy file " + roms + "broken.zip in "), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("quillmark-cli: 1 corrupted archive could not be moved\n"), std::string::npos) << run.Err;
    EXPECT_NE(run.Out.find("------------ end of report\n"), std::string::npos) << run.Out;  // the report is whole
    run = RunCliCommand({"audit", "--json", "--refresh", move});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Out.find("\"failed_operations\": 1"), std::string::npos) << run.Out;

    // On a read-only medium the archive stays; the one in a writable folder goes.
    test::ScopedTmpfs medium(Root() / "cdrom", 1 << 20);
    if (!medium.Mounted()) {
        GTEST_SKIP() << "no tmpfs can be mounted here";
    }
    fs::copy_file(DataDir() / "roms/broken.zip", Root() / "cdrom/broken.zip");
    ASSERT_TRUE(medium.MakeReadOnly());
    ASSERT_EQ(RunCliCommand({"paths", "add", (Root() / "cdrom").string()}).Status, 0);
    run = RunCliCommand({"audit", "--refresh", "--corrupted=delete"});
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_FALSE(fs::exists(DataDir() / "roms/broken.zip"));
    EXPECT_TRUE(fs::exists(Root() / "cdrom/broken.zip"));
    EXPECT_NE(run.Err.find("Can't delete file " + (Root() / "cdrom/broken.zip").string() + "."), std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("quillmark-cli: 1 corrupted archive could not be deleted\n"), std::string::npos) << run.Err;
}

}  // namespace
}  // namespace qm
