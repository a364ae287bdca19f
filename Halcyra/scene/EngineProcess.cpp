#include "Halcyra/scene/EngineProcess.h"

#include "Halcyra/scene/SceneDescription.h"
#include "Halcyra/scene/SceneFile.h"
#include "Halcyra/common/Helpers.h"
#include "Halcyra/storage/DataDrive.h"
#include "framework/MessageBox.h"

#include <io.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char kCommandFormat[] = "%s -WINDOWED -Web -scenePath=%s/scenePath.json -assetDir=%s/ %s";
const char kCommandRecordName[] = "/buf.txt";
const char kStartFailedFormat[] = "CreateProcess Error:%d";
const char kStartFailedCaption[] = "Orbelune";
const char kDataRootSuffix[] = ":/Orbelune/";
const char kClientModeStart[] = "1";
const WPARAM kRefreshKey = VK_F5;
const int kReadable = 4;

// "4.26" -> "426": engine directories are named without the dot.
std::string compactVersion(const std::string& version)
{
    std::string compact = version;
    if (compact.size() > 1)
        compact.erase(1, 1);
    return compact;
}

std::string formatCommand(const std::string& enginePath, const std::string& sceneDirectory,
                          const std::string& extra)
{
    // Sized for the actual texts: a long scene directory must not cut the command short.
    const int length = std::snprintf(nullptr, 0, kCommandFormat, enginePath.c_str(),
                                     sceneDirectory.c_str(), sceneDirectory.c_str(), extra.c_str());
    if (length < 0)
        return std::string();
    std::string command(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(&command[0], command.size(), kCommandFormat, enginePath.c_str(),
                  sceneDirectory.c_str(), sceneDirectory.c_str(), extra.c_str());
    command.resize(static_cast<size_t>(length));
    return command;
}

}  // namespace

void EngineProcess::init(SceneDescription& scene, const DataDrive& dataDrive)
{
    m_engineName = getFileName(scene.param("gamedir"));
    const std::string drive = dataDrive.drive();
    const std::string sceneDirectory = drive + ":/" + scene.param("pakdir");
    scene.setSceneDirectory(sceneDirectory);
    scene.writeDocument(sceneDirectory);

    // Without an engine version there is no engine directory to pick: the document is
    // written for a later start, nothing is started now.
    if (scene.engineVersion().empty())
        return;
    const std::string version = compactVersion(scene.engineVersion());

    // The engine directory text keeps its doubled separator after the root: the command
    // line and "buf.txt" have always carried it so.
    std::string engineDirectory = drive + kDataRootSuffix + "/" + version + "/";
    std::string enginePath = engineDirectory + m_engineName;
    if (_access(enginePath.c_str(), kReadable) != 0) {
        engineDirectory = dataDrive.systemRoot() + "/" + version + "/";
        enginePath = engineDirectory + m_engineName;
    }

    if (scene.param("clientmode") != kClientModeStart)
        return;
    std::string command = formatCommand(enginePath, sceneDirectory, scene.param("param"));
    if (!writeSceneFile(sceneDirectory + kCommandRecordName, command))
        return;

    // Only the newest engine is recorded; an earlier one keeps running untouched.
    m_thread.reset();
    m_process.reset();
    m_processId = 0;
    m_threadId = 0;

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process = {};
    // The engine works in its own directory; the launcher's current directory stays as it
    // is, since installations on download workers start programs too.
    m_started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               engineDirectory.c_str(), &startup, &process) != FALSE;
    if (!m_started) {
        char message[1024] = {};
        std::snprintf(message, sizeof message, kStartFailedFormat, static_cast<int>(GetLastError()));
        fw::messageBox(nullptr, message, kStartFailedCaption, MB_OK);
        return;
    }
    m_process.reset(process.hProcess);
    m_thread.reset(process.hThread);
    m_processId = process.dwProcessId;
    m_threadId = process.dwThreadId;
}

bool EngineProcess::transmitMaterial() const
{
    const DWORD processId = findEngineProcess();
    if (processId == 0)
        return false;
    if (HWND window = findProcessWindow(processId)) {
        ShowWindow(window, SW_RESTORE);
        SetForegroundWindow(window);
        PostMessageA(window, WM_KEYDOWN, kRefreshKey, 1);
    }
    return true;
}

bool EngineProcess::isRunning() const
{
    return findEngineProcess() != 0;
}

int EngineProcess::currentOpenSceneId(const SceneDescription& scene) const
{
    if (!isRunning())
        return 0;
    return std::atoi(scene.currentScenePackage().c_str());
}

void EngineProcess::terminate()
{
    if (!m_started)
        return;
    TerminateProcess(m_process.get(), 0);
    m_thread.reset();
    m_process.reset();
    m_processId = 0;
    m_threadId = 0;
    m_started = false;
}
