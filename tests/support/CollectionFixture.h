// A game database loaded from ROM lines, its selection of everything, and the collection model
// with its directory caches kept in the test's data directory: what scan, matching and disk
// access tests start from.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/DatFileUnit.h"
#include "engine/RomsFiles.h"
#include "game_db/GamesList.h"
#include "game_db/SubList.h"
#include "support/RecordingJob.h"
#include "support/TestSupport.h"

namespace qm::test {

class CollectionTest : public TempDirTest {
protected:
    void LoadDatabase(const std::vector<std::string>& romLines) {
        games.LoadDatafileBytes(Datafile(romLines));
        subList = std::make_unique<TSubList>(games);
        subList->Rebuild();
        cache = std::make_unique<TDatFile>(DataDir());
        paths = std::make_unique<TPathsList>(games, *cache, DataDir());
    }

    fs::path Roms(const std::string& dir = "roms") const { return Root() / dir; }
    std::string RomsDir(const std::string& dir = "roms") const { return Roms(dir).string() + "/"; }

    TGamesList games;
    std::unique_ptr<TSubList> subList;
    std::unique_ptr<TDatFile> cache;
    std::unique_ptr<TPathsList> paths;
    RecordingJob job;
};

}  // namespace qm::test
