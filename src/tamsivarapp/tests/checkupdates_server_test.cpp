// The update check against peers on 127.0.0.1: each way a server can fail
// gets its own cause line, a server that drips its reply is given up at the
// check's deadline, and the README's sample reply shows its notes' lines.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ciom/liblang.h"
#include "netio/tests/blocking_resolver.h"
#include "netio/tests/loopback_peer.h"
#include "tamsivarapp/checkupdates.h"
#include "tamsivarapp/lang.h"
#include "tamsivarapp/updatedownload.h"
#include "base/tests/scratch_dir.h"

namespace {

struct sCheckResult {
  bool ok;
  sUpdateCheck check;
  std::string url, notes, line;
};

// Runs one check of "demo" against the server the prefix names, with the
// deadline given.
sCheckResult checkWith(const std::string& prefix, int deadlineMs) {
  setenv("ZVK_UPDATE_URL", prefix.c_str(), 1);
  sCheckResult r;
  r.check.deadlineMs = deadlineMs;
  unsigned long long newest = 0;
  _guardchar<char> url, site, notes;
  r.ok = checkVersion("demo", newest, url, site, notes, &r.check);
  unsetenv("ZVK_UPDATE_URL");
  r.url = url.ptr ? url.ptr : "";
  r.notes = notes.ptr ? notes.ptr : "";
  r.line = updateFaultLine((prefix + "demo&os=linux").c_str(), r.check);
  return r;
}

sCheckResult checkAt(int port, int deadlineMs = kUpdateCheckDeadlineMs) {
  return checkWith("http://127.0.0.1:" + std::to_string(port) + "/autocheck.php?softwareid=", deadlineMs);
}

// A peer that reads the request and sends `reply` in one piece.
void answer(LoopbackPeer& peer, const std::string& reply) {
  peer.serve([reply](int fd) {
    char request[4096];
    ssize_t ignored = ::recv(fd, request, sizeof request, 0);
    (void)ignored;
    ignored = ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
  });
}

std::string ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class UpdateCheckAgainstPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    cSOPKGLang::init();
    cLibLang::applyLang(eLangENG);
  }
};

TEST_F(UpdateCheckAgainstPeers, EachFailureNamesTheAddressAndItsCause) {
  const struct {
    const char* name;
    std::string reply;  // empty: nobody listens
    eUpdateCheckFault fault;
    const char* cause;
  } cases[] = {
      {"dead port", "", ufUnreachable,
       "no server answers there (the connection was refused or the host was not found)"},
      {"404", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", ufStatus,
       "the server answered with the status 404"},
      {"too large", "HTTP/1.1 200 OK\r\nContent-Length: 65537\r\n\r\n1.0\r", ufLength,
       "the reply gives no length, or one outside 1 to 65536 bytes"},
      {"no length", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n1.0\ru\rs\r", ufLength,
       "the reply gives no length, or one outside 1 to 65536 bytes"},
      {"cut", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n1.0\r", ufCut,
       "the reply broke off or is not an HTTP reply"},
      {"not HTTP", "SSH-2.0-x\r\n\r\n", ufCut, "the reply broke off or is not an HTTP reply"},
      {"LF-only lines", ok("2.0\nhttp://h/x.zip\nhttp://h/\n"), ufNoCR, "the reply's lines do not end with CR"},
      {"no version", ok("v2\rhttp://h/x.zip\rhttp://h/\r"), ufVersion,
       "the reply's first line is not a version (two to four numbers up to 65535)"},
      {"two lines", ok("2.0\rhttp://h/x.zip\r"), ufShort, "the reply ends before its third line (the web site)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<LoopbackPeer> peer(std::in_place);
    const int port = peer->port();
    if (c.reply.empty())
      peer.reset();  // nothing listens there any more
    else
      answer(*peer, c.reply);
    const sCheckResult r = checkAt(port);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.check.fault, c.fault);
    EXPECT_EQ(r.line, "http://127.0.0.1:" + std::to_string(port) + "/autocheck.php?softwareid=demo&os=linux: " +
                          c.cause);
  }
}

// A download that fails says where and why, in the check's words where the
// causes are the same.
TEST_F(UpdateCheckAgainstPeers, AFailedDownloadNamesTheAddressAndItsCause) {
  const std::string part = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nPK\x03\x04" + std::string(60, 'z');
  const struct {
    const char* name;
    std::string reply;  // empty: nobody listens
    int result;
    const char* cause;
  } cases[] = {
      {"dead port", "", cUpdateDownloader::drBroken,
       "no server answers there (the connection was refused or the host was not found)"},
      {"404", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", cUpdateDownloader::drRefused,
       "the server answered with the status 404"},
      {"closed mid-archive", part, cUpdateDownloader::drBroken, "the reply broke off or is not an HTTP reply"},
      {"no length", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nPK\x03\x04", cUpdateDownloader::drBroken,
       "the server gave no length for the file, so a whole file cannot be told from a cut one"},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<LoopbackPeer> peer(std::in_place);
    const std::string url = "http://127.0.0.1:" + std::to_string(peer->port()) + "/u.zip";
    if (c.reply.empty())
      peer.reset();
    else
      answer(*peer, c.reply);
    cFileIO file;
    ASSERT_TRUE(file.create(dir.file("u.zip").c_str(), fmWrite));
    sUpdateCheck why;
    cUpdateDownloader downloader(&file, url.c_str(), &why);
    EXPECT_EQ(downloader.job(), c.result);
    EXPECT_EQ(updateFaultLine(url.c_str(), why), url + ": " + c.cause);
  }
  // What unpacking and starting say.
  for (eUpdateCheckFault fault : {ufNoUnzip, ufUnpack, ufNoInstaller, ufNotStarted})
    EXPECT_GT(updateFaultLine("http://h/u.zip", fault, 0).size(), std::string("http://h/u.zip: ").size() + 20)
        << fault;
}

// One byte at a time, never quite done: each read's time-out is met, the
// whole check's is not. The peer gives up by itself after `kDripBytes`.
TEST_F(UpdateCheckAgainstPeers, ADrippingServerIsGivenUpAtTheDeadline) {
  constexpr int kDripBytes = 400;
  constexpr int kDripPauseMs = 50;
  // Outlives the peer, whose thread sets it until the peer is joined.
  std::atomic<bool> dripped{false};
  LoopbackPeer peer;
  peer.serve([&](int fd) {
    char request[4096];
    ssize_t ignored = ::recv(fd, request, sizeof request, 0);
    (void)ignored;
    const std::string reply = ok("2.0\rhttp://h/x.zip\rhttp://h/\r" + std::string(kDripBytes, 'n'));
    for (int i = 0; i < kDripBytes && ::send(fd, &reply[static_cast<size_t>(i)], 1, MSG_NOSIGNAL) == 1; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(kDripPauseMs));
    dripped = true;
  });
  const sCheckResult r = checkAt(peer.port(), 300);
  EXPECT_FALSE(dripped) << "the check waited for the whole drip";
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.check.fault, ufTimedOut);
  EXPECT_NE(r.line.find(": the server did not send its whole reply in time"), std::string::npos) << r.line;
}

// A name server that never answers holds neither a check nor the manager's
// lookup past the deadline: the check tells it as a time-out.
TEST_F(UpdateCheckAgainstPeers, AHostWhoseLookupNeverEndsIsGivenUpAtTheDeadline) {
  BlockingResolver resolver;
  const sCheckResult r = checkWith("http://updates.example/autocheck.php?softwareid=", 300);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.check.fault, ufTimedOut);
  EXPECT_EQ(r.line, "http://updates.example/autocheck.php?softwareid=demo&os=linux: "
                    "the server did not send its whole reply in time");
  unsigned char address[4];
  EXPECT_FALSE(resolveUpdateServer(address, nullptr, 300));
  EXPECT_EQ(resolver.gaveUp(), 0) << "the check waited for the resolver";
}

// The README's sample, each line ended as its text says (by CR, or CR LF):
// the notes keep their two lines.
TEST_F(UpdateCheckAgainstPeers, TheReadmeSampleShowsItsNotesLineByLine) {
  std::ifstream readme(ZVK_SOURCE_DIR "/README.md");
  std::string line;
  bool in = false;
  std::vector<std::string> lines;
  while (std::getline(readme, line)) {
    if (line == "<!-- /update reply -->") break;
    if (in && line.rfind("```", 0) != 0) lines.push_back(line);
    if (line == "<!-- update reply -->") in = true;
  }
  ASSERT_EQ(lines.size(), 5u);
  for (const char* end : {"\r", "\r\n"}) {
    SCOPED_TRACE(end[1] ? "CR LF" : "CR");
    std::string body;
    for (const std::string& l : lines) body += l + end;
    LoopbackPeer peer;
    answer(peer, ok(body));
    const sCheckResult r = checkAt(peer.port());
    ASSERT_TRUE(r.ok) << r.line;
    EXPECT_EQ(r.url, lines[1]);
    EXPECT_EQ(notesForDisplay(r.notes.c_str()), lines[3] + "\n" + lines[4] + "\n");
  }
}

}  // namespace
