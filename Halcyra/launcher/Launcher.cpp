#include "Halcyra/launcher/Launcher.h"

#include "Halcyra/common/WebAddress.h"
#include "Halcyra/download/FileQueries.h"
#include "Halcyra/launcher/Bridge.h"
#include "Halcyra/storage/DriveSurvey.h"
#include "framework/ShellOpen.h"

namespace {
const char kDownloadDirSuffix[] = ":/Orbelune/Download/";
// What a progress query answers for a download it does not know, also when it fails.
const float kNoProgress = -1.0f;
const char kDataRootNoSeparator[] = ":/Orbelune";
}  // namespace

Launcher::Launcher() : m_bridge(fw::TableDispatch::create(bridgeTable())) {}

Launcher::~Launcher() {
    // Script engines may hold the bridge past the launcher's life.
    m_bridge->detach();
}

IDispatch* Launcher::bridge() const { return m_bridge.get(); }

void Launcher::initStartupState() {
    m_dataDrive.init();
    // Last, whatever the drive step did: a page starts every scene from empty tables.
    m_scene.clear();
}

void Launcher::stopAllWork() {
    // In this order, each wait dispatching this thread's messages, so that a worker's
    // message box owned by the main window can be shown and answered:
    // 1. a running drive move finishes (it rewrites the drive record);
    // 2. the stop flag is raised and the download task table drains (an installation
    //    waiting for the engine to close gives up at once and installs nothing);
    // 3. the handles of finished download workers are closed;
    // 4. the engine this launcher started is ended.
    // While these waits dispatch messages the page's timers still call the bridge: a call
    // that would start work answers its failure result, and a nested stop or clear returns
    // at once, leaving the stop flag raised.
    if (m_stopping) return;
    m_stopping = true;
    m_driveMove.waitForEnd();
    m_downloads.stopDownloads();
    m_engine.terminate();
    m_stopping = false;
}

std::vector<fw::DispatchMethod> Launcher::bridgeTable() {
    using L = Launcher;
    using bridge::method;
    // The page's wide text goes to the download manager unconverted: a name the ANSI code
    // page cannot hold is refused there, not altered. A call that fails answers its
    // method's empty result; where 0 would mean "started" or "0 % done", the refusal.
    return {
        method(L"setSavePath", &m_downloads, &DownloadManager::setSavePath),
        method(L"setUnCompressPath", &m_downloads, &DownloadManager::setUnCompressPath),
        method(L"download", this, &L::download, static_cast<int>(DownloadManager::kBadName)),
        method(L"downloadAndRename", this, &L::downloadAndRename, DownloadManager::kBadName),
        method(L"getDownloadingFilenames", &m_downloads, &DownloadManager::getDownloadingFilenames),
        method(L"getDownloadProgress", &m_downloads, &DownloadManager::getDownloadProgress, kNoProgress),
        method(L"getDownloadProgressInfo", &m_downloads, &DownloadManager::getDownloadProgressInfo),
        method(L"isFileExist", this, &L::isFileExist),
        method(L"deleteFile", this, &L::deleteFile),
        method(L"getFileMD5", this, &L::getFileMD5),
        method(L"navigate", this, &L::navigate),
        method(L"saveFileVersion", this, &L::saveFileVersion),
        method(L"queryFileVersion", this, &L::queryFileVersion),
        method(L"checkFileVersion", this, &L::checkFileVersion),
        method(L"getFileSize", this, &L::getFileSize),
        method(L"transmitMaterial", &m_engine, &EngineProcess::transmitMaterial),
        method(L"isVistaweaverRunning", &m_engine, &EngineProcess::isRunning),
        method(L"getCurrentOpenSceneID", this, &L::getCurrentOpenSceneID),
        method(L"clearDownload", this, &L::clearDownload),
        method(L"openDownloadDir", this, &L::openDownloadDir),
        method(L"webGetDiskInfo", this, &L::webGetDiskInfo),
        method(L"changeDisk", this, &L::changeDisk),
        method(L"getCurrentDownloadDir", this, &L::getCurrentDownloadDir),
        method(L"getChangeDiskProgress", &m_driveMove, &DriveMove::progress),
        method(L"versionCheckAndUpdate", this, &L::versionCheckAndUpdate),
        method(L"getVersionUpdateProgress", &m_engineUpdate, &EngineUpdate::getVersionUpdateProgress,
               kNoProgress),
        method(L"getLocalVersion", &m_engineUpdate, &EngineUpdate::getLocalVersion),
        method(L"getServerVersion", &m_engineUpdate, &EngineUpdate::getServerVersion),
        method(L"setParam", &m_scene, &SceneDescription::setParam),
        method(L"addJson", &m_scene, &SceneDescription::addJson),
        method(L"addJsonBody", &m_scene, &SceneDescription::addJsonBody),
        method(L"addJsonSceneInfo", &m_scene, &SceneDescription::addJsonSceneInfo),
        method(L"addJsonSceneStyles", &m_scene, &SceneDescription::addJsonSceneStyles),
        method(L"Init", this, &L::Init),
    };
}

// Downloads.
int Launcher::download(const std::wstring& url) { return downloadAndRename(url, std::wstring()); }
long Launcher::downloadAndRename(const std::wstring& url, const std::wstring& name) {
    if (m_stopping) return DownloadManager::kBadName;
    return m_downloads.downloadAndRename(url, name);
}
void Launcher::clearDownload() {
    if (m_stopping) return;
    stopAllWork();
    m_downloads.clearStopFlag();
}

// File queries.
bool Launcher::isFileExist(const std::string& name) { return ::isFileExist(m_downloads.savePath(), name); }
void Launcher::deleteFile(const std::string& name) { ::deleteFile(m_downloads.savePath(), name); }
std::string Launcher::getFileMD5(const std::string& name) { return ::getFileMD5(m_downloads.savePath(), name); }
int64_t Launcher::getFileSize(const std::string& name) { return ::getFileSize(m_downloads.savePath(), name); }

// Version records.
void Launcher::saveFileVersion(const std::string& name, const std::string& version) {
    m_versions.saveFileVersion(m_downloads.savePath(), name, version);
}
std::string Launcher::queryFileVersion(const std::string& name) {
    return m_versions.queryFileVersion(m_downloads.savePath(), name);
}
bool Launcher::checkFileVersion(const std::string& name, const std::string& version) {
    return m_versions.checkFileVersion(m_downloads.savePath(), name, version);
}

// Engine.
int Launcher::getCurrentOpenSceneID() { return m_engine.currentOpenSceneId(m_scene); }
void Launcher::Init() {
    if (!m_stopping) m_engine.init(m_scene, m_dataDrive);
}

// Engine update.
// An update and a drive move never run together: the installation writes into the data
// root that the move is emptying. The check itself may wait for the user (the engine is
// running), and the page's timers run meanwhile.
bool Launcher::versionCheckAndUpdate(const std::string& baseUrl) {
    if (m_stopping || m_checkingUpdate || m_driveMove.running()) return false;
    m_checkingUpdate = true;
    const bool started = m_engineUpdate.versionCheckAndUpdate(baseUrl);
    m_checkingUpdate = false;
    return started;
}

// Drive move.
void Launcher::changeDisk(const std::string& drive) {
    if (!m_stopping) m_driveMove.changeDisk(drive, !m_checkingUpdate && !m_engineUpdate.running());
}

// Storage.
std::string Launcher::webGetDiskInfo() { return diskInfoText(surveyFixedDrives()); }

// Shell.
void Launcher::navigate(const std::wstring& url) {
    // Web and mail addresses only: a program path, a file: address or another protocol
    // would have the shell run whatever the page names.
    if (isWebOrMailAddress(url)) fw::shellOpen(url.c_str());
}

void Launcher::openDownloadDir() {
    std::string directory = m_dataDrive.drive() + kDownloadDirSuffix;
    fw::shellOpen(directory.c_str());
}

std::string Launcher::getCurrentDownloadDir() { return m_dataDrive.drive() + kDataRootNoSeparator; }
