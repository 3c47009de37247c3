// Environment variables through the process environment, with Windows return conventions and
// case-insensitive names. Values are UTF-8 in the environment and UTF-16 at the API.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

extern char** environ;

namespace {

// getenv/setenv are not thread-safe among themselves; callers of this layer at least serialise.
std::mutex g_environmentLock;

[[nodiscard]] bool ToUtf8(LPCWSTR text, std::string* out) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return false;
    out->resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out->data(), size, nullptr, nullptr);
    out->pop_back();  // the terminator
    return true;
}

// Windows names are non-empty and contain no '=' (glibc would also misread one).
[[nodiscard]] bool IsValidName(const std::string& name) {
    return !name.empty() && name.find('=') == std::string::npos;
}

[[nodiscard]] bool SameNameIgnoringCase(const char* entry, const std::string& name) {
    const size_t length = name.size();
    return strncasecmp(entry, name.c_str(), length) == 0 && entry[length] == '=';
}

// The variable's name as the environment spells it: the exact name when set, otherwise the
// first one that matches ignoring case. Empty when none matches.
std::string FindStoredName(const std::string& name) {
    if (std::getenv(name.c_str()) != nullptr) return name;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        if (SameNameIgnoringCase(*entry, name)) return std::string(*entry, name.size());
    }
    return {};
}

// The value as UTF-16, or false when the variable is not set.
[[nodiscard]] bool ReadValue(const std::string& name, std::u16string* value) {
    const std::string stored = FindStoredName(name);
    if (stored.empty()) return false;
    const char* text = std::getenv(stored.c_str());
    const int length = static_cast<int>(std::strlen(text));
    value->clear();
    if (length == 0) return true;
    const int size = MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0);
    value->resize(static_cast<size_t>(size));
    MultiByteToWideChar(CP_UTF8, 0, text, length, value->data(), size);
    return true;
}

}  // namespace

WINBASEAPI DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
    std::string name;
    if (lpName == nullptr || !ToUtf8(lpName, &name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string value;
    {
        std::lock_guard<std::mutex> lock(g_environmentLock);
        if (!IsValidName(name) || !ReadValue(name, &value)) {
            SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return 0;
        }
    }
    if (lpBuffer == nullptr) nSize = 0;
    const size_t length = value.size();
    if (length + 1 > nSize) return static_cast<DWORD>(length + 1);
    std::memcpy(lpBuffer, value.data(), length * sizeof(WCHAR));
    lpBuffer[length] = 0;
    return static_cast<DWORD>(length);  // an empty value too: 0 with the last error untouched
}

WINBASEAPI BOOL WINAPI SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) {
    std::string name, value;
    if (lpName == nullptr || !ToUtf8(lpName, &name) || !IsValidName(name) ||
        (lpValue != nullptr && !ToUtf8(lpValue, &value))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(g_environmentLock);
    if (lpValue == nullptr) {
        for (std::string stored = FindStoredName(name); !stored.empty();
             stored = FindStoredName(name)) {
            unsetenv(stored.c_str());
        }
        return TRUE;
    }
    const std::string stored = FindStoredName(name);
    if (setenv(stored.empty() ? name.c_str() : stored.c_str(), value.c_str(), 1) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}
