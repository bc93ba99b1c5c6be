// What the collection lacks: per set or clone that is not complete, each ROM it misses, and the
// "fixdat" that other ROM tools read to fetch them: a Logiqx XML datafile of those ROMs only.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "game_db/GamesList.h"

namespace qm {

struct MissingClone {
    const TClone* Clone = nullptr;
    // The clone's entries whose ROM the collection lacks, in the clone's order. ROMs of which no
    // good dump is known are left out: no archive can bring them.
    std::vector<const TRomEntry*> Roms;
};

// The clones of `clones` that lack a ROM, with the ROMs they lack.
template <class Clones>
std::vector<MissingClone> CollectMissingRoms(const TGamesList& games, const Clones& clones) {
    std::vector<MissingClone> missing;
    for (const TClone* clone : clones) {
        if (clone->Complete) {
            continue;
        }
        MissingClone item{clone, {}};
        for (const TRomEntry& entry : clone->Roms) {
            if (!games.CountsPresent(*entry.Rom) && !entry.Rom->NoGoodDump) {
                item.Roms.push_back(&entry);
            }
        }
        if (!item.Roms.empty()) {
            missing.push_back(std::move(item));
        }
    }
    return missing;
}

// The Logiqx XML text of a fixdat: a header with `name`, a description and `date`, then one
// <game> per clone (cloneof its set when it is not the set's own clone) with its missing ROMs
// (name, size, crc). Names are written as UTF-8 (Windows-1252 decoded where they are not UTF-8).
std::string FixdatXml(std::string_view name, std::string_view date, const std::vector<MissingClone>& missing);
// Writes FixdatXml to `file`, replacing it whole.
void WriteFixdat(const std::filesystem::path& file, std::string_view name, std::string_view date,
                 const std::vector<MissingClone>& missing);

}  // namespace qm
