#include "Halcyra/download/tests/DownloadTestFixture.h"
#include "tests/support/Eventually.h"

#include <cstdlib>

namespace {

// A reply that announces its length and then sends nothing: the task stays in the table
// with no progress reported until it is stopped.
HttpReply silentReply(std::size_t size = 4096)
{
    HttpReply reply;
    reply.body = HttpReply::makeBody(size);
    reply.stallAfter = 0;
    return reply;
}

}  // namespace

TEST_F(DownloadTest, AdmitsTwoTasksAndThePlanFileRegardless)
{
    for (const char* path : {"/a.zip", "/b.zip", "/c.zip", "/x/planPath.json"})
        server.setReply(path, silentReply());

    EXPECT_EQ(0, downloads.download(server.url("/b.zip")));
    EXPECT_EQ(0, downloads.download(server.url("/a.zip")));
    EXPECT_EQ(-3, downloads.download(server.url("/c.zip")));
    // Full table comes before the duplicate test.
    EXPECT_EQ(-3, downloads.download(server.url("/a.zip")));
    // Only the name argument counts, not a name taken from the URL.
    EXPECT_EQ(-3, downloads.download(server.url("/x/planPath.json")));
    EXPECT_EQ(0, downloads.downloadAndRename(server.url("/x/planPath.json"), "planPath.json"));
    EXPECT_EQ("a.zip|b.zip|planPath.json|", downloads.getDownloadingFilenames());
    EXPECT_EQ(-3, downloads.download(server.url("/c.zip")));

    downloads.clearDownload();
    EXPECT_EQ("", downloads.getDownloadingFilenames());
    EXPECT_FALSE(downloads.stopRequested());

    EXPECT_EQ(0, downloads.download(server.url("/a.zip")));
    EXPECT_EQ(-4, downloads.download(server.url("/a.zip")));
    EXPECT_EQ(-4, downloads.downloadAndRename(server.url("/c.zip"), "a.zip"));
    EXPECT_EQ(-1, downloads.download(""));
    EXPECT_EQ("a.zip|", downloads.getDownloadingFilenames());
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, ProgressBeforeTheFirstBlockAndForUnknownNames)
{
    server.setReply("/slow.bin", silentReply());
    ASSERT_EQ(0, downloads.download(server.url("/slow.bin")));

    EXPECT_EQ(0.0f, downloads.getDownloadProgress("slow.bin"));
    EXPECT_EQ("", downloads.getDownloadProgressInfo("slow.bin"));
    EXPECT_EQ(-1.0f, downloads.getDownloadProgress("never.bin"));
    EXPECT_EQ("", downloads.getDownloadProgressInfo("never.bin"));
    EXPECT_EQ(-1.0f, downloads.getDownloadProgress(""));
    EXPECT_EQ("", downloads.getDownloadProgressInfo(""));

    // A file put there by anything else counts as finished.
    writeBytes(dl("other.bin"), "x");
    EXPECT_EQ(1.0f, downloads.getDownloadProgress("other.bin"));
    EXPECT_EQ("1.0|0|0|0", downloads.getDownloadProgressInfo("other.bin"));
}

TEST_F(DownloadTest, ProgressStaysBelowOneUntilTheFileIsInPlace)
{
    const auto body = HttpReply::makeBody(200 * 1024);
    HttpReply reply;
    reply.body = body;
    reply.trickleBytes = 16 * 1024;
    reply.trickleDelayMs = 30;
    server.setReply("/pkg/data.bin", reply);
    ASSERT_EQ(0, downloads.download(server.url("/pkg/data.bin")));

    float last = 0.0f;
    int reports = 0;
    while (downloads.taskCount() != 0) {
        const std::string info = downloads.getDownloadProgressInfo("data.bin");
        if (!info.empty() && info != DownloadManager::kFinishedProgress) {
            float fraction = 0, speed = 0;
            long received = 0, total = 0;
            ASSERT_EQ(4, std::sscanf(info.c_str(), "%f|%f|%ld|%ld", &fraction, &speed, &received, &total)) << info;
            EXPECT_LE(fraction, 0.99f) << info;
            EXPECT_GE(fraction, last) << info;
            EXPECT_EQ(static_cast<long>(body->size()), total) << info;
            EXPECT_NEAR(static_cast<double>(received) / total, fraction, 0.011) << info;
            last = fraction;
            ++reports;
        }
        Sleep(5);
    }
    EXPECT_GT(reports, 2);
    EXPECT_EQ(1.0f, downloads.getDownloadProgress("data.bin"));
    EXPECT_EQ("1.0|0|0|0", downloads.getDownloadProgressInfo("data.bin"));
    EXPECT_TRUE(sameBytes(*body, readBytes(dl("data.bin"))));
    EXPECT_FALSE(exists(dl("data.bin~")));
    EXPECT_FALSE(exists(dl("data.bintd")));
}

TEST_F(DownloadTest, TaskNamesComeFromTheEndOfTheUrl)
{
    HttpReply reply;
    reply.body = HttpReply::makeBody(300);
    server.setReply("/a/b.zip", reply);
    server.setReply("/f.zip?x=1", reply);

    ASSERT_EQ(0, downloads.download(server.url("/a/b.zip")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*reply.body, readBytes(dl("b.zip"))));

    // The query stays part of the name; such a file cannot be created.
    ASSERT_EQ(0, downloads.download(server.url("/f.zip?x=1")));
    ASSERT_TRUE(waitForIdle());
    const auto shown = messages();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(L"创建文件（D:/dl/f.zip?x=1~）失败! 通常是您没有写文件权限引起，请尝试重置Internet Explorer设置!",
              shown[0].text);
    EXPECT_EQ(L"创建文件失败", shown[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_SETFOREGROUND | MB_TOPMOST), shown[0].type);

    // Backslashes separate as well; the server answers an unknown path with a 404, which
    // is no file.
    ASSERT_EQ(0, downloads.download(server.url("/x\\y\\z.zip")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_FALSE(exists(dl("z.zip")));
    EXPECT_FALSE(exists(dl("z.zip~")));
    EXPECT_EQ(1u, messages().size());
}

TEST_F(DownloadTest, RefusesNamesOutsideTheSavePathOrTheCodePage)
{
    server.setReply("/ok.zip", silentReply());
    const std::string url = server.url("/ok.zip");
    for (const char* name : {"/abs.zip", "\\abs.zip", "C:abs.zip", "D:/dl/abs.zip", "../up.zip",
                             "a/../../up.zip", "a\\..\\b.zip", ".."}) {
        EXPECT_EQ(-2, downloads.downloadAndRename(url, name)) << name;
    }
    EXPECT_EQ(-2, downloads.download(server.url("/")));  // no name at all
    EXPECT_EQ(-2, downloads.download("http://127.0.0.1/a/.."));
    EXPECT_EQ(-2, downloads.download("http://127.0.0.1/a\\.."));

    // Thai is not in the Chinese code page: the name would silently change.
    const std::wstring wideUrl(url.begin(), url.end());
    EXPECT_EQ(-2, downloads.downloadAndRename(wideUrl, L"\u0e01.zip"));
    EXPECT_EQ(-2, downloads.downloadAndRename(wideUrl + L"?\u0e01", L""));
    EXPECT_EQ(-1, downloads.downloadAndRename(std::wstring(), L"\u0e01.zip"));
    EXPECT_EQ("", downloads.getDownloadingFilenames());

    // Chinese names are fine, and a relative path with subdirectories.
    EXPECT_EQ(0, downloads.downloadAndRename(wideUrl, L"\u573a\u666f.zip"));
    EXPECT_EQ(0, downloads.downloadAndRename(url, "sub/dir/ok.zip"));
    EXPECT_EQ(2u, downloads.taskCount());
    ASSERT_TRUE(testing_support::eventually([&] { return exists(dl("sub/dir/ok.zip~")); }));
    downloads.clearDownload();
    EXPECT_TRUE(exists(dl("sub/dir/ok.zip~")));
}

TEST_F(DownloadTest, NamesOfTheSameFileAreOneTask)
{
    server.setReply("/scene.pak", silentReply());
    const std::string url = server.url("/scene.pak");
    ASSERT_EQ(0, downloads.downloadAndRename(url, "Sub/Scene.pak"));
    for (const char* name : {"sub\\scene.PAK", "SUB/SCENE.PAK", "sub//Scene.pak", "./Sub/Scene.pak", "Sub/Scene.pak."})
        EXPECT_EQ(-4, downloads.downloadAndRename(url, name)) << name;
    EXPECT_EQ("Sub/Scene.pak|", downloads.getDownloadingFilenames());
    // Queried under another spelling, it is the same running task.
    EXPECT_EQ(0.0f, downloads.getDownloadProgress("sub\\scene.pak"));
    EXPECT_EQ(-1.0f, downloads.getDownloadProgress("sub\\other.pak"));
    downloads.clearDownload();
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, DeviceNamesAndOverlongNamesAreRefusedBeforeAnyFileCall)
{
    server.setReply("/pkg/aux.pak", silentReply());
    server.setReply("/pkg/ok.pak", silentReply());
    const std::string url = server.url("/pkg/ok.pak");
    for (const char* name : {"nul.pak", "NUL", "aux.pak", "com1.pak", "Com9.tar.gz", "lpt1", "prn .pak",
                             "sub/con/a.pak"})
        EXPECT_EQ(-2, downloads.downloadAndRename(url, name)) << name;
    EXPECT_EQ(-2, downloads.download(server.url("/pkg/aux.pak")));
    // Under Wine its partial file and record would wrap to "D:/dl/q" and "D:/dl/qq".
    EXPECT_EQ(-2, downloads.downloadAndRename(url, std::string(65536, 'q')));
    // "D:/dl/" and the name, with "td" after it, must fit 259 characters.
    const std::string longest(251, 'n');
    EXPECT_EQ(-2, downloads.downloadAndRename(url, longest + "n"));
    EXPECT_EQ("", downloads.getDownloadingFilenames());
    EXPECT_EQ(0, downloads.downloadAndRename(url, longest));
    EXPECT_EQ(longest + "|", downloads.getDownloadingFilenames());
    downloads.clearDownload();
    EXPECT_FALSE(exists(dl("q")));
    EXPECT_FALSE(exists(dl("qq")));
    EXPECT_TRUE(messages().empty());
}

TEST_F(DownloadTest, NothingIsDownloadedBeforeASavePathIsSet)
{
    HttpReply reply;
    reply.body = HttpReply::makeBody(1000);
    server.setReply("/early.bin", reply);
    DownloadManager fresh(dataDrive);
    EXPECT_EQ(-2, fresh.download(server.url("/early.bin")));
    EXPECT_EQ(-2, fresh.downloadAndRename(server.url("/early.bin"), "named.bin"));
    EXPECT_EQ(0u, fresh.taskCount());
    EXPECT_EQ(-1.0f, fresh.getDownloadProgress("early.bin"));
    // Without a save path, the names would have gone to the root of the current drive.
    EXPECT_FALSE(exists("/early.bin~"));
    EXPECT_FALSE(exists("/early.bin"));

    fresh.setSavePath("later");
    EXPECT_EQ(0, fresh.download(server.url("/early.bin")));
    fresh.clearDownload();
}
