// The Windows API subset that norn uses, for builds outside Windows. Code includes it exactly as
// it would include the SDK's <windows.h>; on Windows the SDK provides it instead.
#pragma once

#include "windef.h"
#include "guiddef.h"
#include "winerror.h"
#include "winbase.h"
#include "unknwn.h"
#include "objidl.h"
#include "objbase.h"
#include "oaidl.h"
#include "oleauto.h"
#include "winver.h"
#include "wchar_crt.h"
