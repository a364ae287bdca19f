#include "framework/App.h"

namespace fw {
namespace {
App* theApp = nullptr;
}

App::App() { theApp = this; }

App::~App() {
    if (theApp == this) theApp = nullptr;
}

App* App::current() { return theApp; }

BOOL App::InitInstance() { return TRUE; }

void App::enableControlContainer() {
    if (!m_ole) m_ole = std::make_unique<OleScope>();
}

int App::run() {
    App* app = current();
    if (!app) return 1;
    int exitCode = 0;
    try {
        if (app->InitInstance()) exitCode = app->messageLoop();
    } catch (...) {
        exitCode = 1;
    }
    app->m_ole.reset();
    return exitCode;
}

int App::messageLoop() {
    MSG msg;
    for (;;) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got == -1) return 1;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace fw
