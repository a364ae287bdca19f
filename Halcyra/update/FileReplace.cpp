#include "Halcyra/update/FileReplace.h"

#include "Halcyra/common/Helpers.h"
#include "Halcyra/common/PathComponent.h"
#include "Halcyra/common/UserMessage.h"
#include "framework/UniqueHandle.h"

#include <windows.h>
#include <io.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

const char kReplaceFailedText[] =
    "错误:无法更新文件[%s],请确认文件是否被锁定(请关闭程序后手动拷贝过去),%s";
const char kReplaceFailedCaption[] = "版本更新";
const char kBackupDir[] = "bak/";
const int kReadable = 4;
const int kExists = 0;

fw::UniqueHandle openFile(const std::string& path, DWORD access, DWORD share,
                          DWORD disposition)
{
    return fw::UniqueHandle(CreateFileA(path.c_str(), access, share, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                        nullptr));
}

// The path as the copy compares it: "\" turned into "/", one leading "./" dropped.
std::string normalised(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.compare(0, 2, "./") == 0)
        path.erase(0, 2);
    return path;
}

std::string format(const char* pattern, ...)
{
    va_list args;
    va_start(args, pattern);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, pattern, measure);
    va_end(measure);
    std::string text(length > 0 ? length : 0, '\0');
    if (length > 0)
        std::vsnprintf(&text[0], text.size() + 1, pattern, args);
    va_end(args);
    return text;
}

// Large enough that a typical engine file comes in one read.
const DWORD kCopyBlock = 256 * 1024;

bool isMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The file's full path as the file system resolves it; empty when it cannot be told.
std::wstring resolvedPath(HANDLE file)
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()), 0);
    if (length >= path.size()) {
        path.resize(length);
        length = GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()), 0);
    }
    path.resize(length < path.size() ? length : 0);
    return path;
}

// The target is the open source itself, reached through another spelling of its path
// (letter case, "..", a doubled separator).
bool sameFile(HANDLE source, const std::string& target)
{
    const fw::UniqueHandle other = openFile(
        target, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        OPEN_EXISTING);
    if (!other)
        return false;
    const std::wstring a = resolvedPath(source);
    const std::wstring b = resolvedPath(other.get());
    if (!a.empty() && !b.empty())
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                    static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
    // Without both paths, the volume and the file's number on it tell, where the file
    // system numbers its files (0 means it does not).
    BY_HANDLE_FILE_INFORMATION one, two;
    return GetFileInformationByHandle(source, &one) &&
           GetFileInformationByHandle(other.get(), &two) &&
           (one.nFileIndexHigh | one.nFileIndexLow) != 0 &&
           one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
           one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
}

// Moves an existing target to its backup path, replacing an older backup; false when
// there was nothing to move or it could not be moved.
bool moveToBackup(const std::string& target, const std::string& backup)
{
    createParentDirs(backup);
    DeleteFileA(backup.c_str());
    return MoveFileA(target.c_str(), backup.c_str()) != FALSE;
}

enum class CopyResult { Done, TargetNotOpened, Incomplete };

// Every byte of the open source into out through block. Any failed read or write, such as
// a short write on a full drive, leaves an incomplete target.
CopyResult copyBytes(HANDLE in, fw::UniqueHandle out, std::vector<char>& block)
{
    block.resize(kCopyBlock);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(in, block.data(), kCopyBlock, &read, nullptr))
            return CopyResult::Incomplete;
        if (read == 0)
            break;
        DWORD written = 0;
        if (!WriteFile(out.get(), block.data(), read, &written, nullptr) || written != read)
            return CopyResult::Incomplete;
        // A disk file reads short only at its end; asking again would cost a call per file.
        if (read < kCopyBlock)
            break;
    }
    return CloseHandle(out.release()) ? CopyResult::Done : CopyResult::Incomplete;
}

}  // namespace

void listFilesRecursive(const std::string& dir, std::vector<std::string>& files)
{
    const bool endsInBackslash = !dir.empty() && dir.back() == '\\';
    const bool endsInSeparator = !dir.empty() && isSeparator(dir.back());
    const std::string filePrefix = endsInBackslash ? dir : dir + "\\";
    // A directory path ending in "/" is extended as it is, so that "D:/x/" gives
    // "D:/x/sub\"; one without any separator needs one first.
    const std::string dirPrefix = endsInSeparator ? dir : dir + "\\";

    WIN32_FIND_DATAA entry;
    fw::UniqueFindHandle find(FindFirstFileA((filePrefix + "*").c_str(), &entry));
    if (!find)
        return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A linked directory may lead back up the tree; its files are not ours to list.
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                listFilesRecursive(dirPrefix + name + "\\", files);
        } else {
            files.push_back(filePrefix + name);
        }
    } while (FindNextFileA(find.get(), &entry));
}

bool replaceWithBackup(const std::string& root, const std::string& source,
                       const std::string& relative, Replacement* done)
{
    return FileReplacer().replaceWithBackup(root, source, relative, done);
}

bool FileReplacer::replaceWithBackup(const std::string& root, const std::string& source,
                                     const std::string& relative, Replacement* done)
{
    Replacement ignored;
    Replacement& result = done ? *done : ignored;
    result = Replacement::None;
    const std::string target = root + relative;
    // Backing up a file that is its own source would take it out of place for good.
    if (normalised(source) == normalised(target))
        return true;
    const std::string backup = root + kBackupDir + relative;

    // Each file of a drive move or an installation costs the calls below and no more: the
    // target's existence and its directories are learnt from the creation itself.
    const fw::UniqueHandle in = openFile(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         OPEN_EXISTING);
    if (!in && isMissing(GetLastError())) {
        // Nothing to copy; an existing target still goes to the backup.
        if (_access(target.c_str(), kReadable) == 0 && moveToBackup(target, backup))
            result = Replacement::BackedUp;
        return true;
    }

    CopyResult copied = CopyResult::TargetNotOpened;
    bool backedUp = false;
    if (in) {
        fw::UniqueHandle out = openFile(target, GENERIC_WRITE, 0, CREATE_NEW);
        if (!out && GetLastError() == ERROR_PATH_NOT_FOUND && createParentDirs(target))
            out = openFile(target, GENERIC_WRITE, 0, CREATE_NEW);
        if (!out && _access(target.c_str(), kExists) == 0) {
            if (sameFile(in.get(), target))
                return true;
            // A file that cannot be kept under bak/ is not overwritten either.
            backedUp = moveToBackup(target, backup);
            if (backedUp)
                out = openFile(target, GENERIC_WRITE, 0, CREATE_NEW);
        }
        if (out)
            copied = copyBytes(in.get(), std::move(out), m_block);
    }
    if (copied == CopyResult::Done) {
        result = backedUp ? Replacement::BackedUp : Replacement::Added;
        return true;
    }

    if (copied == CopyResult::Incomplete)
        DeleteFileA(target.c_str());
    // A backup that cannot go back stays recorded, so that an undo tries again.
    if (backedUp && !MoveFileA(backup.c_str(), target.c_str()))
        result = Replacement::BackedUp;
    m_failure = format(kReplaceFailedText, target.c_str(), source.c_str());
    if (m_failures == Failures::Shown)
        showFailure();
    return false;
}

void FileReplacer::showFailure() const
{
    if (!m_failure.empty())
        showUserMessage(m_failure.c_str(), kReplaceFailedCaption, MB_OK);
}

namespace {

// The path with "\\" turned into "/", runs of separators into one, leading ones dropped and
// ASCII letters in lower case, as the file system compares names.
std::string comparable(const std::string& path)
{
    std::string key;
    for (char c : path) {
        if (isSeparator(c)) {
            if (!key.empty() && key.back() != '/')
                key += '/';
        } else {
            key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    return key;
}

}  // namespace

bool sameTarget(const std::string& a, const std::string& b)
{
    return comparable(a) == comparable(b);
}

bool undoReplacement(const std::string& root, const std::string& relative, Replacement done)
{
    const std::string target = root + relative;
    switch (done) {
    case Replacement::Added:
        DeleteFileA(target.c_str());
        return true;
    case Replacement::BackedUp:
        return MoveFileExA((root + kBackupDir + relative).c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING) != FALSE;
    case Replacement::None:
        break;
    }
    return true;
}

std::string backupDir(const std::string& root)
{
    return root + kBackupDir;
}
