#include "errors/Checks.h"

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

}  // namespace

void ThrowIfFailed(HRESULT hr, const OLECHAR* file, LONG line, IUnknown* object, REFIID iid) {
    if (SUCCEEDED(hr)) return;
    CInterfacePtr<IErrorInfo> info = ErrorInfoFrom(object, iid);
    throw CExceptionError(hr, file, line, info.Get());
}

void ThrowIfNull(const void* pointer, const OLECHAR* file, LONG line) {
    if (pointer == nullptr) throw CExceptionError(E_POINTER, file, line);
}

void ThrowFail(const OLECHAR* file, LONG line) {
    throw CExceptionError(E_FAIL, file, line);
}
