// A small JSON writer for --json output. Strings are byte strings from datafiles and archives;
// they are written as UTF-8 (Windows-1252 decoded where they are not UTF-8 already).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

std::string JsonString(std::string_view bytes);

class JsonObject {
public:
    JsonObject& Add(std::string_view key, std::string_view value);
    JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
    JsonObject& Add(std::string_view key, std::int64_t value);
    JsonObject& Add(std::string_view key, int value) { return Add(key, static_cast<std::int64_t>(value)); }
    JsonObject& Add(std::string_view key, std::size_t value) { return Add(key, static_cast<std::int64_t>(value)); }
    JsonObject& Add(std::string_view key, bool value);
    JsonObject& Add(std::string_view key, const std::vector<std::string>& values);
    JsonObject& AddRaw(std::string_view key, std::string_view json);
    std::string Text() const { return "{" + body_ + "}"; }

private:
    void Key(std::string_view key);
    std::string body_;
};

std::string JsonArray(const std::vector<std::string>& rawItems);

}  // namespace qm
