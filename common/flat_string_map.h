#pragma once
// A map from text to value for the large indexes of a folder read (row texts, looked-up names):
// the entries lie in one array in the order they were added, and a table of slots, probed
// linearly, holds each entry's hash and place. A look-up reads one slot and, where the hash
// agrees, one entry; a node-based map follows a bucket, the node before and the node, and that
// is a cache miss each once the map holds a hundred thousand names.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace permscope {

template <typename Value>
class FlatStringMap {
  public:
    // The value kept for key; nullptr when there is none.
    Value* find(std::string_view key) {
        if (slots_.empty())
            return nullptr;
        const Slot& slot = slots_[probe(key, hash_of(key))];
        return slot.place == kEmpty ? nullptr : &entries_[slot.place].value;
    }
    const Value* find(std::string_view key) const {
        return const_cast<FlatStringMap*>(this)->find(key);
    }

    // The value kept for key, a new default-made one where there was none (second: whether it
    // was added). Pointers into the map stay valid until the next addition.
    std::pair<Value*, bool> try_emplace(std::string_view key) {
        if ((entries_.size() + 1) * 2 > slots_.size())
            grow();
        const std::uint64_t hash = hash_of(key);
        Slot& slot = slots_[probe(key, hash)];
        if (slot.place != kEmpty)
            return {&entries_[slot.place].value, false};
        slot = {hash, static_cast<std::uint32_t>(entries_.size())};
        entries_.push_back({hash, std::string(key), Value{}});
        return {&entries_.back().value, true};
    }

    std::size_t size() const { return entries_.size(); }
    void clear() {
        entries_.clear();
        slots_.clear();
    }

  private:
    static constexpr std::uint32_t kEmpty = UINT32_MAX;
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t place = kEmpty;  // index into entries_
    };
    struct Entry {
        std::uint64_t hash;
        std::string key;
        Value value;
    };

    static std::uint64_t hash_of(std::string_view key) {
        return std::hash<std::string_view>{}(key);
    }

    // The slot that holds key, or the empty slot where it would go (there always is one: the
    // table is kept at most half full).
    std::size_t probe(std::string_view key, std::uint64_t hash) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            const Slot& slot = slots_[at];
            if (slot.place == kEmpty || (slot.hash == hash && entries_[slot.place].key == key))
                return at;
        }
    }

    void grow() {
        const std::size_t size = slots_.empty() ? 16 : slots_.size() * 2;
        slots_.assign(size, Slot{});
        const std::size_t mask = size - 1;
        for (std::size_t place = 0; place < entries_.size(); ++place) {
            std::size_t at = entries_[place].hash & mask;
            while (slots_[at].place != kEmpty)
                at = (at + 1) & mask;
            slots_[at] = {entries_[place].hash, static_cast<std::uint32_t>(place)};
        }
    }

    std::vector<Entry> entries_;
    std::vector<Slot> slots_;  // a power of two in number, or none
};

}  // namespace permscope
