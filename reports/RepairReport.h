// The repair's actions and its summary in words, for the command-line program and the desktop
// program's preview of a dry run.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/Repair.h"

namespace qm {

// One action on one line, for example "rename entry /roms/puckman.zip : a.bin -> b.bin".
std::string RepairActionLine(const TRepairAction& action);
// What the repair changed, one (caption, count) per kind of change, in a fixed order; bytes
// written last.
std::vector<std::pair<std::string, std::uint64_t>> RepairSummary(const TRepairResult& result);

}  // namespace qm
