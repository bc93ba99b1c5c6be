#include "archive/ZipMstr.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <optional>

#include "archive/ZipDirectory.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"
#include "platform/SystemTools.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

std::string ErrorText(int err) {
    return std::strerror(err);
}

class FileSource : public zipdir::ByteSource {
public:
    FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::int64_t ReadAt(std::uint64_t offset, char* destination, std::size_t length) override {
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pread(fd_, destination + done, length - done, static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return -1;
            }
            if (n == 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        return static_cast<std::int64_t>(done);
    }

private:
    int fd_;
    std::uint64_t size_;
};

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// A libzip archive handle that is discarded unless it was closed (written) successfully.
class Archive {
public:
    Archive() = default;
    ~Archive() {
        if (za_ != nullptr) {
            zip_discard(za_);
        }
    }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Opens `path`; on failure gives the libzip error code and the reason in `why`.
    int Open(const fs::path& path, int flags, std::string& why) {
        int code = 0;
        za_ = zip_open(path.c_str(), flags, &code);
        if (za_ == nullptr) {
            zip_error_t error;
            zip_error_init_with_code(&error, code);
            why = zip_error_strerror(&error);
            zip_error_fini(&error);
            return code != 0 ? code : ZIP_ER_INTERNAL;
        }
        return 0;
    }
    zip_t* get() const { return za_; }
    std::string Error() const { return zip_strerror(za_); }
    int ErrorCode() const { return zip_error_code_zip(zip_get_error(za_)); }

    // Writes the changed archive: libzip writes a new file beside it and renames it over the
    // old one, so a failure (a full disk, say) leaves the old archive whole.
    int Close(std::string& why) {
        if (zip_close(za_) != 0) {
            why = Error();
            const int code = ErrorCode();
            return code != 0 ? code : ZIP_ER_INTERNAL;
        }
        za_ = nullptr;
        return 0;
    }

private:
    zip_t* za_ = nullptr;
};

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// Entry names compare with '/' and '\' alike; `folded` also ignores ASCII case.
bool SameName(std::string_view a, std::string_view b, bool folded) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i];
        const char y = b[i];
        if (x == y || (IsSeparator(x) && IsSeparator(y))) {
            continue;
        }
        if (!folded || AsciiLower(x) != AsciiLower(y)) {
            return false;
        }
    }
    return true;
}

// Indexes of the entries a requested name designates. An exact match wins over matches that
// differ in case only: "A.ROM" and "a.rom" are two entries, and a name must not reach both.
std::vector<std::size_t> Matches(const std::vector<std::string>& names, std::string_view wanted) {
    std::vector<std::size_t> found;
    for (const bool folded : {false, true}) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (SameName(names[i], wanted, folded)) {
                found.push_back(i);
            }
        }
        if (!found.empty()) {
            break;
        }
    }
    return found;
}

std::string BareName(std::string_view name) {
    const std::size_t cut = name.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
}

// Why an entry name cannot be extracted, or empty: extraction stays inside its folder.
std::string UnsafeName(std::string_view name) {
    if (name.find('\0') != std::string_view::npos) {
        return "its name holds a NUL byte";
    }
    if (!name.empty() && IsSeparator(name.front())) {
        return "its name is an absolute path";
    }
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
        return "its name starts with a drive";
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) {
            ++end;
        }
        if (name.substr(start, end - start) == "..") {
            return "its name leads out of the folder";
        }
        start = end + 1;
    }
    const std::string bare = BareName(name);
    if (bare.empty() || bare == ".") {
        return "it is a folder";
    }
    return {};
}

// libzip's entries as our own listing names them. libzip returns names as C strings (a NUL
// becomes a blank) and knows nothing of the DOS code page, so each raw name is matched against
// our listing of the same entry; where the two disagree the raw name is used.
struct Directory {
    std::vector<std::string> Names;   // index for index with libzip
    std::vector<ZipDirEntry> Listed;  // our listing
    bool Aligned(std::size_t i) const { return i < Listed.size() && Names[i] == Listed[i].FileName; }
};

Directory ReadDirectory(zip_t* za, const fs::path& path) {
    Directory dir;
    {
        const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat st {};
        if (fd.get() >= 0 && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)) {
            FileSource source(fd.get(), static_cast<std::uint64_t>(st.st_size));
            std::vector<char> buffer;
            std::string comment;
            try {
                zipdir::ReadCentralDirectory(source, buffer, dir.Listed, comment);
            } catch (const std::exception&) {
                dir.Listed.clear();
            }
        }
    }
    const zip_int64_t count = zip_get_num_entries(za, 0);
    dir.Names.reserve(static_cast<std::size_t>(std::max<zip_int64_t>(count, 0)));
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* raw = zip_get_name(za, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        std::string name = raw != nullptr ? raw : "";
        if (static_cast<std::size_t>(i) < dir.Listed.size()) {
            const ZipDirEntry& ours = dir.Listed[static_cast<std::size_t>(i)];
            std::string blanked = ours.FileName;
            std::replace(blanked.begin(), blanked.end(), '\0', ' ');
            if (zipdir::ListedName(name, ours) == blanked) {
                name = ours.FileName;
            }
        }
        dir.Names.push_back(std::move(name));
    }
    return dir;
}

bool IsUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        if (b < 0x80) {
            n = 1;
        } else if (b >= 0xC2 && b <= 0xDF) {
            n = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 3;
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 4;
        } else {
            return false;
        }
        if (i + n > s.size()) {
            return false;
        }
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += n;
    }
    return true;
}

// Our listing reads the names of entries made on DOS in the OEM code page, and a new name in
// Windows-1252 would come back changed; such an entry is marked as made on Unix, whose names are
// listed as stored. (libzip flags a UTF-8 name as such, which is listed as stored too.)
void KeepNewNameAsStored(zip_t* za, const Directory& dir, std::size_t index, const std::string& target) {
    if (!dir.Aligned(index) || IsUtf8(target)) {
        return;
    }
    ZipDirEntry probe = dir.Listed[index];
    probe.Flags = 0;
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zipdir::ListedName(target, probe) != target &&
        zip_file_get_external_attributes(za, index, 0, &system, &attributes) == 0) {
        if ((attributes >> 16) == 0) {
            attributes |= (S_IFREG | 0644u) << 16;
        }
        zip_file_set_external_attributes(za, index, 0, ZIP_OPSYS_UNIX, attributes);
    }
}

// A changed archive loses a TorrentZip stamp: the stamp vouches for bytes that are gone.
void DropTorrentZipStamp(zip_t* za) {
    static constexpr std::string_view kStamp = "TORRENTZIPPED-";
    int length = 0;
    const char* comment = zip_get_archive_comment(za, &length, ZIP_FL_ENC_RAW);
    if (comment != nullptr && static_cast<std::size_t>(length) >= kStamp.size() &&
        std::string_view(comment, kStamp.size()) == kStamp) {
        zip_set_archive_comment(za, nullptr, 0);
    }
}

bool IsRegularFile(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

struct Extraction {
    int Code = 0;  // 0, a libzip error code, or kZipCrcError
    std::string Why;
};

// Writes entry `index` into a new file `name` of folder `dirFd`: created exclusively and never
// through a symlink, never more bytes than the directory declares, CRC-32 checked. A failed
// extraction removes what it wrote.
Extraction WriteEntry(zip_t* za, zip_uint64_t index, int dirFd, const char* name) {
    Extraction result;
    zip_stat_t info;
    zip_stat_init(&info);
    if (zip_stat_index(za, index, 0, &info) != 0 || (info.valid & ZIP_STAT_SIZE) == 0) {
        return {ZIP_ER_INCONS, zip_strerror(za)};
    }
    zip_file_t* in = zip_fopen_index(za, index, 0);
    if (in == nullptr) {
        return {zip_error_code_zip(zip_get_error(za)), zip_strerror(za)};
    }
    const int out = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (out < 0) {
        const int err = errno;
        zip_fclose(in);
        return {err == EEXIST ? ZIP_ER_EXISTS : ZIP_ER_OPEN,
                std::string(name) + ": " + (err == EEXIST ? "file exists" : ErrorText(err))};
    }
    std::vector<char> buffer(std::size_t{256} * 1024);
    zip_uint64_t total = 0;
    // libzip checks the CRC-32 only when a read reaches the end of the data, so the loop reads
    // until zip_fread gives 0.
    for (;;) {
        const zip_int64_t n = zip_fread(in, buffer.data(), buffer.size());
        if (n < 0) {
            zip_error_t* error = zip_file_get_error(in);
            if (zip_error_code_zip(error) == ZIP_ER_CRC) {
                result = {kZipCrcError, "Bad crc"};
            } else {
                result = {zip_error_code_zip(error), zip_file_strerror(in)};
            }
            break;
        }
        if (n == 0) {
            if (total != info.size) {
                result = {ZIP_ER_INCONS, "the data is shorter than the size the directory gives"};
            }
            break;
        }
        if (static_cast<zip_uint64_t>(n) > info.size - total) {
            result = {ZIP_ER_INCONS, "the data is longer than the size the directory gives"};
            break;
        }
        const char* p = buffer.data();
        std::size_t left = static_cast<std::size_t>(n);
        while (left > 0) {
            const ssize_t w = ::write(out, p, left);
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w < 0) {
                result = {ZIP_ER_WRITE, std::string(name) + ": " + ErrorText(errno)};
                break;
            }
            p += w;
            left -= static_cast<std::size_t>(w);
        }
        if (result.Code != 0) {
            break;
        }
        total += static_cast<zip_uint64_t>(n);
    }
    zip_fclose(in);
    if (result.Code == 0 && (info.valid & ZIP_STAT_MTIME) != 0) {
        const timespec times[2] = {{info.mtime, 0}, {info.mtime, 0}};
        ::futimens(out, times);
    }
    if (::close(out) != 0 && result.Code == 0) {
        result = {ZIP_ER_WRITE, std::string(name) + ": " + ErrorText(errno)};
    }
    if (result.Code != 0) {
        ::unlinkat(dirFd, name, 0);
    }
    return result;
}

// Makes a replaced archive durable: libzip renames its new file into place without flushing.
bool FlushArchive(const fs::path& path, std::string& why) {
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno != ENOENT) {  // libzip removes an archive left without entries
            why = ErrorText(errno);
            return false;
        }
    } else if (::fsync(fd.get()) != 0) {
        why = ErrorText(errno);
        return false;
    }
    std::error_code ec;
    SyncDirectory(fs::absolute(path, ec).parent_path());
    return true;
}

}  // namespace

bool ZipDirEntry::IsDirectory() const {
    return !FileName.empty() && IsSeparator(FileName.back());
}

std::string ZipMessageText(int number) {
    switch (number) {
        case zmNoZipSpecified:
            return "Error - no zip file specified!";
        case zmNoMemory:
            return "Requested memory not available";
        case zmSeekListing:
            return "Seek error reading Zip archive!";
        case zmUnknownListError:
            return "Unknown error in List() function\n";
        case zmWarnStructure:
            return "Warning - Error in zip structure!";
        case zmWarnGarbage:
            return "Warning - Garbage at the end of the zipfile!";
        case zmNoFilesToZip:
            return "Error - no files to zip!";
        case zmNoFilesToDelete:
            return "Error - no files selected for deletion";
        case zmInputNotExist:
            return "Input file does not exist";
        case zmSeekInput:
            return "Seek error in input file";
        case zmReadEocd:
            return "Error while reading the End Of Central Directory";
        case zmReadCentralHeader:
            return "Error while reading a central header";
        case zmCentralSignature:
            return "A central header signature is wrong";
        case zmReadCentralName:
            return "Error while reading a central file name";
        case zmReadFileComment:
            return "Error while reading a file comment";
        case zmNotValidZip:
            return "This archive is not a valid Zip archive";
        default:
            return "ZipMsgXX.res is probably not bound to executable\nMissing String ID is: " + std::to_string(number);
    }
}

TZipMaster::TZipMaster() = default;
TZipMaster::~TZipMaster() = default;

void TZipMaster::SetZipFilename(const fs::path& path) {
    zipFilename_ = path;
    List();
}

int TZipMaster::EntryCount() const {
    return zipFilename_.empty() ? 0 : static_cast<int>(entries_.size());
}

void TZipMaster::Post(int number) {
    ErrCode = number;
    Message = ZipMessageText(number);
    MessageForDisplay = false;
}

void TZipMaster::Fail(int code, std::string text) {
    ErrCode = code;
    Message = std::move(text);
    MessageForDisplay = false;
}

void TZipMaster::List() {
    entries_.clear();
    ZipComment.clear();
    if (zipFilename_.empty()) {
        return;
    }
    // Linux has no drives to check: a name that leads to nothing lists as empty, as a missing
    // file does; one that exists but cannot be read is an error.
    const int opened = ::open(zipFilename_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat st {};
    if (opened < 0) {
        if ((errno == ENOENT || errno == ENOTDIR) && ::lstat(zipFilename_.c_str(), &st) != 0) {
            return;
        }
        Finish(zmInputNotExist, {});
        return;
    }
    const Fd fd(opened);
    if (::fstat(opened, &st) != 0 || (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))) {
        Finish(zmInputNotExist, {});
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        return;
    }
    FileSource file(opened, static_cast<std::uint64_t>(st.st_size));
    Read(file);
}

void TZipMaster::ListFrom(zipdir::ByteSource& source) {
    entries_.clear();
    ZipComment.clear();
    Read(source);
}

void TZipMaster::Read(zipdir::ByteSource& source) {
    zipdir::Outcome outcome;
    try {
        outcome = zipdir::ReadCentralDirectory(source, buffer_, entries_, ZipComment);
    } catch (const std::bad_alloc&) {
        outcome.Error = zmNoMemory;
    } catch (...) {
        outcome.Error = zmUnknownListError;
    }
    Finish(outcome.Error, outcome);
}

void TZipMaster::Finish(int error, const zipdir::Outcome& outcome) {
    if (outcome.GarbageAtEnd) {
        Post(zmWarnGarbage);
    }
    if (outcome.StructureMismatch) {
        Post(zmWarnStructure);
    }
    if (error != 0) {
        Post(error);
        MessageForDisplay = error != zmNotValidZip;
        zipFilename_.clear();
    }
}

void TZipMaster::RememberOwner(const fs::path& path) {
    struct stat st {};
    owner_ = {static_cast<uid_t>(-1), static_cast<gid_t>(-1)};
    if (::geteuid() == 0 && ::stat(path.c_str(), &st) == 0) {
        owner_ = {st.st_uid, st.st_gid};
    }
}

void TZipMaster::Commit(int closeCode, const std::string& why, const fs::path& path, int changed) {
    if (closeCode != 0) {
        Fail(closeCode, path.string() + ": cannot write the archive: " + why);
        return;
    }
    if (Committed()) {
        SuccessCount = changed;
    }
}

bool TZipMaster::Committed() {
    std::string why;
    // libzip's new file belongs to whoever wrote it; root tidying a user's collection gives it
    // back to the archive's owner.
    if (owner_.first != static_cast<uid_t>(-1)) {
        struct stat st {};
        if (::stat(zipFilename_.c_str(), &st) == 0 && (st.st_uid != owner_.first || st.st_gid != owner_.second)) {
            if (::chown(zipFilename_.c_str(), owner_.first, owner_.second) != 0) {
                // The archive is whole and in place; only its owner could not be kept.
            }
        }
    }
    if (!FlushArchive(zipFilename_, why)) {
        Fail(ZIP_ER_WRITE, zipFilename_.string() + ": cannot flush the new archive: " + why);
        return false;
    }
    SetZipFilename(fs::path(zipFilename_));
    return true;
}

// An archive opened through libzip for one operation.
class TZipMaster::ArchiveHandle : public Archive {};

bool TZipMaster::OpenArchive(ArchiveHandle& archive, int flags) {
    std::string why;
    if (const int code = archive.Open(zipFilename_, flags, why); code != 0) {
        Fail(code, zipFilename_.string() + ": " + why);
        return false;
    }
    if ((flags & ZIP_RDONLY) == 0) {
        RememberOwner(zipFilename_);
    }
    return true;
}

bool TZipMaster::StillListed(const std::vector<std::string>& names, std::size_t index) {
    // The index is one of our listing: it must still designate the same entry for libzip.
    if (index >= entries_.size() || names.size() != entries_.size() || names[index] != entries_[index].FileName) {
        Fail(ZIP_ER_CHANGED, zipFilename_.string() + ": the archive changed since it was listed");
        return false;
    }
    return true;
}

void TZipMaster::CloseChanged(ArchiveHandle& archive, int changed) {
    DropTorrentZipStamp(archive.get());
    std::string why;
    const int code = archive.Close(why);
    Commit(code, why, zipFilename_, changed);
}

void TZipMaster::Add() {
    SuccessCount = 0;
    std::vector<std::string> files;
    files.swap(FSpecArgs);
    if (files.empty()) {
        Post(zmNoFilesToZip);
        return;
    }
    if (zipFilename_.empty()) {
        Post(zmNoZipSpecified);
        return;
    }
    const fs::path path = zipFilename_;
    ArchiveHandle archive;
    if (!OpenArchive(archive, ZIP_CREATE)) {
        return;
    }
    std::vector<std::string> names = ReadDirectory(archive.get(), path).Names;
    int added = 0;
    for (const std::string& file : files) {
        const std::string bare = fs::path(file).filename().string();
        if (bare.empty() || !IsRegularFile(file)) {
            Fail(ZIP_ER_NOENT, path.string() + ": cannot add " + file + ": no such file");
            continue;
        }
        zip_source_t* data = zip_source_file(archive.get(), file.c_str(), 0, -1);
        if (data == nullptr) {
            Fail(archive.ErrorCode(), path.string() + ": cannot add " + file + ": " + archive.Error());
            continue;
        }
        // A file added under the name of an entry replaces it, as adding to a zip always has;
        // an entry whose name differs in case only is another entry and stays.
        std::vector<std::size_t> same;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (SameName(names[i], bare, false)) {
                same.push_back(i);
            }
        }
        zip_int64_t index = -1;
        if (!same.empty()) {
            index = static_cast<zip_int64_t>(same.front());
            if (zip_file_replace(archive.get(), same.front(), data, 0) != 0) {
                index = -1;
            }
        } else {
            index = zip_file_add(archive.get(), bare.c_str(), data, ZIP_FL_ENC_GUESS);
            if (index >= 0) {
                names.resize(static_cast<std::size_t>(index) + 1);
                names[static_cast<std::size_t>(index)] = bare;
            }
        }
        if (index < 0) {
            zip_source_free(data);
            Fail(archive.ErrorCode(), path.string() + ": cannot add " + file + ": " + archive.Error());
            continue;
        }
        zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
        ++added;
    }
    if (added == 0) {
        return;
    }
    CloseChanged(archive, added);
}

std::vector<bool> TZipMaster::AddDisplacing(const std::vector<ZipAddition>& files) {
    SuccessCount = 0;
    Displaced.clear();
    std::vector<bool> done(files.size(), false);
    if (files.empty()) {
        Post(zmNoFilesToZip);
        return done;
    }
    if (zipFilename_.empty()) {
        Post(zmNoZipSpecified);
        return done;
    }
    const fs::path path = zipFilename_;
    ArchiveHandle archive;
    if (!OpenArchive(archive, ZIP_CREATE)) {
        return done;
    }
    const Directory dir = ReadDirectory(archive.get(), path);
    std::vector<std::string> names = dir.Names;
    // CRCs of the entries added in this write, which libzip cannot stat before it writes them.
    std::map<std::size_t, std::uint32_t> addedCrcs;
    auto crcOf = [&](std::size_t index) -> std::optional<std::uint32_t> {
        if (const auto it = addedCrcs.find(index); it != addedCrcs.end()) {
            return it->second;
        }
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive.get(), index, 0, &st) != 0 || (st.valid & ZIP_STAT_CRC) == 0) {
            return std::nullopt;
        }
        return st.crc;
    };
    auto isTaken = [&](std::string_view name) {
        return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameName(n, name, true); });
    };
    int changed = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const ZipAddition& add = files[i];
        if (add.Name.empty() || add.Name.find('\0') != std::string::npos ||
            add.Name.find_first_of("/\\") != std::string::npos) {
            Fail(ZIP_ER_INVAL, path.string() + ": " + add.Name + " is not a valid entry name");
            continue;
        }
        bool there = false;
        std::vector<std::size_t> clashes;
        for (std::size_t j = 0; j < names.size(); ++j) {
            if (!SameName(names[j], add.Name, true)) {
                continue;
            }
            if (names[j] == add.Name && crcOf(j) == add.Crc) {
                there = true;
            } else {
                clashes.push_back(j);
            }
        }
        if (there) {
            done[i] = true;
            continue;
        }
        if (!IsRegularFile(add.File)) {
            Fail(ZIP_ER_NOENT, path.string() + ": cannot add " + add.File.string() + ": no such file");
            continue;
        }
        bool cleared = true;
        for (const std::size_t j : clashes) {
            const std::string from = names[j];
            std::string to = from + "__";
            for (int n = 2; isTaken(to); ++n) {
                to = from + "__" + std::to_string(n);
            }
            KeepNewNameAsStored(archive.get(), dir, j, to);
            if (zip_file_rename(archive.get(), j, to.c_str(), ZIP_FL_ENC_GUESS) != 0) {
                Fail(archive.ErrorCode(),
                     path.string() + ": cannot rename " + from + " to " + to + ": " + archive.Error());
                cleared = false;
                break;
            }
            Displaced.push_back({from, to, crcOf(j).value_or(0)});
            names[j] = to;
            ++changed;
        }
        if (!cleared) {
            continue;
        }
        zip_source_t* data = zip_source_file(archive.get(), add.File.c_str(), 0, -1);
        const zip_int64_t index =
            data == nullptr ? -1 : zip_file_add(archive.get(), add.Name.c_str(), data, ZIP_FL_ENC_GUESS);
        if (index < 0) {
            if (data != nullptr) {
                zip_source_free(data);
            }
            Fail(archive.ErrorCode(), path.string() + ": cannot add " + add.File.string() + ": " + archive.Error());
            continue;
        }
        zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
        names.resize(static_cast<std::size_t>(index) + 1);
        names[static_cast<std::size_t>(index)] = add.Name;
        addedCrcs[static_cast<std::size_t>(index)] = add.Crc;
        done[i] = true;
        ++changed;
    }
    const int ready = static_cast<int>(std::count(done.begin(), done.end(), true));
    if (changed == 0) {
        SuccessCount = ready;
        return done;
    }
    CloseChanged(archive, changed);
    if (SuccessCount == 0) {
        Displaced.clear();
        return std::vector<bool>(files.size(), false);
    }
    SuccessCount = ready;
    return done;
}

void TZipMaster::Delete() {
    SuccessCount = 0;
    std::vector<std::string> wanted;
    wanted.swap(FSpecArgs);
    if (wanted.empty()) {
        Post(zmNoFilesToDelete);
        return;
    }
    const fs::path path = zipFilename_;
    if (path.empty() || !IsRegularFile(path)) {
        Post(zmNoZipSpecified);
        return;
    }
    ArchiveHandle archive;
    if (!OpenArchive(archive, 0)) {
        return;
    }
    const std::vector<std::string> names = ReadDirectory(archive.get(), path).Names;
    std::vector<bool> gone(names.size(), false);
    int deleted = 0;
    for (const std::string& name : wanted) {
        const std::vector<std::size_t> found = Matches(names, name);
        if (found.empty()) {
            Fail(ZIP_ER_NOENT, path.string() + ": no entry named " + name);
        }
        for (const std::size_t i : found) {
            if (gone[i]) {
                continue;
            }
            if (zip_delete(archive.get(), i) != 0) {
                Fail(archive.ErrorCode(), path.string() + ": cannot delete " + names[i] + ": " + archive.Error());
                continue;
            }
            gone[i] = true;
            ++deleted;
        }
    }
    if (deleted == 0) {
        return;
    }
    CloseChanged(archive, deleted);
}

void TZipMaster::Extract() {
    SuccessCount = 0;
    std::vector<std::string> wanted;
    wanted.swap(FSpecArgs);
    const fs::path path = zipFilename_;
    if (path.empty() || !IsRegularFile(path)) {
        Post(zmNoZipSpecified);
        return;
    }
    const fs::path folder = ExtrBaseDir.empty() ? fs::path(".") : ExtrBaseDir;
    const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) {
        Fail(ZIP_ER_OPEN, path.string() + ": cannot extract into " + folder.string() + ": " + ErrorText(errno));
        return;
    }
    if (wanted.empty()) {
        Fail(ZIP_ER_INVAL, path.string() + ": no entries named for extraction");
        return;
    }
    ArchiveHandle archive;
    if (!OpenArchive(archive, ZIP_RDONLY)) {
        return;
    }
    const std::vector<std::string> names = ReadDirectory(archive.get(), path).Names;
    int extracted = 0;
    for (const std::string& name : wanted) {
        const std::vector<std::size_t> found = Matches(names, name);
        if (found.empty()) {
            Fail(ZIP_ER_NOENT, path.string() + ": no entry named " + name);
            continue;
        }
        const std::string& stored = names[found.front()];
        if (const std::string unsafe = UnsafeName(stored); !unsafe.empty()) {
            Fail(ZIP_ER_INVAL, path.string() + ": " + DisplayText(stored) + " is not extracted: " + unsafe);
            continue;
        }
        const Extraction done = WriteEntry(archive.get(), found.front(), dir.get(), BareName(stored).c_str());
        if (done.Code == kZipCrcError) {
            Fail(kZipCrcError, done.Why);
            continue;
        }
        if (done.Code != 0) {
            Fail(done.Code, path.string() + ": cannot extract " + stored + ": " + done.Why);
            continue;
        }
        ++extracted;
    }
    SuccessCount = extracted;
}

void TZipMaster::DeleteEntry(std::size_t index) {
    SuccessCount = 0;
    const fs::path path = zipFilename_;
    if (path.empty() || index >= entries_.size() || !IsRegularFile(path)) {
        Post(zmNoZipSpecified);
        return;
    }
    ArchiveHandle archive;
    if (!OpenArchive(archive, 0)) {
        return;
    }
    if (!StillListed(ReadDirectory(archive.get(), path).Names, index)) {
        return;
    }
    if (zip_delete(archive.get(), index) != 0) {
        Fail(archive.ErrorCode(),
             path.string() + ": cannot delete " + entries_[index].FileName + ": " + archive.Error());
        return;
    }
    CloseChanged(archive, 1);
}

bool TZipMaster::ExtractEntry(std::size_t index, const fs::path& target) {
    const fs::path path = zipFilename_;
    if (path.empty() || index >= entries_.size() || !IsRegularFile(path)) {
        Post(zmNoZipSpecified);
        return false;
    }
    ArchiveHandle archive;
    if (!OpenArchive(archive, ZIP_RDONLY)) {
        return false;
    }
    if (!StillListed(ReadDirectory(archive.get(), path).Names, index)) {
        return false;
    }
    const Extraction done = WriteEntry(archive.get(), index, AT_FDCWD, target.c_str());
    if (done.Code != 0) {
        Fail(done.Code, done.Code == kZipCrcError
                            ? done.Why
                            : path.string() + ": cannot extract " + entries_[index].FileName + ": " + done.Why);
        return false;
    }
    return true;
}

void TZipMaster::Rename(std::string_view oldName, std::string_view newName) {
    RenameWhere(newName, [&](const std::vector<std::string>& names) -> std::optional<std::size_t> {
        const std::vector<std::size_t> found = Matches(names, oldName);
        if (found.empty()) {
            Fail(ZIP_ER_NOENT, zipFilename_.string() + ": no entry named " + std::string(oldName));
            return std::nullopt;
        }
        return found.front();
    });
}

void TZipMaster::RenameEntry(std::size_t index, std::string_view newName) {
    RenameWhere(newName, [&](const std::vector<std::string>& names) -> std::optional<std::size_t> {
        return StillListed(names, index) ? std::optional<std::size_t>(index) : std::nullopt;
    });
}

void TZipMaster::RenameWhere(std::string_view newName,
                             const std::function<std::optional<std::size_t>(const std::vector<std::string>&)>& pick) {
    SuccessCount = 0;
    const fs::path path = zipFilename_;
    if (path.empty() || !IsRegularFile(path)) {
        Post(zmNoZipSpecified);
        return;
    }
    if (newName.empty() || newName.find('\0') != std::string_view::npos) {
        Fail(ZIP_ER_INVAL, path.string() + ": " + std::string(newName) + " is not a valid entry name");
        return;
    }
    ArchiveHandle archive;
    if (!OpenArchive(archive, 0)) {
        return;
    }
    const Directory dir = ReadDirectory(archive.get(), path);
    const std::vector<std::string>& names = dir.Names;
    const std::optional<std::size_t> picked = pick(names);
    if (!picked) {
        return;
    }
    const std::size_t index = *picked;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i != index && SameName(names[i], newName, true)) {
            Fail(ZIP_ER_EXISTS, path.string() + ": an entry named " + names[i] + " exists already");
            return;
        }
    }
    if (names[index] == newName) {
        SuccessCount = 1;
        return;
    }
    const std::string target(newName);
    KeepNewNameAsStored(archive.get(), dir, index, target);
    if (zip_file_rename(archive.get(), index, target.c_str(), ZIP_FL_ENC_GUESS) != 0) {
        Fail(archive.ErrorCode(),
             path.string() + ": cannot rename " + names[index] + " to " + target + ": " + archive.Error());
        return;
    }
    CloseChanged(archive, 1);
}

int TZipMaster::CopyFile(const fs::path& source, const fs::path& destination) {
    const Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat from {};
    if (in.get() < 0 || ::fstat(in.get(), &from) != 0 || !S_ISREG(from.st_mode)) {
        return -3;
    }
    struct stat existing {};
    if (::lstat(destination.c_str(), &existing) == 0) {
        // Copying a file onto itself would send the only copy to the Trash.
        if (existing.st_dev == from.st_dev && existing.st_ino == from.st_ino) {
            return -1;
        }
        std::string why;
        if (!MoveToTrash(destination, &why)) {
            Message = why;
            return -1;
        }
    }
    const Fd out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (out.get() < 0) {
        return -1;
    }
    int result = 0;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            result = n < 0 ? -2 : 0;
            break;
        }
        const char* p = buffer.data();
        std::size_t left = static_cast<std::size_t>(n);
        while (left > 0 && result == 0) {
            const ssize_t w = ::write(out.get(), p, left);
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                result = -2;
            } else {
                p += w;
                left -= static_cast<std::size_t>(w);
            }
        }
        if (result != 0) {
            break;
        }
    }
    // The copy counts once it is on the disk, not in the page cache.
    if (result == 0 && ::fsync(out.get()) != 0) {
        result = -2;
    }
    struct stat to {};
    if (result == 0 && (::fstat(in.get(), &from) != 0 || ::fstat(out.get(), &to) != 0 || from.st_size != to.st_size)) {
        result = -9;
    }
    if (result == 0) {
        const timespec times[2] = {from.st_atim, from.st_mtim};
        if (::futimens(out.get(), times) != 0) {
            result = -4;
        }
    }
    if (result == -2 || result == -9) {
        ::unlink(destination.c_str());
    }
    std::error_code ec;
    SyncDirectory(fs::absolute(destination, ec).parent_path());
    return result;
}

}  // namespace qm
