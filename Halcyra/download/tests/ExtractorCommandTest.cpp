#include "Halcyra/download/Extractor.h"

#include <gtest/gtest.h>

TEST(ExtractorCommand, FormatsTheSwitchesAndRefusesWhatDoesNotFit)
{
    EXPECT_EQ("C:/Orbelune/7z.exe x -r D:/Orbelune/UpdateDown/Vistaweaver.7z -y -pkol_pz@pz#kol "
              "-oD:/Orbelune/UpdateFiles",
              extractorCommand("C:/Orbelune/", "D:/Orbelune/UpdateDown/Vistaweaver.7z",
                               "D:/Orbelune/UpdateFiles"));
    const std::string fixed = extractorCommand("", "", "");
    const std::string exactFit(1023 - fixed.size(), 'a');
    EXPECT_EQ(1023u, extractorCommand("", exactFit, "").size());
    EXPECT_EQ("", extractorCommand("", exactFit + "a", ""));
    EXPECT_FALSE(runExtractor("", "C:/", nullptr));
}

TEST(ExtractorCommand, QuotesAPathWithASpaceAsOneArgument)
{
    EXPECT_EQ("C:/Orbelune/7z.exe x -r \"D:/my dl/my scene.7z\" -y -pkol_pz@pz#kol -oD:/un",
              extractorCommand("C:/Orbelune/", "D:/my dl/my scene.7z", "D:/un"));
    EXPECT_EQ("C:/Orbelune/7z.exe x -r D:/dl/scene.7z -y -pkol_pz@pz#kol -o\"D:/my un\"",
              extractorCommand("C:/Orbelune/", "D:/dl/scene.7z", "D:/my un"));
    // A backslash before the closing quote would escape it: it is doubled.
    EXPECT_EQ("C:/Orbelune/7z.exe x -r D:/dl/scene.7z -y -pkol_pz@pz#kol -o\"D:/my un\\\\\"",
              extractorCommand("C:/Orbelune/", "D:/dl/scene.7z", "D:/my un\\"));
    // "\x95\x5c" is one double-byte character whose second byte is a backslash's code.
    EXPECT_EQ("C:/Orbelune/7z.exe x -r D:/dl/scene.7z -y -pkol_pz@pz#kol -o\"D:/my \x95\x5c\"",
              extractorCommand("C:/Orbelune/", "D:/dl/scene.7z", "D:/my \x95\x5c"));
    EXPECT_EQ("", extractorCommand("C:/Orbelune/", "D:/dl/a\"b.7z", "D:/un"));
}
