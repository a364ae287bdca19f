// PageRunner.exe: runs page script against the launcher's script bridge without a browser.
//
//     PageRunner.exe [--answer LIST] SCRIPT.js [SCRIPT.js ...]
//
// The launcher object is built and its start-up state settled as Launcher.exe does it
// (no window is created: nothing in the bridge needs one). The scripts
// (UTF-8) run in order in one JScript engine, so later ones see the globals of earlier
// ones, with these names:
//
//     external          the launcher's script bridge, as page script sees it
//     log(text)         prints a line
//     sleep(ms)         waits, keeping the thread's messages flowing
//     runner.close()    what the launcher does when its window has closed: ends all work
//                       (waits for the drive move and the downloads, ends the engine)
//     runner.answers(LIST)   replaces the --answer list from here on
//     runner.readFile(path)  a file's text (UTF-8 if it is valid UTF-8, else the ANSI
//                       code page); the empty text when it cannot be read. Relative paths
//                       follow the current directory, which Init and the engine update move.
//     runner.fileExists(path)
//     runner.fileSize(path)  in bytes (at most 2^31-1); -1 when there is no such file
//
// Message boxes appear as in the launcher. With --answer they are printed instead
// (caption and text) and answered: LIST is a comma-separated list of ok, cancel, yes, no,
// retry, abort, ignore; each box takes the next answer and the last one stays. A box with
// only an OK button is answered OK without using up an answer.
//
// When every script has run, the runner ends all work as the launcher does on exit.
// Exit status: 0 when every script ran through; 1 when one threw (printed as
// FILE:LINE:COLUMN: error: TEXT, followed by "(running FILE)" when the failing line is in
// a function of an earlier file); 2 for a usage error or an unreadable script.
//
//     PageRunner.exe --serve PORT [--page DIR|URL] [--answer LIST]
//
// Page host: instead of running scripts, serves the start page on 127.0.0.1:PORT (0: a
// free port; the address is printed) to any browser on this machine, with the launcher's
// script bridge behind the page's window.external (Halcyra/pagehost/PageHost.h). The page
// comes from the HTML resources of the Launcher.exe beside the runner, or from the
// directory or the http(s) address given. It serves until the page's ButtonOK or
// ButtonCancel ends it, or Ctrl+C; then all work ends as in the launcher. Errors of the
// page's scripts are printed as FILE:LINE:COLUMN: error: TEXT. Exit status 1 when it
// cannot serve.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "Halcyra/common/Utf8.h"
#include "Halcyra/launcher/Launcher.h"
#include "Halcyra/pagehost/PageHost.h"
#include "framework/Dispatch.h"
#include "framework/MessageBox.h"
#include "framework/OleScope.h"
#include "framework/ScriptHost.h"

namespace {

const wchar_t kUsage[] =
    L"usage: PageRunner.exe [--answer ok|cancel|yes|no|retry|abort|ignore[,...]] SCRIPT.js [SCRIPT.js ...]\n"
    L"       PageRunner.exe --serve PORT [--page DIR|URL] [--answer ...]";

// Whole lines, each with one write, so that lines from worker threads do not interleave.
void writeLine(DWORD stream, const std::wstring& line) {
    HANDLE handle = ::GetStdHandle(stream);
    std::wstring text = line + L"\n";
    DWORD mode = 0, written = 0;
    if (::GetConsoleMode(handle, &mode)) {
        ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::string bytes = utf8::fromWide(text);
    if (bytes.empty()) return;
    ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void out(const std::wstring& line) { writeLine(STD_OUTPUT_HANDLE, line); }
void err(const std::wstring& line) { writeLine(STD_ERROR_HANDLE, line); }

bool readBytes(const std::wstring& path, std::string& bytes) {
    std::ifstream file(path.c_str(), std::ios::binary);
    if (!file) return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

// Text of a file: UTF-8 (a byte order mark dropped) when it is valid UTF-8, else ANSI.
std::wstring fileText(const std::string& bytes) {
    std::string body = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
    if (body.empty()) return std::wstring();
    std::wstring text = utf8::decode(body, CP_UTF8, MB_ERR_INVALID_CHARS);
    return text.empty() ? utf8::decode(body, CP_ACP, 0) : text;
}

struct Button {
    const wchar_t* name;
    int id;
};
const Button kButtons[] = {{L"ok", IDOK},         {L"cancel", IDCANCEL}, {L"yes", IDYES},  {L"no", IDNO},
                           {L"retry", IDRETRY},   {L"abort", IDABORT},   {L"ignore", IDIGNORE}};

const wchar_t* buttonName(int id) {
    for (const Button& b : kButtons)
        if (b.id == id) return b.name;
    return L"?";
}

// The buttons a box of this type shows, the default one first.
std::vector<int> buttonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
    }
}

// The unattended answers to message boxes; boxes may come from worker threads.
class Answers {
public:
    bool set(const std::wstring& list) {
        std::vector<int> parsed;
        std::wstringstream items(list);
        std::wstring item;
        while (std::getline(items, item, L',')) {
            int id = 0;
            for (const Button& b : kButtons)
                if (_wcsicmp(item.c_str(), b.name) == 0) id = b.id;
            if (id == 0) return false;
            parsed.push_back(id);
        }
        if (parsed.empty()) return false;
        std::lock_guard<std::mutex> guard(m_lock);
        m_answers = parsed;
        m_next = 0;
        return true;
    }

    int answer(const fw::MessageBoxCall& call) {
        std::vector<int> buttons = buttonsOf(call.type);
        int id = buttons.front();
        if (buttons.size() > 1) {
            std::lock_guard<std::mutex> guard(m_lock);
            int wanted = m_answers[m_next];
            if (m_next + 1 < m_answers.size()) ++m_next;
            for (int b : buttons)
                if (b == wanted) id = b;
        }
        out(L"[message box] " + call.caption + L": " + call.text + L" -> " + buttonName(id));
        return id;
    }

private:
    std::mutex m_lock;
    std::vector<int> m_answers;
    size_t m_next = 0;
};

struct Options {
    bool answering = false;
    std::wstring answers;
    std::vector<std::wstring> scripts;
    bool serving = false;
    std::uint16_t port = 0;
    std::wstring page;  // empty: the resources of Launcher.exe
};

bool parsePort(const std::wstring& text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of(L"0123456789") != std::wstring::npos) return false;
    unsigned long value = std::wcstoul(text.c_str(), nullptr, 10);
    if (value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool parseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--answer" && i + 1 < argc) {
            options.answering = true;
            options.answers = argv[++i];
        } else if (arg.compare(0, 9, L"--answer=") == 0) {
            options.answering = true;
            options.answers = arg.substr(9);
        } else if (arg == L"--serve" && i + 1 < argc) {
            options.serving = true;
            if (!parsePort(argv[++i], options.port)) return false;
        } else if (arg == L"--page" && i + 1 < argc) {
            options.page = argv[++i];
            if (options.page.empty()) return false;
        } else if (arg.compare(0, 2, L"--") == 0) {
            return false;
        } else {
            options.scripts.push_back(arg);
        }
    }
    if (options.serving) return options.scripts.empty();
    return !options.scripts.empty() && options.page.empty();
}

std::wstring fileName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void answerMessageBoxes(Answers& answers) {
    fw::setMessageBoxRecorder([&answers](const fw::MessageBoxCall& call) { return answers.answer(call); });
}

// The script's "runner" object; the caller detaches it before the launcher and the answers end.
fw::ComPtr<fw::TableDispatch> runnerObject(Launcher& launcher, Answers& answers) {
    std::vector<fw::DispatchMethod> methods;
    methods.push_back({L"close", 0, [&launcher](const fw::DispatchArgs&) {
                           launcher.stopAllWork();
                           return fw::Variant();
                       }});
    methods.push_back({L"answers", 1, [&answers](const fw::DispatchArgs& args) {
                           bool ok = answers.set(args[0]);
                           if (ok) answerMessageBoxes(answers);
                           return fw::Variant::fromBool(ok);
                       }});
    methods.push_back({L"readFile", 1, [](const fw::DispatchArgs& args) {
                           std::string bytes;
                           return fw::Variant::fromString(readBytes(args[0], bytes) ? fileText(bytes)
                                                                                    : std::wstring());
                       }});
    methods.push_back({L"fileExists", 1, [](const fw::DispatchArgs& args) {
                           return fw::Variant::fromBool(::GetFileAttributesW(args[0].c_str()) !=
                                                        INVALID_FILE_ATTRIBUTES);
                       }});
    methods.push_back({L"fileSize", 1, [](const fw::DispatchArgs& args) {
                           WIN32_FILE_ATTRIBUTE_DATA data{};
                           if (!::GetFileAttributesExW(args[0].c_str(), GetFileExInfoStandard, &data))
                               return fw::Variant::fromInt(-1);
                           // Script numbers: sizes up to 2 GiB are all the checks need.
                           return fw::Variant::fromInt(data.nFileSizeHigh || data.nFileSizeLow > 0x7FFFFFFF
                                                           ? 0x7FFFFFFF
                                                           : static_cast<int32_t>(data.nFileSizeLow));
                       }});
    return fw::TableDispatch::create(std::move(methods));
}

// The page host's run; message boxes are set up by the caller.
int servePages(const Options& options) {
    std::wstring problem;
    std::unique_ptr<PageSource> pages = PageSource::open(options.page, problem);
    if (!pages) {
        err(L"PageRunner: " + problem);
        return 1;
    }
    Launcher launcher;
    launcher.initStartupState();
    int status = 0;
    {
        PageHost host(launcher.bridge(), launcher.bridgeMethods(), std::move(pages), out, err);
        if (!host.serve(options.port)) status = 1;
    }
    launcher.stopAllWork();
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    Answers answers;
    if (!parseOptions(argc, argv, options) || (options.answering && !answers.set(options.answers))) {
        err(kUsage);
        return 2;
    }
    std::vector<std::pair<std::wstring, std::wstring>> scripts;
    for (const std::wstring& path : options.scripts) {
        std::string bytes;
        if (!readBytes(path, bytes)) {
            err(L"PageRunner: cannot read " + path);
            return 2;
        }
        scripts.emplace_back(path, fileText(bytes));
    }

    fw::OleScope ole;
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    if (options.answering) answerMessageBoxes(answers);
    if (options.serving) {
        int served = servePages(options);
        fw::setMessageBoxRecorder(nullptr);
        return served;
    }

    int status = 0;
    {
        Launcher launcher;
        launcher.initStartupState();

        fw::ComPtr<fw::TableDispatch> runner = runnerObject(launcher, answers);

        {
            fw::ScriptHost host;
            host.addObject(L"external", launcher.bridge());
            host.addObject(L"runner", runner.get());
            host.setLogListener([](const std::wstring& line) { out(line); });
            for (DWORD i = 0; i < scripts.size(); ++i) {
                if (host.run(scripts[i].second, i)) continue;
                const fw::ScriptError& e = host.error();
                // The failing line may be in a function an earlier file defined.
                DWORD where = e.context < scripts.size() ? e.context : i;
                err(fileName(scripts[where].first) + L":" + std::to_wstring(e.line) + L":" +
                    std::to_wstring(e.column) + L": error: " + e.description +
                    (where == i ? L"" : L" (running " + fileName(scripts[i].first) + L")"));
                status = 1;
                break;
            }
        }
        runner->detach();
        launcher.stopAllWork();
    }
    fw::setMessageBoxRecorder(nullptr);
    return status;
}
