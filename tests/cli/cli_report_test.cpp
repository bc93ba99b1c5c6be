#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/DemoCollection.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::RunCliCommand;

// The HTML reports of the demo collection, with a stand-in for xdg-open on the PATH.
class CliReportTest : public test::DemoCollectionTest {
protected:
    void SetUp() override {
        DemoCollectionTest::SetUp();
        oldPath_ = std::getenv("PATH") == nullptr ? "" : std::getenv("PATH");
        ::setenv("PATH", ((Root() / "bin").string() + ":" + oldPath_).c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", oldPath_.c_str(), 1);
        DemoCollectionTest::TearDown();
    }

    // An xdg-open that writes its arguments to opened.txt and exits with `status`.
    void FakeXdgOpen(int status) {
        const fs::path script =
            WriteFile("bin/xdg-open", "#!/bin/sh\necho \"$@\" > '" + (Root() / "opened.txt").string() + "'\nexit " +
                                          std::to_string(status) + "\n");
        fs::permissions(script, fs::perms::owner_all);
    }

    fs::path Page() const { return Root() / "cache/quillmark/QuillmarkReport.htm"; }

private:
    std::string oldPath_;
};

TEST_F(CliReportTest, WritesThePageAndItsImagesAndPrintsItsPath) {
    auto run = RunCliCommand({"report", "missing-roms"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, Page().string() + "\n");
    const std::string page = ReadFile(Page());
    EXPECT_NE(page.find("<title>mame missing roms</title>"), std::string::npos);
    // The bootleg's own ROM (its no-good-dump ROM is not "missing"), pixelpop's graphics and
    // both ROMs of the missing turbotk, in the order of the set descriptions.
    std::vector<std::size_t> at;
    for (const char* row : {"<td width=\"14%\">mr-2a.bin</td>", "<td width=\"14%\">pp-gfx.u5</td>",
                            "<td width=\"14%\">tt-prg.bin</td>", "<td width=\"14%\">tt-tiles.bin</td>"}) {
        at.push_back(page.find(row));
        EXPECT_NE(at.back(), std::string::npos) << row;
    }
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end()));
    EXPECT_NE(page.find("Number of records : 4<"), std::string::npos);
    EXPECT_EQ(page.find("mr-pal.pal"), std::string::npos);
    for (const char* image :
         {"qmlogo.jpg", "legendegris.jpg", "legenderouge.jpg", "legendevert.jpg", "legendejaune.jpg"}) {
        EXPECT_TRUE(fs::exists(Page().parent_path() / image)) << image;
    }
    EXPECT_FALSE(fs::exists(Root() / "opened.txt"));

    run = RunCliCommand({"report", "statistics", "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "{\"report\": \"statistics\", \"file\": \"" + Page().string() +
                           "\", \"records\": 0, \"opened\": false}\n");
    const std::string statistics = ReadFile(Page());
    // Seven sets: moonrace carries a no-good-dump ROM, pixelpop is partial, turbotk empty.
    for (const char* text : {">Sets (7)<", "> Full : 4 (57.14 %)<", "> Partial : 1 (14.29 %)<",
                             "> Empty : 1 (14.29 %)<", "> No good dump known : 1 (14.29 %)<", ">clones (10)<"}) {
        EXPECT_NE(statistics.find(text), std::string::npos) << text;
    }

    EXPECT_EQ(RunCliCommand({"report"}).Status, 2);
    run = RunCliCommand({"report", "everything"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("usage: quillmark-cli report complete-sets|"), std::string::npos) << run.Err;
}

TEST_F(CliReportTest, OpenHandsThePageToXdgOpen) {
    FakeXdgOpen(0);
    auto run = RunCliCommand({"report", "complete-sets", "--open"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(ReadFile(Root() / "opened.txt"), Page().string() + "\n");
    EXPECT_NE(ReadFile(Page()).find("<td width=\"10%\">starblas</td>"), std::string::npos);

    // A browser that cannot be started is an error; the page stays written and its path printed.
    FakeXdgOpen(3);
    run = RunCliCommand({"report", "empty-sets", "--open"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Out, Page().string() + "\n");
    EXPECT_NE(run.Err.find("could not open"), std::string::npos) << run.Err;
    EXPECT_NE(ReadFile(Page()).find("<td width=\"10%\">turbotk</td>"), std::string::npos);
}

}  // namespace
}  // namespace qm
