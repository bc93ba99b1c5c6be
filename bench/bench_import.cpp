// Imports a game listing into a datafile, in a child process so that its peak memory is its own
// (an emulator it runs is not counted), and prints the wall time, the peak memory and the counts
// of the written datafile once loaded.
//
// usage: bench_import emulator mame|raine EXE [--out FILE]
//        bench_import dat FILE [--out FILE]

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "bench/ChildRun.h"
#include "config/DataFile.h"
#include "config/DatafileImport.h"
#include "game_db/GamesList.h"
#include "platform/HeapTuning.h"
#include "platform/Job.h"

namespace {

struct Result {
    bool Ok = false;
    char Error[512] = {};
    double ImportSeconds = 0;  // read, build, write
    double LoadSeconds = 0;    // the written datafile loaded back
    long PeakKiB = 0;
    std::size_t Games = 0;
    std::size_t SkippedRoms = 0;
    std::size_t Sets = 0;
    std::size_t Clones = 0;
    std::size_t Roms = 0;
    std::size_t RomLines = 0;
};

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

Result Run(const std::string& mode, const std::string& kind, const std::string& input,
           const std::filesystem::path& out) {
    Result result;
    try {
        const auto start = std::chrono::steady_clock::now();
        {
            qm::TDatafile datafile;
            if (mode == "emulator") {
                datafile.Build(kind == "raine" ? qm::ListingKind::Raine : qm::ListingKind::Mame, input,
                               qm::SilentJob());
            } else {
                qm::ImportListing(input, datafile, qm::SilentJob());
            }
            datafile.SaveDatafile(out);
            result.Games = datafile.Counts().Games;
            result.SkippedRoms = datafile.Counts().SkippedRoms;
            result.RomLines = datafile.RomLineCount();
        }
        result.ImportSeconds = Since(start);
        const auto loadStart = std::chrono::steady_clock::now();
        qm::TGamesList games;
        games.LoadDatafileFile(out, qm::SilentJob());
        result.LoadSeconds = Since(loadStart);
        result.Sets = games.Games().size();
        result.Clones = games.AllClones.size();
        result.Roms = games.RomsByCrc.size();
        result.Ok = true;
    } catch (const std::exception& e) {
        std::snprintf(result.Error, sizeof result.Error, "%s", e.what());
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    result.PeakKiB = usage.ru_maxrss;
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    qm::RestartWithHugePageHeap(argv);
    std::string mode = argc > 1 ? argv[1] : "";
    const bool emulator = mode == "emulator";
    const int inputAt = emulator ? 3 : 2;
    if ((mode != "emulator" && mode != "dat") || argc <= inputAt) {
        std::fprintf(stderr, "usage: %s emulator mame|raine EXE [--out FILE]\n       %s dat FILE [--out FILE]\n",
                     argv[0], argv[0]);
        return 2;
    }
    const std::string kind = emulator ? argv[2] : "";
    const std::string input = argv[inputAt];
    std::filesystem::path out = std::filesystem::temp_directory_path() / "bench_import.dat";
    if (argc > inputAt + 2 && std::strcmp(argv[inputAt + 1], "--out") == 0) {
        out = argv[inputAt + 2];
    }
    const auto [r, childPeak] = qm::bench::RunInChild<Result>([&] { return Run(mode, kind, input, out); });
    (void)childPeak;  // includes an emulator the child ran
    if (!r.Ok) {
        std::fprintf(stderr, "import failed: %s\n", r.Error);
        return 1;
    }
    std::printf("import of %s: %.2f s (read, build, write), %.2f s more to load it back\n", input.c_str(),
                r.ImportSeconds, r.LoadSeconds);
    std::printf("peak resident memory of the import: %.1f MB\n", static_cast<double>(r.PeakKiB) / 1024.0);
    std::printf("games read %zu, ROM records skipped %zu, ROM lines written %zu\n", r.Games, r.SkippedRoms, r.RomLines);
    std::printf("datafile loaded: %zu sets, %zu clones, %zu roms (distinct CRCs)\n", r.Sets, r.Clones, r.Roms);
    return 0;
}
