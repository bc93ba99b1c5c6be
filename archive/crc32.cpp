#include "archive/crc32.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kBlock = 8192;

bool HasExtension(std::string_view name, std::string_view extension) {
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return false;
    }
    return SameText(name.substr(dot), extension);
}

struct FileCrc {
    std::uint32_t Crc = 0;
    std::int64_t Size = 0;
};

// CRC-32 and length of a file's bytes past `skip`, read in blocks (files can be larger than
// memory). The header length follows from the size the file system gives.
FileCrc CrcOfFile(const fs::path& file, bool sizeHeader, bool fixedHeader16, std::vector<char>& buffer) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw EFileError(file, std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw EFileError(file, std::strerror(err));
    }
    const std::int64_t skip = HeaderLength(st.st_size, sizeHeader, fixedHeader16);
    if (buffer.empty()) {
        buffer.resize(1 << 20);
    }
    FileCrc result;
    std::int64_t offset = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int err = errno;
            ::close(fd);
            throw EFileError(file, std::strerror(err));
        }
        if (n == 0) {
            break;
        }
        const std::int64_t begin = std::max<std::int64_t>(skip - offset, 0);
        if (begin < n) {
            result.Crc = Crc32Of(buffer.data() + begin, static_cast<std::size_t>(n - begin), result.Crc);
        }
        offset += n;
    }
    ::close(fd);
    result.Size = std::max<std::int64_t>(offset - skip, 0);
    return result;
}

// Removes an extracted member whatever happens to the CRC computation.
class RemoveOnExit {
public:
    explicit RemoveOnExit(fs::path file) : file_(std::move(file)) {}
    ~RemoveOnExit() {
        MakeWritable(file_);
        ::unlink(file_.c_str());
    }
    RemoveOnExit(const RemoveOnExit&) = delete;
    RemoveOnExit& operator=(const RemoveOnExit&) = delete;

private:
    fs::path file_;
};

}  // namespace

std::uint32_t Crc32Of(const void* data, std::size_t size, std::uint32_t crc) {
    return libdeflate_crc32(crc, data, size);
}

std::int64_t HeaderLength(std::int64_t size, bool sizeHeader, bool fixedHeader16) {
    if (fixedHeader16) {
        return 16;
    }
    if (!sizeHeader || size <= 0) {
        return 0;
    }
    // size - 8192 * round(size / 8192) with an exact half rounding to the even multiple: the
    // remainder when it is below half a block, 0 above, and at exactly half a block the
    // remainder only when the quotient is even.
    const std::int64_t quotient = size / kBlock;
    const std::int64_t remainder = size % kBlock;
    if (remainder < kBlock / 2 || (remainder == kBlock / 2 && quotient % 2 == 0)) {
        return remainder;
    }
    return 0;
}

TCrc32::TCrc32() {
    try {
        TempPath = ScratchDir();
    } catch (const std::exception&) {
        // Created when an entry must be extracted; the error then names the folder.
        TempPath = XdgDir("XDG_CACHE_HOME", ".cache") / "quillmark";
    }
}

void TCrc32::Build() {
    Warning.clear();
    struct stat st {};
    if (FileName.empty() || ::stat(FileName.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        throw ECrcFileNotFound("File \"" + FileName + "\" not found.");
    }
    if (LookInZip && HasExtension(FileName, ".zip")) {
        BuildFromZip();
        return;
    }
    if (SkipTextFiles && HasExtension(FileName, ".txt")) {
        return;
    }
    FileCrc crc;
    try {
        crc = CrcOfFile(FileName, SizeHeader, FixedHeader16, readBuffer_);
    } catch (const EFileError& e) {
        throw ECrcZipError("File \"" + FileNameOfPath(FileName) + "\": " + e.what());
    }
    items_.push_back({FileName, CrcToHex(crc.Crc), crc.Size});
}

void TCrc32::BuildFromZip() {
    zip_.ErrCode = 0;
    zip_.SetZipFilename(FileName);
    const std::string label = "File \"" + FileNameOfPath(FileName) + "\": ";
    if (zip_.ErrCode != 0) {
        const int code = zip_.ErrCode;
        zip_.ErrCode = 0;
        // Bytes before the first entry or after the end record leave the directory whole: the
        // archive is good and must not be taken for a damaged one.
        if (!IsListingWarning(code)) {
            throw ECrcZipError(label + zip_.Message);
        }
        Warning = label + zip_.Message;
    }
    const std::vector<ZipDirEntry>& entries = zip_.ZipEntries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ZipDirEntry& entry = entries[i];
        if (SkipTextFiles && HasExtension(entry.FileName, ".txt")) {
            continue;
        }
        TCrcItem item;
        item.Name = LowerCase(entry.FileName);
        item.Size = static_cast<std::int64_t>(entry.UncompressedSize64);
        // A folder holds no image: there is nothing to extract, whatever the header rule says.
        const std::int64_t header = entry.IsDirectory() ? 0 : HeaderLength(item.Size, SizeHeader, FixedHeader16);
        if (header == 0) {
            item.Crc = CrcToHex(entry.Crc32);
        } else {
            ImageCrc crc;
            try {
                crc = ExtractAndCrc(i);
            } catch (const ECrcZipError& e) {
                if (Warning.empty()) {
                    throw;
                }
                // The zip library refuses some archives our reader lists (data in front of the
                // first entry): a failure to read this entry, not proof of a damaged archive.
                throw std::runtime_error(label + e.what());
            }
            item.Crc = CrcToHex(crc.Crc);
            item.Size = crc.Size;
        }
        items_.push_back(std::move(item));
    }
}

TCrc32::ImageCrc TCrc32::ExtractAndCrc(std::size_t index) {
    static std::atomic<unsigned> counter{0};
    std::error_code ec;
    fs::create_directories(TempPath, ec);
    fs::path target;
    for (int attempt = 0;; ++attempt) {
        target = TempPath / ("crc-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + ".tmp");
        zip_.ErrCode = 0;
        if (zip_.ExtractEntry(index, target)) {
            break;
        }
        // Another run of the program may have left a file of that name: take the next one.
        if (zip_.ErrCode == ZIP_ER_EXISTS && attempt < 100) {
            continue;
        }
        const int code = zip_.ErrCode;
        zip_.ErrCode = 0;
        throw ECrcZipError(code == kZipCrcError ? std::string("Bad crc") : zip_.Message);
    }
    const RemoveOnExit remove(target);
    try {
        const FileCrc crc = CrcOfFile(target, SizeHeader, FixedHeader16, readBuffer_);
        return {crc.Crc, crc.Size};
    } catch (const EFileError& e) {
        throw ECrcZipError(e.what());
    }
}

}  // namespace qm
