// Writes a full-size collection made from a datafile into a new or empty folder, for scan, audit
// and repair benchmarks; with --faults also plants faults an audit must find and lists them in
// faults.txt in the folder above.
//
// usage: make_bench_collection DATAFILE OUTDIR [--per-set] [--faults]
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "bench/BenchCollection.h"
#include "platform/HeapTuning.h"

namespace {

int Usage(const char* program) {
    std::fprintf(stderr, "usage: %s DATAFILE OUTDIR [--per-set] [--faults]\n", program);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    qm::RestartWithHugePageHeap(argv);
    std::vector<std::string> paths;
    qm::bench::GenerateOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--per-set") {
            options.Arrangement = qm::bench::Layout::PerSet;
        } else if (arg == "--faults") {
            options.Faults = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(argv[0]);
        } else {
            paths.emplace_back(arg);
        }
    }
    if (paths.size() != 2) {
        return Usage(argv[0]);
    }
    try {
        const auto start = std::chrono::steady_clock::now();
        const qm::bench::GenerateResult r = qm::bench::GenerateCollection(paths[0], paths[1], options);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::string extra;
        if (r.Faults != 0) {
            extra += ", listed in " + r.Manifest.string();
        }
        if (r.SkippedClones != 0) {
            extra += ", " + std::to_string(r.SkippedClones) + " names unusable as file names skipped";
        }
        std::printf(
            "bench collection (%s): %zu archives, %zu entries, %.1f MB, %zu faults, %.2f s "
            "(datafile load %.2f s)%s\n",
            options.Arrangement == qm::bench::Layout::PerSet ? "per set" : "per clone", r.Stats.Archives,
            r.Stats.Entries, static_cast<double>(r.Stats.Bytes) / 1e6, r.Faults, seconds, r.LoadSeconds, extra.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_bench_collection: %s\n", e.what());
        return 1;
    }
}
