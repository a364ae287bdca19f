#pragma once
// Serialises a JSON value in the classic styled layout that the engine reads: three-space
// indent, " : " between name and value, members in key order, a nested object opening on
// its member's line, one final line feed. Strings are written byte for byte as ANSI code
// page text: bytes of 0x80 and above are never escaped.
#include <json/value.h>

#include <string>

std::string writeStyledJson(const Json::Value& root);
