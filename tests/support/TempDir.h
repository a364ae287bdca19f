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

// Deletes a directory tree; false when something could not be removed. Links to
// directories are removed as links: what they point at stays.
bool removeTree(const std::string& dir);

// Makes a Linux symbolic link name -> target in directory, which Wine shows as a directory
// reparse point; Wine cannot create Windows links itself, a Unix "ln" can. False when the
// link did not appear.
bool makeLinuxLink(const std::string& directory, const std::string& target, const std::string& name);
void removeLinuxLink(const std::string& directory, const std::string& name);

}  // namespace testing_support
