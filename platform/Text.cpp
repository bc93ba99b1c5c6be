#include "platform/Text.h"

#include <algorithm>
#include <cstdio>

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

namespace {

bool IsControl(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
}

}  // namespace

bool IsOneLineText(std::string_view value) {
    return std::none_of(value.begin(), value.end(), IsControl);
}

void CheckOneLineText(std::string_view what, std::string_view value) {
    if (IsOneLineText(value)) {
        return;
    }
    std::string shown;
    for (const char c : value) {
        if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (IsControl(c)) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            shown += hex;
        } else {
            shown += c;
        }
    }
    throw EBadValue(std::string(what) + " \"" + shown + "\" cannot hold control characters (line breaks, tabs)");
}

}  // namespace qm
