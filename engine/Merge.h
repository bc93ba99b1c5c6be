// The merge of new ROMs: each ROM found in dropped zip files is copied into every archive of the
// collection that needs it, under the name each set expects, creating archives where none exist.
//
// The dropped files are only read. Each target archive is written once per run, with all the ROMs
// it receives (libzip writes the new archive beside the old one and renames it over; the archive is
// flushed before its cache line changes). An entry of the needed name holding other data is never
// replaced: it is renamed to its name + "__" in the same archive; two clones of a set that expect
// different ROMs under one name get the first under the name and the next under name + "__". A target archive that
// cannot be read is kept as owner + "_bad.zip" and a new archive of the right name receives the ROMs. The directory
// caches and the model are kept in step with every archive written; the caller flushes the caches and rescans.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Job.h"

namespace qm {

class TPathsList;
struct TSrcRom;

// The prefix of the merge's work folders in the scratch folder.
inline constexpr std::string_view kMergeWorkFolder = "merge";

struct MergeDisplaced {
    std::string Archive;  // full path
    std::string From;     // the entry's name before (or the name a ROM was needed under)
    std::string To;       // its name now (or the name it was stored under)
};

struct MergeOutcome {
    std::size_t RomsCopied = 0;
    std::size_t ArchivesCreated = 0;
    std::size_t ArchivesChanged = 0;
    std::vector<MergeDisplaced> Displaced;
    std::vector<std::string> BadArchives;   // the "_bad.zip" names given to unreadable targets
    std::vector<std::string> ProblemLines;  // also handed to the job
    bool Cancelled = false;
};

// Merges the source ROMs (usually the list's new ROMs) into the collection `paths` (scanned). The
// members are extracted below `workDir` (the scratch folder). Progress about fifty times a run;
// a cancel is taken between target archives (Cancelled set; what was written stays, true).
MergeOutcome MergeNewRoms(TPathsList& paths, const std::vector<TSrcRom*>& sources, const std::filesystem::path& workDir,
                          Job& job);

}  // namespace qm
