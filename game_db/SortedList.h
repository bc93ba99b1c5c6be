// A list kept sorted by a string key, with the duplicate rule of the list it stands for.
//
// Keys compare by byte order after ASCII case folding, then by exact bytes. With duplicates
// ignored, adding a key already present leaves the list unchanged. With duplicates kept, a new
// item goes before the items of an equal key, so among equal keys the newest comes first
// (lookups and walks that take "the first" of a key rely on that order).
//
// Adding keys in ascending order costs O(1) each; bulk loads that cannot guarantee the order
// append unsorted and call SortAppended() once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "game_db/cel_strings.h"

namespace qm {

enum class Duplicates { Ignore, Keep };

template <class T, class KeyOf, Duplicates Dup>
class SortedList {
public:
    using value_type = T;
    using const_iterator = typename std::vector<T>::const_iterator;
    using iterator = typename std::vector<T>::iterator;

    static std::string_view Key(const T& item) { return KeyOf{}(item); }

    // Index of the first item of that key, or -1.
    int IndexOf(std::string_view key) const {
        const auto it = LowerBound(key);
        if (it != items_.end() && Key(*it) == key) {
            return static_cast<int>(it - items_.begin());
        }
        return -1;
    }
    const T* Find(std::string_view key) const {
        const int i = IndexOf(key);
        return i < 0 ? nullptr : &items_[static_cast<std::size_t>(i)];
    }
    T* Find(std::string_view key) {
        const int i = IndexOf(key);
        return i < 0 ? nullptr : &items_[static_cast<std::size_t>(i)];
    }
    bool Contains(std::string_view key) const { return IndexOf(key) >= 0; }

    // Adds the item; gives its index, or with duplicates ignored the index of the item already
    // holding that key (the list is then unchanged).
    std::size_t Add(T item) {
        const std::string_view key = Key(item);
        if (items_.empty() || CompareFolded(Key(items_.back()), key) < 0) {
            items_.push_back(std::move(item));
            return items_.size() - 1;
        }
        const auto it = LowerBound(key);
        const auto index = static_cast<std::size_t>(it - items_.begin());
        if (Dup == Duplicates::Ignore && it != items_.end() && Key(*it) == key) {
            return index;
        }
        items_.insert(it, std::move(item));
        return index;
    }

    // Range of the items of one key.
    std::pair<const_iterator, const_iterator> EqualRange(std::string_view key) const {
        return {LowerBound(key), UpperBound(key)};
    }

    // Bulk loading: append in any order, then sort once. Equal keys end as Add would leave
    // them: the first added kept alone (duplicates ignored) or newest first (duplicates kept).
    void AppendUnsorted(T item) { items_.push_back(std::move(item)); }
    void SortAppended() {
        // Sort (key, position) pairs: the keys stay close in memory and the position makes
        // the order among equal keys deterministic.
        struct Slot {
            std::uint64_t Prefix;  // first 8 folded bytes, big-endian: most comparisons end here
            std::string_view Key;
            std::size_t Position;
        };
        std::vector<Slot> slots;
        slots.reserve(items_.size());
        for (std::size_t i = 0; i < items_.size(); ++i) {
            const std::string_view key = Key(items_[i]);
            slots.push_back(Slot{FoldedPrefix(key), key, i});
        }
        std::sort(slots.begin(), slots.end(), [](const Slot& a, const Slot& b) {
            if (a.Prefix != b.Prefix) {
                return a.Prefix < b.Prefix;
            }
            const int c = CompareFolded(a.Key, b.Key);
            if (c != 0) {
                return c < 0;
            }
            return Dup == Duplicates::Keep ? a.Position > b.Position : a.Position < b.Position;
        });
        // Decide what stays before moving anything: the keys point into the items.
        std::vector<bool> keep(slots.size(), true);
        if (Dup == Duplicates::Ignore) {
            for (std::size_t k = 1; k < slots.size(); ++k) {
                keep[k] = slots[k].Key != slots[k - 1].Key;
            }
        }
        std::vector<T> sorted;
        sorted.reserve(items_.size());
        for (std::size_t k = 0; k < slots.size(); ++k) {
            if (keep[k]) {
                sorted.push_back(std::move(items_[slots[k].Position]));
            }
        }
        items_ = std::move(sorted);
    }

    // Replaces the content with items already in list order and free of ignored duplicates.
    void AssignSorted(std::vector<T> items) { items_ = std::move(items); }

    void RemoveAt(std::size_t index) { items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index)); }
    void Clear() { items_.clear(); }
    void Reserve(std::size_t n) { items_.reserve(n); }

    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const T& operator[](std::size_t i) const { return items_[i]; }
    T& operator[](std::size_t i) { return items_[i]; }
    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }
    iterator begin() { return items_.begin(); }
    iterator end() { return items_.end(); }

private:
    const_iterator LowerBound(std::string_view key) const {
        return std::lower_bound(items_.begin(), items_.end(), key,
                                [](const T& item, std::string_view k) { return CompareFolded(Key(item), k) < 0; });
    }
    iterator LowerBound(std::string_view key) {
        return std::lower_bound(items_.begin(), items_.end(), key,
                                [](const T& item, std::string_view k) { return CompareFolded(Key(item), k) < 0; });
    }
    const_iterator UpperBound(std::string_view key) const {
        return std::upper_bound(items_.begin(), items_.end(), key,
                                [](std::string_view k, const T& item) { return CompareFolded(k, Key(item)) < 0; });
    }

    std::vector<T> items_;
};

// Key extractor for lists of pointers to objects with a Name field.
struct ByName {
    template <class P>
    std::string_view operator()(const P& p) const {
        return p->Name;
    }
};

}  // namespace qm
