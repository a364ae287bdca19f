#include "Halcyra/download/NameResolution.h"

#include "Halcyra/common/Helpers.h"
#include "Halcyra/common/PathComponent.h"

#include <windows.h>

#include <vector>

namespace {

// What the ANSI file functions take, in characters: a path of MAX_PATH - 1; a directory
// that CreateDirectory makes leaves room for an 8.3 file name; a file name of 255.
const std::size_t kMaxPathChars = MAX_PATH - 1;
const std::size_t kMaxDirectoryChars = MAX_PATH - 13;
const std::size_t kMaxComponentChars = 255;
// No code page spends more than 4 bytes on a character: text longer than this is too long
// without converting it (and a huge text is not converted at all).
const std::size_t kMaxPathBytes = 4 * kMaxPathChars;

std::vector<std::wstring> splitComponents(const std::wstring& path)
{
    std::vector<std::wstring> parts(1);
    for (wchar_t c : path) {
        if (isSeparator(c))
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

bool isAcceptedName(const std::wstring& name)
{
    if (name.empty() || isSeparator(name[0]) || name.find(L':') != std::wstring::npos) return false;
    for (const std::wstring& component : splitComponents(name)) {
        if (component.size() > kMaxComponentChars || isParentReference(component) ||
            isDeviceName(component))
            return false;
    }
    return true;
}

bool fitsPathLimits(const std::wstring& path, std::size_t suffixRoom)
{
    if (path.size() + suffixRoom > kMaxPathChars) return false;
    const std::size_t lastSeparator = path.find_last_of(L"/\\");
    return lastSeparator == std::wstring::npos || lastSeparator <= kMaxDirectoryChars;
}

// The form Windows reduces a relative name to before it looks for the file, apart from
// letter case: '/' for '\', no empty or "." components, and every component without
// trailing dots and spaces.
std::wstring fileKey(const std::string& name)
{
    std::wstring key;
    for (std::wstring part : splitComponents(toWide(name))) {
        // "." goes with its dot; ".." is never trimmed to nothing.
        if (part != L"..") part.erase(part.find_last_not_of(L". ") + 1);
        if (part.empty()) continue;
        if (!key.empty()) key += L'/';
        key += part;
    }
    return key;
}

}  // namespace

std::string resolveName(const std::string& savePath, const std::string& name, std::size_t suffixRoom)
{
    if (savePath.empty() || savePath.size() + 1 + name.size() > kMaxPathBytes) return std::string();
    const std::wstring wideName = toWide(name);
    if (!isAcceptedName(wideName)) return std::string();
    const std::string path = savePath + "/" + name;
    if (!fitsPathLimits(toWide(path), suffixRoom)) return std::string();
    return path;
}

bool isSameFileName(const std::string& first, const std::string& second)
{
    if (first == second) return true;
    if (first.size() > kMaxPathBytes || second.size() > kMaxPathBytes) return false;
    const std::wstring a = fileKey(first), b = fileKey(second);
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool fitsDirectoryLimit(const std::string& path)
{
    return !path.empty() && path.size() <= kMaxPathBytes &&
           toWide(path).size() <= kMaxDirectoryChars;
}
