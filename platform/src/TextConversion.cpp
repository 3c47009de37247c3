// UTF-8 <-> UTF-16 conversion with the Windows calling conventions of MultiByteToWideChar and
// WideCharToMultiByte. CP_ACP is UTF-8 on this platform, so both code pages share one codec. They
// take every flag Windows knows, as current Windows does for UTF-8, but only MB_ERR_INVALID_CHARS
// and WC_ERR_INVALID_CHARS change the result: UTF-8 has no composition and no best fit. Any
// negative source length means "up to and including the terminating zero".
//
// Malformed UTF-8 becomes U+FFFD, one per maximal ill-formed subsequence (a truncated but
// otherwise valid prefix counts once, every other bad byte once), as current Windows does.
// A lone UTF-16 surrogate becomes U+FFFD in UTF-8.
#include <windows.h>

#include <climits>
#include <cstring>

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr DWORD kMultiByteFlags =
    MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
constexpr DWORD kWideCharFlags = WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR |
                                 WC_ERR_INVALID_CHARS | WC_COMPOSITECHECK | WC_NO_BEST_FIT_CHARS;

[[nodiscard]] bool IsSupportedCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_UTF8;
}

// Checked after the arguments, as on Windows: a bad argument is ERROR_INVALID_PARAMETER even
// when the flags are bad too.
[[nodiscard]] bool FlagsAccepted(DWORD flags, DWORD accepted) {
    if ((flags & ~accepted) == 0) return true;
    SetLastError(ERROR_INVALID_FLAGS);
    return false;
}

// Collects output characters; counts them all but stores only what fits. Without a buffer it
// only counts, which is how the callers ask for the required size.
template <typename TChar>
class COutput {
public:
    COutput(TChar* buffer, size_t capacity) : m_buffer(buffer), m_capacity(capacity) {}

    void Put(TChar c) {
        if (m_buffer != nullptr && m_count < m_capacity) m_buffer[m_count] = c;
        ++m_count;
    }
    [[nodiscard]] bool Overflowed() const { return m_buffer != nullptr && m_count > m_capacity; }
    size_t Count() const { return m_count; }

private:
    TChar* m_buffer;
    size_t m_capacity;
    size_t m_count = 0;
};

// The range the byte after a lead byte must fall in; later continuation bytes are 80..BF.
// Returns the number of continuation bytes, or -1 when the byte cannot start a sequence.
int SequenceOf(unsigned char lead, unsigned char& low, unsigned char& high) {
    low = 0x80;
    high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) return 1;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no encoded surrogates
    if (lead >= 0xE0 && lead <= 0xEF) return 2;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    if (lead >= 0xF0 && lead <= 0xF4) return 3;
    return -1;
}

// Decodes one character at text[*pos], advancing *pos. Returns false for a malformed sequence,
// after skipping its maximal ill-formed prefix.
bool DecodeUtf8(const unsigned char* text, size_t length, size_t* pos, char32_t* out) {
    const unsigned char lead = text[(*pos)++];
    if (lead < 0x80) {
        *out = lead;
        return true;
    }
    unsigned char low, high;
    const int trailing = SequenceOf(lead, low, high);
    if (trailing < 0) return false;
    char32_t value = lead & (0x3F >> trailing);
    for (int i = 0; i < trailing; ++i) {
        if (*pos >= length || text[*pos] < low || text[*pos] > high) return false;
        value = (value << 6) | (text[(*pos)++] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    *out = value;
    return true;
}

void PutUtf16(COutput<WCHAR>& out, char32_t c) {
    if (c < 0x10000) {
        out.Put(static_cast<WCHAR>(c));
        return;
    }
    c -= 0x10000;
    out.Put(static_cast<WCHAR>(0xD800 + (c >> 10)));
    out.Put(static_cast<WCHAR>(0xDC00 + (c & 0x3FF)));
}

void PutUtf8(COutput<char>& out, char32_t c) {
    if (c < 0x80) {
        out.Put(static_cast<char>(c));
    } else if (c < 0x800) {
        out.Put(static_cast<char>(0xC0 | (c >> 6)));
        out.Put(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.Put(static_cast<char>(0xE0 | (c >> 12)));
        out.Put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.Put(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.Put(static_cast<char>(0xF0 | (c >> 18)));
        out.Put(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.Put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.Put(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Decodes one UTF-16 character at text[*pos], advancing *pos. Returns false for a lone
// surrogate, which is consumed on its own.
bool DecodeUtf16(const WCHAR* text, size_t length, size_t* pos, char32_t* out) {
    const char32_t unit = text[(*pos)++];
    if (unit < 0xD800 || unit > 0xDFFF) {
        *out = unit;
        return true;
    }
    if (unit >= 0xDC00 || *pos >= length) return false;
    const char32_t next = text[*pos];
    if (next < 0xDC00 || next > 0xDFFF) return false;
    ++*pos;
    *out = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
    return true;
}

// Shared tail of both functions: the count, or 0 with the Windows error for a result that does
// not fit the buffer or an int.
int Finish(size_t count, bool overflowed) {
    if (count > INT_MAX) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (overflowed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(count);
}

}  // namespace

WINBASEAPI int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                                          int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar) {
    if (!IsSupportedCodePage(CodePage) || lpMultiByteStr == nullptr || cbMultiByte == 0 ||
        cchWideChar < 0 || (lpWideCharStr == nullptr && cchWideChar != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!FlagsAccepted(dwFlags, kMultiByteFlags)) return 0;
    const size_t length =
        cbMultiByte < 0 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    const auto* text = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    COutput<WCHAR> out(cchWideChar == 0 ? nullptr : lpWideCharStr, cchWideChar);
    for (size_t pos = 0; pos < length;) {
        char32_t c;
        if (!DecodeUtf8(text, length, &pos, &c)) {
            if (dwFlags & MB_ERR_INVALID_CHARS) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            c = kReplacement;
        }
        PutUtf16(out, c);
    }
    return Finish(out.Count(), out.Overflowed());
}

// A lone surrogate becomes U+FFFD and counts as a use of the default character. CP_UTF8 takes a
// default character but does not use it, as current Windows does; CP_ACP puts it in the
// surrogate's place.
WINBASEAPI int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                                          int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                          LPCSTR lpDefaultChar, BOOL* lpUsedDefaultChar) {
    if (!IsSupportedCodePage(CodePage) || lpWideCharStr == nullptr || cchWideChar == 0 ||
        cbMultiByte < 0 || (lpMultiByteStr == nullptr && cbMultiByte != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!FlagsAccepted(dwFlags, kWideCharFlags)) return 0;
    if (CodePage == CP_UTF8) lpDefaultChar = nullptr;
    size_t length = static_cast<size_t>(cchWideChar);
    if (cchWideChar < 0) length = wcslen(lpWideCharStr) + 1;
    COutput<char> out(cbMultiByte == 0 ? nullptr : lpMultiByteStr, cbMultiByte);
    bool usedDefault = false;
    for (size_t pos = 0; pos < length;) {
        char32_t c;
        if (DecodeUtf16(lpWideCharStr, length, &pos, &c)) {
            PutUtf8(out, c);
        } else if (dwFlags & WC_ERR_INVALID_CHARS) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        } else if (lpDefaultChar != nullptr) {
            for (const char* d = lpDefaultChar; *d != '\0'; ++d) out.Put(*d);
            usedDefault = true;
        } else {
            PutUtf8(out, kReplacement);
            usedDefault = true;
        }
    }
    if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    return Finish(out.Count(), out.Overflowed());
}
