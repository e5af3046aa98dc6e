// Runs the built zvk as root or as nobody with a scratch HOME on the X
// display while a script plays the user: it waits for each box by its
// caption, photographs it and answers it.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "ciom/ciappconfig.h"
#include "e2e/xuser.h"

namespace e2e {

struct sBoxCaptions {
  const char* code;  // in screenshot names
  int id;            // the language's identifier in records
  const char* form;  // the uninstall and removal forms'
  const char* info;
  const char* error;
  const char* confirm;
};

inline const sBoxCaptions kBoxEnglish = {"en", 0, "Software manager", "Information", "Error", "Confirm"};
inline const sBoxCaptions kBoxRussian = {"ru", 1, "Менеджер программ", "Информация", "Ошибка", "Подтверждение"};
inline const sBoxCaptions kBoxJapanese = {"ja", 3, "ソフトウェア マネージャー", "情報", "エラー", "確認"};

// One window met: waited for by its caption, photographed as `shot` when
// named, then answered with `keys` (space-separated, typed where the focus
// is; none: only waited for).
struct sStep {
  std::string caption;
  std::string keys;
  std::function<void(const std::string& window)> before = {};  // done while it waits
  std::string shot = {};
};

// A step's check that no window captioned `form` is on the screen: a form
// that only says it is busy leaves the screen to the box it holds up.
inline std::function<void(const std::string& window)> offScreen(const std::string& form) {
  return [form](const std::string&) {
    EXPECT_TRUE(windowsCaptioned(form).empty()) << form << " shows under the box";
  };
}

// The parameter is true for nobody.
class AsUser : public ::testing::TestWithParam<bool> {
 protected:
  ScratchDir dir;
  std::string home, zvk, shots;

  void SetUp() override {
    if (!haveDisplay()) GTEST_SKIP() << "needs an X display";
    if (GetParam() && (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0))
      GTEST_SKIP() << "needs root and setpriv to act as nobody";
    chmod(dir.root.c_str(), 0755);
    std::filesystem::copy(ZVK_BUNDLE, dir.file("ZVK.app"), std::filesystem::copy_options::recursive);
    zvk = dir.file("ZVK.app/Contents/MacOS/zvk");
    home = dir.file("home");
    std::filesystem::create_directories(home);
    shots = std::string(ZVK_BINARY_DIR) + "/screenshots";
    std::filesystem::create_directories(shots);
  }

  // What the test made under the scratch folder becomes nobody's.
  void handOver() {
    if (!GetParam()) return;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.root))
      if (lchown(e.path().c_str(), 65534, 65534) != 0) ADD_FAILURE() << e.path();
    if (chown(dir.root.c_str(), 65534, 65534) != 0) ADD_FAILURE() << dir.root;
  }

  // One number of the configuration under HOME.
  void setConfig(const char* key, int value) {
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
    cfg.setParamInt16(key, value);
    ASSERT_TRUE(cfg.saveConfig());
  }

  // Runs `argv` (zvk and its arguments; argv[0] may differ from the file
  // run) as the user while `user` answers; a stuck run ends by timeout.
  // The script's complaint, "" when it went through, lands in `problem`.
  int run(const std::vector<std::string>& argv, const std::function<std::string()>& user, std::string& problem,
          const std::string& cwd = {}) {
    std::vector<std::string> full = {"timeout", "60"};
    if (GetParam()) full.insert(full.end(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    full.insert(full.end(), argv.begin(), argv.end());
    std::vector<std::string> env = {"HOME=" + home, "PATH=/usr/bin:/bin", "ASAN_OPTIONS=detect_leaks=0"};
    for (const std::string& e : displayEnv(dir.file("Xauthority"), GetParam())) env.push_back(e);
    auto played = std::async(std::launch::async, user);
    int status = runWithEnv(full, env, cwd).status;
    problem = played.get();
    return status;
  }

  // The newest window captioned `caption` that is not in `seen`, which
  // learns every window met; "" when none came within 15 s.
  static std::string newWindow(std::vector<std::string>& seen, const std::string& caption) {
    for (int i = 0; i < 300; ++i) {
      std::string found;
      for (const std::string& id : windowsCaptioned(caption))
        if (std::find(seen.begin(), seen.end(), id) == seen.end()) found = id;
      if (!found.empty()) {
        for (const std::string& id : windowsCaptioned(caption)) seen.push_back(id);
        return found;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "";
  }

  // Runs zvk (`argv`) meeting the windows in order.
  int play(const std::vector<std::string>& argv, const std::vector<sStep>& steps, const std::string& cwd = {}) {
    std::string problem;
    int status = run(argv, [&]() -> std::string {
      // Windows without a caption that were there before zvk are not its.
      std::vector<std::string> seen = windowsCaptioned("");
      const size_t before = seen.size();
      for (const sStep& s : steps) {
        const std::vector<std::string> earlier = seen;
        std::string window = newWindow(seen, s.caption);
        if (window.empty()) {
          // Ends the run rather than waiting for its timeout.
          for (size_t i = before; i < seen.size(); ++i) runWithEnv({"xdotool", "windowkill", seen[i]});
          return "no window " + s.caption;
        }
        // Keys go where the focus is: a new window has it once its program
        // has mapped it and listens (a box, where its form takes its caption).
        if (!s.keys.empty() || s.before) {
          window = waitFocusedWindow(earlier, s.caption);
          if (window.empty()) return "no focus in " + s.caption;
        }
        if (!s.shot.empty()) {
          settle();  // painted, for the photograph only
          runWithEnv({"timeout", "10", "import", "-window", window, shots + "/" + s.shot + ".png"});
        }
        if (s.before) s.before(window);
        std::vector<std::string> typed = {"xdotool", "key"};
        for (size_t at = 0, end; at < s.keys.size(); at = end + 1) {
          end = std::min(s.keys.find(' ', at), s.keys.size());
          typed.push_back(s.keys.substr(at, end - at));
        }
        if (typed.size() > 2) runWithEnv(typed);
      }
      return std::string();
    }, problem, cwd);
    EXPECT_EQ(problem, "");
    return status;
  }
};

inline std::string paramName(const ::testing::TestParamInfo<bool>& info) { return info.param ? "nobody" : "root"; }

}  // namespace e2e
