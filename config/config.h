// Settings and the current emulator profile: a few values in the per-user settings file, the
// rest in the header of the profile's own datafile.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/SettingsStore.h"

namespace qm {

class UserPrompts;

// A datafile section that must be rewritten is missing.
class EBadDataFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kDefaultEmulator = "Raine v0.28f";
// The version of the project (CMake sets QM_VERSION): the settings, the datafiles written, the
// windows and --version show it.
inline constexpr const char* kProgramVersion = QM_VERSION;

// Where the configuration lives; see PLATFORM rules in the project README.
struct ConfigPaths {
    std::filesystem::path BaseDir;       // start directory
    std::filesystem::path DataDir;       // ends with '/'
    std::filesystem::path TempDir;       // the scratch folder
    std::filesystem::path SettingsFile;  // quillmark.ini

    static ConfigPaths FromEnvironment(const std::optional<std::filesystem::path>& dataDirOption = std::nullopt);
};

class TConfig {
public:
    TConfig(const ConfigPaths& paths, UserPrompts& prompts);

    // Makes profile `name` current and reads its header. Writes nothing into the datafile: when
    // no ROM directory is writable, the base directory is added for this run only. Throws
    // EBadValue for a name with control characters, EFileError for a datafile that is no
    // regular file.
    void LoadEmulator(const std::string& name, bool rememberAsCurrent = true);
    // Writes RomPaths into the datafile's "romspaths" key when they differ from what was read
    // or last saved; throws EBadValue (nothing written) for a directory CheckRomDirectory refuses.
    void SaveRomPaths();
    // Throws EBadValue for a path with control characters.
    void SetExe(const std::string& path);
    void SetEmuPath(const std::string& dir);
    void SetDatVersion(const std::string& text) { DatVersion = text; }
    void SetEmulatorVersion(const std::string& text) { EmulatorVersion = text; }
    void SetVersion(const std::string& text);
    void SetDisplayFilter(std::uint8_t value);
    void SetDisplayLevel(std::uint8_t value);
    // Sets key=value in a section of a datafile, keeping every other byte of it; a file that
    // already holds the value is not written. Shows "Cannot open file ..." when the file does
    // not exist; throws EBadDataFile ("Bad datafile") when the section is missing or is the
    // file's last line, EBadValue for a value with control characters.
    void WriteDatafileValue(const std::filesystem::path& file, const std::string& section, const std::string& value,
                            const std::string& key);

    std::filesystem::path DatafilePath(const std::string& profile) const;
    // The datafile the current profile was read from.
    const std::filesystem::path& OpenDatafile() const { return openDatafile_; }

    std::string Exe;
    std::string EmulatorVersion;
    std::string RefName;
    std::string DatVersion;
    std::string RunCmd;
    std::string Version;
    std::string ExeDir;
    std::uint8_t DisplayFilter = 0;
    std::uint8_t DisplayLevel = 0;
    std::string CurrentEmulator;
    // A profile was ever chosen (the settings name one); else CurrentEmulator is the default.
    bool ProfileChosen = false;
    std::string DataDir;
    std::vector<std::string> RomPaths;
    // Where the ROM directories read by LoadEmulator came from: the datafile's own list, or (the
    // datafile has none) the emulator's configuration file, or that emulator's defaults when it
    // has no such file. FallbackRomPath is the base directory added for this run because none of
    // them was writable, empty when there is none.
    enum class RomPathsOrigin { Profile, EmulatorConfig, EmulatorDefaults };
    RomPathsOrigin RomPathsFrom = RomPathsOrigin::EmulatorDefaults;
    std::string FallbackRomPath;
    std::string TempDir;
    bool SnesMode = false;
    bool NesMode = false;
    bool SplitMode = false;
    bool MergedView = false;
    bool ShowNoGoodDump = true;

private:
    UserPrompts& prompts_;
    TSettingsStore settings_;
    std::filesystem::path openDatafile_;
    // RomPaths as the datafile holds them (or as this run's fallback left them): saving the
    // same list again writes nothing.
    std::vector<std::string> savedRomPaths_;
};

// Throws EBadValue unless `dir` can be a ROM directory: one line of text (it is written into
// the datafile header), no ';' (it separates the directories there), not the root directory.
void CheckRomDirectory(const std::string& dir);

// Text of a datafile up to and including its "[games]" line: the header sections, without
// reading the (large) game section.
std::string ReadDatafileHeaderBytes(const std::filesystem::path& file);

}  // namespace qm
