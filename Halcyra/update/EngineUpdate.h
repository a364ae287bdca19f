#pragma once
// The engine update: the check against the server's version file, which starts the
// download of the engine archive, and the installation of the extracted archive, which
// the download worker hands over once the archive is unpacked.
#include <mutex>
#include <string>

class DataDrive;
class DownloadManager;
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
    // directory. The page's save and uncompress paths stay as the page set them. True when
    // the archive download was started.
    bool versionCheckAndUpdate(const std::string& baseUrl);
    // Progress of the engine archive download, as for any download, in the update's
    // download directory.
    float getVersionUpdateProgress();
    // The versions read by the last check; empty before it.
    std::string getLocalVersion() const;
    std::string getServerVersion() const;

    // Moves the extracted files into the installation (backing up what they replace),
    // runs the prerequisites installers on a first installation, clears an old thumbnail
    // cache and installs the downloaded version file. Runs on a download worker, with the
    // directories its archive was admitted with.
    void installEngineUpdate(const DownloadDirs& dirs);

private:
    bool installFiles(const std::string& extractionDir, bool firstInstallation);

    DataDrive& m_dataDrive;
    DownloadManager& m_downloads;

    mutable std::mutex m_versionLock;  // the installing worker reads the local version
    std::string m_localVersion;
    std::string m_serverVersion;
};
