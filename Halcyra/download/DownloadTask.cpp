#include "Halcyra/download/DownloadTask.h"

#include "Halcyra/download/NameResolution.h"

#include <cstdio>

namespace {

// Fraction and speed; the counts follow in full, "%d" as long as they fit it.
const char kProgressFormat[] = "%.2f|%.2f|";
const char kSeparator[] = "|";
const char kPartialSuffix[] = "~";
static_assert(sizeof kPartialSuffix - 1 <= DownloadTask::kLongestSuffix &&
                  sizeof DownloadTask::kRecordSuffix - 1 <= DownloadTask::kLongestSuffix,
              "names are admitted with room for the suffixes");

}  // namespace

std::string formatProgress(const TaskProgress& progress)
{
    if (!progress.reported) return std::string();
    char text[64];
    std::snprintf(text, sizeof text, kProgressFormat, progress.fraction, progress.speed);
    return text + std::to_string(progress.received) + kSeparator + std::to_string(progress.total);
}

DownloadTask::DownloadTask(const std::string& name, const std::string& url, const DownloadDirs& dirs)
    : m_name(name), m_url(url), m_dirs(dirs), m_finalPath(resolveName(dirs.save, name)),
      m_partialPath(m_finalPath + kPartialSuffix), m_recordPath(m_finalPath + DownloadTask::kRecordSuffix)
{
}

DownloadTask::~DownloadTask()
{
    if (m_thread) WaitForSingleObject(m_thread.get(), INFINITE);
}

TaskProgress DownloadTask::progress() const
{
    ROVodi::ScopedLock guard(m_progressLock);
    return m_progress;
}

void DownloadTask::setProgress(const TaskProgress& progress)
{
    ROVodi::ScopedLock guard(m_progressLock);
    m_progress = progress;
}
