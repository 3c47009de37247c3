// The library's exports. Each export is the operation guard plus one call: a CExceptionError is
// reported under the export's name and the host gets 1; nothing is thrown across. F4 to F7 call
// routines that carry the guard themselves (driver/Identification.h), since the restore calls
// two of them too.
#include <norn/BrightworkNorn.h>

#include "driver/Identification.h"
#include "host/Exports.h"
#include "host/MethodTable.h"
#include "operations/Backup.h"
#include "operations/Restore.h"
#include "operations/ServiceDataErase.h"
#include "reports/OperationGuard.h"

#if defined(_WIN32)
#define BRIGHTWORK_EXPORT extern "C" __declspec(dllexport)
#else
#define BRIGHTWORK_EXPORT extern "C" __attribute__((visibility("default")))
#endif

BRIGHTWORK_EXPORT const BrightworkMethodTable* GetMethodTable() {
    return &g_methodTable;
}

BRIGHTWORK_EXPORT LONG F2() {
    return RunGuarded<LONG>("F2", kBrightworkFailed, RestoreServiceData);
}

BRIGHTWORK_EXPORT LONG F3() {
    return RunGuarded<LONG>("F3", kBrightworkFailed, BackUpServiceData);
}

BRIGHTWORK_EXPORT LONG F4(char* buffer) {
    return QuerySerialNumber(buffer);
}

BRIGHTWORK_EXPORT LONG F5(char* buffer) {
    return QueryMaterialNumber(buffer);
}

BRIGHTWORK_EXPORT LONG F6(const char* text) {
    return WriteSerialNumber(text);
}

BRIGHTWORK_EXPORT LONG F7(const char* text) {
    return WriteMaterialNumber(text);
}

BRIGHTWORK_EXPORT LONG F8() {
    return RunGuarded<LONG>("F8", kBrightworkFailed, EraseServiceData);
}
