// The game database: the sets, clones and ROMs of one datafile and the status of each against
// the scanned collection. ROMs are shared by CRC, so a ROM used by many clones is matched and
// counted once.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "game_db/CrcHashIndex.h"
#include "game_db/SortedList.h"
#include "platform/Job.h"

namespace qm {

class TGamesList;
struct TGame;
struct TClone;
struct TRom;

enum RomStatus : std::uint8_t { rsMissing = 0, rsPresent = 2 };

inline constexpr std::string_view kNoGoodDumpCrc = "00000000";
inline constexpr std::string_view kPlaceholderCrc = "        ";

using TClonesList = SortedList<TClone*, ByName, Duplicates::Ignore>;

struct ByCrc {
    std::string_view operator()(const TRom* rom) const;
};
using TCrcList = SortedList<TRom*, ByCrc, Duplicates::Ignore>;

struct TRom {
    std::uint8_t Status = rsMissing;
    bool NoGoodDump = false;
    std::int32_t Size = 0;
    std::string Crc;
    TClonesList Clones;
    // Scratch mark of the selection walk (a generation number, so it never needs clearing).
    std::uint32_t SelectionMark = 0;
    // Position of this ROM's CRC in RomsByCrc; lets the selection be built without sorting.
    std::uint32_t CrcRank = 0;
};

inline std::string_view ByCrc::operator()(const TRom* rom) const {
    return rom->Crc;
}

// One line of a clone's ROM list: the file name the clone expects for a ROM.
struct TRomEntry {
    std::string Name;
    bool NoGoodDump = false;
    bool Own = false;
    TRom* Rom = nullptr;
};

struct ByEntryName {
    std::string_view operator()(const TRomEntry& e) const { return e.Name; }
};

class TRomsList : public SortedList<TRomEntry, ByEntryName, Duplicates::Ignore> {
public:
    TRom* GetRom(std::size_t i) const { return (*this)[i].Rom; }
    bool IsOwnRom(std::size_t i) const { return (*this)[i].Own; }
    int IndexOfRom(const TRom* rom) const;
};

// Name -> ROM lists built by the collection operations.
struct NamedRom {
    std::string Name;
    TRom* Rom = nullptr;
};
struct ByNamedRom {
    std::string_view operator()(const NamedRom& n) const { return n.Name; }
};
using TNamedRomList = SortedList<NamedRom, ByNamedRom, Duplicates::Ignore>;
using TNoGoodDumpList = SortedList<NamedRom, ByNamedRom, Duplicates::Keep>;

// Name -> set: the names under which the collection needs a CRC.
struct NamedGame {
    std::string Name;
    TGame* Game = nullptr;
};
struct ByNamedGame {
    std::string_view operator()(const NamedGame& n) const { return n.Name; }
};
using TNeededNamesList = SortedList<NamedGame, ByNamedGame, Duplicates::Keep>;

// Name -> clone, in the order found.
struct NamedClone {
    std::string Name;
    TClone* Clone = nullptr;
};
using TNeedingClonesList = std::vector<NamedClone>;

struct TClone {
    std::string Name;
    std::string Description;
    bool Complete = false;
    bool HasPresentRom = false;
    bool HasNoGoodDump = false;
    TRomsList Roms;
    TGame* Game = nullptr;

    TRom* FindCloneRom(std::string_view romName) const;
    // With the database's merged view on, only entries the clone owns count.
    TRom* FindCloneRomByCrc(std::string_view crc) const;
    // Appends name -> ROM for every entry whose ROM has the CRC or its complement.
    void CollectMatchingRoms(TNamedRomList& list, std::string_view crc) const;
};

struct TGame {
    std::string Name;
    std::string Description;
    bool Complete = false;
    bool HasCompleteClone = false;
    bool HasPresentRom = false;
    bool HasNoGoodDump = false;
    bool NeoGeo = false;
    TClonesList Clones;
    TGamesList* Owner = nullptr;
    // Some clone of the set lists a ROM flagged NoGoodDump: only then can a lookup by name for
    // such a ROM succeed, which the matching does for every archive entry.
    bool MayHoldNoGoodDumpRom = false;

    TRom* FindRomByName(std::string_view romName) const;
    TRom* FindRomByCrc(std::string_view crc) const;
    void CollectRoms(TNamedRomList& list) const;
    // Clears the list, then name -> ROM for every entry of every clone whose ROM has the CRC or
    // its complement.
    void CollectMatchingRoms(TNamedRomList& list, std::string_view crc) const;
};

using TGamesIndex = SortedList<TGame*, ByName, Duplicates::Ignore>;

class TGamesList {
public:
    TGamesList();
    TGamesList(const TGamesList&) = delete;
    TGamesList& operator=(const TGamesList&) = delete;

    void Clear();

    // Sets (the database's own list), by name.
    const TGamesIndex& Games() const { return games_; }
    TGame* FindGame(std::string_view name) const;
    TClone* FindClone(std::string_view name) const;
    // The ROM RomsByCrc holds for a CRC, and the one SelectedRoms holds (hashed lookups).
    TRom* FindRom(std::string_view crc) const;
    TRom* FindSelectedRom(std::string_view crc) const;
    // RomsByCrc (and so SelectedRoms) was changed: rebuild the hashed lookups on next use.
    void CrcListsChanged();
    // SelectedRoms was refilled.
    void SelectedRomsChanged() { selectedRomsHashValid_ = false; }

    // Status.
    void ResetRomStatus();
    RomStatus EffectiveStatus(const TRom& rom) const;
    bool CountsPresent(const TRom& rom) const { return EffectiveStatus(rom) == rsPresent; }
    void ComputeStatus();
    void MarkRomPresent(std::string_view zipPath, std::string_view romName, std::string_view crc);
    // The same for an archive whose clone (CloneOfZip of its path) the caller already knows.
    void MarkRomPresentIn(TClone* cloneOfZip, std::string_view romName, std::string_view crc);

    // Lookups.
    TClone* CloneOfZip(std::string_view zipPath) const;
    TGame* GameOfZip(std::string_view zipPath) const;
    bool FindByComplementedCrc(std::string_view zipPath, std::string_view romName, std::string_view crc, TRom*& rom);
    bool FindByComplementedCrcIn(TClone* cloneOfZip, std::string_view romName, std::string_view crc, TRom*& rom);
    void NamesForCrc(std::string_view zipPath, std::string_view romName, TNeededNamesList& list, std::string_view crc);
    void ClonesNeedingRom(const TRom& rom, TNeedingClonesList& list) const;

    // Building. Between BeginBuild and EndBuild (a whole listing turned into a database) the
    // builder operations find sets, clones and ROMs through hash tables and file them unsorted;
    // EndBuild sorts every list once. Only the builder operations and FindGame, FindClone and
    // FindRom may be used meanwhile. Sorted insertion one by one would cost quadratic time on a
    // listing that is not in name order.
    void BeginBuild();
    void EndBuild();
    TGame* FindOrAddGame(std::string_view name, std::string_view description);
    TClone* FindOrAddClone(TGame* game, std::string_view name, std::string_view description);
    TRom* AddRom(TClone* clone, std::string_view crc, std::string_view romName, bool own, std::int32_t size);
    static void AddRomEntry(TRomsList& roms, std::string_view name, bool noGoodDump, TRom* rom, bool own);
    // A set made outside the database's lists (the scanner's scratch set); owned by the database.
    TGame* NewDetachedGame(std::string_view name, std::string_view description);

    // Loads the game section of a datafile. On a file without a "[games]" line nothing is
    // touched, `badFormat` is set and false is returned; an unreadable file throws EFileError.
    struct LoadResult {
        bool BadFormat = false;
        std::size_t SkippedLines = 0;  // blank or malformed lines of the game section
    };
    // The load reports its status, its progress by bytes read and, about fifty times, the counts
    // of sets, clones and ROMs read so far; it stops with ECancelClick when the job is cancelled
    // (the database is then empty).
    LoadResult LoadDatafileBytes(std::string_view bytes, Job& job = SilentJob());
    LoadResult LoadDatafileFile(const std::filesystem::path& file, Job& job);

    bool SplitMode = false;
    bool MergedView = false;
    // Mirrors the smart list's choice to hide no-good-dump ROMs (they then count as present).
    bool HideNoGoodDump = false;
    std::string EmulatorTitle;
    std::string BaseDir;
    std::string EmulatorDir;
    std::string EmulatorExe;

    TClonesList AllClones;
    TGamesIndex SelectedSets;
    TClonesList SelectedClones;
    TCrcList RomsByCrc;
    TCrcList SelectedRoms;
    TNoGoodDumpList NoGoodDumpRoms;

    // Recomputes TGame::MayHoldNoGoodDumpRom after ROMs were flagged NoGoodDump in bulk (loading,
    // building).
    void NoGoodDumpFlagsChanged();

    // Generation for TRom::SelectionMark.
    std::uint32_t NextSelectionMark() { return ++selectionGeneration_; }
    // Makes every ROM's CrcRank current.
    void UpdateCrcRanks();

private:
    void ReportCounts(Job& job) const;
    TGame* NewGame(std::string_view name, std::string_view description);
    TClone* NewClone(TGame* game, std::string_view name, std::string_view description);
    TRom* NewRom(std::string_view crc, std::int32_t size);

    TGamesIndex games_;
    std::deque<TGame> gameStore_;
    std::deque<TClone> cloneStore_;
    std::deque<TRom> romStore_;
    std::uint32_t selectionGeneration_ = 0;
    bool crcRanksValid_ = false;
    mutable CrcHashIndex<TRom> romsByCrcHash_;
    mutable CrcHashIndex<TRom> selectedRomsHash_;
    mutable bool romsByCrcHashValid_ = false;
    mutable bool selectedRomsHashValid_ = false;

    struct BuildIndex {
        std::unordered_map<std::string_view, TGame*> Games;
        std::unordered_map<std::string_view, TClone*> Clones;
        // BIOS ROM names already filed under "neogeo".
        std::set<std::string, std::less<>> BiosRoms;
    };
    std::unique_ptr<BuildIndex> build_;
};

}  // namespace qm
