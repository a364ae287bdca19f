// A file of 4 GiB and more, end to end: a body of 4 GiB + 1 MiB made by the server, the
// partial file on a drive on disk, stopped and resumed on both sides of the 4 GiB mark, the
// progress text and the resume record holding the real counts, and the finished file
// compared with the server's body.
//
// Most of the body is zeros, and the test stands the partial file's zeros in for their
// transfer: after the first stop it extends the partial file, sparse, to 4 MiB short of
// 4 GiB and records that count, as if the transfer had gone on until there. Everything
// before and after that stretch goes through WinINet.
#include "Halcyra/download/ResumeRecord.h"
#include "Halcyra/download/tests/DownloadTestFixture.h"


namespace {

const std::uint64_t kFourGiB = 1ull << 32;
const std::uint64_t kSize = kFourGiB + (1u << 20);
const std::uint64_t kZerosFrom = 2u << 20;
const std::uint64_t kZerosTo = kFourGiB - (4u << 20);

bool extendSparse(const std::string& path, std::uint64_t size)
{
    fw::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    return file && SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

}  // namespace

TEST_F(DownloadTest, FileOfFourGibibytesAndMoreIsStoppedResumedAndComplete)
{
    HttpReply big;
    big.generatedLength = kSize;
    big.zeroFrom = kZerosFrom;
    big.zeroTo = kZerosTo;
    big.etag = "\"large\"";
    server.setHandler("/large.bin", holdingAt(big, kZerosFrom));

    // The first answer announces more than 32 bits can hold.
    ASSERT_EQ(0, downloads.download(server.url("/large.bin")));
    ASSERT_TRUE(waitForReceived("large.bin", kZerosFrom, 60000));
    const std::string early = downloads.getDownloadProgressInfo("large.bin");
    EXPECT_EQ("|4296015872", early.substr(early.size() - 11)) << early;
    downloads.clearDownload();
    ResumeRecord kept = readResumeRecord(dl("large.bintd"));
    EXPECT_EQ(kSize, kept.total);
    ASSERT_GE(kept.received, kZerosFrom);
    ASSERT_LT(kept.received, kZerosTo);

    // The zeros between, as the transfer would have written them.
    ASSERT_TRUE(extendSparse(dl("large.bin~"), kZerosTo));
    kept.received = kZerosTo;
    ASSERT_TRUE(writeResumeRecord(dl("large.bintd"), kept));

    // Resumed, and stopped again beyond 4 GiB.
    const std::uint64_t beyondFourGiB = kFourGiB + (512u << 10);
    server.setHandler("/large.bin", holdingAt(big, beyondFourGiB));
    ASSERT_EQ(0, downloads.download(server.url("/large.bin")));
    ASSERT_TRUE(waitForReceived("large.bin", beyondFourGiB, 60000))
        << downloads.getDownloadProgressInfo("large.bin") << " " << server.requests("/large.bin").back().range;
    const std::string beyond = downloads.getDownloadProgressInfo("large.bin");
    downloads.clearDownload();
    unsigned long long received = 0, total = 0;
    float fraction = 0, speed = 0;
    ASSERT_EQ(4, std::sscanf(beyond.c_str(), "%f|%f|%llu|%llu", &fraction, &speed, &received, &total)) << beyond;
    EXPECT_EQ(beyondFourGiB, received) << beyond;
    EXPECT_EQ(kSize, total) << beyond;
    EXPECT_EQ(0.99f, fraction) << beyond;
    kept = readResumeRecord(dl("large.bintd"));
    EXPECT_EQ(kSize, kept.total);
    EXPECT_EQ(beyondFourGiB, kept.received);
    EXPECT_EQ("\"large\"", kept.validator);

    // Resumed to the end.
    server.setReply("/large.bin", big);
    ASSERT_EQ(0, downloads.download(server.url("/large.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_FALSE(exists(dl("large.bin~")));
    EXPECT_FALSE(exists(dl("large.bintd")));
    std::uint64_t fileDigest = 0, bodyDigest = 0;
    EXPECT_TRUE(sameAsBody(dl("large.bin"), big, fileDigest, bodyDigest))
        << std::hex << fileDigest << " against " << bodyDigest;
    // Nothing was fetched twice beyond a range given up at a stop.
    EXPECT_LT(server.bytesSent("/large.bin"), kSize - kZerosTo + kZerosFrom + (64u << 20));
    EXPECT_TRUE(messages().empty());
    DeleteFileA(dl("large.bin").c_str());
}
