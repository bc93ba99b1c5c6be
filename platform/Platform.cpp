#include "platform/Platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/TempFiles.h"
#include "platform/Text.h"

namespace qm {

namespace {

std::string SystemError(int err) {
    return std::strerror(err);
}

fs::path HomeDir() {
    const char* home = std::getenv("HOME");
    return (home != nullptr && *home != '\0') ? fs::path(home) : fs::path("/tmp");
}

void CreateDirectories(const fs::path& dir, fs::perms perms) {
    std::error_code ec;
    if (fs::is_directory(dir, ec)) {
        return;
    }
    fs::create_directories(dir, ec);
    if (ec && !fs::is_directory(dir)) {
        throw EFileError(dir, "cannot create directory: " + ec.message());
    }
    fs::permissions(dir, perms, fs::perm_options::replace, ec);
}

}  // namespace

EFileError::EFileError(const fs::path& file, const std::string& what)
    : std::runtime_error(file.string() + ": " + what), file_(file) {}

fs::path XdgDir(const char* variable, std::string_view fallbackBelowHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value == '/') {
        return fs::path(value);
    }
    return HomeDir() / fs::path(fallbackBelowHome);
}

fs::path ScratchDir() {
    fs::path dir = XdgDir("XDG_CACHE_HOME", ".cache") / "quillmark";
    CreateDirectories(dir, fs::perms::owner_all);
    return dir;
}

fs::path SettingsFile() {
    return XdgDir("XDG_CONFIG_HOME", ".config") / "quillmark" / "quillmark.ini";
}

std::optional<fs::path> FindProgramInPath(std::string_view name) {
    const char* path = std::getenv("PATH");
    if (name.empty() || name.find('/') != std::string_view::npos || path == nullptr) {
        return std::nullopt;
    }
    std::string_view dirs = path;
    while (!dirs.empty()) {
        const std::size_t colon = dirs.find(':');
        const std::string_view dir = dirs.substr(0, colon);
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
        if (dir.empty() || dir.front() != '/') {
            continue;
        }
        const fs::path candidate = fs::path(dir) / name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::string WithTrailingSlash(std::string dir) {
    if (dir.empty() || (dir.back() != '/' && dir.back() != '\\')) {
        dir.push_back('/');
    }
    return dir;
}

fs::path ResolveDataDir(const std::optional<fs::path>& option, const fs::path& baseDir) {
    fs::path dir;
    if (option && !option->empty()) {
        dir = fs::absolute(*option);
    } else if (const char* env = std::getenv("QUILLMARK_DATA_DIR"); env != nullptr && *env != '\0') {
        dir = fs::absolute(env);
    } else if (std::error_code ec; fs::is_directory(baseDir / "datas", ec)) {
        dir = baseDir / "datas";
    } else {
        dir = XdgDir("XDG_DATA_HOME", ".local/share") / "quillmark" / "datas";
        CreateDirectories(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
    }
    return fs::path(WithTrailingSlash(dir.lexically_normal().string()));
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    const std::size_t star = pattern.find('*');
    if (star == std::string_view::npos) {
        return SameText(name, pattern);
    }
    const std::string_view prefix = pattern.substr(0, star);
    const std::string_view suffix = pattern.substr(star + 1);
    return name.size() >= prefix.size() + suffix.size() && SameText(name.substr(0, prefix.size()), prefix) &&
           SameText(name.substr(name.size() - suffix.size()), suffix);
}

std::vector<std::string> ListFiles(const fs::path& dir, std::string_view pattern) {
    std::vector<std::string> names;
    DIR* handle = ::opendir(dir.c_str());
    if (handle == nullptr) {
        return names;
    }
    const int dirFd = ::dirfd(handle);
    while (const dirent* entry = ::readdir(handle)) {
        const std::string_view name = entry->d_name;
        if (!MatchesPattern(name, pattern)) {
            continue;
        }
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            regular = ::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
        }
        if (regular) {
            names.emplace_back(name);
        }
    }
    ::closedir(handle);
    std::sort(names.begin(), names.end(), FoldedLess);
    return names;
}

timespec FileClockNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

DirectorySurvey SurveyDirectory(const fs::path& dir, std::string_view pattern, bool withTimes, bool sorted) {
    DirectorySurvey survey;
    survey.Timed = withTimes;
    survey.Sorted = sorted;
    DIR* handle = ::opendir(dir.c_str());
    if (handle == nullptr) {
        survey.Error = errno;
        return survey;
    }
    const int dirFd = ::dirfd(handle);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(handle);
        if (entry == nullptr) {
            survey.Error = errno;
            break;
        }
        const std::string_view name = entry->d_name;
        if (!MatchesPattern(name, pattern)) {
            if (IsTempFileName(name) || IsZipWriterLeftover(name)) {
                survey.TempFiles.emplace_back(name);
            }
            continue;
        }
        if (!withTimes && entry->d_type == DT_REG) {
            survey.Files.push_back(FileStamp{std::string(name), {}});
            continue;
        }
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) {
            continue;
        }
        timespec changed = EarlierThan(st.st_mtim, st.st_ctim) ? st.st_ctim : st.st_mtim;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            // A link pointed at another archive changes the link, not the archive.
            struct stat link {};
            if (::fstatat(dirFd, entry->d_name, &link, AT_SYMLINK_NOFOLLOW) == 0 &&
                EarlierThan(changed, link.st_ctim)) {
                changed = link.st_ctim;
            }
        }
        survey.Files.push_back(FileStamp{std::string(name), changed});
    }
    ::closedir(handle);
    if (sorted) {
        std::sort(survey.Files.begin(), survey.Files.end(),
                  [](const FileStamp& a, const FileStamp& b) { return FoldedLess(a.Name, b.Name); });
    }
    return survey;
}

FileHandle::~FileHandle() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileHandle OpenRegularFile(const fs::path& file, std::uint64_t maxBytes, std::uint64_t* size) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer. O_NOCTTY: a
    // terminal device must not become this process's controlling terminal.
    FileHandle fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.Get() < 0) {
        throw EFileError(file, SystemError(errno));
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        throw EFileError(file, SystemError(errno));
    }
    if (!S_ISREG(st.st_mode)) {
        throw EFileError(file, "not a regular file");
    }
    const auto bytes = static_cast<std::uint64_t>(st.st_size);
    if (bytes > maxBytes) {
        throw EFileError(
            file, "too large (" + std::to_string(bytes) + " bytes, at most " + std::to_string(maxBytes) + " expected)");
    }
    // Reads of a regular file never wait anyway; clear the flag so that none of them is short.
    ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
    if (size != nullptr) {
        *size = bytes;
    }
    return fd;
}

std::size_t ReadSome(const FileHandle& fd, const fs::path& file, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, size);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            throw EFileError(file, SystemError(errno));
        }
    }
}

namespace {

// Reads the rest of an open file; it must not grow past maxBytes while being read.
std::string ReadAll(const fs::path& file, const FileHandle& fd, std::uint64_t expected, std::uint64_t maxBytes) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(expected));
    char buffer[1 << 16];
    while (const std::size_t n = ReadSome(fd, file, buffer, sizeof buffer)) {
        if (bytes.size() + n > maxBytes) {
            throw EFileError(file, "too large (more than " + std::to_string(maxBytes) + " bytes expected)");
        }
        bytes.append(buffer, n);
    }
    return bytes;
}

}  // namespace

MappedFile::MappedFile(const fs::path& file, std::uint64_t maxBytes) {
    std::uint64_t size = 0;
    const FileHandle fd = OpenRegularFile(file, maxBytes, &size);
    if (size == 0) {
        return;
    }
    void* p = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd.Get(), 0);
    if (p != MAP_FAILED) {
        data_ = static_cast<const char*>(p);
        size_ = static_cast<std::size_t>(size);
        mapped_ = true;
        return;
    }
    // Some file systems cannot map files.
    fallback_ = ReadAll(file, fd, size, maxBytes);
    data_ = fallback_.data();
    size_ = fallback_.size();
}

MappedFile::~MappedFile() {
    if (mapped_) {
        ::munmap(const_cast<char*>(data_), size_);
    }
}

std::string ReadFileBytes(const fs::path& file, std::uint64_t maxBytes) {
    std::uint64_t size = 0;
    const FileHandle fd = OpenRegularFile(file, maxBytes, &size);
    return ReadAll(file, fd, size, maxBytes);
}

std::vector<std::string> ReadLeadingLines(const fs::path& file, std::size_t count, std::size_t maxBytes) {
    // Only the head is read: the file's own size does not matter.
    const FileHandle fd = OpenRegularFile(file, std::numeric_limits<std::uint64_t>::max());
    std::string head;
    char buffer[4096];
    std::size_t breaks = 0;
    while (breaks < count && head.size() < maxBytes) {
        const std::size_t n = ReadSome(fd, file, buffer, std::min(sizeof buffer, maxBytes - head.size()));
        if (n == 0) {
            break;
        }
        breaks += static_cast<std::size_t>(std::count(buffer, buffer + n, '\n'));
        head.append(buffer, n);
    }
    std::vector<std::string> lines = SplitLines(head);
    if (lines.size() > count) {
        lines.resize(count);
    }
    return lines;
}

std::vector<std::string> SplitLines(std::string_view bytes) {
    std::vector<std::string> lines;
    LineReader reader(bytes);
    for (std::string_view line; reader.Next(line);) {
        lines.emplace_back(line);
    }
    return lines;
}

std::vector<std::string> ReadLines(const fs::path& file, std::uint64_t maxBytes) {
    return SplitLines(ReadFileBytes(file, maxBytes));
}

void SyncDirectory(const fs::path& dir) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

namespace {

// Writes the pieces in order with as few system calls as the pieces allow; 0 or an errno.
int WritePieces(int fd, const std::vector<std::string_view>& pieces) {
    std::vector<iovec> batch;
    std::size_t next = 0;  // first piece not wholly written
    std::size_t skip = 0;  // bytes of that piece already written
    while (next < pieces.size()) {
        batch.clear();
        for (std::size_t i = next; i < pieces.size() && batch.size() < IOV_MAX; ++i) {
            const std::string_view piece = i == next ? pieces[i].substr(skip) : pieces[i];
            if (!piece.empty()) {
                batch.push_back(iovec{const_cast<char*>(piece.data()), piece.size()});
            }
        }
        if (batch.empty()) {
            break;
        }
        const ssize_t n = ::writev(fd, batch.data(), static_cast<int>(batch.size()));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return EIO;
        }
        auto done = static_cast<std::size_t>(n);
        while (next < pieces.size() && done >= pieces[next].size() - skip) {
            done -= pieces[next].size() - skip;
            skip = 0;
            ++next;
        }
        skip += done;
    }
    return 0;
}

}  // namespace

void WriteFileAtomic(const fs::path& file, std::string_view bytes) {
    WritePiecesAtomic(file, std::vector<std::string_view>{bytes});
}

void WritePiecesAtomic(const fs::path& file, const std::vector<std::string_view>& pieces,
                       const std::optional<timespec>& modified) {
    AtomicFileWriter writer(file);
    writer.WritePieces(pieces);
    writer.Commit(modified);
}

AtomicFileWriter::AtomicFileWriter(fs::path file) : file_(std::move(file)) {
    fd_ = CreateTempBeside(file_, temp_);
    if (fd_ < 0) {
        throw EFileError(file_, "cannot write: " + SystemError(errno));
    }
}

AtomicFileWriter::~AtomicFileWriter() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temp_.c_str());
    }
}

void AtomicFileWriter::Fail(int err, const char* what) {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    ::unlink(temp_.c_str());
    throw EFileError(file_, what + SystemError(err));
}

void AtomicFileWriter::Write(std::string_view bytes) {
    // Small pieces are gathered; large ones go straight through.
    constexpr std::size_t kBuffer = 1 << 16;
    if (buffer_.size() + bytes.size() > kBuffer) {
        FlushBuffer();
    }
    if (bytes.size() >= kBuffer) {
        WritePieces({bytes});
        return;
    }
    if (buffer_.capacity() < kBuffer) {
        buffer_.reserve(kBuffer);
    }
    buffer_ += bytes;
}

void AtomicFileWriter::WritePieces(const std::vector<std::string_view>& pieces) {
    FlushBuffer();
    if (const int err = qm::WritePieces(fd_, pieces); err != 0) {
        Fail(err);
    }
}

void AtomicFileWriter::FlushBuffer() {
    if (buffer_.empty()) {
        return;
    }
    if (const int err = qm::WritePieces(fd_, {std::string_view(buffer_)}); err != 0) {
        Fail(err);
    }
    buffer_.clear();
}

void AtomicFileWriter::Commit(const std::optional<timespec>& modified) {
    FlushBuffer();
    // Keep the permission bits of the file being replaced; a new file gets the usual 0644.
    struct stat old {};
    if (::stat(file_.c_str(), &old) == 0) {
        ::fchmod(fd_, old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
    if (modified) {
        const timespec times[2] = {{0, UTIME_OMIT}, *modified};
        if (::futimens(fd_, times) != 0) {
            Fail(errno);
        }
    }
    if (::fsync(fd_) != 0) {
        Fail(errno);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        Fail(errno);
    }
    if (::rename(temp_.c_str(), file_.c_str()) != 0) {
        Fail(errno, "cannot replace: ");
    }
    SyncDirectory(file_.parent_path());
}

void WriteLinesAtomic(const fs::path& file, const std::vector<std::string>& lines) {
    std::string bytes;
    std::size_t total = 0;
    for (const auto& line : lines) {
        total += line.size() + 2;
    }
    bytes.reserve(total);
    for (const auto& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    WriteFileAtomic(file, bytes);
}

namespace {

// Code points of 0x80..0x9F in Windows-1252; 0 where the code page leaves the byte unassigned.
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
    const auto& kHigh = kCp1252High;
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        char32_t cp = b;
        if (b >= 0x80 && b < 0xA0) {
            cp = kHigh[b - 0x80] != 0 ? kHigh[b - 0x80] : 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

namespace {

// Length of a valid UTF-8 sequence starting at s[i] of two or more bytes, or 0.
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t length = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
    } else {
        return 0;
    }
    if (i + length > s.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// The code point of a valid sequence of `length` bytes at s[i].
char32_t DecodeUtf8(std::string_view s, std::size_t i, std::size_t length) {
    static constexpr unsigned char kLeadMask[5] = {0, 0, 0x1F, 0x0F, 0x07};
    char32_t cp = static_cast<unsigned char>(s[i]) & kLeadMask[length];
    for (std::size_t k = 1; k < length; ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    return cp;
}

char CodePointToCp1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        return static_cast<char>(cp);
    }
    for (std::size_t k = 0; k < 32; ++k) {
        if (kCp1252High[k] != 0 && kCp1252High[k] == cp) {
            return static_cast<char>(0x80 + k);
        }
    }
    return '?';
}

bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
        } else if (const std::size_t n = Utf8SequenceLength(s, i); n > 0) {
            i += n;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string Utf8ToCp1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            out.push_back(utf8[i++]);
        } else if (const std::size_t n = Utf8SequenceLength(utf8, i); n > 0) {
            // An overlong sequence must not smuggle in an ASCII character (a '/' in a name).
            static constexpr char32_t kShortest[5] = {0, 0, 0x80, 0x800, 0x10000};
            const char32_t cp = DecodeUtf8(utf8, i, n);
            out.push_back(cp < kShortest[n] ? '?' : CodePointToCp1252(cp));
            i += n;
        } else {
            out.push_back('?');
            ++i;
        }
    }
    return out;
}

std::string GuessedTextToCp1252(std::string_view bytes) {
    if (IsValidUtf8(bytes)) {
        return Utf8ToCp1252(bytes);
    }
    std::string out(bytes);
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 && b < 0xA0 && kCp1252High[b - 0x80] == 0) {
            c = '?';
        }
    }
    return out;
}

std::string DisplayText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out.push_back(bytes[i++]);
            continue;
        }
        if (const std::size_t n = Utf8SequenceLength(bytes, i); n > 0) {
            out.append(bytes.substr(i, n));
            i += n;
            continue;
        }
        out += Cp1252ToUtf8(bytes.substr(i, 1));
        ++i;
    }
    return out;
}

}  // namespace qm
