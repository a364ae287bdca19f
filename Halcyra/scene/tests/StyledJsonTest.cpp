#include "Halcyra/scene/StyledJson.h"

#include <json/writer.h>

#include <gtest/gtest.h>

namespace {

Json::Value sampleDocument()
{
    Json::Value root(Json::objectValue);
    root["zeta"] = "last";
    root["alpha"] = "first";
    root["body"]["planPath"] = "D:/x/plan/a.json";
    root["body"]["sceneInfo"]["id"] = "57";
    root["body"]["sceneInfo"]["styles"] = Json::Value();
    root["body"]["empty"] = Json::Value(Json::objectValue);
    root["quote\"key"] = "tab\there, back\\slash, bell\x07, slash /";
    return root;
}

}  // namespace

// For 7-bit text the layout must be exactly the one the classic styled writer gives.
TEST(StyledJson, MatchesClassicStyledLayoutForAsciiText)
{
    const Json::Value root = sampleDocument();
    Json::StyledWriter classic;
    EXPECT_EQ(classic.write(root), writeStyledJson(root));
}

TEST(StyledJson, WritesTheExpectedBytes)
{
    const std::string expected =
        "{\n"
        "   \"alpha\" : \"first\",\n"
        "   \"body\" : {\n"
        "      \"empty\" : {},\n"
        "      \"planPath\" : \"D:/x/plan/a.json\",\n"
        "      \"sceneInfo\" : {\n"
        "         \"id\" : \"57\",\n"
        "         \"styles\" : null\n"
        "      }\n"
        "   },\n"
        "   \"quote\\\"key\" : \"tab\\there, back\\\\slash, bell\\u0007, slash /\",\n"
        "   \"zeta\" : \"last\"\n"
        "}\n";
    EXPECT_EQ(expected, writeStyledJson(sampleDocument()));
}

// GBK double-byte text (not valid UTF-8) and a byte that looks like a UTF-8 lead must pass
// through unchanged, in values and in names.
TEST(StyledJson, KeepsHighBytesUnescaped)
{
    Json::Value root(Json::objectValue);
    root["\xC3\xFB"] = "\xB3\xA1\xBE\xB0 \xE4 \xFF";
    EXPECT_EQ("{\n   \"\xC3\xFB\" : \"\xB3\xA1\xBE\xB0 \xE4 \xFF\"\n}\n", writeStyledJson(root));
}

// A string holding the layout's own pattern must not be mistaken for layout.
TEST(StyledJson, LeavesLookalikeTextInStringsAlone)
{
    Json::Value root(Json::objectValue);
    root["a : "]["b"] = " : \n   {";
    EXPECT_EQ("{\n   \"a : \" : {\n      \"b\" : \" : \\n   {\"\n   }\n}\n", writeStyledJson(root));
}
