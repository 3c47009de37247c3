// A library that carries a version resource of its own (see CMakeLists.txt), for
// VersionInfoTest: it reports its module handle so that the test can find its file.
#include <norn/CurrentModule.h>

extern "C" __attribute__((visibility("default"))) HMODULE NornVersionedTestLibModule() {
    return NornCurrentModule();
}
