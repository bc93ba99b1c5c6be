#include <gtest/gtest.h>

#include "game_db/GamesList.h"
#include "game_db/SubList.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::Datafile;
using test::RomLine;

// A small database: set "puck" with parent puck and clones puckb (own + merged ROMs) and
// puckc (a no-good-dump ROM); set "other" sharing a ROM with puck; a placeholder set; a set
// with a placeholder clone next to a clone with ROMs.
class GamesListTest : public ::testing::Test {
protected:
    void SetUp() override {
        games.LoadDatafileBytes(Datafile({
            RomLine("empty", "Empty", "empty", "Empty", "No roms needed", "        ", "N", "O", "0"),
            RomLine("mixed", "Mixed", "mixed", "Mixed", "m.bin", "0000000a", "N", "O", "8"),
            RomLine("mixed", "Mixed", "mixedb", "Mixed B", "No roms needed", "        ", "N", "O", "0"),
            RomLine("other", "Other", "other", "Other", "snd.bin", "000000cc", "N", "O", "8"),
            RomLine("other", "Other", "other", "Other", "x.bin", "000000dd", "N", "O", "8"),
            RomLine("puck", "Puck", "puck", "Puck", "p1.bin", "000000a1", "N", "O", "8"),
            RomLine("puck", "Puck", "puck", "Puck", "sound.bin", "000000cc", "N", "O", "8"),
            RomLine("puck", "Puck", "puckb", "Puck B", "p1.bin", "000000a1", "N", "N", "8"),
            RomLine("puck", "Puck", "puckb", "Puck B", "p1b.bin", "000000b1", "N", "O", "8"),
            RomLine("puck", "Puck", "puckb", "Puck B", "sound.bin", "000000cc", "N", "N", "8"),
            RomLine("puck", "Puck", "puckc", "Puck C", "p1.bin", "000000a1", "N", "N", "8"),
            RomLine("puck", "Puck", "puckc", "Puck C", "pal.bin", "00000000", "N", "O", "260"),
        }));
        subList = std::make_unique<TSubList>(games);
        subList->Rebuild();
    }

    void MarkPresent(std::initializer_list<const char*> crcs) {
        games.ResetRomStatus();
        for (const char* crc : crcs) {
            games.FindRom(crc)->Status = rsPresent;
        }
        games.ComputeStatus();
    }

    TClone* Clone(const char* name) { return games.FindClone(name); }
    TGame* Game(const char* name) { return games.FindGame(name); }

    TGamesList games;
    std::unique_ptr<TSubList> subList;
};

TEST_F(GamesListTest, BeforeAnyScanOnlyPlaceholdersArePresent) {
    const StatusCounts counts = CountStatus(games);
    EXPECT_EQ(SetState(*Game("empty")), ItemState::Complete);
    EXPECT_EQ(SetState(*Game("mixed")), ItemState::Incomplete);  // holds a placeholder clone
    EXPECT_EQ(CloneState(*Clone("mixedb")), ItemState::Complete);
    EXPECT_EQ(SetState(*Game("puck")), ItemState::Empty);
    EXPECT_EQ(counts.SetsComplete, 1);
    EXPECT_EQ(counts.SetsIncomplete, 1);
    EXPECT_EQ(counts.SetsEmpty, 2);
    EXPECT_EQ(counts.ClonesComplete, 2);
    EXPECT_EQ(counts.ClonesEmpty, 5);
}

TEST_F(GamesListTest, SharedRomMarksEveryCloneThatListsIt) {
    MarkPresent({"000000cc"});
    EXPECT_TRUE(Clone("other")->HasPresentRom);
    EXPECT_TRUE(Clone("puck")->HasPresentRom);
    EXPECT_TRUE(Clone("puckb")->HasPresentRom);
    EXPECT_FALSE(Clone("puckc")->HasPresentRom);
    EXPECT_EQ(SetState(*Game("puck")), ItemState::Incomplete);

    MarkPresent({"000000cc", "000000dd", "000000a1", "000000b1"});
    EXPECT_EQ(CloneState(*Clone("other")), ItemState::Complete);
    EXPECT_EQ(CloneState(*Clone("puck")), ItemState::Complete);
    EXPECT_EQ(CloneState(*Clone("puckb")), ItemState::Complete);
    // puckc lacks its no-good-dump ROM: incomplete, flagged.
    EXPECT_EQ(CloneState(*Clone("puckc")), ItemState::Incomplete);
    EXPECT_TRUE(Clone("puckc")->HasNoGoodDump);
    EXPECT_TRUE(Game("puck")->HasNoGoodDump);
    EXPECT_FALSE(Game("puck")->Complete);
    EXPECT_TRUE(Game("puck")->HasCompleteClone);
}

TEST_F(GamesListTest, HidingNoGoodDumpsMakesThemCountPresent) {
    subList->HideNoGoodDump = true;
    subList->Rebuild();
    MarkPresent({"000000cc", "000000dd", "000000a1", "000000b1"});
    EXPECT_EQ(CloneState(*Clone("puckc")), ItemState::Complete);
    EXPECT_FALSE(Clone("puckc")->HasNoGoodDump);
    EXPECT_TRUE(Game("puck")->Complete);
    // The hidden ROM leaves the selection and its count.
    EXPECT_EQ(games.SelectedRoms.Find("00000000"), nullptr);
}

TEST_F(GamesListTest, MergedViewCountsOnlyOwnRoms) {
    games.MergedView = true;
    subList->MergedView = true;
    subList->Rebuild();
    MarkPresent({"000000a1", "000000cc"});  // puckb's shared ROMs only
    EXPECT_FALSE(Clone("puckb")->HasPresentRom);
    EXPECT_TRUE(Clone("puck")->HasPresentRom);
    EXPECT_EQ(games.SelectedRoms.size(), 7u);  // merged entries are not selected
    EXPECT_EQ(Clone("puckb")->FindCloneRomByCrc("000000a1"), nullptr);
    EXPECT_EQ(Clone("puckb")->FindCloneRomByCrc("000000b1")->Crc, "000000b1");
}

TEST_F(GamesListTest, SelectionFiltersAndCounts) {
    EXPECT_EQ(subList->SetCount, 4);
    EXPECT_EQ(subList->CloneCount, 7);
    EXPECT_EQ(subList->RomCount, 7);  // distinct CRCs, placeholder and 00000000 included
    // Entries are keyed by set description, equal keys newest first.
    ASSERT_EQ(subList->size(), 7u);
    EXPECT_EQ((*subList)[0].Clone->Game->Name, "empty");
    EXPECT_EQ((*subList)[subList->size() - 1].Clone->Name, "puck");

    subList->MainGamesOnly = true;
    subList->Rebuild();
    EXPECT_EQ(subList->CloneCount, 4);
    EXPECT_EQ(games.CloneOfZip("/roms/puckb.zip"), nullptr);  // outside the selection
    EXPECT_EQ(games.CloneOfZip("/roms/PUCK.zip"), Clone("puck"));
    EXPECT_EQ(games.GameOfZip("/roms/puck.zip"), Game("puck"));

    subList->MainGamesOnly = false;
    Game("puck")->NeoGeo = true;
    subList->OnlyNeoGeo = true;
    subList->Rebuild();
    EXPECT_EQ(subList->SetCount, 1);
    EXPECT_EQ(subList->CloneCount, 3);
    subList->OnlyNeoGeo = false;
    subList->WithoutNeoGeo = true;
    subList->Rebuild();
    EXPECT_EQ(subList->SetCount, 3);
    EXPECT_EQ(games.SelectedSets.Find("puck"), nullptr);
}

TEST_F(GamesListTest, ComplementedCrcIsTheKnownBadDump) {
    games.ResetRomStatus();
    // ~0x000000b1 = 0xffffff4e
    games.MarkRomPresent("/roms/puckb.zip", "p1b.bin", "ffffff4e");
    TRom* rom = games.FindRom("000000b1");
    EXPECT_EQ(rom->Status, rsPresent);
    EXPECT_TRUE(rom->NoGoodDump);
    bool listed = false;
    for (const NamedRom& line : games.NoGoodDumpRoms) {
        listed = listed || (line.Name == "p1b.bin" && line.Rom == rom);
    }
    EXPECT_TRUE(listed);
    const std::size_t lines = games.NoGoodDumpRoms.size();
    games.MarkRomPresent("/roms/puckb.zip", "p1b.bin", "ffffff4e");  // a rescan adds nothing
    EXPECT_EQ(games.NoGoodDumpRoms.size(), lines);

    TRom* found = nullptr;
    EXPECT_FALSE(games.FindByComplementedCrc("/roms/x.zip", "q.bin", "12345678", found));
    EXPECT_EQ(found, nullptr);
    // By name: a no-good-dump ROM of the archive's set.
    EXPECT_TRUE(games.FindByComplementedCrc("/roms/puck.zip", "pal.bin", "abcdef01", found));
    EXPECT_EQ(found, Clone("puckc")->FindCloneRom("pal.bin"));
    EXPECT_FALSE(games.FindByComplementedCrc("/roms/other.zip", "pal.bin", "abcdef01", found));
    // Not a CRC at all: no complement, no crash.
    EXPECT_FALSE(games.FindByComplementedCrc("/roms/other.zip", "y.bin", "zz", found));

    // ffffffff is no bad dump of the ROMs without a good dump (CRC 00000000).
    games.ResetRomStatus();
    const std::size_t noGoodDumpLines = games.NoGoodDumpRoms.size();
    EXPECT_FALSE(games.FindByComplementedCrc("/roms/other.zip", "y.bin", "ffffffff", found));
    games.MarkRomPresent("/roms/other.zip", "y.bin", "ffffffff");
    EXPECT_EQ(Clone("puckc")->FindCloneRom("pal.bin")->Status, rsMissing);
    EXPECT_EQ(games.NoGoodDumpRoms.size(), noGoodDumpLines);
    TNamedRomList names;
    Clone("puckc")->CollectMatchingRoms(names, "ffffffff");
    EXPECT_TRUE(names.empty());
    TNeededNamesList needed;
    games.NamesForCrc("/roms/other.zip", "y.bin", needed, "ffffffff");
    EXPECT_TRUE(needed.empty());
}

TEST_F(GamesListTest, NoGoodDumpRomIsMarkedPresentByNameInItsSet) {
    games.ResetRomStatus();
    games.MarkRomPresent("/roms/puckc.zip", "pal.bin", "0badf00d");
    EXPECT_EQ(Clone("puckc")->FindCloneRom("pal.bin")->Status, rsPresent);
    games.ResetRomStatus();
    EXPECT_EQ(Clone("puckc")->FindCloneRom("pal.bin")->Status, rsMissing);
}

TEST_F(GamesListTest, NamesForCrcListsParentNamesFirstThenEveryOtherName) {
    TNeededNamesList names;
    games.NamesForCrc("/roms/x.zip", "whatever.bin", names, "000000cc");
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].Name, "snd.bin");
    EXPECT_EQ(names[0].Game, Game("other"));
    EXPECT_EQ(names[1].Name, "sound.bin");
    EXPECT_EQ(names[1].Game, Game("puck"));

    games.NamesForCrc("/roms/x.zip", "whatever.bin", names, "ffffff4e");  // complement of b1
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].Name, "p1b.bin");
    games.NamesForCrc("/roms/puck.zip", "pal.bin", names, "abcdef01");  // no-good-dump by name
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].Name, "pal.bin");
    EXPECT_EQ(names[0].Game, Game("puck"));
}

TEST_F(GamesListTest, ClonesNeedingRomDependsOnSplitAndMergedModes) {
    TNeedingClonesList list;
    const TRom& sound = *games.FindRom("000000cc");
    games.SplitMode = false;
    games.ClonesNeedingRom(sound, list);
    // One line per name and set: other/snd.bin, puck/sound.bin (puckb's is the same set).
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Name, "snd.bin");
    EXPECT_EQ(list[0].Clone, Clone("other"));
    EXPECT_EQ(list[1].Clone, Clone("puck"));

    games.SplitMode = true;
    games.ClonesNeedingRom(sound, list);
    EXPECT_EQ(list.size(), 3u);  // one per clone
    games.MergedView = true;
    games.ClonesNeedingRom(sound, list);
    EXPECT_EQ(list.size(), 2u);  // puckb merges it

    subList->MainGamesOnly = true;
    subList->Rebuild();
    games.MergedView = false;
    games.ClonesNeedingRom(sound, list);
    EXPECT_EQ(list.size(), 2u);  // only selected clones
}

TEST_F(GamesListTest, LookupsByNameAndCrc) {
    const TGame* puck = Game("puck");
    EXPECT_EQ(puck->FindRomByName("p1b.bin")->Crc, "000000b1");
    EXPECT_EQ(puck->FindRomByName("nothing"), nullptr);
    EXPECT_EQ(puck->FindRomByCrc("000000b1"), Clone("puckb")->FindCloneRom("p1b.bin"));
    TNamedRomList list;
    list.Add(NamedRom{"stale", nullptr});
    puck->CollectMatchingRoms(list, "000000cc");
    ASSERT_EQ(list.size(), 1u);  // cleared, then one name for two clones
    EXPECT_EQ(list[0].Name, "sound.bin");
    puck->CollectMatchingRoms(list, "ffffff5e");  // complement of a1
    EXPECT_EQ(list.size(), 1u);
    list.Clear();
    puck->CollectRoms(list);
    EXPECT_EQ(list.size(), 4u);  // p1, p1b, pal, sound
    EXPECT_EQ(Clone("puckb")->Roms.IndexOfRom(games.FindRom("000000cc")), 2);
}

TEST(GamesListBuilder, FindOrAddAndTheNeoGeoBiosRule) {
    TGamesList games;
    TGame* neogeo = games.FindOrAddGame("NeoGeo", "Neo-Geo Bios");
    games.FindOrAddClone(neogeo, "neogeo", "Neo-Geo Bios");
    TGame* game = games.FindOrAddGame("mslug", "Metal Slug");
    EXPECT_EQ(games.FindOrAddGame("MSLUG", "Metal Slug - Super Vehicle-001"), game);
    EXPECT_EQ(game->Description, "Metal Slug - Super Vehicle-001");
    TClone* clone = games.FindOrAddClone(game, "mslug", "Metal Slug");
    TGame* other = games.FindOrAddGame("zzz", "Z");
    EXPECT_EQ(games.FindOrAddClone(other, "MSlug", "changed"), clone);
    EXPECT_EQ(clone->Description, "Metal Slug");
    EXPECT_EQ(clone->Game, game);

    EXPECT_NE(games.AddRom(clone, "12345678", "ng-sm1.rom", true, 128), nullptr);
    EXPECT_EQ(games.AddRom(clone, "12345678", "ng-sm1.rom", true, 128), nullptr);
    EXPECT_EQ(games.FindClone("neogeo")->Roms.size(), 1u);
    EXPECT_EQ(clone->Roms.size(), 0u);
    TRom* p1 = games.AddRom(clone, "ABCDEF01", "201-p1.bin", true, 1024);
    EXPECT_EQ(p1->Crc, "abcdef01");
    EXPECT_EQ(games.AddRom(clone, "abcdef01", "201-p1b.bin", true, 1024), p1);
    TRom* nodump1 = games.AddRom(clone, "00000000", "a.pal", true, 0);
    TRom* nodump2 = games.AddRom(clone, "00000000", "b.pal", true, 0);
    EXPECT_NE(nodump1, nodump2);
    EXPECT_TRUE(clone->Roms.Find("a.pal")->NoGoodDump);
    EXPECT_FALSE(nodump1->NoGoodDump);  // the builder sets it, not AddRom
}

}  // namespace
}  // namespace qm
