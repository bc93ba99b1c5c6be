// The audit: every check of an archive's name and of its entries, with the report lines of
// report mode. The repair runs the same checks in repair mode.
#include <algorithm>
#include <system_error>

#include "engine/DatFileUnit.h"
#include "engine/FilesTools.h"
#include "engine/RomsFiles.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

constexpr int kNameWidth = 12;
constexpr std::string_view kGap = "         ";  // before every status word of an entry line

std::string P(std::string_view s) {
    return PadRight(s, kNameWidth);
}

bool CrcOrComplement(std::string_view crc, std::string_view wanted, std::string_view wantedComplement) {
    return crc == wanted || (!wantedComplement.empty() && crc == wantedComplement);
}

// The entry line's start: name and CRC.
std::string EntryStart(const TZipRom& entry) {
    return P(entry.Name) + " " + entry.Crc;
}

std::string SystemErrorText() {
    return std::error_code(errno, std::generic_category()).message();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Archive names

void TPathsList::AuditFiles(TReportLines& report, CheckMode mode) {
    // A snapshot: renames during the walk re-sort the list.
    const std::vector<TFile*> files = Files.Sorted();
    for (TFile* file : files) {
        StepProgress();
        ShowText("Auditing file " + file->Name);
        file->AuditName(report, mode);
    }
}

void TFile::AuditName(TReportLines& report, CheckMode mode) {
    Analyse();
    const TCheckOptions& options = Dir->Owner->Options;
    const bool reportMode = mode == CheckMode::Report;
    std::string line;
    if (options.ReportBadZipNames || !reportMode) {
        const std::string right = RightName();
        if (right.empty()) {
            if (reportMode) {
                report.push_back(P(Name) + " : No good name found");
            }
            return;
        }
        if (Name != right) {
            line = P(Name) + " : Right name is " + P(right);
            if (Dir->FindFile(right) == nullptr) {
                if (!Dir->ReadOnly) {
                    if (!reportMode) {
                        // Renaming on disk belongs to the repair.
                        return;
                    }
                    // The rest of the report sees the archive under its right name.
                    SetName(right);
                } else if (reportMode) {
                    line += " but can't rename (Read Only device)";
                }
            } else if (reportMode) {
                line += " but can't rename (" + right + " already exist)";
            }
        }
        if (DuplicateName && reportMode) {
            report.push_back(P(Name) + " : Duplicated file.");
            return;
        }
        if (!line.empty() && reportMode) {
            report.push_back(line);
        }
    }
    if (options.ReportCorrectNames && Name == RightName() && reportMode && line.empty()) {
        report.push_back(P(Name) + " : File name correct");
    }
}

// ---------------------------------------------------------------------------------------------
// Entries

void TFile::AuditRoms(TReportLines& report) {
    TPathsList& owner = *Dir->Owner;
    Analyse();
    const std::vector<TZipRom*> entries(Roms.begin(), Roms.end());
    TReportLines lines;
    for (TZipRom* entry : entries) {
        try {
            if (owner.BeforeEntryCheck) {
                owner.BeforeEntryCheck(*entry);
            }
            entry->AuditEntry(lines);
        } catch (const ECancelClick&) {
            throw;
        } catch (const std::exception& e) {
            if (owner.OnZipError) {
                owner.OnZipError(FullName(), e.what());
            }
            lines.push_back(std::string("Error : ") + e.what());
            break;
        }
    }
    const std::string header = "File " + FullName();
    if (DuplicateName) {
        report.emplace_back();
        report.push_back(header + " (Another file with the same name exist)");
    } else if (!lines.empty()) {
        report.emplace_back();
        report.push_back(header);
    } else {
        return;
    }
    report.push_back(std::string(header.size() + 1, '='));
    report.insert(report.end(), lines.begin(), lines.end());
}

void TZipRom::AuditEntry(TReportLines& lines) {
    const TPathsList& owner = *ZipFile->Dir->Owner;
    const TCheckOptions& options = owner.Options;
    [&] {
        if (CrcRom != nullptr) {
            if (options.ReportNeededElsewhere) {
                CheckNeededElsewhere(lines, CheckMode::Report);
            }
            if (options.ReportCorrectRoms) {
                ReportCorrect(lines);
            }
            if (options.ReportBadRomNames) {
                CheckName(lines, CheckMode::Report, NameKind::Plain);
            }
            if (Removed) {
                return;
            }
        }
        if (options.ReportNoGoodDump) {
            ReportCorrectComplemented(lines);
            ReportCorrectNoGoodDump(lines);
            if (Removed) {
                return;
            }
            if (options.ReportNeededElsewhere) {
                CheckNeededElsewhereSpecial(lines, CheckMode::Report);
            }
            CheckName(lines, CheckMode::Report, NameKind::Complemented);
            if (Removed) {
                return;
            }
        }
        if (options.ReportUnknown) {
            CheckUnknown(lines, CheckMode::Report);
            if (Removed) {
                return;
            }
        }
        if (options.ReportNotNeeded) {
            CheckNotNeeded(lines, CheckMode::Report);
        }
    }();
    if (owner.CancelRequested) {
        throw ECancelClick("Process cancelled by user !");
    }
}

void TPathsList::CollectRightNames(const TFile& file, std::string_view crc) {
    RightNames.Clear();
    if (SplitMode) {
        if (const TClone* clone = file.CloneOfFile()) {
            clone->CollectMatchingRoms(RightNames, crc);
        }
    } else if (const TGame* game = file.GameOfFile()) {
        game->CollectMatchingRoms(RightNames, crc);
    }
}

const std::vector<TPathsList::LackingTarget>& TPathsList::TargetsLacking(const TRom& rom, std::string_view crc) {
    // Keyed on the ROM itself: ROMs without a good dump are alike in everything but identity.
    LackingKey key{&rom, std::string(crc)};
    if (const auto it = lackingTargets_.find(key); it != lackingTargets_.end()) {
        return it->second;
    }
    std::vector<LackingTarget> lacking;
    TNeedingClonesList needing;
    games_.ClonesNeedingRom(rom, needing);
    const std::string complement = ComplementForLookup(crc);
    for (const NamedClone& need : needing) {
        const std::string target = (SplitMode ? need.Clone->Name : need.Clone->Game->Name) + ".zip";
        const TPath* dir = PathHolding(target);
        // The archive that should hold it has it, under that name, with this CRC or its complement.
        if (const TFile* held = dir == nullptr ? nullptr : dir->FindFile(target)) {
            const bool present = std::any_of(held->Roms.begin(), held->Roms.end(), [&](const TZipRom* other) {
                return other->Name == need.Name && CrcOrComplement(other->Crc, crc, complement);
            });
            if (present) {
                continue;
            }
        }
        // On a read-only medium, a copy of the archive in a writable directory may hold it.
        if (dir != nullptr && dir->ReadOnly) {
            const TPath* writable = WritablePathFor(target);
            const TFile* copy = writable == nullptr ? nullptr : writable->FindFile(target);
            if (copy != nullptr && std::any_of(copy->Roms.begin(), copy->Roms.end(),
                                               [&](const TZipRom* other) { return other->Crc == crc; })) {
                continue;
            }
        }
        const TRom* needed = need.Clone->FindCloneRom(need.Name);
        lacking.push_back(LackingTarget{need.Name, target, (dir == nullptr ? std::string() : dir->Path) + target,
                                        needed != nullptr && needed->Crc == kNoGoodDumpCrc});
    }
    return lackingTargets_.emplace(std::move(key), std::move(lacking)).first->second;
}

void TZipRom::CheckNeededElsewhere(TReportLines& lines, CheckMode mode) {
    TPathsList& owner = *ZipFile->Dir->Owner;
    const std::string ownPath = ZipFile->FullName();
    const std::string shortName = ShortName();
    for (const TPathsList::LackingTarget& target : owner.TargetsLacking(*CrcRom, Crc)) {
        // A ROM of unknown good dump is only needed under its own name.
        if (target.NeededIsNoGoodDump && target.NeededName != shortName) {
            continue;
        }
        if (target.TargetPath == ownPath) {
            continue;
        }
        if (mode == CheckMode::Report) {
            lines.push_back(EntryStart(*this) + std::string(kGap) + "missing in set " + P(target.TargetArchive) + " (" +
                            target.NeededName + ")");
        }
    }
}

void TZipRom::CheckNeededElsewhereSpecial(TReportLines& lines, CheckMode mode) {
    TPathsList& owner = *ZipFile->Dir->Owner;
    TGamesList& games = owner.Games();
    const std::string shortName = ShortName();
    if (NameRom != nullptr && !NameRom->Clones.empty()) {
        const TGame* game = NameRom->Clones[0]->Game;
        for (const TClone* clone : game->Clones) {
            if (!owner.SplitMode && clone->Name != game->Name) {
                continue;
            }
            const std::string target = clone->Name + ".zip";
            const TPath* dir = owner.WritablePathFor(target);
            const TRom* rom = clone->FindCloneRom(shortName);
            if (rom == nullptr || !rom->NoGoodDump) {
                continue;
            }
            const TFile* held = dir == nullptr ? nullptr : dir->FindFile(target);
            if (held != nullptr && held->IndexOfName(shortName) >= 0) {
                continue;
            }
            if (mode == CheckMode::Report) {
                lines.push_back(EntryStart(*this) + std::string(kGap) + "missing in set " + P(target) + " (" +
                                shortName + ") (No good dump known)");
            }
        }
    }
    if (ComplementRom != nullptr) {
        // The copies are what the set needs: the complemented CRC.
        const std::string shown = Crc;
        const std::string complemented = ComplementForLookup(Crc);
        TNeedingClonesList needing;
        games.ClonesNeedingRom(*ComplementRom, needing);
        const std::string ownPath = ZipFile->FullName();
        for (const NamedClone& need : needing) {
            const std::string target = (owner.SplitMode ? need.Clone->Name : need.Clone->Game->Name) + ".zip";
            const TPath* dir = owner.WritablePathFor(target);
            const std::string targetPath = (dir == nullptr ? std::string() : dir->Path) + target;
            if (targetPath == ownPath || owner.HasRomInZip(target, need.Name, complemented)) {
                continue;
            }
            if (mode == CheckMode::Report) {
                lines.push_back(P(Name) + " " + shown + std::string(kGap) + "missing in set " + P(target) + " (" +
                                need.Name + ") (complemented crc)");
            }
        }
    }
}

void TZipRom::CheckName(TReportLines& lines, CheckMode mode, NameKind kind) {
    if (!IsNeeded()) {
        return;
    }
    std::string crc = Crc;
    std::string suffix;
    if (kind == NameKind::Complemented) {
        if (ComplementRom == nullptr) {
            return;
        }
        crc = ComplementForLookup(Crc);
        suffix = " (complemented crc)";
    }
    TPathsList& owner = *ZipFile->Dir->Owner;
    owner.CollectRightNames(*ZipFile, crc);
    // The names are copied: the checks of another entry refill the owner's scratch list.
    const TNamedRomList rightNames = owner.RightNames;
    const bool hasRightName = HasRightName();
    for (const NamedRom& right : rightNames) {
        if (Name == right.Name) {
            continue;
        }
        const std::string good = kind == NameKind::Plain ? Crc : rightNames[0].Rom->Crc;
        const std::string goodComplement = ComplementForLookup(good);
        const TZipRom* other = ZipFile->FindRom(right.Name);
        if (hasRightName) {
            if (other != nullptr && CrcOrComplement(other->Crc, good, goodComplement)) {
                continue;
            }
            if (mode == CheckMode::Report) {
                lines.push_back(EntryStart(*this) + std::string(kGap) + "also needed with the name " + right.Name +
                                suffix);
            }
        } else if (other == nullptr || other->Crc != good) {
            if (mode == CheckMode::Report) {
                lines.push_back(EntryStart(*this) + std::string(kGap) + "right name is " + right.Name + suffix);
            }
        } else if (NameRom == nullptr) {
            if (mode == CheckMode::Report) {
                lines.push_back(EntryStart(*this) + std::string(kGap) + "duplicated" + suffix);
            }
            break;
        }
    }
}

void TZipRom::ReportCorrect(TReportLines& lines) {
    if (!IsNeeded() || ZipFile->PreferredPath() != ZipFile->Dir) {
        return;
    }
    TPathsList& owner = *ZipFile->Dir->Owner;
    owner.CollectRightNames(*ZipFile, Crc);
    for (const NamedRom& right : owner.RightNames) {
        if (right.Name == Name && !right.Rom->NoGoodDump) {
            lines.push_back(EntryStart(*this) + " correct");
        }
    }
}

void TZipRom::ReportCorrectComplemented(TReportLines& lines) {
    if (ComplementRom == nullptr || !IsNeeded() || ZipFile->PreferredPath() != ZipFile->Dir) {
        return;
    }
    TPathsList& owner = *ZipFile->Dir->Owner;
    owner.CollectRightNames(*ZipFile, ComplementForLookup(Crc));
    for (const NamedRom& right : owner.RightNames) {
        if (right.Name == Name) {
            lines.push_back(EntryStart(*this) + " correct (complemented crc)");
        }
    }
}

void TZipRom::ReportCorrectNoGoodDump(TReportLines& lines) {
    if (CrcRom == nullptr || !CrcRom->NoGoodDump || ZipFile->PreferredPath() != ZipFile->Dir ||
        ZipFile->Name != ZipFile->RightName()) {
        return;
    }
    if (ZipFile->Dir->Owner->SplitMode) {
        const TRom* rom = ZipFile->Clone == nullptr ? nullptr : ZipFile->Clone->FindCloneRom(ShortName());
        if (rom == nullptr || !rom->NoGoodDump) {
            return;
        }
    }
    lines.push_back(EntryStart(*this) + " correct (No good dump known)");
}

void TZipRom::CheckNotNeeded(TReportLines& lines, CheckMode mode) {
    if (Unknown || IsNeeded()) {
        return;
    }
    if (mode == CheckMode::Report) {
        lines.push_back(EntryStart(*this) + std::string(kGap) + "not needed in this set");
    }
}

void TZipRom::CheckUnknown(TReportLines& lines, CheckMode mode) {
    if (!Unknown) {
        return;
    }
    if (mode == CheckMode::Report) {
        lines.push_back(EntryStart(*this) + std::string(kGap) + "Unknown");
    }
}

bool TPathsList::HasRomInZip(std::string_view archiveName, std::string_view entryName, std::string_view crc) const {
    const std::string complement = ComplementForLookup(crc);
    for (auto [it, end] = Files.EqualRange(archiveName); it != end; ++it) {
        const TFile* file = *it;
        if (file->Name != archiveName) {
            continue;
        }
        for (const TZipRom* entry : file->Roms) {
            if (entry->Name == entryName && CrcOrComplement(entry->Crc, crc, complement)) {
                return true;
            }
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// The whole audit and corrupted archives

void TPathsList::Audit(TReportLines& report) {
    CancelRequested = false;
    FailedChanges = 0;
    ProblemLines.clear();
    OnZipError = [this](const std::string& path, const std::string& message) { HandleCorruptedFile(path, message); };
    cancellable_ = true;
    struct Unbind {
        TPathsList& owner;
        ~Unbind() {
            owner.OnZipError = nullptr;
            owner.cancellable_ = false;
        }
    } unbind{*this};

    if (Options.RefreshCache) {
        Reset(true);
        Scan(true);
    }
    if (!ProblemLines.empty()) {
        if (OnProblemLines) {
            OnProblemLines(ProblemLines);
        }
        ProblemLines.clear();
    }
    lastPercent_ = -1;
    Progress(0, 2 * static_cast<int>(Files.size()));
    ProgressPos = 0;
    AuditFiles(report, CheckMode::Report);
    for (const auto& path : paths_) {
        // A copy: handling a corrupted archive may change the directory's list.
        const std::vector<TFile*> files = path->Files();
        for (TFile* file : files) {
            ShowText("Auditing roms in file " + file->Name);
            StepProgress();
            file->AuditRoms(report);
        }
    }
    try {
        dirCache_.Flush();
    } catch (const std::exception& e) {
        // The report is good; the directory whose cache could not be written is read again next time.
        ProblemLines.push_back(std::string("Cache not written: ") + e.what());
    }
}

void TPathsList::CheckCancel() const {
    if (cancellable_ && CancelRequested) {
        throw ECancelClick("Process cancelled by user !");
    }
}

void TPathsList::HandleCorruptedFile(const std::string& archivePath, const std::string& message) {
    // Once the user asked to stop, nothing more changes on disk.
    CheckCancel();
    const std::string fileName = FileNameOfPath(archivePath);
    const std::string directory = WithTrailingSlash(fs::path(archivePath).parent_path().string());
    std::error_code ec;
    switch (Options.Corrupted) {
        case CorruptedAction::Ignore:
            ProblemLines.push_back(message);
            ProblemLines.push_back("***** File ignored");
            return;
        case CorruptedAction::Move: {
            ProblemLines.push_back(message);
            const std::string target = WithTrailingSlash(Options.CorruptedPath);
            fs::path destination = fs::path(target) / fileName;
            fs::create_directories(target, ec);
            // An older file of that name there is kept: the new one gets a free name beside it.
            for (int n = 2; fs::exists(fs::symlink_status(destination, ec)); ++n) {
                destination = fs::path(target) / (ZipBaseName(fileName) + " (" + std::to_string(n) + ").zip");
            }
            try {
                dirCache_.PrepareChange(directory);
                MakeWritable(archivePath);
                MoveFileOrCopy(archivePath, destination);
            } catch (const std::exception& e) {
                ProblemLines.push_back("Can't copy file " + archivePath + " in " + destination.string() + " .");
                ProblemLines.push_back(e.what());
                ProblemLines.emplace_back();
                ++FailedChanges;
                return;
            }
            ProblemLines.push_back("***** File moved to " + target);
            dirCache_.Open(directory);
            dirCache_.DeleteZip(archivePath);
            return;
        }
        case CorruptedAction::Delete: {
            ProblemLines.push_back(message);
            std::string why;
            try {
                dirCache_.PrepareChange(directory);
            } catch (const std::exception& e) {
                why = e.what();  // the archive must not change while its cache says otherwise
            }
            if (why.empty()) {
                MakeWritable(archivePath);
                if (!fs::remove(archivePath, ec)) {
                    why = ec ? ec.message() : SystemErrorText();
                }
            }
            if (!why.empty()) {
                ProblemLines.push_back("Can't delete file " + archivePath + ".");
                ProblemLines.push_back(why);
                ProblemLines.emplace_back();
                ++FailedChanges;
                return;
            }
            SyncDirectory(directory);
            ProblemLines.push_back("***** File deleted");
            dirCache_.Open(directory);
            dirCache_.DeleteZip(archivePath);
            return;
        }
    }
}

}  // namespace qm
