// Loads a datafile several times, each run in a child process so that its peak memory is its
// own, and prints the median time of "read, load, select, first status" and the peak memory.
//
// usage: bench_load_datafile DATAFILE [RUNS]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "game_db/GamesList.h"
#include "game_db/HeapTuning.h"
#include "game_db/Platform.h"
#include "game_db/SubList.h"

namespace {

struct RunResult {
    double Seconds = 0;
    long PeakKiB = 0;
    int Sets = 0;
    int Clones = 0;
    int Roms = 0;
};

RunResult RunOnce(const std::string& file) {
    int fds[2];
    if (::pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const auto start = std::chrono::steady_clock::now();
        qm::TGamesList games;
        games.LoadDatafileFile(file);
        qm::TSubList subList(games);
        subList.Rebuild();
        const auto stop = std::chrono::steady_clock::now();
        RunResult r;
        r.Seconds = std::chrono::duration<double>(stop - start).count();
        r.Sets = subList.SetCount;
        r.Clones = subList.CloneCount;
        r.Roms = subList.RomCount;
        if (::write(fds[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) {
            std::_Exit(2);
        }
        std::_Exit(0);
    }
    ::close(fds[1]);
    RunResult r;
    if (::read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) {
        std::fprintf(stderr, "child failed\n");
        std::exit(1);
    }
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    r.PeakKiB = usage.ru_maxrss;
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
    std::printf("runs: %d, median %.3f s, min %.3f s, max %.3f s (target <= 0.500 s)\n", runs,
                times[times.size() / 2], times.front(), times.back());
    std::printf("peak resident memory: %.1f MB (target <= 250 MB)\n", static_cast<double>(peak) / 1024.0);
    return 0;
}
