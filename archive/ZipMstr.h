// TZipMaster: the one component through which Quillmark reads and changes zip archives.
// Listing reads the central directory with our own reader (no entry data is read); adding,
// deleting, renaming and extracting members go through libzip. The component never throws to
// its callers: results are in ErrCode, Message and SuccessCount.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

namespace zipdir {
class ByteSource;
struct Outcome;
}  // namespace zipdir

// One central-directory entry. The first sixteen fields are the 42 bytes that follow the
// central header signature, as stored; the 64-bit sizes and offset hold the real values (from
// the zip64 extra field where the 32-bit fields are saturated).
struct ZipDirEntry {
    std::uint8_t VersionMadeBy = 0;
    std::uint8_t HostSystem = 0;
    std::uint16_t VersionNeeded = 0;
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;
    std::uint32_t DosDateTime = 0;
    std::uint32_t Crc32 = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
    std::uint16_t FileNameLength = 0;
    std::uint16_t ExtraFieldLength = 0;
    std::uint16_t FileCommentLength = 0;
    std::uint16_t DiskNumberStart = 0;
    std::uint16_t InternalAttributes = 0;
    std::uint32_t ExternalAttributes = 0;
    std::uint32_t LocalHeaderOffset = 0;

    std::uint64_t CompressedSize64 = 0;
    std::uint64_t UncompressedSize64 = 0;
    std::uint64_t LocalHeaderOffset64 = 0;

    // Name and comment as stored ('/' kept), converted from the DOS code page where the entry's
    // host calls for it; UTF-8 names (flag bit 11) as stored.
    std::string FileName;
    std::string FileComment;

    // A directory entry: the name ends with '/' or '\'.
    bool IsDirectory() const;
};

// Message numbers of the component (the values callers see in ErrCode).
enum ZipMessage : int {
    zmNoZipSpecified = 10102,
    zmNoMemory = 10103,
    zmSeekListing = 10201,
    zmUnknownListError = 10202,
    zmWarnStructure = 10203,
    zmWarnGarbage = 10204,
    zmNoFilesToZip = 10301,
    zmNoFilesToDelete = 10401,
    zmInputNotExist = 11001,
    zmSeekInput = 11008,
    zmReadEocd = 11011,
    zmReadCentralHeader = 11013,
    zmCentralSignature = 11015,
    zmReadCentralName = 11017,
    zmReadFileComment = 11022,
    zmNotValidZip = 11036,
};

// The warnings a listing gives while reading the directory whole: stray bytes before the
// first entry or after the end record leave every entry in place.
inline bool IsListingWarning(int code) {
    return code == zmWarnStructure || code == zmWarnGarbage;
}

// A file to add under a name of its own, and the CRC-32 of its bytes.
struct ZipAddition {
    std::filesystem::path File;
    std::string Name;
    std::uint32_t Crc = 0;
};
// An entry that made room for an added one: renamed within its archive.
struct ZipDisplacement {
    std::string From;
    std::string To;
    std::uint32_t Crc = 0;
};

// The text of a message number ("ZipMsgXX.res is probably not bound to executable..." for an
// unknown number).
std::string ZipMessageText(int number);

inline constexpr int kZipCrcError = -999;

class TZipMaster {
public:
    TZipMaster();
    ~TZipMaster();
    TZipMaster(const TZipMaster&) = delete;
    TZipMaster& operator=(const TZipMaster&) = delete;

    // Assigning the archive lists it at once. A file that does not exist lists as empty and
    // leaves ErrCode as it was.
    void SetZipFilename(const std::filesystem::path& path);
    const std::filesystem::path& ZipFilename() const { return zipFilename_; }
    int EntryCount() const;
    const std::vector<ZipDirEntry>& ZipEntries() const { return entries_; }
    void List();
    // Lists bytes standing for the archive named ZipFilename (tests and fuzzing).
    void ListFrom(zipdir::ByteSource& source);

    // Names for the next Add (file paths; each stored under its bare file name), Delete or
    // Extract (entry names, found without regard to ASCII case, '/' and '\' alike). Emptied by
    // each of these operations. A name that matches an entry exactly designates that entry only,
    // not also its case variants.
    std::vector<std::string> FSpecArgs;
    // Extract writes here (under each entry's bare file name); it must name an existing folder.
    std::filesystem::path ExtrBaseDir;

    void Add();
    // Adds the files under their names in one write of the archive (created when missing). An
    // entry already holding a name (with any letter case) is never replaced: it is renamed to its
    // name + "__" (then "__2", ...), listed in Displaced, unless it is that very name with the
    // same CRC, which is then left as it is and counts as added. Gives, per file, whether the
    // archive now holds it; SuccessCount is their number.
    std::vector<bool> AddDisplacing(const std::vector<ZipAddition>& files);
    std::vector<ZipDisplacement> Displaced;
    // Removes every entry that matches each name. An archive left without entries is removed.
    void Delete();
    // Extracts the first entry matching each name; never overwrites an existing file, never
    // writes outside ExtrBaseDir or through a symlink, checks each entry's CRC-32 (a mismatch:
    // ErrCode kZipCrcError, Message "Bad crc").
    void Extract();
    // Renames the first entry matching oldName inside the archive (no data is recompressed).
    // SuccessCount 1 on success.
    void Rename(std::string_view oldName, std::string_view newName);
    // The same for entry `index` of the current listing (an archive may hold one name twice).
    void RenameEntry(std::size_t index, std::string_view newName);
    // Extracts entry `index` of the current listing into the new file `target` (never an
    // existing one), checking size and CRC-32 as Extract does. False on failure, with ErrCode
    // and Message set.
    bool ExtractEntry(std::size_t index, const std::filesystem::path& target);
    // Removes entry `index` of the current listing only (an archive may hold one name twice).
    // SuccessCount 1 on success; an archive left without entries is removed.
    void DeleteEntry(std::size_t index);

    // Copies one file; 0 on success, -1 destination not created, -2 short write, -3 source
    // missing or unreadable, -4 date not set, -9 size differs. An existing destination goes to
    // the Trash first.
    int CopyFile(const std::filesystem::path& source, const std::filesystem::path& destination);

    int ErrCode = 0;
    std::string Message;
    // Whether Message is an error of the kind the desktop program shows at once; a file that is
    // not a zip archive at all is reported without a message box.
    bool MessageForDisplay = false;
    int SuccessCount = 0;
    // The archive comment of the last listing (not used by the program itself).
    std::string ZipComment;

private:
    void Post(int number);
    void Fail(int code, std::string text);
    void Read(zipdir::ByteSource& source);
    void Finish(int error, const zipdir::Outcome& outcome);
    void RememberOwner(const std::filesystem::path& path);
    // Flushes a changed archive and lists it again; false when the flush failed.
    bool Committed();
    class ArchiveHandle;
    // Opens the current archive through libzip; false, with the reason set, when it cannot be.
    bool OpenArchive(ArchiveHandle& archive, int flags);
    // Whether entry `index` of our listing is still that entry in libzip's view of the archive.
    bool StillListed(const std::vector<std::string>& names, std::size_t index);
    // Writes the changed archive (libzip replaces the old file) and flushes it.
    void CloseChanged(ArchiveHandle& archive, int changed);
    // After libzip wrote the changed archive (closeCode 0) or failed to: flushes it and sets
    // SuccessCount, or says why it failed.
    void Commit(int closeCode, const std::string& why, const std::filesystem::path& path, int changed);
    // Renames the entry `pick` chooses among the archive's stored names (nullopt: it failed).
    void RenameWhere(std::string_view newName,
                     const std::function<std::optional<std::size_t>(const std::vector<std::string>&)>& pick);

    std::filesystem::path zipFilename_;
    std::vector<ZipDirEntry> entries_;
    std::vector<char> buffer_;                       // reused between listings
    std::pair<unsigned, unsigned> owner_{~0u, ~0u};  // of the archive being changed, when root
};

}  // namespace qm
