#include "UnInstall/StayedMessage.h"

#include <cwchar>

#include "framework/MessageBox.h"

namespace {

const wchar_t kStayedFormat[] = L"有%u个文件或文件夹未能删除（可能正在使用或没有权限），请手动删除！";
const wchar_t kMoreFormat[] = L"……以及其他%u个";
// Enough to find them, few enough for the box to fit on the screen.
const size_t kPathsShown = 10;

std::wstring format(const wchar_t* pattern, size_t count) {
    wchar_t text[256];
    std::swprintf(text, sizeof text / sizeof *text, pattern, static_cast<unsigned>(count));
    return text;
}

}  // namespace

std::wstring stayedMessageText(const PathList& stayed) {
    std::wstring text = format(kStayedFormat, stayed.size()) + L"\n";
    for (size_t i = 0; i < stayed.size() && i < kPathsShown; ++i) text += L"\n" + displayPathOf(stayed[i]);
    if (stayed.size() > kPathsShown) text += L"\n" + format(kMoreFormat, stayed.size() - kPathsShown);
    return text;
}

void showWhatStayed(HWND owner, const PathList& stayed) {
    if (stayed.empty()) return;
    // The caption of the dialog it answers: the program's name, as every window shows it.
    wchar_t caption[128] = {};
    GetWindowTextW(owner, caption, sizeof caption / sizeof *caption);
    fw::messageBox(owner, stayedMessageText(stayed).c_str(), caption, MB_OK | MB_ICONWARNING);
}
