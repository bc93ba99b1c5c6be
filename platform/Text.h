// Text rules of the platform: names are bytes (UTF-8 or Windows-1252), folded by ASCII case
// only, and every sorted list whose order can be seen uses the folded byte order.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qm {

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

// A value refused before anything was written.
class EBadValue : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The one rule for values written as "key=value" lines (settings file, datafile header): no
// control character. A CR or LF would end the line there and let the rest of the value be
// read as a key of its own, a section, or a ROM line of the datafile.
bool IsOneLineText(std::string_view value);
// Throws EBadValue naming `what` and showing the value with its control characters escaped,
// unless IsOneLineText(value).
void CheckOneLineText(std::string_view what, std::string_view value);

}  // namespace qm
