#pragma once
#include "utility/Referenced.h"
#include "utility/crCriticalMutex.h"

#include <string>
#include <vector>

namespace ROVodi {

// A table of 8-bit text cells with one header line, kept in a tab-separated text file:
// one line per row, cells separated by one TAB, every line ending in CR LF (a bare LF
// also ends a line on reading), no quoting. Cells are never converted or decoded.
class TableIO : public Referenced {
public:
    using Row = std::vector<std::string>;

    TableIO() = default;
    ~TableIO() override = default;

    // Replaces header and rows by the file's contents; false (table unchanged) when the
    // file cannot be read. Bytes after the last line end are ignored.
    bool load(const std::string& path);
    // Writes the table, creating missing directories. With append, only the rows are
    // added at the end of the file; without, the file is replaced whole and keeps its old
    // contents when that fails. Every line holds exactly columnCount() cells. False when
    // the file could not be written.
    bool save(const std::string& path, bool append);
    // Index of the first row whose first cell equals key regardless of ASCII letter case,
    // copied into row; -1 and an empty row when none does.
    int findRow(const std::string& key, Row& row) const;
    // Adds a column (and an empty cell to every row) unless the exact name is present.
    void addColumn(const std::string& name);
    // Header width, else the first row's width, else 0.
    int columnCount() const;

    Row header;
    std::vector<Row> rows;

private:
    crCriticalMutex m_lock;
};

}  // namespace ROVodi
