#include "HostBoundaryBenchmarks.h"

#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include "BenchContext.h"
#include "LoadCycle.h"
#include "RatioTable.h"

namespace norn::bench {

namespace {

void RunLoadCycle(benchmark::State& state, bool qtResident) {
    if (qtResident) KeepQtLoaded();
    const std::string path = ModulePath();
    for (auto _ : state) {
        if (!LoadAndUnloadOnce(path)) {
            state.SkipWithError("the module or its method table is missing");
            break;
        }
    }
    if (IsMapped(path)) state.SkipWithError("the module stayed mapped after dlclose");
}

long FileSize(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? static_cast<long>(status.st_size) : 0;
}

// F4 with a null buffer: the path resolution, the guard, the error object, and the report.
// Afterwards the reports must have gone where they should: each one to the error manager, or,
// without one, to the event log.
void RunFailedCall(benchmark::State& state, bool withErrorManager) {
    CBenchContext& context = CBenchContext::Instance();
    CBenchFirmware& firmware = context.Firmware();
    firmware.ResetInstrument();
    CModuleExports& module = context.Module();
    if (!withErrorManager) firmware.UnregisterErrorManager();
    const long eventLogSize = FileSize(firmware.EventLogPath());
    constexpr int64_t kClearInterval = 4096;
    int64_t calls = 0;
    for (auto _ : state) {
        if (module.F4(nullptr) != kBrightworkFailed) {
            state.SkipWithError("F4 with a null buffer did not fail");
            break;
        }
        if (++calls % kClearInterval == 0) firmware.Manager().Clear();
    }
    const auto reports = firmware.Manager().Reports();
    const size_t expected = withErrorManager ? static_cast<size_t>(calls % kClearInterval) : 0;
    if (reports.size() != expected || (expected > 0 && reports.back().line != 2489)) {
        state.SkipWithError("the error manager did not receive exactly the F4 reports");
    }
    if (!withErrorManager && FileSize(firmware.EventLogPath()) <= eventLogSize) {
        state.SkipWithError("nothing reached the event log");
    }
    if (!withErrorManager) firmware.RegisterErrorManager();
}

// One benchmark of `run` with `variant`, shown in the table's `section` as `label`.
void RegisterSingle(const char* section, const char* name, const char* label,
                    void (*run)(benchmark::State&, bool), bool variant) {
    CRatioTable::Instance().AddSingle(section, name, label);
    benchmark::RegisterBenchmark(name, run, variant)->Unit(benchmark::kMicrosecond);
}

}  // namespace

void RegisterLoadBenchmarks() {
    const char* section = "dlopen + GetMethodTable + dlclose";
    RegisterSingle(section, "load_unload_with_qt", "Qt loaded and unloaded too", RunLoadCycle,
                   false);
    RegisterSingle(section, "load_unload_qt_resident", "Qt already loaded, as in the firmware host",
                   RunLoadCycle, true);
}

void RegisterErrorPathBenchmarks() {
    const char* section = "one reported failure (F4 with a null buffer)";
    RegisterSingle(section, "failure_to_error_manager", "reported to the error manager",
                   RunFailedCall, true);
    RegisterSingle(section, "failure_to_event_log", "no error manager: written to the event log",
                   RunFailedCall, false);
}

}  // namespace norn::bench
