// CMeasurementDriverSimulator: the firmware's measurement driver, simulated in-process for tests
// and tools. One COM object answers IEEPROMBlock, IEEPROMControl and IDriverValue over the
// simulated instrument's EEPROM store, journals every call, and fails calls on demand from a
// fault plan. Including this header gives its users the journal entries (DriverCall.h), the
// faults (DriverFaultPlan.h) and the factory state (EEPROMStore.h) too.
#pragma once

#include <windows.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "norn/ComObject.h"
#include "norn/MeasurementDriver.h"
#include "norn/firmware/CallBracket.h"
#include "norn/firmware/DriverCall.h"
#include "norn/firmware/DriverFaultPlan.h"
#include "norn/firmware/DriverReservedSlots.h"
#include "norn/firmware/EEPROMStore.h"

namespace norn::firmware {

// The instrument model is a CEEPROMStore: a WriteBlock makes a block's pending image, and
// SetEEPROMMode 2 commits them. A new simulator holds the factory state.
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
// and Release are not. All methods are thread-safe: one lock covers the store, the journal and
// the fault plan, so that a call's effect, its journal entry and its fault count go together.
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

    // The model, as CEEPROMStore's accessors of the same names give it.
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

    // The fault plan. AddFault throws std::invalid_argument for a fault the plan rejects (see
    // CDriverFaultPlan::Add).
    void AddFault(const CDriverFault& fault);
    void ClearFaults();

    // Brackets every call of the driver's interfaces from now on (CallBracket.h).
    void SetCallBracket(CCallBracket bracket) { m_bracket = bracket; }

private:
    HRESULT OnReserved(const char* interfaceName, int slot) override;
    bool Offers(REFIID riid) override;

    HRESULT RecordLocked(std::string method, std::vector<LONG> arguments, LONG* status,
                         std::optional<LONG> written, HRESULT hresult);

    mutable std::mutex m_mutex;
    CEEPROMStore m_store;
    std::vector<CDriverCall> m_journal;
    CDriverFaultPlan m_faultPlan;
    CCallBracket m_bracket = nullptr;
};

}  // namespace norn::firmware
