#include "game_db/GamesList.h"

#include <set>

#include "game_db/cel_strings.h"

namespace qm {

namespace {

bool CrcMatches(const TRom* rom, std::string_view crc, std::string_view complement) {
    return rom != nullptr && (rom->Crc == crc || rom->Crc == complement);
}

}  // namespace

int TRomsList::IndexOfRom(const TRom* rom) const {
    for (std::size_t i = 0; i < size(); ++i) {
        if ((*this)[i].Rom == rom) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TRom* TClone::FindCloneRom(std::string_view romName) const {
    const TRomEntry* entry = Roms.Find(romName);
    return entry == nullptr ? nullptr : entry->Rom;
}

TRom* TClone::FindCloneRomByCrc(std::string_view crc) const {
    const bool mergedView = Game != nullptr && Game->Owner != nullptr && Game->Owner->MergedView;
    for (const TRomEntry& entry : Roms) {
        if (entry.Rom->Crc == crc && (!mergedView || entry.Own)) {
            return entry.Rom;
        }
    }
    return nullptr;
}

void TClone::CollectMatchingRoms(TNamedRomList& list, std::string_view crc) const {
    const std::string complement = ComplementForLookup(crc);
    for (const TRomEntry& entry : Roms) {
        if (CrcMatches(entry.Rom, crc, complement)) {
            list.Add(NamedRom{entry.Name, entry.Rom});
        }
    }
}

TRom* TGame::FindRomByName(std::string_view romName) const {
    for (const TClone* clone : Clones) {
        if (TRom* rom = clone->FindCloneRom(romName)) {
            return rom;
        }
    }
    return nullptr;
}

TRom* TGame::FindRomByCrc(std::string_view crc) const {
    for (const TClone* clone : Clones) {
        if (TRom* rom = clone->FindCloneRomByCrc(crc)) {
            return rom;
        }
    }
    return nullptr;
}

void TGame::CollectRoms(TNamedRomList& list) const {
    for (const TClone* clone : Clones) {
        for (const TRomEntry& entry : clone->Roms) {
            list.Add(NamedRom{entry.Name, entry.Rom});
        }
    }
}

void TGame::CollectMatchingRoms(TNamedRomList& list, std::string_view crc) const {
    list.Clear();
    for (const TClone* clone : Clones) {
        clone->CollectMatchingRoms(list, crc);
    }
}

TGamesList::TGamesList() = default;

void TGamesList::UpdateCrcRanks() {
    if (crcRanksValid_) {
        return;
    }
    constexpr std::uint32_t kUnranked = UINT32_MAX;
    for (TRom& rom : romStore_) {
        rom.CrcRank = kUnranked;
    }
    for (std::size_t i = 0; i < RomsByCrc.size(); ++i) {
        RomsByCrc[i]->CrcRank = static_cast<std::uint32_t>(i);
    }
    // ROMs that share a CRC with the one the index holds (no-good-dump ROMs of several sets).
    for (TRom& rom : romStore_) {
        if (rom.CrcRank == kUnranked) {
            rom.CrcRank = static_cast<std::uint32_t>(RomsByCrc.IndexOf(rom.Crc));
        }
    }
    crcRanksValid_ = true;
}

void TGamesList::NoGoodDumpFlagsChanged() {
    for (TRom& rom : romStore_) {
        if (rom.NoGoodDump) {
            for (TClone* clone : rom.Clones) {
                clone->Game->MayHoldNoGoodDumpRom = true;
            }
        }
    }
}

void TGamesList::Clear() {
    RomsByCrc.Clear();
    AllClones.Clear();
    NoGoodDumpRoms.Clear();
    SelectedSets.Clear();
    SelectedClones.Clear();
    SelectedRoms.Clear();
    games_.Clear();
    gameStore_.clear();
    cloneStore_.clear();
    romStore_.clear();
    CrcListsChanged();
}

TGame* TGamesList::FindGame(std::string_view name) const {
    if (build_) {
        const auto it = build_->Games.find(name);
        return it == build_->Games.end() ? nullptr : it->second;
    }
    const auto* p = games_.Find(name);
    return p == nullptr ? nullptr : *p;
}

TClone* TGamesList::FindClone(std::string_view name) const {
    if (build_) {
        const auto it = build_->Clones.find(name);
        return it == build_->Clones.end() ? nullptr : it->second;
    }
    const auto* p = AllClones.Find(name);
    return p == nullptr ? nullptr : *p;
}

TRom* TGamesList::FindRom(std::string_view crc) const {
    if (!romsByCrcHashValid_) {
        romsByCrcHash_.Reset(RomsByCrc.size());
        for (TRom* rom : RomsByCrc) {
            romsByCrcHash_.Insert(rom);
        }
        romsByCrcHashValid_ = true;
    }
    return romsByCrcHash_.Find(crc);
}

TRom* TGamesList::FindSelectedRom(std::string_view crc) const {
    if (!selectedRomsHashValid_) {
        selectedRomsHash_.Reset(SelectedRoms.size());
        for (TRom* rom : SelectedRoms) {
            selectedRomsHash_.Insert(rom);
        }
        selectedRomsHashValid_ = true;
    }
    return selectedRomsHash_.Find(crc);
}

void TGamesList::CrcListsChanged() {
    romsByCrcHashValid_ = false;
    selectedRomsHashValid_ = false;
    crcRanksValid_ = false;
}

void TGamesList::ResetRomStatus() {
    for (TRom* rom : RomsByCrc) {
        rom->Status = rom->Crc == kPlaceholderCrc ? rsPresent : rsMissing;
    }
    for (const NamedRom& line : NoGoodDumpRoms) {
        line.Rom->Status = rsMissing;
    }
}

RomStatus TGamesList::EffectiveStatus(const TRom& rom) const {
    if (HideNoGoodDump && rom.NoGoodDump) {
        return rsPresent;
    }
    return static_cast<RomStatus>(rom.Status);
}

void TGamesList::ComputeStatus() {
    for (TClone* clone : SelectedClones) {
        clone->Complete = true;
        clone->HasPresentRom = false;
        clone->HasNoGoodDump = false;
    }
    for (TGame* game : SelectedSets) {
        game->Complete = true;
        game->HasCompleteClone = false;
        game->HasPresentRom = false;
        game->HasNoGoodDump = false;
    }
    if (!HideNoGoodDump) {
        for (TClone* clone : SelectedClones) {
            for (const TRomEntry& entry : clone->Roms) {
                if (entry.Rom->NoGoodDump) {
                    clone->HasNoGoodDump = true;
                    clone->Game->HasNoGoodDump = true;
                }
            }
        }
    }
    for (TRom* rom : SelectedRoms) {
        if (CountsPresent(*rom)) {
            for (TClone* clone : rom->Clones) {
                if (MergedView) {
                    const int index = clone->Roms.IndexOfRom(rom);
                    if (index < 0 || !clone->Roms.IsOwnRom(static_cast<std::size_t>(index))) {
                        continue;
                    }
                }
                clone->HasPresentRom = true;
                clone->Game->HasPresentRom = true;
            }
        } else {
            for (TClone* clone : rom->Clones) {
                clone->Complete = false;
            }
        }
    }
    for (const NamedRom& line : NoGoodDumpRoms) {
        if (!CountsPresent(*line.Rom)) {
            for (TClone* clone : line.Rom->Clones) {
                clone->Complete = false;
            }
        } else {
            for (TClone* clone : line.Rom->Clones) {
                clone->HasPresentRom = true;
                clone->Game->HasPresentRom = true;
            }
        }
    }
    for (TClone* clone : SelectedClones) {
        if (clone->Complete) {
            clone->Game->HasCompleteClone = true;
        } else {
            clone->Game->Complete = false;
        }
    }
}

void TGamesList::MarkRomPresent(std::string_view zipPath, std::string_view romName, std::string_view crc) {
    MarkRomPresentIn(CloneOfZip(zipPath), romName, crc);
}

void TGamesList::MarkRomPresentIn(TClone* cloneOfZip, std::string_view romName, std::string_view crc) {
    // A found CRC of 00000000 says nothing (an empty file has it); no-good-dump ROMs are found by
    // name below.
    if (TRom* rom = crc == kNoGoodDumpCrc ? nullptr : FindRom(crc)) {
        rom->Status = rsPresent;
    }
    TRom* complemented = nullptr;
    if (FindByComplementedCrcIn(cloneOfZip, romName, crc, complemented)) {
        complemented->Status = rsPresent;
    }
    if (const TGame* game = cloneOfZip == nullptr ? nullptr : cloneOfZip->Game; game && game->MayHoldNoGoodDumpRom) {
        TRom* rom = game->FindRomByName(romName);
        if (rom != nullptr && rom->NoGoodDump) {
            rom->Status = rsPresent;
        }
    }
}

TClone* TGamesList::CloneOfZip(std::string_view zipPath) const {
    const auto* p = SelectedClones.Find(LowerCase(ZipBaseName(zipPath)));
    return p == nullptr ? nullptr : *p;
}

TGame* TGamesList::GameOfZip(std::string_view zipPath) const {
    const TClone* clone = CloneOfZip(zipPath);
    return clone == nullptr ? nullptr : clone->Game;
}

bool TGamesList::FindByComplementedCrc(std::string_view zipPath, std::string_view romName, std::string_view crc,
                                       TRom*& rom) {
    return FindByComplementedCrcIn(CloneOfZip(zipPath), romName, crc, rom);
}

bool TGamesList::FindByComplementedCrcIn(TClone* cloneOfZip, std::string_view romName, std::string_view crc,
                                         TRom*& rom) {
    rom = nullptr;
    const std::string complement = ComplementForLookup(crc);
    if (TRom* found = complement.empty() ? nullptr : FindRom(complement)) {
        rom = found;
        found->NoGoodDump = true;
        for (TClone* clone : found->Clones) {
            clone->Game->MayHoldNoGoodDumpRom = true;
        }
        if (!found->Clones.empty()) {
            const TClone* first = found->Clones[0];
            const int index = first->Roms.IndexOfRom(found);
            if (index >= 0) {
                const std::string& name = first->Roms[static_cast<std::size_t>(index)].Name;
                // Each scan finds the same bad dumps again; one line per name and ROM is enough.
                bool known = false;
                for (auto [it, end] = NoGoodDumpRoms.EqualRange(name); it != end; ++it) {
                    known = known || it->Rom == found;
                }
                if (!known) {
                    NoGoodDumpRoms.Add(NamedRom{name, found});
                }
            }
        }
        return true;
    }
    // Only a set holding a no-good-dump ROM has lines here.
    if (const TClone* clone = cloneOfZip; clone != nullptr && clone->Game->MayHoldNoGoodDumpRom) {
        for (auto [it, end] = NoGoodDumpRoms.EqualRange(romName); it != end; ++it) {
            const TRom* candidate = it->Rom;
            if (it->Name == romName && !candidate->Clones.empty() && candidate->Clones[0]->Game == clone->Game) {
                rom = it->Rom;
                return true;
            }
        }
    }
    return false;
}

void TGamesList::NamesForCrc(std::string_view zipPath, std::string_view romName, TNeededNamesList& list,
                             std::string_view crc) {
    list.Clear();
    if (const TRom* rom = crc == kNoGoodDumpCrc ? nullptr : FindRom(crc)) {
        for (TClone* clone : rom->Clones) {
            if (clone->Name != clone->Game->Name) {
                continue;
            }
            for (const TRomEntry& entry : clone->Roms) {
                if (entry.Rom->Crc == crc) {
                    list.Add(NamedGame{entry.Name, clone->Game});
                    break;
                }
            }
        }
        for (TClone* clone : rom->Clones) {
            for (const TRomEntry& entry : clone->Roms) {
                if (entry.Rom->Crc == crc && !list.Contains(entry.Name)) {
                    list.Add(NamedGame{entry.Name, clone->Game});
                }
            }
        }
    }
    TRom* complemented = nullptr;
    if (FindByComplementedCrc(zipPath, romName, crc, complemented)) {
        if (complemented->Crc != kNoGoodDumpCrc) {
            const std::string complement = ComplementForLookup(crc);
            for (TClone* clone : complemented->Clones) {
                for (const TRomEntry& entry : clone->Roms) {
                    if (entry.Rom->Crc == complement) {
                        list.Add(NamedGame{entry.Name, clone->Game});
                        break;
                    }
                }
            }
        } else if (!complemented->Clones.empty()) {
            list.Add(NamedGame{std::string(romName), complemented->Clones[0]->Game});
        }
    }
}

void TGamesList::ClonesNeedingRom(const TRom& rom, TNeedingClonesList& list) const {
    list.clear();
    std::set<std::pair<std::string_view, std::string_view>> keys;
    for (TClone* clone : rom.Clones) {
        if (!SelectedClones.Contains(clone->Name)) {
            continue;
        }
        for (const TRomEntry& entry : clone->Roms) {
            if (entry.Rom->Crc != rom.Crc) {
                continue;
            }
            if (SplitMode && MergedView && !entry.Own) {
                continue;
            }
            const std::string_view owner = SplitMode ? std::string_view(clone->Name) : clone->Game->Name;
            if (keys.emplace(entry.Name, owner).second) {
                list.push_back(NamedClone{entry.Name, clone});
            }
        }
    }
}

TGame* TGamesList::NewGame(std::string_view name, std::string_view description) {
    TGame& game = gameStore_.emplace_back();
    game.Name = name;
    game.Description = description;
    game.Owner = this;
    return &game;
}

TClone* TGamesList::NewClone(TGame* game, std::string_view name, std::string_view description) {
    TClone& clone = cloneStore_.emplace_back();
    clone.Name = name;
    clone.Description = description;
    clone.Game = game;
    return &clone;
}

TRom* TGamesList::NewRom(std::string_view crc, std::int32_t size) {
    TRom& rom = romStore_.emplace_back();
    rom.Crc = crc;
    rom.Size = size;
    crcRanksValid_ = false;
    // A placeholder ROM always counts present, from its creation on, as ResetRomStatus has it.
    rom.Status = rom.Crc == kPlaceholderCrc ? rsPresent : rsMissing;
    return &rom;
}

TGame* TGamesList::NewDetachedGame(std::string_view name, std::string_view description) {
    return NewGame(name, description);
}

void TGamesList::BeginBuild() {
    build_ = std::make_unique<BuildIndex>();
    for (TGame* game : games_) {
        build_->Games.emplace(game->Name, game);
    }
    for (TClone* clone : AllClones) {
        build_->Clones.emplace(clone->Name, clone);
    }
    if (const TClone* bios = FindClone("neogeo")) {
        for (const TRomEntry& entry : bios->Roms) {
            build_->BiosRoms.insert(entry.Name);
        }
    }
    FindRom(std::string_view());  // makes the hashed CRC lookup current; AddRom keeps it so
}

void TGamesList::EndBuild() {
    if (!build_) {
        return;
    }
    build_.reset();
    games_.SortAppended();
    AllClones.SortAppended();
    RomsByCrc.SortAppended();
    NoGoodDumpRoms.SortAppended();
    for (TGame& game : gameStore_) {
        game.Clones.SortAppended();
    }
    for (TClone& clone : cloneStore_) {
        clone.Roms.SortAppended();
    }
    for (TRom& rom : romStore_) {
        rom.Clones.SortAppended();
    }
    CrcListsChanged();
    NoGoodDumpFlagsChanged();
}

TGame* TGamesList::FindOrAddGame(std::string_view name, std::string_view description) {
    const std::string key = LowerCase(name);
    if (TGame* game = FindGame(key)) {
        game->Description = description;
        return game;
    }
    TGame* game = NewGame(key, description);
    if (build_) {
        games_.AppendUnsorted(game);
        build_->Games.emplace(game->Name, game);
    } else {
        games_.Add(game);
    }
    return game;
}

TClone* TGamesList::FindOrAddClone(TGame* game, std::string_view name, std::string_view description) {
    const std::string key = LowerCase(name);
    if (TClone* clone = FindClone(key)) {
        return clone;
    }
    TClone* clone = NewClone(game, key, description);
    if (build_) {
        game->Clones.AppendUnsorted(clone);
        AllClones.AppendUnsorted(clone);
        build_->Clones.emplace(clone->Name, clone);
    } else {
        game->Clones.Add(clone);
        AllClones.Add(clone);
    }
    return clone;
}

void TGamesList::AddRomEntry(TRomsList& roms, std::string_view name, bool noGoodDump, TRom* rom, bool own) {
    roms.Add(TRomEntry{std::string(name), noGoodDump, own, rom});
}

TRom* TGamesList::AddRom(TClone* clone, std::string_view crc, std::string_view romName, bool own, std::int32_t size) {
    const bool noGoodDump = crc == kNoGoodDumpCrc;
    // While building, entries are filed unsorted (EndBuild sorts them, the first of a name kept).
    auto addEntry = [&](TClone* to, TRom* rom) {
        if (build_) {
            to->Roms.AppendUnsorted(TRomEntry{std::string(romName), noGoodDump, own, rom});
            rom->Clones.AppendUnsorted(to);
        } else {
            AddRomEntry(to->Roms, romName, noGoodDump, rom, own);
            rom->Clones.Add(to);
        }
    };
    auto newRom = [&] {
        TRom* rom = NewRom(LowerCase(crc), size);
        if (build_) {
            RomsByCrc.AppendUnsorted(rom);
            romsByCrcHash_.Insert(rom);
        } else {
            RomsByCrc.Add(rom);
            CrcListsChanged();
        }
        return rom;
    };
    if (romName != "neo-geo.rom" && romName != "ng-sfix.rom" && romName != "ng-sm1.rom") {
        TRom* rom = noGoodDump ? nullptr : FindRom(LowerCase(crc));
        if (rom == nullptr) {
            rom = newRom();
        }
        addEntry(clone, rom);
        return rom;
    }
    TClone* bios = FindClone("neogeo");
    if (bios == nullptr) {
        return nullptr;
    }
    if (build_ ? !build_->BiosRoms.insert(std::string(romName)).second : bios->Roms.Contains(romName)) {
        return nullptr;
    }
    TRom* rom = newRom();
    addEntry(bios, rom);
    return rom;
}

void TGamesList::ReportCounts(Job& job) const {
    job.Count(LoadCount::Sets, games_.size());
    job.Count(LoadCount::Clones, AllClones.size());
    job.Count(LoadCount::Roms, RomsByCrc.size());
}

}  // namespace qm
