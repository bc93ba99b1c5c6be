// The merge of new ROMs into a full-size collection: the archives of 2,000 sets (their clones'
// too) are taken out of the collection and their own ROMs dropped as 2,000 zip files of the sets' real ROM sizes (data
// forged to each CRC-32); the dropped files are examined, merged, the caches written and the
// collection scanned again from them. Prints the time of each step, what the merge did, and
// whether every clone has the state it would have had with the dropped ROMs in the collection
// from the start.
//
// usage: bench_merge DATAFILE ROMDIR WORKDIR   (ROMDIR is changed; WORKDIR: a new or empty folder)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/BenchCollection.h"
#include "bench/BenchFigures.h"
#include "engine/DatFileUnit.h"
#include "engine/Merge.h"
#include "engine/RomsFiles.h"
#include "engine/SrcRomList.h"
#include "game_db/GamesList.h"
#include "game_db/SubList.h"
#include "game_db/cel_strings.h"
#include "platform/HeapTuning.h"
#include "platform/Platform.h"

namespace {

namespace fs = std::filesystem;
using qm::bench::Seconds;

constexpr std::size_t kDroppedSets = 2000;
// Sets whose own ROMs are larger are left out: the forged data does not compress, and a few
// sets of hundreds of megabytes would make the figure one of the disk.
constexpr std::int64_t kMaxSetBytes = 2 << 20;

class CountingJob : public qm::Job {
public:
    void Problem(std::string_view line) override {
        if (problems++ < 5) {
            std::printf("  problem: %.*s\n", static_cast<int>(line.size()), line.data());
        }
    }
    std::size_t problems = 0;
};

// The own ROMs of a set, as its archive holds them (no ROM of a parent or BIOS).
std::vector<qm::bench::ZipMember> OwnRoms(const qm::TGame& game, std::int64_t& bytes) {
    std::vector<qm::bench::ZipMember> members;
    std::set<std::string, std::less<>> names;
    bytes = 0;
    for (const qm::TClone* clone : game.Clones) {
        for (const qm::TRomEntry& entry : clone->Roms) {
            const auto crc = qm::ParseCrcHex(entry.Rom->Crc);
            // A ROM of no known dump has no data to forge.
            if (!entry.Own || !crc || *crc == 0 || entry.Rom->Size < 4 || !names.insert(entry.Name).second) {
                continue;
            }
            members.push_back({entry.Name, *crc, {}, false});
            bytes += entry.Rom->Size;
        }
    }
    return members;
}

std::map<const qm::TClone*, int> CloneStates(const qm::TGamesList& games) {
    std::map<const qm::TClone*, int> states;
    for (const qm::TClone* clone : games.AllClones) {
        states[clone] = clone->Complete && clone->HasPresentRom ? 2 : clone->HasPresentRom ? 1 : 0;
    }
    return states;
}

}  // namespace

int main(int argc, char** argv) {
    qm::RestartWithHugePageHeap(argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s DATAFILE ROMDIR WORKDIR\n", argv[0]);
        return 2;
    }
    const fs::path romDir = argv[2];
    const fs::path work = argv[3];
    const fs::path dataDir = work / "datas";
    const fs::path dropDir = work / "drop";
    fs::create_directories(dataDir);
    fs::create_directories(dropDir);
    fs::create_directories(work / "scratch");

    qm::TGamesList games;
    games.LoadDatafileFile(argv[1], qm::SilentJob());
    qm::TSubList subList(games);
    subList.Rebuild();
    qm::TDatFile cache(dataDir);
    qm::TPathsList paths(games, cache, dataDir);
    paths.AddPath(qm::WithTrailingSlash(romDir.string()));
    paths.Scan(false, qm::SilentJob());
    cache.Reset();
    std::printf("collection: %zu archives, %zu entries\n", paths.Files.size(), paths.ZipRomsByCrc.size());

    // 2,000 sets spread over the datafile, whose archives the collection holds.
    std::vector<const qm::TGame*> eligible;
    for (const qm::TGame* game : games.Games()) {
        std::int64_t bytes = 0;
        if (fs::exists(romDir / (game->Name + ".zip")) && !OwnRoms(*game, bytes).empty() && bytes <= kMaxSetBytes) {
            eligible.push_back(game);
        }
    }
    std::vector<const qm::TGame*> chosen;
    for (std::size_t i = 0; i < kDroppedSets && i < eligible.size(); ++i) {
        chosen.push_back(eligible[i * eligible.size() / std::min(kDroppedSets, eligible.size())]);
    }
    std::vector<std::string> dropped;
    std::size_t entries = 0;
    std::int64_t totalBytes = 0;
    for (const qm::TGame* game : chosen) {
        std::int64_t bytes = 0;
        std::vector<qm::bench::ZipMember> members = OwnRoms(*game, bytes);
        for (qm::bench::ZipMember& member : members) {
            const qm::TRom* rom = games.FindRom(qm::CrcToHex(member.Crc));
            member.Data = qm::bench::ForgeData(member.Crc, static_cast<std::size_t>(rom->Size), member.Crc);
        }
        entries += members.size();
        totalBytes += bytes;
        const fs::path file = dropDir / ("dropped-" + game->Name + ".zip");
        qm::WriteFileAtomic(file, qm::bench::BuildStoredZip(members).Bytes);
        dropped.push_back(file.string());
        // The set's clones go too: their archives hold the parent's ROMs.
        for (const qm::TClone* clone : game->Clones) {
            fs::remove(romDir / (clone->Name + ".zip"));
        }
    }
    std::printf(
        "dropped: %zu zip files, %zu entries, %.1f MB (sets of at most %lld bytes); their archives taken "
        "out of the collection\n",
        dropped.size(), entries, static_cast<double>(totalBytes) / 1e6, static_cast<long long>(kMaxSetBytes));
    // What the states would be with the dropped ROMs in the collection from the start: the
    // dropped files scanned as a ROM directory of their own.
    paths.Reset(false);
    paths.AddPath(qm::WithTrailingSlash(romDir.string()));
    paths.AddPath(qm::WithTrailingSlash(dropDir.string()));
    paths.Scan(false, qm::SilentJob());
    cache.Reset();
    const auto before = CloneStates(games);
    fs::remove(dropDir / std::string(qm::kCacheFileName));
    paths.Reset(false);
    paths.AddPath(qm::WithTrailingSlash(romDir.string()));
    paths.Scan(false, qm::SilentJob());
    cache.Reset();

    CountingJob job;
    auto start = std::chrono::steady_clock::now();
    qm::TSrcRomList sources;
    qm::SourceReadOptions options;
    options.TempPath = work / "scratch";
    sources.LoadSourceRoms(dropped, games, options, job);
    sources.KeepNewRoms(games);
    std::printf("examine: %.3f s, %zu source roms, %zu new, %zu report lines\n", Seconds(start), sources.Count(),
                sources.NewRoms().size(), sources.Report.size());

    start = std::chrono::steady_clock::now();
    const qm::MergeOutcome outcome = qm::MergeNewRoms(paths, sources.AllRoms(), work / "scratch", job);
    cache.Reset();
    const double mergeSeconds = Seconds(start);
    std::printf(
        "merge: %.3f s (caches written), %zu roms copied, %zu archives created, %zu changed, %zu entries "
        "renamed to make room, %zu problems\n",
        mergeSeconds, outcome.RomsCopied, outcome.ArchivesCreated, outcome.ArchivesChanged, outcome.Displaced.size(),
        job.problems);

    start = std::chrono::steady_clock::now();
    paths.Reset(true);
    paths.Scan(false, qm::SilentJob());
    std::printf("rescan from the caches: %.3f s\n", Seconds(start));
    const auto after = CloneStates(games);
    std::size_t differ = 0;
    for (const auto& [clone, state] : before) {
        if (after.at(clone) != state && differ++ < 5) {
            std::printf("  %s: %d before, %d after\n", clone->Name.c_str(), state, after.at(clone));
        }
    }
    std::printf("clones whose state differs from the one with the dropped roms from the start: %zu of %zu\n", differ,
                before.size());
    return differ == 0 && job.problems == 0 ? 0 : 1;
}
