#include "game_db/SubList.h"

#include <vector>

namespace qm {

void TSubList::Rebuild(Job& job) {
    Clear();
    SetCount = CloneCount = RomCount = 0;
    games_.SelectedRoms.Clear();
    games_.SelectedClones.Clear();
    games_.SelectedSets.Clear();
    job.Status("Selecting games...");
    // Each ROM is listed once however many clones share it (the mark); ROMs are placed by the
    // rank of their CRC, the first selected ROM of a CRC keeping its place, so the list comes
    // out sorted without a sort.
    const std::uint32_t mark = games_.NextSelectionMark();
    games_.UpdateCrcRanks();
    std::vector<TRom*> byRank(games_.RomsByCrc.size(), nullptr);
    const std::size_t n = games_.AllClones.size();
    ProgressMeter progress(job, n);
    for (std::size_t i = 0; i < n; ++i) {
        progress.Set(i);
        TClone* clone = games_.AllClones[i];
        const TGame* game = clone->Game;
        if ((WithoutNeoGeo && game->NeoGeo) || (OnlyNeoGeo && !game->NeoGeo)) {
            continue;
        }
        if (MainGamesOnly && clone->Name != game->Name) {
            continue;
        }
        AppendUnsorted(SubListEntry{clone});
        games_.SelectedSets.AppendUnsorted(clone->Game);
        games_.SelectedClones.Add(clone);
        for (const TRomEntry& entry : clone->Roms) {
            TRom* rom = entry.Rom;
            if (HideNoGoodDump && rom->NoGoodDump) {
                continue;
            }
            if (MergedView && !entry.Own) {
                continue;
            }
            if (rom->SelectionMark != mark) {
                rom->SelectionMark = mark;
                if (byRank[rom->CrcRank] == nullptr) {
                    byRank[rom->CrcRank] = rom;
                }
            }
        }
    }
    SortAppended();
    games_.SelectedSets.SortAppended();
    std::vector<TRom*> selectedRoms;
    selectedRoms.reserve(byRank.size());
    for (TRom* rom : byRank) {
        if (rom != nullptr) {
            selectedRoms.push_back(rom);
        }
    }
    games_.SelectedRoms.AssignSorted(std::move(selectedRoms));
    games_.SelectedRomsChanged();
    // Matching looks the selected ROMs up by CRC for every archive entry; index them now.
    (void)games_.FindSelectedRom(kNoGoodDumpCrc);
    SetCount = static_cast<int>(games_.SelectedSets.size());
    CloneCount = static_cast<int>(games_.SelectedClones.size());
    RomCount = static_cast<int>(games_.SelectedRoms.size());
    games_.HideNoGoodDump = HideNoGoodDump;
    games_.ComputeStatus();
}

}  // namespace qm

namespace qm {

ItemState SetState(const TGame& game) {
    if (game.Complete) {
        return ItemState::Complete;
    }
    return game.HasPresentRom ? ItemState::Incomplete : ItemState::Empty;
}

ItemState CloneState(const TClone& clone) {
    if (clone.HasPresentRom) {
        return clone.Complete ? ItemState::Complete : ItemState::Incomplete;
    }
    return ItemState::Empty;
}

const char* StateName(ItemState state) {
    switch (state) {
        case ItemState::Complete:
            return "complete";
        case ItemState::Incomplete:
            return "incomplete";
        case ItemState::Empty:
            break;
    }
    return "empty";
}

StatusCounts CountStatus(const TGamesList& games) {
    StatusCounts counts;
    for (const TGame* game : games.SelectedSets) {
        switch (SetState(*game)) {
            case ItemState::Complete:
                ++counts.SetsComplete;
                break;
            case ItemState::Incomplete:
                ++counts.SetsIncomplete;
                break;
            case ItemState::Empty:
                ++counts.SetsEmpty;
                break;
        }
    }
    for (const TClone* clone : games.SelectedClones) {
        switch (CloneState(*clone)) {
            case ItemState::Complete:
                ++counts.ClonesComplete;
                break;
            case ItemState::Incomplete:
                ++counts.ClonesIncomplete;
                break;
            case ItemState::Empty:
                ++counts.ClonesEmpty;
                break;
        }
    }
    return counts;
}

}  // namespace qm
