#include "Halcyra/download/tests/DownloadTestFixture.h"

namespace {

// Made at build time with the real 7-Zip and the launcher's archive password; holds
// top.txt and nested/deeper/inner.txt.
const char kArchive[] = "download-test.7z";
const char kExtractor[] = "7z.exe";

}  // namespace

class ExtractionTest : public DownloadTest {
protected:
    void SetUp() override
    {
        DownloadTest::SetUp();
        CreateDirectoryA(dataDrive.systemRoot().c_str(), nullptr);
        archive = std::make_shared<std::string>(readBytes(kArchive));
        ASSERT_FALSE(archive->empty());
    }

    void TearDown() override
    {
        DownloadTest::TearDown();
        // Without a system root (the set-up failed first) the name alone would reach the
        // extractor beside the test programs.
        if (!dataDrive.systemRoot().empty())
            DeleteFileA((dataDrive.systemRoot() + kExtractor).c_str());
    }

    void installExtractor()
    {
        ASSERT_TRUE(CopyFileA(kExtractor, (dataDrive.systemRoot() + kExtractor).c_str(), FALSE));
    }

    void serve(const std::string& path)
    {
        HttpReply reply;
        reply.body = archive;
        server.setReply(path, reply);
    }

    std::shared_ptr<const std::string> archive;
};

TEST_F(ExtractionTest, SevenZipArchivesAreUnpackedIntoTheUncompressPath)
{
    installExtractor();
    serve("/pkg/scene.7z");
    ASSERT_EQ(0, downloads.download(server.url("/pkg/scene.7z")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*archive, readBytes(dl("scene.7z"))));  // the archive stays
    EXPECT_EQ("top level\n", readBytes("D:/un/top.txt"));
    EXPECT_EQ("nested file\n", readBytes("D:/un/nested/deeper/inner.txt"));
    EXPECT_TRUE(messages().empty());

    // Existing files are overwritten without a question.
    writeBytes("D:/un/top.txt", "old");
    ASSERT_EQ(0, downloads.downloadAndRename(server.url("/pkg/scene.7z"), "again.7z"));
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ("top level\n", readBytes("D:/un/top.txt"));
}

TEST_F(ExtractionTest, OtherExtensionsAreOnlyRenamed)
{
    installExtractor();
    serve("/pkg/scene.7z");
    ASSERT_EQ(0, downloads.downloadAndRename(server.url("/pkg/scene.7z"), "upper.7Z"));
    ASSERT_EQ(0, downloads.downloadAndRename(server.url("/pkg/scene.7z"), "scene.zip"));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*archive, readBytes(dl("upper.7Z"))));
    EXPECT_TRUE(sameBytes(*archive, readBytes(dl("scene.zip"))));
    EXPECT_FALSE(exists("D:/un/top.txt"));
}

TEST_F(ExtractionTest, MissingExtractorIsReportedAndTheFileStays)
{
    serve("/pkg/scene.7z");
    ASSERT_EQ(0, downloads.download(server.url("/pkg/scene.7z")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*archive, readBytes(dl("scene.7z"))));
    const auto shown = messages();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(L"文件无法正常解压，请检查D盘剩余空间是否充足！", shown[0].text);
    EXPECT_EQ(L"文件解压出错", shown[0].caption);
}

TEST_F(ExtractionTest, PathsWithASpaceReachTheExtractorWhole)
{
    installExtractor();
    serve("/pkg/scene.7z");
    downloads.setSavePath("my downloads");
    downloads.setUnCompressPath("my scenes");
    ASSERT_EQ(0, downloads.downloadAndRename(server.url("/pkg/scene.7z"), "my scene.7z"));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*archive, readBytes("D:/my downloads/my scene.7z")));
    EXPECT_EQ("top level\n", readBytes("D:/my scenes/top.txt"));
    EXPECT_EQ("nested file\n", readBytes("D:/my scenes/nested/deeper/inner.txt"));
    EXPECT_TRUE(messages().empty());
}

TEST_F(ExtractionTest, DamagedArchiveIsReportedAndTheFileStays)
{
    installExtractor();
    HttpReply damaged;
    damaged.body = std::make_shared<std::string>(archive->substr(0, archive->size() / 2));
    server.setReply("/pkg/damaged.7z", damaged);
    ASSERT_EQ(0, downloads.download(server.url("/pkg/damaged.7z")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_TRUE(sameBytes(*damaged.body, readBytes(dl("damaged.7z"))));
    EXPECT_EQ(DownloadManager::kFinishedProgress, downloads.getDownloadProgressInfo("damaged.7z"));
    EXPECT_FALSE(exists("D:/un/top.txt"));
    const auto shown = messages();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(L"文件无法正常解压，请检查D盘剩余空间是否充足！", shown[0].text);
    EXPECT_EQ(L"文件解压出错", shown[0].caption);
}

TEST_F(ExtractionTest, EngineArchiveIsHandedOverWhileItsTaskIsRunning)
{
    installExtractor();
    serve("/update/Vistaweaver.7z");
    serve("/update/Other.7z");
    int handovers = 0;
    bool taskPresent = false;
    bool extracted = false;
    bool reported = false;
    downloads.setEngineArchiveHandler([&](const DownloadTask& task, bool extractorSucceeded) {
        ++handovers;
        TaskProgress progress;
        taskPresent = downloads.findProgress("Vistaweaver.7z", progress) && task.name() == "Vistaweaver.7z";
        extracted = exists("D:/un/top.txt");
        reported = extractorSucceeded;
    });
    ASSERT_EQ(0, downloads.download(server.url("/update/Other.7z")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(0, handovers);

    ASSERT_EQ(0, downloads.download(server.url("/update/Vistaweaver.7z")));
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(1, handovers);
    EXPECT_TRUE(taskPresent);
    EXPECT_TRUE(extracted);
    EXPECT_TRUE(reported);
}
