#include "Halcyra/download/NameResolution.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kSave = "D:/Orbelune/dl";

bool accepted(const std::string& name) { return !resolveName(kSave, name).empty(); }

}  // namespace

TEST(NameResolution, NamesResolveUnderTheSavePath)
{
    EXPECT_EQ("D:/Orbelune/dl/a.pak", resolveName(kSave, "a.pak"));
    EXPECT_EQ("D:/Orbelune/dl/sub\\deeper\\a.7z", resolveName(kSave, "sub\\deeper\\a.7z"));
    for (const char* name : {"a.pak", "sub/a.pak", "..a", "a..", "x/..y/z", "./a.pak", "console.pak",
                             "nul1.pak", "null.pak", "com10.pak", "comx.pak", "lpt.pak", "auxiliary.pak",
                             "con_x.pak", "\xd6\xd0\xce\xc4.pak"})
        EXPECT_TRUE(accepted(name)) << name;
}

TEST(NameResolution, AbsoluteAndParentNamesAreRefused)
{
    for (const char* name : {"", "/a.pak", "\\a.pak", "\\\\host\\share\\a", "C:a.pak", "c:/a.pak",
                             "a.pak:stream", "..", "../a.pak", "sub/../../a", "sub\\..", "...\\a",
                             ".. /a", "sub/. ."})
        EXPECT_FALSE(accepted(name)) << name;
    // 0x81 0x5C is one GBK character; the ".." after it is part of the same component.
    EXPECT_TRUE(accepted("\x81\\../a"));
}

TEST(NameResolution, DeviceNamesAreRefusedInEveryComponent)
{
    for (const char* name : {"nul", "NUL", "nul.pak", "Nul.tar.gz", "nul .pak", "con", "prn.txt",
                             "aux.pak", "com1.pak", "COM9", "com0.x", "lpt1.pak", "LpT9.7z",
                             "sub/con/a.pak", "con\\a.pak", "sub/aux"})
        EXPECT_FALSE(accepted(name)) << name;
}

TEST(NameResolution, NothingResolvesBeforeASavePathIsSet)
{
    EXPECT_EQ("", resolveName("", "a.pak"));
    EXPECT_EQ("", resolveName("", "version.tab"));
}

TEST(NameResolution, PathsLongerThanTheFileFunctionsTakeAreRefused)
{
    // "D:/Orbelune/dl/" is 15 characters: a path of 259 is the longest there is.
    const std::string longest = std::string(240, 'n') + ".pak";
    EXPECT_EQ(259u, resolveName(kSave, longest).size());
    EXPECT_EQ("", resolveName(kSave, "n" + longest));
    // Room asked for a suffix counts.
    EXPECT_EQ("", resolveName(kSave, longest, 2));
    EXPECT_FALSE(resolveName(kSave, longest.substr(2), 2).empty());
    // A component longer than a file name, though the path would fit.
    EXPECT_EQ("", resolveName("D:", std::string(256, 'c')));
    EXPECT_FALSE(resolveName("D:", std::string(255, 'c')).empty());
    // A directory longer than CreateDirectory makes.
    EXPECT_EQ("", resolveName(kSave, std::string(240, 'd') + "/a"));
    EXPECT_FALSE(resolveName(kSave, std::string(230, 'd') + "/a").empty());
    // Characters count, not bytes: 150 Chinese characters are 300 bytes.
    std::string chinese;
    for (int i = 0; i < 150; ++i) chinese += "\xd6\xd0";
    EXPECT_FALSE(resolveName(kSave, chinese + ".pak").empty());
    // Under Wine a path of 65,536 bytes would wrap to its first bytes.
    EXPECT_EQ("", resolveName(kSave, std::string(65536, 'q')));
    EXPECT_EQ("", resolveName(std::string(65536, '\\'), "a.pak"));
    EXPECT_FALSE(fitsDirectoryLimit(std::string(65536, '\\')));
    EXPECT_FALSE(fitsDirectoryLimit(""));
    EXPECT_TRUE(fitsDirectoryLimit(std::string(247, 'd')));
    EXPECT_FALSE(fitsDirectoryLimit(std::string(248, 'd')));
}

TEST(NameResolution, NamesOfTheSameFile)
{
    for (const char* other : {"Sub/Scene.pak", "sub\\scene.PAK", "SUB//scene.pak", "./sub/./scene.pak",
                              "sub/scene.pak.", "sub/scene.pak ", "sub\\\\SCENE.pak", "sub./scene.pak",
                              "sub. ./scene.pak"})
        EXPECT_TRUE(isSameFileName("sub/scene.pak", other)) << other;
    for (const char* other : {"scene.pak", "sub/scene.pa", "sub/scene.pak~", "sub.scene.pak", "sub2/scene.pak",
                              "sub/scene .pak"})
        EXPECT_FALSE(isSameFileName("sub/scene.pak", other)) << other;
    // Letter case beyond ASCII as well; Chinese characters have none.
    EXPECT_TRUE(isSameFileName("\xa6\xa1.pak", "\xa6\xc1.pak"));  // Greek alpha, upper and lower
    EXPECT_FALSE(isSameFileName("\xd6\xd0.pak", "\xce\xc4.pak"));
}
