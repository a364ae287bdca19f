#include "Halcyra/update/FileReplace.h"

#include "Halcyra/common/Helpers.h"
#include "framework/MessageBox.h"
#include "framework/UniqueHandle.h"

#include <windows.h>
#include <io.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>

namespace {

const char kReplaceFailedText[] =
    "错误:无法更新文件[%s],请确认文件是否被锁定(请关闭程序后手动拷贝过去),%s";
const char kReplaceFailedCaption[] = "版本更新";
const char kBackupDir[] = "bak/";
const int kReadable = 4;
const int kExists = 0;
// Large enough that copying runs at the speed of the drives, not of the calls; small
// enough to come from the ordinary heap: a block of 1 MiB, mapped and unmapped for every
// file, made a move of many small files several times slower under Wine.
const DWORD kCopyBlock = 1 << 16;

fw::UniqueHandle openFile(const std::string& path, DWORD access, DWORD share,
                          DWORD disposition)
{
    return fw::UniqueHandle(CreateFileA(path.c_str(), access, share, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                        nullptr));
}

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
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

enum class CopyResult { Done, TargetNotOpened, Incomplete };

// Copies every byte of source into a new target. Any failed read or write, such as a short
// write on a full drive, leaves an incomplete target.
CopyResult copyWhole(const std::string& source, const std::string& target)
{
    fw::UniqueHandle out = openFile(target, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (!out)
        return CopyResult::TargetNotOpened;
    fw::UniqueHandle in = openFile(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             OPEN_EXISTING);
    if (!in)
        return CopyResult::Incomplete;
    std::unique_ptr<char[]> block(new char[kCopyBlock]);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(in.get(), block.get(), kCopyBlock, &read, nullptr))
            return CopyResult::Incomplete;
        if (read == 0)
            break;
        DWORD written = 0;
        if (!WriteFile(out.get(), block.get(), read, &written, nullptr) || written != read)
            return CopyResult::Incomplete;
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
                       const std::string& relative)
{
    const std::string target = root + relative;
    // Backing up a file that is its own source would take it out of place for good.
    if (normalised(source) == normalised(target))
        return true;

    const std::string backup = root + kBackupDir + relative;
    bool backedUp = false;
    if (_access(target.c_str(), kReadable) == 0) {
        createParentDirs(backup);
        DeleteFileA(backup.c_str());
        backedUp = MoveFileA(target.c_str(), backup.c_str()) != FALSE;
    }
    if (_access(source.c_str(), kExists) != 0)
        return true;

    createParentDirs(target);
    const CopyResult copied = copyWhole(source, target);
    if (copied == CopyResult::Done)
        return true;

    if (copied == CopyResult::Incomplete)
        DeleteFileA(target.c_str());
    if (backedUp)
        MoveFileA(backup.c_str(), target.c_str());
    fw::messageBox(GetActiveWindow(),
                   format(kReplaceFailedText, target.c_str(), source.c_str()).c_str(),
                   kReplaceFailedCaption, MB_OK);
    return false;
}
