// The Neo-Geo export and the CD update on a full-size collection: the collection is scanned,
// then the archives of every Neo-Geo set are copied into a new folder, then the collection itself,
// taken as a CD, is updated into another folder (with a collection of one archive per clone,
// every clone's archive of a set of several clones goes into its set's archive, completed). Prints
// the time of each and what it did.
//
// usage: bench_exports DATAFILE ROMDIR WORKDIR   (WORKDIR: a new or empty folder)

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/BenchFigures.h"
#include "engine/CdUpdate.h"
#include "engine/DatFileUnit.h"
#include "engine/NeoGeoExport.h"
#include "engine/RomsFiles.h"
#include "game_db/GamesList.h"
#include "game_db/SubList.h"
#include "platform/HeapTuning.h"
#include "platform/Platform.h"

namespace {

using qm::bench::Seconds;

// Problems counted, not printed.
class CountingJob : public qm::Job {
public:
    void Problem(std::string_view) override { ++problems; }
    std::size_t problems = 0;
};

}  // namespace

int main(int argc, char** argv) {
    qm::RestartWithHugePageHeap(argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s DATAFILE ROMDIR WORKDIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path work = argv[3];
    const std::filesystem::path dataDir = work / "datas";
    std::filesystem::create_directories(dataDir);
    std::filesystem::create_directories(work / "export");
    qm::TGamesList games;
    games.LoadDatafileFile(argv[1], qm::SilentJob());
    qm::TSubList subList(games);
    subList.Rebuild();
    qm::TDatFile cache(dataDir);
    qm::TPathsList paths(games, cache, dataDir);
    paths.AddPath(argv[2]);
    paths.Scan(false, qm::SilentJob());
    std::printf("collection: %zu archives, %zu entries\n", paths.Files.size(), paths.ZipRomsByCrc.size());

    qm::NeoGeoExportOptions exportOptions;
    exportOptions.Destination = (work / "export").string();
    exportOptions.Move = false;
    CountingJob job;
    auto start = std::chrono::steady_clock::now();
    const qm::NeoGeoExportPlan plan = qm::PlanNeoGeoExport(paths, exportOptions);
    const qm::NeoGeoExportResult exported = qm::ExportNeoGeoSets(cache, plan, exportOptions, job);
    cache.Reset();
    std::printf("Neo-Geo export, copies: %.3f s, %zu archives copied%s\n", Seconds(start), exported.CopiedCount(),
                exported.Failure.empty() ? "" : (", failed: " + exported.Failure).c_str());

    qm::CdUpdateOptions updateOptions;
    updateOptions.SourceDir = argv[2];
    updateOptions.DestinationDir = (work / "updated").string();
    std::filesystem::create_directories(updateOptions.DestinationDir);
    start = std::chrono::steady_clock::now();
    const qm::CdUpdateResult updated = qm::UpdateCd(paths, cache, work / "scratch", updateOptions, job);
    cache.Reset();
    std::printf("CD update of the collection taken as a CD: %.3f s, %zu archives read, %s, %zu problems\n",
                Seconds(start), updated.Processed, qm::FilesUpdatedMessage(updated.Updated.size()).c_str(),
                job.problems);
    return 0;
}
