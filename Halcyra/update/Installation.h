#pragma once
// The files one engine installation puts in place, remembered so that a failure midway can
// take every one of them back: the installation is all or nothing for the user.
#include "Halcyra/update/FileReplace.h"

#include <string>
#include <vector>

class Installation {
public:
    Installation() = default;
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    // replaceWithBackup(root, source, relative), remembered; false when it failed, and
    // when this installation already replaced that target.
    bool install(const std::string& root, const std::string& source, const std::string& relative);

    // Last first: every replaced file comes back from "bak/", every added file is removed.
    // Files that could not come back stay in "bak/", and the user is told once.
    void undo();

    // The sources that were copied into place (not those already in place or missing).
    std::vector<std::string> copiedSources() const;

private:
    struct Step {
        std::string root;
        std::string relative;
        std::string source;
        Replacement done;
    };

    FileReplacer m_replacer;
    std::vector<Step> m_steps;
};
