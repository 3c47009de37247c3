// The fault plan: building and checking faults, and matching them to calls.
#include "norn/firmware/DriverFaultPlan.h"

#include <stdexcept>
#include <utility>

#include "norn/MeasurementDriver.h"
#include "norn/firmware/DriverCall.h"

namespace norn::firmware {

namespace {

using namespace driver_methods;

bool IsDriverMethod(const std::string& method) {
    for (const char* name : {kWriteBlock, kReadBlock, kSetEEPROMMode, kPrepareRead, kWriteValue,
                             kQueryValue, kReadValue}) {
        if (method == name) return true;
    }
    return false;
}

bool IsDriverInterface(const IID& iid) {
    return iid == InterfaceId<IEEPROMBlock>::value || iid == InterfaceId<IEEPROMControl>::value ||
           iid == InterfaceId<IDriverValue>::value;
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

// Adds what one fault does to the hits of the call it hits.
void Combine(const CDriverFault& fault, CDriverFaultHits& hits) {
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
        case EDriverFaultKind::Refused:  // QueryInterface only, see Refuses
            break;
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

void CDriverFaultPlan::Add(const CDriverFault& fault) {
    ValidateFault(fault);
    m_faults.push_back({fault, 0});
}

void CDriverFaultPlan::Clear() {
    m_faults.clear();
}

CDriverFaultHits CDriverFaultPlan::Take(const std::string& method) {
    CDriverFaultHits hits;
    for (CPlannedFault& planned : m_faults) {
        if (planned.fault.method != method) continue;
        if (planned.Hits()) Combine(planned.fault, hits);
    }
    return hits;
}

bool CDriverFaultPlan::Refuses(REFIID riid) {
    bool refused = false;
    for (CPlannedFault& planned : m_faults) {
        const CDriverFault& fault = planned.fault;
        if (fault.kind != EDriverFaultKind::Refused || fault.interfaceId != riid) continue;
        if (planned.Hits()) refused = true;
    }
    return refused;
}

}  // namespace norn::firmware
