#include <gtest/gtest.h>

#include <zlib.h>

#include "config/DataFile.h"
#include "config/DatafileImport.h"
#include "config/ListXml.h"
#include "game_db/GamesList.h"
#include "platform/Job.h"
#include "platform/Platform.h"
#include "support/Listings.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// The ROM lines a listing makes, fed to a reader in pieces of `piece` bytes.
template <class Reader>
std::string LinesFrom(std::string_view listing, std::size_t piece, ListingKind kind = ListingKind::Mame) {
    TDatafile datafile;
    Reader reader = [&]() -> Reader {
        if constexpr (std::is_same_v<Reader, TListInfoReader>) {
            return Reader(datafile.BeginListing(kind), kind);
        } else {
            return Reader(datafile.BeginListing(kind), "sample");
        }
    }();
    for (std::size_t at = 0; at < listing.size(); at += piece) {
        reader.Feed(listing.substr(at, piece));
    }
    reader.Finish();
    datafile.EndListing(SilentJob());
    return datafile.RomLines();
}

std::string Bars(std::string text) {
    for (char& c : text) {
        c = c == '\xAC' ? '|' : c;
    }
    return text;
}

// The builder's datafile, header and ROM lines, is byte-exact: CR LF, 0xAC delimiters, the 13
// header lines in their order, sets, clones and ROMs in name order.
class DatafileBuilderTest : public test::TempDirTest {};

TEST_F(DatafileBuilderTest, WritesTheFormatByteForByte) {
    TDatafile datafile;
    TListInfoReader reader(datafile.BeginListing(ListingKind::Mame), ListingKind::Mame);
    reader.Feed(test::ListInfoSample());
    reader.Finish();
    datafile.EndListing(SilentJob());
    datafile.Author = "Quillmark 1.91";
    datafile.DatVersion = "1.0";
    datafile.Comment = "Automatically generated file";
    datafile.RefName = "mame";
    datafile.EmulatorVersion = "M.A.M.E. v0.36";
    const fs::path file = Root() / "built.dat";
    datafile.SaveDatafile(file);
    EXPECT_EQ(ReadFile(file),
              "[CREDITS]\r\nAuthor=Quillmark 1.91\r\nVersion=1.0\r\nComment=Automatically generated file\r\n"
              "[DAT]\r\nversion=1.90\r\n[EMULATOR]\r\nrefname=mame\r\nversion=M.A.M.E. v0.36\r\nexe=\r\nruncmd=\r\n"
              "romspaths=\r\n[GAMES]\r\n" +
                  test::ExpectedSampleLines());
    EXPECT_EQ(datafile.Counts().Games, 8u);
    EXPECT_EQ(datafile.SetCount(), 7u);
    EXPECT_EQ(datafile.CloneCount(), 9u);
    EXPECT_EQ(datafile.RomLineCount(), 14u);

    // A header value that would break its line is refused; the file stays as it was.
    datafile.Exe = "/opt/ma\nme";
    EXPECT_THROW(datafile.SaveDatafile(file), EBadValue);
    EXPECT_EQ(ReadFile(file).substr(0, 9), "[CREDITS]");
}

// Every format of the same listing, in pieces of any size, gives the same ROM lines.
TEST(DatafileBuilder, EveryFormatGivesTheSameLines) {
    const std::string expected = Bars(test::ExpectedSampleLines());
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 20}) {
        EXPECT_EQ(Bars(LinesFrom<TListInfoReader>(test::ListInfoSample(), piece)), expected) << piece;
        EXPECT_EQ(Bars(LinesFrom<TListXmlReader>(test::ListXmlSample(), piece)), expected) << piece;
        EXPECT_EQ(Bars(LinesFrom<TListXmlReader>(test::LogiqxSample(), piece)), expected) << piece;
        EXPECT_EQ(Bars(LinesFrom<TClrMameProReader>(test::ClrMameProSample(), piece)), expected) << piece;
    }
}

TEST(DatafileBuilder, ListInfoLineRules) {
    // Line 0 is never examined, even when it opens the first game, whose lines still count;
    // ROM-seen starts true, so nothing is added for a game before it.
    EXPECT_EQ(Bars(LinesFrom<TListInfoReader>("game (\nname a\ndescription \"A\"\nrom ( name x size 1 crc 00000001 )\n",
                                              1 << 20)),
              "|a|A|a|A|x|00000001|N|O|1|\r\n");
    // A clone keeps the first ROM of a name (names compare lower-cased); a game listed twice is
    // one clone.
    EXPECT_EQ(Bars(LinesFrom<TListInfoReader>("x\ngame (\nname d\nrom ( name x size 1 crc 00000001 )\n"
                                              "rom ( name X size 2 crc 00000002 )\n)\ngame (\nname D\n"
                                              "rom ( name y size 3 crc 00000003 )\n)\n",
                                              5)),
              "|d||d||x|00000001|N|O|1|\r\n|d||d||y|00000003|N|O|3|\r\n");
    // Raine: "crc32", its own placeholder, no Neo-Geo set, names after "name " up to "size".
    EXPECT_EQ(Bars(LinesFrom<TListInfoReader>("raine\ngame (\nname r1\ndescription \"R\"\n"
                                              "rom ( name My File.bin size 16 crc32 0000ABCD )\n)\n"
                                              "game (\nname r2\ndescription \"R2 \n)\ngame (\nname r3\n)\n",
                                              1 << 20, ListingKind::Raine)),
              "|r1|R|r1|R|my file.bin|0000abcd|N|O|16|\r\n"
              "|r2|R2|r2|R2|Rom infos not available|        |N|O|0|\r\n"
              "|r3||r3||Rom infos not available|        |N|O|0|\r\n");
}

// Records that would corrupt the datafile or lead out of the collection are skipped and
// counted; the rest of the listing is filed.
TEST(DatafileBuilder, BadRecordsAreSkippedAndCounted) {
    const std::string longName(10000, 'n');
    const std::string listing =
        "game (\n\tname ok\n\tdescription \"Tab\there \xC2\xAC \xC3\xA9\xE2\x82\xAC\xE2\x98\x83\"\n"
        "\trom ( name good.bin size 10 crc 0000000a )\n"
        "\trom ( name bad1.bin size ten crc 0000000b )\n"
        "\trom ( name bad2.bin size -5 crc 0000000c )\n"
        "\trom ( name bad3.bin size 10 crc 12345 )\n"
        "\trom ( name bad4.bin size 10 crc zzzzzzzz )\n"
        "\trom ( name ../../etc/passwd size 10 crc 0000000d )\n"
        "\trom ( name a\xACz size 10 crc 0000000e )\n"
        "\trom ( name " +
        longName +
        " size 10 crc 0000000f )\n"
        "\trom ( name dvd.iso size 4700000000 crc 00000010 )\n"
        ")\n"
        "game (\n\tname ../evil\n\trom ( name x size 1 crc 00000011 )\n)\n"
        "game (\n\tname " +
        longName +
        "\n\trom ( name x size 1 crc 00000012 )\n)\n"
        "game (\n\tname clone\n\tcloneof a/b\n\trom ( name x size 1 crc 00000013 )\n)\n";
    TDatafile datafile;
    TClrMameProReader reader(datafile.BeginListing(ListingKind::Mame), "bad");
    reader.Feed(listing);
    reader.Finish();
    datafile.EndListing(SilentJob());
    EXPECT_EQ(Bars(datafile.RomLines()),
              "|ok|Tab here ? \xE9\x80?|ok|Tab here ? \xE9\x80?|dvd.iso|00000010|N|O|4700000000|\r\n"
              "|ok|Tab here ? \xE9\x80?|ok|Tab here ? \xE9\x80?|good.bin|0000000a|N|O|10|\r\n");
    EXPECT_EQ(datafile.Counts().Games, 4u);
    EXPECT_EQ(datafile.Counts().SkippedRoms, 7u);
    EXPECT_EQ(datafile.Counts().SkippedGames, 3u);
}

TEST(DatafileBuilder, AListingWithoutGamesIsAnError) {
    TDatafile datafile;
    TClrMameProReader reader(datafile.BeginListing(ListingKind::Mame), "empty");
    reader.Feed("clrmamepro ( name x )\n");
    reader.Finish();
    EXPECT_THROW(datafile.EndListing(SilentJob()), EListingError);
}

class ListingImportTest : public test::TempDirTest {
protected:
    // The import's error message, or "" when it succeeded.
    std::string ImportError(const fs::path& file) {
        TDatafile datafile;
        try {
            ImportListing(file, datafile, SilentJob());
        } catch (const std::exception& e) {
            return e.what();
        }
        return {};
    }
    std::string Gzip(std::string_view text) {
        const fs::path file = Root() / "gz.tmp";
        gzFile gz = gzopen(file.c_str(), "wb");
        gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
        gzclose(gz);
        return ReadFile(file);
    }
};

TEST_F(ListingImportTest, PlainGzipAndZipFilesOfEitherFormat) {
    const std::string expected = Bars(test::ExpectedSampleLines());
    const std::vector<std::pair<fs::path, std::string>> files = {
        {WriteFile("mame.xml", test::LogiqxSample()), "Logiqx XML"},
        {WriteFile("mame.dat.gz", Gzip(test::ClrMameProSample())), "clrmamepro text"},
        {WriteFile("listxml.xml.gz", Gzip(test::ListXmlSample())), "MAME XML"},
        {test::MakeZip(Root() / "mame.zip", {{"readme.txt", "hello"}, {"MAME 0.36.DAT", test::ClrMameProSample()}}),
         "clrmamepro text"},
    };
    for (const auto& [file, format] : files) {
        TDatafile datafile;
        const ImportedListing imported = ImportListing(file, datafile, SilentJob());
        EXPECT_EQ(imported.Format, format) << file;
        EXPECT_EQ(Bars(datafile.RomLines()), expected) << file;
    }
    TDatafile datafile;
    EXPECT_EQ(ImportListing(files[0].first, datafile, SilentJob()).Header.Description, "MAME 0.36 (test)");
}

TEST_F(ListingImportTest, BadFilesGiveClearErrors) {
    const std::string xml = test::LogiqxSample();
    EXPECT_NE(ImportError(WriteFile("cut.xml", xml.substr(0, xml.size() / 2))).find("cut.xml: not a readable XML"),
              std::string::npos);
    const std::string text = test::ClrMameProSample();
    EXPECT_NE(ImportError(WriteFile("cut.dat", text.substr(0, text.size() - 3))).find("ends inside the block"),
              std::string::npos);
    EXPECT_NE(ImportError(WriteFile("junk.dat", std::string("\x00\x01\x02 binary", 10))).find("holds no game"),
              std::string::npos);
    EXPECT_NE(ImportError(WriteFile("gz.dat.gz", Gzip(text).substr(0, 40))).find("cannot be unpacked"),
              std::string::npos);
    EXPECT_NE(ImportError(WriteFile("mine.dat", test::Datafile({}))).find("Quillmark datafile already"),
              std::string::npos);
    EXPECT_NE(ImportError(test::MakeZip(Root() / "two.zip", {{"a.dat", text}, {"b.xml", xml}})).find("several"),
              std::string::npos);
    EXPECT_NE(ImportError(Root() / "missing.dat").find("not found"), std::string::npos);
    EXPECT_NE(ImportError(Root()).find("not a file"), std::string::npos);
    // A tag without an end for more than 16 MB is refused instead of being held in memory.
    EXPECT_NE(ImportError(WriteFile("huge.xml", "<datafile><game name=\"" + std::string(17u << 20, 'a'))).find("16 MB"),
              std::string::npos);
}

// Entities are refused outright: no expansion bomb, no file of the machine read in.
TEST_F(ListingImportTest, XmlEntityAttacksAreRefused) {
    const std::string bomb =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile [\n<!ENTITY a \"aaaaaaaaaa\">\n"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">\n"
        "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">\n<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">\n]>\n"
        "<datafile><game name=\"g\"><description>&e;&e;&e;&e;</description>"
        "<rom name=\"r\" size=\"1\" crc=\"00000001\"/></game></datafile>\n";
    EXPECT_NE(ImportError(WriteFile("bomb.xml", bomb)).find("declares entities"), std::string::npos);
    const fs::path secret = WriteFile("secret.txt", "TOPSECRET");
    const std::string external = "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile [<!ENTITY s SYSTEM \"file://" +
                                 secret.string() +
                                 "\">]>\n<datafile><game name=\"g\"><description>&s;</description>"
                                 "<rom name=\"r\" size=\"1\" crc=\"00000001\"/></game></datafile>\n";
    EXPECT_NE(ImportError(WriteFile("external.xml", external)).find("declares entities"), std::string::npos);
    // An entity the document uses but never declares (its DTD is elsewhere) is not fetched.
    TDatafile datafile;
    ImportListing(WriteFile("undeclared.xml", "<!DOCTYPE datafile SYSTEM \"file://" + secret.string() +
                                                  "\">\n<datafile><game name=\"g\"><description>x&s;y</description>"
                                                  "<rom name=\"r\" size=\"1\" crc=\"00000001\"/></game></datafile>\n"),
                  datafile, SilentJob());
    EXPECT_EQ(datafile.RomLines().find("TOPSECRET"), std::string::npos);
}

TEST_F(ListingImportTest, CancelStopsTheImport) {
    CancellableJob job;
    job.RequestCancel();
    TDatafile datafile;
    EXPECT_THROW(ImportListing(WriteFile("mame.xml", test::LogiqxSample()), datafile, job), ECancelClick);
}

}  // namespace
}  // namespace qm
