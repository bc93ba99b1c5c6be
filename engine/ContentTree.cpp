#include "engine/ContentTree.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "engine/SrcRomList.h"
#include "game_db/GamesList.h"
#include "platform/Text.h"

namespace qm {

namespace {

// Builds the tree with its set and clone nodes found by object: nodes are only ever appended, so
// indexes stay valid while the tree grows.
class TreeBuilder {
public:
    explicit TreeBuilder(int image) : image_(image) {}

    ContentNode& SetNode(const TClone& clone) {
        const TGame* game = clone.Game;
        const auto [it, added] = sets_.try_emplace(game, tree_.size());
        if (added) {
            tree_.push_back(ContentNode{game->Description, game, nullptr, nullptr, image_, {}});
        }
        return tree_[it->second];
    }
    ContentNode& CloneNode(const TClone& clone) {
        ContentNode& set = SetNode(clone);
        const auto [it, added] = clones_.try_emplace(&clone, set.Children.size());
        if (added) {
            set.Children.push_back(ContentNode{clone.Description, nullptr, &clone, nullptr, image_, {}});
        }
        return set.Children[it->second];
    }

    ContentTree& Tree() { return tree_; }

private:
    int image_;
    ContentTree tree_;
    std::unordered_map<const TGame*, std::size_t> sets_;
    std::unordered_map<const TClone*, std::size_t> clones_;
};

void SortLevels(ContentTree& nodes) {
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const ContentNode& a, const ContentNode& b) { return CompareFolded(a.Text, b.Text) < 0; });
    for (ContentNode& node : nodes) {
        SortLevels(node.Children);
    }
}

bool Found(int image) {
    return image == 2 || image == 5;
}
bool Missing(int image) {
    return image == 0 || image == 3;
}

// A clone node's icon from its ROMs, a set node's from its clones: raised by 2 when everything
// below was dropped, by 1 when some of it was, kept when none was.
void RaiseByWhatWasFound(ContentTree& tree) {
    for (ContentNode& set : tree) {
        bool allClonesFound = true;
        bool anyFound = false;
        for (ContentNode& clone : set.Children) {
            const bool found = std::any_of(clone.Children.begin(), clone.Children.end(),
                                           [](const ContentNode& rom) { return Found(rom.Image); });
            const bool missing = std::any_of(clone.Children.begin(), clone.Children.end(),
                                             [](const ContentNode& rom) { return Missing(rom.Image); });
            const int raise = found ? (missing ? 1 : 2) : 0;
            clone.Image += raise;
            allClonesFound = allClonesFound && raise == 2;
            anyFound = anyFound || found;
        }
        set.Image += allClonesFound ? 2 : anyFound ? 1 : 0;
    }
}

class Reporter {
public:
    Reporter(Job& job, std::size_t total) : job_(job), meter_(job, total) { job_.Status("Loading tree view..."); }
    void Step(std::size_t i) { meter_.Set(i); }
    ~Reporter() {
        job_.Status("");
        job_.Progress(0, 0);
    }

private:
    Job& job_;
    ProgressMeter meter_;
};

}  // namespace

ContentTree FillContentTree(const TGamesList& /*games*/, const TSrcRomList& sources, Job& job) {
    Reporter reporter(job, sources.Count());
    TreeBuilder builder(0);
    std::size_t i = 0;
    for (const TSrcRom& source : sources.Roms()) {
        reporter.Step(i++);
        for (const TClone* clone : source.Rom->Clones) {
            ContentNode& cloneNode = builder.CloneNode(*clone);
            if (cloneNode.Children.empty()) {
                for (const TRomEntry& entry : clone->Roms) {
                    int image = 0;
                    if (entry.Rom->NoGoodDump) {
                        image = 3;
                        cloneNode.Image = 3;
                        builder.SetNode(*clone).Image = 3;
                    }
                    cloneNode.Children.push_back(ContentNode{entry.Name, nullptr, nullptr, entry.Rom, image, {}});
                }
            }
            for (ContentNode& rom : cloneNode.Children) {
                if (rom.Rom == source.Rom && !Found(rom.Image)) {
                    rom.Image += 2;
                }
            }
        }
    }
    ContentTree& tree = builder.Tree();
    RaiseByWhatWasFound(tree);
    SortLevels(tree);
    return std::move(tree);
}

ContentTree FillNewContentTree(const TGamesList& /*games*/, const TSrcRomList& sources, Job& job) {
    Reporter reporter(job, sources.Count());
    TreeBuilder builder(kNoImage);
    std::set<std::pair<std::string_view, std::string_view>> romNodes;  // clone name, ROM name
    std::size_t i = 0;
    for (const TSrcRom* source : sources.NewRoms()) {
        reporter.Step(i++);
        for (const TClone* clone : source->Rom->Clones) {
            for (const TRomEntry& entry : clone->Roms) {
                if (entry.Rom != source->Rom || !romNodes.emplace(clone->Name, entry.Name).second) {
                    continue;
                }
                const int image = entry.Rom->NoGoodDump ? kNewNoGoodDumpImage : kNoImage;
                builder.CloneNode(*clone).Children.push_back(
                    ContentNode{entry.Name, nullptr, nullptr, entry.Rom, image, {}});
            }
        }
    }
    ContentTree& tree = builder.Tree();
    SortLevels(tree);
    return std::move(tree);
}

}  // namespace qm
