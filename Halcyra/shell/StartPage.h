#pragma once
// The page the launcher opens: the bytes of the start page file up to its first zero
// byte, untrimmed (line ends included); the default page when the file is missing or
// empty.
#include <string>

extern const char kDefaultStartPage[];

std::string readStartPage(const char* fileName);
