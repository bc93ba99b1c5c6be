#include "archive/ZipDirectory.h"

#include <algorithm>
#include <cstring>

namespace qm::zipdir {

namespace {

constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kZip64LocatorSize = 20;
// The largest comment plus the record: no end record can start further from the end.
constexpr std::size_t kEndWindow = 65535 + kEndSize;
constexpr std::size_t kChunk = std::size_t{64} * 1024;
constexpr std::uint16_t kUtf8NameFlag = 0x0800;

inline std::uint16_t U16(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}
inline std::uint32_t U32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}
inline std::uint64_t U64(const char* p) {
    return static_cast<std::uint64_t>(U32(p)) | (static_cast<std::uint64_t>(U32(p + 4)) << 32);
}

// CP437 0x80..0xFF as Windows-1252. Characters 1252 lacks take the nearest one it has, as
// the DOS-to-Windows conversion did (box drawing to + - and broken bar, Greek letters to Latin
// ones); shades, blocks and a few symbols have none and become '?'.
constexpr unsigned char kOemToAnsi[128] = {
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5, 0xC9, 0xE6, 0xC6,
    0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xA2, 0xA3, 0xA5, 0x3F, 0x83, 0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1,
    0xAA, 0xBA, 0xBF, 0x3F, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB, 0x3F, 0x3F, 0x3F, 0xA6, 0xA6, 0xA6, 0xA6, 0x2B, 0x2B,
    0xA6, 0xA6, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2D, 0x2D, 0x2B, 0x2D, 0x2B, 0xA6, 0xA6, 0x2B, 0x2B, 0x2D, 0x2D,
    0xA6, 0x2D, 0x2B, 0x2D, 0x2D, 0x2D, 0x2D, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0x61, 0xDF, 0x47, 0x70, 0x53, 0x73, 0xB5, 0x74, 0x46, 0x54, 0x4F, 0x64, 0x38, 0x66, 0x65, 0x3F, 0x3F, 0xB1,
    0x3F, 0x3F, 0x28, 0x29, 0xF7, 0x3F, 0xB0, 0xB7, 0xB7, 0x76, 0x6E, 0xB2, 0x3F, 0xA0,
};

// A window on the archive's bytes, refilled in bounded chunks as the directory is walked.
class Cursor {
public:
    Cursor(ByteSource& source, std::vector<char>& buffer, std::uint64_t bufferStart, std::size_t bufferLength)
        : source_(source), buffer_(buffer), size_(source.Size()), start_(bufferStart), length_(bufferLength) {}

    // Makes [pos, pos + n) readable as far as the data goes; `available` is how much of it
    // exists. Null only when a read failed.
    const char* Need(std::uint64_t pos, std::size_t n, std::size_t& available) {
        if (pos >= start_ && pos - start_ <= length_ && n <= length_ - (pos - start_)) {
            available = n;
            return buffer_.data() + (pos - start_);
        }
        if (pos >= size_) {
            available = 0;
            return buffer_.data();
        }
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(n, kChunk), size_ - pos));
        if (buffer_.size() < want) {
            buffer_.resize(want);
        }
        const std::int64_t got = source_.ReadAt(pos, buffer_.data(), want);
        if (got < 0) {
            length_ = 0;
            return nullptr;
        }
        start_ = pos;
        length_ = static_cast<std::size_t>(got);
        available = std::min(n, length_);
        return buffer_.data();
    }

private:
    ByteSource& source_;
    std::vector<char>& buffer_;
    std::uint64_t size_;
    std::uint64_t start_;
    std::size_t length_;
};

bool AllZero(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

// Whether an end record whose comment ends at `end` (an index into the end window) accounts for
// the rest of the file: exactly, or up to zero padding to a 512-byte block.
bool ReachesEnd(const char* window, std::size_t windowLength, std::uint64_t fileSize, std::size_t end) {
    if (end == windowLength) {
        return true;
    }
    return end < windowLength && windowLength - end < 512 && fileSize % 512 == 0 &&
           AllZero(window + end, windowLength - end);
}

// The end record's position in the window, or -1. Scanning from the end, the first signature
// is the record, except that a signature lying inside the comment of an earlier end record
// whose comment runs to the end of the file is comment text: a comment may well quote an end
// record, and taking it would list a good archive as empty or through forged fields.
std::ptrdiff_t FindEndRecord(const char* window, std::size_t length, std::uint64_t fileSize) {
    std::ptrdiff_t last = -1;
    std::ptrdiff_t earliestReaching = -1;
    std::size_t limit = length - kEndSize + 1;  // candidates start below this index
    while (limit > 0) {
        const void* hit = ::memrchr(window, 'P', limit);
        if (hit == nullptr) {
            break;
        }
        const std::size_t i = static_cast<std::size_t>(static_cast<const char*>(hit) - window);
        limit = i;
        if (U32(window + i) != kEndSignature) {
            continue;
        }
        if (last < 0) {
            last = static_cast<std::ptrdiff_t>(i);
        }
        if (ReachesEnd(window, length, fileSize, i + kEndSize + U16(window + i + 20))) {
            earliestReaching = static_cast<std::ptrdiff_t>(i);
        }
    }
    if (earliestReaching < 0 || last < earliestReaching + static_cast<std::ptrdiff_t>(kEndSize)) {
        return last;
    }
    for (std::ptrdiff_t i = earliestReaching + kEndSize - 1; i > earliestReaching; --i) {
        if (static_cast<std::size_t>(i) + kEndSize <= length && U32(window + i) == kEndSignature) {
            return i;
        }
    }
    return earliestReaching;
}

// Reads `n` bytes at `pos` into `out`, from the end window when it holds them.
bool ReadExact(ByteSource& source, const char* window, std::uint64_t windowStart, std::size_t windowLength,
               std::uint64_t pos, std::size_t n, char* out) {
    if (pos >= windowStart && pos - windowStart + n <= windowLength) {
        std::memcpy(out, window + (pos - windowStart), n);
        return true;
    }
    return source.ReadAt(pos, out, n) == static_cast<std::int64_t>(n);
}

struct DirectoryPlace {
    std::uint64_t Entries = 0;
    std::uint64_t Size = 0;
    std::uint64_t StoredOffset = 0;
    std::uint64_t End = 0;  // where the directory must end: the first end record after it
    // The zip64 record is not where its locator says: the archive was moved or forged.
    bool Zip64Misplaced = false;
};

// The zip64 end record, found through its locator just before the end record. The record is
// looked for where the locator says and, failing that, right before the locator (data prepended
// to the archive shifts every stored offset). Nothing found: the classic record stands alone.
bool FindZip64(ByteSource& source, const char* window, std::uint64_t windowStart, std::size_t windowLength,
               std::uint64_t endRecord, DirectoryPlace& place) {
    if (endRecord < kZip64LocatorSize + kZip64EndSize) {
        return false;
    }
    char locator[kZip64LocatorSize];
    const std::uint64_t locatorPos = endRecord - kZip64LocatorSize;
    if (!ReadExact(source, window, windowStart, windowLength, locatorPos, sizeof locator, locator) ||
        U32(locator) != kZip64LocatorSignature) {
        return false;
    }
    char record[kZip64EndSize];
    auto fits = [&](std::uint64_t pos) {
        if (pos > locatorPos - kZip64EndSize ||
            !ReadExact(source, window, windowStart, windowLength, pos, sizeof record, record) ||
            U32(record) != kZip64EndSignature) {
            return false;
        }
        // The record's own size field excludes its first 12 bytes.
        const std::uint64_t recordSize = U64(record + 4);
        return recordSize <= locatorPos && pos + 12 + recordSize == locatorPos;
    };
    std::uint64_t pos = U64(locator + 8);
    if (!fits(pos)) {
        pos = locatorPos - kZip64EndSize;
        if (!fits(pos)) {
            return false;
        }
        place.Zip64Misplaced = true;
    }
    place.Entries = U64(record + 32);
    place.Size = U64(record + 40);
    place.StoredOffset = U64(record + 48);
    place.End = pos;
    return true;
}

// Real sizes and offset of an entry whose 32-bit fields are saturated, from the zip64 extra
// field. Only the saturated fields are present there, in this order.
void ReadZip64Extra(const char* extra, std::size_t length, ZipDirEntry& e) {
    while (length >= 4) {
        const std::uint16_t id = U16(extra);
        const std::size_t size = std::min<std::size_t>(U16(extra + 2), length - 4);
        if (id == 0x0001) {
            const char* p = extra + 4;
            std::size_t left = size;
            auto take = [&](std::uint64_t& field) {
                if (left >= 8) {
                    field = U64(p);
                    p += 8;
                    left -= 8;
                }
            };
            if (e.UncompressedSize == 0xFFFFFFFFu) {
                take(e.UncompressedSize64);
            }
            if (e.CompressedSize == 0xFFFFFFFFu) {
                take(e.CompressedSize64);
            }
            if (e.LocalHeaderOffset == 0xFFFFFFFFu) {
                take(e.LocalHeaderOffset64);
            }
            return;
        }
        extra += 4 + size;
        length -= 4 + size;
    }
}

}  // namespace

std::int64_t MemorySource::ReadAt(std::uint64_t offset, char* destination, std::size_t length) {
    if (offset >= bytes_.size()) {
        return 0;
    }
    const std::size_t n = std::min<std::uint64_t>(length, bytes_.size() - offset);
    std::memcpy(destination, bytes_.data() + offset, n);
    return static_cast<std::int64_t>(n);
}

bool UsesOemCodePage(const ZipDirEntry& entry) {
    if ((entry.Flags & kUtf8NameFlag) != 0) {
        return false;
    }
    return entry.HostSystem == 0 || entry.HostSystem == 6 || (entry.HostSystem == 11 && entry.VersionMadeBy == 50);
}

void OemToAnsi(std::string& text) {
    for (char& c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80) {
            c = static_cast<char>(kOemToAnsi[b - 0x80]);
        }
    }
}

std::string ListedName(std::string_view stored, const ZipDirEntry& entry) {
    std::string name(stored);
    if (UsesOemCodePage(entry)) {
        OemToAnsi(name);
    }
    return name;
}

Outcome ReadCentralDirectory(ByteSource& source, std::vector<char>& buffer, std::vector<ZipDirEntry>& entries,
                             std::string& comment) {
    Outcome outcome;
    std::size_t used = 0;
    auto finish = [&](int error) {
        entries.resize(used);
        outcome.Error = error;
        return outcome;
    };

    const std::uint64_t fileSize = source.Size();
    if (fileSize < kEndSize) {
        return finish(zmNotValidZip);
    }
    const std::size_t windowLength = static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kEndWindow));
    const std::uint64_t windowStart = fileSize - windowLength;
    if (buffer.size() < std::max(windowLength, kChunk)) {
        buffer.resize(std::max(windowLength, kChunk));
    }
    const std::int64_t got = source.ReadAt(windowStart, buffer.data(), windowLength);
    if (got < 0) {
        return finish(zmSeekInput);
    }
    if (static_cast<std::size_t>(got) != windowLength) {
        return finish(zmReadEocd);
    }
    const char* window = buffer.data();
    const std::ptrdiff_t found = FindEndRecord(window, windowLength, fileSize);
    if (found < 0) {
        return finish(zmNotValidZip);
    }
    const auto at = static_cast<std::size_t>(found);
    const char* record = window + at;
    const std::size_t commentLength = U16(record + 20);
    const std::size_t commentEnd = at + kEndSize + commentLength;
    if (commentEnd != windowLength) {
        const bool padding = commentEnd < windowLength && windowLength - commentEnd < 512 && fileSize % 512 == 0 &&
                             AllZero(window + commentEnd, windowLength - commentEnd);
        outcome.GarbageAtEnd = !padding;
    }
    // A comment said to run past the end of the file is cut there.
    comment.assign(record + kEndSize, std::min(commentEnd, windowLength) - (at + kEndSize));

    const std::uint64_t endRecord = windowStart + at;
    DirectoryPlace place;
    place.Entries = U16(record + 10);
    place.Size = U32(record + 12);
    place.StoredOffset = U32(record + 16);
    place.End = endRecord;
    FindZip64(source, window, windowStart, windowLength, endRecord, place);

    // Where the directory really starts follows from where it ends; the stored offset is wrong
    // whenever data was put in front of the archive.
    if (place.Size > place.End) {
        return finish(zmSeekListing);
    }
    const std::uint64_t start = place.End - place.Size;
    outcome.StructureMismatch = start != place.StoredOffset || place.Zip64Misplaced;
    if (place.Entries == 0) {
        return finish(0);
    }

    // The count is not trusted for memory: the list grows only as real headers are read.
    entries.reserve(static_cast<std::size_t>(
        std::min<std::uint64_t>({place.Entries, place.Size / kCentralSize + 1, std::uint64_t{65536}})));
    Cursor cursor(source, buffer, windowStart, windowLength);
    std::uint64_t pos = start;
    for (std::uint64_t i = 0; i < place.Entries; ++i) {
        std::size_t available = 0;
        const char* h = cursor.Need(pos, kCentralSize, available);
        if (h == nullptr) {
            return finish(zmSeekListing);
        }
        if (available < kCentralSize) {
            return finish(zmReadCentralHeader);
        }
        if (U32(h) != kCentralSignature) {
            return finish(zmCentralSignature);
        }
        if (used == entries.size()) {
            entries.emplace_back();
        }
        ZipDirEntry& e = entries[used++];
        e.VersionMadeBy = static_cast<std::uint8_t>(h[4]);
        e.HostSystem = static_cast<std::uint8_t>(h[5]);
        e.VersionNeeded = U16(h + 6);
        e.Flags = U16(h + 8);
        e.Method = U16(h + 10);
        e.DosDateTime = U32(h + 12);
        e.Crc32 = U32(h + 16);
        e.CompressedSize = U32(h + 20);
        e.UncompressedSize = U32(h + 24);
        e.FileNameLength = U16(h + 28);
        e.ExtraFieldLength = U16(h + 30);
        e.FileCommentLength = U16(h + 32);
        e.DiskNumberStart = U16(h + 34);
        e.InternalAttributes = U16(h + 36);
        e.ExternalAttributes = U32(h + 38);
        e.LocalHeaderOffset = U32(h + 42);
        e.CompressedSize64 = e.CompressedSize;
        e.UncompressedSize64 = e.UncompressedSize;
        e.LocalHeaderOffset64 = e.LocalHeaderOffset;
        pos += kCentralSize;

        const char* name = cursor.Need(pos, e.FileNameLength, available);
        if (name == nullptr) {
            --used;
            return finish(zmSeekListing);
        }
        if (available < e.FileNameLength) {
            --used;
            return finish(zmReadCentralName);
        }
        e.FileName.assign(name, e.FileNameLength);
        const bool oem = UsesOemCodePage(e);
        if (oem) {
            OemToAnsi(e.FileName);
        }
        pos += e.FileNameLength;

        // An extra field cut short by the end of the file is read as far as it goes; the next
        // read then fails on the missing bytes.
        if (e.ExtraFieldLength > 0) {
            const char* extra = cursor.Need(pos, e.ExtraFieldLength, available);
            if (extra == nullptr) {
                return finish(zmSeekListing);
            }
            ReadZip64Extra(extra, available, e);
            pos += e.ExtraFieldLength;
        }

        e.FileComment.clear();
        if (e.FileCommentLength > 0) {
            const char* text = cursor.Need(pos, e.FileCommentLength, available);
            if (text == nullptr) {
                return finish(zmSeekListing);
            }
            if (available < e.FileCommentLength) {
                return finish(zmReadFileComment);
            }
            e.FileComment.assign(text, e.FileCommentLength);
            if (oem) {
                OemToAnsi(e.FileComment);
            }
            pos += e.FileCommentLength;
        }
    }
    return finish(0);
}

}  // namespace qm::zipdir
