#include "Halcyra/scene/SceneDescription.h"

#include "Halcyra/scene/tests/SceneTestSupport.h"
#include "framework/MessageBox.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace scene_test;

// What a catalogue page sends for one scene, including calls the tables must ignore or
// overwrite. Chinese literals are GBK in this program, as the page's text is after
// conversion to the ANSI code page.
void fillScene(SceneDescription& scene)
{
    scene.setParam("gamedir", "E:/games/Vistaweaver-Win64-Shipping.exe");
    scene.addJson("version", "0");
    scene.addJson("version", "1");
    scene.addJson("title", "客厅");
    scene.addJson("body", "from the page");
    scene.addJson("ignored", "");
    scene.addJsonBody("planPath", "plan/a.json");
    scene.addJsonBody("homePath", "C:/windows");
    scene.addJsonBody("localFilePath", "pak/room.pak");
    scene.addJsonBody("localFilePath", "");
    scene.addJsonBody("mode", "view");
    scene.addJsonBody("sceneInfo", "from the page");
    scene.addJsonSceneInfo("ue4Version", "4.26");
    scene.addJsonSceneInfo("ue4Name", "Room.v2.pak");
    scene.addJsonSceneInfo("id", "1024");
    scene.addJsonSceneInfo("name", "场景");
    scene.addJsonSceneInfo("styles", "from the page");
    scene.addJsonSceneStyles("wall", "白色");
    scene.addJsonSceneStyles("floor", "oak");
    scene.addJsonSceneStyles("", "no key");
}

// GBK bytes spelled out, so the expectation does not depend on how this file is compiled.
const char kGoldenDocument[] =
    "{\n"
    "   \"body\" : {\n"
    "      \"homePath\" : \"C:/windows\",\n"
    "      \"localFilePath\" : \"D:/x/pak/room.pak\",\n"
    "      \"mode\" : \"view\",\n"
    "      \"planPath\" : \"D:/x/plan/a.json\",\n"
    "      \"sceneInfo\" : {\n"
    "         \"id\" : \"1024\",\n"
    "         \"name\" : \"\xB3\xA1\xBE\xB0\",\n"
    "         \"styles\" : {\n"
    "            \"floor\" : \"oak\",\n"
    "            \"wall\" : \"\xB0\xD7\xC9\xAB\"\n"
    "         },\n"
    "         \"ue4Name\" : \"Room.v2\",\n"
    "         \"ue4Version\" : \"4.26\"\n"
    "      }\n"
    "   },\n"
    "   \"title\" : \"\xBF\xCD\xCC\xFC\",\n"
    "   \"version\" : \"1\"\n"
    "}\n";

}  // namespace

TEST(SceneDescription, DocumentMatchesGoldenBytes)
{
    SceneDescription scene;
    fillScene(scene);
    EXPECT_EQ(kGoldenDocument, scene.document("D:/x"));
}

std::string forwardSlashes(std::string path)
{
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST(SceneDescription, WritesDocumentFileByteForByte)
{
    testing_support::TempDir temp;
    const std::string dir = forwardSlashes(temp.path());
    MessageBoxLog messages;
    SceneDescription scene;
    fillScene(scene);
    EXPECT_TRUE(scene.writeDocument(dir));
    EXPECT_EQ(replaceAll(kGoldenDocument, "D:/x", dir), readBytes(dir + "/scenePath.json"));
    EXPECT_TRUE(messages.calls.empty());

    // Rewritten whole (truncated) by the next start, from the stored prefixed paths.
    scene.addJsonBody("mode", "edit");
    EXPECT_TRUE(scene.writeDocument(dir));
    const std::string second = readBytes(dir + "/scenePath.json");
    EXPECT_EQ(replaceAll(replaceAll(kGoldenDocument, "D:/x", dir), "\"view\"", "\"edit\""), second);
}

TEST(SceneDescription, RelativeBodyPathsArePrefixedOnceAndStored)
{
    SceneDescription scene;
    scene.addJsonBody("planPath", "plan/a.json");
    scene.addJsonBody("homePath", "C:/windows");     // exists: kept
    scene.addJsonBody("other", "rel/b.json");        // not a path key: kept
    scene.document("D:/x");
    scene.document("D:/x");
    const SceneDescription::Table expected = {{"planPath", "D:/x/plan/a.json"},
                                              {"homePath", "C:/windows"},
                                              {"other", "rel/b.json"}};
    EXPECT_EQ(expected, scene.body());

    // Without a scene directory nothing is prefixed.
    SceneDescription noDirectory;
    noDirectory.addJsonBody("planPath", "plan/a.json");
    noDirectory.document("");
    EXPECT_EQ("plan/a.json", noDirectory.body().at("planPath"));
}

TEST(SceneDescription, PathsRootedWithoutADriveArePrefixedInTheDocument)
{
    const testing_support::TempDir dir;
    SceneDescription scene;
    scene.addJsonBody("planPath", "/plan/a.json");
    scene.addJsonBody("localFilePath", "\\pak\\room.pak");
    scene.addJsonBody("homePath", "\\\\server\\share\\home");  // a network share: kept
    ASSERT_TRUE(scene.writeDocument(dir.path()));
    ASSERT_TRUE(scene.writeDocument(dir.path()));

    const std::string document = readBytes(dir.path() + "/scenePath.json");
    // In the document JSON doubles every backslash.
    std::string escaped = dir.path();
    escaped = replaceAll(escaped, "\\", "\\\\");
    EXPECT_NE(document.find("\"planPath\" : \"" + escaped + "//plan/a.json\""), std::string::npos)
        << document;
    EXPECT_NE(document.find("\"localFilePath\" : \"" + escaped + "/\\\\pak\\\\room.pak\""),
              std::string::npos)
        << document;
    EXPECT_NE(document.find("\"homePath\" : \"\\\\\\\\server\\\\share\\\\home\""),
              std::string::npos)
        << document;

    // A scene directory rooted without a drive: what already lies inside it stays as it is.
    SceneDescription rooted;
    rooted.addJsonBody("planPath", "/plan/a.json");
    rooted.addJsonBody("localFilePath", "/scene/pak/room.pak");
    rooted.addJsonBody("homePath", "/scenery/home");
    rooted.document("/scene");
    rooted.document("/scene");
    const SceneDescription::Table expected = {{"planPath", "/scene//plan/a.json"},
                                              {"localFilePath", "/scene/pak/room.pak"},
                                              {"homePath", "/scene//scenery/home"}};
    EXPECT_EQ(expected, rooted.body());
}

TEST(SceneDescription, SceneInfoKeysDeriveVersionNameAndPackage)
{
    SceneDescription scene;
    scene.addJsonSceneInfo("ue4Name", "Room.pak");
    EXPECT_EQ("Room", scene.sceneInfo().at("ue4Name"));
    scene.addJsonSceneInfo("ue4Name", "NoExtension");
    EXPECT_EQ("NoExtension", scene.sceneInfo().at("ue4Name"));
    scene.addJsonSceneInfo("ue4Name", ".pak");
    EXPECT_EQ("", scene.sceneInfo().at("ue4Name"));

    scene.addJsonSceneInfo("id", "1024");
    scene.addJsonSceneInfo("id", "");
    EXPECT_EQ("1024.pak", scene.currentScenePackage());
    EXPECT_EQ("1024", scene.sceneInfo().at("id"));

    scene.addJsonSceneInfo("ue4Version", "4.24");
    scene.addJsonSceneInfo("UE4Version", "4.26");  // keys are case-sensitive
    EXPECT_EQ("4.24", scene.engineVersion());
}

TEST(SceneDescription, EmptyStylesAreNullAndClearEmptiesTables)
{
    SceneDescription scene;
    scene.setParam("pakdir", "p");
    scene.addJson("a", "b");
    scene.addJsonSceneInfo("id", "57");
    EXPECT_EQ("{\n"
              "   \"a\" : \"b\",\n"
              "   \"body\" : {\n"
              "      \"sceneInfo\" : {\n"
              "         \"id\" : \"57\",\n"
              "         \"styles\" : null\n"
              "      }\n"
              "   }\n"
              "}\n",
              scene.document("D:/x"));

    scene.clear();
    EXPECT_TRUE(scene.params().empty());
    EXPECT_TRUE(scene.topLevel().empty());
    EXPECT_TRUE(scene.sceneInfo().empty());
    EXPECT_EQ("", scene.param("pakdir"));
}

TEST(SceneDescription, UncreatableDocumentIsReported)
{
    MessageBoxLog messages;
    SceneDescription scene;
    EXPECT_FALSE(scene.writeDocument("C:/no such dir"));
    ASSERT_EQ(1u, messages.calls.size());
    EXPECT_EQ(L"创建文件（C:/no such dir/scenePath.json）失败! 通常是您没有写文件权限引起，"
              L"请尝试重置Internet Explorer设置!",
              messages.calls[0].text);
    EXPECT_EQ(L"创建文件失败", messages.calls[0].caption);
    // Without a main window, in front of every other window.
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_SETFOREGROUND | MB_TOPMOST), messages.calls[0].type);
}
