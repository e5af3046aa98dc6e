// What the manager and the update form take from records, the server and
// downloaded archives: installed items, addresses it may open, unpacking.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "base/tests/scratch_dir.h"
#include "ciom/ciappconfig.h"
#include "install_support.h"
#include "support/runprog.h"
#include "tamsivarapp/installeditem.h"
#include "tamsivarapp/main.h"
#include "tamsivarapp/updatedownload.h"
#include "tamsivarapp/weblink.h"

namespace {

TEST(InstalledItem, RecordsBecomeItemsWithOptionsUpToTheFirstGapAndAnIcon) {
  ScratchDir dir;
  const std::string icon = dir.file("red.png");
  ASSERT_EQ(runWithEnv({"convert", "-size", "64x64", "xc:#FF0000", icon}).status, 0);
  writeFile(dir.file("broken.png"), "\x89PNG not really");
  cCIAppFullConfig cfg;
  cfg.newConfig(dir.file("cfg").c_str());
  ASSERT_TRUE(cfg.openConfig(dir.file("cfg").c_str()));
  cfg.setParamInt64("install/full/ver", 0x0001000200030000);
  cfg.setParamStr("install/full/name", "Full", -1);
  cfg.setParamStr("install/full/publisher", "https://p/", -1);
  cfg.setParamInt32("install/full/utime", 0);
  cfg.setParamStr("install/full/icon", icon.c_str(), -1);
  for (int i : {0, 2}) {
    cfg.setParamStr(("install/full/cplns" + std::to_string(i)).c_str(), "Label", -1);
    cfg.setParamStr(("install/full/cplcs" + std::to_string(i)).c_str(), "cmd", -1);
  }
  cfg.setParamInt64("install/bare/ver", 0x0002000000000000);
  cfg.setParamStr("install/bare/icon", dir.file("broken.png").c_str(), -1);
  cfg.setParamStr("install/bare/cplns0", "Label without command", -1);
  cfg.setParamStr("install/noversion/name", "Not listed", -1);

  const struct {
    const char* id;
    bool listed;
    const char* version;
    int options;
    bool ownIcon;
  } cases[] = {
      {"full", true, "1.2.3", 1, true},
      {"bare", true, "2.0", 0, false},
      {"noversion", false, "", 0, false},
      {"", false, "", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    sInstalledItem item;
    ASSERT_EQ(readInstalledItem(&cfg, c.id, item), c.listed);
    if (!c.listed) continue;
    EXPECT_STREQ(item.versionText.ptr, c.version);
    EXPECT_EQ(item.newest, kNoVersion);
    EXPECT_FALSE(item.hasUpdate());
    int options = 0;
    for (auto* o = item.runOptions.head; o; o = o->next) ++options;
    EXPECT_EQ(options, c.options);
    ASSERT_EQ(item.smallIcon.width(), 16);
    ASSERT_EQ(item.bigIcon.width(), 48);
    const unsigned int red = 0xFFFF0000u;
    EXPECT_EQ(item.smallIcon.raw()[0] == red && item.bigIcon.raw()[47] == red, c.ownIcon);
    if (!c.ownIcon) {
      EXPECT_EQ(std::memcmp(item.smallIcon.raw(), app_ico_small + 15 * 64, 64), 0);
    }
    item.newest = item.installed + 1;
    EXPECT_TRUE(item.hasUpdate());
  }
}

TEST(WebAddress, OnlyWebAddressesWithoutControlCharactersOpen) {
  const struct {
    const char* url;
    bool web;
  } cases[] = {
      {"http://example.org/", true},
      {"HTTPS://example.org/a b", true},
      {"https://", false},
      {"file:///etc/passwd", false},
      {"javascript:alert(1)", false},
      {"/usr/bin/xterm", false},
      {"http://x/\nrm", false},
      {"", false},
      {nullptr, false},
      {" http://example.org/", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isWebAddress(c.url), c.web) << (c.url ? c.url : "null");
}

TEST(UnpackUpdate, FindsTheBundleInAPrivateFolderAndRunsNoShell) {
  ScratchDir dir;
  const std::string src = dir.file("src");
  std::filesystem::create_directories(src + "/Docs");
  std::filesystem::create_directories(src + "/New.APP/Contents");
  writeFile(src + "/readme.app", "a file, not a bundle");
  const std::string hostile = dir.file("x$(touch$IFS'p').zip");
  ASSERT_EQ(runWithEnv({"zip", "-qr", hostile, "Docs", "New.APP", "readme.app"}, {}, src).status, 0);
  const std::string plain = dir.file("plain.zip");
  ASSERT_EQ(runWithEnv({"zip", "-qr", plain, "Docs"}, {}, src).status, 0);
  writeFile(dir.file("broken.zip"), "PK not a zip");

  const struct {
    std::string zip;
    bool found;
  } cases[] = {
      {hostile, true}, {plain, false}, {dir.file("broken.zip"), false}, {dir.file("none.zip"), false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.zip);
    _guardchar<char> installer;
    ASSERT_EQ(unpackUpdate(c.zip.c_str(), installer), c.found);
    if (!c.found) continue;
    const std::filesystem::path folder = std::filesystem::path(installer.ptr).parent_path();
    EXPECT_EQ(std::filesystem::path(installer.ptr).filename(), "New.APP");
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::filesystem::remove_all(folder);
  }
  EXPECT_FALSE(std::filesystem::exists("p"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("p")));
}

}  // namespace
