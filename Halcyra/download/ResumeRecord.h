#pragma once
// The resume record "td" beside a partial download.
//
// Layout: bytes 0-3 the total the server announced and bytes 4-7 the bytes already in the
// partial file, each the low 32 bits, little-endian: an 8-byte record is complete for
// files below 4 GiB, and readers that know only that form ignore everything after it.
// What follows is written only when needed: bytes 8-15 the high 32 bits of the total and
// of the count, then the validator of the remote file, one byte saying which header it
// came from ('E' for ETag, 'L' for Last-Modified) and the header's text up to the end of
// the record.
#include <cstdint>
#include <string>

struct ResumeRecord {
    std::uint64_t total = 0;
    std::uint64_t received = 0;
    // What the remote file was when the partial file was started: an ETag or, without
    // one, a Last-Modified date; empty when the server gave neither.
    char validatorKind = 0;  // 'E', 'L' or 0
    std::string validator;
};

// A missing or short file gives 0 (or empty) for every value it does not hold.
ResumeRecord readResumeRecord(const std::string& path);

// Replaces the record's content, overwriting in place, so that rewriting a record of the
// same size needs no new space on a full disk; false when the file cannot be opened or
// written.
bool writeResumeRecord(const std::string& path, const ResumeRecord& record);
