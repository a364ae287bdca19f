// Slow servers and stopping: an answer that takes seconds still gets its file, and
// clearDownload returns within a couple of seconds whatever the worker is waiting for,
// without the server sending the rest of a body nobody reads.
#include "Halcyra/download/ResumeRecord.h"
#include "Halcyra/download/tests/DownloadTestFixture.h"

namespace {

// A bound for stopping, not a speed: a worker must never be stuck in a network wait.
const DWORD kStopBoundMs = 2000;

DWORD timedClear(DownloadManager& downloads)
{
    const DWORD before = GetTickCount();
    downloads.clearDownload();
    return GetTickCount() - before;
}

}  // namespace

TEST_F(DownloadTest, AnswerAfterEightSecondsStillGetsItsFile)
{
    HttpReply slow;
    slow.body = HttpReply::makeBody(200 * 1024, 31);
    slow.answerDelayMs = 8000;
    server.setReply("/slow.bin", slow);
    ASSERT_EQ(0, downloads.download(server.url("/slow.bin")));
    ASSERT_TRUE(waitForIdle(30000));
    EXPECT_TRUE(sameBytes(*slow.body, readBytes(dl("slow.bin"))));
    EXPECT_EQ(1u, server.requestCount("/slow.bin"));
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, ClearDownloadReturnsPromptlyWhateverTheWorkerWaitsFor)
{
    HttpReply silent;
    silent.body = HttpReply::makeBody(4096);
    silent.neverAnswer = true;
    server.setReply("/never.bin", silent);
    HttpReply slow;
    slow.body = HttpReply::makeBody(4096);
    slow.answerDelayMs = 8000;
    server.setReply("/late.bin", slow);
    HttpReply stalled;
    stalled.body = HttpReply::makeBody(300 * 1024);
    stalled.stallAfter = 1000;
    server.setReply("/stalled.bin", stalled);

    // A host that accepts and never answers, and one that answers after 8 s.
    ASSERT_EQ(0, downloads.download(server.url("/never.bin")));
    ASSERT_EQ(0, downloads.download(server.url("/late.bin")));
    Sleep(500);
    EXPECT_LT(timedClear(downloads), kStopBoundMs);
    EXPECT_EQ(0u, downloads.taskCount());
    EXPECT_FALSE(exists(dl("never.bin~")));
    EXPECT_FALSE(exists(dl("late.bin~")));

    // A body that stalled after its first bytes.
    ASSERT_EQ(0, downloads.download(server.url("/stalled.bin")));
    ASSERT_TRUE(waitForReceived("stalled.bin", 1000));
    Sleep(300);
    EXPECT_LT(timedClear(downloads), kStopBoundMs);
    EXPECT_EQ(1000u, readResumeRecord(dl("stalled.bintd")).received);
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, StoppedTransferCostsTheServerLittleMoreThanWasWritten)
{
    const std::uint64_t size = 96ull << 20;
    HttpReply big;
    big.generatedLength = size;
    big.etag = "\"big\"";
    // Paced, so that the stop comes while the body flows.
    big.trickleBytes = 256 * 1024;
    big.trickleDelayMs = 5;
    server.setReply("/big.bin", big);
    ASSERT_EQ(0, downloads.download(server.url("/big.bin")));
    ASSERT_TRUE(waitForReceived("big.bin", 3 << 20, 60000));
    EXPECT_LT(timedClear(downloads), kStopBoundMs);
    const std::uint64_t written = readResumeRecord(dl("big.bintd")).received;
    ASSERT_GE(written, 3u << 20);
    Sleep(1000);  // whatever a closed request still reads would arrive by now
    const std::uint64_t sentAtStop = server.bytesSent("/big.bin");
    EXPECT_LT(sentAtStop, written + (16u << 20)) << "written " << written;

    // The resume asks for the rest only.
    big.trickleBytes = 0;
    server.setReply("/big.bin", big);
    ASSERT_EQ(0, downloads.download(server.url("/big.bin")));
    ASSERT_TRUE(waitForIdle());
    const auto requests = server.requests("/big.bin");
    EXPECT_TRUE(requests.size() >= 2 && requests[requests.size() - 1].range.rfind("bytes=", 0) == 0);
    EXPECT_LT(server.bytesSent("/big.bin"), size + (16u << 20));
    const std::string file = readBytes(dl("big.bin"));
    ASSERT_EQ(size, file.size());
    std::string expected(static_cast<std::size_t>(size), '\0');
    big.bodyBytes(0, &expected[0], expected.size());
    EXPECT_TRUE(sameBytes(expected, file));
    EXPECT_TRUE(messages().empty());
}
