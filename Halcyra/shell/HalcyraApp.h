#pragma once
// The launcher's application object: single instance, then the main window for the
// whole life of the program, then the end of all work.
#include "framework/App.h"
#include "framework/UniqueHandle.h"

class CHalcyraDlg;

class CHalcyraApp : public fw::App {
public:
    // Returns FALSE on every path: the program ends when it returns.
    BOOL InitInstance() override;

private:
    // Held until the process ends; closing it would admit a second launcher.
    fw::UniqueHandle m_instanceMutex;
};

// The first instance's life: the main window runs modally, and once it has closed, by
// whatever path, all work of the launcher ends before this returns.
void runMainWindow(CHalcyraDlg& dlg);
