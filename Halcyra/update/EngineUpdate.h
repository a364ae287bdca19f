#pragma once
// The engine update: the check against the server's version file, which starts the
// download of the engine archive, and the installation of the extracted archive, which
// the download worker hands over once the archive is unpacked.
#include <mutex>
#include <string>

class DataDrive;
class DownloadManager;

class EngineUpdate {
public:
    // Registers the installation as the downloads' engine-archive hand-over, for archives
    // that the extractor unpacked without error.
    EngineUpdate(DataDrive& dataDrive, DownloadManager& downloads);
    // Stops the downloads first: their workers may be installing through this object.
    ~EngineUpdate();
    EngineUpdate(const EngineUpdate&) = delete;
    EngineUpdate& operator=(const EngineUpdate&) = delete;

    // Points the downloads at the update directories, fetches the server's version file
    // and, when it differs from the installed one and the engine has been closed, starts
    // the download of the engine archive. True when that download was started.
    bool versionCheckAndUpdate(const std::string& baseUrl);
    // Progress of the engine archive download, as for any download in the save path.
    float getVersionUpdateProgress();
    // The versions read by the last check; empty before it.
    std::string getLocalVersion() const;
    std::string getServerVersion() const;

    // Moves the extracted files into the installation (backing up what they replace),
    // runs the prerequisites installers on a first installation, clears an old thumbnail
    // cache and installs the downloaded version file. Runs on a download worker.
    void installEngineUpdate();

private:
    bool installFiles(const std::string& extractionDir, bool firstInstallation);

    DataDrive& m_dataDrive;
    DownloadManager& m_downloads;

    mutable std::mutex m_versionLock;  // the installing worker reads the local version
    std::string m_localVersion;
    std::string m_serverVersion;
};
