// CFileFault: makes the file calls that the module makes through Qt fail on demand. The test
// executable interposes open64, read, write, close and unlink (Qt's file engine reaches them
// through the dynamic linker) and passes every call through unchanged unless a fault is armed for
// that file's name. A fault is armed for the object's lifetime; one fault at a time.
#pragma once

#include <string>
#include <vector>

namespace norn::test {

enum class EFileFault {
    OpenFails,   // open64 of the file fails with EACCES
    ReadFails,   // reads on the opened file give half the bytes asked for, then fail with EIO
    WriteFails,  // writes take half the bytes, then fail with ENOSPC (a disk filling up)
};

class CFileFault {
public:
    // `fileName` is matched against the last component of the path opened; `nth` counts the
    // opens of that file since arming, from 1 (0: every open).
    CFileFault(EFileFault kind, std::string fileName, int nth = 0);
    ~CFileFault();
    CFileFault(const CFileFault&) = delete;
    CFileFault& operator=(const CFileFault&) = delete;
};

// The last components of the paths unlinked since the last call, oldest first.
std::vector<std::string> TakeRemovedFileNames();

// The descriptors this process has open now.
int OpenDescriptorCount();

}  // namespace norn::test
