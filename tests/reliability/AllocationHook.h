// The allocation hook of the reliability executable: it replaces the global operator new and
// new[] (and the matching deletes), so that a test can make one chosen allocation fail. Only the
// thread that arms the hook is affected; the throwing forms then throw std::bad_alloc and the
// nothrow forms return null, as they do when memory runs out. Allocations pass straight through
// to malloc and free otherwise, so ASan and valgrind still see every block.
#pragma once

namespace norn::test {

// Arms the hook on this thread for the object's lifetime: the nth counted allocation from now
// (1 = the next one) fails, once. Disarmed on destruction. One arming per thread at a time.
class CFailingAllocation {
public:
    explicit CFailingAllocation(long nth);
    ~CFailingAllocation();
    CFailingAllocation(const CFailingAllocation&) = delete;
    CFailingAllocation& operator=(const CFailingAllocation&) = delete;

    // Whether the chosen allocation has been made (and failed).
    bool Fired() const;
    // How many allocations were counted since arming, the failed one included.
    long Counted() const;
};

// Blocks of operator new[] made on this thread, outside the spared libraries, and not yet given
// back with operator delete[] (on this thread): the module hands its export buffers out of new[].
long LiveArrayBlocks();

// Allocations asked for directly by the code of the loaded libraries whose file name contains
// the text are neither counted (arrays included) nor failed from now on (Qt's: it is not
// exception-safe, and a failure thrown inside it is Qt's to survive, not its caller's). Call before
// arming.
void SpareAllocationsOfLibraries(const char* nameText);

// Between PauseAllocations(true) and (false), allocations on this thread are neither counted nor
// failed: code that stands for another process (the driver, the error manager) allocates under
// such a pause, the simulators' call bracket.
void PauseAllocations(bool entering);

}  // namespace norn::test
