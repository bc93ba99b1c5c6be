// The smart list: which clones of the game database take part (all games, Neo-Geo only or
// without Neo-Geo, main games only, merged view, no-good-dump ROMs shown or hidden). It fills
// the database's selected sets, clones and ROMs, which matching, audit, the reports and the
// game tree all read.
#pragma once

#include <string>
#include <string_view>

#include "game_db/GamesList.h"
#include "game_db/SortedList.h"
#include "platform/Job.h"

namespace qm {

struct SubListEntry {
    TClone* Clone = nullptr;
    // The key: the description of the clone's set.
    std::string_view Key() const { return Clone->Game->Description; }
};
struct BySetDescription {
    std::string_view operator()(const SubListEntry& e) const { return e.Key(); }
};

class TSubList : public SortedList<SubListEntry, BySetDescription, Duplicates::Keep> {
public:
    explicit TSubList(TGamesList& games) : games_(games) {}

    // Fills the database's selection lists; the job sees its status and progress.
    void Rebuild(Job& job = SilentJob());

    bool HideNoGoodDump = false;
    bool MainGamesOnly = false;
    bool WithoutNeoGeo = false;
    bool OnlyNeoGeo = false;
    bool MergedView = false;

    int SetCount = 0;
    int CloneCount = 0;
    int RomCount = 0;

    TGamesList& Games() const { return games_; }

private:
    TGamesList& games_;
};

}  // namespace qm

namespace qm {

// Complete / incomplete / empty counts of the selected sets and clones, by the flags'
// reading: a set is complete when Complete, incomplete when HasPresentRom without Complete;
// a clone is complete when Complete and HasPresentRom, incomplete when HasPresentRom without
// Complete; everything else is empty.
struct StatusCounts {
    int SetsComplete = 0;
    int SetsIncomplete = 0;
    int SetsEmpty = 0;
    int ClonesComplete = 0;
    int ClonesIncomplete = 0;
    int ClonesEmpty = 0;
};

enum class ItemState { Complete, Incomplete, Empty };
ItemState SetState(const TGame& game);
ItemState CloneState(const TClone& clone);
const char* StateName(ItemState state);  // "complete", "incomplete", "empty"

StatusCounts CountStatus(const TGamesList& games);

}  // namespace qm
