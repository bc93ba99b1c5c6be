#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "platform/Platform.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

class FileReadersTest : public test::TempDirTest {};

// Every reader, run in a child process: one that blocked would fail the test, not hang it.
// Gives 0 when the reader refused the file with an error naming it and saying `why`.
int RefusedBy(const std::function<void(const fs::path&)>& reader, const fs::path& file, const std::string& why) {
    const auto status = test::RunInChild(
        [&] {
            try {
                reader(file);
            } catch (const EFileError& e) {
                return std::string(e.what()) == file.string() + ": " + why ? 0 : 1;
            }
            return 2;
        },
        5s);
    return status.value_or(-1);
}

const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>>& Readers() {
    static const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> readers = {
        {"ReadFileBytes", [](const fs::path& f) { ReadFileBytes(f); }},
        {"ReadLines", [](const fs::path& f) { ReadLines(f); }},
        {"MappedFile", [](const fs::path& f) { MappedFile mapped(f); }},
        {"ReadLeadingLines", [](const fs::path& f) { ReadLeadingLines(f, 2); }},
    };
    return readers;
}

TEST_F(FileReadersTest, FifosDevicesAndFoldersAreRefusedWithoutWaiting) {
    const fs::path fifo = Root() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path zero = Root() / "zero";
    fs::create_symlink("/dev/zero", zero);
    for (const auto& [name, reader] : Readers()) {
        EXPECT_EQ(RefusedBy(reader, fifo, "not a regular file"), 0) << name;
        EXPECT_EQ(RefusedBy(reader, zero, "not a regular file"), 0) << name;
        EXPECT_EQ(RefusedBy(reader, Root() / "datas", "not a regular file"), 0) << name;
        EXPECT_EQ(RefusedBy(reader, Root() / "missing", "No such file or directory"), 0) << name;
    }
}

TEST_F(FileReadersTest, RegularFilesThroughLinksAndTheSizeLimit) {
    WriteFile("lines.txt", "one\r\ntwo\nthree");
    fs::create_symlink(Root() / "lines.txt", Root() / "link.txt");
    const fs::path link = Root() / "link.txt";
    EXPECT_EQ(ReadFileBytes(link), "one\r\ntwo\nthree");
    EXPECT_EQ(MappedFile(link).Bytes(), "one\r\ntwo\nthree");
    EXPECT_EQ(ReadLines(link), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(ReadLeadingLines(link, 2), (std::vector<std::string>{"one", "two"}));
    // Only the first bytes are read: a long first line comes back cut.
    EXPECT_EQ(ReadLeadingLines(link, 2, 2), std::vector<std::string>{"on"});
    EXPECT_EQ(MappedFile(WriteFile("empty", "")).Bytes(), "");

    EXPECT_EQ(ReadFileBytes(link, 14).size(), 14u);
    const std::string tooLarge = "too large (14 bytes, at most 13 expected)";
    EXPECT_EQ(RefusedBy([](const fs::path& f) { ReadFileBytes(f, 13); }, link, tooLarge), 0);
    EXPECT_EQ(RefusedBy([](const fs::path& f) { MappedFile mapped(f, 13); }, link, tooLarge), 0);
    EXPECT_EQ(RefusedBy([](const fs::path& f) { ReadLines(f, 13); }, link, tooLarge), 0);
}

TEST_F(FileReadersTest, AFileWrittenInPiecesReplacesTheOldOneOnlyWhenCommitted) {
    const fs::path file = WriteFile("report.txt", "old report");
    {
        AtomicFileWriter writer(file);
        writer.Write("half of a new");
        // Abandoned: an error on the way.
    }
    EXPECT_EQ(ReadFile(file), "old report");
    AtomicFileWriter writer(file);
    const std::string big(100000, 'x');  // past the writer's buffer
    writer.Write("new ");
    writer.Write(big);
    writer.Write(" end");
    EXPECT_EQ(ReadFile(file), "old report");
    writer.Commit();
    EXPECT_EQ(ReadFile(file), "new " + big + " end");
    EXPECT_EQ(std::distance(fs::directory_iterator(Root()), fs::directory_iterator()), 2);  // datas/ and the file
}

}  // namespace
}  // namespace qm
