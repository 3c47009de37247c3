// One load of the module as a firmware host makes it: dlopen by path, GetMethodTable, dlclose.
// Shared by the load benchmark and the stability run.
#pragma once

#include <string>

namespace norn::bench {

// Loads, asks for the method table and unloads; false (with nothing left loaded) when the library
// or its table is missing.
bool LoadAndUnloadOnce(const std::string& path);

// Loads and unloads any library, for comparison.
bool LoadAndUnloadLibrary(const std::string& path);

// Loads QtCore and QtXml for the rest of the process, as they are in a firmware host built on
// Qt, so that a load of the module maps only the module and its own small libraries.
void KeepQtLoaded();

// True while the library at `path` is mapped in this process.
bool IsMapped(const std::string& path);

}  // namespace norn::bench
