// Unit tests of the listener's byte-level parts: request heads, chunked
// bodies, multipart forms and the connection state machine that joins them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "servers/http/ChunkedDecoder.h"
#include "servers/http/HttpConnection.h"
#include "servers/http/MultipartForm.h"
#include "servers/http/RequestHeadParser.h"

using namespace murmelo;
using namespace murmelo::servers;

namespace {

// 0 when the head parses, else the status it is refused with.
int refusalOf(const std::string& head, RequestHeadParser::Limits limits = {}) {
    RequestHeadParser parser(limits);
    auto parsed = parser.parse(head);
    if (!parsed) {
        return static_cast<int>(parsed.error().code());
    }
    return *parsed ? 0 : -1; // -1: still incomplete
}

std::string headWith(const std::string& fields, const std::string& requestLine = "POST /x HTTP/1.1") {
    return requestLine + "\r\n" + fields + "\r\n";
}

} // namespace

TEST(RequestHeadParser, AcceptsAndRefusesHeads) {
    const std::string host = "Host: a.example\r\n";
    struct Row {
        const char* name;
        std::string head;
        int refusal;
    };
    const Row rows[] = {
        {"plain GET", headWith(host, "GET /index.php?page=2 HTTP/1.1"), 0},
        {"HTTP/1.0 without Host", headWith("", "GET / HTTP/1.0"), 0},
        {"bare LF lines", "GET / HTTP/1.1\nHost: a\n\n", 0},
        {"empty lines before the request", "\r\n\r\n" + headWith(host, "GET / HTTP/1.1"), 0},
        {"equal Content-Lengths", headWith(host + "Content-Length: 3\r\nContent-Length: 3\r\n"), 0},
        {"chunked", headWith(host + "Transfer-Encoding: Chunked\r\n"), 0},
        {"IPv6 Host with port", headWith("Host: [::1]:8080\r\n"), 0},
        {"empty Host", headWith("Host:\r\n"), 0},
        {"UTF-8 in a value", headWith(host + "X-Name: caf\xc3\xa9\r\n"), 0},
        {"missing Host on 1.1", headWith("Accept: */*\r\n"), 400},
        {"two Hosts", headWith(host + "Host: b.example\r\n"), 400},
        {"NUL in Host", headWith(std::string("Host: a\0b\r\n", 11)), 400},
        {"blank in Host", headWith("Host: a b\r\n"), 400},
        {"slash in Host", headWith("Host: a/b\r\n"), 400},
        {"control byte in a value", headWith(host + "X-A: a\x01z\r\n"), 400},
        {"DEL in a value", headWith(host + "X-A: a\x7fz\r\n"), 400},
        {"bare CR in a value", headWith(host + "X-A: a\rb\r\n"), 400},
        {"bare CR ending the request line", "GET / HTTP/1.1\r\rHost: a\r\n\r\n", 400},
        {"folded line", headWith(host + "X-A: a\r\n b\r\n"), 400},
        {"blank before the colon", headWith(host + "Content-Length : 3\r\n"), 400},
        {"no colon", headWith(host + "Nonsense\r\n"), 400},
        {"conflicting Content-Lengths", headWith(host + "Content-Length: 3\r\nContent-Length: 4\r\n"), 400},
        {"Content-Length list", headWith(host + "Content-Length: 3, 3\r\n"), 400},
        {"signed Content-Length", headWith(host + "Content-Length: +3\r\n"), 400},
        {"negative Content-Length", headWith(host + "Content-Length: -1\r\n"), 400},
        {"hex Content-Length", headWith(host + "Content-Length: 0x10\r\n"), 400},
        {"empty Content-Length", headWith(host + "Content-Length:\r\n"), 400},
        {"overflowing Content-Length", headWith(host + "Content-Length: 18446744073709551616\r\n"), 400},
        {"Content-Length with Transfer-Encoding",
         headWith(host + "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n"), 400},
        {"gzip coding", headWith(host + "Transfer-Encoding: gzip, chunked\r\n"), 400},
        {"chunked twice", headWith(host + "Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n"),
         400},
        {"identity coding", headWith(host + "Transfer-Encoding: identity\r\n"), 400},
        {"chunked on 1.0", headWith("Transfer-Encoding: chunked\r\n", "POST / HTTP/1.0"), 400},
        {"unknown expectation", headWith(host + "Expect: 200-ok\r\n"), 417},
        {"HTTP/2.0", headWith(host, "GET / HTTP/2.0"), 505},
        {"HTTP/1.2", headWith(host, "GET / HTTP/1.2"), 505},
        {"lower-case version", headWith(host, "GET / http/1.1"), 400},
        {"two blanks in the request line", headWith(host, "GET  / HTTP/1.1"), 400},
        {"no version", headWith(host, "GET /"), 400},
        {"blank in the target", headWith(host, "GET /a b HTTP/1.1"), 400},
        {"control byte in the target", headWith(host, "GET /a\x01 HTTP/1.1"), 400},
        {"method not a token", headWith(host, "G(T / HTTP/1.1"), 400},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(refusalOf(row.head), row.refusal) << row.name;
    }
}

TEST(RequestHeadParser, LimitsAreCheckedAsBytesArrive) {
    RequestHeadParser::Limits limits{64, 3, 200};
    struct Row {
        const char* name;
        std::string received; // possibly incomplete
        int refusal;
    };
    const Row rows[] = {
        {"request line at the limit", "GET /" + std::string(50, 'a') + " HTTP/1.1\r\nHost: a\r\n\r\n", 0},
        {"request line over the limit, unfinished", "GET /" + std::string(70, 'a'), 414},
        {"header line over the limit, unfinished", "GET / HTTP/1.1\r\nX: " + std::string(70, 'a'), 431},
        {"fourth field", "GET / HTTP/1.1\r\nHost: a\r\nA: 1\r\nB: 2\r\nC: 3\r\n", 431},
        {"head over its size, unfinished",
         "GET / HTTP/1.1\r\nA: " + std::string(60, 'a') + "\r\nB: " + std::string(60, 'b') +
             "\r\nC: " + std::string(60, 'c'),
         431},
        {"endless empty lines", std::string(250, '\n'), 431},
        {"three fields, unfinished", "GET / HTTP/1.1\r\nHost: a\r\nA: 1\r\nB: 2\r\n", -1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(refusalOf(row.received, limits), row.refusal) << row.name;
    }
}

TEST(RequestHeadParser, DescribesTheHeadAndItsFraming) {
    struct Row {
        const char* name;
        std::string head;
        BodyFraming framing;
        std::uint64_t length;
        bool keepAlive;
        bool expectContinue;
    };
    const Row rows[] = {
        {"1.1 default", headWith("Host: a\r\n", "GET / HTTP/1.1"), BodyFraming::None, 0, true, false},
        {"1.1 close", headWith("Host: a\r\nConnection: Close\r\n", "GET / HTTP/1.1"), BodyFraming::None, 0,
         false, false},
        {"1.0 default", headWith("", "GET / HTTP/1.0"), BodyFraming::None, 0, false, false},
        {"1.0 keep-alive", headWith("Connection: keep-alive\r\n", "GET / HTTP/1.0"), BodyFraming::None, 0,
         true, false},
        {"length", headWith("Host: a\r\nContent-Length: 0012\r\n"), BodyFraming::ContentLength, 12, true,
         false},
        {"chunked, continue", headWith("Host: a\r\nTransfer-Encoding: chunked\r\nExpect: 100-Continue\r\n"),
         BodyFraming::Chunked, 0, true, true},
        {"1.0 ignores Expect", headWith("Content-Length: 1\r\nExpect: 100-continue\r\n", "POST / HTTP/1.0"),
         BodyFraming::ContentLength, 1, false, false},
    };
    for (const Row& row : rows) {
        RequestHeadParser parser({});
        // Fed a byte at a time, as a slow client sends it.
        Result<std::optional<ParsedHead>> parsed = std::optional<ParsedHead>();
        for (size_t i = 1; i <= row.head.size() && parsed && !*parsed; ++i) {
            parsed = parser.parse(std::string_view(row.head).substr(0, i));
        }
        ASSERT_TRUE(parsed && *parsed) << row.name;
        const RequestHead& head = (*parsed)->head;
        EXPECT_EQ((*parsed)->bytes, row.head.size()) << row.name;
        EXPECT_EQ(head.framing, row.framing) << row.name;
        EXPECT_EQ(head.contentLength, row.length) << row.name;
        EXPECT_EQ(head.keepAlive, row.keepAlive) << row.name;
        EXPECT_EQ(head.expectContinue, row.expectContinue) << row.name;
    }
    auto head = RequestHeadParser::parseComplete("GET /p?q HTTP/1.1\r\nHost: A.example:80\r\nX-A:  v w \r\n");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->method, "GET");
    EXPECT_EQ(head->target, "/p?q");
    EXPECT_EQ(head->host, "A.example:80");
    EXPECT_EQ(head->headers, (HeaderList{{"Host", "A.example:80"}, {"X-A", "v w"}}));
}

TEST(ChunkedDecoder, DecodesAndRefuses) {
    struct Row {
        const char* name;
        std::string body;
        int refusal; // 0: decodes
        std::string data;
        size_t rest; // bytes left after the body
    };
    const Row rows[] = {
        {"two chunks", "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n", 0, "abcde", 0},
        {"upper-case hex, extension", "A;name=value\r\n0123456789\r\n0\r\n\r\n", 0, "0123456789", 0},
        {"trailer field", "1\r\nx\r\n0\r\nX-Check: 1\r\n\r\n", 0, "x", 0},
        {"next request follows", "1\r\nx\r\n0\r\n\r\nGET / HTTP/1.1\r\n", 0, "x", 16},
        {"leading zeros", "0000000000000000000001\r\nx\r\n0\r\n\r\n", 0, "x", 0},
        {"no size", "\r\nabc\r\n0\r\n\r\n", 400, "", 0},
        {"size not hex", "g\r\nabc\r\n0\r\n\r\n", 400, "", 0},
        {"signed size", "+3\r\nabc\r\n0\r\n\r\n", 400, "", 0},
        {"data longer than its size", "2\r\nabc\r\n0\r\n\r\n", 400, "", 0},
        {"bare CR in a size line", "3\rx\r\nabc\r\n0\r\n\r\n", 400, "", 0},
        {"control byte in an extension", "3;a\x01\r\nabc\r\n0\r\n\r\n", 400, "", 0},
        {"folded trailer", "0\r\nA: 1\r\n B\r\n\r\n", 400, "", 0},
        {"over the limit in one chunk", "401\r\n", 413, "", 0},
        {"over the limit in total", "200\r\n" + std::string(0x200, 'a') + "\r\n201\r\n", 413, "", 0},
        {"overflowing size", "ffffffffffffffffffff\r\n", 413, "", 0},
    };
    for (const Row& row : rows) {
        for (size_t step : {row.body.size(), size_t{1}}) {
            ChunkedDecoder decoder({1024, 64, 4});
            std::string data;
            std::string pending;
            int refusal = 0;
            for (size_t i = 0; i < row.body.size() && !decoder.done() && refusal == 0; i += step) {
                pending += row.body.substr(i, step);
                auto used = decoder.decode(pending, data);
                if (!used) {
                    refusal = static_cast<int>(used.error().code());
                } else {
                    pending.erase(0, *used);
                }
            }
            EXPECT_EQ(refusal, row.refusal) << row.name << ", " << step << " at a time";
            if (row.refusal == 0) {
                EXPECT_TRUE(decoder.done()) << row.name;
                EXPECT_EQ(data, row.data) << row.name;
                if (step == row.body.size()) {
                    EXPECT_EQ(pending.size(), row.rest) << row.name;
                }
            }
        }
    }
}

TEST(ChunkedDecoder, LongLinesAreRefusedBeforeTheyEnd) {
    ChunkedDecoder decoder({1024, 64, 4});
    std::string data;
    auto used = decoder.decode("1;" + std::string(100, 'x'), data);
    ASSERT_FALSE(used);
    EXPECT_EQ(used.error().code(), 400);
}

TEST(MultipartForm, ReadsPartsAndRefusesBrokenBodies) {
    struct Row {
        const char* name;
        std::string body;
        bool ok;
        std::vector<FormPart> parts;
        bool unterminated;
    };
    const std::string a = "Content-Disposition: form-data; name=\"a\"\r\n\r\n";
    const Row rows[] = {
        {"two parts",
         "--XyZ\r\n" + a +
             "1\r\n--XyZ\r\nContent-Disposition: form-data; name=\"f\"; "
             "filename=\"x.txt\"\r\nContent-Type: text/plain\r\n\r\nline\r\nline\r\n--XyZ--\r\n",
         true,
         {{"a", "", "", "1"}, {"f", "x.txt", "text/plain", "line\r\nline"}},
         false},
        {"preamble and epilogue",
         "ignored\r\n--XyZ\r\n" + a + "1\r\n--XyZ--\r\nignored too",
         true,
         {{"a", "", "", "1"}},
         false},
        {"token name, escaped quote",
         "--XyZ\r\nContent-Disposition: form-data; name=b\r\n\r\n\r\n--XyZ\r\n"
         "Content-Disposition: form-data; name=\"q\\\"\"\r\n\r\nv\r\n--XyZ--",
         true,
         {{"b", "", "", ""}, {"q\"", "", "", "v"}},
         false},
        {"no closing boundary", "--XyZ\r\n" + a + "1\r\n--XyZ\r\n", true, {{"a", "", "", "1"}}, true},
        {"no closing boundary nor line break",
         "--XyZ\r\n" + a + "1\r\n--XyZ",
         true,
         {{"a", "", "", "1"}},
         true},
        {"ends inside data", "--XyZ\r\n" + a + "1", false, {}, false},
        {"ends inside headers", "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n", false, {}, false},
        {"no parts", "--XyZ\r\n", false, {}, false},
        {"empty form", "--XyZ--\r\n", true, {}, false},
        {"no boundary at all", "a=1", false, {}, false},
        {"part without a name",
         "--XyZ\r\nContent-Disposition: form-data\r\n\r\n1\r\n--XyZ--",
         false,
         {},
         false},
        {"part not form-data",
         "--XyZ\r\nContent-Disposition: attachment; name=a\r\n\r\n1\r\n--XyZ--",
         false,
         {},
         false},
        {"control byte in a part header",
         "--XyZ\r\nContent-Disposition: form-data; name=\"a\x01\"\r\n\r\n1\r\n--XyZ--",
         false,
         {},
         false},
        {"garbage after a delimiter", "--XyZ\r\n" + a + "1\r\n--XyZgarbage\r\n", false, {}, false},
    };
    for (const Row& row : rows) {
        auto form = MultipartForm::parse("XyZ", row.body);
        ASSERT_EQ(form.ok(), row.ok) << row.name;
        if (!form) {
            EXPECT_EQ(form.error().code(), 400) << row.name;
            continue;
        }
        ASSERT_EQ(form->parts.size(), row.parts.size()) << row.name;
        for (size_t i = 0; i < row.parts.size(); ++i) {
            EXPECT_EQ(form->parts[i].name, row.parts[i].name) << row.name;
            EXPECT_EQ(form->parts[i].filename, row.parts[i].filename) << row.name;
            EXPECT_EQ(form->parts[i].contentType, row.parts[i].contentType) << row.name;
            EXPECT_EQ(form->parts[i].data, row.parts[i].data) << row.name;
        }
        EXPECT_EQ(form->unterminated, row.unterminated) << row.name;
    }
}

TEST(MultipartForm, BoundaryComesFromTheContentType) {
    struct Row {
        const char* contentType;
        std::optional<std::string> boundary;
    };
    const Row rows[] = {
        {"multipart/form-data; boundary=XyZ", "XyZ"},
        {"Multipart/Form-Data; charset=utf-8; boundary=\"a b\"", "a b"},
        {"multipart/form-data", ""},
        {"application/x-www-form-urlencoded; boundary=XyZ", std::nullopt},
        {"multipart/mixed; boundary=XyZ", std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(MultipartForm::boundaryOf(row.contentType), row.boundary) << row.contentType;
    }
    EXPECT_FALSE(MultipartForm::parse("", "--\r\n"));
    EXPECT_FALSE(MultipartForm::parse(std::string(201, 'b'), "--" + std::string(201, 'b') + "\r\n"));
}

namespace {

std::string drain(HttpConnection& connection) {
    std::string out;
    std::string_view pieces[8];
    while (connection.hasOutput()) {
        size_t count = connection.outputPieces(pieces, 8);
        size_t bytes = 0;
        for (size_t i = 0; i < count; ++i) {
            out += pieces[i];
            bytes += pieces[i].size();
        }
        connection.consumeOutput(bytes);
    }
    return out;
}

HttpConnection::Limits smallLimits() {
    HttpConnection::Limits limits;
    limits.maxBodyBytes = 16;
    limits.maxRequests = 3;
    return limits;
}

} // namespace

TEST(HttpConnection, AnswersPipelinedRequestsInOrderOneAtATime) {
    HttpConnection connection(smallLimits(), "10.0.0.1");
    connection.receive("GET /one HTTP/1.1\r\nHost: A.Example:81\r\n\r\n"
                       "POST /two HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\n\r\nxyz"
                       "HEAD /three HTTP/1.1\r\nHost: a\r\n\r\n");
    auto first = connection.advance();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->path, "/one");
    EXPECT_EQ(first->host, "a.example");
    EXPECT_EQ(first->remoteAddress, "10.0.0.1");
    EXPECT_FALSE(connection.advance()) << "the next request waits for this reply";
    EXPECT_FALSE(connection.wantsInput());
    connection.respond(HttpResponse::text("1"));
    EXPECT_FALSE(connection.advance()) << "and for the reply to be written";
    std::string reply = drain(connection);
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
    EXPECT_NE(reply.find("Content-Length: 1\r\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("\r\nDate: "), std::string::npos) << reply;
    EXPECT_EQ(reply.substr(reply.size() - 5), "\r\n\r\n1");

    auto second = connection.advance();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->body, "xyz");
    connection.respond(HttpResponse::text("22"));
    drain(connection);
    auto third = connection.advance();
    ASSERT_TRUE(third);
    EXPECT_EQ(third->method, "HEAD");
    connection.respond(HttpResponse::text("body of a GET"));
    reply = drain(connection);
    // The third request is the connection's last (maxRequests), and HEAD has no body.
    EXPECT_NE(reply.find("Content-Length: 13\r\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("Connection: close\r\n"), std::string::npos) << reply;
    EXPECT_EQ(reply.substr(reply.size() - 4), "\r\n\r\n") << reply;
    EXPECT_EQ(connection.waitingFor(), HttpConnection::Wait::Linger);
}

TEST(HttpConnection, RepliesFollowTheirStatusAndVersion) {
    struct Row {
        const char* name;
        std::string request;
        HttpResponse response;
        std::vector<std::string> present;
        std::vector<std::string> absent;
        bool closes;
    };
    const Row rows[] = {
        {"204 without body",
         "GET / HTTP/1.1\r\nHost: a\r\n\r\n",
         HttpResponse::text("ignored", 204),
         {"HTTP/1.1 204 No Content\r\n"},
         {"Content-Length", "Content-Type", "ignored"},
         false},
        {"304 without body",
         "GET / HTTP/1.1\r\nHost: a\r\n\r\n",
         HttpResponse::text("ignored", 304),
         {"HTTP/1.1 304 Not Modified\r\n"},
         {"Content-Length", "ignored"},
         false},
        {"repeated Set-Cookie",
         "GET / HTTP/1.1\r\nHost: a\r\n\r\n",
         HttpResponse::html("<p>").withHeader("Set-Cookie", "a=1").withHeader("Set-Cookie", "b=2"),
         {"Set-Cookie: a=1\r\n", "Set-Cookie: b=2\r\n", "Content-Type: text/html; charset=utf-8\r\n"},
         {},
         false},
        {"handler's framing dropped",
         "GET / HTTP/1.1\r\nHost: a\r\n\r\n",
         HttpResponse::text("abc")
             .withHeader("Content-Length", "99")
             .withHeader("Transfer-Encoding", "chunked"),
         {"Content-Length: 3\r\n"},
         {"99", "chunked"},
         false},
        {"header splitting dropped",
         "GET / HTTP/1.1\r\nHost: a\r\n\r\n",
         HttpResponse::redirect("/x\r\nSet-Cookie: evil=1"),
         {"HTTP/1.1 302 Found\r\n"},
         {"evil", "Location"},
         false},
        {"1.0 closes",
         "GET / HTTP/1.0\r\n\r\n",
         HttpResponse::text("a"),
         {"Connection: close\r\n"},
         {},
         true},
        {"1.0 keep-alive",
         "GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n",
         HttpResponse::text("a"),
         {"Connection: keep-alive\r\n"},
         {},
         false},
        {"1.1 close",
         "GET / HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n",
         HttpResponse::text("a"),
         {"Connection: close\r\n"},
         {},
         true},
    };
    for (const Row& row : rows) {
        HttpConnection connection(smallLimits(), "");
        connection.receive(row.request);
        auto request = connection.advance();
        ASSERT_TRUE(request) << row.name;
        connection.respond(row.response);
        std::string reply = drain(connection);
        for (const std::string& text : row.present) {
            EXPECT_NE(reply.find(text), std::string::npos) << row.name << ": " << reply;
        }
        for (const std::string& text : row.absent) {
            EXPECT_EQ(reply.find(text), std::string::npos) << row.name << ": " << reply;
        }
        EXPECT_EQ(connection.phase() == HttpConnection::Phase::Closing, row.closes) << row.name;
    }
}

TEST(HttpConnection, RefusesItselfAndCloses) {
    struct Row {
        const char* name;
        std::string received;
        int status;
        bool continueSent;
        std::string loggedTarget;
    };
    const Row rows[] = {
        {"declared body too large", "POST /big HTTP/1.1\r\nHost: a\r\nContent-Length: 1000000000\r\n\r\n",
         413, false, "/big"},
        {"too large, expecting 100",
         "POST /big HTTP/1.1\r\nHost: a\r\nContent-Length: 17\r\nExpect: 100-continue\r\n\r\n", 413, false,
         "/big"},
        {"chunked too large",
         "POST /c HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\nExpect: 100-continue\r\n\r\n"
         "10\r\n0123456789abcdef\r\n1\r\n",
         413, true, "/c"},
        {"unreadable multipart",
         "POST /m HTTP/1.1\r\nHost: a\r\nContent-Type: multipart/form-data; boundary=b\r\nContent-Length: "
         "3\r\n\r\nabc",
         400, false, "/m"},
        {"smuggling attempt",
         "POST /s HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
         400, false, ""},
        {"unknown method", "BREW /pot HTTP/1.1\r\nHost: a\r\n\r\n", 501, false, "/pot"},
    };
    for (const Row& row : rows) {
        HttpConnection connection(smallLimits(), "");
        connection.receive(row.received);
        EXPECT_FALSE(connection.advance()) << row.name;
        std::string reply = drain(connection);
        EXPECT_EQ(reply.find("100 Continue") != std::string::npos, row.continueSent)
            << row.name << ": " << reply;
        std::string statusLine = "HTTP/1.1 " + std::to_string(row.status) + " ";
        EXPECT_NE(reply.find(statusLine), std::string::npos) << row.name << ": " << reply;
        EXPECT_NE(reply.find("Connection: close\r\n"), std::string::npos) << row.name;
        EXPECT_EQ(connection.phase(), HttpConnection::Phase::Closing) << row.name;
        auto logged = connection.takeRefusal();
        ASSERT_TRUE(logged) << row.name;
        EXPECT_EQ(logged->status, row.status) << row.name;
        EXPECT_EQ(logged->target, row.loggedTarget) << row.name;
        // What the client sends after a refusal is dropped.
        connection.receive("GET / HTTP/1.1\r\nHost: a\r\n\r\n");
        EXPECT_FALSE(connection.advance()) << row.name;
    }
}

TEST(HttpConnection, ContinuesOnlyForAnAcceptableBody) {
    HttpConnection connection(smallLimits(), "");
    connection.receive("POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 4\r\nExpect: 100-continue\r\n\r\n");
    EXPECT_FALSE(connection.advance());
    EXPECT_EQ(drain(connection), "HTTP/1.1 100 Continue\r\n\r\n");
    EXPECT_EQ(connection.waitingFor(), HttpConnection::Wait::Body);
    connection.receive("ab");
    EXPECT_FALSE(connection.advance());
    connection.receive("cd");
    auto request = connection.advance();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->body, "abcd");
}

TEST(HttpConnection, DeadlinesFollowWhatItWaitsFor) {
    using Wait = HttpConnection::Wait;
    HttpConnection connection(smallLimits(), "");
    EXPECT_EQ(connection.waitingFor(), Wait::Request);
    connection.receive("POST / HTTP/1.1\r\nHost: a\r\n");
    EXPECT_FALSE(connection.advance());
    EXPECT_EQ(connection.waitingFor(), Wait::Head);
    connection.receive("Content-Length: 2\r\n\r\n");
    EXPECT_FALSE(connection.advance());
    EXPECT_EQ(connection.waitingFor(), Wait::Body);
    connection.timeOut();
    EXPECT_NE(drain(connection).find("HTTP/1.1 408 Request Timeout\r\n"), std::string::npos);
    EXPECT_EQ(connection.waitingFor(), Wait::Linger);
    EXPECT_EQ(connection.takeRefusal()->status, 408);
    connection.timeOut();
    EXPECT_TRUE(connection.finished());

    // An idle connection just closes; a request cut short by the client is not answered.
    HttpConnection idle(smallLimits(), "");
    idle.receive("GET / HTTP/1.1\r\nHost: a\r\n\r\n");
    ASSERT_TRUE(idle.advance());
    EXPECT_EQ(idle.waitingFor(), Wait::Nothing);
    idle.respond(HttpResponse::text("a"));
    EXPECT_EQ(idle.waitingFor(), Wait::Write);
    drain(idle);
    EXPECT_EQ(idle.waitingFor(), Wait::KeepAlive);
    idle.timeOut();
    EXPECT_TRUE(idle.finished());
    EXPECT_FALSE(idle.takeRefusal());

    HttpConnection cut(smallLimits(), "");
    cut.receive("GET / HTTP/1.1\r\nHost");
    cut.receiveEnd();
    EXPECT_FALSE(cut.advance());
    EXPECT_TRUE(cut.finished());
    EXPECT_FALSE(cut.hasOutput());
}

TEST(HttpConnection, AnswersARequestWhoseClientStoppedSending) {
    HttpConnection connection(smallLimits(), "");
    connection.receive("GET / HTTP/1.1\r\nHost: a\r\n\r\n");
    connection.receiveEnd();
    ASSERT_TRUE(connection.advance());
    connection.respond(HttpResponse::text("a"));
    EXPECT_FALSE(connection.finished());
    EXPECT_NE(drain(connection).find("200 OK"), std::string::npos);
    EXPECT_FALSE(connection.advance());
    EXPECT_TRUE(connection.finished());
}

TEST(HttpConnection, ChunkedAndMultipartBodies) {
    const std::string form = "--b\r\nContent-Disposition: form-data; name=\"n\"\r\n\r\nv\r\n--b\r\n";
    HttpConnection::Limits limits = smallLimits();
    limits.maxBodyBytes = 64;
    HttpConnection roomy(limits, "");
    roomy.receive("POST / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n"
                  "Content-Type: multipart/form-data; boundary=b\r\n\r\n");
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", form.size());
    roomy.receive(std::string(size) + form + "\r\n0\r\n\r\n");
    auto request = roomy.advance();
    ASSERT_TRUE(request);
    EXPECT_TRUE(request->multipart);
    EXPECT_TRUE(request->multipartUnterminated);
    ASSERT_EQ(request->parts.size(), 1u);
    EXPECT_EQ(request->parts[0].name, "n");
    EXPECT_EQ(request->parts[0].data, "v");
    EXPECT_TRUE(request->body.empty());
}
