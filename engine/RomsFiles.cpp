#include "engine/RomsFiles.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

#include "archive/crc32.h"
#include "engine/DatFileUnit.h"
#include "engine/FilesTools.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

bool IsDirectoryEntryName(std::string_view name) {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

// The first lines of a file, without reading the rest of it.
std::vector<std::string> ReadFirstLines(const fs::path& file, std::size_t count) {
    std::vector<std::string> lines;
    FILE* f = std::fopen(file.c_str(), "rb");
    if (f == nullptr) {
        return lines;
    }
    std::string line;
    int c = 0;
    while (lines.size() < count && (c = std::fgetc(f)) != EOF) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines.push_back(std::move(line));
            line.clear();
        } else if (line.size() < 4096) {
            line.push_back(static_cast<char>(c));
        }
    }
    if (lines.size() < count && !line.empty()) {
        lines.push_back(line);
    }
    std::fclose(f);
    return lines;
}

bool IsCrcText(std::string_view s) {
    if (s.size() != 8) {
        return false;
    }
    return std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
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

bool TPath::LoadFromCache(const fs::path& cacheFileName) {
    std::error_code ec;
    if (!fs::is_regular_file(cacheFileName, ec)) {
        return false;
    }
    const MappedFile mapped(cacheFileName);
    const std::string_view bytes = mapped.Bytes();
    const std::string parent = cacheFileName.parent_path().string();
    Owner->ShowText(parent.size() > 45 ? "Reading ..." + RightStr(Path, 42) : "Reading " + Path);

    // Check every line before adding any: a damaged cache is thrown away, not half used.
    struct Line {
        std::string_view Archive;
        std::string_view Entry;
        std::string_view Crc;
    };
    std::vector<Line> lines;
    lines.reserve(bytes.size() / 40);
    std::size_t lineNumber = 0;
    LineReader reader(bytes);
    for (std::string_view line; reader.Next(line);) {
        if (++lineNumber <= 2) {
            continue;
        }
        std::array<std::string_view, 3> fields;
        std::size_t at = 0;
        bool wellFormed = !line.empty() && line[0] == kCacheDelimiter;
        for (std::size_t k = 0; wellFormed && k < fields.size(); ++k) {
            const std::size_t stop = line.find(kCacheDelimiter, at + 1);
            if (stop == std::string_view::npos) {
                wellFormed = false;
                break;
            }
            fields[k] = line.substr(at + 1, stop - at - 1);
            at = stop;
        }
        if (!wellFormed || fields[0].empty() || !IsCrcText(fields[2])) {
            return false;
        }
        lines.push_back(Line{fields[0], fields[1], fields[2]});
    }
    const int last = static_cast<int>(lineNumber) - 1;
    TFile* file = nullptr;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Owner->Progress(static_cast<int>(i) + 2, last);
        const Line& line = lines[i];
        if (IsDirectoryEntryName(line.Entry)) {
            continue;
        }
        if (file == nullptr || file->Name != line.Archive) {
            file = FindOrAddFile(line.Archive);
        }
        file->AddRom(line.Entry, line.Crc);
    }
    return true;
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

}  // namespace

void TPath::ScanZips() {
    TPathsList& owner = *Owner;
    TDatFile& cache = owner.DirCache();
    owner.ProblemLines.clear();
    cache.Clear();
    cache.Open(Path);
    std::vector<std::string> names = ListFiles(Path, "*.zip");
    // The archive this program keeps bad ROMs in is no set's.
    const std::size_t enumerated = names.size();
    std::erase_if(names, [](const std::string& name) { return SameText(name, "badroms.zip"); });
    for (std::size_t skipped = names.size(); skipped < enumerated; ++skipped) {
        owner.StepProgress();
    }
    ArchiveLister lister(Path, names, owner.SnesMode, owner.NesMode);
    for (std::size_t first = 0; first < names.size(); first += ArchiveLister::kChunk) {
        const std::size_t count = std::min(ArchiveLister::kChunk, names.size() - first);
        std::vector<ArchiveLister::Listed>& listings = lister.ListChunk(first, count);
        for (std::size_t k = 0; k < count; ++k) {
            owner.StepProgress();
            owner.CheckCancel();
            const std::string& name = names[first + k];
            const std::string full = Path + name;
            const ArchiveLister::Listed& listed = listings[k];
            if (listed.ZipError) {
                owner.ProblemLines.push_back("File " + full + ": " + listed.Message);
                if (owner.OnZipError) {
                    owner.OnZipError(full, listed.Message);
                }
                continue;
            }
            if (!listed.Message.empty()) {
                owner.ProblemLines.push_back("File " + full + ": " + listed.Message);
            }
            TFile* file = nullptr;
            for (const TCrcItem& item : listed.Items) {
                if (!IsDirectoryEntryName(item.Name)) {
                    if (file == nullptr) {
                        file = FindOrAddFile(name);
                    }
                    file->AddRom(item.Name, item.Crc);
                }
                cache.AppendLine(name, item.Name, item.Crc);
            }
        }
    }
    cache.MarkComplete();
    if (cache.LineCount() > 2) {
        cache.Save();
        try {
            cache.Flush();
        } catch (const std::exception& e) {
            // The scan itself is good; only the next scan will have to read the archives again.
            owner.ProblemLines.push_back(std::string("Cache not written: ") + e.what());
        }
    }
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

void TPathsList::Progress(int position, int maximum) {
    if (!OnProgress) {
        return;
    }
    ProgressMax = maximum;
    const int percent = maximum == 0 ? 100 : static_cast<int>(static_cast<long long>(position) * 100 / maximum);
    ProgressPos = percent;
    if (percent != lastPercent_) {
        lastPercent_ = percent;
        OnProgress(percent);
    }
}

void TPathsList::StepProgress() {
    if (!OnProgress) {
        return;
    }
    ++ProgressPos;
    const int percent =
        ProgressMax == 0 ? 100 : static_cast<int>(static_cast<long long>(ProgressPos) * 100 / ProgressMax);
    if (percent != lastPercent_) {
        lastPercent_ = percent;
        OnProgress(percent);
    }
}

void TPathsList::ShowText(const std::string& text) {
    if (OnMessage) {
        OnMessage(text);
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

bool TPathsList::ScanFromCache(TPath& path, bool refreshCache) {
    std::error_code ec;
    if (path.ReadOnly) {
        for (const std::string& name : ListFiles(dataDir_, "quillmark*.dat")) {
            const fs::path file = dataDir_ / name;
            const auto header = ReadFirstLines(file, 2);
            if (header.size() < 2 || header[0] != kCacheVersion || header[1] != path.Path) {
                continue;
            }
            if (!refreshCache && path.LoadFromCache(file)) {
                return true;
            }
            fs::remove(file, ec);
        }
        return false;
    }
    const fs::path file = fs::path(path.Path) / std::string(kCacheFileName);
    if (!fs::exists(file, ec)) {
        return false;
    }
    const auto header = ReadFirstLines(file, 1);
    if (!refreshCache && !header.empty() && header[0] == kCacheVersion && path.LoadFromCache(file)) {
        return true;
    }
    MakeWritable(file);
    fs::remove(file, ec);
    return false;
}

void TPathsList::RecordBadDumps() {
    // Marking the found ROMs present is redone from the matching results at the end of the
    // scan; what lasts of this step is that a CRC which is the complement of a datafile CRC is
    // recorded as that ROM's known bad dump. Those entries are few: they are found by hash
    // lookups, then recorded in the order of the entries' CRC text.
    std::vector<TZipRom*> badDumps;
    int done = 0;
    const int total = static_cast<int>(ZipRomsByCrc.size());
    for (const auto& path : paths_) {
        for (TFile* file : path->Files()) {
            for (TZipRom* entry : file->Roms) {
                Progress(done++, total - 1);
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

void TPathsList::Scan(bool refreshCache) {
    dirCache_.Reset();
    Reset(true);
    ShowText("Reading current roms files ...");
    lastPercent_ = -1;
    Progress(0, 100);
    int total = 0;
    for (const auto& path : paths_) {
        total += static_cast<int>(ListFiles(path->Path, "*.zip").size());
    }
    ProgressMax = total;
    ProgressPos = 0;
    for (const auto& path : paths_) {
        std::error_code ec;
        if (!fs::is_directory(path->Path, ec)) {
            continue;
        }
        if (!ScanFromCache(*path, refreshCache)) {
            path->ScanZips();
        }
        if (!ProblemLines.empty()) {
            if (OnProblemLines) {
                OnProblemLines(ProblemLines);
            }
            ProblemLines.clear();
        }
    }

    ShowText("Adding roms to the database ...");
    RecordBadDumps();
    dirCache_.Reset();
    ShowText("Analysing roms ...");
    AnalyseAll();
    SetRomStatus();
}

}  // namespace qm
