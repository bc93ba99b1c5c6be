#include <gtest/gtest.h>

#include "engine/DatFileUnit.h"
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

// ROM images of a few bytes; their CRCs go into the datafile.
const std::string kA1 = "alpha program";
const std::string kA2 = "alpha graphics";
const std::string kAJ = "alpha japan program";
const std::string kShared = "shared sound";
const std::string kB1 = "beta program";
const std::string kPal = "a pal whose dump is not trusted";

class ScanTest : public test::CollectionTest {
protected:
    void SetUp() override {
        CollectionTest::SetUp();
        LoadDatabase({
            RomLine("alpha", "Alpha", "alpha", "Alpha", "a1.bin", CrcOf(kA1), "N", "O", "13"),
            RomLine("alpha", "Alpha", "alpha", "Alpha", "a2.bin", CrcOf(kA2), "N", "O", "14"),
            RomLine("alpha", "Alpha", "alpha", "Alpha", "snd.bin", CrcOf(kShared), "N", "O", "12"),
            RomLine("alpha", "Alpha", "alphaj", "Alpha (Japan)", "a2.bin", CrcOf(kA2), "N", "N", "14"),
            RomLine("alpha", "Alpha", "alphaj", "Alpha (Japan)", "aj1.bin", CrcOf(kAJ), "N", "O", "19"),
            RomLine("alpha", "Alpha", "alphaj", "Alpha (Japan)", "pal.bin", "00000000", "N", "O", "30"),
            RomLine("beta", "Beta", "beta", "Beta", "b1.bin", CrcOf(kB1), "N", "O", "12"),
            RomLine("beta", "Beta", "beta", "Beta", "snd.bin", CrcOf(kShared), "N", "O", "12"),
            RomLine("gamma", "Gamma", "gamma", "Gamma", "No roms needed", "        ", "N", "O", "0"),
        });
    }

    TFile* File(const std::string& name, std::size_t pathIndex = 0) {
        return paths->Paths()[pathIndex]->FindFile(name);
    }

    std::vector<std::string>& problems = job.Problems;
};

TEST_F(ScanTest, ScanReadsArchivesWritesTheCacheAndReadsItBack) {
    MakeZip(Roms() / "alpha.zip", {{"a1.bin", kA1}, {"a2.bin", kA2}, {"snd.bin", kShared}, {"docs/", ""}});
    MakeZip(Roms() / "Beta.zip", {{"B1.BIN", kB1}});
    paths->AddPath(Roms().string());
    paths->Scan(false, job);

    ASSERT_EQ(paths->Files.size(), 2u);
    EXPECT_EQ(paths->ZipRomsByCrc.size(), 4u);
    TFile* beta = File("Beta.zip");  // the name on disk
    ASSERT_NE(beta, nullptr);
    EXPECT_EQ(beta->Roms[0]->Name, "b1.bin");  // entry names are lower-cased
    EXPECT_EQ(beta->RightName(), "beta.zip");
    EXPECT_EQ(File("alpha.zip")->Clone, games.FindClone("alpha"));

    // Archives in folded byte order, entries as listed; the name on disk is kept.
    const std::string expected = "1.20\r\n" + RomsDir() +
                                 "\r\n\xA4"
                                 "alpha.zip\xA4"
                                 "a1.bin\xA4" +
                                 CrcOf(kA1) + "\xA4\r\n";
    const std::string written = ReadFile(Roms() / "quillmark.dat");
    EXPECT_EQ(written.substr(0, expected.size()), expected);
    EXPECT_NE(written.find("\xA4"
                           "docs/\xA4"
                           "00000000\xA4\r\n"),
              std::string::npos);  // kept in the cache
    EXPECT_NE(written.find("\r\n\xA4"
                           "Beta.zip\xA4"
                           "b1.bin\xA4" +
                           CrcOf(kB1) + "\xA4\r\n"),
              std::string::npos);

    EXPECT_EQ(CloneState(*games.FindClone("alpha")), ItemState::Complete);
    EXPECT_EQ(CloneState(*games.FindClone("alphaj")), ItemState::Incomplete);
    // Statuses go by CRC across the collection: beta's snd.bin is in alpha.zip.
    EXPECT_EQ(CloneState(*games.FindClone("beta")), ItemState::Complete);
    EXPECT_EQ(SetState(*games.FindGame("gamma")), ItemState::Complete);

    // A second scan reads the cache, and the directory tells it what is gone.
    fs::remove(Roms() / "Beta.zip");
    paths->Scan(false, job);
    EXPECT_EQ(paths->Files.size(), 1u);
    EXPECT_EQ(File("alpha.zip")->Roms.size(), 3u);  // the directory entry stays out of the model
    EXPECT_EQ(ReadFile(Roms() / "quillmark.dat").find("Beta.zip"), std::string::npos);
    paths->Scan(true, job);
    EXPECT_EQ(paths->Files.size(), 1u);
    EXPECT_TRUE(problems.empty());
}

TEST_F(ScanTest, CorruptArchivesAreReportedOnceAndSkipped) {
    MakeZip(Roms() / "alpha.zip", {{"a1.bin", kA1}});
    WriteFile("roms/broken.zip", "PK\x03\x04 but nothing else of a zip archive");
    WriteFile("roms/badroms.zip", "ignored whatever it holds");
    std::vector<std::pair<std::string, std::string>> zipErrors;
    const UnreadableArchiveHandler onUnreadable = [&](const std::string& path, const std::string& message) {
        zipErrors.emplace_back(path, message);
    };
    paths->AddPath(Roms().string());
    paths->Scan(false, job, onUnreadable);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0],
              "File " + RomsDir() + "broken.zip: File \"broken.zip\": This archive is not a valid Zip archive");
    ASSERT_EQ(zipErrors.size(), 1u);
    EXPECT_EQ(zipErrors[0].first, RomsDir() + "broken.zip");
    EXPECT_EQ(paths->Files.size(), 1u);
    const std::string written = ReadFile(Roms() / "quillmark.dat");
    EXPECT_EQ(written.find("broken.zip"), std::string::npos);
    EXPECT_EQ(written.find("badroms"), std::string::npos);
}

TEST_F(ScanTest, ManyArchivesAreReadAheadAndTakenInOrder) {
    // Enough archives for the read-ahead workers to start.
    for (int i = 0; i < 200; ++i) {
        const std::string name = "a" + std::to_string(1000 + i);
        if (i == 77) {
            WriteFile("roms/" + name + ".zip", "not a zip");
        } else {
            MakeZip(Roms() / (name + ".zip"), {{name + ".bin", name}});
        }
    }
    std::vector<std::string> zipErrors;
    const UnreadableArchiveHandler onUnreadable = [&](const std::string& path, const std::string&) {
        zipErrors.push_back(path);
    };
    paths->AddPath(Roms().string());
    paths->Scan(false, job, onUnreadable);
    EXPECT_EQ(paths->Files.size(), 199u);
    EXPECT_EQ(zipErrors, std::vector<std::string>{RomsDir() + "a1077.zip"});
    ASSERT_EQ(problems.size(), 1u);
    // The cache lists the archives in directory order.
    const std::string written = ReadFile(Roms() / "quillmark.dat");
    std::size_t last = 0;
    for (int i = 0; i < 200; ++i) {
        if (i == 77) {
            continue;
        }
        const std::size_t at = written.find(
            "\xA4"
            "a" +
            std::to_string(1000 + i) + ".zip\xA4");
        ASSERT_NE(at, std::string::npos) << i;
        EXPECT_GT(at, last);
        last = at;
    }
}

TEST_F(ScanTest, DirectoriesWithoutArchivesLeaveNoCache) {
    WriteFile("roms/badroms.zip", "x");
    fs::create_directories(Roms("empty"));
    paths->AddPath(Roms().string());
    paths->AddPath(Roms("empty").string());
    paths->AddPath(Roms("missing").string());
    paths->Scan(false, job);
    EXPECT_EQ(paths->Files.size(), 0u);
    EXPECT_FALSE(fs::exists(Roms() / "quillmark.dat"));
    EXPECT_FALSE(fs::exists(Roms("empty") / "quillmark.dat"));
}

TEST_F(ScanTest, BrokenOrForeignCachesAreReadAgainFromTheArchives) {
    MakeZip(Roms() / "alpha.zip", {{"a1.bin", kA1}});
    paths->AddPath(Roms().string());
    WriteFile("roms/quillmark.dat", "1.10\r\n" + RomsDir() +
                                        "\r\n\xA4zzz.zip\xA4x.bin\xA4"
                                        "12345678\xA4\r\n");
    paths->Scan(false, job);
    EXPECT_NE(File("alpha.zip"), nullptr);
    EXPECT_EQ(File("zzz.zip"), nullptr);
    // Same version, damaged line: not trusted either.
    WriteFile("roms/quillmark.dat", "1.20\r\n" + RomsDir() + "\r\n\xA4zzz.zip\xA4x.bin\xA4not-crc\xA4\r\n");
    paths->Scan(false, job);
    EXPECT_NE(File("alpha.zip"), nullptr);
    EXPECT_EQ(File("zzz.zip"), nullptr);
    EXPECT_NE(ReadFile(Roms() / "quillmark.dat").find("alpha.zip"), std::string::npos);
}

TEST_F(ScanTest, LetterCaseMakesTwoArchivesAndDuplicatesAcrossDirectories) {
    MakeZip(Roms() / "alpha.zip", {{"a1.bin", kA1}});
    MakeZip(Roms() / "ALPHA.zip", {{"a2.bin", kA2}});
    MakeZip(Roms("more") / "alpha.zip", {{"a1.bin", kA1}});
    MakeZip(Roms("cdrom") / "alpha.zip", {{"a1.bin", kA1}});
    ::setenv("QUILLMARK_TEST_READONLY_DIRS", Roms("cdrom").c_str(), 1);
    paths->AddPath(Roms().string());
    paths->AddPath(Roms("more").string());
    paths->AddPath(Roms("cdrom").string());
    paths->AddPath(Roms().string() + "/");  // the same directory again is ignored
    EXPECT_EQ(paths->Paths().size(), 3u);
    paths->Scan(false, job);
    EXPECT_EQ(paths->Files.size(), 4u);
    EXPECT_NE(File("ALPHA.zip"), File("alpha.zip"));
    EXPECT_FALSE(File("alpha.zip")->DuplicateName);
    EXPECT_TRUE(File("alpha.zip", 1)->DuplicateName);
    EXPECT_FALSE(File("alpha.zip", 2)->DuplicateName);  // read-only media never
    EXPECT_EQ(paths->WritablePathFor("alpha.zip"), paths->Paths()[0].get());
    EXPECT_EQ(paths->PathHolding("alpha.zip"), paths->Paths()[2].get());
    EXPECT_EQ(paths->PathHolding("nothing.zip"), paths->Paths()[0].get());
    auto [from, to] = paths->Files.EqualRange("alpha.zip");
    EXPECT_EQ(to - from, 3);
    // No cache on the read-only medium, and none in the data directory unless one exists there.
    EXPECT_FALSE(fs::exists(Roms("cdrom") / "quillmark.dat"));
    EXPECT_FALSE(fs::exists(DataDir() / "quillmark0.dat"));
}

TEST_F(ScanTest, ReadOnlyMediaKeepTheirCacheInTheDataDirectory) {
    MakeZip(Roms("cdrom") / "beta.zip", {{"b1.bin", kB1}});
    ::setenv("QUILLMARK_TEST_READONLY_DIRS", Roms("cdrom").c_str(), 1);
    WriteFile("datas/quillmark0.dat", "1.20\r\n/some/other/dir/\r\n");
    paths->AddPath(Roms("cdrom").string());
    paths->Scan(false, job);
    const std::string written = ReadFile(DataDir() / "quillmark1.dat");
    EXPECT_EQ(written.substr(0, 6 + RomsDir("cdrom").size() + 2), "1.20\r\n" + RomsDir("cdrom") + "\r\n");
    paths->Scan(false, job);
    EXPECT_NE(File("beta.zip"), nullptr);
    // A directory left without archives leaves no cache behind.
    fs::remove(Roms("cdrom") / "beta.zip");
    paths->Scan(false, job);
    EXPECT_EQ(File("beta.zip"), nullptr);
    EXPECT_FALSE(fs::exists(DataDir() / "quillmark1.dat"));
    EXPECT_TRUE(fs::exists(DataDir() / "quillmark0.dat"));  // another directory's
}

TEST_F(ScanTest, MatchingDecidesTheCloneByUniqueRomsThenByName) {
    // Named after alpha, but its first decisive ROM belongs to alphaj only.
    MakeZip(Roms() / "alpha.zip", {{"aj1.bin", kAJ}, {"snd.bin", kShared}});
    // Only shared ROMs and a name that is no clone: the first clone of the first such ROM.
    MakeZip(Roms() / "whatever.zip", {{"x.bin", kShared}, {"y.bin", kA2}});
    // Outside the selection once alpha is hidden.
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"junk.bin", "junk"}});
    paths->AddPath(Roms().string());
    paths->Scan(false, job);
    EXPECT_EQ(File("alpha.zip")->Clone, games.FindClone("alphaj"));
    EXPECT_EQ(File("alpha.zip")->RightName(), "alpha.zip");
    paths->SplitMode = true;
    EXPECT_EQ(File("alpha.zip")->RightName(), "alphaj.zip");
    paths->SplitMode = false;
    // Both ROMs are shared; alpha is the first clone of either.
    EXPECT_EQ(File("whatever.zip")->Clone, games.FindClone("alpha"));
    const TFile* beta = File("beta.zip");
    EXPECT_FALSE(beta->FindRom("b1.bin")->Unknown);
    EXPECT_TRUE(beta->FindRom("junk.bin")->Unknown);
    EXPECT_TRUE(beta->FindRom("b1.bin")->IsNeeded());
    EXPECT_TRUE(beta->FindRom("b1.bin")->HasRightName());
    EXPECT_FALSE(beta->FindRom("junk.bin")->IsNeeded());

    subList->MainGamesOnly = true;
    subList->WithoutNeoGeo = false;
    games.FindGame("beta")->NeoGeo = true;
    subList->WithoutNeoGeo = true;
    subList->Rebuild();
    paths->Scan(false, job);
    const TFile* hidden = File("beta.zip");
    EXPECT_EQ(hidden->Clone, nullptr);
    EXPECT_EQ(hidden->RightName(), "");
    EXPECT_TRUE(hidden->FindRom("b1.bin")->Unknown);
}

TEST_F(ScanTest, ComplementedAndNoGoodDumpEntries) {
    const std::string complement = ComplementCrc(CrcOf(kA1));
    WriteFile("roms/alphaj.bin", "");  // not an archive: never scanned
    MakeZip(Roms() / "alphaj.zip", {{"aj1.bin", kAJ}, {"pal.bin", "any bytes at all"}});
    paths->AddPath(Roms().string());
    paths->Scan(false, job);
    TZipRom* pal = File("alphaj.zip")->FindRom("pal.bin");
    EXPECT_EQ(pal->NameRom, games.FindClone("alphaj")->FindCloneRom("pal.bin"));
    EXPECT_FALSE(pal->Unknown);
    EXPECT_EQ(pal->NameRom->Status, rsPresent);
    EXPECT_EQ(CloneState(*games.FindClone("alphaj")), ItemState::Incomplete);  // a2.bin missing

    // Entries of the cache can carry any CRC: a complemented one and 00000000.
    TFile* file = File("alphaj.zip");
    TZipRom* bad = file->AddRom("a1.bin", complement);
    TZipRom* zero = file->AddRom("other.bin", "00000000");
    file->Analyse();
    EXPECT_EQ(bad->ComplementRom, games.FindRom(CrcOf(kA1)));
    EXPECT_EQ(bad->CrcKind, 1);
    EXPECT_TRUE(bad->SpecialCrc);
    EXPECT_FALSE(bad->Unknown);
    EXPECT_EQ(zero->CrcKind, 2);
    EXPECT_EQ(zero->ComplementRom, nullptr);
    EXPECT_TRUE(zero->Unknown);
}

TEST_F(ScanTest, ModelEditsKeepTheIndexesInStep) {
    MakeZip(Roms() / "alpha.zip", {{"a1.bin", kA1}, {"a2.bin", kA2}});
    paths->AddPath(Roms().string());
    paths->Scan(false, job);
    TFile* alpha = File("alpha.zip");
    TZipRom* a1 = alpha->FindRom("a1.bin");
    alpha->RemoveRom(a1);
    EXPECT_EQ(paths->ZipRomsByCrc.size(), 1u);
    EXPECT_EQ(paths->ZipRomsByCrc.Sorted().size(), 1u);
    alpha->AddRom("A3.bin", "DEADBEEF");
    EXPECT_EQ(alpha->FindRom("A3.bin")->Crc, "deadbeef");
    auto [from, to] = paths->ZipRomsByName.EqualRange("A3.bin");
    EXPECT_EQ(to - from, 1);
    alpha->FindRom("A3.bin")->SetName("a3.bin");
    EXPECT_EQ(paths->ZipRomsByName.EqualRange("a3.bin").second - paths->ZipRomsByName.EqualRange("a3.bin").first, 1);
    EXPECT_TRUE(alpha->SetName("zeta.zip"));
    EXPECT_EQ(paths->Paths()[0]->FindFile("alpha.zip"), nullptr);
    EXPECT_EQ(paths->Paths()[0]->FindFile("zeta.zip"), alpha);
    EXPECT_EQ(paths->Files.Sorted().back(), alpha);
    paths->Paths()[0]->RemoveFile(alpha);
    EXPECT_EQ(paths->Files.size(), 0u);
    EXPECT_EQ(paths->ZipRomsByCrc.size(), 0u);
}

TEST_F(ScanTest, ArchivesWithStrayBytesAroundThemAreScannedWithAProblemLine) {
    MakeZip(Roms() / "alpha.zip", {{"a1.bin", kA1}, {"a2.bin", kA2}, {"snd.bin", kShared}});
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}, {"snd.bin", kShared}});
    WriteFile("roms/alpha.zip", ReadFile(Roms() / "alpha.zip") + "\r\n");
    WriteFile("roms/beta.zip", "a self-extractor stub" + ReadFile(Roms() / "beta.zip"));
    std::vector<std::string> zipErrors;
    const UnreadableArchiveHandler onUnreadable = [&](const std::string& path, const std::string&) {
        zipErrors.push_back(path);
    };
    paths->AddPath(Roms().string());
    paths->Scan(false, job, onUnreadable);
    EXPECT_EQ(problems,
              (std::vector<std::string>{
                  "File " + RomsDir() + "alpha.zip: File \"alpha.zip\": Warning - Garbage at the end of the zipfile!",
                  "File " + RomsDir() + "beta.zip: File \"beta.zip\": Warning - Error in zip structure!"}));
    EXPECT_TRUE(zipErrors.empty());  // never taken for damaged archives
    EXPECT_EQ(CloneState(*games.FindClone("alpha")), ItemState::Complete);
    EXPECT_EQ(CloneState(*games.FindClone("beta")), ItemState::Complete);
    const std::string written = ReadFile(Roms() / "quillmark.dat");
    EXPECT_NE(written.find("\xA4"
                           "beta.zip\xA4"
                           "b1.bin\xA4"),
              std::string::npos);
}

}  // namespace
}  // namespace qm
