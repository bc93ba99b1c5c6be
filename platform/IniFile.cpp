#include "platform/IniFile.h"

#include "platform/Platform.h"
#include "platform/Text.h"

namespace qm {

IniFile IniFile::Parse(std::string_view bytes, std::string_view stopSection, std::vector<std::string>* problems) {
    IniFile ini;
    std::string section;
    int lineNumber = 0;
    LineReader reader(bytes);
    for (std::string_view raw; reader.Next(raw);) {
        const std::string line = Trim(raw);
        ++lineNumber;
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string::npos && problems != nullptr) {
                problems->push_back("line " + std::to_string(lineNumber) + ": unclosed section name");
            }
            section = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
            if (!stopSection.empty() && SameText(section, stopSection)) {
                break;
            }
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            if (problems != nullptr) {
                problems->push_back("line " + std::to_string(lineNumber) + ": not a key=value line");
            }
            continue;
        }
        ini.entries_.push_back(Entry{section, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))});
    }
    return ini;
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
    for (const Entry& e : entries_) {
        if (SameText(e.Section, section) && SameText(e.Key, key)) {
            return e.Value;
        }
    }
    return std::nullopt;
}

void IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
    CheckOneLineText("The value of " + std::string(key), value);
    std::size_t insertAt = entries_.size();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        if (!SameText(e.Section, section)) {
            continue;
        }
        if (SameText(e.Key, key)) {
            e.Value = value;
            return;
        }
        insertAt = i + 1;
    }
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                    Entry{std::string(section), std::string(key), std::string(value)});
}

std::string IniFile::Serialize() const {
    std::string out;
    const std::string* section = nullptr;
    for (const Entry& e : entries_) {
        if (section == nullptr || !SameText(*section, e.Section)) {
            if (section != nullptr) {
                out += '\n';
            }
            out += "[" + e.Section + "]\n";
            section = &e.Section;
        }
        out += e.Key + "=" + e.Value + "\n";
    }
    return out;
}

}  // namespace qm
