// The changes a repair makes on disk, one entry or one archive at a time, each keeping the
// directory cache in step: extract an entry, rename it inside its archive, copy or move it into
// another archive, delete it, and delete, move or rename a whole archive. The model (TPathsList)
// is left to the caller.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ZipMstr.h"

namespace qm {

class TDatFile;
struct TFile;
struct TZipRom;

class EExtractRomError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EAddRomError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EDeleteRomError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TRepairDiskAccess {
public:
    // Entries are extracted below `workDir` (the scratch folder) under their entry name.
    TRepairDiskAccess(TDatFile& dirCache, std::filesystem::path workDir);
    ~TRepairDiskAccess();
    TRepairDiskAccess(const TRepairDiskAccess&) = delete;
    TRepairDiskAccess& operator=(const TRepairDiskAccess&) = delete;

    void ExtractRom(TZipRom& entry);
    void CleanExtracted();
    void RenameRomInZip(TZipRom& entry, const std::string& newName);
    void DeleteRomFromZip(TZipRom& entry);
    void AddRomToZip(TZipRom& entry, const std::filesystem::path& archivePath, const std::string& newName);
    void MoveRomToZip(TZipRom& entry, const std::filesystem::path& archivePath, const std::string& newName);
    void DeleteZipFile(TFile& archive);
    void MoveZipFile(TFile& archive, const std::filesystem::path& destination);
    void RenameZipFile(TFile& archive, const std::filesystem::path& newPath);

    // Deletes that the user can undo: the entry goes into an archive named like its own in the
    // freedesktop Trash (one per archive for the life of this object, every entry taken out of it
    // collected there), written and flushed before the entry leaves its archive.
    void TrashRomFromZip(TZipRom& entry);
    // The whole archive goes to the Trash; its cache lines go once it is gone. Throws
    // EDeleteRomError when it cannot be moved there (the archive then stays).
    void TrashZipFile(TFile& archive);
    // Bytes of the archives this object wrote (each change writes its archive anew), and of
    // the files it moved to another file system.
    std::uint64_t BytesWritten = 0;

    // The file (relative to the work folder) last extracted or renamed, and its entry.
    const std::string& ExtractedFile() const { return extractedFile_; }
    const TZipRom* ExtractedRom() const { return extractedRom_; }
    const std::filesystem::path& WorkDir() const { return workDir_; }

    TZipMaster RepairZip;

private:
    std::filesystem::path WorkPath(std::string_view relative) const;
    // Index of the entry in RepairZip's listing of its archive; the listing's size when none.
    std::size_t ListedIndexOf(const TZipRom& entry) const;
    void RenameExtracted(const std::string& newName);
    // Before an archive changes: its directory's cache file goes (so that no cache can
    // disagree with it after a crash) and its read-only bit too.
    void BeginChange(const std::string& directory, const std::filesystem::path& archive);
    void AddExtracted(const std::filesystem::path& archive, const TZipRom& entry);
    void DeleteListed(const std::filesystem::path& archive, const TZipRom& entry, const std::string& label);
    void CountWritten(const std::filesystem::path& archive);

    TDatFile& dirCache_;
    std::filesystem::path workDir_;
    std::string extractedFile_;
    const TZipRom* extractedRom_ = nullptr;
    // Archive path -> its archive in the Trash, and the entry names that one holds.
    std::map<std::string, std::filesystem::path> trashArchives_;
    std::map<std::filesystem::path, std::set<std::string>> trashNames_;
};

// Index, in an archive's listing, of the entry a scan recorded as `name` with `crc`: the entry
// of that name (lower-cased, as the scan gives names) whose CRC is `crc`, else the first of that
// name (a stripped console header gives another CRC); listed.size() when there is none. An
// archive may hold one name twice.
std::size_t ListedIndexOf(const std::vector<ZipDirEntry>& listed, std::string_view name, std::string_view crc);

// True for an entry name that stays inside the folder it is extracted to: relative, no ".."
// component, no NUL byte, no drive prefix.
bool IsSafeEntryPath(std::string_view name);

}  // namespace qm
