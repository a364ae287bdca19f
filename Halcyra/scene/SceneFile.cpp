#include "Halcyra/scene/SceneFile.h"

#include "Halcyra/common/Helpers.h"
#include "framework/UniqueHandle.h"

#include <windows.h>

bool writeSceneFile(const std::string& path, const std::string& content)
{
    const fw::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        showCreateFileFailed(path);
        return false;
    }
    DWORD written = 0;
    // A short write is not reported: the engine finds out when it reads the file.
    WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    return true;
}
