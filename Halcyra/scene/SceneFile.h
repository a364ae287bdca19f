#pragma once
// The files the scene start writes ("scenePath.json", "buf.txt"): created afresh and
// written in one go. A file that cannot be created is reported to the user.
#include <string>

// false (after telling the user) when the file cannot be created.
bool writeSceneFile(const std::string& path, const std::string& content);
