// quillmark-cli under hostile or damaged input: datafiles, settings and names that must neither
// hang the program, nor be written where only reading was asked, nor smuggle lines into a file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::RunCliCommand;

// Sets PATH for one test.
class PathVariable {
public:
    explicit PathVariable(const std::string& value) {
        const char* old = std::getenv("PATH");
        saved_ = old == nullptr ? std::nullopt : std::optional<std::string>(old);
        ::setenv("PATH", value.c_str(), 1);
    }
    ~PathVariable() {
        if (saved_) {
            ::setenv("PATH", saved_->c_str(), 1);
        } else {
            ::unsetenv("PATH");
        }
    }

private:
    std::optional<std::string> saved_;
};

ino_t Inode(const fs::path& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
}

class CliInputSafetyTest : public test::TempDirTest {
protected:
    fs::path CopyDemo(const std::string& name = "demo") {
        const fs::path target = DataDir() / (name + ".dat");
        fs::copy_file(fs::path(QM_SOURCE_DIR) / "demo/datas/demo.dat", target);
        return target;
    }
    fs::path Settings() const { return Root() / "config/quillmark/quillmark.ini"; }
    std::string Dir(const fs::path& dir) const { return dir.string() + "/"; }
    std::string A(const std::string& set, const std::string& crc) const {
        return test::RomLine(set, "S", set, "S", "r.bin", crc, "N", "O", "4");
    }
};

TEST_F(CliInputSafetyTest, BareExecutableNameIsFoundThroughPathAndNeverMakesTheRootARomDirectory) {
    std::string text = test::Datafile({A("a", "00000001")}, "mame");
    text.replace(text.find("exe="), 4, "exe=mame");
    WriteFile("datas/m.dat", text);
    fs::create_directories(Root() / "bin");
    const PathVariable path((Root() / "bin").string());

    // No such program: as for no executable, the data directory stands for the emulator's.
    auto run = RunCliCommand({"paths", "list", "--profile", "m"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::string byDefault = "  (a default: the profile names no directory)\n";
    EXPECT_EQ(run.Out, Dir(DataDir() / "roms") + byDefault + Dir(DataDir()) + byDefault);

    WriteFile("bin/mame", "#!/bin/sh\n");
    fs::permissions(Root() / "bin/mame", fs::perms::owner_all);
    run = RunCliCommand({"paths", "list", "--profile", "m"});
    EXPECT_EQ(run.Out, Dir(Root() / "bin/roms") + byDefault + Dir(Root() / "bin") + byDefault);

    // The root directory, given or reached, is refused; the datafile stays as it was.
    const std::string before = ReadFile(DataDir() / "m.dat");
    for (const std::string& dir : std::vector<std::string>{"/", "/..", Root().string() + "/../../../../../.."}) {
        run = RunCliCommand({"paths", "add", dir, "--profile", "m"});
        EXPECT_EQ(run.Status, 1) << dir;
        EXPECT_NE(run.Err.find("root directory"), std::string::npos) << run.Err;
    }
    EXPECT_EQ(ReadFile(DataDir() / "m.dat"), before);
    WriteFile("datas/r.dat", test::Datafile({A("a", "00000001")}, "mame", "/;" + Dir(Root() / "roms") + ";"));
    run = RunCliCommand({"paths", "list", "--profile", "r"});
    EXPECT_EQ(run.Out, Dir(Root() / "roms") + "  (from the profile)\n");
    EXPECT_NE(run.Err.find("ROM directory / is not used"), std::string::npos) << run.Err;
}

TEST_F(CliInputSafetyTest, RomLinesWithAFieldTooManyOrCutShortAreSkippedAndCounted) {
    std::string text = test::Datafile({
        A("good", "00000001"),
        A("extra", "00000002") + "tenth\xAC",
        // A delimiter inside a description shifts every later field.
        test::RomLine("shifted", "S\xACS", "shifted", "S", "r.bin", "00000003", "N", "O", "4"),
        A("trailing", "00000004") + "junk",
        test::RomLine("nolead", "S", "nolead", "S", "r.bin", "00000005", "N", "O", "4").substr(1),
    });
    text += A("cut", "00000006").substr(0, 30);  // the file ends inside its last record
    WriteFile("datas/d.dat", text);
    const auto run = RunCliCommand({"info", "--profile", "d", "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"sets\": 1, \"clones\": 1, \"roms\": 1"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("\"skipped_lines\": 5"), std::string::npos) << run.Out;
    EXPECT_NE(RunCliCommand({"info", "--profile", "d"}).Err.find("5 blank or malformed lines"), std::string::npos);
}

TEST_F(CliInputSafetyTest, ControlCharactersNeverReachTheDatafileHeaderOrTheSettings) {
    const fs::path datafile = CopyDemo();
    ASSERT_EQ(RunCliCommand({"use", "demo"}).Status, 0);
    const std::string before = ReadFile(datafile);
    const std::string settings = ReadFile(Settings());
    // A directory name that would end the romspaths line and start the game section with a
    // set of its own.
    const std::string injected = "\r\n[GAMES]\r\n" + A("evil", "00000009") + "\r\n";
    for (const std::string& tail : std::vector<std::string>{injected, "\n", "\r", "a\tb", "\x1b[31m"}) {
        const auto run = RunCliCommand({"paths", "add", (Root() / ("x" + tail)).string()});
        EXPECT_EQ(run.Status, 1);
        EXPECT_NE(run.Err.find("cannot hold control characters"), std::string::npos) << run.Err;
    }
    EXPECT_EQ(ReadFile(datafile), before);
    EXPECT_NE(RunCliCommand({"info", "--json"}).Out.find("\"sets\": 7,"), std::string::npos);

    // A profile name with a line break names a file that can exist; it still never becomes a
    // second line of the settings file.
    CopyDemo("two\nCurrentEmulator=three");
    const auto run = RunCliCommand({"use", "two\nCurrentEmulator=three"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("cannot hold control characters"), std::string::npos) << run.Err;
    EXPECT_EQ(ReadFile(Settings()), settings);
}

TEST_F(CliInputSafetyTest, CommandsThatOnlyReadWriteNothing) {
    // A datafile cut inside its header, where no ROM directory can be found.
    const std::string cut = "[CREDITS]\r\nAuthor=x\r\n[DAT]\r\nversion=1.90\r\n[EMULATOR]\r\nrefna";
    const fs::path cutFile = WriteFile("datas/cut.dat", cut);
    for (const char* verb : {"info", "status", "scan"}) {
        const auto run = RunCliCommand({verb, "--profile", "cut"});
        EXPECT_EQ(run.Status, 1) << verb;
        EXPECT_NE(run.Err.find("File cut.dat has bad format."), std::string::npos) << run.Err;
    }
    EXPECT_EQ(ReadFile(cutFile), cut);

    // Every ROM directory read-only: the base directory stands in for this run, unwritten.
    const fs::path datafile =
        WriteFile("datas/cd.dat", test::Datafile({A("a", "00000001")}, "mame", Dir(Root() / "cd")));
    fs::create_directories(Root() / "cd");
    ::setenv("QUILLMARK_TEST_READONLY_DIRS", (Root() / "cd").c_str(), 1);
    ASSERT_EQ(RunCliCommand({"use", "cd"}).Status, 0);
    const std::string before = ReadFile(datafile);
    const ino_t settings = Inode(Settings());
    ASSERT_NE(settings, 0u);
    for (const char* verb : {"info", "status", "scan", "use"}) {
        const auto run = verb == std::string("use") ? RunCliCommand({"use", "cd"}) : RunCliCommand({verb});
        EXPECT_EQ(run.Status, 0) << verb << ": " << run.Err;
        EXPECT_NE(run.Err.find("Quillmark base directory will be used."), std::string::npos) << run.Err;
    }
    EXPECT_EQ(ReadFile(datafile), before);
    // Nothing changed in the settings either: the file was not even replaced by a copy.
    EXPECT_EQ(Inode(Settings()), settings);

    EXPECT_EQ(RunCliCommand({"paths"}).Out, Dir(Root() / "cd") + "  (from the profile)\n" + Dir(DataDir()) +
                                                "  (for this run only: none of the others is writable)\n");
    // A change the user asks for is written; the stand-in directory was for those runs only.
    fs::create_directories(Root() / "more");
    ASSERT_EQ(RunCliCommand({"paths", "add", (Root() / "more").string()}).Status, 0);
    EXPECT_NE(ReadFile(datafile).find("romspaths=" + Dir(Root() / "cd") + ";" + Dir(Root() / "more") + ";\r\n"),
              std::string::npos);
}

TEST_F(CliInputSafetyTest, SettingsThatCannotBeWrittenAreAWarningNamingThem) {
    CopyDemo();
    // The settings folder cannot be made: its name is taken by a file.
    WriteFile("config/quillmark", "not a folder");
    const auto run = RunCliCommand({"use", "demo"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "Current profile: demo\n");
    EXPECT_NE(run.Err.find("warning: Settings not saved: " + Settings().string()), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find("Error while loading"), std::string::npos) << run.Err;
    EXPECT_EQ(RunCliCommand({"info", "--profile", "demo"}).Status, 0);
}

TEST_F(CliInputSafetyTest, FifosAndDevicesInPlaceOfFilesAreErrorsNotWaits) {
    CopyDemo();
    fs::create_directories(Settings().parent_path());
    ASSERT_EQ(::mkfifo(Settings().c_str(), 0600), 0);
    auto run = test::RunCliProcess(Root(), {"info", "--profile", "demo"});
    ASSERT_TRUE(run.Finished) << "a FIFO as settings file blocks the program";
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Err.find(Settings().string() + ": not a regular file"), std::string::npos) << run.Err;

    fs::remove(Settings());
    fs::create_symlink("/dev/zero", Settings());
    run = test::RunCliProcess(Root(), {"info", "--profile", "demo"});
    ASSERT_TRUE(run.Finished) << "/dev/zero as settings file is read forever";
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Err.find(Settings().string() + ": not a regular file"), std::string::npos) << run.Err;

    const fs::path fifo = DataDir() / "fifo.dat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    run = test::RunCliProcess(Root(), {"info", "--profile", "fifo"});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find(fifo.string() + ": not a regular file"), std::string::npos) << run.Err;
}

}  // namespace
}  // namespace qm
