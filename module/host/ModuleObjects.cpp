// The module-wide objects, defined in one translation unit so that they are constructed at load
// in this order and destroyed at unload in the reverse order: the Running Object Table access
// (its prefix is the loading process's id), then the three service data paths, empty until the
// first operation resolves them. Nothing else happens at load: no thread, no COM, no file.
#include <QString>

#include "driver/ROTAccess.h"
#include "files/DataFilePaths.h"

CROTAccess g_ROTAccess;

QString XMLFilePath;
QString MACFilePath;
QString DDSFilePath;
bool PathsResolved = false;
