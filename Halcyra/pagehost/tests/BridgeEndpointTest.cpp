#include <gtest/gtest.h>

#include "Halcyra/pagehost/BridgeEndpoint.h"
#include "framework/Dispatch.h"

namespace {

namespace be = bridge_endpoint;

HttpRequest callRequest(const std::string& host, const std::string& origin, const std::string& secret) {
    HttpRequest request;
    request.method = "POST";
    request.target = "/.host/call";
    if (!host.empty()) request.headers["host"] = host;
    if (!origin.empty()) request.headers["origin"] = origin;
    if (!secret.empty()) request.headers[be::kSecretHeader] = secret;
    return request;
}

TEST(BridgeEndpoint, AnswersOnlyThePagesOwnOriginWithTheSecret) {
    std::string secret, another;
    ASSERT_TRUE(be::makeSecret(secret));
    ASSERT_TRUE(be::makeSecret(another));
    ASSERT_EQ(32u, secret.size());
    EXPECT_NE(secret, another);
    const std::string host = "127.0.0.1:8123", origin = "http://127.0.0.1:8123";

    EXPECT_EQ("", be::endpointRefusal(callRequest(host, origin, secret), 8123, secret));
    EXPECT_EQ("no secret", be::endpointRefusal(callRequest(host, origin, ""), 8123, secret));
    EXPECT_EQ("no secret", be::endpointRefusal(callRequest(host, origin, secret.substr(1) + "0"), 8123, secret));
    EXPECT_EQ("wrong Host", be::endpointRefusal(callRequest("localhost:8123", origin, secret), 8123, secret));
    EXPECT_EQ("wrong Host", be::endpointRefusal(callRequest("evil.test:8123", origin, secret), 8123, secret));
    EXPECT_EQ("wrong Host", be::endpointRefusal(callRequest(host + "0", origin, secret), 8123, secret));
    EXPECT_EQ("wrong Host", be::endpointRefusal(callRequest("", origin, secret), 8123, secret));
    EXPECT_EQ("wrong Origin", be::endpointRefusal(callRequest(host, "http://evil.test", secret), 8123, secret));
    EXPECT_EQ("wrong Origin", be::endpointRefusal(callRequest(host, "null", secret), 8123, secret));
    EXPECT_EQ("wrong Origin", be::endpointRefusal(callRequest(host, "", secret), 8123, secret));
    EXPECT_EQ("wrong Origin",
              be::endpointRefusal(callRequest(host, "http://127.0.0.1:8124", secret), 8123, secret));
    HttpRequest get = callRequest(host, origin, secret);
    get.method = "GET";
    EXPECT_EQ("not a POST", be::endpointRefusal(get, 8123, secret));
}

// Browsers leave the default port out of Host and Origin.
TEST(BridgeEndpoint, OnPort80TakesTheAddressWithoutAPort) {
    const std::string secret(32, 'a');
    EXPECT_EQ("", be::endpointRefusal(callRequest("127.0.0.1", "http://127.0.0.1", secret), 80, secret));
    EXPECT_EQ("", be::endpointRefusal(callRequest("127.0.0.1:80", "http://127.0.0.1", secret), 80, secret));
    EXPECT_EQ("wrong Host", be::endpointRefusal(callRequest("127.0.0.1", "http://127.0.0.1", secret), 8080, secret));
    EXPECT_EQ("wrong Origin",
              be::endpointRefusal(callRequest("127.0.0.1:8080", "http://127.0.0.1", secret), 8080, secret));
}

TEST(BridgeEndpoint, ArgumentsKeepTheirScriptTypes) {
    be::Call call;
    std::string problem;
    ASSERT_TRUE(be::parseCall(
        u8R"({"method":"setParam","args":["场景",7,2.5,5000000000,true,null,{}]})", call, problem))
        << problem;
    EXPECT_EQ(L"setParam", call.method);
    ASSERT_EQ(7u, call.args.size());
    EXPECT_EQ(VT_BSTR, call.args[0].type());
    EXPECT_EQ(L"\u573A\u666F", call.args[0].str());
    EXPECT_EQ(VT_I4, call.args[1].type());
    EXPECT_EQ(7, call.args[1].get().lVal);
    EXPECT_EQ(VT_R8, call.args[2].type());
    EXPECT_EQ(VT_R8, call.args[3].type());
    EXPECT_EQ(5000000000.0, call.args[3].get().dblVal);
    EXPECT_EQ(VT_BOOL, call.args[4].type());
    EXPECT_EQ(VT_NULL, call.args[5].type());
    EXPECT_EQ(VT_EMPTY, call.args[6].type());

    EXPECT_FALSE(be::parseCall("[1,2]", call, problem));
    EXPECT_FALSE(be::parseCall(R"({"args":[]})", call, problem));
    EXPECT_FALSE(be::parseCall(R"({"method":"x","args":"y"})", call, problem));
}

TEST(BridgeEndpoint, ResultsKeepTheirTypes) {
    EXPECT_EQ("{}", be::resultJson(fw::Variant().get()));
    EXPECT_EQ(R"({"result":-4})", be::resultJson(fw::Variant::fromInt(-4).get()));
    EXPECT_EQ(R"({"result":true})", be::resultJson(fw::Variant::fromBool(true).get()));
    EXPECT_EQ(R"({"result":false})", be::resultJson(fw::Variant::fromBool(false).get()));
    // A 64-bit size beyond 32 bits, as a number.
    EXPECT_EQ(R"({"result":6442450944})", be::resultJson(fw::Variant::fromInt64(6442450944LL).get()));
    EXPECT_EQ(R"({"result":0.5})", be::resultJson(fw::Variant::fromFloat(0.5f).get()));
    EXPECT_EQ(R"({"result":-1.0})", be::resultJson(fw::Variant::fromFloat(-1.0f).get()));
    EXPECT_EQ(u8R"({"result":"D:/Orbelune 场景\"x\""})",
              be::resultJson(fw::Variant::fromString(L"D:/Orbelune \u573A\u666F\"x\"").get()));
}

TEST(BridgeEndpoint, CallsByNameLikePageScript) {
    std::vector<fw::DispatchArgs> seen;
    fw::ComPtr<fw::TableDispatch> bridge = fw::TableDispatch::create(
        {{L"getFileSize", 1,
          [&](const fw::DispatchArgs& args) {
              seen.push_back(args);
              return fw::Variant::fromInt64(6442450944LL);
          }},
         {L"setParam", 2, [&](const fw::DispatchArgs& args) {
              seen.push_back(args);
              return fw::Variant();
          }}});
    be::Call call;
    std::string problem;
    ASSERT_TRUE(be::parseCall(R"({"method":"GETFILESIZE","args":["a.pak"]})", call, problem));
    EXPECT_EQ(R"({"result":6442450944})", be::invoke(bridge.get(), call));
    ASSERT_TRUE(be::parseCall(R"({"method":"setParam","args":["n",7]})", call, problem));
    EXPECT_EQ("{}", be::invoke(bridge.get(), call));
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ((fw::DispatchArgs{L"a.pak"}), seen[0]);
    EXPECT_EQ((fw::DispatchArgs{L"n", L"7"}), seen[1]);  // in call order, converted to text

    ASSERT_TRUE(be::parseCall(R"({"method":"setParam","args":["n"]})", call, problem));
    EXPECT_EQ(R"({"error":"Wrong number of arguments or invalid property assignment"})",
              be::invoke(bridge.get(), call));
    ASSERT_TRUE(be::parseCall(R"({"method":"format","args":[]})", call, problem));
    EXPECT_EQ(R"({"error":"Object doesn't support property or method 'format'"})", be::invoke(bridge.get(), call));
    EXPECT_EQ(2u, seen.size());
    bridge->detach();
}

}  // namespace
