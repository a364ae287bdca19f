#include "Halcyra/versions/VersionTable.h"

#include "Halcyra/download/FileQueries.h"
#include "Halcyra/download/NameResolution.h"
#include "Halcyra/common/Helpers.h"

#include <windows.h>
#include <io.h>

#include <algorithm>
#include <ctime>
#include <exception>

namespace {

const char kTableFileName[] = "version.tab";
const char kPackageExtension[] = "pak";
const char kTimeFormat[] = "%Y-%m-%d %H:%M:%S";
const std::string::size_type kMaxNameLength = 15;
const std::string::size_type kVersionLength = 32;
const std::size_t kRecordCells = 5;

const char kNameColumn[] = "filename";
const char kVersionColumn[] = "version";
const char kTimeColumn[] = "time";
const char kEngineNameColumn[] = "ue4Name";
const char kEngineVersionColumn[] = "ue4Version";

ROVodi::TableIO::Row defaultHeader() {
    return {kNameColumn, kVersionColumn, kTimeColumn, kEngineNameColumn, kEngineVersionColumn};
}

// Empty before the page has set a save path: nothing is read or recorded then.
std::string tablePathOf(const std::string& savePath) { return resolveName(savePath, kTableFileName); }

// An empty "version.tab" holds no header to append to: it is written afresh like a
// missing one, so the first record never ends up as the header line.
bool tableFileExists(const std::string& tablePath) {
    if (_access(tablePath.c_str(), 4) != 0) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(tablePath.c_str(), GetFileExInfoStandard, &data)) return true;
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || data.nFileSizeHigh != 0 ||
           data.nFileSizeLow != 0;
}

// A TAB or line end inside a cell would split it, or its row, when the file is read again.
bool fitsInCell(const std::string& text) {
    return text.find_first_of("\t\r\n") == std::string::npos;
}

}  // namespace

bool isPackageRecord(const std::string& name, const std::string& version) {
    return name.size() <= kMaxNameLength && getFileExtension(name) == kPackageExtension &&
           version.size() == kVersionLength && fitsInCell(name) && fitsInCell(version);
}

std::string currentLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_s(&local, &now) != 0) return std::string();
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, kTimeFormat, &local);
    return std::string(text, length);
}

VersionTable::VersionTable() : VersionTable(currentLocalTime) {}

VersionTable::VersionTable(Clock clock) : m_clock(std::move(clock)) {}

ROVodi::TableIO::Row VersionTable::newRecord(const std::string& name,
                                             const std::string& version) const {
    return {name, version, m_clock(), std::string(), std::string()};
}

// Brings the table in line with the file once per run, and again whenever the save path
// has changed since. An empty table file counts as missing (see tableFileExists); one whose
// contents cannot be held in memory is given up and written afresh. False when the file is
// there but cannot be read (another program holds it locked, or it may not be read): then
// nothing is mirrored, and nothing may be written, or the records it holds would be lost
// to a rewrite.
bool VersionTable::mirrorFile(const std::string& tablePath) {
    if (m_table.columnCount() != 0 && tablePath == m_loadedPath) return true;
    m_loadedPath.clear();
    m_table.header.clear();
    m_table.rows.clear();
    try {
        if (m_table.load(tablePath)) {
            if (!m_table.header.empty()) {
                m_table.addColumn(kEngineNameColumn);
                m_table.addColumn(kEngineVersionColumn);
            }
        } else if (GetFileAttributesA(tablePath.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return false;
        }
    } catch (const std::exception&) {
        DeleteFileA(tablePath.c_str());
        m_table.rows.clear();
        m_table.header.clear();
    }
    if (m_table.header.empty()) m_table.header = defaultHeader();
    m_loadedPath = tablePath;
    return true;
}

// Adds one line at the end of the file, and the same record to memory.
void VersionTable::appendRecord(const std::string& tablePath, const ROVodi::TableIO::Row& record) {
    ROVodi::TableIO line;
    line.rows.push_back(record);
    line.save(tablePath, true);
    m_table.rows.push_back(record);
}

// Writes the header and every record held in memory, the new one last.
void VersionTable::createFile(const std::string& tablePath, const ROVodi::TableIO::Row& record) {
    m_table.header = defaultHeader();
    m_table.rows.push_back(record);
    m_table.save(tablePath, false);
}

void VersionTable::saveFileVersion(const std::string& savePath, const std::string& name,
                                   const std::string& version) {
    if (!isPackageRecord(name, version) || resolveName(savePath, name).empty()) return;
    const std::string tablePath = tablePathOf(savePath);
    if (tablePath.empty()) return;
    // Loaded first, so that rewriting the whole file never drops what it already holds.
    if (!mirrorFile(tablePath)) return;
    if (!tableFileExists(tablePath)) {
        createFile(tablePath, newRecord(name, version));
        return;
    }

    // Names match byte for byte here, unlike the case-insensitive lookups elsewhere.
    auto& rows = m_table.rows;
    auto found = std::find_if(rows.begin(), rows.end(), [&](const ROVodi::TableIO::Row& row) {
        return !row.empty() && row[0] == name;
    });
    if (found == rows.end()) {
        appendRecord(tablePath, newRecord(name, version));
        return;
    }
    if (found->size() < 3) found->resize(kRecordCells);
    (*found)[1] = version;
    (*found)[2] = m_clock();
    m_table.save(tablePath, false);
}

bool VersionTable::checkFileVersion(const std::string& savePath, const std::string& name,
                                    const std::string& version) {
    if (!isPackageRecord(name, version) || !isFileExist(savePath, name)) return false;
    const std::string tablePath = tablePathOf(savePath);
    if (tablePath.empty()) return false;
    // A record that cannot be read cannot be confirmed either.
    if (!mirrorFile(tablePath)) return false;
    if (!tableFileExists(tablePath)) {
        createFile(tablePath, newRecord(name, version));
        return true;
    }

    ROVodi::TableIO::Row row;
    if (m_table.findRow(name, row) >= 0 && row.size() >= 3) return row[1] == version;
    appendRecord(tablePath, newRecord(name, version));
    return true;
}

std::string VersionTable::queryFileVersion(const std::string& savePath,
                                           const std::string& name) const {
    if (!isFileExist(savePath, name)) return std::string();
    try {
        ROVodi::TableIO file;
        const std::string tablePath = tablePathOf(savePath);
        if (tablePath.empty() || !file.load(tablePath)) return std::string();
        ROVodi::TableIO::Row row;
        if (file.findRow(name, row) < 0 || row.size() < 3) return std::string();
        return row[1];
    } catch (const std::exception&) {
        return std::string();
    }
}
