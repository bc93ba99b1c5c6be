#include "engine/NeoGeoExport.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "engine/DatFileUnit.h"
#include "engine/FilesTools.h"
#include "engine/RomsFiles.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"
#include "platform/TempFiles.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

// The destination as the export works with it. A folder that is one of the ROM directories keeps
// that directory's spelling, so that its cache is one and the same in TDatFile.
std::string ExportFolder(const TPathsList& paths, const std::string& destination, bool* isRomDir) {
    std::error_code ec;
    fs::path absolute = fs::absolute(destination, ec);
    if (ec) {
        absolute = destination;
    }
    const TPath* romDir = paths.PathOf(absolute);
    *isRomDir = romDir != nullptr;
    return romDir != nullptr ? romDir->Path : WithTrailingSlash(absolute.lexically_normal().string());
}

}  // namespace

std::string CheckExportDestination(const std::string& destination) {
    if (destination.empty()) {
        return "Please select a destination folder to export your files.";
    }
    std::error_code ec;
    if (!fs::is_directory(destination, ec)) {
        return "The path you choose does not exist !";
    }
    if (IsReadOnlyMedium(destination)) {
        return "The path you choose is write protected !";
    }
    return {};
}

NeoGeoExportPlan PlanNeoGeoExport(const TPathsList& paths, const NeoGeoExportOptions& options) {
    NeoGeoExportPlan plan;
    plan.Destination = ExportFolder(paths, options.Destination, &plan.DestinationIsRomDir);
    const TGamesList& games = paths.Games();
    for (const TGame* game : games.Games()) {
        if (!game->NeoGeo) {
            continue;
        }
        // Archives are named exactly: PacMan.zip is not pacman's archive, whatever it holds.
        const std::string archive = game->Name + ".zip";
        const fs::path target = plan.Destination + archive;
        const TFile* file = nullptr;
        bool atTarget = false;
        for (const auto& path : paths.Paths()) {
            if (const TFile* found = path->FindFile(archive)) {
                file = file != nullptr ? file : found;
                // Another copy of the set is the one at the destination already: moving this one
                // over it would replace the collection's own archive with another.
                atTarget = atTarget || SameFile(found->FullName(), target);
            }
        }
        if (file == nullptr) {
            continue;
        }
        const std::string source = file->FullName();
        if (atTarget) {
            plan.Skipped.push_back({archive, source, ExportSkip::IsTheTarget});
            continue;
        }
        if (options.OnlyWorkingSets && !(game->Complete && games.SelectedSets.Contains(game->Name))) {
            plan.Skipped.push_back({archive, source, ExportSkip::NotWorking});
            continue;
        }
        if (!options.ReplaceExisting && PathExists(target)) {
            plan.Skipped.push_back({archive, source, ExportSkip::AlreadyThere});
            continue;
        }
        plan.Items.push_back({archive, source, file->Dir->Path, file->Dir->ReadOnly, target.string()});
    }
    return plan;
}

std::size_t NeoGeoExportResult::MovedCount() const {
    return static_cast<std::size_t>(std::count_if(Done.begin(), Done.end(), [](const auto& d) { return d.Moved; }));
}

namespace {

// One archive: the caches of the folders it leaves and enters are prepared before it moves and
// edited once it is in place.
void ExportOne(TDatFile& cache, const NeoGeoExportPlan& plan, const NeoGeoExportItem& item, bool move) {
    cache.PrepareChange(plan.Destination);
    if (move) {
        cache.PrepareChange(item.SourceDir);
        MakeWritable(item.Source);
        MoveFileOrCopy(item.Source, item.Target);
        cache.Open(item.SourceDir);
        cache.DeleteZip(item.Source);
    } else if (const int err = CopyFileReplacing(item.Source, item.Target); err != 0) {
        throw EFCantMove(std::string("Can't copy file. (") + std::strerror(err) + ")");
    }
    cache.Open(plan.Destination);
    cache.DeleteZip(item.Target);
    // An archive that cannot be listed leaves the cache incomplete: it is then not written.
    cache.AddZipListing(item.Target);
    cache.Save();
}

}  // namespace

NeoGeoExportResult ExportNeoGeoSets(TDatFile& cache, const NeoGeoExportPlan& plan, const NeoGeoExportOptions& options,
                                    Job& job) {
    NeoGeoExportResult result;
    if (plan.Items.empty()) {
        return result;
    }
    // Copies into the destination that a killed run left half-made (its lock first: a live
    // writer's temporary files are its own).
    cache.Lock(plan.Destination);
    RemoveStaleTempFiles(plan.Destination);
    const std::size_t total = plan.Items.size();
    for (std::size_t k = 0; k < total; ++k) {
        const NeoGeoExportItem& item = plan.Items[k];
        if (job.CancelRequested()) {
            result.Cancelled = true;
            break;
        }
        job.Status("Exporting " + item.Archive + "...");
        job.Progress(k, total);
        try {
            // An archive on a read-only medium cannot leave it.
            const bool move = options.Move && !item.SourceReadOnly;
            ExportOne(cache, plan, item, move);
            result.Done.push_back({item, move});
        } catch (const std::exception& e) {
            result.Failure = item.Source + ": " + e.what();
            break;
        }
    }
    job.Progress(result.Done.size(), total);
    return result;
}

}  // namespace qm
