// A measurement driver call as the simulator's journal and fault plan know it: the method names
// they key on, the status words the simulator answers with, and the journal entry.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace norn::firmware {

// The names of the driver's methods in the journal and the fault plan. A reserved slot is
// journaled as "<interface>::Reserved<N>"; QueryInterface is never journaled, but the fault plan
// can refuse interfaces through it.
namespace driver_methods {
constexpr const char* kWriteBlock = "WriteBlock";
constexpr const char* kReadBlock = "ReadBlock";
constexpr const char* kSetEEPROMMode = "SetEEPROMMode";
constexpr const char* kPrepareRead = "PrepareRead";
constexpr const char* kWriteValue = "WriteValue";
constexpr const char* kQueryValue = "QueryValue";
constexpr const char* kReadValue = "ReadValue";
constexpr const char* kQueryInterface = "QueryInterface";
}  // namespace driver_methods

// Status words the simulator sets. 0 is success; the firmware's own codes are not known here,
// so these are ours, distinct and easy to spot in a journal.
namespace driver_status {
constexpr LONG kOk = 0;
constexpr LONG kUnknownBlock = 0x2001;    // ReadBlock/WriteBlock of a block the model lacks
constexpr LONG kWrongByteCount = 0x2002;  // WriteBlock with a count other than the block size
constexpr LONG kUnknownItem = 0x2003;     // a driver value item the model lacks
constexpr LONG kBadLength = 0x2004;       // a negative count, or a ReadValue buffer size < 1
}  // namespace driver_status

// One driver call as the journal keeps it.
struct CDriverCall {
    std::string method;           // "ReadBlock", "SetEEPROMMode", "IEEPROMBlock::Reserved3", ...
    std::vector<LONG> arguments;  // the LONG arguments, in order
    std::optional<LONG> status;   // what was written to the status word; empty if untouched
    HRESULT hresult = S_OK;       // what the call returned
    // WriteValue: the bytes it was told to take. ReadBlock and WriteBlock: the header (at most
    // the first kHeaderSize bytes) of the buffer handed out or of the image given, so that a
    // caller can see whether a rewrite kept the header it read; empty for none. What a write was
    // given is kept whatever it answers.
    std::vector<BYTE> data;
};

}  // namespace norn::firmware
