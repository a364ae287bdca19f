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

// The path of name in the directory of the running test program.
inline std::string besideThisProgram(const std::string& name) {
    char module[MAX_PATH] = {};
    const std::string path(module, ::GetModuleFileNameA(nullptr, module, MAX_PATH));
    return path.substr(0, path.find_last_of('\\') + 1) + name;
}

}  // namespace testing_support
