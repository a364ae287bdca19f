#include "Halcyra/scene/SceneDescription.h"

#include "Halcyra/common/PathComponent.h"
#include "Halcyra/scene/SceneFile.h"
#include "Halcyra/scene/StyledJson.h"

#include <io.h>

namespace {

const char kDocumentName[] = "/scenePath.json";
const char kEngineVersionKey[] = "ue4Version";
const char kSceneNameKey[] = "ue4Name";
const char kSceneIdKey[] = "id";
const char kPackageExtension[] = ".pak";
const char* const kRelativePathKeys[] = {"localFilePath", "planPath", "homePath"};
const int kReadable = 4;

bool store(SceneDescription::Table& table, const std::string& key, const std::string& value)
{
    if (key.empty() || value.empty())
        return false;
    table[key] = value;
    return true;
}

bool isRelativePathKey(const std::string& key)
{
    for (const char* pathKey : kRelativePathKeys)
        if (key == pathKey)
            return true;
    return false;
}

// A path on a named drive ("X:...") or a network share ("\\server\share") is whole
// already. A path rooted without a drive ("/plan/a.json") is not: it would be looked up on
// whatever drive the engine happens to run from.
bool namesItsVolume(const std::string& path)
{
    return (path.size() > 1 && path[1] == ':') ||
           (path.size() > 1 && isSeparator(path[0]) && isSeparator(path[1]));
}

// A value prefixed by an earlier document; it must not gain another prefix at every start
// while its file is missing.
bool isInsideDirectory(const std::string& path, const std::string& directory)
{
    return path.compare(0, directory.size(), directory) == 0 &&
           (path.size() == directory.size() || isSeparator(directory.back()) ||
            isSeparator(path[directory.size()]));
}

std::string withoutLastExtension(const std::string& name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

Json::Value toObject(const SceneDescription::Table& table)
{
    Json::Value object(Json::objectValue);
    for (const auto& entry : table)
        object[entry.first] = entry.second;
    return object;
}

}  // namespace

void SceneDescription::setParam(const std::string& key, const std::string& value)
{
    store(m_params, key, value);
}

void SceneDescription::addJson(const std::string& key, const std::string& value)
{
    store(m_topLevel, key, value);
}

void SceneDescription::addJsonBody(const std::string& key, const std::string& value)
{
    store(m_body, key, value);
}

void SceneDescription::addJsonSceneInfo(const std::string& key, const std::string& value)
{
    if (key.empty() || value.empty())
        return;
    if (key == kEngineVersionKey) {
        m_engineVersion = value;
        m_sceneInfo[key] = value;
    } else if (key == kSceneNameKey) {
        m_sceneInfo[key] = withoutLastExtension(value);
    } else if (key == kSceneIdKey) {
        m_currentScenePackage = value + kPackageExtension;
        m_sceneInfo[key] = value;
    } else {
        m_sceneInfo[key] = value;
    }
}

void SceneDescription::addJsonSceneStyles(const std::string& key, const std::string& value)
{
    store(m_styles, key, value);
}

void SceneDescription::clear()
{
    m_params.clear();
    m_topLevel.clear();
    m_body.clear();
    m_sceneInfo.clear();
    m_styles.clear();
}

std::string SceneDescription::param(const std::string& key) const
{
    const auto found = m_params.find(key);
    return found == m_params.end() ? std::string() : found->second;
}

std::string SceneDescription::document(const std::string& directory)
{
    // The page names scene files relative to the scene directory; the engine needs them
    // whole. The prefixed value is kept so the next document starts from it.
    for (auto& entry : m_body) {
        if (!directory.empty() && isRelativePathKey(entry.first) && !namesItsVolume(entry.second) &&
            !isInsideDirectory(entry.second, directory) &&
            _access(entry.second.c_str(), kReadable) != 0)
            entry.second = directory + "/" + entry.second;
    }

    // A styles table that was never filled is written as null, not as an empty object.
    Json::Value styles = m_styles.empty() ? Json::Value() : toObject(m_styles);
    Json::Value sceneInfo = toObject(m_sceneInfo);
    sceneInfo["styles"] = styles;
    Json::Value body = toObject(m_body);
    body["sceneInfo"] = sceneInfo;
    Json::Value root = toObject(m_topLevel);
    root["body"] = body;
    return writeStyledJson(root);
}

bool SceneDescription::writeDocument(const std::string& directory)
{
    return writeSceneFile(directory + kDocumentName, document(directory));
}
