// The per-user settings: one INI file, section [quillmark], written atomically each time a
// value changes, and only then. A failed write is a warning naming the file, never an error of
// the command that set the value.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/IniFile.h"

namespace qm {

class UserPrompts;

class TSettingsStore {
public:
    // Reads the file; an unreadable or malformed file is reported through `prompts` as a warning
    // and the defaults apply. Such a file is kept beside the new one ("quillmark.ini.bad")
    // the first time a value is written, so nothing the user wrote is lost.
    TSettingsStore(std::filesystem::path file, UserPrompts& prompts);

    std::optional<std::string> ReadString(std::string_view name) const;
    // Nullopt when absent; a value that is not an integer is reported and reads as absent.
    std::optional<int> ReadInteger(std::string_view name) const;
    // Throws EBadValue for a value with control characters (it would not stay on its line).
    void WriteString(std::string_view name, std::string_view value);
    void WriteInteger(std::string_view name, int value);

    const std::filesystem::path& File() const { return file_; }

private:
    void Save();

    std::filesystem::path file_;
    UserPrompts& prompts_;
    IniFile ini_;
    bool keepBadCopy_ = false;
};

}  // namespace qm
