#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include "engine/DatFileUnit.h"
#include "engine/RomsFiles.h"
#include "platform/DirectoryLock.h"
#include "platform/Platform.h"
#include "support/CollectionFixture.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::CrcOf;
using test::MakeZip;
using test::RomLine;

const std::string kA1 = "alpha program";
const std::string kA2 = "alpha graphics";
const std::string kB1 = "beta program";
const std::string kZ1 = "zeta one";
const std::string kZ2 = "zeta two";
const std::string kZ3 = "zeta three";
const std::string D(1, '\xA4');

std::string Line(std::string_view archive, std::string_view entry, std::string_view crc) {
    return D + std::string(archive) + D + std::string(entry) + D + std::string(crc) + D + "\r\n";
}

timespec Changed(const fs::path& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return EarlierThan(st.st_mtim, st.st_ctim) ? st.st_ctim : st.st_mtim;
}

timespec Modified(const fs::path& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_mtim;
}

void SetModified(const fs::path& file, const timespec& time) {
    const timespec times[2] = {{0, UTIME_OMIT}, time};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

class CacheCheckTest : public test::CollectionTest {
protected:
    void SetUp() override {
        CollectionTest::SetUp();
        LoadDatabase({
            RomLine("alpha", "Alpha", "alpha", "Alpha", "a1.bin", CrcOf(kA1), "N", "O", "13"),
            RomLine("alpha", "Alpha", "alpha", "Alpha", "a2.bin", CrcOf(kA2), "N", "O", "14"),
            RomLine("beta", "Beta", "beta", "Beta", "b1.bin", CrcOf(kB1), "N", "O", "12"),
        });
        cache->LockWait = 100ms;
    }

    // alpha.zip, beta.zip and zeta.zip (three entries, the last archive of the cache), scanned.
    void ScanThreeArchives() {
        MakeZip(Roms() / "alpha.zip", {{"a1.bin", kA1}});
        MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}});
        MakeZip(Roms() / "zeta.zip", {{"z1.bin", kZ1}, {"z2.bin", kZ2}, {"z3.bin", kZ3}});
        paths->AddPath(Roms().string());
        paths->Scan(false, job);
        full = CacheText();
        ASSERT_EQ(full, Header() + Line("alpha.zip", "a1.bin", CrcOf(kA1)) + Line("beta.zip", "b1.bin", CrcOf(kB1)) +
                            Line("zeta.zip", "z1.bin", CrcOf(kZ1)) + Line("zeta.zip", "z2.bin", CrcOf(kZ2)) +
                            Line("zeta.zip", "z3.bin", CrcOf(kZ3)));
    }

    fs::path CacheFile() const { return Roms() / "quillmark.dat"; }
    std::string CacheText() const { return ReadFile(CacheFile()); }
    std::string Header() const { return "1.20\r\n" + RomsDir() + "\r\n"; }
    // A cache as a user or a damaged disk left it, dated a little after every archive.
    void PlantCache(const std::string& text) {
        WriteFile(CacheFile().lexically_relative(Root()), text);
        timespec soon = FileClockNow();
        soon.tv_nsec += 500'000'000;
        if (soon.tv_nsec >= 1'000'000'000) {
            soon.tv_nsec -= 1'000'000'000;
            soon.tv_sec += 1;
        }
        SetModified(CacheFile(), soon);
    }
    TFile* File(const std::string& name) const { return paths->Paths()[0]->FindFile(name); }
    std::vector<std::string> Entries(const std::string& archive) const {
        std::vector<std::string> names;
        if (const TFile* file = File(archive)) {
            for (const TZipRom* entry : file->Roms) {
                names.push_back(entry->Name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> FileNames() const {
        std::vector<std::string> names;
        for (const TFile* file : paths->Paths()[0]->Files()) {
            names.push_back(file->Name);
        }
        return names;
    }

    std::vector<std::string>& problems = job.Problems;
    std::string full;
};

TEST_F(CacheCheckTest, ArchivesGoneNewOrChangedSinceTheCacheAreSeen) {
    ScanThreeArchives();
    fs::remove(Roms() / "beta.zip");
    MakeZip(Roms() / "new.zip", {{"b1.bin", kB1}});
    // Replaced by a copy that kept an old modification time: the status-change time tells.
    MakeZip(Roms() / "alpha.zip", {{"a1.bin", kA1}, {"a2.bin", kA2}});
    SetModified(Roms() / "alpha.zip", timespec{1'000'000'000, 0});
    paths->Scan(false, job);

    EXPECT_EQ(FileNames(), (std::vector<std::string>{"alpha.zip", "new.zip", "zeta.zip"}));  // directory order
    EXPECT_EQ(Entries("alpha.zip"), (std::vector<std::string>{"a1.bin", "a2.bin"}));
    EXPECT_EQ(CloneState(*games.FindClone("alpha")), ItemState::Complete);
    EXPECT_EQ(CacheText(), Header() + Line("alpha.zip", "a1.bin", CrcOf(kA1)) +
                               Line("alpha.zip", "a2.bin", CrcOf(kA2)) + Line("new.zip", "b1.bin", CrcOf(kB1)) +
                               Line("zeta.zip", "z1.bin", CrcOf(kZ1)) + Line("zeta.zip", "z2.bin", CrcOf(kZ2)) +
                               Line("zeta.zip", "z3.bin", CrcOf(kZ3)));
    EXPECT_TRUE(problems.empty());

    // Every archive gone: no cache is left to tell of them.
    for (const char* name : {"alpha.zip", "new.zip", "zeta.zip"}) {
        fs::remove(Roms() / name);
    }
    paths->Scan(false, job);
    EXPECT_EQ(paths->Files.size(), 0u);
    EXPECT_FALSE(fs::exists(CacheFile()));
}

TEST_F(CacheCheckTest, UnchangedArchivesAreBelievedWithoutBeingRead) {
    ScanThreeArchives();
    // What the cache says of alpha.zip is taken as it is (the archive is not opened)...
    const std::string ghost = Header() + Line("alpha.zip", "ghost.bin", CrcOf(kA2)) +
                              Line("beta.zip", "b1.bin", CrcOf(kB1)) + Line("zeta.zip", "z1.bin", CrcOf(kZ1)) +
                              Line("zeta.zip", "z2.bin", CrcOf(kZ2)) + Line("zeta.zip", "z3.bin", CrcOf(kZ3));
    PlantCache(ghost);
    const timespec planted = Modified(CacheFile());
    paths->Scan(false, job);
    EXPECT_EQ(Entries("alpha.zip"), std::vector<std::string>{"ghost.bin"});
    EXPECT_EQ(Entries("zeta.zip"), (std::vector<std::string>{"z1.bin", "z2.bin", "z3.bin"}));
    // ...and a cache that the check found true is not written again.
    EXPECT_EQ(CacheText(), ghost);
    EXPECT_TRUE(SameTime(Modified(CacheFile()), planted));

    // An archive changed at the very time of the cache is read again; one just before is not.
    PlantCache(Header() + Line("alpha.zip", "ghost.bin", CrcOf(kA2)) + Line("beta.zip", "ghost.bin", CrcOf(kA2)) +
               Line("zeta.zip", "z1.bin", CrcOf(kZ1)) + Line("zeta.zip", "z2.bin", CrcOf(kZ2)) +
               Line("zeta.zip", "z3.bin", CrcOf(kZ3)));
    const timespec beta = Changed(Roms() / "beta.zip");
    SetModified(CacheFile(), beta);
    ASSERT_TRUE(EarlierThan(Changed(Roms() / "alpha.zip"), beta) ||
                SameTime(Changed(Roms() / "alpha.zip"), beta));  // made first
    if (SameTime(Changed(Roms() / "alpha.zip"), beta)) {
        GTEST_SKIP() << "the archives carry the same time on this file system";
    }
    paths->Scan(false, job);
    EXPECT_EQ(Entries("alpha.zip"), std::vector<std::string>{"ghost.bin"});
    EXPECT_EQ(Entries("beta.zip"), std::vector<std::string>{"b1.bin"});
    EXPECT_NE(CacheText().find(Line("beta.zip", "b1.bin", CrcOf(kB1))), std::string::npos);
}

TEST_F(CacheCheckTest, ArchivesTouchedButUnchangedStayAsCachedAndTheCacheIsRedated) {
    MakeZip(Roms() / "alpha.zip", {{"a1.bin", kA1}});
    MakeZip(Roms() / "beta.zip", {{"b1.bin", kB1}});
    WriteFile("roms/beta.zip", ReadFile(Roms() / "beta.zip") + "\r\n");  // read with a warning
    paths->AddPath(Roms().string());
    paths->Scan(false, job);
    ASSERT_EQ(problems.size(), 1u);
    problems.clear();
    const std::string text = CacheText();
    // Every archive now looks changed since the cache was written.
    SetModified(CacheFile(), timespec{1'000'000'000, 0});
    paths->Scan(false, job);
    EXPECT_TRUE(problems.empty());  // beta.zip's warning was shown when it was first read
    EXPECT_EQ(Entries("beta.zip"), std::vector<std::string>{"b1.bin"});
    EXPECT_EQ(CacheText(), text);
    EXPECT_TRUE(EarlierThan(timespec{1'000'000'000, 0}, Modified(CacheFile())));
}

TEST_F(CacheCheckTest, ACacheCutShortHidesNothing) {
    ScanThreeArchives();
    const std::size_t z2 = full.find(Line("zeta.zip", "z2.bin", CrcOf(kZ2)));
    const std::vector<std::pair<std::string, std::string>> cuts = {
        {"at a line end inside the last archive", full.substr(0, z2)},
        {"after the last archive's first line, without its line end", full.substr(0, z2 - 2)},
        {"inside a line", full.substr(0, z2 + 5)},
        {"after the header", Header()},
        {"after the version line", "1.20\r\n"},
        {"at nothing at all", ""},
    };
    for (const auto& [where, text] : cuts) {
        PlantCache(text);
        paths->Scan(false, job);
        EXPECT_EQ(Entries("zeta.zip"), (std::vector<std::string>{"z1.bin", "z2.bin", "z3.bin"})) << where;
        EXPECT_EQ(paths->Files.size(), 3u) << where;
        EXPECT_EQ(CacheText(), full) << where;
    }
    EXPECT_TRUE(problems.empty());
}

TEST_F(CacheCheckTest, ALineNoScanWritesThrowsTheCacheAway) {
    ScanThreeArchives();
    MakeZip(Root() / "outside/p.zip", {{"a2.bin", kA2}});
    const std::vector<std::string> damaged = {
        Line("../../outside/p.zip", "a2.bin", CrcOf(kA2)),
        Line(Root().string() + "/outside/p.zip", "a2.bin", CrcOf(kA2)),
        Line("..", "a2.bin", CrcOf(kA2)),
        Line("notes.txt", "a2.bin", CrcOf(kA2)),
        Line("alpha.zip", "../../etc/passwd", CrcOf(kA2)),
        Line("alpha.zip", "/etc/passwd", CrcOf(kA2)),
        Line("alpha.zip", "sub\\..\\..\\x.bin", CrcOf(kA2)),
        Line("alpha.zip", "", CrcOf(kA2)),
        Line("alpha.zip", "a2.bin", "ABCDEF12"),
        Line("alpha.zip", "a2.bin", "1234567"),
        D + "alpha.zip" + D + "a2.bin" + D + CrcOf(kA2) + "\r\n",
        "a stray line\r\n",
    };
    for (const std::string& line : damaged) {
        PlantCache(Header() + line + full.substr(Header().size()));
        paths->Scan(false, job);
        EXPECT_EQ(FileNames(), (std::vector<std::string>{"alpha.zip", "beta.zip", "zeta.zip"})) << line;
        EXPECT_EQ(Entries("alpha.zip"), std::vector<std::string>{"a1.bin"}) << line;
        EXPECT_EQ(CacheText(), full) << line;
    }
    EXPECT_TRUE(fs::exists(Root() / "outside/p.zip"));
    // The form a renamed archive's lines take is a scan's own.
    const std::string renamed = Header() + D + "alpha.zip" + D + "a1.bin" + D + CrcOf(kA1) + D + D + D + "\r\n" +
                                full.substr(Header().size() + Line("alpha.zip", "a1.bin", CrcOf(kA1)).size());
    PlantCache(renamed);
    paths->Scan(false, job);
    EXPECT_EQ(CacheText(), renamed);
}

TEST_F(CacheCheckTest, UnreadableArchivesAndUnwritableNamesAreProblemsAtEveryScan) {
    MakeZip(Roms() / "alpha.zip", {{"a1.bin", kA1}});
    WriteFile("roms/broken.zip", "PK\x03\x04 and nothing of a zip archive");
    MakeZip(Roms() / "delimiter.zip", {{"a\xA4.bin", kA2}});
    MakeZip(Roms() / "lines.zip", {{"two\nlines.bin", kB1}});
    MakeZip(Roms() / "escape.zip", {{"../escape.bin", kB1}});
    MakeZip(Roms() / "caf\xA4.zip", {{"a2.bin", kA2}});
    paths->AddPath(Roms().string());
    const std::vector<std::string> expected = {
        "File " + RomsDir() + "broken.zip: File \"broken.zip\": This archive is not a valid Zip archive",
        "File " + RomsDir() +
            "caf\xA4.zip: its name cannot be kept in the directory cache; it is read again at every scan",
        "File " + RomsDir() +
            "delimiter.zip: entry \"a\xA4.bin\" cannot be kept in the directory cache; it is read again at every scan",
        "File " + RomsDir() +
            "escape.zip: entry \"../escape.bin\" cannot be kept in the directory cache; it is read again at every scan",
        "File " + RomsDir() +
            "lines.zip: entry \"two\\nlines.bin\" cannot be kept in the directory cache; it is read again at every "
            "scan",
    };
    for (int round = 0; round < 2; ++round) {
        paths->Scan(false, job);
        EXPECT_EQ(problems, expected) << round;
        problems.clear();
        // Whatever could not be cached is still in the picture, and the rest is cached.
        EXPECT_EQ(paths->Files.size(), 5u);
        EXPECT_EQ(Entries("delimiter.zip"), std::vector<std::string>{"a\xA4.bin"});
        EXPECT_EQ(CacheText(), "1.20\r\n" + RomsDir() + "\r\n" + Line("alpha.zip", "a1.bin", CrcOf(kA1)));
        EXPECT_EQ(CloneState(*games.FindClone("alpha")), ItemState::Complete);
    }
}

TEST_F(CacheCheckTest, DirectoriesThatCannotBeReadAreProblemsNotEmptyDirectories) {
    MakeZip(Roms() / "alpha.zip", {{"a1.bin", kA1}, {"a2.bin", kA2}});
    MakeZip(Roms("cdrom") / "beta.zip", {{"b1.bin", kB1}});
    WriteFile("datas/quillmark0.dat", "1.20\r\n/some/other/dir/\r\n");
    WriteFile("file", "not a directory");
    fs::create_symlink(Root() / "loop", Root() / "loop");
    ::setenv("QUILLMARK_TEST_READONLY_DIRS", Roms("cdrom").c_str(), 1);
    paths->AddPath(Roms().string());
    paths->AddPath(Roms("cdrom").string());
    paths->AddPath((Root() / "missing").string());
    paths->AddPath((Root() / "file").string());
    paths->AddPath((Root() / "loop").string());
    paths->Scan(false, job);
    EXPECT_EQ(paths->ScannedPaths(), 2u);
    EXPECT_EQ(problems,
              (std::vector<std::string>{
                  "Directory " + (Root() / "missing").string() + "/ cannot be read: No such file or directory",
                  "Directory " + (Root() / "file").string() + "/ cannot be read: Not a directory",
                  "Directory " + (Root() / "loop").string() + "/ cannot be read: Too many levels of symbolic links"}));
    ASSERT_TRUE(fs::exists(DataDir() / "quillmark1.dat"));
    const std::string cdromCache = ReadFile(DataDir() / "quillmark1.dat");

    // The medium taken out: its sets are not shown as present, and its cache waits for it.
    problems.clear();
    fs::rename(Roms("cdrom"), Root() / "away");
    paths->Scan(false, job);
    EXPECT_EQ(paths->ScannedPaths(), 1u);
    EXPECT_EQ(problems.front(), "Directory " + RomsDir("cdrom") + " cannot be read: No such file or directory");
    EXPECT_EQ(paths->Files.size(), 1u);
    EXPECT_EQ(CloneState(*games.FindClone("beta")), ItemState::Empty);
    EXPECT_EQ(ReadFile(DataDir() / "quillmark1.dat"), cdromCache);
    fs::rename(Root() / "away", Roms("cdrom"));
    paths->Scan(false, job);
    EXPECT_EQ(CloneState(*games.FindClone("beta")), ItemState::Complete);
}

TEST_F(CacheCheckTest, ACacheThatCannotBeWrittenIsCountedAndTheScanStillSeesEverything) {
    MakeZip(Roms() / "alpha.zip", {{"a1.bin", kA1}});
    fs::create_directories(CacheFile());  // in the way of every write
    paths->AddPath(Roms().string());
    paths->Scan(false, job);
    EXPECT_EQ(paths->CacheWriteFailures, 1);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_TRUE(problems[0].starts_with("Cache not written: " + CacheFile().string() + ": cannot replace: "))
        << problems[0];
    EXPECT_EQ(paths->Files.size(), 1u);
    EXPECT_EQ(ListFiles(Roms(), "*"), std::vector<std::string>{"alpha.zip"});  // no temporary file left
    fs::remove(CacheFile());
    paths->Scan(false, job);
    EXPECT_EQ(paths->CacheWriteFailures, 0);
}

TEST_F(CacheCheckTest, RefreshKeepsTheOldCacheUntilTheNewOneIsComplete) {
    ScanThreeArchives();
    std::size_t seen = 0;
    job.OnProgress = [&](std::uint64_t, std::uint64_t) {
        // Whenever the refresh reports progress, the old cache is whole where it was.
        EXPECT_EQ(CacheText(), full);
        ++seen;
    };
    const fs::path planted = WriteFile("roms/quillmark.dat.qmtmp-AbCd12", "left by a killed run");
    const fs::path libzipLeftover = WriteFile("roms/beta.zip.Ab12Cd", "libzip's new beta.zip, cut short");
    const fs::path copyLeftover = WriteFile("roms/new.zip.qmtmp-AbCd12", "half a copy");
    paths->Scan(true, job);
    EXPECT_GT(seen, 0u);
    EXPECT_EQ(CacheText(), full);
    // Temporary files are never archives; stale ones go, libzip's too (the scan holds the
    // directory's lock: no other run can be writing there).
    EXPECT_EQ(paths->Files.size(), 3u);
    EXPECT_FALSE(fs::exists(planted));
    EXPECT_FALSE(fs::exists(copyLeftover));
    EXPECT_FALSE(fs::exists(libzipLeftover));
}

TEST_F(CacheCheckTest, TheScanLocksItsDirectoriesWhileItRunsOrUntilTheyAreReleased) {
    MakeZip(Roms() / "alpha.zip", {{"a1.bin", kA1}});
    paths->AddPath(Roms().string());
    TDatFile other(DataDir());
    other.LockWait = 50ms;
    // While another run changes the directory, it is neither scanned nor shown.
    other.PrepareChange(RomsDir());
    try {
        paths->Scan(false, job);
        FAIL() << "scanned a directory another run is changing";
    } catch (const ELockBusy& e) {
        EXPECT_EQ(e.Holder(), ::getpid());
    }
    other.ReleaseLocks();
    paths->Scan(false, job);
    EXPECT_NO_THROW(other.PrepareChange(RomsDir()));  // the scan let its lock go
    other.ReleaseLocks();

    // A run that keeps its locks keeps them whatever asks for them, until it stops keeping them.
    cache->KeepLocks = true;
    paths->Scan(false, job);
    cache->ReleaseLocks();
    EXPECT_THROW(other.PrepareChange(RomsDir()), ELockBusy);
    // Locks go by directory, whatever its spelling.
    EXPECT_NO_THROW(cache->PrepareChange(Roms().string() + "/./"));
    cache->KeepLocks = false;
    cache->ReleaseLocks();
    EXPECT_NO_THROW(other.PrepareChange(RomsDir()));
}

}  // namespace
}  // namespace qm
