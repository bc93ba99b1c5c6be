// Our own reader of a zip archive's central directory. Archives come from the internet and
// from damaged disks, so nothing read from the file is trusted: every length is checked against
// the bytes actually present, and no allocation is sized from a count or length field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ZipMstr.h"

namespace qm::zipdir {

// Random access to the bytes of an archive: a file, or memory for the fuzzer and the tests.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to `length` bytes at `offset`; gives the count read (short only at the end of
    // the data) or -1 when the read failed.
    virtual std::int64_t ReadAt(std::uint64_t offset, char* destination, std::size_t length) = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::int64_t ReadAt(std::uint64_t offset, char* destination, std::size_t length) override;

private:
    std::string_view bytes_;
};

struct Outcome {
    int Error = 0;              // message number of the error that ended the listing
    bool GarbageAtEnd = false;  // bytes after the end record (block padding excepted)
    // A stored offset (of the directory, or of the zip64 end record) differs from where the
    // record lies: data in front of the archive, or a forged field.
    bool StructureMismatch = false;
};

// Reads the directory into `entries` (existing elements are overwritten in place) and the
// archive comment. On an error the entries read so far stay. `buffer` is scratch space kept
// between calls, so that listing thousands of archives in a row does not allocate for each.
Outcome ReadCentralDirectory(ByteSource& source, std::vector<char>& buffer, std::vector<ZipDirEntry>& entries,
                             std::string& comment);

// The name and comment conversion rule: DOS-made entries store names in the OEM code page.
bool UsesOemCodePage(const ZipDirEntry& entry);
// CP437 bytes to Windows-1252, in place (bytes below 128 are the same in both).
void OemToAnsi(std::string& text);
// A byte name as the listing gives it for an entry with this host and version.
std::string ListedName(std::string_view stored, const ZipDirEntry& entry);

}  // namespace qm::zipdir
