// The export of the Neo-Geo sets' archives into another folder, moved or copied, with the
// directory caches of the folders on both sides kept true.
//
// Safety: an archive is never deleted before its copy is complete and flushed (a rename, or a
// flushed copy before the source goes), an existing archive at the destination is replaced in
// one rename, and the cache file of every folder about to change is removed first
// (TDatFile::PrepareChange) and written again only once the change is done: a run killed at any
// moment leaves each archive in its folder or complete at the destination (or both), and no
// cache file that disagrees with its folder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Job.h"

namespace qm {

class TDatFile;
class TPathsList;

// The choices of the options dialog, with its defaults.
struct NeoGeoExportOptions {
    std::string Destination;  // a folder; a missing trailing '/' is added
    bool Move = true;         // "Move games"; false: "Copy games"
    bool ReplaceExisting = true;
    bool OnlyWorkingSets = false;
};

inline constexpr std::string_view kNothingToCopy = "Nothing to copy";

// The dialog's check of the destination: the warning to show, or empty when it may be used.
std::string CheckExportDestination(const std::string& destination);

struct NeoGeoExportItem {
    std::string Archive;    // the archive's file name: the set's name + ".zip"
    std::string Source;     // its full path
    std::string SourceDir;  // its ROM directory
    // On a read-only medium: copied, even when moving (it cannot leave the medium).
    bool SourceReadOnly = false;
    std::string Target;
};

enum class ExportSkip {
    IsTheTarget,   // the archive already is the file at the destination
    NotWorking,    // "Only working sets" and the set is not complete
    AlreadyThere,  // "Replace existing" off and the destination holds an archive of that name
};

struct NeoGeoExportSkipped {
    std::string Archive;
    std::string Source;
    ExportSkip Why;
};

struct NeoGeoExportPlan {
    // Absolute, ending with '/'; spelled as the ROM directory it is, when it is one.
    std::string Destination;
    bool DestinationIsRomDir = false;
    std::vector<NeoGeoExportItem> Items;  // in the order of the sets in the database
    // Neo-Geo sets with an archive that is left out, and why.
    std::vector<NeoGeoExportSkipped> Skipped;
};

// The archives to export: for every Neo-Geo set of the database (whatever the selection), its
// archive as the last scan found it (named exactly set + ".zip", in the first ROM directory
// holding one). With OnlyWorkingSets a set counts when it is complete by the last status
// computation, which covers the sets of the current selection only: a set outside it has no
// current status and is not exported.
NeoGeoExportPlan PlanNeoGeoExport(const TPathsList& paths, const NeoGeoExportOptions& options);

struct NeoGeoExported {
    NeoGeoExportItem Item;
    bool Moved = false;  // else copied
};

struct NeoGeoExportResult {
    std::vector<NeoGeoExported> Done;
    bool Cancelled = false;
    // The failure that ended the export, naming the file; empty when none. Archives exported
    // before it stay where they are.
    std::string Failure;

    std::size_t MovedCount() const;
    std::size_t CopiedCount() const { return Done.size() - MovedCount(); }
};

// Exports the planned archives one by one: status "Exporting <name>...", progress, cancel seen
// between archives. The caches of the folders changed are edited in `cache` (marked for writing;
// the caller flushes them). Stops at the first archive that cannot be exported (a folder another
// process holds included). Throws ELockBusy, before anything changed, when another process holds
// the destination.
NeoGeoExportResult ExportNeoGeoSets(TDatFile& cache, const NeoGeoExportPlan& plan, const NeoGeoExportOptions& options,
                                    Job& job);

}  // namespace qm
