#include "game_db/EmulatorProbes.h"

#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "game_db/cel_strings.h"
#include "platform/Job.h"
#include "platform/Platform.h"
#include "platform/SystemTools.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

// The probe's output file goes whatever happens.
class RemovedAfterwards {
public:
    explicit RemovedAfterwards(fs::path file) : file_(std::move(file)) {
        std::error_code ec;
        fs::remove(file_, ec);
    }
    ~RemovedAfterwards() {
        std::error_code ec;
        fs::remove(file_, ec);
    }
    RemovedAfterwards(const RemovedAfterwards&) = delete;
    RemovedAfterwards& operator=(const RemovedAfterwards&) = delete;

private:
    fs::path file_;
};

bool IsFile(const fs::path& exe) {
    std::error_code ec;
    return !exe.empty() && fs::is_regular_file(exe, ec);
}

// What the emulator printed; nullopt when it wrote no output file at all. A help text is small:
// only its first 1 MB is read, whatever the file holds.
std::optional<std::string> ReadOutput(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    std::string text(1u << 20, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

}  // namespace

std::string MameVersionFromHelp(std::string_view helpText) {
    std::string_view firstLine;
    LineReader(helpText).Next(firstLine);
    return CollapseSpaces(TextBefore(firstLine, '-'));
}

std::string RaineVersionFromHelp(std::string_view helpText) {
    const std::vector<std::string> lines = SplitLines(helpText);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (SameText(std::string_view(*it).substr(0, 7), "version")) {
            return TextAfterLast(*it, ' ');
        }
    }
    return {};
}

bool GetMameVersion(const fs::path& exe, std::string& version, const fs::path& scratchDir, Job& job) {
    if (!IsFile(exe) || LowerCase(exe.filename().string()) == "mame32.exe") {
        return false;
    }
    const fs::path output = scratchDir / "temp.txt";
    const RemovedAfterwards removed(output);
    if (RunProcess({exe.string(), "-help"}, /*wait=*/true, output) != 0) {
        return false;
    }
    const auto text = ReadOutput(output);
    if (!text) {
        return false;
    }
    job.Status("Getting mame version...");
    version = MameVersionFromHelp(*text);
    return true;
}

bool GetRaineVersion(const fs::path& exe, std::string& version, const fs::path& scratchDir, Job& job) {
    if (!IsFile(exe)) {
        return false;
    }
    const fs::path output = scratchDir / "raine.txt";
    const RemovedAfterwards removed(output);
    RunProcess({exe.string(), "-help"}, /*wait=*/true, output);
    const auto text = ReadOutput(output);
    if (!text) {
        return false;
    }
    job.Status("Getting raine version...");
    version = RaineVersionFromHelp(*text);
    return !version.empty();
}

}  // namespace qm
