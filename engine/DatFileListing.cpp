#include "engine/DatFileUnit.h"

#include "game_db/cel_strings.h"

namespace qm {

bool TDatFile::AddZipListing(const std::filesystem::path& archivePath) {
    static_cast<void>(Current());  // no listing without an open cache
    Zip.ErrCode = 0;
    Zip.SetZipFilename(archivePath);
    if (Zip.ErrCode != 0) {
        // The directory holds an archive this cache cannot describe; written without it, the
        // cache would hide the archive from every later scan.
        MarkIncomplete();
        return false;
    }
    const std::string archive = FileNameOfPath(archivePath.string());
    for (const ZipDirEntry& entry : Zip.ZipEntries()) {
        AppendLine(archive, CacheEntryName(entry.FileName), CrcToHex(entry.Crc32));
    }
    return true;
}

}  // namespace qm
