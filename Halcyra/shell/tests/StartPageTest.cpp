#include "Halcyra/shell/StartPage.h"
#include "Halcyra/shell/BrowserFeatures.h"
#include "Halcyra/shell/PageTrust.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/TempDir.h"

namespace {
void write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
}  // namespace

TEST(StartPage, FileBytesUpToTheFirstZeroUntrimmed) {
    testing_support::TempDir dir;
    write(dir / "web.ini", "http://127.0.0.1/page?a=1 \r\n");
    EXPECT_EQ("http://127.0.0.1/page?a=1 \r\n", readStartPage((dir / "web.ini").c_str()));
    EXPECT_EQ(L"http://127.0.0.1/page?a=1 \r\n", startPageAddress((dir / "web.ini").c_str()));

    write(dir / "web.ini", std::string("http://h/\0junk", 14));
    EXPECT_EQ("http://h/", readStartPage((dir / "web.ini").c_str()));
}

TEST(StartPage, MissingEmptyOrLeadingZeroFileOpensThePageBuiltIntoTheProgram) {
    // cmake/wine-run runs every test program from C:\halcyra.
    const std::wstring builtIn = L"res://C:\\halcyra\\shell_tests.exe/start.html";
    testing_support::TempDir dir;
    EXPECT_EQ("", readStartPage((dir / "web.ini").c_str()));
    EXPECT_EQ(builtIn, startPageAddress((dir / "web.ini").c_str()));
    write(dir / "web.ini", "");
    EXPECT_EQ(builtIn, startPageAddress((dir / "web.ini").c_str()));
    write(dir / "web.ini", std::string("\0http://h/", 10));
    EXPECT_EQ(builtIn, startPageAddress((dir / "web.ini").c_str()));
    // A directory of that name cannot be read as a file.
    ASSERT_TRUE(::CreateDirectoryA((dir / "web.ini.d").c_str(), nullptr));
    EXPECT_EQ(builtIn, startPageAddress((dir / "web.ini.d").c_str()));
}

TEST(StartPage, ProgramPageAddressEscapesWhatTheBrowserWouldReadAsEscapeOrFragment) {
    const std::wstring path = L"C:\\Games #2\\100%\\\u6E38\u620F\\Launcher.exe";
    const std::wstring address = programPageAddress(path, L"start.html");
    EXPECT_EQ(L"res://C:\\Games %232\\100%25\\\u6E38\u620F\\Launcher.exe/start.html", address);
    EXPECT_TRUE(isTrustedPage(address, address, path));
    EXPECT_EQ(L"res://C:\\halcyra\\Launcher.exe/start.html",
              programPageAddress(L"C:\\halcyra\\Launcher.exe", L"start.html"));
}

namespace {
DWORD readFeature(const wchar_t* feature) {
    std::wstring key = std::wstring(kBrowserFeatureKeyPrefix) + feature;
    DWORD value = 0, size = sizeof value, type = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"Launcher.exe", RRF_RT_ANY, &type, &value,
                       &size) != ERROR_SUCCESS || type != REG_DWORD)
        return 0xFFFFFFFF;
    return value;
}
}  // namespace

TEST(BrowserFeatures, AllNineValuesAreWrittenAndChangedOnesRestored) {
    std::wstring gpu = std::wstring(kBrowserFeatureKeyPrefix) + L"FEATURE_GPU_RENDERING";
    DWORD other = 7;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, gpu.c_str(), L"Launcher.exe", REG_DWORD, &other, sizeof other);

    writeBrowserFeatures();
    EXPECT_EQ(11000u, readFeature(L"FEATURE_BROWSER_EMULATION"));
    for (const wchar_t* feature :
         {L"FEATURE_ACTIVEX_REPURPOSEDETECTION", L"FEATURE_BLOCK_LMZ_IMG", L"FEATURE_BLOCK_LMZ_OBJECT",
          L"FEATURE_BLOCK_LMZ_SCRIPT", L"FEATURE_Cross_Domain_Redirect_Mitigation",
          L"FEATURE_ENABLE_SCRIPT_PASTE_URLACTION_IF_PROMPT", L"FEATURE_LOCALMACHINE_LOCKDOWN",
          L"FEATURE_GPU_RENDERING"})
        EXPECT_EQ(1u, readFeature(feature)) << feature;
}
