// The stability runs: the module used for a long time in one process, and loaded and unloaded
// many times. Each prints what it measured and returns whether its limits held.
#pragma once

namespace norn::bench {

struct CLongRunLimits {
    long cycles = 100000;
    long settledAfter = 1000;          // the cycle whose memory is the reference
    long maxResidentGrowth = 1 << 20;  // bytes between that cycle and the last
    long reportEvery = 10000;          // a progress line every so many cycles
};

// Alternating cycles of backup, restore (after the host's step that adds the serial and material
// number to the document), device data set and MAC address import and export. Every operation
// must succeed; at the end the simulators hold the references they held before the first cycle,
// no BSTR is left alive, no report was made, and resident memory grew by less than the limit.
bool RunLongRun(const CLongRunLimits& limits);

// `cycles` loads of the module by path, each followed by GetMethodTable and the unload. After
// them the module is no longer mapped, the process has as many mappings as before, and the heap
// holds no more than before. With `qtResident`, QtCore and QtXml stay loaded throughout, as in
// the firmware host; without, they are loaded and unloaded with the module.
bool RunLoadCycles(long cycles, bool qtResident);

}  // namespace norn::bench
