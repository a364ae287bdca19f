#pragma once
// The browser control's per-process feature settings, rewritten at every start under
// HKCU for the value name "Launcher.exe" (whatever the running file is called).
#include <windows.h>

struct BrowserFeature {
    const wchar_t* name;
    DWORD value;
};

extern const BrowserFeature kBrowserFeatures[9];
extern const wchar_t kBrowserFeatureKeyPrefix[];
extern const wchar_t kBrowserFeatureValueName[];

// Failures are ignored feature by feature.
void writeBrowserFeatures();
