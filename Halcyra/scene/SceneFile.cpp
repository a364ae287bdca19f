#include "Halcyra/scene/SceneFile.h"

#include "framework/MessageBox.h"
#include "framework/UniqueHandle.h"

#include <windows.h>

#include <cstdio>

namespace {

const char kCreateFailedFormat[] =
    "创建文件（%s）失败! 通常是您没有写文件权限引起，请尝试重置Internet Explorer设置!";
const char kCreateFailedCaption[] = "创建文件失败";

}  // namespace

bool writeSceneFile(const std::string& path, const std::string& content)
{
    const fw::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        char message[1024] = {};
        std::snprintf(message, sizeof message, kCreateFailedFormat, path.c_str());
        fw::messageBox(GetActiveWindow(), message, kCreateFailedCaption, MB_OK);
        return false;
    }
    DWORD written = 0;
    // A short write is not reported: the engine finds out when it reads the file.
    WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    return true;
}
