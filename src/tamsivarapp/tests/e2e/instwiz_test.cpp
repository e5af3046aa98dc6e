// The installation wizard as a user meets it: an installer bundle made by
// "zvk make", run as root and as nobody with a scratch HOME, driven with
// xdotool. Each run photographs its pages into <build>/screenshots.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "ciom/ciappconfig.h"
#include "e2e/xuser.h"
#include "support/runprog.h"

namespace fs = std::filesystem;

namespace {

struct sLang {
  const char* code;  // in file names
  int row;           // on the language form
  const char* wizard;
  const char* chooser;
};

const sLang kEnglish = {"en", 0, "Demo software installer", "Select a folder for installation"};
const sLang kRussian = {"ru", 1, "Установщик программы Demo", "Выберите папку для установки"};
const sLang kJapanese = {"ja", 2, "Demo ソフトウェア インストーラー", "インストール先のフォルダーを選択"};

void writeText(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string randomText(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

bool waitFor(const std::function<bool()>& done, int ms = 20000) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void click(const std::string& window, int x, int y) {
  runWithEnv({"xdotool", "mousemove", "--window", window, std::to_string(x), std::to_string(y), "click", "1"});
}

// The newest window with the caption that is not `except`.
std::string windowOtherThan(const std::string& caption, const std::string& except) {
  std::string found;
  waitFor([&] {
    sRunResult r = runWithEnv({"xdotool", "search", "--onlyvisible", "--name", "^" + caption + "$"});
    std::string line;
    for (char c : r.out + "\n") {
      if (c != '\n') {
        line += c;
      } else if (!line.empty()) {
        if (line != except) found = line;
        line.clear();
      }
    }
    return !found.empty();
  });
  return found;
}

int windowHeight(const std::string& window) {
  sRunResult r = runWithEnv({"xdotool", "getwindowgeometry", window});
  size_t at = r.out.find("Geometry: ");
  return at == std::string::npos ? 0 : std::stoi(r.out.substr(r.out.find('x', at) + 1));
}

class InstallWizard : public ::testing::TestWithParam<bool> {
 protected:
  ScratchDir dir;
  std::string installer, home, shots;

  void SetUp() override {
    if (!e2e::haveDisplay()) GTEST_SKIP() << "needs an X display";
    if (GetParam() && (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0))
      GTEST_SKIP() << "needs root and setpriv to act as nobody";
    chmod(dir.root.c_str(), 0755);
    fs::copy(ZVK_BUNDLE, dir.file("ZVK.app"), fs::copy_options::recursive);
    home = dir.file("home");
    fs::create_directories(home);
    chmod(home.c_str(), 0777);
    shots = std::string(ZVK_BINARY_DIR) + "/screenshots";
    fs::create_directories(shots);
  }

  // Makes bundle `name` from the demo scenario at `version`; `docs` adds
  // the three documents and the two run options.
  std::string make(const std::string& name, const std::string& version, bool docs,
                   const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string src = dir.file(name + "-src");
    std::string install;
    for (const auto& [rel, bytes] : files) {
      writeText(src + "/" + rel, bytes);
      install += "\"" + src + "/" + rel + "\" = $pgm \"" + rel + "\"" + (rel.ends_with(".sh") ? ", 755" : "") + "\n";
    }
    std::string software = "codename = \"demo\"\nname = \"Demo\"\nversion = \"" + version + "\"\n";
    std::string runs;
    if (docs) {
      for (const char* d : {"welcome", "readme", "eula"}) {
        std::string index;
        for (const char* l : {"ENG", "RUS", "JPN"}) {
          writeText(src + "/" + d + "." + l + ".hdl", std::string("<text>") + d + " " + l + "</text>");
          index += std::string(l) + " = \"./" + d + "." + l + ".hdl\"\n";
        }
        writeText(src + "/" + d + ".idx", index);
        software += std::string(d) + " = \"" + src + "/" + d + ".idx\"" + (std::string(d) == "readme" ? ", yes" : "") +
                    "\n";
      }
      runs = "[Run]\n\"Run first\" = $pgm \"bin/run.sh\", yes, \"one\"\n"
             "\"Run second\" = $pgm \"bin/run.sh\", yes, \"two\"\n";
    }
    writeText(dir.file(name + ".txt"),
              "[General]\nlangs = ENG RUS JPN\n[Software]\n" + software + "[Install]\n" + install + runs);
    sRunResult r = runWithEnv({dir.file("ZVK.app/Contents/MacOS/zvk"), "make", dir.file(name + ".txt"),
                               dir.file(name + ".app")},
                              {"PATH=/usr/bin:/bin", "HOME=" + home, "ASAN_OPTIONS=detect_leaks=0"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    // Everything readable by nobody, the folders writable too.
    for (const auto& e : fs::recursive_directory_iterator(dir.root))
      fs::permissions(e.path(), e.is_directory() ? fs::perms::all : fs::perms::others_read | fs::perms::group_read,
                      fs::perm_options::add);
    return dir.file(name + ".app/Contents/MacOS/Installer");
  }

  std::future<sRunResult> start(const std::string& program) {
    // A run the test loses track of ends by itself.
    std::vector<std::string> argv = {"timeout", "120"};
    if (GetParam()) argv.insert(argv.end(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    argv.push_back(program);
    std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + home, "ASAN_OPTIONS=detect_leaks=0"};
    for (const std::string& e : e2e::displayEnv(dir.file("Xauthority"), GetParam())) env.push_back(e);
    return std::async(std::launch::async, [argv, env] { return runWithEnv(argv, env); });
  }

  // Waits for the page to be painted (slow under the sanitizers), then
  // photographs it.
  void shot(const std::string& window, const std::string& lang, const std::string& page) {
    pause(1200);
    if (GetParam()) return;
    // A grab can wait on a window that a modal run holds.
    runWithEnv({"timeout", "10", "import", "-window", window, shots + "/instwiz-" + lang + "-" + page + ".png"});
  }

  // Browse, the folder typed into the chooser's path field, Enter to go
  // there and Enter to select it.
  void browseTo(const std::string& wizard, const sLang& lang, const std::string& folder) {
    click(wizard, 560, 155);
    const std::string chooser = windowOtherThan(lang.chooser, wizard);
    ASSERT_FALSE(chooser.empty());
    pause(500);
    click(chooser, 175, windowHeight(chooser) - 57);
    runWithEnv({"xdotool", "type", "--window", chooser, "--delay", "20", folder});
    e2e::key(chooser, "Return");
    pause(500);
    e2e::key(chooser, "Return");
    ASSERT_EQ(e2e::waitWindow(lang.wizard), wizard);
  }

  std::string record(const char* key) {
    cCIAppFullConfig cfg;
    _guardchar<char> value;
    unsigned long long number = 0;
    if (!cfg.openConfig((home + "/.zvk").c_str())) return "";
    std::string path = std::string("install/demo/") + key;
    if (cfg.getParamInt(path.c_str(), number)) return std::to_string(number);
    return cfg.getParamStr(path.c_str(), value) && value.ptr ? value.ptr : "";
  }
};

const std::vector<std::pair<std::string, std::string>> kFiles = {
    {"bin/run.sh", "#!/bin/sh\necho \"run $*\" >> \"$HOME/marker.txt\"\n"},
    {"readme.txt", "hello\n"},
    {"data/big.bin", randomText(48 << 20, 7)},
};

// Every file in place and no side file left: the job has reached its end
// (the configuration is not read meanwhile: that would take its lock).
bool installed(const std::string& root, const std::vector<std::pair<std::string, std::string>>& files) {
  for (const auto& f : files)
    if (readFileBytes(root + "/" + f.first) != f.second) return false;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string p = e.path().string();
    if (p.ends_with(".tmp") || p.ends_with(".bkp")) return false;
  }
  return true;
}

}  // namespace

TEST_P(InstallWizard, FreshInstallInTheChosenLanguageThroughTheFolderChooser) {
  for (const sLang* lang : {&kRussian, &kEnglish, &kJapanese}) {
    if (GetParam() && lang != &kRussian) continue;
    SCOPED_TRACE(lang->code);
    fs::remove_all(home);
    fs::create_directories(home);
    chmod(home.c_str(), 0777);
    const std::string prog = home + "/Prog";
    fs::create_directories(prog);
    chmod(prog.c_str(), 0777);
    const std::string program = make("Demo", "1.2", true, kFiles);
    std::future<sRunResult> run = start(program);

    // The language form opens over the loading form in a window of its
    // own without a caption.
    const std::string loading = e2e::waitWindow("Software manager");
    ASSERT_FALSE(loading.empty());
    const std::string root = runWithEnv({"xdotool", "search", "--maxdepth", "0", "--name", ""}).out;
    const std::string form = windowOtherThan("", root.substr(0, root.find('\n')));
    ASSERT_FALSE(form.empty());
    pause(1000);
    shot(form, lang->code, "0-language");
    for (int i = 0; i < lang->row; ++i) e2e::key(form, "Down");
    e2e::key(form, "Return");
    const std::string w = e2e::waitWindow(lang->wizard);
    ASSERT_FALSE(w.empty());
    shot(w, lang->code, "1-welcome");
    e2e::key(w, "Return");
    shot(w, lang->code, "2-readme");
    click(w, 202, 377);
    e2e::key(w, "Return");
    shot(w, lang->code, "3-licence");
    click(w, 202, 377);
    e2e::key(w, "Return");
    shot(w, lang->code, "4-target");
    browseTo(w, *lang, prog);
    shot(w, lang->code, "5-target-chosen");
    e2e::key(w, "Return");
    pause(100);
    shot(w, lang->code, "6-copying");
    ASSERT_TRUE(waitFor([&] { return installed(prog, kFiles); }));
    pause(1500);
    shot(w, lang->code, "7-finish");
    e2e::key(w, "Return");
    const sRunResult ended = run.get();
    EXPECT_EQ(ended.status, 0) << ended.err;
    EXPECT_TRUE(waitFor([&] { return fs::exists(home + "/marker.txt"); }, 5000));
    pause(1000);
    // Both boxes start checked; unchecking one is the off-screen finish test's
    // (a click after the folder chooser does not reach the page here).
    const std::string marker = readFileBytes(home + "/marker.txt");
    EXPECT_TRUE(marker == "run one\nrun two\n" || marker == "run two\nrun one\n") << marker;
    for (const auto& [rel, bytes] : kFiles) EXPECT_TRUE(readFileBytes(prog + "/" + rel) == bytes) << rel;
    EXPECT_EQ(record("lang"), std::to_string(lang == &kEnglish ? 0 : lang == &kRussian ? 1 : 3));
  }
}

INSTANTIATE_TEST_SUITE_P(AsRootAndNobody, InstallWizard, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "nobody" : "root"; });
