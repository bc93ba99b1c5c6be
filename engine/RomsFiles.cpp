#include "engine/RomsFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <future>
#include <limits>
#include <numeric>
#include <optional>
#include <thread>
#include <unordered_set>

#include "archive/crc32.h"
#include "engine/DatFileUnit.h"
#include "engine/FilesTools.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"
#include "platform/TempFiles.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

bool IsDirectoryEntryName(std::string_view name) {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TZipRom, TFile, TPath

std::string TZipRom::ShortName() const {
    return FileNameOfPath(Name);
}

void TZipRom::SetName(std::string_view newName) {
    Name = newName;
    ZipFile->Dir->Owner->ZipRomsByName.KeyChanged();
    ZipFile->Dir->Owner->ModelChanged();
}

TZipRom* TFile::AddRom(std::string_view name, std::string_view crc) {
    TPathsList& owner = *Dir->Owner;
    TZipRom* entry = owner.NewZipRom();
    entry->Name = name;
    entry->Crc = LowerCase(crc);
    entry->ZipFile = this;
    Roms.Add(entry);
    owner.ZipRomsByName.Add(entry);
    owner.ZipRomsByCrc.Add(entry);
    owner.ModelChanged();
    Analysed = false;
    return entry;
}

void TFile::RemoveRom(TZipRom* entry) {
    TPathsList& owner = *Dir->Owner;
    entry->Removed = true;
    Analysed = false;
    owner.ModelChanged();
    owner.ZipRomsByName.Remove(entry);
    owner.ZipRomsByCrc.Remove(entry);
    for (std::size_t i = 0; i < Roms.size(); ++i) {
        if (Roms[i] == entry) {
            Roms.RemoveAt(i);
            break;
        }
    }
}

std::string TFile::FullName() const {
    return Dir->Path + Name;
}

bool TFile::SetName(std::string_view newName) {
    if (Dir->ReadOnly || Dir->FindFile(newName) != nullptr) {
        return false;
    }
    Dir->byName_.erase(Name);
    Name = newName;
    Dir->byName_.emplace(Name, this);
    Dir->Owner->Files.KeyChanged();
    Dir->Owner->ModelChanged();
    return true;
}

TZipRom* TFile::FindRom(std::string_view name) const {
    for (std::size_t i = Roms.size(); i-- > 0;) {
        if (Roms[i]->Name == name) {
            return Roms[i];
        }
    }
    return nullptr;
}

int TFile::IndexOfName(std::string_view name) const {
    for (std::size_t i = 0; i < Roms.size(); ++i) {
        if (Roms[i]->Name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TGamesList& TFile::Games() const {
    return Dir->Owner->Games();
}

TFile* TPath::FindFile(std::string_view archiveName) const {
    const auto it = byName_.find(archiveName);
    return it == byName_.end() ? nullptr : it->second;
}

TFile* TPath::FindOrAddFile(std::string_view archiveName) {
    if (TFile* file = FindFile(archiveName)) {
        return file;
    }
    TFile* file = Owner->NewFile();
    file->Name = archiveName;
    file->Dir = this;
    files_.push_back(file);
    byName_.emplace(file->Name, file);
    Owner->Files.Add(file);
    Owner->ModelChanged();
    return file;
}

void TPath::RemoveFile(TFile* file) {
    file->Removed = true;
    Owner->Files.Remove(file);
    while (!file->Roms.empty()) {
        file->RemoveRom(file->Roms[file->Roms.size() - 1]);
    }
    ++removed_;
    byName_.erase(file->Name);
    Owner->ModelChanged();
}

namespace {

// The CRC lists of a directory's archives, read by all cores a chunk at a time: reading
// central directories is the slow part of a scan, each archive's listing is independent of the
// others, and the scan then takes the chunk's listings in order on its own thread.
class ArchiveLister {
public:
    struct Listed {
        std::vector<TCrcItem> Items;
        bool ZipError = false;  // the archive cannot be listed: no items
        std::string Message;    // of ZipError, of another failure after some items, or a warning
        bool Partial = false;   // a failure after some items: the listing is not the whole archive
    };

    // Listings held at once: bounds the memory of a very large directory.
    static constexpr std::size_t kChunk = 4096;

    ArchiveLister(std::string directory, const std::vector<std::string>& names, bool snesMode, bool nesMode)
        : directory_(std::move(directory)),
          names_(names),
          snesMode_(snesMode),
          nesMode_(nesMode),
          workers_(std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), 4)),
          lists_(workers_) {}

    // Lists archives [first, first + count) and gives their listings, in order.
    std::vector<Listed>& ListChunk(std::size_t first, std::size_t count) {
        chunk_.assign(count, Listed{});
        std::atomic<std::size_t> next{0};
        auto work = [&](TCrc32& crcList) {
            for (std::size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
                List(first + i, crcList, chunk_[i]);
            }
        };
        // Small chunks are not worth a thread.
        const std::size_t helpers = count < 64 ? 0 : workers_ - 1;
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < helpers; ++t) {
            threads.emplace_back([&, t] { work(lists_[t + 1]); });
        }
        work(lists_[0]);
        for (std::thread& thread : threads) {
            thread.join();
        }
        return chunk_;
    }

private:
    void List(std::size_t index, TCrc32& crcList, Listed& listed) const {
        crcList.FileName = directory_ + names_[index];
        crcList.SizeHeader = snesMode_;
        crcList.FixedHeader16 = nesMode_;
        crcList.LookInZip = true;
        crcList.SkipTextFiles = false;
        crcList.Clear();
        try {
            crcList.Build();
        } catch (const ECrcZipError& e) {
            listed.ZipError = true;
            listed.Message = e.what();
            return;
        } catch (const std::exception& e) {
            listed.Message = e.what();
            listed.Partial = true;
        }
        if (listed.Message.empty()) {
            listed.Message = crcList.Warning;  // a problem line; the archive is scanned all the same
        }
        listed.Items = crcList.ItemList();
    }

    const std::string directory_;
    const std::vector<std::string>& names_;
    const bool snesMode_;
    const bool nesMode_;
    const std::size_t workers_;
    std::vector<TCrc32> lists_;  // one per thread, reused: each holds its zip reader's buffers
    std::vector<Listed> chunk_;
};

// A directory's cache file as the scan took it in.
struct CacheSnapshot {
    fs::path FileName;
    std::unique_ptr<MappedFile> File;
    timespec Written{};            // the file's modification time: the archives matched it then
    std::string_view Body;         // the lines after the header
    std::string_view LastArchive;  // the archive of the last line
    std::string_view LastRun;      // the last lines, all of LastArchive
};

// Reads a cache file into the model of its directory. Every line is checked as it is read: a
// cache with one line that no scan writes (a path for an archive name, an entry name leaving its
// folder, a damaged CRC, a line cut short) is thrown away whole, with what it had added.
// `directoryLine` is the line 2 the file must hold (caches in the data directory), or none.
// Archives listed with directory entries only are added to `bareArchives`.
std::optional<CacheSnapshot> LoadCache(TPath& path, const fs::path& cacheFile, const std::string* directoryLine,
                                       std::unordered_set<std::string_view>& bareArchives, Job& job) {
    struct stat st {};
    if (::stat(cacheFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    CacheSnapshot snapshot;
    snapshot.FileName = cacheFile;
    // Taken before the content: were the file replaced in between, the older time only makes
    // more archives read again.
    snapshot.Written = st.st_mtim;
    try {
        snapshot.File = std::make_unique<MappedFile>(cacheFile);
    } catch (const EFileError&) {
        return std::nullopt;
    }
    const std::string_view bytes = snapshot.File->Bytes();
    ProgressMeter progress(job, bytes.size());
    auto damaged = [&] {
        const std::vector<TFile*> added = path.Files();
        for (TFile* shown : added) {
            path.RemoveFile(shown);
        }
        bareArchives.clear();
        return std::nullopt;
    };
    std::size_t lineNumber = 0;
    std::size_t bodyStart = bytes.size();
    std::size_t runStart = bytes.size();
    std::string_view archive;  // of the line before, already checked
    TFile* archiveFile = nullptr;
    LineReader reader(bytes);
    for (std::string_view line; reader.Next(line);) {
        ++lineNumber;
        if (lineNumber <= 2) {
            const bool expected =
                lineNumber == 1 ? line == kCacheVersion : directoryLine == nullptr || line == *directoryLine;
            if (!expected) {
                return std::nullopt;
            }
            bodyStart = reader.Position();
            continue;
        }
        progress.Set(reader.Position());
        const auto fields = SplitCacheLine(line);
        if (!fields || !IsCacheableEntryName(fields->Entry)) {
            return damaged();
        }
        if (fields->Archive != archive) {
            if (!IsCacheableArchiveName(fields->Archive)) {
                return damaged();
            }
            archive = fields->Archive;
            runStart = static_cast<std::size_t>(line.data() - bytes.data());
            archiveFile = nullptr;
        }
        if (IsDirectoryEntryName(fields->Entry)) {
            bareArchives.insert(fields->Archive);
            continue;
        }
        if (archiveFile == nullptr) {
            archiveFile = path.FindOrAddFile(fields->Archive);
        }
        archiveFile->AddRom(fields->Entry, fields->Crc);
    }
    if (lineNumber < 2) {
        return std::nullopt;
    }
    snapshot.Body = bytes.substr(bodyStart);
    snapshot.LastArchive = archive;
    snapshot.LastRun = bytes.substr(std::min(runStart, bytes.size()));
    std::erase_if(bareArchives, [&](std::string_view name) { return path.FindFile(name) != nullptr; });
    return snapshot;
}

// A name as a problem line can show it: control bytes escaped, so that a line break in a name
// does not break the line.
std::string Visible(std::string_view name) {
    std::string out;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\r') {
            out += "\\r";
        } else if (b == '\n') {
            out += "\\n";
        } else if (b < 0x20 || b == 0x7F) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

// Why an archive's listing cannot go into a cache line, or nothing when it can.
std::string UncacheableName(std::string_view archiveName, const std::vector<TCrcItem>& items) {
    if (!IsCacheableArchiveName(archiveName)) {
        return "its name cannot be kept in the directory cache";
    }
    for (const TCrcItem& item : items) {
        if (!IsCacheableEntryName(item.Name)) {
            return "entry \"" + Visible(item.Name) + "\" cannot be kept in the directory cache";
        }
    }
    return {};
}

// Whether an archive's cache lines list exactly these entries.
bool SameEntries(const std::vector<std::string_view>& lines, const std::vector<TCrcItem>& items) {
    if (lines.size() != items.size()) {
        return false;
    }
    for (std::size_t n = 0; n < items.size(); ++n) {
        const auto fields = SplitCacheLine(lines[n]);
        if (!fields || fields->Entry != items[n].Name || fields->Crc != items[n].Crc) {
            return false;
        }
    }
    return true;
}

}  // namespace

void TPath::SortFiles() {
    Files();
    std::stable_sort(files_.begin(), files_.end(),
                     [](const TFile* a, const TFile* b) { return FoldedLess(a->Name, b->Name); });
}

// ---------------------------------------------------------------------------------------------
// TPathsList

TPathsList::TPathsList(TGamesList& games, TDatFile& dirCache, fs::path dataDir)
    : games_(games), dirCache_(dirCache), dataDir_(std::move(dataDir)) {}

TPathsList::~TPathsList() = default;

TZipRom* TPathsList::NewZipRom() {
    TZipRom& rom = romStore_.emplace_back();
    rom.Sequence = ++nextSequence_;
    return &rom;
}

TFile* TPathsList::NewFile() {
    TFile& file = fileStore_.emplace_back();
    file.Sequence = ++nextSequence_;
    return &file;
}

TPath* TPathsList::AddPath(const std::string& path) {
    const std::string normal = WithTrailingSlash(fs::path(path).lexically_normal().string());
    for (const auto& existing : paths_) {
        if (existing->Path == normal) {
            return existing.get();
        }
    }
    auto entry = std::make_unique<TPath>();
    entry->Path = normal;
    entry->ReadOnly = IsReadOnlyMedium(normal);
    entry->Owner = this;
    paths_.push_back(std::move(entry));
    return paths_.back().get();
}

void TPathsList::Reset(bool keepPaths) {
    std::vector<std::string> kept;
    if (keepPaths) {
        for (const auto& path : paths_) {
            kept.push_back(path->Path);
        }
    }
    Files.Clear();
    ZipRomsByName.Clear();
    ZipRomsByCrc.Clear();
    ModelChanged();
    paths_.clear();
    romStore_.clear();
    fileStore_.clear();
    for (const std::string& path : kept) {
        AddPath(path);
    }
}

TPath* TPathsList::WritablePathFor(std::string_view archiveName) const {
    TPath* firstWritable = nullptr;
    for (const auto& path : paths_) {
        if (path->ReadOnly) {
            continue;
        }
        if (path->FindFile(archiveName) != nullptr) {
            return path.get();
        }
        if (firstWritable == nullptr) {
            firstWritable = path.get();
        }
    }
    return firstWritable;
}

TPath* TPathsList::PathOf(const fs::path& dir) const {
    for (const auto& path : paths_) {
        std::error_code ec;
        if (fs::equivalent(path->Path, dir, ec)) {
            return path.get();
        }
    }
    return nullptr;
}

TPath* TPathsList::PathHolding(std::string_view archiveName) const {
    for (const auto& path : paths_) {
        if (path->ReadOnly && path->FindFile(archiveName) != nullptr) {
            return path.get();
        }
    }
    for (const auto& path : paths_) {
        if (path->FindFile(archiveName) != nullptr) {
            return path.get();
        }
    }
    for (const auto& path : paths_) {
        if (!path->ReadOnly) {
            return path.get();
        }
    }
    return nullptr;
}

bool TPathsList::HasRomInZip(std::string_view archiveName, std::string_view entryName, std::string_view crc) const {
    const std::string complement = ComplementForLookup(crc);
    // By directory: the sorted list of every archive would be sorted again after each change a
    // repair makes.
    for (const auto& path : paths_) {
        const TFile* file = path->FindFile(archiveName);
        if (file == nullptr) {
            continue;
        }
        for (const TZipRom* entry : file->Roms) {
            if (entry->Name == entryName && (entry->Crc == crc || (!complement.empty() && entry->Crc == complement))) {
                return true;
            }
        }
    }
    return false;
}

void TPathsList::RecordBadDumps(Job& job) {
    // Marking the found ROMs present is redone from the matching results at the end of the
    // scan; what lasts of this step is that a CRC which is the complement of a datafile CRC is
    // recorded as that ROM's known bad dump. Those entries are few: they are found by hash
    // lookups, then recorded in the order of the entries' CRC text.
    std::vector<TZipRom*> badDumps;
    ProgressMeter progress(job, ZipRomsByCrc.size());
    for (const auto& path : paths_) {
        for (TFile* file : path->Files()) {
            for (TZipRom* entry : file->Roms) {
                progress.Step();
                const std::string complement = ComplementForLookup(entry->Crc);
                if (!complement.empty() && games_.FindRom(complement) != nullptr) {
                    badDumps.push_back(entry);
                }
            }
        }
    }
    std::sort(badDumps.begin(), badDumps.end(), [](const TZipRom* a, const TZipRom* b) {
        const int c = CompareFolded(a->Crc, b->Crc);
        return c != 0 ? c < 0 : a->Sequence > b->Sequence;
    });
    for (const TZipRom* entry : badDumps) {
        TClone* cloneOfZip = games_.CloneOfZip(entry->ZipFile->Name);
        games_.MarkRomPresentIn(cloneOfZip, entry->Name, entry->Crc);
    }
}

void TPathsList::Scan(bool refreshCache, Job& job, const UnreadableArchiveHandler& onUnreadable) {
    dirCache_.Reset();
    Reset(true);
    job.Status("Reading current roms files ...");
    job.Progress(0, 100);
    CacheWriteFailures = 0;
    // From the survey of a directory to the writing of its cache (and to the end of the command,
    // with KeepLocks), no other Quillmark process may change its archives or its cache.
    struct Unlock {
        TDatFile& cache;
        ~Unlock() { cache.ReleaseLocks(); }
    } unlock{dirCache_};
    for (const auto& path : paths_) {
        dirCache_.Lock(path->Path);
    }
    // Taken before any archive is looked at: an archive that changes after this time carries a
    // later time, and a cache written by this scan says it was true as of this time.
    const timespec scanStart = FileClockNow();
    // Archive times are needed only to check a cache; a directory read whole needs names only.
    std::vector<std::pair<std::string, bool>> directories;
    for (const auto& path : paths_) {
        std::error_code ec;
        const bool hasCache =
            !refreshCache && (path->ReadOnly || fs::exists(fs::path(path->Path) / kCacheFileName, ec));
        directories.emplace_back(path->Path, hasCache);
    }
    // The directories are enumerated and their archives' times taken on another thread while
    // this one reads the first cache file and fills the model from it: on a large directory that
    // hides most of what the check costs.
    auto pending = std::async(std::launch::async, [directories] {
        std::vector<DirectorySurvey> surveys;
        surveys.reserve(directories.size());
        for (const auto& [dir, withTimes] : directories) {
            // Checking a cache needs no order; reading a whole directory goes in its order.
            surveys.push_back(SurveyDirectory(dir, "*.zip", withTimes, !withTimes));
            // Left by a killed run: the writers of live ones hold their locks.
            RemoveStaleTempFiles(dir, surveys.back().TempFiles);
        }
        return surveys;
    });
    std::vector<DirectorySurvey> surveys;
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        ScanDirectory(
            *paths_[i], refreshCache, scanStart,
            [&]() -> const DirectorySurvey& {
                if (pending.valid()) {
                    surveys = pending.get();
                }
                return surveys[i];
            },
            job, onUnreadable);
    }

    job.Status("Adding roms to the database ...");
    RecordBadDumps(job);
    dirCache_.Reset();
    job.Status("Analysing roms ...");
    AnalyseAll(job);
    SetRomStatus();
}

std::size_t TPathsList::ScannedPaths() const {
    return static_cast<std::size_t>(
        std::count_if(paths_.begin(), paths_.end(), [](const auto& path) { return path->Scanned; }));
}

void TPathsList::ScanDirectory(TPath& path, bool refreshCache, const timespec& scanStart,
                               const std::function<const DirectorySurvey&()>& survey, Job& job,
                               const UnreadableArchiveHandler& onUnreadable) {
    path.Scanned = false;

    // The cache, unless a refresh throws it away; either way its file stays until a new one
    // replaces it whole.
    std::optional<CacheSnapshot> cached;
    // Archives the cache lists with directory entries only: listed, though not in the model.
    std::unordered_set<std::string_view> bareArchives;
    if (!refreshCache) {
        const fs::path file =
            path.ReadOnly ? FindDataDirCache(dataDir_, path.Path) : fs::path(path.Path) / std::string(kCacheFileName);
        if (!file.empty()) {
            const std::string parent = file.parent_path().string();
            job.Status(parent.size() > 45 ? "Reading ..." + RightStr(path.Path, 42) : "Reading " + path.Path);
            cached = LoadCache(path, file, path.ReadOnly ? &path.Path : nullptr, bareArchives, job);
        }
    }
    const std::size_t cachedArchives = cached ? path.Files().size() + bareArchives.size() : 0;

    const DirectorySurvey& found = survey();
    if (found.Error != 0) {
        // An unmounted drive must not look like a directory whose sets are all missing; its cache
        // stays for when it is back.
        job.Problem("Directory " + path.Path + " cannot be read: " + std::strerror(found.Error));
        const std::vector<TFile*> shown = path.Files();
        for (TFile* file : shown) {
            path.RemoveFile(file);
        }
        return;
    }
    path.Scanned = true;
    if (cached && !found.Timed) {
        // The cache file appeared after the scan began: nothing to check it with.
        bareArchives.clear();
        cached.reset();
        const std::vector<TFile*> shown = path.Files();
        for (TFile* file : shown) {
            path.RemoveFile(file);
        }
    }

    // The archive this program keeps bad ROMs in is no set's.
    std::vector<const FileStamp*> onDisk;
    onDisk.reserve(found.Files.size());
    for (const FileStamp& stamp : found.Files) {
        if (!SameText(stamp.Name, "badroms.zip")) {
            onDisk.push_back(&stamp);
        }
    }

    // Where each archive's cache lines come from if the cache is written again.
    enum class From : std::uint8_t { Cache, Listing, Nowhere };
    std::vector<From> from(onDisk.size(), From::Listing);
    // Cached archives read again to be compared with what the cache says of them.
    std::vector<bool> recheck(onDisk.size(), false);
    std::vector<std::size_t> toRead;
    bool rewrite = !cached.has_value();
    bool modelChanged = false;
    if (!cached) {
        for (std::size_t k = 0; k < onDisk.size(); ++k) {
            toRead.push_back(k);
        }
    } else {
        // A cache from the future (the clock was set back since) would hide every change made
        // until then.
        timespec soon = FileClockNow();
        soon.tv_sec += 1;
        const bool fromTheFuture = EarlierThan(soon, cached->Written);
        std::size_t matched = 0;
        for (std::size_t k = 0; k < onDisk.size(); ++k) {
            const std::string& name = onDisk[k]->Name;
            if (path.FindFile(name) == nullptr && !bareArchives.contains(name)) {
                toRead.push_back(k);
                continue;
            }
            ++matched;
            from[k] = From::Cache;
            // Changed at or after the time the cache was true as of, or the cache's last archive:
            // a cache cut short at a line end reads as a whole one, and only its last archive can
            // have lost lines (every archive after it is missing, and read as new).
            const bool changed = fromTheFuture || !EarlierThan(onDisk[k]->Changed, cached->Written);
            if (changed || name == cached->LastArchive) {
                recheck[k] = true;
                toRead.push_back(k);
                // A new time for the cache, even when the archive holds what it said.
                rewrite = rewrite || changed;
            }
        }
        if (matched < cachedArchives) {
            // Archives gone from the disk leave the picture and the cache.
            std::unordered_set<std::string_view> names;
            for (const FileStamp* stamp : onDisk) {
                names.insert(stamp->Name);
            }
            const std::vector<TFile*> shown = path.Files();
            for (TFile* file : shown) {
                if (!names.contains(file->Name)) {
                    path.RemoveFile(file);
                }
            }
            rewrite = true;
            modelChanged = true;
        }
    }
    // The cached lines of an archive: its own when it is the last one of the file (the usual
    // case, which needs no look at the rest), else from all the lines, grouped once.
    std::unordered_map<std::string_view, std::vector<std::string_view>> cachedLines;
    bool grouped = false;
    auto cachedLinesOf = [&](std::string_view archive) {
        std::vector<std::string_view> lines;
        if (!grouped && archive == cached->LastArchive) {
            LineReader reader(cached->LastRun);
            for (std::string_view line; reader.Next(line);) {
                lines.push_back(line);
            }
            return lines;
        }
        if (!grouped) {
            LineReader reader(cached->Body);
            for (std::string_view line; reader.Next(line);) {
                cachedLines[SplitCacheLine(line)->Archive].push_back(line);
            }
            grouped = true;
        }
        if (const auto it = cachedLines.find(archive); it != cachedLines.end()) {
            lines = it->second;
        }
        return lines;
    };

    auto byName = [&](std::size_t a, std::size_t b) { return FoldedLess(onDisk[a]->Name, onDisk[b]->Name); };
    if (!found.Sorted) {
        std::sort(toRead.begin(), toRead.end(), byName);
    }
    // The archives to read, with the cache lines of those that can have them.
    std::vector<std::string> names;
    names.reserve(toRead.size());
    for (const std::size_t k : toRead) {
        names.push_back(onDisk[k]->Name);
    }
    std::string listedLines;  // lines of the listings, each ended by LF
    std::vector<std::pair<std::size_t, std::size_t>> listedRange(toRead.size());
    std::optional<ProgressMeter> progress;
    if (!toRead.empty()) {
        progress.emplace(job, toRead.size());
    }
    ArchiveLister lister(path.Path, names, SnesMode, NesMode);
    for (std::size_t first = 0; first < toRead.size(); first += ArchiveLister::kChunk) {
        const std::size_t count = std::min(ArchiveLister::kChunk, toRead.size() - first);
        std::vector<ArchiveLister::Listed>& listings = lister.ListChunk(first, count);
        for (std::size_t j = first; j < first + count; ++j) {
            progress->Step();
            job.CheckCancel();
            const std::size_t k = toRead[j];
            const std::string& name = names[j];
            const std::string full = path.Path + name;
            const ArchiveLister::Listed& listed = listings[j - first];
            const bool wasCached = from[k] == From::Cache;
            if (recheck[k]) {
                // Holding just what the cache says, it stays as the cache has it (and a warning
                // about it, shown when it was first read, is not shown again).
                if (!listed.ZipError && !listed.Partial && SameEntries(cachedLinesOf(name), listed.Items)) {
                    continue;
                }
                if (TFile* shown = path.FindFile(name)) {
                    path.RemoveFile(shown);
                    modelChanged = true;
                }
                rewrite = true;
            }
            if (listed.ZipError) {
                job.Problem("File " + full + ": " + listed.Message);
                if (onUnreadable) {
                    onUnreadable(full, listed.Message);
                }
                from[k] = From::Nowhere;
                rewrite = rewrite || wasCached;
                continue;
            }
            if (!listed.Message.empty()) {
                job.Problem("File " + full + ": " + listed.Message);
            }
            TFile* file = nullptr;
            for (const TCrcItem& item : listed.Items) {
                if (!IsDirectoryEntryName(item.Name)) {
                    if (file == nullptr) {
                        file = path.FindOrAddFile(name);
                        modelChanged = true;
                    }
                    file->AddRom(item.Name, item.Crc);
                }
            }
            // An archive read only in part, or holding a name the format cannot carry, stays out
            // of the cache: it is read, and its problem shown, at every scan. (A warning leaves
            // the listing whole: that archive is cached.)
            std::string uncacheable = UncacheableName(name, listed.Items);
            if (!uncacheable.empty()) {
                job.Problem("File " + full + ": " + uncacheable.append("; it is read again at every scan"));
            }
            if (listed.Partial || !uncacheable.empty()) {
                from[k] = From::Nowhere;
                rewrite = rewrite || wasCached;
                continue;
            }
            const std::size_t begin = listedLines.size();
            for (const TCrcItem& item : listed.Items) {
                listedLines += kCacheDelimiter;
                listedLines += name;
                listedLines += kCacheDelimiter;
                listedLines += item.Name;
                listedLines += kCacheDelimiter;
                listedLines += item.Crc;
                listedLines += kCacheDelimiter;
                listedLines += '\n';
            }
            listedRange[j] = {begin, listedLines.size()};
            if (listed.Items.empty()) {
                from[k] = From::Nowhere;  // an empty archive has no line to write
                rewrite = rewrite || wasCached;
                continue;
            }
            rewrite = true;
            from[k] = From::Listing;
        }
    }
    if (modelChanged) {
        // In directory order, as a scan without a cache finds them.
        path.SortFiles();
    }
    if (!rewrite) {
        return;
    }

    // The new cache: every archive on disk in directory order, with its cached lines or the
    // lines just listed.
    std::vector<std::size_t> readIndex(onDisk.size(), toRead.size());
    for (std::size_t j = 0; j < toRead.size(); ++j) {
        readIndex[toRead[j]] = j;
    }
    std::vector<std::size_t> order(onDisk.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (!found.Sorted) {
        std::sort(order.begin(), order.end(), byName);
    }
    dirCache_.Begin(path.Path);
    for (const std::size_t k : order) {
        const std::string& name = onDisk[k]->Name;
        if (from[k] == From::Cache) {
            for (const std::string_view line : cachedLinesOf(name)) {
                dirCache_.AppendRawLine(name, line);
            }
        } else if (from[k] == From::Listing) {
            const auto [begin, end] = listedRange[readIndex[k]];
            LineReader reader(std::string_view(listedLines).substr(begin, end - begin));
            for (std::string_view line; reader.Next(line);) {
                dirCache_.AppendRawLine(name, line);
            }
        }
    }
    if (dirCache_.LineCount() <= 2) {
        // Nothing to list: no cache file, and not the old one either.
        dirCache_.Invalidate(path.Path);
        return;
    }
    dirCache_.MarkComplete();
    dirCache_.SetValidSince(scanStart);
    dirCache_.Save();
    try {
        dirCache_.Flush();
    } catch (const std::exception& e) {
        // The scan itself is good; only the next scan will have to read the archives again.
        job.Problem(std::string("Cache not written: ") + e.what());
        ++CacheWriteFailures;
    }
}

}  // namespace qm
