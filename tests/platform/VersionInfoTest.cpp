#include <windows.h>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <elf.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" HMODULE NornVersionedTestLibModule();

namespace {

// The build paths are ASCII.
std::u16string Widen(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

const std::u16string kTestLib = Widen(NORN_VERSIONED_TESTLIB);
const std::u16string kTestApp = Widen(NORN_VERSIONED_TESTAPP);
constexpr char16_t kFileVersionKey[] = u"\\StringFileInfo\\040904B0\\FileVersion";

std::vector<uint8_t> ReadBlock(const std::u16string& path) {
    DWORD handle = 0xABCD;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    std::vector<uint8_t> block(size);
    EXPECT_TRUE(size != 0 && GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    return block;
}

std::u16string QueryString(const std::vector<uint8_t>& block, const char16_t* key) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), key, &value, &length) || length == 0) return u"<missing>";
    const auto* text = static_cast<const char16_t*>(value);
    EXPECT_EQ(text[length - 1], u'\0') << "the length counts the terminator";
    return std::u16string(text, length - 1);
}

// Offset of the header of the block whose key is given, found by its UTF-16 text.
size_t HeaderOf(const std::vector<uint8_t>& block, const std::u16string& key) {
    const std::u16string terminated = key + u'\0';
    const auto* bytes = reinterpret_cast<const uint8_t*>(terminated.data());
    const auto it = std::search(block.begin(), block.end(), bytes, bytes + terminated.size() * 2);
    EXPECT_NE(it, block.end()) << "no block " << std::string(key.begin(), key.end());
    return it == block.end() ? 0 : static_cast<size_t>(it - block.begin()) - 6;
}

WORD WordAt(const std::vector<uint8_t>& block, size_t offset) {
    return static_cast<WORD>(block[offset] | (block[offset + 1] << 8));
}

std::string MakeTempDir() {
    std::string pattern = testing::TempDir() + "norn_version_XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

// A minimal ELF file of the host's byte order (little endian) with .shstrtab and the version
// section holding the payload.
template <typename Ehdr, typename Shdr>
std::vector<uint8_t> MakeElf(unsigned char elfClass, const std::vector<uint8_t>& payload) {
    const std::string names("\0.shstrtab\0.norn_version\0", 25);
    Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = elfClass;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_ehsize = sizeof(Ehdr);
    header.e_shentsize = sizeof(Shdr);
    header.e_shnum = 3;
    header.e_shstrndx = 1;
    Shdr sections[3] = {};
    sections[1].sh_name = 1;
    sections[1].sh_type = SHT_STRTAB;
    sections[1].sh_offset = sizeof(Ehdr);
    sections[1].sh_size = names.size();
    sections[2].sh_name = 11;
    sections[2].sh_type = SHT_PROGBITS;
    sections[2].sh_offset = sizeof(Ehdr) + names.size();
    sections[2].sh_size = payload.size();
    header.e_shoff = sections[2].sh_offset + payload.size();
    const auto* headerBytes = reinterpret_cast<const uint8_t*>(&header);
    const auto* sectionBytes = reinterpret_cast<const uint8_t*>(sections);
    std::vector<uint8_t> file(headerBytes, headerBytes + sizeof(header));
    file.insert(file.end(), names.begin(), names.end());
    file.insert(file.end(), payload.begin(), payload.end());
    file.insert(file.end(), sectionBytes, sectionBytes + sizeof(sections));
    return file;
}

TEST(VersionInfoFile, ReadsBothElfClasses) {
    const std::vector<uint8_t> original = ReadBlock(kTestLib);
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    for (const bool wide : {false, true}) {
        const std::vector<uint8_t> elf =
            wide ? MakeElf<Elf64_Ehdr, Elf64_Shdr>(ELFCLASS64, original)
                 : MakeElf<Elf32_Ehdr, Elf32_Shdr>(ELFCLASS32, original);
        const std::string path = dir + (wide ? "/elf64" : "/elf32");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(elf.data()),
                   static_cast<std::streamsize>(elf.size()));
        EXPECT_EQ(ReadBlock(Widen(path)), original) << path;
    }
    std::filesystem::remove_all(dir);
}

TEST(VersionInfoFile, FilesWithoutAResourceGiveZero) {
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    std::ifstream library(NORN_VERSIONED_TESTLIB, std::ios::binary);
    std::string head(200, '\0');
    library.read(head.data(), static_cast<std::streamsize>(head.size()));
    std::ofstream(dir + "/truncated.so", std::ios::binary) << head;
    std::ofstream(dir + "/text.txt") << "VS_VERSION_INFO is not an ELF file\n";
    std::ofstream(dir + "/empty");
    const std::string files[] = {"/bin/true",       "/proc/self/exe", dir + "/truncated.so",
                                 dir + "/text.txt", dir + "/empty",   dir};
    for (const std::string& file : files) {
        SetLastError(0);
        DWORD handle = 0xABCD;
        EXPECT_EQ(GetFileVersionInfoSizeW(Widen(file).c_str(), &handle), 0u) << file;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND)) << file;
        EXPECT_EQ(handle, 0u) << file;
    }
    std::filesystem::remove_all(dir);
}

TEST(VersionInfoFile, MissingFileIsFileNotFound) {
    uint8_t buffer[8] = {};
    SetLastError(0);
    EXPECT_EQ(GetFileVersionInfoSizeW(u"/nonexistent/libnothing.so", nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0);
    EXPECT_FALSE(GetFileVersionInfoW(u"/nonexistent/libnothing.so", 0, 8, buffer));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(VersionInfoFile, CopiesAtMostTheGivenLength) {
    const std::vector<uint8_t> full = ReadBlock(kTestLib);
    std::vector<uint8_t> buffer(full.size(), 0xCD);
    ASSERT_TRUE(GetFileVersionInfoW(kTestLib.c_str(), 0, 10, buffer.data()));
    EXPECT_TRUE(std::equal(full.begin(), full.begin() + 10, buffer.begin()));
    EXPECT_EQ(static_cast<size_t>(std::count(buffer.begin() + 10, buffer.end(), 0xCD)),
              full.size() - 10);
}

TEST(VersionInfoQuery, StringsCountCharactersWithTheTerminator) {
    const std::vector<uint8_t> block = ReadBlock(kTestLib);
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), kFileVersionKey, &value, &length));
    EXPECT_EQ(length, 8u);
    EXPECT_GE(static_cast<uint8_t*>(value), block.data());
    EXPECT_LE(static_cast<uint8_t*>(value) + 2 * length, block.data() + block.size());
    const struct {
        const char16_t* key;
        const char16_t* expected;
    } cases[] = {
        {u"\\StringFileInfo\\040904B0\\FileVersion", u"1.0.0.1"},
        {u"\\stringfileinfo\\040904b0\\FILEVERSION", u"1.0.0.1"},
        {u"\\StringFileInfo\\040904B0\\ProductVersion", u"1.0.0.1"},
        {u"\\StringFileInfo\\040904B0\\FileDescription", u"norn versioned test library"},
        {u"\\StringFileInfo\\040904B0\\companyname", u"Norn Test Labs"},
    };
    for (const auto& c : cases) EXPECT_EQ(QueryString(block, c.key), c.expected);
}

TEST(VersionInfoQuery, RootIsTheFixedFileInfo) {
    const std::vector<uint8_t> block = ReadBlock(kTestLib);
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(info->dwSignature, VS_FFI_SIGNATURE);
    EXPECT_EQ(info->dwStrucVersion, static_cast<DWORD>(VS_FFI_STRUCVERSION));
    EXPECT_EQ(info->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(info->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(info->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(info->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(info->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(info->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST(VersionInfoQuery, TranslationIsOneDword) {
    const std::vector<uint8_t> block = ReadBlock(kTestLib);
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    DWORD translation = 0;
    std::memcpy(&translation, value, 4);
    EXPECT_EQ(translation, 0x04B00409u);
}

TEST(VersionInfoQuery, MissingKeysLeaveThePointer) {
    const std::vector<uint8_t> block = ReadBlock(kTestLib);
    const char16_t* keys[] = {u"\\StringFileInfo\\040904B0\\NoSuchKey",
                              u"\\StringFileInfo\\040904B0\\FileVersio",
                              u"\\StringFileInfo\\040904E4\\FileVersion",
                              u"\\VarFileInfo\\Translation\\More", u"\\NoSuchBlock"};
    for (const char16_t* key : keys) {
        void* value = &value;
        UINT length = 99;
        EXPECT_FALSE(VerQueryValueW(block.data(), key, &value, &length));
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(value, &value);
    }
}

// The layout rc and windres produce: each header on a DWORD boundary, a block's length without
// the padding after it (CompanyName ends off a DWORD boundary), VarFileInfo closing the block.
TEST(VersionInfoQuery, BlocksHaveTheWindowsLayout) {
    const std::vector<uint8_t> block = ReadBlock(kTestLib);
    const struct {
        const char16_t* key;
        WORD length;  // 0: not pinned
        WORD valueLength;
        WORD type;
    } cases[] = {{u"VS_VERSION_INFO", static_cast<WORD>(block.size()), 52, 0},
                 {u"StringFileInfo", 0, 0, 1},
                 {u"040904B0", 0, 0, 1},
                 {u"FileVersion", 0x30, 8, 1},
                 {u"CompanyName", 0x3E, 15, 1},
                 {u"VarFileInfo", 0x44, 0, 1},
                 {u"Translation", 0x24, 4, 0}};
    for (const auto& c : cases) {
        const size_t at = HeaderOf(block, c.key);
        EXPECT_EQ(at % 4, 0u);
        if (c.length != 0) {
            EXPECT_EQ(WordAt(block, at), c.length);
        }
        EXPECT_EQ(WordAt(block, at + 2), c.valueLength);
        EXPECT_EQ(WordAt(block, at + 4), c.type);
    }
    const size_t strings = HeaderOf(block, u"StringFileInfo");
    EXPECT_EQ(strings, 92u);
    EXPECT_EQ(HeaderOf(block, u"VarFileInfo"), (strings + WordAt(block, strings) + 3) / 4 * 4);
    EXPECT_EQ(HeaderOf(block, u"VarFileInfo") + 0x44, block.size());
}

TEST(VersionInfoQuery, ApplicationResourceKeepsItsOwnValues) {
    const std::vector<uint8_t> block = ReadBlock(kTestApp);
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", &value, &length));
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(info->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(info->dwFileVersionMS, 0x00030014u);
    EXPECT_EQ(info->dwFileVersionLS, 0xFFFF0007u);
    EXPECT_EQ(info->dwProductVersionMS, 0x00040005u);
    EXPECT_EQ(info->dwProductVersionLS, 0u);
    EXPECT_EQ(QueryString(block, u"\\StringFileInfo\\040904B0\\FileVersion"), u"3.20.65535.7");
    EXPECT_EQ(QueryString(block, u"\\StringFileInfo\\040904B0\\ProductVersion"), u"4.5 beta");
    EXPECT_EQ(QueryString(block, u"\\StringFileInfo\\040904B0\\LegalCopyright"),
              u"\u00A9 Norn \U0001D11E");
}

// Each corruption is applied to an exact-size copy, so that a read past the block shows up
// under AddressSanitizer.
TEST(VersionInfoQuery, CorruptBlocksAreRejected) {
    const std::vector<uint8_t> original = ReadBlock(kTestLib);
    const struct {
        const char16_t* block;
        size_t field;  // 0: wLength, 2: wValueLength
        WORD value;
        const char16_t* query;
    } cases[] = {
        {u"VS_VERSION_INFO", 0, 4, u"\\"},
        {u"VS_VERSION_INFO", 0, 100, kFileVersionKey},
        {u"StringFileInfo", 0, 0xFFFF, kFileVersionKey},
        {u"StringFileInfo", 0, 0, kFileVersionKey},
        {u"FileVersion", 2, 0x7FFF, kFileVersionKey},
        {u"Translation", 0, 0x7FFF, u"\\VarFileInfo\\Translation"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> block = original;
        const size_t at = HeaderOf(block, c.block) + c.field;
        block[at] = static_cast<uint8_t>(c.value & 0xFF);
        block[at + 1] = static_cast<uint8_t>(c.value >> 8);
        if (at == 0) block.resize(std::min<size_t>(c.value, block.size()));
        void* value = nullptr;
        UINT length = 99;
        EXPECT_FALSE(VerQueryValueW(block.data(), c.query, &value, &length));
        EXPECT_EQ(length, 0u);
    }
}

std::u16string ModuleFileName(HMODULE module) {
    char16_t buffer[PATH_MAX] = {};
    const DWORD length = GetModuleFileNameW(module, buffer, PATH_MAX);
    EXPECT_LT(length, static_cast<DWORD>(PATH_MAX));
    EXPECT_EQ(buffer[length], u'\0');
    return std::u16string(buffer, length);
}

TEST(ModuleFileName, NamesTheFilesOfModules) {
    char resolved[PATH_MAX] = {};
    ASSERT_NE(realpath(NORN_VERSIONED_TESTLIB, resolved), nullptr);
    EXPECT_EQ(ModuleFileName(NornVersionedTestLibModule()), Widen(resolved));
    ASSERT_NE(realpath("/proc/self/exe", resolved), nullptr);
    EXPECT_EQ(ModuleFileName(nullptr), Widen(resolved));
}

TEST(ModuleFileName, NonAsciiPathsBecomeUtf16) {
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string copy = dir + "/libnorn_\xC3\xA9\xF0\x9D\x84\x9E.so";
    std::filesystem::copy_file(NORN_VERSIONED_TESTLIB, copy);
    void* library = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto moduleOf = reinterpret_cast<HMODULE (*)()>(dlsym(library, "NornVersionedTestLibModule"));
    ASSERT_NE(moduleOf, nullptr);
    const std::u16string name = ModuleFileName(moduleOf());
    ASSERT_GE(name.size(), 15u);
    EXPECT_EQ(name.substr(name.size() - 15), u"/libnorn_\u00E9\U0001D11E.so");
    EXPECT_NE(GetFileVersionInfoSizeW(name.c_str(), nullptr), 0u);
    dlclose(library);
    std::filesystem::remove_all(dir);
}

TEST(ModuleFileName, TooSmallBufferTruncatesAndReportsTheSize) {
    const std::u16string full = ModuleFileName(NornVersionedTestLibModule());
    const DWORD sizes[] = {0, 1, 5, static_cast<DWORD>(full.size())};
    for (const DWORD size : sizes) {
        std::u16string buffer(full.size() + 2, u'#');
        SetLastError(0);
        EXPECT_EQ(GetModuleFileNameW(NornVersionedTestLibModule(), buffer.data(), size), size);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        const std::u16string expected = size == 0 ? u"" : full.substr(0, size - 1) + u'\0';
        EXPECT_EQ(buffer.substr(0, expected.size()), expected) << size;
        EXPECT_EQ(buffer[expected.size()], u'#') << size;
    }
}

TEST(ModuleFileName, AddressOutsideAnyFileIsModNotFound) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* anonymous = mmap(nullptr, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(anonymous, MAP_FAILED);
    int onStack = 0;
    for (void* address : {anonymous, static_cast<void*>(&onStack)}) {
        char16_t buffer[16] = {};
        SetLastError(0);
        EXPECT_EQ(GetModuleFileNameW(static_cast<HMODULE>(address), buffer, 16), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }
    munmap(anonymous, page);
}

}  // namespace
