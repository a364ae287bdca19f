#pragma once
// Moves the engine directories of the data root ("420/", "424/", "426/") to another drive
// on a worker thread; the page starts a move and then polls its progress.
#include "framework/UniqueHandle.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

class DataDrive;

class DriveMove {
public:
    explicit DriveMove(DataDrive& dataDrive);
    ~DriveMove();  // waits for a running move: its worker uses this object
    DriveMove(const DriveMove&) = delete;
    DriveMove& operator=(const DriveMove&) = delete;

    // Starts a move to drive, one letter A to Z in either case. Ignored while the worker of
    // a move is held (running, or ended but not yet polled), for the data drive itself and
    // for anything else. A letter that is not a fixed drive present now is refused: the
    // progress becomes -1.0 and nothing moves. So is any move when mayRun is false (the
    // engines are being updated).
    void changeDisk(const std::string& drive, bool mayRun = true);

    // True while the worker of a move runs.
    bool running() const;

    // Files copied so far as a fraction, 1.0 after a completed move and -1.0 after a failed
    // one. A poll after the worker has ended releases it, so a new move can start.
    float progress();

    // Returns once no move runs; the launcher waits so before it stops, its windows
    // answering meanwhile.
    void waitForEnd();

private:
    static DWORD WINAPI changeDiskWorker(void* self);
    void move();
    // Copies the files; those really copied (to be deleted at the source) go to copied.
    bool copyAll(const std::string& sourceRoot, const std::string& targetRoot,
                 const std::vector<std::string>& files, std::vector<std::string>& copied);
    void raiseProgress(float value);

    DataDrive& m_dataDrive;
    std::string m_targetDrive;  // written only while no worker exists
    std::atomic<float> m_progress{0.0f};
    fw::UniqueHandle m_worker;
    bool m_waiting = false;  // waitForEnd waits on m_worker: a poll must not release it
};
