#pragma once
// A hash index over the values of a key with many of them (SharedDLLs holds one per shared
// file), by their positions in the key's list, so that reading one by name does not compare it
// with every other. The key's list stays the authority and keeps its order; the index only
// finds names fast. Private to the registry store.
//
// Removing a value moves every later one down a place. Rather than renumbering the whole index
// each time, the index keeps the positions it stored and the stored positions of the values
// removed since (its gaps), and renumbers once the gaps grow many: removing values one after
// another from a long key stays cheap.

#include "platform/registry/ChildIndex.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw::platform::detail {

class ValueIndex {
public:
  static constexpr std::uint32_t None = 0xFFFFFFFFu;

  /// Makes room for `count` values at once.
  void reserve(std::size_t count) { m_index.reserve(count); }
  /// Adds the value now at `position`, which is the last of the list, named with this hash.
  void append(std::uint32_t hash, std::uint32_t position) {
    m_index.insert(hash, position + static_cast<std::uint32_t>(m_gaps.size()));
  }
  /// Takes out the value at `position`, named with this hash; later values move down a place.
  void remove(std::uint32_t hash, std::uint32_t position);
  /// The position of the first value with this hash for which `matches(position)` holds, or None.
  template <typename Matches>
  std::uint32_t find(std::uint32_t hash, Matches &&matches) const {
    std::uint32_t found = None;
    m_index.find(hash, None, [&](std::uint32_t stored) {
      const std::uint32_t position = positionOf(stored);
      if (!matches(position)) return false;
      found = position;
      return true;
    });
    return found;
  }

private:
  /// The current position of the value stored as `stored`.
  std::uint32_t positionOf(std::uint32_t stored) const {
    return stored - static_cast<std::uint32_t>(std::lower_bound(m_gaps.begin(), m_gaps.end(), stored) - m_gaps.begin());
  }
  ChildIndex m_index;
  /// Stored positions of values removed since the last renumbering, ascending.
  std::vector<std::uint32_t> m_gaps;
};

} // namespace tw::platform::detail
