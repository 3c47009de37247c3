// CEventLog: the module's last resort for a report: one error event under the event source
// "Tarvo_Orm". The module only writes to the source; it never registers it in the registry.
#pragma once

#include <windows.h>

class CEventLog {
public:
    // Writes one error event with the text; a source that cannot be opened loses it silently.
    static void Report(const OLECHAR* text) noexcept;
};

constexpr const OLECHAR* kEventSourceName = OLESTR("Tarvo_Orm");
