#include "game_db/cel_strings.h"

#include <charconv>
#include <stdexcept>

namespace qm {

std::string GetField(std::string_view s, char startChar, char endChar, int n) {
    if (s.empty() || n < 1) {
        return {};
    }
    int seen = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != startChar) {
            continue;
        }
        if (++seen == n) {
            const std::size_t begin = i + 1;
            const std::size_t end = s.find(endChar, begin);
            return std::string(s.substr(begin, end == std::string_view::npos ? s.npos : end - begin));
        }
    }
    return {};
}

std::string GetCacheField(std::string_view s, int n) {
    return GetField(s, kCacheDelimiter, kCacheDelimiter, n);
}

std::string TextBefore(std::string_view s, char c) {
    return std::string(s.substr(0, s.find(c)));
}

std::string TextAfterLast(std::string_view s, char c) {
    std::string collapsed = CollapseSpaces(s);
    const std::size_t pos = collapsed.rfind(c);
    if (pos == std::string::npos) {
        return collapsed;
    }
    return collapsed.substr(pos + 1);
}

std::string CollapseSpaces(std::string_view s) {
    std::string trimmed = Trim(s);
    std::string out;
    out.reserve(trimmed.size());
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        if (trimmed[i] == ' ' && i > 0 && trimmed[i - 1] == ' ') {
            continue;
        }
        out.push_back(trimmed[i]);
    }
    return out;
}

std::string CopyRange(std::string_view s, int a, int b) {
    if (a < 1) {
        a = 1;
    }
    if (b < a || static_cast<std::size_t>(a) > s.size()) {
        return {};
    }
    return std::string(s.substr(static_cast<std::size_t>(a - 1), static_cast<std::size_t>(b - a + 1)));
}

std::string LeftStr(std::string_view s, int n) {
    return CopyRange(s, 1, n);
}

std::string RightStr(std::string_view s, int n) {
    const int length = static_cast<int>(s.size());
    return CopyRange(s, length - n + 1, length);
}

std::string FileNameOfPath(std::string_view path) {
    const std::size_t pos = path.find_last_of("\\/");
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string ZipBaseName(std::string_view path) {
    std::string name = FileNameOfPath(path);
    name.resize(name.size() >= 4 ? name.size() - 4 : 0);
    return name;
}

int IndexOfPrefix(std::string_view s, const std::vector<std::string>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (StartsWith(list[i], s)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string ComplementCrc(std::string_view hex) {
    const auto value = ParseCrcHex(hex);
    if (!value) {
        throw std::invalid_argument("'" + std::string(hex) + "' is not a valid hexadecimal value");
    }
    return CrcToHex(~*value);
}

std::string ComplementForLookup(std::string_view crc) {
    const auto value = crc.size() == 8 ? ParseCrcHex(crc) : std::nullopt;
    if (!value || *value == 0 || *value == 0xFFFFFFFFu) {
        return {};
    }
    return CrcToHex(~*value);
}

std::string PadRight(std::string_view s, std::size_t width) {
    std::string out;
    AppendPadRight(out, s, width);
    return out;
}

void AppendPadRight(std::string& out, std::string_view s, std::size_t width) {
    out += s;
    if (s.size() < width) {
        out.append(width - s.size(), ' ');
    }
}


std::optional<std::int32_t> ParseInt32(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') {
        ++i;
    }
    s.remove_prefix(i);
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
    }
    if (s.empty()) {
        return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 10);
    if (ec != std::errc() || ptr != s.data() + s.size()) {
        return std::nullopt;
    }
    return value;
}

std::string CrcToHex(std::uint32_t crc) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(8, '0');
    for (int i = 7; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = kDigits[crc & 0xF];
        crc >>= 4;
    }
    return out;
}

std::optional<std::uint32_t> ParseCrcHex(std::string_view hex) {
    if (hex.empty() || hex.size() > 8) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : hex) {
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = (value << 4) | digit;
    }
    return value;
}

}  // namespace qm
