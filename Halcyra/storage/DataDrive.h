#pragma once
// The data drive (where downloads and engine directories live) and the system-drive root
// (where the drive record and the installation live).
#include "utility/crCriticalMutex.h"

#include <string>

// True for one letter A to Z in either case, the only word a drive record or a move
// target may hold; the uninstaller reads the record by the same rule.
bool isDriveLetter(const std::string& word);

class DataDrive {
public:
    DataDrive() = default;
    DataDrive(const DataDrive&) = delete;
    DataDrive& operator=(const DataDrive&) = delete;

    // Copy taken under the lock: download and drive-move threads call these while the
    // drive move may replace the drive.
    std::string drive() const;
    void setDrive(const std::string& drive);

    std::string systemRoot() const;  // e.g. "C:/Orbelune/"; set once by init()
    std::string dataRoot() const;    // drive() + ":/Orbelune/"
    // The data root the given drive letter would have.
    static std::string dataRootOn(const std::string& drive);
    std::string recordPath() const;  // systemRoot() + "disk.dat"

    // Start-up step: settles the system root, then the data drive from the drive record
    // or, without a usable record, by choosing a fixed drive and recording it.
    void init();

    // Writes the current drive into the drive record, replacing it whole; false if the
    // record cannot be written (for instance when the system root does not exist).
    bool saveRecord() const;

    // Records drive (on the disk when true is returned) and makes it the data drive. When
    // the record cannot be rewritten the data drive stays as it was and the record, never
    // cut short, keeps naming it: the next start must look where the data still is.
    bool switchTo(const std::string& drive);

private:
    bool writeRecord(const std::string& drive) const;

    mutable ROVodi::crCriticalMutex m_lock;
    std::string m_drive;
    std::string m_systemRoot;
};
