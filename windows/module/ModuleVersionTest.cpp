// The version resource of the Qt-free module DLL, read back through the Windows version API and
// compared with the module's version data (module/ModuleVersion.cmake, handed in by CMake as
// NORN_MODULE_VERSION_<Key> texts).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "norn/ScopedBstr.h"

extern "C" __declspec(dllimport) BSTR NornQtFreeModuleVersion();

namespace {

std::wstring Widen(const char* ascii) {
    return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii));
}

class ModuleVersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        const HMODULE module = GetModuleHandleW(Widen(NORN_MODULE_DLL_NAME).c_str());
        ASSERT_NE(module, nullptr) << "the test links the DLL";
        WCHAR path[MAX_PATH] = {};
        ASSERT_NE(GetModuleFileNameW(module, path, MAX_PATH), 0u);
        DWORD handle = 0xABCD;
        const DWORD size = GetFileVersionInfoSizeW(path, &handle);
        ASSERT_NE(size, 0u) << "no version resource, error " << GetLastError();
        EXPECT_EQ(handle, 0u);
        m_block.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, m_block.data()));
        EXPECT_EQ(size, (m_block[0] | m_block[1] << 8) * 2u + 4) << "wLength, room for ANSI";
    }

    // The string value under \StringFileInfo\040904B0\<key>, its length counting the terminator,
    // or "<missing>" after checking that the failed query zeroed the length and left the pointer
    // alone.
    std::wstring Query(const std::wstring& key) const {
        const std::wstring subBlock = L"\\StringFileInfo\\040904B0\\" + key;
        void* value = &value;
        UINT length = 99;
        if (!VerQueryValueW(m_block.data(), subBlock.c_str(), &value, &length)) {
            EXPECT_EQ(length, 0u);
            EXPECT_EQ(value, &value);
            return L"<missing>";
        }
        const auto* text = static_cast<const WCHAR*>(value);
        EXPECT_EQ(length, std::char_traits<WCHAR>::length(text) + 1) << "characters and terminator";
        return text;
    }

    std::vector<BYTE> m_block;
};

TEST_F(ModuleVersionTest, StringTableHoldsTheModulesTexts) {
    const std::pair<const WCHAR*, const char*> cases[] = {
        {L"FileVersion", NORN_MODULE_VERSION_FileVersion},
        {L"FileDescription", NORN_MODULE_VERSION_FileDescription},
        {L"InternalName", NORN_MODULE_VERSION_InternalName},
        {L"OriginalFilename", NORN_MODULE_VERSION_OriginalFilename},
        {L"ProductName", NORN_MODULE_VERSION_ProductName},
        {L"ProductVersion", NORN_MODULE_VERSION_ProductVersion},
        {L"Comments", "<missing>"},
    };
    for (const auto& [key, expected] : cases) {
        EXPECT_EQ(Query(key), Widen(expected)) << std::string(key, key + wcslen(key));
    }
}

// The one translation is US English in Unicode; the root, the fixed file info, holds the file
// version as numbers.
TEST_F(ModuleVersionTest, TranslationAndFixedInfoMatchTheModule) {
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(m_block.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u) << "one language and code page pair, in bytes";
    EXPECT_EQ(*static_cast<const DWORD*>(value), 0x04B00409u);
    ASSERT_TRUE(VerQueryValueW(m_block.data(), L"\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    DWORD parts[4] = {};
    ASSERT_EQ(std::sscanf(NORN_MODULE_FILE_VERSION, "%lu.%lu.%lu.%lu", &parts[0], &parts[1],
                          &parts[2], &parts[3]),
              4);
    EXPECT_EQ(fixed->dwFileVersionMS, parts[0] << 16 | parts[1]);
    EXPECT_EQ(fixed->dwFileVersionLS, parts[2] << 16 | parts[3]);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

// The module's code, inside the DLL, reads the DLL's own resource, not the test program's.
TEST_F(ModuleVersionTest, ModuleCodeReadsTheVersionOfTheDllItIsIn) {
    norn::CScopedBstr version = norn::CScopedBstr::Attach(NornQtFreeModuleVersion());
    ASSERT_TRUE(version) << "the module's code found no version";
    EXPECT_EQ(std::wstring(version.Get()), Widen(NORN_MODULE_FILE_VERSION));
}

}  // namespace
