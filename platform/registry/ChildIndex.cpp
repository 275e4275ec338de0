#include "platform/registry/ChildIndex.h"

#include <cassert>

namespace tw::platform::detail {

void ChildIndex::reserve(std::size_t count) {
  std::size_t slots = 64;
  while (slots < count * 2) slots *= 2;
  if (slots <= m_slots.size()) return;
  std::vector<std::uint64_t> old = std::move(m_slots);
  m_slots.assign(slots, 0);
  std::size_t mask = m_slots.size() - 1;
  for (std::uint64_t slot : old) {
    if (slot == 0) continue;
    std::size_t i = static_cast<std::uint32_t>(slot >> 32) & mask;
    while (m_slots[i] != 0) i = (i + 1) & mask;
    m_slots[i] = slot;
  }
}

void ChildIndex::grow() {
  std::vector<std::uint64_t> old = std::move(m_slots);
  m_slots.assign(old.empty() ? 64 : old.size() * 2, 0);
  std::size_t mask = m_slots.size() - 1;
  for (std::uint64_t slot : old) {
    if (slot == 0) continue;
    std::size_t i = static_cast<std::uint32_t>(slot >> 32) & mask;
    while (m_slots[i] != 0) i = (i + 1) & mask;
    m_slots[i] = slot;
  }
}

void ChildIndex::insert(std::uint32_t hash, KeyId id) {
  // At most half full keeps the probe runs short.
  if ((m_count + 1) * 2 > m_slots.size()) grow();
  std::size_t mask = m_slots.size() - 1;
  std::size_t i = hash & mask;
  while (m_slots[i] != 0) i = (i + 1) & mask;
  m_slots[i] = slotOf(hash, id);
  ++m_count;
}

void ChildIndex::erase(std::uint32_t hash, KeyId id) {
  std::size_t mask = m_slots.size() - 1;
  std::size_t i = hash & mask;
  while (m_slots[i] != slotOf(hash, id)) {
    assert(m_slots[i] != 0 && "erasing a key the index does not hold");
    i = (i + 1) & mask;
  }
  // Shift later members of the probe run back, so that no gap cuts a run short.
  for (std::size_t j = (i + 1) & mask; m_slots[j] != 0; j = (j + 1) & mask) {
    std::size_t home = static_cast<std::uint32_t>(m_slots[j] >> 32) & mask;
    bool staysPut = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (staysPut) continue;
    m_slots[i] = m_slots[j];
    i = j;
  }
  m_slots[i] = 0;
  --m_count;
}

} // namespace tw::platform::detail
