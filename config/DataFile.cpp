#include "config/DataFile.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "config/ListXml.h"
#include "game_db/Datafile.h"
#include "game_db/cel_strings.h"
#include "platform/Job.h"
#include "platform/Platform.h"
#include "platform/SystemTools.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

// Set and clone names become archive names, ROM names entry names: longer than a file name may
// be, they can only be junk.
constexpr std::size_t kMaxName = 255;

bool IsControlOrDelimiter(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F || c == kDatafileDelimiter;
}

bool HasControlOrDelimiter(std::string_view s) {
    for (const char c : s) {
        if (IsControlOrDelimiter(c)) {
            return true;
        }
    }
    return false;
}

// A set or clone name is the base name of an archive: no path may hide in it.
bool ValidGameName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxName && !HasControlOrDelimiter(name) &&
           name.find_first_of("/\\") == std::string_view::npos && name != "." && name != "..";
}

// A ROM name is an entry name, which may hold folders, but never leads out of the archive.
bool ValidRomName(std::string_view name) {
    if (name.empty() || name.size() > kMaxName || HasControlOrDelimiter(name) || name.front() == '/' ||
        name.front() == '\\') {
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
        if (name.substr(start, end - start) == "..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// A decimal size; nullopt for anything but digits, or a number no file can reach.
std::optional<std::int64_t> ParseSize(std::string_view text) {
    std::int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || text.front() == '-' || ec != std::errc() || ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// "00000000" for a ROM without a good dump; nullopt for a CRC that is not 8 hex digits.
std::optional<std::string> ParseCrc(const ListingRom& rom) {
    if (rom.NoDump || rom.Crc.empty()) {
        return std::string(kNoGoodDumpCrc);
    }
    if (rom.Crc.size() != 8 || !ParseCrcHex(rom.Crc)) {
        return std::nullopt;
    }
    return LowerCase(rom.Crc);
}

// The second blank-separated word of `text` (the value after a keyword).
std::string_view SecondWord(std::string_view text) {
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos) {
        return {};
    }
    i = text.find(' ', i);
    if (i == std::string_view::npos) {
        return {};
    }
    i = text.find_first_not_of(' ', i);
    if (i == std::string_view::npos) {
        return {};
    }
    return text.substr(i, text.find(' ', i) - i);
}

}  // namespace

std::string CleanListingText(std::string_view raw) {
    std::string text = GuessedTextToCp1252(raw);
    for (char& c : text) {
        if (c == kDatafileDelimiter) {
            c = '?';
        } else if (IsControlOrDelimiter(c)) {
            c = ' ';
        }
    }
    return text;
}

// ---------------------------------------------------------------------------------------------

TListingBuilder::TListingBuilder(TGamesList& games, ListingKind kind) : games_(games), kind_(kind) {
    games_.BeginBuild();
    if (kind_ == ListingKind::Mame) {
        TGame* neogeo = games_.FindOrAddGame("neogeo", "Neo-Geo Bios");
        neogeo->NeoGeo = true;
        games_.FindOrAddClone(neogeo, "neogeo", "Neo-Geo Bios");
    }
}

void TListingBuilder::StartGame() {
    if (!romSeen_) {
        AddPlaceholder();
    }
    ++counts_.Games;
    cloneName_.clear();
    cloneDescription_.clear();
    setName_.clear();
    setDescription_.clear();
    neoGeo_ = false;
    romSeen_ = false;
    rejected_ = false;
}

void TListingBuilder::SetName(std::string_view name) {
    cloneName_ = GuessedTextToCp1252(name);
}

void TListingBuilder::SetDescription(std::string_view description) {
    cloneDescription_ = CleanListingText(description);
}

void TListingBuilder::SetCloneOf(std::string_view parent) {
    std::string name = GuessedTextToCp1252(parent);
    if (!ValidGameName(name)) {
        if (!rejected_) {
            rejected_ = true;
            ++counts_.SkippedGames;
        }
        return;
    }
    if (TGame* found = games_.FindGame(LowerCase(name))) {
        set_ = found;
        setDescription_ = found->Description;
    } else {
        set_ = games_.FindOrAddGame(name, name);
        setDescription_ = name;
    }
    setName_ = std::move(name);
}

void TListingBuilder::SetRomOf(std::string_view romOf) {
    if (romOf == "neogeo") {
        neoGeo_ = true;
    }
}

bool TListingBuilder::EnsureSet() {
    if (!rejected_ && !ValidGameName(cloneName_)) {
        rejected_ = true;
        ++counts_.SkippedGames;
    }
    if (rejected_) {
        return false;
    }
    if (setName_.empty() || setDescription_.empty()) {
        setName_ = cloneName_;
        setDescription_ = cloneDescription_;
        set_ = games_.FindOrAddGame(setName_, setDescription_);
    }
    return true;
}

void TListingBuilder::AddPlaceholder() {
    if (!EnsureSet()) {
        return;
    }
    TClone* clone = games_.FindOrAddClone(set_, cloneName_, cloneDescription_);
    const char* name = kind_ == ListingKind::Mame ? "No roms needed" : "Rom infos not available";
    games_.AddRom(clone, kPlaceholderCrc, name, /*own=*/true, 0);
}

void TListingBuilder::AddRom(const ListingRom& rom) {
    romSeen_ = true;
    if (!EnsureSet()) {
        return;
    }
    TClone* clone = games_.FindOrAddClone(set_, cloneName_, cloneDescription_);
    if (neoGeo_) {
        set_->NeoGeo = true;
    }
    std::string name = GuessedTextToCp1252(rom.Name);
    LowerCaseInPlace(name);
    const std::optional<std::int64_t> size = ParseSize(rom.Size);
    const std::optional<std::string> crc = ParseCrc(rom);
    if (!ValidRomName(name) || !size || !crc) {
        ++counts_.SkippedRoms;
        return;
    }
    const bool large = *size > INT32_MAX;
    TRom* added = games_.AddRom(clone, *crc, name, /*own=*/!rom.Merged, large ? -1 : static_cast<std::int32_t>(*size));
    if (added != nullptr && large) {
        largeSizes_.emplace(added, *size);
    }
    if (added != nullptr && *crc == kNoGoodDumpCrc) {
        added->NoGoodDump = true;
        games_.NoGoodDumpRoms.AppendUnsorted(NamedRom{name, added});
    }
}

std::int64_t TListingBuilder::SizeOf(const TRom& rom) const {
    const auto it = largeSizes_.find(&rom);
    return it == largeSizes_.end() ? rom.Size : it->second;
}

void TListingBuilder::Finish() {
    if (!romSeen_) {
        AddPlaceholder();
        romSeen_ = true;
    }
    games_.EndBuild();
}

// ---------------------------------------------------------------------------------------------

TListInfoReader::TListInfoReader(TListingBuilder& builder, ListingKind kind) : builder_(builder), kind_(kind) {}

void TListInfoReader::Feed(std::string_view bytes) {
    lines_.Feed(bytes, [this](std::string_view line) { Line(line); });
}

void TListInfoReader::Finish() {
    lines_.Finish([this](std::string_view line) { Line(line); });
    builder_.Counts().SkippedLines += lines_.Overlong();
}

void TListInfoReader::Line(std::string_view raw) {
    if (lineNumber_++ == 0) {
        return;
    }
    // "game" must start the line; every other line is known by its first word once trimmed.
    if (SameText(raw.substr(0, raw.find(' ')), "game")) {
        builder_.StartGame();
        return;
    }
    const std::string line = CollapseSpaces(raw);
    const std::string key = LowerCase(TextBefore(line, ' '));
    if (key == "name") {
        builder_.SetName(line.size() > 5 ? std::string_view(line).substr(5) : std::string_view());
    } else if (key == "description") {
        const std::size_t first = line.find('"');
        if (first == std::string::npos) {
            builder_.SetDescription({});
        } else {
            const std::size_t second = line.find('"', first + 1);
            builder_.SetDescription(std::string_view(line).substr(
                first + 1, second == std::string::npos ? std::string::npos : second - first - 1));
        }
    } else if (key == "cloneof") {
        builder_.SetCloneOf(TextAfterLast(line, ' '));
    } else if (key == "romof") {
        builder_.SetRomOf(TextAfterLast(line, ' '));
    } else if (key == "rom") {
        RomLine(line);
    }
}

void TListInfoReader::RomLine(const std::string& line) {
    const std::string_view l = line;
    ListingRom rom;
    const std::size_t crcAt = l.find(kind_ == ListingKind::Mame ? " crc " : " crc32 ");
    if (crcAt != std::string_view::npos) {
        rom.Crc = SecondWord(l.substr(crcAt));
    }
    // The name runs from after "name " to the blank before "merge" (a merged ROM) or "size".
    const std::size_t nameAt = l.find("name");
    const std::size_t mergeAt = l.find("merge");
    const std::size_t end = mergeAt != std::string_view::npos ? mergeAt : l.find("size");
    rom.Merged = mergeAt != std::string_view::npos;
    if (nameAt != std::string_view::npos && end != std::string_view::npos && end > nameAt + 6) {
        rom.Name = l.substr(nameAt + 5, end - 1 - (nameAt + 5));
    }
    const std::size_t sizeAt = l.find(" size ");
    if (sizeAt != std::string_view::npos) {
        rom.Size = SecondWord(l.substr(sizeAt));
    }
    builder_.AddRom(rom);
}

// ---------------------------------------------------------------------------------------------

TDatafile::TDatafile() = default;
TDatafile::~TDatafile() = default;

TListingBuilder& TDatafile::BeginListing(ListingKind kind) {
    builder_.reset();
    games_ = std::make_unique<TGamesList>();
    builder_ = std::make_unique<TListingBuilder>(*games_, kind);
    return *builder_;
}

void TDatafile::EndListing(Job& job) {
    builder_->Finish();
    counts_ = builder_->Counts();
    WriteRomLines(job);
    if (romLines_ == 0) {
        throw EListingError("the listing holds no game");
    }
}

namespace {

// Runs `exe option`, handing what it prints to `feed`; gives the exit code.
int RunListing(const fs::path& exe, const char* option, Job& job, const TListingBuilder& builder,
               const std::function<void(std::string_view)>& feed, std::string& errorTail) {
    bool cancelled = false;
    const int code = RunProcessReading(
        {exe.string(), option},
        [&](std::string_view piece) {
            if (job.CancelRequested()) {
                cancelled = true;
                return false;
            }
            if (!piece.empty()) {
                feed(piece);
                job.Progress(builder.Counts().Games, 0);
            }
            return true;
        },
        &errorTail);
    // Ctrl-C on a terminal reaches the emulator too, which may end before we poll again.
    if (cancelled || job.CancelRequested()) {
        throw ECancelClick("Import cancelled by the user !");
    }
    return code;
}

// A listing run that failed, with the last line the emulator wrote to its standard error,
// which says why.
EListingError RunFailure(const fs::path& exe, const char* option, int code, const std::string& errorTail) {
    std::string last;
    LineReader reader(errorTail);
    std::string_view line;
    while (reader.Next(line)) {
        if (!Trim(line).empty()) {
            last = Trim(line);
        }
    }
    return EListingError(exe.string() + " " + option + " failed: " +
                         (code == kProcessNotWaited ? "it could not be started" : "exit code " + std::to_string(code)) +
                         (last.empty() ? "" : " (" + last + ")"));
}

}  // namespace

void TDatafile::Build(ListingKind kind, const fs::path& exe, Job& job) {
    RefName = kind == ListingKind::Mame ? "mame" : "raine";
    job.Status("Extracting Games...");
    std::string errorTail;
    listingOption_ = "-listinfo";
    {
        TListInfoReader reader(BeginListing(kind), kind);
        const int code = RunListing(
            exe, "-listinfo", job, *builder_, [&](std::string_view piece) { reader.Feed(piece); }, errorTail);
        if (code == 0) {
            reader.Finish();
        }
        // A MAME that no longer knows -listinfo lists its machines in XML, with the same content.
        if (kind == ListingKind::Mame && (code != 0 || builder_->Counts().Games == 0)) {
            listingOption_ = "-listxml";
        } else if (code != 0) {
            throw RunFailure(exe, "-listinfo", code, errorTail);
        }
    }
    if (listingOption_ == "-listxml") {
        TListXmlReader reader(BeginListing(kind), exe.string() + " -listxml");
        const int code = RunListing(
            exe, "-listxml", job, *builder_, [&](std::string_view piece) { reader.Feed(piece); }, errorTail);
        if (code != 0) {
            throw RunFailure(exe, "-listxml", code, errorTail);
        }
        reader.Finish();
    }
    try {
        EndListing(job);
    } catch (const EListingError& e) {
        throw EListingError(exe.string() + " " + listingOption_ + ": " + e.what());
    }
}

void TDatafile::WriteRomLines(Job& job) {
    job.Status("Saving datas to file...");
    lines_.clear();
    sets_ = clones_ = romLines_ = 0;
    const TGamesIndex& sets = games_->Games();
    RomLine line;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        if (i % 256 == 0) {
            job.Progress(i, sets.size());
        }
        const TGame* game = sets[i];
        line.SetName = game->Name;
        line.SetDescription = game->Description;
        line.NeoGeo = game->NeoGeo;
        bool setWritten = false;
        for (const TClone* clone : game->Clones) {
            line.CloneName = clone->Name;
            line.CloneDescription = clone->Description;
            for (const TRomEntry& entry : clone->Roms) {
                line.RomName = entry.Name;
                line.Crc = entry.Rom->Crc;
                line.Own = entry.Own;
                line.Size = builder_->SizeOf(*entry.Rom);
                lines_ += FormatRomLine(line);
                lines_ += "\r\n";
                ++romLines_;
            }
            if (!clone->Roms.empty()) {
                ++clones_;
                setWritten = true;
            }
        }
        sets_ += setWritten ? 1 : 0;
    }
    job.Progress(sets.size(), sets.size());
    builder_.reset();
    games_.reset();
}

void TDatafile::SaveDatafile(const fs::path& path) const {
    DatafileHeader header;
    header.Author = Author;
    header.Version = DatVersion;
    header.Comment = Comment;
    header.RefName = RefName;
    header.EmulatorVersion = EmulatorVersion;
    header.Exe = Exe;
    header.RunCmd = RunCmd;
    header.RomPaths = RomsPaths;
    std::string text;
    for (const std::string& line : FormatDatafileHeader(header)) {
        text += line;
        text += "\r\n";
    }
    WritePiecesAtomic(path, {text, lines_});
}

}  // namespace qm
