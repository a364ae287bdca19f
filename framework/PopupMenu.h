#pragma once
// A popup menu built, shown and destroyed in one place.
#include <windows.h>

#include "framework/UniqueHandle.h"

namespace fw {

class PopupMenu {
public:
    PopupMenu() : m_menu(::CreatePopupMenu()) {}

    bool append(UINT command, const wchar_t* text) {
        return m_menu && ::AppendMenuW(m_menu.get(), MF_STRING, command, text);
    }
    bool append(UINT command, const char* text) {
        return m_menu && ::AppendMenuA(m_menu.get(), MF_STRING, command, text);
    }
    // Shows the menu at a screen point; the chosen command goes to the owner as WM_COMMAND
    // (unless flags ask TPM_RETURNCMD, then it is returned).
    BOOL track(HWND owner, POINT at, UINT flags = 0) {
        return m_menu ? ::TrackPopupMenu(m_menu.get(), flags, at.x, at.y, 0, owner, nullptr) : FALSE;
    }
    HMENU get() const { return m_menu.get(); }

private:
    UniqueMenu m_menu;
};

}  // namespace fw
