#include <gtest/gtest.h>

#include <string>

#include "nethttp/httprequest.h"

namespace {

std::string wire(cHttpRequest& r) {
  _typebuf<unsigned char> out;
  if (!r.toTransport(out)) return "<refused>";
  return std::string(reinterpret_cast<char*>(out.ptr), static_cast<size_t>(out.count));
}

const std::string kAgent = "User-Agent: ZVKNetHTTP (compatible; cross-platform)\r\n";

TEST(HttpRequest, GetIsWrittenByteForByte) {
  cHttpRequest r(cHttpRequest::GET, "http://updates.example:8080/a/b?x=1", 1);
  EXPECT_EQ("GET /a/b?x=1 HTTP/1.1\r\nHost: updates.example:8080\r\n" + kAgent + "\r\n", wire(r));
  ASSERT_TRUE(r.create(cHttpRequest::POST, "HTTP://Updates.example", 0));
  EXPECT_EQ(80, r.port());
  EXPECT_EQ("POST / HTTP/1.0\r\nHost: Updates.example\r\n" + kAgent + "\r\n", wire(r));
}

TEST(HttpRequest, UrlsOutsideTheGrammarAreRefusedAndChangeNothing) {
  cHttpRequest none(cHttpRequest::GET, "ftp://h/", 1);
  EXPECT_EQ("<refused>", wire(none));
  cHttpRequest unknown(static_cast<cHttpRequest::eRequestTypes>(2), "http://h/", 1);
  EXPECT_EQ("<refused>", wire(unknown));

  cHttpRequest r(cHttpRequest::GET, "http://keep:81/kept", 1);
  const std::string tooLong = "http://h/" + std::string(9000, 'a');
  for (const char* bad : {"http://h:0/", "http://h:65536/", "http://h:/", "http://h:8x/", "http://h/a b",
                          "http://h/\x7f", "http://h/\xc3\xa9", "http://h/<x>", "http://h/{x}", "http://",
                          "http://:80/", "https://h/", static_cast<const char*>(nullptr), tooLong.c_str()})
    EXPECT_FALSE(r.parseURL(bad)) << (bad ? bad : "null");
  EXPECT_EQ("GET /kept HTTP/1.1\r\nHost: keep:81\r\n" + kAgent + "\r\n", wire(r));

  EXPECT_TRUE(r.parseURL("http://h:65535"));
  EXPECT_EQ(65535, r.port());
  EXPECT_TRUE(r.parseURL("http://u@h/!$&'()*+,;=?#[]~%2F"));
  EXPECT_STREQ("u@h", r.host());
}

// Sorted headers; nothing that may end a header line or the head gets in.
TEST(HttpRequest, HeadersAreSortedAndGuarded) {
  cHttpRequest r(cHttpRequest::GET, "http://h/", 1);
  for (auto [name, value] : {std::pair<const char*, const char*>{"B", "2"},
                             {"A", "1"},
                             {"a", "lower"},
                             {"A", "one"},
                             {"user-agent", "Tester/1"}})
    EXPECT_TRUE(r.setHeader(name, value));
  EXPECT_EQ("GET / HTTP/1.1\r\nHost: h\r\nUser-Agent: Tester/1\r\nA: one\r\nB: 2\r\na: lower\r\n\r\n",
            wire(r));
  for (const char* name : {"a", "missing", "User-Agent"}) EXPECT_TRUE(r.setHeader(name, nullptr));

  for (auto [name, value] : {std::pair<const char*, const char*>{"content-type", "x"},
                             {"Content-Length", "x"},
                             {"HOST", "x"},
                             {nullptr, "x"},
                             {"", "x"},
                             {"X-Evil\r\nHost", "x"},
                             {"X-Evil", "x\r\n\r\nGET /other HTTP/1.1"},
                             {"X-Evil", "x\ny"},
                             {"User-Agent", "x\r\nInjected: 1"},
                             {"X:Y", "x"}})
    EXPECT_FALSE(r.setHeader(name, value)) << (name ? name : "null") << ": " << value;
  EXPECT_EQ("GET / HTTP/1.1\r\nHost: h\r\n" + kAgent + "A: one\r\nB: 2\r\n\r\n", wire(r));
}

TEST(HttpRequest, MultipartPostMatchesItsBytesAndRefusesBadElements) {
  cHttpRequest r(cHttpRequest::POST, "http://h:8000/upload", 1);
  ASSERT_TRUE(r.setHeader("X-Id", "7"));
  ASSERT_TRUE(r.addPost("field", "value", 5, nullptr, nullptr));
  const unsigned char bin[] = {0, 1, 2, 0xFF, '\r', '\n'};
  ASSERT_TRUE(r.addPost("file", bin, sizeof(bin), "application/octet-stream", "filename=\"a.bin\""));
  EXPECT_FALSE(r.addPost(nullptr, "v", 1, nullptr, nullptr));
  EXPECT_FALSE(r.addPost("", "v", 1, nullptr, nullptr));
  EXPECT_FALSE(r.addPost("n", nullptr, 1, nullptr, nullptr));
  EXPECT_FALSE(r.addPost("n", "v", 0, nullptr, nullptr));
  EXPECT_FALSE(r.addPost("n", "v", -1, nullptr, nullptr));
  EXPECT_FALSE(r.addPost("n\"; x=\"", "v", 1, nullptr, nullptr));
  EXPECT_FALSE(r.addPost("n", "v", 1, "text/plain\r\nX: 1", nullptr));
  EXPECT_FALSE(r.addPost("n", "v", 1, nullptr, "filename=\"a\"\r\n"));
  std::string got = wire(r);

  size_t at = got.find("boundary=");
  ASSERT_NE(std::string::npos, at);
  std::string b = got.substr(at + 9, got.find("\r\n", at) - at - 9);
  ASSERT_GT(b.size(), 18u);
  EXPECT_EQ("----zvknethttp", b.substr(0, 14));
  EXPECT_EQ("----", b.substr(b.size() - 4));
  EXPECT_EQ(std::string::npos, b.substr(14, b.size() - 18).find_first_not_of("0123456789abcdef")) << b;
  std::string body = "--" + b + "\r\nContent-Disposition: form-data; name=\"field\"\r\n\r\nvalue\r\n--" + b +
                     "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.bin\"\r\n"
                     "Content-Type: application/octet-stream\r\n\r\n" +
                     std::string(reinterpret_cast<const char*>(bin), sizeof(bin)) + "\r\n--" + b +
                     "--\r\n\r\n";
  EXPECT_EQ("POST /upload HTTP/1.1\r\nHost: h:8000\r\n" + kAgent +
                "X-Id: 7\r\nContent-Type: multipart/form-data; boundary=" + b +
                "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body,
            got);

  // The same elements on a GET are not sent.
  ASSERT_TRUE(r.create(cHttpRequest::GET, "http://h/", 1));
  ASSERT_TRUE(r.addPost("field", "value", 5, nullptr, nullptr));
  EXPECT_EQ("GET / HTTP/1.1\r\nHost: h\r\n" + kAgent + "\r\n", wire(r));
}

TEST(HttpRequest, UrlEncodeKeepsOnlyUnreservedBytes) {
  _guardchar<char> out;
  for (auto [in, length, encoded] :
       {std::tuple<const char*, long long, const char*>{"a b~-._Z9/\xff\xe9", -1, "a%20b~-._Z9%2F%FF%E9"},
        {"abc def", 4, "abc%20"},
        {"ab", 10, "ab"},
        {"x", 0, ""},
        {"", -1, ""},
        {nullptr, -1, ""}}) {
    cHttpRequest::urlEncode(in, length, out);
    EXPECT_STREQ(encoded, out.ptr);
  }
}

}  // namespace
