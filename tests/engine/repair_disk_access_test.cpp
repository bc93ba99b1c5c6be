#include <gtest/gtest.h>

#include <cstdlib>

#include "archive/crc32.h"
#include "engine/DatFileUnit.h"
#include "engine/RepairDiskAccess.h"
#include "engine/RomsFiles.h"
#include "game_db/GamesList.h"
#include "game_db/SubList.h"
#include "support/CollectionFixture.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::CrcOf;
using test::MakeZip;
using test::RomLine;

const std::string kA = "first rom image";
const std::string kB = "second rom image";
const std::string kC = "third rom image";

// A scanned directory with one archive, and the disk operations on it.
class DiskAccessTest : public test::CollectionTest {
protected:
    void SetUp() override {
        CollectionTest::SetUp();
        LoadDatabase({
            RomLine("set", "Set", "set", "Set", "a.bin", CrcOf(kA), "N", "O", "15"),
            RomLine("set", "Set", "set", "Set", "b.bin", CrcOf(kB), "N", "O", "16"),
        });
        disk = std::make_unique<TRepairDiskAccess>(*cache, Root() / "scratch");
        fs::create_directories(Root() / "scratch");
        MakeZip(Roms() / "set.zip", {{"a.bin", kA}, {"wrong.bin", kB}, {"c.bin", kC}});
        paths->AddPath(Roms().string());
        paths->Scan(false, job);
        file = paths->Paths()[0]->FindFile("set.zip");
        ASSERT_NE(file, nullptr);
    }

    // The cache lines of the directory as the next scan would read them.
    std::string CacheText() {
        cache->Flush();
        return fs::exists(Roms() / "quillmark.dat") ? ReadFile(Roms() / "quillmark.dat") : std::string("<none>");
    }

    static std::string Line(const std::string& archive, const std::string& entry, const std::string& crc) {
        return "\xA4" + archive + "\xA4" + entry + "\xA4" + crc + "\xA4\r\n";
    }

    std::unique_ptr<TRepairDiskAccess> disk;
    TFile* file = nullptr;
};

TEST_F(DiskAccessTest, RenameInPlaceKeepsDataAndMovesTheCacheLine) {
    TZipRom* wrong = file->FindRom("wrong.bin");
    disk->RenameRomInZip(*wrong, "b.bin");
    wrong->SetName("b.bin");
    EXPECT_EQ(test::ArchiveListing(Roms() / "set.zip"),
              (std::map<std::string, std::string>{{"a.bin", CrcOf(kA)}, {"b.bin", CrcOf(kB)}, {"c.bin", CrcOf(kC)}}));
    const std::string text = CacheText();
    EXPECT_EQ(text.find("wrong.bin"), std::string::npos);
    // The renamed entry's line now opens the archive's lines.
    EXPECT_NE(text.find("\r\n" + Line("set.zip", "b.bin", CrcOf(kB)) + Line("set.zip", "a.bin", CrcOf(kA))),
              std::string::npos)
        << text;
    paths->Scan(false, job);
    EXPECT_NE(paths->Paths()[0]->FindFile("set.zip")->FindRom("b.bin"), nullptr);
}

TEST_F(DiskAccessTest, RenameOntoAnExistingNameReplacesThatEntry) {
    TZipRom* c = file->FindRom("c.bin");
    disk->RenameRomInZip(*c, "a.bin");
    EXPECT_EQ(test::ArchiveListing(Roms() / "set.zip"),
              (std::map<std::string, std::string>{{"a.bin", CrcOf(kC)}, {"wrong.bin", CrcOf(kB)}}));
    const std::string text = CacheText();
    EXPECT_EQ(text.find("c.bin"), std::string::npos);
    EXPECT_EQ(text.find(Line("set.zip", "a.bin", CrcOf(kA))), std::string::npos);  // the replaced one
    EXPECT_NE(text.find(Line("set.zip", "a.bin", CrcOf(kC))), std::string::npos);
    EXPECT_TRUE(disk->ExtractedFile().empty() || disk->ExtractedFile() == "a.bin");
    disk->CleanExtracted();
    EXPECT_TRUE(fs::is_empty(Root() / "scratch"));
}

TEST_F(DiskAccessTest, AddMoveAndDeleteEntries) {
    TZipRom* a = file->FindRom("a.bin");
    const fs::path other = Roms() / "other.zip";
    disk->AddRomToZip(*a, other, "copy.bin");
    EXPECT_EQ(disk->ExtractedRom(), a);
    // A second operation on the same entry reuses the extracted file.
    const fs::path extracted = Root() / "scratch" / disk->ExtractedFile();
    EXPECT_TRUE(fs::exists(extracted));
    disk->MoveRomToZip(*a, Roms() / "third.zip", "a.bin");
    disk->CleanExtracted();
    EXPECT_FALSE(fs::exists(extracted));
    EXPECT_EQ(test::ArchiveListing(other), (std::map<std::string, std::string>{{"copy.bin", CrcOf(kA)}}));
    EXPECT_EQ(test::ArchiveListing(Roms() / "third.zip"), (std::map<std::string, std::string>{{"a.bin", CrcOf(kA)}}));
    EXPECT_EQ(test::ArchiveListing(Roms() / "set.zip").count("a.bin"), 0u);
    const std::string text = CacheText();
    EXPECT_NE(text.find(Line("other.zip", "copy.bin", CrcOf(kA))), std::string::npos);
    EXPECT_NE(text.find(Line("third.zip", "a.bin", CrcOf(kA))), std::string::npos);
    EXPECT_EQ(text.find(Line("set.zip", "a.bin", CrcOf(kA))), std::string::npos);

    disk->DeleteRomFromZip(*file->FindRom("c.bin"));
    EXPECT_EQ(test::ArchiveListing(Roms() / "set.zip"), (std::map<std::string, std::string>{{"wrong.bin", CrcOf(kB)}}));
    EXPECT_EQ(CacheText().find("c.bin"), std::string::npos);
}

TEST_F(DiskAccessTest, WholeArchives) {
    MakeZip(Roms() / "spare.zip", {{"x.bin", kC}});
    paths->Scan(true, job);
    TPath& dir = *paths->Paths()[0];
    disk->RenameZipFile(*dir.FindFile("set.zip"), Roms() / "spare.zip");  // taken: nothing happens
    EXPECT_TRUE(fs::exists(Roms() / "set.zip"));
    EXPECT_EQ(test::ArchiveListing(Roms() / "spare.zip").size(), 1u);
    disk->RenameZipFile(*dir.FindFile("set.zip"), Roms() / "Renamed.zip");
    EXPECT_TRUE(fs::exists(Roms() / "Renamed.zip"));
    std::string text = CacheText();
    EXPECT_NE(text.find("\xA4Renamed.zip\xA4"
                        "a.bin\xA4" +
                        CrcOf(kA) + "\xA4\xA4\xA4\r\n"),
              std::string::npos);

    disk->MoveZipFile(*dir.FindFile("spare.zip"), Root() / "elsewhere.zip");
    EXPECT_TRUE(fs::exists(Root() / "elsewhere.zip"));
    EXPECT_EQ(CacheText().find("spare.zip"), std::string::npos);
    dir.FindFile("set.zip")->SetName("Renamed.zip");
    disk->DeleteZipFile(*dir.FindFile("Renamed.zip"));
    EXPECT_FALSE(fs::exists(Roms() / "Renamed.zip"));
    EXPECT_EQ(CacheText().find("Renamed.zip"), std::string::npos);
}

TEST_F(DiskAccessTest, AFailedChangeLeavesNoCacheThatCouldLie) {
    TZipRom* a = file->FindRom("a.bin");
    a->Name = "../escape.bin";  // as a hostile archive could name it
    EXPECT_THROW(disk->ExtractRom(*a), EExtractRomError);
    EXPECT_FALSE(fs::exists(Root() / "escape.bin"));
    a->Name = "a.bin";
    // The archive disappears behind our back: the delete fails, and the cache of the directory
    // is not written again from a copy that no longer matches.
    fs::remove(Roms() / "set.zip");
    EXPECT_THROW(disk->DeleteRomFromZip(*file->FindRom("c.bin")), EDeleteRomError);
    EXPECT_EQ(CacheText(), "<none>");
    paths->Scan(false, job);
    EXPECT_EQ(paths->Files.size(), 0u);
}

TEST_F(DiskAccessTest, OneNameTwiceInAnArchiveIsTwoEntries) {
    // libzip refuses to write such an archive; Python's zipfile writes one (with a warning).
    const fs::path dup = Roms() / "dup.zip";
    const std::string script =
        "import zipfile, warnings; warnings.simplefilter('ignore'); "
        "z = zipfile.ZipFile('" +
        dup.string() +
        "', 'w'); "
        "z.writestr('x.bin', '" +
        kA + "'); z.writestr('x.bin', '" + kB + "'); z.close()";
    ASSERT_EQ(std::system(("python3 -c \"" + script + "\"").c_str()), 0);
    paths->Scan(true, job);
    TFile* archive = paths->Paths()[0]->FindFile("dup.zip");
    ASSERT_EQ(archive->Roms.size(), 2u);
    TZipRom* second = archive->Roms[0]->Crc == CrcOf(kB) ? archive->Roms[0] : archive->Roms[1];
    ASSERT_EQ(second->Crc, CrcOf(kB));
    disk->ExtractRom(*second);
    EXPECT_EQ(ReadFile(Root() / "scratch/x.bin"), kB);
    disk->CleanExtracted();
    disk->DeleteRomFromZip(*second);
    EXPECT_EQ(test::ArchiveListing(dup), (std::map<std::string, std::string>{{"x.bin", CrcOf(kA)}}));
    const std::string text = CacheText();
    EXPECT_NE(text.find(Line("dup.zip", "x.bin", CrcOf(kA))), std::string::npos);
    EXPECT_EQ(text.find(Line("dup.zip", "x.bin", CrcOf(kB))), std::string::npos);
}

TEST(EntryPaths, OnlyPathsThatStayInsideTheFolderAreSafe) {
    EXPECT_TRUE(IsSafeEntryPath("a.bin"));
    EXPECT_TRUE(IsSafeEntryPath("dir/sub/a.bin"));
    EXPECT_TRUE(IsSafeEntryPath("..a.bin"));
    EXPECT_FALSE(IsSafeEntryPath(""));
    EXPECT_FALSE(IsSafeEntryPath("../a.bin"));
    EXPECT_FALSE(IsSafeEntryPath("dir\\..\\..\\a.bin"));
    EXPECT_FALSE(IsSafeEntryPath("/etc/passwd"));
    EXPECT_FALSE(IsSafeEntryPath("c:evil"));
    EXPECT_FALSE(IsSafeEntryPath(std::string("a\0b", 3)));
}

TEST_F(DiskAccessTest, EntriesAreExtractedFromAnArchiveWithStrayBytesAfterItsEnd) {
    WriteFile("roms/set.zip", ReadFile(Roms() / "set.zip") + "\r\n");
    disk->ExtractRom(*file->FindRom("a.bin"));
    EXPECT_EQ(ReadFile(Root() / "scratch" / disk->ExtractedFile()), kA);
    disk->CleanExtracted();
}

}  // namespace
}  // namespace qm
