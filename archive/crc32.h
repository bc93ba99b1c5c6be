// TCrc32: the (name, CRC-32, size) triples of one file: one per entry for a zip archive
// (straight from its central directory), one for any other file. Console profiles strip a
// copier header before the CRC is taken.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ZipMstr.h"

namespace qm {

class ECrcZipError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class ECrcFileNotFound : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TCrcItem {
    std::string Name;  // entry name lower-cased ('/' kept), or the file's path as given
    std::string Crc;   // 8 lower-case hex digits
    std::int64_t Size = 0;
};

// CRC-32 of a byte range (libdeflate).
std::uint32_t Crc32Of(const void* data, std::size_t size, std::uint32_t crc = 0);
// Header length to strip from an image of `size` bytes.
std::int64_t HeaderLength(std::int64_t size, bool sizeHeader, bool fixedHeader16);

class TCrc32 {
public:
    TCrc32();

    void Clear() { items_.clear(); }
    // Fills the list from FileName; throws ECrcZipError or ECrcFileNotFound (items added before
    // the exception stay). An archive whose directory reads whole despite stray bytes around it
    // is listed, with the listing's warning in Warning.
    void Build();

    std::size_t Count() const { return items_.size(); }
    const TCrcItem& Items(std::size_t i) const { return items_[i]; }
    const std::vector<TCrcItem>& ItemList() const { return items_; }

    // 'File "<name>": <warning>' when the last archive built lists with a warning, else empty.
    std::string Warning;

    std::filesystem::path TempPath;  // the scratch folder
    std::string FileName;
    bool SizeHeader = false;
    bool FixedHeader16 = false;
    bool LookInZip = false;
    bool SkipTextFiles = false;

private:
    struct ImageCrc {
        std::uint32_t Crc = 0;
        std::int64_t Size = 0;
    };
    void BuildFromZip();
    ImageCrc ExtractAndCrc(std::size_t index);

    std::vector<TCrcItem> items_;
    TZipMaster zip_;  // reused: a scan lists thousands of archives
    std::vector<char> readBuffer_;
};

}  // namespace qm
