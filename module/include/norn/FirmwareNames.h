// The names under which the firmware registers its components in the Running Object Table,
// each behind the decimal id of the firmware process ("4711TarvoMeasDriver").
#pragma once

#include <windows.h>

namespace norn::names {
constexpr const OLECHAR* kMeasurementDriver = OLESTR("TarvoMeasDriver");
constexpr const OLECHAR* kErrorManager = OLESTR("ErrorManager");
}  // namespace norn::names
