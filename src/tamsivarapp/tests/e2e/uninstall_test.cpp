// `zvk uninstall` as a user runs it, as root and as nobody: the boxes met
// and the answers given, then what is left on disk. Each box takes the
// focus, and its caption lends itself to the form's window too, so a box is
// the newest window of that caption.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/asuser.h"
#include "install_support.h"

namespace fs = std::filesystem;

namespace {

PkgVersion sample() {
  PkgVersion v;
  v.files = {{"bin/run", "#!/bin/sh\necho one\n", {7, 5, 5}},
             {"lib/deep/data.bin", randomBytes(5000, 1), {6, 4, 4}},
             {"share/doc/readme.txt", "readme", {4, 4, 4}}};
  return v;
}

class Uninstall : public e2e::AsUser {
 protected:
  std::string root;

  void install() {
    root = home + "/apps/sample";
    ASSERT_EQ(installVersion(root, home + "/.zvk", sample()).job, 0);
  }
  void dropConfig(const char* key) {
    cCIAppFullConfig cfg;
    ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
    cfg.removeSection(key);
    ASSERT_TRUE(cfg.saveConfig());
  }
  bool recorded() {
    cCIAppFullConfig cfg;
    return cfg.openConfig((home + "/.zvk").c_str()) && cfg.hasSection("install/sample");
  }
};

TEST_P(Uninstall, AnswersAndWhatTheyLeave) {
  const std::string ro = "lib/deep";
  // The form only says it is busy: it is off the screen while a box asks.
  const auto alone = e2e::offScreen("Software manager");
  const std::string kAsk = "Select uninstall language";
  struct Case {
    const char* name;
    bool nobodyOnly;
    std::function<void()> prepare;
    std::vector<std::string> args;
    std::vector<e2e::sStep> steps;
    int status;
    int removed;  // 1 gone, 0 whole, -1 not looked at
  } cases[] = {
      {"yes", false, nullptr, {"sample"}, {{"Confirm", "Return", alone}, {"Information", "Return", alone}}, 0, 1},
      {"no", false, nullptr, {"sample"}, {{"Confirm", "Escape", alone}, {"Information", "Return", alone}}, 1, 0},
      {"unknown code", false, nullptr, {"nosuch"}, {{"Error", "Return"}}, 1, 0},
      {"empty code", false, nullptr, {""}, {}, 1, 0},
      // The language form is captioned as the uninstall's and opens over
      // the form, which leaves the screen to it; a language chosen, the
      // uninstall goes on.
      {"record in an unknown language", false, [&] { setConfig("install/sample/lang", 99); },
       {"sample"}, {{kAsk, "Escape", alone}, {"Confirm", "Return"}, {"Information", "Return"}}, 1, 0},
      {"record without its language", false, [&] { dropConfig("install/sample/lang"); }, {"sample"},
       {{kAsk, "Return", alone}, {"Confirm", "Return", alone}, {"Information", "Return", alone}}, 0, 1},
      {"record without its language, cancelled", false, [&] { dropConfig("install/sample/lang"); }, {"sample"},
       {{kAsk, "Escape", alone}, {"Confirm", "Return"}, {"Information", "Return"}}, 1, 0},
      {"record whose language is no number", false,
       [&] {
         cCIAppFullConfig cfg;
         ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
         cfg.setParamStr("install/sample/lang", "x", 1);
         ASSERT_TRUE(cfg.saveConfig());
       },
       {"sample"}, {{kAsk, "Escape", alone}, {"Confirm", "Return"}, {"Information", "Return"}}, 1, 0},
      {"read-only files", false,
       [&] {
         for (const PkgFile& f : sample().files) chmod((root + "/" + f.rel).c_str(), 0444);
       },
       {"sample"}, {{"Confirm", "Return"}, {"Information", "Return"}}, 0, 1},
      {"read-only configuration folder", true, [&] { chmod((home + "/.zvk").c_str(), 0555); },
       {"sample"}, {{"Confirm", "Return"}, {"Error", "Return"}}, 1, -1},
      {"read-only subfolder, no retry", true, [&] { chmod((root + "/" + ro).c_str(), 0555); },
       {"sample"}, {{"Confirm", "Return"}, {"Confirm", "Escape", nullptr, "uninstall_busy"}, {"Information", "Return"}},
       1, 0},
      {"read-only subfolder, retried once writable", true,
       [&] { chmod((root + "/" + ro).c_str(), 0555); },
       {"sample"},
       {{"Confirm", "Return"},
        {"Confirm", "Return", [&](const std::string&) { chmod((root + "/" + ro).c_str(), 0755); }},
        {"Information", "Return"}},
       0, 1},
      // As an older version recorded a folder typed with a "." step: the
      // same folder, so the package goes.
      {"folder recorded with a \".\" step", false,
       [&] {
         cCIAppFullConfig cfg;
         ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
         cfg.setParamStr("install/sample/path", (home + "/apps/.//sample").c_str(), -1);
         ASSERT_TRUE(cfg.saveConfig());
       },
       {"sample"}, {{"Confirm", "Return"}, {"Information", "Return"}}, 0, 1},
      // Reached by a ".." step, it may not be the file the package wrote:
      // the user is told, and the status says that not all went.
      {"a listed file outside the folder is kept", false,
       [&] {
         writeFile(home + "/apps/notes.txt", "notes");
         cCIAppFullConfig cfg;
         ASSERT_TRUE(cfg.openConfig((home + "/.zvk").c_str()));
         cfg.setParamStr("install/sample/file3", (root + "/../notes.txt").c_str(), -1);
         cfg.setParamInt32("install/sample/files", 4);
         ASSERT_TRUE(cfg.saveConfig());
       },
       {"sample"}, {{"Confirm", "Return"}, {"Warning", "Return", nullptr, "uninstall_kept"}}, 1, -1},
      // Behind a link now, it may still be the package's: the package
      // stays listed, and the box says so.
      {"a listed file behind a link keeps the record", false,
       [&] {
         writeFile(home + "/elsewhere/data.bin", "elsewhere");
         fs::remove_all(root + "/" + ro);
         fs::create_directory_symlink(home + "/elsewhere", root + "/" + ro);
       },
       {"sample"}, {{"Confirm", "Return"}, {"Warning", "Return", nullptr, "uninstall_record_kept"}}, 1, -1},
  };
  for (const Case& c : cases) {
    if (c.nobodyOnly && !GetParam()) continue;
    SCOPED_TRACE(c.name);
    fs::remove_all(home);
    fs::create_directories(home);
    install();
    if (c.prepare) c.prepare();
    handOver();
    std::vector<std::string> args = {zvk, "uninstall"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(play(args, c.steps), c.status);
    chmod((home + "/.zvk").c_str(), 0755);
    if (c.removed < 0) continue;
    for (const PkgFile& f : sample().files)
      EXPECT_EQ(readFileBytes(root + "/" + f.rel), c.removed ? "" : f.bytes) << f.rel;
    EXPECT_EQ(fs::exists(root), !c.removed);
    EXPECT_TRUE(fs::exists(home + "/apps")) << "the installation folder's parent stays";
    EXPECT_EQ(recorded(), !c.removed);
  }
}

// The form, its question, the success and the refusal boxes in the
// package's language.
TEST_P(Uninstall, ScreensInEachLanguage) {
  if (GetParam()) GTEST_SKIP() << "the screens are root's";
  for (const e2e::sBoxCaptions* l : {&e2e::kBoxEnglish, &e2e::kBoxRussian, &e2e::kBoxJapanese}) {
    SCOPED_TRACE(l->code);
    fs::remove_all(home);
    fs::create_directories(home);
    install();
    setConfig("install/sample/lang", l->id);
    setConfig("lang/current", l->id);
    const std::string name = std::string("_") + l->code;
    EXPECT_EQ(play({zvk, "remove"}, {{l->form, "", nullptr, "remove_form" + name},
                                     {l->error, "Return", nullptr, "remove_refused" + name}}),
              1);
    EXPECT_EQ(play({zvk, "uninstall", "sample"}, {{l->form, "", nullptr, "uninstall_form" + name},
                                                  {l->confirm, "Return", nullptr, "uninstall_question" + name},
                                                  {l->info, "Return", nullptr, "uninstall_done" + name}}),
              0);
  }
}

INSTANTIATE_TEST_SUITE_P(AsRootAndNobody, Uninstall, ::testing::Values(false, true), e2e::paramName);

}  // namespace
