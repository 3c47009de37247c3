// CFuzzDriver: a measurement driver that answers every call from the fuzzer's input, including
// answers the firmware's simulator never gives: block buffers of any declared size (larger or
// smaller than the block, or none), values that fill the caller's buffer without a terminator,
// any status word and any HRESULT, and interfaces it does not hand out.
//
// It also checks what the module hands it: block writes of the block's size whose header is the
// one the last read of that block returned, EEPROM modes 0 and 2, value writes whose every byte
// is readable, and pointers where the interface needs them.
//
// Ownership as with the firmware's simulators: the creator owns the object (one per iteration,
// on the stack); it counts the references handed out but the last Release does not delete it.
// The block buffers it hands out stay its own and live as long as it does.
#pragma once

#include <norn/MeasurementDriver.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FuzzInput.h"

namespace norn::fuzz {

// Bits of the interfaces the driver refuses in QueryInterface.
enum EMissingInterface : unsigned {
    MissingBlock = 1,
    MissingControl = 2,
    MissingValue = 4,
    MissingInterfaceCombinations = 8
};

class CFuzzDriver final : public IEEPROMBlock, public IEEPROMControl, public IDriverValue {
public:
    // The payloads are what a well-formed answer puts into blocks 22001 and 22002.
    CFuzzDriver(CInputReader& input, unsigned missingInterfaces, std::string deviceDataSet,
                std::string macAddress);
    CFuzzDriver(const CFuzzDriver&) = delete;
    CFuzzDriver& operator=(const CFuzzDriver&) = delete;

    IUnknown* Unknown() noexcept { return static_cast<IEEPROMBlock*>(this); }
    ULONG Refs() const noexcept { return m_refs; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override;

    // The reserved slots of all three interfaces; the module never calls them.
    HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }

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

private:
    // An HRESULT (mostly S_OK) and a status word (0, any value, or left alone) from the input.
    HRESULT Answer(LONG* status);
    std::vector<BYTE> WellFormedImage(LONG block);
    // A new driver-owned buffer of `size` bytes: `bytes`, then `fill`.
    BYTE* HandOut(const std::string& bytes, size_t size, BYTE fill);

    CInputReader& m_input;
    unsigned m_missing;
    std::string m_deviceDataSet;
    std::string m_macAddress;
    ULONG m_refs = 0;
    std::vector<std::unique_ptr<BYTE[]>> m_handedOut;
    // The header of the last read of each block; absent after a read without one.
    std::map<LONG, std::string> m_lastHeader;
    // What the module wrote, by block and by item.
    std::map<LONG, std::vector<BYTE>> m_written;
    std::map<LONG, std::string> m_values;
};

}  // namespace norn::fuzz
