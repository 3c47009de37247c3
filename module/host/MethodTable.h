// The static method table that GetMethodTable hands out: constant for as long as the module is
// loaded; every call returns its address.
#pragma once

#include <norn/BrightworkNorn.h>

extern const BrightworkMethodTable g_methodTable;
