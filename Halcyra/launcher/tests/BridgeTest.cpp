#include "Halcyra/launcher/Bridge.h"
#include "Halcyra/launcher/Launcher.h"
#include "tests/support/DriveFixture.h"

#include <gtest/gtest.h>

#include "framework/Bstr.h"
#include "framework/MessageBox.h"
#include "framework/ScriptHost.h"
#include "framework/ShellOpen.h"

namespace {

struct Expected {
    const wchar_t* name;
    unsigned args;
    VARTYPE result;
};

// The bridge as page script sees it: names, order, argument counts, result types.
const Expected kBridge[] = {
    {L"setSavePath", 1, VT_EMPTY},          {L"setUnCompressPath", 1, VT_EMPTY},
    {L"download", 1, VT_I4},                {L"downloadAndRename", 2, VT_I4},
    {L"getDownloadingFilenames", 0, VT_BSTR}, {L"getDownloadProgress", 1, VT_R4},
    {L"getDownloadProgressInfo", 1, VT_BSTR}, {L"isFileExist", 1, VT_BOOL},
    {L"deleteFile", 1, VT_EMPTY},           {L"getFileMD5", 1, VT_BSTR},
    {L"navigate", 1, VT_EMPTY},             {L"saveFileVersion", 2, VT_EMPTY},
    {L"queryFileVersion", 1, VT_BSTR},      {L"checkFileVersion", 2, VT_BOOL},
    {L"getFileSize", 1, VT_I8},             {L"transmitMaterial", 0, VT_BOOL},
    {L"isVistaweaverRunning", 0, VT_BOOL},  {L"getCurrentOpenSceneID", 0, VT_I4},
    {L"clearDownload", 0, VT_EMPTY},        {L"openDownloadDir", 0, VT_EMPTY},
    {L"webGetDiskInfo", 0, VT_BSTR},        {L"changeDisk", 1, VT_EMPTY},
    {L"getCurrentDownloadDir", 0, VT_BSTR}, {L"getChangeDiskProgress", 0, VT_R4},
    {L"versionCheckAndUpdate", 1, VT_BOOL}, {L"getVersionUpdateProgress", 0, VT_R4},
    {L"getLocalVersion", 0, VT_BSTR},       {L"getServerVersion", 0, VT_BSTR},
    {L"setParam", 2, VT_EMPTY},             {L"addJson", 2, VT_EMPTY},
    {L"addJsonBody", 2, VT_EMPTY},          {L"addJsonSceneInfo", 2, VT_EMPTY},
    {L"addJsonSceneStyles", 2, VT_EMPTY},   {L"Init", 0, VT_EMPTY},
};

DISPID idOf(IDispatch* d, const std::wstring& name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID id = 0;
    return SUCCEEDED(d->GetIDsOfNames(IID_NULL, names, 1, 0, &id)) ? id : DISPID_UNKNOWN;
}

HRESULT invoke(IDispatch* d, DISPID id, std::vector<std::wstring> args, fw::Variant& result,
               WORD flags = DISPATCH_METHOD) {
    std::vector<VARIANT> argv(args.size());
    std::vector<fw::Bstr> keep;
    keep.reserve(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        keep.emplace_back(args[i]);
        VARIANT& v = argv[args.size() - 1 - i];  // last argument first
        v.vt = VT_BSTR;
        v.bstrVal = keep.back().get();
    }
    DISPPARAMS params{argv.data(), nullptr, static_cast<UINT>(argv.size()), 0};
    return d->Invoke(id, IID_NULL, 0, flags, &params, result.put(), nullptr, nullptr);
}

std::wstring upper(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(towupper(c));
    return s;
}

// The launcher without a window on a known data drive, as the page runner uses it.
class Bridge : public ::testing::Test {
protected:
    void SetUp() override {
        // Methods called with empty arguments may want to tell the user something.
        fw::setMessageBoxRecorder([](const fw::MessageBoxCall&) { return IDOK; });
        // What navigate and openDownloadDir hand to the shell is recorded, not opened.
        fw::setShellOpenRecorder([this](const std::wstring& target) { opened.push_back(target); });
        launcher.initStartupState();
        launcher.dataDrive().setDrive("D");
    }
    void TearDown() override {
        fw::setMessageBoxRecorder(nullptr);
        fw::setShellOpenRecorder(nullptr);
    }
    std::vector<std::wstring> opened;
    Launcher launcher;
    IDispatch* bridge() { return launcher.bridge(); }
};

}  // namespace

TEST_F(Bridge, NamesGiveTheirPositionInAnyLetterCase) {
    ASSERT_EQ(34u, sizeof kBridge / sizeof kBridge[0]);
    for (DISPID i = 0; i < 34; ++i) {
        EXPECT_EQ(i + 1, idOf(bridge(), kBridge[i].name)) << kBridge[i].name;
        EXPECT_EQ(i + 1, idOf(bridge(), upper(kBridge[i].name))) << kBridge[i].name;
    }
    EXPECT_EQ(DISPID_UNKNOWN, idOf(bridge(), L"getFileMD"));
    EXPECT_EQ(DISPID_UNKNOWN, idOf(bridge(), L"init2"));
}

TEST_F(Bridge, EveryMethodAnswersWithItsTypeAndRefusesOtherArgumentCounts) {
    // Calls with empty arguments still create directories and files on the data drive:
    // an empty drive of the test's own keeps them out of the shared program directory.
    testing_support::DriveFixture drives;
    ASSERT_TRUE(drives.map('D')) << drives.error();
    for (DISPID i = 0; i < 34; ++i) {
        const Expected& m = kBridge[i];
        fw::Variant result;
        EXPECT_EQ(S_OK, invoke(bridge(), i + 1, std::vector<std::wstring>(m.args, L""), result))
            << m.name;
        EXPECT_EQ(m.result, result.type()) << m.name;
    }
    for (DISPID i = 0; i < 34; ++i) {
        const Expected& m = kBridge[i];
        fw::Variant result;
        EXPECT_EQ(DISP_E_BADPARAMCOUNT,
                  invoke(bridge(), i + 1, std::vector<std::wstring>(m.args + 1, L"x"), result))
            << m.name;
        if (m.args > 0) {
            EXPECT_EQ(DISP_E_BADPARAMCOUNT,
                      invoke(bridge(), i + 1, std::vector<std::wstring>(m.args - 1, L"x"), result))
                << m.name;
        }
    }
}

TEST_F(Bridge, CurrentDownloadDirIsTheDataRootWithoutSeparator) {
    fw::Variant result;
    ASSERT_EQ(S_OK, invoke(bridge(), 23, {}, result, DISPATCH_PROPERTYGET));
    EXPECT_EQ(L"D:/Orbelune", result.str());
}

TEST_F(Bridge, NavigateHandsOnlyWebAndMailAddressesToTheShell) {
    const DISPID kNavigate = 11, kOpenDownloadDir = 20;
    for (const wchar_t* target : {
             L"C:\\Windows\\System32\\calc.exe", L"calc.exe", L"\\\\server\\share\\setup.exe",
             L"file:///C:/Windows/System32/calc.exe", L"ms-settings:", L"search-ms:query=x",
             L"javascript:external.Init()", L"about:blank", L"ftp://files.example.com/",
             L"http://", L"https://:443/", L" https://www.example.com/", L"https://www.example.com/\" & calc",
             L"https://www.example.com/\r\n", L"",
             // A mail client would attach the named file: any of the user's files sent.
             L"mailto:a@example.com?attach=C:\\Users\\me\\secret.txt",
             L"mailto:a@example.com?subject=hi&ATTACHMENT=C:\\x.doc", L"mailto:?Attach=%22C:\\x%22",
             L"mailto:a@example.com?%61ttach=C:\\x", L"mailto:a@example.com?subject=hi?attach=C:\\x",
             L"https://www.example.com/catalogue?id=7", L"HTTP://example.com/", L"mailto:support@example.com",
             L"mailto:support@example.com?subject=attach&body=attach=C:\\x"}) {
        fw::Variant result;
        EXPECT_EQ(S_OK, invoke(bridge(), kNavigate, {target}, result));
        EXPECT_EQ(VT_EMPTY, result.type());
    }
    EXPECT_EQ((std::vector<std::wstring>{L"https://www.example.com/catalogue?id=7", L"HTTP://example.com/",
                                         L"mailto:support@example.com",
                                         L"mailto:support@example.com?subject=attach&body=attach=C:\\x"}),
              opened);

    // The download directory is opened whether or not it exists.
    fw::Variant result;
    EXPECT_EQ(S_OK, invoke(bridge(), kOpenDownloadDir, {}, result));
    EXPECT_EQ(L"D:/Orbelune/Download/", opened.back());
}

TEST_F(Bridge, PageScriptSeesNumbersStringsAndBooleans) {
    fw::ScriptHost host;
    host.addObject(L"external", bridge());
    ASSERT_TRUE(host.run(
        L"log(typeof external.getCurrentDownloadDir() + ' ' + external.getCurrentDownloadDir());\n"
        L"log(typeof external.download('') + ' ' + external.download(''));\n"
        L"log(typeof external.getDownloadProgress('') + ' ' + external.getDownloadProgress(''));\n"
        L"log(typeof external.isFileExist('missing.pak') + ' ' + external.isFileExist('missing.pak'));\n"
        L"log(typeof external.getCurrentOpenSceneID() + ' ' + external.getcurrentopensceneid());\n"))
        << host.error().line << L": " << host.error().description;
    std::vector<std::wstring> expected = {L"string D:/Orbelune", L"number -1", L"number -1",
                                          L"boolean false", L"number 0"};
    EXPECT_EQ(expected, host.logLines());

    // A wrong count raises an error in script and runs nothing.
    EXPECT_FALSE(host.run(L"\nexternal.getCurrentDownloadDir(1);"));
    EXPECT_EQ(2u, host.error().line);
}

TEST_F(Bridge, HugeOrUnconvertibleArgumentsGiveEmptyResultsQuicklyAndNoScriptError) {
    testing_support::DriveFixture drives;
    ASSERT_TRUE(drives.map('D')) << drives.error();
    fw::ScriptHost host;
    host.addObject(L"external", bridge());
    // Every method that takes arguments, first with 65,536 backslashes in each, then with
    // null, which has no text form. getFileSize's 64-bit result cannot be used in script.
    const std::wstring calls =
        L"external.setSavePath(a); show(external.setUnCompressPath(a));\n"
        L"show(external.download(a)); show(external.downloadAndRename(a, a));\n"
        L"show(external.getDownloadProgress(a)); show(external.getDownloadProgressInfo(a));\n"
        L"show(external.isFileExist(a)); show(external.deleteFile(a)); show(external.getFileMD5(a));\n"
        L"show(external.navigate(a)); show(external.saveFileVersion(a, a));\n"
        L"show(external.queryFileVersion(a)); show(external.checkFileVersion(a, a));\n"
        L"external.getFileSize(a); show(external.changeDisk(a));\n"
        L"show(external.setParam(a, a)); show(external.addJson(a, a)); show(external.addJsonBody(a, a));\n"
        L"show(external.addJsonSceneInfo(a, a)); show(external.addJsonSceneStyles(a, a));\n";
    ASSERT_TRUE(host.run(
        L"function show(v) { log(String(v)); }\n"
        L"function sweep(a) {\n" + calls + L"}\n"
        L"var huge = '\\\\';\n"
        L"while (huge.length < 65536) huge += huge;\n"
        L"var start = new Date().getTime();\n"
        L"sweep(huge);\n"
        L"sweep(null);\n"
        L"log(new Date().getTime() - start < 2000 ? 'in time' : 'slow');\n"
        // The update check waits about a second for the server's version file.
        L"show(typeof external.versionCheckAndUpdate(huge));\n"
        L"show(external.versionCheckAndUpdate(null));\n"
        L"external.clearDownload();\n"))
        << host.error().line << L": " << host.error().description;
    const std::vector<std::wstring> one = {L"undefined", L"-2", L"-2", L"-1", L"", L"false", L"undefined",
                                           L"",          L"undefined", L"undefined", L"", L"false",
                                           L"undefined", L"undefined", L"undefined",
                                           L"undefined", L"undefined", L"undefined"};
    std::vector<std::wstring> expected = one;
    expected.insert(expected.end(), one.begin(), one.end());
    expected.insert(expected.end(), {L"in time", L"boolean", L"false"});
    EXPECT_EQ(expected, host.logLines());
    EXPECT_TRUE(opened.empty());
}

namespace {
// A stand-in owner for the conversions of the bridge adapters.
struct Echo {
    std::string seen;
    std::wstring seenWide;
    std::string text(const std::string& a, const std::string& b) {
        seen = a + "|" + b;
        return seen;
    }
    void wide(const std::wstring& a) { seenWide = a; }
    int64_t big() { return int64_t(3) << 33; }
    bool yes() { return true; }
    long count() const { return -4; }
};
}  // namespace

TEST(BridgeAdapter, TextIsConvertedThroughTheAnsiCodePageBothWays) {
    Echo echo;
    auto table = fw::TableDispatch::create({bridge::method(L"text", &echo, &Echo::text),
                                            bridge::method(L"wide", &echo, &Echo::wide),
                                            bridge::method(L"big", &echo, &Echo::big),
                                            bridge::method(L"yes", &echo, &Echo::yes),
                                            bridge::method(L"count", &echo, &Echo::count)});
    fw::Variant result;
    ASSERT_EQ(S_OK, invoke(table.get(), 1, {L"\u4E0B\u8F7D", L"a"}, result));
    EXPECT_EQ("\xCF\xC2\xD4\xD8|a", echo.seen);  // GBK bytes of the two characters
    EXPECT_EQ(L"\u4E0B\u8F7D|a", result.str());

    // Unconverted, up to the first zero character.
    ASSERT_EQ(S_OK, invoke(table.get(), 2, {std::wstring(L"http://h/\u4E0B\0tail", 15)}, result));
    EXPECT_EQ(L"http://h/\u4E0B", echo.seenWide);

    ASSERT_EQ(S_OK, invoke(table.get(), 3, {}, result));
    EXPECT_EQ(VT_I8, result.type());
    EXPECT_EQ(int64_t(3) << 33, result.get().llVal);

    ASSERT_EQ(S_OK, invoke(table.get(), 4, {}, result));
    EXPECT_EQ(VT_BOOL, result.type());
    EXPECT_EQ(VARIANT_TRUE, result.get().boolVal);

    // A const method of a subsystem, bound directly; long answers as a script number.
    ASSERT_EQ(S_OK, invoke(table.get(), 5, {}, result));
    EXPECT_EQ(VT_I4, result.type());
    EXPECT_EQ(-4, result.get().lVal);
}
