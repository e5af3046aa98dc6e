// Update mode and the manager as a user meets them, against a local update
// server started by the test, as root and as the unprivileged "nobody".
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "ciom/ciappconfig.h"
#include "e2e/instwiz_support.h"
#include "e2e/update_support.h"
#include "e2e/xuser.h"

namespace fs = std::filesystem;

namespace {

class UpdateRoad : public ::testing::TestWithParam<bool> {
 protected:
  ScratchDir dir;
  std::string home;
  e2e::cUpdateServer* server = nullptr;

  void SetUp() override {
    if (GetParam() && (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0))
      GTEST_SKIP() << "needs root and setpriv to act as nobody";
    chmod(dir.root.c_str(), 0755);
    // What the user runs lies where that user may read it, which the build
    // tree need not be (a clone under /root).
    fs::copy(ZVK_BUNDLE, dir.file("ZVK.app"), fs::copy_options::recursive);
    fs::copy_file(std::string(ZVK_BINARY_DIR) + "/tools/zvkcfg/zvkcfg", dir.file("zvkcfg"));
    home = dir.file("home");
    fs::create_directory(home);
    fs::create_directory(dir.file("srv"));
    fs::create_directory(dir.file("tmp"));
    chmod(dir.file("tmp").c_str(), 01777);
    if (GetParam()) chown(home.c_str(), 65534, 65534);
    server = new e2e::cUpdateServer(dir.file("srv"));
    ASSERT_GT(server->port, 0);
  }
  void TearDown() override { delete server; }

  std::string program() const { return dir.file("ZVK.app/Contents/MacOS/zvk"); }
  std::vector<std::string> asUser(std::vector<std::string> argv) const {
    if (GetParam())
      argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    return argv;
  }
  std::string path = "/usr/bin:/bin";
  std::vector<std::string> env(bool display, const std::string& prefix) const {
    std::vector<std::string> e = {"PATH=" + path, "HOME=" + home, "ZVK_UPDATE_URL=" + prefix,
                                  "ASAN_OPTIONS=detect_leaks=0", "TMPDIR=" + dir.file("tmp")};
    if (display)
      for (const std::string& d : e2e::displayEnv(dir.file("Xauthority"), GetParam())) e.push_back(d);
    return e;
  }
  sRunResult cfg(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {dir.file("zvkcfg")};
    argv.insert(argv.end(), args.begin(), args.end());
    return runWithEnv(asUser(argv), env(false, ""));
  }
  void record(const std::string& id, const std::string& version, const std::string& name) const {
    cfg({"set", "install/" + id + "/ver", "int64", version});
    cfg({"set", "install/" + id + "/name", "str", name});
  }
  void click(const std::string& window, int x, int y) const {
    runWithEnv(
        {"xdotool", "mousemove", "--window", window, std::to_string(x), std::to_string(y), "click", "1"});
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
  }
  sRunResult zvk(const std::vector<std::string>& args, bool display, const std::string& prefix = {}) const {
    std::vector<std::string> argv = {program()};
    argv.insert(argv.end(), args.begin(), args.end());
    return runWithEnv(asUser(argv), env(display, prefix.empty() ? server->prefix() : prefix));
  }
  // The one-language "demo" package at `version`, made by zvk make; its
  // readme.txt says which version it is.
  std::string makeBundle(const std::string& version) {
    const std::string src = dir.file("pkg-" + version);
    fs::create_directories(src);
    if (GetParam()) chown(src.c_str(), 65534, 65534);
    std::ofstream(src + "/eula.ENG.hdl") << "<text>Licence</text>";
    std::ofstream(src + "/eula.idx") << "ENG = \"./eula.ENG.hdl\"\n";
    std::ofstream(src + "/readme.txt") << "Demo " << version << "\n";
    std::ofstream(src + "/demo.txt") << "[General]\nlangs = ENG\n[Software]\ncodename = \"demo\"\nname = \"Demo\"\n"
                                     << "version = \"" << version << "\"\neula = \"" << src << "/eula.idx\"\n"
                                     << "[Install]\n\"" << src << "/readme.txt\" = $pgm \"readme.txt\"\n";
    const sRunResult made = runWithEnv(
        asUser({program(), "make", src + "/demo.txt", src + "/Demo.app"}),
        env(false, ""));
    EXPECT_EQ(made.status, 0) << made.out << made.err;
    return src + "/Demo.app";
  }
  // The wizard of that package: the licence accepted, the proposed folder
  // kept (an update asks for none), and closed on its finish page once the
  // version's readme is in place. What went wrong, "" when nothing did.
  std::string completeWizard(const std::string& version, bool update) const {
    const std::string w = e2e::waitWindow("Demo software installer");
    if (w.empty()) return "no wizard";
    if (!e2e::waitFocus(w)) return "the wizard never had the focus";
    if (!wizard::acceptPage(w)) return "the licence was not accepted";
    if (!update && !(wizard::waitPage(w, wizard::kTargetPage) && wizard::leavePage(w, wizard::kTargetPage)))
      return "the proposed folder was not taken";
    const std::string readme = home + "/Applications/readme.txt";
    if (!e2e::waitUntil([&] { return readFileBytes(readme) == "Demo " + version + "\n"; }))
      return "no readme of " + version;
    // Return is not heard before the finish page: the copy holds it.
    if (!wizard::waitPage(w, wizard::currentStep(update ? 2 : 3))) return "no finish page";
    return e2e::typeToClose(w, "Return") ? "" : "the wizard stayed";
  }
  // Return for the save chooser until it goes: it takes none before its
  // rows are on the screen.
  static bool acceptSave(const std::string& save) { return e2e::typeToClose(save, "Return"); }
  // Clicks the form's button until the window it opens comes; "" when none
  // did.
  static std::string clickFor(const std::string& form, int x, int y, const std::string& caption) {
    std::string opened;
    e2e::actUntil("a button's click", [&] { wizard::click(form, x, y); },
                  [&] { return !(opened = e2e::newWindowNow({form}, caption)).empty(); });
    return opened;
  }
  // Runs argv as the user, with the display, while `user` plays; the user
  // says what went wrong, "" when nothing did.
  sRunResult runAnswering(const std::vector<std::string>& argv, const std::function<std::string()>& user) const {
    auto playing = std::async(std::launch::async, user);
    sRunResult r = runWithEnv(asUser(argv), env(true, server->prefix()));
    EXPECT_EQ(playing.get(), "") << argv[0];
    return r;
  }
  // Runs zvk while the user answers the box that has `caption` with Return.
  sRunResult zvkAnswering(const std::vector<std::string>& args, const std::string& caption,
                          const std::string& prefix = {}) {
    auto user = std::async(std::launch::async, [&] {
      const std::string box = e2e::waitWindow(caption);
      return !box.empty() && e2e::typeToClose(box, "Return");
    });
    sRunResult r = zvk(args, true, prefix);
    EXPECT_TRUE(user.get()) << "no " << caption << " box";
    return r;
  }
};

constexpr unsigned long long kV12 = 0x0001000200000000ull;
constexpr unsigned long long kV10 = 0x0001000000000000ull, kV20 = 0x0002000000000000ull;

TEST_P(UpdateRoad, UpdateModeAnswersWithoutAndWithMessages) {
  record("demo", std::to_string(kV12), "Demo");
  server->reply("demo", "1.2\rhttp://h/Demo.zip\rhttp://h/\rNotes\r");
  server->reply("lf", "9.0\nhttp://h/x.zip\nhttp://h/\n");
  record("lf", std::to_string(kV12), "LF");

  // Quiet needs a display as every role with windows does, asking nothing
  // without one; up to date, it shows nothing.
  const sRunResult noDisplay = zvk({"update", "demo", "quite"}, false);
  EXPECT_EQ(noDisplay.status, 1);
  EXPECT_EQ(noDisplay.err, "cannot open display: DISPLAY is not set\n");
  EXPECT_EQ(server->log(), "");
  if (!e2e::haveDisplay()) GTEST_SKIP() << "the boxes need an X display";
  EXPECT_EQ(zvk({"update", "demo", "quite"}, true).status, 0);
  EXPECT_NE(server->log().find("/autocheck.php?softwareid=demo&os=linux\n"), std::string::npos)
      << server->log();
  EXPECT_EQ(zvkAnswering({"update", "demo"}, "Information").status, 0);

  const std::string before = server->log();
  EXPECT_EQ(zvkAnswering({"update", "a/b"}, "Error").status, 1);
  EXPECT_EQ(server->log(), before) << "an invalid id reached the server";

  EXPECT_EQ(zvkAnswering({"update", "lf"}, "Error").status, 1);
  EXPECT_EQ(zvkAnswering({"update", "demo"}, "Error", "http://127.0.0.1:1/autocheck.php?softwareid=").status,
            1);
  EXPECT_EQ(zvk({"update", "lf", "quite"}, true).status, 1);

  // An update declined is no failure; a download that failed is, even when
  // the user then declines.
  server->reply("newer", "9.0\rhttp://127.0.0.1:1/x.zip\rhttp://h/\r");
  record("newer", std::to_string(kV12), "Newer");
  const std::string dl = home + "/dl";
  fs::create_directories(dl);
  if (GetParam()) chown(dl.c_str(), 65534, 65534);
  cfg({"set", "installer/temp", "str", dl});
  const struct {
    const char* what;
    bool tryFirst;
    int status;
  } declines[] = {{"declined", false, 0}, {"declined after a failed download", true, 1}};
  for (const auto& d : declines) {
    SCOPED_TRACE(d.what);
    // A user who cannot go on leaves the form to the time-out.
    EXPECT_EQ(runAnswering({"timeout", "600", program(), "update", "newer"},
                           [&]() -> std::string {
                             const std::string w = e2e::waitWindow("Software Package Update");
                             if (w.empty()) return "no update form";
                             if (d.tryFirst) {
                               const std::string save = clickFor(w, 300, 390, "Save update file as...");  // Install
                               if (save.empty() || !acceptSave(save)) return "no save chooser taken";
                               // Nothing listens on port 1: the retry question, answered No.
                               const std::string retry = e2e::waitNewWindow({w}, "Confirm");
                               if (retry.empty() || !e2e::typeToClose(retry, "Escape")) return "no retry question";
                             }
                             const bool closed = e2e::actUntil("Not now", [&] { wizard::click(w, 430, 390); },
                                                               [&] { return e2e::gone(w); });
                             return closed ? "" : "the form stayed";
                           })
                  .status,
              d.status);
  }
}

TEST_P(UpdateRoad, ManagerEndsWithCtrlQAndClosesCleanlyWhileAsking) {
  if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
  {
    // Empty home: the empty state, then Ctrl+Q.
    auto user = std::async(std::launch::async, [&] {
      const std::string w = e2e::waitWindow("Quorvent Software Manager");
      if (w.empty()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(800));
      return e2e::typeToClose(w, "ctrl+q");
    });
    EXPECT_EQ(zvk({}, true).status, 0);
    EXPECT_TRUE(user.get());
  }
  record("stall1", std::to_string(kV12), "Stalled");
  record("stall2", std::to_string(kV12), "Never asked");
  // A server that accepts and never answers: the close box and Ctrl+Q both
  // end the window at once, not after the request's time-out.
  const struct {
    const char* how;
    std::function<void(const std::string&)> close;
  } ways[] = {{"close box", [](const std::string& w) { wizard::closeBox(w); }},
              {"ctrl+q", [](const std::string& w) { e2e::key(w, "ctrl+q"); }}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    fs::remove(dir.file("srv/log"));
    std::chrono::steady_clock::duration closing{};
    auto user = std::async(std::launch::async, [&] {
      const std::string w = e2e::waitWindow("Quorvent Software Manager");
      if (w.empty()) return false;
      for (int i = 0; i < 300 && server->log().find("stall1") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      const auto asked = std::chrono::steady_clock::now();
      way.close(w);
      for (int i = 0; i < 600 && runWithEnv({"xdotool", "getwindowname", w}).status == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      closing = std::chrono::steady_clock::now() - asked;
      return true;
    });
    sRunResult r = zvk({}, true);
    EXPECT_TRUE(user.get());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("ERROR: AddressSanitizer"), std::string::npos) << r.err;
    // Well under the 30 s a request may wait, even on a loaded machine.
    EXPECT_LT(closing, std::chrono::seconds(5));
    EXPECT_EQ(server->log().find("stall2"), std::string::npos)
        << "a closing window asked for another package";
  }
}

// Whether the manager's window shows a colour in a part of it.
bool shows(const std::string& window, const std::string& part, const std::string& colour) {
  return runWithEnv({"timeout", "10", "import", "-window", window, "-crop", part, "-depth", "8", "txt:-"})
             .out.find(colour) != std::string::npos;
}
// A package's name is drawn in the name column's colour, which nothing else
// there has; "Update available" in the first row in the last column's.
bool rowsShown(const std::string& window) { return shows(window, "300x100+50+100", "#324D73"); }
bool firstRowUpdates(const std::string& window) { return shows(window, "140x20+560+103", "#6CA7D4"); }

TEST_P(UpdateRoad, ManagerListsAtOnceWhileTheServerIsSilentAndLooksTheHostUpOnce) {
  if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
  if (GetParam()) GTEST_SKIP() << "the same for every user";
  {
    cCIAppFullConfig config;
    config.newConfig((home + "/.zvk").c_str());
    ASSERT_TRUE(config.openConfig((home + "/.zvk").c_str()));
    for (int i = 0; i < 200; ++i) {
      const std::string record = "install/pkg" + std::to_string(i);
      config.setParamInt64((record + "/ver").c_str(), kV12);
      config.setParamStr((record + "/name").c_str(), ("Package " + std::to_string(i)).c_str(), -1);
    }
    ASSERT_TRUE(config.saveConfig());
  }
  // The list is there while the first package's question hangs; Ctrl+Q
  // still ends the window.
  e2e::cSilentServer silent;
  ASSERT_GT(silent.port, 0);
  std::chrono::steady_clock::duration shownAfter{};
  bool shown = false;
  const auto started = std::chrono::steady_clock::now();
  auto user = std::async(std::launch::async, [&] {
    const std::string w = e2e::waitWindow("Quorvent Software Manager");
    if (w.empty()) return false;
    for (int i = 0; i < 100 && !(shown = rowsShown(w)); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    shownAfter = std::chrono::steady_clock::now() - started;
    for (int i = 0; i < 300 && silent.accepted == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return e2e::typeToClose(w, "ctrl+q");
  });
  const sRunResult r = zvk({}, true, silent.prefix());
  EXPECT_TRUE(user.get());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(shown) << "no package listed while the server was silent";
  EXPECT_EQ(silent.accepted, 1) << "the next package was asked before the first answer";
  std::printf("200 packages, silent server: listed after %lld ms (program start included)\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(shownAfter).count()));

  // By name: one lookup of the host for all the packages asked, and each
  // answer shown as it comes.
  for (int i = 1; i < 20; ++i) server->reply("pkg" + std::to_string(i), "1.2\rhttp://h/x.zip\rhttp://h/\r");
  server->reply("pkg0", "2.0\rhttp://h/x.zip\rhttp://h/\r");
  const std::string trace = dir.file("trace");
  bool updateShown = false;
  auto asker = std::async(std::launch::async, [&] {
    const std::string w = e2e::waitWindow("Quorvent Software Manager");
    for (int i = 0; i < 600 && server->log().find("softwareid=pkg199&") == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (int i = 0; i < 100 && !(updateShown = firstRowUpdates(w)); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return !w.empty() && e2e::typeToClose(w, "ctrl+q");
  });
  const std::string byName = "http://localhost:" + std::to_string(server->port) + "/autocheck.php?softwareid=";
  const sRunResult traced = runWithEnv({"strace", "-f", "-qq", "-e", "trace=openat", "-o", trace, program()},
                                       env(true, byName));
  EXPECT_TRUE(asker.get());
  EXPECT_EQ(traced.status, 0) << traced.err;
  EXPECT_TRUE(updateShown) << "the first package's newer version was not shown";
  const std::string calls = readFileBytes(trace);
  size_t lookups = 0;
  for (size_t at = calls.find("/etc/hosts"); at != std::string::npos; at = calls.find("/etc/hosts", at + 1)) ++lookups;
  EXPECT_EQ(lookups, 1u);
}

TEST_P(UpdateRoad, AnUpdateDownloadedThroughTheDialogInstallsThroughItsWizard) {
  if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
  const std::string v1 = makeBundle("1.0"), v2 = makeBundle("2.0");
  ASSERT_EQ(runWithEnv({"zip", "-qr", dir.file("srv/Foo.zip"), "Demo.app"}, {}, fs::path(v2).parent_path()).status, 0);
  EXPECT_EQ(runAnswering({v1 + "/Contents/MacOS/Installer"}, [&] { return completeWizard("1.0", false); }).status, 0);
  EXPECT_EQ(cfg({"get", "install/demo/ver"}).out, std::to_string(kV10) + "\n");

  const std::string dl = home + "/dl";
  fs::create_directories(dl);
  if (GetParam()) chown(dl.c_str(), 65534, 65534);
  cfg({"set", "installer/temp", "str", dl});
  server->reply("demo",
                "2.0\rhttp://127.0.0.1:" + std::to_string(server->port) + "/Foo.zip\rhttp://h/\rNew\r");
  const sRunResult r = runAnswering({program(), "update", "demo", "quite"}, [&]() -> std::string {
    const std::string w = e2e::waitWindow("Software Package Update");
    if (w.empty()) return "no update form";
    // The save dialog opens in the folder used last, with the proposed name;
    // the new installer starts from the unpacked download.
    const std::string save = clickFor(w, 300, 390, "Save update file as...");  // Install
    if (save.empty() || !acceptSave(save)) return "no save chooser taken";
    return completeWizard("2.0", true);
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFileBytes(dl + "/Foo.zip"), readFileBytes(dir.file("srv/Foo.zip")));
  EXPECT_EQ(cfg({"get", "installer/temp"}).out, dl + "\n");
  EXPECT_EQ(cfg({"get", "install/demo/ver"}).out, std::to_string(kV20) + "\n");
  // What was unpacked for the new installer goes once it has ended.
  EXPECT_TRUE(e2e::waitUntil([&] { return fs::is_empty(dir.file("tmp")); }));

  // The manager asks again and finds the installed version the newest.
  const size_t asked = server->log().size();
  // Run alone, the test may be the first to photograph.
  fs::create_directories(std::string(ZVK_BINARY_DIR) + "/screenshots");
  const std::string shot = std::string(ZVK_BINARY_DIR) + "/screenshots/manager_updated_" +
                           (GetParam() ? "nobody" : "root") + ".png";
  EXPECT_EQ(runAnswering({program()}, [&]() -> std::string {
              const std::string w = e2e::waitWindow("Quorvent Software Manager");
              if (w.empty()) return "no manager";
              if (!e2e::waitUntil([&] { return server->log().size() > asked && rowsShown(w); }))
                return "no package listed";
              if (!e2e::screenshot(w, shot)) return "no screenshot";
              return e2e::typeToClose(w, "ctrl+q") ? "" : "the manager stayed";
            }).status,
            0);
  EXPECT_NE(server->log().find("softwareid=demo", asked), std::string::npos);
}

TEST_P(UpdateRoad, ManagerAndUpdateFormSpeakEnglishRussianAndJapanese) {
  if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
  if (GetParam()) GTEST_SKIP() << "photographed once, as root";
  const std::string shots = std::string(ZVK_BINARY_DIR) + "/screenshots/";
  fs::create_directories(shots);
  const struct {
    const char* code;
    int lang;
  } langs[] = {{"en", 0}, {"ru", 1}, {"ja", 3}};
  // The window of a run, whatever its caption in that language.
  auto photograph = [&](const std::vector<std::string>& args, const std::string& shot, bool answered) {
    const std::vector<std::string> known = e2e::windowsCaptioned(".+");
    std::vector<std::string> argv = {program()};
    argv.insert(argv.end(), args.begin(), args.end());
    const sRunResult r = runAnswering(argv, [&]() -> std::string {
      const std::string w = e2e::waitNewWindow(known, ".+");
      if (w.empty()) return "no window";
      // The packages' state arrives from the server.
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      if (!e2e::screenshot(w, shots + shot)) return "no screenshot";
      if (answered) return e2e::typeToClose(w, "ctrl+q") ? "" : "the manager stayed";
      wizard::closeBox(w);
      return "";
    });
    // An update form closed without installing is declined: 0.
    EXPECT_EQ(r.status, 0) << shot << r.err;
  };
  for (const auto& l : langs) {
    cfg({"set", "lang/current", "int16", std::to_string(l.lang)});
    photograph({}, std::string("manager_empty_") + l.code + ".png", true);
  }
  record("demo", std::to_string(kV12), "Demo");
  record("tool", std::to_string(kV10), "Tool");
  server->reply("demo", "2.0\rhttp://h/Demo.zip\rhttp://h/\rFaster start-up.\nFewer questions.\r");
  server->reply("tool", "1.0\rhttp://h/Tool.zip\rhttp://h/\r");
  for (const auto& l : langs) {
    cfg({"set", "lang/current", "int16", std::to_string(l.lang)});
    photograph({}, std::string("manager_list_") + l.code + ".png", true);
    photograph({"update", "demo"}, std::string("update_form_") + l.code + ".png", false);
  }
}

// Where the manager draws what the user clicks, in a 770 by 480 window.
constexpr int kPublisherLink[] = {440, 335};
constexpr int kSupportLink[] = {440, 355};
constexpr int kUninstallButton[] = {620, 270};
constexpr int kLanguageFlag[] = {711, 37};
constexpr int kGermanInPopup[] = {735, 112};
constexpr int kSecondRow[] = {200, 139};
constexpr int kRunOption[] = {150, 380};

// A package's run option starts its program detached: the manager answers
// the next clicks while a slow one still runs.
TEST_P(UpdateRoad, ManagerStaysResponsiveWhileARunOptionRuns) {
  if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
  const std::string slow = dir.file("slow-done"), quick = dir.file("quick-done");
  chmod(dir.root.c_str(), 0777);
  record("alpha", std::to_string(kV10), "Alpha");
  cfg({"set", "install/alpha/cplns0", "str", "Slow"});
  cfg({"set", "install/alpha/cplcs0", "str", "\"/bin/sh\" -c \"sleep 20; touch " + slow + "\""});
  record("beta", std::to_string(kV10), "Beta");
  cfg({"set", "install/beta/cplns0", "str", "Quick"});
  cfg({"set", "install/beta/cplcs0", "str", "\"/bin/touch\" " + quick});
  bool slowDoneFirst = true;
  auto user = std::async(std::launch::async, [&] {
    const std::string w = e2e::waitWindow("Quorvent Software Manager");
    if (w.empty()) return false;
    for (int i = 0; i < 100 && server->log().find("beta") == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    e2e::settle();
    click(w, kRunOption[0], kRunOption[1]);  // Alpha's, shown first
    click(w, kSecondRow[0], kSecondRow[1]);  // Beta
    click(w, kRunOption[0], kRunOption[1]);  // Beta's
    for (int i = 0; i < 300 && !fs::exists(quick); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    slowDoneFirst = !fs::exists(quick) || fs::exists(slow);
    return e2e::typeToClose(w, "ctrl+q");
  });
  EXPECT_EQ(zvk({}, true).status, 0);
  EXPECT_TRUE(user.get());
  EXPECT_FALSE(slowDoneFirst) << "the window waited for the first program";
}

TEST_P(UpdateRoad, ManagerOpensWebLinksOnlyUninstallsAndSwitchesLanguage) {
  if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
  // The desktop's opener, recording each call's arguments one a line.
  fs::create_directories(dir.file("bin"));
  const std::string opened = dir.file("opened");
  std::ofstream(dir.file("bin/xdg-open"))
      << "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\" >> " << opened << "; done\n";
  chmod(dir.file("bin/xdg-open").c_str(), 0755);
  std::ofstream(opened).close();
  chmod(opened.c_str(), 0666);
  path = dir.file("bin") + ":/usr/bin:/bin";
  const std::string app = home + "/opt/demo";
  fs::create_directories(app);
  std::ofstream(app + "/a.txt") << "payload";
  if (GetParam()) {
    for (const auto& p : {home + "/opt", app, app + "/a.txt"}) chown(p.c_str(), 65534, 65534);
  }
  record("demo", std::to_string(kV12), "Demo");
  cfg({"set", "install/demo/publisher", "str", "https://example.org/a b?x=1&y=2"});
  cfg({"set", "install/demo/support", "str", "file:///etc/passwd"});
  cfg({"set", "install/demo/path", "str", app});
  cfg({"set", "install/demo/files", "int32", "1"});
  cfg({"set", "install/demo/file0", "str", app + "/a.txt"});
  cfg({"set", "install/demo/lang", "int16", "0"});
  server->reply("demo", "1.2\rhttp://h/Demo.zip\rhttp://h/\r");

  auto user = std::async(std::launch::async, [&] {
    const std::string w = e2e::waitWindow("Quorvent Software Manager");
    if (w.empty()) return false;
    for (int i = 0; i < 50 && server->log().find("demo") == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    click(w, kPublisherLink[0], kPublisherLink[1]);
    click(w, kSupportLink[0], kSupportLink[1]);
    click(w, kUninstallButton[0], kUninstallButton[1]);
    if (!e2e::answerBox(w, "Confirm", "Return") || !e2e::answerBox(w, "Information", "Return")) return false;
    // The list is read again: nothing is left to uninstall.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    click(w, kUninstallButton[0], kUninstallButton[1]);
    return e2e::answer(w, "ctrl+q");
  });
  sRunResult r = zvk({}, true);
  EXPECT_TRUE(user.get());
  EXPECT_EQ(r.status, 0) << r.err;
  for (int i = 0; i < 20 && readFileBytes(opened).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(readFileBytes(opened), "[https://example.org/a b?x=1&y=2]\n");
  EXPECT_FALSE(fs::exists(app + "/a.txt"));
  EXPECT_EQ(cfg({"get", "install/demo/ver"}).out, "");

  // A new run, since the language list does not open after a box was shown.
  auto switcher = std::async(std::launch::async, [&] {
    const std::string w = e2e::waitWindow("Quorvent Software Manager");
    if (w.empty()) return false;
    // On a loaded machine the list may open after the click meant for its
    // German row: the pair is played again until the German window shows.
    std::string german;
    for (int attempt = 0; attempt < 6 && german.empty(); ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(800));
      click(w, kLanguageFlag[0], kLanguageFlag[1]);
      e2e::settle();
      click(w, kGermanInPopup[0], kGermanInPopup[1]);
      for (int i = 0; i < 100 && german.empty(); ++i) {
        const std::vector<std::string> ids = e2e::windowsCaptioned("Quorvent Software-Manager");
        if (ids.empty())
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        else
          german = ids.back();
      }
    }
    return !german.empty() && e2e::answer(german, "ctrl+q");
  });
  EXPECT_EQ(zvk({}, true).status, 0);
  EXPECT_TRUE(switcher.get());
  EXPECT_EQ(cfg({"get", "lang/current"}).out, "2\n");
}

INSTANTIATE_TEST_SUITE_P(AsRootAndNobody, UpdateRoad, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "nobody" : "root"; });

}  // namespace
