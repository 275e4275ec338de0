#pragma once
// Where every action of the tool pages that changes the registry begins and ends. An action
// holds one RegistryChange while it changes anything: it begins only when the registry may be
// changed (not while a wineserver owns it, nor when one of its files cannot be written, nor
// while another program holds the prefix's lock), holds that lock until it ends, and writes its
// changes to the registry's files through flush().

#include "registry/PrefixLock.h"
#include "registry/RegistryAccess.h"

#include <string>

namespace tw::tools {

class RegistryChange {
public:
  /// Begins a change of the installed machine's registry; refused() tells whether it may go on.
  RegistryChange();
  RegistryChange(const RegistryChange &) = delete;
  RegistryChange &operator=(const RegistryChange &) = delete;

  /// True when the registry may not be changed now; refusal() then says why, for the user.
  bool refused() const { return !m_refusal.empty(); }
  const std::string &refusal() const { return m_refusal; }

  /// Writes every change made so far to the registry's files. When a file cannot be written,
  /// the changes not written are taken back, so the registry in memory is what its files hold.
  RegistryFlushResult flush();

private:
  PrefixLock m_lock;
  std::string m_refusal;
};

} // namespace tw::tools
