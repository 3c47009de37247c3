// Compiled with -m32 only (never linked): the records shared with the firmware keep their 32-bit
// layout, which the headers pin with static assertions that only a 32-bit build evaluates.
#include <norn/ErrorManager.h>
#include <norn/MeasurementDriver.h>

static_assert(sizeof(void*) == 4, "this check is meant for a 32-bit build");
static_assert(sizeof(ErrorEntry) == 64, "ErrorEntry is 64 bytes");
static_assert(sizeof(GUID) == 16 && sizeof(HRESULT) == 4 && sizeof(BSTR) == 4, "widths");

#include <norn/BrightworkNorn.h>
static_assert(sizeof(BrightworkMethodTable) == 176, "4 + 43 * 4 bytes");
