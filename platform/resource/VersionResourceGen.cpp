// norn-versiongen: writes a C++ source file that carries a VS_VERSIONINFO block, byte for byte
// in the Windows binary layout, in the ELF section ".norn_version" of whatever links it.
//
//   norn-versiongen --output <file.cpp> --file-version a.b.c.d [--product-version a.b.c.d]
//                   [--file-type DLL|APP] [--string Key=Value]... [@<argument file>]
//
// An argument file holds one argument per line. Strings are UTF-8 on input and UTF-16LE in the
// block; "FileVersion" and "ProductVersion" strings are added from the numeric versions unless
// given explicitly.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedStrucVersion = 0x00010000;
constexpr uint32_t kFileFlagsMask = 0x3F;
constexpr uint32_t kOsNtWindows32 = 0x00040004;
constexpr uint32_t kFileTypeApp = 1;
constexpr uint32_t kFileTypeDll = 2;
constexpr uint16_t kFixedInfoSize = 52;
constexpr uint16_t kTypeBinary = 0;
constexpr uint16_t kTypeText = 1;
constexpr uint16_t kLanguageEnglishUs = 0x0409;
constexpr uint16_t kCodePageUnicode = 0x04B0;

struct CVersion {
    uint16_t m_parts[4] = {};
    std::string m_text;
};

struct COptions {
    std::string m_output;
    CVersion m_fileVersion;
    CVersion m_productVersion;
    bool m_haveFileVersion = false;
    bool m_haveProductVersion = false;
    uint32_t m_fileType = kFileTypeDll;
    std::vector<std::pair<std::u16string, std::u16string>> m_strings;
};

bool Fail(const std::string& message) {
    std::fprintf(stderr, "norn-versiongen: %s\n", message.c_str());
    return false;
}

// One to four dot-separated numbers of at most 65535; missing parts are 0.
bool ParseVersion(const std::string& text, CVersion& version) {
    version = CVersion{};
    version.m_text = text;
    size_t part = 0;
    uint32_t value = 0;
    bool haveDigit = false;
    for (size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : '.';
        if (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<uint32_t>(c - '0');
            haveDigit = true;
            if (value > 0xFFFF) return false;
            continue;
        }
        if (c != '.' || !haveDigit || part == 4) return false;
        version.m_parts[part++] = static_cast<uint16_t>(value);
        value = 0;
        haveDigit = false;
    }
    return true;
}

// Strict UTF-8 (no overlongs, no surrogates) to UTF-16 with surrogate pairs.
bool Utf8ToUtf16(const std::string& in, std::u16string& out) {
    out.clear();
    for (size_t i = 0; i < in.size();) {
        const auto lead = static_cast<unsigned char>(in[i]);
        const size_t extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
        if ((lead >= 0x80 && lead < 0xC2) || lead > 0xF4 || i + extra >= in.size()) return false;
        uint32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(in[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        static const uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return true;
}

[[nodiscard]] bool SameKey(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

bool AddString(const std::string& keyValue, COptions& options) {
    const size_t equals = keyValue.find('=');
    if (equals == std::string::npos || equals == 0)
        return Fail("expected Key=Value, got \"" + keyValue + "\"");
    std::u16string key;
    std::u16string value;
    if (!Utf8ToUtf16(keyValue.substr(0, equals), key) ||
        !Utf8ToUtf16(keyValue.substr(equals + 1), value))
        return Fail("not valid UTF-8: \"" + keyValue + "\"");
    for (const auto& existing : options.m_strings) {
        if (SameKey(existing.first, key)) return Fail("string given twice: \"" + keyValue + "\"");
    }
    options.m_strings.emplace_back(std::move(key), std::move(value));
    return true;
}

bool ExpandArgumentFile(const std::string& path, std::vector<std::string>& args) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail("cannot read " + path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) args.push_back(line);
    }
    return true;
}

bool ApplyOption(const std::string& name, const std::string& value, COptions& options) {
    if (name == "--output") {
        options.m_output = value;
    } else if (name == "--file-version") {
        options.m_haveFileVersion = ParseVersion(value, options.m_fileVersion);
        if (!options.m_haveFileVersion) return Fail("bad file version \"" + value + "\"");
    } else if (name == "--product-version") {
        options.m_haveProductVersion = ParseVersion(value, options.m_productVersion);
        if (!options.m_haveProductVersion) return Fail("bad product version \"" + value + "\"");
    } else if (name == "--file-type") {
        if (value != "DLL" && value != "APP") return Fail("file type must be DLL or APP");
        options.m_fileType = value == "APP" ? kFileTypeApp : kFileTypeDll;
    } else if (name == "--string") {
        return AddString(value, options);
    } else {
        return Fail("unknown option " + name);
    }
    return true;
}

bool ParseArguments(int argc, char** argv, COptions& options) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() > 1 && arg[0] == '@') {
            if (!ExpandArgumentFile(arg.substr(1), args)) return false;
        } else {
            args.push_back(arg);
        }
    }
    for (size_t i = 0; i < args.size(); i += 2) {
        if (i + 1 == args.size()) return Fail("option " + args[i] + " needs a value");
        if (!ApplyOption(args[i], args[i + 1], options)) return false;
    }
    if (options.m_output.empty()) return Fail("--output is required");
    if (!options.m_haveFileVersion) return Fail("--file-version is required");
    if (!options.m_haveProductVersion) options.m_productVersion = options.m_fileVersion;
    return true;
}

void AddDefaultString(const char16_t* key, const std::string& text, COptions& options) {
    for (const auto& existing : options.m_strings) {
        if (SameKey(existing.first, key)) return;
    }
    options.m_strings.emplace_back(key, std::u16string(text.begin(), text.end()));
}

// Appends the nested blocks of a version resource. Every block starts on a DWORD boundary of
// the resource; its wLength covers its header, key, value and children but not the padding
// that follows it, which belongs to the parent.
class CBlockWriter {
public:
    size_t Begin(const std::u16string& key, uint16_t valueLength, uint16_t type) {
        Align();
        const size_t start = m_bytes.size();
        PutWord(0);
        PutWord(valueLength);
        PutWord(type);
        PutText(key);
        Align();
        return start;
    }
    void End(size_t start) {
        const size_t length = m_bytes.size() - start;
        if (length > 0xFFFF) m_overflow = true;
        m_bytes[start] = static_cast<uint8_t>(length & 0xFF);
        m_bytes[start + 1] = static_cast<uint8_t>((length >> 8) & 0xFF);
    }
    void PutWord(uint16_t value) {
        m_bytes.push_back(static_cast<uint8_t>(value & 0xFF));
        m_bytes.push_back(static_cast<uint8_t>(value >> 8));
    }
    void PutDword(uint32_t value) {
        PutWord(static_cast<uint16_t>(value & 0xFFFF));
        PutWord(static_cast<uint16_t>(value >> 16));
    }
    // The text and its terminating zero.
    void PutText(const std::u16string& text) {
        for (char16_t c : text) PutWord(static_cast<uint16_t>(c));
        PutWord(0);
    }
    void Align() {
        while (m_bytes.size() % 4 != 0) m_bytes.push_back(0);
    }
    [[nodiscard]] bool Overflowed() const { return m_overflow; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    bool m_overflow = false;
};

uint32_t High(const CVersion& v) {
    return (uint32_t{v.m_parts[0]} << 16) | v.m_parts[1];
}
uint32_t Low(const CVersion& v) {
    return (uint32_t{v.m_parts[2]} << 16) | v.m_parts[3];
}

void PutFixedFileInfo(const COptions& options, CBlockWriter& writer) {
    const uint32_t fields[13] = {kFixedSignature,
                                 kFixedStrucVersion,
                                 High(options.m_fileVersion),
                                 Low(options.m_fileVersion),
                                 High(options.m_productVersion),
                                 Low(options.m_productVersion),
                                 kFileFlagsMask,
                                 0,
                                 kOsNtWindows32,
                                 options.m_fileType,
                                 0,
                                 0,
                                 0};
    for (uint32_t field : fields) writer.PutDword(field);
}

void PutStringFileInfo(const COptions& options, CBlockWriter& writer) {
    const size_t info = writer.Begin(u"StringFileInfo", 0, kTypeText);
    const size_t table = writer.Begin(u"040904B0", 0, kTypeText);
    for (const auto& [key, value] : options.m_strings) {
        const size_t entry = writer.Begin(key, static_cast<uint16_t>(value.size() + 1), kTypeText);
        writer.PutText(value);
        writer.End(entry);
    }
    writer.End(table);
    writer.End(info);
}

void PutVarFileInfo(CBlockWriter& writer) {
    const size_t info = writer.Begin(u"VarFileInfo", 0, kTypeText);
    const size_t var = writer.Begin(u"Translation", 4, kTypeBinary);
    writer.PutWord(kLanguageEnglishUs);
    writer.PutWord(kCodePageUnicode);
    writer.End(var);
    writer.End(info);
}

bool BuildBlock(const COptions& options, std::vector<uint8_t>& block) {
    for (const auto& entry : options.m_strings) {
        if (entry.first.size() > 0x7FFF || entry.second.size() >= 0xFFFF)
            return Fail("string too long");
    }
    CBlockWriter writer;
    const size_t root = writer.Begin(u"VS_VERSION_INFO", kFixedInfoSize, kTypeBinary);
    PutFixedFileInfo(options, writer);
    PutStringFileInfo(options, writer);
    PutVarFileInfo(writer);
    writer.End(root);
    if (writer.Overflowed()) return Fail("the version resource exceeds 64 KiB");
    block = writer.Bytes();
    return true;
}

std::string RenderSource(const COptions& options, const std::vector<uint8_t>& block) {
    std::ostringstream out;
    out << "// Generated by norn-versiongen: FileVersion " << options.m_fileVersion.m_text
        << ", ProductVersion " << options.m_productVersion.m_text << ", "
        << (options.m_fileType == kFileTypeApp ? "APP" : "DLL") << ". Do not edit.\n"
        << "static const unsigned char g_nornVersionResource[]\n"
        << "    __attribute__((section(\".norn_version\"), used, aligned(4))) = {";
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < block.size(); ++i) {
        out << (i % 12 == 0 ? "\n    " : " ") << "0x" << kHex[block[i] >> 4] << kHex[block[i] & 0xF]
            << ",";
    }
    out << "\n};\n";
    return out.str();
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) return Fail("cannot write " + path);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    COptions options;
    if (!ParseArguments(argc, argv, options)) return 1;
    AddDefaultString(u"FileVersion", options.m_fileVersion.m_text, options);
    AddDefaultString(u"ProductVersion", options.m_productVersion.m_text, options);
    std::vector<uint8_t> block;
    if (!BuildBlock(options, block)) return 1;
    return WriteFile(options.m_output, RenderSource(options, block)) ? 0 : 1;
}
