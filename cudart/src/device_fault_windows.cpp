// The device-memory checker is not built for Windows: a kernel's access
// outside its allocations there ends in the system's access violation.
#include "runtime_state.h"

namespace cudart {

LaunchSite current_launch{};

void watch_device_faults() {}

} // namespace cudart
