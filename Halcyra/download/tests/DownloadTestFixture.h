#pragma once
// Shared set-up of the download tests: drive D: mapped, data drive D, save path D:/dl,
// uncompress path D:/un, an HTTP server on 127.0.0.1 and a message-box recorder.
#include "Halcyra/download/DownloadManager.h"
#include "Halcyra/storage/DataDrive.h"
#include "framework/MessageBox.h"
#include "framework/UniqueHandle.h"
#include "tests/support/DriveFixture.h"
#include "tests/support/Eventually.h"
#include "tests/support/Files.h"
#include "tests/support/HttpTestServer.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using testing_support::eventually;
using testing_support::readBytes;
using testing_support::writeBytes;

// FNV-1a: a digest of files too large to hold in memory.
class FileDigest {
public:
    void add(const char* data, std::size_t size)
    {
        for (std::size_t i = 0; i < size; ++i) {
            m_value ^= static_cast<unsigned char>(data[i]);
            m_value *= 0x100000001B3ull;
        }
    }
    std::uint64_t value() const { return m_value; }

private:
    std::uint64_t m_value = 0xCBF29CE484222325ull;
};

// The digests of a file and of a reply's body, taken piece by piece; true when the two
// are equal and as long as each other.
inline bool sameAsBody(const std::string& path, const HttpReply& body, std::uint64_t& fileDigest,
                std::uint64_t& bodyDigest)
{
    fw::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    const std::size_t pieceBytes = 4u << 20;
    std::vector<char> fromFile(pieceBytes), fromBody(pieceBytes);
    FileDigest ofFile, ofBody;
    std::uint64_t offset = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), fromFile.data(), static_cast<DWORD>(pieceBytes), &got, nullptr)) return false;
        if (got == 0) break;
        if (offset + got > body.bodySize()) return false;
        body.bodyBytes(offset, fromBody.data(), got);
        ofFile.add(fromFile.data(), got);
        ofBody.add(fromBody.data(), got);
        offset += got;
    }
    fileDigest = ofFile.value();
    bodyDigest = ofBody.value();
    return offset == body.bodySize() && fileDigest == bodyDigest;
}

// The whole body, with an ETag when one is given.
inline HttpReply fullReply(const std::shared_ptr<const std::string>& body, const std::string& etag = std::string())
{
    HttpReply reply;
    reply.body = body;
    reply.etag = etag;
    return reply;
}

// Answers each request with the reply of its position; the last one for every later request.
inline HttpTestServer::Handler sequence(std::vector<HttpReply> replies)
{
    auto count = std::make_shared<std::atomic<std::size_t>>(0);
    return [replies, count](const HttpRequest&) {
        const std::size_t index = (*count)++;
        return replies[std::min(index, replies.size() - 1)];
    };
}

// The reply, except that no answer sends a byte at or beyond stopAt: the server holds the
// connection there, so a transfer certainly stands still at that count.
inline HttpTestServer::Handler holdingAt(const HttpReply& reply, std::uint64_t stopAt)
{
    return [reply, stopAt](const HttpRequest& request) {
        unsigned long long first = 0;
        std::sscanf(request.range.c_str(), "bytes=%llu-", &first);
        HttpReply held = reply;
        held.stallAfter = first < stopAt ? stopAt - first : 0;
        return held;
    };
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(drives.map('D')) << drives.error();
        dataDrive.init();
        dataDrive.setDrive("D");
        fw::setMessageBoxRecorder([this](const fw::MessageBoxCall& call) {
            std::lock_guard<std::mutex> guard(m_messageLock);
            m_messages.push_back(call);
            return IDOK;
        });
        downloads.setSavePath("dl");
        downloads.setUnCompressPath("un");
        downloads.setReconnectPauses(10, 40);
        downloads.setStallTimeout(2000);
    }

    void TearDown() override
    {
        downloads.clearDownload();
        fw::setMessageBoxRecorder(nullptr);
    }

    std::vector<fw::MessageBoxCall> messages()
    {
        std::lock_guard<std::mutex> guard(m_messageLock);
        return m_messages;
    }

    // Waits until the task table is empty; false after timeoutMs.
    bool waitForIdle(DWORD timeoutMs = 60000)
    {
        const DWORD start = GetTickCount();
        while (downloads.taskCount() != 0) {
            if (GetTickCount() - start > timeoutMs) return false;
            Sleep(10);
        }
        return true;
    }

    // Waits until the task has reported at least `received` bytes.
    bool waitForReceived(const std::string& name, std::uint64_t received, DWORD timeoutMs = 30000)
    {
        const DWORD start = GetTickCount();
        for (;;) {
            TaskProgress progress;
            if (downloads.findProgress(name, progress) && progress.reported && progress.received >= received)
                return true;
            if (GetTickCount() - start > timeoutMs) return false;
            Sleep(5);
        }
    }

    // Equal byte strings; on failure the sizes and the first differing offset, not the bytes.
    static ::testing::AssertionResult sameBytes(const std::string& expected, const std::string& actual)
    {
        if (expected == actual) return ::testing::AssertionSuccess();
        std::size_t offset = 0;
        while (offset < expected.size() && offset < actual.size() && expected[offset] == actual[offset]) ++offset;
        return ::testing::AssertionFailure() << "expected " << expected.size() << " bytes, got "
                                             << actual.size() << ", first difference at " << offset;
    }

    static bool exists(const std::string& path)
    {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    static std::string record(std::uint32_t total, std::uint32_t received)
    {
        std::string bytes;
        for (std::uint32_t value : {total, received})
            for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(value >> shift);
        return bytes;
    }

    static std::string dl(const std::string& name) { return "D:/dl/" + name; }

    HttpTestServer server;
    testing_support::DriveFixture drives;
    DataDrive dataDrive;
    DownloadManager downloads{dataDrive};  // last: its workers stop before the rest ends

private:
    std::mutex m_messageLock;
    std::vector<fw::MessageBoxCall> m_messages;
};
