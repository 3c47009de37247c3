// The measurement driver's interfaces as the firmware, the module and any host share them.
//
// The driver is a COM object of the instrument firmware, registered in the Running Object Table
// as "<process id>TarvoMeasDriver". Slot indices are the ones the firmware's driver has: the
// slots before the first named method are reserved placeholders that nobody calls (a host-side
// implementation answers them with E_NOTIMPL). Every integer is a 32-bit LONG; `status` is the
// driver status word, 0 meaning success.
#pragma once

#include <windows.h>

#include "norn/InterfaceId.h"

// Block numbers, image sizes and layout of the two service data blocks.
namespace norn::eeprom {
constexpr LONG kDeviceDataSetBlock = 22001;
constexpr LONG kMacAddressBlock = 22002;
constexpr LONG kDeviceDataSetImageSize = 1360;
constexpr LONG kMacAddressImageSize = 24;
constexpr LONG kHeaderSize = 8;
constexpr LONG kMaxDeviceDataSetPayload = 1348;
constexpr LONG kMacAddressPayloadSize = 16;
constexpr BYTE kErasedByte = 0xA5;
}  // namespace norn::eeprom

// Driver value items.
namespace norn::driver_values {
constexpr LONG kSerialNumberItem = 3;
constexpr LONG kMaterialNumberItem = 4;
constexpr LONG kItem16 = 16;
constexpr LONG kSubItem = 23;
}  // namespace norn::driver_values

// EEPROM block interface: whole block images by block number.
struct IEEPROMBlock : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;
    // Slot 9. The caller passes reserved 0 and flag 1; imageRef is the address of a variable
    // holding `image`.
    virtual HRESULT STDMETHODCALLTYPE WriteBlock(LONG reserved, LONG block, LONG flag,
                                                 LONG byteCount, BYTE* image, BYTE** imageRef,
                                                 LONG* status) = 0;
    // Slot 10. The buffer handed out stays the driver's: callers copy it and never free it.
    virtual HRESULT STDMETHODCALLTYPE ReadBlock(LONG reserved, LONG block, LONG* byteCount,
                                                BYTE** buffer, LONG* status) = 0;
};

// EEPROM control interface.
struct IEEPROMControl : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;
    // Slot 8. Mode 0 opens a series of block writes, mode 2 commits them; flag is 1.
    virtual HRESULT STDMETHODCALLTYPE SetEEPROMMode(LONG mode, LONG flag, LONG* status) = 0;
    // Slot 9. Called with 1, 0, 0, 0: afterwards the blocks may be read.
    virtual HRESULT STDMETHODCALLTYPE PrepareRead(LONG a, LONG b, LONG c, LONG d, LONG* status) = 0;
};

// Driver value interface: the serial number (item 3), material number (item 4) and item 16.
struct IDriverValue : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
    // Slot 7.
    virtual HRESULT STDMETHODCALLTYPE WriteValue(LONG item, LONG subItem, LONG byteCount,
                                                 BYTE* data, LONG* status) = 0;
    // Slot 8. Fills the buffer; the driver neither reads nor terminates it.
    virtual HRESULT STDMETHODCALLTYPE QueryValue(LONG item, LONG code, BYTE* buffer,
                                                 LONG* status) = 0;
    // Slot 9. Fills the buffer with a zero-ended text of at most bufferSize bytes.
    virtual HRESULT STDMETHODCALLTYPE ReadValue(LONG item, LONG subItem, LONG bufferSize,
                                                BYTE* buffer, LONG* status) = 0;
};

NORN_INTERFACE_ID(IEEPROMBlock, "B41F6C1E-BC0C-4DF5-B2B4-C60897ED9FC5")
NORN_INTERFACE_ID(IEEPROMControl, "7C3961E1-027E-4E0E-BBDB-6858302F7026")
NORN_INTERFACE_ID(IDriverValue, "1F72FA8B-4ACE-4F34-B390-C22ECB690D9B")
