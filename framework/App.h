#pragma once
// The application object. A program defines exactly one global instance of a class
// derived from fw::App and calls fw::App::run() from WinMain. run() calls InitInstance;
// when it returns false the program ends with exit code 0, otherwise run() pumps
// messages until WM_QUIT.
#include <windows.h>

#include <memory>
#include <string>

#include "framework/OleScope.h"

namespace fw {

class Dialog;

class App {
public:
    App();
    virtual ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    static App* current();
    static int run();

    virtual BOOL InitInstance();

    // Lets the thread host ActiveX controls (OLE initialised until run() returns).
    void enableControlContainer();
    // The registry key the program's settings would live under (HKCU\Software\<key>).
    void setRegistryKey(const wchar_t* key) { m_registryKey = key ? key : L""; }
    const std::wstring& registryKey() const { return m_registryKey; }

    Dialog* mainWindow() const { return m_mainWindow; }
    void setMainWindow(Dialog* window) { m_mainWindow = window; }

private:
    int messageLoop();

    Dialog* m_mainWindow = nullptr;
    std::wstring m_registryKey;
    std::unique_ptr<OleScope> m_ole;
};

}  // namespace fw
