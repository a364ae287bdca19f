#pragma once
#include <string>

namespace ROVodi {

// Replaces the whole file by bytes so that no failure leaves it truncated or half written:
// the bytes go to a sibling temporary file ("<path>.tmp"), are flushed to the disk, and
// then take the file's name in one rename. False on any failure (disk full, read-only
// file, no such directory); the file then holds what it held before and no temporary
// file stays behind. A file that did not exist is created the same way.
bool writeFileSafely(const std::string& path, const std::string& bytes);

}  // namespace ROVodi
