#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "bench/BenchCollection.h"
#include "game_db/GamesList.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace qm::bench {
namespace {

using test::Datafile;
using test::RomLine;

std::uint32_t ZlibCrc(std::string_view data) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// Name -> CRC as an independent reader (libzip, strict consistency checks) sees an archive; the
// data of every entry is read and its CRC and size checked against the directory.
using Listing = std::map<std::string, std::uint32_t>;
std::optional<Listing> ReadZip(const fs::path& path, bool forgedSizes = true) {
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (z == nullptr) {
        return std::nullopt;
    }
    Listing out;
    const zip_int64_t n = zip_get_num_entries(z, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        zip_stat_t st;
        zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
        EXPECT_EQ(st.comp_method, ZIP_CM_STORE) << path << " " << st.name;
        std::string data(st.size, '\0');
        zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
        EXPECT_NE(f, nullptr);
        if (f != nullptr) {
            EXPECT_EQ(zip_fread(f, data.data(), data.size()), static_cast<zip_int64_t>(data.size()));
            zip_fclose(f);
        }
        EXPECT_EQ(ZlibCrc(data), st.crc) << path << " " << st.name;
        const std::string name = st.name;
        if (forgedSizes && name.back() != '/') {
            EXPECT_GE(st.size, 4u) << path << " " << name;
            EXPECT_LE(st.size, 8u) << path << " " << name;
        }
        out[name] = st.crc;
    }
    zip_discard(z);
    return out;
}

std::string RunCommand(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) {
        return out;
    }
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) {
        out.append(buf, n);
    }
    ::pclose(p);
    return out;
}

std::uint16_t Get16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}
std::uint32_t Get32(std::string_view b, std::size_t at) {
    return Get16(b, at) | (std::uint32_t{Get16(b, at + 2)} << 16);
}

// ---- forged data
// ---------------------------------------------------------------------------------

TEST(ForgedData, HasTheWantedCrcAtEveryLength) {
    std::vector<std::uint32_t> crcs = {0, 0xFFFFFFFFu, 0xDEADBEEFu, 0x80000000u, 1};
    for (std::uint32_t k = 1; k < 200; ++k) {
        crcs.push_back(k * 2654435761u);
    }
    for (const std::uint32_t crc : crcs) {
        for (std::size_t length = 4; length <= 8; ++length) {
            const std::string data = ForgeData(crc, length, crc ^ length);
            ASSERT_EQ(data.size(), length);
            ASSERT_EQ(ZlibCrc(data), crc) << std::hex << crc << " length " << std::dec << length;
        }
    }
    // The leading bytes come from the seed, so equal CRCs need not mean equal bytes.
    EXPECT_NE(ForgeData(0x1234, 8, 1), ForgeData(0x1234, 8, 2));
    EXPECT_THROW(ForgeData(0x1234, 3, 1), std::invalid_argument);
}

// ---- zip format
// ------------------------------------------------------------------------------------

class ZipFormat : public test::TempDirTest {};

TEST_F(ZipFormat, EveryHeaderFieldReadsBackInStandardTools) {
    std::vector<ZipMember> members = {{"a.bin", 0xCAFEBABEu, ForgeData(0xCAFEBABEu, 7, 1)},
                                      {"empty.bin", 0, ""},
                                      {"sub/", 0, "", true},
                                      {"sub/b.rom", 0x00000001u, ForgeData(1, 4, 2)}};
    const ZipBytes zip = BuildStoredZip(members);
    const fs::path file = WriteFile("t.zip", zip.Bytes);

    // End record: one disk, counts, and a central directory that ends where the record starts.
    const std::string_view b = zip.Bytes;
    const std::size_t end = b.size() - 22;
    EXPECT_EQ(Get32(b, end), 0x06054B50u);
    EXPECT_EQ(Get16(b, end + 8), 4u);
    EXPECT_EQ(Get16(b, end + 10), 4u);
    EXPECT_EQ(Get32(b, end + 12), zip.CentralDirectorySize);
    EXPECT_EQ(Get32(b, end + 16), zip.CentralDirectoryOffset);
    EXPECT_EQ(zip.CentralDirectoryOffset + zip.CentralDirectorySize, end);
    EXPECT_EQ(Get16(b, end + 20), 0u);

    const fs::path script = WriteFile("list.py", R"(import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
print(z.testzip())
for i in z.infolist():
    print(i.filename, '%08x' % i.CRC, i.file_size, i.compress_size, i.compress_type, i.create_system,
          i.create_version, i.extract_version, i.flag_bits, i.external_attr, i.header_offset, i.date_time)
)");
    const std::string got = RunCommand("python3 " + script.string() + " " + file.string());
    const std::string want =
        "None\n"
        "a.bin cafebabe 7 7 0 0 20 10 0 32 0 (2023, 1, 1, 12, 0, 0)\n"
        "empty.bin 00000000 0 0 0 0 20 10 0 32 42 (2023, 1, 1, 12, 0, 0)\n"
        "sub/ 00000000 0 0 0 0 20 20 0 16 81 (2023, 1, 1, 12, 0, 0)\n"
        "sub/b.rom 00000001 4 4 0 0 20 10 0 32 115 (2023, 1, 1, 12, 0, 0)\n";
    EXPECT_EQ(got, want);
    EXPECT_EQ(std::system(("unzip -tq " + file.string() + " >/dev/null").c_str()), 0);
    const auto listed = ReadZip(file, false);
    ASSERT_TRUE(listed.has_value());
    EXPECT_EQ(listed->size(), 4u);
}

TEST(ZipFormatChecks, RefusesDataThatDoesNotHaveItsCrc) {
    EXPECT_THROW(BuildStoredZip({{"a.bin", 0x1234, ForgeData(0x1235, 4, 0)}}), std::logic_error);
    EXPECT_THROW(BuildStoredZip({{"dir", 0, "", true}}), std::logic_error);  // a folder ends in '/'
}

// ---- collections from a datafile
// -----------------------------------------------------------------------

class BenchCollection : public test::TempDirTest {
protected:
    fs::path WriteDatafile(const std::vector<std::string>& lines) { return WriteFile("in.dat", Datafile(lines)); }

    static std::map<std::string, Listing> ReadDir(const fs::path& dir) {
        std::map<std::string, Listing> out;
        for (const auto& e : fs::directory_iterator(dir)) {
            const auto listed = ReadZip(e.path());
            out[e.path().filename().string()] = listed.value_or(Listing{{"<unreadable>", 0}});
        }
        return out;
    }
};

std::vector<std::string> SmallDatafile() {
    return {
        RomLine("alpha", "Alpha", "alpha", "Alpha", "a1.bin", "0000000a", "N", "O", "1024"),
        RomLine("alpha", "Alpha", "alpha", "Alpha", "a2.bin", "0000000b", "N", "O", "1024"),
        RomLine("alpha", "Alpha", "alpha", "Alpha", "nd.bin", "00000000", "N", "O", "1024"),
        RomLine("alpha", "Alpha", "alpha", "Alpha", "shared.bin", "0000000c", "N", "O", "1024"),
        // Sorts before its parent; its shared.bin differs from the parent's.
        RomLine("alpha", "Alpha", "aalpha", "Alpha (v2)", "a1.bin", "0000000a", "N", "N", "1024"),
        RomLine("alpha", "Alpha", "aalpha", "Alpha (v2)", "a2.bin", "00000000", "N", "N", "1024"),
        RomLine("alpha", "Alpha", "aalpha", "Alpha (v2)", "a3.bin", "ffff000d", "N", "O", "1024"),
        RomLine("alpha", "Alpha", "aalpha", "Alpha (v2)", "shared.bin", "0000000e", "N", "O", "1024"),
        RomLine("beta", "Beta", "beta", "Beta", "b1.rom", "1234abcd", "N", "O", "16"),
        RomLine("nothing", "Device", "nothing", "Device", "No roms needed", "        ", "N", "O", "0"),
        RomLine("bare", "Bare", "bare", "Bare", "only.bin", "00000000", "N", "O", "16"),
    };
}

TEST_F(BenchCollection, OneArchivePerCloneWithTheCrcsTheDatabaseExpects) {
    const fs::path dat = WriteDatafile(SmallDatafile());
    const GenerateResult r = GenerateCollection(dat, Root() / "roms", {});
    EXPECT_EQ(r.Stats.Archives, 3u);
    EXPECT_EQ(r.Stats.Entries, 8u);
    EXPECT_TRUE(r.Manifest.empty());
    // No archive for a placeholder or for ROMs without a good dump; a no-good-dump line that a
    // sibling clone names with a real CRC takes that CRC, as the database does.
    const std::map<std::string, Listing> want = {
        {"alpha.zip", {{"a1.bin", 0xa}, {"a2.bin", 0xb}, {"shared.bin", 0xc}}},
        {"aalpha.zip", {{"a1.bin", 0xa}, {"a2.bin", 0xb}, {"a3.bin", 0xffff000d}, {"shared.bin", 0xe}}},
        {"beta.zip", {{"b1.rom", 0x1234abcd}}},
    };
    EXPECT_EQ(ReadDir(Root() / "roms"), want);
}

TEST_F(BenchCollection, OneArchivePerSetKeepsTheParentsRomForASharedName) {
    const fs::path dat = WriteDatafile(SmallDatafile());
    GenerateOptions options;
    options.Arrangement = Layout::PerSet;
    GenerateCollection(dat, Root() / "roms", options);
    const std::map<std::string, Listing> want = {
        {"alpha.zip", {{"a1.bin", 0xa}, {"a2.bin", 0xb}, {"a3.bin", 0xffff000d}, {"shared.bin", 0xc}}},
        {"beta.zip", {{"b1.rom", 0x1234abcd}}},
    };
    EXPECT_EQ(ReadDir(Root() / "roms"), want);
}

TEST_F(BenchCollection, NeverWritesIntoAFullFolderNorOverAForeignFaultList) {
    const fs::path dat = WriteDatafile(SmallDatafile());
    const fs::path mine = WriteFile("full/keep.zip", "mine");
    EXPECT_THROW(GenerateCollection(dat, Root() / "full", {}), EFileError);
    EXPECT_EQ(ReadFile(mine), "mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(Root() / "full"), fs::directory_iterator()), 1);

    GenerateOptions faults;
    faults.Faults = true;
    const fs::path foreign = WriteFile("faults.txt", "someone's notes\n");
    EXPECT_THROW(GenerateCollection(dat, Root() / "roms", faults), EFileError);
    EXPECT_EQ(ReadFile(foreign), "someone's notes\n");
    EXPECT_FALSE(fs::exists(Root() / "roms"));

    // A fault list of an earlier run is ours to replace.
    WriteFile("faults.txt", std::string(kManifestHeader) + "\nold\n");
    const GenerateResult r = GenerateCollection(dat, Root() / "roms/", faults);
    EXPECT_EQ(r.Manifest, Root() / "faults.txt");
    EXPECT_EQ(ReadFile(r.Manifest).find("old"), std::string::npos);
}

// ---- planted faults
// ------------------------------------------------------------------------------------

std::vector<std::string> GeneratedDatafile() {
    std::vector<std::string> lines;
    std::uint32_t crc = 0x10000000;
    for (int s = 0; s < 120; ++s) {
        char set[16];
        std::snprintf(set, sizeof set, "g%03d", s);
        for (const std::string& clone : {std::string(set), std::string(set) + "c1", std::string(set) + "c2"}) {
            for (int r = 0; r < 4; ++r) {
                crc = crc * 1664525u + 1013904223u;
                lines.push_back(RomLine(set, "Set", clone, "Clone", "rom" + std::to_string(r) + ".bin", CrcToHex(crc),
                                        "N", "O", "64"));
            }
        }
    }
    for (int d = 0; d < 15; ++d) {
        const std::string dev = "dev" + std::to_string(d);
        lines.push_back(RomLine(dev, "Device", dev, "Device", "No roms needed", "        ", "N", "O", "0"));
    }
    return lines;
}

FaultRates HighRates() {
    FaultRates r;
    r.WrongArchiveName = 0.05;
    r.MisnamedArchive = 0.03;
    r.DuplicateEntry = 0.03;
    r.UnknownEntry = 0.03;
    r.MissingEntry = 0.03;
    r.WrongEntryName = 0.03;
    r.ComplementedCrc = 0.02;
    r.TruncatedArchives = 3;
    r.GarbageArchives = 3;
    r.DirectoryEntries = 2;
    return r;
}

std::vector<PlantedFault> ParseManifest(const std::string& text) {
    std::vector<PlantedFault> out;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, kManifestHeader);
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) {
            f.push_back(field);
        }
        f.resize(4);
        out.push_back({f[0], f[1], f[2], f[3]});
    }
    return out;
}

std::string After(const std::string& s, std::string_view prefix) {
    EXPECT_TRUE(StartsWith(s, prefix)) << s;
    return s.substr(std::min(prefix.size(), s.size()));
}

TEST_F(BenchCollection, EveryListedFaultIsOnDiskAndNothingElseIsWrong) {
    const fs::path dat = WriteDatafile(GeneratedDatafile());
    GenerateOptions options;
    options.Faults = true;
    options.Rates = HighRates();
    const GenerateResult r = GenerateCollection(dat, Root() / "a" / "roms", options);
    EXPECT_EQ(r.Stats.Archives, 360u);
    const auto faults = ParseManifest(ReadFile(Root() / "a" / "faults.txt"));
    EXPECT_EQ(faults.size(), r.Faults);

    std::map<std::string, int> perKind;
    for (const PlantedFault& f : faults) {
        ++perKind[f.Kind];
    }
    const std::map<std::string, int> wantKinds = {
        {"wrong_archive_name", 18}, {"misnamed_archive", 11}, {"duplicate_entry", 11},  {"unknown_entry", 11},
        {"missing_entry", 11},      {"wrong_entry_name", 43}, {"complemented_crc", 29}, {"truncated_archive", 3},
        {"garbage_archive", 3},     {"directory_entry", 2}};
    EXPECT_EQ(perKind, wantKinds);

    TGamesList games;
    games.LoadDatafileFile(dat, qm::SilentJob());
    // Rebuild what each archive must hold from the database and the manifest alone.
    std::map<std::string, std::string> cloneOf;  // archive name -> clone whose ROMs it holds
    for (const PlantedFault& f : faults) {
        if (f.Kind == "wrong_archive_name") {
            const std::string was = After(f.Detail, "was ");
            cloneOf[f.Archive] = was.substr(0, was.size() - 4);
            EXPECT_EQ(games.FindClone(f.Archive.substr(0, f.Archive.size() - 4)), nullptr) << f.Archive;
        } else if (f.Kind == "misnamed_archive") {
            const std::string held = After(f.Detail, "holds ").substr(0, f.Detail.find(',') - 6);
            cloneOf[f.Archive] = held;
            const TGame* target = games.FindGame(f.Archive.substr(0, f.Archive.size() - 4));
            ASSERT_NE(target, nullptr) << f.Archive;
            EXPECT_NE(target, games.FindClone(held)->Game) << f.Archive;
        }
    }
    std::map<std::string, Listing> want;
    std::set<std::string> corrupt;
    for (const TClone* clone : games.AllClones) {
        if (clone->Roms[0].Rom->Crc == kPlaceholderCrc) {
            continue;
        }
        Listing roms;
        for (const TRomEntry& e : clone->Roms) {
            roms[e.Name] = *ParseCrcHex(e.Rom->Crc);
        }
        want[clone->Name + ".zip"] = roms;
    }
    auto heldClone = [&](const std::string& archive) {
        const auto it = cloneOf.find(archive);
        return games.FindClone(it != cloneOf.end() ? it->second : archive.substr(0, archive.size() - 4));
    };
    std::map<std::string, Listing> renamed;
    for (const auto& [archive, clone] : cloneOf) {
        renamed[archive] = want.at(clone + ".zip");
    }
    for (const auto& [archive, clone] : cloneOf) {
        want.erase(clone + ".zip");
    }
    want.merge(renamed);
    for (const PlantedFault& f : faults) {
        Listing& roms = want.at(f.Archive);
        if (f.Kind == "wrong_entry_name") {
            const std::string old = After(f.Detail, "should be ");
            EXPECT_FALSE(heldClone(f.Archive)->Roms.Contains(f.Entry)) << f.Entry;
            roms[f.Entry] = roms.at(old);
            roms.erase(old);
        } else if (f.Kind == "complemented_crc") {
            EXPECT_EQ(f.Detail, "crc " + CrcToHex(~roms.at(f.Entry)) + ", expected " + CrcToHex(roms.at(f.Entry)));
            roms[f.Entry] = ~roms.at(f.Entry);
        } else if (f.Kind == "duplicate_entry") {
            roms[f.Entry] = roms.at(After(f.Detail, "copy of "));
        } else if (f.Kind == "unknown_entry") {
            const std::uint32_t crc = *ParseCrcHex(After(f.Detail, "crc "));
            EXPECT_EQ(games.FindRom(CrcToHex(crc)), nullptr);
            EXPECT_EQ(games.FindRom(CrcToHex(~crc)), nullptr);
            roms[f.Entry] = crc;
        } else if (f.Kind == "missing_entry") {
            EXPECT_EQ(roms.erase(f.Entry), 1u) << f.Entry;
        } else if (f.Kind == "directory_entry") {
            EXPECT_EQ(f.Entry.back(), '/');
            roms[f.Entry] = 0;
        } else if (f.Kind == "truncated_archive" || f.Kind == "garbage_archive") {
            corrupt.insert(f.Archive);
        }
    }
    for (const std::string& archive : corrupt) {
        EXPECT_FALSE(ReadZip(Root() / "a" / "roms" / archive).has_value()) << archive;
        want[archive] = Listing{{"<unreadable>", 0}};
    }
    const std::map<std::string, Listing> got = ReadDir(Root() / "a" / "roms");
    std::set<std::string> gotNames;
    std::set<std::string> wantNames;
    for (const auto& [name, roms] : got) {
        gotNames.insert(name);
        EXPECT_EQ(roms, want.count(name) != 0 ? want.at(name) : Listing{}) << name;
    }
    for (const auto& [name, roms] : want) {
        wantNames.insert(name);
    }
    EXPECT_EQ(gotNames, wantNames);

    // The same datafile gives the same faults and the same bytes.
    GenerateCollection(dat, Root() / "b" / "roms", options);
    EXPECT_EQ(ReadFile(Root() / "b" / "faults.txt"), ReadFile(Root() / "a" / "faults.txt"));
    for (const auto& e : fs::directory_iterator(Root() / "a" / "roms")) {
        EXPECT_EQ(ReadFile(Root() / "b" / "roms" / e.path().filename()), ReadFile(e.path())) << e.path();
    }
}

}  // namespace
}  // namespace qm::bench
