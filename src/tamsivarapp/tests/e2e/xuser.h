// Plays the user on the X display through the desktop's own tools: waits
// for a window by its caption, presses keys in it and photographs it.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/runprog.h"

namespace e2e {

// How long a step waits for the state it needs. It only bounds a failure,
// so it leaves room for a machine that runs two test suites at once.
inline constexpr std::chrono::milliseconds kPatience = std::chrono::minutes(2);

// True once `done` holds; false when it has not within `patience`.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds patience = kPatience) {
  for (const auto end = std::chrono::steady_clock::now() + patience;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// Does `act` until `done` holds: a click or key that reaches a window before
// it listens is lost. It is done again only once its effect has had `retry`
// to show, so that a slow effect is not doubled; each repetition is told on
// stderr with `what`, where a run on a loaded machine shows how often it
// was needed.
inline bool actUntil(const char* what, const std::function<void()>& act, const std::function<bool()>& done,
                     std::chrono::milliseconds retry = std::chrono::seconds(10),
                     std::chrono::milliseconds patience = kPatience) {
  const auto end = std::chrono::steady_clock::now() + patience;
  for (int tries = 1;; ++tries) {
    act();
    if (waitUntil(done, retry)) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::fprintf(stderr, "e2e: %s had no effect within %lld ms, done again (%d)\n", what,
                 static_cast<long long>(retry.count()), tries + 1);
  }
}

inline bool gone(const std::string& window) { return runWithEnv({"xdotool", "getwindowname", window}).status != 0; }

// The key pressed in the window, focused or not. One the window closes on
// stays pressed in the server, which repeats it into whatever window comes
// next, another test's included: it is released where the focus is.
inline void key(const std::string& window, const std::string& name) {
  runWithEnv({"xdotool", "key", "--window", window, name});
  runWithEnv({"xdotool", "keyup", name});
}

// Presses the key in the window every half second until the window goes:
// a key that arrives before the window listens is lost.
inline bool answer(const std::string& window, const std::string& name) {
  int polls = 0;
  return waitUntil([&] {
    if (polls++ % 10 == 0) key(window, name);
    return gone(window);
  });
}

// The visible windows with exactly this caption, bottom to top.
inline std::vector<std::string> windowsCaptioned(const std::string& caption) {
  sRunResult r = runWithEnv({"xdotool", "search", "--onlyvisible", "--name", "^" + caption + "$"});
  std::vector<std::string> ids;
  for (size_t at = 0, end; at < r.out.size(); at = end + 1) {
    end = r.out.find('\n', at);
    if (end == std::string::npos) end = r.out.size();
    if (end > at) ids.push_back(r.out.substr(at, end - at));
  }
  return ids;
}

// The topmost window with exactly this caption, or "" when none appeared
// within kPatience. Searched again and again rather than with xdotool's
// own waiting: its walk of the window tree fails outright when a window
// goes away under it, as the forms before the one awaited do.
inline std::string waitWindow(const std::string& caption) {
  std::string found;
  waitUntil([&] {
    const std::vector<std::string> ids = windowsCaptioned(caption);
    if (!ids.empty()) found = ids.back();
    return !found.empty();
  });
  return found;
}

// A window with this caption that is not among `known`, for boxes whose
// caption their form's window takes too; "" when there is none.
inline std::string newWindowNow(const std::vector<std::string>& known, const std::string& caption) {
  for (const std::string& id : windowsCaptioned(caption))
    if (std::find(known.begin(), known.end(), id) == known.end()) return id;
  return "";
}

// The same, waited for; "" when none came within kPatience.
inline std::string waitNewWindow(const std::vector<std::string>& known, const std::string& caption) {
  std::string found;
  waitUntil([&] { return !(found = newWindowNow(known, caption)).empty(); });
  return found;
}

// A key pressed and released where the focus is, as a keyboard does: a
// key sent to a box that closes on it is never released, and the server's
// auto-repeat then presses it again in the next box.
inline void typeKey(const std::string& name) { runWithEnv({"xdotool", "key", name}); }

// Time for a window that just appeared to be painted and to listen.
inline void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(300)); }

inline bool screenshot(const std::string& window, const std::string& path) {
  return runWithEnv({"import", "-window", window, path}).status == 0;
}

inline bool haveDisplay() { return std::getenv("DISPLAY") && *std::getenv("DISPLAY"); }

// DISPLAY and, for a display that asks for a cookie, XAUTHORITY naming a
// copy of it at `copy` that the program's user (nobody too) may read.
inline std::vector<std::string> displayEnv(const std::string& copy, bool forNobody) {
  std::vector<std::string> env;
  if (const char* display = std::getenv("DISPLAY")) env.push_back(std::string("DISPLAY=") + display);
  const char* cookie = std::getenv("XAUTHORITY");
  if (!cookie || !std::filesystem::exists(cookie)) return env;
  std::filesystem::copy_file(cookie, copy, std::filesystem::copy_options::overwrite_existing);
  if (forNobody && ::chown(copy.c_str(), 65534, 65534) != 0) return env;
  env.push_back("XAUTHORITY=" + copy);
  return env;
}

// The window that has the keyboard focus.
inline std::string focused() {
  sRunResult r = runWithEnv({"xdotool", "getwindowfocus"});
  while (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
  return r.out;
}

// Waits until the window has the keyboard focus, so that the keys typed
// next (typeKey) reach it; false when it has not got it within kPatience
// or went meanwhile.
inline bool waitFocus(const std::string& window) {
  bool has = false;
  waitUntil([&] { return (has = focused() == window) || gone(window); });
  return has;
}

// Gives the window the focus, as a window manager does when the windows of
// another program over it close; true once it has it.
inline bool giveFocus(const std::string& window) {
  runWithEnv({"xdotool", "windowfocus", window});
  return waitFocus(window);
}

// The window that has the focus once it is captioned `caption` (a pattern)
// and is none of `known`: a box takes the focus as it opens, while the
// form under it may take its caption too. "" when none came within
// kPatience.
inline std::string waitFocusedWindow(const std::vector<std::string>& known, const std::string& caption) {
  std::string found;
  waitUntil([&] {
    const std::string id = focused();
    if (std::find(known.begin(), known.end(), id) != known.end()) return false;
    const std::vector<std::string> ids = windowsCaptioned(caption);
    if (std::find(ids.begin(), ids.end(), id) != ids.end()) found = id;
    return !found.empty();
  });
  return found;
}

// Types the key once the window has the focus, as typeKey does: a key sent
// with `xdotool key --window` to a window that closes on its press is never
// released, and the server repeats it into whatever window comes next.
inline void typeInto(const std::string& window, const std::string& name) {
  if (waitFocus(window)) typeKey(name);
}

// Types the key in the window, and again while it stays and still has the
// focus, so that the key never reaches another one. False when it stays
// kPatience.
inline bool typeToClose(const std::string& window, const std::string& name) {
  return actUntil(name.c_str(), [&] { typeInto(window, name); }, [&] { return gone(window); });
}

}  // namespace e2e
