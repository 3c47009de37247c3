// The measurement driver simulator's fault plan: the scripted failures that tests, fuzzers and
// the service tool's --fault inject into driver calls (refused interfaces, failed or odd
// HRESULTs, status words, block buffers of the wrong size or none, unterminated texts, status
// words left alone), which call each one hits, and what the hits on one call add up to.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace norn::firmware {

// What a planned fault does to the call it hits.
enum class EDriverFaultKind {
    Failure,         // return `hresult`; no side effect, status untouched
    Status,          // set `status`; reads still deliver, writes and commits change nothing
    WrongByteCount,  // ReadBlock only: report `byteCount` with the real buffer
    NullBuffer,      // ReadBlock only: hand out a null buffer
    Unterminated,    // ReadValue only: fill the whole buffer with the text, repeated, no zero byte
    // Never set the status word (wins over Status). ReadBlock and ReadValue still deliver; the
    // other methods do nothing.
    StatusUntouched,
    // ReadBlock only: hand out a buffer of exactly `bytes` (none when empty) instead of the
    // block's image, and report `byteCount`.
    Buffer,
    Success,  // do what the call does, but answer `hresult`, a success code, instead of S_OK
    // QueryInterface (method "QueryInterface") answers E_NOINTERFACE for `interfaceId`, one of
    // the three driver interfaces; `nth` counts the queries for that interface.
    Refused,
};

// One entry of the fault plan. `nth` counts the calls of `method` since the fault was added,
// from 1; 0 hits every call. Several faults may hit one call: a Failure wins over the others,
// the other kinds combine.
struct CDriverFault {
    std::string method;
    LONG nth = 0;
    EDriverFaultKind kind = EDriverFaultKind::Failure;
    HRESULT hresult = E_FAIL;
    LONG status = 0;
    LONG byteCount = 0;
    std::vector<BYTE> bytes;
    IID interfaceId = {};

    static CDriverFault Failure(std::string method, LONG nth, HRESULT hresult);
    static CDriverFault Status(std::string method, LONG nth, LONG status);
    static CDriverFault WrongByteCount(LONG nth, LONG byteCount);
    static CDriverFault NullBuffer(LONG nth);
    static CDriverFault Unterminated(LONG nth);
    static CDriverFault StatusUntouched(std::string method, LONG nth);
    static CDriverFault Buffer(LONG nth, std::vector<BYTE> bytes, LONG byteCount);
    static CDriverFault Success(std::string method, LONG nth, HRESULT hresult);
    static CDriverFault Refused(const IID& interfaceId, LONG nth);
};

// The faults that hit one call, combined.
struct CDriverFaultHits {
    std::optional<HRESULT> failure;
    std::optional<LONG> status;
    std::optional<LONG> byteCount;
    std::optional<std::vector<BYTE>> buffer;
    bool nullBuffer = false;
    bool unterminated = false;
    bool statusUntouched = false;
    HRESULT success = S_OK;

    // What a call that delivers writes to the status word: the planned status, else its own;
    // nothing when the status word is to be left alone.
    std::optional<LONG> Written(LONG own) const {
        if (statusUntouched) return std::nullopt;
        return status.value_or(own);
    }
};

// The planned faults and how many calls each has seen. Not thread-safe: the simulator calls it
// under its own lock, so that a call's count and its effect on the model go together.
class CDriverFaultPlan {
public:
    // Throws std::invalid_argument for a method the driver lacks, a kind the method cannot have,
    // a Failure with a success code, a Success with a failure code, a Status of 0 or a Refused
    // interface that is not the driver's.
    void Add(const CDriverFault& fault);
    void Clear();

    // Counts one call of `method` for every fault planned for it, and combines those it hits.
    CDriverFaultHits Take(const std::string& method);
    // Counts one query for `riid` for every Refused fault planned for it: whether one hits.
    bool Refuses(REFIID riid);

private:
    struct CPlannedFault {
        CDriverFault fault;
        LONG callsSeen = 0;

        // Counts the call; whether the fault hits it.
        bool Hits() {
            ++callsSeen;
            return fault.nth == 0 || callsSeen == fault.nth;
        }
    };

    std::vector<CPlannedFault> m_faults;
};

}  // namespace norn::firmware
