#pragma once
// Which half of a 64-bit machine an action sees. A 64-bit Windows (or Wine prefix) keeps the
// settings of its 32-bit programs in a second registry view and resolves their system folder
// to syswow64; the scanners and the listing pages read both halves. An action that works in
// the 32-bit half says so with a ViewScope on its thread: every registry object (TRegistry)
// then opens keys with access::Wow64_32Key, and the machine's files resolve paths as a
// 32-bit program's are resolved (system32 is syswow64, except the folders Windows leaves
// shared). Nothing else changes: folder texts (GetSystemDir) stay what the program sees.

#include <cstdint>

namespace tw::platform {

/// The half of the machine an action sees.
enum class ViewKind {
  Bits64, ///< the 64-bit programs' half, the default (the only half of a 32-bit machine)
  Bits32, ///< the 32-bit programs' half of a 64-bit machine
};

/// The view of the calling thread's action: the innermost ViewScope's, Bits64 without one.
ViewKind currentView();

/// The access flag that opens keys in the calling thread's view: access::Wow64_32Key in a
/// Bits32 scope, access::Wow64_64Key in a Bits64 scope, 0 outside any scope.
std::uint32_t viewAccessFlag();

/// Makes `view` the view of every registry object, path guess and file test made on this
/// thread until the scope ends; scopes nest. A worker serving such an action opens a scope of
/// its own on its thread.
class ViewScope {
public:
  explicit ViewScope(ViewKind view);
  ~ViewScope();
  ViewScope(const ViewScope &) = delete;
  ViewScope &operator=(const ViewScope &) = delete;

private:
  int m_outer;
};

} // namespace tw::platform
