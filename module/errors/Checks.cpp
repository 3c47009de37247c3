#include "errors/Checks.h"

#include "errors/ErrorFrame.h"
#include "norn/InterfacePtr.h"

using norn::CInterfacePtr;

namespace {

// The thread's error information, when the object vouches for it on this interface.
CInterfacePtr<IErrorInfo> ErrorInfoFrom(IUnknown* object, REFIID iid) {
    CInterfacePtr<IErrorInfo> info;
    if (object == nullptr) return info;
    auto support = CInterfacePtr<IUnknown>::Share(object).Query<ISupportErrorInfo>();
    if (!support || IsEqualGUID(iid, GUID_NULL)) return info;
    if (SUCCEEDED(support->InterfaceSupportsErrorInfo(iid))) GetErrorInfo(0, info.Put());
    return info;
}

// Every failure point ends here: the guard around it hears of the error before anything is
// unwound (see errors/ErrorFrame.h), then the error is thrown.
[[noreturn]] void Raise(HRESULT hr, CFailurePoint point, IErrorInfo* info = nullptr) {
    CExceptionError error(hr, point.file, point.line, info);
    CErrorFrame::OnRaise(error);
    throw error;
}

}  // namespace

void ThrowIfFailed(HRESULT hr, CFailurePoint point, IUnknown* object, REFIID iid) {
    if (SUCCEEDED(hr)) return;
    CInterfacePtr<IErrorInfo> info = ErrorInfoFrom(object, iid);
    Raise(hr, point, info.Get());
}

void ThrowIfNull(const void* pointer, CFailurePoint point) {
    if (pointer == nullptr) Raise(E_POINTER, point);
}

void ThrowFail(CFailurePoint point) {
    Raise(E_FAIL, point);
}

void ThrowIfCallFailed(HRESULT hr, const LONG& status, CFailurePoint callPoint,
                       CFailurePoint statusPoint) {
    ThrowIfFailed(hr, callPoint);
    if (status != 0) ThrowFail(statusPoint);
}
