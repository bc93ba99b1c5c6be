// The CD update: an updated copy of a read-only ROM collection (a ROM CD). For every archive of
// the source folder, the set it holds is found, and a copy of it in the destination folder gets
// every ROM of that set that it lacks and the collection holds, under the name the set expects.
//
// The source folder is only ever read. In the destination an archive is either absent, a whole
// copy of its source (a flushed copy renamed into place) or completed (libzip writes the new
// archive beside the old one and renames it); its folder's cache file is removed before the first
// change and written again, true, at the end.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Job.h"

namespace qm {

class TDatFile;
class TPathsList;

// The choices of the update dialog.
struct CdUpdateOptions {
    std::string SourceDir;       // "Select directoy to update"
    std::string DestinationDir;  // "Select directoy to save updated files"
    // "Create new files if necessary": also build, in the destination, the archive of every set
    // of the current selection that the collection holds and that no source archive stands for.
    // Off ("Update only existing files"): only the source folder's archives are updated.
    bool CreateFiles = false;
    // "Show files to delete": list the source archives whose set cannot be identified; an
    // updated collection has no use for them.
    bool ShowDelete = false;
};

inline constexpr std::string_view kCdUpdateCancelled = "Operation canceled by user";
// count + " files updated."
std::string FilesUpdatedMessage(std::size_t count);

struct CdUpdatedArchive {
    std::string Source;              // the source archive, or the collection's archive it was made from
    std::string Target;              // the archive in the destination
    std::vector<std::string> Added;  // the ROMs added, by the names the set expects
};

struct CdUpdateResult {
    std::vector<CdUpdatedArchive> Updated;  // from archives of the source folder
    std::vector<CdUpdatedArchive> Created;  // with CreateFiles: for sets the source folder lacks
    std::vector<std::string> ToDelete;      // with ShowDelete: source archives of no known set
    std::vector<std::string> Problems;      // also handed to the job
    std::size_t Processed = 0;              // source archives looked at
    bool Cancelled = false;
};

// Runs the update on the scanned collection `paths`: status "Processing file <name>", progress
// by archive, cancel seen between archives. Members are extracted below `workDir` (the scratch
// folder). Per-archive failures become problem lines and the run goes on; the destination's
// cache is edited in `cache` and marked for writing at the end (the caller flushes it). Throws
// ELockBusy, before anything changed, when another process holds the destination.
CdUpdateResult UpdateCd(TPathsList& paths, TDatFile& cache, const std::filesystem::path& workDir,
                        const CdUpdateOptions& options, Job& job);

}  // namespace qm
