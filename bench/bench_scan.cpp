// Scans a full-size collection the way the programs do, each run in a child process so that
// its peak memory is its own, and prints the median times of a scan that reads every archive
// (no cache files; matching and status included), of a scan from the cache files, and of an
// audit from the cached scan with the default options (the findings, and the words of every report line); then the peak
// memory. The check of the cache against the directory (enumerating it and taking each archive's times) is also timed
// on its own: a cached scan runs it beside its reading of the cache.
//
// usage: bench_scan DATAFILE ROMDIR [RUNS]

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchFigures.h"
#include "bench/ChildRun.h"
#include "engine/Audit.h"
#include "engine/DatFileUnit.h"
#include "engine/RomsFiles.h"
#include "game_db/GamesList.h"
#include "game_db/SubList.h"
#include "platform/HeapTuning.h"
#include "platform/Platform.h"
#include "reports/AuditReport.h"

namespace {

using qm::bench::Median;
using qm::bench::Seconds;

struct RunResult {
    double FullScan = 0;
    double CachedScan = 0;
    double CachedScanCpu = 0;  // every thread's
    double Survey = 0;
    double Audit = 0;
    long PeakKiB = 0;
    std::size_t Archives = 0;
    std::size_t Entries = 0;
    std::size_t ReportLines = 0;
    std::size_t ReportBytes = 0;
    int Complete = 0;
};

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

RunResult RunOnce(const std::string& datafile, const std::string& romDir, const std::filesystem::path& dataDir) {
    auto [r, peak] = qm::bench::RunInChild<RunResult>([&] {
        RunResult result;
        qm::TGamesList games;
        games.LoadDatafileFile(datafile, qm::SilentJob());
        qm::TSubList subList(games);
        subList.Rebuild();
        qm::TDatFile cache(dataDir);
        qm::TPathsList paths(games, cache, dataDir);
        paths.AddPath(romDir);
        auto start = std::chrono::steady_clock::now();
        paths.Scan(true, qm::SilentJob());
        result.FullScan = Seconds(start);
        start = std::chrono::steady_clock::now();
        const double cpu = CpuSeconds();
        paths.Scan(false, qm::SilentJob());
        result.CachedScan = Seconds(start);
        result.CachedScanCpu = CpuSeconds() - cpu;
        start = std::chrono::steady_clock::now();
        // As the scan runs it: with the times, in the order the system gives.
        const qm::DirectorySurvey survey = qm::SurveyDirectory(romDir, "*.zip", true, false);
        result.Survey = Seconds(start);
        if (survey.Files.size() < paths.Files.size()) {
            std::fprintf(stderr, "the survey missed archives\n");
        }
        result.Archives = paths.Files.size();
        result.Entries = paths.ZipRomsByCrc.size();
        for (const qm::TClone* clone : games.SelectedClones) {
            result.Complete += clone->Complete && clone->HasPresentRom;
        }
        start = std::chrono::steady_clock::now();
        // The findings, and the words of every line as the audit command writes them to report.txt.
        const qm::TCheckOptions options;
        const qm::TAuditResult findings = qm::TAudit(paths, options, qm::SilentJob()).Run();
        std::size_t bytes = 0;
        qm::ForEachAuditReportLine(findings, [&](std::string_view line) {
            bytes += line.size() + 2;
            ++result.ReportLines;
        });
        result.Audit = Seconds(start);
        result.ReportBytes = bytes;
        return result;
    });
    r.PeakKiB = peak;
    return r;
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
    std::vector<double> survey;
    std::vector<double> cachedCpu;
    std::vector<double> audit;
    long peak = 0;
    RunResult last;
    for (int i = 0; i < runs; ++i) {
        last = RunOnce(argv[1], argv[2], dataDir);
        full.push_back(last.FullScan);
        cached.push_back(last.CachedScan);
        survey.push_back(last.Survey);
        cachedCpu.push_back(last.CachedScanCpu);
        audit.push_back(last.Audit);
        peak = std::max(peak, last.PeakKiB);
    }
    std::printf("collection: %zu archives, %zu entries, %d clones complete\n", last.Archives, last.Entries,
                last.Complete);
    std::printf("scan reading every archive: median %.3f s (target <= 1.0 s)\n", Median(full));
    std::printf("scan from cache files:      median %.3f s (target <= 0.5 s), best %.3f s, processor time %.3f s\n",
                Median(cached), *std::min_element(cached.begin(), cached.end()), Median(cachedCpu));
    std::printf("cache check on its own:     median %.3f s (%.0f%% of the cached scan; run beside it)\n",
                Median(survey), 100.0 * Median(survey) / Median(cached));
    std::printf("audit, default options:     median %.3f s (target <= 2.0 s), %zu report lines (%.1f MB)\n",
                Median(audit), last.ReportLines, static_cast<double>(last.ReportBytes) / 1e6);
    std::printf("peak resident memory: %.1f MB (target <= 600 MB)\n", static_cast<double>(peak) / 1024.0);
    std::filesystem::remove_all(dataDir);
    return 0;
}
