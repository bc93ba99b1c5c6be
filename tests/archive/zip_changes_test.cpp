#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "archive/ArchiveTestSupport.h"
#include "archive/ZipForge.h"
#include "archive/ZipMstr.h"
#include "game_db/cel_strings.h"
#include "support/MountSupport.h"
#include "support/TestSupport.h"

namespace qm::test {
namespace {

class ZipChanges : public TempDirTest {
protected:
    std::vector<Listed> Contents(const fs::path& archive) {
        TZipMaster lister;
        lister.SetZipFilename(archive);
        EXPECT_EQ(lister.ErrCode, 0) << lister.Message;
        return Entries(lister);
    }
    std::vector<std::string> Names(const fs::path& archive) {
        std::vector<std::string> names;
        for (const Listed& e : Contents(archive)) {
            names.push_back(e.Name);
        }
        return names;
    }
    static Listed Entry(const std::string& name, const std::string& data) {
        return {name, CrcToHex(Crc32Of(data.data(), data.size())), data.size()};
    }
    // Whether unzip finds every entry's data intact.
    bool UnzipAccepts(const fs::path& archive) {
        return !HaveTool("unzip") || ExecAndWait({"unzip", "-tqq", archive.string()}, true, false) == 0;
    }
    std::string Noise(std::size_t n) const {
        std::mt19937 random(static_cast<unsigned>(n));
        std::string out(n, '\0');
        for (char& c : out) {
            c = static_cast<char>(random());
        }
        return out;
    }
    // Names in `dir` other than the ones given: what an operation left behind.
    std::vector<std::string> Leftovers(const fs::path& dir, const std::vector<std::string>& expected) {
        std::vector<std::string> extra;
        for (const auto& entry : fs::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end()) {
                extra.push_back(name);
            }
        }
        return extra;
    }

    TZipMaster zip;
};

TEST_F(ZipChanges, AddCreatesTheArchiveAndStoresBareNames) {
    const std::string rom(50000, 'r');
    const fs::path file = WriteFile("work/deep/rom.bin", rom);
    const fs::path archive = Root() / "set.zip";
    zip.SetZipFilename(archive);
    zip.FSpecArgs = {file.string()};
    zip.Add();
    EXPECT_EQ(zip.SuccessCount, 1) << zip.Message;
    EXPECT_TRUE(zip.FSpecArgs.empty());
    // The component lists the new content at once.
    ASSERT_EQ(zip.EntryCount(), 1);
    EXPECT_EQ(zip.ZipEntries()[0].FileName, "rom.bin");
    EXPECT_EQ(zip.ZipEntries()[0].Method, 8);  // deflated
    EXPECT_LT(zip.ZipEntries()[0].CompressedSize, 1000u);
    EXPECT_EQ(Contents(archive), std::vector<Listed>{Entry("rom.bin", rom)});
    EXPECT_TRUE(UnzipAccepts(archive));

    // The same name again replaces the entry; a name differing in case is another entry.
    WriteFile("work/rom.bin", "new data");
    WriteFile("work/ROM.BIN", "upper");
    WriteFile("work/caf\xE9.bin", "latin-1 name");
    zip.FSpecArgs = {(Root() / "work/rom.bin").string(), (Root() / "work/ROM.BIN").string(),
                     (Root() / "work/caf\xE9.bin").string()};
    zip.Add();
    EXPECT_EQ(zip.SuccessCount, 3) << zip.Message;
    EXPECT_EQ(Contents(archive), (std::vector<Listed>{Entry("rom.bin", "new data"), Entry("ROM.BIN", "upper"),
                                                      Entry("caf\xE9.bin", "latin-1 name")}));
    EXPECT_TRUE(UnzipAccepts(archive));
}

TEST_F(ZipChanges, AddFailuresSayWhyAndChangeNothing) {
    zip.FSpecArgs = {};
    zip.SetZipFilename(Root() / "a.zip");
    zip.Add();
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(zip.ErrCode, zmNoFilesToZip);
    EXPECT_EQ(zip.Message, "Error - no files to zip!");
    zip.SetZipFilename("");
    zip.FSpecArgs = {WriteFile("x.bin", "x").string()};
    zip.Add();
    EXPECT_EQ(zip.ErrCode, zmNoZipSpecified);
    EXPECT_EQ(zip.Message, "Error - no zip file specified!");

    // A missing file: no archive is created for nothing.
    zip.SetZipFilename(Root() / "a.zip");
    zip.FSpecArgs = {(Root() / "missing.bin").string()};
    zip.Add();
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_NE(zip.Message.find("missing.bin"), std::string::npos) << zip.Message;
    EXPECT_NE(zip.Message.find("a.zip"), std::string::npos) << zip.Message;
    EXPECT_FALSE(fs::exists(Root() / "a.zip"));

    // A file that is not an archive is never overwritten by one. Listing it forgets its name;
    // one that was an archive when listed is refused by libzip.
    const fs::path notZip = WriteFile("notzip.zip", std::string(100, 'n'));
    zip.SetZipFilename(notZip);
    EXPECT_TRUE(zip.ZipFilename().empty());
    zip.FSpecArgs = {WriteFile("y.bin", "y").string()};
    zip.Add();
    EXPECT_EQ(zip.ErrCode, zmNoZipSpecified);
    const fs::path changed = WriteFile("changed.zip", ForgeZip({{.Name = "a", .Data = "a"}}));
    zip.SetZipFilename(changed);
    WriteFile("changed.zip", std::string(100, 'n'));
    zip.FSpecArgs = {(Root() / "y.bin").string()};
    zip.Add();
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_NE(zip.Message.find("changed.zip"), std::string::npos) << zip.Message;
    EXPECT_EQ(ReadFile(notZip), std::string(100, 'n'));
    EXPECT_EQ(ReadFile(changed), std::string(100, 'n'));
}

TEST_F(ZipChanges, DeleteRemovesEveryMatchingEntry) {
    const fs::path archive = WriteFile("set.zip", ForgeZip({{.Name = "A.bin", .Data = "a"},
                                                            {.Name = "dir\\x.bin", .Data = "x"},
                                                            {.Name = "keep.bin", .Data = "k"},
                                                            {.Name = "dup.rom", .Data = "1"},
                                                            {.Name = "DUP.ROM", .Data = "2"},
                                                            {.Name = "Twice.bin", .Data = "t1"},
                                                            {.Name = "TWICE.BIN", .Data = "t2"}}));
    zip.SetZipFilename(archive);
    // Case and separators do not matter; an exact match wins over case variants.
    zip.FSpecArgs = {"a.BIN", "DIR/X.BIN", "dup.rom", "twice.bin"};
    zip.Delete();
    EXPECT_EQ(zip.SuccessCount, 5) << zip.Message;
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"keep.bin", "DUP.ROM"}));
    EXPECT_EQ(zip.EntryCount(), 2);
    EXPECT_TRUE(UnzipAccepts(archive));

    // Nothing matching: nothing written, and the message names the archive.
    const std::string before = ReadFile(archive);
    zip.FSpecArgs = {"nothere.bin"};
    zip.Delete();
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_NE(zip.Message.find("nothere.bin"), std::string::npos);
    EXPECT_NE(zip.Message.find("set.zip"), std::string::npos);
    EXPECT_EQ(ReadFile(archive), before);

    zip.FSpecArgs = {};
    zip.Delete();
    EXPECT_EQ(zip.ErrCode, zmNoFilesToDelete);
    EXPECT_EQ(zip.Message, "Error - no files selected for deletion");
    zip.SetZipFilename(Root() / "missing.zip");
    zip.FSpecArgs = {"keep.bin"};
    zip.Delete();
    EXPECT_EQ(zip.ErrCode, zmNoZipSpecified);

    // libzip removes an archive left without entries.
    zip.SetZipFilename(archive);
    zip.FSpecArgs = {"keep.bin", "dup.rom"};
    zip.Delete();
    EXPECT_EQ(zip.SuccessCount, 2) << zip.Message;
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_EQ(zip.EntryCount(), 0);
}

TEST_F(ZipChanges, AChangedArchiveLosesItsTorrentZipStampOnly) {
    const std::vector<ForgedEntry> entries = {{.Name = "a.bin", .Data = "a"}, {.Name = "b.bin", .Data = "b"}};
    const fs::path stamped = WriteFile("tz.zip", ForgeZip(entries, {.Comment = "TORRENTZIPPED-1A2B3C4D"}));
    const fs::path commented = WriteFile("c.zip", ForgeZip(entries, {.Comment = "my collection"}));
    for (const fs::path& archive : {stamped, commented}) {
        zip.SetZipFilename(archive);
        zip.FSpecArgs = {"b.bin"};
        zip.Delete();
        ASSERT_EQ(zip.SuccessCount, 1) << zip.Message;
    }
    zip.SetZipFilename(stamped);
    EXPECT_EQ(zip.ZipComment, "");
    zip.SetZipFilename(commented);
    EXPECT_EQ(zip.ZipComment, "my collection");
}

TEST_F(ZipChanges, AChangedArchiveKeepsItsOwnerAndMode) {
    const fs::path archive =
        WriteFile("set.zip", ForgeZip({{.Name = "a.bin", .Data = "a"}, {.Name = "b.bin", .Data = "b"}}));
    ASSERT_EQ(::chmod(archive.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(archive.c_str(), 1234, 5678), 0);
    }
    zip.SetZipFilename(archive);
    zip.Rename("a.bin", "c.bin");
    ASSERT_EQ(zip.SuccessCount, 1) << zip.Message;
    struct stat st {};
    ASSERT_EQ(::stat(archive.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 5678u);
    }
}

TEST_F(ZipChanges, ExtractWritesTheBareNameAndNeverOverwrites) {
    const fs::path archive =
        WriteFile("set.zip", ForgeZip({{.Name = "dir/Rom.bin", .Data = "rom data"}, {.Name = "b.bin", .Data = "bbb"}}));
    const fs::path out = Root() / "out";
    fs::create_directories(out);
    zip.SetZipFilename(archive);
    zip.ExtrBaseDir = out;
    zip.FSpecArgs = {"DIR\\rom.BIN", "b.bin"};
    zip.Extract();
    EXPECT_EQ(zip.SuccessCount, 2) << zip.Message;
    EXPECT_EQ(ReadFile(out / "Rom.bin"), "rom data");
    EXPECT_EQ(ReadFile(out / "b.bin"), "bbb");

    // An existing file stays, and so does whatever a symlink of that name points at.
    WriteFile("out/other.txt", "precious");
    fs::remove(out / "b.bin");
    fs::create_symlink(out / "other.txt", out / "b.bin");
    zip.FSpecArgs = {"dir/rom.bin", "b.bin"};
    zip.Extract();
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_NE(zip.Message.find("exists"), std::string::npos) << zip.Message;
    EXPECT_EQ(ReadFile(out / "Rom.bin"), "rom data");
    EXPECT_EQ(ReadFile(out / "other.txt"), "precious");
    EXPECT_TRUE(fs::is_symlink(out / "b.bin"));

    zip.ExtrBaseDir = Root() / "no-such-folder";
    zip.FSpecArgs = {"b.bin"};
    zip.Extract();
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_FALSE(fs::exists(Root() / "no-such-folder"));

    zip.ExtrBaseDir = out;
    zip.FSpecArgs = {"absent.bin"};
    zip.Extract();
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_NE(zip.Message.find("absent.bin"), std::string::npos);

    zip.SetZipFilename(Root() / "missing.zip");
    zip.FSpecArgs = {"b.bin"};
    zip.Extract();
    EXPECT_EQ(zip.ErrCode, zmNoZipSpecified);
}

TEST_F(ZipChanges, ExtractRefusesNamesThatLeaveTheFolder) {
    const std::vector<std::string> hostile = {"../evil1.bin",
                                              "a/../../evil2.bin",
                                              "/tmp/evil3.bin",
                                              "\\evil4.bin",
                                              "C:evil5.bin",
                                              std::string("evil6\0.bin", 10),
                                              "..",
                                              "folder/"};
    std::vector<ForgedEntry> entries;
    for (const std::string& name : hostile) {
        entries.push_back({.Name = name, .Data = "evil"});
    }
    const fs::path archive = WriteFile("evil.zip", ForgeZip(entries));
    const fs::path out = Root() / "deep/out";
    fs::create_directories(out);
    zip.SetZipFilename(archive);
    ASSERT_EQ(zip.EntryCount(), static_cast<int>(hostile.size()));
    zip.ExtrBaseDir = out;
    for (const std::string& name : hostile) {
        SCOPED_TRACE(name);
        zip.ErrCode = 0;
        zip.FSpecArgs = {name};
        zip.Extract();
        EXPECT_EQ(zip.SuccessCount, 0);
        EXPECT_NE(zip.ErrCode, 0);
    }
    EXPECT_TRUE(fs::is_empty(out));
    EXPECT_TRUE(Leftovers(Root() / "deep", {"out"}).empty());
    EXPECT_FALSE(fs::exists("/tmp/evil3.bin"));
}

TEST_F(ZipChanges, ExtractChecksCrcAndSize) {
    const fs::path out = Root() / "out";
    fs::create_directories(out);
    const fs::path badCrc = WriteFile("crc.zip", ForgeZip({{.Name = "a.bin", .Data = "data", .Crc = 0x12345678}}));
    zip.SetZipFilename(badCrc);
    zip.ExtrBaseDir = out;
    zip.FSpecArgs = {"a.bin"};
    zip.Extract();
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(zip.ErrCode, kZipCrcError);
    EXPECT_EQ(zip.Message, "Bad crc");
    EXPECT_TRUE(fs::is_empty(out));

    // A deflate stream that inflates past the size the directory gives is never written out
    // beyond it.
    if (!HaveTool("zip")) {
        GTEST_SKIP() << "zip is needed";
    }
    WriteFile("src/big.bin", std::string(300000, 'z'));
    ASSERT_EQ(Shell(Root() / "src", "zip -q ../bomb.zip big.bin"), 0);
    std::string bomb = ReadFile(Root() / "bomb.zip");
    SetU32(bomb, 22, 1000);                            // local header
    SetU32(bomb, bomb.find("PK\x01\x02") + 24, 1000);  // central header
    WriteFile("bomb.zip", bomb);
    zip.SetZipFilename(Root() / "bomb.zip");
    zip.FSpecArgs = {"big.bin"};
    zip.Extract();
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_NE(zip.ErrCode, 0);
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(ZipChanges, RenameChangesTheNameOnly) {
    if (!HaveTool("zip")) {
        GTEST_SKIP() << "zip is needed";
    }
    WriteFile("src/old.bin", std::string(20000, 'o') + Noise(100));
    WriteFile("src/other.bin", "other");
    ASSERT_EQ(Shell(Root() / "src", "zip -q ../set.zip old.bin other.bin"), 0);
    const fs::path archive = Root() / "set.zip";
    zip.SetZipFilename(archive);
    const ZipDirEntry before = zip.ZipEntries()[0];

    zip.Rename("OLD.BIN", "new.bin");
    EXPECT_EQ(zip.SuccessCount, 1) << zip.Message;
    ASSERT_EQ(zip.EntryCount(), 2);
    const ZipDirEntry& after = zip.ZipEntries()[0];
    EXPECT_EQ(after.FileName, "new.bin");
    EXPECT_EQ(after.Crc32, before.Crc32);
    EXPECT_EQ(after.CompressedSize, before.CompressedSize);  // not recompressed
    EXPECT_TRUE(UnzipAccepts(archive));

    // A change of case only is a rename; a name another entry has (in any case) is refused.
    zip.Rename("new.bin", "NEW.BIN");
    EXPECT_EQ(zip.SuccessCount, 1) << zip.Message;
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"NEW.BIN", "other.bin"}));
    const std::string kept = ReadFile(archive);
    zip.Rename("NEW.BIN", "Other.Bin");
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_NE(zip.Message.find("exists"), std::string::npos) << zip.Message;
    zip.Rename("absent.bin", "x.bin");
    EXPECT_EQ(zip.SuccessCount, 0);
    zip.Rename("NEW.BIN", "");
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(ReadFile(archive), kept);
}

TEST_F(ZipChanges, NamesMadeOnDosSurviveChanges) {
    // "caf\x82" is "café" in the DOS code page: the component calls it "caf\xE9".
    const fs::path archive = WriteFile("dos.zip", ForgeZip({{.Name = "caf\x82.bin", .Data = "c", .Host = 0},
                                                            {.Name = "plain.bin", .Data = "p", .Host = 0},
                                                            {.Name = "o\xE4.bin", .Data = "o", .Host = 3}}));
    zip.SetZipFilename(archive);
    ASSERT_EQ(zip.ZipEntries()[0].FileName, "caf\xE9.bin");
    zip.Rename("plain.bin", "na\xEFve.bin");  // a Windows-1252 name on a DOS entry
    ASSERT_EQ(zip.SuccessCount, 1) << zip.Message;
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"caf\xE9.bin", "na\xEFve.bin", "o\xE4.bin"}));

    const fs::path out = Root() / "out";
    fs::create_directories(out);
    zip.ExtrBaseDir = out;
    zip.FSpecArgs = {"CAF\xE9.BIN", "na\xEFve.bin"};
    zip.Extract();
    EXPECT_EQ(zip.SuccessCount, 2) << zip.Message;
    EXPECT_EQ(ReadFile(out / "caf\xE9.bin"), "c");
    EXPECT_EQ(ReadFile(out / "na\xEFve.bin"), "p");

    zip.FSpecArgs = {"caf\xE9.bin", "o\xE4.bin"};
    zip.Delete();
    EXPECT_EQ(zip.SuccessCount, 2) << zip.Message;
    EXPECT_EQ(Names(archive), std::vector<std::string>{"na\xEFve.bin"});
}

TEST_F(ZipChanges, AFullDiskOrAReadOnlyMediumLeavesTheArchiveWhole) {
    const fs::path disk = Root() / "disk";
    ScopedTmpfs tmpfs(disk, 256 * 1024);
    if (!tmpfs.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const std::string first = Noise(120000);
    const fs::path archive = disk / "set.zip";
    zip.SetZipFilename(archive);
    zip.FSpecArgs = {WriteFile("first.bin", first).string()};
    zip.Add();
    ASSERT_EQ(zip.SuccessCount, 1) << zip.Message;
    const std::string before = ReadFile(archive);

    // The new archive does not fit beside the old one.
    zip.FSpecArgs = {WriteFile("second.bin", Noise(100000)).string()};
    zip.Add();
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_NE(zip.Message.find("set.zip"), std::string::npos) << zip.Message;
    EXPECT_EQ(ReadFile(archive), before);
    EXPECT_TRUE(Leftovers(disk, {"set.zip"}).empty());

    // Extraction onto the full disk removes its partial file.
    WriteFile("disk/filler", Noise(100000));
    zip.ExtrBaseDir = disk;
    zip.SetZipFilename(archive);
    zip.FSpecArgs = {"first.bin"};
    zip.Extract();
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_TRUE(Leftovers(disk, {"set.zip", "filler"}).empty());

    ASSERT_TRUE(tmpfs.MakeReadOnly());
    zip.FSpecArgs = {"first.bin"};
    zip.Delete();
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_FALSE(zip.Message.empty());
    zip.Rename("first.bin", "renamed.bin");
    EXPECT_EQ(zip.SuccessCount, 0);
    EXPECT_EQ(ReadFile(archive), before);
}

TEST_F(ZipChanges, CopyFileResults) {
    const fs::path source = WriteFile("a/source.bin", Noise(300000));
    ::chmod(source.c_str(), 0640);
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), old, 0), 0);
    const fs::path destination = Root() / "b/copy.bin";
    fs::create_directories(destination.parent_path());
    EXPECT_EQ(zip.CopyFile(source, destination), 0);
    EXPECT_EQ(ReadFile(destination), ReadFile(source));
    EXPECT_EQ(fs::last_write_time(destination), fs::last_write_time(source));

    // An existing destination goes to the Trash, from where it can be restored.
    WriteFile("b/copy.bin", "older copy");
    EXPECT_EQ(zip.CopyFile(source, destination), 0);
    EXPECT_EQ(ReadFile(destination), ReadFile(source));
    const fs::path trash = Root() / "share/Trash";
    EXPECT_EQ(ReadFile(trash / "files/copy.bin"), "older copy");
    EXPECT_NE(ReadFile(trash / "info/copy.bin.trashinfo").find("Path=" + destination.string()), std::string::npos);

    // A missing source leaves the destination alone; so does a copy onto itself.
    EXPECT_EQ(zip.CopyFile(Root() / "missing.bin", destination), -3);
    EXPECT_EQ(ReadFile(destination), ReadFile(source));
    EXPECT_EQ(zip.CopyFile(source, source), -1);
    EXPECT_EQ(ReadFile(source), ReadFile(destination));
    EXPECT_EQ(zip.CopyFile(source, Root() / "no-folder/copy.bin"), -1);

    const fs::path disk = Root() / "disk";
    ScopedTmpfs tmpfs(disk, 128 * 1024);
    if (!tmpfs.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    EXPECT_EQ(zip.CopyFile(source, disk / "copy.bin"), -2);
    EXPECT_FALSE(fs::exists(disk / "copy.bin"));
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

// Several files added in one write, entries in the way kept under free names.
TEST_F(ZipChanges, AddDisplacingKeepsEveryEntryInTheWayAndLeavesTheSameRomAlone) {
    const fs::path dir = Root();
    const fs::path archive = MakeZip(dir / "set.zip", {{"A.BIN", "old a"}, {"a.bin__", "older a"}, {"b.bin", "b"}});
    const fs::path newA = WriteFile("new-a", "new a");
    const fs::path sameB = WriteFile("same-b", "b");
    TZipMaster zip;
    zip.SetZipFilename(archive);
    const std::vector<bool> done =
        zip.AddDisplacing({{newA, "a.bin", *ParseCrcHex(CrcOf("new a"))}, {sameB, "b.bin", *ParseCrcHex(CrcOf("b"))}});
    EXPECT_EQ(done, (std::vector<bool>{true, true}));
    EXPECT_EQ(zip.SuccessCount, 2);
    ASSERT_EQ(zip.Displaced.size(), 1u);
    EXPECT_EQ(zip.Displaced[0].From, "A.BIN");
    EXPECT_EQ(zip.Displaced[0].To, "A.BIN__2");
    EXPECT_EQ(ArchiveListing(archive), (std::map<std::string, std::string>{{"a.bin", CrcOf("new a")},
                                                                           {"a.bin__", CrcOf("older a")},
                                                                           {"a.bin__2", CrcOf("old a")},
                                                                           {"b.bin", CrcOf("b")}}));
    // Nothing to add: the archive is not written.
    const auto written = fs::last_write_time(archive);
    zip.SetZipFilename(archive);
    EXPECT_EQ(zip.AddDisplacing({{sameB, "b.bin", *ParseCrcHex(CrcOf("b"))}}), std::vector<bool>{true});
    EXPECT_EQ(fs::last_write_time(archive), written);
}

}  // namespace
}  // namespace qm::test
