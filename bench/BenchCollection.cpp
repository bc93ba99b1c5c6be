#include "bench/BenchCollection.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <unordered_set>
#include <utility>

#include "game_db/GamesList.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace qm::bench {

namespace {

// ---- CRC-32 forging ---------------------------------------------------------------------------

struct CrcTables {
    std::array<std::uint32_t, 256> Table{};
    // Index of the table entry with a given top byte: the top bytes of the CRC-32 table are all
    // different, which is what makes one step of the register reversible.
    std::array<std::uint8_t, 256> IndexOfTop{};

    CrcTables() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) != 0 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            }
            Table[i] = c;
            IndexOfTop[c >> 24] = static_cast<std::uint8_t>(i);
        }
    }
};

const CrcTables& Tables() {
    static const CrcTables tables;
    return tables;
}

std::uint32_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
}

std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t h = 0xCBF29CE484222325ull) {
    for (const char c : bytes) {
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    }
    return h;
}

// A small generator of our own: std's distributions differ between standard libraries, and the
// faults must be the same wherever the program is built.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint32_t Next() { return SplitMix(state_); }
    std::uint64_t Next64() { return (std::uint64_t{Next()} << 32) | Next(); }
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(Next64() % n); }
    template <class T>
    void Shuffle(std::vector<T>& v) {
        for (std::size_t i = v.size(); i > 1; --i) {
            std::swap(v[i - 1], v[Below(i)]);
        }
    }

private:
    std::uint64_t state_;
};

// ---- zip bytes ----------------------------------------------------------------------------------

// 2023-01-01 12:00:00; a fixed time keeps the archives identical from run to run.
constexpr std::uint16_t kDosTime = 12u << 11;
constexpr std::uint16_t kDosDate = ((2023u - 1980u) << 9) | (1u << 5) | 1u;
constexpr std::uint16_t kMadeByDos20 = 20;  // high byte 0: MS-DOS attributes
constexpr std::uint16_t kNeedStored = 10;
constexpr std::uint16_t kNeedDirectory = 20;  // the zip format asks 2.0 for folders
constexpr std::uint32_t kDosArchiveBit = 0x20;
constexpr std::uint32_t kDosDirectoryBit = 0x10;

void Put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::uint32_t CrcOf(std::string_view data) {
    return static_cast<std::uint32_t>(libdeflate_crc32(0, data.data(), data.size()));
}

std::string GarbageBytes(std::uint64_t seed) {
    std::uint64_t state = seed;
    const std::size_t length = 64 + SplitMix(state) % 961;
    std::string out(length, '\0');
    for (char& c : out) {
        // No 'P': no byte run can be read as a zip signature ("PK").
        auto b = static_cast<unsigned char>(SplitMix(state));
        c = static_cast<char>(b == 'P' ? 'Q' : b);
    }
    return out;
}

std::string ArchiveFileBytes(const PlannedArchive& archive) {
    switch (archive.Corrupt) {
        case Corruption::Garbage:
            return GarbageBytes(archive.CorruptionSeed);
        case Corruption::TruncatedDirectory: {
            ZipBytes zip = BuildStoredZip(archive.Entries);
            zip.Bytes.resize(zip.CentralDirectoryOffset + zip.CentralDirectorySize / 2);
            return std::move(zip.Bytes);
        }
        case Corruption::None:
            break;
    }
    return BuildStoredZip(archive.Entries).Bytes;
}

void WriteNewFile(const fs::path& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw EFileError(path, std::string("cannot create: ") + std::strerror(errno));
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            ::close(fd);
            throw EFileError(path, std::string("cannot write: ") + std::strerror(err));
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        throw EFileError(path, std::string("cannot close: ") + std::strerror(errno));
    }
}

// ---- planning -----------------------------------------------------------------------------------

bool UsableFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::optional<std::uint32_t> ForgeableCrc(const TRomEntry& entry) {
    if (entry.Rom == nullptr || entry.Rom->Crc.size() != 8 || entry.Rom->Crc == kNoGoodDumpCrc) {
        return std::nullopt;  // the placeholder's 8 blanks fail the size-and-hex test too
    }
    return ParseCrcHex(entry.Rom->Crc);
}

ZipMember MakeMember(std::string name, std::uint32_t crc) {
    const std::uint64_t seed = Fnv1a(name) ^ (std::uint64_t{crc} * 0x9E3779B97F4A7C15ull);
    ZipMember m;
    m.Data = ForgeData(crc, 4 + seed % 5, seed);
    m.Name = std::move(name);
    m.Crc = crc;
    return m;
}

std::string ZipStem(std::string_view fileName) {
    return std::string(fileName.substr(0, fileName.size() - 4));
}

}  // namespace

std::string ForgeData(std::uint32_t crc, std::size_t length, std::uint64_t seed) {
    if (length < 4) {
        throw std::invalid_argument("forged data needs at least 4 bytes");
    }
    const CrcTables& t = Tables();
    std::string out(length, '\0');
    std::uint32_t state = 0xFFFFFFFFu;
    for (std::size_t i = 0; i + 4 < length; ++i) {
        out[i] = static_cast<char>(SplitMix(seed));
        state = (state >> 8) ^ t.Table[(state ^ static_cast<unsigned char>(out[i])) & 0xFF];
    }
    // Feeding byte b into register s is feeding 0 into s ^ b, so four bytes X take the register
    // from s to Z4(s ^ X), Z4 being four zero-byte steps. Undo Z4 on the wanted final register.
    std::uint32_t r = ~crc;
    for (int k = 0; k < 4; ++k) {
        const std::uint8_t index = t.IndexOfTop[r >> 24];
        r = ((r ^ t.Table[index]) << 8) | index;
    }
    const std::uint32_t x = r ^ state;
    for (int k = 0; k < 4; ++k) {
        out[length - 4 + static_cast<std::size_t>(k)] = static_cast<char>((x >> (8 * k)) & 0xFF);
    }
    return out;
}

ZipBytes BuildStoredZip(const std::vector<ZipMember>& members) {
    if (members.size() > 0xFFFF) {
        throw std::logic_error("too many members for a zip archive without zip64");
    }
    ZipBytes zip;
    std::string& out = zip.Bytes;
    std::vector<std::uint32_t> offsets;
    offsets.reserve(members.size());
    for (const ZipMember& m : members) {
        if (m.Name.empty() || m.Name.size() > 0xFFFF || m.Directory != (m.Name.back() == '/') ||
            (m.Directory && !m.Data.empty())) {
            throw std::logic_error("bad zip member '" + m.Name + "'");
        }
        if (CrcOf(m.Data) != m.Crc) {
            throw std::logic_error("data of '" + m.Name + "' does not have CRC " + CrcToHex(m.Crc));
        }
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        Put32(out, 0x04034B50);
        Put16(out, m.Directory ? kNeedDirectory : kNeedStored);
        Put16(out, 0);  // flags
        Put16(out, 0);  // stored
        Put16(out, kDosTime);
        Put16(out, kDosDate);
        Put32(out, m.Crc);
        Put32(out, static_cast<std::uint32_t>(m.Data.size()));
        Put32(out, static_cast<std::uint32_t>(m.Data.size()));
        Put16(out, static_cast<std::uint32_t>(m.Name.size()));
        Put16(out, 0);  // extra field
        out += m.Name;
        out += m.Data;
    }
    zip.CentralDirectoryOffset = out.size();
    for (std::size_t i = 0; i < members.size(); ++i) {
        const ZipMember& m = members[i];
        Put32(out, 0x02014B50);
        Put16(out, kMadeByDos20);
        Put16(out, m.Directory ? kNeedDirectory : kNeedStored);
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, kDosTime);
        Put16(out, kDosDate);
        Put32(out, m.Crc);
        Put32(out, static_cast<std::uint32_t>(m.Data.size()));
        Put32(out, static_cast<std::uint32_t>(m.Data.size()));
        Put16(out, static_cast<std::uint32_t>(m.Name.size()));
        Put16(out, 0);  // extra field
        Put16(out, 0);  // comment
        Put16(out, 0);  // disk number
        Put16(out, 0);  // internal attributes: binary
        Put32(out, m.Directory ? kDosDirectoryBit : kDosArchiveBit);
        Put32(out, offsets[i]);
        out += m.Name;
    }
    zip.CentralDirectorySize = out.size() - zip.CentralDirectoryOffset;
    if (out.size() > 0xFFFFFFFFu) {
        throw std::logic_error("zip archive too large without zip64");
    }
    Put32(out, 0x06054B50);
    Put16(out, 0);  // this disk
    Put16(out, 0);  // disk of the central directory
    Put16(out, static_cast<std::uint32_t>(members.size()));
    Put16(out, static_cast<std::uint32_t>(members.size()));
    Put32(out, static_cast<std::uint32_t>(zip.CentralDirectorySize));
    Put32(out, static_cast<std::uint32_t>(zip.CentralDirectoryOffset));
    Put16(out, 0);  // comment
    return zip;
}

CollectionPlan PlanCollection(const TGamesList& games, Layout layout) {
    CollectionPlan plan;
    auto addArchive = [&plan](std::string_view name, const TClone* clone, const TGame* game,
                              std::vector<ZipMember> entries) {
        if (entries.empty()) {
            return;
        }
        if (!UsableFileName(name)) {
            ++plan.SkippedClones;
            return;
        }
        PlannedArchive a;
        a.FileName = std::string(name) + ".zip";
        a.Clone = clone;
        a.Game = game;
        a.Entries = std::move(entries);
        plan.Archives.push_back(std::move(a));
    };
    if (layout == Layout::PerClone) {
        plan.Archives.reserve(games.AllClones.size());
        for (const TClone* clone : games.AllClones) {
            std::vector<ZipMember> entries;
            for (const TRomEntry& e : clone->Roms) {
                if (const auto crc = ForgeableCrc(e)) {
                    entries.push_back(MakeMember(e.Name, *crc));
                }
            }
            addArchive(clone->Name, clone, clone->Game, std::move(entries));
        }
        return plan;
    }
    plan.Archives.reserve(games.Games().size());
    for (const TGame* game : games.Games()) {
        // The parent's own clone first, so that a name two clones give different ROMs keeps
        // the parent's.
        std::vector<const TClone*> clones;
        if (const TClone* parent = games.FindClone(game->Name); parent != nullptr && parent->Game == game) {
            clones.push_back(parent);
        }
        for (const TClone* clone : game->Clones) {
            if (clones.empty() || clone != clones.front()) {
                clones.push_back(clone);
            }
        }
        std::unordered_set<std::string_view> seen;
        std::vector<ZipMember> entries;
        for (const TClone* clone : clones) {
            for (const TRomEntry& e : clone->Roms) {
                const auto crc = ForgeableCrc(e);
                if (crc && seen.insert(e.Name).second) {
                    entries.push_back(MakeMember(e.Name, *crc));
                }
            }
        }
        addArchive(game->Name, nullptr, game, std::move(entries));
    }
    return plan;
}

namespace {

bool ArchiveHasName(const PlannedArchive& a, std::string_view name) {
    return std::any_of(a.Entries.begin(), a.Entries.end(), [&](const ZipMember& m) { return m.Name == name; });
}

bool ExpectedName(const PlannedArchive& a, std::string_view name) {
    if (a.Clone != nullptr) {
        return a.Clone->Roms.Contains(name);
    }
    return a.Game != nullptr && std::any_of(a.Game->Clones.begin(), a.Game->Clones.end(),
                                            [&](const TClone* c) { return c->Roms.Contains(name); });
}

// A name neither in the archive nor expected in it: `name` with `tag` before its extension.
std::string FreeVariant(const PlannedArchive& a, std::string_view name, std::string_view tag) {
    const std::size_t slash = name.rfind('/');
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash) || dot == 0) {
        dot = name.size();
    }
    for (int n = 1;; ++n) {
        std::string candidate(name.substr(0, dot));
        candidate += tag;
        if (n > 1) {
            candidate += std::to_string(n);
        }
        candidate += name.substr(dot);
        if (!ArchiveHasName(a, candidate) && !ExpectedName(a, candidate)) {
            return candidate;
        }
    }
}

bool KnownCrc(const TGamesList& games, std::uint32_t crc) {
    return games.FindRom(CrcToHex(crc)) != nullptr || games.FindRom(CrcToHex(~crc)) != nullptr;
}

constexpr std::array<std::string_view, 10> kKindOrder = {
    "wrong_archive_name", "misnamed_archive", "wrong_entry_name", "complemented_crc",  "duplicate_entry",
    "unknown_entry",      "missing_entry",    "directory_entry",  "truncated_archive", "garbage_archive"};

std::size_t KindRank(std::string_view kind) {
    return static_cast<std::size_t>(std::find(kKindOrder.begin(), kKindOrder.end(), kind) - kKindOrder.begin());
}

std::size_t CountOf(double rate, std::size_t of) {
    return static_cast<std::size_t>(std::llround(std::max(0.0, rate) * static_cast<double>(of)));
}

}  // namespace

void PlantFaults(CollectionPlan& plan, const TGamesList& games, const FaultRates& rates) {
    auto& archives = plan.Archives;
    auto& faults = plan.Faults;
    Rng rng(rates.Seed);
    std::vector<std::size_t> order(archives.size());
    std::iota(order.begin(), order.end(), 0);
    rng.Shuffle(order);
    std::vector<bool> faulted(archives.size(), false);
    std::unordered_set<std::string> fileNames;
    for (const PlannedArchive& a : archives) {
        fileNames.insert(a.FileName);
    }
    // Gives `count` archives, in the shuffled order, to `plant`, which says whether it could.
    auto take = [&](std::size_t count, auto&& plant) {
        for (std::size_t k = 0; k < order.size() && count > 0; ++k) {
            const std::size_t i = order[k];
            if (!faulted[i] && plant(archives[i])) {
                faulted[i] = true;
                --count;
            }
        }
    };
    auto rename = [&](PlannedArchive& a, std::string newName) {
        fileNames.erase(a.FileName);
        fileNames.insert(newName);
        a.FileName = std::move(newName);
    };
    const std::size_t n = archives.size();
    std::size_t totalEntries = 0;  // before the faults, so that rates apply to the datafile's ROMs
    for (const PlannedArchive& a : archives) {
        totalEntries += a.Entries.size();
    }

    take(rates.TruncatedArchives, [&](PlannedArchive& a) {
        const ZipBytes zip = BuildStoredZip(a.Entries);
        a.Corrupt = Corruption::TruncatedDirectory;
        const std::size_t cut = zip.CentralDirectoryOffset + zip.CentralDirectorySize / 2;
        faults.push_back({"truncated_archive", a.FileName, "",
                          "cut at byte " + std::to_string(cut) + " of " + std::to_string(zip.Bytes.size()) +
                              ", central directory at " + std::to_string(zip.CentralDirectoryOffset)});
        return true;
    });
    take(rates.GarbageArchives, [&](PlannedArchive& a) {
        a.Corrupt = Corruption::Garbage;
        a.CorruptionSeed = rng.Next64();
        faults.push_back({"garbage_archive", a.FileName, "",
                          std::to_string(GarbageBytes(a.CorruptionSeed).size()) + " random bytes"});
        return true;
    });
    take(CountOf(rates.WrongArchiveName, n), [&](PlannedArchive& a) {
        std::string stem = "zz_" + ZipStem(a.FileName);
        while (games.FindClone(stem) != nullptr || games.FindGame(stem) != nullptr ||
               fileNames.count(stem + ".zip") != 0) {
            stem.insert(0, "z");
        }
        const std::string old = a.FileName;
        rename(a, stem + ".zip");
        faults.push_back({"wrong_archive_name", a.FileName, "", "was " + old});
        return true;
    });
    // Set names with no archive, those freed by the renames above first: the archive then takes
    // the place of a set whose ROMs are really missing. Sets without ROMs come after.
    std::unordered_set<std::string> plannedNames;
    for (const PlannedArchive& a : archives) {
        if (a.Game != nullptr) {
            plannedNames.insert(a.Game->Name);
        }
    }
    std::vector<std::string> freedSetNames;
    std::vector<std::string> romlessSetNames;
    for (const TGame* game : games.Games()) {
        if (UsableFileName(game->Name) && fileNames.count(game->Name + ".zip") == 0) {
            (plannedNames.count(game->Name) != 0 ? freedSetNames : romlessSetNames).push_back(game->Name);
        }
    }
    take(CountOf(rates.MisnamedArchive, n), [&](PlannedArchive& a) {
        auto& pool = freedSetNames.empty() ? romlessSetNames : freedSetNames;
        if (pool.empty()) {
            return false;
        }
        std::size_t j = rng.Below(pool.size());
        if (a.Game != nullptr && pool[j] == a.Game->Name) {
            if (pool.size() == 1) {
                return false;
            }
            j = (j + 1) % pool.size();
        }
        const std::string old = a.FileName;
        rename(a, pool[j] + ".zip");
        std::swap(pool[j], pool.back());
        pool.pop_back();
        faults.push_back({"misnamed_archive", a.FileName, "", "holds " + ZipStem(old) + ", was " + old});
        return true;
    });
    take(CountOf(rates.DuplicateEntry, n), [&](PlannedArchive& a) {
        const ZipMember original = a.Entries[rng.Below(a.Entries.size())];
        ZipMember copy = original;
        copy.Name = FreeVariant(a, original.Name, "_copy");
        faults.push_back({"duplicate_entry", a.FileName, copy.Name, "copy of " + original.Name});
        a.Entries.push_back(std::move(copy));
        return true;
    });
    take(CountOf(rates.UnknownEntry, n), [&](PlannedArchive& a) {
        std::uint32_t crc = rng.Next();
        while (crc == 0 || KnownCrc(games, crc)) {
            crc = rng.Next();
        }
        ZipMember m = MakeMember(FreeVariant(a, "unknown_" + CrcToHex(crc) + ".bin", ""), crc);
        faults.push_back({"unknown_entry", a.FileName, m.Name, "crc " + CrcToHex(crc)});
        a.Entries.push_back(std::move(m));
        return true;
    });
    take(CountOf(rates.MissingEntry, n), [&](PlannedArchive& a) {
        if (a.Entries.size() < 2) {
            return false;  // an archive without entries would be another fault
        }
        const std::size_t k = rng.Below(a.Entries.size());
        faults.push_back({"missing_entry", a.FileName, a.Entries[k].Name, "crc " + CrcToHex(a.Entries[k].Crc)});
        a.Entries.erase(a.Entries.begin() + static_cast<std::ptrdiff_t>(k));
        return true;
    });
    take(rates.DirectoryEntries, [&](PlannedArchive& a) {
        ZipMember dir;
        dir.Name = "extras/";
        for (int k = 2; ArchiveHasName(a, dir.Name); ++k) {
            dir.Name = "extras" + std::to_string(k) + "/";
        }
        dir.Directory = true;
        faults.push_back({"directory_entry", a.FileName, dir.Name, ""});
        a.Entries.push_back(std::move(dir));
        return true;
    });

    // Entry faults, in archives that have no other fault.
    std::vector<std::pair<std::size_t, std::size_t>> candidates;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = 0; !faulted[i] && k < archives[i].Entries.size(); ++k) {
            candidates.emplace_back(i, k);
        }
    }
    rng.Shuffle(candidates);
    std::size_t next = 0;
    std::size_t wanted = CountOf(rates.WrongEntryName, totalEntries);
    for (; next < candidates.size() && wanted > 0; ++next, --wanted) {
        PlannedArchive& a = archives[candidates[next].first];
        ZipMember& m = a.Entries[candidates[next].second];
        const std::string old = m.Name;
        m.Name = FreeVariant(a, old, "_renamed");
        faults.push_back({"wrong_entry_name", a.FileName, m.Name, "should be " + old});
    }
    wanted = CountOf(rates.ComplementedCrc, totalEntries);
    for (; next < candidates.size() && wanted > 0; ++next) {
        PlannedArchive& a = archives[candidates[next].first];
        ZipMember& m = a.Entries[candidates[next].second];
        const std::uint32_t bad = ~m.Crc;
        if (games.FindRom(CrcToHex(bad)) != nullptr) {
            continue;  // it would be another ROM, not this one's bad dump
        }
        faults.push_back(
            {"complemented_crc", a.FileName, m.Name, "crc " + CrcToHex(bad) + ", expected " + CrcToHex(m.Crc)});
        m.Data = ForgeData(bad, m.Data.size(), rng.Next64());
        m.Crc = bad;
        --wanted;
    }

    std::stable_sort(faults.begin(), faults.end(), [](const PlantedFault& x, const PlantedFault& y) {
        const std::size_t rx = KindRank(x.Kind);
        const std::size_t ry = KindRank(y.Kind);
        if (rx != ry) {
            return rx < ry;
        }
        return std::tie(x.Archive, x.Entry) < std::tie(y.Archive, y.Entry);
    });
}

std::string FormatFaultManifest(const std::vector<PlantedFault>& faults) {
    std::string out(kManifestHeader);
    out += '\n';
    for (const PlantedFault& f : faults) {
        out += f.Kind + '\t' + f.Archive + '\t' + f.Entry + '\t' + f.Detail + '\n';
    }
    return out;
}

WriteStats WriteCollection(const CollectionPlan& plan, const fs::path& outDir) {
    WriteStats stats;
    for (const PlannedArchive& a : plan.Archives) {
        const std::string bytes = ArchiveFileBytes(a);
        WriteNewFile(outDir / a.FileName, bytes);
        ++stats.Archives;
        stats.Bytes += bytes.size();
        if (a.Corrupt == Corruption::None) {
            stats.Entries += a.Entries.size();
        }
    }
    return stats;
}

namespace {

// The folder must be new or empty: files of an earlier run or of the user would mix with the
// collection, and nothing here deletes files.
void PrepareOutDir(const fs::path& outDir) {
    if (fs::exists(outDir)) {
        if (!fs::is_directory(outDir)) {
            throw EFileError(outDir, "exists and is not a folder");
        }
        if (!fs::is_empty(outDir)) {
            throw EFileError(outDir, "folder is not empty; give a new or empty folder");
        }
        return;
    }
    fs::create_directories(outDir);
}

void CheckManifestReplaceable(const fs::path& manifest) {
    if (!fs::exists(manifest)) {
        return;
    }
    const std::string bytes = ReadFileBytes(manifest);
    if (bytes.compare(0, kManifestHeader.size(), kManifestHeader) != 0) {
        throw EFileError(manifest, "exists and is not a fault list of this program; not replaced");
    }
}

}  // namespace

GenerateResult GenerateCollection(const fs::path& datafile, const fs::path& outDir, const GenerateOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    // Without a trailing separator, so that its parent is the folder above it.
    fs::path folder = fs::absolute(outDir).lexically_normal();
    if (!folder.has_filename()) {
        folder = folder.parent_path();
    }
    GenerateResult result;
    if (options.Faults) {
        // Beside the collection, not in it, where it would be one more unknown file.
        result.Manifest = folder.parent_path() / "faults.txt";
        CheckManifestReplaceable(result.Manifest);
    }
    if (!fs::exists(datafile)) {
        throw EFileError(datafile, "no such file");
    }
    PrepareOutDir(folder);

    TGamesList games;
    if (games.LoadDatafileFile(datafile, SilentJob()).BadFormat) {
        throw EFileError(datafile, "bad format: no [GAMES] section");
    }
    result.LoadSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    CollectionPlan plan = PlanCollection(games, options.Arrangement);
    if (options.Faults) {
        PlantFaults(plan, games, options.Rates);
    }
    result.Stats = WriteCollection(plan, folder);
    if (options.Faults) {
        WriteFileAtomic(result.Manifest, FormatFaultManifest(plan.Faults));
    }
    result.Faults = plan.Faults.size();
    result.SkippedClones = plan.SkippedClones;
    return result;
}

}  // namespace qm::bench
