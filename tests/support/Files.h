#pragma once
// Whole-file reads and writes for checking what code under test wrote, and the files
// that the build puts beside the test programs (stand-ins, the programs themselves).
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

namespace testing_support {

// The file's bytes; empty when it cannot be read.
inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Creates or truncates the file with exactly these bytes.
inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Writes path until its drive has no room left (for a small tmpfs drive); true when the
// drive is full at the end.
inline bool fillDrive(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::string block(64 * 1024, 'x');
    DWORD size = static_cast<DWORD>(block.size());
    DWORD written = 0;
    // Ever smaller blocks take up the last bytes too.
    while (size > 0) {
        if (!::WriteFile(file, block.data(), size, &written, nullptr) || written < size)
            size /= 2;
    }
    const DWORD error = ::GetLastError();
    const bool full = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
    ::CloseHandle(file);
    return full;
}

// The path of name in the directory of the running test program.
inline std::string besideThisProgram(const std::string& name) {
    char module[MAX_PATH] = {};
    const std::string path(module, ::GetModuleFileNameA(nullptr, module, MAX_PATH));
    return path.substr(0, path.find_last_of('\\') + 1) + name;
}

}  // namespace testing_support
