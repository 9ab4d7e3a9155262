// The compiled resources read back at run time: the Chinese texts must survive windres.
#include <string>
#include <utility>
#include <string_view>

#include <gtest/gtest.h>

#include <windows.h>

#include "VersionInfo.h" // made by the build from the project's version
#include "res/resource.h"

namespace {

std::string_view ResourceBytes(const wchar_t* type, int id) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!found) {
        return {};
    }
    const HGLOBAL loaded = ::LoadResource(module, found);
    return {static_cast<const char*>(::LockResource(loaded)), ::SizeofResource(module, found)};
}

// The UTF-16 bytes of a text as a version block stores it.
std::string Utf16Bytes(std::wstring_view text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

TEST(Resources, AboutItemTextIsChinese) {
    wchar_t text[128] = L"";
    ASSERT_GT(::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, text, 128), 0);
    EXPECT_EQ(L"\u5173\u4e8e VKD-37\u53c2\u6570\u8bbe\u5b9a\u7a0b\u5e8f(&A)...",
              std::wstring(text));
}

TEST(Resources, VersionBlock) {
    const std::string_view block = ResourceBytes(MAKEINTRESOURCEW(16), 1); // RT_VERSION
    ASSERT_FALSE(block.empty());
    const std::wstring_view name = L"VKD-37\u53c2\u6570\u8bbe\u5b9a\u7a0b\u5e8f";
    // Each entry as a version block stores it: the key, its NUL, padding (one NUL at most), the
    // value. The maker and the copyright come from the licence, not the editor's placeholders.
    const std::wstring exe = std::wstring(name) + L".exe";
    const std::pair<std::wstring, std::wstring> entries[] = {
        {L"CompanyName", L"" VKD_AUTHORS},      {L"FileDescription", std::wstring(name)},
        {L"FileVersion", L"" VKD_VERSION_TEXT}, {L"InternalName", exe},
        {L"LegalCopyright", L"" VKD_COPYRIGHT}, {L"OriginalFilename", exe},
        {L"ProductName", L"" VKD_PRODUCT},      {L"ProductVersion", L"" VKD_VERSION_TEXT}};
    EXPECT_NE(std::string_view::npos, block.find(Utf16Bytes(L"080404b0")));
    for (const auto& [key, value] : entries) {
        const std::string keyed = Utf16Bytes(key) + std::string(2, '\0');
        const std::size_t at = block.find(keyed);
        ASSERT_NE(std::string_view::npos, at) << "no entry " << std::string(key.begin(), key.end());
        const std::size_t valueAt = block.find(Utf16Bytes(value), at + keyed.size());
        EXPECT_LE(valueAt, at + keyed.size() + 2) << std::string(key.begin(), key.end());
    }
    EXPECT_EQ(std::string_view::npos, block.find(Utf16Bytes(L"TODO")));
    // VS_FIXEDFILEINFO: signature, structure version, then the file version's four numbers, two
    // to a little-endian DWORD with the first of them in its high word.
    const unsigned numbers[] = {VKD_VERSION_NUMBERS};
    std::string fixedInfo("\xBD\x04\xEF\xFE\x00\x00\x01\x00", 8);
    for (int part : {1, 0, 3, 2}) {
        fixedInfo += static_cast<char>(numbers[part] & 0xFF);
        fixedInfo += static_cast<char>(numbers[part] >> 8);
    }
    EXPECT_NE(std::string_view::npos, block.find(fixedInfo));
    // Translation: Chinese (PRC), Unicode.
    EXPECT_NE(std::string_view::npos, block.find(std::string("\x04\x08\xB0\x04", 4)));
}

TEST(Resources, ManifestAsksForCommonControls6AsInvokerDpiAware) {
    const std::string_view manifest = ResourceBytes(MAKEINTRESOURCEW(24), 1); // RT_MANIFEST
    ASSERT_FALSE(manifest.empty());
    for (const char* text : {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"",
                             "level=\"asInvoker\"", "uiAccess=\"false\"", ">true</dpiAware>"}) {
        EXPECT_NE(std::string_view::npos, manifest.find(text)) << text;
    }
    const char* arch =
        sizeof(void*) == 8 ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\"";
    EXPECT_NE(std::string_view::npos, manifest.find(arch));
}

} // namespace
