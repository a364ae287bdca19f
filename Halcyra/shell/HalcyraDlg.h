#pragma once
// The launcher's main window: a browser dialog showing the start page, whose script
// drives everything through the script bridge (the 34 methods below, in table order).
// It owns the launcher's state, one object per subsystem.
//
// Headless use (tests, page runner): construct, initStartupState(), then call through
// GetIDispatch() exactly as page script would; no window is needed.
#include <windows.h>
#include <shellapi.h>

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
#include "framework/HtmlDialog.h"

class CHalcyraDlg : public fw::HtmlDialog {
public:
    CHalcyraDlg();
    ~CHalcyraDlg() override;

    // Start-up state, also without a window: the data drive and the scene tables.
    void initStartupState();
    // The script bridge; the caller does not own the reference.
    IDispatch* GetIDispatch() const;
    // Ends all work before the program exits (also run by clearDownload).
    void stopAllWork();

    BOOL CanAccessExternal() override { return TRUE; }

    DataDrive& dataDrive() { return m_dataDrive; }
    DownloadManager& downloads() { return m_downloads; }

    // Script bridge, DISPIDs 1..34 in this order.
    void setSavePath(const std::string& path);
    void setUnCompressPath(const std::string& path);
    // Wide: a name the ANSI code page cannot hold is refused, not altered.
    int download(const std::wstring& url);
    int downloadAndRename(const std::wstring& url, const std::wstring& name);
    std::string getDownloadingFilenames();
    float getDownloadProgress(const std::string& name);
    std::string getDownloadProgressInfo(const std::string& name);
    bool isFileExist(const std::string& name);
    void deleteFile(const std::string& name);
    std::string getFileMD5(const std::string& name);
    void navigate(const std::wstring& url);
    void saveFileVersion(const std::string& name, const std::string& version);
    std::string queryFileVersion(const std::string& name);
    bool checkFileVersion(const std::string& name, const std::string& version);
    int64_t getFileSize(const std::string& name);
    bool transmitMaterial();
    bool isVistaweaverRunning();
    int getCurrentOpenSceneID();
    void clearDownload();
    void openDownloadDir();
    std::string webGetDiskInfo();
    void changeDisk(const std::string& drive);
    std::string getCurrentDownloadDir();
    float getChangeDiskProgress();
    bool versionCheckAndUpdate(const std::string& baseUrl);
    float getVersionUpdateProgress();
    std::string getLocalVersion();
    std::string getServerVersion();
    void setParam(const std::string& key, const std::string& value);
    void addJson(const std::string& key, const std::string& value);
    void addJsonBody(const std::string& key, const std::string& value);
    void addJsonSceneInfo(const std::string& key, const std::string& value);
    void addJsonSceneStyles(const std::string& key, const std::string& value);
    void Init();

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    bool OnSysCommand(UINT id, LPARAM lParam) override;
    void OnClose() override;
    bool OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool PreTranslateMessage(MSG* msg) override;

private:
    std::vector<fw::DispatchMethod> bridgeTable();
    void addSystemMenuItems();
    void addTrayIcon();
    LRESULT onTrayNotify(UINT mouseMessage);
    void showMaximisedInFront();

    HICON m_hIcon;
    NOTIFYICONDATAW m_trayIcon{};
    DataDrive m_dataDrive;
    DriveMove m_driveMove{m_dataDrive};
    SceneDescription m_scene;
    EngineProcess m_engine;
    DownloadManager m_downloads{m_dataDrive};  // its destructor waits for the workers
    VersionTable m_versions;
    EngineUpdate m_engineUpdate{m_dataDrive, m_downloads};  // installs on download workers
    fw::ComPtr<fw::TableDispatch> m_bridge;
};
