// The script bridge: the method table and the thin bodies that call into the subsystems.
#include "Halcyra/shell/HalcyraDlg.h"

#include "Halcyra/download/FileQueries.h"
#include "Halcyra/shell/Bridge.h"
#include "Halcyra/storage/DriveSurvey.h"

namespace {
const char kDownloadDirSuffix[] = ":/Orbelune/Download/";
const char kDataRootNoSeparator[] = ":/Orbelune";
}  // namespace

std::vector<fw::DispatchMethod> CHalcyraDlg::bridgeTable() {
    using D = CHalcyraDlg;
    return {
        bridge::method(L"setSavePath", this, &D::setSavePath),
        bridge::method(L"setUnCompressPath", this, &D::setUnCompressPath),
        bridge::method(L"download", this, &D::download),
        bridge::method(L"downloadAndRename", this, &D::downloadAndRename),
        bridge::method(L"getDownloadingFilenames", this, &D::getDownloadingFilenames),
        bridge::method(L"getDownloadProgress", this, &D::getDownloadProgress),
        bridge::method(L"getDownloadProgressInfo", this, &D::getDownloadProgressInfo),
        bridge::method(L"isFileExist", this, &D::isFileExist),
        bridge::method(L"deleteFile", this, &D::deleteFile),
        bridge::method(L"getFileMD5", this, &D::getFileMD5),
        bridge::method(L"navigate", this, &D::navigate),
        bridge::method(L"saveFileVersion", this, &D::saveFileVersion),
        bridge::method(L"queryFileVersion", this, &D::queryFileVersion),
        bridge::method(L"checkFileVersion", this, &D::checkFileVersion),
        bridge::method(L"getFileSize", this, &D::getFileSize),
        bridge::method(L"transmitMaterial", this, &D::transmitMaterial),
        bridge::method(L"isVistaweaverRunning", this, &D::isVistaweaverRunning),
        bridge::method(L"getCurrentOpenSceneID", this, &D::getCurrentOpenSceneID),
        bridge::method(L"clearDownload", this, &D::clearDownload),
        bridge::method(L"openDownloadDir", this, &D::openDownloadDir),
        bridge::method(L"webGetDiskInfo", this, &D::webGetDiskInfo),
        bridge::method(L"changeDisk", this, &D::changeDisk),
        bridge::method(L"getCurrentDownloadDir", this, &D::getCurrentDownloadDir),
        bridge::method(L"getChangeDiskProgress", this, &D::getChangeDiskProgress),
        bridge::method(L"versionCheckAndUpdate", this, &D::versionCheckAndUpdate),
        bridge::method(L"getVersionUpdateProgress", this, &D::getVersionUpdateProgress),
        bridge::method(L"getLocalVersion", this, &D::getLocalVersion),
        bridge::method(L"getServerVersion", this, &D::getServerVersion),
        bridge::method(L"setParam", this, &D::setParam),
        bridge::method(L"addJson", this, &D::addJson),
        bridge::method(L"addJsonBody", this, &D::addJsonBody),
        bridge::method(L"addJsonSceneInfo", this, &D::addJsonSceneInfo),
        bridge::method(L"addJsonSceneStyles", this, &D::addJsonSceneStyles),
        bridge::method(L"Init", this, &D::Init),
    };
}

// Downloads.
void CHalcyraDlg::setSavePath(const std::string& path) { m_downloads.setSavePath(path); }
void CHalcyraDlg::setUnCompressPath(const std::string& path) { m_downloads.setUnCompressPath(path); }
int CHalcyraDlg::download(const std::wstring& url) { return m_downloads.downloadAndRename(url, std::wstring()); }
int CHalcyraDlg::downloadAndRename(const std::wstring& url, const std::wstring& name) {
    return m_downloads.downloadAndRename(url, name);
}
std::string CHalcyraDlg::getDownloadingFilenames() { return m_downloads.getDownloadingFilenames(); }
float CHalcyraDlg::getDownloadProgress(const std::string& name) { return m_downloads.getDownloadProgress(name); }
std::string CHalcyraDlg::getDownloadProgressInfo(const std::string& name) {
    return m_downloads.getDownloadProgressInfo(name);
}
void CHalcyraDlg::clearDownload() {
    stopAllWork();
    m_downloads.clearStopFlag();
}

// File queries.
bool CHalcyraDlg::isFileExist(const std::string& name) { return ::isFileExist(m_downloads.savePath(), name); }
void CHalcyraDlg::deleteFile(const std::string& name) { ::deleteFile(m_downloads.savePath(), name); }
std::string CHalcyraDlg::getFileMD5(const std::string& name) { return ::getFileMD5(m_downloads.savePath(), name); }
int64_t CHalcyraDlg::getFileSize(const std::string& name) { return ::getFileSize(m_downloads.savePath(), name); }

// Version records.
void CHalcyraDlg::saveFileVersion(const std::string& name, const std::string& version) {
    m_versions.saveFileVersion(m_downloads.savePath(), name, version);
}
std::string CHalcyraDlg::queryFileVersion(const std::string& name) {
    return m_versions.queryFileVersion(m_downloads.savePath(), name);
}
bool CHalcyraDlg::checkFileVersion(const std::string& name, const std::string& version) {
    return m_versions.checkFileVersion(m_downloads.savePath(), name, version);
}

// Engine.
bool CHalcyraDlg::transmitMaterial() { return m_engine.transmitMaterial(); }
bool CHalcyraDlg::isVistaweaverRunning() { return m_engine.isRunning(); }
int CHalcyraDlg::getCurrentOpenSceneID() { return m_engine.currentOpenSceneId(m_scene); }
void CHalcyraDlg::Init() { m_engine.init(m_scene, m_dataDrive); }

// Scene tables.
void CHalcyraDlg::setParam(const std::string& key, const std::string& value) { m_scene.setParam(key, value); }
void CHalcyraDlg::addJson(const std::string& key, const std::string& value) { m_scene.addJson(key, value); }
void CHalcyraDlg::addJsonBody(const std::string& key, const std::string& value) { m_scene.addJsonBody(key, value); }
void CHalcyraDlg::addJsonSceneInfo(const std::string& key, const std::string& value) {
    m_scene.addJsonSceneInfo(key, value);
}
void CHalcyraDlg::addJsonSceneStyles(const std::string& key, const std::string& value) {
    m_scene.addJsonSceneStyles(key, value);
}

// Engine update.
bool CHalcyraDlg::versionCheckAndUpdate(const std::string& baseUrl) {
    return m_engineUpdate.versionCheckAndUpdate(baseUrl);
}
float CHalcyraDlg::getVersionUpdateProgress() { return m_engineUpdate.getVersionUpdateProgress(); }
std::string CHalcyraDlg::getLocalVersion() { return m_engineUpdate.getLocalVersion(); }
std::string CHalcyraDlg::getServerVersion() { return m_engineUpdate.getServerVersion(); }

// Storage.
std::string CHalcyraDlg::webGetDiskInfo() { return diskInfoText(surveyFixedDrives()); }
void CHalcyraDlg::changeDisk(const std::string& drive) { m_driveMove.changeDisk(drive); }
float CHalcyraDlg::getChangeDiskProgress() { return m_driveMove.progress(); }

// Shell.
void CHalcyraDlg::navigate(const std::wstring& url) {
    ::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOW);
}

void CHalcyraDlg::openDownloadDir() {
    std::string directory = m_dataDrive.drive() + kDownloadDirSuffix;
    ::ShellExecuteA(nullptr, "open", directory.c_str(), nullptr, nullptr, SW_SHOW);
}

std::string CHalcyraDlg::getCurrentDownloadDir() { return m_dataDrive.drive() + kDataRootNoSeparator; }
