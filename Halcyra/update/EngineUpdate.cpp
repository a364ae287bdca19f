#include "Halcyra/update/EngineUpdate.h"

#include "Halcyra/download/DownloadManager.h"
#include "Halcyra/download/FileQueries.h"
#include "Halcyra/common/Helpers.h"
#include "Halcyra/storage/DataDrive.h"
#include "Halcyra/update/EngineExit.h"
#include "Halcyra/update/FileReplace.h"
#include "Halcyra/update/Installation.h"

#include <windows.h>
#include <io.h>

#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

const char kDownloadDir[] = "Orbelune/UpdateDown";      // below the data drive
const char kExtractionDir[] = "Orbelune/UpdateFiles";   // below the data drive
const char kVersionFile[] = "Vistaweaver.ver";
const char kEngineArchive[] = "Vistaweaver.7z";
const char* const kPrerequisitesInstallers[] = {"UE4PrereqSetup_x86.exe",
                                                "UE4PrereqSetup_x64.exe"};
const char kInstallerArguments[] = " /install /passive /quiet /norestart";
const char kThumbnailCache[] = "Download/download/matThumnbNail";  // below the data root
const char kDataDirInitial = '4';  // engine data directories: "420/", "424/", ...

// A server version at or below this offers no update to an installed engine.
const long long kOldestServerVersion = 2019010100;
// Installations up to this version kept thumbnails that newer engines cannot use.
const long long kLastOldThumbnailsVersion = 2020072000;

const DWORD kVersionPollMs = 10;
const int kVersionPolls = 101;  // about a second for the version file to arrive
const std::size_t kMaxCommandLine = 32767;
const int kExists = 0;

// The version as a number: its leading decimal digits, 0 when it has none.
long long versionNumber(const std::string& version)
{
    return std::strtoll(version.c_str(), nullptr, 10);
}

// The file's first whitespace-delimited token into version; unchanged when there is none.
void readVersion(const std::string& path, std::string& version)
{
    std::ifstream file(path);
    std::string token;
    if (file >> token)
        version = token;
}

bool isPrerequisitesInstaller(const std::string& path)
{
    for (const char* installer : kPrerequisitesInstallers)
        if (path.find(installer) != std::string::npos)
            return true;
    return false;
}

// Runs an installer shown to the user from the installation directory, as the installers
// expect, and waits for it; one that cannot start is skipped.
void runInstaller(const std::string& path, const std::string& systemRoot)
{
    const std::string command = path + kInstallerArguments;
    if (command.size() < kMaxCommandLine)
        runAndWait(command, SW_SHOW, systemRoot);
}

// True for a directory below a drive's root. The installation moves away everything
// below the extraction directory, which must never be a whole drive.
bool isBelowRoot(const std::string& dir)
{
    const std::size_t last = dir.find_last_not_of("/\\");
    return last != std::string::npos && dir.find_first_of("/\\") < last;
}

// Removes every file below dir, a directory of the update's own; never a whole drive.
void emptyDirectory(const std::string& dir)
{
    if (!isBelowRoot(dir))
        return;
    std::vector<std::string> files;
    listFilesRecursive(dir, files);
    for (const std::string& file : files)
        DeleteFileA(file.c_str());
}

}  // namespace

EngineUpdate::EngineUpdate(DataDrive& dataDrive, DownloadManager& downloads)
    : m_dataDrive(dataDrive), m_downloads(downloads)
{
    // An archive that did not come out whole installs nothing: its version file would claim
    // an engine that is not there, and the next check would not offer the update again.
    m_downloads.setEngineArchiveHandler([this](const DownloadTask& task, bool extracted) {
        m_state = extracted && installEngineUpdate(task.dirs()) ? State::Installed : State::Failed;
    });
}

EngineUpdate::~EngineUpdate()
{
    m_downloads.stopDownloads();
}

bool EngineUpdate::versionCheckAndUpdate(const std::string& baseUrl)
{
    // A second check would fetch the version file and delete the archive that the running
    // update is about to install.
    if (running())
        return false;

    // Directories of this update for its whole run, whatever the page sets meanwhile.
    DownloadDirs dirs;
    dirs.save = m_downloads.onDataDrive(kDownloadDir);
    dirs.unCompress = m_downloads.onDataDrive(kExtractionDir);
    createDirectories(dirs.save);
    createDirectories(dirs.unCompress);
    const std::string& savePath = dirs.save;

    deleteFile(savePath, kVersionFile);
    m_downloads.downloadAndRename(baseUrl + kVersionFile, std::string(), dirs);
    for (int polls = 0; polls < kVersionPolls && !isFileExist(savePath, kVersionFile); ++polls)
        Sleep(kVersionPollMs);

    std::string local;
    std::string server;
    {
        std::lock_guard<std::mutex> guard(m_versionLock);
        readVersion(resolveName(savePath, kVersionFile), m_serverVersion);
        const std::string installed = m_dataDrive.systemRoot() + kVersionFile;
        if (_access(installed.c_str(), kExists) == 0)
            readVersion(installed, m_localVersion);
        local = m_localVersion;
        server = m_serverVersion;
    }
    // Without an installed version any server version is installed.
    if (!local.empty() && (versionNumber(server) <= kOldestServerVersion || local == server))
        return false;
    if (!waitForEngineExit())
        return false;

    deleteFile(savePath, kEngineArchive);
    // Whatever an earlier attempt left extracted would be installed with this archive. Its
    // task gone, no worker extracts or installs there any more; with the task still running
    // the download below is refused anyway.
    TaskProgress running;
    if (!m_downloads.findProgress(kEngineArchive, running))
        emptyDirectory(dirs.unCompress);
    // Running before the worker starts: a small archive may be installed before the
    // admission returns.
    const State before = m_state.exchange(State::Running);
    if (m_downloads.downloadAndRename(baseUrl + kEngineArchive, std::string(), dirs) !=
        DownloadManager::kStarted) {
        // Unless a running update's worker has settled its outcome meanwhile.
        State running = State::Running;
        m_state.compare_exchange_strong(running, before);
        return false;
    }
    return true;
}

float EngineUpdate::getVersionUpdateProgress()
{
    // The task first, then the state: the worker settles the state before its task leaves
    // the table, so a task no longer there has its outcome recorded.
    TaskProgress progress;
    if (m_downloads.findProgress(kEngineArchive, progress))
        return m_downloads.getDownloadProgressIn(m_downloads.onDataDrive(kDownloadDir), kEngineArchive);
    // Without its task the update has ended: installed, or not (a state still "running"
    // means the archive never arrived: its download failed or was stopped).
    return m_state == State::Installed ? kInstalled : kNotInstalled;
}

bool EngineUpdate::running() const
{
    // The archive's task stays in the table until its installation has ended.
    TaskProgress progress;
    return m_downloads.findProgress(kEngineArchive, progress);
}

std::string EngineUpdate::getLocalVersion() const
{
    std::lock_guard<std::mutex> guard(m_versionLock);
    return m_localVersion;
}

std::string EngineUpdate::getServerVersion() const
{
    std::lock_guard<std::mutex> guard(m_versionLock);
    return m_serverVersion;
}

bool EngineUpdate::installEngineUpdate(const DownloadDirs& dirs)
{
    if (!waitForEngineExit(m_downloads.stopEvent()))
        return false;
    const std::string& extractionDir = dirs.unCompress;
    const std::string versionFile = resolveName(dirs.save, kVersionFile);
    if (!isBelowRoot(extractionDir) || _access(versionFile.c_str(), kExists) != 0)
        return false;
    const std::string localVersion = getLocalVersion();

    // All or nothing: a failure or a stop midway takes back every file installed so far,
    // and the version file, installed last, is not advanced; the next check offers the
    // update again.
    Installation installation;
    if (!installFiles(extractionDir + "/", localVersion.empty(), installation) ||
        !installation.install(m_dataDrive.systemRoot(), versionFile, kVersionFile)) {
        installation.undo();
        return false;
    }
    // Installed for good: the extracted copies go, and so do the thumbnails of an old engine.
    for (const std::string& installed : installation.copiedSources())
        if (installed != versionFile)
            DeleteFileA(installed.c_str());
    if (versionNumber(localVersion) <= kLastOldThumbnailsVersion) {
        std::vector<std::string> thumbnails;
        listFilesRecursive(m_dataDrive.dataRoot() + kThumbnailCache, thumbnails);
        for (const std::string& thumbnail : thumbnails)
            DeleteFileA(thumbnail.c_str());
    }
    return true;
}

// Installs every file below prefix into installation; false at the first file that
// cannot be installed, or when the launcher is stopping.
bool EngineUpdate::installFiles(const std::string& prefix, bool firstInstallation,
                                Installation& installation)
{
    std::vector<std::string> files;
    listFilesRecursive(prefix, files);

    const std::string systemRoot = m_dataDrive.systemRoot();
    const std::string dataRoot = m_dataDrive.dataRoot();
    for (const std::string& path : files) {
        if (m_downloads.stopRequested())
            return false;
        if (firstInstallation && isPrerequisitesInstaller(path))
            runInstaller(path, systemRoot);
        const std::string relative =
            path.size() > prefix.size() ? path.substr(prefix.size()) : std::string();
        // The archive's own copy of the version file stays out: the downloaded one goes to
        // the same place last, and a second replacement would drop the only backup of the
        // installed one.
        if (sameTarget(relative, kVersionFile))
            continue;
        const std::string& root =
            !relative.empty() && relative[0] == kDataDirInitial ? dataRoot : systemRoot;
        if (!installation.install(root, path, relative))
            return false;
    }
    return true;
}
