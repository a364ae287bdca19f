// What the worker makes of the server's answers: error statuses on the first request, on a
// resume and during a reconnection; a remote file that changed; what a resume may trust of
// the partial file; and the progress of the block that completes a file.
#include "Halcyra/download/ResumeRecord.h"
#include "Halcyra/download/tests/DownloadTestFixture.h"

#include <atomic>

namespace {

const std::uint32_t kSize = 300 * 1024;
const std::uint32_t kCut = 100 * 1024;

HttpReply errorReply(int status)
{
    HttpReply reply;
    reply.status = status;
    reply.body = std::make_shared<std::string>("<html>busy, sorry</html>");
    return reply;
}

std::string recordWithValidator(std::uint64_t total, std::uint64_t received, const std::string& etag)
{
    ResumeRecord record;
    record.total = total;
    record.received = received;
    record.validatorKind = 'E';
    record.validator = etag;
    writeResumeRecord("D:/dl/record-scratch", record);
    const std::string bytes = readBytes("D:/dl/record-scratch");
    DeleteFileA("D:/dl/record-scratch");
    return bytes;
}

}  // namespace

TEST_F(DownloadTest, ErrorStatusOnTheFirstAnswerIsNoFileAndChangesNothing)
{
    const auto body = HttpReply::makeBody(kSize, 21);
    // Left by an earlier download that cannot be resumed (the partial file is short).
    const std::string stalePartial = HttpReply::makeBody(kCut / 2, 22)->substr(0);
    const std::string staleRecord = record(kSize, kCut);
    for (int status : {404, 500, 503}) {
        writeBytes(dl("a.bin~"), stalePartial);
        writeBytes(dl("a.bintd"), staleRecord);
        server.setReply("/a.bin", errorReply(status));
        ASSERT_EQ(0, downloads.download(server.url("/a.bin"))) << status;
        ASSERT_TRUE(waitForIdle()) << status;
        EXPECT_FALSE(exists(dl("a.bin"))) << status;
        EXPECT_EQ(stalePartial, readBytes(dl("a.bin~"))) << status;
        EXPECT_EQ(staleRecord, readBytes(dl("a.bintd"))) << status;
        EXPECT_EQ(-1.0f, downloads.getDownloadProgress("a.bin")) << status;
    }
    EXPECT_TRUE(messages().empty());

    // The server recovers: the file arrives whole.
    server.setReply("/a.bin", fullReply(body));
    ASSERT_EQ(0, downloads.download(server.url("/a.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*body, readBytes(dl("a.bin"))));
    EXPECT_FALSE(exists(dl("a.bin~")));
    EXPECT_FALSE(exists(dl("a.bintd")));
}

TEST_F(DownloadTest, ErrorStatusesOnAResumeAreFailedAttemptsThatLeaveThePartialFile)
{
    const auto body = HttpReply::makeBody(kSize, 23);
    writeBytes(dl("b.bin~"), body->substr(0, kCut));
    writeBytes(dl("b.bintd"), record(kSize, kCut));
    std::vector<HttpReply> replies = {errorReply(503), errorReply(404), errorReply(500)};
    replies.push_back(fullReply(body));
    server.setHandler("/b.bin", sequence(replies));
    ASSERT_EQ(0, downloads.download(server.url("/b.bin")));
    ASSERT_TRUE(waitForIdle());

    EXPECT_TRUE(sameBytes(*body, readBytes(dl("b.bin"))));
    const auto requests = server.requests("/b.bin");
    ASSERT_EQ(4u, requests.size());
    for (const HttpRequest& request : requests)
        EXPECT_EQ(0u, request.range.rfind("bytes=102400-", 0)) << request.range;
    EXPECT_TRUE(messages().empty());

    // Twenty of them: given up with the message, the partial file and its record as they were.
    writeBytes(dl("c.bin~"), body->substr(0, kCut));
    writeBytes(dl("c.bintd"), record(kSize, kCut));
    server.setReply("/c.bin", errorReply(503));
    const std::string url = server.url("/c.bin");
    ASSERT_EQ(0, downloads.download(url));
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(20u, server.requestCount("/c.bin"));
    const auto shown = messages();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(L"url:" + std::wstring(url.begin(), url.end()), shown[0].text);
    EXPECT_EQ(body->substr(0, kCut), readBytes(dl("c.bin~")));
    EXPECT_EQ(record(kSize, kCut), readBytes(dl("c.bintd")));
}

TEST_F(DownloadTest, ErrorPageDuringAReconnectionNeverBecomesTheFile)
{
    const auto body = HttpReply::makeBody(kSize, 24);
    HttpReply early = fullReply(body);
    early.closeAfter = kCut;
    server.setHandler("/d.bin", sequence({early, errorReply(503), fullReply(body)}));
    ASSERT_EQ(0, downloads.download(server.url("/d.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*body, readBytes(dl("d.bin"))));
    EXPECT_EQ(3u, server.requestCount("/d.bin"));

    // A server answering a reconnection with a range somewhere else.
    HttpReply elsewhere = fullReply(body);
    elsewhere.honourRange = false;
    elsewhere.status = 206;
    server.setHandler("/e.bin", sequence({early, elsewhere, fullReply(body)}));
    ASSERT_EQ(0, downloads.download(server.url("/e.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*body, readBytes(dl("e.bin"))));
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, ChangedRemoteFileIsFetchedWholeInsteadOfSpliced)
{
    // Same size, other content: the validator kept in the record tells them apart.
    const auto before = HttpReply::makeBody(kSize, 25);
    const auto after = HttpReply::makeBody(kSize, 26);
    HttpReply cut = fullReply(before, "\"v1\"");
    cut.stallAfter = kCut;
    server.setReply("/f.bin", cut);
    ASSERT_EQ(0, downloads.download(server.url("/f.bin")));
    ASSERT_TRUE(waitForReceived("f.bin", kCut / 2));
    downloads.clearDownload();
    const ResumeRecord kept = readResumeRecord(dl("f.bintd"));
    ASSERT_GT(kept.received, 0u);
    EXPECT_EQ('E', kept.validatorKind);
    EXPECT_EQ("\"v1\"", kept.validator);
    // The counts stay where a reader of the 8-byte form finds them.
    const std::string bytes = readBytes(dl("f.bintd"));
    EXPECT_EQ(record(kSize, static_cast<std::uint32_t>(kept.received)), bytes.substr(0, 8));

    server.setReply("/f.bin", fullReply(after, "\"v2\""));
    ASSERT_EQ(0, downloads.download(server.url("/f.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*after, readBytes(dl("f.bin"))));
    EXPECT_EQ("\"v1\"", server.requests("/f.bin").back().headers["if-range"]);

    // A remote file that shrank below what the partial file holds: the partial file is
    // emptied before the new body goes in, so none of the old bytes stay behind it.
    const auto smaller = HttpReply::makeBody(kCut / 4, 27);
    writeBytes(dl("g.bin~"), before->substr(0, kCut));
    writeBytes(dl("g.bintd"), recordWithValidator(kSize, kCut, "\"v1\""));
    server.setReply("/g.bin", fullReply(smaller, "\"v3\""));
    ASSERT_EQ(0, downloads.download(server.url("/g.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*smaller, readBytes(dl("g.bin"))));
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, BytesPastTheRecordedCountAreNeverKept)
{
    // More unconfirmed bytes than the rest of the file: the blocks that follow the
    // recorded count do not cover them all.
    const auto body = HttpReply::makeBody(kSize, 28);
    writeBytes(dl("h.bin~"), body->substr(0, kCut) + std::string(kSize, 'x'));
    writeBytes(dl("h.bintd"), record(kSize, kCut));
    server.setReply("/h.bin", fullReply(body));
    ASSERT_EQ(0, downloads.download(server.url("/h.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*body, readBytes(dl("h.bin"))));
}

TEST_F(DownloadTest, BlockThatCompletesTheFileReportsAtMost099)
{
    // The engine archive's hand-over runs after its last block and before its task leaves
    // the table: what it sees is what that block reported.
    const auto body = HttpReply::makeBody(kSize, 29);
    server.setReply("/Vistaweaver.7z", fullReply(body));
    std::string seen;
    downloads.setEngineArchiveHandler([&](const DownloadTask& task, bool) {
        seen = formatProgress(task.progress());
    });
    ASSERT_EQ(0, downloads.download(server.url("/Vistaweaver.7z")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ("0.99|", seen.substr(0, 5)) << seen;
    EXPECT_EQ("|307200|307200", seen.substr(seen.size() - 14)) << seen;
}

TEST_F(DownloadTest, RestartWhoseBodyBroughtNothingLeavesTheBytesWhereTheyBelong)
{
    // The whole file again in answer to a reconnection, cut before its first byte: the next
    // range continues the partial file instead of landing at its start.
    const auto body = HttpReply::makeBody(kSize, 30);
    HttpReply early = fullReply(body);
    early.closeAfter = kCut;
    HttpReply wholeAndGone = fullReply(body);
    wholeAndGone.honourRange = false;
    wholeAndGone.closeAfter = 0;
    server.setHandler("/i.bin", sequence({early, wholeAndGone, fullReply(body)}));
    ASSERT_EQ(0, downloads.download(server.url("/i.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*body, readBytes(dl("i.bin"))));
    EXPECT_EQ(3u, server.requestCount("/i.bin"));
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, AnswersThatDoNotContinueThePartialFileNeverReplaceIt)
{
    const auto body = HttpReply::makeBody(kSize, 31);
    const std::string partial = body->substr(0, kCut);

    // A range at the right offset of a file of another size, from a server that gave no
    // validator: one failed attempt among others, the partial file and its record untouched.
    HttpReply otherSize = fullReply(HttpReply::makeBody(2 * kSize, 32));
    otherSize.closeAfter = 0;
    writeBytes(dl("j.bin~"), partial);
    writeBytes(dl("j.bintd"), record(kSize, kCut));
    server.setHandler("/j.bin", sequence({otherSize, otherSize, errorReply(503)}));
    const std::string url = server.url("/j.bin");
    ASSERT_EQ(0, downloads.download(url));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(partial, readBytes(dl("j.bin~"))));
    EXPECT_EQ(record(kSize, kCut), readBytes(dl("j.bintd")));
    for (const HttpRequest& request : server.requests("/j.bin"))
        EXPECT_EQ(0u, request.range.rfind("bytes=102400-", 0)) << request.range;
    const auto shown = messages();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(L"url:" + std::wstring(url.begin(), url.end()), shown[0].text);

    // A whole body of another length (a maintenance page) where the file was expected,
    // with the same validator as before or none at all: failed attempts, not the new file.
    for (const std::string& etag : {std::string(), std::string("\"v1\"")}) {
        HttpReply page = fullReply(HttpReply::makeBody(5000, 33), etag);
        page.honourRange = false;
        writeBytes(dl("k.bin~"), partial);
        writeBytes(dl("k.bintd"), etag.empty() ? record(kSize, kCut) : recordWithValidator(kSize, kCut, etag));
        server.setHandler("/k.bin", sequence({page, page, fullReply(body, etag)}));
        ASSERT_EQ(0, downloads.download(server.url("/k.bin")));
        ASSERT_TRUE(waitForIdle());
        EXPECT_TRUE(sameBytes(*body, readBytes(dl("k.bin")))) << etag;
        DeleteFileA(dl("k.bin").c_str());
    }
}

TEST_F(DownloadTest, BodyLongerThanAnnouncedIsCutAtTheAnnouncedEnd)
{
    // The range and the file are announced 1000 bytes shorter than what is sent.
    const auto body = HttpReply::makeBody(kSize, 34);
    HttpReply longer = fullReply(body);
    longer.understatedBy = 1000;
    server.setReply("/l.bin", longer);
    ASSERT_EQ(0, downloads.download(server.url("/l.bin")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(body->substr(0, kSize - 1000), readBytes(dl("l.bin"))));
    EXPECT_FALSE(exists(dl("l.bin~")));
    EXPECT_TRUE(messages().empty());
}
