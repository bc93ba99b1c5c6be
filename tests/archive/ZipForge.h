// Zip archives built byte by byte, for the cases no tool writes: hostile fields, DOS hosts,
// zip64 records, broken directories. Entries are stored (not compressed).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/crc32.h"

namespace qm::test {

struct ForgedEntry {
    std::string Name;
    std::string Data;
    std::uint8_t Host = 3;  // Unix
    std::uint8_t Version = 20;
    std::uint16_t Flags = 0;
    std::string Comment;
    std::string Extra;                 // central header extra field, as given
    std::optional<std::uint32_t> Crc;  // the data's CRC unless given
};

struct ForgeOptions {
    std::string Comment;
    // Writes zip64 end records; the classic record then holds saturated values.
    bool Zip64 = false;
    std::optional<std::uint16_t> Count;  // overrides the classic entry counts
};

inline void PutU16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
inline void PutU32(std::string& out, std::uint32_t v) {
    PutU16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    PutU16(out, static_cast<std::uint16_t>(v >> 16));
}
inline void PutU64(std::string& out, std::uint64_t v) {
    PutU32(out, static_cast<std::uint32_t>(v));
    PutU32(out, static_cast<std::uint32_t>(v >> 32));
}
inline void SetU16(std::string& bytes, std::size_t at, std::uint16_t v) {
    bytes[at] = static_cast<char>(v & 0xFF);
    bytes[at + 1] = static_cast<char>(v >> 8);
}
inline void SetU32(std::string& bytes, std::size_t at, std::uint32_t v) {
    SetU16(bytes, at, static_cast<std::uint16_t>(v & 0xFFFF));
    SetU16(bytes, at + 2, static_cast<std::uint16_t>(v >> 16));
}

// A classic end record: the given counts, directory size and offset, and comment.
inline std::string EndRecord(std::uint16_t entries, std::uint32_t size, std::uint32_t offset,
                             std::string_view comment = {}) {
    std::string out = "PK\x05\x06";
    PutU16(out, 0);
    PutU16(out, 0);
    PutU16(out, entries);
    PutU16(out, entries);
    PutU32(out, size);
    PutU32(out, offset);
    PutU16(out, static_cast<std::uint16_t>(comment.size()));
    out += comment;
    return out;
}

// The central header of one entry, without the name and what follows.
inline std::string CentralHeader(const ForgedEntry& e, std::uint32_t crc, std::uint32_t offset) {
    std::string out = "PK\x01\x02";
    out += static_cast<char>(e.Version);
    out += static_cast<char>(e.Host);
    PutU16(out, 20);
    PutU16(out, e.Flags);
    PutU16(out, 0);
    PutU32(out, 0x21000000);  // 1996-08-00 00:00
    PutU32(out, crc);
    PutU32(out, static_cast<std::uint32_t>(e.Data.size()));
    PutU32(out, static_cast<std::uint32_t>(e.Data.size()));
    PutU16(out, static_cast<std::uint16_t>(e.Name.size()));
    PutU16(out, static_cast<std::uint16_t>(e.Extra.size()));
    PutU16(out, static_cast<std::uint16_t>(e.Comment.size()));
    PutU16(out, 0);
    PutU16(out, 0);
    PutU32(out, 0);
    PutU32(out, offset);
    return out;
}

inline std::string ForgeZip(const std::vector<ForgedEntry>& entries, const ForgeOptions& options = {}) {
    std::string out;
    std::string central;
    for (const ForgedEntry& e : entries) {
        const std::uint32_t crc = e.Crc.value_or(Crc32Of(e.Data.data(), e.Data.size()));
        const auto offset = static_cast<std::uint32_t>(out.size());
        out += "PK\x03\x04";
        PutU16(out, 20);
        PutU16(out, e.Flags);
        PutU16(out, 0);
        PutU32(out, 0x21000000);
        PutU32(out, crc);
        PutU32(out, static_cast<std::uint32_t>(e.Data.size()));
        PutU32(out, static_cast<std::uint32_t>(e.Data.size()));
        PutU16(out, static_cast<std::uint16_t>(e.Name.size()));
        PutU16(out, 0);
        out += e.Name;
        out += e.Data;
        central += CentralHeader(e, crc, offset) + e.Name + e.Extra + e.Comment;
    }
    const std::uint64_t directoryOffset = out.size();
    out += central;
    const std::uint64_t count = entries.size();
    if (options.Zip64) {
        const std::uint64_t recordOffset = out.size();
        out += "PK\x06\x06";
        PutU64(out, 44);
        PutU16(out, 45);
        PutU16(out, 45);
        PutU32(out, 0);
        PutU32(out, 0);
        PutU64(out, count);
        PutU64(out, count);
        PutU64(out, central.size());
        PutU64(out, directoryOffset);
        out += "PK\x06\x07";
        PutU32(out, 0);
        PutU64(out, recordOffset);
        PutU32(out, 1);
        out += EndRecord(options.Count.value_or(0xFFFF), 0xFFFFFFFF, 0xFFFFFFFF, options.Comment);
        return out;
    }
    const std::uint16_t classic = options.Count.value_or(static_cast<std::uint16_t>(count));
    out += EndRecord(classic, static_cast<std::uint32_t>(central.size()), static_cast<std::uint32_t>(directoryOffset),
                     options.Comment);
    return out;
}

inline std::size_t EndRecordAt(const std::string& zip) {
    return zip.rfind("PK\x05\x06");
}

}  // namespace qm::test
