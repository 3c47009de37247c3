// The Running Object Table access, the module-wide object that every lookup of the driver and
// the error manager goes through. It is built at load (its prefix is the loading process's id)
// and destroyed at unload. The service data paths, the other module-wide state, are defined with
// their resolution in files/DataFilePaths.cpp. Nothing else happens at load: no thread, no COM,
// no file.
#include "rot/ROTAccess.h"

CROTAccess g_ROTAccess;
