// quillmark-cli missing: the ROMs the collection lacks, and the fixdat, read back as other ROM
// tools read it: with an XML parser.
#include <expat.h>
#include <gtest/gtest.h>

#include <map>

#include "support/DemoCollection.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::RunCliCommand;

using CliMissingTest = test::DemoCollectionTest;

// What a Logiqx datafile says: its header's fields and, per game, its attributes and ROMs.
struct ParsedDatafile {
    bool WellFormed = false;
    std::string Root;
    std::map<std::string, std::string> Header;
    struct Game {
        std::map<std::string, std::string> Attributes;
        std::string Description;
        std::vector<std::map<std::string, std::string>> Roms;
    };
    std::vector<Game> Games;
};

ParsedDatafile ParseDatafile(const std::string& xml) {
    struct State {
        ParsedDatafile parsed;
        std::vector<std::string> open;
        std::string text;
    } state;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            auto& s = *static_cast<State*>(data);
            std::map<std::string, std::string> attrs;
            for (int i = 0; attributes[i] != nullptr; i += 2) {
                attrs[attributes[i]] = attributes[i + 1];
            }
            const std::string element = name;
            if (s.open.empty()) {
                s.parsed.Root = element;
            } else if (element == "game") {
                s.parsed.Games.push_back({attrs, {}, {}});
            } else if (element == "rom" && !s.parsed.Games.empty()) {
                s.parsed.Games.back().Roms.push_back(attrs);
            }
            s.open.push_back(element);
            s.text.clear();
        },
        [](void* data, const XML_Char*) {
            auto& s = *static_cast<State*>(data);
            const std::string element = s.open.back();
            s.open.pop_back();
            if (!s.open.empty() && s.open.back() == "header") {
                s.parsed.Header[element] = s.text;
            } else if (!s.open.empty() && s.open.back() == "game" && element == "description") {
                s.parsed.Games.back().Description = s.text;
            }
            s.text.clear();
        });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
        static_cast<State*>(data)->text.append(text, static_cast<std::size_t>(length));
    });
    state.parsed.WellFormed = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return state.parsed;
}

TEST_F(CliMissingTest, ListsTheMissingRomsOfIncompleteSetsAndWritesThemAsAFixdat) {
    auto run = RunCliCommand({"missing"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out,
              "moonracea moonrace (Moon Racer (set 2, bootleg)): 1 missing\n"
              "  86aa41bb        256  mr-2a.bin\n"
              "pixelpop pixelpop (Pixel Pop): 1 missing\n"
              "  8acc559b        256  pp-gfx.u5\n"
              "2 ROMs missing in 2 sets or clones\n");
    // A set held not at all shows with --all, or when it is named.
    EXPECT_NE(RunCliCommand({"missing", "--all"}).Out.find("turbotk turbotk (Turbo Truck): 2 missing\n"),
              std::string::npos);
    EXPECT_EQ(RunCliCommand({"missing", "turbo*"}).Out,
              "turbotk turbotk (Turbo Truck): 2 missing\n"
              "  516e2e4e        256  tt-prg.bin\n"
              "  7f86bfe8        320  tt-tiles.bin\n"
              "2 ROMs missing in 1 set or clone\n");
    EXPECT_EQ(RunCliCommand({"missing", "calcdesk"}).Out, "0 ROMs missing in 0 sets or clones\n");

    const fs::path fixdat = Root() / "out/demo-fixdat.xml";
    fs::create_directories(fixdat.parent_path());
    run = RunCliCommand({"missing", "--all", "--fixdat", fixdat.string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("Fixdat: " + fixdat.string() + "\n"), std::string::npos) << run.Out;
    const ParsedDatafile parsed = ParseDatafile(ReadFile(fixdat));
    ASSERT_TRUE(parsed.WellFormed);
    EXPECT_EQ(parsed.Root, "datafile");
    EXPECT_EQ(parsed.Header.at("name"), "demo (fixdat)");
    EXPECT_EQ(parsed.Header.at("date").size(), 10u);  // YYYY-MM-DD
    EXPECT_NE(parsed.Header.at("description").find(parsed.Header.at("date")), std::string::npos);
    ASSERT_EQ(parsed.Games.size(), 3u);
    EXPECT_EQ(parsed.Games[0].Attributes.at("name"), "moonracea");
    EXPECT_EQ(parsed.Games[0].Attributes.at("cloneof"), "moonrace");
    EXPECT_EQ(parsed.Games[0].Description, "Moon Racer (set 2, bootleg)");
    EXPECT_EQ(parsed.Games[1].Attributes.count("cloneof"), 0u);  // a set's own clone
    ASSERT_EQ(parsed.Games[2].Roms.size(), 2u);
    EXPECT_EQ(parsed.Games[2].Roms[1],
              (std::map<std::string, std::string>{{"name", "tt-tiles.bin"}, {"size", "320"}, {"crc", "7f86bfe8"}}));

    // The fixdat is a datafile Quillmark itself reads: a profile of the missing ROMs only.
    run = RunCliCommand({"--json", "import-dat", fixdat.string(), "--name", "wanted"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"roms\": 4"), std::string::npos) << run.Out;
}

TEST_F(CliMissingTest, NamesAreEscapedInTheFixdat) {
    // A description with markup characters stays well-formed and reads back as it was.
    const std::string dat = ReadFile(DataDir() / "demo.dat");
    std::string changed = dat;
    const std::string from = "Turbo Truck";
    for (std::size_t at = changed.find(from); at != std::string::npos; at = changed.find(from, at + 1)) {
        changed.replace(at, from.size(), "Turbo <Truck> & \"Trailer\"");
    }
    ASSERT_NE(changed, dat);
    WriteFile("datas/demo.dat", changed);
    const fs::path fixdat = Root() / "fix.dat";
    ASSERT_EQ(RunCliCommand({"missing", "turbotk", "--fixdat", fixdat.string()}).Status, 0);
    const ParsedDatafile parsed = ParseDatafile(ReadFile(fixdat));
    ASSERT_TRUE(parsed.WellFormed) << ReadFile(fixdat);
    ASSERT_EQ(parsed.Games.size(), 1u);
    EXPECT_EQ(parsed.Games[0].Description, "Turbo <Truck> & \"Trailer\"");
}

}  // namespace
}  // namespace qm
