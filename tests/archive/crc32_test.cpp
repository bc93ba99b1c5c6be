#include <gtest/gtest.h>

#include <tuple>

#include "archive/ArchiveTestSupport.h"
#include "archive/ZipForge.h"
#include "archive/crc32.h"
#include "support/TestSupport.h"

namespace qm::test {
namespace {

std::string Crc(std::string_view data) {
    return CrcToHex(Crc32Of(data.data(), data.size()));
}

TEST(CrcList, HeaderLengthRoundsHalfBlocksToEven) {
    const std::int64_t mib = 1 << 20;
    EXPECT_EQ(HeaderLength(mib, true, false), 0);
    EXPECT_EQ(HeaderLength(mib + 512, true, false), 512);
    EXPECT_EQ(HeaderLength(512, true, false), 512);
    EXPECT_EQ(HeaderLength(8192 + 4095, true, false), 4095);
    EXPECT_EQ(HeaderLength(8192 + 4097, true, false), 0);
    EXPECT_EQ(HeaderLength(8192 * 3 + 4096, true, false), 0);     // 3.5 rounds to 4
    EXPECT_EQ(HeaderLength(8192 * 2 + 4096, true, false), 4096);  // 2.5 rounds to 2
    EXPECT_EQ(HeaderLength(4096, true, false), 4096);             // 0.5 rounds to 0
    EXPECT_EQ(HeaderLength(0, true, false), 0);
    EXPECT_EQ(HeaderLength(mib + 512, false, false), 0);
    EXPECT_EQ(HeaderLength(mib, false, true), 16);
    EXPECT_EQ(HeaderLength(mib + 512, true, true), 16);  // the fixed header wins
    EXPECT_EQ(HeaderLength(3, false, true), 16);
}

TEST(CrcList, StandardZipCrc) {
    EXPECT_EQ(Crc32Of("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32Of("", 0), 0u);
    EXPECT_EQ(Crc32Of("6789", 4, Crc32Of("12345", 5)), 0xCBF43926u);
}

class CrcListTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        crc = std::make_unique<TCrc32>();
        crc->LookInZip = true;
    }
    void Build(const fs::path& file) {
        crc->FileName = file.string();
        crc->Clear();
        crc->Build();
    }
    std::vector<Listed> Items() const {
        std::vector<Listed> out;
        for (const TCrcItem& item : crc->ItemList()) {
            out.push_back({item.Name, item.Crc, static_cast<std::uint64_t>(item.Size)});
        }
        return out;
    }
    // An archive made by libzip (deflated), entries named as the files given.
    fs::path Archive(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files) {
        TZipMaster writer;
        writer.SetZipFilename(Root() / name);
        for (const auto& [file, data] : files) {
            writer.FSpecArgs.push_back(WriteFile("in/" + file, data).string());
        }
        writer.Add();
        EXPECT_EQ(writer.SuccessCount, static_cast<int>(files.size())) << writer.Message;
        return Root() / name;
    }
    bool ScratchIsEmpty() const { return !fs::exists(crc->TempPath) || fs::is_empty(crc->TempPath); }

    std::unique_ptr<TCrc32> crc;
};

TEST_F(CrcListTest, ArchivesAreReadFromTheirDirectoryOnly) {
    // The directory's CRCs are taken as they are: the data (which does not match them) is not
    // read.
    const fs::path archive =
        WriteFile("Set.ZIP", ForgeZip({{.Name = "PacMan\xC9.ROM", .Data = "data", .Crc = 0xDEADBEEF},
                                       {.Name = "Sub/", .Data = ""},
                                       {.Name = "sub/Notes.TXT", .Data = "text"}}));
    Build(archive);
    EXPECT_EQ(Items(),
              (std::vector<Listed>{
                  {"pacman\xC9.rom", "deadbeef", 4}, {"sub/", "00000000", 0}, {"sub/notes.txt", Crc("text"), 4}}));
    crc->SkipTextFiles = true;
    Build(archive);
    EXPECT_EQ(crc->Count(), 2u);
    // Without LookInZip an archive is a file like any other.
    crc->LookInZip = false;
    Build(archive);
    ASSERT_EQ(crc->Count(), 1u);
    EXPECT_EQ(crc->Items(0).Name, archive.string());
    EXPECT_EQ(crc->Items(0).Crc, Crc(ReadFile(archive)));
    EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(CrcListTest, ACopierHeaderIsStrippedFromArchiveEntries) {
    const std::string image(1 << 20, '\x5A');
    const std::string header(512, '\x01');
    const fs::path archive = Archive("snes.zip", {{"headered.smc", header + image}, {"clean.smc", image}});
    crc->SizeHeader = true;
    Build(archive);
    EXPECT_EQ(Items(), (std::vector<Listed>{{"headered.smc", Crc(image), image.size()},
                                            {"clean.smc", Crc(image), image.size()}}));
    EXPECT_TRUE(ScratchIsEmpty());

    crc->SizeHeader = false;
    crc->FixedHeader16 = true;
    const fs::path nes = Archive("nes.zip", {{"tiny.nes", "0123456789"}, {"game.nes", header + "game"}});
    Build(nes);
    EXPECT_EQ(Items(),
              (std::vector<Listed>{{"tiny.nes", "00000000", 0}, {"game.nes", Crc(header.substr(16) + "game"), 500}}));
    EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(CrcListTest, EntriesNeedingNoStrippingAreNotExtracted) {
    // A bad CRC in the directory goes unnoticed unless the entry is extracted.
    const fs::path archive =
        WriteFile("bad.zip", ForgeZip({{.Name = "folder/", .Data = ""},
                                       {.Name = "good.nes", .Data = std::string(40, 'g')},
                                       {.Name = "bad.nes", .Data = std::string(40, 'b'), .Crc = 0x12345678}}));
    Build(archive);
    EXPECT_EQ(crc->Count(), 3u);
    // With a fixed header every file entry is extracted (a folder has nothing to extract) and
    // the bad one fails; what was read before it stays.
    crc->FixedHeader16 = true;
    crc->Clear();
    crc->FileName = archive.string();
    try {
        crc->Build();
        ADD_FAILURE() << "no exception";
    } catch (const ECrcZipError& e) {
        EXPECT_STREQ(e.what(), "Bad crc");
    }
    EXPECT_EQ(Items(), (std::vector<Listed>{{"folder/", "00000000", 0}, {"good.nes", Crc(std::string(24, 'g')), 24}}));
    EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(CrcListTest, PlainFiles) {
    const std::string image(1 << 20, 'i');
    const fs::path rom = WriteFile("roms/game.smc", std::string(512, 'h') + image);
    crc->SizeHeader = true;
    Build(rom);
    EXPECT_EQ(Items(), (std::vector<Listed>{{rom.string(), Crc(image), image.size()}}));
    crc->SizeHeader = false;
    crc->FixedHeader16 = true;
    Build(WriteFile("short.nes", "0123456789"));
    EXPECT_EQ(Items(), (std::vector<Listed>{{(Root() / "short.nes").string(), "00000000", 0}}));
    crc->FixedHeader16 = false;
    const fs::path readme = WriteFile("ReadMe.TXT", "hello");
    Build(readme);
    EXPECT_EQ(crc->Count(), 1u);
    crc->SkipTextFiles = true;
    Build(readme);
    EXPECT_EQ(crc->Count(), 0u);
}

TEST_F(CrcListTest, ErrorTexts) {
    crc->FileName = (Root() / "missing.zip").string();
    try {
        crc->Build();
        ADD_FAILURE() << "no exception";
    } catch (const ECrcFileNotFound& e) {
        EXPECT_EQ(std::string(e.what()), "File \"" + (Root() / "missing.zip").string() + "\" not found.");
    }
    const auto zipError = [&](const fs::path& file) {
        crc->FileName = file.string();
        crc->Clear();
        try {
            crc->Build();
        } catch (const ECrcZipError& e) {
            return std::string(e.what());
        }
        return std::string("no exception");
    };
    EXPECT_EQ(zipError(WriteFile("fake.zip", std::string(100, 'x'))),
              "File \"fake.zip\": This archive is not a valid Zip archive");
    EXPECT_EQ(crc->Count(), 0u);
    // The same object goes on with the next file.
    Build(WriteFile("fine.zip", ForgeZip({{.Name = "a.bin", .Data = "a"}})));
    EXPECT_EQ(crc->Count(), 1u);
}

TEST_F(CrcListTest, StrayBytesAroundAWholeDirectoryAreAWarningOnly) {
    const std::string good = ForgeZip({{.Name = "a.bin", .Data = "a"}, {.Name = "b.bin", .Data = "b"}});
    const std::vector<Listed> expected = {{"a.bin", Crc("a"), 1}, {"b.bin", Crc("b"), 1}};
    const std::string garbage = "Warning - Garbage at the end of the zipfile!";
    const std::string moved = "Warning - Error in zip structure!";
    for (const auto& [name, bytes, warning] :
         {std::tuple{"byte.zip", good + "x", garbage}, std::tuple{"crlf.zip", good + "\r\n", garbage},
          std::tuple{"moved.zip", "stub" + good, moved}}) {
        SCOPED_TRACE(name);
        Build(WriteFile(name, bytes));
        EXPECT_EQ(Items(), expected);
        EXPECT_EQ(crc->Warning, std::string("File \"") + name + "\": " + warning);
    }
    Build(WriteFile("fine.zip", good));
    EXPECT_EQ(crc->Warning, "");

    // An entry to extract (console header) from an archive the zip library will not open: that
    // entry cannot be read, which says nothing against the archive.
    crc->FixedHeader16 = true;
    Build(Root() / "crlf.zip");
    EXPECT_EQ(crc->Count(), 2u);
    crc->FileName = (Root() / "moved.zip").string();
    crc->Clear();
    try {
        crc->Build();
        ADD_FAILURE() << "no exception";
    } catch (const ECrcZipError& e) {
        ADD_FAILURE() << "taken for a damaged archive: " << e.what();
    } catch (const std::exception& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("File \"moved.zip\": ")) << e.what();
    }
    EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(CrcListTest, TheScratchFolderIsTheDefaultTempPath) {
    EXPECT_EQ(crc->TempPath, Root() / "cache/quillmark");
    crc->TempPath = Root() / "elsewhere";
    crc->FixedHeader16 = true;
    Build(Archive("nes.zip", {{"a.nes", std::string(100, 'a')}}));
    EXPECT_EQ(crc->Items(0).Size, 84);
    EXPECT_TRUE(fs::is_directory(Root() / "elsewhere"));
    EXPECT_TRUE(ScratchIsEmpty());
}

}  // namespace
}  // namespace qm::test
