#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "nethttp/httptransport.h"
#include "netio/socketio.h"
#include "netio/tests/loopback_peer.h"
#include "spawned_server.h"

namespace {

class Collector : public cHttpResponse {
 public:
  bool onData(const unsigned char* data, long long length, unsigned long long offset) override {
    if (offset != body.size()) inOrder = false;
    if (length > largest) largest = length;
    body.append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    return true;
  }
  std::string body;
  long long largest = 0;
  bool inOrder = true;
};

std::string scriptPath() { return std::string(ZVK_SOURCE_DIR) + "/src/nethttp/tests/scripted_server.py"; }

std::string url(int port, const char* path) { return "http://127.0.0.1:" + std::to_string(port) + path; }

// The body every scripted scenario sends, as the script builds it.
std::string scriptedBody() {
  std::string b(5000, 0);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>((i * 31 + 7) & 0xFF);
  return b;
}

TEST(HttpTransport, DownloadsAFileFromAStaticServer) {
  ScratchDir dir;
  std::string content(200000, 0);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 2654435761u) >> 13);
  dir.write("file.bin", content);

  SpawnedServer server(
      {"python3", "-u", "-m", "http.server", "--bind", "127.0.0.1", "--directory", dir.root, "0"});
  ASSERT_NE(0, server.port());
  ASSERT_TRUE(initSockLib());

  cHttpTransport transport;
  cHttpRequest request(cHttpRequest::GET, url(server.port(), "/file.bin").c_str(), 1);
  Collector got;
  ASSERT_TRUE(transport.processRequest(request, got));
  EXPECT_EQ(200u, got.RC());
  EXPECT_EQ(200000u, got.contentLength());
  EXPECT_TRUE(got.inOrder);
  EXPECT_LE(got.largest, 65536);
  EXPECT_TRUE(got.body == content);

  // A missing file is a complete exchange whose status says so.
  cHttpRequest missing(cHttpRequest::GET, url(server.port(), "/none.bin").c_str(), 1);
  Collector notFound;
  EXPECT_TRUE(transport.processRequest(missing, notFound));
  EXPECT_EQ(404u, notFound.RC());
}

struct Scenario {
  const char* name;
  bool complete;
  size_t bodyBytes;
};

TEST(HttpTransport, ScriptedPeers) {
  const std::string body = scriptedBody();
  for (Scenario s : {Scenario{"byte_by_byte", true, 5000}, Scenario{"split_after_cr", true, 5000},
                     Scenario{"early_close", false, 3000}, Scenario{"beyond_length", true, 5000},
                     Scenario{"no_length", false, 5000}}) {
    SpawnedServer server({"python3", "-u", scriptPath(), s.name});
    ASSERT_NE(0, server.port()) << s.name;
    cHttpTransport transport;
    cHttpRequest request(cHttpRequest::GET, url(server.port(), "/x").c_str(), 1);
    Collector got;
    EXPECT_EQ(s.complete, transport.processRequest(request, got)) << s.name;
    EXPECT_EQ(200u, got.RC()) << s.name;
    EXPECT_TRUE(got.body == body.substr(0, s.bodyBytes)) << s.name;
  }
}

// The exchange's own waits are long; the same reading path over a socket
// with a short read time-out shows that a stalled peer ends it.
TEST(HttpTransport, StalledPeersTimeOut) {
  for (const char* name : {"stall_head", "stall_body"}) {
    SpawnedServer server({"python3", "-u", scriptPath(), name});
    ASSERT_NE(0, server.port());
    cTCPClient socket;
    ASSERT_TRUE(socket.connect("127.0.0.1", server.port(), 2000));
    socket.setReadTO(300);
    ASSERT_TRUE(socket.writef("GET / HTTP/1.1\r\nHost: x\r\n\r\n", 27));
    cSocketIO stream;
    ASSERT_TRUE(stream.create(&socket, false));
    Collector got;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(got.processResponse(&stream)) << name;
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(5, socket.lastError()) << name;
    EXPECT_LT(took, std::chrono::milliseconds(2500)) << name;
  }
}

TEST(HttpTransport, ConnectionFailuresKeepTheirCode) {
  ASSERT_TRUE(initSockLib());
  // A port nobody listens on: bound once, then released.
  const int port = LoopbackPeer().port();
  cHttpTransport transport;
  cHttpRequest request(cHttpRequest::GET, url(port, "/").c_str(), 1);
  Collector got;
  EXPECT_FALSE(transport.processRequest(request, got));
  EXPECT_EQ(5, transport.lastError());
  cHttpRequest unparsed(cHttpRequest::GET, "nonsense", 1);
  EXPECT_FALSE(transport.processRequest(unparsed, got));
}

}  // namespace
