// The C runtime's _chmod. Windows has only a read-only attribute: with _S_IWRITE the owner
// gets read and write permission, without it every write permission bit is cleared.
#pragma once

#define _S_IREAD 0x0100
#define _S_IWRITE 0x0080

extern "C" __attribute__((visibility("default"))) int _chmod(const char* filename, int pmode);
