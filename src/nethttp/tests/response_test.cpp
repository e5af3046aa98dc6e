#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/memio.h"
#include "nethttp/httpresponse.h"
#include "nethttp/limits.h"

namespace {

// Serves the pieces one read each (a piece longer than the reader asks for
// continues in the next read); "<error>" answers the error count of a file.
class PieceStream : public cBufWrapperIO {
 public:
  explicit PieceStream(const std::vector<std::string>& pieces) {
    for (const std::string& p : pieces) {
      if (p == "<error>") break;
      whole += p;
      cuts.push_back(whole.size());
    }
    failAtEnd = cuts.size() < pieces.size();
    wrap(whole.data(), static_cast<long long>(whole.size()), false);
  }
  unsigned int read(void* buf, unsigned int count) override {
    size_t at = static_cast<size_t>(position);
    if (at == whole.size()) return failAtEnd ? 0xFFFFFFFF : 0;
    size_t cut = *std::upper_bound(cuts.begin(), cuts.end(), at);
    return cBufWrapperIO::read(buf, static_cast<unsigned int>(std::min<size_t>(count, cut - at)));
  }

 private:
  std::string whole;
  std::vector<size_t> cuts;
  bool failAtEnd;
};

class Recorder : public cHttpResponse {
 public:
  bool onData(const unsigned char* data, long long length, unsigned long long offset) override {
    offsets.push_back(offset);
    body.append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    return acceptData;
  }
  bool onHeaderDone() override {
    ++headerDone;
    return acceptHead;
  }
  bool run(std::vector<std::string> pieces) {
    PieceStream s(std::move(pieces));
    return processResponse(&s);
  }

  bool acceptHead = true;
  bool acceptData = true;
  int headerDone = 0;
  std::string body;
  std::vector<unsigned long long> offsets;
};

TEST(HttpResponse, HeadLines) {
  for (auto [line, code] : std::vector<std::pair<std::string, unsigned>>{
           {"HTTP/1.1 200 OK", 200}, {"HTTP/1.0 404 Not Found", 404}, {"HTTP/1.1 999", 999}}) {
    Recorder r;
    EXPECT_TRUE(r.run({line + "\r\nContent-Length: 2\r\n\r\nok"})) << line;
    EXPECT_EQ(code, r.RC());
  }
  Recorder r;
  ASSERT_TRUE(
      r.run({"HTTP/1.1 200 OK\r\nX-Empty: \r\nX-Tab:\tv\r\nx-dup: 1\r\nx-dup: 2\r\n"
             "content-length: 3\r\ncontent-Length: 3\r\n\r\nabc"}));
  EXPECT_STREQ("", r.getHeaderVal("X-Empty"));
  EXPECT_STREQ("v", r.getHeaderVal("X-Tab"));
  EXPECT_STREQ("2", r.getHeaderVal("x-dup"));
  EXPECT_EQ(nullptr, r.getHeaderVal("x-Dup"));
  EXPECT_EQ(nullptr, r.getHeaderVal(nullptr));
  EXPECT_EQ(3u, r.contentLength());
}

// Refused while the head is read, before the sink hears of it.
TEST(HttpResponse, HeadsOutsideTheGrammarOrItsBoundsAreRefused) {
  const std::string ok = "HTTP/1.1 200 OK\r\n", length = "Content-Length: 5\r\n";
  std::string many = ok;
  for (int i = 0; i <= kHttpMaxHeaderCount; ++i) many += "X-" + std::to_string(i) + ": v\r\n";
  const std::vector<std::string> heads = {
      "HTTP/1.1 000 Zero\r\n" + length,
      "HTTP/2 200 OK\r\n" + length,
      "HTTP/1.1 2x0 OK\r\n" + length,
      "HTTP/1.1 20\r\n" + length,
      "http/1.1 200 OK\r\n" + length,
      "\r\n" + length,
      ok + "NoColon\r\n",
      ok + ":value\r\n",
      ok + "Name:\r\n",
      ok + length + "Content-Length: 6\r\n",
      ok + "Content-Length: 1099511627777\r\n",
      ok + "X: " + std::string(kHttpMaxHeaderLineLength, 'v') + "\r\n" + length,
      many + length};
  for (const std::string& head : heads) {
    Recorder r;
    EXPECT_FALSE(r.run({head + "\r\nabcde"})) << head.substr(0, 60);
    EXPECT_EQ(0, r.headerDone) << head.substr(0, 60);
  }
  // A blank length says nothing: the body runs to the close, and the reply is incomplete.
  Recorder blank;
  EXPECT_FALSE(blank.run({ok + "Content-Length: \r\n\r\nabcde"}));
}

// Bodies cut or running past their length are the scripted peers' business.
TEST(HttpResponse, EmptyBodiesAndIncompleteReplies) {
  Recorder empty;
  EXPECT_TRUE(empty.run({"HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n"}));
  EXPECT_TRUE(empty.offsets.empty());

  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n";
  Recorder nothing, headOnly, failing;
  EXPECT_FALSE(nothing.run({}));
  EXPECT_FALSE(headOnly.run({head}));
  EXPECT_EQ(0, headOnly.headerDone);
  EXPECT_FALSE(failing.run({head + "\r\n", "<error>"}));
  EXPECT_FALSE(Recorder().processResponse(nullptr));
}

TEST(HttpResponse, SinkAnswersEndTheExchange) {
  const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody";
  Recorder noHead;
  noHead.acceptHead = false;
  EXPECT_FALSE(noHead.run({reply}));
  EXPECT_TRUE(noHead.offsets.empty());
  Recorder noData;
  noData.acceptData = false;
  EXPECT_FALSE(noData.run({reply}));
  EXPECT_EQ(1u, noData.offsets.size());

  // The object is reused: the next reply starts from a clean state.
  ASSERT_FALSE(noHead.run({"HTTP/1.1 200 OK\r\nContent-Length: 4\r\nX: 1\r\n\r\n", "body"}));
  noHead.acceptHead = true;
  ASSERT_TRUE(noHead.run({"HTTP/1.0 301 Moved\r\nContent-Length: 1\r\n\r\n!"}));
  EXPECT_EQ(301u, noHead.RC());
  EXPECT_EQ(nullptr, noHead.getHeaderVal("X"));
}

}  // namespace
