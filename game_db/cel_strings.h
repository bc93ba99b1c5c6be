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

#include "platform/SystemTools.h"
#include "platform/Text.h"

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
// The CRC of which `crc` would be the known bad dump, for lookups: its complement, or empty when
// `crc` is not 8 hexadecimal digits or when it or its complement is 00000000. That value marks
// ROMs whose good dump is unknown (and is the CRC of an empty file): such a ROM has no
// complemented CRC, and a found ffffffff is no bad dump of every one of them.
std::string ComplementForLookup(std::string_view crc);
std::string PadRight(std::string_view s, std::size_t width);
// PadRight appended to `out`, without a string of its own.
void AppendPadRight(std::string& out, std::string_view s, std::size_t width);
// MakeWritable is an operation on files: platform/SystemTools.h, included here for its callers.

// Decimal integer with optional leading blanks and sign; nullopt when it does
// not convert or does not fit in 32 bits.
std::optional<std::int32_t> ParseInt32(std::string_view s);
std::string CrcToHex(std::uint32_t crc);
std::optional<std::uint32_t> ParseCrcHex(std::string_view hex);

}  // namespace qm
