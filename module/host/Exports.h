// The exports, also called from inside the module: the restore stores the serial and material
// number through F6 and F7, each with its own guard and report.
#pragma once

#include <windows.h>

extern "C" {
LONG F6(const char* text);
LONG F7(const char* text);
}
