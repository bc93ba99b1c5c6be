// The "Zip content" tree of dropped zip files as plain data: sets, their clones and the clones'
// ROMs, each node with its text, the database object it stands for and the index of its icon.
// The desktop program shows it; quillmark-cli prints it.
//
// Icon indexes: 0 none of the ROMs below is in the dropped files, 1 some are, 2 all are; 3, 4 and
// 5 the same for a node that holds a no-good-dump ROM; in the tree of new ROMs, -1 no icon and 10
// a no-good-dump ROM.
#pragma once

#include <string>
#include <vector>

#include "platform/Job.h"

namespace qm {

class TGamesList;
class TSrcRomList;
struct TGame;
struct TClone;
struct TRom;

inline constexpr int kNoImage = -1;
inline constexpr int kNewNoGoodDumpImage = 10;

struct ContentNode {
    std::string Text;
    // The object the node stands for: a set's node has Game, a clone's Clone, a ROM's Rom.
    const TGame* Game = nullptr;
    const TClone* Clone = nullptr;
    const TRom* Rom = nullptr;
    int Image = 0;
    std::vector<ContentNode> Children;
};

using ContentTree = std::vector<ContentNode>;

// Every source ROM with every clone that uses it (the drop zone's "All").
ContentTree FillContentTree(const TGamesList& games, const TSrcRomList& sources, Job& job);
// Only the source ROMs the collection lacks, each under the clones and names that need it ("New").
ContentTree FillNewContentTree(const TGamesList& games, const TSrcRomList& sources, Job& job);

}  // namespace qm
