// The path bar element on the test platform: the buttons a path gives, the
// history its edit field offers, a navigation refused while the provider is
// busy, edit mode through a focus loss, and the end of a navigation passed
// on to the parents.
#include "ciom/navigationchild.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "ciom/theme.h"
#include "support/testplatform.h"

namespace {

// Holds its navigation until released, so a second one meets a busy job.
class cHeldProvider : public cNavigationProvider {
 public:
  std::atomic<bool> release{false};
  ~cHeldProvider() override {
    release = true;
    terminate();
  }
  bool canAcceptPath(const char* path) override { return path && *path != '!'; }
  int navigationProc(const char*) override {
    while (!release) cJob::sleep(2);
    return 0;
  }
};

// Keeps the paths the bar announces.
class cHost : public cChildElement {
 public:
  std::vector<std::string> announced;
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (auto* set = dynamic_cast<cNavigationChild::cNaviSetPathAction*>(a)) {
      announced.push_back(set->path.ptr ? set->path.ptr : "(end)");
      return true;
    }
    return cChildElement::onAction(sender, a);
  }
};

struct sBar {
  cTestRequestTarget window;
  cHost host;
  cNavigationChild bar;
  cChildElement other;
  sBar() {
    window.bind(&host, 600, 100);
    host.attach(&bar, 0, 0, 500, 22);
    host.attach(&other, 0, 40, 50, 20);
    other.setAcceptFocus(true);
  }
  ~sBar() {
    host.dettach(&bar);
    host.dettach(&other);
  }
  void settle() {
    while (window.drain()) {
    }
  }
  std::vector<std::string> buttons() {
    std::vector<std::string> out;
    for (int id = 0; id < 10; ++id)
      if (cButtonChild* b = bar.tools().findButton(id)) out.push_back(b->text() ? b->text() : "");
    return out;
  }
};

TEST(NavigationChild, ButtonsOfAPath) {
  using v = std::vector<std::string>;
  const struct {
    const char* path;
    bool rootSlash;
    v buttons;
  } cases[] = {
      {"/Users/ann", true, {"", "/", "Users", "ann"}},
      {"a//b/", true, {"", "a", "b"}},
      {"/", true, {"", "/"}},
      {"/", false, {""}},
      {"", true, {""}},
      {nullptr, true, {}},
  };
  sBar s;
  for (const auto& c : cases) {
    s.bar.setShowRootSlash(c.rootSlash);
    s.bar.setPath(c.path);
    EXPECT_EQ(s.buttons(), c.buttons) << (c.path ? c.path : "(null)");
  }
}

TEST(NavigationChild, HistoryEditModeAndTheEndOfANavigation) {
  sBar s;
  for (const char* p : {"A", "B", "A"}) s.bar.setPath(p);
  s.bar.goEditMode();
  EXPECT_EQ(s.bar.naviMode(), cNavigationChild::nmEdit);
  EXPECT_STREQ(s.bar.combo().text(0), "A");
  EXPECT_STREQ(s.bar.combo().text(1), "B");
  EXPECT_FALSE(s.bar.combo().text(2));
  s.other.focus();
  s.settle();
  EXPECT_EQ(s.bar.naviMode(), cNavigationChild::nmEdit);

  // Without a provider the parents hear the path, then the end.
  EXPECT_TRUE(s.bar.navigate("/tmp"));
  EXPECT_EQ(s.bar.naviMode(), cNavigationChild::nmProgress);
  s.bar.postNavigationDone(0);
  s.settle();
  EXPECT_EQ(s.host.announced, (std::vector<std::string>{"/tmp", "(end)"}));
  s.bar.postAction(new cChildElement::cChildAction(cNavigationChild::naNormal));
  s.settle();
  EXPECT_EQ(s.bar.naviMode(), cNavigationChild::nmNormal);
}

TEST(NavigationChild, ABusyOrRefusingProviderChangesNothing) {
  sBar s;
  cHeldProvider provider;
  s.bar.setNavigationProvider(&provider);
  EXPECT_FALSE(s.bar.navigate("!refused"));
  EXPECT_EQ(s.bar.naviMode(), cNavigationChild::nmNormal);
  EXPECT_FALSE(s.bar.path());
  EXPECT_TRUE(s.bar.navigate("/first"));
  EXPECT_FALSE(s.bar.navigate("/second"));
  EXPECT_STREQ(s.bar.path(), "/first");
  EXPECT_EQ(s.bar.naviMode(), cNavigationChild::nmProgress);
  provider.release = true;
  for (int i = 0; i < 2500 && s.host.announced.empty(); ++i) {
    s.window.waitForNote(2);
    s.settle();
  }
  EXPECT_EQ(s.host.announced, (std::vector<std::string>{"(end)"}));
}

}  // namespace

TEST(NavigationChild, ItsSharedPicturesOutliveATheme) {
  { sBar s; }
  cPicture* folder = cNavigationChild::myToolsPicts.image(0);
  ASSERT_TRUE(folder);
  const int w = folder->width();
  cCITheme::setTheme(&gCI_Flat_Theme);
  EXPECT_EQ(cNavigationChild::myToolsPicts.image(0)->width(), w);  // read after the old theme went
  cCITheme::setTheme(&gCI_Default_Theme);
}
