#include "config/EmulatorCfg.h"

#include <filesystem>

#include "platform/IniFile.h"
#include "platform/Platform.h"
#include "game_db/cel_strings.h"

namespace qm {

namespace {

std::string ExpandAgainst(const std::string& base, std::string_view path) {
    const std::filesystem::path p{std::string(path)};
    const std::filesystem::path full = p.is_absolute() ? p : std::filesystem::path(base) / p;
    return full.lexically_normal().string();
}

}  // namespace

bool RomPathsFromCfg(std::string_view emulatorName, const std::string& emulatorDir, std::vector<std::string>& list) {
    list.clear();
    std::error_code ec;
    if (emulatorName == "mame") {
        std::string value = ";roms/;.;";
        const std::filesystem::path cfg = std::filesystem::path(emulatorDir) / "mame.cfg";
        if (std::filesystem::is_regular_file(cfg, ec)) {
            value.clear();
            for (const std::string& line : ReadLines(cfg)) {
                if (SameText(TextBefore(line, '='), "rompath ")) {
                    const std::size_t eq = line.find('=');
                    value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
                    break;
                }
            }
            if (value.empty() || value.front() != ';') {
                value = ";" + value;
            }
            if (value.size() == 1 || value.back() != ';') {
                value += ';';
            }
        }
        for (int n = 1;; ++n) {
            const std::string field = CollapseSpaces(GetField(value, ';', ';', n));
            if (field.empty()) {
                break;
            }
            list.push_back(WithTrailingSlash(ExpandAgainst(emulatorDir, field)));
        }
        return true;
    }
    if (emulatorName == "raine") {
        const std::filesystem::path cfg = std::filesystem::path(emulatorDir) / "config" / "raine.cfg";
        if (!std::filesystem::is_regular_file(cfg, ec)) {
            list.push_back(emulatorDir + "ziproms");
            return false;
        }
        const IniFile ini = IniFile::Parse(ReadFileBytes(cfg));
        for (const char* key : {"Ziproms", "Ziproms1", "Ziproms2"}) {
            const std::string dir = ini.Read("Directories", key);
            if (!dir.empty()) {
                list.push_back(ExpandAgainst(emulatorDir, dir));
            }
        }
        return true;
    }
    return false;
}

}  // namespace qm
