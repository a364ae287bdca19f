#include "utility/TableIO.h"

#include "utility/Directories.h"
#include "utility/SafeWrite.h"

#include <cstdio>
#include <memory>
#include <new>

namespace ROVodi {
namespace {

const char kCellSeparator = '\t';
const char kLineEnd[] = "\r\n";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The whole file, or false when it cannot be opened, sized or read into memory.
bool readWholeFile(const std::string& path, std::string& contents) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    if (_fseeki64(file.get(), 0, SEEK_END) != 0) return false;
    const long long size = _ftelli64(file.get());
    if (size < 0 || static_cast<unsigned long long>(size) > contents.max_size()) return false;
    try {
        contents.assign(static_cast<std::size_t>(size), '\0');
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (_fseeki64(file.get(), 0, SEEK_SET) != 0) return false;
    contents.resize(std::fread(&contents[0], 1, contents.size(), file.get()));
    return true;
}

// Only 'A'-'Z' fold: bytes of double-byte characters must never be changed.
char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::string::size_type i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

// Missing cells of a short row are written empty: the line still has count cells.
void appendLine(std::string& out, const TableIO::Row& row, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) out += kCellSeparator;
        if (i < row.size()) out += row[i];
    }
    out += kLineEnd;
}

// True when the file exists, is not empty and its last byte is not a line feed.
bool endsInsideLine(std::FILE* file) {
    if (_fseeki64(file, 0, SEEK_END) != 0 || _ftelli64(file) <= 0) return false;
    if (_fseeki64(file, -1, SEEK_END) != 0) return false;
    const int last = std::fgetc(file);
    _fseeki64(file, 0, SEEK_END);
    return last != EOF && last != '\n';
}

}  // namespace

bool TableIO::load(const std::string& path) {
    ScopedLock guard(m_lock);
    std::string text;
    if (!readWholeFile(path, text)) return false;

    header.clear();
    rows.clear();
    Row current;
    bool firstLine = true;
    std::string::size_type cellStart = 0;
    for (std::string::size_type p = 0; p < text.size(); ++p) {
        const char c = text[p];
        if (c != kCellSeparator && c != '\n') continue;
        // A CR directly before the line feed belongs to the line end, not to the cell.
        std::string::size_type cellEnd = p;
        if (c == '\n' && cellEnd > cellStart && text[cellEnd - 1] == '\r') --cellEnd;
        current.emplace_back(text, cellStart, cellEnd - cellStart);
        cellStart = p + 1;
        if (c == '\n') {
            if (firstLine) {
                header = std::move(current);
                firstLine = false;
            } else {
                rows.push_back(std::move(current));
            }
            current = Row();
        }
    }
    return true;
}

bool TableIO::save(const std::string& path, bool append) {
    ScopedLock guard(m_lock);
    if (path.empty()) return false;
    createParentDirs(path);
    const int count = columnCount();
    std::string out;
    if (!append) {
        // Rewritten whole through a temporary file: a full disk or a crash keeps the old table.
        if (count >= 1) {
            if (!header.empty()) appendLine(out, header, count);
            for (const Row& row : rows) appendLine(out, row, count);
        }
        return writeFileSafely(path, out);
    }

    File file(std::fopen(path.c_str(), "a+b"));
    if (!file) return false;
    if (count < 1) return true;
    // Appended rows start on a line of their own even after a damaged, unfinished last line.
    if (endsInsideLine(file.get())) out += kLineEnd;
    for (const Row& row : rows) appendLine(out, row, count);
    return std::fwrite(out.data(), 1, out.size(), file.get()) == out.size() &&
           std::fflush(file.get()) == 0;
}

int TableIO::findRow(const std::string& key, Row& row) const {
    row.clear();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].empty() && sameIgnoringAsciiCase(rows[i][0], key)) {
            row = rows[i];
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TableIO::addColumn(const std::string& name) {
    for (const std::string& cell : header) {
        if (cell == name) return;
    }
    header.push_back(name);
    for (Row& row : rows) row.emplace_back();
}

int TableIO::columnCount() const {
    if (!header.empty()) return static_cast<int>(header.size());
    if (!rows.empty()) return static_cast<int>(rows.front().size());
    return 0;
}

}  // namespace ROVodi
