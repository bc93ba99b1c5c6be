#include "config/SettingsStore.h"

#include <system_error>
#include <vector>

#include "platform/Platform.h"
#include "platform/UserPrompts.h"
#include "game_db/cel_strings.h"

namespace qm {

namespace {
constexpr std::string_view kSection = "quillmark";
}

TSettingsStore::TSettingsStore(std::filesystem::path file, UserPrompts& prompts)
    : file_(std::move(file)), prompts_(prompts) {
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec)) {
        return;
    }
    std::string bytes;
    try {
        bytes = ReadFileBytes(file_);
    } catch (const EFileError& e) {
        prompts_.Show(MessageKind::Warning, "Settings file " + file_.string() +
                                                " cannot be read; default settings are used. (" + e.what() + ")");
        return;
    }
    std::vector<std::string> problems;
    IniFile parsed = IniFile::Parse(bytes, {}, &problems);
    if (bytes.find('\0') != std::string::npos) {
        problems.emplace_back("it holds NUL bytes");
    }
    if (!problems.empty()) {
        prompts_.Show(MessageKind::Warning, "Settings file " + file_.string() + " is malformed (" + problems.front() +
                                                "); default settings are used.");
        keepBadCopy_ = true;
        return;
    }
    ini_ = std::move(parsed);
}

std::optional<std::string> TSettingsStore::ReadString(std::string_view name) const {
    return ini_.Find(kSection, name);
}

std::optional<int> TSettingsStore::ReadInteger(std::string_view name) const {
    const auto text = ReadString(name);
    if (!text) {
        return std::nullopt;
    }
    const auto value = ParseInt32(Trim(*text));
    if (!value) {
        prompts_.Show(MessageKind::Warning, "Settings file " + file_.string() + ": value " + std::string(name) +
                                                " is not a number; the default is used.");
        return std::nullopt;
    }
    return *value;
}

void TSettingsStore::WriteString(std::string_view name, std::string_view value) {
    ini_.Write(kSection, name, value);
    Save();
}

void TSettingsStore::WriteInteger(std::string_view name, int value) {
    WriteString(name, std::to_string(value));
}

void TSettingsStore::Save() {
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    if (keepBadCopy_) {
        std::filesystem::path bad = file_;
        bad += ".bad";
        std::filesystem::rename(file_, bad, ec);
        keepBadCopy_ = false;
    }
    WriteFileAtomic(file_, ini_.Serialize());
}

}  // namespace qm
