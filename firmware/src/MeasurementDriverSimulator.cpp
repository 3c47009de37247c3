// The measurement driver simulator's COM surface: argument checks, the fault plan's hits, the
// journal, and the calls carried out on the EEPROM store.
#include "norn/firmware/MeasurementDriverSimulator.h"

#include <algorithm>
#include <utility>

namespace norn::firmware {

namespace {

using namespace driver_methods;

constexpr LONG kCommitMode = 2;

// The first kHeaderSize bytes of a buffer of `length` bytes, or nothing when there is none.
std::vector<BYTE> HeaderOf(const BYTE* buffer, LONG length) {
    if (buffer == nullptr || length <= 0) return {};
    return std::vector<BYTE>(buffer, buffer + std::min(length, eeprom::kHeaderSize));
}

}  // namespace

CMeasurementDriverSimulator::CMeasurementDriverSimulator() = default;

CMeasurementDriverSimulator::~CMeasurementDriverSimulator() = default;

bool CMeasurementDriverSimulator::Offers(REFIID riid) {
    const CInCall inCall(m_bracket);
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_faultPlan.Refuses(riid);
}

// --- IEEPROMBlock ---------------------------------------------------------------------------

HRESULT CMeasurementDriverSimulator::WriteBlock(LONG reserved, LONG block, LONG flag,
                                                LONG byteCount, BYTE* image, BYTE** imageRef,
                                                LONG* status) {
    const CInCall inCall(m_bracket);
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{reserved, block, flag, byteCount};
    const CDriverFaultHits hits = m_faultPlan.Take(kWriteBlock);
    std::optional<LONG> written;  // stays empty when the status word is left alone
    HRESULT hresult = hits.success;
    if (hits.failure) {
        hresult = *hits.failure;
    } else if (status == nullptr || image == nullptr) {
        hresult = E_POINTER;
    } else if (imageRef == nullptr || *imageRef != image) {
        hresult = E_INVALIDARG;
    } else if (!hits.statusUntouched) {
        written = hits.status ? *hits.status : m_store.StoreBlock(block, byteCount, image);
    }
    RecordLocked(kWriteBlock, arguments, status, written, hresult);
    m_journal.back().data = HeaderOf(image, byteCount);  // whatever the answer
    return hresult;
}

HRESULT CMeasurementDriverSimulator::ReadBlock(LONG reserved, LONG block, LONG* byteCount,
                                               BYTE** buffer, LONG* status) {
    const CInCall inCall(m_bracket);
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{reserved, block};
    const CDriverFaultHits hits = m_faultPlan.Take(kReadBlock);
    if (hits.failure) return RecordLocked(kReadBlock, arguments, status, {}, *hits.failure);
    if (byteCount == nullptr || buffer == nullptr || status == nullptr) {
        return RecordLocked(kReadBlock, arguments, status, {}, E_POINTER);
    }
    const auto handedOut = m_store.HandOut(block, hits.byteCount, hits.buffer);
    *byteCount = handedOut ? handedOut->byteCount : 0;
    *buffer = handedOut && !hits.nullBuffer ? handedOut->data : nullptr;
    const LONG result = handedOut ? driver_status::kOk : driver_status::kUnknownBlock;
    RecordLocked(kReadBlock, arguments, status, hits.Written(result), hits.success);
    if (handedOut) m_journal.back().data = HeaderOf(*buffer, handedOut->length);
    return hits.success;
}

// --- IEEPROMControl -------------------------------------------------------------------------

HRESULT CMeasurementDriverSimulator::SetEEPROMMode(LONG mode, LONG flag, LONG* status) {
    const CInCall inCall(m_bracket);
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{mode, flag};
    const CDriverFaultHits hits = m_faultPlan.Take(kSetEEPROMMode);
    if (hits.failure) return RecordLocked(kSetEEPROMMode, arguments, status, {}, *hits.failure);
    if (status == nullptr) return RecordLocked(kSetEEPROMMode, arguments, status, {}, E_POINTER);
    if (hits.statusUntouched) {
        return RecordLocked(kSetEEPROMMode, arguments, status, {}, hits.success);
    }
    if (hits.status) {
        return RecordLocked(kSetEEPROMMode, arguments, status, hits.status, hits.success);
    }
    if (mode == kCommitMode) m_store.Commit();
    return RecordLocked(kSetEEPROMMode, arguments, status, driver_status::kOk, hits.success);
}

HRESULT CMeasurementDriverSimulator::PrepareRead(LONG a, LONG b, LONG c, LONG d, LONG* status) {
    const CInCall inCall(m_bracket);
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{a, b, c, d};
    const CDriverFaultHits hits = m_faultPlan.Take(kPrepareRead);
    if (hits.failure) return RecordLocked(kPrepareRead, arguments, status, {}, *hits.failure);
    if (status == nullptr) return RecordLocked(kPrepareRead, arguments, status, {}, E_POINTER);
    return RecordLocked(kPrepareRead, arguments, status, hits.Written(driver_status::kOk),
                        hits.success);
}

// --- IDriverValue ---------------------------------------------------------------------------

HRESULT CMeasurementDriverSimulator::WriteValue(LONG item, LONG subItem, LONG byteCount, BYTE* data,
                                                LONG* status) {
    const CInCall inCall(m_bracket);
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{item, subItem, byteCount};
    const CDriverFaultHits hits = m_faultPlan.Take(kWriteValue);
    std::vector<BYTE> taken;  // whatever the answer, as the firmware's driver does
    if (data != nullptr) taken.assign(data, data + std::max<LONG>(byteCount, 0));
    std::optional<LONG> written;  // stays empty when the status word is left alone
    HRESULT hresult = hits.success;
    if (hits.failure) {
        hresult = *hits.failure;
    } else if (status == nullptr || (data == nullptr && byteCount > 0)) {
        hresult = E_POINTER;
    } else if (!hits.statusUntouched) {
        written = hits.status ? *hits.status : m_store.StoreText(item, byteCount, data);
    }
    RecordLocked(kWriteValue, arguments, status, written, hresult);
    m_journal.back().data = std::move(taken);
    return hresult;
}

HRESULT CMeasurementDriverSimulator::QueryValue(LONG item, LONG code, BYTE* buffer, LONG* status) {
    const CInCall inCall(m_bracket);
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{item, code};
    const CDriverFaultHits hits = m_faultPlan.Take(kQueryValue);
    if (hits.failure) return RecordLocked(kQueryValue, arguments, status, {}, *hits.failure);
    if (status == nullptr || (buffer == nullptr && code > 0)) {
        return RecordLocked(kQueryValue, arguments, status, {}, E_POINTER);
    }
    if (hits.statusUntouched) return RecordLocked(kQueryValue, arguments, status, {}, hits.success);
    const LONG result = m_store.CopyValue(item, code, buffer);
    return RecordLocked(kQueryValue, arguments, status, hits.status.value_or(result), hits.success);
}

HRESULT CMeasurementDriverSimulator::ReadValue(LONG item, LONG subItem, LONG bufferSize,
                                               BYTE* buffer, LONG* status) {
    const CInCall inCall(m_bracket);
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> arguments{item, subItem, bufferSize};
    const CDriverFaultHits hits = m_faultPlan.Take(kReadValue);
    if (hits.failure) return RecordLocked(kReadValue, arguments, status, {}, *hits.failure);
    if (status == nullptr || buffer == nullptr) {
        return RecordLocked(kReadValue, arguments, status, {}, E_POINTER);
    }
    const LONG result = m_store.ReadText(item, bufferSize, buffer, !hits.unterminated);
    return RecordLocked(kReadValue, arguments, status, hits.Written(result), hits.success);
}

HRESULT CMeasurementDriverSimulator::OnReserved(const char* interfaceName, int slot) {
    const CInCall inCall(m_bracket);
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string method = std::string(interfaceName) + "::Reserved" + std::to_string(slot);
    return RecordLocked(std::move(method), {}, nullptr, {}, E_NOTIMPL);
}

// --- The model, under the lock ----------------------------------------------------------------

std::vector<BYTE> CMeasurementDriverSimulator::CommittedImage(LONG block) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_store.CommittedImage(block);
}

std::vector<BYTE> CMeasurementDriverSimulator::CurrentImage(LONG block) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_store.CurrentImage(block);
}

void CMeasurementDriverSimulator::SetCommittedImage(LONG block, const std::vector<BYTE>& image) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_store.SetCommittedImage(block, image);
}

std::optional<std::string> CMeasurementDriverSimulator::Value(LONG item) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_store.Value(item);
}

void CMeasurementDriverSimulator::SetValue(LONG item, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_store.SetValue(item, text);
}

LONG CMeasurementDriverSimulator::CommitCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_store.CommitCount();
}

bool CMeasurementDriverSimulator::HasPendingWrites() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_store.HasPendingWrites();
}

bool CMeasurementDriverSimulator::HandedOutBuffersIntact() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_store.HandedOutBuffersIntact();
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
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faultPlan.Add(fault);
}

void CMeasurementDriverSimulator::ClearFaults() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faultPlan.Clear();
}

// Sets the status word when the call writes one, and journals the call.
HRESULT CMeasurementDriverSimulator::RecordLocked(std::string method, std::vector<LONG> arguments,
                                                  LONG* status, std::optional<LONG> written,
                                                  HRESULT hresult) {
    if (written && status != nullptr) *status = *written;
    m_journal.push_back({std::move(method), std::move(arguments), written, hresult, {}});
    return hresult;
}

}  // namespace norn::firmware
