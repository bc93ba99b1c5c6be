#include "cli/Json.h"

#include <cstdio>

#include "platform/Platform.h"

namespace qm {

std::string JsonString(std::string_view bytes) {
    const std::string text = DisplayText(bytes);
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
                    out += buffer;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

void JsonObject::Key(std::string_view key) {
    if (!body_.empty()) {
        body_ += ", ";
    }
    body_ += JsonString(key);
    body_ += ": ";
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value) {
    Key(key);
    body_ += JsonString(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::int64_t value) {
    Key(key);
    body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
    Key(key);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const std::vector<std::string>& values) {
    std::vector<std::string> items;
    items.reserve(values.size());
    for (const auto& v : values) {
        items.push_back(JsonString(v));
    }
    return AddRaw(key, JsonArray(items));
}

JsonObject& JsonObject::AddRaw(std::string_view key, std::string_view json) {
    Key(key);
    body_ += json;
    return *this;
}

std::string JsonArray(const std::vector<std::string>& rawItems) {
    std::string out = "[";
    for (std::size_t i = 0; i < rawItems.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        out += rawItems[i];
    }
    out += "]";
    return out;
}

}  // namespace qm
