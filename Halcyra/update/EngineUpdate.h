#pragma once
// The engine update: the check against the server's version file, which starts the
// download of the engine archive, and the installation of the extracted archive, which
// the download worker hands over once the archive is unpacked.
#include <atomic>
#include <mutex>
#include <string>

class DataDrive;
class DownloadManager;
class Installation;
struct DownloadDirs;

class EngineUpdate {
public:
    // Registers the installation as the downloads' engine-archive hand-over, for archives
    // that the extractor unpacked without error.
    EngineUpdate(DataDrive& dataDrive, DownloadManager& downloads);
    // Stops the downloads first: their workers may be installing through this object.
    ~EngineUpdate();
    EngineUpdate(const EngineUpdate&) = delete;
    EngineUpdate& operator=(const EngineUpdate&) = delete;

    // Fetches the server's version file into the update's own download directory and,
    // when it differs from the installed one and the engine has been closed, starts the
    // download of the engine archive there, to be unpacked into the update's extraction
    // directory. The page's save and uncompress paths stay as the page set them. True only
    // when the archive download was admitted; false at once while an update runs.
    bool versionCheckAndUpdate(const std::string& baseUrl);
    // How the update started by the last successful check goes: the archive download's
    // fraction (at most 0.99, also while the archive is installed), then 1.0 once the new
    // version file is installed, or -1.0 when the download, the extraction or the
    // installation failed, the user gave up waiting for the engine, or the launcher
    // stopped it. -1.0 before any update.
    float getVersionUpdateProgress();
    // True while an update's archive downloads, unpacks or is installed.
    bool running() const;

    // The versions read by the last check; empty before it.
    std::string getLocalVersion() const;
    std::string getServerVersion() const;

    // Waits for the engine to be closed, copies the extracted files into the installation
    // (backing up what they replace), runs the prerequisites installers on a first
    // installation and installs the downloaded version file; then clears an old thumbnail
    // cache. All or nothing: false, with every installed file taken back, when a file cannot
    // be installed, the user gives up waiting or the launcher stops. Runs on a download
    // worker, with the directories its archive was admitted with.
    bool installEngineUpdate(const DownloadDirs& dirs);

private:
    enum class State { Idle, Running, Installed, Failed };
    static constexpr float kInstalled = 1.0f;
    static constexpr float kNotInstalled = -1.0f;

    bool installFiles(const std::string& extractionDir, bool firstInstallation,
                      Installation& installation);

    DataDrive& m_dataDrive;
    DownloadManager& m_downloads;

    mutable std::mutex m_versionLock;  // the installing worker reads the local version
    std::string m_localVersion;
    std::string m_serverVersion;
    std::atomic<State> m_state{State::Idle};  // set by the installing worker
};
