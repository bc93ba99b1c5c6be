#include "engine/DatFileUnit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "engine/FilesTools.h"
#include "engine/RepairDiskAccess.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr std::string_view kNumberedPattern = "quillmark*.dat";

bool HoldsLineBreakOrDelimiter(std::string_view s) {
    return s.find_first_of(std::string_view("\xA4\r\n", 3)) != std::string_view::npos;
}

// The archive field of a cache line. Only a line that starts with the delimiter and closes its
// first field belongs to an archive; anything else (a foreign or hand-edited line) is carried
// through untouched and never matched.
std::optional<std::string_view> ArchiveOf(std::string_view line) {
    if (line.empty() || line[0] != kCacheDelimiter) {
        return std::nullopt;
    }
    const std::size_t end = line.find(kCacheDelimiter, 1);
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    return line.substr(1, end - 1);
}

// Field 2 of a line whose archive field has `archiveSize` bytes.
std::string_view EntryOf(std::string_view line, std::size_t archiveSize) {
    const std::size_t begin = archiveSize + 2;
    if (begin > line.size()) {
        return {};
    }
    const std::size_t end = line.find(kCacheDelimiter, begin);
    return line.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
}

// Field 3 of a line whose archive and entry fields are known.
std::string_view CrcOf(std::string_view line, std::size_t archiveSize, std::size_t entrySize) {
    const std::size_t begin = archiveSize + entrySize + 3;
    if (begin > line.size()) {
        return {};
    }
    const std::size_t end = line.find(kCacheDelimiter, begin);
    return line.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
}

std::string MakeLine(std::string_view archive, std::string_view entry, std::string_view crc) {
    std::string line;
    line.reserve(archive.size() + entry.size() + crc.size() + 4);
    line += kCacheDelimiter;
    line += archive;
    line += kCacheDelimiter;
    line += entry;
    line += kCacheDelimiter;
    line += crc;
    line += kCacheDelimiter;
    return line;
}

void SyncParent(const fs::path& file) {
    SyncDirectory(file.parent_path());
}

}  // namespace

std::string CacheEntryName(std::string_view storedName) {
    const std::size_t slash = storedName.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    std::string out(storedName.substr(0, nameStart));
    out += LowerCase(storedName.substr(nameStart));
    return out;
}

std::optional<std::pair<std::string, std::string>> ReadCacheHeader(const fs::path& file) {
    // Line 2 is a directory path; past 64 KiB the file cannot be the cache of one. A FIFO named
    // like a cache is no regular file and is not waited on.
    std::vector<std::string> lines;
    try {
        lines = ReadLeadingLines(file, 2, std::size_t{64} * 1024);
    } catch (const EFileError&) {
        return std::nullopt;
    }
    if (lines.size() < 2) {
        return std::nullopt;
    }
    return std::make_pair(std::move(lines[0]), std::move(lines[1]));
}

fs::path FindDataDirCache(const fs::path& dataDir, const std::string& directory) {
    for (const std::string& name : ListFiles(dataDir, kNumberedPattern)) {
        fs::path file = dataDir / name;
        const auto header = ReadCacheHeader(file);
        if (header && header->first == kCacheVersion && header->second == directory) {
            return file;
        }
    }
    return {};
}

namespace {

// Bytes that no name in a cache line can hold: the line break, the delimiter, and NUL.
constexpr std::array<bool, 256> kUnwritableByte = [] {
    std::array<bool, 256> table{};
    table['\r'] = table['\n'] = table[0xA4] = table[0] = true;
    return table;
}();

bool HoldsUnwritableByte(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return kUnwritableByte[static_cast<unsigned char>(c)]; });
}

bool IsCrcText(std::string_view crc) {
    return crc.size() == 8 &&
           std::all_of(crc.begin(), crc.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace

bool IsCacheableArchiveName(std::string_view archiveName) {
    // A bare file name: the archive is reached as directory + name.
    const bool bare = std::none_of(archiveName.begin(), archiveName.end(), [](char c) {
        return c == '/' || c == '\\' || kUnwritableByte[static_cast<unsigned char>(c)];
    });
    return bare && EndsWithText(archiveName, ".zip");
}

bool IsCacheableEntryName(std::string_view entryName) {
    if (entryName.empty() || HoldsUnwritableByte(entryName)) {
        return false;
    }
    // Most names hold no "..", and then only their start can lead out of their folder.
    if (entryName.find("..") == std::string_view::npos) {
        return entryName.front() != '/' && entryName.front() != '\\' && (entryName.size() < 2 || entryName[1] != ':');
    }
    return IsSafeEntryPath(entryName);
}

std::optional<CacheLineFields> SplitCacheLine(std::string_view line) {
    if (line.empty() || line[0] != kCacheDelimiter) {
        return std::nullopt;
    }
    std::string_view fields[3];
    std::size_t at = 0;
    for (std::string_view& field : fields) {
        const std::size_t stop = line.find(kCacheDelimiter, at + 1);
        if (stop == std::string_view::npos) {
            return std::nullopt;
        }
        field = line.substr(at + 1, stop - at - 1);
        at = stop;
    }
    if (!IsCrcText(fields[2])) {
        return std::nullopt;
    }
    return CacheLineFields{fields[0], fields[1], fields[2]};
}

std::optional<CacheLineFields> ParseCacheLine(std::string_view line) {
    auto fields = SplitCacheLine(line);
    if (!fields || !IsCacheableArchiveName(fields->Archive) || !IsCacheableEntryName(fields->Entry)) {
        return std::nullopt;
    }
    return fields;
}

// The lines after the header live in one text buffer, chained in file order, and every archive
// knows its own lines in file order: an edit touches only the lines of its archive, which keeps
// a long repair on a 330,000-line cache from rescanning the whole list for each change. The
// buffer starts as the file's own bytes and new lines are added with their CR LF, so a write
// hands the system a few long runs of it instead of copying 13 MB into one string first.
struct TDatFile::Cache {
    struct Node {
        std::size_t offset = 0;
        std::uint32_t length = 0;
        std::uint32_t prev = kNone;
        std::uint32_t next = kNone;
    };
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using Index = std::unordered_map<std::string, std::vector<std::uint32_t>, KeyHash, std::equal_to<>>;

    std::string directory;
    fs::path fileName;
    std::string version;
    std::string directoryLine;

    std::string text;  // line bytes, referred to by the nodes; edits append, nothing is moved
    std::vector<Node> nodes;
    std::uint32_t head = kNone;
    std::uint32_t tail = kNone;
    std::uint32_t freeNodes = kNone;
    std::size_t count = 0;
    Index byArchive;

    std::optional<timespec> validSince;
    bool complete = false;
    bool unwritable = false;
    bool dirty = false;
    bool changePending = false;
    bool fileRemoved = false;

    std::string_view Line(std::uint32_t id) const { return {text.data() + nodes[id].offset, nodes[id].length}; }

    std::uint32_t NewNode(std::string_view line) {
        std::uint32_t id = freeNodes;
        if (id != kNone) {
            freeNodes = nodes[id].next;
        } else {
            id = static_cast<std::uint32_t>(nodes.size());
            nodes.emplace_back();
        }
        Rewrite(id, line);
        return id;
    }

    void Rewrite(std::uint32_t id, std::string_view line) {
        nodes[id].offset = text.size();
        nodes[id].length = static_cast<std::uint32_t>(line.size());
        text += line;
        text += "\r\n";
    }

    void LinkAtEnd(std::uint32_t id) {
        nodes[id].prev = tail;
        nodes[id].next = kNone;
        (tail == kNone ? head : nodes[tail].next) = id;
        tail = id;
        ++count;
    }

    void LinkBefore(std::uint32_t id, std::uint32_t before) {
        const std::uint32_t prev = nodes[before].prev;
        nodes[id].prev = prev;
        nodes[id].next = before;
        (prev == kNone ? head : nodes[prev].next) = id;
        nodes[before].prev = id;
        ++count;
    }

    void Unlink(std::uint32_t id) {
        Node& n = nodes[id];
        (n.prev == kNone ? head : nodes[n.prev].next) = n.next;
        (n.next == kNone ? tail : nodes[n.next].prev) = n.prev;
        n.prev = kNone;
        n.next = freeNodes;
        freeNodes = id;
        --count;
    }

    void Append(std::string_view archive, std::string_view line) {
        const std::uint32_t id = NewNode(line);
        LinkAtEnd(id);
        auto it = byArchive.find(archive);
        if (it == byArchive.end()) {
            it = byArchive.emplace(std::string(archive), std::vector<std::uint32_t>()).first;
        }
        it->second.push_back(id);
    }

    // Node ids in file order, for the rare merge of two archives' lines.
    std::vector<std::uint32_t> Positions() const {
        std::vector<std::uint32_t> position(nodes.size(), kNone);
        std::uint32_t ordinal = 0;
        for (std::uint32_t id = head; id != kNone; id = nodes[id].next) {
            position[id] = ordinal++;
        }
        return position;
    }

    // Takes the bytes of a cache file; false when they do not even hold the two header lines.
    bool Parse(std::string bytes) {
        text = std::move(bytes);
        const std::string_view all = text;
        nodes.reserve(static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n')));
        std::size_t lineNumber = 0;
        std::vector<std::uint32_t>* lastLines = nullptr;
        std::string_view lastArchive;
        // Lines stay where they are in the buffer; only the line ends are stepped over.
        LineReader reader(all);
        for (std::string_view line; reader.Next(line);) {
            if (lineNumber == 0) {
                version = line;
            } else if (lineNumber == 1) {
                directoryLine = line;
            } else {
                const std::uint32_t id = static_cast<std::uint32_t>(nodes.size());
                nodes.push_back(Node{static_cast<std::size_t>(line.data() - all.data()),
                                     static_cast<std::uint32_t>(line.size()), kNone, kNone});
                LinkAtEnd(id);
                if (const auto archive = ArchiveOf(line)) {
                    if (lastLines == nullptr || *archive != lastArchive) {
                        auto it = byArchive.find(*archive);
                        if (it == byArchive.end()) {
                            it = byArchive.emplace(std::string(*archive), std::vector<std::uint32_t>()).first;
                        }
                        lastLines = &it->second;
                        lastArchive = *archive;
                    }
                    lastLines->push_back(id);
                }
            }
            ++lineNumber;
        }
        return lineNumber >= 2;
    }

    void Reset() {
        text.clear();
        nodes.clear();
        byArchive.clear();
        head = tail = freeNodes = kNone;
        count = 0;
    }

    // The file's bytes as pieces that point into this cache (valid until its next edit).
    std::vector<std::string_view> Pieces() const {
        static constexpr std::string_view kBreak = "\r\n";
        std::vector<std::string_view> pieces{version, kBreak, directoryLine, kBreak};
        const char* runStart = nullptr;
        std::size_t runSize = 0;
        auto add = [&](const char* p, std::size_t n) {
            if (runStart != nullptr && runStart + runSize == p) {
                runSize += n;
                return;
            }
            if (runStart != nullptr) {
                pieces.emplace_back(runStart, runSize);
            }
            runStart = p;
            runSize = n;
        };
        for (std::uint32_t id = head; id != kNone; id = nodes[id].next) {
            const Node& n = nodes[id];
            const bool crlfFollows = text.compare(n.offset + n.length, 2, kBreak) == 0;
            add(text.data() + n.offset, n.length + (crlfFollows ? 2 : 0));
            if (!crlfFollows) {
                add(kBreak.data(), kBreak.size());
            }
        }
        if (runStart != nullptr) {
            pieces.emplace_back(runStart, runSize);
        }
        return pieces;
    }

    bool Writable() const { return complete && !unwritable && !fileName.empty() && version == kCacheVersion; }
};

TDatFile::TDatFile(fs::path dataDir) : dataDir_(std::move(dataDir)) {}

TDatFile::~TDatFile() {
    // Whatever Save marked still matches the archives; anything else stays unwritten.
    try {
        Flush();
    } catch (...) {
    }
}

TDatFile::Cache& TDatFile::Current() {
    if (current_ == nullptr) {
        throw std::logic_error("no directory cache is open");
    }
    return *current_;
}

const TDatFile::Cache& TDatFile::Current() const {
    if (current_ == nullptr) {
        throw std::logic_error("no directory cache is open");
    }
    return *current_;
}

std::unique_ptr<TDatFile::Cache> TDatFile::Load(const std::string& directory, bool withContent) const {
    auto cache = std::make_unique<Cache>();
    cache->directory = directory;
    const fs::path dir(directory);
    auto loadFrom = [&](const fs::path& file) {
        // The time is taken before the content: were the file replaced in between, the older
        // time only makes the next scan read more archives again.
        struct stat st {};
        if (!withContent || ::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return false;
        }
        std::string bytes;
        try {
            bytes = ReadFileBytes(file);
        } catch (const EFileError&) {
            return false;
        }
        if (!cache->Parse(std::move(bytes))) {
            cache->Reset();
            return false;
        }
        cache->validSince = st.st_mtim;
        return true;
    };

    bool loaded = false;
    if (!IsReadOnlyMedium(dir)) {
        // The scan does not compare line 2 of a writable directory's cache either: a cache
        // written under another spelling of the directory is still that directory's.
        cache->fileName = dir / kCacheFileName;
        loaded = loadFrom(cache->fileName);
        cache->complete = loaded && cache->version == kCacheVersion;
    } else {
        // A cache on the medium itself could never be rewritten, and the scan does not read it:
        // read-only directories keep their caches in the data directory.
        const std::vector<std::string> names = ListFiles(dataDir_, kNumberedPattern);
        for (const std::string& name : names) {
            const fs::path file = dataDir_ / name;
            const auto header = ReadCacheHeader(file);
            if (header && header->first == kCacheVersion && header->second == directory) {
                cache->fileName = file;
                loaded = loadFrom(file);
                cache->complete = loaded && cache->version == kCacheVersion && cache->directoryLine == directory;
                break;
            }
        }
        if (cache->fileName.empty() && !names.empty()) {
            cache->fileName = FreeNumberedFileName();
        }
    }
    if (!loaded) {
        cache->version = kCacheVersion;
        cache->directoryLine = directory;
    }
    if (directory.find_first_of("\r\n") != std::string::npos) {
        cache->unwritable = true;
    }
    return cache;
}

fs::path TDatFile::FreeNumberedFileName() const {
    for (unsigned n = 0;; ++n) {
        fs::path candidate = dataDir_ / ("quillmark" + std::to_string(n) + ".dat");
        std::error_code ec;
        const fs::file_type type = fs::symlink_status(candidate, ec).type();
        if (type == fs::file_type::none) {
            return {};  // the data directory cannot be examined: keep this cache in memory only
        }
        if (type != fs::file_type::not_found) {
            continue;
        }
        // Two read-only directories opened before either is written must not share a file.
        const bool taken = std::any_of(caches_.begin(), caches_.end(),
                                       [&](const auto& held) { return held.second->fileName == candidate; });
        if (!taken) {
            return candidate;
        }
    }
}

TDatFile::Cache& TDatFile::Hold(const std::string& directory) {
    auto it = caches_.find(directory);
    if (it == caches_.end()) {
        it = caches_.emplace(directory, Load(directory, true)).first;
    }
    return *it->second;
}

void TDatFile::Begin(const std::string& directory) {
    if (current_ != nullptr && current_->directory == directory) {
        current_ = nullptr;
    }
    caches_.erase(directory);
    directory_ = directory;
    current_ = caches_.emplace(directory, Load(directory, false)).first->second.get();
}

void TDatFile::Open(const std::string& directory) {
    directory_ = directory;
    current_ = &Hold(directory);
}

void TDatFile::Clear() {
    if (current_ == nullptr) {
        return;
    }
    auto held = caches_.extract(current_->directory);
    current_ = nullptr;
    Cache& cache = *held.mapped();
    if (cache.dirty && !cache.changePending) {
        Write(cache);
    }
}

void TDatFile::Reset() {
    std::exception_ptr failure;
    try {
        Flush();
    } catch (...) {
        failure = std::current_exception();
    }
    caches_.clear();
    current_ = nullptr;
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void TDatFile::MarkComplete() {
    Current().complete = true;
}

void TDatFile::SetValidSince(const timespec& time) {
    Current().validSince = time;
}

void TDatFile::MarkIncomplete() {
    Current().complete = false;
}

void TDatFile::AppendLine(std::string_view archiveName, std::string_view entryName, std::string_view crc) {
    Cache& cache = Current();
    if (HoldsLineBreakOrDelimiter(archiveName) || HoldsLineBreakOrDelimiter(entryName) ||
        HoldsLineBreakOrDelimiter(crc)) {
        cache.unwritable = true;
    }
    cache.Append(archiveName, MakeLine(archiveName, entryName, crc));
}

void TDatFile::AppendRawLine(std::string_view archiveName, std::string_view line) {
    Cache& cache = Current();
    if (line.find_first_of("\r\n") != std::string_view::npos) {
        cache.unwritable = true;
    }
    cache.Append(archiveName, line);
}

void TDatFile::InsertEntry(std::string_view archivePath, std::string_view entryName, std::string_view crc) {
    Cache& cache = Current();
    const std::string archive = FileNameOfPath(archivePath);
    const auto it = cache.byArchive.find(archive);
    if (it == cache.byArchive.end() || it->second.empty()) {
        AppendLine(archive, entryName, crc);
        return;
    }
    if (HoldsLineBreakOrDelimiter(archive) || HoldsLineBreakOrDelimiter(entryName) || HoldsLineBreakOrDelimiter(crc)) {
        cache.unwritable = true;
    }
    std::vector<std::uint32_t>& lines = it->second;
    const std::uint32_t id = cache.NewNode(MakeLine(archive, entryName, crc));
    cache.LinkBefore(id, lines.front());
    lines.insert(lines.begin(), id);
}

void TDatFile::DeleteZip(std::string_view archivePath) {
    Cache& cache = Current();
    const auto it = cache.byArchive.find(FileNameOfPath(archivePath));
    if (it != cache.byArchive.end()) {
        for (const std::uint32_t id : it->second) {
            cache.Unlink(id);
        }
        cache.byArchive.erase(it);
    }
    Save();
}

void TDatFile::DeleteEntry(std::string_view archivePath, std::string_view entryName, std::string_view crc) {
    Cache& cache = Current();
    const std::string archive = FileNameOfPath(archivePath);
    const auto it = cache.byArchive.find(archive);
    if (it != cache.byArchive.end()) {
        std::vector<std::uint32_t>& lines = it->second;
        auto named = [&](std::uint32_t id) { return EntryOf(cache.Line(id), archive.size()) == entryName; };
        auto match = lines.end();
        if (!crc.empty()) {
            match = std::find_if(lines.begin(), lines.end(), [&](std::uint32_t id) {
                return named(id) && CrcOf(cache.Line(id), archive.size(), entryName.size()) == crc;
            });
        }
        if (match == lines.end()) {
            match = std::find_if(lines.begin(), lines.end(), named);
        }
        if (match != lines.end()) {
            cache.Unlink(*match);
            lines.erase(match);
            if (lines.empty()) {
                cache.byArchive.erase(it);
            }
        }
    }
    Save();
}

void TDatFile::RenameZip(std::string_view oldPath, std::string_view newPath) {
    Cache& cache = Current();
    const std::string oldName = FileNameOfPath(oldPath);
    const std::string newName = FileNameOfPath(newPath);
    auto it = cache.byArchive.find(oldName);
    if (it != cache.byArchive.end()) {
        if (HoldsLineBreakOrDelimiter(newName)) {
            cache.unwritable = true;
        }
        std::vector<std::uint32_t> lines = std::move(it->second);
        cache.byArchive.erase(it);
        for (const std::uint32_t id : lines) {
            const std::string old(cache.Line(id));
            std::string line;
            line.reserve(old.size() + newName.size() + 2);
            line += kCacheDelimiter;
            line += newName;
            for (int field = 2; field <= 5; ++field) {
                line += kCacheDelimiter;
                line += GetCacheField(old, field);
            }
            line += kCacheDelimiter;
            cache.Rewrite(id, line);
        }
        std::vector<std::uint32_t>& target = cache.byArchive[newName];
        if (target.empty()) {
            target = std::move(lines);
        } else {
            // Renamed onto an archive the cache already lists: its lines now interleave with the
            // renamed ones, and "first line of the archive" must still mean first in the file.
            const std::vector<std::uint32_t> position = cache.Positions();
            target.insert(target.end(), lines.begin(), lines.end());
            std::sort(target.begin(), target.end(),
                      [&](std::uint32_t a, std::uint32_t b) { return position[a] < position[b]; });
        }
    }
    Save();
}

void TDatFile::RemoveFile(Cache& cache) {
    if (cache.fileRemoved || cache.fileName.empty()) {
        return;
    }
    if (::unlink(cache.fileName.c_str()) != 0 && errno != ENOENT) {
        throw EFileError(cache.fileName, std::string("cannot remove: ") + std::strerror(errno));
    }
    // The removal must reach the disk before the archive changes, or a crash could bring back a
    // cache that no longer matches.
    SyncParent(cache.fileName);
    cache.fileRemoved = true;
}

void TDatFile::PrepareChange(const std::string& directory) {
    Lock(directory);
    Cache& cache = Hold(directory);
    RemoveFile(cache);
    cache.changePending = true;
}

void TDatFile::Invalidate(const std::string& directory) {
    Cache& cache = Hold(directory);
    cache.fileRemoved = false;
    auto held = caches_.extract(directory);
    if (current_ == &cache) {
        current_ = nullptr;
    }
    RemoveFile(cache);
}

void TDatFile::Save() {
    Cache& cache = Current();
    cache.changePending = false;
    if (cache.fileName.empty()) {
        return;
    }
    if (!cache.Writable()) {
        // The file would describe the directory wrongly or only in part: better none at all.
        RemoveFile(cache);
        return;
    }
    cache.dirty = true;
}

void TDatFile::Write(Cache& cache) {
    cache.dirty = false;
    if (cache.fileName.empty()) {
        return;
    }
    if (!cache.Writable()) {
        RemoveFile(cache);
        return;
    }
    MakeWritable(cache.fileName);
    try {
        WritePiecesAtomic(cache.fileName, cache.Pieces(), cache.validSince);
    } catch (const EFileError&) {
        // The old file may no longer match the archives.
        cache.fileRemoved = false;
        try {
            RemoveFile(cache);
        } catch (const EFileError&) {
        }
        throw;
    }
    cache.fileRemoved = false;
}

void TDatFile::Flush() {
    // One directory that cannot be written must not keep the others from being written.
    std::exception_ptr failure;
    for (auto& [directory, cache] : caches_) {
        if (!cache->dirty || cache->changePending) {
            continue;
        }
        try {
            Write(*cache);
        } catch (...) {
            if (!failure) {
                failure = std::current_exception();
            }
        }
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void TDatFile::Lock(const std::string& directory) {
    struct stat st {};
    if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return;
    }
    const auto key = std::make_pair(static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino));
    if (locks_.count(key) > 0) {
        return;
    }
    DirectoryLock lock = DirectoryLock::Acquire(directory, LockWait);
    if (lock.Held()) {
        locks_.emplace(key, std::move(lock));
    }
}

void TDatFile::ReleaseLocks() {
    if (!KeepLocks) {
        locks_.clear();
    }
}

std::vector<std::string> TDatFile::Lines() const {
    std::vector<std::string> lines;
    if (current_ == nullptr) {
        return lines;
    }
    const Cache& cache = *current_;
    lines.reserve(cache.count + 2);
    lines.push_back(cache.version);
    lines.push_back(cache.directoryLine);
    for (std::uint32_t id = cache.head; id != kNone; id = cache.nodes[id].next) {
        lines.emplace_back(cache.Line(id));
    }
    return lines;
}

std::size_t TDatFile::LineCount() const {
    return current_ == nullptr ? 0 : current_->count + 2;
}

const fs::path& TDatFile::CacheFileName() const {
    static const fs::path kNoFile;
    return current_ == nullptr ? kNoFile : current_->fileName;
}

}  // namespace qm
