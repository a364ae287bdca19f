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
    EXPECT_FALSE(runExtractor(""));
}
