#pragma once
// The launcher itself: its state, one object per subsystem, and the script bridge through
// which page script drives it (34 methods, DISPIDs 1..34 in table order). The main window
// hands bridge() to the browser as the page's external object.
//
// Without a window (tests, page runner): construct, initStartupState(), then call through
// bridge() exactly as page script would.
#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Halcyra/download/DownloadManager.h"
#include "Halcyra/scene/EngineProcess.h"
#include "Halcyra/scene/SceneDescription.h"
#include "Halcyra/storage/DataDrive.h"
#include "Halcyra/storage/DriveMove.h"
#include "Halcyra/update/EngineUpdate.h"
#include "Halcyra/versions/VersionTable.h"
#include "framework/ComPtr.h"
#include "framework/Dispatch.h"

class Launcher {
public:
    Launcher();
    ~Launcher();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // Start-up state: the data drive and the scene tables.
    void initStartupState();
    // The script bridge; the caller does not own the reference.
    IDispatch* bridge() const;
    // Its method names in table order (DISPID 1 first), for a page host that mirrors it.
    std::vector<std::wstring> bridgeMethods() const { return m_bridge->methodNames(); }
    // Ends all work before the program exits (also run by clearDownload).
    void stopAllWork();

    DataDrive& dataDrive() { return m_dataDrive; }
    DownloadManager& downloads() { return m_downloads; }

private:
    std::vector<fw::DispatchMethod> bridgeTable();

    // The bridge methods that do more than call one subsystem method with the page's
    // arguments; the others are bound to their subsystem directly.
    int download(const std::wstring& url);
    long downloadAndRename(const std::wstring& url, const std::wstring& name);
    void clearDownload();
    bool isFileExist(const std::string& name);
    void deleteFile(const std::string& name);
    std::string getFileMD5(const std::string& name);
    int64_t getFileSize(const std::string& name);
    void saveFileVersion(const std::string& name, const std::string& version);
    std::string queryFileVersion(const std::string& name);
    bool checkFileVersion(const std::string& name, const std::string& version);
    int getCurrentOpenSceneID();
    void Init();
    bool versionCheckAndUpdate(const std::string& baseUrl);
    void changeDisk(const std::string& drive);
    std::string webGetDiskInfo();
    void navigate(const std::wstring& url);
    void openDownloadDir();
    std::string getCurrentDownloadDir();

    DataDrive m_dataDrive;
    DriveMove m_driveMove{m_dataDrive};
    SceneDescription m_scene;
    EngineProcess m_engine;
    DownloadManager m_downloads{m_dataDrive};  // its destructor waits for the workers
    VersionTable m_versions;
    EngineUpdate m_engineUpdate{m_dataDrive, m_downloads};  // installs on download workers
    // True while stopAllWork runs: the page may call in from the messages its waits dispatch.
    bool m_stopping = false;
    // True while versionCheckAndUpdate runs: it may wait for the user to close the engine.
    bool m_checkingUpdate = false;
    fw::ComPtr<fw::TableDispatch> m_bridge;
};
