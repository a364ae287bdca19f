#include "Halcyra/storage/DriveMove.h"

#include "Halcyra/storage/DataDrive.h"
#include "Halcyra/storage/DriveSurvey.h"
#include "Halcyra/storage/WorkSharing.h"
#include "Halcyra/update/FileReplace.h"
#include "framework/MessagePump.h"

#include <vector>

namespace {

// The engine directories, named by engine version; nothing else under the data root moves.
const char* const kEngineDirs[] = {"420/", "424/", "426/"};
const float kCompleted = 1.0f;
const float kFailed = -1.0f;
// Files are copied and deleted by this many threads: while one waits for the file system
// another copies, which makes a move of many small files about twice as fast.
const unsigned kFileThreads = 3;

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

DriveMove::DriveMove(DataDrive& dataDrive) : m_dataDrive(dataDrive) {}

DriveMove::~DriveMove()
{
    waitForEnd();
}

void DriveMove::changeDisk(const std::string& drive, bool mayRun)
{
    if (m_worker)
        return;
    if (!isDriveLetter(drive))
        return;
    // Drive letters name the same drive in either case; a move onto the data drive itself
    // would push every file into its own backup and then delete it.
    const std::string target(1, upper(drive[0]));
    const std::string current = m_dataDrive.drive();
    if (current.size() == 1 && upper(current[0]) == target[0])
        return;

    // Data moved onto a drive that is not there, or that may be gone tomorrow, would be
    // lost to every later start.
    if (!mayRun || !isFixedDrive(target[0])) {
        m_progress = kFailed;
        return;
    }

    m_targetDrive = target;
    m_progress = 0.0f;
    m_worker.reset(CreateThread(nullptr, 0, changeDiskWorker, this, 0, nullptr));
    if (!m_worker)
        m_progress = kFailed;
}

bool DriveMove::running() const
{
    return m_worker && WaitForSingleObject(m_worker.get(), 0) != WAIT_OBJECT_0;
}

float DriveMove::progress()
{
    if (m_worker && !m_waiting && WaitForSingleObject(m_worker.get(), 0) == WAIT_OBJECT_0)
        m_worker.reset();
    return m_progress;
}

void DriveMove::waitForEnd()
{
    if (!m_worker || m_waiting)
        return;
    // The worker may be showing a message box owned by the main window: the window must
    // answer it while waiting. The page's timers run meanwhile and poll the move.
    m_waiting = true;
    fw::waitPumping(m_worker.get(), INFINITE);
    m_waiting = false;
    m_worker.reset();
}

DWORD WINAPI DriveMove::changeDiskWorker(void* self)
{
    DriveMove& driveMove = *static_cast<DriveMove*>(self);
    try {
        driveMove.move();
    } catch (...) {
        // Out of memory while listing or copying: nothing has been deleted yet.
        driveMove.m_progress = kFailed;
    }
    return 0;
}

void DriveMove::move()
{
    const std::string sourceRoot = m_dataDrive.dataRoot();
    const std::string targetRoot = DataDrive::dataRootOn(m_targetDrive);
    std::vector<std::string> files;
    for (const char* dir : kEngineDirs)
        listFilesRecursive(sourceRoot + dir, files);

    std::vector<std::string> copied;
    if (!copyAll(sourceRoot, targetRoot, files, copied)) {
        m_progress = kFailed;
        return;
    }
    // Switch and record first: a launcher that dies while deleting then still finds every
    // engine file on the new drive. Without the record the next start would look on the
    // old drive, so the engines stay there and the move counts as failed.
    if (!m_dataDrive.switchTo(m_targetDrive)) {
        m_progress = kFailed;
        return;
    }
    shareWork(copied.size(), kFileThreads, [&copied](std::size_t index, unsigned) {
        DeleteFileA(copied[index].c_str());
        return true;
    });
    m_progress = kCompleted;
}

bool DriveMove::copyAll(const std::string& sourceRoot, const std::string& targetRoot,
                        const std::vector<std::string>& files, std::vector<std::string>& copied)
{
    const float count = static_cast<float>(files.size());
    std::vector<char> replaced(files.size(), 0);
    std::vector<FileReplacer> replacers(kFileThreads, FileReplacer(FileReplacer::Failures::Kept));
    std::atomic<std::size_t> done{0};
    std::atomic<int> firstFailed{-1};
    auto copyOne = [&](std::size_t index, unsigned thread) {
        const std::string& file = files[index];
        const std::string relative =
            file.size() > sourceRoot.size() ? file.substr(sourceRoot.size()) : std::string();
        Replacement replacement = Replacement::None;
        if (!replacers[thread].replaceWithBackup(targetRoot, file, relative, &replacement)) {
            int none = -1;
            firstFailed.compare_exchange_strong(none, static_cast<int>(thread));
            return false;
        }
        // A file that already is its target (the two letters name one drive) stays: deleting
        // the source would delete the only copy.
        replaced[index] = replacement != Replacement::None;
        // Counted before the increment, so copying never shows 1.0.
        raiseProgress(static_cast<float>(done++) / count);
        return true;
    };
    const bool allCopied = shareWork(files.size(), kFileThreads, copyOne);
    // One message however many threads failed at once.
    if (firstFailed >= 0)
        replacers[firstFailed].showFailure();
    if (!allCopied)
        return false;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (replaced[i])
            copied.push_back(files[i]);
    return true;
}

void DriveMove::raiseProgress(float value)
{
    // Threads finish their files in any order: the page never sees the progress go back.
    float seen = m_progress;
    while (seen < value && !m_progress.compare_exchange_weak(seen, value)) {
    }
}
