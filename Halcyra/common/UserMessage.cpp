#include "Halcyra/common/UserMessage.h"

#include "framework/MessageBox.h"

#include <atomic>

namespace {

std::atomic<HWND> owner{nullptr};

}  // namespace

void setMessageOwner(HWND window)
{
    owner = window;
}

HWND messageOwner()
{
    return owner;
}

int showUserMessage(const char* text, const char* caption, UINT type)
{
    const HWND window = owner;
    // An owned box always stays above its owner; one without an owner could open behind
    // any other program's window.
    const UINT front = MB_SETFOREGROUND | (window ? 0 : MB_TOPMOST);
    return fw::messageBox(window, text, caption, type | front);
}
