#include "Halcyra/update/Installation.h"

#include "Halcyra/common/UserMessage.h"

#include <windows.h>

#include <algorithm>

namespace {

const std::string kUndoIncompleteText = "版本更新未能完全撤销，部分原有文件仍保存在";
const char kUndoIncompleteAdvice[] = "目录中，请关闭程序后手动拷贝回原处！";
const char kUndoIncompleteCaption[] = "版本更新";

}  // namespace

bool Installation::install(const std::string& root, const std::string& source,
                           const std::string& relative)
{
    // A second replacement of one target would put the first one's copy under bak/ in
    // place of the user's file, and the undo could not bring that back: refused.
    for (const Step& step : m_steps)
        if (step.root == root && sameTarget(step.relative, relative))
            return false;
    Replacement done = Replacement::None;
    const bool replaced = m_replacer.replaceWithBackup(root, source, relative, &done);
    if (done != Replacement::None)
        m_steps.push_back({root, relative, source, done});
    return replaced;
}

void Installation::undo()
{
    // The backup directories still holding a file that could not go back, each once.
    std::vector<std::string> keptIn;
    for (auto step = m_steps.rbegin(); step != m_steps.rend(); ++step) {
        const std::string dir = backupDir(step->root);
        if (!undoReplacement(step->root, step->relative, step->done) &&
            std::find(keptIn.begin(), keptIn.end(), dir) == keptIn.end())
            keptIn.push_back(dir);
    }
    m_steps.clear();
    if (keptIn.empty())
        return;
    std::string dirs;
    for (const std::string& dir : keptIn)
        dirs += (dirs.empty() ? "[" : ",[") + dir + "]";
    showUserMessage((kUndoIncompleteText + dirs + kUndoIncompleteAdvice).c_str(),
                    kUndoIncompleteCaption, MB_OK);
}

std::vector<std::string> Installation::copiedSources() const
{
    std::vector<std::string> sources;
    for (const Step& step : m_steps)
        sources.push_back(step.source);
    return sources;
}
