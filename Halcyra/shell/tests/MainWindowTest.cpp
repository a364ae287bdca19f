#include "Halcyra/shell/AboutDlg.h"
#include "Halcyra/shell/ExitDlg.h"
#include "Halcyra/shell/HalcyraApp.h"
#include "Halcyra/shell/HalcyraDlg.h"
#include "Halcyra/shell/tests/SteppedMainDlg.h"
#include "Halcyra/shell/tests/TrayIcon.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "framework/Bstr.h"
#include "framework/Dispatch.h"
#include "framework/MessageBox.h"
#include "tests/support/BrowserHost.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TempDir.h"

namespace {

const UINT kTrayMessage = WM_USER + 1;

std::wstring toWideAscii(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& dir) {
        ::GetCurrentDirectoryA(MAX_PATH, m_old);
        ::SetCurrentDirectoryA(dir.c_str());
    }
    ~CurrentDirectory() { ::SetCurrentDirectoryA(m_old); }

private:
    char m_old[MAX_PATH] = {};
};

using testing_support::hostHandlerOf;

// A bridge method called by name as page script calls it: its result as text, or what
// failed.
std::wstring call(IDispatch* external, const wchar_t* name, std::vector<std::wstring> args = {}) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    if (external->GetIDsOfNames(IID_NULL, names, 1, 0, &id) != S_OK) return L"unknown name";
    std::vector<VARIANT> argv(args.size());
    std::vector<fw::Bstr> texts;
    texts.reserve(args.size());
    for (size_t i = 0; i < args.size(); ++i) {  // the last argument first
        texts.emplace_back(args[i]);
        argv[args.size() - 1 - i].vt = VT_BSTR;
        argv[args.size() - 1 - i].bstrVal = texts.back().get();
    }
    DISPPARAMS params{argv.data(), nullptr, static_cast<UINT>(argv.size()), 0};
    fw::Variant result;
    std::wstring text;
    if (external->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result.put(), nullptr, nullptr) != S_OK ||
        (result.type() != VT_EMPTY && FAILED(fw::variantToString(result.get(), text))))
        return L"call refused";
    return text;
}

}  // namespace

TEST(MainWindow, BridgeServesTheLaunchersOwnPagesAndTheStartPagesSiteOnly) {
    testing_support::TempDir dir;
    std::ofstream(dir / "web.ini", std::ios::binary) << "http://www.example.com/catalogue\r\n";
    CurrentDirectory cwd(dir.path());
    SteppedMainDlg dlg([](SteppedMainDlg& d) {
        d.launcher().dataDrive().setDrive("D");
        fw::ComPtr<IDocHostUIHandler> handler = hostHandlerOf(d.browser());
        ASSERT_TRUE(handler);
        d.shownAddress = L"https://shop.example.com/catalogue";
        fw::ComPtr<IDispatch> external;
        ASSERT_EQ(S_OK, handler->GetExternal(external.put()));
        EXPECT_EQ(L"D:/Orbelune", call(external.get(), L"getCurrentDownloadDir"));

        // A link followed to another site: the object the page holds knows no name, and a
        // page that asks gets none.
        d.shownAddress = L"http://www.example.com.evil.test/";
        EXPECT_EQ(L"unknown name", call(external.get(), L"getCurrentDownloadDir"));
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        fw::Variant result;
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
                  external->Invoke(23, IID_NULL, 0, DISPATCH_METHOD, &none, result.put(), nullptr, nullptr));
        fw::ComPtr<IDispatch> refused;
        EXPECT_EQ(S_FALSE, handler->GetExternal(refused.put()));
        EXPECT_FALSE(refused);

        for (const wchar_t* other : {L"file:///C:/halcyra/start.html", L"about:blank", L""}) {
            d.shownAddress = other;
            EXPECT_EQ(L"unknown name", call(external.get(), L"getCurrentDownloadDir"));
        }
        // The program's own page, as a link inside the site may lead back to it.
        d.shownAddress = L"res://C:\\halcyra\\shell_tests.exe/start.html";
        EXPECT_EQ(L"D:/Orbelune", call(external.get(), L"getCurrentDownloadDir"));
        d.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
}

TEST(MainWindow, OpensMaximisedOnTheWebIniPageWithLineEndAndAboutItem) {
    testing_support::TempDir dir;
    std::ofstream(dir / "web.ini", std::ios::binary) << "http://127.0.0.1:9/catalogue\r\n";
    CurrentDirectory cwd(dir.path());

    bool stepped = false;
    SteppedMainDlg dlg([&](SteppedMainDlg& d) {
        stepped = true;
        EXPECT_EQ(L"http://127.0.0.1:9/catalogue\r\n", d.requestedUrl());
        EXPECT_TRUE(::IsZoomed(d.hwnd()));
        EXPECT_NE(nullptr, d.browser());
        EXPECT_NE(nullptr, reinterpret_cast<HICON>(::SendMessageW(d.hwnd(), WM_GETICON, ICON_BIG, 0)));

        HMENU systemMenu = ::GetSystemMenu(d.hwnd(), FALSE);
        wchar_t text[64] = {};
        ::GetMenuStringW(systemMenu, IDM_ABOUTBOX, text, 64, MF_BYCOMMAND);
        EXPECT_STREQ(L"\u5173\u4E8E Launcher(&A)...", text);
        EXPECT_TRUE(d.clickElement(L"ButtonOK"));
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(stepped);
}

TEST(MainWindow, WithoutWebIniOpensTheStartPageBuiltIntoTheProgram) {
    testing_support::TempDir dir;
    CurrentDirectory cwd(dir.path());
    std::wstring opened;
    SteppedMainDlg dlg([&](SteppedMainDlg& d) {
        opened = d.requestedUrl();
        d.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
    // cmake/wine-run runs every test program from C:\halcyra.
    EXPECT_EQ(L"res://C:\\halcyra\\shell_tests.exe/start.html", opened);
}

TEST(MainWindow, PageButtonCancelEndsTheLauncher) {
    SteppedMainDlg dlg([](SteppedMainDlg& d) { d.clickElement(L"ButtonCancel"); });
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
}

TEST(MainWindow, PageButtonsOfAPageFromAnotherSiteDoNothing) {
    const INT_PTR kStillRunning = 42;
    int steps = 0;
    SteppedMainDlg dlg([&](SteppedMainDlg& d) {
        if (++steps > 1) {  // the clicks did not end the window: the next step runs
            d.EndDialog(kStillRunning);
            return;
        }
        // A link followed from the start page to any site that names its buttons alike.
        d.shownAddress = L"http://evil.test/ad.html";
        d.clickElement(L"ButtonCancel");
        d.clickElement(L"ButtonOK");
        ::PostMessageW(d.hwnd(), SteppedMainDlg::kStepMessage, 0, 0);
    });
    EXPECT_EQ(kStillRunning, dlg.DoModal());
}

namespace {

// A page element as the click routing reads it: an id and a parent (none for the root).
fw::ComPtr<fw::TableDispatch> element(const std::wstring& id, IDispatch* parent) {
    return fw::TableDispatch::create({
        {L"id", 0, [id](const fw::DispatchArgs&) { return fw::Variant::fromString(id); }},
        {L"parentElement", 0, [parent](const fw::DispatchArgs&) { return fw::Variant::fromDispatch(parent); }},
    });
}

}  // namespace

TEST(MainWindow, AClickOnAnElementInsideAPageButtonCountsForTheButton) {
    // body > div#ButtonOK > span > img#okIcon, body > p#notice, and
    // body > a#ButtonCancel > span
    auto body = element(L"", nullptr);
    auto ok = element(L"ButtonOK", body.get());
    auto label = element(L"", ok.get());
    auto icon = element(L"okIcon", label.get());
    auto notice = element(L"notice", body.get());
    auto cancel = element(L"ButtonCancel", body.get());
    auto cancelText = element(L"", cancel.get());

    SteppedMainDlg okDlg([&](SteppedMainDlg& d) {
        EXPECT_FALSE(d.clickFrom(notice.get()));
        EXPECT_FALSE(d.clickFrom(body.get()));
        EXPECT_TRUE(d.isModalRunning());
        if (!d.clickFrom(icon.get())) d.EndDialog(-1);
    });
    EXPECT_EQ(IDOK, okDlg.DoModal());

    SteppedMainDlg cancelDlg([&](SteppedMainDlg& d) {
        if (!d.clickFrom(cancelText.get())) d.EndDialog(-1);
    });
    EXPECT_EQ(IDCANCEL, cancelDlg.DoModal());
}

TEST(MainWindow, TheTrayIconIsRemovedBeforeTheWindowIsGone) {
    bool whileRunning = false;
    bool whileDestroyed = true;
    SteppedMainDlg dlg([&](SteppedMainDlg& d) {
        whileRunning = trayIconShown(d.hwnd());
        d.EndDialog(IDCANCEL);
    });
    dlg.whileDestroyed = [&](HWND window) { whileDestroyed = trayIconShown(window); };
    dlg.DoModal();
    EXPECT_TRUE(whileRunning);
    EXPECT_FALSE(whileDestroyed);
}

TEST(MainWindow, ClosingTheWindowEndsTheDownloadsThatWereRunning) {
    HttpTestServer server;
    HttpReply slow;
    slow.body = HttpReply::makeBody(8 << 20);
    slow.trickleBytes = 1024;
    slow.trickleDelayMs = 50;
    server.setReply("/pkg/slow.zip", slow);
    testing_support::TempDir dir;
    CurrentDirectory cwd(dir.path());

    std::vector<std::wstring> messages;
    fw::setMessageBoxRecorder([&](const fw::MessageBoxCall& shown) {
        messages.push_back(shown.text);
        return IDOK;
    });
    std::wstring runningAtClose;
    SteppedMainDlg dlg([&](SteppedMainDlg& d) {
        IDispatch* bridge = d.launcher().bridge();
        d.launcher().dataDrive().setDrive("C");
        call(bridge, L"setSavePath", {L"halcyra-close-test"});
        EXPECT_EQ(L"0", call(bridge, L"download", {toWideAscii(server.url("/pkg/slow.zip"))}));
        runningAtClose = call(bridge, L"getDownloadingFilenames");
        d.clickElement(L"ButtonCancel");
    });
    runMainWindow(dlg);
    // Nothing of the download runs on once the launcher has passed its end, and ending
    // it told the user nothing.
    EXPECT_EQ(L"slow.zip|", runningAtClose);
    EXPECT_EQ(L"", call(dlg.launcher().bridge(), L"getDownloadingFilenames"));
    EXPECT_TRUE(messages.empty()) << messages.size();
    fw::setMessageBoxRecorder(nullptr);
    testing_support::removeTree("C:\\halcyra-close-test");
}

TEST(MainWindow, TrayAndMenuCommandsShowTheHiddenWindowMaximised) {
    SteppedMainDlg dlg([](SteppedMainDlg& d) {
        HWND w = d.hwnd();
        ::ShowWindow(w, SW_HIDE);
        // Only the button-up of a left click acts; a double click's extra message does not.
        EXPECT_EQ(0, ::SendMessageW(w, kTrayMessage, 1, WM_LBUTTONDBLCLK));
        EXPECT_EQ(0, ::SendMessageW(w, kTrayMessage, 1, WM_MOUSEMOVE));
        EXPECT_FALSE(::IsWindowVisible(w));
        EXPECT_EQ(1, ::SendMessageW(w, kTrayMessage, 1, WM_LBUTTONUP));
        EXPECT_TRUE(::IsWindowVisible(w));
        EXPECT_TRUE(::IsZoomed(w));

        ::ShowWindow(w, SW_HIDE);
        ::ShowWindow(w, SW_SHOWNORMAL);
        ::SendMessageW(w, WM_COMMAND, 1026, 0);
        EXPECT_TRUE(::IsZoomed(w));

        // The tray menu's exit item: no prompt, the dialog ends through cancel.
        ::PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
}

TEST(MainWindow, ClosingTheMinimisedWindowEndsWithoutPrompt) {
    SteppedMainDlg dlg([](SteppedMainDlg& d) {
        ::ShowWindow(d.hwnd(), SW_MINIMIZE);
        ::PostMessageW(d.hwnd(), WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
}

namespace {

// Runs a dialog of the launcher and checks it against its template from inside its loop.
template <class Dlg>
class Inspected : public Dlg {
public:
    Inspected(HWND owner, std::function<void(HWND)> check) : Dlg(owner), m_check(std::move(check)) {}

protected:
    BOOL OnInitDialog() override {
        ::PostMessageW(this->hwnd(), SteppedMainDlg::kStepMessage, 0, 0);
        return Dlg::OnInitDialog();
    }
    bool OnUserMessage(UINT message, WPARAM, LPARAM, LRESULT&) override {
        if (message != SteppedMainDlg::kStepMessage) return false;
        m_check(this->hwnd());
        this->EndDialog(IDCANCEL);
        return true;
    }

private:
    std::function<void(HWND)> m_check;
};

// As the dialog manager places controls: position and size are mapped separately.
RECT dialogUnits(HWND dlg, int x, int y, int cx, int cy) {
    RECT r{x, y, cx, cy};
    ::MapDialogRect(dlg, &r);
    return RECT{r.left, r.top, r.left + r.right, r.top + r.bottom};
}

RECT childRect(HWND dlg, int id) {
    RECT r{};
    HWND child = ::GetDlgItem(dlg, id);
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring textOf(HWND window) {
    wchar_t text[128] = {};
    ::GetWindowTextW(window, text, 128);
    return text;
}

void expectRect(const RECT& expected, const RECT& actual) {
    EXPECT_EQ(expected.left, actual.left);
    EXPECT_EQ(expected.top, actual.top);
    EXPECT_EQ(expected.right, actual.right);
    EXPECT_EQ(expected.bottom, actual.bottom);
}

}  // namespace

TEST(LauncherDialogs, ClosePromptAndAboutBoxFollowTheirTemplates) {
    Inspected<ExitDlg> prompt(nullptr, [](HWND d) {
        EXPECT_EQ(L"\u5173\u95ED\u63D0\u793A", textOf(d));
        RECT client;
        ::GetClientRect(d, &client);
        expectRect(dialogUnits(d, 0, 0, 187, 80), client);
        expectRect(dialogUnits(d, 16, 50, 64, 23), childRect(d, IDOK));
        expectRect(dialogUnits(d, 101, 50, 66, 23), childRect(d, IDC_EXIT_DIRECT));
        EXPECT_EQ(L"\u6700\u5C0F\u5316\u5230\u6258\u76D8", textOf(::GetDlgItem(d, IDOK)));
        EXPECT_EQ(L"\u76F4\u63A5\u9000\u51FA", textOf(::GetDlgItem(d, IDC_EXIT_DIRECT)));
        EXPECT_EQ(BS_DEFPUSHBUTTON, ::GetWindowLongW(::GetDlgItem(d, IDOK), GWL_STYLE) & 0xF);
        HWND text = ::FindWindowExW(d, nullptr, L"Static", nullptr);
        EXPECT_EQ(L"\u8BF7\u786E\u8BA4\u9000\u51FA\u65B9\u5F0F\uFF01", textOf(text));
        EXPECT_EQ(SS_CENTER, ::GetWindowLongW(text, GWL_STYLE) & SS_TYPEMASK);
    });
    EXPECT_EQ(IDCANCEL, prompt.DoModal());

    Inspected<CAboutDlg> about(nullptr, [](HWND d) {
        EXPECT_EQ(L"Lumaro", textOf(d));
        RECT client;
        ::GetClientRect(d, &client);
        expectRect(dialogUnits(d, 0, 0, 170, 62), client);
        expectRect(dialogUnits(d, 113, 41, 50, 14), childRect(d, IDOK));
        EXPECT_EQ(L"\u786E\u5B9A", textOf(::GetDlgItem(d, IDOK)));
    });
    EXPECT_EQ(IDCANCEL, about.DoModal());
}
