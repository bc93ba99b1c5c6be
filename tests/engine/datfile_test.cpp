#include <sys/mount.h>

#include <cstdlib>
#include <random>

#include "engine/DatFileUnit.h"
#include "platform/Platform.h"
#include "game_db/cel_strings.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

const std::string D(1, '\xA4');

std::string L(std::string_view archive, std::string_view entry, std::string_view crc) {
    return D + std::string(archive) + D + std::string(entry) + D + std::string(crc) + D;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) {
        out += line + "\r\n";
    }
    return out;
}

class DirCacheTest : public test::TempDirTest {
protected:
    // A ROM directory as the engine names it: absolute, ending with '/'.
    std::string RomDir(const std::string& name) const {
        fs::create_directories(Root() / name);
        return (Root() / name).string() + "/";
    }
    fs::path OwnCache(const std::string& dir) const { return fs::path(dir) / "quillmark.dat"; }
    void DeclareReadOnly(const std::string& dirs) const { ::setenv("QUILLMARK_TEST_READONLY_DIRS", dirs.c_str(), 1); }
    std::vector<std::string> DataDirNames() const { return ListFiles(DataDir(), "*"); }
};

TEST_F(DirCacheTest, WritableDirectoryUsesItsOwnFileAndWritesItBackByteForByte) {
    const std::string dir = RomDir("roms");
    {
        TDatFile cache(DataDir());
        cache.Open(dir);
        EXPECT_EQ(cache.Lines(), (std::vector<std::string>{"1.20", dir}));
        EXPECT_EQ(cache.CacheFileName(), OwnCache(dir));
    }
    EXPECT_FALSE(fs::exists(OwnCache(dir)));

    // Whatever the file holds is carried through: directory entries, renamed lines, a stray
    // line, a line 2 in another spelling (a writable directory's cache is not checked on it).
    const std::vector<std::string> lines = {"1.20",
                                            "/ROMS/elsewhere/",
                                            L("a.zip", "sub/", "00000000"),
                                            L("a.zip", "sub/x.bin", "12345678"),
                                            "stray \xE9 line",
                                            L("b.zip", "y.bin", "deadbeef") + D + D};
    WriteFile(OwnCache(dir).lexically_relative(Root()), Join(lines));
    TDatFile cache(DataDir());
    cache.Open(dir);
    EXPECT_EQ(cache.Lines(), lines);
    EXPECT_EQ(cache.LineCount(), lines.size());
    cache.Save();
    cache.Flush();
    EXPECT_EQ(ReadFile(OwnCache(dir)), Join(lines));
}

TEST_F(DirCacheTest, OnlyACompleteCacheIsWritten) {
    const std::string dir = RomDir("roms");
    TDatFile cache(DataDir());
    // A repair touching a directory that has no cache knows one archive, not the directory.
    cache.Open(dir);
    cache.InsertEntry(dir + "a.zip", "x.bin", "12345678");
    cache.Save();
    cache.Flush();
    EXPECT_FALSE(fs::exists(OwnCache(dir)));
    cache.Clear();
    EXPECT_TRUE(cache.Lines().empty());

    // The scan fills a fresh cache and says when it has seen everything.
    cache.Open(dir);
    EXPECT_EQ(cache.LineCount(), 2u);
    cache.AppendLine("a.zip", "x.bin", "12345678");
    cache.AppendLine("b.zip", "y.bin", "9abcdef0");
    cache.Save();
    cache.Flush();
    EXPECT_FALSE(fs::exists(OwnCache(dir)));
    cache.MarkComplete();
    cache.Save();
    cache.Flush();
    EXPECT_EQ(ReadFile(OwnCache(dir)),
              Join({"1.20", dir, L("a.zip", "x.bin", "12345678"), L("b.zip", "y.bin", "9abcdef0")}));
}

TEST_F(DirCacheTest, CacheOfAnotherVersionIsShownButNeverWrittenBack) {
    const std::string dir = RomDir("roms");
    const std::vector<std::string> old = {"1.10", dir, L("a.zip", "x.bin", "12345678")};
    WriteFile("roms/quillmark.dat", Join(old));
    TDatFile cache(DataDir());
    cache.Open(dir);
    EXPECT_EQ(cache.Lines(), old);
    cache.DeleteEntry("a.zip", "x.bin");
    cache.Flush();
    EXPECT_FALSE(fs::exists(OwnCache(dir)));

    // One header line is no cache at all.
    const std::string other = RomDir("other");
    WriteFile("other/quillmark.dat", "1.20\r\n");
    cache.Open(other);
    EXPECT_EQ(cache.Lines(), (std::vector<std::string>{"1.20", other}));
}

TEST_F(DirCacheTest, ReadOnlyDirectoryKeepsItsCacheInTheDataDirectory) {
    const std::string cd = RomDir("cd");
    const std::string dvd = RomDir("dvd");
    DeclareReadOnly(cd + ":" + dvd);
    WriteFile("datas/quillmark0.dat", Join({"1.20", "/elsewhere/", L("z.zip", "z.bin", "00000001")}));
    // Line 2 is compared exactly, and a cache on the medium itself is not used.
    WriteFile("datas/quillmark3.dat", Join({"1.20", (Root() / "CD").string() + "/", L("q.zip", "q", "1")}));
    WriteFile("cd/quillmark.dat", Join({"1.20", cd, L("m.zip", "m.bin", "00000002")}));

    {
        TDatFile cache(DataDir());
        cache.Open(cd);
        EXPECT_EQ(cache.Lines(), (std::vector<std::string>{"1.20", cd}));
        EXPECT_EQ(cache.CacheFileName(), DataDir() / "quillmark1.dat");
        cache.AppendLine("a.zip", "x.bin", "12345678");
        cache.MarkComplete();
        cache.Save();
        // Two directories opened before either is written do not share a file.
        cache.Open(dvd);
        EXPECT_EQ(cache.CacheFileName(), DataDir() / "quillmark2.dat");
    }
    EXPECT_EQ(ReadFile(DataDir() / "quillmark1.dat"), Join({"1.20", cd, L("a.zip", "x.bin", "12345678")}));

    TDatFile again(DataDir());
    again.Open(cd);
    EXPECT_EQ(again.CacheFileName(), DataDir() / "quillmark1.dat");
    EXPECT_EQ(again.LineCount(), 3u);
}

TEST_F(DirCacheTest, ReadOnlyDirectoryWithoutAnyDataDirectoryCacheIsKeptInMemoryOnly) {
    const std::string cd = RomDir("cd");
    DeclareReadOnly(cd);
    WriteFile("datas/mame.dat", "not a cache\r\n");
    TDatFile cache(DataDir());
    cache.Open(cd);
    EXPECT_EQ(cache.Lines(), (std::vector<std::string>{"1.20", cd}));
    EXPECT_TRUE(cache.CacheFileName().empty());
    cache.AppendLine("a.zip", "x.bin", "12345678");
    cache.MarkComplete();
    cache.Save();
    cache.Reset();
    EXPECT_EQ(DataDirNames(), std::vector<std::string>{"mame.dat"});
}

TEST_F(DirCacheTest, EditsMatchArchiveAndEntryNamesExactly) {
    const std::string dir = RomDir("roms");
    WriteFile("roms/quillmark.dat",
              Join({"1.20", dir, L("a.zip", "rom10", "00000010"), L("a.zip2", "rom1", "00000002"),
                    L("a.zip", "rom1", "00000001"), L("A.zip", "rom1", "0000000a"), L("b.zip", "x.bin", "12345678")}));
    TDatFile cache(DataDir());
    cache.Open(dir);

    cache.DeleteEntry(dir + "a.zip", "rom1");
    cache.InsertEntry(dir + "a.zip", "new", "11111111");  // before a.zip's first line
    cache.InsertEntry("c.zip", "c.bin", "22222222");      // no such archive yet: at the end
    cache.RenameZip(dir + "b.zip", dir + "d.zip");
    cache.DeleteZip("a.zip2");
    EXPECT_EQ(cache.Lines(), (std::vector<std::string>{"1.20", dir, L("a.zip", "new", "11111111"),
                                                       L("a.zip", "rom10", "00000010"), L("A.zip", "rom1", "0000000a"),
                                                       D + "d.zip" + D + "x.bin" + D + "12345678" + D + D + D,
                                                       L("c.zip", "c.bin", "22222222")}));
    cache.DeleteZip("a.zip");
    cache.Flush();
    EXPECT_EQ(ReadFile(OwnCache(dir)),
              Join({"1.20", dir, L("A.zip", "rom1", "0000000a"), D + "d.zip" + D + "x.bin" + D + "12345678" + D + D + D,
                    L("c.zip", "c.bin", "22222222")}));
}

// The cache's archive index against a plain list edited line by line.
TEST_F(DirCacheTest, EditsMatchAPlainListModel) {
    const std::string dir = RomDir("roms");
    const std::vector<std::string> archives = {"a.zip", "a.zip2", "A.zip", "b.zip", "c d.zip"};
    const std::vector<std::string> entries = {"rom1", "rom10", "sub/", "sub/rom1"};
    std::mt19937 random(20240607);
    auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
    auto archiveOf = [](const std::string& line) { return GetCacheField(line, 1); };

    std::vector<std::string> model = {"1.20", dir};
    TDatFile cache(DataDir());
    cache.Open(dir);
    cache.MarkComplete();
    for (int step = 0; step < 3000; ++step) {
        const std::string archive = pick(archives);
        const std::string entry = pick(entries);
        const std::string crc = CrcToHex(random());
        auto first = std::find_if(model.begin() + 2, model.end(),
                                  [&](const std::string& line) { return archiveOf(line) == archive; });
        switch (random() % 6) {
            case 0:
                cache.AppendLine(archive, entry, crc);
                model.push_back(L(archive, entry, crc));
                break;
            case 1:
            case 2:
                cache.InsertEntry(dir + archive, entry, crc);
                model.insert(first, L(archive, entry, crc));
                break;
            case 3: {
                cache.DeleteEntry(archive, entry);
                auto hit = std::find_if(model.begin() + 2, model.end(), [&](const std::string& line) {
                    return archiveOf(line) == archive && GetCacheField(line, 2) == entry;
                });
                if (hit != model.end()) {
                    model.erase(hit);
                }
                break;
            }
            case 4:
                if (random() % 4 == 0) {
                    cache.DeleteZip(archive);
                    std::erase_if(model, [&](const std::string& line) { return archiveOf(line) == archive; });
                }
                break;
            default: {
                const std::string target = pick(archives);
                cache.RenameZip(dir + archive, target);
                for (auto it = model.begin() + 2; it != model.end(); ++it) {
                    if (archiveOf(*it) == archive) {
                        *it = D + target + D + GetCacheField(*it, 2) + D + GetCacheField(*it, 3) + D + D + D;
                    }
                }
                break;
            }
        }
        ASSERT_EQ(cache.Lines(), model) << "step " << step;
    }
    cache.Save();
    cache.Flush();
    EXPECT_EQ(ReadLines(OwnCache(dir)), model);
    EXPECT_EQ(ReadFile(OwnCache(dir)), Join(model));
}

TEST_F(DirCacheTest, LinesInsertedOutOfOrderAreWrittenInListOrder) {
    const std::string dir = RomDir("roms");
    TDatFile cache(DataDir());
    cache.Open(dir);
    cache.MarkComplete();
    // Each insert lands before the previous one: thousands of separate pieces to write.
    std::vector<std::string> expected;
    for (int i = 0; i < 3000; ++i) {
        cache.InsertEntry("a.zip", "rom" + std::to_string(i), "00000000");
        expected.insert(expected.begin(), L("a.zip", "rom" + std::to_string(i), "00000000"));
    }
    expected.insert(expected.begin(), {"1.20", dir});
    cache.Save();
    cache.Flush();
    EXPECT_EQ(ReadFile(OwnCache(dir)), Join(expected));
}

TEST_F(DirCacheTest, PreparedChangeLeavesNoFileUntilTheEditIsSavedAndFlushed) {
    const std::string dir = RomDir("roms");
    const std::string text =
        Join({"1.20", dir, L("a.zip", "x.bin", "00000001"), L("a.zip", "y.bin", "00000002"), L("b.zip", "z", "3")});
    WriteFile("roms/quillmark.dat", text);
    TDatFile cache(DataDir());

    cache.PrepareChange(dir);
    EXPECT_FALSE(fs::exists(OwnCache(dir)));
    cache.Open(dir);
    cache.DeleteEntry(dir + "a.zip", "x.bin");
    EXPECT_FALSE(fs::exists(OwnCache(dir)));  // what a crash here would leave
    cache.Flush();
    EXPECT_EQ(ReadFile(OwnCache(dir)), Join({"1.20", dir, L("a.zip", "y.bin", "00000002"), L("b.zip", "z", "3")}));

    // A change that never reached Save may have left the archive in any state, even when an
    // earlier one was saved.
    cache.PrepareChange(dir);
    cache.DeleteEntry(dir + "b.zip", "z");
    cache.PrepareChange(dir);
    cache.Flush();
    EXPECT_FALSE(fs::exists(OwnCache(dir)));
    cache.Clear();
    cache.Open(dir);
    EXPECT_EQ(cache.LineCount(), 2u);

    WriteFile("roms/quillmark.dat", text);
    TDatFile other(DataDir());
    other.Open(dir);
    other.Invalidate(dir);
    EXPECT_FALSE(fs::exists(OwnCache(dir)));
    EXPECT_TRUE(other.Lines().empty());
}

TEST_F(DirCacheTest, HeldCopiesSurviveOpeningOtherDirectoriesAndAreWrittenOnClearOrReset) {
    const std::string one = RomDir("one");
    const std::string two = RomDir("two");
    WriteFile("one/quillmark.dat", Join({"1.20", one, L("a.zip", "x", "1")}));
    WriteFile("two/quillmark.dat", Join({"1.20", two, L("b.zip", "y", "2")}));
    TDatFile cache(DataDir());
    cache.Open(one);
    cache.DeleteZip("a.zip");
    cache.Open(two);
    cache.DeleteZip("b.zip");
    cache.Open(one);
    EXPECT_EQ(cache.LineCount(), 2u);
    EXPECT_NE(ReadFile(OwnCache(one)), Join({"1.20", one}));

    cache.Clear();
    EXPECT_EQ(cache.LineCount(), 0u);
    EXPECT_EQ(ReadFile(OwnCache(one)), Join({"1.20", one}));
    cache.Reset();
    EXPECT_EQ(ReadFile(OwnCache(two)), Join({"1.20", two}));
}

TEST_F(DirCacheTest, NameThatTheFormatCannotHoldLeavesNoCache) {
    const std::string dir = RomDir("roms");
    const std::string text = Join({"1.20", dir, L("a.zip", "x.bin", "00000001")});
    using Edit = void (*)(TDatFile&);
    const std::vector<Edit> edits = {
        [](TDatFile& c) { c.InsertEntry("a.zip", "b\xC3\xA4r.bin", "00000002"); },  // UTF-8 a-umlaut
        [](TDatFile& c) { c.InsertEntry("new\r.zip", "y", "00000002"); },
        [](TDatFile& c) { c.RenameZip("a.zip", "b\n.zip"); },
    };
    for (const Edit edit : edits) {
        WriteFile("roms/quillmark.dat", text);
        TDatFile cache(DataDir());
        cache.Open(dir);
        edit(cache);
        cache.Save();
        EXPECT_FALSE(fs::exists(OwnCache(dir)));
        cache.Flush();
        EXPECT_FALSE(fs::exists(OwnCache(dir)));
    }

    TDatFile scan(DataDir());
    scan.Open(dir);
    scan.AppendLine("gr\xA4n.zip", "x", "00000001");
    scan.MarkComplete();
    scan.Save();
    scan.Flush();
    EXPECT_FALSE(fs::exists(OwnCache(dir)));
}

TEST_F(DirCacheTest, FailedWriteThrowsLeavesNoFileAndSparesTheOtherDirectories) {
    const std::string gone = RomDir("gone");
    const std::string kept = RomDir("kept");
    WriteFile("gone/quillmark.dat", Join({"1.20", gone, L("a.zip", "x", "1")}));
    WriteFile("kept/quillmark.dat", Join({"1.20", kept, L("b.zip", "y", "2")}));
    TDatFile cache(DataDir());
    cache.Open(gone);
    cache.DeleteZip("a.zip");
    cache.Open(kept);
    cache.DeleteZip("b.zip");
    fs::remove_all(Root() / "gone");
    try {
        cache.Flush();
        ADD_FAILURE() << "no error";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.File(), OwnCache(gone));
    }
    EXPECT_EQ(ReadFile(OwnCache(kept)), Join({"1.20", kept}));
    EXPECT_NO_THROW(cache.Flush());  // reported once, not on every later write
}

// A real file system that fills up or turns read-only; needs mount(2), which tests run as root
// usually may use.
class MountedDirCacheTest : public DirCacheTest {
protected:
    void SetUp() override {
        DirCacheTest::SetUp();
        mountPoint_ = Root() / "medium";
        fs::create_directories(mountPoint_);
        if (::mount("tmpfs", mountPoint_.c_str(), "tmpfs", 0, "size=64k") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here";
        }
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) {
            ::umount2(mountPoint_.c_str(), MNT_DETACH);
        }
        DirCacheTest::TearDown();
    }
    std::string Dir() const { return mountPoint_.string() + "/"; }
    bool RemountReadOnly() const {
        return ::mount("tmpfs", mountPoint_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k") == 0;
    }

    fs::path mountPoint_;
    bool mounted_ = false;
};

TEST_F(MountedDirCacheTest, FullDiskRemovesTheOldCacheAndThrows) {
    const std::string dir = Dir();
    WriteFile("medium/quillmark.dat", Join({"1.20", dir, L("a.zip", "x", "00000001")}));
    TDatFile cache(DataDir());
    cache.Open(dir);
    for (int i = 0; i < 4000; ++i) {
        cache.AppendLine("b.zip", "entry" + std::to_string(i), "00000002");
    }
    cache.Save();
    EXPECT_THROW(cache.Flush(), EFileError);
    EXPECT_EQ(ListFiles(dir, "*"), std::vector<std::string>{});
}

TEST_F(MountedDirCacheTest, MediumTurnedReadOnlyAfterThePreparedChangeThrowsAndKeepsNothing) {
    const std::string dir = Dir();
    WriteFile("medium/quillmark.dat", Join({"1.20", dir, L("a.zip", "x", "00000001")}));
    TDatFile cache(DataDir());
    cache.PrepareChange(dir);
    cache.Open(dir);
    cache.InsertEntry("a.zip", "y", "00000002");
    cache.Save();
    if (!RemountReadOnly()) {
        GTEST_SKIP() << "cannot remount read-only";
    }
    EXPECT_THROW(cache.Flush(), EFileError);
    EXPECT_EQ(ListFiles(dir, "*"), std::vector<std::string>{});
}

TEST(DirCacheEntryName, KeepsTheDirectoryPartAndLowersTheFileName) {
    EXPECT_EQ(CacheEntryName("Sub/Dir/ROM.BIN"), "Sub/Dir/rom.bin");
    EXPECT_EQ(CacheEntryName("Sub\\ROM.BIN"), "Sub\\rom.bin");
    EXPECT_EQ(CacheEntryName("ROM.BIN"), "rom.bin");
    EXPECT_EQ(CacheEntryName("Dir/"), "Dir/");
}

}  // namespace
}  // namespace qm
