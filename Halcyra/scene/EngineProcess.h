#pragma once
// The engine application: starting it for the scene the page described, the queries the
// page polls, and ending the engine this launcher started.
#include "framework/UniqueHandle.h"

#include <windows.h>

#include <string>

class DataDrive;
class SceneDescription;

class EngineProcess {
public:
    EngineProcess() = default;
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    // Picks the engine of the scene's engine version (data root first, else system root),
    // writes "scenePath.json" and "buf.txt" into the scene directory and starts the engine.
    void init(SceneDescription& scene, const DataDrive& dataDrive);

    // Restores and raises the running engine's window and posts it F5; true when an
    // engine process runs (whether or not it has a window).
    bool transmitMaterial() const;
    bool isRunning() const;
    // The id the page last gave the scene, 0 when no engine runs.
    int currentOpenSceneId(const SceneDescription& scene) const;

    // Ends the engine this launcher started, if any; an engine started elsewhere is left.
    void terminate();

    bool started() const { return m_started; }
    DWORD processId() const { return m_processId; }
    const std::string& engineName() const { return m_engineName; }

private:
    std::string m_engineName;
    fw::UniqueHandle m_process;
    fw::UniqueHandle m_thread;
    DWORD m_processId = 0;
    DWORD m_threadId = 0;
    bool m_started = false;
};
