#include "config/config.h"

#include <fcntl.h>
#include <unistd.h>

#include "config/EmulatorCfg.h"
#include "platform/SystemTools.h"
#include "platform/IniFile.h"
#include "platform/Platform.h"
#include "platform/UserPrompts.h"
#include "game_db/cel_strings.h"

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
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw EFileError(file, "cannot open");
    }
    std::string bytes;
    std::size_t scanned = 0;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
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
    ::close(fd);
    return bytes;
}

TConfig::TConfig(const ConfigPaths& paths, UserPrompts& prompts)
    : prompts_(prompts), settings_(paths.SettingsFile, prompts) {
    TempDir = WithTrailingSlash(paths.TempDir.string());
    DataDir = WithTrailingSlash(paths.DataDir.string());
    Version = settings_.ReadString("Version").value_or("");
    CurrentEmulator = settings_.ReadString("CurrentEmulator").value_or("");
    if (CurrentEmulator.empty()) {
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
    if (!RefName.empty()) {
        SaveRomPaths();
    }
    CurrentEmulator = name;
    const fs::path path = DatafilePath(name);
    openDatafile_ = path;
    std::error_code ec;
    std::string header;
    if (!fs::is_regular_file(path, ec)) {
        prompts_.Show(MessageKind::Error, "File " + path.string() + " not found.\n" +
                                              "No roms list loaded. Choose a new emulator from the main window.");
    } else {
        header = ReadDatafileHeaderBytes(path);
    }
    const IniFile ini = IniFile::Parse(header, "games");
    DatVersion = ini.Read("DAT", "version");
    EmulatorVersion = ini.Read("EMULATOR", "version");
    Exe = ini.Read("EMULATOR", "exe");
    ExeDir = Exe.empty() ? std::string() : WithTrailingSlash(fs::path(Exe).parent_path().string());
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
    if (romPaths.empty()) {
        const std::string emulatorDir = ExeDir.empty() ? DataDir : ExeDir;
        if (RomPathsFromCfg(family, emulatorDir, RomPaths)) {
            workingDir = emulatorDir;
        }
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
            RomPaths.push_back(field);
        }
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
        RomPaths.push_back(WithTrailingSlash(workingDir));
        SaveRomPaths();
    }
    if (rememberAsCurrent) {
        settings_.WriteString("CurrentEmulator", CurrentEmulator);
    }
}

void TConfig::SaveRomPaths() {
    std::error_code ec;
    if (openDatafile_.empty() || !fs::is_regular_file(openDatafile_, ec)) {
        return;
    }
    std::string value;
    for (const std::string& dir : RomPaths) {
        value += dir + ";";
    }
    WriteDatafileValue(openDatafile_, "EMULATOR", value, "romspaths");
}

void TConfig::SetExe(const std::string& path) {
    Exe = path;
    ExeDir = path.empty() ? std::string() : WithTrailingSlash(fs::path(path).parent_path().string());
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
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
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
    bool matched = false;
    std::size_t i = at + 1;
    for (; i < lines.size() && !lines[i].starts_with('['); ++i) {
        if (LowerCase(TextBefore(lines[i], '=')) == lowerKey) {
            lines[i] = key + "=" + value;
            matched = true;
        }
    }
    if (!matched) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i), key + "=" + value);
    }
    WriteLinesAtomic(file, lines);
}

}  // namespace qm
