// The measurement driver simulator: instrument model, journal and fault plan.
#include "norn/firmware/MeasurementDriverSimulator.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace norn::firmware {

namespace {

using namespace norn::eeprom;

constexpr const char* kWriteBlock = "WriteBlock";
constexpr const char* kReadBlock = "ReadBlock";
constexpr const char* kSetEEPROMMode = "SetEEPROMMode";
constexpr const char* kPrepareRead = "PrepareRead";
constexpr const char* kWriteValue = "WriteValue";
constexpr const char* kQueryValue = "QueryValue";
constexpr const char* kReadValue = "ReadValue";
constexpr const char* kQueryInterface = "QueryInterface";

constexpr LONG kCommitMode = 2;

bool IsDriverMethod(const std::string& method) {
    for (const char* name : {kWriteBlock, kReadBlock, kSetEEPROMMode, kPrepareRead, kWriteValue,
                             kQueryValue, kReadValue}) {
        if (method == name) return true;
    }
    return false;
}

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

CDriverFault MakeFault(std::string method, LONG nth, EDriverFaultKind kind,
                       HRESULT hresult = E_FAIL) {
    CDriverFault fault;
    fault.method = std::move(method);
    fault.nth = nth;
    fault.kind = kind;
    fault.hresult = hresult;
    return fault;
}

bool IsDriverInterface(const IID& iid) {
    return iid == InterfaceId<IEEPROMBlock>::value || iid == InterfaceId<IEEPROMControl>::value ||
           iid == InterfaceId<IDriverValue>::value;
}

// The first kHeaderSize bytes of a buffer of `length` bytes, or nothing when there is none.
std::vector<BYTE> HeaderOf(const BYTE* buffer, LONG length) {
    if (buffer == nullptr || length <= 0) return {};
    return std::vector<BYTE>(buffer, buffer + std::min(length, kHeaderSize));
}

void ValidateFault(const CDriverFault& fault) {
    const bool refused = fault.kind == EDriverFaultKind::Refused;
    if (refused != (fault.method == kQueryInterface)) {
        throw std::invalid_argument("only QueryInterface refuses, and it can do nothing else");
    }
    if (refused && !IsDriverInterface(fault.interfaceId)) {
        throw std::invalid_argument("only the driver's own interfaces can be refused");
    }
    if (!refused && !IsDriverMethod(fault.method)) {
        throw std::invalid_argument("no driver method " + fault.method);
    }
    if (fault.nth < 0) throw std::invalid_argument("fault call number below 0");
    const bool readBlockOnly = fault.kind == EDriverFaultKind::WrongByteCount ||
                               fault.kind == EDriverFaultKind::NullBuffer ||
                               fault.kind == EDriverFaultKind::Buffer;
    if (readBlockOnly && fault.method != kReadBlock) {
        throw std::invalid_argument("only ReadBlock hands out a buffer");
    }
    if (fault.kind == EDriverFaultKind::Unterminated && fault.method != kReadValue) {
        throw std::invalid_argument("only ReadValue fills a text buffer");
    }
    if (fault.kind == EDriverFaultKind::Failure && SUCCEEDED(fault.hresult)) {
        throw std::invalid_argument("a failure fault needs a failed HRESULT");
    }
    if (fault.kind == EDriverFaultKind::Success && FAILED(fault.hresult)) {
        throw std::invalid_argument("a success fault needs a success code");
    }
    if (fault.kind == EDriverFaultKind::Status && fault.status == driver_status::kOk) {
        throw std::invalid_argument("a status fault needs a nonzero status");
    }
}

}  // namespace

CDriverFault CDriverFault::Failure(std::string method, LONG nth, HRESULT hresult) {
    return MakeFault(std::move(method), nth, EDriverFaultKind::Failure, hresult);
}

CDriverFault CDriverFault::Status(std::string method, LONG nth, LONG status) {
    CDriverFault fault = MakeFault(std::move(method), nth, EDriverFaultKind::Status);
    fault.status = status;
    return fault;
}

CDriverFault CDriverFault::WrongByteCount(LONG nth, LONG byteCount) {
    CDriverFault fault = MakeFault(kReadBlock, nth, EDriverFaultKind::WrongByteCount);
    fault.byteCount = byteCount;
    return fault;
}

CDriverFault CDriverFault::NullBuffer(LONG nth) {
    return MakeFault(kReadBlock, nth, EDriverFaultKind::NullBuffer);
}

CDriverFault CDriverFault::Unterminated(LONG nth) {
    return MakeFault(kReadValue, nth, EDriverFaultKind::Unterminated);
}

CDriverFault CDriverFault::StatusUntouched(std::string method, LONG nth) {
    return MakeFault(std::move(method), nth, EDriverFaultKind::StatusUntouched);
}

CDriverFault CDriverFault::Buffer(LONG nth, std::vector<BYTE> bytes, LONG byteCount) {
    CDriverFault fault = MakeFault(kReadBlock, nth, EDriverFaultKind::Buffer);
    fault.bytes = std::move(bytes);
    fault.byteCount = byteCount;
    return fault;
}

CDriverFault CDriverFault::Success(std::string method, LONG nth, HRESULT hresult) {
    return MakeFault(std::move(method), nth, EDriverFaultKind::Success, hresult);
}

CDriverFault CDriverFault::Refused(const IID& interfaceId, LONG nth) {
    CDriverFault fault = MakeFault(kQueryInterface, nth, EDriverFaultKind::Refused);
    fault.interfaceId = interfaceId;
    return fault;
}

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

CMeasurementDriverSimulator::CMeasurementDriverSimulator() : m_values(FactoryValues()) {
    for (LONG block : {kDeviceDataSetBlock, kMacAddressBlock}) {
        CBlock& model = m_blocks[block];
        model.committed = FactoryImage(block);
        model.size = static_cast<LONG>(model.committed.size());
    }
}

CMeasurementDriverSimulator::~CMeasurementDriverSimulator() = default;

bool CMeasurementDriverSimulator::Offers(REFIID riid) {
    std::lock_guard<std::mutex> lock(m_mutex);
    bool refused = false;
    for (CPlannedFault& planned : m_faults) {
        const CDriverFault& fault = planned.fault;
        if (fault.kind != EDriverFaultKind::Refused || fault.interfaceId != riid) continue;
        ++planned.callsSeen;
        if (fault.nth == 0 || planned.callsSeen == fault.nth) refused = true;
    }
    return !refused;
}

// --- IEEPROMBlock ---------------------------------------------------------------------------

HRESULT CMeasurementDriverSimulator::WriteBlock(LONG reserved, LONG block, LONG flag,
                                                LONG byteCount, BYTE* image, BYTE** imageRef,
                                                LONG* status) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{reserved, block, flag, byteCount};
    const CHits hits = TakeHitsLocked(kWriteBlock);
    std::optional<LONG> written;  // stays empty when the status word is left alone
    HRESULT hresult = hits.success;
    if (hits.failure) {
        hresult = *hits.failure;
    } else if (status == nullptr || image == nullptr) {
        hresult = E_POINTER;
    } else if (imageRef == nullptr || *imageRef != image) {
        hresult = E_INVALIDARG;
    } else if (!hits.statusUntouched) {
        written = hits.status ? *hits.status : StoreBlockLocked(block, byteCount, image);
    }
    RecordLocked(kWriteBlock, arguments, status, written, hresult);
    m_journal.back().data = HeaderOf(image, byteCount);  // whatever the answer
    return hresult;
}

HRESULT CMeasurementDriverSimulator::ReadBlock(LONG reserved, LONG block, LONG* byteCount,
                                               BYTE** buffer, LONG* status) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{reserved, block};
    const CHits hits = TakeHitsLocked(kReadBlock);
    if (hits.failure) return RecordLocked(kReadBlock, arguments, status, {}, *hits.failure);
    if (byteCount == nullptr || buffer == nullptr || status == nullptr) {
        return RecordLocked(kReadBlock, arguments, status, {}, E_POINTER);
    }
    CBlock* model = FindBlockLocked(block);
    if (model == nullptr) {
        *byteCount = 0;
        *buffer = nullptr;
    } else {
        HandOutLocked(*model, hits, byteCount, buffer);
    }
    const LONG result = model != nullptr ? driver_status::kOk : driver_status::kUnknownBlock;
    RecordLocked(kReadBlock, arguments, status, hits.Written(result), hits.success);
    if (model != nullptr) {
        m_journal.back().data = HeaderOf(*buffer, static_cast<LONG>(model->handedOut.size()));
    }
    return hits.success;
}

// --- IEEPROMControl -------------------------------------------------------------------------

HRESULT CMeasurementDriverSimulator::SetEEPROMMode(LONG mode, LONG flag, LONG* status) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{mode, flag};
    const CHits hits = TakeHitsLocked(kSetEEPROMMode);
    if (hits.failure) return RecordLocked(kSetEEPROMMode, arguments, status, {}, *hits.failure);
    if (status == nullptr) return RecordLocked(kSetEEPROMMode, arguments, status, {}, E_POINTER);
    if (hits.statusUntouched) {
        return RecordLocked(kSetEEPROMMode, arguments, status, {}, hits.success);
    }
    if (hits.status) {
        return RecordLocked(kSetEEPROMMode, arguments, status, hits.status, hits.success);
    }
    if (mode == kCommitMode) {
        for (auto& [number, model] : m_blocks) {
            if (!model.pending) continue;
            model.committed = std::move(*model.pending);
            model.pending.reset();
        }
        ++m_commitCount;
    }
    return RecordLocked(kSetEEPROMMode, arguments, status, driver_status::kOk, hits.success);
}

HRESULT CMeasurementDriverSimulator::PrepareRead(LONG a, LONG b, LONG c, LONG d, LONG* status) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{a, b, c, d};
    const CHits hits = TakeHitsLocked(kPrepareRead);
    if (hits.failure) return RecordLocked(kPrepareRead, arguments, status, {}, *hits.failure);
    if (status == nullptr) return RecordLocked(kPrepareRead, arguments, status, {}, E_POINTER);
    return RecordLocked(kPrepareRead, arguments, status, hits.Written(driver_status::kOk),
                        hits.success);
}

// --- IDriverValue ---------------------------------------------------------------------------

HRESULT CMeasurementDriverSimulator::WriteValue(LONG item, LONG subItem, LONG byteCount, BYTE* data,
                                                LONG* status) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{item, subItem, byteCount};
    const CHits hits = TakeHitsLocked(kWriteValue);
    std::vector<BYTE> taken;  // whatever the answer, as the firmware's driver does
    if (data != nullptr) taken.assign(data, data + std::max<LONG>(byteCount, 0));
    std::optional<LONG> written;  // stays empty when the status word is left alone
    HRESULT hresult = hits.success;
    if (hits.failure) {
        hresult = *hits.failure;
    } else if (status == nullptr || (data == nullptr && byteCount > 0)) {
        hresult = E_POINTER;
    } else if (!hits.statusUntouched) {
        written = hits.status ? *hits.status : StoreTextLocked(item, byteCount, data);
    }
    RecordLocked(kWriteValue, arguments, status, written, hresult);
    m_journal.back().data = std::move(taken);
    return hresult;
}

HRESULT CMeasurementDriverSimulator::QueryValue(LONG item, LONG code, BYTE* buffer, LONG* status) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{item, code};
    const CHits hits = TakeHitsLocked(kQueryValue);
    if (hits.failure) return RecordLocked(kQueryValue, arguments, status, {}, *hits.failure);
    if (status == nullptr || (buffer == nullptr && code > 0)) {
        return RecordLocked(kQueryValue, arguments, status, {}, E_POINTER);
    }
    if (hits.statusUntouched) return RecordLocked(kQueryValue, arguments, status, {}, hits.success);
    const LONG result = CopyValueLocked(item, code, buffer);
    return RecordLocked(kQueryValue, arguments, status, hits.status.value_or(result), hits.success);
}

HRESULT CMeasurementDriverSimulator::ReadValue(LONG item, LONG subItem, LONG bufferSize,
                                               BYTE* buffer, LONG* status) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{item, subItem, bufferSize};
    const CHits hits = TakeHitsLocked(kReadValue);
    if (hits.failure) return RecordLocked(kReadValue, arguments, status, {}, *hits.failure);
    if (status == nullptr || buffer == nullptr) {
        return RecordLocked(kReadValue, arguments, status, {}, E_POINTER);
    }
    const LONG result = ReadTextLocked(item, bufferSize, buffer, !hits.unterminated);
    return RecordLocked(kReadValue, arguments, status, hits.Written(result), hits.success);
}

HRESULT CMeasurementDriverSimulator::OnReserved(const char* slot) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return RecordLocked(slot, {}, nullptr, {}, E_NOTIMPL);
}

// --- Model accessors ------------------------------------------------------------------------

std::vector<BYTE> CMeasurementDriverSimulator::CommittedImage(LONG block) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const CBlock* model = FindBlockLocked(block);
    return model != nullptr ? model->committed : std::vector<BYTE>{};
}

std::vector<BYTE> CMeasurementDriverSimulator::CurrentImage(LONG block) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const CBlock* model = FindBlockLocked(block);
    if (model == nullptr) return {};
    return model->pending ? *model->pending : model->committed;
}

void CMeasurementDriverSimulator::SetCommittedImage(LONG block, const std::vector<BYTE>& image) {
    std::lock_guard<std::mutex> lock(m_mutex);
    CBlock* model = FindBlockLocked(block);
    if (model == nullptr) throw std::invalid_argument("unknown EEPROM block");
    if (image.size() != static_cast<size_t>(model->size)) {
        throw std::invalid_argument("image size differs from the block size");
    }
    model->committed = image;
}

std::optional<std::string> CMeasurementDriverSimulator::Value(LONG item) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_values.find(item);
    if (it == m_values.end()) return std::nullopt;
    return it->second;
}

void CMeasurementDriverSimulator::SetValue(LONG item, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values[item] = text;
}

LONG CMeasurementDriverSimulator::CommitCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commitCount;
}

bool CMeasurementDriverSimulator::HasPendingWrites() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::any_of(m_blocks.begin(), m_blocks.end(),
                       [](const auto& entry) { return entry.second.pending.has_value(); });
}

bool CMeasurementDriverSimulator::HandedOutBuffersIntact() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::all_of(m_blocks.begin(), m_blocks.end(), [](const auto& entry) {
        return entry.second.handedOut == entry.second.handedOutAsGiven;
    });
}

// --- Journal and fault plan -----------------------------------------------------------------

std::vector<CDriverCall> CMeasurementDriverSimulator::Journal() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_journal;
}

void CMeasurementDriverSimulator::ClearJournal() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_journal.clear();
}

size_t CMeasurementDriverSimulator::CallCount(const std::string& method) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<size_t>(
        std::count_if(m_journal.begin(), m_journal.end(),
                      [&](const CDriverCall& call) { return call.method == method; }));
}

void CMeasurementDriverSimulator::AddFault(const CDriverFault& fault) {
    ValidateFault(fault);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.push_back({fault, 0});
}

void CMeasurementDriverSimulator::ClearFaults() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
}

// --- Helpers --------------------------------------------------------------------------------

CMeasurementDriverSimulator::CHits CMeasurementDriverSimulator::TakeHitsLocked(
    const std::string& method) {
    CHits hits;
    for (CPlannedFault& planned : m_faults) {
        const CDriverFault& fault = planned.fault;
        if (fault.method != method) continue;
        ++planned.callsSeen;
        if (fault.nth != 0 && planned.callsSeen != fault.nth) continue;
        switch (fault.kind) {
            case EDriverFaultKind::Failure:
                if (!hits.failure) hits.failure = fault.hresult;
                break;
            case EDriverFaultKind::Status:
                hits.status = fault.status;
                break;
            case EDriverFaultKind::WrongByteCount:
                hits.byteCount = fault.byteCount;
                break;
            case EDriverFaultKind::NullBuffer:
                hits.nullBuffer = true;
                break;
            case EDriverFaultKind::Unterminated:
                hits.unterminated = true;
                break;
            case EDriverFaultKind::StatusUntouched:
                hits.statusUntouched = true;
                break;
            case EDriverFaultKind::Buffer:
                hits.buffer = fault.bytes;
                hits.byteCount = fault.byteCount;
                break;
            case EDriverFaultKind::Success:
                hits.success = fault.hresult;
                break;
            case EDriverFaultKind::Refused:  // QueryInterface only, see Offers
                break;
        }
    }
    return hits;
}

HRESULT CMeasurementDriverSimulator::RecordLocked(const char* method, std::vector<LONG> arguments,
                                                  LONG* status, std::optional<LONG> written,
                                                  HRESULT hresult) {
    if (written && status != nullptr) *status = *written;
    m_journal.push_back({method, std::move(arguments), written, hresult, {}});
    return hresult;
}

CMeasurementDriverSimulator::CBlock* CMeasurementDriverSimulator::FindBlockLocked(LONG block) {
    auto it = m_blocks.find(block);
    return it != m_blocks.end() ? &it->second : nullptr;
}

const CMeasurementDriverSimulator::CBlock* CMeasurementDriverSimulator::FindBlockLocked(
    LONG block) const {
    auto it = m_blocks.find(block);
    return it != m_blocks.end() ? &it->second : nullptr;
}

LONG CMeasurementDriverSimulator::StoreBlockLocked(LONG block, LONG byteCount, const BYTE* image) {
    CBlock* model = FindBlockLocked(block);
    if (model == nullptr) return driver_status::kUnknownBlock;
    if (byteCount != model->size) return driver_status::kWrongByteCount;
    model->pending.emplace(image, image + byteCount);
    return driver_status::kOk;
}

// A wrong byte count is reported with a buffer at least that long (padded with erased bytes), so
// that a caller trusting the count reads garbage but never past the allocation. A planned buffer
// is handed out as it is, in an allocation of its own length: a caller that reads past it reads
// past the allocation, whatever count it trusts.
void CMeasurementDriverSimulator::HandOutLocked(CBlock& block, const CHits& hits, LONG* byteCount,
                                                BYTE** buffer) {
    const std::vector<BYTE>& image = block.pending ? *block.pending : block.committed;
    const LONG reported = hits.byteCount.value_or(block.size);
    const size_t length = std::max(image.size(), static_cast<size_t>(std::max<LONG>(reported, 0)));
    std::vector<BYTE> handedOut;
    if (hits.buffer) {
        handedOut = *hits.buffer;
    } else {
        handedOut.assign(length, kErasedByte);
        std::copy(image.begin(), image.end(), handedOut.begin());
    }
    block.handedOut = std::move(handedOut);
    block.handedOutAsGiven = block.handedOut;
    *byteCount = reported;
    *buffer = hits.nullBuffer ? nullptr : block.handedOut.data();
}

LONG CMeasurementDriverSimulator::CopyValueLocked(LONG item, LONG code, BYTE* buffer) const {
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

LONG CMeasurementDriverSimulator::ReadTextLocked(LONG item, LONG bufferSize, BYTE* buffer,
                                                 bool terminate) const {
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

LONG CMeasurementDriverSimulator::StoreTextLocked(LONG item, LONG byteCount, const BYTE* data) {
    auto it = m_values.find(item);
    if (it == m_values.end()) return driver_status::kUnknownItem;
    if (byteCount < 0) return driver_status::kBadLength;
    const BYTE* end = data + byteCount;
    it->second.assign(data, std::find(data, end, BYTE{0}));
    return driver_status::kOk;
}

}  // namespace norn::firmware
