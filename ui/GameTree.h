// The installed-roms tree as plain data, built from the smart list off the GUI thread and then
// handed whole to the tree view's model. A full datafile gives some 400,000 nodes at set level,
// so a node is a small record pointing into the game database rather than a widget item:
// its text is a view of the database's own bytes, which stay put until the next datafile
// load (the window empties the tree before that).
//
// Siblings are stored next to each other, already in display order, so the model finds a row
// by arithmetic: children of a node are Nodes[FirstChild, FirstChild + ChildCount), and the
// top level is Nodes[0, TopCount).
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "game_db/GamesList.h"

namespace qm {

class Job;
class TSubList;

// Image indexes shared by both trees: the three states, and the same three for an item that
// carries a ROM of which no good dump is known.
enum StateIcon : std::uint8_t {
    IconMissing = 0,
    IconPartial = 1,
    IconComplete = 2,
    IconMissingNoGoodDump = 3,
    IconPartialNoGoodDump = 4,
    IconCompleteNoGoodDump = 5,
};
inline constexpr int kStateIconCount = 6;
inline constexpr std::uint8_t kNoGoodDumpIconOffset = 3;

// The stored display filter and level (settings "DisplayFilter" and "DisplayLevel").
enum class DisplayFilter : std::uint8_t { All = 0, Available = 1, Playable = 2, Missing = 3 };
enum class DisplayLevel : std::uint8_t { Set = 0, Clone = 1 };
// A stored value out of range reads as the default.
inline DisplayFilter FilterOfSetting(int value) {
    return value >= 0 && value <= 3 ? static_cast<DisplayFilter>(value) : DisplayFilter::All;
}
inline DisplayLevel LevelOfSetting(int value) {
    return value == 1 ? DisplayLevel::Clone : DisplayLevel::Set;
}

enum class TreeNodeKind : std::uint8_t { Set, Clone, Rom };

inline constexpr std::uint32_t kNoNode = std::numeric_limits<std::uint32_t>::max();
inline constexpr std::string_view kMergedSuffix = " (merged)";

struct TreeNode {
    const void* Object = nullptr;
    std::string_view Text;
    std::uint32_t Parent = kNoNode;
    std::uint32_t FirstChild = 0;
    std::uint32_t ChildCount = 0;
    TreeNodeKind Kind = TreeNodeKind::Set;
    std::uint8_t Icon = IconPartial;
    // A ROM the clone shares with its parent: shown with kMergedSuffix after its name.
    bool Merged = false;

    const TGame* Set() const { return Kind == TreeNodeKind::Set ? static_cast<const TGame*>(Object) : nullptr; }
    const TClone* Clone() const { return Kind == TreeNodeKind::Clone ? static_cast<const TClone*>(Object) : nullptr; }
    const TRom* Rom() const { return Kind == TreeNodeKind::Rom ? static_cast<const TRom*>(Object) : nullptr; }
    // The text as shown, database bytes (Windows-1252 or UTF-8).
    std::string FullText() const;
};

struct GameTree {
    std::vector<TreeNode> Nodes;
    std::uint32_t TopCount = 0;
    // The information panel's counters.
    int Working = 0;
    int Available = 0;
    int Missing = 0;

    // Row of a node among its siblings.
    std::uint32_t RowOf(std::uint32_t node) const {
        const std::uint32_t parent = Nodes[node].Parent;
        return parent == kNoNode ? node : node - Nodes[parent].FirstChild;
    }
    // The clone a node stands for or, for a ROM node, the clone of its parent node.
    const TClone* CloneOf(std::uint32_t node) const;
};

// What the configuration says about ROM nodes.
struct RomNodeOptions {
    bool MergedView = false;     // leave out ROMs the clone shares with its parent
    bool ShowNoGoodDump = true;  // show ROMs of which no good dump is known
};

// The tree of the smart list's entries kept by the filter, at set or clone level, with its
// counters. Reports "Clearing list...", "Updating list...", "Displaying list..." and the
// position per entry.
GameTree FillGameTree(const TSubList& list, DisplayFilter filter, DisplayLevel level, const RomNodeOptions& options,
                      Job& job);

}  // namespace qm
