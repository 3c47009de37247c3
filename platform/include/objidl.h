// The Running Object Table and moniker interfaces, with the SDK's method order so that each
// method has the slot index it has on Windows. Interfaces that nobody here implements
// (IStream, IBindCtx, IEnumMoniker) are only named.
#pragma once

#include "unknwn.h"

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
};

struct IStream;
struct IBindCtx;
struct IEnumMoniker;

struct IPersist : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) = 0;  // slot 3
};

struct IPersistStream : IPersist {
    virtual HRESULT STDMETHODCALLTYPE IsDirty() = 0;                              // 4
    virtual HRESULT STDMETHODCALLTYPE Load(IStream* pStm) = 0;                    // 5
    virtual HRESULT STDMETHODCALLTYPE Save(IStream* pStm, BOOL fClearDirty) = 0;  // 6
    virtual HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* pcbSize) = 0;    // 7
};

struct IMoniker : IPersistStream {
    virtual HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft,
                                                   REFIID riidResult, void** ppvResult) = 0;  // 8
    virtual HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid,
                                                    void** ppvObj) = 0;  // 9
    virtual HRESULT STDMETHODCALLTYPE Reduce(IBindCtx* pbc, DWORD dwReduceHowFar,
                                             IMoniker** ppmkToLeft,
                                             IMoniker** ppmkReduced) = 0;  // 10
    virtual HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker* pmkRight, BOOL fOnlyIfNotGeneric,
                                                  IMoniker** ppmkComposite) = 0;  // 11
    virtual HRESULT STDMETHODCALLTYPE Enum(BOOL fForward, IEnumMoniker** ppenumMoniker) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsEqual(IMoniker* pmkOtherMoniker) = 0;  // 13
    virtual HRESULT STDMETHODCALLTYPE Hash(DWORD* pdwHash) = 0;                // 14
    virtual HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx* pbc, IMoniker* pmkToLeft,
                                                IMoniker* pmkNewlyRunning) = 0;  // 15
    virtual HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx* pbc, IMoniker* pmkToLeft,
                                                          FILETIME* pFileTime) = 0;  // 16
    virtual HRESULT STDMETHODCALLTYPE Inverse(IMoniker** ppmk) = 0;                  // 17
    virtual HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker* pmkOther,
                                                       IMoniker** ppmkPrefix) = 0;  // 18
    virtual HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker* pmkOther,
                                                     IMoniker** ppmkRelPath) = 0;  // 19
    virtual HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft,
                                                     LPOLESTR* ppszDisplayName) = 0;  // 20
    virtual HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft,
                                                       LPOLESTR pszDisplayName, ULONG* pchEaten,
                                                       IMoniker** ppmkOut) = 0;  // 21
    virtual HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD* pdwMksys) = 0;      // 22
};

// The data by which the Running Object Table tells monikers apart.
struct IROTData : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetComparisonData(BYTE* pbData, ULONG cbMax,
                                                        ULONG* pcbData) = 0;  // 3
};

struct IRunningObjectTable : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Register(DWORD grfFlags, IUnknown* punkObject,
                                               IMoniker* pmkObjectName,
                                               DWORD* pdwRegister) = 0;        // 3
    virtual HRESULT STDMETHODCALLTYPE Revoke(DWORD dwRegister) = 0;            // 4
    virtual HRESULT STDMETHODCALLTYPE IsRunning(IMoniker* pmkObjectName) = 0;  // 5
    virtual HRESULT STDMETHODCALLTYPE GetObject(IMoniker* pmkObjectName,
                                                IUnknown** ppunkObject) = 0;  // 6
    virtual HRESULT STDMETHODCALLTYPE NoteChangeTime(DWORD dwRegister,
                                                     FILETIME* pfiletime) = 0;  // 7
    virtual HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IMoniker* pmkObjectName,
                                                          FILETIME* pfiletime) = 0;   // 8
    virtual HRESULT STDMETHODCALLTYPE EnumRunning(IEnumMoniker** ppenumMoniker) = 0;  // 9
};

// Implemented by objects that want to know of the strong connections made to them. The table
// makes one for each registration with ROTFLAGS_REGISTRATIONKEEPSALIVE and releases it at Revoke.
struct IExternalConnection : IUnknown {
    virtual DWORD STDMETHODCALLTYPE AddConnection(DWORD extconn, DWORD reserved) = 0;  // 3
    virtual DWORD STDMETHODCALLTYPE ReleaseConnection(DWORD extconn, DWORD reserved,
                                                      BOOL fLastReleaseCloses) = 0;  // 4
};
enum EXTCONN { EXTCONN_STRONG = 0x1, EXTCONN_WEAK = 0x2, EXTCONN_CALLABLE = 0x4 };

#define ROTFLAGS_REGISTRATIONKEEPSALIVE 0x1
#define ROTFLAGS_ALLOWANYCLIENT 0x2

#define MKSYS_ITEMMONIKER 4

NORN_PLATFORM_API const IID IID_IPersist;
NORN_PLATFORM_API const IID IID_IPersistStream;
NORN_PLATFORM_API const IID IID_IMoniker;
NORN_PLATFORM_API const IID IID_IROTData;
NORN_PLATFORM_API const IID IID_IRunningObjectTable;
NORN_PLATFORM_API const IID IID_IExternalConnection;
NORN_PLATFORM_API const CLSID CLSID_ItemMoniker;
