#include "engine/Audit.h"

#include <algorithm>
#include <iterator>

#include "game_db/cel_strings.h"

namespace qm {

namespace {

bool CrcOrComplement(std::string_view crc, std::string_view wanted, std::string_view wantedComplement) {
    return crc == wanted || (!wantedComplement.empty() && crc == wantedComplement);
}

TArchiveFinding ArchiveFinding(FindingKind kind, const TFile& file, std::string expected = {}) {
    return TArchiveFinding{kind, file.FullName(), std::move(expected)};
}

TFinding EntryFinding(FindingKind kind, const TZipRom& entry, std::string expected = {}) {
    TFinding finding;
    finding.Kind = kind;
    finding.Entry = entry.Name;
    finding.Crc = entry.Crc;
    finding.Expected = std::move(expected);
    return finding;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Collecting

void TCollectFindings::ArchiveName(TFile&, TArchiveFinding finding) {
    Result.Names.push_back(std::move(finding));
}

void TCollectFindings::BeginArchive(TFile& file) {
    current_ = TArchiveFindings{};
    current_.Path = file.FullName();
}

void TCollectFindings::Entry(TZipRom&, TFinding finding) {
    scratch_.push_back(std::move(finding));
}

void TCollectFindings::EndArchive(TFile& file) {
    // A duplicated archive is shown even with nothing to say about its entries.
    current_.Duplicate = file.DuplicateName;
    if (current_.Duplicate || !scratch_.empty()) {
        // Gathered in a list that keeps its room from one archive to the next, then moved into
        // one of the right size: a large collection has hundreds of thousands of findings.
        current_.Findings.reserve(scratch_.size());
        std::move(scratch_.begin(), scratch_.end(), std::back_inserter(current_.Findings));
        Result.Archives.push_back(std::move(current_));
    }
    scratch_.clear();
    current_ = TArchiveFindings{};
}

// ---------------------------------------------------------------------------------------------
// The whole audit

TAudit::TAudit(TPathsList& paths, const TCheckOptions& options, Job& job)
    : paths_(paths), options_(options), job_(job) {}

TAuditResult TAudit::Run() {
    TCollectFindings collect;
    problems_.clear();
    progress_.emplace(job_, 2 * paths_.Files.size());
    AuditFiles(collect, CheckMode::Report);
    for (const auto& path : paths_.Paths()) {
        // A copy: the checks may change the directory's list.
        const std::vector<TFile*> files = path->Files();
        for (TFile* file : files) {
            job_.CheckCancel(CancelMessage);
            job_.Status("Auditing roms in file " + file->Name);
            Step();
            AuditRoms(*file, collect);
        }
    }
    progress_.reset();
    collect.Result.ProblemLines = std::move(problems_);
    return std::move(collect.Result);
}

void TAudit::Step() {
    if (progress_) {
        progress_->Step();
    }
}

// ---------------------------------------------------------------------------------------------
// Archive names

void TAudit::AuditFiles(TFindingSink& sink, CheckMode mode) {
    // A snapshot: renames during the walk re-sort the list.
    const std::vector<TFile*> files = paths_.Files.Sorted();
    for (TFile* file : files) {
        job_.CheckCancel(CancelMessage);
        Step();
        job_.Status("Auditing file " + file->Name);
        AuditName(*file, sink, mode);
    }
}

void TAudit::AuditName(TFile& file, TFindingSink& sink, CheckMode mode) {
    if (!MatchedByScan || !file.ReanalyseDuplicateName()) {
        file.Analyse();
    }
    named_.insert(&file);
    const bool reportMode = mode == CheckMode::Report;
    std::optional<TArchiveFinding> pending;
    if (options_.ReportBadZipNames || !reportMode) {
        const std::string right = file.RightName();
        if (right.empty()) {
            if (reportMode) {
                sink.ArchiveName(file, ArchiveFinding(FindingKind::NoGoodName, file));
            }
            return;
        }
        if (file.Name != right) {
            if (file.Dir->FindFile(right) == nullptr) {
                if (!file.Dir->ReadOnly) {
                    if (!reportMode) {
                        // The repair's sink renames the archive on disk and in the model.
                        sink.ArchiveName(file, ArchiveFinding(FindingKind::RightName, file, right));
                        return;
                    }
                    pending = ArchiveFinding(FindingKind::RightName, file, right);
                    // The rest of the report sees the archive under its right name.
                    file.SetName(right);
                } else if (reportMode) {
                    pending = ArchiveFinding(FindingKind::RightNameReadOnly, file, right);
                }
            } else if (reportMode) {
                pending = ArchiveFinding(FindingKind::RightNameTaken, file, right);
            }
        }
        if (file.DuplicateName && reportMode) {
            // Instead of the name's finding, under the name the archive now has.
            sink.ArchiveName(file, ArchiveFinding(FindingKind::DuplicatedArchive, file));
            return;
        }
        if (pending && reportMode) {
            sink.ArchiveName(file, std::move(*pending));
        }
    }
    if (options_.ReportCorrectNames && file.Name == file.RightName() && reportMode && !pending) {
        sink.ArchiveName(file, ArchiveFinding(FindingKind::NameCorrect, file));
    }
}

// ---------------------------------------------------------------------------------------------
// Entries

void TAudit::AuditRoms(TFile& file, TFindingSink& sink) {
    // Matched by the name pass, and not changed since but for the renames of other archives.
    if (!named_.contains(&file) || !file.ReanalyseDuplicateName()) {
        file.Analyse();
    }
    const std::vector<TZipRom*> entries(file.Roms.begin(), file.Roms.end());
    sink.BeginArchive(file);
    for (TZipRom* entry : entries) {
        try {
            if (BeforeEntryCheck) {
                BeforeEntryCheck(*entry);
            }
            AuditEntry(*entry, sink);
        } catch (const ECancelClick&) {
            throw;
        } catch (const std::exception& e) {
            // The checks read the picture only, never the archive: an error here is no sign of
            // a corrupted archive, and the archive is left alone.
            TFinding failed = EntryFinding(FindingKind::CheckFailed, *entry);
            failed.Message = e.what();
            sink.Entry(*entry, std::move(failed));
            problems_.push_back("File " + file.FullName() + ": " + e.what());
            job_.Problem(problems_.back());
            break;
        }
    }
    sink.EndArchive(file);
}

void TAudit::AuditEntry(TZipRom& entry, TFindingSink& sink) {
    [&] {
        if (entry.CrcRom != nullptr) {
            if (options_.ReportNeededElsewhere) {
                CheckNeededElsewhere(entry, sink);
            }
            if (options_.ReportCorrectRoms) {
                ReportCorrect(entry, sink);
            }
            if (options_.ReportBadRomNames) {
                CheckName(entry, sink, NameKind::Plain);
            }
            if (entry.Removed) {
                return;
            }
        }
        if (options_.ReportNoGoodDump) {
            ReportCorrectComplemented(entry, sink);
            ReportCorrectNoGoodDump(entry, sink);
            if (entry.Removed) {
                return;
            }
            if (options_.ReportNeededElsewhere) {
                CheckNeededElsewhereSpecial(entry, sink);
            }
            CheckName(entry, sink, NameKind::Complemented);
            if (entry.Removed) {
                return;
            }
        }
        if (options_.ReportUnknown) {
            CheckUnknown(entry, sink, CheckMode::Report);
            if (entry.Removed) {
                return;
            }
        }
        if (options_.ReportNotNeeded) {
            CheckNotNeeded(entry, sink);
        }
    }();
    job_.CheckCancel(CancelMessage);
}

const TNamedRomList& TAudit::RightNames(const TFile& file, std::string_view crc) {
    rightNames_.Clear();
    if (paths_.SplitMode) {
        if (const TClone* clone = file.CloneOfFile()) {
            clone->CollectMatchingRoms(rightNames_, crc);
        }
    } else if (const TGame* game = file.GameOfFile()) {
        game->CollectMatchingRoms(rightNames_, crc);
    }
    return rightNames_;
}

const std::vector<TAudit::LackingTarget>& TAudit::TargetsLacking(const TRom& rom, std::string_view crc) {
    if (lackingGeneration_ != paths_.Generation() && !KeepLackingTargets) {
        lackingTargets_.clear();
        lackingGeneration_ = paths_.Generation();
    }
    // Keyed on the ROM itself: ROMs without a good dump are alike in everything but identity.
    LackingKey key{&rom, std::string(crc)};
    if (const auto it = lackingTargets_.find(key); it != lackingTargets_.end()) {
        return it->second;
    }
    std::vector<LackingTarget> lacking;
    TNeedingClonesList needing;
    paths_.Games().ClonesNeedingRom(rom, needing);
    const std::string complement = ComplementForLookup(crc);
    for (const NamedClone& need : needing) {
        const std::string target = (paths_.SplitMode ? need.Clone->Name : need.Clone->Game->Name) + ".zip";
        const TPath* dir = paths_.PathHolding(target);
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
            const TPath* writable = paths_.WritablePathFor(target);
            const TFile* copy = writable == nullptr ? nullptr : writable->FindFile(target);
            if (copy != nullptr && std::any_of(copy->Roms.begin(), copy->Roms.end(),
                                               [&](const TZipRom* other) { return other->Crc == crc; })) {
                continue;
            }
        }
        const TRom* needed = need.Clone->FindCloneRom(need.Name);
        lacking.push_back(LackingTarget{need.Name, target, dir, needed != nullptr && needed->Crc == kNoGoodDumpCrc});
    }
    return lackingTargets_.emplace(std::move(key), std::move(lacking)).first->second;
}

void TAudit::CheckNeededElsewhere(TZipRom& entry, TFindingSink& sink) {
    const TFile& own = *entry.ZipFile;
    const std::string shortName = entry.ShortName();
    // Kept answers are dropped only by the next question, not by the changes a repair's sink
    // makes meanwhile: the list stays whole while it is walked.
    for (const LackingTarget& target : TargetsLacking(*entry.CrcRom, entry.Crc)) {
        // A ROM of unknown good dump is only needed under its own name.
        if (target.NeededIsNoGoodDump && target.NeededName != shortName) {
            continue;
        }
        if (target.Dir == own.Dir && target.TargetArchive == own.Name) {
            continue;
        }
        TFinding finding = EntryFinding(FindingKind::NeededElsewhere, entry, target.NeededName);
        finding.Target = target.TargetArchive;
        sink.Entry(entry, std::move(finding));
    }
}

void TAudit::CheckNeededElsewhereSpecial(TZipRom& entry, TFindingSink& sink) {
    const std::string shortName = entry.ShortName();
    if (entry.NameRom != nullptr && !entry.NameRom->Clones.empty()) {
        const TGame* game = entry.NameRom->Clones[0]->Game;
        for (const TClone* clone : game->Clones) {
            if (!paths_.SplitMode && clone->Name != game->Name) {
                continue;
            }
            const std::string target = clone->Name + ".zip";
            const TPath* dir = paths_.WritablePathFor(target);
            const TRom* rom = clone->FindCloneRom(shortName);
            if (rom == nullptr || !rom->NoGoodDump) {
                continue;
            }
            const TFile* held = dir == nullptr ? nullptr : dir->FindFile(target);
            if (held != nullptr && held->IndexOfName(shortName) >= 0) {
                continue;
            }
            TFinding finding = EntryFinding(FindingKind::NeededElsewhere, entry, shortName);
            finding.Target = target;
            finding.NoGoodDump = true;
            sink.Entry(entry, std::move(finding));
        }
    }
    if (entry.ComplementRom != nullptr) {
        // The copies are what the set needs: the complemented CRC.
        const std::string complemented = ComplementForLookup(entry.Crc);
        TNeedingClonesList needing;
        paths_.Games().ClonesNeedingRom(*entry.ComplementRom, needing);
        const std::string ownPath = entry.ZipFile->FullName();
        for (const NamedClone& need : needing) {
            const std::string target = (paths_.SplitMode ? need.Clone->Name : need.Clone->Game->Name) + ".zip";
            const TPath* dir = paths_.WritablePathFor(target);
            const std::string targetPath = (dir == nullptr ? std::string() : dir->Path) + target;
            if (targetPath == ownPath || paths_.HasRomInZip(target, need.Name, complemented)) {
                continue;
            }
            TFinding finding = EntryFinding(FindingKind::NeededElsewhere, entry, need.Name);
            finding.Target = target;
            finding.Complemented = true;
            sink.Entry(entry, std::move(finding));
        }
    }
}

void TAudit::CheckName(TZipRom& entry, TFindingSink& sink, NameKind kind) {
    if (!entry.IsNeeded()) {
        return;
    }
    std::string crc = entry.Crc;
    if (kind == NameKind::Complemented) {
        if (entry.ComplementRom == nullptr) {
            return;
        }
        crc = ComplementForLookup(entry.Crc);
    }
    const bool complemented = kind == NameKind::Complemented;
    // The names are copied: the checks of another entry refill the scratch list.
    const TNamedRomList rightNames = RightNames(*entry.ZipFile, crc);
    const bool hasRightName = entry.HasRightName();
    auto found = [&](FindingKind kindFound, const std::string& name) {
        TFinding finding = EntryFinding(kindFound, entry, name);
        finding.Complemented = complemented;
        sink.Entry(entry, std::move(finding));
    };
    for (const NamedRom& right : rightNames) {
        if (entry.Name == right.Name) {
            continue;
        }
        const std::string good = kind == NameKind::Plain ? entry.Crc : rightNames[0].Rom->Crc;
        const std::string goodComplement = ComplementForLookup(good);
        const TZipRom* other = entry.ZipFile->FindRom(right.Name);
        if (hasRightName) {
            if (other != nullptr && CrcOrComplement(other->Crc, good, goodComplement)) {
                continue;
            }
            found(FindingKind::SecondName, right.Name);
        } else if (other == nullptr || other->Crc != good) {
            found(FindingKind::WrongName, right.Name);
        } else if (entry.NameRom == nullptr) {
            found(FindingKind::DuplicatedEntry, right.Name);
            break;
        }
        if (entry.Removed) {
            break;
        }
    }
}

void TAudit::ReportCorrect(TZipRom& entry, TFindingSink& sink) {
    const TFile& file = *entry.ZipFile;
    if (!entry.IsNeeded() || file.PreferredPath() != file.Dir) {
        return;
    }
    for (const NamedRom& right : RightNames(file, entry.Crc)) {
        if (right.Name == entry.Name && !right.Rom->NoGoodDump) {
            sink.Entry(entry, EntryFinding(FindingKind::Correct, entry, right.Name));
        }
    }
}

void TAudit::ReportCorrectComplemented(TZipRom& entry, TFindingSink& sink) {
    const TFile& file = *entry.ZipFile;
    if (entry.ComplementRom == nullptr || !entry.IsNeeded() || file.PreferredPath() != file.Dir) {
        return;
    }
    for (const NamedRom& right : RightNames(file, ComplementForLookup(entry.Crc))) {
        if (right.Name == entry.Name) {
            TFinding finding = EntryFinding(FindingKind::Correct, entry, right.Name);
            finding.Complemented = true;
            sink.Entry(entry, std::move(finding));
        }
    }
}

void TAudit::ReportCorrectNoGoodDump(TZipRom& entry, TFindingSink& sink) {
    const TFile& file = *entry.ZipFile;
    if (entry.CrcRom == nullptr || !entry.CrcRom->NoGoodDump || file.PreferredPath() != file.Dir ||
        file.Name != file.RightName()) {
        return;
    }
    if (paths_.SplitMode) {
        const TRom* rom = file.Clone == nullptr ? nullptr : file.Clone->FindCloneRom(entry.ShortName());
        if (rom == nullptr || !rom->NoGoodDump) {
            return;
        }
    }
    TFinding finding = EntryFinding(FindingKind::Correct, entry, entry.ShortName());
    finding.NoGoodDump = true;
    sink.Entry(entry, std::move(finding));
}

void TAudit::CheckNotNeeded(TZipRom& entry, TFindingSink& sink) {
    if (entry.Unknown || entry.IsNeeded()) {
        return;
    }
    sink.Entry(entry, EntryFinding(FindingKind::NotNeeded, entry));
}

void TAudit::CheckUnknown(TZipRom& entry, TFindingSink& sink, CheckMode mode) {
    if (!entry.Unknown) {
        return;
    }
    // The repair touches the unknown entries of an archive only once it bears its right name,
    // on a writable medium.
    const TFile& file = *entry.ZipFile;
    if (mode == CheckMode::Repair && (file.Name != file.RightName() || file.Dir->ReadOnly)) {
        return;
    }
    sink.Entry(entry, EntryFinding(FindingKind::Unknown, entry));
}

}  // namespace qm
