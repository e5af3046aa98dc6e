// How an installation through the wizard ends when the user or the machine
// does something else than the plain road: an upgrade, a package that
// supersedes another, targets the wizard refuses, a folder that turns
// read-only meanwhile, an abort, a kill.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "base/tests/private_mounts.h"
#include "e2e/instwiz_support.h"
#include "e2e/xuser.h"
#include "support/runprog.h"

namespace fs = std::filesystem;
using namespace wizard;

namespace {

const sPackage kDemo({{"bin/tool", "#!/bin/sh\necho 1\n"},
                      {"lib/a.bin", randomText(300000, 1)},
                      {"lib/b.bin", randomText(200000, 2)}});

// Long enough to copy that a user can act meanwhile under the sanitizers.
const sPackage kLarge(manyFiles(5000, 0));

ino_t inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class WizardOutcome : public cWizardTest {
 protected:
  // Closes the wizard with the close box, saying Yes to the question.
  int closeEarly(const std::string& w) {
    closeBox(w);
    EXPECT_TRUE(answerBox(w, "Confirm", "Return")) << "no question on closing";
    return wait(10000);
  }
};

TEST_P(WizardOutcome, UpgradeCopiesOnlyWhatChanged) {
  installFresh(kDemo);
  const std::string v1 = record("demo", "ver");
  const ino_t unchanged[] = {inode(apps() + "/bin/tool"), inode(apps() + "/lib/a.bin")};
  sPackage v2 = kDemo;
  v2.version = "1.1";
  v2.files[2].second = randomText(200000, 9);
  start(make(v2));
  // No key past the licence: an upgrade keeps its folder, so the
  // installation follows.
  window(v2);
  ASSERT_TRUE(waitFor([&] { return installed(apps(), v2.files); }));
  EXPECT_EQ(closeFinish(), 0);
  EXPECT_EQ(inode(apps() + "/bin/tool"), unchanged[0]);
  EXPECT_EQ(inode(apps() + "/lib/a.bin"), unchanged[1]);
  EXPECT_NE(record("demo", "ver"), v1);
}

// HOME as a user may spell it, with a "." step: the record names the
// folder and its files plainly, so the upgrade knows them for its own.
TEST_P(WizardOutcome, AHomeWithADotStepIsRecordedPlainlyAndUpgraded) {
  const std::string plain = apps();
  home += "/./";
  installFresh(kDemo);
  EXPECT_EQ(record("demo", "path"), plain);
  EXPECT_EQ(record("demo", "file0"), plain + "/bin/tool");
  sPackage v2 = kDemo;
  v2.version = "1.1";
  v2.files[2].second = randomText(200000, 9);
  start(make(v2));
  window(v2);
  ASSERT_TRUE(waitFor([&] { return installed(plain, v2.files); }));
  EXPECT_EQ(closeFinish(), 0);
}

// A file the previous version placed in a folder that a link to the user's
// own files has replaced since stays, is named on the finish page, and the
// status says that not everything went, as the uninstaller's does.
TEST_P(WizardOutcome, UpgradeKeepsADroppedFileALinkNowReaches) {
  // Long names beside the short one, and every run box the page holds, as
  // the page must show them all.
  const std::string deep = "Very long folder name with \u00dcn\u00efc\u00f6d\u00e9 and spaces/projects 2026/Mein Ordner/";
  // Long file names in a deep folder, and in a short one: each must still
  // say where it lies.
  const std::string longDeep = std::string(40, 'a') + "/" + std::string(45, 'b') + "/" + std::string(36, 'c') + "/deep/";
  std::vector<std::string> names;
  for (const std::string& folder : {std::string("Kp \u00dcn\u00ef t\u00ebst/data/"), longDeep})
    for (int i = 1; i <= 3; ++i) names.push_back(folder + "file_with_a_rather_long_name_number_" + std::to_string(i) + ".txt");
  for (int i = 0; i < 12; ++i) names.push_back(deep + "Gr\u00fc\u00dfe " + std::to_string(i) + ".txt");
  sPackage v1 = kDemo;
  v1.files.push_back({"old/notes.txt", "old notes"});
  for (const std::string& name : names) v1.files.push_back({"old/" + name, "old"});
  installFresh(v1);
  const std::string before = record("demo", "ver");
  const std::string mine = folder("mine");
  writeText(mine + "/notes.txt", "the user's notes");
  for (const std::string& name : names) writeText(mine + "/" + name, "mine");
  fs::remove_all(apps() + "/old");
  fs::create_directory_symlink(mine, apps() + "/old");
  sPackage v2 = kDemo;
  v2.version = "1.1";
  v2.more = "[Run]\n";
  for (int i = 1; i <= 7; ++i)
    v2.more += "\"Run option " + std::to_string(i) + "\" = $pgm \"bin/tool\", no, \"" + std::to_string(i) + "\"\n";
  start(make(v2));
  const std::string w = window(v2);
  ASSERT_TRUE(waitFor([&] { return record("demo", "ver") != before; }));
  shot(w, "en-8-finish-kept");
  EXPECT_EQ(closeFinish(), 1);
  EXPECT_EQ(readFileBytes(mine + "/notes.txt"), "the user's notes");
}

TEST_P(WizardOutcome, SupersededPackageIsRemovedFirstUnlessUnchecked) {
  sPackage alpha(tFiles{{"alpha.txt", "alpha\n"}});
  alpha.codename = "alpha";
  alpha.name = "Alpha";
  struct {
    const char* name;
    bool keep;
  } cases[] = {{"remove", false}, {"keep", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    installFresh(alpha);
    sPackage demo = kDemo;
    demo.version = c.keep ? "2.0" : "3.0";
    demo.more = "[Deprecates]\n\"alpha\" = *\n";
    start(make(demo));
    const std::string w = window(demo);
    shot(w, std::string("en-5-deprecated-") + c.name);
    if (c.keep) {
      click(w, 218, 91);  // the row's check box
      e2e::typeKey("Return");
      ASSERT_TRUE(answerBox(w, "Confirm", "Return")) << "no question about the unchecked package";
    } else {
      e2e::typeKey("Return");
      // The removal runs the package's uninstall in a window of its own.
      ASSERT_TRUE(answerBox(w, "Confirm", "Return")) << "no uninstall question";
      ASSERT_TRUE(answerBox(w, "Information", "Return")) << "no uninstall end";
    }
    ASSERT_EQ(e2e::waitWindow("Demo software installer"), w);
    ASSERT_TRUE(e2e::giveFocus(w));
    ASSERT_TRUE(waitPage(w, kTargetPage));
    e2e::typeKey("Return");
    ASSERT_TRUE(waitFor([&] { return installed(apps(), demo.files); }));
    EXPECT_EQ(closeFinish(), 0);
    EXPECT_EQ(fs::exists(apps() + "/alpha.txt"), c.keep);
    EXPECT_EQ(record("alpha", "ver").empty(), !c.keep);
    fs::remove_all(home);
    folder("home");
  }
}

// Each refusal keeps the step; closing then ends with 1 and nothing copied.
TEST_P(WizardOutcome, RefusedTargetsAndEarlyCloseCopyNothing) {
  const bool root = !nobody();
  struct {
    const char* name;
    bool run;
    std::function<void(const std::string& apps)> arrange;
    const char* shot;  // the refusal's box
  } cases[] = {
      {"welcome", true, nullptr, nullptr},
      {"foreign-file", true, [](const std::string& a) { writeText(a + "/lib/a.bin", "someone else's"); },
       "en-refused-foreign"},
      {"unwritable", !root,
       [](const std::string& a) {
         fs::create_directories(a);
         chmod(a.c_str(), 0755);
       },
       "en-refused-unwritable"},
  };
  photosAsNobody = true;
  for (const auto& c : cases) {
    if (!c.run) continue;
    SCOPED_TRACE(c.name);
    fs::remove_all(home);
    folder("home");
    if (c.arrange) c.arrange(apps());
    sPackage p = kDemo;
    if (!c.arrange) p.docs = true;
    start(make(p));
    const std::string w = window(p, c.arrange != nullptr);
    if (c.arrange) {
      e2e::typeKey("Return");
      ASSERT_TRUE(answerBox(w, "Error", "Return", c.shot)) << "no refusal";
      shot(w, std::string("en-refused-") + c.name + "-kept");
    }
    EXPECT_EQ(closeEarly(w), 1);
    EXPECT_FALSE(fs::exists(apps() + "/bin/tool"));
    EXPECT_EQ(record("demo", "ver"), "");
  }
}

TEST_P(WizardOutcome, TooSmallVolumeIsRefusedAtTheChoice) {
  if (nobody()) GTEST_SKIP() << "mounting takes root";
  const std::string small = folder("small");
  if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k,mode=0777") != 0) GTEST_SKIP() << kCannotMount;
  const std::unique_ptr<const char, void (*)(const char*)> unmount(small.c_str(),
                                                                    [](const char* at) { umount2(at, MNT_DETACH); });
  start(make(kDemo));
  const std::string w = window(kDemo);
  browseTo(w, kEnglish, small);
  EXPECT_TRUE(answerBox(w, "Error", "Return", "en-refused-small-volume")) << "no refusal";
  EXPECT_EQ(closeEarly(w), 1);
}

TEST_P(WizardOutcome, FolderTurnedReadOnlyWhileCopyingEndsInError) {
  // Run as another user, the Installer of the root case runs as that user.
  if (!nobody() && geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  photosAsNobody = true;
  const std::string late = folder("home/Applications/late");
  chmod(apps().c_str(), 0777);
  start(make(kLarge));
  const std::string w = window(kLarge);
  e2e::typeKey("Return");
  ASSERT_TRUE(waitFor([&] { return fs::exists(apps() + "/a/f0.tmp"); }));
  chmod(late.c_str(), 0555);
  ASSERT_TRUE(waitFor([&] { return !fs::exists(apps() + "/a/f0.tmp"); }));
  shot(w, "en-9-finish-error");
  EXPECT_EQ(closeFinish(), 1);
  EXPECT_FALSE(fs::exists(apps() + "/a/f0"));
  EXPECT_FALSE(anySideFile(apps()));
}

TEST_P(WizardOutcome, EscapeWhileCopyingAbortsAndCleansUp) {
  start(make(kLarge));
  // The loading form, while the package's many files are read.
  shot(e2e::waitWindow("Software manager"), "en-0-init-loading", 300);
  const std::string w = window(kLarge);
  e2e::typeKey("Return");
  ASSERT_TRUE(waitFor([&] { return fs::exists(apps() + "/a/f0.tmp"); }));
  ASSERT_TRUE(abortCopy(w, "Confirm"));
  ASSERT_TRUE(waitFor([&] { return !anySideFile(apps()); }));
  shot(w, "en-9-finish-aborted");
  EXPECT_EQ(closeFinish(), 1);
  EXPECT_FALSE(fs::exists(apps() + "/a/f0"));
  EXPECT_FALSE(anySideFile(apps()));
}

// Every target holds its old or its new bytes whenever the Installer is
// killed, and a later run finishes the upgrade. The moments are drawn along
// the copy (a side file appears) and the replacement (a target turns new).
TEST_P(WizardOutcome, KilledUpgradeLeavesOldOrNewBytesAndResumes) {
  constexpr size_t kCount = 600;
  sPackage v1(manyFiles(kCount, 0));
  installFresh(v1);
  const std::string installed1 = record("demo", "ver");
  sPackage v2(manyFiles(kCount, 1));
  v2.version = "1.1";
  const std::string installer = make(v2);
  std::mt19937 rng(28);
  int kills = 0;
  for (; kills < 10 && record("demo", "ver") == installed1; ++kills) {
    SCOPED_TRACE(kills);
    // A moment of the work left: a file not yet new gets its side copy,
    // or turns new.
    std::vector<size_t> left;
    for (size_t i = 0; i < kCount; ++i)
      if (readFileBytes(apps() + "/" + v2.files[i].first) != v2.files[i].second) left.push_back(i);
    if (left.empty()) break;
    // Replacing is so quick that a kill meant for one file lands hundreds
    // later: those moments are drawn among the first files left.
    const bool replaced = rng() % 4 == 0;
    const size_t k = left[rng() % (replaced ? left.size() / 20 + 1 : left.size())];
    const std::string f = apps() + "/" + v2.files[k].first;
    start(installer);
    acceptLicence(window(v2, false));
    for (int waited = 0; waited < 5000; ++waited) {
      if (replaced ? readFileBytes(f) == v2.files[k].second : fs::exists(f + ".tmp")) break;
      pause(1);
    }
    ::kill(running, SIGKILL);
    wait();
    for (size_t i = 0; i < v2.files.size(); ++i) {
      const std::string now = readFileBytes(apps() + "/" + v2.files[i].first);
      ASSERT_TRUE(now == v1.files[i].second || now == v2.files[i].second) << v2.files[i].first;
    }
  }
  EXPECT_GE(kills, 5);
  if (record("demo", "ver") == installed1) {
    start(installer);
    window(v2);
    ASSERT_TRUE(waitFor([&] { return installed(apps(), v2.files); }));
    EXPECT_EQ(closeFinish(), 0);
  }
  EXPECT_TRUE(installed(apps(), v2.files));
  EXPECT_NE(record("demo", "ver"), installed1);
}

INSTANTIATE_TEST_SUITE_P(AsRootAndNobody, WizardOutcome, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "nobody" : "root"; });

}  // namespace
