// The missing-ROMs HTML report of a whole datafile against an empty collection (every ROM
// missing): builds the page and saves it with its images into $TMPDIR several times, and prints
// the median times.
//
// usage: bench_html_report DATAFILE [RUNS]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchFigures.h"
#include "game_db/GamesList.h"
#include "game_db/SubList.h"
#include "platform/HeapTuning.h"
#include "reports/HtmlReport.h"

namespace {

using qm::bench::Median;
using qm::bench::Seconds;

}  // namespace

int main(int argc, char** argv) {
    qm::RestartWithHugePageHeap(argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DATAFILE [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path folder = std::filesystem::path(tmp != nullptr ? tmp : "/tmp") / "bench_html_report";
    std::filesystem::create_directories(folder);

    qm::TGamesList games;
    games.LoadDatafileFile(argv[1], qm::SilentJob());
    qm::TSubList selection(games);
    selection.Rebuild();

    std::vector<double> build;
    std::vector<double> save;
    std::vector<double> total;
    std::size_t records = 0;
    std::size_t bytes = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const qm::THtmlreport page = qm::BuildHtmlReport(qm::HtmlReportKind::MissingRoms, selection, "mame");
        build.push_back(Seconds(start));
        const auto saving = std::chrono::steady_clock::now();
        page.SaveToFile(folder / qm::kHtmlReportFileName);
        save.push_back(Seconds(saving));
        total.push_back(Seconds(start));
        records = page.RecordCount();
        bytes = std::filesystem::file_size(folder / qm::kHtmlReportFileName);
    }
    std::filesystem::remove_all(folder);
    std::printf("missing-roms report: %zu rows, %.1f MB page, %d sets, %d clones selected\n", records,
                static_cast<double>(bytes) / 1e6, selection.SetCount, selection.CloneCount);
    std::printf("runs: %d, median build %.3f s, save (5 images + page, flushed) %.3f s, total %.3f s (target < 1 s)\n",
                runs, Median(build), Median(save), Median(total));
    return 0;
}
