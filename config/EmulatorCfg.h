// ROM directories taken from an emulator's own configuration file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Fills `list` with the ROM directories of the MAME ("mame.cfg", key "rompath ") or Raine
// ("config/raine.cfg", keys Ziproms, Ziproms1, Ziproms2 of [Directories]) configuration in
// emulatorDir (which ends with '/'); any other name gives an empty list. Relative directories
// are expanded against emulatorDir. Gives true when the directories were resolved against
// emulatorDir (MAME always, Raine when its file exists): the caller's fallback directory is
// then the emulator directory.
bool RomPathsFromCfg(std::string_view emulatorName, const std::string& emulatorDir, std::vector<std::string>& list);

}  // namespace qm
