#pragma once
// What the page tells the launcher about the scene to open: the five scene tables, the
// values derived from them, and the "scenePath.json" document written from them.
#include <map>
#include <string>

class SceneDescription {
public:
    using Table = std::map<std::string, std::string>;  // byte-wise key order

    // Each stores key -> value in its table; an empty key or value is ignored.
    void setParam(const std::string& key, const std::string& value);
    void addJson(const std::string& key, const std::string& value);
    void addJsonBody(const std::string& key, const std::string& value);
    void addJsonSceneInfo(const std::string& key, const std::string& value);
    void addJsonSceneStyles(const std::string& key, const std::string& value);

    // Empties the five tables (start-up).
    void clear();

    std::string param(const std::string& key) const;  // "" when absent
    const std::string& engineVersion() const { return m_engineVersion; }
    const std::string& currentScenePackage() const { return m_currentScenePackage; }
    const std::string& sceneDirectory() const { return m_sceneDirectory; }
    void setSceneDirectory(const std::string& directory) { m_sceneDirectory = directory; }

    const Table& params() const { return m_params; }
    const Table& topLevel() const { return m_topLevel; }
    const Table& body() const { return m_body; }
    const Table& sceneInfo() const { return m_sceneInfo; }
    const Table& styles() const { return m_styles; }

    // The document for the given directory. Relative "localFilePath", "planPath" and
    // "homePath" body values are prefixed with the directory, here and in the body table.
    std::string document(const std::string& directory);

    // Writes document(directory) to directory + "/scenePath.json"; when the file cannot be
    // created the user is told and false is returned.
    bool writeDocument(const std::string& directory);

private:
    Table m_params;
    Table m_topLevel;
    Table m_body;
    Table m_sceneInfo;
    Table m_styles;
    std::string m_engineVersion;
    std::string m_currentScenePackage;
    std::string m_sceneDirectory;
};
