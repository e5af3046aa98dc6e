// The installation wizard as a user meets it: an installer bundle made by
// "zvk make", run as root and as nobody with a scratch HOME, driven with
// xdotool. Each run photographs its pages into <build>/screenshots.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "e2e/instwiz_support.h"
#include "e2e/xuser.h"
#include "support/runprog.h"

namespace fs = std::filesystem;
using namespace wizard;

namespace {

class InstallWizard : public cWizardTest {
 protected:
  // The language form opens over the loading form in a window of its own
  // without a caption; answers the wizard's window.
  std::string chooseLanguage(const sLang& lang) {
    const std::string loading = e2e::waitWindow("Software manager");
    EXPECT_FALSE(loading.empty());
    const std::string root = runWithEnv({"xdotool", "search", "--maxdepth", "0", "--name", ""}).out;
    const std::string form = e2e::waitNewWindow({root.substr(0, root.find('\n'))}, "");
    EXPECT_FALSE(form.empty());
    EXPECT_TRUE(e2e::waitFocus(form));
    shot("root", std::string(lang.code) + "-0-init");
    shot(form, std::string(lang.code) + "-0-language");
    for (int i = 0; i < lang.row; ++i) e2e::typeKey("Down");
    e2e::typeKey("Return");
    const std::string w = e2e::waitWindow(lang.wizard);
    EXPECT_FALSE(w.empty());
    return w;
  }
};

tFiles files() {
  tFiles f = manyFiles(4000, 7);
  f.push_back({"bin/run.sh", "#!/bin/sh\necho \"run $*\" >> \"$HOME/marker.txt\"\n"});
  f.push_back({"data/big.bin", randomText(8 << 20, 7)});
  return f;
}

const tFiles kFiles = files();

}  // namespace

TEST_P(InstallWizard, FreshInstallInTheChosenLanguageThroughTheFolderChooser) {
  sPackage demo(kFiles);
  demo.langs = "ENG RUS JPN";
  demo.docs = true;
  const std::string installer = make(demo);
  for (const sLang* lang : {&kRussian, &kEnglish, &kJapanese}) {
    if (nobody() && lang != &kRussian) continue;
    SCOPED_TRACE(lang->code);
    fs::remove_all(home);
    folder("home");
    const std::string prog = folder("home/Prog"), code = lang->code;
    start(installer);

    const std::string w = chooseLanguage(*lang);
    ASSERT_FALSE(w.empty());
    ASSERT_TRUE(e2e::waitFocus(w));
    shot(w, code + "-1-welcome");
    ASSERT_TRUE(leavePage(w, currentStep(0))) << "the welcome page stayed";
    shot(w, code + "-2-readme");
    ASSERT_TRUE(acceptPage(w)) << "the readme was not accepted";
    shot(w, code + "-3-licence");
    ASSERT_TRUE(acceptPage(w)) << "the licence was not accepted";
    ASSERT_TRUE(waitPage(w, kTargetPage));
    shot(w, code + "-4-target");
    browseTo(w, *lang, prog);
    ASSERT_EQ(e2e::waitWindow(lang->wizard), w);
    shot(w, code + "-5-target-chosen");
    e2e::typeKey("Return");
    shot(w, code + "-6-copying", 400);
    ASSERT_TRUE(waitFor([&] { return installed(prog, kFiles); }));
    ASSERT_TRUE(waitPage(w, kFinishRunBox));
    shot(w, code + "-7-finish");
    // The first run box unchecked: only the second option runs.
    click(w, 222, 191);
    e2e::typeKey("Return");
    EXPECT_EQ(wait(), 0);
    EXPECT_TRUE(waitFor([&] { return fs::exists(home + "/marker.txt"); }, 5000));
    pause(500);
    EXPECT_EQ(readFileBytes(home + "/marker.txt"), "run two\n");
    for (const auto& [rel, bytes] : kFiles) EXPECT_TRUE(readFileBytes(prog + "/" + rel) == bytes) << rel;
    EXPECT_EQ(record("demo", "lang"), std::to_string(lang == &kEnglish ? 0 : lang == &kRussian ? 1 : 3));
  }
}

// The pages the plain road does not show, photographed in each language:
// the superseded package's step and the finish after an abort.
TEST_P(InstallWizard, SupersededStepAndAbortInTheChosenLanguage) {
  if (nobody()) GTEST_SKIP() << "the photographs are root's";
  sPackage alpha(tFiles{{"alpha.txt", "alpha\n"}});
  alpha.codename = "alpha";
  alpha.name = "Alpha";
  sPackage demo(manyFiles(5000, 3));
  demo.langs = "ENG RUS JPN";
  demo.more = "[Deprecates]\n\"alpha\" = *\n";
  const std::string installer = make(demo);
  for (const sLang* lang : {&kRussian, &kEnglish, &kJapanese}) {
    SCOPED_TRACE(lang->code);
    fs::remove_all(home);
    folder("home");
    installFresh(alpha);
    start(installer);
    const std::string w = chooseLanguage(*lang), code = lang->code;
    ASSERT_FALSE(w.empty());
    ASSERT_TRUE(e2e::waitFocus(w));
    acceptLicence(w);
    shot(w, code + "-5-deprecated");
    const std::vector<std::string> before = e2e::windowsCaptioned(".*");
    e2e::typeKey("Return");
    // The uninstall runs in its own windows: a question, then its end.
    ASSERT_TRUE(answerBox(w, "(Confirm|Подтверждение|確認)", "Return", {}, before))
        << "no uninstall question";
    ASSERT_TRUE(answerBox(w, "(Information|Информация|情報)", "Return", {}, before))
        << "no uninstall end";
    ASSERT_EQ(e2e::waitWindow(lang->wizard), w);
    ASSERT_TRUE(e2e::giveFocus(w));
    ASSERT_TRUE(waitPage(w, kTargetPage));
    e2e::typeKey("Return");
    ASSERT_TRUE(waitFor([&] { return fs::exists(apps() + "/a/f0.tmp"); }));
    ASSERT_TRUE(abortCopy(w, "(Confirm|Подтверждение|確認)"));
    ASSERT_TRUE(waitFor([&] { return !anySideFile(apps()); }));
    shot(w, code + "-9-finish-aborted");
    EXPECT_EQ(closeFinish(), 1);
    EXPECT_FALSE(fs::exists(apps() + "/alpha.txt"));
  }
}

INSTANTIATE_TEST_SUITE_P(AsRootAndNobody, InstallWizard, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "nobody" : "root"; });
