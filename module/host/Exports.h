// The exports, declared for the code that calls them in-process: the reliability suites call all
// of them.
#pragma once

#include <windows.h>

extern "C" {
LONG F2();
LONG F3();
LONG F4(char* buffer);
LONG F5(char* buffer);
LONG F6(const char* text);
LONG F7(const char* text);
LONG F8();
}
