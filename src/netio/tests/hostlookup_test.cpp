// Looking a name up is bounded like every other wait of a connect: a
// resolver that never answers ends in the caller's time, and numeric
// addresses never reach the resolver at all.
#include "netio/hostlookup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "blocking_resolver.h"
#include "netio/tcpclient.h"

namespace {

TEST(HostLookup, AResolverThatNeverAnswersEndsTheConnectInTheCallersTime) {
  const struct {
    const char* name;
    int deadlineMs;  // negative: none
    int timeoutMs;
    bool stopWhileWaiting;
    int error;
  } cases[] = {
      {"the deadline", 200, 20000, false, cTCPSocket::errTimedOutConnect},
      {"the connect time-out", -1, 200, false, cTCPSocket::errTimedOutConnect},
      {"a raised stop flag", -1, 20000, true, cTCPSocket::errFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BlockingResolver resolver;
    std::atomic<bool> stop{false};
    cTCPClient client;
    client.setDeadline(c.deadlineMs);
    client.setStopFlag(&stop);
    std::thread raiser;
    if (c.stopWhileWaiting) raiser = std::thread([&] { stop = resolver.waitForCaller(); });
    EXPECT_FALSE(client.connect("updates.example", 80, c.timeoutMs));
    if (raiser.joinable()) raiser.join();
    EXPECT_EQ(c.error, client.lastError());
    EXPECT_FALSE(client.valid());
  }
}

TEST(HostLookup, NumericAddressesNeverReachTheResolver) {
  BlockingResolver resolver;
  const struct {
    const char* text;
    eHostLookup result;
    unsigned address;
  } cases[] = {
      {"127.0.0.1", eHostLookup::found, 0x7F000001u}, {"127.1", eHostLookup::found, 0x7F000001u},
      {"10.258", eHostLookup::found, 0x0A000102u},    {"::1", eHostLookup::unknown, 0},
      {"fe80::2", eHostLookup::unknown, 0},
  };
  for (const auto& c : cases) {
    unsigned char ip[4] = {};
    // A lookup that reached the resolver would time out.
    ASSERT_EQ(c.result, strToIPv4(c.text, ip, 1000)) << c.text;
    if (c.result == eHostLookup::found) {
      EXPECT_EQ(c.address, unsigned(ip[0]) << 24 | ip[1] << 16 | ip[2] << 8 | ip[3]) << c.text;
    }
  }
}

}  // namespace
