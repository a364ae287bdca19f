#include "Halcyra/shell/BrowserFeatures.h"

#include <string>

#include "framework/UniqueHandle.h"

const wchar_t kBrowserFeatureKeyPrefix[] =
    L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\";
const wchar_t kBrowserFeatureValueName[] = L"Launcher.exe";

const BrowserFeature kBrowserFeatures[9] = {
    {L"FEATURE_BROWSER_EMULATION", 11000},
    {L"FEATURE_ACTIVEX_REPURPOSEDETECTION", 1},
    {L"FEATURE_BLOCK_LMZ_IMG", 1},
    {L"FEATURE_BLOCK_LMZ_OBJECT", 1},
    {L"FEATURE_BLOCK_LMZ_SCRIPT", 1},
    {L"FEATURE_Cross_Domain_Redirect_Mitigation", 1},
    {L"FEATURE_ENABLE_SCRIPT_PASTE_URLACTION_IF_PROMPT", 1},
    {L"FEATURE_LOCALMACHINE_LOCKDOWN", 1},
    {L"FEATURE_GPU_RENDERING", 1},
};

void writeBrowserFeatures() {
    for (const BrowserFeature& feature : kBrowserFeatures) {
        std::wstring path = std::wstring(kBrowserFeatureKeyPrefix) + feature.name;
        HKEY raw = nullptr;
        if (::RegCreateKeyW(HKEY_CURRENT_USER, path.c_str(), &raw) != ERROR_SUCCESS) continue;
        fw::UniqueRegKey key(raw);
        ::RegSetValueExW(key.get(), kBrowserFeatureValueName, 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&feature.value), sizeof(feature.value));
    }
}
