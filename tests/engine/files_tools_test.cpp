#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "engine/FilesTools.h"
#include "support/MountSupport.h"
#include "support/TestSupport.h"

namespace qm::test {
namespace {

class FileTools : public TempDirTest {
protected:
    std::string MoveError(const fs::path& source, const fs::path& destination) {
        try {
            MoveFileOrCopy(source, destination);
        } catch (const EFCantMove& e) {
            return e.what();
        }
        return "moved";
    }
    std::vector<std::string> Names(const fs::path& dir) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(FileTools, MoveWithinAFileSystemRenames) {
    const fs::path source = WriteFile("a/rom.zip", "archive");
    WriteFile("b/rom.zip", "older");
    const struct stat before = [&] {
        struct stat st {};
        ::stat(source.c_str(), &st);
        return st;
    }();
    EXPECT_EQ(MoveError(source, Root() / "b/rom.zip"), "moved");
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(ReadFile(Root() / "b/rom.zip"), "archive");
    struct stat after {};
    ::stat((Root() / "b/rom.zip").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(FileTools, MoveAcrossFileSystemsCopiesThenDeletes) {
    ScopedTmpfs other(Root() / "other", 1 << 20);
    if (!other.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const fs::path source = WriteFile("rom.zip", std::string(300000, 'r'));
    ::chmod(source.c_str(), 0640);
    const auto mtime = fs::last_write_time(source) - std::chrono::hours(100);
    fs::last_write_time(source, mtime);
    EXPECT_EQ(MoveError(source, Root() / "other/rom.zip"), "moved");
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(ReadFile(Root() / "other/rom.zip"), std::string(300000, 'r'));
    EXPECT_EQ(fs::last_write_time(Root() / "other/rom.zip"), mtime);
    EXPECT_EQ(fs::status(Root() / "other/rom.zip").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Names(Root() / "other"), std::vector<std::string>{"rom.zip"});

    // A read-only file is not copied.
    const fs::path locked = WriteFile("locked.zip", "locked");
    ::chmod(locked.c_str(), 0444);
    EXPECT_EQ(MoveError(locked, Root() / "other/locked.zip"), "Can't move file. (readonly)");
    EXPECT_TRUE(fs::exists(locked));
    EXPECT_FALSE(fs::exists(Root() / "other/locked.zip"));

    // A copy that does not fit leaves the source and no partial file.
    const fs::path big = WriteFile("big.zip", std::string(2 << 20, 'b'));
    EXPECT_EQ(MoveError(big, Root() / "other/big.zip"), "Can't copy file. (No space left on device)");
    EXPECT_EQ(fs::file_size(big), 2u << 20);
    EXPECT_EQ(Names(Root() / "other"), std::vector<std::string>{"rom.zip"});
}

TEST_F(FileTools, AnOriginalThatCannotBeDeletedStaysWithItsCopy) {
    ScopedTmpfs medium(Root() / "cd", 1 << 20);
    if (!medium.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    WriteFile("cd/rom.zip", "on the cd");
    ASSERT_TRUE(medium.MakeReadOnly());
    EXPECT_TRUE(IsReadOnlyMedium(Root() / "cd"));
    EXPECT_FALSE(IsReadOnlyMedium(Root() / "nowhere"));
    EXPECT_EQ(MoveError(Root() / "cd/rom.zip", Root() / "rom.zip"), "Can't delete original. (Read-only file system)");
    EXPECT_EQ(ReadFile(Root() / "cd/rom.zip"), "on the cd");
    EXPECT_EQ(ReadFile(Root() / "rom.zip"), "on the cd");
    EXPECT_EQ(MoveError(Root() / "cd/missing.zip", Root() / "x.zip"), "Can't copy file. (No such file or directory)");
}

TEST_F(FileTools, ExecAndWaitRunsWithoutAShell) {
    EXPECT_EQ(ExecAndWait({"sh", "-c", "exit 7"}, true, false), 7);
    EXPECT_EQ(ExecAndWait({"true"}, true, true), 0);
    EXPECT_EQ(ExecAndWait({"sh", "-c", "kill -9 $$"}, true, false), 128 + 9);
    EXPECT_EQ(ExecAndWait({"sh", "-c", "exit 3"}, false, false), kExecNotWaited);
    EXPECT_EQ(ExecAndWait({"/no/such/program"}, true, false), kExecNotWaited);
    EXPECT_EQ(ExecAndWait({}, true, false), kExecNotWaited);

    // Arguments reach the program as they are; standard output goes to the file; standard
    // input is empty.
    const fs::path out = Root() / "out.txt";
    EXPECT_EQ(ExecAndWait({"printf", "%s|", "a b; c", "$HOME", "*"}, true, false, out), 0);
    EXPECT_EQ(ReadFile(out), "a b; c|$HOME|*|");
    EXPECT_EQ(ExecAndWait({"cat"}, true, false, out), 0);
    EXPECT_EQ(ReadFile(out), "");
    EXPECT_EQ(ExecAndWait({"true"}, true, false, Root() / "no-folder/out.txt"), kExecNotWaited);
}

TEST_F(FileTools, MoveToTrashKeepsEveryVersion) {
    const fs::path trash = Root() / "share/Trash";
    WriteFile("a/my rom.zip", "first");
    WriteFile("b/my rom.zip", "second");
    std::string error;
    ASSERT_TRUE(MoveToTrash(Root() / "a/my rom.zip", &error)) << error;
    ASSERT_TRUE(MoveToTrash(Root() / "b/my rom.zip", &error)) << error;
    EXPECT_FALSE(fs::exists(Root() / "a/my rom.zip"));
    EXPECT_EQ(ReadFile(trash / "files/my rom.zip"), "first");
    EXPECT_EQ(ReadFile(trash / "files/my rom.2.zip"), "second");
    const std::string info = ReadFile(trash / "info/my rom.2.zip.trashinfo");
    EXPECT_TRUE(info.starts_with("[Trash Info]\nPath=" + (Root() / "b/my%20rom.zip").string() + "\nDeletionDate="))
        << info;
    EXPECT_FALSE(MoveToTrash(Root() / "a/missing.zip", &error));
    EXPECT_NE(error.find("missing.zip"), std::string::npos);
}

TEST_F(FileTools, MoveToTrashOnAnotherFileSystemUsesItsOwnTrash) {
    ScopedTmpfs usb(Root() / "usb", 1 << 20);
    if (!usb.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    WriteFile("usb/roms/old.zip", "old");
    std::string error;
    ASSERT_TRUE(MoveToTrash(Root() / "usb/roms/old.zip", &error)) << error;
    const fs::path trash = Root() / "usb" / (".Trash-" + std::to_string(::getuid()));
    EXPECT_EQ(ReadFile(trash / "files/old.zip"), "old");
    EXPECT_TRUE(ReadFile(trash / "info/old.zip.trashinfo").starts_with("[Trash Info]\nPath=roms/old.zip\n"));
}

}  // namespace
}  // namespace qm::test
