// INI text as the program reads it: section and key names compare without regard to ASCII
// case; a value is the text after the first "="; a missing key reads as empty.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class IniFile {
public:
    // Reads `bytes`; stops before the section named `stopSection` (the datafile's "[games]",
    // which holds no keys and can be large). Lines that are neither blank, comments, section
    // lines nor key=value lines are listed in `problems` when given.
    static IniFile Parse(std::string_view bytes, std::string_view stopSection = {},
                         std::vector<std::string>* problems = nullptr);

    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string Read(std::string_view section, std::string_view key) const {
        return Find(section, key).value_or(std::string());
    }
    // Sets the value of a key, adding the key (and its section) when missing. Throws EBadValue,
    // changing nothing, for a value that would not stay on its line (CheckOneLineText).
    void Write(std::string_view section, std::string_view key, std::string_view value);
    // The whole text, one "key=value" per line under its "[section]".
    std::string Serialize() const;

private:
    struct Entry {
        std::string Section;
        std::string Key;
        std::string Value;
    };
    std::vector<Entry> entries_;
};

}  // namespace qm
