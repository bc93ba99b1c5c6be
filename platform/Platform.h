// Where Quillmark keeps its files on Linux, and the file primitives every module shares:
// sorted directory enumeration, line files read and written atomically, text decoding.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

namespace fs = std::filesystem;

// A failure on one file; the message names the file and keeps the system's error text.
class EFileError : public std::runtime_error {
public:
    EFileError(const fs::path& file, const std::string& what);
    const fs::path& File() const { return file_; }

private:
    fs::path file_;
};

// Directory given by an environment variable, or `fallback` below $HOME.
fs::path XdgDir(const char* variable, std::string_view fallbackBelowHome);

// The per-user scratch folder ($XDG_CACHE_HOME/quillmark/), created with mode 0700. Reports,
// emulator output and extracted members live there.
fs::path ScratchDir();
// The settings file ($XDG_CONFIG_HOME/quillmark/quillmark.ini); its folder is not created here.
fs::path SettingsFile();
// The data directory: the option, else $QUILLMARK_DATA_DIR, else datas/ below the start
// directory when it exists, else $XDG_DATA_HOME/quillmark/datas/ (created). Ends with '/'.
fs::path ResolveDataDir(const std::optional<fs::path>& option, const fs::path& baseDir);

// The program a bare command name ("mame") runs: the first executable regular file of that
// name in the directories of $PATH, as execvp finds it. Relative entries of $PATH are skipped:
// what they name depends on the current directory of the moment. Nullopt when none.
std::optional<fs::path> FindProgramInPath(std::string_view name);

// Appends '/' unless the text already ends with a separator.
std::string WithTrailingSlash(std::string dir);

// True when `name` matches a pattern with one '*' (such as "*.zip" or "quillmark*.dat"),
// without regard to ASCII case.
bool MatchesPattern(std::string_view name, std::string_view pattern);
// Names of the regular files (symlinks to regular files included) of `dir` that match the
// pattern, in byte order after ASCII case folding, then exact bytes. A missing or unreadable
// directory gives an empty list.
std::vector<std::string> ListFiles(const fs::path& dir, std::string_view pattern);

// A file and the last time its content or its directory entry changed: the later of its
// modification time, which tools may set to anything, and its status-change time, which only
// the system sets.
struct FileStamp {
    std::string Name;
    timespec Changed{};
};
struct DirectorySurvey {
    int Error = 0;  // errno of a directory that could not be read; 0 when it could
    std::vector<FileStamp> Files;
    bool Timed = false;                  // the files carry their times
    bool Sorted = false;                 // in ListFiles' order
    std::vector<std::string> TempFiles;  // names of temporary files left there (TempFiles.h)
};
// ListFiles with, when asked, the change time of each file (one stat per file), and the
// temporary files of the directory on the way; in ListFiles' order when asked, else in the
// order the system gives. A file that disappears while it is looked at is left out.
DirectorySurvey SurveyDirectory(const fs::path& dir, std::string_view pattern, bool withTimes = true,
                                bool sorted = true);
// Now, by the clock the system stamps files with (coarse: a file changed after this call never
// carries an earlier time).
timespec FileClockNow();
// a < b, for file times.
inline bool EarlierThan(const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec < b.tv_sec : a.tv_nsec < b.tv_nsec;
}

// Readers take regular files only (a symlink to one counts), opened without waiting: a FIFO
// or a device put where a datafile, cache or settings file belongs would otherwise block or
// never end. Each reader has a size limit; the default is far above anything the program
// writes, so that a larger file is taken for damage instead of being read into memory.
inline constexpr std::uint64_t kMaxReadBytes = std::uint64_t{1} << 30;

// An open file descriptor, closed with the object.
class FileHandle {
public:
    explicit FileHandle(int fd = -1) : fd_(fd) {}
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// Opens `file` for reading as the readers do; *size gets its size. Throws EFileError naming the
// file when it cannot be opened, is no regular file, or is larger than maxBytes.
FileHandle OpenRegularFile(const fs::path& file, std::uint64_t maxBytes, std::uint64_t* size = nullptr);
// Reads up to `size` bytes of the open `file` into buffer, again after a signal; 0 at its end.
// Throws EFileError naming the file.
std::size_t ReadSome(const FileHandle& fd, const fs::path& file, char* buffer, std::size_t size);

// A file mapped read-only into memory, its pages read in at once (page faults one by one are
// expensive on virtual machines). Throws EFileError.
class MappedFile {
public:
    explicit MappedFile(const fs::path& file, std::uint64_t maxBytes = kMaxReadBytes);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    std::string_view Bytes() const { return {data_, size_}; }

private:
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;
    std::string fallback_;  // for files that cannot be mapped
};

// Whole file as bytes; throws EFileError.
std::string ReadFileBytes(const fs::path& file, std::uint64_t maxBytes = kMaxReadBytes);
// The first `count` lines of a file (the last one possibly cut), reading no more than
// maxBytes of it: for headers of files that may be large. Throws EFileError.
std::vector<std::string> ReadLeadingLines(const fs::path& file, std::size_t count,
                                          std::size_t maxBytes = std::size_t{64} * 1024);
// Cuts text into lines at LF, dropping a CR before it (files are read with CR LF or LF); no
// empty line after a final break. The views point into the text.
class LineReader {
public:
    explicit LineReader(std::string_view bytes) : bytes_(bytes) {}
    bool Next(std::string_view& line) {
        if (pos_ >= bytes_.size()) {
            return false;
        }
        std::size_t end = bytes_.find('\n', pos_);
        const std::size_t next = end == std::string_view::npos ? bytes_.size() : end + 1;
        if (end == std::string_view::npos) {
            end = bytes_.size();
        }
        std::size_t stop = end;
        if (stop > pos_ && bytes_[stop - 1] == '\r') {
            --stop;
        }
        line = bytes_.substr(pos_, stop - pos_);
        pos_ = next;
        return true;
    }
    // Offset of the next line.
    std::size_t Position() const { return pos_; }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

// Splits bytes into lines at LF, dropping a CR before it; no empty line after a final break.
std::vector<std::string> SplitLines(std::string_view bytes);
std::vector<std::string> ReadLines(const fs::path& file, std::uint64_t maxBytes = kMaxReadBytes);
// Replaces `file` atomically with `bytes` (temporary file in the same folder, flushed, renamed
// over the old one, folder flushed). The old file stays whole on any error; throws EFileError.
void WriteFileAtomic(const fs::path& file, std::string_view bytes);
// The same for content held in pieces, written one after the other without being joined: a
// large file edited in memory need not be copied into one buffer first. With `modified`, the new
// file carries that modification time instead of the time of the write.
void WritePiecesAtomic(const fs::path& file, const std::vector<std::string_view>& pieces,
                       const std::optional<timespec>& modified = std::nullopt);
// Lines joined with CR LF, each line ended by it.
void WriteLinesAtomic(const fs::path& file, const std::vector<std::string>& lines);

// A file replaced atomically as WriteFileAtomic does, its content written as it is produced:
// a report of hundreds of thousands of lines need not be held whole. Without Commit (an error
// on the way) the old file stays and the temporary file goes.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(fs::path file);  // throws EFileError
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    void Write(std::string_view bytes);
    void WritePieces(const std::vector<std::string_view>& pieces);
    // Flushes the file, then renames it over the old one. With `modified`, the new file carries
    // that modification time.
    void Commit(const std::optional<timespec>& modified = std::nullopt);

private:
    [[noreturn]] void Fail(int err, const char* what = "cannot write: ");
    void FlushBuffer();

    fs::path file_;
    fs::path temp_;
    int fd_ = -1;
    std::string buffer_;
};
// Flushes a folder so that a rename inside it survives a crash.
void SyncDirectory(const fs::path& dir);

// Windows-1252 bytes as UTF-8, for terminals, JSON and the GUI. Bytes that are already valid
// UTF-8 sequences are kept as they are (names taken from UTF-8 zip entries).
std::string DisplayText(std::string_view bytes);
std::string Cp1252ToUtf8(std::string_view bytes);
// UTF-8 text as Windows-1252 bytes, for the files Quillmark writes: a character the code page
// cannot hold, and a byte that starts no valid UTF-8 sequence, becomes '?'.
std::string Utf8ToCp1252(std::string_view utf8);
// Text whose encoding nobody declared (fields of downloaded datafiles): UTF-8 when it is valid
// UTF-8, otherwise Windows-1252 already, whose five unassigned bytes become '?'.
std::string GuessedTextToCp1252(std::string_view bytes);

}  // namespace qm
