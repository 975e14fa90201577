// What the service control manager shares with the other simulated DLLs.
#pragma once
#include <windows.h>

#include <string>

#include "../core/machine.h"

namespace winsim {
namespace services {

// The machine's time in milliseconds: its virtual clock, or the host's monotonic clock.
int64_t NowMs(const Json& machine);
// The service's state at the machine's current time (scripted transitions included); 0 when there is
// no service of that name.
DWORD StateOf(const Json& machine, const std::string& name);

}  // namespace services
}  // namespace winsim
