// The program-wide objects of one run (configuration, game database, smart list) and the
// loading of a profile, in the order the desktop program and quillmark-cli both follow.
#pragma once

#include <string>

#include "config/config.h"
#include "game_db/GamesList.h"
#include "game_db/SubList.h"

namespace qm {

class UserPrompts;

class TSession {
public:
    TSession(const ConfigPaths& paths, UserPrompts& prompts);
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    // Loads profile `name`: its header, its datafile, the smart list's selection. False, after
    // an error message through the prompts, when the profile cannot be loaded; everything is
    // then empty. `rememberAsCurrent` false leaves the stored current profile as it was.
    bool UseEmulator(const std::string& name, bool rememberAsCurrent = true);

    // Profiles of the data directory (datafile base names), in directory order.
    std::vector<std::string> Profiles() const;

    UserPrompts& Prompts() const { return prompts_; }

    TConfig Config;
    TGamesList Games;
    TSubList SubList;
    // Lines of the game section that were blank or malformed in the last load.
    std::size_t SkippedDatafileLines = 0;

private:
    void ClearAll();

    UserPrompts& prompts_;
};

// True for the names of directory cache files, which share the data directory with the
// datafiles but are no profiles: "quillmark.dat" and "quillmark<number>.dat".
bool IsCacheFileName(const std::string& fileName);

}  // namespace qm
