// CMeasurementDriverSimulator: the firmware's measurement driver, simulated in-process for tests
// and tools. One COM object answers IEEPROMBlock, IEEPROMControl and IDriverValue over a small
// instrument model, journals every call, and fails calls on demand from a fault plan.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "norn/ComObject.h"
#include "norn/MeasurementDriver.h"

namespace norn::firmware {

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

namespace detail {
// The reserved slots of each interface, forwarded to one handler that knows which was called.
// (One override in the simulator would otherwise answer the same-named slots of all three.)
class CEEPROMBlockSlots : public IEEPROMBlock {
public:
    HRESULT STDMETHODCALLTYPE Reserved3() final { return OnReserved("IEEPROMBlock::Reserved3"); }
    HRESULT STDMETHODCALLTYPE Reserved4() final { return OnReserved("IEEPROMBlock::Reserved4"); }
    HRESULT STDMETHODCALLTYPE Reserved5() final { return OnReserved("IEEPROMBlock::Reserved5"); }
    HRESULT STDMETHODCALLTYPE Reserved6() final { return OnReserved("IEEPROMBlock::Reserved6"); }
    HRESULT STDMETHODCALLTYPE Reserved7() final { return OnReserved("IEEPROMBlock::Reserved7"); }
    HRESULT STDMETHODCALLTYPE Reserved8() final { return OnReserved("IEEPROMBlock::Reserved8"); }

protected:
    virtual HRESULT OnReserved(const char* slot) = 0;
};

class CEEPROMControlSlots : public IEEPROMControl {
public:
    HRESULT STDMETHODCALLTYPE Reserved3() final { return OnReserved("IEEPROMControl::Reserved3"); }
    HRESULT STDMETHODCALLTYPE Reserved4() final { return OnReserved("IEEPROMControl::Reserved4"); }
    HRESULT STDMETHODCALLTYPE Reserved5() final { return OnReserved("IEEPROMControl::Reserved5"); }
    HRESULT STDMETHODCALLTYPE Reserved6() final { return OnReserved("IEEPROMControl::Reserved6"); }
    HRESULT STDMETHODCALLTYPE Reserved7() final { return OnReserved("IEEPROMControl::Reserved7"); }

protected:
    virtual HRESULT OnReserved(const char* slot) = 0;
};

class CDriverValueSlots : public IDriverValue {
public:
    HRESULT STDMETHODCALLTYPE Reserved3() final { return OnReserved("IDriverValue::Reserved3"); }
    HRESULT STDMETHODCALLTYPE Reserved4() final { return OnReserved("IDriverValue::Reserved4"); }
    HRESULT STDMETHODCALLTYPE Reserved5() final { return OnReserved("IDriverValue::Reserved5"); }
    HRESULT STDMETHODCALLTYPE Reserved6() final { return OnReserved("IDriverValue::Reserved6"); }

protected:
    virtual HRESULT OnReserved(const char* slot) = 0;
};
}  // namespace detail

// The instrument model: blocks 22001 (1360 bytes) and 22002 (24 bytes), each with a committed
// image and, after a WriteBlock, a pending one that SetEEPROMMode 2 commits; driver values by
// item (3 serial number, 4 material number, 16). A new simulator holds the factory state.
//
// Ownership (CComObjectBase): the creator owns the object (on the stack or in a unique_ptr). It
// counts the references handed out (Refs()) but the last Release does NOT delete it; whoever
// destroys it must make sure nobody still holds one (revoke a ROT registration first). Unknown()
// is its identity, e.g. for a ROT registration.
//
// ReadBlock hands out a driver-owned buffer that stays valid until the next ReadBlock of the same
// block or the simulator's destruction; callers copy it and never free it.
//
// WriteValue reads every one of the byteCount bytes it is given, whatever it answers, as the
// firmware's driver does, and stores the text up to its first zero byte.
//
// Argument checks: null out-pointers (status, count, buffer, data with a count > 0) give
// E_POINTER; WriteBlock needs imageRef to point at a variable holding `image` (E_INVALIDARG
// otherwise). Reserved slots answer E_NOTIMPL. Every call is journaled; QueryInterface, AddRef
// and Release are not. All methods are thread-safe.
class CMeasurementDriverSimulator final
    : public CComObjectBase<CChain<detail::CEEPROMBlockSlots, IEEPROMBlock>,
                            CChain<detail::CEEPROMControlSlots, IEEPROMControl>,
                            CChain<detail::CDriverValueSlots, IDriverValue>> {
public:
    CMeasurementDriverSimulator();
    ~CMeasurementDriverSimulator();
    CMeasurementDriverSimulator(const CMeasurementDriverSimulator&) = delete;
    CMeasurementDriverSimulator& operator=(const CMeasurementDriverSimulator&) = delete;

    // IEEPROMBlock
    HRESULT STDMETHODCALLTYPE WriteBlock(LONG reserved, LONG block, LONG flag, LONG byteCount,
                                         BYTE* image, BYTE** imageRef, LONG* status) override;
    HRESULT STDMETHODCALLTYPE ReadBlock(LONG reserved, LONG block, LONG* byteCount, BYTE** buffer,
                                        LONG* status) override;

    // IEEPROMControl
    HRESULT STDMETHODCALLTYPE SetEEPROMMode(LONG mode, LONG flag, LONG* status) override;
    HRESULT STDMETHODCALLTYPE PrepareRead(LONG a, LONG b, LONG c, LONG d, LONG* status) override;

    // IDriverValue
    HRESULT STDMETHODCALLTYPE WriteValue(LONG item, LONG subItem, LONG byteCount, BYTE* data,
                                         LONG* status) override;
    HRESULT STDMETHODCALLTYPE QueryValue(LONG item, LONG code, BYTE* buffer, LONG* status) override;
    HRESULT STDMETHODCALLTYPE ReadValue(LONG item, LONG subItem, LONG bufferSize, BYTE* buffer,
                                        LONG* status) override;

    // The model. Images of an unknown block are empty; SetCommittedImage throws
    // std::invalid_argument for an unknown block or a size other than the block's.
    std::vector<BYTE> CommittedImage(LONG block) const;
    std::vector<BYTE> CurrentImage(LONG block) const;  // the pending image if there is one
    void SetCommittedImage(LONG block, const std::vector<BYTE>& image);
    std::optional<std::string> Value(LONG item) const;
    void SetValue(LONG item, const std::string& text);
    LONG CommitCount() const;
    bool HasPendingWrites() const;
    // False when a buffer that ReadBlock handed out was written to since: it is the driver's.
    bool HandedOutBuffersIntact() const;

    // The journal of calls, oldest first.
    std::vector<CDriverCall> Journal() const;
    void ClearJournal();
    size_t CallCount(const std::string& method) const;

    // The fault plan. AddFault throws std::invalid_argument for a method the driver lacks, a
    // kind the method cannot have, a Failure with a success code, a Success with a failure code,
    // a Status of 0 or a Refused interface that is not the driver's.
    void AddFault(const CDriverFault& fault);
    void ClearFaults();

private:
    struct CBlock {
        LONG size = 0;
        std::vector<BYTE> committed;
        std::optional<std::vector<BYTE>> pending;
        std::vector<BYTE> handedOut;         // what the last ReadBlock pointed its caller at
        std::vector<BYTE> handedOutAsGiven;  // its content when it was handed out
    };
    struct CPlannedFault {
        CDriverFault fault;
        LONG callsSeen = 0;
    };
    // The faults that hit one call, combined.
    struct CHits {
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

    HRESULT OnReserved(const char* slot) override;
    bool Offers(REFIID riid) override;

    CHits TakeHitsLocked(const std::string& method);
    HRESULT RecordLocked(const char* method, std::vector<LONG> arguments, LONG* status,
                         std::optional<LONG> written, HRESULT hresult);
    CBlock* FindBlockLocked(LONG block);
    const CBlock* FindBlockLocked(LONG block) const;
    LONG StoreBlockLocked(LONG block, LONG byteCount, const BYTE* image);
    void HandOutLocked(CBlock& block, const CHits& hits, LONG* byteCount, BYTE** buffer);
    LONG CopyValueLocked(LONG item, LONG code, BYTE* buffer) const;
    LONG ReadTextLocked(LONG item, LONG bufferSize, BYTE* buffer, bool terminate) const;
    LONG StoreTextLocked(LONG item, LONG byteCount, const BYTE* data);

    mutable std::mutex m_mutex;
    std::map<LONG, CBlock> m_blocks;
    std::map<LONG, std::string> m_values;
    LONG m_commitCount = 0;
    std::vector<CDriverCall> m_journal;
    std::vector<CPlannedFault> m_faults;
};

// The factory images and values that a new simulator starts from.
std::vector<BYTE> FactoryImage(LONG block);
std::map<LONG, std::string> FactoryValues();

}  // namespace norn::firmware
