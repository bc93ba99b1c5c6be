#include "config/SettingsStore.h"

#include <system_error>
#include <vector>

#include "game_db/cel_strings.h"
#include "platform/Platform.h"
#include "platform/UserPrompts.h"

namespace qm {

namespace {
constexpr std::string_view kSection = "quillmark";
// The file holds five short values; anything much larger is not a settings file.
constexpr std::uint64_t kMaxSettingsBytes = 1 << 20;
}  // namespace

TSettingsStore::TSettingsStore(std::filesystem::path file, UserPrompts& prompts)
    : file_(std::move(file)), prompts_(prompts) {
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec)) {
        return;
    }
    std::string bytes;
    try {
        bytes = ReadFileBytes(file_, kMaxSettingsBytes);
    } catch (const EFileError& e) {
        prompts_.Show(MessageKind::Warning, "Settings file " + file_.string() +
                                                " cannot be read; default settings are used. (" + e.what() + ")");
        // Whatever stands there is set aside, not overwritten, when a value is first saved.
        keepBadCopy_ = true;
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
    // Unchanged values are not written: commands that only read leave the file alone.
    if (const auto old = ini_.Find(kSection, name); old && *old == value) {
        return;
    }
    ini_.Write(kSection, name, value);
    Save();
}

void TSettingsStore::WriteInteger(std::string_view name, int value) {
    WriteString(name, std::to_string(value));
}

void TSettingsStore::Save() {
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    if (ec) {
        prompts_.Show(MessageKind::Warning,
                      "Settings not saved: " + file_.string() + ": cannot create its folder: " + ec.message());
        return;
    }
    if (keepBadCopy_) {
        std::filesystem::path bad = file_;
        bad += ".bad";
        std::filesystem::rename(file_, bad, ec);
        keepBadCopy_ = false;
    }
    // Settings are a convenience: a read-only or full settings folder must not stop the
    // command that changed one. The value stays in effect for this run.
    try {
        WriteFileAtomic(file_, ini_.Serialize());
    } catch (const EFileError& e) {
        prompts_.Show(MessageKind::Warning, std::string("Settings not saved: ") + e.what());
    }
}

}  // namespace qm
