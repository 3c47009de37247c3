// The Qt-free part of Brightwork_Norn as a DLL of its own, carrying the module's version
// resource. Besides the module's code it exports one function, for the Windows tests: the
// version text that the module's reports put into an ErrorEntry, read by the module's own code
// inside this DLL, so that a test sees which file that code takes its version from.
#include "reports/ErrorReport.h"

// The "FileVersion" text of the module's version resource as a new BSTR that the caller frees,
// or null when it cannot be read.
extern "C" __declspec(dllexport) BSTR NornQtFreeModuleVersion() {
    norn::CScopedBstr version;
    if (!GetModuleVersionString(version)) return nullptr;
    return version.Detach();
}
