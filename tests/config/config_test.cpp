#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include "config/EmulatorCfg.h"
#include "config/config.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "platform/UserPrompts.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

class ConfigTest : public test::TempDirTest {
protected:
    ConfigPaths Paths() const { return ConfigPaths::FromEnvironment(); }
    fs::path WriteProfile(const std::string& name, std::string_view refName, std::string_view romPaths,
                          std::string_view exe = "") {
        std::string text =
            test::Datafile({test::RomLine("a", "A", "a", "A", "r.bin", "00000001", "N", "O", "1")}, refName, romPaths);
        if (!exe.empty()) {
            const std::size_t at = text.find("exe=");
            text.replace(at, 4, "exe=" + std::string(exe));
        }
        return WriteFile(fs::path("datas") / (name + ".dat"), text);
    }
    std::string Dir(const std::string& relative) const { return (Root() / relative).string() + "/"; }

    RecordingPrompts prompts;
};

TEST_F(ConfigTest, DefaultsAndSettingsRoundTrip) {
    {
        TConfig config(Paths(), prompts);
        EXPECT_EQ(config.CurrentEmulator, "Raine v0.28f");
        EXPECT_EQ(config.DisplayFilter, 0);
        EXPECT_TRUE(config.ShowNoGoodDump);
        EXPECT_EQ(config.DataDir, DataDir().string() + "/");
        config.SetVersion("1.91");
        config.SetDisplayFilter(2);
        config.SetDisplayLevel(1);
        config.SetEmuPath("/usr/games/");
    }
    const std::string ini = ReadFile(Root() / "config/quillmark/quillmark.ini");
    EXPECT_NE(ini.find("[quillmark]"), std::string::npos);
    EXPECT_NE(ini.find("EmuPath=/usr/games/"), std::string::npos);
    TConfig again(Paths(), prompts);
    EXPECT_EQ(again.Version, "1.91");
    EXPECT_EQ(again.DisplayFilter, 2);
    EXPECT_EQ(again.DisplayLevel, 1);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(ConfigTest, MalformedSettingsFallBackToDefaultsAndAreKept) {
    const fs::path ini =
        WriteFile("config/quillmark/quillmark.ini", "[QuillMark]\ncurrentemulator=mame\nthis line is garbage\n");
    {
        TConfig config(Paths(), prompts);
        EXPECT_EQ(config.CurrentEmulator, "Raine v0.28f");
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0].first, MessageKind::Warning);
        EXPECT_NE(prompts.shown[0].second.find("quillmark.ini"), std::string::npos);
        config.SetVersion("1.91");
    }
    EXPECT_NE(ReadFile(fs::path(ini.string() + ".bad")).find("garbage"), std::string::npos);
    prompts.shown.clear();
    TConfig again(Paths(), prompts);
    EXPECT_EQ(again.Version, "1.91");
    EXPECT_TRUE(prompts.shown.empty());

    // Key names without regard to case; a value that is no number reads as the default.
    WriteFile("config/quillmark/quillmark.ini", "[quillmark]\nCURRENTEMULATOR=mame\nDisplayFilter=lots\n");
    TConfig third(Paths(), prompts);
    EXPECT_EQ(third.CurrentEmulator, "mame");
    EXPECT_EQ(third.DisplayFilter, 0);
}

TEST_F(ConfigTest, RomPathsAreReadExpandedAndStopAtAnEmptyField) {
    fs::create_directories(Root() / "roms1");
    WriteProfile("two", "mame", "../roms1;" + Dir("roms2"));
    TConfig config(Paths(), prompts);
    config.LoadEmulator("two");
    ASSERT_EQ(config.RomPaths.size(), 2u);
    EXPECT_EQ(config.RomPaths[0], (Root() / "roms1").string());  // expanded against the data dir
    EXPECT_EQ(config.RomPaths[1], Dir("roms2"));                 // as written
    EXPECT_EQ(config.RefName, "mame");
    EXPECT_EQ(config.EmulatorVersion, "Test emulator");

    const std::string two = ReadFile(DataDir() / "two.dat");
    WriteProfile("gap", "raine", ";" + Dir("roms1") + ";;" + Dir("never") + ";");
    config.LoadEmulator("gap");
    EXPECT_EQ(config.RomPaths, std::vector<std::string>{Dir("roms1")});
    // Switching profiles saves the previous one's directories only when they were changed.
    EXPECT_EQ(ReadFile(DataDir() / "two.dat"), two);
    config.RomPaths.push_back(Dir("roms3"));
    config.LoadEmulator("two");
    EXPECT_NE(ReadFile(DataDir() / "gap.dat").find("romspaths=" + Dir("roms1") + ";" + Dir("roms3") + ";\r\n"),
              std::string::npos);

    // Save and load again give the same directories.
    EXPECT_EQ(config.RomPaths, (std::vector<std::string>{(Root() / "roms1").string(), Dir("roms2")}));
    config.LoadEmulator("gap");
    config.RomPaths = {Dir("roms1"), Dir("roms4")};
    config.SaveRomPaths();
    config.LoadEmulator("gap");
    EXPECT_EQ(config.RomPaths, (std::vector<std::string>{Dir("roms1"), Dir("roms4")}));
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(ConfigTest, ProfileWithoutWritableDirectoryFallsBackToTheBaseDirectory) {
    fs::create_directories(Root() / "cdrom");
    ::setenv("QUILLMARK_TEST_READONLY_DIRS", (Root() / "cdrom").c_str(), 1);
    WriteProfile("cd", "mame", Dir("cdrom"));
    TConfig config(Paths(), prompts);
    config.LoadEmulator("cd");
    ASSERT_EQ(config.RomPaths.size(), 2u);
    EXPECT_EQ(config.RomPaths[1], DataDir().string() + "/");
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].second,
              "Roms directories specified in the data file are not writable.\nQuillmark base directory will be "
              "used.\nYou can change it in options window.");
    // Only for this run: loading a profile writes nothing into its datafile.
    EXPECT_NE(ReadFile(DataDir() / "cd.dat").find("romspaths=" + Dir("cdrom") + "\r\n"), std::string::npos);

    // No directory at all and a family without a configuration file: the base directory only.
    prompts.shown.clear();
    WriteProfile("nes", "nes", "");
    config.LoadEmulator("nes");
    EXPECT_EQ(config.RomPaths, std::vector<std::string>{DataDir().string() + "/"});
    EXPECT_TRUE(config.NesMode);
    EXPECT_FALSE(config.SnesMode);
    EXPECT_EQ(prompts.shown.size(), 1u);
}

TEST_F(ConfigTest, RealReadOnlyMountCountsAsReadOnly) {
    const fs::path mountPoint = Root() / "ro";
    fs::create_directories(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_RDONLY, nullptr) != 0) {
        GTEST_SKIP() << "mounting is not allowed here";
    }
    WriteProfile("ro", "mame", mountPoint.string() + "/");
    TConfig config(Paths(), prompts);
    config.LoadEmulator("ro");
    ::umount(mountPoint.c_str());
    EXPECT_EQ(config.RomPaths.size(), 2u);
    EXPECT_EQ(prompts.shown.size(), 1u);
}

TEST_F(ConfigTest, MissingDatafileLeavesEmptyValuesAndIsRemembered) {
    TConfig config(Paths(), prompts);
    config.LoadEmulator("ghost");
    ASSERT_GE(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].second, "File " + DataDir().string() +
                                           "/ghost.dat not found.\nNo roms list loaded. "
                                           "Choose a new emulator from the main window.");
    EXPECT_TRUE(config.RefName.empty());
    TConfig again(Paths(), prompts);
    EXPECT_EQ(again.CurrentEmulator, "ghost");
    again.LoadEmulator("ghost", /*rememberAsCurrent=*/true);
    config.LoadEmulator("other", /*rememberAsCurrent=*/false);
    TConfig third(Paths(), prompts);
    EXPECT_EQ(third.CurrentEmulator, "ghost");
}

TEST_F(ConfigTest, SetExeRewritesOrInsertsTheKeyAndKeepsEverythingElse) {
    const fs::path file = WriteProfile("p", "mame", "", "/old/mame");
    TConfig config(Paths(), prompts);
    config.LoadEmulator("p");
    EXPECT_EQ(config.Exe, "/old/mame");
    EXPECT_EQ(config.ExeDir, "/old/");
    const std::string before = ReadFile(file);
    config.SetExe("/usr/games/MAME");
    const std::string after = ReadFile(file);
    EXPECT_EQ(config.ExeDir, "/usr/games/");
    EXPECT_EQ(after.find("exe=/old/mame"), std::string::npos);
    EXPECT_NE(after.find("\r\nExe=/usr/games/MAME\r\n"), std::string::npos);
    EXPECT_EQ(after.size(), before.size() + 6);
    EXPECT_EQ(after.substr(after.find("[GAMES]")), before.substr(before.find("[GAMES]")));

    // Without the key, it goes before the next section.
    WriteFile("datas/nokey.dat", "[EMULATOR]\r\nrefname=mame\r\n[GAMES]\r\n");
    config.WriteDatafileValue(DataDir() / "nokey.dat", "emulator", "/x/mame", "Exe");
    EXPECT_EQ(ReadFile(DataDir() / "nokey.dat"), "[EMULATOR]\r\nrefname=mame\r\nExe=/x/mame\r\n[GAMES]\r\n");
    WriteFile("datas/nosection.dat", "[DAT]\r\nversion=1.90\r\n[GAMES]\r\n");
    EXPECT_THROW(config.WriteDatafileValue(DataDir() / "nosection.dat", "EMULATOR", "x", "Exe"), EBadDataFile);
    WriteFile("datas/last.dat", "[DAT]\r\n[EMULATOR]");
    EXPECT_THROW(config.WriteDatafileValue(DataDir() / "last.dat", "EMULATOR", "x", "Exe"), EBadDataFile);
    prompts.shown.clear();
    config.WriteDatafileValue(DataDir() / "none.dat", "EMULATOR", "x", "Exe");
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].second, "Cannot open file " + (DataDir() / "none.dat").string() + ".");
}

TEST_F(ConfigTest, ValuesThatWouldNotStayOnTheirLineAreRefusedAndUnchangedOnesNotWritten) {
    const fs::path file = WriteProfile("p", "mame", "", "/old/mame");
    TConfig config(Paths(), prompts);
    config.LoadEmulator("p");
    config.SetVersion("1.91");
    const fs::path settings = Root() / "config/quillmark/quillmark.ini";
    const std::string datafile = ReadFile(file);
    const std::string ini = ReadFile(settings);
    EXPECT_THROW(config.SetExe("/usr/games/mame\r\nromspaths=/"), EBadValue);
    EXPECT_EQ(config.Exe, "/old/mame");
    EXPECT_THROW(config.WriteDatafileValue(file, "EMULATOR", "a\x7f", "runcmd"), EBadValue);
    EXPECT_THROW(config.SetEmuPath("/usr/games\n[other]"), EBadValue);
    EXPECT_THROW(config.SetVersion("1.91\nDisplayFilter=3"), EBadValue);
    EXPECT_EQ(ReadFile(file), datafile);
    EXPECT_EQ(ReadFile(settings), ini);

    // The same value again leaves both files as they are, down to the key's spelling.
    struct stat before {};
    ::stat(settings.c_str(), &before);
    config.SetVersion("1.91");
    config.LoadEmulator("p");
    config.SetExe("/old/mame");
    struct stat after {};
    ::stat(settings.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadFile(file), datafile);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(ConfigTest, RomPathsFromEmulatorConfigurationFiles) {
    const std::string emu = Dir("emu");
    std::vector<std::string> list;
    EXPECT_TRUE(RomPathsFromCfg("mame", emu, list));
    EXPECT_EQ(list, (std::vector<std::string>{emu + "roms/", emu}));

    WriteFile("emu/mame.cfg", "[directory]\r\nRomPath = roms ; /abs/dir ;;ignored\r\ncfg_directory=cfg\r\n");
    RomPathsFromCfg("mame", emu, list);
    EXPECT_EQ(list, (std::vector<std::string>{emu + "roms/", "/abs/dir/"}));
    WriteFile("emu/mame.cfg", "rompath=roms\r\n");  // the key needs its blank
    RomPathsFromCfg("mame", emu, list);
    EXPECT_TRUE(list.empty());

    EXPECT_FALSE(RomPathsFromCfg("raine", emu, list));
    EXPECT_EQ(list, std::vector<std::string>{emu + "ziproms"});
    WriteFile("emu/config/raine.cfg", "[Directories]\r\nZiproms=/Games/Raine ROMs\r\nZiproms2=more\r\n");
    EXPECT_TRUE(RomPathsFromCfg("raine", emu, list));
    EXPECT_EQ(list, (std::vector<std::string>{"/Games/Raine ROMs", emu + "more"}));

    EXPECT_FALSE(RomPathsFromCfg("snes", emu, list));
    EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace qm
