// The interface and class identifiers that the Windows SDK exports from uuid.lib.
#include "norn/InterfaceId.h"

NORN_PLATFORM_API const GUID GUID_NULL = {};
NORN_PLATFORM_API const IID IID_IUnknown = norn::InterfaceId<IUnknown>::value;
NORN_PLATFORM_API const IID IID_IPersist = norn::InterfaceId<IPersist>::value;
NORN_PLATFORM_API const IID IID_IPersistStream = norn::InterfaceId<IPersistStream>::value;
NORN_PLATFORM_API const IID IID_IMoniker = norn::InterfaceId<IMoniker>::value;
NORN_PLATFORM_API const IID IID_IROTData = norn::InterfaceId<IROTData>::value;
NORN_PLATFORM_API const IID IID_IRunningObjectTable = norn::InterfaceId<IRunningObjectTable>::value;
NORN_PLATFORM_API const IID IID_IExternalConnection = norn::InterfaceId<IExternalConnection>::value;
NORN_PLATFORM_API const IID IID_IErrorInfo = norn::InterfaceId<IErrorInfo>::value;
NORN_PLATFORM_API const IID IID_ISupportErrorInfo = norn::InterfaceId<ISupportErrorInfo>::value;
NORN_PLATFORM_API const CLSID CLSID_ItemMoniker =
    norn::GuidFromText("00000304-0000-0000-C000-000000000046");
