// Directory cache files: per ROM directory, every archive entry with its CRC-32, so that a
// scan need not open the archives. The engine's one instance (`DirCache`) holds the cache of
// one directory at a time, as the format is line based; it keeps the caches it has opened in
// memory so that a long repair does not read or write a whole cache per change.
//
// File format (Windows-1252 bytes, CR LF line ends):
//   line 1  the version, "1.20"
//   line 2  the directory, exactly as given to Open
//   line 3+ one line per archive entry: A4 archive A4 entry A4 crc A4  (A4 = byte 0xA4);
//           lines rewritten by RenameZip carry two more empty fields (... A4 A4 A4).
//
// Durability: a cache file on disk either matches the archives or does not exist.
// - Callers about to change an archive call PrepareChange(directory) first: it takes the cache
//   into memory (when not held yet) and removes its file, once; edits then go to memory, Save
//   marks the cache for writing and Flush writes it (atomically). A crash in between leaves no
//   cache, and the next scan reads the archives.
// - Only a complete cache is ever written: one loaded from a valid file, or one the scan filled
//   and marked complete. A cache opened for a directory without a cache file is partial (it
//   knows only what was edited into it) and is never written; the next scan reads the
//   directory.
// - A name holding the byte 0xA4, CR or LF cannot be written in this format: the cache of that
//   directory is then not written at all.
// - A change prepared but not followed by Save (it failed, or never happened) keeps the cache
//   from being written until a later Save; a change that failed half-way after an earlier one
//   succeeded cannot be told apart, so callers that catch such a failure call Invalidate.
// - A cache file's modification time is the time from which it is known to match the archives:
//   the start of the scan that checked it, or the time of the file it was loaded from. An
//   archive changed at or after that time is read again by the next scan.
// - Nothing is changed in a directory without its lock (platform/DirectoryLock.h): the scan
//   takes the locks of every directory it reads, PrepareChange that of the directory it is
//   about to change, so that two Quillmark processes never change one collection at once. The
//   scan lets its locks go when it ends, and a command lets the rest go when it ends
//   (ReleaseLocks), unless KeepLocks asks to hold every lock until ReleaseLocks.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/ZipMstr.h"
#include "platform/DirectoryLock.h"

namespace qm {

inline constexpr std::string_view kCacheVersion = "1.20";
inline constexpr std::string_view kCacheFileName = "quillmark.dat";

class TDatFile {
public:
    // `dataDir` holds the caches of directories on read-only media ("quillmark<n>.dat").
    explicit TDatFile(std::filesystem::path dataDir);
    ~TDatFile();
    TDatFile(const TDatFile&) = delete;
    TDatFile& operator=(const TDatFile&) = delete;

    // Makes the cache of `directory` (a ROM directory, ending with '/') current: its in-memory
    // copy when one is held, else the file chosen by the rules of the format (the directory's
    // own quillmark.dat when it is writable, else a matching quillmark<n>.dat of the data
    // directory, a new number when none matches, or none at all when the data directory holds
    // no quillmark*.dat: then Save writes nothing). After Open the list holds at least the two
    // header lines.
    void Open(const std::string& directory);
    // Forgets the in-memory copy of the current directory (flushing it first when it is marked
    // for writing); the current list is then empty until the next Open.
    void Clear();
    // Flush, then forget every in-memory copy.
    void Reset();
    // Makes a new, empty cache of `directory` current in place of any held copy, for the scan to
    // fill; the file it will replace is chosen as Open chooses it, and stays as it is until Flush.
    void Begin(const std::string& directory);
    // The scan has appended a line for every entry of every archive of the current directory.
    void MarkComplete();
    // The current cache is known to match the archives as of `time` (see the durability rules).
    void SetValidSince(const timespec& time);

    // Appends one cache line (used by the scan, in enumeration order).
    void AppendLine(std::string_view archiveName, std::string_view entryName, std::string_view crc);
    // Appends a line as it was read from a cache file, whose archive field is `archiveName`.
    void AppendRawLine(std::string_view archiveName, std::string_view line);
    // Lists the archive (through Zip) and appends one line per entry: the entry name's
    // directory part as stored followed by its file-name part in lower case. Does not save.
    // Gives false when the archive could not be listed (ErrCode of Zip non-zero).
    bool AddZipListing(const std::filesystem::path& archivePath);
    // Inserts the line before the first line of that archive, or appends it. Does not save.
    void InsertEntry(std::string_view archivePath, std::string_view entryName, std::string_view crc);
    // Deletes every line of the archive, then saves.
    void DeleteZip(std::string_view archivePath);
    // Deletes the first line of that archive whose entry field is entryName exactly, then saves.
    // With a CRC, the first such line of that CRC goes if there is one: an archive may hold one
    // name twice.
    void DeleteEntry(std::string_view archivePath, std::string_view entryName, std::string_view crc = {});
    // Replaces every line of oldName by the five-field form under newName, then saves.
    void RenameZip(std::string_view oldPath, std::string_view newPath);

    // Removes the cache file of `directory` before one of its archives changes (once until the
    // next write of that cache). Throws EFileError when the file cannot be removed: the archive
    // must then not be changed.
    void PrepareChange(const std::string& directory);
    // The archives of `directory` may no longer match what its cache says (a change failed
    // half-way): removes its cache file and forgets the in-memory copy, so that the next scan
    // reads the archives.
    void Invalidate(const std::string& directory);
    // Marks the current cache for writing; written by Flush. Nothing is written when the cache
    // has no file name (read-only medium without a data-directory cache), is partial, or holds
    // a name that cannot be written (then its file is removed).
    void Save();
    // Writes every cache marked by Save (atomically); throws EFileError on a write failure
    // (the file is then removed, so it cannot disagree with the archives).
    void Flush();

    // Takes the lock of `directory` unless it is held already, waiting up to LockWait for
    // another process to let it go; throws ELockBusy naming that process otherwise. A directory
    // that cannot be opened is not locked (and there is nothing in it to change).
    void Lock(const std::string& directory);
    // Lets every lock go (the end of a command), unless KeepLocks.
    void ReleaseLocks();
    // Holds every lock until the end, or until KeepLocks is cleared and ReleaseLocks called: a
    // run of the command-line program keeps the collection from its first scan to its last
    // change, so that no other run changes it in between. The desktop program, which shows a
    // collection for hours, holds it only while a command runs.
    bool KeepLocks = false;
    std::chrono::milliseconds LockWait{2000};

    // The current cache as lines (header included), for tests and the scan's line count.
    std::vector<std::string> Lines() const;
    std::size_t LineCount() const;

    const std::string& Directory() const { return directory_; }
    const std::filesystem::path& CacheFileName() const;

    TZipMaster Zip;
    const std::string Version{kCacheVersion};

private:
    struct Cache;
    Cache& Current();
    const Cache& Current() const;
    Cache& Hold(const std::string& directory);
    std::unique_ptr<Cache> Load(const std::string& directory, bool withContent) const;
    std::filesystem::path FreeNumberedFileName() const;
    void MarkIncomplete();
    static void Write(Cache& cache);
    static void RemoveFile(Cache& cache);

    std::filesystem::path dataDir_;
    std::string directory_;
    std::map<std::string, std::unique_ptr<Cache>> caches_;  // by directory
    Cache* current_ = nullptr;
    // By device and inode: one directory may be named in more than one way, and a second lock
    // of the same directory from this process would wait for the first.
    std::map<std::pair<std::uint64_t, std::uint64_t>, DirectoryLock> locks_;
};

// The entry field AddZipListing writes for a stored entry name: the directory part as stored,
// the file-name part in lower case.
std::string CacheEntryName(std::string_view storedName);

// The fields of a cache line that the scan may believe: an archive field that is the bare name
// of a zip archive, an entry name that stays inside its archive's folder, a CRC of 8 lower-case
// hexadecimal digits. Anything after the CRC's closing delimiter is not looked at.
struct CacheLineFields {
    std::string_view Archive;
    std::string_view Entry;
    std::string_view Crc;
};
std::optional<CacheLineFields> ParseCacheLine(std::string_view line);
// The three fields and the CRC's form only; the names are left to the caller to check (with the
// two functions below), for instance once per archive rather than once per line.
std::optional<CacheLineFields> SplitCacheLine(std::string_view line);
// Whether an archive name and an entry name can be written into a cache line and read back as
// they are (see ParseCacheLine).
bool IsCacheableArchiveName(std::string_view archiveName);
bool IsCacheableEntryName(std::string_view entryName);

// Line 1 and line 2 of a cache file, reading no further than needed: the data directory may
// hold many large caches of other directories, and only their second line tells which is
// which. None for a file that is not a regular file or has fewer than two lines.
std::optional<std::pair<std::string, std::string>> ReadCacheHeader(const std::filesystem::path& file);
// The cache file in the data directory of a directory on a read-only medium (the first
// "quillmark<n>.dat" of this version whose line 2 is `directory`); empty when there is none.
std::filesystem::path FindDataDirCache(const std::filesystem::path& dataDir, const std::string& directory);

}  // namespace qm
