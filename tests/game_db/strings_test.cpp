#include <gtest/gtest.h>

#include "game_db/cel_strings.h"

namespace qm {
namespace {

const std::string D(1, '\xA4');

TEST(FieldOperations, GetFieldKeepsPlacesOfEmptyFieldsAndStopsAtTheEnd) {
    const std::string record = D + "a" + D + "b" + D;
    EXPECT_EQ(GetCacheField(record, 1), "a");
    EXPECT_EQ(GetCacheField(record, 2), "b");
    EXPECT_EQ(GetCacheField(record, 3), "");
    const std::string withEmpty = D + "a" + D + D + "c" + D;
    EXPECT_EQ(GetCacheField(withEmpty, 2), "");
    EXPECT_EQ(GetCacheField(withEmpty, 3), "c");
    // Without a leading delimiter the first field is lost.
    EXPECT_EQ(GetCacheField("a" + D + "b", 1), "b");
    EXPECT_EQ(GetField("", ';', ';', 1), "");
    EXPECT_EQ(GetField("x;y", ';', ';', 1), "y");
    EXPECT_EQ(GetField("x;", ';', ';', 1), "");
}

TEST(FieldOperations, TextHelpers) {
    EXPECT_EQ(TextBefore("MAME v0.37 - Multiple", '-'), "MAME v0.37 ");
    EXPECT_EQ(TextBefore("abc", '-'), "abc");
    EXPECT_EQ(TextAfterLast("  one   two    three  ", ' '), "three");
    EXPECT_EQ(TextAfterLast("  alone ", '-'), "alone");
    EXPECT_EQ(CollapseSpaces("\t a  b   c \r"), "a b c");
    EXPECT_EQ(CopyRange("abcdef", 2, 4), "bcd");
    EXPECT_EQ(CopyRange("abc", 2, 10), "bc");
    EXPECT_EQ(CopyRange("abc", 5, 6), "");
    EXPECT_EQ(LeftStr("abcdef", 2), "ab");
    EXPECT_EQ(RightStr("abcdef", 2), "ef");
    EXPECT_EQ(RightStr("ab", 5), "ab");
    EXPECT_EQ(FileNameOfPath("/roms/mame/pacman.zip"), "pacman.zip");
    EXPECT_EQ(FileNameOfPath("c:\\roms\\pacman.zip"), "pacman.zip");
    EXPECT_EQ(FileNameOfPath("pacman.zip"), "pacman.zip");
    EXPECT_EQ(ZipBaseName("/roms/mame/PacMan.zip"), "PacMan");
    EXPECT_EQ(PadRight("abc", 5), "abc  ");
    EXPECT_EQ(PadRight("abcdefgh", 5), "abcdefgh");
    EXPECT_EQ(IndexOfPrefix("rom", {"a rompath", "rompath=x", "rom"}), 1);
    EXPECT_EQ(IndexOfPrefix("zzz", {"a", "b"}), -1);
}

TEST(FieldOperations, ComplementCrc) {
    EXPECT_EQ(ComplementCrc("12345678"), "edcba987");
    EXPECT_EQ(ComplementCrc("00000000"), "ffffffff");
    EXPECT_EQ(ComplementCrc(ComplementCrc("DEADBEEF")), "deadbeef");
    EXPECT_THROW(ComplementCrc("xyz"), std::invalid_argument);
    EXPECT_THROW(ComplementCrc("        "), std::invalid_argument);

    // For lookups: no complement for what is no CRC, nor between 00000000 (no dump) and
    // ffffffff.
    EXPECT_EQ(ComplementForLookup("12345678"), "edcba987");
    EXPECT_EQ(ComplementForLookup("00000000"), "");
    EXPECT_EQ(ComplementForLookup("ffffffff"), "");
    EXPECT_EQ(ComplementForLookup("        "), "");
    EXPECT_EQ(ComplementForLookup("xyz"), "");
}

TEST(FieldOperations, FoldedOrderPutsCaseVariantsTogetherButKeepsThemApart) {
    EXPECT_LT(CompareFolded("Apple", "banana"), 0);
    EXPECT_LT(CompareFolded("PacMan", "pacman"), 0);  // equal folded, then bytes
    EXPECT_NE(CompareFolded("PacMan", "pacman"), 0);
    EXPECT_EQ(CompareFolded("x", "x"), 0);
    EXPECT_EQ(LowerCase("PacMan\xC9.ZIP"), "pacman\xC9.zip");  // bytes >= 128 untouched
}

}  // namespace
}  // namespace qm
