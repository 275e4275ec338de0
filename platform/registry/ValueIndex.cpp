#include "platform/registry/ValueIndex.h"

namespace tw::platform::detail {

// Renumbering costs a pass over the whole index: done once per this many removals.
static constexpr std::size_t GapsBeforeRenumbering = 64;

void ValueIndex::remove(std::uint32_t hash, std::uint32_t position) {
  // The stored position of the value: its position counted past the gaps at or before it.
  std::uint32_t stored = position;
  for (std::uint32_t gap : m_gaps) {
    if (gap > stored) break;
    ++stored;
  }
  m_index.erase(hash, stored);
  m_gaps.insert(std::upper_bound(m_gaps.begin(), m_gaps.end(), stored), stored);
  if (m_gaps.size() < GapsBeforeRenumbering) return;
  m_index.renumber([this](std::uint32_t kept) { return positionOf(kept); });
  m_gaps.clear();
}

} // namespace tw::platform::detail
