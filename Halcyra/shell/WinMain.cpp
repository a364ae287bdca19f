// Launcher.exe: one application object; WinMain hands over to it.
#include "Halcyra/shell/HalcyraApp.h"

namespace {
CHalcyraApp theApp;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return fw::App::run(); }
