// The repair: the audit's checks in repair mode, each finding turned into a change of the
// collection. Archive names first (every archive), then each archive's entries in CRC order,
// then the disposal of an archive that still stands for no set. Every change is recorded as a
// TRepairAction, made on disk through TRepairDiskAccess and then in the model, so that later
// checks see it. A dry run takes the same walk with no disk access at all: the same actions, in
// the same order, recorded and applied to the model only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/ZipMstr.h"
#include "engine/Audit.h"
#include "engine/RomsFiles.h"
#include "platform/Job.h"

namespace qm {

class TRepairDiskAccess;

inline constexpr const char* kRepairCancelled = "Operation cancelled by the user !";

enum class RepairActionKind : std::uint8_t {
    RenameArchive,    // Archive -> Target (its new full path)
    RenameEntry,      // Entry of Archive -> TargetEntry
    DisplaceEntry,    // Entry of Archive -> TargetEntry (its name + "__": it blocked a needed name)
    CopyEntry,        // Entry of Archive -> TargetEntry of Target (an archive, created when missing)
    DeleteEntry,      // Entry of Archive -> an archive of the same name in the Trash
    MoveEntry,        // Entry of Archive -> TargetEntry of Target (in the move folder)
    DeleteArchive,    // Archive -> the Trash
    MoveArchive,      // Archive -> Target
    DeleteCorrupted,  // Archive (unreadable) -> deleted, as the corrupted-file option says
    MoveCorrupted,    // Archive (unreadable) -> the corrupted-file folder
};

// A kind's name in machine-readable output (--json).
const char* RepairActionKindName(RepairActionKind kind);

struct TRepairAction {
    RepairActionKind Kind = RepairActionKind::RenameEntry;
    std::string Archive;  // full path of the archive acted on, as it is named when the action starts
    std::string Entry;
    std::string Crc;
    std::string Target;
    std::string TargetEntry;
};

struct TRepairResult {
    bool DryRun = false;
    // Done (or, in a dry run, to be done), in order.
    std::vector<TRepairAction> Actions;
    // Archives whose work ended on an error (the rest of the run went on).
    std::size_t FailedArchives = 0;
    std::uint64_t BytesWritten = 0;
    std::vector<std::string> ProblemLines;

    std::size_t Count(RepairActionKind kind) const;
};

class TRepair : private TFindingSink {
public:
    // `disk` null: a dry run. The collection must have been scanned in `paths.SplitMode` (the
    // scan's matching is used as it is).
    TRepair(TPathsList& paths, const TCheckOptions& options, TRepairDiskAccess* disk, Job& job);

    // The walk: archive names, then entries and disposal archive by archive. Throws ECancelClick
    // (kRepairCancelled) after the current entry when the job is cancelled; what was done stays
    // done and recorded in Result.
    void Run();

    // An archive could not be read while it was being repaired: gives whether the archive is gone
    // from its directory (moved or deleted as the corrupted-file option says). Not set: the
    // failure is only a problem line.
    std::function<bool(const std::string& archivePath, const std::string& message)> OnZipError;

    // Archives on disk that the scan could not read and that stay where they are: nothing is
    // written into them (the model does not know what they hold).
    std::set<std::string> UnreadableArchives;

    // Records an action taken outside the walk (corrupted archives met by the scan).
    void Record(TRepairAction action) { Result.Actions.push_back(std::move(action)); }

    TRepairResult Result;

private:
    bool DryRun() const { return disk_ == nullptr; }
    void RepairFile(TFile& file);
    void RepairEntries(TFile& file);
    void RepairEntry(TZipRom& entry);

    // TFindingSink: the repair-mode halves of the checks.
    void ArchiveName(TFile& file, TArchiveFinding finding) override;
    void BeginArchive(TFile&) override {}
    void Entry(TZipRom& entry, TFinding finding) override;
    void EndArchive(TFile&) override {}

    void NeededElsewhere(TZipRom& entry, const TFinding& finding);
    // Puts the entry under `name` into its own archive, or, on a read-only medium, into the
    // archive of the right name in a writable directory.
    void AddUnderName(TZipRom& entry, const std::string& name, bool rename);
    void CopyEntry(TZipRom& entry, TPath& dir, const std::string& archiveName, const std::string& name);
    // Renames the entry of `archiveName` in `dir` that is named `name`, if any, out of the way;
    // false when that entry bears a right name of its own there and stays.
    bool Displace(TPath& dir, const std::string& archiveName, const std::string& name);
    void RemoveUnneeded(TZipRom& entry);
    void DisposeArchive(TFile& file);
    void AddToModel(const TZipRom& entry, TPath& dir, const std::string& archiveName, const std::string& name);
    void RepairMessage(const TZipRom& entry);
    // A free name in a move-folder archive, as it stands on disk plus what this run put there.
    std::string FreeMovedName(const std::string& archivePath, const std::string& name);
    std::string FreeMovedArchive(const std::string& folder, const std::string& name);
    void Touch(const std::string& directory) { touched_.insert(directory); }

    TPathsList& paths_;
    const TCheckOptions& options_;
    TRepairDiskAccess* disk_;
    Job& job_;
    TAudit audit_;
    TZipMaster reader_;  // lists move-folder archives, never changes them
    std::map<std::string, std::set<std::string>> movedNames_;
    std::set<std::string> movedArchives_;
    // Directories the current entry's changes touched: a failure half-way leaves their caches
    // unknown.
    std::set<std::string> touched_;
};

}  // namespace qm
