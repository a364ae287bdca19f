#include "Halcyra/update/Installation.h"

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
    for (auto step = m_steps.rbegin(); step != m_steps.rend(); ++step)
        undoReplacement(step->root, step->relative, step->done);
    m_steps.clear();
}

std::vector<std::string> Installation::copiedSources() const
{
    std::vector<std::string> sources;
    for (const Step& step : m_steps)
        sources.push_back(step.source);
    return sources;
}
