// Times the directory cache on a collection-sized cache: 45,000 archives, 330,000 entries.
// Prints the median of several runs for: loading the cache file, writing it back, and 10,000
// edits (insert, delete, rename, each followed by Save) with one Flush at the end.
//
// usage: bench_dircache [FOLDER] [RUNS]   (FOLDER defaults to a new folder under /tmp)
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchFigures.h"
#include "engine/DatFileUnit.h"
#include "game_db/cel_strings.h"

namespace {

using qm::bench::Median;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kArchives = 45000;
constexpr int kLines = 330000;
constexpr int kEdits = 10000;

double Ms(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string ArchiveName(int i) {
    return "game" + std::to_string(i) + ".zip";
}

void Build(const std::string& dir, const fs::path& dataDir) {
    fs::remove(fs::path(dir) / qm::kCacheFileName);
    qm::TDatFile cache(dataDir);
    cache.Open(dir);
    for (int line = 0; line < kLines; ++line) {
        const int archive = static_cast<int>(static_cast<long long>(line) * kArchives / kLines);
        cache.AppendLine(ArchiveName(archive), "rom" + std::to_string(line) + ".bin",
                         qm::CrcToHex(static_cast<std::uint32_t>(line) * 2654435761u));
    }
    cache.MarkComplete();
    cache.Save();
    cache.Flush();
}

}  // namespace

int main(int argc, char** argv) {
    fs::path folder;
    const bool ownFolder = argc <= 1 || *argv[1] == '\0';
    if (!ownFolder) {
        folder = argv[1];
        fs::create_directories(folder);
    } else {
        char pattern[] = "/tmp/qm-bench-dircache-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            std::perror("mkdtemp");
            return 1;
        }
        folder = pattern;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string dir = (folder / "roms").string() + "/";
    const fs::path dataDir = folder / "datas";
    fs::create_directories(dir);
    fs::create_directories(dataDir);

    std::vector<double> build;
    std::vector<double> load;
    std::vector<double> flush;
    std::vector<double> edits;
    for (int run = 0; run < runs; ++run) {
        const auto buildStart = Clock::now();
        Build(dir, dataDir);
        build.push_back(Ms(buildStart));

        qm::TDatFile cache(dataDir);
        auto start = Clock::now();
        cache.Open(dir);
        load.push_back(Ms(start));
        if (cache.LineCount() != kLines + 2) {
            std::fprintf(stderr, "loaded %zu lines\n", cache.LineCount());
            return 1;
        }

        start = Clock::now();
        cache.Save();
        cache.Flush();
        flush.push_back(Ms(start));

        start = Clock::now();
        cache.PrepareChange(dir);
        // Each archive gets an insert, the delete of that entry and a rename, in turn.
        for (int i = 0; i < kEdits; ++i) {
            const std::string archive = ArchiveName((i / 3 * 7919) % kArchives);
            switch (i % 3) {
                case 0:
                    cache.InsertEntry(dir + archive, "new.bin", "0badf00d");
                    cache.Save();
                    break;
                case 1:
                    cache.DeleteEntry(dir + archive, "new.bin");
                    break;
                default:
                    cache.RenameZip(dir + archive, dir + "renamed_" + archive);
                    break;
            }
        }
        cache.Flush();
        edits.push_back(Ms(start));
    }
    std::printf("build by appending %d lines + flush: median %.1f ms (%.1f MB)\n", kLines, Median(build),
                static_cast<double>(fs::file_size(fs::path(dir) / qm::kCacheFileName)) / 1e6);
    std::printf("load %d lines:        median %.1f ms over %d runs\n", kLines, Median(load), runs);
    std::printf("flush %d lines:       median %.1f ms\n", kLines, Median(flush));
    std::printf("%d edits + 1 flush:   median %.1f ms\n", kEdits, Median(edits));

    if (ownFolder) {
        fs::remove_all(folder);
    }
    return 0;
}
