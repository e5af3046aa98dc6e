#include "e2e/instwiz_support.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "ciom/ciappconfig.h"
#include "e2e/xuser.h"
#include "support/runprog.h"

// Last: its macros would rename what the headers above declare.
#include <X11/Xlib.h>

namespace fs = std::filesystem;

namespace wizard {

const sLang kEnglish = {"en", 0, "Demo software installer", "Select a folder for installation"};
const sLang kRussian = {"ru", 1, "Установщик программы Demo", "Выберите папку для установки"};
const sLang kJapanese = {"ja", 2, "Demo ソフトウェア インストーラー", "インストール先のフォルダーを選択"};

std::string randomText(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

tFiles manyFiles(int count, unsigned seed) {
  tFiles files;
  for (int i = 0; i < count; ++i) files.push_back({"a/f" + std::to_string(i), randomText(1024, seed + i)});
  files.push_back({"late/last.txt", "last\n"});
  return files;
}

void writeText(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

bool waitFor(const std::function<bool()>& done, int ms) { return e2e::waitUntil(done, std::chrono::milliseconds(ms)); }

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void click(const std::string& window, int x, int y) {
  runWithEnv({"xdotool", "mousemove", "--window", window, std::to_string(x), std::to_string(y), "click", "1"});
}

int windowHeight(const std::string& window) {
  sRunResult r = runWithEnv({"xdotool", "getwindowgeometry", window});
  size_t at = r.out.find("Geometry: ");
  return at == std::string::npos ? 0 : std::stoi(r.out.substr(r.out.find('x', at) + 1));
}

void closeBox(const std::string& window) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return;
  // A window that is gone already is the test's failure to report, not a
  // reason to end the test program.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = std::stoul(window);
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  XSendEvent(d, e.xclient.window, False, NoEventMask, &e);
  XCloseDisplay(d);
}

std::string pixel(const std::string& window, int x, int y) {
  const std::string crop = "1x1+" + std::to_string(x) + "+" + std::to_string(y);
  const std::string out =
      runWithEnv({"timeout", "10", "import", "-window", window, "-crop", crop, "-depth", "8", "txt:-"}).out;
  // The first line is a comment that starts with "#" too.
  const size_t at = out.find('#', out.find('\n'));
  return at == std::string::npos ? "" : out.substr(at, 7);
}

sPagePixel currentStep(int step) { return {28, 91 + 22 * step, "#35558E"}; }

bool shows(const std::string& window, const sPagePixel& page) { return pixel(window, page.x, page.y) == page.colour; }

bool waitPage(const std::string& window, const sPagePixel& page) {
  return waitFor([&] { return shows(window, page); });
}

// A click that comes before the page listens is lost, and Return does
// nothing until the box is ticked: each is done again until its effect shows.
bool acceptPage(const std::string& window) {
  return e2e::actUntil("the accept box's click", [&] { click(window, 202, 377); },
                       [&] { return shows(window, kAcceptTicked); }) &&
         leavePage(window, kAcceptTicked);
}

bool leavePage(const std::string& window, const sPagePixel& page) {
  return e2e::actUntil("Return on a wizard page", [&] { e2e::typeInto(window, "Return"); },
                       [&] { return !shows(window, page); });
}

bool anySideFile(const std::string& root) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const std::string p = it->path().string();
    if (p.ends_with(".tmp") || p.ends_with(".bkp")) return true;
  }
  return false;
}

// The configuration is not read meanwhile: that would take its lock.
bool installed(const std::string& root, const tFiles& files) {
  for (const auto& f : files)
    if (readFileBytes(root + "/" + f.first) != f.second) return false;
  return !anySideFile(root);
}

void cWizardTest::SetUp() {
  if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
  if (nobody() && (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0))
    GTEST_SKIP() << "needs root and setpriv to act as nobody";
  chmod(dir.root.c_str(), 0755);
  fs::copy(ZVK_BUNDLE, dir.file("ZVK.app"), fs::copy_options::recursive);
  home = folder("home");
  shots = std::string(ZVK_BINARY_DIR) + "/screenshots";
  fs::create_directories(shots);
}

void cWizardTest::TearDown() {
  if (running > 0) {
    kill(running, SIGKILL);
    waitpid(running, nullptr, 0);
    running = -1;
  }
}

std::string cWizardTest::folder(const std::string& name) {
  const std::string path = dir.file(name);
  fs::create_directories(path);
  chmod(path.c_str(), 0777);
  return path;
}

std::string cWizardTest::make(const sPackage& p) {
  const std::string stem = p.codename + "-" + p.version, src = dir.file(stem + "-src");
  std::string install, software = "codename = \"" + p.codename + "\"\nname = \"" + p.name + "\"\nversion = \"" +
                                  p.version + "\"\n";
  for (const auto& [rel, bytes] : p.files) {
    writeText(src + "/" + rel, bytes);
    install += "\"" + src + "/" + rel + "\" = $pgm \"" + rel + "\"" + (rel.ends_with(".sh") ? ", 755" : "") + "\n";
  }
  // "zvk make" takes no package without a licence.
  std::string runs;
  for (const char* d : {"eula", "welcome", "readme"}) {
    if (!p.docs && std::string(d) != "eula") continue;
    std::string index;
    for (size_t at = 0; at < p.langs.size(); at += 4) {
      const std::string l = p.langs.substr(at, 3);
      writeText(src + "/" + d + "." + l + ".hdl", "<text>" + std::string(d) + " " + l + "</text>");
      index += l + " = \"./" + d + "." + l + ".hdl\"\n";
    }
    writeText(src + "/" + d + ".idx", index);
    software += std::string(d) + " = \"" + src + "/" + d + ".idx\"" + (std::string(d) == "readme" ? ", yes" : "") +
                "\n";
  }
  if (p.docs)
    runs = "[Run]\n\"Run first\" = $pgm \"bin/run.sh\", yes, \"one\"\n"
           "\"Run second\" = $pgm \"bin/run.sh\", yes, \"two\"\n";
  const std::string scenario = dir.file(stem + ".txt"), bundle = dir.file(stem + ".app");
  writeText(scenario, "[General]\nlangs = " + p.langs + "\n[Software]\n" + software + "[Install]\n" + install + runs +
                          p.more);
  sRunResult r = runWithEnv({dir.file("ZVK.app/Contents/MacOS/zvk"), "make", scenario, bundle},
                            {"PATH=/usr/bin:/bin", "HOME=" + dir.root, "ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  for (const auto& e : fs::recursive_directory_iterator(bundle))
    fs::permissions(e.path(), e.is_directory() ? fs::perms::all : fs::perms::others_read | fs::perms::group_read,
                    fs::perm_options::add);
  return bundle + "/Contents/MacOS/Installer";
}

void cWizardTest::start(const std::string& installer) {
  std::vector<std::string> argv;
  if (nobody()) argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  argv.push_back(installer);
  std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + home, "ASAN_OPTIONS=detect_leaks=0"};
  for (const std::string& e : e2e::displayEnv(dir.file("Xauthority"), nobody())) env.push_back(e);
  std::vector<char*> args, envp;
  for (std::string& a : argv) args.push_back(a.data());
  for (std::string& e : env) envp.push_back(e.data());
  args.push_back(nullptr);
  envp.push_back(nullptr);
  // setpriv runs the Installer in its own process: the pid is the Installer's.
  exitStatus = -1;
  running = fork();
  if (running == 0) {
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
}

bool cWizardTest::ended() {
  int status = 0;
  if (running <= 0) return true;
  if (waitpid(running, &status, WNOHANG) != running) return false;
  running = -1;
  exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return true;
}

int cWizardTest::wait(int ms) {
  if (!waitFor([&] { return ended(); }, ms)) {
    ADD_FAILURE() << "the Installer did not end within " << ms << " ms";
    TearDown();
    return -2;
  }
  return exitStatus;
}

void cWizardTest::browseTo(const std::string& wizard, const sLang& lang, const std::string& folder) {
  click(wizard, 560, 155);
  const std::string chooser = e2e::waitNewWindow({wizard}, lang.chooser);
  ASSERT_FALSE(chooser.empty()) << "no folder chooser";
  ASSERT_TRUE(e2e::waitFocus(chooser)) << "the folder chooser never had the focus";
  click(chooser, 175, windowHeight(chooser) - 57);
  // To the focus: keys sent to a window stay held, and the server's
  // auto-repeat would press them again in whatever comes next.
  runWithEnv({"xdotool", "type", "--delay", "20", folder});
  e2e::typeKey("Return");
  pause(500);
  e2e::typeKey("Return");
}

bool cWizardTest::answerBox(const std::string& form, const std::string& caption, const std::string& key,
                            const std::string& photo, std::vector<std::string> known) {
  known.push_back(form);
  const std::string box = e2e::waitFocusedWindow(known, caption);
  if (box.empty()) return false;
  if (!photo.empty()) shot(box, photo);
  e2e::typeKey(key);
  // The form takes its own caption back once the box is gone.
  return waitFor([&] {
    const std::vector<std::string> now = e2e::windowsCaptioned(caption);
    return std::find(now.begin(), now.end(), box) == now.end();
  }, 15000);
}

void cWizardTest::shot(const std::string& window, const std::string& name, int paintMs) {
  if (nobody() && !photosAsNobody) return;
  pause(paintMs);
  // A grab can wait on a window that a modal run holds.
  runWithEnv({"timeout", "10", "import", "-window", window,
              shots + "/instwiz-" + name + (nobody() ? "-nobody" : "") + ".png"});
}

std::string cWizardTest::record(const std::string& codename, const char* key) {
  cCIAppFullConfig cfg;
  _guardchar<char> value;
  unsigned long long number = 0;
  if (!cfg.openConfig((home + "/.zvk").c_str())) return "";
  const std::string path = "install/" + codename + "/" + key;
  if (cfg.getParamInt(path.c_str(), number)) return std::to_string(number);
  return cfg.getParamStr(path.c_str(), value) && value.ptr ? value.ptr : "";
}

std::string cWizardTest::window(const sPackage& p, bool licence) {
  const std::string w = e2e::waitWindow(p.name + " software installer");
  EXPECT_FALSE(w.empty()) << "no wizard for " << p.name;
  EXPECT_TRUE(e2e::waitFocus(w)) << "the wizard for " << p.name << " never had the focus";
  if (licence) acceptLicence(w);
  return w;
}

int cWizardTest::closeFinish() {
  for (int i = 0; i < 100 && running > 0; ++i) {
    e2e::typeKey("Return");
    if (waitFor([&] { return ended(); }, 300)) break;
  }
  return wait(5000);
}

void cWizardTest::installFresh(const sPackage& p) {
  start(make(p));
  window(p);
  e2e::typeKey("Return");
  ASSERT_TRUE(waitFor([&] { return installed(apps(), p.files); }));
  ASSERT_EQ(closeFinish(), 0);
}

bool cWizardTest::abortCopy(const std::string& wizard, const std::string& caption) {
  std::vector<std::string> before = e2e::windowsCaptioned(".*");
  before.push_back(wizard);
  // The Installer is held while the Escape is on its way, so the copy cannot
  // end before the wizard hears it; from then on the wizard holds the copy
  // itself until the question is answered.
  ::kill(running, SIGSTOP);
  e2e::typeKey("Escape");
  ::kill(running, SIGCONT);
  const std::string box = e2e::waitFocusedWindow(before, caption);
  return !box.empty() && e2e::typeToClose(box, "Return");
}

}  // namespace wizard
