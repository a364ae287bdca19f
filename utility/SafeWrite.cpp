#include "utility/SafeWrite.h"

#include "framework/UniqueHandle.h"

#include <windows.h>

#include <algorithm>

namespace ROVodi {
namespace {

const char kTemporarySuffix[] = ".tmp";

bool writeAll(HANDLE file, const std::string& bytes) {
    std::string::size_type written = 0;
    while (written < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(
            std::min<std::string::size_type>(bytes.size() - written, 1u << 30));
        DWORD done = 0;
        if (!WriteFile(file, bytes.data() + written, chunk, &done, nullptr) || done == 0)
            return false;
        written += done;
    }
    return true;
}

// The bytes in a new file at temporary, on the disk when true is returned.
bool writeDurably(const std::string& temporary, const std::string& bytes) {
    fw::UniqueHandle file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    return writeAll(file.get(), bytes) && FlushFileBuffers(file.get());
}

}  // namespace

bool writeFileSafely(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + kTemporarySuffix;
    if (writeDurably(temporary, bytes) &&
        MoveFileExA(temporary.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    DeleteFileA(temporary.c_str());
    return false;
}

}  // namespace ROVodi
