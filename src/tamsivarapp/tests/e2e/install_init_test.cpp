// `zvk install` up to the wizard as a user meets it, as root and as nobody:
// a missing package, one older than the installed version and an upgrade
// that may not write end in their boxes; a package in three languages asks
// which one first. Packages are made by `zvk make`.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/asuser.h"
#include "install_support.h"

namespace fs = std::filesystem;

namespace {

struct sLang {
  const e2e::sBoxCaptions& boxes;
  int row;  // on the language form, English first
  const char* wizard;
};

const sLang kLangs[] = {{e2e::kBoxEnglish, 0, "Demo software installer"},
                        {e2e::kBoxRussian, 1, "Установщик программы Demo"},
                        {e2e::kBoxJapanese, 2, "Demo ソフトウェア インストーラー"}};

PkgVersion installed() {
  PkgVersion v;
  v.files = {{"bin/run", "#!/bin/sh\necho one\n", {7, 5, 5}}};
  return v;
}

class InstallInit : public e2e::AsUser {
 protected:
  std::string root;

  // The package of an installer bundle made from a three-language scenario.
  std::string make(const std::string& codename, const std::string& version) {
    const std::string src = dir.file(codename + version + ".run"), text = dir.file(codename + version + ".txt");
    std::ofstream(src) << "#!/bin/sh\necho " << version << "\n";
    std::ofstream(dir.file("eula.hdl")) << "<text>Terms</text>";
    std::ofstream(dir.file("eula.idx")) << "ENG = \"./eula.hdl\"\nRUS = \"./eula.hdl\"\nJPN = \"./eula.hdl\"\n";
    std::ofstream(text) << "[General]\nlangs = ENG RUS JPN\n[Software]\ncodename = \"" << codename
                        << "\"\nname = \"Demo\"\nversion = \"" << version << "\"\neula = \"" << dir.file("eula.idx")
                        << "\"\n[Install]\n\"" << src << "\" = $pgm \"bin/run\", 755\n";
    const std::string bundle = dir.file(codename + version + ".app");
    sRunResult r = runWithEnv({zvk, "make", text, bundle}, {"PATH=/usr/bin:/bin", "ASAN_OPTIONS=detect_leaks=0"});
    EXPECT_EQ(r.status, 0) << r.out;
    return bundle + "/Contents/Resources/scenario.data";
  }
};

TEST_P(InstallInit, BoxesAndTheLanguageQuestion) {
  const std::string older = make("sample", "0.5"), newer = make("sample", "2.0");
  // The bundle itself, as a user holds it, rather than the scenario in it.
  const std::string fresh = fs::path(make("fresh", "1.0")).parent_path().parent_path().parent_path();
  // The loading form only says it is busy: it leaves the screen to each box
  // and to the language question.
  struct Case {
    const char* name;
    bool nobodyOnly;
    std::string package;
    std::function<void()> prepare;
    // The windows met in this language, the screenshots named with it.
    std::function<std::vector<e2e::sStep>(const sLang&, const std::string& suffix)> steps;
    int status;  // -1: the run is ended by the test
  } cases[] = {
      {"missing package", false, dir.file("missing.pkg"), nullptr,
       [](const sLang& l, const std::string& suffix) -> std::vector<e2e::sStep> {
         return {{l.boxes.form, "", nullptr, "install_form" + suffix},
                 {l.boxes.error, "Return", e2e::offScreen(l.boxes.form), "install_missing" + suffix}};
       },
       1},
      // Any file that is not a package is refused as one that cannot be
      // loaded; a text file here.
      {"a file holding no package", false, dir.file("notes.txt"), [&] { writeFile(dir.file("notes.txt"), "text\n"); },
       [](const sLang& l, const std::string& suffix) -> std::vector<e2e::sStep> {
         return {{l.boxes.form, ""},
                 {l.boxes.error, "Return", e2e::offScreen(l.boxes.form), "install_not_a_package" + suffix}};
       },
       1},
      {"older than the installed", false, older, nullptr,
       [](const sLang& l, const std::string& suffix) -> std::vector<e2e::sStep> {
         return {{l.boxes.form, ""},
                 {"", "Return", e2e::offScreen(l.boxes.form)},
                 {l.boxes.info, "Return", e2e::offScreen(l.boxes.form), "install_older" + suffix}};
       },
       1},
      {"an upgrade into a folder made read-only", true, newer, [&] { chmod((root + "/bin").c_str(), 0555); },
       [](const sLang& l, const std::string& suffix) -> std::vector<e2e::sStep> {
         return {{l.boxes.form, ""},
                 {"", "Return", e2e::offScreen(l.boxes.form)},
                 {l.boxes.error, "Return", e2e::offScreen(l.boxes.form), "install_no_write" + suffix}};
       },
       1},
      // Browsed from English, the stored language; the bundle given.
      {"three languages, no record", false, fresh, [&] { setConfig("lang/current", 0); },
       [&](const sLang& l, const std::string& suffix) -> std::vector<e2e::sStep> {
         // The form speaks each language as the arrows reach it.
         auto browse = [&, row = l.row, shot = shots + "/install_language" + suffix + ".png"](const std::string& w) {
           // The loading form is off the screen meanwhile.
           e2e::offScreen("Software manager")(w);
           for (int i = 0; i < row; ++i) e2e::typeKey("Down");
           e2e::settle();
           runWithEnv({"timeout", "10", "import", "-window", w, shot});
         };
         auto close = [](const std::string& window) { runWithEnv({"xdotool", "windowkill", window}); };
         return {{"Software manager", ""}, {"", "Return", browse}, {l.wizard, "", close, "install_wizard" + suffix}};
       },
       -1},
  };
  for (const Case& c : cases) {
    if (c.nobodyOnly && !GetParam()) continue;
    for (const sLang& l : kLangs) {
      if (GetParam() && &l != &kLangs[0]) continue;
      SCOPED_TRACE(std::string(c.name) + " " + l.boxes.code);
      fs::remove_all(home);
      fs::create_directories(home);
      root = home + "/apps/sample";
      ASSERT_EQ(installVersion(root, home + "/.zvk", installed()).job, 0);
      setConfig("install/sample/lang", l.boxes.id);
      setConfig("lang/current", l.boxes.id);
      if (c.prepare) c.prepare();
      handOver();
      const std::string suffix = std::string(GetParam() ? "_nobody_" : "_") + l.boxes.code;
      int status = play({zvk, "install", c.package}, c.steps(l, suffix));
      if (c.status >= 0) {
        EXPECT_EQ(status, c.status);
      }
      EXPECT_EQ(readFileBytes(root + "/bin/run"), installed().files[0].bytes);
      chmod((root + "/bin").c_str(), 0755);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AsRootAndNobody, InstallInit, ::testing::Values(false, true), e2e::paramName);

}  // namespace
