// The module-wide objects, defined in one place so that they are constructed at load in this
// order and destroyed at unload in the reverse order.
#include "driver/ROTAccess.h"

CROTAccess g_ROTAccess;
