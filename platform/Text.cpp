#include "platform/Text.h"

#include <algorithm>

namespace qm {

std::string LowerCase(std::string_view s) {
    std::string out(s);
    LowerCaseInPlace(out);
    return out;
}

void LowerCaseInPlace(std::string& s) {
    for (char& c : s) {
        c = AsciiLower(c);
    }
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

int CompareFolded(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    // Keys are mostly lower-case already: skip the common raw prefix quickly, then fold.
    std::size_t i = 0;
    while (i < n && a[i] == b[i]) {
        ++i;
    }
    int exact = 0;
    for (; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca == cb) {
            continue;
        }
        const auto fa = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto fb = static_cast<unsigned char>(AsciiLower(b[i]));
        if (fa != fb) {
            return fa < fb ? -1 : 1;
        }
        if (exact == 0) {
            exact = ca < cb ? -1 : 1;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return exact;
}

std::string Trim(std::string_view s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ') {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(s[end - 1]) <= ' ') {
        --end;
    }
    return std::string(s.substr(begin, end - begin));
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.starts_with(prefix);
}
bool EndsWith(std::string_view s, std::string_view suffix) {
    return s.ends_with(suffix);
}

bool EndsWithText(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && SameText(s.substr(s.size() - suffix.size()), suffix);
}

}  // namespace qm
