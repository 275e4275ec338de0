#pragma once
// The machine a Wine prefix makes: its registry files, its drives and its system facts, opened
// by the program itself without Wine having to run.

#include "platform/OpenMachine.h"

#include <memory>
#include <string>

namespace tw::platform {

class Machine;
class RegistryApi;

/// Opens the prefix in `prefixDir`: its registry (system.reg, user.reg, userdef.reg, or those
/// of them that hold the roots `options` names), its drives (dosdevices), its system facts and
/// a process launcher that starts children in it. Returns nothing when the prefix or its
/// registry cannot be opened; `result` says why.
std::unique_ptr<Machine> openWinePrefix(const std::string &prefixDir, PrefixOpenResult &result,
                                        const MachineOptions &options = {});

/// A machine made of the files, system facts and processes of the prefix folder `prefixDir`
/// and any registry (tests pass makeMemoryRegistry()). The folder need not hold registry files.
std::unique_ptr<Machine> makeMachine(const std::string &prefixDir,
                                     std::unique_ptr<RegistryApi> registry);

} // namespace tw::platform
