#pragma once
// The resume record "td" beside a partial download: the total the server announced and
// the bytes already in the partial file, each 32-bit little-endian.
#include <cstdint>
#include <string>

struct ResumeRecord {
    std::uint32_t total = 0;
    std::uint32_t received = 0;
};

// A missing or short file gives 0 for every value it does not hold; bytes beyond the
// first 8 are ignored.
ResumeRecord readResumeRecord(const std::string& path);

// Overwrites the record in place, so that rewriting it needs no new space on a full disk;
// false when the file cannot be opened or written.
bool writeResumeRecord(const std::string& path, const ResumeRecord& record);
