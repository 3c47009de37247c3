// The erase of the service data (export F8): removes the three service data files and returns
// both blocks to their erased state, header kept and every byte behind it 0xA5, then commits
// once. Nothing is undone after a failure.
#pragma once

#include <windows.h>

LONG EraseServiceData();
