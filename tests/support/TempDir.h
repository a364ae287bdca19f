#pragma once
// A fresh, empty directory under the temporary folder of the test's Wine prefix, removed
// with everything in it when the object ends. Keeps test files out of C:\halcyra, which
// all test programs of a tree share.
#include <string>

namespace testing_support {

class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    // The directory without trailing separator, e.g. C:\users\root\Temp\tab1A2.tmp
    const std::string& path() const { return m_path; }
    // path() + "\" + name
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

// Deletes a directory tree; false when something could not be removed.
bool removeTree(const std::string& dir);

}  // namespace testing_support
