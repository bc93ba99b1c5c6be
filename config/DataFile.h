// The datafile builder: a game listing becomes a Quillmark datafile. The listing is an
// emulator's own (`-listinfo`, or `-listxml` for a MAME that no longer knows `-listinfo`) or a
// datafile downloaded from the world (Logiqx XML, clrmamepro text; see DatafileImport.h). Every
// reader hands its records to one TListingBuilder, so that every route files games by the same
// rules:
//   - a game is a clone; its set is the game named by its "cloneof", else the game itself; a
//     parent named before its own record is created with its name as description, which its
//     record replaces later;
//   - a ROM with a merge name is shared with the parent (own flag clear); a ROM without a good
//     dump (status nodump, or no CRC at all) gets the CRC "00000000";
//   - in MAME mode a set "neogeo" ("Neo-Geo Bios") exists from the start and collects the BIOS
//     ROMs "neo-geo.rom", "ng-sfix.rom" and "ng-sm1.rom" of every game; a game that romof
//     "neogeo" marks its set Neo-Geo;
//   - a game without a ROM gets one placeholder ROM (CRC of 8 blanks, size 0): "No roms needed"
//     in MAME mode, "Rom infos not available" in Raine mode.
// Text is written in Windows-1252 (UTF-8 converted, what it cannot hold becomes '?'). A record
// that would corrupt the datafile or the collection (an empty or over-long name, a name with a
// control character, the field delimiter or a path in it, a size that is no number, a CRC that
// is not 8 hexadecimal digits) is skipped and counted, never written. A size beyond 32 bits (a
// DVD image) is written as it is, although the database reads it as -1 (unknown).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

#include "game_db/GamesList.h"

namespace qm {

class Job;

// A listing that could not be read or run: the message names the file or the command.
class EListingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Build mode: which emulator's rules apply.
enum class ListingKind { Mame = 0, Raine = 1 };

// Free text of a listing (a description, a header value) as the datafile holds it: Windows-1252,
// control characters turned into blanks and the field delimiter into '?', so that it keeps its
// place in its line.
std::string CleanListingText(std::string_view raw);

// One ROM record of a listing, as read; the builder checks and converts it.
struct ListingRom {
    std::string_view Name;
    std::string_view Size;  // decimal text
    std::string_view Crc;   // empty when the listing gives none
    bool Merged = false;    // a merge name is given: the ROM is shared with the parent set
    bool NoDump = false;    // the listing says no good dump is known
};

// What the listing says about itself (Logiqx <header>, clrmamepro block, MAME's build).
struct ListingHeader {
    std::string Name;
    std::string Description;
    std::string Version;
    bool FromMame = false;  // MAME's own listing (<mame>)
};

struct ListingCounts {
    std::size_t Games = 0;         // game records read
    std::size_t SkippedGames = 0;  // games whose name could not be filed
    std::size_t SkippedRoms = 0;   // ROM records that could not be filed
    std::size_t SkippedLines = 0;  // lines too long to be a record
};

// The state of a listing being read, and the rules that file its records into a database.
// Records come in listing order: StartGame, then the game's attributes and ROMs.
class TListingBuilder {
public:
    TListingBuilder(TGamesList& games, ListingKind kind);

    void StartGame();
    void SetName(std::string_view name);
    void SetDescription(std::string_view description);
    void SetCloneOf(std::string_view parent);
    void SetRomOf(std::string_view romOf);
    void AddRom(const ListingRom& rom);
    // End of the listing: the last game, too, gets its placeholder when it had no ROM.
    void Finish();

    ListingCounts& Counts() { return counts_; }
    const ListingCounts& Counts() const { return counts_; }
    // The size a ROM was listed with: the database's own holds 32 bits only.
    std::int64_t SizeOf(const TRom& rom) const;

private:
    // The set of the current game, made sure of; false when the game's names cannot be filed.
    bool EnsureSet();
    void AddPlaceholder();

    TGamesList& games_;
    ListingKind kind_;
    std::string cloneName_;
    std::string cloneDescription_;
    std::string setName_;
    std::string setDescription_;
    TGame* set_ = nullptr;
    bool neoGeo_ = false;
    bool romSeen_ = true;  // nothing to finish before the first game
    bool rejected_ = false;
    ListingCounts counts_;
    std::unordered_map<const TRom*, std::int64_t> largeSizes_;
};

// Lines of text arriving in pieces of any size, handed out whole; a line longer than the limit
// is dropped and counted instead of growing without end.
class LineAssembler {
public:
    static constexpr std::size_t kMaxLine = 1 << 20;

    template <class OnLine>
    void Feed(std::string_view bytes, OnLine&& onLine);
    template <class OnLine>
    void Finish(OnLine&& onLine);
    std::size_t Overlong() const { return overlong_; }

private:
    template <class OnLine>
    void Emit(std::string_view line, OnLine& onLine);

    std::string partial_;
    bool dropping_ = false;
    std::size_t overlong_ = 0;
};

// Reads an emulator's `-listinfo` output, piece by piece as it is printed, by the emulator's own
// line rules: "game" at the start of a line opens a game; other lines are trimmed, their runs
// of blanks collapsed, and known by their first word (name, description, cloneof, romof, rom).
// Line 0 is never examined.
class TListInfoReader {
public:
    TListInfoReader(TListingBuilder& builder, ListingKind kind);
    void Feed(std::string_view bytes);
    void Finish();

private:
    void Line(std::string_view raw);
    void RomLine(const std::string& line);

    TListingBuilder& builder_;
    ListingKind kind_;
    LineAssembler lines_;
    std::size_t lineNumber_ = 0;
};

// Builds a datafile: the ROM lines from a listing, the header from the fields below.
class TDatafile {
public:
    TDatafile();
    ~TDatafile();
    TDatafile(const TDatafile&) = delete;
    TDatafile& operator=(const TDatafile&) = delete;

    // Header fields ("Author=", "Version=" and "Comment=" of [CREDITS]; "refname=", "version=",
    // "exe=", "runcmd=", "romspaths=" of [EMULATOR]).
    std::string Author;
    std::string DatVersion;
    std::string Comment;
    std::string RefName;
    std::string EmulatorVersion;
    std::string Exe;
    std::string RunCmd;
    std::string RomsPaths;

    // Runs `exe -listinfo` (MAME: `exe -listxml` when that fails or lists nothing), reading its
    // output while it is printed, and makes the ROM lines. Sets RefName to "mame" or "raine".
    // Throws EListingError when the emulator cannot be run, fails or lists no game, and
    // ECancelClick when the job is cancelled; the emulator is stopped in both cases.
    void Build(ListingKind kind, const std::filesystem::path& exe, Job& job);

    // For the readers of other listings: a fresh database whose builder takes the records, then
    // the ROM lines made from it. EndListing throws EListingError when no game was read.
    TListingBuilder& BeginListing(ListingKind kind);
    void EndListing(Job& job);

    // Writes the 13 header lines and the ROM lines to `path`, atomically: the file is the old
    // one or the whole new one. Throws EFileError, or EBadValue for a header value that holds a
    // control character (it would break the header's lines).
    void SaveDatafile(const std::filesystem::path& path) const;

    const ListingCounts& Counts() const { return counts_; }
    // What the ROM lines hold.
    std::size_t SetCount() const { return sets_; }
    std::size_t CloneCount() const { return clones_; }
    std::size_t RomLineCount() const { return romLines_; }
    // The option whose listing was read ("-listinfo" or "-listxml"), for a built datafile.
    const std::string& ListingOption() const { return listingOption_; }
    const std::string& RomLines() const { return lines_; }

private:
    void WriteRomLines(Job& job);

    std::unique_ptr<TGamesList> games_;
    std::unique_ptr<TListingBuilder> builder_;
    ListingCounts counts_;
    std::string lines_;
    std::size_t sets_ = 0;
    std::size_t clones_ = 0;
    std::size_t romLines_ = 0;
    std::string listingOption_;
};

// ---------------------------------------------------------------------------------------------

template <class OnLine>
void LineAssembler::Emit(std::string_view line, OnLine& onLine) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    onLine(line);
}

template <class OnLine>
void LineAssembler::Feed(std::string_view bytes, OnLine&& onLine) {
    while (!bytes.empty()) {
        const std::size_t lf = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, lf);
        if (!dropping_) {
            if (partial_.size() + piece.size() > kMaxLine) {
                partial_.clear();
                dropping_ = true;
                ++overlong_;
            } else if (lf != std::string_view::npos && partial_.empty()) {
                Emit(piece, onLine);  // the usual case: a whole line inside the piece
            } else {
                partial_.append(piece);
                if (lf != std::string_view::npos) {
                    Emit(partial_, onLine);
                    partial_.clear();
                }
            }
        }
        if (lf == std::string_view::npos) {
            return;
        }
        dropping_ = false;
        bytes.remove_prefix(lf + 1);
    }
}

template <class OnLine>
void LineAssembler::Finish(OnLine&& onLine) {
    if (!dropping_ && !partial_.empty()) {
        Emit(partial_, onLine);
    }
    partial_.clear();
    dropping_ = false;
}

}  // namespace qm
