#include "Halcyra/storage/DataDrive.h"

#include "Halcyra/storage/DriveSurvey.h"
#include "utility/SafeWrite.h"

#include <windows.h>
#include <shlobj.h>
#include <io.h>

#include <cstdio>
#include <fstream>

namespace {

const char kSystemRootFormat[] = "%c:/Orbelune/";
const char kDataRootSuffix[] = ":/Orbelune/";
const char kRecordName[] = "disk.dat";
const int kReadable = 4;

// The drive of the Windows system folder.
char systemDriveLetter()
{
    char folder[MAX_PATH] = {};
    if (SHGetSpecialFolderPathA(nullptr, folder, CSIDL_SYSTEM, FALSE) && folder[0] != '\0')
        return folder[0];
    // Without an answer the root would lose its drive letter; the system drive is C:
    // on every installation this program supports.
    return 'C';
}

// One whitespace-delimited word, as the record has always been read; "" if unreadable.
std::string readRecord(const std::string& path)
{
    std::string word;
    if (_access(path.c_str(), kReadable) != 0)
        return word;
    std::ifstream record(path);
    record >> word;
    return word;
}

}  // namespace

bool isDriveLetter(const std::string& word)
{
    return word.size() == 1 &&
           ((word[0] >= 'A' && word[0] <= 'Z') || (word[0] >= 'a' && word[0] <= 'z'));
}

std::string DataDrive::drive() const
{
    ROVodi::ScopedLock guard(m_lock);
    return m_drive;
}

void DataDrive::setDrive(const std::string& drive)
{
    ROVodi::ScopedLock guard(m_lock);
    m_drive = drive;
}

std::string DataDrive::systemRoot() const
{
    ROVodi::ScopedLock guard(m_lock);
    return m_systemRoot;
}

std::string DataDrive::dataRootOn(const std::string& drive)
{
    return drive + kDataRootSuffix;
}

std::string DataDrive::dataRoot() const
{
    return dataRootOn(drive());
}

std::string DataDrive::recordPath() const
{
    return systemRoot() + kRecordName;
}

void DataDrive::init()
{
    const char systemLetter = systemDriveLetter();
    char root[16] = {};
    std::snprintf(root, sizeof root, kSystemRootFormat, systemLetter);
    {
        ROVodi::ScopedLock guard(m_lock);
        m_systemRoot = root;
    }

    // A word that is not a drive letter is a damaged record: choosing afresh beats building
    // every path on a drive nobody chose.
    const std::string drive = readRecord(recordPath());
    if (isDriveLetter(drive)) {
        setDrive(drive);
        return;
    }

    const char choice = chooseDataDrive(surveyFixedDrives());
    if (choice == 0) {
        // No fixed drive to choose from: work on the system drive for this run and leave
        // the record unwritten, so the next start chooses again.
        setDrive(std::string(1, systemLetter));
        return;
    }
    setDrive(std::string(1, choice));
    saveRecord();
}

bool DataDrive::saveRecord() const
{
    return writeRecord(drive());
}

bool DataDrive::switchTo(const std::string& drive)
{
    // A failed write leaves the record naming the drive it named before.
    if (!writeRecord(drive))
        return false;
    setDrive(drive);
    return true;
}

bool DataDrive::writeRecord(const std::string& drive) const
{
    return ROVodi::writeFileSafely(recordPath(), drive);
}
