// CFuzzDriver: the measurement driver that answers from the fuzzer's input.
#include "FuzzDriver.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "FuzzSupport.h"

using namespace norn::eeprom;

namespace norn::fuzz {

namespace {

// The largest buffer handed out for a declared block size: well beyond both blocks, so a module
// that copied by the declared size instead of the block's would read past it.
constexpr size_t kMaxHandedOut = 4096;
// The module writes values of at most 200 bytes (driver value 16 written back).
constexpr LONG kMaxValueWrite = 200;

// How a ReadBlock answer is built.
enum EBlockAnswer : unsigned {
    BlockWellFormed,   // the block's size, its payload from the service data file
    BlockRaw,          // the block's size, bytes from the input
    BlockAnySize,      // any declared size, a buffer of that size (at most kMaxHandedOut)
    BlockNullBuffer,   // the block's size, no buffer
    BlockNullAnySize,  // any declared size, no buffer
    BlockAnswerCount
};

const HRESULT kResults[] = {S_OK,          S_FALSE,      E_FAIL,      E_POINTER,
                            E_OUTOFMEMORY, E_UNEXPECTED, E_INVALIDARG};
constexpr unsigned kResultCount = sizeof(kResults) / sizeof(kResults[0]);

LONG BlockSize(LONG block) {
    if (block == kDeviceDataSetBlock) return kDeviceDataSetImageSize;
    NORN_FUZZ_CHECK(block == kMacAddressBlock);
    return kMacAddressImageSize;
}

std::string Header(const BYTE* image) {
    return std::string(reinterpret_cast<const char*>(image), kHeaderSize);
}

}  // namespace

CFuzzDriver::CFuzzDriver(CInputReader& input, unsigned missingInterfaces, std::string deviceDataSet,
                         std::string macAddress)
    : m_input(input),
      m_missing(missingInterfaces),
      m_deviceDataSet(std::move(deviceDataSet)),
      m_macAddress(std::move(macAddress)) {}

HRESULT CFuzzDriver::QueryInterface(REFIID riid, void** ppv) {
    NORN_FUZZ_CHECK(ppv != nullptr);
    *ppv = nullptr;
    if (riid == InterfaceId<IUnknown>::value) {
        *ppv = Unknown();
    } else if (riid == InterfaceId<IEEPROMBlock>::value && !(m_missing & MissingBlock)) {
        *ppv = static_cast<IEEPROMBlock*>(this);
    } else if (riid == InterfaceId<IEEPROMControl>::value && !(m_missing & MissingControl)) {
        *ppv = static_cast<IEEPROMControl*>(this);
    } else if (riid == InterfaceId<IDriverValue>::value && !(m_missing & MissingValue)) {
        *ppv = static_cast<IDriverValue*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CFuzzDriver::Release() {
    NORN_FUZZ_CHECK(m_refs > 0);  // released more often than handed out
    return --m_refs;
}

HRESULT CFuzzDriver::Answer(LONG* status) {
    NORN_FUZZ_CHECK(status != nullptr);
    const unsigned result = m_input.Choice(kResultCount + 1);
    const HRESULT hr = result < kResultCount ? static_cast<HRESULT>(kResults[result])
                                             : static_cast<HRESULT>(m_input.Number());
    const unsigned statusKind = m_input.Choice(3);
    if (statusKind == 0) *status = 0;
    if (statusKind == 1) *status = static_cast<LONG>(m_input.Number());
    return hr;  // statusKind 2 leaves the status word alone
}

std::vector<BYTE> CFuzzDriver::WellFormedImage(LONG block) {
    const std::string header = m_input.Bytes(kHeaderSize);
    std::vector<BYTE> image(BlockSize(block), kErasedByte);
    std::copy(header.begin(), header.end(), image.begin());
    if (block == kDeviceDataSetBlock) {
        const size_t length = std::min<size_t>(m_deviceDataSet.size(), kMaxDeviceDataSetPayload);
        const uint32_t field = static_cast<uint32_t>(length);
        std::memcpy(image.data() + kHeaderSize, &field, sizeof(field));
        std::copy_n(m_deviceDataSet.begin(), length, image.begin() + kHeaderSize + 4);
    } else {
        const size_t length = std::min<size_t>(m_macAddress.size(), kMacAddressPayloadSize);
        std::copy_n(m_macAddress.begin(), length, image.begin() + kHeaderSize);
    }
    return image;
}

BYTE* CFuzzDriver::HandOut(const std::string& bytes, size_t size, BYTE fill) {
    m_handedOut.emplace_back(new BYTE[size]);
    BYTE* buffer = m_handedOut.back().get();
    std::memset(buffer, fill, size);
    std::memcpy(buffer, bytes.data(), std::min(bytes.size(), size));
    return buffer;
}

HRESULT CFuzzDriver::ReadBlock(LONG reserved, LONG block, LONG* byteCount, BYTE** buffer,
                               LONG* status) {
    NORN_FUZZ_CHECK(reserved == 0 && byteCount != nullptr && buffer != nullptr);
    const HRESULT hr = Answer(status);
    const LONG blockSize = BlockSize(block);
    const unsigned kind = m_input.Choice(BlockAnswerCount);
    LONG declared = blockSize;
    if (kind == BlockAnySize || kind == BlockNullAnySize) declared = m_input.Number();
    *byteCount = declared;
    *buffer = nullptr;
    m_lastHeader.erase(block);
    if (kind == BlockNullBuffer || kind == BlockNullAnySize) return hr;

    const size_t size = std::min<size_t>(std::max<LONG>(declared, 0), kMaxHandedOut);
    if (kind == BlockWellFormed) {
        const std::vector<BYTE> image = WellFormedImage(block);
        *buffer = HandOut(std::string(image.begin(), image.end()), size, kErasedByte);
    } else {
        *buffer = HandOut(m_input.Bytes(size), size, kErasedByte);
    }
    if (size >= static_cast<size_t>(kHeaderSize)) m_lastHeader[block] = Header(*buffer);
    return hr;
}

HRESULT CFuzzDriver::WriteBlock(LONG reserved, LONG block, LONG flag, LONG byteCount, BYTE* image,
                                BYTE** imageRef, LONG* status) {
    NORN_FUZZ_CHECK(reserved == 0 && flag == 1);
    NORN_FUZZ_CHECK(byteCount == BlockSize(block));
    NORN_FUZZ_CHECK(image != nullptr && imageRef != nullptr && *imageRef == image);
    // Every byte of the image is taken, as the EEPROM write does; the header is the one just read.
    std::vector<BYTE>& written = m_written[block];
    written.assign(image, image + byteCount);
    const auto header = m_lastHeader.find(block);
    NORN_FUZZ_CHECK(header != m_lastHeader.end());
    NORN_FUZZ_CHECK(Header(written.data()) == header->second);
    return Answer(status);
}

HRESULT CFuzzDriver::SetEEPROMMode(LONG mode, LONG flag, LONG* status) {
    NORN_FUZZ_CHECK((mode == 0 || mode == 2) && flag == 1);
    return Answer(status);
}

HRESULT CFuzzDriver::PrepareRead(LONG a, LONG b, LONG c, LONG d, LONG* status) {
    NORN_FUZZ_CHECK(a == 1 && b == 0 && c == 0 && d == 0);
    return Answer(status);
}

HRESULT CFuzzDriver::WriteValue(LONG item, LONG subItem, LONG byteCount, BYTE* data, LONG* status) {
    using namespace driver_values;
    NORN_FUZZ_CHECK(item == kSerialNumberItem || item == kMaterialNumberItem || item == kItem16);
    NORN_FUZZ_CHECK(subItem == kSubItem);
    NORN_FUZZ_CHECK(byteCount >= 0 && byteCount <= kMaxValueWrite);
    NORN_FUZZ_CHECK(data != nullptr || byteCount == 0);
    // The driver takes as many bytes as it is told: each of them must be readable.
    m_values[item].assign(reinterpret_cast<const char*>(data), byteCount);
    return Answer(status);
}

HRESULT CFuzzDriver::QueryValue(LONG, LONG code, BYTE* buffer, LONG* status) {
    NORN_FUZZ_CHECK(buffer != nullptr && (code == 10 || code == 13));
    const std::string value = m_input.Bytes(code);
    std::memcpy(buffer, value.data(), value.size());
    return Answer(status);
}

HRESULT CFuzzDriver::ReadValue(LONG item, LONG subItem, LONG bufferSize, BYTE* buffer,
                               LONG* status) {
    NORN_FUZZ_CHECK(item == driver_values::kItem16 && subItem == driver_values::kSubItem);
    NORN_FUZZ_CHECK(buffer != nullptr && bufferSize > 0);
    const HRESULT hr = Answer(status);
    std::string text = m_input.Bytes(bufferSize);
    // Either a text ended within the buffer, or the whole buffer without any zero byte.
    if (m_input.Choice(2) == 0) {
        text.back() = '\0';
    } else {
        std::replace(text.begin(), text.end(), '\0', 'x');
    }
    std::memcpy(buffer, text.data(), text.size());
    return hr;
}

}  // namespace norn::fuzz
