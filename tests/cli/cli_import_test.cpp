#include <gtest/gtest.h>

#include "support/Listings.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::RunCliCommand;

class CliImportTest : public test::TempDirTest {
protected:
    std::string Datafile(const std::string& name) { return ReadFile(DataDir() / (name + ".dat")); }
    std::string Header(const std::string& name) {
        const std::string text = Datafile(name);
        return text.substr(0, text.find("[GAMES]"));
    }
    std::vector<std::string> DataDirFiles() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(DataDir())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

// The MAME route: the probe, -listinfo refused, -listxml read through a pipe; the datafile is the
// builder's, byte for byte, and becomes the current profile.
TEST_F(CliImportTest, ImportEmulatorMameReadsListXmlWhenListInfoFails) {
    const fs::path exe =
        test::WriteFakeEmulator(Root() / "bin", "MAME v0.251 (unknown)\nCopyright\n", "", test::ListXmlSample());
    const auto run = RunCliCommand({"import-emulator", "mame", exe.string(), "--name", "MAME 0.251"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("Imported profile MAME 0.251 from " + exe.string() + " -listxml"), std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("Current profile: MAME 0.251"), std::string::npos);
    EXPECT_NE(run.Out.find("Sets:   7"), std::string::npos) << run.Out;
    EXPECT_EQ(Datafile("MAME 0.251"),
              "[CREDITS]\r\nAuthor=Quillmark 1.91\r\nVersion=1.0\r\nComment=Automatically generated file\r\n"
              "[DAT]\r\nversion=1.90\r\n[EMULATOR]\r\nrefname=mame\r\nversion=MAME v0.251 (unknown)\r\nexe=" +
                  exe.string() + "\r\nruncmd=\r\nromspaths=\r\n[GAMES]\r\n" + test::ExpectedSampleLines());
    EXPECT_EQ(RunCliCommand({"profiles"}).Out, "* MAME 0.251\n");
    EXPECT_TRUE(fs::is_empty(Root() / "cache/quillmark"));  // the probe's output is gone
}

TEST_F(CliImportTest, ImportEmulatorRaineReadsItsListInfo) {
    const fs::path exe = test::WriteFakeEmulator(Root() / "raine", "Raine 0.51\nVersion 0.51.2\n",
                                                 "raine listinfo\ngame (\n  name rtype\n  description \"R-Type\"\n"
                                                 "  rom ( name rt_r-h0-b.1b size 65536 crc32 b1c6b0b4 )\n)\ngame (\n  "
                                                 "name nothing\n  description \"Nothing\"\n)\n",
                                                 "");
    const auto run = RunCliCommand({"import-emulator", "raine", exe.string(), "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"profile\": \"Raine\""), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("\"sets\": 2, \"clones\": 2"), std::string::npos) << run.Out;
    const std::string text = Datafile("Raine");
    EXPECT_NE(text.find("refname=raine\r\nversion=0.51.2\r\n"), std::string::npos);
    EXPECT_NE(text.find("\xACnothing\xACNothing\xACnothing\xACNothing\xACRom infos not available\xAC        \xAC"),
              std::string::npos);
}

TEST_F(CliImportTest, AnExecutableTheProbeRefusesWritesNothing) {
    const fs::path exe = test::WriteExecutable(Root() / "bin/notmame", "#!/bin/sh\nexit 1\n");
    auto run = RunCliCommand({"import-emulator", "mame", exe.string(), "--name", "x"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("Incorrect mame executable"), std::string::npos) << run.Err;
    // An emulator whose listing fails is stopped, and no datafile is left.
    const fs::path broken = test::WriteFakeEmulator(Root() / "broken", "MAME v1\n", "", "<mame><machine name=\"a\">");
    run = RunCliCommand({"import-emulator", "mame", broken.string(), "--name", "x"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("-listxml: not a readable XML listing"), std::string::npos) << run.Err;
    const fs::path raine = test::WriteFakeEmulator(Root() / "raine", "version 1\n", "", "");
    run = RunCliCommand({"import-emulator", "raine", raine.string(), "--name", "x"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find(raine.string() + " -listinfo failed: exit code 6 (Error: unknown option: -listinfo)"),
              std::string::npos)
        << run.Err;
    EXPECT_TRUE(DataDirFiles().empty());
}

// Logiqx and clrmamepro files of the same machines give the same profile.
TEST_F(CliImportTest, ImportDatOfEitherFormatGivesTheSameCounts) {
    auto run = RunCliCommand({"import-dat", WriteFile("MAME 0.36.xml", test::LogiqxSample()).string(), "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"profile\": \"MAME 0.36\""), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("\"sets\": 7, \"clones\": 9, \"roms\": 10"), std::string::npos) << run.Out;
    EXPECT_NE(Header("MAME 0.36").find("refname=mame\r\nversion=MAME 0.36 (test)\r\n"), std::string::npos);
    run = RunCliCommand(
        {"import-dat", WriteFile("text.dat", test::ClrMameProSample()).string(), "--name", "text", "--refname", "nes"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("Sets:   7"), std::string::npos) << run.Out;
    EXPECT_NE(Header("text").find("refname=nes\r\n"), std::string::npos);
    EXPECT_EQ(Datafile("text").substr(Datafile("text").find("[GAMES]")),
              Datafile("MAME 0.36").substr(Datafile("MAME 0.36").find("[GAMES]")));
}

// A newer datafile under an existing name keeps the user's ROM directories and executable.
TEST_F(CliImportTest, ReplacingAProfileKeepsRomDirectoriesAndExecutable) {
    const std::string old = test::Datafile({test::RomLine("a", "A", "a", "A", "r", "00000001", "N", "O", "1")}, "mame",
                                           "/roms/arcade/;/mnt/more/;");
    WriteFile("datas/arcade.dat",
              old.substr(0, old.find("exe=")) + "exe=/opt/mame/mame" + old.substr(old.find("\r\nruncmd=")));
    auto run = RunCliCommand({"import-dat", WriteFile("new.xml", test::LogiqxSample()).string(), "--name", "arcade"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("It replaces the previous arcade.dat; kept its ROM directories (/roms/arcade/;/mnt/more/;); "
                           "kept its emulator executable (/opt/mame/mame)"),
              std::string::npos)
        << run.Out;
    EXPECT_NE(Header("arcade").find("exe=/opt/mame/mame\r\nruncmd=\r\nromspaths=/roms/arcade/;/mnt/more/;\r\n"),
              std::string::npos)
        << Header("arcade");

    // profiles add replaces the same way, and takes a datafile by its file name.
    const fs::path copy = WriteFile(
        "elsewhere/arcade.dat", test::Datafile({test::RomLine("b", "B", "b", "B", "r", "00000002", "N", "O", "1")}));
    run = RunCliCommand({"profiles", "add", copy.string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("Added profile arcade"), std::string::npos) << run.Out;
    EXPECT_NE(Header("arcade").find("romspaths=/roms/arcade/;/mnt/more/;"), std::string::npos) << Header("arcade");
    EXPECT_NE(Header("arcade").find("Exe=/opt/mame/mame"), std::string::npos) << Header("arcade");
    EXPECT_NE(Datafile("arcade").find("\xAC"
                                      "b\xAC"),
              std::string::npos);
    EXPECT_EQ(DataDirFiles(), std::vector<std::string>{"arcade.dat"});
}

TEST_F(CliImportTest, FailuresLeaveTheOldProfileWhole) {
    WriteFile("datas/arcade.dat", test::Datafile({test::RomLine("a", "A", "a", "A", "r", "00000001", "N", "O", "1")}));
    const std::string before = Datafile("arcade");
    const std::string xml = test::LogiqxSample();
    auto run = RunCliCommand({"import-dat", WriteFile("cut.xml", xml.substr(0, 600)).string(), "--name", "arcade"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("cut.xml: not a readable XML listing"), std::string::npos) << run.Err;
    run =
        RunCliCommand({"profiles", "add", WriteFile("notours.dat", "game ( name a )\n").string(), "--name", "arcade"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("is not a Quillmark datafile"), std::string::npos) << run.Err;
    EXPECT_EQ(Datafile("arcade"), before);
    EXPECT_EQ(DataDirFiles(), std::vector<std::string>{"arcade.dat"});

    for (const char* name : {"a/b", "../up", "..", ".hidden", "quillmark0", "quillmark.dat"}) {
        run = RunCliCommand({"import-dat", WriteFile("ok.xml", xml).string(), "--name", name});
        EXPECT_EQ(run.Status, 1) << name;
        EXPECT_NE(run.Err.find("profile name"), std::string::npos) << run.Err;
    }
    EXPECT_EQ(DataDirFiles(), std::vector<std::string>{"arcade.dat"});
}

// With no profile to work on, every verb says in one line what there is and what to do.
TEST_F(CliImportTest, FirstContactSaysWhatToDo) {
    const std::string dir = DataDir().string() + "/";
    auto run = RunCliCommand({"info"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err,
              "quillmark-cli: no profile to work on: the current profile \"Raine v0.28f\" has no datafile in " + dir +
                  "; make one with \"import-dat FILE --name NAME\", \"import-emulator mame|raine EXE "
                  "--name NAME\" or \"profiles add FILE.dat\"\n");
    WriteFile("datas/demo.dat", test::Datafile({test::RomLine("a", "A", "a", "A", "r", "00000001", "N", "O", "1")}));
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"scan"}, {"status"}, {"audit"}, {"use", "nothing"}}) {
        run = RunCliCommand(args);
        EXPECT_EQ(run.Status, 1) << args[0];
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
        EXPECT_NE(run.Err.find("; profiles there: demo; choose one with \"use NAME\", or make one with"),
                  std::string::npos)
            << run.Err;
    }
    run = RunCliCommand({"use", "demo.dat"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(RunCliCommand({"info"}).Status, 0);
}

TEST_F(CliImportTest, RemoveAsksAndMovesTheDatafileToTheTrash) {
    WriteFile("datas/old.dat", test::Datafile({test::RomLine("a", "A", "a", "A", "r", "00000001", "N", "O", "1")}));
    auto run = RunCliCommand({"profiles", "remove", "old"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("Remove profile old ?"), std::string::npos) << run.Err;
    EXPECT_TRUE(fs::exists(DataDir() / "old.dat"));
    run = RunCliCommand({"profiles", "remove", "old.dat", "--yes"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_FALSE(fs::exists(DataDir() / "old.dat"));
    EXPECT_TRUE(fs::exists(Root() / "share/Trash/files/old.dat"));
    EXPECT_EQ(RunCliCommand({"profiles", "remove", "old", "--yes"}).Status, 1);
}

}  // namespace
}  // namespace qm
