#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "platform/DirectoryLock.h"
#include "platform/Platform.h"
#include "platform/SystemTools.h"
#include "platform/TempFiles.h"
#include "support/ForeignLock.h"
#include "support/MountSupport.h"
#include "support/TestSupport.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;

// Whether another open file description could take an exclusive lock on `file` right now.
bool Lockable(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

class LocksTest : public TempDirTest {};

TEST_F(LocksTest, ASecondLockWaitsThenNamesTheHolder) {
    const fs::path dir = Root() / "roms";
    fs::create_directories(dir);
    DirectoryLock first = DirectoryLock::Acquire(dir, 0ms);
    ASSERT_TRUE(first.Held());
    EXPECT_FALSE(Lockable(dir));

    // Another holder in this very process counts as another holder: the lock belongs to the
    // open directory, not to the process.
    const auto start = std::chrono::steady_clock::now();
    try {
        DirectoryLock::Acquire(dir, 150ms);
        FAIL() << "locked twice";
    } catch (const ELockBusy& e) {
        EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
        EXPECT_EQ(e.Holder(), ::getpid());
        const std::string text = e.what();
        EXPECT_NE(text.find(dir.string()), std::string::npos) << text;
        EXPECT_NE(text.find("(pid " + std::to_string(::getpid()) + ", " + ProcessName(::getpid()) + ")"),
                  std::string::npos)
            << text;
    }

    DirectoryLock moved = std::move(first);
    EXPECT_TRUE(moved.Held());
    moved = DirectoryLock();
    EXPECT_TRUE(Lockable(dir));
    EXPECT_TRUE(DirectoryLock::Acquire(dir, 0ms).Held());
}

TEST_F(LocksTest, AnotherProcessIsWaitedForThenNamed) {
    const fs::path dir = Root() / "roms";
    fs::create_directories(dir);
    {
        ForeignLock holder(dir);
        try {
            DirectoryLock::Acquire(dir, 100ms);
            FAIL() << "not refused";
        } catch (const ELockBusy& e) {
            EXPECT_EQ(e.Holder(), holder.Pid());
        }
    }
    // A holder that ends within the wait is waited for.
    ForeignLock brief(dir, 300ms);
    EXPECT_TRUE(DirectoryLock::Acquire(dir, 5s).Held());
}

TEST_F(LocksTest, AReadOnlyMediumIsLockedToo) {
    ScopedTmpfs medium(Root() / "cdrom", 1 << 20);
    if (!medium.Mounted() || !medium.MakeReadOnly()) {
        GTEST_SKIP() << "cannot mount a read-only file system here";
    }
    DirectoryLock lock = DirectoryLock::Acquire(Root() / "cdrom", 0ms);
    EXPECT_TRUE(lock.Held());
    EXPECT_THROW(DirectoryLock::Acquire(Root() / "cdrom", 0ms), ELockBusy);
}

TEST_F(LocksTest, WhatCannotBeOpenedIsNotLocked) {
    EXPECT_FALSE(DirectoryLock::Acquire(Root() / "missing", 0ms).Held());
    EXPECT_FALSE(DirectoryLock::Acquire(WriteFile("file.zip", "x"), 0ms).Held());
    EXPECT_EQ(FlockHolder(Root() / "missing"), 0);
    EXPECT_EQ(FlockHolder(Root()), 0);
}

TEST_F(LocksTest, TemporaryFilesAreLockedWhileTheyLive) {
    EXPECT_TRUE(IsTempFileName("quillmark.dat.qmtmp-Ab12Cd"));
    EXPECT_TRUE(IsTempFileName("pacman.zip.qmtmp-000000"));
    for (const char* name : {"x.qmtmp-abc12", "x.qmtmp-abc1234", "x.qmtmp-ab.c12", ".qmtmp-abcdef", "game.zip.backup",
                             "pacman.zip.Ab12Cd", "quillmark.dat"}) {
        EXPECT_FALSE(IsTempFileName(name)) << name;
    }
    // What libzip writes a changed archive to before it puts it in place.
    EXPECT_TRUE(IsZipWriterLeftover("pacman.zip.Ab12Cd"));
    EXPECT_TRUE(IsZipWriterLeftover("PacMan.ZIP.000000"));
    for (const char* name : {"pacman.zip", "pacman.zip.Ab12C", "pacman.7z.Ab12Cd", "notes.txt.Ab12Cd", ".zip.abcdef"}) {
        EXPECT_FALSE(IsZipWriterLeftover(name)) << name;
    }

    const fs::path target = Root() / "report.txt";
    fs::path temp;
    const int fd = CreateTempBeside(target, temp);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(temp.parent_path(), Root());
    EXPECT_TRUE(IsTempFileName(temp.filename().string()));
    EXPECT_FALSE(Lockable(temp));
    // A live writer's file stays; once its writer is gone, it is a leftover.
    EXPECT_TRUE(RemoveStaleTempFiles(Root()).empty());
    EXPECT_TRUE(fs::exists(temp));
    ::close(fd);
    EXPECT_EQ(RemoveStaleTempFiles(Root()), std::vector<fs::path>{temp});
    EXPECT_FALSE(fs::exists(temp));

    // Atomic writes leave nothing beside the file, and can carry a given modification time.
    const timespec then{1000000000, 123456789};
    WritePiecesAtomic(target, {"report", " text"}, then);
    EXPECT_EQ(ReadFile(target), "report text");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, then.tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, then.tv_nsec);
    ASSERT_EQ(CopyFileReplacing(target, Root() / "copy.txt"), 0);
    EXPECT_EQ(ListFiles(Root(), "*"), (std::vector<std::string>{"copy.txt", "report.txt"}));
}

TEST_F(LocksTest, OnlyStaleTemporaryFilesOfOurNamingAreRemoved) {
    const fs::path dir = Root() / "roms";
    const fs::path stale = WriteFile("roms/quillmark.dat.qmtmp-AAAAAA", "half a cache");
    WriteFile("roms/game.zip.backup", "the user's");
    WriteFile("roms/pacman.zip.Ab12Cd", "perhaps a zip tool's, perhaps the user's");
    const fs::path precious = WriteFile("precious.txt", "outside");
    fs::create_symlink(precious, dir / "link.zip.qmtmp-BBBBBB");
    ASSERT_EQ(::mkfifo((dir / "fifo.dat.qmtmp-CCCCCC").c_str(), 0600), 0);
    fs::create_directories(dir / "folder.qmtmp-DDDDDD");
    const fs::path held = WriteFile("roms/report.txt.qmtmp-EEEEEE", "being written");
    const int fd = ::open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    EXPECT_EQ(RemoveStaleTempFiles(dir), std::vector<fs::path>{stale});
    ::close(fd);
    // The user's two files, the one being written and the link.
    EXPECT_EQ(ListFiles(dir, "*").size(), 4u);
    EXPECT_TRUE(fs::is_symlink(dir / "link.zip.qmtmp-BBBBBB"));
    EXPECT_EQ(ReadFile(precious), "outside");
    EXPECT_TRUE(fs::exists(dir / "fifo.dat.qmtmp-CCCCCC"));
    EXPECT_TRUE(fs::is_directory(dir / "folder.qmtmp-DDDDDD"));
    EXPECT_TRUE(RemoveStaleTempFiles(Root() / "missing").empty());
}

}  // namespace
}  // namespace qm::test
