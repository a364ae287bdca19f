#include "Halcyra/download/FileQueries.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// A save directory inside a fresh temporary directory, so that names can point outside it.
class SaveDir : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CreateDirectoryA(m_path.c_str(), nullptr)); }

    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = m_path + "/" + name;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << path;
        DWORD written = 0;
        if (!bytes.empty()) WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(h);
        return path;
    }

    static bool exists(const std::string& path) {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    testing_support::TempDir m_dir;
    const std::string m_root = m_dir.path();
    const std::string m_path = m_root + "\\save";
};

}  // namespace

TEST_F(SaveDir, ExistenceAndDeletion) {
    write("a.pak", "data");
    ASSERT_TRUE(CreateDirectoryA((m_path + "/sub").c_str(), nullptr));
    write("sub/b.pak", "b");

    EXPECT_TRUE(isFileExist(m_path, "a.pak"));
    EXPECT_TRUE(isFileExist(m_path, "sub/b.pak"));
    EXPECT_TRUE(isFileExist(m_path, "sub\\b.pak"));
    EXPECT_TRUE(isFileExist(m_path, "sub"));
    EXPECT_FALSE(isFileExist(m_path, "missing.pak"));

    deleteFile(m_path, "sub");
    EXPECT_TRUE(exists(m_path + "/sub")) << "a directory is never removed";
    deleteFile(m_path, "missing.pak");
    deleteFile(m_path, "sub/b.pak");
    EXPECT_FALSE(exists(m_path + "/sub/b.pak"));
    deleteFile(m_path, "a.pak");
    EXPECT_FALSE(isFileExist(m_path, "a.pak"));
}

TEST_F(SaveDir, NamesOutsideTheSavePathCountAsMissing) {
    const std::string outside = m_root + "/outside.pak";
    HANDLE h = CreateFileA(outside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, "abc", 3, &written, nullptr);
    CloseHandle(h);

    EXPECT_FALSE(isFileExist(m_path, "../outside.pak"));
    EXPECT_EQ(getFileSize(m_path, "../outside.pak"), 0);
    EXPECT_EQ(getFileMD5(m_path, "..\\outside.pak"), "");
    deleteFile(m_path, "../outside.pak");
    deleteFile(m_path, outside);
    EXPECT_TRUE(exists(outside));
}

TEST_F(SaveDir, DeviceAndOverlongNamesCountAsMissing) {
    for (const char* name : {"nul", "nul.pak", "NUL.tar.gz", "aux.pak", "com1.pak", "LPT9"}) {
        EXPECT_FALSE(isFileExist(m_path, name)) << name;
        EXPECT_EQ(getFileSize(m_path, name), 0) << name;
        EXPECT_EQ(getFileMD5(m_path, name), "") << name;
        deleteFile(m_path, name);
    }
    // Under Wine the file functions hold a path's length in 16 bits: these two names would
    // reach the save directory itself and its file "q".
    write("q", "abc");
    const std::string wrapsToDirectory(65536, 'q');
    const std::string wrapsToQ(65537, 'q');
    EXPECT_FALSE(isFileExist(m_path, wrapsToDirectory));
    EXPECT_FALSE(isFileExist(m_path, wrapsToQ));
    EXPECT_EQ(getFileSize(m_path, wrapsToQ), 0);
    EXPECT_EQ(getFileMD5(m_path, wrapsToQ), "");
    deleteFile(m_path, wrapsToQ);
    EXPECT_TRUE(exists(m_path + "/q"));
}

TEST(FileQueriesWithoutSavePath, EveryNameIsMissing) {
    // Without a save path the names would resolve against the root of the current drive.
    const std::string probe = "file-query-probe.bin";
    const std::string inRoot = "/" + probe;
    HANDLE h = CreateFileA(inRoot.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, "abc", 3, &written, nullptr);
    CloseHandle(h);

    EXPECT_FALSE(isFileExist("", probe));
    EXPECT_EQ(getFileSize("", probe), 0);
    EXPECT_EQ(getFileMD5("", probe), "");
    deleteFile("", probe);
    EXPECT_NE(GetFileAttributesA(inRoot.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(inRoot.c_str());
}

TEST_F(SaveDir, SizeOfFilesOpenOrMissing) {
    write("five.bin", "12345");
    write("empty.bin", "");
    EXPECT_EQ(getFileSize(m_path, "five.bin"), 5);
    EXPECT_EQ(getFileSize(m_path, "empty.bin"), 0);
    EXPECT_EQ(getFileSize(m_path, "missing.bin"), 0);

    // Held open for writing (as a download in progress is): the query gives 0.
    HANDLE writer = CreateFileA((m_path + "/five.bin").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(getFileSize(m_path, "five.bin"), 0);
    CloseHandle(writer);
    EXPECT_EQ(getFileSize(m_path, "five.bin"), 5);
}

TEST_F(SaveDir, SizeBeyondFourGigabytes) {
    // A sparse file: its size is set, nothing is written.
    const std::int64_t size = (std::int64_t(5) << 30) + 3;
    HANDLE h = CreateFileA((m_path + "/big.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = size;
    const bool grown = SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    ASSERT_TRUE(grown);
    EXPECT_EQ(getFileSize(m_path, "big.bin"), size);
}

TEST_F(SaveDir, DigestOfKnownTexts) {
    // RFC 1321, appendix A.5.
    const struct {
        const char* text;
        const char* digest;
    } vectors[] = {
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    for (const auto& v : vectors) {
        write("v.txt", v.text);
        EXPECT_EQ(getFileMD5(m_path, "v.txt"), v.digest) << v.text;
    }
}

TEST_F(SaveDir, DigestOfEmptyMissingAndDirectory) {
    write("empty.bin", "");
    ASSERT_TRUE(CreateDirectoryA((m_path + "/sub").c_str(), nullptr));
    EXPECT_EQ(getFileMD5(m_path, "empty.bin"), "");
    EXPECT_EQ(getFileMD5(m_path, "missing.bin"), "");
    EXPECT_EQ(getFileMD5(m_path, "sub"), "");
}

TEST_F(SaveDir, DigestOfALargeFileMatchesMd5sum) {
    // 300 MiB + 12345 bytes of a linear congruential sequence, little-endian words; the
    // digest is md5sum's for the same bytes. Crosses many read chunks and ends mid-chunk.
    const std::uint64_t size = (std::uint64_t(300) << 20) + 12345;
    const std::string path = m_path + "/large.bin";
    {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        std::vector<std::uint32_t> block(1 << 18);
        std::uint32_t x = 0x12345678;
        for (std::uint64_t done = 0; done < size;) {
            for (auto& word : block) word = x = x * 1664525u + 1013904223u;
            const DWORD n = DWORD(std::min<std::uint64_t>(size - done, block.size() * 4));
            DWORD written = 0;
            ASSERT_TRUE(WriteFile(h, block.data(), n, &written, nullptr));
            done += n;
        }
        CloseHandle(h);
    }
    EXPECT_EQ(getFileMD5(m_path, "large.bin"), "E57D2A5B4497B2AE328A50742B32027B");
}
