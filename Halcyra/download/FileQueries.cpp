#include "Halcyra/download/FileQueries.h"

#include "framework/UniqueHandle.h"

#include <windows.h>
#include <bcrypt.h>
#include <io.h>

#include <vector>

namespace {

class AlgorithmProvider {
public:
    explicit AlgorithmProvider(LPCWSTR algorithm) {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&m_handle, algorithm, nullptr, 0)))
            m_handle = nullptr;
    }
    ~AlgorithmProvider() {
        if (m_handle) BCryptCloseAlgorithmProvider(m_handle, 0);
    }
    AlgorithmProvider(const AlgorithmProvider&) = delete;
    AlgorithmProvider& operator=(const AlgorithmProvider&) = delete;

    BCRYPT_ALG_HANDLE get() const { return m_handle; }

private:
    BCRYPT_ALG_HANDLE m_handle = nullptr;
};

class Hash {
public:
    explicit Hash(const AlgorithmProvider& provider) {
        // The provider allocates the hash object itself (Windows 7 and later).
        if (!provider.get() ||
            !BCRYPT_SUCCESS(BCryptCreateHash(provider.get(), &m_handle, nullptr, 0, nullptr, 0, 0)))
            m_handle = nullptr;
    }
    ~Hash() {
        if (m_handle) BCryptDestroyHash(m_handle);
    }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;

    BCRYPT_HASH_HANDLE get() const { return m_handle; }

private:
    BCRYPT_HASH_HANDLE m_handle = nullptr;
};

// Reads in fixed-size pieces so that memory use stays constant whatever the file's size.
constexpr DWORD kReadChunk = 1 << 20;

std::string fileMD5(const std::string& path) {
    fw::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) return std::string();

    AlgorithmProvider md5(BCRYPT_MD5_ALGORITHM);
    Hash hash(md5);
    if (!hash.get()) return std::string();

    std::vector<UCHAR> buffer(kReadChunk);
    std::uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.data(), kReadChunk, &got, nullptr)) return std::string();
        if (got == 0) break;
        if (!BCRYPT_SUCCESS(BCryptHashData(hash.get(), buffer.data(), got, 0))) return std::string();
        total += got;
    }
    if (total == 0) return std::string();

    UCHAR digest[16];
    if (!BCRYPT_SUCCESS(BCryptFinishHash(hash.get(), digest, sizeof digest, 0))) return std::string();

    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * sizeof digest);
    for (UCHAR byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
    }
    return text;
}

}  // namespace

bool isFileExist(const std::string& savePath, const std::string& name) {
    const std::string path = resolveName(savePath, name);
    return !path.empty() && _access(path.c_str(), 4) == 0;
}

void deleteFile(const std::string& savePath, const std::string& name) {
    const std::string path = resolveName(savePath, name);
    if (!path.empty() && _access(path.c_str(), 4) == 0) DeleteFileA(path.c_str());
}

std::int64_t getFileSize(const std::string& savePath, const std::string& name) {
    const std::string path = resolveName(savePath, name);
    if (path.empty()) return 0;
    // Sharing read only, so a file being written elsewhere gives 0. Attribute access alone
    // (FILE_READ_EA) is exempt from sharing checks; read-data access makes the check apply.
    fw::UniqueHandle file(CreateFileA(path.c_str(), FILE_READ_EA | FILE_READ_DATA,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) return 0;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return 0;
    return size.QuadPart;
}

std::string getFileMD5(const std::string& savePath, const std::string& name) {
    const std::string path = resolveName(savePath, name);
    return path.empty() ? std::string() : fileMD5(path);
}
