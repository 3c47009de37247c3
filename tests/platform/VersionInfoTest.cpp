// Version resources read back from the layer's ELF section as Windows reads VERSIONINFO, and
// GetModuleFileNameW, which names the files that carry them.
#include <windows.h>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>
#include "support/ApiUnderTest.h"
#include "support/TempDirectory.h"

using norn::test::OleString;
using norn::test::OleText;

extern "C" HMODULE NornVersionedTestLibModule();

namespace {

using Bytes = std::vector<uint8_t>;

const OleString kTestLib = OleText(NORN_VERSIONED_TESTLIB);
const OleString kTestApp = OleText(NORN_VERSIONED_TESTAPP);
constexpr OLECHAR kFileVersionKey[] = OLESTR("\\StringFileInfo\\040904B0\\FileVersion");

Bytes ReadBlock(const OleString& path) {
    DWORD handle = 0xABCD;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    Bytes block(size);
    EXPECT_TRUE(size != 0 && GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    // The size leaves room for the ANSI strings, as on Windows; the block is its wLength bytes.
    const size_t length = size >= 2 ? block[0] | block[1] << 8 : 0;
    EXPECT_EQ(size, length * 2 + 4);
    block.resize(length);
    return block;
}

// A string value without its terminator, or "<missing>" after checking that the failed query
// zeroed the length and left the pointer alone.
OleString QueryString(const Bytes& block, const OLECHAR* key) {
    void* value = &value;
    UINT length = 99;
    if (!VerQueryValueW(block.data(), key, &value, &length)) {
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(value, &value);
        return OLESTR("<missing>");
    }
    const auto* text = static_cast<const OLECHAR*>(value);
    EXPECT_TRUE(length > 0 && text[length - 1] == OLESTR('\0'))
        << "the length counts the terminator";
    return OleString(text, length > 0 ? length - 1 : 0);
}

// Offset of the header of the block with the given key, found by its UTF-16 text.
size_t HeaderOf(const Bytes& block, const OleString& key) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(key.c_str());
    const auto it = std::search(block.begin(), block.end(), bytes, bytes + key.size() * 2 + 2);
    EXPECT_NE(it, block.end()) << "no block " << std::string(key.begin(), key.end());
    return it == block.end() ? 0 : static_cast<size_t>(it - block.begin()) - 6;
}

WORD WordAt(const Bytes& block, size_t offset) {
    return static_cast<WORD>(block[offset] | (block[offset + 1] << 8));
}

// No more than the given length of the block is copied.
TEST(VersionInfoFile, CopiesAtMostTheGivenLength) {
    const Bytes original = ReadBlock(kTestLib);
    Bytes buffer(original.size(), 0xCD);
    ASSERT_TRUE(GetFileVersionInfoW(kTestLib.c_str(), 0, 10, buffer.data()));
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + 10, buffer.begin()));
    EXPECT_EQ(static_cast<size_t>(std::count(buffer.begin() + 10, buffer.end(), 0xCD)),
              original.size() - 10);
}

TEST(VersionInfoFile, FilesWithoutAResourceGiveZeroAndTheirError) {
    const norn::test::CTempDirectory directory;
    const std::string dir = directory.Path();
    std::filesystem::copy_file(NORN_VERSIONED_TESTLIB, dir + "/truncated.so");
    std::filesystem::resize_file(dir + "/truncated.so", 200);
    std::ofstream(dir + "/text.txt") << "VS_VERSION_INFO is not an ELF file\n";
    std::ofstream(dir + "/empty");
    const std::pair<std::string, DWORD> cases[] = {
        {"/proc/self/exe", ERROR_RESOURCE_DATA_NOT_FOUND},
        {dir + "/truncated.so", ERROR_RESOURCE_DATA_NOT_FOUND},
        {dir + "/text.txt", ERROR_RESOURCE_DATA_NOT_FOUND},
        {dir + "/empty", ERROR_RESOURCE_DATA_NOT_FOUND},
        {dir, ERROR_RESOURCE_DATA_NOT_FOUND},
        {"/nonexistent/libnothing.so", ERROR_FILE_NOT_FOUND}};
    for (const auto& [file, error] : cases) {
        const OleString path = OleText(file);
        DWORD handle = 0xABCD;
        SetLastError(0);
        EXPECT_EQ(GetFileVersionInfoSizeW(path.c_str(), &handle), 0u) << file;
        EXPECT_EQ(GetLastError(), error) << file;
        EXPECT_EQ(handle, 0u) << file;
    }
}

// Strings count characters with the terminator, binary values count bytes; keys ignore case.
TEST(VersionInfoQuery, LengthsAndValues) {
    const Bytes lib = ReadBlock(kTestLib);
    const Bytes app = ReadBlock(kTestApp);
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(lib.data(), OLESTR("\\VarFileInfo\\Translation"), &value, &length));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(std::memcmp(value, "\x09\x04\xB0\x04", 4), 0) << "language 0409, code page 04B0";
    const std::tuple<const Bytes&, const OLECHAR*, const OLECHAR*> cases[] = {
        {lib, kFileVersionKey, OLESTR("1.0.0.1")},
        {lib, OLESTR("\\stringfileinfo\\040904b0\\FILEVERSION"), OLESTR("1.0.0.1")},
        {lib, OLESTR("\\StringFileInfo\\040904B0\\ProductVersion"), OLESTR("1.0.0.1")},
        {lib, OLESTR("\\StringFileInfo\\040904B0\\companyname"), OLESTR("Norn Test Labs")},
        {app, kFileVersionKey, OLESTR("3.20.65535.7")},
        {app, OLESTR("\\StringFileInfo\\040904B0\\ProductVersion"), OLESTR("4.5 beta")},
        {app, OLESTR("\\StringFileInfo\\040904B0\\LegalCopyright"),
         OLESTR("\u00A9 Norn \U0001D11E")},
        {lib, OLESTR("\\StringFileInfo\\040904B0\\NoSuchKey"), OLESTR("<missing>")},
        {lib, OLESTR("\\StringFileInfo\\040904B0\\FileVersio"), OLESTR("<missing>")},
        {lib, OLESTR("\\StringFileInfo\\040904E4\\FileVersion"), OLESTR("<missing>")},
        {lib, OLESTR("\\VarFileInfo\\Translation\\More"), OLESTR("<missing>")},
    };
    for (const auto& [block, key, expected] : cases) EXPECT_EQ(QueryString(block, key), expected);
}

// The layout rc produces: headers on DWORD boundaries, a block's length without the padding after
// it (CompanyName, 15 characters, ends off a boundary), VarFileInfo closing the block.
TEST(VersionInfoQuery, BlocksHaveTheWindowsLayout) {
    const Bytes block = ReadBlock(kTestLib);
    const size_t strings = HeaderOf(block, OLESTR("StringFileInfo"));
    const size_t company = HeaderOf(block, OLESTR("CompanyName"));
    const size_t vars = HeaderOf(block, OLESTR("VarFileInfo"));
    EXPECT_EQ(WordAt(block, 0), block.size());
    EXPECT_EQ(WordAt(block, 2), sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(strings, 92u);
    EXPECT_EQ(company % 4, 0u);
    EXPECT_EQ(WordAt(block, company), 0x3Eu);
    EXPECT_EQ(WordAt(block, company + 2), 15u);
    EXPECT_EQ(vars, (strings + WordAt(block, strings) + 3) / 4 * 4);
    EXPECT_EQ(vars + WordAt(block, vars), block.size());
}

// Each corruption is applied to an exact-size copy, so that a read past it shows under ASan.
TEST(VersionInfoQuery, CorruptBlocksAreRejected) {
    const Bytes original = ReadBlock(kTestLib);
    // The block, the field (0: wLength, 2: wValueLength), its new value and the query.
    const std::tuple<const OLECHAR*, size_t, WORD, const OLECHAR*> cases[] = {
        {OLESTR("VS_VERSION_INFO"), 0, 4, OLESTR("\\")},
        {OLESTR("VS_VERSION_INFO"), 0, 100, kFileVersionKey},
        {OLESTR("StringFileInfo"), 0, 0xFFFF, kFileVersionKey},
        {OLESTR("StringFileInfo"), 0, 0, kFileVersionKey},
        {OLESTR("FileVersion"), 2, 0x7FFF, kFileVersionKey},
        {OLESTR("Translation"), 0, 0x7FFF, OLESTR("\\VarFileInfo\\Translation")},
    };
    for (const auto& [key, field, value, query] : cases) {
        Bytes block = original;
        const size_t at = HeaderOf(block, key) + field;
        block[at] = static_cast<uint8_t>(value & 0xFF);
        block[at + 1] = static_cast<uint8_t>(value >> 8);
        if (at == 0) block.resize(std::min<size_t>(value, block.size()));
        EXPECT_EQ(QueryString(block, query), OLESTR("<missing>"));
    }
}

OleString NameOf(HMODULE module) {
    OLECHAR buffer[PATH_MAX] = {};
    const DWORD length = GetModuleFileNameW(module, buffer, PATH_MAX);
    EXPECT_LT(length, static_cast<DWORD>(PATH_MAX));
    EXPECT_EQ(buffer[length], OLESTR('\0'));
    return OleString(buffer, length);
}

// A library is named by its file, in UTF-16. The name follows the library loaded at an address
// now, not one that was there before: the second copy, loaded once the first is gone, usually
// takes its place and must be named anew; an unloaded one is not named.
TEST(ModuleFileName, NamesTheFileOfTheModuleLoadedAtTheAddressNow) {
    const norn::test::CTempDirectory directory;
    const std::pair<std::string, OleString> copies[] = {
        {"/libnorn_first.so", OLESTR("/libnorn_first.so")},
        {"/libnorn_\xC3\xA9\xF0\x9D\x84\x9E.so", OLESTR("/libnorn_\u00E9\U0001D11E.so")}};
    for (const auto& [file, name] : copies) {
        std::filesystem::copy_file(NORN_VERSIONED_TESTLIB, directory.Path() + file);
        void* library = dlopen((directory.Path() + file).c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        auto moduleOf =
            reinterpret_cast<HMODULE (*)()>(dlsym(library, "NornVersionedTestLibModule"));
        ASSERT_NE(moduleOf, nullptr);
        const HMODULE module = moduleOf();
        EXPECT_EQ(NameOf(module), OleText(directory.Path()) + name);
        EXPECT_NE(GetFileVersionInfoSizeW(NameOf(module).c_str(), nullptr), 0u);
        dlclose(library);
        OLECHAR buffer[16] = {};
        SetLastError(0);
        EXPECT_EQ(GetModuleFileNameW(module, buffer, 16), 0u) << "an unloaded library is named";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }
}

// A too-small buffer gets as much of the name as fits with a terminator, and the error.
TEST(ModuleFileName, TooSmallBufferGetsATruncatedName) {
    const OleString full = NameOf(NornVersionedTestLibModule());
    for (const DWORD size : {DWORD{0}, DWORD{1}, DWORD{5}, static_cast<DWORD>(full.size())}) {
        OleString buffer(full.size() + 2, OLESTR('#'));
        SetLastError(0);
        EXPECT_EQ(GetModuleFileNameW(NornVersionedTestLibModule(), buffer.data(), size), size);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        const OleString expected = size == 0 ? OLESTR("") : full.substr(0, size - 1) + OLESTR('\0');
        EXPECT_EQ(buffer.substr(0, expected.size()), expected) << size;
        EXPECT_EQ(buffer[expected.size()], OLESTR('#')) << size;
    }
}

}  // namespace
