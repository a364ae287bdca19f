#pragma once
// Runs JavaScript with the system's JScript engine (IActiveScript), the way page script
// talks to an external object: named items (e.g. "external") are visible to the script,
// and two global helpers are always there: log(text) collects a line, sleep(ms) waits
// while pumping the thread's messages.
//
//     fw::ScriptHost host;
//     host.addObject(L"external", dispatch);
//     if (!host.run(L"log(external.getCurrentDownloadDir())"))
//         report(host.error().line, host.error().description);
//
// The engine lives as long as the host, so globals set by one run() stay for the next.
// Only for the thread that made the host.
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/ComPtr.h"
#include "framework/OleScope.h"
#include "framework/Variant.h"

struct IActiveScript;

namespace fw {

class ScriptSite;
class TableDispatch;

struct ScriptError {
    std::wstring description;
    unsigned line = 0;   // 1 for the first line of the script text; 0 if unknown
    unsigned column = 0;
    DWORD context = 0;   // the source context of the run() whose text holds that line
};

class ScriptHost {
public:
    ScriptHost();
    ~ScriptHost();
    ScriptHost(const ScriptHost&) = delete;
    ScriptHost& operator=(const ScriptHost&) = delete;

    // Makes an object visible to script under this name.
    void addObject(const std::wstring& name, IDispatch* object);

    // Runs statements. False on a compile or run-time error; error() tells which line,
    // and in which run's text: functions defined by one run may fail in a later one,
    // so callers running several texts tell them apart by a source context of their own.
    bool run(const std::wstring& script, DWORD sourceContext = 0);
    // Evaluates one expression and hands back its value.
    bool evaluate(const std::wstring& expression, Variant& value);

    const ScriptError& error() const { return m_error; }
    const std::vector<std::wstring>& logLines() const { return m_log; }
    // Also called for every log(text), e.g. to echo it.
    void setLogListener(std::function<void(const std::wstring&)> listener) {
        m_logListener = std::move(listener);
    }

private:
    friend class ScriptSite;

    bool start();
    bool parse(const std::wstring& text, DWORD flags, VARIANT* value, DWORD sourceContext = 0);
    IUnknown* findItem(const std::wstring& name) const;

    OleScope m_ole;
    ComPtr<ScriptSite> m_site;
    ComPtr<TableDispatch> m_helpers;
    ComPtr<IActiveScript> m_engine;
    std::map<std::wstring, ComPtr<IDispatch>> m_items;
    ScriptError m_error;
    bool m_errorReported = false;
    std::vector<std::wstring> m_log;
    std::function<void(const std::wstring&)> m_logListener;
};

}  // namespace fw
