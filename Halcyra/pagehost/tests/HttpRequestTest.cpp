#include <gtest/gtest.h>

#include "Halcyra/pagehost/HttpServer.h"

namespace {

using State = HttpRequestParser::State;

State feedAll(HttpRequestParser& parser, const std::string& bytes) { return parser.feed(bytes.data(), bytes.size()); }

TEST(HttpRequestParser, ReadsHeadAndBodyArrivingInPieces) {
    const std::string request =
        "POST /.host/call?x=1 HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nContent-Length: 11\r\n"
        "X-Page-Host-Secret:  abc \r\n\r\n{\"a\":\"b\"}\r\n";
    HttpRequestParser parser;
    State state = State::NeedMore;
    for (size_t i = 0; i < request.size(); i += 7) {
        ASSERT_EQ(State::NeedMore, state) << "complete before byte " << i;
        state = parser.feed(request.data() + i, std::min<size_t>(7, request.size() - i));
    }
    ASSERT_EQ(State::Complete, state);
    EXPECT_EQ("POST", parser.request().method);
    EXPECT_EQ("/.host/call?x=1", parser.request().target);
    EXPECT_EQ("/.host/call", parser.request().path());
    EXPECT_EQ("127.0.0.1:8080", parser.request().header("host"));
    EXPECT_EQ("abc", parser.request().header("x-page-host-secret"));
    EXPECT_EQ("{\"a\":\"b\"}\r\n", parser.request().body);
}

TEST(HttpRequestParser, RefusesAmbiguousOrBrokenHeads) {
    const char* broken[] = {
        "GET /a\r\n\r\n",                                                  // no version
        "GET a HTTP/1.1\r\n\r\n",                                          // no leading slash
        "GET /a HTTP/1.1\r\nHost: 127.0.0.1:1\r\nHost: evil.test\r\n\r\n",  // two hosts
        "GET /a HTTP/1.1\r\nno colon here\r\n\r\n",
        "POST /a HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
        "POST /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
    };
    for (const char* head : broken) {
        HttpRequestParser parser;
        EXPECT_EQ(State::Malformed, feedAll(parser, head)) << head;
    }
}

TEST(HttpRequestParser, RefusesOversizedRequests) {
    HttpRequestParser body;
    EXPECT_EQ(State::TooLarge, feedAll(body, "POST /a HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n"));
    HttpRequestParser head;
    EXPECT_EQ(State::TooLarge, feedAll(head, "GET /a HTTP/1.1\r\nX: " + std::string(70000, 'a')));
}

TEST(HttpResponse, CarriesLengthAndClosesTheConnection) {
    HttpResponse response = HttpResponse::text(403, "refused: wrong Origin");
    std::string bytes = formatResponse(response);
    EXPECT_EQ(0u, bytes.find("HTTP/1.1 403 Forbidden\r\n"));
    EXPECT_NE(std::string::npos, bytes.find("\r\nConnection: close\r\n"));
    EXPECT_NE(std::string::npos, bytes.find("\r\nContent-Length: 22\r\n\r\nrefused: wrong Origin\n"));
}

}  // namespace
