// Repairs a copy of a full-size collection with planted faults (make_bench_collection --faults,
// one archive per clone) and prints the time of its dry run and of the repair itself, with what
// each does and the bytes the repair writes. The dry run is timed as the command runs it: a scan
// from the cache files, then the walk on the model; the repair as the command runs it too:
// every archive read again, the walk with its changes on disk, the caches written, the rescan.
//
// usage: bench_repair DATAFILE ROMDIR [--dry-run]
// ROMDIR is copied (into $TMPDIR) and only the copy is repaired; --dry-run times the dry run only.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "engine/Audit.h"
#include "engine/CorruptedFiles.h"
#include "engine/DatFileUnit.h"
#include "engine/Repair.h"
#include "engine/RepairDiskAccess.h"
#include "engine/RomsFiles.h"
#include "game_db/GamesList.h"
#include "game_db/SubList.h"
#include "platform/HeapTuning.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

void PrintActions(const char* what, const qm::TRepairResult& result, double seconds) {
    using K = qm::RepairActionKind;
    std::printf(
        "%s: %.3f s, %zu actions (archives renamed %zu, entries renamed %zu, displaced %zu, copied %zu, moved %zu, "
        "archives moved %zu), %zu failed\n",
        what, seconds, result.Actions.size(), result.Count(K::RenameArchive), result.Count(K::RenameEntry),
        result.Count(K::DisplaceEntry), result.Count(K::CopyEntry), result.Count(K::MoveEntry),
        result.Count(K::MoveArchive), result.FailedArchives);
}

}  // namespace

int main(int argc, char** argv) {
    qm::RestartWithHugePageHeap(argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DATAFILE ROMDIR\n", argv[0]);
        return 2;
    }
    const char* tmp = std::getenv("TMPDIR");
    const fs::path work = fs::path(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") / "qm-bench-repair";
    fs::remove_all(work);
    const fs::path roms = work / "roms";
    const fs::path dataDir = work / "datas";
    const fs::path useless = work / "useless";
    const fs::path scratch = work / "scratch";
    fs::create_directories(dataDir);
    fs::create_directories(useless);
    fs::create_directories(scratch);
    std::printf("copying the collection...\n");
    std::fflush(stdout);
    fs::copy(argv[2], roms, fs::copy_options::recursive);

    qm::TGamesList games;
    games.LoadDatafileFile(argv[1], qm::SilentJob());
    games.SplitMode = true;
    qm::TSubList subList(games);
    subList.Rebuild();
    qm::TDatFile cache(dataDir);
    qm::TPathsList paths(games, cache, dataDir);
    paths.SplitMode = true;
    paths.AddPath(roms.string());
    paths.Scan(true, qm::SilentJob());  // the caches the user's collection has
    const std::size_t archives = paths.Files.size();
    const std::size_t entries = paths.ZipRomsByCrc.size();

    qm::TCheckOptions options;
    options.SplitMode = true;
    options.Unknown = qm::UnknownAction::Move;
    options.UnknownPath = useless.string() + "/";
    options.Corrupted = qm::CorruptedAction::Move;
    options.CorruptedPath = (work / "corrupted").string() + "/";

    auto start = std::chrono::steady_clock::now();
    std::set<std::string> unreadable;
    paths.Scan(false, qm::SilentJob(), [&](const std::string& path, const std::string&) { unreadable.insert(path); });
    const double dryScanSeconds = Seconds(start);
    qm::TRepair dry(paths, options, nullptr, qm::SilentJob());
    dry.Run();
    const double drySeconds = Seconds(start);
    std::printf("dry run: scan from the caches %.3f s, walk %.3f s\n", dryScanSeconds, drySeconds - dryScanSeconds);
    if (argc > 3 && std::string(argv[3]) == "--dry-run") {
        PrintActions("dry run (scan from the caches + walk)", dry.Result, drySeconds);
        fs::remove_all(work);
        return 0;
    }

    start = std::chrono::steady_clock::now();
    // The corrupted archives go to their folder as the scan meets them, as the command does.
    qm::TCorruptedFiles corrupted(cache, options, qm::SilentJob());
    paths.Scan(true, qm::SilentJob(), corrupted.Handler());
    const double readSeconds = Seconds(start);
    qm::TRepairDiskAccess disk(cache, scratch);
    qm::TRepair repair(paths, options, &disk, qm::SilentJob());
    const auto walkStart = std::chrono::steady_clock::now();
    repair.Run();
    cache.Flush();
    const double walkSeconds = Seconds(walkStart);
    paths.Scan(false, qm::SilentJob());
    const double repairSeconds = Seconds(start);

    std::printf("collection: %zu archives, %zu entries\n", archives, entries);
    PrintActions("dry run (scan from the caches + walk)", dry.Result, drySeconds);
    std::printf("   target <= 2 s\n");
    PrintActions("repair (read every archive + walk + rescan)", repair.Result, repairSeconds);
    std::printf("   of which reading every archive %.3f s, the walk with its changes %.3f s; target <= 30 s\n",
                readSeconds, walkSeconds);
    std::printf("bytes written: %.1f MB\n", static_cast<double>(repair.Result.BytesWritten) / 1e6);
    for (std::size_t i = 0; i < repair.Result.ProblemLines.size() && i < 10; ++i) {
        std::printf("problem: %s\n", repair.Result.ProblemLines[i].c_str());
    }
    // What an audit still finds that these options repair.
    const qm::TAuditResult left = qm::TAudit(paths, options, qm::SilentJob()).Run();
    std::map<std::string, std::size_t> kinds;
    for (const qm::TArchiveFinding& finding : left.Names) {
        ++kinds[qm::FindingKindName(finding.Kind)];
    }
    for (const qm::TArchiveFindings& archive : left.Archives) {
        for (const qm::TFinding& finding : archive.Findings) {
            ++kinds[qm::FindingKindName(finding.Kind)];
        }
    }
    if (std::getenv("QM_BENCH_LEFT") != nullptr) {
        std::map<std::string, std::size_t> targets;
        for (const qm::TArchiveFindings& archive : left.Archives) {
            for (const qm::TFinding& finding : archive.Findings) {
                const std::string what = finding.Kind == qm::FindingKind::NeededElsewhere
                                             ? finding.Target + (unreadable.contains(roms.string() + "/" + finding.Target) ? " (unreadable)" : "")
                                             : archive.Path + " " + finding.Entry + " -> " + finding.Expected;
                ++targets[what];
            }
        }
        for (const qm::TArchiveFindings& archive : left.Archives) {
            for (const qm::TFinding& finding : archive.Findings) {
                if (finding.Kind == qm::FindingKind::WrongName) {
                    const qm::TFile* file = paths.Paths()[0]->FindFile(fs::path(archive.Path).filename().string());
                    for (const qm::TZipRom* rom : file->Roms) {
                        std::printf("  %s: %s %s\n", file->Name.c_str(), rom->Name.c_str(), rom->Crc.c_str());
                    }
                }
            }
        }
        for (const auto& [target, count] : targets) {
            std::printf("left: %s %zu\n", target.c_str(), count);
        }
    }
    std::printf("audit after the repair:");
    for (const auto& [kind, count] : kinds) {
        std::printf(" %s %zu", kind.c_str(), count);
    }
    std::printf("%s\n", kinds.empty() ? " nothing" : "");
    const bool same = dry.Result.Actions.size() == repair.Result.Actions.size();
    std::printf("dry run and repair take the same number of actions: %s\n", same ? "yes" : "NO");
    fs::remove_all(work);
    return 0;
}
