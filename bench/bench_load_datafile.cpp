// Loads a datafile several times, each run in a child process so that its peak memory is its
// own, and prints the median time of "read, load, select, first status" and the peak memory.
//
// usage: bench_load_datafile DATAFILE [RUNS]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/ChildRun.h"
#include "game_db/GamesList.h"
#include "game_db/SubList.h"
#include "platform/HeapTuning.h"
#include "platform/Platform.h"

namespace {

struct RunResult {
    double Seconds = 0;
    long PeakKiB = 0;
    int Sets = 0;
    int Clones = 0;
    int Roms = 0;
};

RunResult RunOnce(const std::string& file) {
    auto [r, peak] = qm::bench::RunInChild<RunResult>([&] {
        RunResult result;
        const auto start = std::chrono::steady_clock::now();
        qm::TGamesList games;
        games.LoadDatafileFile(file, qm::SilentJob());
        qm::TSubList subList(games);
        subList.Rebuild();
        result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.Sets = subList.SetCount;
        result.Clones = subList.CloneCount;
        result.Roms = subList.RomCount;
        return result;
    });
    r.PeakKiB = peak;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    qm::RestartWithHugePageHeap(argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DATAFILE [RUNS]\n", argv[0]);
        return 2;
    }
    const std::string file = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    std::vector<RunResult> results;
    for (int i = 0; i < runs; ++i) {
        results.push_back(RunOnce(file));
    }
    std::vector<double> times;
    long peak = 0;
    for (const auto& r : results) {
        times.push_back(r.Seconds);
        peak = std::max(peak, r.PeakKiB);
    }
    std::sort(times.begin(), times.end());
    const RunResult& last = results.back();
    std::printf("datafile load: %d sets, %d clones, %d roms\n", last.Sets, last.Clones, last.Roms);
    std::printf("runs: %d, median %.3f s, min %.3f s, max %.3f s (target <= 0.500 s)\n", runs, times[times.size() / 2],
                times.front(), times.back());
    std::printf("peak resident memory: %.1f MB (target <= 250 MB)\n", static_cast<double>(peak) / 1024.0);
    return 0;
}
