#include "Halcyra/download/ResumeRecord.h"
#include "Halcyra/download/tests/DownloadTestFixture.h"

#include <atomic>

namespace {

const std::uint32_t kSize = 300 * 1024;
const std::uint32_t kCut = 100 * 1024;
// A fresh download asks for its first MiB, and then for growing ranges.
const char kFirstRange[] = "bytes=0-1048575";

bool startsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

}  // namespace

TEST_F(DownloadTest, StoppedDownloadResumesFromTheRecordedCount)
{
    const auto body = HttpReply::makeBody(kSize);
    HttpReply cut = fullReply(body);
    cut.stallAfter = kCut;
    server.setReply("/f.bin", cut);

    ASSERT_EQ(0, downloads.download(server.url("/f.bin")));
    // Everything before the stall is written: the server is silent for good, and stopping
    // must not wait for it.
    ASSERT_TRUE(waitForReceived("f.bin", kCut));
    const DWORD before = GetTickCount();
    downloads.clearDownload();
    EXPECT_LT(GetTickCount() - before, 3000u);
    EXPECT_EQ(0u, downloads.taskCount());
    EXPECT_FALSE(exists(dl("f.bin")));
    // A block cut off by the stall is not counted; it is asked for again.
    const ResumeRecord kept = readResumeRecord(dl("f.bintd"));
    EXPECT_EQ(8u, readBytes(dl("f.bintd")).size());
    EXPECT_EQ(kSize, kept.total);
    ASSERT_GE(kept.received, kCut / 2);
    ASSERT_LT(kept.received, kSize);
    EXPECT_TRUE(sameBytes(body->substr(0, kept.received), readBytes(dl("f.bin~"))));

    // The next attempt reports the recorded fraction before any new byte arrives.
    HttpReply silent = fullReply(body);
    silent.stallAfter = 0;
    server.setReply("/f.bin", silent);
    ASSERT_EQ(0, downloads.download(server.url("/f.bin")));
    ASSERT_TRUE(waitForReceived("f.bin", kept.received));
    char expected[64];
    const float fraction = static_cast<float>(kept.received) / kSize;
    std::snprintf(expected, sizeof expected, "%.2f|0.00|%u|%u", fraction,
                  static_cast<unsigned>(kept.received), kSize);
    EXPECT_EQ(expected, downloads.getDownloadProgressInfo("f.bin"));
    EXPECT_NEAR(fraction, downloads.getDownloadProgress("f.bin"), 0.006);
    downloads.clearDownload();

    server.setReply("/f.bin", fullReply(body));
    ASSERT_EQ(0, downloads.download(server.url("/f.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*body, readBytes(dl("f.bin"))));
    EXPECT_FALSE(exists(dl("f.bin~")));
    EXPECT_FALSE(exists(dl("f.bintd")));
    const auto requests = server.requests("/f.bin");
    ASSERT_FALSE(requests.empty());
    // Only the rest is asked for.
    EXPECT_TRUE(startsWith(requests.back().range, "bytes=" + std::to_string(kept.received) + "-"))
        << requests.back().range;
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, StartsAfreshWhenThePartialFileDoesNotMatch)
{
    const auto body = HttpReply::makeBody(kSize, 7);
    server.setReply("/g.bin", fullReply(body));
    const std::string stale = HttpReply::makeBody(kCut, 9)->substr(0);
    struct Case {
        const char* what;
        std::string partial;
        std::string record;
    };
    const Case cases[] = {
        {"short partial file", stale.substr(0, kCut - 1), record(kSize, kCut)},
        {"no record", stale, std::string()},
        {"short record", stale, record(kSize, kCut).substr(0, 5)},
    };
    for (const Case& c : cases) {
        writeBytes(dl("g.bin~"), c.partial);
        writeBytes(dl("g.bintd"), c.record);
        ASSERT_EQ(0, downloads.download(server.url("/g.bin"))) << c.what;
        ASSERT_TRUE(waitForIdle()) << c.what;
        EXPECT_TRUE(sameBytes(*body, readBytes(dl("g.bin")))) << c.what;
        EXPECT_EQ(kFirstRange, server.requests("/g.bin").back().range) << c.what;
    }
}

TEST_F(DownloadTest, ResumeNeverProducesADifferentFile)
{
    const auto body = HttpReply::makeBody(kSize, 3);
    const std::string valid = body->substr(0, kCut);

    // Bytes behind the recorded count were never confirmed.
    writeBytes(dl("h.bin~"), valid + "garbage behind the recorded count");
    writeBytes(dl("h.bintd"), record(kSize, kCut));
    server.setReply("/h.bin", fullReply(body));
    ASSERT_EQ(0, downloads.download(server.url("/h.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*body, readBytes(dl("h.bin"))));
    EXPECT_TRUE(startsWith(server.requests("/h.bin").back().range, "bytes=102400-"));

    // A server that ignores the range sends the whole file: start again with it.
    HttpReply ignoring = fullReply(body);
    ignoring.honourRange = false;
    server.setReply("/i.bin", ignoring);
    writeBytes(dl("i.bin~"), valid);
    writeBytes(dl("i.bintd"), record(kSize, kCut));
    ASSERT_EQ(0, downloads.download(server.url("/i.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*body, readBytes(dl("i.bin"))));

    // Recorded as complete (ended before the rename): finished without asking for anything.
    server.setReply("/j.bin", fullReply(body));
    writeBytes(dl("j.bin~"), *body);
    writeBytes(dl("j.bintd"), record(kSize, kSize));
    ASSERT_EQ(0, downloads.download(server.url("/j.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*body, readBytes(dl("j.bin"))));
    EXPECT_EQ(0u, server.requestCount("/j.bin"));
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, ResponsesWithoutAUsableLength)
{
    // 132 bytes: the server's error page; nothing is created.
    HttpReply errorPage;
    errorPage.body = HttpReply::makeBody(132);
    server.setReply("/e.bin", errorPage);
    ASSERT_EQ(0, downloads.download(server.url("/e.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_FALSE(exists(dl("e.bin")));
    EXPECT_FALSE(exists(dl("e.bin~")));
    EXPECT_FALSE(exists(dl("e.bintd")));

    // No Content-Length and no ranges: read to the end of the body.
    HttpReply unsized;
    unsized.body = HttpReply::makeBody(150 * 1024);
    unsized.sendLength = false;
    unsized.honourRange = false;
    unsized.trickleBytes = 40 * 1024;
    unsized.trickleDelayMs = 20;
    server.setReply("/u.bin", unsized);
    ASSERT_EQ(0, downloads.download(server.url("/u.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*unsized.body, readBytes(dl("u.bin"))));
    EXPECT_FALSE(exists(dl("u.bintd")));

    // No Content-Length and cut off: it cannot be resumed, so nothing is kept.
    unsized.stallAfter = 50 * 1024;
    server.setReply("/v.bin", unsized);
    ASSERT_EQ(0, downloads.download(server.url("/v.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_FALSE(exists(dl("v.bin")));
    EXPECT_FALSE(exists(dl("v.bin~")));
    EXPECT_FALSE(exists(dl("v.bintd")));

    // An empty remote file is an empty final file.
    server.setReply("/z.bin", HttpReply());
    ASSERT_EQ(0, downloads.download(server.url("/z.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(exists(dl("z.bin")));
    EXPECT_EQ("", readBytes(dl("z.bin")));
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, BodyEndingEarlyIsRequestedAgainFromWhereItEnded)
{
    const auto body = HttpReply::makeBody(kSize, 5);
    HttpReply early = fullReply(body);
    early.closeAfter = 50000;
    server.setHandler("/k.bin", sequence({early, fullReply(body)}));
    ASSERT_EQ(0, downloads.download(server.url("/k.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*body, readBytes(dl("k.bin"))));
    const auto requests = server.requests("/k.bin");
    ASSERT_EQ(2u, requests.size());
    EXPECT_TRUE(startsWith(requests[1].range, "bytes=50000-")) << requests[1].range;

    // A Content-Length above what is sent: the missing bytes are asked for.
    HttpReply wrong = fullReply(body);
    wrong.declaredLength = kSize + 10;
    wrong.honourRange = false;
    HttpReply rest = fullReply(HttpReply::makeBody(kSize + 10, 5));
    server.setHandler("/l.bin", sequence({wrong, rest}));
    ASSERT_EQ(0, downloads.download(server.url("/l.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*rest.body, readBytes(dl("l.bin"))));
    EXPECT_TRUE(startsWith(server.requests("/l.bin").back().range, "bytes=307200-"));
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, GivesUpAfterTwentyFailedReconnections)
{
    const auto body = HttpReply::makeBody(kSize);
    HttpReply early = fullReply(body);
    early.closeAfter = kCut;
    HttpReply refused;
    refused.refuse = true;
    server.setHandler("/m.bin", sequence({early, refused}));
    const std::string url = server.url("/m.bin");
    ASSERT_EQ(0, downloads.download(url));
    ASSERT_TRUE(waitForIdle());

    EXPECT_EQ(21u, server.requestCount("/m.bin"));
    const auto shown = messages();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(L"url:" + std::wstring(url.begin(), url.end()), shown[0].text);
    EXPECT_EQ(L"网络地址已尝试数次无法打开", shown[0].caption);
    // Kept for a later resume.
    EXPECT_TRUE(sameBytes(body->substr(0, kCut), readBytes(dl("m.bin~"))));
    EXPECT_EQ(record(kSize, kCut), readBytes(dl("m.bintd")));
}

TEST_F(DownloadTest, StopsPromptlyDuringAReconnectionSeries)
{
    downloads.setReconnectPauses(4000, 4000);
    HttpReply early = fullReply(HttpReply::makeBody(kSize));
    early.closeAfter = kCut;
    HttpReply refused;
    refused.refuse = true;
    server.setHandler("/n.bin", sequence({early, refused}));
    ASSERT_EQ(0, downloads.download(server.url("/n.bin")));
    ASSERT_TRUE(waitForReceived("n.bin", kCut));
    // The refused reconnection is behind it: the worker is in its first pause.
    ASSERT_TRUE(eventually([&] { return server.requestCount("/n.bin") == 2; }));
    const DWORD before = GetTickCount();
    downloads.clearDownload();
    EXPECT_LT(GetTickCount() - before, 1500u);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(record(kSize, kCut), readBytes(dl("n.bintd")));
}

TEST_F(DownloadTest, WriteFailureOnAFullDriveKeepsThePartialDownload)
{
    testing_support::DriveFixture full;
    MAP_TMPFS_OR_SKIP(full, 'E', 1 << 20, testing_support::DriveType::hd);
    dataDrive.setDrive("E");
    downloads.setSavePath("dl");
    const auto body = HttpReply::makeBody(3 << 20);
    server.setReply("/big.bin", fullReply(body));
    ASSERT_EQ(0, downloads.download(server.url("/big.bin")));
    ASSERT_TRUE(waitForIdle());

    const auto shown = messages();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(L"写文件出错，请检查E盘剩余空间是否充足！", shown[0].text);
    EXPECT_EQ(L"文件下载出错", shown[0].caption);
    EXPECT_FALSE(exists("E:/dl/big.bin"));
    const ResumeRecord kept = readResumeRecord("E:/dl/big.bintd");
    EXPECT_EQ(body->size(), kept.total);
    EXPECT_GT(kept.received, 0u);
    const std::string partial = readBytes("E:/dl/big.bin~");
    ASSERT_GE(partial.size(), kept.received);
    EXPECT_TRUE(sameBytes(body->substr(0, kept.received), partial.substr(0, kept.received)));
}

TEST_F(DownloadTest, PartialFileThatCannotBeCreated)
{
    writeBytes(dl("blocked"), "a file where a directory should be");
    HttpReply reply;
    reply.body = HttpReply::makeBody(1000);
    server.setReply("/p.bin", reply);
    ASSERT_EQ(0, downloads.downloadAndRename(server.url("/p.bin"), "blocked/p.bin"));
    ASSERT_TRUE(waitForIdle());
    const auto shown = messages();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(L"创建文件（D:/dl/blocked/p.bin~）失败! 通常是您没有写文件权限引起，请尝试重置Internet Explorer设置!",
              shown[0].text);
    EXPECT_EQ(L"创建文件失败", shown[0].caption);
}

TEST_F(DownloadTest, FinishedFileReplacesAnExistingOne)
{
    writeBytes(dl("q.bin"), "an older, longer version of the file that is replaced");
    HttpReply reply;
    reply.body = HttpReply::makeBody(20);
    server.setReply("/q.bin", reply);
    ASSERT_EQ(0, downloads.download(server.url("/q.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*reply.body, readBytes(dl("q.bin"))));
}

TEST_F(DownloadTest, FinalNameThatCannotBeReplacedKeepsTheDownloadUnfinished)
{
    // A directory of the final name holding a file: it can be neither deleted nor renamed over.
    ASSERT_TRUE(CreateDirectoryA(dl("r.bin").c_str(), nullptr));
    writeBytes(dl("r.bin/inside.txt"), "kept");
    HttpReply reply;
    reply.body = HttpReply::makeBody(2000);
    server.setReply("/r.bin", reply);
    ASSERT_EQ(0, downloads.download(server.url("/r.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*reply.body, readBytes(dl("r.bin~"))));
    const ResumeRecord kept = readResumeRecord(dl("r.bintd"));
    EXPECT_EQ(2000u, kept.total);
    EXPECT_EQ(2000u, kept.received);
    EXPECT_EQ("kept", readBytes(dl("r.bin/inside.txt")));
    // The page is told, and does not read the download as done.
    auto shown = messages();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(L"创建文件（D:/dl/r.bin）失败! 通常是您没有写文件权限引起，请尝试重置Internet Explorer设置!",
              shown[0].text);
    EXPECT_EQ(-1.0f, downloads.getDownloadProgress("r.bin"));
    EXPECT_EQ("", downloads.getDownloadProgressInfo("r.bin"));

    // An older file that is open in another program stays as it was.
    const std::string older = "an older version, open elsewhere";
    writeBytes(dl("u.bin"), older);
    {
        fw::UniqueHandle open(CreateFileA(dl("u.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(open);
        server.setReply("/u.bin", reply);
        ASSERT_EQ(0, downloads.download(server.url("/u.bin")));
        ASSERT_TRUE(waitForIdle());
        EXPECT_EQ(-1.0f, downloads.getDownloadProgress("u.bin"));
    }
    EXPECT_EQ(older, readBytes(dl("u.bin")));
    EXPECT_TRUE(sameBytes(*reply.body, readBytes(dl("u.bin~"))));
    shown = messages();
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ(L"创建文件失败", shown[1].caption);

    // Once the file is free, asking again puts the finished download in place.
    ASSERT_EQ(0, downloads.download(server.url("/u.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*reply.body, readBytes(dl("u.bin"))));
    EXPECT_FALSE(exists(dl("u.bintd")));
    EXPECT_EQ(1.0f, downloads.getDownloadProgress("u.bin"));
}

TEST_F(DownloadTest, ServerSlowToAnswerIsWaitedFor)
{
    const auto body = HttpReply::makeBody(kSize, 11);
    server.setHandler("/s.bin", [body](const HttpRequest&) {
        Sleep(1200);  // a busy server
        return fullReply(body);
    });
    ASSERT_EQ(0, downloads.download(server.url("/s.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*body, readBytes(dl("s.bin"))));
    EXPECT_EQ(1u, server.requestCount("/s.bin"));
}

TEST_F(DownloadTest, LongTransferRecordsItsProgressAsItGoes)
{
    // A transfer that stands still past its first 64 MiB, still running: a crash now would
    // keep at least those.
    HttpReply big;
    big.generatedLength = 80u << 20;
    server.setHandler("/long.bin", holdingAt(big, 70u << 20));
    ASSERT_EQ(0, downloads.download(server.url("/long.bin")));
    ASSERT_TRUE(waitForReceived("long.bin", 70u << 20, 60000));
    const ResumeRecord kept = readResumeRecord(dl("long.bintd"));
    EXPECT_EQ(80u << 20, kept.total);
    EXPECT_GE(kept.received, 64u << 20);
    EXPECT_LE(kept.received, 70u << 20);
    downloads.clearDownload();
    EXPECT_EQ(70u << 20, readResumeRecord(dl("long.bintd")).received);
}
