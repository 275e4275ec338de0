#pragma once
// A hash index over the sub-keys of a key with many of them (a CLSID key holds hundreds of
// thousands), so that opening one by name does not walk a long binary search through memory
// far apart. The sorted child list stays the authority; the index only finds names fast.
// Private to the registry store.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw::platform::detail {

using KeyId = std::uint32_t;

class ChildIndex {
public:
  /// Adds `id`, whose folded name hashes to `hash`.
  void insert(std::uint32_t hash, KeyId id);
  /// Removes `id`; it must be present.
  void erase(std::uint32_t hash, KeyId id);
  /// The first key with this hash for which `matches(id)` holds, or `none`.
  template <typename Matches>
  KeyId find(std::uint32_t hash, KeyId none, Matches &&matches) const {
    if (m_slots.empty()) return none;
    std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      std::uint64_t slot = m_slots[i];
      if (slot == 0) return none;
      if (static_cast<std::uint32_t>(slot >> 32) == hash && matches(idOf(slot))) return idOf(slot);
    }
  }
  std::size_t size() const { return m_count; }
  /// Gives every member the id `renumbered(id)` returns; the hashes, and so the slots, stay.
  template <typename Renumbered>
  void renumber(Renumbered &&renumbered) {
    for (std::uint64_t &slot : m_slots)
      if (slot != 0) slot = slotOf(static_cast<std::uint32_t>(slot >> 32), renumbered(idOf(slot)));
  }
  /// Makes room for `count` keys at once.
  void reserve(std::size_t count);

private:
  // A slot holds the hash in its high half and the key id plus one in its low half; zero is
  // an empty slot.
  static KeyId idOf(std::uint64_t slot) { return static_cast<KeyId>((slot & 0xFFFFFFFFu) - 1); }
  static std::uint64_t slotOf(std::uint32_t hash, KeyId id) { return (std::uint64_t{hash} << 32) | (std::uint64_t{id} + 1); }
  void grow();
  std::vector<std::uint64_t> m_slots;
  std::size_t m_count = 0;
};

} // namespace tw::platform::detail
