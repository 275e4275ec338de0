#include "platform/RegistryView.h"

#include "platform/RegistryApi.h"

namespace tw::platform {

// The view of this thread's action: -1 outside any scope, otherwise a ViewKind.
static thread_local int scopedView = -1;

ViewKind currentView() { return scopedView == static_cast<int>(ViewKind::Bits32) ? ViewKind::Bits32 : ViewKind::Bits64; }

std::uint32_t viewAccessFlag() {
  if (scopedView < 0) return 0;
  return currentView() == ViewKind::Bits32 ? access::Wow64_32Key : access::Wow64_64Key;
}

ViewScope::ViewScope(ViewKind view) : m_outer(scopedView) { scopedView = static_cast<int>(view); }
ViewScope::~ViewScope() { scopedView = m_outer; }

} // namespace tw::platform
