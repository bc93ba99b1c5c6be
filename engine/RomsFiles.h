// The picture of the collection on disk: the ROM directories (TPath), the zip archives found
// in them (TFile) and each archive's entries (TZipRom), filled by Scan from the directory
// caches or from the archives' central directories, then matched against the game database.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "game_db/GamesList.h"
#include "game_db/SortedList.h"
#include "platform/Job.h"
#include "platform/Platform.h"

namespace qm {

class TDatFile;
class TPathsList;
class TRepairDiskAccess;
struct TPath;
struct TFile;
struct TZipRom;

enum class CorruptedAction { Ignore, Move, Delete };
enum class UnknownAction { Ignore, Move, Delete };

// The audit and repair options, with the defaults of their dialogs.
struct TCheckOptions {
    // Audit.
    bool ReportBadZipNames = true;
    bool ReportCorrectNames = false;
    bool ReportCorrectRoms = false;
    bool ReportBadRomNames = true;
    bool ReportNeededElsewhere = true;
    bool ReportNotNeeded = true;
    bool ReportUnknown = true;
    bool ReportNoGoodDump = false;
    bool RefreshCache = false;
    // Repair.
    bool RepairNames = true;
    bool RepairNeededElsewhere = true;
    bool RepairNoGoodDump = true;
    UnknownAction Unknown = UnknownAction::Ignore;
    std::string UnknownPath;
    // Both.
    CorruptedAction Corrupted = CorruptedAction::Ignore;
    std::string CorruptedPath;
    // One archive per clone instead of one per set.
    bool SplitMode = false;
};

struct TZipRom {
    // Entry name as the CRC list or the cache gives it (lower case from a scan; it may hold a
    // directory part) and its CRC-32 as 8 lower-case hexadecimal digits.
    std::string Name;
    std::string Crc;

    // Matching results.
    TRom* CrcRom = nullptr;
    TRom* ComplementRom = nullptr;
    TRom* NameRom = nullptr;
    bool Unknown = false;
    bool SpecialCrc = false;
    std::uint8_t CrcKind = 0;  // 2: CRC 00000000; 1: found by complemented CRC; 0 otherwise

    TFile* ZipFile = nullptr;

    std::string ShortName() const;
    void SetName(std::string_view newName);
    // Does the archive's own clone (split) or set need this entry?
    bool IsNeeded() const;
    bool HasRightName() const;

    // Bookkeeping of the owner's lazily sorted indexes.
    std::uint64_t Sequence = 0;
    bool Removed = false;
};

struct ByZipRomCrc {
    std::string_view operator()(const TZipRom* r) const { return r->Crc; }
};
using TZipRomsList = SortedList<TZipRom*, ByZipRomCrc, Duplicates::Keep>;

struct TFile {
    bool Analysed = false;
    // The archive's file name as it is on disk (for example PacMan.zip); it is recognised by
    // its lower-case base name and reached by its real path.
    std::string Name;
    bool Modified = false;
    TZipRomsList Roms;  // by CRC text
    TPath* Dir = nullptr;
    TClone* Clone = nullptr;
    bool DuplicateName = false;

    TZipRom* AddRom(std::string_view name, std::string_view crc);
    void RemoveRom(TZipRom* entry);
    std::string FullName() const;
    // Renames the archive in the model only (not on a read-only medium, not onto a name the
    // directory already holds); gives whether it did.
    bool SetName(std::string_view newName);
    // The last entry whose Name equals `name` exactly.
    TZipRom* FindRom(std::string_view name) const;
    int IndexOfName(std::string_view name) const;

    // Matching.
    void Analyse();
    // Analyse, for an archive analysed under its present name whose entries and selection have
    // not changed since: only what the other archives decide (DuplicateName) is taken again.
    // Gives false, doing nothing, when the archive was not analysed so.
    bool ReanalyseDuplicateName();
    TClone* CloneOfFile() const;
    TGame* GameOfFile() const;
    std::string RightName() const;
    TPath* PreferredPath() const;

    // Bookkeeping of the owner's lazily sorted index.
    std::uint64_t Sequence = 0;
    bool Removed = false;

private:
    friend struct TZipRom;
    TGamesList& Games() const;
    friend class TPathsList;
    // CloneOfFile / GameOfFile as of the last Analyse, for the name it was run with.
    std::string analysedName_;
    TClone* cloneOfFile_ = nullptr;
    TGame* gameOfFile_ = nullptr;
};

struct TPath {
    // The directory as configured, ending with '/'.
    std::string Path;
    bool ReadOnly = false;
    TPathsList* Owner = nullptr;

    // Archives in the order they were found; looked up by exact name.
    const std::vector<TFile*>& Files() const {
        // Removals only mark their archive: removing thousands one by one from the middle of
        // a large directory would move the list each time.
        if (removed_ > 0) {
            std::erase_if(files_, [](const TFile* file) { return file->Removed; });
            removed_ = 0;
        }
        return files_;
    }
    TFile* FindFile(std::string_view archiveName) const;
    TFile* FindOrAddFile(std::string_view archiveName);
    void RemoveFile(TFile* file);

    // The last scan could read the directory (it exists, is a directory and could be listed).
    bool Scanned = false;

private:
    friend struct TFile;
    friend class TPathsList;
    // Archives in directory order, after a scan added some out of order.
    void SortFiles();
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    mutable std::vector<TFile*> files_;
    mutable std::size_t removed_ = 0;
    std::unordered_map<std::string, TFile*, NameHash, std::equal_to<>> byName_;
};

// A list of objects kept in key order, sorted when it is read after changes: a repair adds and
// removes thousands of entries among hundreds of thousands, and nothing reads the order in
// between. Equal keys come newest first.
template <class T, class KeyOf>
class LazySortedIndex {
public:
    void Add(T* item) {
        items_.push_back(item);
        ++live_;
        sorted_ = false;
    }
    // The item must be marked Removed by the caller; it disappears at the next sort.
    void Remove(T*) {
        --live_;
        sorted_ = false;
    }
    void KeyChanged() { sorted_ = false; }
    void Clear() {
        items_.clear();
        live_ = 0;
        sorted_ = true;
    }
    std::size_t size() const { return live_; }
    const std::vector<T*>& Sorted() const {
        if (!sorted_) {
            Sort();
        }
        return items_;
    }
    // Items of one key, newest first.
    std::pair<typename std::vector<T*>::const_iterator, typename std::vector<T*>::const_iterator> EqualRange(
        std::string_view key) const {
        const auto& items = Sorted();
        auto lo = std::lower_bound(items.begin(), items.end(), key, [](const T* item, std::string_view k) {
            return CompareFolded(KeyOf{}(item), k) < 0;
        });
        auto hi = std::upper_bound(lo, items.end(), key, [](std::string_view k, const T* item) {
            return CompareFolded(k, KeyOf{}(item)) < 0;
        });
        return {lo, hi};
    }

private:
    void Sort() const {
        std::erase_if(items_, [](const T* item) { return item->Removed; });
        // Sort (prefix, key, item) slots: the first eight folded bytes decide most comparisons
        // without touching the items.
        struct Slot {
            std::uint64_t Prefix;
            std::string_view Key;
            T* Item;
        };
        std::vector<Slot> slots;
        slots.reserve(items_.size());
        for (T* item : items_) {
            const std::string_view key = KeyOf{}(item);
            slots.push_back(Slot{FoldedPrefix(key), key, item});
        }
        std::sort(slots.begin(), slots.end(), [](const Slot& a, const Slot& b) {
            if (a.Prefix != b.Prefix) {
                return a.Prefix < b.Prefix;
            }
            const int c = CompareFolded(a.Key, b.Key);
            return c != 0 ? c < 0 : a.Item->Sequence > b.Item->Sequence;
        });
        for (std::size_t i = 0; i < slots.size(); ++i) {
            items_[i] = slots[i].Item;
        }
        sorted_ = true;
    }

    mutable std::vector<T*> items_;
    mutable bool sorted_ = true;
    std::size_t live_ = 0;
};

struct ByFileName {
    std::string_view operator()(const TFile* f) const { return f->Name; }
};
struct ByZipRomName {
    std::string_view operator()(const TZipRom* r) const { return r->Name; }
};

// An archive a scan could not read: its path and the reader's message. The audit and the repair
// hand it to the corrupted-file handling as the scan meets it.
using UnreadableArchiveHandler = std::function<void(const std::string& archivePath, const std::string& message)>;

class TPathsList {
public:
    TPathsList(TGamesList& games, TDatFile& dirCache, std::filesystem::path dataDir);
    ~TPathsList();
    TPathsList(const TPathsList&) = delete;
    TPathsList& operator=(const TPathsList&) = delete;

    // Adds a ROM directory (a second entry for the same directory is ignored; it would show
    // every archive twice). Gives the directory.
    TPath* AddPath(const std::string& path);
    void Reset(bool keepPaths);
    // Scans every directory: from its cache file, checked against the directory (archives gone
    // are dropped, archives new or changed since the cache was written are read), or, with
    // refreshCache or without a cache, from every archive. Writes a cache whenever it differs.
    // Takes the lock of every directory first (TDatFile::Lock; throws ELockBusy). Problem lines
    // (unreadable archives and directories, caches not written) go to the job as they are met;
    // the job's cancel is polled per archive (ECancelClick: the picture is then part-built, and
    // the caller scans again).
    void Scan(bool refreshCache, Job& job, const UnreadableArchiveHandler& onUnreadable = {});
    // Directories the last scan could read.
    std::size_t ScannedPaths() const;
    // Cache files the last scan had to write and could not.
    int CacheWriteFailures = 0;

    TPath* WritablePathFor(std::string_view archiveName) const;
    // The ROM directory that is the folder `dir`, however either is spelled; none when it is no
    // ROM directory.
    TPath* PathOf(const std::filesystem::path& dir) const;
    TPath* PathHolding(std::string_view archiveName) const;
    // Whether any archive of that name, in any directory, holds an entry of that name whose
    // CRC is `crc` or its complement.
    bool HasRomInZip(std::string_view archiveName, std::string_view entryName, std::string_view crc) const;

    // Matching.
    void AnalyseAll(Job& job);
    void SetRomStatus();

    const std::vector<std::unique_ptr<TPath>>& Paths() const { return paths_; }
    TGamesList& Games() const { return games_; }
    TDatFile& DirCache() const { return dirCache_; }
    const std::filesystem::path& DataDir() const { return dataDir_; }

    bool SplitMode = false;
    bool SnesMode = false;
    bool NesMode = false;

    LazySortedIndex<TFile, ByFileName> Files;
    LazySortedIndex<TZipRom, ByZipRomName> ZipRomsByName;
    LazySortedIndex<TZipRom, ByZipRomCrc> ZipRomsByCrc;

    // Object storage: entries and archives live until Reset.
    TZipRom* NewZipRom();
    TFile* NewFile();
    // Any change of the model (archives, entries, names) makes a new generation: what the checks
    // worked out from an older one no longer holds.
    void ModelChanged() { ++generation_; }
    std::uint64_t Generation() const { return generation_; }

private:
    void ScanDirectory(TPath& path, bool refreshCache, const timespec& scanStart,
                       const std::function<const DirectorySurvey&()>& survey, Job& job,
                       const UnreadableArchiveHandler& onUnreadable);
    void RecordBadDumps(Job& job);

    TGamesList& games_;
    TDatFile& dirCache_;
    std::filesystem::path dataDir_;
    std::vector<std::unique_ptr<TPath>> paths_;
    std::deque<TZipRom> romStore_;
    std::deque<TFile> fileStore_;
    std::uint64_t nextSequence_ = 0;
    std::uint64_t generation_ = 0;
};

}  // namespace qm
