// Plays the user on the X display through the desktop's own tools: waits
// for a window by its caption, presses keys in it and photographs it.
#pragma once

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/runprog.h"

namespace e2e {

// The topmost window with exactly this caption, or "" when none appeared
// within 15 seconds.
inline std::string waitWindow(const std::string& caption) {
  sRunResult r = runWithEnv({"timeout", "15", "xdotool", "search", "--sync", "--onlyvisible", "--name",
                             "^" + caption + "$"});
  while (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
  return r.status == 0 ? r.out.substr(r.out.rfind('\n') + 1) : "";
}

// The topmost visible window of exactly this size, for windows without a
// caption; "" when none appeared within 15 seconds.
inline std::string waitWindowSized(int w, int h) {
  const std::string want = "Geometry: " + std::to_string(w) + "x" + std::to_string(h);
  for (int i = 0; i < 300; ++i) {
    sRunResult ids = runWithEnv({"xdotool", "search", "--onlyvisible", "--name", "^$"});
    std::string found;
    for (size_t at = 0, end; at < ids.out.size(); at = end + 1) {
      end = ids.out.find('\n', at);
      if (end == std::string::npos) end = ids.out.size();
      const std::string id = ids.out.substr(at, end - at);
      if (!id.empty() && runWithEnv({"xdotool", "getwindowgeometry", id}).out.find(want) != std::string::npos)
        found = id;
    }
    if (!found.empty()) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return "";
}

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

inline void key(const std::string& window, const std::string& name) {
  runWithEnv({"xdotool", "key", "--window", window, name});
}

inline bool screenshot(const std::string& window, const std::string& path) {
  return runWithEnv({"import", "-window", window, path}).status == 0;
}

inline bool haveDisplay() { return std::getenv("DISPLAY") && *std::getenv("DISPLAY"); }

}  // namespace e2e
