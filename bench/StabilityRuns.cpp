#include "StabilityRuns.h"

#include <norn/BrightworkNorn.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "BenchContext.h"
#include "LoadCycle.h"
#include "PosixFiles.h"
#include "ProcessMemory.h"
#include "norn/PlatformTestHooks.h"

namespace norn::bench {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double KiB(long bytes) {
    return static_cast<double>(bytes) / 1024.0;
}

long Growth(size_t before, size_t after) {
    return static_cast<long>(after) - static_cast<long>(before);
}

bool Check(bool condition, const std::string& what) {
    if (!condition) std::printf("FAILED: %s\n", what.c_str());
    return condition;
}

// One cycle; the name of the step that failed, or nullptr.
const char* RunCycle(CBenchContext& context) {
    CModuleExports& module = context.Module();
    const CServiceDataBytes& bytes = context.Bytes();
    const auto* deviceDataSet = reinterpret_cast<const BYTE*>(bytes.deviceDataSet.data());
    const auto* macAddress = reinterpret_cast<const BYTE*>(bytes.macAddress.data());
    BYTE* buffer = nullptr;
    ULONG count = 0;

    if (module.F3() != kBrightworkSucceeded) return "F3 backup";
    posix::WriteWholeFile(context.DataFile("NornData.xml"), bytes.restoreDocument);
    if (module.F2() != kBrightworkSucceeded) return "F2 restore";
    if (module.ImportDeviceDataSet(0, deviceDataSet, static_cast<LONG>(bytes.deviceDataSet.size())))
        return "device data set import";
    const LONG exported = module.ExportDeviceDataSet(0, &buffer, &count);
    module.ReleaseBuffer(0, buffer);
    if (exported != kBrightworkSucceeded) return "device data set export";
    if (module.ImportMacAddress(0, macAddress, static_cast<LONG>(bytes.macAddress.size())))
        return "MAC address import";
    buffer = nullptr;
    const LONG exportedMac = module.ExportMacAddress(0, &buffer, &count);
    module.ReleaseBuffer(0, buffer);
    if (exportedMac != kBrightworkSucceeded) return "MAC address export";
    // The journal is the simulator's record of calls, not the module's memory.
    context.Firmware().Driver().ClearJournal();
    return nullptr;
}

void PrintMemory(const char* when, long cycle, const CProcessMemory& memory) {
    std::printf("  %-12s cycle %7ld: resident %9.0f KiB, heap in use %9.1f KiB\n", when, cycle,
                KiB(static_cast<long>(memory.residentBytes)),
                KiB(static_cast<long>(memory.heapInUse)));
}

}  // namespace

bool RunLongRun(const CLongRunLimits& limits) {
    CBenchContext& context = CBenchContext::Instance();
    CBenchFirmware& firmware = context.Firmware();
    firmware.ResetInstrument();
    context.Bytes();  // the first backup, which the cycles restore from
    const ULONG driverRefs = firmware.Driver().Refs();
    const ULONG managerRefs = firmware.Manager().Refs();
    const LONG liveBstrs = NornLiveBstrCount();

    std::printf("long run: %ld cycles of backup, restore, import and export\n", limits.cycles);
    const Clock::time_point start = Clock::now();
    CProcessMemory settled = CProcessMemory::Now();
    for (long cycle = 1; cycle <= limits.cycles; ++cycle) {
        if (const char* step = RunCycle(context)) {
            std::printf("FAILED: %s in cycle %ld\n", step, cycle);
            return false;
        }
        if (cycle == limits.settledAfter) {
            settled = CProcessMemory::Now();
            PrintMemory("settled", cycle, settled);
        } else if (cycle % limits.reportEvery == 0) {
            PrintMemory("", cycle, CProcessMemory::Now());
        }
    }
    const double seconds = SecondsSince(start);
    const CProcessMemory last = CProcessMemory::Now();
    const long residentGrowth = Growth(settled.residentBytes, last.residentBytes);
    std::printf(
        "  %.1f s, %.0f µs per cycle; resident memory grew by %.0f KiB after cycle %ld, "
        "heap in use by %.1f KiB\n",
        seconds, seconds * 1e6 / static_cast<double>(limits.cycles), KiB(residentGrowth),
        limits.settledAfter, KiB(Growth(settled.heapInUse, last.heapInUse)));
    std::printf(
        "  driver references %lu (before %lu), error manager %lu (before %lu), "
        "live BSTRs %d (before %d), reports %zu\n",
        static_cast<unsigned long>(firmware.Driver().Refs()),
        static_cast<unsigned long>(driverRefs),
        static_cast<unsigned long>(firmware.Manager().Refs()),
        static_cast<unsigned long>(managerRefs), NornLiveBstrCount(), liveBstrs,
        firmware.Manager().Reports().size());
    bool held = Check(residentGrowth < limits.maxResidentGrowth, "resident memory grew too much");
    held &= Check(firmware.Driver().Refs() == driverRefs, "a driver reference was kept");
    held &= Check(firmware.Manager().Refs() == managerRefs, "an error manager reference was kept");
    held &= Check(NornLiveBstrCount() == liveBstrs, "a BSTR was kept");
    held &= Check(firmware.Manager().Reports().empty(), "an operation reported a failure");
    return held;
}

namespace {

struct CLoadCycles {
    double microsecondsPerCycle = 0;
    size_t mappingsBefore = 0;
    size_t mappingsAfter = 0;
    long heapGrowth = 0;  // over the second half of the cycles
};

// Loads and unloads `library` `cycles` times with `loadAndUnload`, after ten loads that put what
// the loader keeps for good into the baseline. The heap is compared over the second half, so that
// what a library allocates once for the process does not count as growth. Throws when a load fails.
CLoadCycles MeasureLoadCycles(const std::string& library, long cycles,
                              bool (*loadAndUnload)(const std::string&)) {
    for (int warmUp = 0; warmUp < 10; ++warmUp) {
        if (!loadAndUnload(library)) throw std::runtime_error("cannot load " + library);
    }
    CLoadCycles result;
    const CProcessMemory before = CProcessMemory::Now();
    CProcessMemory half = before;
    const Clock::time_point start = Clock::now();
    for (long cycle = 1; cycle <= cycles; ++cycle) {
        if (!loadAndUnload(library)) throw std::runtime_error("cannot load " + library);
        if (cycle == cycles / 2) half = CProcessMemory::Now();
    }
    result.microsecondsPerCycle = SecondsSince(start) * 1e6 / static_cast<double>(cycles);
    const CProcessMemory after = CProcessMemory::Now();
    result.mappingsBefore = before.mappings;
    result.mappingsAfter = after.mappings;
    result.heapGrowth = Growth(half.heapInUse, after.heapInUse);
    return result;
}

}  // namespace

bool RunLoadCycles(long cycles, bool qtResident) {
    const std::string path = ModulePath();
    if (qtResident) KeepQtLoaded();
    std::printf("load and unload, %s: %ld cycles\n",
                qtResident ? "Qt resident" : "Qt loaded and unloaded with the module", cycles);
    const CLoadCycles module = MeasureLoadCycles(path, cycles, LoadAndUnloadOnce);
    std::printf("  %.1f µs per cycle; mappings %zu -> %zu; heap %+ld bytes over the last %ld\n",
                module.microsecondsPerCycle, module.mappingsBefore, module.mappingsAfter,
                module.heapGrowth, cycles - cycles / 2);
    bool held = Check(!IsMapped(path), "the module stayed mapped");
    held &= Check(module.mappingsAfter == module.mappingsBefore, "a mapping was left behind");
    // malloc counts the chunks in its per-thread cache as in use, so the heap moves by a few
    // hundred bytes without any leak; one leaked block of 32 bytes per load would show as
    // 16 KiB over the last 500 of 1000 cycles.
    constexpr long kBookkeeping = 4096;
    if (qtResident) return held & Check(module.heapGrowth <= kBookkeeping, "the heap grew");
    // QtCore keeps a few bytes of every load until the process exits: the growth may only be
    // Qt's own, measured the same way.
    const CLoadCycles qt = MeasureLoadCycles("libQt6Xml.so.6", cycles, LoadAndUnloadLibrary);
    std::printf("  QtXml and QtCore alone: heap %+ld bytes over the last %ld\n", qt.heapGrowth,
                cycles - cycles / 2);
    return held & Check(module.heapGrowth <= qt.heapGrowth + kBookkeeping,
                        "the heap grew more than Qt's own");
}

}  // namespace norn::bench
