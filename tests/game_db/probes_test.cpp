#include <gtest/gtest.h>

#include "game_db/EmulatorProbes.h"
#include "platform/Job.h"
#include "platform/Platform.h"
#include "platform/SystemTools.h"
#include "support/Listings.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class ProbesTest : public test::TempDirTest {
protected:
    void ExpectScratchClean() {
        EXPECT_FALSE(fs::exists(Scratch() / "temp.txt"));
        EXPECT_FALSE(fs::exists(Scratch() / "raine.txt"));
    }
    fs::path Scratch() const { return ScratchDir(); }
};

TEST(ProbeRules, MameFirstLineBeforeDashAndRaineLastVersionLine) {
    EXPECT_EQ(MameVersionFromHelp("M.A.M.E.  v0.36b1 - Multiple Arcade Machine Emulator\nCopyright\n"),
              "M.A.M.E. v0.36b1");
    EXPECT_EQ(MameVersionFromHelp("MAME v0.251 (unknown)\r\nCopyright MAMEdev and contributors\n"),
              "MAME v0.251 (unknown)");
    EXPECT_EQ(MameVersionFromHelp(""), "");
    EXPECT_EQ(RaineVersionFromHelp("Raine\nVersion 0.28f\nusage\n"), "0.28f");
    EXPECT_EQ(RaineVersionFromHelp("VERSION   0.28f\nversion: built  0.51.2  \nother\n"), "0.51.2");
    EXPECT_EQ(RaineVersionFromHelp("Raine, no version line\n"), "");
}

TEST_F(ProbesTest, ProbesRunTheExecutableAndLeaveNothingBehind) {
    Job& job = SilentJob();
    std::string version;
    const fs::path mame =
        test::WriteFakeEmulator(Root() / "mame", "MAME v0.251 (unknown)\nCopyright\n", "", test::ListXmlSample());
    EXPECT_TRUE(GetMameVersion(mame, version, Scratch(), job));
    EXPECT_EQ(version, "MAME v0.251 (unknown)");
    ExpectScratchClean();

    const fs::path raine = test::WriteFakeEmulator(Root() / "raine", "Raine\nversion 0.51.2\n", "", "");
    EXPECT_TRUE(GetRaineVersion(raine, version, Scratch(), job));
    EXPECT_EQ(version, "0.51.2");
    ExpectScratchClean();

    // A failing MAME, a Raine without a version line, a file that is no executable, a missing
    // one: all refused, and still nothing left behind.
    const fs::path failing = test::WriteExecutable(Root() / "fails", "#!/bin/sh\necho 'MAME v1'\nexit 3\n");
    EXPECT_FALSE(GetMameVersion(failing, version, Scratch(), job));
    EXPECT_FALSE(GetRaineVersion(mame, version, Scratch(), job));
    EXPECT_FALSE(GetMameVersion(WriteFile("plain.txt", "text"), version, Scratch(), job));
    EXPECT_FALSE(GetMameVersion(Root() / "missing", version, Scratch(), job));
    EXPECT_FALSE(GetRaineVersion(Root() / "missing", version, Scratch(), job));
    ExpectScratchClean();
}

TEST_F(ProbesTest, Mame32IsRefusedWithoutBeingRun) {
    const fs::path marker = Root() / "ran";
    const fs::path exe =
        test::WriteExecutable(Root() / "MAME32.EXE", "#!/bin/sh\ntouch '" + marker.string() + "'\necho MAME\n");
    std::string version;
    EXPECT_FALSE(GetMameVersion(exe, version, Scratch(), SilentJob()));
    EXPECT_FALSE(fs::exists(marker));
}

TEST(RunProcessReading, HandsOverOutputKeepsTheErrorTailAndStopsOnRequest) {
    std::string out;
    std::string tail;
    const int code = RunProcessReading(
        {"sh", "-c", "echo one; echo oops >&2; echo two; exit 3"},
        [&](std::string_view piece) {
            out += piece;
            return true;
        },
        &tail);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(out, "one\ntwo\n");
    EXPECT_EQ(tail, "oops\n");

    // Asked to stop, the process is killed at once, whether it writes or waits.
    int calls = 0;
    EXPECT_EQ(RunProcessReading({"sleep", "30"}, [&](std::string_view) { return ++calls < 2; }), 128 + 9);
    EXPECT_EQ(RunProcessReading({"yes"}, [](std::string_view) { return false; }), 128 + 9);
    EXPECT_THROW(RunProcessReading({"yes"}, [](std::string_view) -> bool { throw std::runtime_error("parse"); }),
                 std::runtime_error);
    EXPECT_EQ(RunProcessReading({"/nonexistent/program"}, [](std::string_view) { return true; }), kProcessNotWaited);
}

// The child starts in the folder it is given, this process stays where it is; a folder that
// cannot be entered means no start.
TEST_F(ProbesTest, RunProcessReadingStartsTheChildInItsFolder) {
    const fs::path here = fs::current_path();
    std::string out;
    const auto collect = [&](std::string_view piece) {
        out += piece;
        return true;
    };
    EXPECT_EQ(RunProcessReading({"pwd"}, collect, nullptr, Root()), 0);
    EXPECT_EQ(out, fs::canonical(Root()).string() + "\n");
    EXPECT_EQ(fs::current_path(), here);
    EXPECT_EQ(RunProcessReading({"pwd"}, collect, nullptr, Root() / "missing"), kProcessNotWaited);
}

TEST(TextConversion, Utf8AndGuessedTextBecomeWindows1252) {
    EXPECT_EQ(Utf8ToCp1252("Attach\xC3\xA9 \xE2\x82\xAC \xE2\x98\x83"), "Attach\xE9 \x80 ?");
    // An overlong '/' must not come through as a '/'.
    EXPECT_EQ(Utf8ToCp1252("a\xE0\x80\xAF"
                           "b"),
              "a?b");
    EXPECT_EQ(GuessedTextToCp1252("Attach\xE9 \x81"), "Attach\xE9 ?");
    EXPECT_EQ(GuessedTextToCp1252("plain"), "plain");
}

}  // namespace
}  // namespace qm
