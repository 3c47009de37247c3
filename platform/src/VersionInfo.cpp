// Version resources: the VS_VERSIONINFO block that norn-versiongen puts in the ELF section
// ".norn_version" of a library or executable, read back and queried as on Windows.
#include <windows.h>

#include "CaseFold.h"
#include "Utf.h"
#include "norn/ScopedFileDescriptor.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kSectionName[] = ".norn_version";
constexpr size_t kBlockHeaderSize = 6;  // wLength, wValueLength, wType
constexpr WORD kTypeText = 1;
constexpr uint64_t kMaxSectionHeaderBytes = 64u << 20;

uint16_t ReadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t ReadLe32(const uint8_t* p) {
    return ReadLe16(p) | (static_cast<uint32_t>(ReadLe16(p + 2)) << 16);
}
uint64_t ReadLe64(const uint8_t* p) {
    return ReadLe32(p) | (static_cast<uint64_t>(ReadLe32(p + 4)) << 32);
}
size_t AlignDword(size_t offset) {
    return (offset + 3) & ~static_cast<size_t>(3);
}

// A read-only file with bounds-checked positioned reads; owns its descriptor.
class CElfFile {
public:
    // 0, or the Windows error for a file that cannot be opened.
    DWORD Open(const std::string& path) {
        m_file = norn::CScopedFileDescriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (m_file.Get() < 0) {
            return errno == ENOENT || errno == ENOTDIR ? ERROR_FILE_NOT_FOUND
                                                       : ERROR_RESOURCE_DATA_NOT_FOUND;
        }
        struct stat info {};
        if (fstat(m_file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            return ERROR_RESOURCE_DATA_NOT_FOUND;
        }
        m_size = static_cast<uint64_t>(info.st_size);
        return 0;
    }
    [[nodiscard]] bool Read(uint64_t offset, uint64_t count, void* out) const {
        if (offset > m_size || count > m_size - offset) return false;
        auto* dest = static_cast<uint8_t*>(out);
        while (count > 0) {
            const ssize_t got = pread(m_file.Get(), dest, count, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            dest += got;
            offset += static_cast<uint64_t>(got);
            count -= static_cast<uint64_t>(got);
        }
        return true;
    }

private:
    norn::CScopedFileDescriptor m_file;
    uint64_t m_size = 0;
};

// Field positions of the ELF header and section header, which differ between the classes.
struct CElfLayout {
    size_t m_headerSize;
    size_t m_shoff, m_shentsize, m_shnum, m_shstrndx;
    size_t m_sectionSize;
    size_t m_shType, m_shOffset, m_shSize, m_shLink;
    bool m_wide;  // 64-bit offsets and sizes
};

template <typename Ehdr, typename Shdr>
constexpr CElfLayout MakeLayout() {
    return {sizeof(Ehdr),
            offsetof(Ehdr, e_shoff),
            offsetof(Ehdr, e_shentsize),
            offsetof(Ehdr, e_shnum),
            offsetof(Ehdr, e_shstrndx),
            sizeof(Shdr),
            offsetof(Shdr, sh_type),
            offsetof(Shdr, sh_offset),
            offsetof(Shdr, sh_size),
            offsetof(Shdr, sh_link),
            sizeof(Ehdr) == sizeof(Elf64_Ehdr)};
}
constexpr CElfLayout kElf32 = MakeLayout<Elf32_Ehdr, Elf32_Shdr>();
constexpr CElfLayout kElf64 = MakeLayout<Elf64_Ehdr, Elf64_Shdr>();

struct CSection {
    uint32_t m_name = 0;
    uint32_t m_type = 0;
    uint64_t m_offset = 0;
    uint64_t m_size = 0;
    uint32_t m_link = 0;
};

class CSectionTable {
public:
    [[nodiscard]] bool Load(const CElfFile& file) {
        uint8_t header[sizeof(Elf64_Ehdr)] = {};
        if (!file.Read(0, 16, header)) return false;
        if (std::memcmp(header, ELFMAG, SELFMAG) != 0 || header[EI_DATA] != ELFDATA2LSB)
            return false;
        if (header[EI_CLASS] != ELFCLASS32 && header[EI_CLASS] != ELFCLASS64) return false;
        m_layout = header[EI_CLASS] == ELFCLASS64 ? &kElf64 : &kElf32;
        if (!file.Read(0, m_layout->m_headerSize, header)) return false;
        const uint64_t shoff = Field(header, m_layout->m_shoff);
        m_entrySize = ReadLe16(header + m_layout->m_shentsize);
        uint64_t count = ReadLe16(header + m_layout->m_shnum);
        m_stringIndex = ReadLe16(header + m_layout->m_shstrndx);
        if (shoff == 0 || m_entrySize < m_layout->m_sectionSize) return false;
        // Section 0 carries the count and string table index when they do not fit in 16 bits.
        if (!LoadEntries(file, shoff, 1)) return false;
        if (count == 0) count = At(0).m_size;
        if (m_stringIndex == SHN_XINDEX) m_stringIndex = At(0).m_link;
        if (count == 0 || count > kMaxSectionHeaderBytes / m_entrySize) return false;
        return LoadEntries(file, shoff, count);
    }
    size_t Count() const { return m_entries.size() / m_entrySize; }
    uint32_t StringIndex() const { return m_stringIndex; }
    CSection At(size_t index) const {
        const uint8_t* entry = m_entries.data() + index * m_entrySize;
        CSection section;
        section.m_name = ReadLe32(entry);
        section.m_type = ReadLe32(entry + m_layout->m_shType);
        section.m_offset = Field(entry, m_layout->m_shOffset);
        section.m_size = Field(entry, m_layout->m_shSize);
        section.m_link = ReadLe32(entry + m_layout->m_shLink);
        return section;
    }

private:
    uint64_t Field(const uint8_t* p, size_t offset) const {
        return m_layout->m_wide ? ReadLe64(p + offset) : ReadLe32(p + offset);
    }
    [[nodiscard]] bool LoadEntries(const CElfFile& file, uint64_t offset, uint64_t count) {
        m_entries.resize(count * m_entrySize);
        return file.Read(offset, m_entries.size(), m_entries.data());
    }

    const CElfLayout* m_layout = nullptr;
    uint64_t m_entrySize = 0;
    uint32_t m_stringIndex = 0;
    std::vector<uint8_t> m_entries;
};

[[nodiscard]] bool FindVersionSection(const CElfFile& file, CSection& found) {
    CSectionTable table;
    if (!table.Load(file) || table.StringIndex() >= table.Count()) return false;
    const CSection names = table.At(table.StringIndex());
    char name[sizeof(kSectionName)] = {};
    for (size_t i = 0; i < table.Count(); ++i) {
        const CSection section = table.At(i);
        if (section.m_type == SHT_NOBITS || section.m_name >= names.m_size ||
            names.m_size - section.m_name < sizeof(name))
            continue;
        if (!file.Read(names.m_offset + section.m_name, sizeof(name), name)) continue;
        if (std::memcmp(name, kSectionName, sizeof(name)) != 0) continue;
        found = section;
        return true;
    }
    return false;
}

// One block of the resource: header, zero-terminated key, value and child blocks, all within
// the wLength bytes from m_data.
struct CBlock {
    const uint8_t* m_data = nullptr;
    size_t m_length = 0;
    size_t m_keyChars = 0;
    WORD m_valueLength = 0;
    size_t m_valueOffset = 0;
    size_t m_childrenOffset = 0;
};

// Parses the block at data, which must fit in the available bytes; false for a corrupt one.
[[nodiscard]] bool ParseBlock(const uint8_t* data, size_t available, CBlock& block) {
    if (available < kBlockHeaderSize) return false;
    block.m_data = data;
    block.m_length = ReadLe16(data);
    if (block.m_length < kBlockHeaderSize || block.m_length > available) return false;
    block.m_valueLength = ReadLe16(data + 2);
    const bool text = ReadLe16(data + 4) == kTypeText;
    size_t end = kBlockHeaderSize;
    while (end + 2 <= block.m_length && ReadLe16(data + end) != 0) end += 2;
    if (end + 2 > block.m_length) return false;
    block.m_keyChars = (end - kBlockHeaderSize) / 2;
    const size_t valueBytes = text ? size_t{block.m_valueLength} * 2 : block.m_valueLength;
    block.m_valueOffset = AlignDword(end + 2);
    if (valueBytes == 0 && block.m_valueOffset > block.m_length)
        block.m_valueOffset = block.m_length;
    if (block.m_valueOffset + valueBytes > block.m_length) return false;
    block.m_childrenOffset = AlignDword(block.m_valueOffset + valueBytes);
    return true;
}

[[nodiscard]] bool KeyEquals(const CBlock& block, LPCWSTR key, size_t keyChars) {
    if (block.m_keyChars != keyChars) return false;
    for (size_t i = 0; i < keyChars; ++i) {
        const WCHAR stored = ReadLe16(block.m_data + kBlockHeaderSize + 2 * i);
        if (norn::platform::FoldCase(stored) != norn::platform::FoldCase(key[i])) return false;
    }
    return true;
}

[[nodiscard]] bool FindChild(const CBlock& parent, LPCWSTR key, size_t keyChars, CBlock& child) {
    size_t offset = parent.m_childrenOffset;
    while (offset + kBlockHeaderSize <= parent.m_length) {
        if (!ParseBlock(parent.m_data + offset, parent.m_length - offset, child)) return false;
        if (KeyEquals(child, key, keyChars)) return true;
        offset = AlignDword(offset + child.m_length);
    }
    return false;
}

// The block that a path such as "\\StringFileInfo\\040904B0\\FileVersion" names; empty parts
// are skipped, so "\\" and "" name the root.
[[nodiscard]] bool FindBlock(const uint8_t* data, LPCWSTR path, CBlock& block) {
    if (!ParseBlock(data, ReadLe16(data), block)) return false;
    while (path != nullptr && *path != 0) {
        if (*path == u'\\') {
            ++path;
            continue;
        }
        size_t keyChars = 0;
        while (path[keyChars] != 0 && path[keyChars] != u'\\') ++keyChars;
        CBlock child;
        if (!FindChild(block, path, keyChars, child)) return false;
        block = child;
        path += keyChars;
    }
    return true;
}

// Reads the version block of a file; 0, or the Windows error.
DWORD ReadVersionBlock(LPCWSTR fileName, std::vector<uint8_t>& block) {
    if (fileName == nullptr) return ERROR_INVALID_PARAMETER;
    const std::string path = norn::platform::Utf8FromWide(fileName);
    CElfFile file;
    if (const DWORD error = file.Open(path)) return error;
    CSection section;
    uint8_t lengthBytes[2] = {};
    if (!FindVersionSection(file, section) || section.m_size < kBlockHeaderSize ||
        !file.Read(section.m_offset, 2, lengthBytes))
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    const uint16_t length = ReadLe16(lengthBytes);
    if (length > section.m_size) return ERROR_RESOURCE_DATA_NOT_FOUND;
    block.resize(length);
    CBlock root;
    static const WCHAR kRootKey[] = u"VS_VERSION_INFO";
    if (!file.Read(section.m_offset, length, block.data()) ||
        !ParseBlock(block.data(), block.size(), root) ||
        !KeyEquals(root, kRootKey, sizeof(kRootKey) / sizeof(WCHAR) - 1))
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    return 0;
}

}  // namespace

// Like Windows, asks for room beyond the Unicode block: twice its length and four bytes, which
// Windows uses for the ANSI strings of the A functions. A caller that allocates this size can
// hand it to any version function.
WINBASEAPI DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, LPDWORD lpdwHandle) {
    if (lpdwHandle != nullptr) *lpdwHandle = 0;
    std::vector<uint8_t> block;
    if (const DWORD error = ReadVersionBlock(lptstrFilename, block)) {
        SetLastError(error);
        return 0;
    }
    return static_cast<DWORD>(block.size() * 2 + 4);
}

WINBASEAPI BOOL WINAPI GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD /*dwHandle*/, DWORD dwLen,
                                           LPVOID lpData) {
    if (lpData == nullptr && dwLen != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<uint8_t> block;
    if (const DWORD error = ReadVersionBlock(lptstrFilename, block)) {
        SetLastError(error);
        return FALSE;
    }
    const size_t count = dwLen < block.size() ? dwLen : block.size();
    if (count != 0) std::memcpy(lpData, block.data(), count);
    return TRUE;
}

WINBASEAPI BOOL WINAPI VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID* lplpBuffer,
                                      UINT* puLen) {
    CBlock block;
    if (pBlock == nullptr || lplpBuffer == nullptr ||
        !FindBlock(static_cast<const uint8_t*>(pBlock), lpSubBlock, block)) {
        if (puLen != nullptr) *puLen = 0;
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    *lplpBuffer = const_cast<uint8_t*>(block.m_data + block.m_valueOffset);
    if (puLen != nullptr) *puLen = block.m_valueLength;
    return TRUE;
}
