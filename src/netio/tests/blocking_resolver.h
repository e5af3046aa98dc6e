// A resolver that never answers until the test lets it go, so that tests
// need no real name server to meet one that hangs. It gives up by itself
// after kGiveUp, so a lookup that waits for it cannot hang a test.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "netio/hostlookup.h"

class BlockingResolver {
 public:
  static constexpr std::chrono::seconds kGiveUp{10};

  BlockingResolver() {
    std::lock_guard<std::mutex> hold(gate().lock);
    gate().gaveUp = 0;
    setIPv4Resolver(resolve);
  }
  BlockingResolver(const BlockingResolver&) = delete;
  BlockingResolver& operator=(const BlockingResolver&) = delete;
  // Lets every caught lookup go and waits until none is inside, so no
  // thread is left waiting on the gate.
  ~BlockingResolver() {
    setIPv4Resolver(nullptr);
    Gate& g = gate();
    std::unique_lock<std::mutex> hold(g.lock);
    g.open = true;
    g.changed.notify_all();
    g.changed.wait_for(hold, kGiveUp, [&] { return g.inside == 0; });
    g.open = false;
  }

  // Waits until a lookup is held; false when none came within kGiveUp.
  bool waitForCaller() {
    Gate& g = gate();
    std::unique_lock<std::mutex> hold(g.lock);
    return g.changed.wait_for(hold, kGiveUp, [&] { return g.inside > 0; });
  }

  // Lookups that ended only because the resolver gave up by itself: their
  // caller waited for it past any sane time-out.
  int gaveUp() {
    std::lock_guard<std::mutex> hold(gate().lock);
    return gate().gaveUp;
  }

 private:
  struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    bool open = false;
    int inside = 0;
    int gaveUp = 0;
  };
  // Never freed: a lookup thread may still reach it during exit.
  static Gate& gate() {
    static Gate& g = *new Gate;
    return g;
  }

  static bool resolve(const char*, unsigned char (&)[4]) {
    Gate& g = gate();
    std::unique_lock<std::mutex> hold(g.lock);
    ++g.inside;
    g.changed.notify_all();
    if (!g.changed.wait_for(hold, kGiveUp, [&] { return g.open; })) ++g.gaveUp;
    --g.inside;
    g.changed.notify_all();
    return false;
  }
};
