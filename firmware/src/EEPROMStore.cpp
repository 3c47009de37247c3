// The simulated instrument's EEPROM blocks and driver values, and their factory state.
#include "norn/firmware/EEPROMStore.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "norn/MeasurementDriver.h"
#include "norn/firmware/DriverCall.h"

namespace norn::firmware {

namespace {

using namespace norn::eeprom;

void PutLittleEndian32(std::vector<BYTE>& image, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) image[offset + i] = static_cast<BYTE>(value >> (8 * i));
}

// Header bytes 4 and 5 hold the image size, little-endian; the header is otherwise opaque.
std::vector<BYTE> FactoryDeviceDataSet() {
    std::vector<BYTE> image(kDeviceDataSetImageSize, kErasedByte);
    const BYTE header[kHeaderSize] = {'D', 'D', 'S', 0x01, 0x50, 0x05, 0x00, 0x00};
    std::copy(std::begin(header), std::end(header), image.begin());
    const std::string payload =
        "NORN-DDS;rev=3;calibrated=2021-04-12;gain=1.0025;offset=-0.0031;range=0-500";
    PutLittleEndian32(image, kHeaderSize, static_cast<uint32_t>(payload.size()));
    std::copy(payload.begin(), payload.end(), image.begin() + kHeaderSize + 4);
    return image;
}

std::vector<BYTE> FactoryMacAddress() {
    std::vector<BYTE> image(kMacAddressImageSize, kErasedByte);
    const BYTE header[kHeaderSize] = {'M', 'A', 'C', 0x01, 0x18, 0x00, 0x00, 0x00};
    const BYTE mac[6] = {0x00, 0x1B, 0x7C, 0x12, 0x34, 0x56};
    std::copy(std::begin(header), std::end(header), image.begin());
    std::copy(std::begin(mac), std::end(mac), image.begin() + kHeaderSize);
    return image;
}

}  // namespace

std::vector<BYTE> FactoryImage(LONG block) {
    if (block == kDeviceDataSetBlock) return FactoryDeviceDataSet();
    if (block == kMacAddressBlock) return FactoryMacAddress();
    return {};
}

std::map<LONG, std::string> FactoryValues() {
    return {{driver_values::kSerialNumberItem, "SN12345678"},
            {driver_values::kMaterialNumberItem, "1234.5678.90"},
            {driver_values::kItem16, "CFG16;OPT=7;LANG=EN"}};
}

CEEPROMStore::CEEPROMStore() : m_values(FactoryValues()) {
    for (LONG block : {kDeviceDataSetBlock, kMacAddressBlock}) {
        CBlock& model = m_blocks[block];
        model.committed = FactoryImage(block);
        model.size = static_cast<LONG>(model.committed.size());
    }
}

// --- The state as tests and tools see it -----------------------------------------------------

std::vector<BYTE> CEEPROMStore::CommittedImage(LONG block) const {
    const CBlock* model = FindBlock(block);
    return model != nullptr ? model->committed : std::vector<BYTE>{};
}

std::vector<BYTE> CEEPROMStore::CurrentImage(LONG block) const {
    const CBlock* model = FindBlock(block);
    if (model == nullptr) return {};
    return model->pending ? *model->pending : model->committed;
}

void CEEPROMStore::SetCommittedImage(LONG block, const std::vector<BYTE>& image) {
    CBlock* model = FindBlock(block);
    if (model == nullptr) throw std::invalid_argument("unknown EEPROM block");
    if (image.size() != static_cast<size_t>(model->size)) {
        throw std::invalid_argument("image size differs from the block size");
    }
    model->committed = image;
}

std::optional<std::string> CEEPROMStore::Value(LONG item) const {
    auto it = m_values.find(item);
    if (it == m_values.end()) return std::nullopt;
    return it->second;
}

void CEEPROMStore::SetValue(LONG item, const std::string& text) {
    m_values[item] = text;
}

bool CEEPROMStore::HasPendingWrites() const {
    return std::any_of(m_blocks.begin(), m_blocks.end(),
                       [](const auto& entry) { return entry.second.pending.has_value(); });
}

bool CEEPROMStore::HandedOutBuffersIntact() const {
    return std::all_of(m_blocks.begin(), m_blocks.end(), [](const auto& entry) {
        return entry.second.handedOut == entry.second.handedOutAsGiven;
    });
}

// --- Blocks ----------------------------------------------------------------------------------

LONG CEEPROMStore::StoreBlock(LONG block, LONG byteCount, const BYTE* image) {
    CBlock* model = FindBlock(block);
    if (model == nullptr) return driver_status::kUnknownBlock;
    if (byteCount != model->size) return driver_status::kWrongByteCount;
    model->pending.emplace(image, image + byteCount);
    return driver_status::kOk;
}

void CEEPROMStore::Commit() {
    for (auto& [number, model] : m_blocks) {
        if (!model.pending) continue;
        model.committed = std::move(*model.pending);
        model.pending.reset();
    }
    ++m_commitCount;
}

// A wrong byte count is reported with a buffer at least that long (padded with erased bytes), so
// that a caller trusting the count reads garbage but never past the allocation. A planned buffer
// is handed out as it is, in an allocation of its own length: a caller that reads past it reads
// past the allocation, whatever count it trusts.
std::optional<CEEPROMStore::CHandedOut> CEEPROMStore::HandOut(
    LONG block, std::optional<LONG> byteCount, const std::optional<std::vector<BYTE>>& planned) {
    CBlock* model = FindBlock(block);
    if (model == nullptr) return std::nullopt;
    const std::vector<BYTE>& image = model->pending ? *model->pending : model->committed;
    const LONG reported = byteCount.value_or(model->size);
    const size_t length = std::max(image.size(), static_cast<size_t>(std::max<LONG>(reported, 0)));
    std::vector<BYTE> handedOut;
    if (planned) {
        handedOut = *planned;
    } else {
        handedOut.assign(length, kErasedByte);
        std::copy(image.begin(), image.end(), handedOut.begin());
    }
    model->handedOut = std::move(handedOut);
    model->handedOutAsGiven = model->handedOut;
    return CHandedOut{model->handedOut.data(), reported,
                      static_cast<LONG>(model->handedOut.size())};
}

CEEPROMStore::CBlock* CEEPROMStore::FindBlock(LONG block) {
    auto it = m_blocks.find(block);
    return it != m_blocks.end() ? &it->second : nullptr;
}

const CEEPROMStore::CBlock* CEEPROMStore::FindBlock(LONG block) const {
    auto it = m_blocks.find(block);
    return it != m_blocks.end() ? &it->second : nullptr;
}

// --- Driver values ---------------------------------------------------------------------------

LONG CEEPROMStore::CopyValue(LONG item, LONG code, BYTE* buffer) const {
    auto it = m_values.find(item);
    if (it == m_values.end()) return driver_status::kUnknownItem;
    if (code < 0) return driver_status::kBadLength;
    const size_t capacity = static_cast<size_t>(code);
    const size_t copied = std::min(capacity, it->second.size());
    if (capacity == 0) return driver_status::kOk;
    std::memcpy(buffer, it->second.data(), copied);
    std::memset(buffer + copied, 0, capacity - copied);
    return driver_status::kOk;
}

LONG CEEPROMStore::ReadText(LONG item, LONG bufferSize, BYTE* buffer, bool terminate) const {
    auto it = m_values.find(item);
    if (it == m_values.end()) return driver_status::kUnknownItem;
    if (bufferSize < 1) return driver_status::kBadLength;
    if (!terminate) {
        const std::string& text = it->second.empty() ? std::string("?") : it->second;
        for (LONG i = 0; i < bufferSize; ++i) buffer[i] = static_cast<BYTE>(text[i % text.size()]);
        return driver_status::kOk;
    }
    const size_t copied = std::min(static_cast<size_t>(bufferSize - 1), it->second.size());
    std::memcpy(buffer, it->second.data(), copied);
    buffer[copied] = 0;
    return driver_status::kOk;
}

LONG CEEPROMStore::StoreText(LONG item, LONG byteCount, const BYTE* data) {
    auto it = m_values.find(item);
    if (it == m_values.end()) return driver_status::kUnknownItem;
    if (byteCount < 0) return driver_status::kBadLength;
    const BYTE* end = data + byteCount;
    it->second.assign(data, std::find(data, end, BYTE{0}));
    return driver_status::kOk;
}

}  // namespace norn::firmware
