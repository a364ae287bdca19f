#pragma once
// The uninstaller's application object: its initialisation runs the whole program.
#include "framework/App.h"

class CUnInstallApp : public fw::App {
public:
    BOOL InitInstance() override;
};
