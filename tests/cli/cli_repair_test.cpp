// quillmark-cli repair end to end on the demo collection: its options and their checks, the dry
// run announcing what the repair then does, and the output forms.
#include <gtest/gtest.h>

#include "support/DemoCollection.h"
#include "support/KillHarness.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::RunCliCommand;

class CliRepairTest : public test::DemoCollectionTest {
protected:
    fs::path Roms() const { return DataDir() / "roms"; }
    std::map<std::string, std::string> Collection() const {
        auto files = test::FilesOf(Roms());
        files.erase("quillmark.dat");
        return files;
    }
    // The action lines of a run's output (the summary and the counts follow them).
    static std::vector<std::string> Actions(const std::string& out) {
        std::vector<std::string> lines;
        std::size_t at = 0;
        while (at < out.size()) {
            const std::size_t end = out.find('\n', at);
            const std::string line = out.substr(at, end - at);
            for (const char* verb : {"rename ", "displace ", "copy ", "delete ", "move "}) {
                if (line.starts_with(verb)) {
                    lines.push_back(line);
                }
            }
            at = end == std::string::npos ? out.size() : end + 1;
        }
        return lines;
    }
};

TEST_F(CliRepairTest, OptionsAreCheckedBeforeAnythingHappens) {
    const auto before = Collection();
    EXPECT_EQ(RunCliCommand({"repair", "--unknown=bin"}).Status, 2);
    auto run = RunCliCommand({"repair", "--unknown=move:" + (Root() / "nowhere").string()});
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("Directory not found, please choose another one."), std::string::npos) << run.Err;
    EXPECT_EQ(RunCliCommand({"repair", "--force"}).Status, 2);
    // A delete must be confirmed.
    run = RunCliCommand({"repair", "--unknown=delete"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("You choose to delete bad or unknown files."), std::string::npos) << run.Err;
    EXPECT_EQ(Collection(), before);

    run = RunCliCommand({"repair", "--help"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_NE(run.Out.find("Usage: quillmark-cli repair"), std::string::npos);
    EXPECT_NE(run.Out.find("Trash"), std::string::npos);
}

TEST_F(CliRepairTest, TheDryRunPrintsWhatTheRepairThenDoes) {
    const auto before = Collection();
    fs::create_directories(Root() / "useless");
    const std::string move = "--unknown=move:" + (Root() / "useless").string();
    auto dry = RunCliCommand({"repair", "--dry-run", move});
    ASSERT_EQ(dry.Status, 0) << dry.Err;
    EXPECT_NE(dry.Out.find("Dry run: "), std::string::npos) << dry.Out;
    EXPECT_EQ(Collection(), before);
    ASSERT_FALSE(Actions(dry.Out).empty()) << dry.Out;

    auto real = RunCliCommand({"repair", move});
    ASSERT_EQ(real.Status, 0) << real.Err;
    EXPECT_EQ(Actions(real.Out), Actions(dry.Out));
    EXPECT_NE(real.Out.find("Bytes written: "), std::string::npos) << real.Out;
    EXPECT_EQ(test::CacheDisagreement(Roms() / "quillmark.dat", Roms()), "");

    auto json = RunCliCommand({"repair", "--json", "--dry-run"});
    ASSERT_EQ(json.Status, 0) << json.Err;
    for (const char* key : {"\"dry_run\": true", "\"actions\": [", "\"summary\": {", "\"archives_renamed\": ",
                            "\"bytes_written\": ", "\"failed_operations\": 0", "\"sets_complete\": "}) {
        EXPECT_NE(json.Out.find(key), std::string::npos) << key << " in " << json.Out;
    }
}

}  // namespace
}  // namespace qm
