#include "engine/Repair.h"

#include <filesystem>
#include <system_error>

#include "engine/DatFileUnit.h"
#include "engine/RepairDiskAccess.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace qm {

namespace fs = std::filesystem;

const char* RepairActionKindName(RepairActionKind kind) {
    switch (kind) {
        case RepairActionKind::RenameArchive:
            return "rename_archive";
        case RepairActionKind::RenameEntry:
            return "rename_entry";
        case RepairActionKind::DisplaceEntry:
            return "displace_entry";
        case RepairActionKind::CopyEntry:
            return "copy_entry";
        case RepairActionKind::DeleteEntry:
            return "delete_entry";
        case RepairActionKind::MoveEntry:
            return "move_entry";
        case RepairActionKind::DeleteArchive:
            return "delete_archive";
        case RepairActionKind::MoveArchive:
            return "move_archive";
        case RepairActionKind::DeleteCorrupted:
            return "delete_corrupted";
        case RepairActionKind::MoveCorrupted:
            return "move_corrupted";
    }
    return "";
}

std::size_t TRepairResult::Count(RepairActionKind kind) const {
    std::size_t n = 0;
    for (const TRepairAction& action : Actions) {
        n += action.Kind == kind ? 1 : 0;
    }
    return n;
}

TRepair::TRepair(TPathsList& paths, const TCheckOptions& options, TRepairDiskAccess* disk, Job& job)
    : paths_(paths), options_(options), disk_(disk), job_(job), audit_(paths, options, job) {
    Result.DryRun = disk == nullptr;
    audit_.CancelMessage = kRepairCancelled;
    audit_.MatchedByScan = true;
}

void TRepair::Run() {
    job_.CheckCancel(kRepairCancelled);
    const std::uint64_t writtenBefore = disk_ == nullptr ? 0 : disk_->BytesWritten;
    // Renamed archives keep their TFile; archives the repair creates are not walked.
    std::vector<TFile*> snapshot;
    for (const auto& path : paths_.Paths()) {
        const std::vector<TFile*>& files = path->Files();
        snapshot.insert(snapshot.end(), files.begin(), files.end());
    }
    audit_.AuditFiles(*this, CheckMode::Repair);
    job_.Status("Checking roms...");
    // NeededElsewhere checks each target against the model before it copies.
    audit_.KeepLackingTargets = true;
    ProgressMeter progress(job_, snapshot.size());
    for (TFile* file : snapshot) {
        progress.Step();
        RepairFile(*file);
        if (disk_ != nullptr) {
            Result.BytesWritten = disk_->BytesWritten - writtenBefore;
        }
    }
}

void TRepair::RepairFile(TFile& file) {
    if (file.Removed) {
        return;  // gone as a corrupted archive
    }
    const bool rightNamed = file.Name == file.RightName();
    RepairEntries(file);
    if (!file.Removed && file.Modified && !file.Roms.empty() && !rightNamed) {
        // A stray entry of another set made the archive look like that set's; gone now, the
        // archive may be its own set's after all, and its unknown entries are then its to
        // settle.
        file.Analyse();
        if (file.Name == file.RightName()) {
            RepairEntries(file);
        }
    }
    if (file.Removed) {
        return;
    }
    if (file.Roms.empty()) {
        // Every entry left it: the archive is gone from the disk (an archive is never kept empty).
        file.Dir->RemoveFile(&file);
        return;
    }
    // Only an archive whose name stands for no set goes whole. One named after a set keeps
    // what that set needs: what it does not need has left it entry by entry, and a stray
    // entry of another set must not take the set's own ROMs away with it.
    const bool namesASet = paths_.SplitMode ? file.CloneOfFile() != nullptr : file.GameOfFile() != nullptr;
    if (file.Name == file.RightName() || namesASet) {
        return;
    }
    touched_.clear();
    try {
        DisposeArchive(file);
    } catch (const ECancelClick&) {
        throw;
    } catch (const std::exception& e) {
        const std::string line = "File " + file.FullName() + ": " + e.what();
        Result.ProblemLines.push_back(line);
        job_.Problem(line);
        ++Result.FailedArchives;
        paths_.DirCache().Invalidate(file.Dir->Path);
    }
}

void TRepair::RepairEntries(TFile& file) {
    file.Modified = false;
    // Matched by the name pass and not changed since (a change clears Analysed): only what the
    // other archives decide is taken again.
    if (!file.ReanalyseDuplicateName()) {
        file.Analyse();
    }
    const std::vector<TZipRom*> entries(file.Roms.begin(), file.Roms.end());
    for (TZipRom* entry : entries) {
        if (entry->Removed) {
            continue;
        }
        touched_.clear();
        try {
            RepairEntry(*entry);
            if (disk_ != nullptr) {
                disk_->CleanExtracted();
            }
        } catch (const ECancelClick&) {
            if (disk_ != nullptr) {
                disk_->CleanExtracted();
            }
            throw;
        } catch (const std::exception& e) {
            if (disk_ != nullptr) {
                disk_->CleanExtracted();
            }
            // A change may have stopped half-way: the caches of what it touched are read again.
            for (const std::string& dir : touched_) {
                paths_.DirCache().Invalidate(dir);
            }
            const std::string path = file.FullName();
            const std::string line = "File " + path + ": " + e.what();
            Result.ProblemLines.push_back(line);
            job_.Problem(line);
            ++Result.FailedArchives;
            // Only an archive that cannot be read is a corrupted one: a full disk or a read-only
            // medium says nothing against the archive, which must not be moved or deleted for it.
            if (dynamic_cast<const EExtractRomError*>(&e) != nullptr && OnZipError && OnZipError(path, e.what())) {
                file.Dir->RemoveFile(&file);
            }
            return;
        }
    }
}

void TRepair::RepairEntry(TZipRom& entry) {
    [&] {
        if (entry.CrcRom != nullptr) {
            if (options_.RepairNeededElsewhere) {
                audit_.CheckNeededElsewhere(entry, *this);
            }
            if (options_.RepairNames) {
                audit_.CheckName(entry, *this, TAudit::NameKind::Plain);
            }
            if (entry.Removed) {
                return;
            }
        }
        if (options_.RepairNoGoodDump) {
            audit_.CheckNeededElsewhereSpecial(entry, *this);
            audit_.CheckName(entry, *this, TAudit::NameKind::Complemented);
            if (entry.Removed) {
                return;
            }
        }
        if (options_.Unknown != UnknownAction::Ignore) {
            audit_.CheckNotNeeded(entry, *this);
            if (entry.Removed) {
                return;
            }
            audit_.CheckUnknown(entry, *this, CheckMode::Repair);
        }
    }();
    job_.CheckCancel(kRepairCancelled);
}

// ---------------------------------------------------------------------------------------------
// The repair-mode halves of the checks

void TRepair::ArchiveName(TFile& file, TArchiveFinding finding) {
    if (finding.Kind != FindingKind::RightName) {
        return;
    }
    const std::string oldPath = file.FullName();
    const std::string newPath = file.Dir->Path + finding.Expected;
    if (disk_ != nullptr) {
        std::string why;
        try {
            disk_->RenameZipFile(file, newPath);
        } catch (const std::exception& e) {
            why = e.what();
        }
        std::error_code ec;
        if (why.empty() && (!fs::exists(newPath, ec) || fs::exists(oldPath, ec))) {
            why = "cannot be renamed to " + finding.Expected;
        }
        if (!why.empty()) {
            const std::string line = "File " + oldPath + ": " + why;
            Result.ProblemLines.push_back(line);
            job_.Problem(line);
            ++Result.FailedArchives;
            return;
        }
    }
    Record({RepairActionKind::RenameArchive, oldPath, {}, {}, newPath, {}});
    file.SetName(finding.Expected);
    file.Modified = true;
}

void TRepair::Entry(TZipRom& entry, TFinding finding) {
    switch (finding.Kind) {
        case FindingKind::NeededElsewhere:
            NeededElsewhere(entry, finding);
            return;
        case FindingKind::WrongName:
            RepairMessage(entry);
            AddUnderName(entry, finding.Expected, /*rename=*/true);
            return;
        case FindingKind::SecondName:
            RepairMessage(entry);
            AddUnderName(entry, finding.Expected, /*rename=*/false);
            return;
        case FindingKind::DuplicatedEntry:
        case FindingKind::Unknown:
            RepairMessage(entry);
            RemoveUnneeded(entry);
            return;
        case FindingKind::NotNeeded:
            RemoveUnneeded(entry);
            return;
        default:
            return;
    }
}

void TRepair::NeededElsewhere(TZipRom& entry, const TFinding& finding) {
    TPath* dir = nullptr;
    if (finding.Complemented || finding.NoGoodDump) {
        dir = paths_.WritablePathFor(finding.Target);
    } else {
        dir = paths_.PathHolding(finding.Target);
        if (dir != nullptr && dir->ReadOnly) {
            dir = paths_.WritablePathFor(finding.Target);
        }
    }
    if (dir == nullptr || dir->ReadOnly) {
        return;  // every ROM directory is on a read-only medium: nowhere to write
    }
    // Several clones of one set may need the ROM under one name in the set's one archive: the
    // first copy serves them all.
    if (const TFile* target = dir->FindFile(finding.Target)) {
        const std::string crc = finding.Complemented ? ComplementForLookup(entry.Crc) : entry.Crc;
        const std::string complement = ComplementForLookup(crc);
        for (const TZipRom* held : target->Roms) {
            if (held->Name == finding.Expected && (held->Crc == crc || held->Crc == complement)) {
                return;
            }
        }
    }
    RepairMessage(entry);
    if (Displace(*dir, finding.Target, finding.Expected)) {
        CopyEntry(entry, *dir, finding.Target, finding.Expected);
    }
}

void TRepair::AddUnderName(TZipRom& entry, const std::string& name, bool rename) {
    TFile& own = *entry.ZipFile;
    if (own.Dir->ReadOnly) {
        // The archive stays as it is; the archive of its right name in a writable directory
        // gets the entry under the name, once.
        const std::string right = own.RightName();
        TPath* writable = right.empty() ? nullptr : paths_.WritablePathFor(right);
        if (writable == nullptr) {
            return;
        }
        if (const TFile* held = writable->FindFile(right)) {
            if (const TZipRom* copy = held->FindRom(name); copy != nullptr && copy->Crc == entry.Crc) {
                return;
            }
        }
        if (Displace(*writable, right, name)) {
            CopyEntry(entry, *writable, right, name);
        }
        return;
    }
    if (!Displace(*own.Dir, own.Name, name)) {
        return;
    }
    // An entry already renamed to one of its right names is copied under the others: renaming
    // it again would take it away from the first.
    if (!rename || entry.HasRightName()) {
        CopyEntry(entry, *own.Dir, own.Name, name);
        return;
    }
    const std::string oldName = entry.Name;
    if (disk_ != nullptr) {
        Touch(own.Dir->Path);
        disk_->RenameRomInZip(entry, name);
    }
    Record({RepairActionKind::RenameEntry, own.FullName(), oldName, entry.Crc, {}, name});
    entry.SetName(name);
    own.Modified = true;
    own.Analysed = false;
}

void TRepair::CopyEntry(TZipRom& entry, TPath& dir, const std::string& archiveName, const std::string& name) {
    const std::string target = dir.Path + archiveName;
    if (UnreadableArchives.contains(target)) {
        return;
    }
    if (disk_ != nullptr) {
        Touch(entry.ZipFile->Dir->Path);
        Touch(dir.Path);
        // The cache records the copy under the CRC its data has, also for a known bad dump copied
        // where its good dump is needed.
        disk_->AddRomToZip(entry, target, name);
    }
    Record({RepairActionKind::CopyEntry, entry.ZipFile->FullName(), entry.Name, entry.Crc, target, name});
    AddToModel(entry, dir, archiveName, name);
    entry.ZipFile->Modified = true;
}

bool TRepair::Displace(TPath& dir, const std::string& archiveName, const std::string& name) {
    TFile* target = dir.FindFile(archiveName);
    TZipRom* other = target == nullptr ? nullptr : target->FindRom(name);
    if (other == nullptr) {
        return true;
    }
    // The entry there is right under that name too (one archive for a whole set, whose clones
    // want different ROMs under one name): it stays, and nothing can go under its name.
    if (other->HasRightName()) {
        return false;
    }
    // A name of its own: renaming onto a name the archive holds would replace that entry.
    std::string newName = name + "__";
    while (target->FindRom(newName) != nullptr) {
        newName += '_';
    }
    if (disk_ != nullptr) {
        Touch(dir.Path);
        disk_->RenameRomInZip(*other, newName);
    }
    Record({RepairActionKind::DisplaceEntry, target->FullName(), other->Name, other->Crc, {}, newName});
    other->SetName(newName);
    target->Modified = true;
    target->Analysed = false;  // a ROM of unknown good dump is matched by its name
    return true;
}

void TRepair::RemoveUnneeded(TZipRom& entry) {
    TFile& own = *entry.ZipFile;
    // An archive on a read-only medium is never changed.
    if (options_.Unknown == UnknownAction::Ignore || own.Dir->ReadOnly) {
        return;
    }
    if (options_.Unknown == UnknownAction::Delete) {
        if (disk_ != nullptr) {
            Touch(own.Dir->Path);
            disk_->TrashRomFromZip(entry);
        }
        Record({RepairActionKind::DeleteEntry, own.FullName(), entry.Name, entry.Crc, {}, {}});
    } else {
        const std::string folder = WithTrailingSlash(options_.UnknownPath);
        const std::string target = folder + own.Name;
        const std::string name = FreeMovedName(target, entry.Name);
        if (disk_ != nullptr) {
            Touch(own.Dir->Path);
            Touch(folder);
            disk_->MoveRomToZip(entry, target, name);
        }
        Record({RepairActionKind::MoveEntry, own.FullName(), entry.Name, entry.Crc, target, name});
    }
    own.Modified = true;
    own.RemoveRom(&entry);
}

void TRepair::DisposeArchive(TFile& file) {
    if (options_.Unknown == UnknownAction::Ignore || file.Dir->ReadOnly) {
        return;
    }
    const std::string path = file.FullName();
    if (options_.Unknown == UnknownAction::Delete) {
        job_.Status("Deleting file " + file.Name);
        if (disk_ != nullptr) {
            disk_->TrashZipFile(file);
        }
        Record({RepairActionKind::DeleteArchive, path, {}, {}, {}, {}});
    } else {
        job_.Status("Moving file " + file.Name);
        const std::string target = FreeMovedArchive(WithTrailingSlash(options_.UnknownPath), file.Name);
        if (disk_ != nullptr) {
            disk_->MoveZipFile(file, target);
        }
        Record({RepairActionKind::MoveArchive, path, {}, {}, target, {}});
    }
    file.Dir->RemoveFile(&file);
}

void TRepair::AddToModel(const TZipRom& entry, TPath& dir, const std::string& archiveName, const std::string& name) {
    TFile* target = dir.FindOrAddFile(archiveName);
    target->AddRom(name, entry.Crc);
}

void TRepair::RepairMessage(const TZipRom& entry) {
    job_.Status("Repairing file " + entry.ZipFile->Name + " (" + entry.ShortName() + ")");
}

std::string TRepair::FreeMovedName(const std::string& archivePath, const std::string& name) {
    auto it = movedNames_.find(archivePath);
    if (it == movedNames_.end()) {
        std::set<std::string> names;
        std::error_code ec;
        if (fs::exists(archivePath, ec)) {
            reader_.ErrCode = 0;
            reader_.SetZipFilename(archivePath);
            for (const ZipDirEntry& listed : reader_.ZipEntries()) {
                names.insert(LowerCase(listed.FileName));
            }
        }
        it = movedNames_.emplace(archivePath, std::move(names)).first;
    }
    // An entry moved there earlier (this run or another) is kept: a later one of the same name
    // gets a name of its own.
    std::string free = name;
    for (std::string suffix = "__"; it->second.contains(LowerCase(free)); suffix += '_') {
        free = name + suffix;
    }
    it->second.insert(LowerCase(free));
    return free;
}

std::string TRepair::FreeMovedArchive(const std::string& folder, const std::string& name) {
    std::string target = folder + name;
    std::error_code ec;
    for (int n = 2; movedArchives_.contains(target) || fs::exists(fs::symlink_status(target, ec)); ++n) {
        target = folder + ZipBaseName(name) + " (" + std::to_string(n) + ").zip";
    }
    movedArchives_.insert(target);
    return target;
}

}  // namespace qm
