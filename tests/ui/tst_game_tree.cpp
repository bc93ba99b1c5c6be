// The installed-roms tree: which nodes, texts and state icons the smart list gives at set and
// clone level under each filter, and the model the tree view reads them through.
#include <QAbstractItemModelTester>
#include <QtTest>

#include "UiTestSupport.h"
#include "commands/Session.h"
#include "platform/Job.h"
#include "platform/UserPrompts.h"
#include "support/TestSupport.h"
#include "ui/GameTree.h"
#include "ui/GameTreeModel.h"

namespace qm::test {

namespace {

struct Row {
    std::string Text;
    int Icon;
    friend bool operator==(const Row&, const Row&) = default;
};

std::vector<Row> Children(const GameTree& tree, std::uint32_t parent) {
    std::vector<Row> rows;
    const std::uint32_t first = parent == kNoNode ? 0 : tree.Nodes[parent].FirstChild;
    const std::uint32_t count = parent == kNoNode ? tree.TopCount : tree.Nodes[parent].ChildCount;
    for (std::uint32_t i = first; i < first + count; ++i) {
        rows.push_back({tree.Nodes[i].FullText(), tree.Nodes[i].Icon});
    }
    return rows;
}

std::uint32_t Find(const GameTree& tree, std::uint32_t parent, std::string_view text) {
    const std::uint32_t first = parent == kNoNode ? 0 : tree.Nodes[parent].FirstChild;
    const std::uint32_t count = parent == kNoNode ? tree.TopCount : tree.Nodes[parent].ChildCount;
    for (std::uint32_t i = first; i < first + count; ++i) {
        if (tree.Nodes[i].FullText() == text) {
            return i;
        }
    }
    return kNoNode;
}

char* Describe(const std::vector<Row>& rows) {
    std::string text;
    for (const Row& r : rows) {
        text += r.Text + "[" + std::to_string(r.Icon) + "] ";
    }
    return qstrdup(text.c_str());
}

}  // namespace

}  // namespace qm::test

namespace QTest {
template <>
char* toString(const std::vector<qm::test::Row>& rows) {
    return qm::test::Describe(rows);
}
}  // namespace QTest

namespace qm::test {

class GameTreeTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<GuiEnvironment> env_;
    std::unique_ptr<RecordingPrompts> prompts_;
    std::unique_ptr<TSession> session_;

    GameTree Fill(DisplayFilter filter, DisplayLevel level, RomNodeOptions options = {}) {
        return FillGameTree(session_->SubList, filter, level, options, SilentJob());
    }
    void Rebuild() { session_->SubList.Rebuild(); }

private Q_SLOTS:
    void init() {
        env_ = std::make_unique<GuiEnvironment>();
        WriteTestProfile(*env_);
        prompts_ = std::make_unique<RecordingPrompts>();
        session_ = std::make_unique<TSession>(ConfigPaths::FromEnvironment(), *prompts_);
        QVERIFY(session_->UseEmulator("test", SilentJob()));
    }
    void cleanup() {
        session_.reset();
        env_.reset();
    }

    void setLevelShowsOneNodePerSetDescriptionWithEveryCloneAndRom() {
        const GameTree tree = Fill(DisplayFilter::All, DisplayLevel::Set);
        QCOMPARE(Children(tree, kNoNode), (std::vector<Row>{{"Alpha Game", IconPartial},
                                                            {"Beta Blaster", IconPartialNoGoodDump},
                                                            {"Gamma Quest", IconComplete},
                                                            {"Neo Game", IconComplete},
                                                            {"Neo-Geo Bios", IconComplete},
                                                            {"Omega Force", IconMissing}}));
        QCOMPARE(tree.Working, 3);
        QCOMPARE(tree.Available, 2);
        QCOMPARE(tree.Missing, 1);

        const std::uint32_t alpha = Find(tree, kNoNode, "Alpha Game");
        QCOMPARE(Children(tree, alpha),
                 (std::vector<Row>{{"Alpha Game", IconComplete}, {"Alpha Game (Japan)", IconPartial}}));
        const std::uint32_t japan = Find(tree, alpha, "Alpha Game (Japan)");
        QCOMPARE(Children(tree, japan),
                 (std::vector<Row>{{"a1.rom (merged)", IconComplete}, {"aj2.rom", IconMissing}}));
        const std::uint32_t beta = Find(tree, Find(tree, kNoNode, "Beta Blaster"), "Beta Blaster");
        QCOMPARE(Children(tree, beta), (std::vector<Row>{{"b1.rom", IconComplete}, {"b2.rom", IconMissingNoGoodDump}}));

        // Two sets share "Gamma Quest": one node, holding the clones of the set it stands for.
        const std::uint32_t gamma = Find(tree, kNoNode, "Gamma Quest");
        const TGame* set = tree.Nodes[gamma].Set();
        QVERIFY(set != nullptr);
        QCOMPARE(tree.Nodes[gamma].ChildCount, static_cast<std::uint32_t>(set->Clones.size()));
        for (std::uint32_t k = 0; k < tree.Nodes[gamma].ChildCount; ++k) {
            QCOMPARE(tree.Nodes[tree.Nodes[gamma].FirstChild + k].Clone()->Game, set);
        }
    }

    void cloneLevelCountsByIcon() {
        const GameTree tree = Fill(DisplayFilter::All, DisplayLevel::Clone);
        QCOMPARE(Children(tree, kNoNode), (std::vector<Row>{{"Alpha Game", IconComplete},
                                                            {"Alpha Game (Japan)", IconPartial},
                                                            {"Beta Blaster", IconPartialNoGoodDump},
                                                            {"Gamma Quest", IconMissing},
                                                            {"Neo Game", IconComplete},
                                                            {"Neo-Geo Bios", IconComplete},
                                                            {"Omega Force", IconMissing},
                                                            {"Zeta Gamma", IconComplete}}));
        QCOMPARE(tree.Working, 4);
        QCOMPARE(tree.Available, 2);
        QCOMPARE(tree.Missing, 2);
        // The status bar finds a ROM's clone through its parent node.
        const std::uint32_t japan = Find(tree, kNoNode, "Alpha Game (Japan)");
        QCOMPARE(tree.CloneOf(tree.Nodes[japan].FirstChild)->Name, std::string("alphaj"));
    }

    void filtersKeepCompleteIncompleteOrPresentClones() {
        auto texts = [](const GameTree& tree) {
            std::vector<std::string> out;
            for (std::uint32_t i = 0; i < tree.TopCount; ++i) {
                out.push_back(tree.Nodes[i].FullText());
            }
            return out;
        };
        const auto available = texts(Fill(DisplayFilter::Available, DisplayLevel::Clone));
        QCOMPARE(available, (std::vector<std::string>{"Alpha Game", "Alpha Game (Japan)", "Beta Blaster", "Neo Game",
                                                      "Neo-Geo Bios", "Zeta Gamma"}));
        const auto playable = texts(Fill(DisplayFilter::Playable, DisplayLevel::Clone));
        QCOMPARE(playable, (std::vector<std::string>{"Alpha Game", "Neo Game", "Neo-Geo Bios", "Zeta Gamma"}));
        const auto missing = texts(Fill(DisplayFilter::Missing, DisplayLevel::Clone));
        QCOMPARE(missing,
                 (std::vector<std::string>{"Alpha Game (Japan)", "Beta Blaster", "Gamma Quest", "Omega Force"}));
        QCOMPARE(playable.size() + missing.size(), session_->SubList.size());
    }

    void mainGamesKeepEveryCloneOfAShownSet() {
        session_->SubList.MainGamesOnly = true;
        Rebuild();
        QCOMPARE(session_->SubList.CloneCount, 7);
        const GameTree tree = Fill(DisplayFilter::All, DisplayLevel::Set);
        QCOMPARE(tree.Nodes[Find(tree, kNoNode, "Alpha Game")].ChildCount, 2u);
        QCOMPARE(Find(Fill(DisplayFilter::All, DisplayLevel::Clone), kNoNode, "Alpha Game (Japan)"), kNoNode);
    }

    void mergedViewAndHiddenNoGoodDumpLeaveRomsOut() {
        GameTree tree = Fill(DisplayFilter::All, DisplayLevel::Clone, {.MergedView = true, .ShowNoGoodDump = true});
        QCOMPARE(Children(tree, Find(tree, kNoNode, "Alpha Game (Japan)")),
                 (std::vector<Row>{{"aj2.rom", IconMissing}}));

        // Hidden, a 'no good dump known' ROM counts as present: its clone is complete.
        session_->SubList.HideNoGoodDump = true;
        Rebuild();
        tree = Fill(DisplayFilter::All, DisplayLevel::Clone, {.MergedView = false, .ShowNoGoodDump = false});
        const std::uint32_t beta = Find(tree, kNoNode, "Beta Blaster");
        QCOMPARE(tree.Nodes[beta].Icon, IconComplete);
        QCOMPARE(Children(tree, beta), (std::vector<Row>{{"b1.rom", IconComplete}}));
    }

    void emptyDatabaseGivesEmptyTree() {
        QVERIFY(!session_->UseEmulator("absent", SilentJob()));
        const GameTree tree = Fill(DisplayFilter::All, DisplayLevel::Set);
        QCOMPARE(tree.TopCount, 0u);
        QCOMPARE(tree.Working + tree.Available + tree.Missing, 0);
    }

    void modelServesTheTree() {
        GameTreeModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetTree(Fill(DisplayFilter::All, DisplayLevel::Set));
        QCOMPARE(model.rowCount(), 6);
        const QModelIndex alpha = model.index(0, 0);
        QCOMPARE(alpha.data().toString(), QString("Alpha Game"));
        QCOMPARE(alpha.data(GameTreeModel::IconRole).toInt(), static_cast<int>(IconPartial));
        QVERIFY(!alpha.data(Qt::DecorationRole).value<QIcon>().isNull());
        const QModelIndex japan = model.index(1, 0, alpha);
        const QModelIndex merged = model.index(0, 0, japan);
        QCOMPARE(merged.data().toString(), QString("a1.rom (merged)"));
        QCOMPARE(merged.parent(), japan);
        QCOMPARE(japan.parent(), alpha);
        QCOMPARE(model.NodeAt(merged)->Rom()->Crc, std::string("0aa10001"));
        model.SetTree(Fill(DisplayFilter::All, DisplayLevel::Clone));
        QCOMPARE(model.rowCount(), 8);
        model.Clear();
        QCOMPARE(model.rowCount(), 0);
    }

    void windows1252TextsAreDecoded() {
        session_->Games.Clear();
        const std::string bytes =
            "[GAMES]\r\n" +
            RomLine("cafe", "Caf\xE9 Racer", "cafe", "Caf\xE9 Racer", "c.rom", "12345678", "N", "O", "4") + "\r\n";
        session_->Games.LoadDatafileBytes(bytes);
        Rebuild();
        GameTreeModel model;
        model.SetTree(Fill(DisplayFilter::All, DisplayLevel::Set));
        QCOMPARE(model.index(0, 0).data().toString(), QString::fromUtf8("Caf\u00e9 Racer"));
    }
};

}  // namespace qm::test

QTEST_MAIN(qm::test::GameTreeTest)
#include "tst_game_tree.moc"
