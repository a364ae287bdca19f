#include "tests/support/DriveFixture.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <vector>

#include "framework/UniqueHandle.h"
#include "tests/support/LinuxProgram.h"

namespace testing_support {
namespace {

// Wine's own extension of the mount manager; declared in no mingw header.
const DWORD kDefineUnixDrive = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
struct UnixDriveRequest {
    ULONG size;
    ULONG type;  // DRIVE_*; DRIVE_NO_ROOT_DIR removes the drive
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;  // of a NUL-terminated Linux path behind the structure
    USHORT deviceOffset;
    USHORT labelOffset;
};

const wchar_t kMountManager[] = L"\\\\.\\MountPointManager";
const wchar_t kScriptName[] = L"drive-fixture.sh";
const DWORD kAnswerTimeoutMs = 30000;
const DWORD kPollMs = 10;

UINT windowsType(DriveType type) {
    switch (type) {
    case DriveType::cdrom: return DRIVE_CDROM;
    case DriveType::floppy: return DRIVE_REMOVABLE;
    case DriveType::network: return DRIVE_REMOTE;
    case DriveType::hd: break;
    }
    return DRIVE_FIXED;
}

char lowerLetter(char letter) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
}

std::string lastErrorText(const char* what) {
    return std::string(what) + " failed, error " + std::to_string(GetLastError());
}

// Tells the mount manager about the drive; an empty linuxDir removes it.
bool defineDrive(char letter, UINT type, const std::string& linuxDir, std::string& error) {
    std::vector<char> request(sizeof(UnixDriveRequest));
    if (!linuxDir.empty()) request.insert(request.end(), linuxDir.c_str(), linuxDir.c_str() + linuxDir.size() + 1);
    UnixDriveRequest header = {};
    header.size = static_cast<ULONG>(request.size());
    header.type = type;
    header.letter = static_cast<WCHAR>(letter);
    header.mountPointOffset = linuxDir.empty() ? 0 : sizeof(UnixDriveRequest);
    std::copy(reinterpret_cast<const char*>(&header), reinterpret_cast<const char*>(&header + 1), request.begin());

    fw::UniqueHandle manager(CreateFileW(kMountManager, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    if (!manager) {
        error = lastErrorText("opening the mount manager");
        return false;
    }
    DWORD returned = 0;
    if (!DeviceIoControl(manager.get(), kDefineUnixDrive, request.data(), static_cast<DWORD>(request.size()),
                         nullptr, 0, &returned, nullptr)) {
        error = lastErrorText("defining the drive");
        return false;
    }
    return true;
}

std::wstring scriptPath() {
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, length);
    return path.substr(0, path.find_last_of(L'\\') + 1) + kScriptName;
}

// Runs drive-fixture.sh and waits for its one-line answer.
bool runScript(const std::string& arguments, char letter, std::string& answer, std::string& error) {
    const std::string status = std::string("C:\\drive-fixture\\") + letter + ".status";
    DeleteFileA(status.c_str());

    const std::wstring commandLine = L"\"" + scriptPath() + L"\" " + std::wstring(arguments.begin(), arguments.end());
    if (!startLinuxProgram(commandLine)) {
        error = lastErrorText("starting drive-fixture.sh");
        return false;
    }
    // The answer file is the only way to know the script is done.
    for (DWORD waited = 0; waited < kAnswerTimeoutMs; waited += kPollMs) {
        std::ifstream in(status);
        if (in && std::getline(in, answer)) {
            in.close();
            DeleteFileA(status.c_str());
            return true;
        }
        Sleep(kPollMs);
    }
    error = "drive-fixture.sh gave no answer";
    return false;
}

}  // namespace

DriveFixture::~DriveFixture() {
    while (!m_sameAs.empty()) unmap(m_sameAs.begin()->first);
    while (!m_linuxDirs.empty()) unmap(m_linuxDirs.rbegin()->first);
}

bool DriveFixture::fail(const std::string& message) {
    m_error = message;
    return false;
}

bool DriveFixture::map(char letter, DriveType type) {
    return mapDirectory(letter, 0, type);
}

bool DriveFixture::mapTmpfs(char letter, std::uint64_t bytes, DriveType type) {
    if (bytes == 0) return fail("a tmpfs needs a size");
    return mapDirectory(letter, bytes, type);
}

bool DriveFixture::mapDirectory(char letter, std::uint64_t bytes, DriveType type) {
    m_mountUnavailable = false;
    letter = lowerLetter(letter);
    if (letter < 'a' || letter > 'z' || letter == 'c') return fail(std::string("cannot map drive ") + letter);

    std::string answer;
    if (!runScript("map " + std::string(1, letter) + " " + std::to_string(bytes), letter, answer, m_error)) {
        return false;
    }
    std::istringstream words(answer);
    std::string verdict, linuxDir;
    words >> verdict;
    std::getline(words >> std::ws, linuxDir);
    if (verdict == "nomount") {
        m_mountUnavailable = true;
        return fail("cannot mount a tmpfs here: " + linuxDir);
    }
    if (verdict != "ok" || linuxDir.empty()) return fail("drive-fixture.sh: " + answer);

    m_linuxDirs[letter] = linuxDir;
    return defineDrive(letter, windowsType(type), linuxDir, m_error);
}

bool DriveFixture::mapSameAs(char letter, char mapped, DriveType type) {
    letter = lowerLetter(letter);
    const auto dir = m_linuxDirs.find(lowerLetter(mapped));
    if (dir == m_linuxDirs.end()) return fail(std::string("drive ") + mapped + " is not mapped here");
    if (letter < 'a' || letter > 'z' || letter == 'c' || m_linuxDirs.count(letter))
        return fail(std::string("cannot map drive ") + letter);
    if (!defineDrive(letter, windowsType(type), dir->second, m_error)) return false;
    m_sameAs[letter] = dir->first;
    return true;
}

bool DriveFixture::setType(char letter, DriveType type) {
    letter = lowerLetter(letter);
    const auto mapped = m_linuxDirs.find(letter);
    if (mapped == m_linuxDirs.end()) return fail(std::string("drive ") + letter + " is not mapped here");
    return defineDrive(letter, windowsType(type), mapped->second, m_error);
}

bool DriveFixture::unmap(char letter) {
    letter = lowerLetter(letter);
    // A second letter only goes; the directory stays with its first one.
    if (m_sameAs.erase(letter) != 0) return defineDrive(letter, DRIVE_NO_ROOT_DIR, std::string(), m_error);
    if (m_linuxDirs.erase(letter) == 0) return fail(std::string("drive ") + letter + " is not mapped here");
    bool ok = defineDrive(letter, DRIVE_NO_ROOT_DIR, std::string(), m_error);
    std::string answer;
    if (!runScript("unmap " + std::string(1, letter), letter, answer, m_error)) return false;
    if (answer != "ok") return fail("drive-fixture.sh: " + answer);
    return ok;
}

}  // namespace testing_support
