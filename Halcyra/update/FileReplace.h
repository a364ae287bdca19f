#pragma once
// The two file operations that install an engine update and move the engine directories
// to another drive.
#include <string>
#include <vector>

// Appends the path of every file below dir, depth first in listing order. A file directly
// in dir comes out as dir + "\" + name (dir + name when dir ends in "\"); a file in a
// subdirectory as dir + subdirectory + "\" + name. A missing directory adds nothing.
void listFilesRecursive(const std::string& dir, std::vector<std::string>& files);

// What replaceWithBackup did at the target, for a caller that may have to undo it.
enum class Replacement {
    None,      // the target is as it was (it is the source itself, or nothing was there)
    Added,     // the target is new
    BackedUp,  // the target's former file is under root + "bak/" + relative
};

// Copies source to root + relative. An existing target is first moved to
// root + "bak/" + relative (replacing an older backup there); one that cannot be moved
// there is not overwritten. A missing source, or a source that already is the target
// (whatever the spelling of the two paths), counts as done. When the target cannot be
// written completely, the user is told, the partial target is removed, the backup made by
// this call is moved back, and the result is false. done, when given, says what changed.
bool replaceWithBackup(const std::string& root, const std::string& source,
                       const std::string& relative, Replacement* done = nullptr);

// replaceWithBackup for many files in a row, through one copy block for all of them: under
// Wine a block allocated per file has its pages faulted in again at every read, which cost
// a move of small files more than the copying itself.
class FileReplacer {
public:
    // Whether a failure is shown to the user at once, or kept for showFailure: copies on
    // several threads tell the user of one failure, not of each.
    enum class Failures { Shown, Kept };
    explicit FileReplacer(Failures failures = Failures::Shown) : m_failures(failures) {}

    bool replaceWithBackup(const std::string& root, const std::string& source,
                           const std::string& relative, Replacement* done = nullptr);

    // Shows the message of the last failure that was kept, if any.
    void showFailure() const;

private:
    Failures m_failures;
    std::string m_failure;
    std::vector<char> m_block;
};

// Takes back what replaceWithBackup did at root + relative: the backup returns to its
// place, an added file is removed. False when the backup could not go back: it stays
// under bak/.
bool undoReplacement(const std::string& root, const std::string& relative, Replacement done);

// Where replaceWithBackup keeps the former files of root: root + "bak/".
std::string backupDir(const std::string& root);

// True when the two paths below one root name the same file: letter case, "/" or "\\"
// and doubled or leading separators aside.
bool sameTarget(const std::string& a, const std::string& b);
