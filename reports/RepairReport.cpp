#include "reports/RepairReport.h"

#include <filesystem>

namespace qm {

std::string RepairActionLine(const TRepairAction& action) {
    const std::string in = action.Archive + " : " + action.Entry;
    switch (action.Kind) {
        case RepairActionKind::RenameArchive:
            return "rename archive " + action.Archive + " -> " +
                   std::filesystem::path(action.Target).filename().string();
        case RepairActionKind::RenameEntry:
            return "rename entry " + in + " -> " + action.TargetEntry;
        case RepairActionKind::DisplaceEntry:
            return "displace entry " + in + " -> " + action.TargetEntry;
        case RepairActionKind::CopyEntry:
            return "copy entry " + in + " -> " + action.Target + " : " + action.TargetEntry;
        case RepairActionKind::DeleteEntry:
            return "delete entry " + in + " (to the Trash)";
        case RepairActionKind::MoveEntry:
            return "move entry " + in + " -> " + action.Target + " : " + action.TargetEntry;
        case RepairActionKind::DeleteArchive:
            return "delete archive " + action.Archive + " (to the Trash)";
        case RepairActionKind::MoveArchive:
            return "move archive " + action.Archive + " -> " + action.Target;
        case RepairActionKind::DeleteCorrupted:
            return "delete corrupted archive " + action.Archive + " (to the Trash)";
        case RepairActionKind::MoveCorrupted:
            return "move corrupted archive " + action.Archive + " -> " + action.Target;
    }
    return {};
}

std::vector<std::pair<std::string, std::uint64_t>> RepairSummary(const TRepairResult& result) {
    using K = RepairActionKind;
    return {
        {"Archives renamed", result.Count(K::RenameArchive)},
        {"Entries renamed", result.Count(K::RenameEntry) + result.Count(K::DisplaceEntry)},
        {"Entries copied", result.Count(K::CopyEntry)},
        {"Entries deleted (to the Trash)", result.Count(K::DeleteEntry)},
        {"Entries moved", result.Count(K::MoveEntry)},
        {"Archives deleted (to the Trash)", result.Count(K::DeleteArchive) + result.Count(K::DeleteCorrupted)},
        {"Archives moved", result.Count(K::MoveArchive) + result.Count(K::MoveCorrupted)},
        {"Bytes written", result.BytesWritten},
    };
}

}  // namespace qm
