#include "Halcyra/download/ResumeRecord.h"

#include "framework/UniqueHandle.h"
#include "utility/crStreamBuf.h"

#include <vector>

namespace {

const std::size_t kBaseBytes = 8;
const std::size_t kExtendedBytes = 16;
const std::size_t kMaxRecordBytes = 4096;
const std::uint64_t kLow32 = 0xFFFFFFFFull;

std::uint32_t littleEndian(const unsigned char* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace

ResumeRecord readResumeRecord(const std::string& path)
{
    ResumeRecord record;
    fw::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return record;
    std::vector<unsigned char> bytes(kMaxRecordBytes);
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return record;
    bytes.resize(got < kBaseBytes ? kBaseBytes : got);  // zero-filled where short
    record.total = littleEndian(&bytes[0]);
    record.received = littleEndian(&bytes[4]);
    if (bytes.size() >= kExtendedBytes) {
        record.total |= static_cast<std::uint64_t>(littleEndian(&bytes[8])) << 32;
        record.received |= static_cast<std::uint64_t>(littleEndian(&bytes[12])) << 32;
    }
    if (bytes.size() > kExtendedBytes + 1 && (bytes[16] == 'E' || bytes[16] == 'L')) {
        record.validatorKind = static_cast<char>(bytes[16]);
        record.validator.assign(bytes.begin() + kExtendedBytes + 1, bytes.end());
    }
    return record;
}

bool writeResumeRecord(const std::string& path, const ResumeRecord& record)
{
    ROVodi::crStreamBuf buffer;
    buffer.writeInt(static_cast<std::int32_t>(record.total & kLow32));
    buffer.writeInt(static_cast<std::int32_t>(record.received & kLow32));
    const bool large = record.total > kLow32 || record.received > kLow32;
    const bool validated = record.validatorKind != 0 && !record.validator.empty();
    if (large || validated) {
        buffer.writeInt(static_cast<std::int32_t>(record.total >> 32));
        buffer.writeInt(static_cast<std::int32_t>(record.received >> 32));
    }
    std::string bytes(reinterpret_cast<const char*>(buffer.start()), static_cast<std::size_t>(buffer.dataSize()));
    if (validated) bytes += std::string(1, record.validatorKind) + record.validator;

    fw::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == static_cast<DWORD>(bytes.size()) && SetEndOfFile(file.get());
}
