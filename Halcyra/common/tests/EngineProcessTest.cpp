#include "Halcyra/common/Helpers.h"

#include "framework/UniqueHandle.h"
#include "tests/support/Eventually.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

using testing_support::besideThisProgram;
using testing_support::eventually;
using testing_support::readBytes;
using testing_support::TempDir;

namespace {

const char kEngine[] = "Vistaweaver-Win64-Shipping.exe";

// The executable name the process list shows for the process.
std::wstring listedName(DWORD processId) {
    const fw::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    std::wstring name;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == processId) name = entry.szExeFile;
    }
    return name;
}

// A copy of the engine stand-in under the given file name, started in its own directory
// (so its log is its own) and terminated at the end.
class StandIn {
public:
    StandIn(const TempDir& dir, const std::string& fileName, const std::string& arguments)
        : m_path(dir / fileName) {
        if (!CopyFileA(besideThisProgram(kEngine).c_str(), m_path.c_str(), FALSE)) return;
        std::string commandLine = "\"" + m_path + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, dir.path().c_str(), &startup,
                       &m_process);
    }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;
    ~StandIn() { stop(); }

    DWORD id() const { return m_process.dwProcessId; }
    std::string log() const { return readBytes(m_path + ".log"); }
    void stop() {
        if (!m_process.hProcess) return;
        TerminateProcess(m_process.hProcess, 0);
        WaitForSingleObject(m_process.hProcess, 10000);
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
        m_process = PROCESS_INFORMATION();
    }

private:
    std::string m_path;
    PROCESS_INFORMATION m_process = {};
};

}  // namespace

TEST(EngineProcess, FindsTheRunningEngineAndItsWindow) {
    EXPECT_EQ(findEngineProcess(), 0u);
    TempDir dir;
    StandIn engine(dir, kEngine, "-WINDOWED -Web");
    ASSERT_NE(engine.id(), 0u);
    const std::string startLine = "\"" + (dir / kEngine) + "\" -WINDOWED -Web|" + dir.path() + "\r\n";
    ASSERT_TRUE(eventually([&] { return engine.log() == startLine; })) << engine.log();

    EXPECT_EQ(findEngineProcess(), engine.id());
    // The single-instance check skips its own process the same way.
    EXPECT_EQ(findProcessByName(L"Vistaweaver-Win64-Shipping.exe", engine.id()), 0u);
    const HWND window = findProcessWindow(engine.id());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));

    PostMessageW(window, WM_KEYDOWN, VK_F5, 1);
    PostMessageW(window, WM_KEYDOWN, 'A', 1);
    PostMessageW(window, WM_KEYDOWN, VK_F5, 1);
    EXPECT_TRUE(eventually([&] { return engine.log() == startLine + "F5\r\nF5\r\n"; })) << engine.log();

    const DWORD oldId = engine.id();
    engine.stop();
    EXPECT_EQ(findEngineProcess(), 0u);
    EXPECT_EQ(findProcessWindow(oldId), nullptr);
}

TEST(EngineProcess, ANameInOtherLetterCaseIsNotTheEngine) {
    TempDir dir;
    StandIn lookalike(dir, "vistaweaver-win64-shipping.exe", "");
    ASSERT_NE(lookalike.id(), 0u);
    ASSERT_TRUE(eventually([&] { return findProcessWindow(lookalike.id()) != nullptr; }));
    ASSERT_EQ(listedName(lookalike.id()), L"vistaweaver-win64-shipping.exe");
    EXPECT_EQ(findEngineProcess(), 0u);
}
