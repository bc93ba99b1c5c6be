// The checks of the audit, run over the scanned picture of the collection. In report mode they
// hand every finding to a sink that collects them (TAuditResult); the repair runs the same
// checks in repair mode with a sink that acts on each finding (renaming, copying, deleting
// through TRepairDiskAccess, then updating the model), and its dry run with a sink that records
// the finding and updates the model only. The words of the report are reports/AuditReport's.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/Finding.h"
#include "engine/RomsFiles.h"
#include "platform/Job.h"

namespace qm {

// Checks run in report mode (the audit) or in repair mode (changes on disk).
enum class CheckMode { Report, Repair };

// Where the checks put what they find. The check goes on once the sink returns; an entry the
// sink removed from the model (TZipRom::Removed) is checked no further.
class TFindingSink {
public:
    virtual ~TFindingSink() = default;
    // A finding of the archive-name pass. In repair mode only RightName comes here: the sink
    // renames the archive (on disk, then TFile::SetName).
    virtual void ArchiveName(TFile& file, TArchiveFinding finding) = 0;
    // The entries of `file` are about to be checked.
    virtual void BeginArchive(TFile& file) = 0;
    virtual void Entry(TZipRom& entry, TFinding finding) = 0;
    virtual void EndArchive(TFile& file) = 0;
};

// The audit's sink: every finding kept, in report order.
class TCollectFindings : public TFindingSink {
public:
    void ArchiveName(TFile& file, TArchiveFinding finding) override;
    void BeginArchive(TFile& file) override;
    void Entry(TZipRom& entry, TFinding finding) override;
    void EndArchive(TFile& file) override;

    TAuditResult Result;

private:
    TArchiveFindings current_;
    std::vector<TFinding> scratch_;
};

class TAudit {
public:
    // The collection must be scanned; `paths.SplitMode` is the mode the archives are matched in.
    TAudit(TPathsList& paths, const TCheckOptions& options, Job& job);

    // The audit in report mode: every archive's name, then every archive's entries, directory by
    // directory. Throws ECancelClick when the job is cancelled (polled per archive and per
    // entry). Problem lines (checks that failed) go to the job and into the result.
    TAuditResult Run();

    // The checks, in the order the audit and the repair run them.
    void AuditFiles(TFindingSink& sink, CheckMode mode);
    void AuditName(TFile& file, TFindingSink& sink, CheckMode mode);
    void AuditRoms(TFile& file, TFindingSink& sink);
    void AuditEntry(TZipRom& entry, TFindingSink& sink);
    void CheckNeededElsewhere(TZipRom& entry, TFindingSink& sink);
    void CheckNeededElsewhereSpecial(TZipRom& entry, TFindingSink& sink);
    enum class NameKind { Plain, Complemented };
    void CheckName(TZipRom& entry, TFindingSink& sink, NameKind kind);
    void CheckNotNeeded(TZipRom& entry, TFindingSink& sink);
    void CheckUnknown(TZipRom& entry, TFindingSink& sink, CheckMode mode);
    void ReportCorrect(TZipRom& entry, TFindingSink& sink);
    void ReportCorrectComplemented(TZipRom& entry, TFindingSink& sink);
    void ReportCorrectNoGoodDump(TZipRom& entry, TFindingSink& sink);

    // Called before each entry is checked: lets a test make a check fail.
    std::function<void(const TZipRom&)> BeforeEntryCheck;
    // Keep the answers of the needed-elsewhere check while the model changes. For the repair's
    // entry pass: there a change only ever fills an archive that lacked a ROM (never takes one
    // away that a set needs under its name), and the repair checks each target again before it
    // copies; without this, every change would make every later entry ask again.
    bool KeepLackingTargets = false;
    // The archives were matched by a scan just before, in the split mode of these checks: the
    // name pass need not match them again (only what the other archives decide is taken again).
    bool MatchedByScan = false;
    // The message of the ECancelClick the walk throws when the job is cancelled.
    const char* CancelMessage = kProcessCancelled;

private:
    // The names the archive's own clone (split) or set holds for a CRC or its complement.
    const TNamedRomList& RightNames(const TFile& file, std::string_view crc);

    // The archives that need a ROM (found by the given CRC) under some name and lack it: the
    // part of the needed-elsewhere check that does not depend on the entry at hand. Every
    // archive holding a widely shared ROM asks the same question, so the answer is kept for as
    // long as the model does not change.
    struct LackingTarget {
        std::string NeededName;
        std::string TargetArchive;
        const TPath* Dir = nullptr;  // where the target archive is (or would be)
        bool NeededIsNoGoodDump = false;
    };
    const std::vector<LackingTarget>& TargetsLacking(const TRom& rom, std::string_view crc);

    void Step();

    TPathsList& paths_;
    const TCheckOptions& options_;
    Job& job_;
    std::optional<ProgressMeter> progress_;
    // Archives the name pass of this run analysed: the entry pass need not match them again.
    std::unordered_set<const TFile*> named_;
    std::vector<std::string> problems_;
    TNamedRomList rightNames_;

    struct LackingKey {
        const TRom* Rom = nullptr;
        std::string Crc;  // of the entry: a ROM found by name or by complement has another one
        bool operator==(const LackingKey&) const = default;
    };
    struct LackingKeyHash {
        std::size_t operator()(const LackingKey& key) const {
            return std::hash<const TRom*>{}(key.Rom) ^ (std::hash<std::string>{}(key.Crc) << 1);
        }
    };
    std::unordered_map<LackingKey, std::vector<LackingTarget>, LackingKeyHash> lackingTargets_;
    std::uint64_t lackingGeneration_ = 0;
};

}  // namespace qm
