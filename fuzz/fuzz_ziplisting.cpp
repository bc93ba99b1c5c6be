// Listing of arbitrary bytes as a zip archive: it must never read outside its buffers, crash,
// hang or allocate from counts the bytes do not back.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "archive/ZipDirectory.h"
#include "archive/ZipMstr.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One component for every input, as a scan reuses one for thousands of archives.
    static qm::TZipMaster zip;
    qm::zipdir::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
    zip.ErrCode = 0;
    zip.ListFrom(source);
    // Every entry listed stands on a 46-byte header and its name, all inside the input.
    if (zip.ZipEntries().size() > size / 46) {
        std::abort();
    }
    for (const qm::ZipDirEntry& e : zip.ZipEntries()) {
        if (e.FileName.size() != e.FileNameLength || e.FileComment.size() > e.FileCommentLength) {
            std::abort();
        }
    }
    if (zip.ZipComment.size() > 65535) {
        std::abort();
    }
    return 0;
}
