#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <random>

#include "archive/ArchiveTestSupport.h"
#include "archive/ZipDirectory.h"
#include "archive/ZipForge.h"
#include "archive/ZipMstr.h"
#include "support/TestSupport.h"

namespace qm::test {
namespace {

class ZipListing : public TempDirTest {
protected:
    // Lists `path` the way callers do: ErrCode cleared first.
    void List(const fs::path& path) {
        zip.ErrCode = 0;
        zip.SetZipFilename(path);
    }
    void ListBytes(const std::string& name, const std::string& bytes) { List(WriteFile(name, bytes)); }

    std::string Noise(std::size_t n, unsigned seed) const {
        std::mt19937 random(seed);
        std::string out(n, '\0');
        for (char& c : out) {
            c = static_cast<char>(random());
        }
        return out;
    }

    // A small tree of files to archive: random and compressible data, an empty file, a folder.
    fs::path SourceTree() {
        WriteFile("src/rom1.bin", Noise(1000, 1));
        WriteFile("src/empty.bin", "");
        WriteFile("src/big.bin", std::string(70000, 'a') + Noise(3000, 2));
        WriteFile("src/sub/inner.bin", Noise(77, 3));
        return Root() / "src";
    }

    void ExpectSameAsUnzip(const fs::path& archive) {
        SCOPED_TRACE(archive.filename().string());
        List(archive);
        EXPECT_EQ(zip.ErrCode, 0) << zip.Message;
        const std::vector<Listed> expected = UnzipListing(archive, Root());
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(Entries(zip), expected);
    }

    TZipMaster zip;
};

TEST_F(ZipListing, ArchivesOfOtherToolsListAsUnzipSeesThem) {
    if (!HaveTool("zip") || !HaveTool("unzip")) {
        GTEST_SKIP() << "zip and unzip are needed";
    }
    const fs::path src = SourceTree();
    WriteFile("comment.txt", "made by Info-ZIP\n");
    ASSERT_EQ(Shell(src, "zip -q -r -z ../infozip.zip rom1.bin empty.bin big.bin sub < ../comment.txt"), 0);
    ASSERT_EQ(Shell(src, "zip -q -fz ../zip64.zip rom1.bin big.bin sub/inner.bin"), 0);
    ASSERT_EQ(Shell(src,
                    "python3 -c \"import zipfile\n"
                    "z = zipfile.ZipFile('../python.zip', 'w', zipfile.ZIP_DEFLATED)\n"
                    "z.write('big.bin'); z.write('rom1.bin', compress_type=zipfile.ZIP_STORED)\n"
                    "z.write('sub'); z.write('sub/inner.bin'); z.comment = b'py'; z.close()\""),
              0);
    ExpectSameAsUnzip(Root() / "infozip.zip");
    EXPECT_EQ(zip.ZipComment, "made by Info-ZIP");
    ExpectSameAsUnzip(Root() / "zip64.zip");
    ExpectSameAsUnzip(Root() / "python.zip");
    EXPECT_EQ(zip.ZipComment, "py");
    if (const std::string seven = SevenZip(); !seven.empty()) {
        ASSERT_EQ(Shell(src, seven + " a -tzip -bso0 -bsp0 ../seven.zip rom1.bin empty.bin big.bin sub"), 0);
        ExpectSameAsUnzip(Root() / "seven.zip");
    }
    // libzip, through the component's own Add.
    TZipMaster writer;
    writer.SetZipFilename(Root() / "libzip.zip");
    writer.FSpecArgs = {(src / "rom1.bin").string(), (src / "empty.bin").string(), (src / "big.bin").string()};
    writer.Add();
    ASSERT_EQ(writer.SuccessCount, 3) << writer.Message;
    ExpectSameAsUnzip(Root() / "libzip.zip");

    // Folder entries keep the zip format's '/'.
    List(Root() / "infozip.zip");
    std::vector<std::string> folders;
    for (const ZipDirEntry& e : zip.ZipEntries()) {
        if (e.IsDirectory()) {
            folders.push_back(e.FileName);
        }
    }
    EXPECT_EQ(folders, std::vector<std::string>{"sub/"});
}

TEST_F(ZipListing, DataAroundTheArchive) {
    if (!HaveTool("zip") || !HaveTool("unzip")) {
        GTEST_SKIP() << "zip and unzip are needed";
    }
    const fs::path src = SourceTree();
    ASSERT_EQ(Shell(src, "zip -q ../a.zip rom1.bin big.bin && zip -q -fz ../z64.zip rom1.bin big.bin"), 0);
    const std::string archive = ReadFile(Root() / "a.zip");
    const std::vector<Listed> expected = UnzipListing(Root() / "a.zip", Root());
    ASSERT_EQ(expected.size(), 2u);

    // Data in front (a self-extractor stub): every stored offset is off, the entries are whole.
    WriteFile("stub", Noise(3000, 9));
    ASSERT_EQ(Shell(Root(), "cat stub a.zip > prepended.zip && cat stub z64.zip > prepended64.zip"), 0);
    List(Root() / "prepended.zip");
    EXPECT_EQ(zip.ErrCode, zmWarnStructure);
    EXPECT_EQ(zip.Message, "Warning - Error in zip structure!");
    EXPECT_EQ(Entries(zip), expected);
    EXPECT_EQ(zip.EntryCount(), 2);
    List(Root() / "prepended64.zip");
    EXPECT_EQ(zip.ErrCode, zmWarnStructure);
    EXPECT_EQ(Entries(zip), expected);

    // Zero padding up to a 512-byte block is how some media store files: not a fault.
    ASSERT_NE(archive.size() % 512, 0u);
    const std::string padded = archive + std::string(512 - archive.size() % 512, '\0');
    ListBytes("padded.zip", padded);
    EXPECT_EQ(zip.ErrCode, 0) << zip.Message;
    EXPECT_EQ(Entries(zip), expected);

    // Anything else after the end record is garbage, while the entries are complete.
    for (const std::string& tail : {std::string("junk"), padded.substr(archive.size()) + std::string(512, '\0'),
                                    std::string(512 - archive.size() % 512 + 1, '\0'), std::string(511, '\0') + "x"}) {
        SCOPED_TRACE(tail.size());
        ListBytes("tail.zip", archive + tail);
        EXPECT_EQ(zip.ErrCode, zmWarnGarbage);
        EXPECT_EQ(zip.Message, "Warning - Garbage at the end of the zipfile!");
        EXPECT_EQ(Entries(zip), expected);
    }
}

TEST_F(ZipListing, WhatIsNotAnArchive) {
    // A missing name and a folder list as empty and leave ErrCode alone.
    for (const fs::path& path : {Root() / "missing.zip", Root() / "datas"}) {
        zip.ErrCode = 77;
        zip.SetZipFilename(path);
        EXPECT_EQ(zip.ErrCode, 77);
        EXPECT_EQ(zip.EntryCount(), 0);
        EXPECT_EQ(zip.ZipFilename(), path);
    }
    for (const std::string& bytes : {std::string(), std::string("PK\x05\x06"), std::string(21, 'x'),
                                     std::string(22, 'x'), std::string(100000, 'P')}) {
        SCOPED_TRACE(bytes.size());
        ListBytes("not.zip", bytes);
        EXPECT_EQ(zip.ErrCode, zmNotValidZip);
        EXPECT_EQ(zip.Message, "This archive is not a valid Zip archive");
        EXPECT_FALSE(zip.MessageForDisplay);
        EXPECT_TRUE(zip.ZipFilename().empty());
        EXPECT_EQ(zip.EntryCount(), 0);
    }
    // A name that exists but cannot be read as a file.
    fs::create_symlink(Root() / "nowhere", Root() / "dangling.zip");
    List(Root() / "dangling.zip");
    EXPECT_EQ(zip.ErrCode, zmInputNotExist);
    EXPECT_EQ(zip.Message, "Input file does not exist");
    EXPECT_TRUE(zip.MessageForDisplay);
    ASSERT_EQ(::mkfifo((Root() / "fifo.zip").c_str(), 0600), 0);
    List(Root() / "fifo.zip");
    EXPECT_EQ(zip.ErrCode, zmInputNotExist);

    // An end record alone is an empty archive.
    ListBytes("empty.zip", EndRecord(0, 0, 0));
    EXPECT_EQ(zip.ErrCode, 0);
    EXPECT_EQ(zip.EntryCount(), 0);
    EXPECT_FALSE(zip.ZipFilename().empty());
}

TEST_F(ZipListing, BrokenDirectoriesGiveTheirMessages) {
    const std::string good = ForgeZip({{.Name = "a.bin", .Data = "aaa"}, {.Name = "b.bin", .Data = "bb"}});
    const std::size_t end = EndRecordAt(good);
    const std::size_t second = good.rfind("PK\x01\x02");
    struct Case {
        const char* What;
        std::string Bytes;
        int Error;
        std::size_t EntriesLeft;
    };
    std::vector<Case> cases;
    std::string bytes = good;
    bytes[second + 1] = 'X';
    cases.push_back({"signature", bytes, zmCentralSignature, 1});
    // More entries than headers: the third header would start at the end record.
    bytes = good;
    SetU16(bytes, end + 8, 3);
    SetU16(bytes, end + 10, 3);
    cases.push_back({"short header", bytes, zmReadCentralHeader, 2});
    bytes = good;
    SetU16(bytes, second + 28, 0xFFFF);
    cases.push_back({"name past the end", bytes, zmReadCentralName, 1});
    bytes = good;
    SetU16(bytes, second + 32, 0xFFFF);
    cases.push_back({"comment past the end", bytes, zmReadFileComment, 2});
    // A directory said to be larger than everything before the end record.
    bytes = good;
    SetU32(bytes, end + 12, 0xFFFFFFF0);
    cases.push_back({"directory larger than the file", bytes, zmSeekListing, 0});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        ListBytes("broken.zip", c.Bytes);
        EXPECT_EQ(zip.ErrCode, c.Error);
        EXPECT_EQ(zip.Message, ZipMessageText(c.Error));
        EXPECT_TRUE(zip.MessageForDisplay);
        EXPECT_TRUE(zip.ZipFilename().empty());
        EXPECT_EQ(zip.EntryCount(), 0);
        // Entries read before the error stay until the next listing.
        EXPECT_EQ(zip.ZipEntries().size(), c.EntriesLeft);
    }
}

// Reads fail or throw where a test wants them to.
class FaultySource : public zipdir::ByteSource {
public:
    enum class Fault { ReadFails, ReadShort, Throws, OutOfMemory };
    FaultySource(std::string bytes, Fault fault) : bytes_(std::move(bytes)), fault_(fault) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::int64_t ReadAt(std::uint64_t offset, char* destination, std::size_t length) override {
        switch (fault_) {
            case Fault::ReadFails:
                return -1;
            case Fault::ReadShort:
                return zipdir::MemorySource(std::string_view(bytes_).substr(0, bytes_.size() / 2))
                    .ReadAt(offset, destination, length);
            case Fault::Throws:
                throw std::runtime_error("disk gone");
            case Fault::OutOfMemory:
                throw std::bad_alloc();
        }
        return -1;
    }

private:
    std::string bytes_;
    Fault fault_;
};

TEST_F(ZipListing, ReadFailuresGiveTheirMessages) {
    const std::string good = ForgeZip({{.Name = "a.bin", .Data = "aaa"}});
    const std::pair<FaultySource::Fault, int> cases[] = {
        {FaultySource::Fault::ReadFails, zmSeekInput},
        {FaultySource::Fault::ReadShort, zmReadEocd},
        {FaultySource::Fault::Throws, zmUnknownListError},
        {FaultySource::Fault::OutOfMemory, zmNoMemory},
    };
    for (const auto& [fault, error] : cases) {
        SCOPED_TRACE(error);
        FaultySource source(good, fault);
        zip.ErrCode = 0;
        zip.SetZipFilename(WriteFile("a.zip", good));
        zip.ListFrom(source);
        EXPECT_EQ(zip.ErrCode, error);
        EXPECT_EQ(zip.Message, ZipMessageText(error));
        EXPECT_EQ(zip.EntryCount(), 0);
    }
    EXPECT_EQ(ZipMessageText(10203), "Warning - Error in zip structure!");
    EXPECT_EQ(ZipMessageText(4242), "ZipMsgXX.res is probably not bound to executable\nMissing String ID is: 4242");
}

TEST_F(ZipListing, NamesFromDosHostsAreConvertedToTheAnsiCodePage) {
    // 0x82 is e-acute in CP437 (0xE9 in Windows-1252); 0xC4 a box-drawing line.
    const std::string dosName = "caf\x82-\xC4.bin";
    ForgedEntry dos{.Name = dosName, .Data = "x", .Host = 0, .Comment = "\x82t\x82"};
    ForgedEntry unix{.Name = dosName, .Data = "x", .Host = 3};
    ForgedEntry hpfs{.Name = dosName, .Data = "x", .Host = 6};
    ForgedEntry ntfs50{.Name = dosName, .Data = "x", .Host = 11, .Version = 50};
    ForgedEntry ntfs20{.Name = dosName, .Data = "x", .Host = 11, .Version = 20};
    ForgedEntry utf8{.Name = "caf\xC3\xA9.bin", .Data = "x", .Host = 0, .Flags = 0x0800};
    ListBytes("names.zip", ForgeZip({dos, unix, hpfs, ntfs50, ntfs20, utf8}));
    ASSERT_EQ(zip.ErrCode, 0);
    ASSERT_EQ(zip.EntryCount(), 6);
    const std::string converted = "caf\xE9--.bin";
    const auto& e = zip.ZipEntries();
    EXPECT_EQ(e[0].FileName, converted);
    EXPECT_EQ(e[0].FileComment, "\xE9t\xE9");
    EXPECT_EQ(e[1].FileName, dosName);
    EXPECT_EQ(e[2].FileName, converted);
    EXPECT_EQ(e[3].FileName, converted);
    EXPECT_EQ(e[4].FileName, dosName);
    EXPECT_EQ(e[5].FileName, "caf\xC3\xA9.bin");
    EXPECT_EQ(e[0].HostSystem, 0);
    EXPECT_EQ(e[3].VersionMadeBy, 50);
}

TEST_F(ZipListing, ACommentQuotingAnEndRecordIsComment) {
    const std::vector<ForgedEntry> entries = {{.Name = "a.bin", .Data = "aaa"}, {.Name = "b.bin", .Data = "b"}};
    const std::string plain = ForgeZip(entries);
    // The comment ends with a record shaped like a whole empty archive at the end of the file.
    const std::string fakeEmpty = ForgeZip(entries, {.Comment = "note " + EndRecord(0, 0, 0)});
    ListBytes("fake.zip", fakeEmpty);
    EXPECT_EQ(zip.ErrCode, 0) << zip.Message;
    EXPECT_EQ(zip.EntryCount(), 2);
    EXPECT_EQ(zip.ZipComment, "note " + EndRecord(0, 0, 0));
    // A fake record pointing at a forged directory elsewhere is not followed either.
    const std::size_t directory = plain.find("PK\x01\x02");
    const std::string forged =
        ForgeZip(entries, {.Comment = EndRecord(1, 46 + 5, static_cast<std::uint32_t>(directory)) + "tail"});
    ListBytes("forged.zip", forged);
    EXPECT_EQ(zip.ErrCode, 0) << zip.Message;
    EXPECT_EQ(zip.EntryCount(), 2);
    // Garbage after a real end record still says so, and the record is still found.
    ListBytes("garbage.zip", plain + "PK\x05\x06");
    EXPECT_EQ(zip.ErrCode, zmWarnGarbage);
    EXPECT_EQ(zip.EntryCount(), 2);
    // A comment length running past the end of the file: cut, flagged, entries whole.
    std::string cut = plain;
    SetU16(cut, EndRecordAt(cut) + 20, 500);
    ListBytes("cut.zip", cut + "abc");
    EXPECT_EQ(zip.ErrCode, zmWarnGarbage);
    EXPECT_EQ(zip.EntryCount(), 2);
    EXPECT_EQ(zip.ZipComment, "abc");
}

TEST_F(ZipListing, TheEndRecordAtTheVeryStartOfTheSearchWindow) {
    // The largest comment puts the record at the first byte the search looks at.
    const std::string comment(65535, 'c');
    const std::string archive = Noise(5000, 4) + EndRecord(0, 0, 5000, comment);
    ListBytes("window.zip", archive);
    EXPECT_EQ(zip.ErrCode, 0) << zip.Message;
    EXPECT_EQ(zip.ZipComment.size(), comment.size());
    // One byte more and the record is out of reach.
    ListBytes("beyond.zip", archive + "x");
    EXPECT_EQ(zip.ErrCode, zmNotValidZip);
}

TEST_F(ZipListing, Zip64RecordsAndFieldsListWithoutWarning) {
    // More entries than a classic record can count.
    std::vector<ForgedEntry> many(70000);
    for (std::size_t i = 0; i < many.size(); ++i) {
        many[i].Name = std::to_string(i);
    }
    const std::string bigBytes = ForgeZip(many, {.Zip64 = true});
    zipdir::MemorySource big(bigBytes);
    zip.ErrCode = 0;
    zip.ListFrom(big);
    EXPECT_EQ(zip.ErrCode, 0) << zip.Message;
    ASSERT_EQ(zip.ZipEntries().size(), 70000u);
    EXPECT_EQ(zip.ZipEntries().back().FileName, "69999");

    // 65,535 entries without zip64 records is a real count.
    many.resize(65535);
    const std::string fullBytes = ForgeZip(many);
    zipdir::MemorySource full(fullBytes);
    zip.ErrCode = 0;
    zip.ListFrom(full);
    EXPECT_EQ(zip.ErrCode, 0) << zip.Message;
    EXPECT_EQ(zip.ZipEntries().size(), 65535u);

    // Saturated sizes and offset with the real values in the zip64 extra field.
    std::string extra;
    PutU16(extra, 0x5455);  // an unrelated field first
    PutU16(extra, 5);
    extra += std::string(5, '\0');
    PutU16(extra, 0x0001);
    PutU16(extra, 24);
    PutU64(extra, 5000000000ULL);  // uncompressed
    PutU64(extra, 4000000000ULL);  // compressed
    PutU64(extra, 0);              // local header offset
    std::string archive = ForgeZip({{.Name = "huge.bin", .Data = "", .Extra = extra}}, {.Zip64 = true});
    const std::size_t header = archive.find("PK\x01\x02");
    SetU32(archive, header + 20, 0xFFFFFFFF);
    SetU32(archive, header + 24, 0xFFFFFFFF);
    SetU32(archive, header + 42, 0xFFFFFFFF);
    ListBytes("huge.zip", archive);
    EXPECT_EQ(zip.ErrCode, 0) << zip.Message;
    ASSERT_EQ(zip.EntryCount(), 1);
    const ZipDirEntry& e = zip.ZipEntries()[0];
    EXPECT_EQ(e.UncompressedSize, 0xFFFFFFFFu);
    EXPECT_EQ(e.UncompressedSize64, 5000000000ULL);
    EXPECT_EQ(e.CompressedSize64, 4000000000ULL);
    EXPECT_EQ(e.LocalHeaderOffset64, 0u);
}

TEST_F(ZipListing, AZip64LocatorPointingElsewhereIsAnInconsistency) {
    // The zip64 end record is found right before its locator; a locator that says 1 TiB into a
    // small file is as wrong as the offsets of an archive with data in front of it.
    std::string archive = ForgeZip({{.Name = "a.bin", .Data = "1"}, {.Name = "b.bin", .Data = "2"}}, {.Zip64 = true});
    const std::size_t locator = archive.find("PK\x06\x07");
    ASSERT_NE(locator, std::string::npos);
    ListBytes("honest.zip", archive);
    EXPECT_EQ(zip.ErrCode, 0) << zip.Message;
    SetU32(archive, locator + 8, 0);
    SetU32(archive, locator + 12, 0x100);  // 2^40
    ListBytes("far.zip", archive);
    EXPECT_EQ(zip.ErrCode, zmWarnStructure);
    EXPECT_EQ(zip.Message, "Warning - Error in zip structure!");
    ASSERT_EQ(zip.EntryCount(), 2);
    EXPECT_EQ(zip.ZipEntries()[1].FileName, "b.bin");
}

TEST_F(ZipListing, CountsAndSizesAreNotTrustedForMemory) {
    // A tiny file claiming 65,535 entries, or 2^40 through a zip64 record, fails on the bytes
    // that are not there instead of reserving room for them.
    std::string claims = ForgeZip({{.Name = "a", .Data = "1"}}, {.Count = 0xFFFF});
    ListBytes("claims.zip", claims);
    EXPECT_EQ(zip.ErrCode, zmReadCentralHeader);
    EXPECT_LE(zip.ZipEntries().capacity(), 65536u);

    std::string zip64 = ForgeZip({{.Name = "a", .Data = "1"}}, {.Zip64 = true});
    const std::size_t record = zip64.find("PK\x06\x06");
    for (const std::size_t field : {24u, 32u}) {
        SetU32(zip64, record + field, 0);
        SetU32(zip64, record + field + 4, 0x100);
    }
    ListBytes("zip64claims.zip", zip64);
    EXPECT_EQ(zip.ErrCode, zmCentralSignature);
    EXPECT_LE(zip.ZipEntries().capacity(), 65536u);

    // A zip64 directory size beyond the file is an error, not a seek or an allocation.
    zip64 = ForgeZip({{.Name = "a", .Data = "1"}}, {.Zip64 = true});
    SetU32(zip64, record + 44, 0xFFFFFFFF);
    ListBytes("zip64size.zip", zip64);
    EXPECT_EQ(zip.ErrCode, zmSeekListing);
}

TEST_F(ZipListing, ListingAgainReplacesEverything) {
    ListBytes("three.zip", ForgeZip({{.Name = "a-long-name-beyond-sso.bin", .Data = "1", .Comment = "c"},
                                     {.Name = "b", .Data = "2"},
                                     {.Name = "c", .Data = "3"}},
                                    {.Comment = "three"}));
    ASSERT_EQ(zip.EntryCount(), 3);
    ListBytes("one.zip", ForgeZip({{.Name = "z", .Data = "9"}}));
    ASSERT_EQ(zip.EntryCount(), 1);
    EXPECT_EQ(zip.ZipEntries()[0].FileName, "z");
    EXPECT_EQ(zip.ZipEntries()[0].FileComment, "");
    EXPECT_EQ(zip.ZipComment, "");
    EXPECT_EQ(CrcToHex(zip.ZipEntries()[0].Crc32), CrcToHex(Crc32Of("9", 1)));
}

}  // namespace
}  // namespace qm::test
