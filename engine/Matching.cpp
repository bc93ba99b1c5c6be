// Which clone each archive stands for and which database ROM each entry is: by CRC, by
// complemented CRC (a known bad dump), or by name for ROMs whose good dump is unknown.
#include <string>

#include "engine/RomsFiles.h"
#include "game_db/cel_strings.h"

namespace qm {

namespace {

std::string_view ShortNameOf(std::string_view name) {
    const std::size_t pos = name.find_last_of("\\/");
    return pos == std::string_view::npos ? name : name.substr(pos + 1);
}

// The archive name without its extension (the text up to the last '.'), lower-cased.
std::string BaseKey(std::string_view archiveName) {
    const std::size_t dot = archiveName.rfind('.');
    return LowerCase(dot == std::string_view::npos ? archiveName : archiveName.substr(0, dot));
}

bool IsNoGoodDumpRom(const TRom* rom) {
    return rom != nullptr && rom->Crc == kNoGoodDumpCrc;
}

}  // namespace

TClone* TFile::CloneOfFile() const {
    if (analysedName_ == Name) {
        return cloneOfFile_;
    }
    return Games().CloneOfZip(Name);
}

TGame* TFile::GameOfFile() const {
    if (analysedName_ == Name) {
        return gameOfFile_;
    }
    TGame* const* game = Games().SelectedSets.Find(BaseKey(Name));
    return game == nullptr ? nullptr : *game;
}

std::string TFile::RightName() const {
    if (Clone == nullptr) {
        return {};
    }
    return (Dir->Owner->SplitMode ? Clone->Name : Clone->Game->Name) + ".zip";
}

TPath* TFile::PreferredPath() const {
    return Dir->Owner->WritablePathFor(Name);
}

void TFile::Analyse() {
    TGamesList& games = Games();
    const bool splitMode = Dir->Owner->SplitMode;
    analysedName_.clear();
    cloneOfFile_ = CloneOfFile();
    gameOfFile_ = GameOfFile();
    // The selection does not change while the checks run; only a rename changes these.
    analysedName_ = Name;

    // 1. By CRC and by complemented CRC.
    for (TZipRom* entry : Roms) {
        // CRC 00000000 is no dump at all (it is also the CRC of an empty file): such an entry
        // is matched by its name only, never to some set's untrusted ROM by CRC.
        entry->CrcRom = entry->Crc == kNoGoodDumpCrc ? nullptr : games.FindSelectedRom(entry->Crc);
        entry->ComplementRom = nullptr;
        entry->NameRom = nullptr;
        entry->SpecialCrc = false;
        entry->CrcKind = 0;
        if (entry->Crc == kNoGoodDumpCrc) {
            entry->SpecialCrc = true;
            entry->CrcKind = 2;
            continue;
        }
        const std::string complement = ComplementForLookup(entry->Crc);
        if (!complement.empty()) {
            entry->ComplementRom = games.FindSelectedRom(complement);
        }
        if (entry->ComplementRom != nullptr) {
            entry->SpecialCrc = true;
            entry->CrcKind = 1;
        }
    }

    // 2. The clone: an entry whose ROM belongs to one clone only decides; then the archive's
    // own name; then shared and no-good-dump ROMs.
    Clone = nullptr;
    TClone* fallback = nullptr;
    const bool cloneMayHoldNoDump = cloneOfFile_ != nullptr && cloneOfFile_->Game->MayHoldNoGoodDumpRom;
    for (TZipRom* entry : Roms) {
        if (cloneMayHoldNoDump && IsNoGoodDumpRom(cloneOfFile_->FindCloneRom(ShortNameOf(entry->Name)))) {
            fallback = cloneOfFile_;
            continue;
        }
        if (entry->CrcRom != nullptr && !entry->CrcRom->Clones.empty()) {
            if (entry->CrcRom->Clones.size() == 1) {
                Clone = entry->CrcRom->Clones[0];
                break;
            }
            if (fallback == nullptr) {
                fallback = entry->CrcRom->Clones[0];
            }
        }
    }
    if (Clone == nullptr) {
        Clone = cloneOfFile_;
    }
    if (Clone == nullptr) {
        Clone = fallback;
    }

    // 3. No-good-dump ROMs of the archive's set, by name.
    if (cloneMayHoldNoDump) {
        for (TZipRom* entry : Roms) {
            if (entry->CrcRom != nullptr) {
                continue;
            }
            const std::string_view shortName = ShortNameOf(entry->Name);
            for (auto [it, end] = games.NoGoodDumpRoms.EqualRange(shortName); it != end; ++it) {
                const TRom* rom = it->Rom;
                if (it->Name == shortName && !rom->Clones.empty() && rom->Clones[0]->Game == cloneOfFile_->Game) {
                    entry->CrcRom = it->Rom;
                    break;
                }
            }
        }
    }

    // 4. ROMs of unknown good dump held under the entry's name.
    for (TZipRom* entry : Roms) {
        const std::string_view shortName = ShortNameOf(entry->Name);
        if (Clone != nullptr && Clone->Game->MayHoldNoGoodDumpRom) {
            TRom* rom = Clone->Game->FindRomByName(shortName);
            if (IsNoGoodDumpRom(rom)) {
                entry->NameRom = rom;
            }
        }
        if (splitMode) {
            if (cloneMayHoldNoDump) {
                TRom* rom = cloneOfFile_->FindCloneRom(shortName);
                if (IsNoGoodDumpRom(rom)) {
                    entry->NameRom = rom;
                }
            }
        } else if (gameOfFile_ != nullptr && gameOfFile_->MayHoldNoGoodDumpRom) {
            TRom* rom = gameOfFile_->FindRomByName(shortName);
            if (IsNoGoodDumpRom(rom)) {
                entry->NameRom = rom;
            }
        }
        entry->Unknown = entry->CrcRom == nullptr && entry->ComplementRom == nullptr && entry->NameRom == nullptr;
    }

    // 5. An earlier writable directory holds an archive of the same name.
    DuplicateName = !Dir->ReadOnly && PreferredPath() != Dir;
    Analysed = true;
}

bool TFile::ReanalyseDuplicateName() {
    if (!Analysed || analysedName_ != Name) {
        return false;
    }
    DuplicateName = !Dir->ReadOnly && PreferredPath() != Dir;
    return true;
}

bool TZipRom::IsNeeded() const {
    const TFile& file = *ZipFile;
    const std::string complement = ComplementForLookup(Crc);
    if (file.Dir->Owner->SplitMode) {
        const TClone* clone = file.CloneOfFile();
        if (clone == nullptr) {
            return false;
        }
        return clone->FindCloneRomByCrc(Crc) != nullptr ||
               (!complement.empty() && clone->FindCloneRomByCrc(complement) != nullptr) || NameRom != nullptr;
    }
    const TGame* game = file.GameOfFile();
    if (game == nullptr) {
        return false;
    }
    return game->FindRomByCrc(Crc) != nullptr || (!complement.empty() && game->FindRomByCrc(complement) != nullptr) ||
           NameRom != nullptr;
}

bool TZipRom::HasRightName() const {
    if (NameRom != nullptr) {
        return true;
    }
    if (!IsNeeded()) {
        return false;
    }
    const TFile& file = *ZipFile;
    TNamedRomList names;
    if (file.Dir->Owner->SplitMode) {
        file.CloneOfFile()->CollectMatchingRoms(names, Crc);
    } else {
        file.GameOfFile()->CollectMatchingRoms(names, Crc);
    }
    return names.Contains(Name);
}

void TPathsList::AnalyseAll(Job& job) {
    const auto& files = Files.Sorted();
    ProgressMeter progress(job, files.size());
    for (TFile* file : files) {
        file->Analyse();
        progress.Step();
    }
}

void TPathsList::SetRomStatus() {
    games_.ResetRomStatus();
    // Marking present does not depend on the order of the entries.
    for (const auto& path : paths_) {
        for (const TFile* file : path->Files()) {
            for (const TZipRom* entry : file->Roms) {
                TRom* rom = nullptr;
                if (entry->Crc != kNoGoodDumpCrc) {
                    // Matching found the selected ROM of this CRC already, unless the archive
                    // changed since.
                    rom = file->Analysed
                              ? (entry->CrcRom != nullptr && entry->CrcRom->Crc == entry->Crc ? entry->CrcRom : nullptr)
                              : games_.FindSelectedRom(entry->Crc);
                }
                if (rom != nullptr) {
                    rom->Status = rsPresent;
                }
                if (entry->ComplementRom != nullptr) {
                    entry->ComplementRom->Status = rsPresent;
                }
                if (entry->NameRom != nullptr) {
                    entry->NameRom->Status = rsPresent;
                }
            }
        }
    }
    games_.ComputeStatus();
}

}  // namespace qm
