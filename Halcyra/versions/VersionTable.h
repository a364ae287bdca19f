#pragma once
// The record of which version of each downloaded package is on disk: "version.tab" in the
// save path, mirrored in memory. Names and versions are ANSI code page text; the save path
// is passed to every call because the page may change it at any time. Names resolve as the
// file queries resolve them: before a save path is set, or for a name resolveName refuses,
// every package is missing and nothing is recorded.
#include "utility/TableIO.h"

#include <functional>
#include <string>

class VersionTable {
public:
    // Gives the time of a recording as "YYYY-MM-DD hh:mm:ss"; tests fix it.
    using Clock = std::function<std::string()>;

    VersionTable();
    explicit VersionTable(Clock clock);
    VersionTable(const VersionTable&) = delete;
    VersionTable& operator=(const VersionTable&) = delete;

    // Records the version of a package; nothing happens when the arguments break the
    // package file rule, or when the table file is there but cannot be read.
    void saveFileVersion(const std::string& savePath, const std::string& name,
                         const std::string& version);
    // True when the package is on disk and recorded with exactly this version, or had no
    // record (this version is then recorded). False when the table file is there but
    // cannot be read.
    bool checkFileVersion(const std::string& savePath, const std::string& name,
                          const std::string& version);
    // The recorded version of a package on disk, read afresh from the file; empty when
    // there is none.
    std::string queryFileVersion(const std::string& savePath, const std::string& name) const;

    const ROVodi::TableIO& table() const { return m_table; }

private:
    bool mirrorFile(const std::string& tablePath);
    void appendRecord(const std::string& tablePath, const ROVodi::TableIO::Row& record);
    void createFile(const std::string& tablePath, const ROVodi::TableIO::Row& record);
    ROVodi::TableIO::Row newRecord(const std::string& name, const std::string& version) const;

    Clock m_clock;
    ROVodi::TableIO m_table;
    // The file m_table mirrors; records of another save path's file must never be
    // compared against, or rewritten into, this one.
    std::string m_loadedPath;
};

// Package names are at most 15 bytes with the extension "pak"; versions are 32 bytes.
bool isPackageRecord(const std::string& name, const std::string& version);

// The current local time as "%Y-%m-%d %H:%M:%S".
std::string currentLocalTime();
