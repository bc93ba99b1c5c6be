// The picture of the collection on disk: the ROM directories (TPath), the zip archives found
// in them (TFile) and each archive's entries (TZipRom), filled by Scan from the directory
// caches or from the archives' central directories, then matched against the game database.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
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

// Checks run in report mode (the audit: report lines) or in repair mode (changes on disk).
enum class CheckMode { Report, Repair };

using TReportLines = std::vector<std::string>;

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
    bool IsNeeded() const;
    bool HasRightName() const;

    // The checks of audit and repair; each adds its report lines in report mode.
    void AuditEntry(TReportLines& lines);
    void CheckNeededElsewhere(TReportLines& lines, CheckMode mode);
    void CheckNeededElsewhereSpecial(TReportLines& lines, CheckMode mode);
    enum class NameKind { Plain, Complemented };
    void CheckName(TReportLines& lines, CheckMode mode, NameKind kind);
    void CheckNotNeeded(TReportLines& lines, CheckMode mode);
    void CheckUnknown(TReportLines& lines, CheckMode mode);
    void ReportCorrect(TReportLines& lines);
    void ReportCorrectComplemented(TReportLines& lines);
    void ReportCorrectNoGoodDump(TReportLines& lines);

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

    // Audit.
    void AuditName(TReportLines& report, CheckMode mode);
    void AuditRoms(TReportLines& report);

    // Matching.
    void Analyse();
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
    // Takes the lock of every directory first (TDatFile::Lock; throws ELockBusy).
    void Scan(bool refreshCache);
    // Directories the last scan could read.
    std::size_t ScannedPaths() const;

    void Progress(int position, int maximum);
    void StepProgress();
    void ShowText(const std::string& text);

    TPath* WritablePathFor(std::string_view archiveName) const;
    // The ROM directory that is the folder `dir`, however either is spelled; none when it is no
    // ROM directory.
    TPath* PathOf(const std::filesystem::path& dir) const;
    TPath* PathHolding(std::string_view archiveName) const;

    // Matching.
    void AnalyseAll();
    void SetRomStatus();

    // Audit: fills `report` with the findings the options ask for. Throws ECancelClick when
    // CancelRequested is set (checked after each entry).
    void Audit(TReportLines& report);
    void AuditFiles(TReportLines& report, CheckMode mode);
    // Applies the corrupted-file option to an archive; a move or deletion that fails is counted
    // in FailedChanges.
    void HandleCorruptedFile(const std::string& archivePath, const std::string& message);
    // Throws ECancelClick when the user asked to stop an audit or repair in progress. Other runs
    // (a scan at start-up) have no Cancel button and are not stopped by an old request.
    void CheckCancel() const;
    // Whether any archive of that name, in any directory, holds an entry of that name whose
    // CRC is `crc` or its complement.
    bool HasRomInZip(std::string_view archiveName, std::string_view entryName, std::string_view crc) const;
    // The names the archive's own clone (split) or set holds for a CRC or its complement.
    void CollectRightNames(const TFile& file, std::string_view crc);

    const std::vector<std::unique_ptr<TPath>>& Paths() const { return paths_; }
    TGamesList& Games() const { return games_; }
    TDatFile& DirCache() const { return dirCache_; }
    const std::filesystem::path& DataDir() const { return dataDir_; }

    // Events; unset means silent.
    std::function<void(int)> OnProgress;
    std::function<void(const std::string&)> OnMessage;
    std::function<void(const std::string& archivePath, const std::string& message)> OnZipError;
    // Shows the problem lines of a directory to the user (the report window, modally).
    std::function<void(const std::vector<std::string>&)> OnProblemLines;
    // Called before the audit checks an entry; a seam for tests to make a check fail.
    std::function<void(const TZipRom&)> BeforeEntryCheck;

    int ProgressMax = 0;
    int ProgressPos = 0;
    TCheckOptions Options;
    bool SplitMode = false;
    bool SnesMode = false;
    bool NesMode = false;

    LazySortedIndex<TFile, ByFileName> Files;
    LazySortedIndex<TZipRom, ByZipRomName> ZipRomsByName;
    LazySortedIndex<TZipRom, ByZipRomCrc> ZipRomsByCrc;

    std::vector<std::string> ProblemLines;
    // Cache files the last scan had to write and could not.
    int CacheWriteFailures = 0;
    TNamedRomList RightNames;
    std::atomic<bool> CancelRequested{false};
    // Corrupted archives the last audit was asked to move or delete and could not.
    std::size_t FailedChanges = 0;

    // Object storage: entries and archives live until Reset.
    TZipRom* NewZipRom();
    TFile* NewFile();
    // Any change of the model (archives, entries, names) drops what the checks worked out from it.
    void ModelChanged() {
        if (!lackingTargets_.empty()) {
            lackingTargets_.clear();
        }
    }

    // The archives that need a ROM (found by the given CRC) under some name and lack it: the
    // part of the needed-elsewhere check that does not depend on the entry at hand. Every
    // archive holding a widely shared ROM asks the same question, so the answer is kept until
    // the model changes.
    struct LackingTarget {
        std::string NeededName;
        std::string TargetArchive;
        std::string TargetPath;
        bool NeededIsNoGoodDump = false;
    };
    const std::vector<LackingTarget>& TargetsLacking(const TRom& rom, std::string_view crc);

private:
    void ScanDirectory(TPath& path, bool refreshCache, const timespec& scanStart,
                       const std::function<const DirectorySurvey&()>& survey);
    void RecordBadDumps();

    TGamesList& games_;
    TDatFile& dirCache_;
    std::filesystem::path dataDir_;
    std::vector<std::unique_ptr<TPath>> paths_;
    std::deque<TZipRom> romStore_;
    std::deque<TFile> fileStore_;
    std::uint64_t nextSequence_ = 0;
    int lastPercent_ = -1;
    struct LackingKey {
        const TRom* Rom = nullptr;
        std::string Crc;  // of the entry: a ROM found by name or by complement has another one
        bool operator==(const LackingKey&) const = default;
    };
    struct LackingKeyHash {
        std::size_t operator()(const LackingKey& key) const {
            return std::hash<const TRom*>{}(key.Rom) ^ (std::hash<std::string>{}(key.Crc) << 1);
        }
    };
    std::unordered_map<LackingKey, std::vector<LackingTarget>, LackingKeyHash> lackingTargets_;
    bool cancellable_ = false;  // an audit or repair runs
};

}  // namespace qm
