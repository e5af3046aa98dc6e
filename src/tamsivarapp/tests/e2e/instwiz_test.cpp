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

class InstallWizard : public cWizardTest {};

const tFiles kFiles = {
    {"bin/run.sh", "#!/bin/sh\necho \"run $*\" >> \"$HOME/marker.txt\"\n"},
    {"readme.txt", "hello\n"},
    {"data/big.bin", randomText(48 << 20, 7)},
};

}  // namespace

TEST_P(InstallWizard, FreshInstallInTheChosenLanguageThroughTheFolderChooser) {
  for (const sLang* lang : {&kRussian, &kEnglish, &kJapanese}) {
    if (nobody() && lang != &kRussian) continue;
    SCOPED_TRACE(lang->code);
    fs::remove_all(home);
    folder("home");
    const std::string prog = folder("home/Prog"), code = lang->code;
    sPackage demo(kFiles);
    demo.langs = "ENG RUS JPN";
    demo.docs = true;
    start(make(demo));

    // The language form opens over the loading form in a window of its
    // own without a caption.
    const std::string loading = e2e::waitWindow("Software manager");
    ASSERT_FALSE(loading.empty());
    const std::string root = runWithEnv({"xdotool", "search", "--maxdepth", "0", "--name", ""}).out;
    const std::string form = e2e::waitNewWindow({root.substr(0, root.find('\n'))}, "");
    ASSERT_FALSE(form.empty());
    pause(1000);
    shot(loading, code + "-0-init");
    shot(form, code + "-0-language");
    for (int i = 0; i < lang->row; ++i) e2e::key(form, "Down");
    e2e::key(form, "Return");
    const std::string w = e2e::waitWindow(lang->wizard);
    ASSERT_FALSE(w.empty());
    shot(w, code + "-1-welcome");
    e2e::key(w, "Return");
    shot(w, code + "-2-readme");
    click(w, 202, 377);
    e2e::key(w, "Return");
    shot(w, code + "-3-licence");
    click(w, 202, 377);
    e2e::key(w, "Return");
    shot(w, code + "-4-target");
    browseTo(w, *lang, prog);
    ASSERT_EQ(e2e::waitWindow(lang->wizard), w);
    shot(w, code + "-5-target-chosen");
    e2e::key(w, "Return");
    pause(100);
    shot(w, code + "-6-copying");
    ASSERT_TRUE(waitFor([&] { return installed(prog, kFiles); }));
    pause(1500);
    shot(w, code + "-7-finish");
    // The first run box unchecked: only the second option runs.
    click(w, 222, 191);
    e2e::key(w, "Return");
    EXPECT_EQ(wait(), 0);
    EXPECT_TRUE(waitFor([&] { return fs::exists(home + "/marker.txt"); }, 5000));
    pause(500);
    EXPECT_EQ(readFileBytes(home + "/marker.txt"), "run two\n");
    for (const auto& [rel, bytes] : kFiles) EXPECT_TRUE(readFileBytes(prog + "/" + rel) == bytes) << rel;
    EXPECT_EQ(record("demo", "lang"), std::to_string(lang == &kEnglish ? 0 : lang == &kRussian ? 1 : 3));
  }
}

INSTANTIATE_TEST_SUITE_P(AsRootAndNobody, InstallWizard, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "nobody" : "root"; });
