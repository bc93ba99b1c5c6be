#include "config/config.h"
#include "config/EmulatorCfg.h"
#include "game_db/cel_strings.h"
#include "platform/IniFile.h"
#include "platform/Platform.h"
#include "platform/SystemTools.h"
#include "platform/Text.h"
#include "platform/UserPrompts.h"

namespace qm {

namespace fs = std::filesystem;

ConfigPaths ConfigPaths::FromEnvironment(const std::optional<fs::path>& dataDirOption) {
    ConfigPaths paths;
    paths.BaseDir = fs::current_path();
    paths.DataDir = ResolveDataDir(dataDirOption, paths.BaseDir);
    paths.TempDir = ScratchDir();
    paths.SettingsFile = qm::SettingsFile();
    return paths;
}

std::string ReadDatafileHeaderBytes(const fs::path& file) {
    const FileHandle fd = OpenRegularFile(file, kMaxReadBytes);
    std::string bytes;
    std::size_t scanned = 0;
    char buffer[1 << 16];
    for (;;) {
        const std::size_t n = ReadSome(fd, file, buffer, sizeof buffer);
        if (n == 0 || bytes.size() + n > kMaxReadBytes) {
            break;
        }
        bytes.append(buffer, n);
        // Stop once a complete "[games]" line is in: the game section holds no header keys.
        std::size_t lineStart = scanned == 0 ? 0 : bytes.rfind('\n', scanned - 1) + 1;
        bool found = false;
        for (std::size_t nl = bytes.find('\n', lineStart); nl != std::string::npos; nl = bytes.find('\n', lineStart)) {
            if (SameText(Trim(std::string_view(bytes).substr(lineStart, nl - lineStart)), "[games]")) {
                bytes.resize(nl + 1);
                found = true;
                break;
            }
            lineStart = nl + 1;
        }
        scanned = bytes.size();
        if (found) {
            break;
        }
    }
    return bytes;
}

namespace {

// The emulator's directory, ending with '/'. A bare name ("exe=mame", usual on Linux) is the
// program of that name found through PATH; when there is none the directory is unknown (empty),
// as for no executable at all: the empty parent of a bare name is not the root directory.
std::string EmulatorDirectoryOf(const std::string& exe) {
    fs::path program(exe);
    if (exe.empty()) {
        return {};
    }
    if (!program.has_parent_path()) {
        const auto found = FindProgramInPath(exe);
        if (!found) {
            return {};
        }
        program = *found;
    }
    return WithTrailingSlash(program.parent_path().string());
}

bool IsRootDirectory(const std::string& dir) {
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(fs::path(dir), ec);
    if (ec) {
        resolved = fs::path(dir).lexically_normal();
    }
    return resolved == resolved.root_path() && resolved.has_root_directory();
}

}  // namespace

void CheckRomDirectory(const std::string& dir) {
    CheckOneLineText("ROM directory", dir);
    if (dir.find(';') != std::string::npos) {
        throw EBadValue("ROM directory \"" + dir + "\" cannot hold ';' (it separates the directories)");
    }
    if (IsRootDirectory(dir)) {
        throw EBadValue("ROM directory \"" + dir + "\" is the root directory, which is never scanned");
    }
}

TConfig::TConfig(const ConfigPaths& paths, UserPrompts& prompts)
    : prompts_(prompts), settings_(paths.SettingsFile, prompts) {
    TempDir = WithTrailingSlash(paths.TempDir.string());
    DataDir = WithTrailingSlash(paths.DataDir.string());
    Version = settings_.ReadString("Version").value_or("");
    CurrentEmulator = settings_.ReadString("CurrentEmulator").value_or("");
    ProfileChosen = !CurrentEmulator.empty();
    if (!ProfileChosen) {
        CurrentEmulator = kDefaultEmulator;
    }
    if (const auto filter = settings_.ReadInteger("DisplayFilter")) {
        DisplayFilter = (*filter >= 0 && *filter <= 3) ? static_cast<std::uint8_t>(*filter) : 0;
    }
    if (const auto level = settings_.ReadInteger("DisplayLevel")) {
        DisplayLevel = (*level >= 0 && *level <= 1) ? static_cast<std::uint8_t>(*level) : 0;
    }
}

fs::path TConfig::DatafilePath(const std::string& profile) const {
    return fs::path(DataDir + profile + ".dat");
}

void TConfig::LoadEmulator(const std::string& name, bool rememberAsCurrent) {
    // The name goes into the settings file and names a file: refused before anything changes.
    CheckOneLineText("Profile name", name);
    if (!RefName.empty()) {
        SaveRomPaths();
    }
    CurrentEmulator = name;
    ProfileChosen = true;
    const fs::path path = DatafilePath(name);
    openDatafile_ = path;
    std::error_code ec;
    std::string header;
    if (!fs::exists(path, ec)) {
        prompts_.Show(MessageKind::Error, "File " + path.string() + " not found.\n" +
                                              "No roms list loaded. Choose a new emulator from the main window.");
    } else {
        // Anything but a regular file (a FIFO, a device) is an error naming it, not a wait.
        header = ReadDatafileHeaderBytes(path);
    }
    const IniFile ini = IniFile::Parse(header, "games");
    DatVersion = ini.Read("DAT", "version");
    EmulatorVersion = ini.Read("EMULATOR", "version");
    Exe = ini.Read("EMULATOR", "exe");
    ExeDir = EmulatorDirectoryOf(Exe);
    RunCmd = ini.Read("EMULATOR", "runcmd");
    RefName = ini.Read("EMULATOR", "refname");
    std::string romPaths = ini.Read("EMULATOR", "romspaths");

    RomPaths.clear();
    const std::string family = LowerCase(RefName);
    SnesMode = family == "snes";
    NesMode = family == "nes";

    // The directory relative ROM paths and the base-directory fallback refer to: the data
    // directory, or the emulator's directory once its configuration file was read there.
    std::string workingDir = DataDir;
    std::vector<std::string> found;
    FallbackRomPath.clear();
    RomPathsFrom = RomPathsOrigin::Profile;
    if (romPaths.empty()) {
        const std::string emulatorDir = ExeDir.empty() ? DataDir : ExeDir;
        if (RomPathsFromCfg(family, emulatorDir, found)) {
            workingDir = emulatorDir;
        }
        const fs::path cfg =
            family == "raine" ? fs::path(emulatorDir) / "config" / "raine.cfg" : fs::path(emulatorDir) / "mame.cfg";
        RomPathsFrom = fs::is_regular_file(cfg, ec) ? RomPathsOrigin::EmulatorConfig : RomPathsOrigin::EmulatorDefaults;
    } else {
        if (romPaths.front() != ';') {
            romPaths = ";" + romPaths;
        }
        if (romPaths.back() != ';') {
            romPaths += ';';
        }
        for (int n = 1;; ++n) {
            std::string field = GetField(romPaths, ';', ';', n);
            if (field.empty()) {
                break;
            }
            if (n == 1) {
                const fs::path p(field);
                field = (p.is_absolute() ? p : fs::path(DataDir) / p).lexically_normal().string();
            }
            found.push_back(field);
        }
    }
    // Scanning "/" would read the whole top of the system and write a cache file there.
    for (std::string& dir : found) {
        if (IsRootDirectory(dir)) {
            prompts_.Show(MessageKind::Warning,
                          "ROM directory " + dir + " is not used: the root directory is never scanned.");
        } else {
            RomPaths.push_back(std::move(dir));
        }
    }
    if (IsRootDirectory(workingDir)) {
        workingDir = DataDir;
    }

    bool writable = false;
    for (const std::string& dir : RomPaths) {
        if (!IsReadOnlyMedium(dir)) {
            writable = true;
            break;
        }
    }
    if (!writable) {
        prompts_.Show(MessageKind::Warning,
                      "Roms directories specified in the data file are not writable.\n"
                      "Quillmark base directory will be used.\n"
                      "You can change it in options window.");
        // For this run only: loading a profile is no change the user asked for, and commands
        // that only read must leave the datafile as it is.
        FallbackRomPath = WithTrailingSlash(workingDir);
        RomPaths.push_back(FallbackRomPath);
    }
    savedRomPaths_ = RomPaths;
    if (rememberAsCurrent) {
        settings_.WriteString("CurrentEmulator", CurrentEmulator);
    }
}

void TConfig::SaveRomPaths() {
    std::error_code ec;
    if (RomPaths == savedRomPaths_ || openDatafile_.empty() || !fs::exists(openDatafile_, ec)) {
        return;
    }
    std::string value;
    for (const std::string& dir : RomPaths) {
        CheckRomDirectory(dir);
        value += dir + ";";
    }
    WriteDatafileValue(openDatafile_, "EMULATOR", value, "romspaths");
    savedRomPaths_ = RomPaths;
}

void TConfig::SetExe(const std::string& path) {
    CheckOneLineText("Emulator executable", path);
    Exe = path;
    ExeDir = EmulatorDirectoryOf(path);
    WriteDatafileValue(openDatafile_, "EMULATOR", path, "Exe");
}

void TConfig::SetEmuPath(const std::string& dir) {
    ExeDir = dir;
    settings_.WriteString("EmuPath", dir);
}

void TConfig::SetVersion(const std::string& text) {
    Version = text;
    settings_.WriteString("Version", text);
}

void TConfig::SetDisplayFilter(std::uint8_t value) {
    DisplayFilter = value;
    settings_.WriteInteger("DisplayFilter", value);
}

void TConfig::SetDisplayLevel(std::uint8_t value) {
    DisplayLevel = value;
    settings_.WriteInteger("DisplayLevel", value);
}

void TConfig::WriteDatafileValue(const fs::path& file, const std::string& section, const std::string& value,
                                 const std::string& key) {
    CheckOneLineText("The value of " + key, value);
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        prompts_.Show(MessageKind::Error, "Cannot open file " + file.string() + ".");
        return;
    }
    std::vector<std::string> lines = ReadLines(file);
    const std::string sectionLine = "[" + LowerCase(section) + "]";
    std::size_t at = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (LowerCase(lines[i]) == sectionLine) {
            at = i;
            break;
        }
    }
    if (at + 1 >= lines.size()) {
        throw EBadDataFile("Bad datafile");
    }
    const std::string lowerKey = LowerCase(key);
    const std::string newLine = key + "=" + value;
    bool matched = false;
    bool changed = false;
    std::size_t i = at + 1;
    for (; i < lines.size() && !lines[i].starts_with('['); ++i) {
        if (LowerCase(TextBefore(lines[i], '=')) == lowerKey) {
            matched = true;
            // A line that already holds the value stays as it is, spelling of the key included.
            if (lines[i].substr(lines[i].find('=') + 1) != value) {
                lines[i] = newLine;
                changed = true;
            }
        }
    }
    if (!matched) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i), newLine);
        changed = true;
    }
    if (changed) {
        WriteLinesAtomic(file, lines);
    }
}

}  // namespace qm
