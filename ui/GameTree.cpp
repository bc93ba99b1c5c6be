#include "ui/GameTree.h"

#include <algorithm>
#include <unordered_set>

#include "game_db/SubList.h"
#include "platform/Job.h"
#include "platform/Text.h"

namespace qm {

std::string TreeNode::FullText() const {
    std::string text(Text);
    if (Merged) {
        text += kMergedSuffix;
    }
    return text;
}

const TClone* GameTree::CloneOf(std::uint32_t node) const {
    const TreeNode& n = Nodes[node];
    if (n.Kind == TreeNodeKind::Rom && n.Parent != kNoNode) {
        return Nodes[n.Parent].Clone();
    }
    return n.Clone();
}

namespace {

std::uint8_t IconOf(ItemState state, bool hasNoGoodDump) {
    std::uint8_t icon = IconPartial;
    switch (state) {
        case ItemState::Complete:
            icon = IconComplete;
            break;
        case ItemState::Incomplete:
            icon = IconPartial;
            break;
        case ItemState::Empty:
            icon = IconMissing;
            break;
    }
    return hasNoGoodDump ? icon + kNoGoodDumpIconOffset : icon;
}

bool KeptByFilter(const TClone& clone, DisplayFilter filter) {
    switch (filter) {
        case DisplayFilter::All:
            return true;
        case DisplayFilter::Available:
            return clone.HasPresentRom;
        case DisplayFilter::Playable:
            return clone.Complete;
        case DisplayFilter::Missing:
            return !clone.Complete;
    }
    return true;
}

// The tree view keeps its nodes sorted by their text; equal texts keep the order they were
// added in.
bool TextLess(const TreeNode& a, const TreeNode& b) {
    if (!a.Merged && !b.Merged) {
        return CompareFolded(a.Text, b.Text) < 0;
    }
    return CompareFolded(a.FullText(), b.FullText()) < 0;
}

class TreeBuilder {
public:
    TreeBuilder(GameTree& tree, const TGamesList& games, const RomNodeOptions& options)
        : tree_(tree), games_(games), options_(options) {}

    static TreeNode CloneNode(const TClone& clone, std::uint32_t parent) {
        TreeNode node;
        node.Object = &clone;
        node.Text = clone.Description;
        node.Parent = parent;
        node.Kind = TreeNodeKind::Clone;
        node.Icon = IconOf(CloneState(clone), clone.HasNoGoodDump);
        return node;
    }

    static TreeNode SetNode(const TGame& set) {
        TreeNode node;
        node.Object = &set;
        node.Text = set.Description;
        node.Kind = TreeNodeKind::Set;
        node.Icon = IconOf(SetState(set), set.HasNoGoodDump);
        return node;
    }

    void SortBlock(std::uint32_t first, std::uint32_t count) {
        auto begin = tree_.Nodes.begin() + first;
        std::stable_sort(begin, begin + count, TextLess);
    }

    // Children are added level by level: a node's whole block of children exists (and is
    // sorted) before any grandchild, so that siblings stay next to each other.
    void AddChildren(std::uint32_t index) {
        switch (tree_.Nodes[index].Kind) {
            case TreeNodeKind::Set:
                AddCloneNodes(index);
                break;
            case TreeNodeKind::Clone:
                AddRomNodes(index);
                break;
            case TreeNodeKind::Rom:
                break;
        }
    }

private:
    void AddCloneNodes(std::uint32_t setIndex) {
        // Every clone of the set, selected or not.
        const TGame& set = *tree_.Nodes[setIndex].Set();
        const auto first = static_cast<std::uint32_t>(tree_.Nodes.size());
        for (const TClone* clone : set.Clones) {
            tree_.Nodes.push_back(CloneNode(*clone, setIndex));
        }
        const auto count = static_cast<std::uint32_t>(tree_.Nodes.size()) - first;
        tree_.Nodes[setIndex].FirstChild = first;
        tree_.Nodes[setIndex].ChildCount = count;
        SortBlock(first, count);
        for (std::uint32_t k = 0; k < count; ++k) {
            AddRomNodes(first + k);
        }
    }

    void AddRomNodes(std::uint32_t cloneIndex) {
        const TClone& clone = *tree_.Nodes[cloneIndex].Clone();
        const auto first = static_cast<std::uint32_t>(tree_.Nodes.size());
        for (const TRomEntry& entry : clone.Roms) {
            const TRom& rom = *entry.Rom;
            if ((options_.MergedView && !entry.Own) || (!options_.ShowNoGoodDump && rom.NoGoodDump)) {
                continue;
            }
            TreeNode node;
            node.Object = &rom;
            node.Text = entry.Name;
            node.Merged = !entry.Own;
            node.Parent = cloneIndex;
            node.Kind = TreeNodeKind::Rom;
            node.Icon = games_.CountsPresent(rom) ? IconComplete : IconMissing;
            if (rom.NoGoodDump) {
                node.Icon += kNoGoodDumpIconOffset;
            }
            tree_.Nodes.push_back(node);
        }
        const auto count = static_cast<std::uint32_t>(tree_.Nodes.size()) - first;
        tree_.Nodes[cloneIndex].FirstChild = first;
        tree_.Nodes[cloneIndex].ChildCount = count;
        SortBlock(first, count);
    }

    GameTree& tree_;
    const TGamesList& games_;
    const RomNodeOptions& options_;
};

void Count(GameTree& tree, std::uint8_t icon) {
    switch (icon % kNoGoodDumpIconOffset) {
        case IconMissing:
            ++tree.Missing;
            break;
        case IconPartial:
            ++tree.Available;
            break;
        default:
            ++tree.Working;
            break;
    }
}

}  // namespace

GameTree FillGameTree(const TSubList& list, DisplayFilter filter, DisplayLevel level, const RomNodeOptions& options,
                      Job& job) {
    job.Status("Clearing list...");
    GameTree tree;
    job.Status("Updating list...");
    TreeBuilder builder(tree, list.Games(), options);
    // At set level each set description gives one node: the first set met with it.
    std::unordered_set<std::string_view> usedKeys;
    const std::size_t n = list.size();
    for (std::size_t i = 0; i < n; ++i) {
        job.Progress(i, n);
        const TClone& clone = *list[i].Clone;
        if (!KeptByFilter(clone, filter)) {
            continue;
        }
        if (level == DisplayLevel::Set) {
            if (!usedKeys.insert(list[i].Key()).second) {
                continue;
            }
            tree.Nodes.push_back(TreeBuilder::SetNode(*clone.Game));
        } else {
            tree.Nodes.push_back(TreeBuilder::CloneNode(clone, kNoNode));
        }
        Count(tree, tree.Nodes.back().Icon);
    }
    tree.TopCount = static_cast<std::uint32_t>(tree.Nodes.size());
    builder.SortBlock(0, tree.TopCount);
    for (std::uint32_t i = 0; i < tree.TopCount; ++i) {
        builder.AddChildren(i);
    }
    job.Status("Displaying list...");
    job.Progress(0, 100);
    return tree;
}

}  // namespace qm
