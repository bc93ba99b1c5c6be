// Small field operations on Windows-1252 byte strings, shared by every text format of the
// program (datafile ROM lines, directory cache lines, ROM path lists, emulator output).
// Positions are counted from 1, as the formats describe them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

inline constexpr char kDatafileDelimiter = '\xAC';
inline constexpr char kCacheDelimiter = '\xA4';

std::string GetField(std::string_view s, char startChar, char endChar, int n);
std::string GetCacheField(std::string_view s, int n);
std::string TextBefore(std::string_view s, char c);
std::string TextAfterLast(std::string_view s, char c);
std::string CollapseSpaces(std::string_view s);
std::string CopyRange(std::string_view s, int a, int b);
std::string LeftStr(std::string_view s, int n);
std::string RightStr(std::string_view s, int n);
std::string FileNameOfPath(std::string_view path);
std::string ZipBaseName(std::string_view path);
int IndexOfPrefix(std::string_view s, const std::vector<std::string>& list);
// Throws std::invalid_argument when hex is not a hexadecimal number.
std::string ComplementCrc(std::string_view hex);
std::string PadRight(std::string_view s, std::size_t width);
bool MakeWritable(const std::filesystem::path& path);

// ASCII-only case folding: names may be UTF-8 or Windows-1252, and folding bytes of 128 or
// more would corrupt the former.
inline char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
std::string LowerCase(std::string_view s);
void LowerCaseInPlace(std::string& s);
bool SameText(std::string_view a, std::string_view b);
// Byte order after ASCII case folding, then exact bytes: the order of every sorted list whose
// order can be seen.
int CompareFolded(std::string_view a, std::string_view b);
inline bool FoldedLess(std::string_view a, std::string_view b) {
    return CompareFolded(a, b) < 0;
}
// The first eight folded bytes of a key, big-endian and padded with zeros: comparing two of
// these orders keys as CompareFolded does whenever they differ, so sorts compare integers first.
inline std::uint64_t FoldedPrefix(std::string_view key) {
    std::uint64_t prefix = 0;
    for (std::size_t k = 0; k < 8; ++k) {
        prefix = (prefix << 8) | (k < key.size() ? static_cast<unsigned char>(AsciiLower(key[k])) : 0u);
    }
    return prefix;
}

std::string Trim(std::string_view s);
bool StartsWith(std::string_view s, std::string_view prefix);
bool EndsWith(std::string_view s, std::string_view suffix);
bool EndsWithText(std::string_view s, std::string_view suffix);  // case-insensitive
// Decimal integer with optional leading blanks and sign; nullopt when it does
// not convert or does not fit in 32 bits.
std::optional<std::int32_t> ParseInt32(std::string_view s);
std::string CrcToHex(std::uint32_t crc);
std::optional<std::uint32_t> ParseCrcHex(std::string_view hex);

}  // namespace qm
