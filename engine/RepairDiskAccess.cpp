#include "engine/RepairDiskAccess.h"

#include <system_error>

#include "engine/DatFileUnit.h"
#include "engine/FilesTools.h"
#include "engine/RomsFiles.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

std::string DirectoryPart(std::string_view name) {
    const std::size_t pos = name.find_last_of("\\/");
    return pos == std::string_view::npos ? std::string() : std::string(name.substr(0, pos + 1));
}

std::string EntryLabel(const TZipRom& entry) {
    return entry.Name + " (" + entry.Crc + ") : ";
}

std::string DirectoryOf(const fs::path& archivePath) {
    return WithTrailingSlash(archivePath.parent_path().string());
}

}  // namespace

bool IsSafeEntryPath(std::string_view name) {
    if (name.empty() || name.find('\0') != std::string_view::npos || name.front() == '/' || name.front() == '\\') {
        return false;
    }
    if (name.size() >= 2 && name[1] == ':') {
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t stop = name.find_first_of("\\/", start);
        const std::string_view part = name.substr(start, stop == std::string_view::npos ? name.npos : stop - start);
        if (part == "..") {
            return false;
        }
        if (stop == std::string_view::npos) {
            break;
        }
        start = stop + 1;
    }
    return true;
}

TRepairDiskAccess::TRepairDiskAccess(TDatFile& dirCache, fs::path workDir)
    : dirCache_(dirCache), workDir_(std::move(workDir)) {}

TRepairDiskAccess::~TRepairDiskAccess() {
    CleanExtracted();
}

fs::path TRepairDiskAccess::WorkPath(std::string_view relative) const {
    std::string normal(relative);
    for (char& c : normal) {
        if (c == '\\') {
            c = '/';
        }
    }
    return workDir_ / normal;
}

void TRepairDiskAccess::ExtractRom(TZipRom& entry) {
    if (&entry == extractedRom_) {
        return;
    }
    CleanExtracted();
    if (!IsSafeEntryPath(entry.Name)) {
        throw EExtractRomError(entry.Name + ": unsafe entry name, not extracted");
    }
    const fs::path target = WorkPath(entry.Name);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(target, ec))) {
        MakeWritable(target);
        fs::remove(target, ec);
    }
    fs::create_directories(target.parent_path(), ec);
    RepairZip.ErrCode = 0;
    RepairZip.SetZipFilename(entry.ZipFile->FullName());
    if (RepairZip.ErrCode != 0 && !IsListingWarning(RepairZip.ErrCode)) {
        throw EExtractRomError(RepairZip.Message);
    }
    RepairZip.ErrCode = 0;
    const std::size_t index = ListedIndexOf(entry);
    if (index == RepairZip.ZipEntries().size()) {
        throw EExtractRomError(entry.ZipFile->FullName() + ": no entry named " + entry.Name);
    }
    if (!RepairZip.ExtractEntry(index, target)) {
        throw EExtractRomError(RepairZip.ErrCode == kZipCrcError ? std::string("Bad crc") : RepairZip.Message);
    }
    MakeWritable(target);
    extractedFile_ = entry.Name;
    extractedRom_ = &entry;
}

std::size_t TRepairDiskAccess::ListedIndexOf(const TZipRom& entry) const {
    return qm::ListedIndexOf(RepairZip.ZipEntries(), entry.Name, entry.Crc);
}

std::size_t ListedIndexOf(const std::vector<ZipDirEntry>& listed, std::string_view name, std::string_view crc) {
    std::size_t index = listed.size();
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (LowerCase(listed[i].FileName) != name) {
            continue;
        }
        if (index == listed.size()) {
            index = i;
        }
        if (CrcToHex(listed[i].Crc32) == crc) {
            return i;
        }
    }
    return index;
}

void TRepairDiskAccess::CleanExtracted() {
    if (!extractedFile_.empty()) {
        std::error_code ec;
        const fs::path file = WorkPath(extractedFile_);
        fs::remove(file, ec);
        const std::string dirPart = DirectoryPart(extractedFile_);
        if (!dirPart.empty()) {
            // Only empty folders go, innermost first.
            for (fs::path folder = file.parent_path(); folder != workDir_ && folder.has_relative_path();
                 folder = folder.parent_path()) {
                if (!fs::remove(folder, ec)) {
                    break;
                }
            }
        }
    }
    extractedFile_.clear();
    extractedRom_ = nullptr;
}

void TRepairDiskAccess::RenameExtracted(const std::string& newName) {
    if (newName == extractedFile_) {
        return;
    }
    if (!IsSafeEntryPath(newName)) {
        throw EAddRomError(newName + ": unsafe entry name");
    }
    const fs::path to = WorkPath(newName);
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    fs::remove(to, ec);
    fs::rename(WorkPath(extractedFile_), to, ec);
    if (ec) {
        throw EAddRomError(newName + ": " + ec.message());
    }
    extractedFile_ = newName;
}

void TRepairDiskAccess::BeginChange(const std::string& directory, const fs::path& archive) {
    dirCache_.PrepareChange(directory);
    MakeWritable(archive);
    RepairZip.ErrCode = 0;
    RepairZip.SetZipFilename(archive);
}

void TRepairDiskAccess::AddExtracted(const fs::path& archive, const TZipRom& entry) {
    RepairZip.SetZipFilename(archive);
    RepairZip.FSpecArgs = {WorkPath(extractedFile_).string()};
    RepairZip.Add();
    if (RepairZip.SuccessCount == 0) {
        throw EAddRomError(EntryLabel(entry) + RepairZip.Message);
    }
    CountWritten(archive);
}

void TRepairDiskAccess::CountWritten(const fs::path& archive) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(archive, ec);
    if (!ec) {
        BytesWritten += size;
    }
}

void TRepairDiskAccess::DeleteListed(const fs::path& archive, const TZipRom& entry, const std::string& label) {
    // Exactly this entry goes, not every entry of its name.
    RepairZip.SetZipFilename(archive);
    const std::size_t index = ListedIndexOf(entry);
    if (index == RepairZip.ZipEntries().size()) {
        throw EDeleteRomError(label + archive.string() + ": no entry named " + entry.Name);
    }
    RepairZip.DeleteEntry(index);
    if (RepairZip.SuccessCount == 0) {
        throw EDeleteRomError(label + RepairZip.Message);
    }
    CountWritten(archive);
}

void TRepairDiskAccess::RenameRomInZip(TZipRom& entry, const std::string& newName) {
    TFile& file = *entry.ZipFile;
    const std::string archive = file.FullName();
    BeginChange(file.Dir->Path, archive);
    // Renaming in place moves no data; where the archive already holds the new name, the entry
    // is added again under it (replacing that one) and the old name deleted.
    const std::size_t index = ListedIndexOf(entry);
    if (index == RepairZip.ZipEntries().size()) {
        throw EAddRomError(EntryLabel(entry) + archive + ": no entry of that name");
    }
    RepairZip.RenameEntry(index, newName);
    if (RepairZip.SuccessCount > 0) {
        CountWritten(archive);
    }
    const TZipRom* replaced = nullptr;
    if (RepairZip.SuccessCount == 0) {
        if (SameText(newName, entry.Name)) {
            throw EAddRomError(EntryLabel(entry) + RepairZip.Message);
        }
        ExtractRom(entry);
        RenameExtracted(newName);
        replaced = file.FindRom(newName);
        AddExtracted(archive, entry);
        DeleteListed(archive, entry, EntryLabel(entry));
    }
    dirCache_.Open(file.Dir->Path);
    dirCache_.DeleteEntry(archive, entry.Name, entry.Crc);
    if (replaced != nullptr) {
        dirCache_.DeleteEntry(archive, newName, replaced->Crc);
    }
    dirCache_.InsertEntry(archive, newName, entry.Crc);
    dirCache_.Save();
}

void TRepairDiskAccess::DeleteRomFromZip(TZipRom& entry) {
    TFile& file = *entry.ZipFile;
    const std::string archive = file.FullName();
    BeginChange(file.Dir->Path, archive);
    DeleteListed(archive, entry, {});
    dirCache_.Open(file.Dir->Path);
    dirCache_.DeleteEntry(archive, entry.Name, entry.Crc);
}

void TRepairDiskAccess::AddRomToZip(TZipRom& entry, const fs::path& archivePath, const std::string& newName) {
    ExtractRom(entry);
    RenameExtracted(newName);
    const std::string directory = DirectoryOf(archivePath);
    BeginChange(directory, archivePath);
    AddExtracted(archivePath, entry);
    dirCache_.Open(directory);
    dirCache_.InsertEntry(archivePath.string(), newName, entry.Crc);
    dirCache_.Save();
}

void TRepairDiskAccess::MoveRomToZip(TZipRom& entry, const fs::path& archivePath, const std::string& newName) {
    AddRomToZip(entry, archivePath, newName);
    DeleteRomFromZip(entry);
}

void TRepairDiskAccess::DeleteZipFile(TFile& archive) {
    const std::string path = archive.FullName();
    dirCache_.PrepareChange(archive.Dir->Path);
    MakeWritable(path);
    std::error_code ec;
    // The cache forgets the archive only when it is really gone.
    if (!fs::remove(path, ec)) {
        return;
    }
    SyncDirectory(archive.Dir->Path);
    dirCache_.Open(archive.Dir->Path);
    dirCache_.DeleteZip(path);
}

void TRepairDiskAccess::MoveZipFile(TFile& archive, const fs::path& destination) {
    const std::string path = archive.FullName();
    dirCache_.PrepareChange(archive.Dir->Path);
    MakeWritable(path);
    MoveFileOrCopy(path, destination);
    dirCache_.Open(archive.Dir->Path);
    dirCache_.DeleteZip(path);
}

void TRepairDiskAccess::RenameZipFile(TFile& archive, const fs::path& newPath) {
    const std::string path = archive.FullName();
    dirCache_.PrepareChange(archive.Dir->Path);
    MakeWritable(path);
    std::error_code ec;
    // Never over an existing archive: rename(2) would replace it silently.
    if (fs::exists(fs::symlink_status(newPath, ec))) {
        return;
    }
    fs::rename(path, newPath, ec);
    if (ec) {
        return;
    }
    SyncDirectory(newPath.parent_path());
    dirCache_.Open(archive.Dir->Path);
    dirCache_.RenameZip(path, newPath.string());
}

void TRepairDiskAccess::TrashRomFromZip(TZipRom& entry) {
    const std::string archive = entry.ZipFile->FullName();
    auto it = trashArchives_.find(archive);
    if (it == trashArchives_.end()) {
        std::string why;
        const fs::path reserved = ReserveInTrash(archive, &why);
        if (reserved.empty()) {
            throw EDeleteRomError(EntryLabel(entry) + why);
        }
        it = trashArchives_.emplace(archive, reserved).first;
    }
    const fs::path& trashArchive = it->second;
    // Two entries of one name taken out of one archive are both kept.
    std::set<std::string>& names = trashNames_[trashArchive];
    std::string name = entry.Name;
    for (std::string suffix = "__"; names.contains(name); suffix += '_') {
        name = entry.Name + suffix;
    }
    ExtractRom(entry);
    RenameExtracted(name);
    RepairZip.ErrCode = 0;
    AddExtracted(trashArchive, entry);
    names.insert(name);
    DeleteRomFromZip(entry);
}

void TRepairDiskAccess::TrashZipFile(TFile& archive) {
    const std::string path = archive.FullName();
    dirCache_.PrepareChange(archive.Dir->Path);
    std::string why;
    if (!MoveToTrash(path, &why)) {
        throw EDeleteRomError(why);
    }
    SyncDirectory(archive.Dir->Path);
    dirCache_.Open(archive.Dir->Path);
    dirCache_.DeleteZip(path);
}

}  // namespace qm
