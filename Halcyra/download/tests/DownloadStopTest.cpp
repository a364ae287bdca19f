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
    HttpReply slow = HttpReply::answeringAfter(8000);
    slow.body = HttpReply::makeBody(200 * 1024, 31);
    server.setReply("/slow.bin", slow);
    ASSERT_EQ(0, downloads.download(server.url("/slow.bin")));
    ASSERT_TRUE(waitForIdle(30000));
    EXPECT_TRUE(sameBytes(*slow.body, readBytes(dl("slow.bin"))));
    EXPECT_EQ(1u, server.requestCount("/slow.bin"));
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, TransferThatSlowsDownKeepsShowingProgressAndComesThrough)
{
    // 4 MiB at full speed, then the last MiB at 320 KiB/s: about 3 s.
    HttpReply slowing = fullReply(HttpReply::makeBody(5 << 20, 37));
    slowing.trickleFrom = 4 << 20;
    slowing.trickleBytes = 32 * 1024;
    slowing.trickleDelayMs = 100;
    server.setReply("/slowing.bin", slowing);
    downloads.setStallTimeout(20000);
    ASSERT_EQ(0, downloads.download(server.url("/slowing.bin")));

    // The page sees the count grow all through the slow part, not only at its end.
    std::vector<std::uint64_t> slowCounts;
    const DWORD start = GetTickCount();
    while (downloads.taskCount() != 0 && GetTickCount() - start < 30000) {
        TaskProgress progress;
        if (downloads.findProgress("slowing.bin", progress) && progress.received > (4u << 20) &&
            (slowCounts.empty() || slowCounts.back() != progress.received))
            slowCounts.push_back(progress.received);
        Sleep(20);
    }
    ASSERT_EQ(0u, downloads.taskCount()) << "still running after 30 s";
    EXPECT_GE(slowCounts.size(), 4u);
    EXPECT_TRUE(sameBytes(*slowing.body, readBytes(dl("slowing.bin"))));
    // Never taken for a stalled server: no byte was fetched twice.
    EXPECT_EQ(slowing.body->size(), server.bytesSent("/slowing.bin"));
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, ClearDownloadReturnsPromptlyWhateverTheWorkerWaitsFor)
{
    server.setReply("/never.bin", HttpReply::neverAnswering());
    server.setReply("/late.bin", HttpReply::answeringAfter(8000));
    HttpReply stalled;
    stalled.body = HttpReply::makeBody(300 * 1024);
    stalled.stallAfter = 1000;
    server.setReply("/stalled.bin", stalled);

    // A host that accepts and never answers, and one that answers after 8 s.
    ASSERT_EQ(0, downloads.download(server.url("/never.bin")));
    ASSERT_EQ(0, downloads.download(server.url("/late.bin")));
    ASSERT_TRUE(eventually([&] { return server.requestCount("/never.bin") == 1 && server.requestCount("/late.bin") == 1; }));
    EXPECT_LT(timedClear(downloads), kStopBoundMs);
    EXPECT_EQ(0u, downloads.taskCount());
    EXPECT_FALSE(exists(dl("never.bin~")));
    EXPECT_FALSE(exists(dl("late.bin~")));

    // A body that stalled after its first bytes.
    ASSERT_EQ(0, downloads.download(server.url("/stalled.bin")));
    ASSERT_TRUE(waitForReceived("stalled.bin", 1000));
    EXPECT_LT(timedClear(downloads), kStopBoundMs);
    EXPECT_EQ(1000u, readResumeRecord(dl("stalled.bintd")).received);
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, StoppedTransferCostsTheServerLittleMoreThanWasWritten)
{
    // Fast enough that a request closed in the middle would be read to its end meanwhile.
    const std::uint64_t size = 512ull << 20;
    HttpReply big;
    big.generatedLength = size;
    big.etag = "\"big\"";
    server.setReply("/big.bin", big);
    ASSERT_EQ(0, downloads.download(server.url("/big.bin")));
    ASSERT_TRUE(waitForReceived("big.bin", 3 << 20, 60000));
    EXPECT_LT(timedClear(downloads), kStopBoundMs);
    const std::uint64_t written = readResumeRecord(dl("big.bintd")).received;
    ASSERT_GE(written, 3u << 20);
    ASSERT_LT(written, size);
    // Whatever a closed request still reads has arrived once the server has closed it.
    ASSERT_TRUE(eventually([&] { return server.activeConnections() == 0; }));
    // At most the rest of the range being read, and what the sockets held.
    const std::uint64_t kRangeAndBuffers = 40u << 20;
    EXPECT_LT(server.bytesSent("/big.bin"), written + kRangeAndBuffers) << "written " << written;

    // The resume asks for the rest only.
    ASSERT_EQ(0, downloads.download(server.url("/big.bin")));
    ASSERT_TRUE(waitForIdle());
    const auto requests = server.requests("/big.bin");
    ASSERT_GE(requests.size(), 2u);
    EXPECT_LT(server.bytesSent("/big.bin"), size + kRangeAndBuffers);
    std::uint64_t fileDigest = 0, bodyDigest = 0;
    EXPECT_TRUE(sameAsBody(dl("big.bin"), big, fileDigest, bodyDigest));
    DeleteFileA(dl("big.bin").c_str());
    EXPECT_TRUE(messages().empty());
}
