// The program-wide objects of one run (configuration, game database, smart list) and the
// loading of a profile, in the order the desktop program and quillmark-cli both follow.
#pragma once

#include <functional>
#include <string>

#include "config/config.h"
#include "engine/DatFileUnit.h"
#include "engine/RepairDiskAccess.h"
#include "engine/RomsFiles.h"
#include "game_db/GamesList.h"
#include "game_db/SubList.h"

namespace qm {

class Job;
class UserPrompts;

class TSession {
public:
    TSession(const ConfigPaths& paths, UserPrompts& prompts);
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    struct LoadOptions {
        // False leaves the stored current profile as it was.
        bool RememberAsCurrent = true;
        // Scan the ROM directories (from their caches) once the datafile is loaded.
        bool Scan = true;
    };
    // Loads profile `name`: its header, its datafile, the smart list's selection, its ROM
    // directories and their scan. False, after an error message through the prompts, when the
    // profile cannot be loaded or another Quillmark process is changing its collection (see
    // DirCache.KeepLocks); everything is then empty.
    // The job sees the load's and the scan's progress and problem lines; a cancel stops the load
    // (ECancelClick, everything empty).
    bool UseEmulator(const std::string& name, const LoadOptions& options, Job& job);
    bool UseEmulator(const std::string& name, Job& job) { return UseEmulator(name, LoadOptions{}, job); }

    // Profiles of the data directory (datafile base names), in directory order.
    std::vector<std::string> Profiles() const;

    UserPrompts& Prompts() const { return prompts_; }

    TConfig Config;
    TGamesList Games;
    TSubList SubList;
    TDatFile DirCache;
    TPathsList Paths;
    TRepairDiskAccess DiskAccess;
    // The audit and repair options last handed over (the corrupted-file choice is one for both):
    // the option dialogs start from them.
    TCheckOptions CheckOptions;
    // Called before the audit checks each entry (TAudit::BeforeEntryCheck): a seam for tests
    // that hold an audit at a known point or make a check fail.
    std::function<void(const TZipRom&)> BeforeEntryCheck;
    // Lines of the game section that were blank or malformed in the last load.
    std::size_t SkippedDatafileLines = 0;

private:
    void ClearAll();

    UserPrompts& prompts_;
};

// Writes the caches a command edited, whatever became of it, and lets its locks go (at the end of
// its scope). A cache that cannot be written is removed instead: the next scan reads those
// archives again.
struct CachesWritten {
    TSession& session;
    ~CachesWritten();
};

// The picture read again from the caches after a command changed the collection, to its end
// whatever the user asks meanwhile. Its problem lines were told when the collection was loaded.
void RescanFromCaches(TSession& session, Job& job);

// True for the names of directory cache files, which share the data directory with the
// datafiles but are no profiles: "quillmark.dat" and "quillmark<number>.dat".
bool IsCacheFileName(const std::string& fileName);

}  // namespace qm
