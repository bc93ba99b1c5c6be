// Scans a full-size collection the way the programs do, each run in a child process so that
// its peak memory is its own, and prints the median times of a scan that reads every archive
// (no cache files; matching and status included), of a scan from the cache files, and of an
// audit from the cached scan with the default options; then the peak memory.
//
// usage: bench_scan DATAFILE ROMDIR [RUNS]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/DatFileUnit.h"
#include "engine/RomsFiles.h"
#include "game_db/GamesList.h"
#include "game_db/HeapTuning.h"
#include "game_db/SubList.h"

namespace {

struct RunResult {
    double FullScan = 0;
    double CachedScan = 0;
    double Audit = 0;
    long PeakKiB = 0;
    std::size_t Archives = 0;
    std::size_t Entries = 0;
    std::size_t ReportLines = 0;
    int Complete = 0;
};

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

RunResult RunOnce(const std::string& datafile, const std::string& romDir, const std::filesystem::path& dataDir) {
    int fds[2];
    if (::pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        RunResult r;
        qm::TGamesList games;
        games.LoadDatafileFile(datafile);
        qm::TSubList subList(games);
        subList.Rebuild();
        qm::TDatFile cache(dataDir);
        qm::TPathsList paths(games, cache, dataDir);
        paths.AddPath(romDir);
        auto start = std::chrono::steady_clock::now();
        paths.Scan(true);
        r.FullScan = Seconds(start);
        start = std::chrono::steady_clock::now();
        paths.Scan(false);
        r.CachedScan = Seconds(start);
        r.Archives = paths.Files.size();
        r.Entries = paths.ZipRomsByCrc.size();
        for (const qm::TClone* clone : games.SelectedClones) {
            r.Complete += clone->Complete && clone->HasPresentRom;
        }
        qm::TReportLines report;
        start = std::chrono::steady_clock::now();
        paths.Audit(report);
        r.Audit = Seconds(start);
        r.ReportLines = report.size();
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

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qm::RestartWithHugePageHeap(argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DATAFILE ROMDIR [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    const std::filesystem::path dataDir = std::filesystem::temp_directory_path() / "qm-bench-scan-data";
    std::filesystem::create_directories(dataDir);
    std::vector<double> full;
    std::vector<double> cached;
    std::vector<double> audit;
    long peak = 0;
    RunResult last;
    for (int i = 0; i < runs; ++i) {
        last = RunOnce(argv[1], argv[2], dataDir);
        full.push_back(last.FullScan);
        cached.push_back(last.CachedScan);
        audit.push_back(last.Audit);
        peak = std::max(peak, last.PeakKiB);
    }
    std::printf("collection: %zu archives, %zu entries, %d clones complete\n", last.Archives, last.Entries,
                last.Complete);
    std::printf("scan reading every archive: median %.3f s (target <= 1.0 s)\n", Median(full));
    std::printf("scan from cache files:      median %.3f s (target <= 0.5 s)\n", Median(cached));
    std::printf("audit, default options:     median %.3f s (target <= 2.0 s), %zu report lines\n", Median(audit),
                last.ReportLines);
    std::printf("peak resident memory: %.1f MB (target <= 600 MB)\n", static_cast<double>(peak) / 1024.0);
    std::filesystem::remove_all(dataDir);
    return 0;
}
