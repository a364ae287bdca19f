#include "Halcyra/download/ResumeRecord.h"

#include "framework/UniqueHandle.h"
#include "utility/crStreamBuf.h"

namespace {

const int kRecordBytes = 8;

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
    unsigned char bytes[kRecordBytes] = {};
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes, kRecordBytes, &got, nullptr)) return record;
    record.total = littleEndian(bytes);
    record.received = littleEndian(bytes + 4);
    return record;
}

bool writeResumeRecord(const std::string& path, const ResumeRecord& record)
{
    ROVodi::crStreamBuf buffer;
    buffer.writeInt(static_cast<std::int32_t>(record.total));
    buffer.writeInt(static_cast<std::int32_t>(record.received));

    fw::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), buffer.start(), static_cast<DWORD>(buffer.dataSize()), &written, nullptr) &&
           written == static_cast<DWORD>(buffer.dataSize()) && SetEndOfFile(file.get());
}
