// Plays the user on the X display through the desktop's own tools: waits
// for a window by its caption, presses keys in it and photographs it.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/runprog.h"

namespace e2e {

// Presses the key in the window until the window goes: a key that
// arrives before the window listens is lost. False when it stays 15 s.
inline bool answer(const std::string& window, const std::string& name) {
  for (int i = 0; i < 30; ++i) {
    runWithEnv({"xdotool", "key", "--window", window, name});
    for (int j = 0; j < 10; ++j) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (runWithEnv({"xdotool", "getwindowname", window}).status != 0) return true;
    }
  }
  return false;
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
// within 15 seconds. Searched again and again rather than with xdotool's
// own waiting: its walk of the window tree fails outright when a window
// goes away under it, as the forms before the one awaited do.
inline std::string waitWindow(const std::string& caption) {
  for (int i = 0; i < 300; ++i) {
    const std::vector<std::string> ids = windowsCaptioned(caption);
    if (!ids.empty()) return ids.back();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return "";
}

// A window with this caption that is not among `known`, for boxes whose
// caption their form's window takes too; "" when none came within 15 s.
inline std::string waitNewWindow(const std::vector<std::string>& known, const std::string& caption) {
  for (int i = 0; i < 300; ++i) {
    for (const std::string& id : windowsCaptioned(caption))
      if (std::find(known.begin(), known.end(), id) == known.end()) return id;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return "";
}

// A key pressed and released where the focus is, as a keyboard does: a
// key sent to a box that closes on it is never released, and the server's
// auto-repeat then presses it again in the next box.
inline void typeKey(const std::string& name) { runWithEnv({"xdotool", "key", name}); }

// Time for a window that just appeared to be painted and to listen.
inline void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(300)); }

inline void key(const std::string& window, const std::string& name) {
  runWithEnv({"xdotool", "key", "--window", window, name});
}

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

// Waits until the window has the keyboard focus, so that the keys typed
// next (typeKey) reach it; false when it has not got it within 5 s.
inline bool waitFocus(const std::string& window) {
  for (int i = 0; i < 100; ++i) {
    sRunResult r = runWithEnv({"xdotool", "getwindowfocus"});
    while (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
    if (r.out == window) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Gives the window the focus, as a window manager does when the windows of
// another program over it close; true once it has it.
inline bool giveFocus(const std::string& window) {
  runWithEnv({"xdotool", "windowfocus", window});
  return waitFocus(window);
}

// The window that has the focus once it is captioned `caption` (a pattern)
// and is none of `known`: a box takes the focus as it opens, while the
// form under it may take its caption too. "" when none came within 15 s.
inline std::string waitFocusedWindow(const std::vector<std::string>& known, const std::string& caption) {
  for (int i = 0; i < 300; ++i) {
    sRunResult r = runWithEnv({"xdotool", "getwindowfocus"});
    while (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
    if (std::find(known.begin(), known.end(), r.out) == known.end())
      for (const std::string& id : windowsCaptioned(caption))
        if (id == r.out) return id;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return "";
}

// Types the key once the window has the focus, then waits until the window
// goes: answer()'s key, sent to a window that closes on its press, stays
// down in the server, which repeats it into whatever window comes next.
// False when the window never had the focus or stays 15 s.
inline bool typeToClose(const std::string& window, const std::string& name) {
  if (!waitFocus(window)) return false;
  typeKey(name);
  for (int i = 0; i < 300; ++i) {
    if (runWithEnv({"xdotool", "getwindowname", window}).status != 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace e2e
