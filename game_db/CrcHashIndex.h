// ROMs by CRC text in a hash table: open addressing, keyed by the CRC's value when it is eight
// hexadecimal digits (as nearly all are), by a byte hash otherwise. Matching a collection looks
// CRCs up a million times; a sorted list's binary search is too slow for that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "game_db/cel_strings.h"

namespace qm {

template <class Rom>
class CrcHashIndex {
public:
    explicit CrcHashIndex(std::size_t expected = 0) { Reset(expected); }

    void Reset(std::size_t expected) {
        std::size_t capacity = 1024;
        while (capacity < expected * 2) {
            capacity *= 2;
        }
        slots_.assign(capacity, nullptr);
        count_ = 0;
    }

    Rom* Find(std::string_view crc) const {
        for (std::size_t i = Hash(crc) & Mask();; i = (i + 1) & Mask()) {
            Rom* rom = slots_[i];
            if (rom == nullptr || rom->Crc == crc) {
                return rom;
            }
        }
    }

    // Keeps the ROM already filed under that CRC, if any.
    void Insert(Rom* rom) {
        if ((count_ + 1) * 2 > slots_.size()) {
            Grow();
        }
        for (std::size_t i = Hash(rom->Crc) & Mask();; i = (i + 1) & Mask()) {
            if (slots_[i] == nullptr) {
                slots_[i] = rom;
                ++count_;
                return;
            }
            if (slots_[i]->Crc == rom->Crc) {
                return;
            }
        }
    }

    std::size_t Count() const { return count_; }

private:
    std::size_t Mask() const { return slots_.size() - 1; }

    static std::size_t Hash(std::string_view crc) {
        if (crc.size() == 8) {
            if (const auto value = ParseCrcHex(crc)) {
                return static_cast<std::size_t>((static_cast<std::uint64_t>(*value) * 0x9E3779B97F4A7C15ull) >> 16);
            }
        }
        std::uint64_t h = 1469598103934665603ull;
        for (const char c : crc) {
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
        return static_cast<std::size_t>(h);
    }

    void Grow() {
        std::vector<Rom*> old = std::move(slots_);
        slots_.assign(old.size() * 2, nullptr);
        count_ = 0;
        for (Rom* rom : old) {
            if (rom != nullptr) {
                Insert(rom);
            }
        }
    }

    std::vector<Rom*> slots_;
    std::size_t count_ = 0;
};

}  // namespace qm
