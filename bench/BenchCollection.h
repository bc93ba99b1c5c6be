// A full-size ROM collection for benchmarks and audit runs, made from a datafile: one zip archive
// per clone (or per set), each entry a few bytes whose CRC-32 is the one the datafile expects,
// optionally with a reproducible set of faults that an audit must find.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qm {
class TGamesList;
struct TGame;
struct TClone;
}  // namespace qm

namespace qm::bench {

namespace fs = std::filesystem;

// `length` bytes (4 or more) whose CRC-32 is `crc`: length - 4 bytes drawn from `seed`, then four
// bytes computed from the CRC's linearity.
std::string ForgeData(std::uint32_t crc, std::size_t length, std::uint64_t seed);

struct ZipMember {
    std::string Name;
    std::uint32_t Crc = 0;  // of Data; checked again when the archive is built
    std::string Data;       // empty for a directory entry
    bool Directory = false;
};

// A zip archive of stored members, made by a DOS host, with a fixed timestamp so that the same
// members always give the same bytes. Throws std::logic_error when a member's data does not
// have its CRC.
struct ZipBytes {
    std::string Bytes;
    std::size_t CentralDirectoryOffset = 0;
    std::size_t CentralDirectorySize = 0;
};
ZipBytes BuildStoredZip(const std::vector<ZipMember>& members);

enum class Layout { PerClone, PerSet };

enum class Corruption { None, TruncatedDirectory, Garbage };

struct PlannedArchive {
    std::string FileName;  // "<name>.zip"
    // What the archive holds: one clone's ROMs, or (per set) the set's.
    const TClone* Clone = nullptr;
    const TGame* Game = nullptr;
    std::vector<ZipMember> Entries;
    Corruption Corrupt = Corruption::None;
    std::uint64_t CorruptionSeed = 0;
};

struct PlantedFault {
    std::string Kind;
    std::string Archive;
    std::string Entry;
    std::string Detail;
};

struct CollectionPlan {
    std::vector<PlannedArchive> Archives;
    std::vector<PlantedFault> Faults;
    std::size_t SkippedClones = 0;  // names that cannot be file names
};

// Every clone (or set) with at least one ROM of known CRC; placeholder and no-good-dump ROMs
// have no data to forge and are left out.
CollectionPlan PlanCollection(const TGamesList& games, Layout layout);

struct FaultRates {
    std::uint64_t Seed = 0x5eed0251;
    // Fractions of the archives.
    double WrongArchiveName = 0.01;
    double MisnamedArchive = 0.005;
    double DuplicateEntry = 0.005;
    double UnknownEntry = 0.002;
    double MissingEntry = 0.01;
    // Fractions of the entries.
    double WrongEntryName = 0.01;
    double ComplementedCrc = 0.005;
    // Counts.
    std::size_t TruncatedArchives = 10;
    std::size_t GarbageArchives = 10;
    std::size_t DirectoryEntries = 5;
};

// Changes the plan and records every change in plan.Faults. An archive gets at most one
// archive-level fault, and entry-level faults go only to archives without one, so that every
// fault is seen alone. The same plan and rates always give the same faults.
void PlantFaults(CollectionPlan& plan, const TGamesList& games, const FaultRates& rates = {});

// Manifest text: one tab-separated line per fault (kind, archive, entry, detail) after a
// comment line.
std::string FormatFaultManifest(const std::vector<PlantedFault>& faults);
inline constexpr std::string_view kManifestHeader = "# bench collection faults: kind\tarchive\tentry\tdetail";

struct WriteStats {
    std::size_t Archives = 0;
    std::size_t Entries = 0;  // entries of the archives that are not corrupt
    std::size_t Bytes = 0;
};
// Writes every archive into `outDir`, which must exist. Never replaces a file: an existing
// name is an error. Throws EFileError naming the file.
WriteStats WriteCollection(const CollectionPlan& plan, const fs::path& outDir);

struct GenerateOptions {
    Layout Arrangement = Layout::PerClone;
    bool Faults = false;
    FaultRates Rates;
};
struct GenerateResult {
    WriteStats Stats;
    std::size_t Faults = 0;
    std::size_t SkippedClones = 0;
    fs::path Manifest;  // empty without faults
    double LoadSeconds = 0;
};
// Loads the datafile and writes the collection into `outDir`, which must be new or empty; with
// faults, the manifest goes to faults.txt in the folder above `outDir` and replaces only an
// earlier manifest. Throws EFileError (or std::filesystem_error) without deleting anything.
GenerateResult GenerateCollection(const fs::path& datafile, const fs::path& outDir, const GenerateOptions& options);

}  // namespace qm::bench
