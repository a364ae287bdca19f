// File queries and version records as page script uses them, through the launcher's
// script bridge and the system's JScript engine.
#include "Halcyra/launcher/Launcher.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "framework/Bstr.h"
#include "framework/MessageBox.h"
#include "framework/ScriptHost.h"

namespace {

const DISPID kGetFileSize = 15;

class FileBridge : public ::testing::Test {
protected:
    void SetUp() override {
        fw::setMessageBoxRecorder([](const fw::MessageBoxCall&) { return IDOK; });
        launcher.initStartupState();
        // The save path is the data drive, ":/" and the page's path: the temporary
        // directory without its "C:\".
        launcher.dataDrive().setDrive("C");
        ASSERT_EQ(dir.path().substr(0, 3), "C:\\");
        host.addObject(L"external", launcher.bridge());
        ASSERT_TRUE(run(L"external.setSavePath('" + toScript(dir.path().substr(3)) + L"')"));
    }
    void TearDown() override { fw::setMessageBoxRecorder(nullptr); }

    static std::wstring toScript(const std::string& path) {
        std::wstring text;
        for (char c : path) text += c == '\\' ? L'/' : static_cast<wchar_t>(c);
        return text;
    }
    // log() would show a boolean as -1 or 0.
    bool run(const std::wstring& script) {
        const bool ok = host.run(L"function show(v) { log(String(v)); }\n" + script);
        EXPECT_TRUE(ok) << "line " << host.error().line << ": "
                        << std::string(host.error().description.begin(), host.error().description.end());
        return ok;
    }
    void writeFile(const std::string& name, const std::string& bytes) {
        std::FILE* file = std::fopen((dir / name).c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }

    testing_support::TempDir dir;
    Launcher launcher;
    fw::ScriptHost host;
};

}  // namespace

TEST_F(FileBridge, PageChecksRecordsAndQueriesAPackage) {
    writeFile("a.pak", "abc");
    ASSERT_TRUE(run(
        L"var v1 = '11111111111111111111111111111111', v2 = '22222222222222222222222222222222';\n"
        L"show(external.isFileExist('a.pak'));\n"
        L"show(external.getFileMD5('a.pak'));\n"
        L"show(external.queryFileVersion('a.pak') === '');\n"
        L"show(external.checkFileVersion('a.pak', v1));\n"
        L"show(external.checkFileVersion('A.pak', v2));\n"
        L"external.saveFileVersion('a.pak', v2);\n"
        L"show(external.queryFileVersion('A.pak'));\n"
        L"show(external.checkFileVersion('a.pak', v2));\n"
        L"external.deleteFile('a.pak');\n"
        L"show(external.isFileExist('a.pak'));\n"
        L"show(external.checkFileVersion('a.pak', v2));\n"));
    const std::vector<std::wstring> expected = {
        L"true", L"900150983CD24FB0D6963F7D28E17F72", L"true", L"true", L"false",
        L"22222222222222222222222222222222", L"true", L"false", L"false"};
    EXPECT_EQ(host.logLines(), expected);
}

TEST_F(FileBridge, SizeBeyondFourGigabytesReachesTheCallerWhole) {
    // Sparse: the size is set, nothing is written.
    const LONGLONG size = (LONGLONG(4) << 30) + 7;
    HANDLE file = CreateFileA((dir / "big.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = size;
    const bool grown = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    ASSERT_TRUE(grown);

    // JScript has no 64-bit integers: the result is checked where the page's engine gets it.
    fw::Bstr name(L"big.bin");
    VARIANT argument;
    argument.vt = VT_BSTR;
    argument.bstrVal = name.get();
    DISPPARAMS params{&argument, nullptr, 1, 0};
    fw::Variant result;
    ASSERT_EQ(S_OK, launcher.bridge()->Invoke(kGetFileSize, IID_NULL, 0, DISPATCH_METHOD,
                                               &params, result.put(), nullptr, nullptr));
    ASSERT_EQ(result.type(), VT_I8);
    EXPECT_EQ(result.get().llVal, size);
}
