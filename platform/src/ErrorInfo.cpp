// The per-thread error information slot. Neither call needs COM initialised.
#include <windows.h>

namespace {

// Holds the thread's reference; released when the thread ends.
struct ErrorInfoSlot {
    IErrorInfo* info = nullptr;
    ~ErrorInfoSlot() {
        if (info != nullptr) info->Release();
    }
};
thread_local ErrorInfoSlot t_slot;

}  // namespace

WINOLEAUTAPI GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
    if (dwReserved != 0 || pperrinfo == nullptr) return E_INVALIDARG;
    *pperrinfo = t_slot.info;  // the slot's reference goes to the caller
    t_slot.info = nullptr;
    return *pperrinfo != nullptr ? S_OK : S_FALSE;
}

WINOLEAUTAPI SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
    if (dwReserved != 0) return E_INVALIDARG;
    if (perrinfo != nullptr) perrinfo->AddRef();
    IErrorInfo* previous = t_slot.info;
    t_slot.info = perrinfo;
    if (previous != nullptr) previous->Release();
    return S_OK;
}
