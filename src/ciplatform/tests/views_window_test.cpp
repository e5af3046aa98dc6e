// The list, tree, toolbar and progress form in real windows: a user on a
// second connection clicks a header to sort, checks a row with Space,
// opens a tree node by its sign, picks a button from the toolbar's overflow
// menu and stops a running job. Each step waits for the program to have
// heard the one before; screenshots go to build/.../screenshots/.
#include "window_user.h"
// The user header brings gtest and Xlib in the order they need.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ciom/customform.h"
#include "ciom/listview.h"
#include "ciom/progressform.h"
#include "ciom/themeuse.h"
#include "ciom/toolbar.h"
#include "ciom/treeview.h"

namespace {

constexpr int kF6 = 451;  // the key the forms answer by retitling themselves

std::string screenshotPath(const char* name) {
  const std::string dir = std::string(ZVK_BINARY_DIR) + "/screenshots";
  std::filesystem::create_directories(dir);
  return dir + "/" + name;
}

// A form that tells the user it has handled every event sent before F6 by
// taking the next title in its series.
template <class Base>
class cSyncingForm : public Base {
 public:
  std::string caption;
  int syncs = 0;
  bool processKey(int key, bool shift, bool mod2, bool mod3) override {
    if (key != kF6) return Base::processKey(key, shift, mod2, mod3);
    const std::string next = caption + " " + std::to_string(++syncs);
    this->setCaption(next.c_str(), -1);
    return true;
  }
};

struct sPoint2 {
  std::atomic<int> x{-1}, y{-1};
  void set(cChildElement* e, int dx, int dy) {
    sPoint at{0, 0};
    e->absPos(at);
    x = at.x + dx;
    y = at.y + dy;
  }
};

// What the views form knew when it was closed (it is deleted then).
struct sViewsSeen {
  std::vector<int> order;
  bool checked = false, opened = false;
  int selected = -1, firstHidden = -1;
  std::vector<std::pair<int, int>> heard;  // source * 100 + code, payload
};

class cViewsForm : public cSyncingForm<cCustomForm> {
 public:
  using cItem = cTreeViewChild::cTreeViewItem;
  cListViewChild list;
  cTreeViewChild tree;
  cToolBarChild bar;
  cItem* closed = nullptr;
  std::atomic<bool> ready{false};
  sPoint2 header, secondRow, expander, dropDown;
  sViewsSeen* seen = nullptr;
  std::mutex lock;
  std::vector<std::pair<int, int>> heard;

  size_t heardCount() {
    std::lock_guard<std::mutex> hold(lock);
    return heard.size();
  }
  void onConstruct() override {
    cCustomForm::onConstruct();
    cChildElement* area = clientArea();
    area->attach(&list, 10, 10, 300, 180);
    list.setColumn(1, "Package", 150, cCanvas::eAlignLeft);
    list.setColumn(2, "Version", 100, cCanvas::eAlignRight);
    list.setSortType(1, new cListViewChild::cListViewNameSortProvider);
    const char* names[] = {"zeta", "Alpha", "mu", "beta", "Omega"};
    for (int r = 0; r < 5; ++r) {
      list.setItem(r, 1, names[r], -1, nullptr);
      list.setItem(r, 2, ("1." + std::to_string(r)).c_str(), -1, nullptr);
    }
    list.setCheckMode(true);
    list.setFullLineSelect(true, false);

    area->attach(&tree, 320, 10, 220, 180);
    auto* open = new cItem("Applications", nullptr);
    tree.storeUnder(nullptr, open);
    tree.storeUnder(open, new cItem("Editors", nullptr));
    tree.storeUnder(open, new cItem("Games", nullptr));
    closed = new cItem("Libraries", nullptr);
    tree.storeUnder(nullptr, closed);
    tree.storeUnder(closed, new cItem("Graphics", nullptr));
    tree.storeUnder(closed, new cItem("Sound", nullptr));
    tree.storeUnder(nullptr, new cItem("Tools", nullptr));
    tree.expand(open, false);

    area->attach(&bar, 10, 200, 220, 24);
    bar.setSmallerSizeBehavior(cToolBarChild::ssbDropDown);
    for (int i = 0; i < 6; ++i) bar.setButton(i, ("Button " + std::to_string(i)).c_str(), -1);
  }
  bool onAfterConstruct() override {
    header.set(&list.header(), 20, list.header().height() / 2);
    int top = 0, bottom = 0;
    list.itemRange(list.nextBySort(list.firstBySort()), top, bottom);
    secondRow.set(&list, 60, 1 + (top + bottom) / 2);
    expander.set(closed->control, closed->control->width() / 2, closed->control->height() / 2);
    dropDown.set(&bar.dropDown(), bar.dropDown().width() / 2, bar.dropDown().height() / 2);
    const auto& o = bar.overflowItems();
    if (o.root) seen->firstHidden = o.leftmost(o.root)->key;
    ready = true;
    return false;
  }
  bool onClose() override {
    for (int r = list.firstBySort(); r >= 0; r = list.nextBySort(r)) seen->order.push_back(r);
    seen->checked = list.checked(4);
    seen->selected = list.selected();
    seen->opened = !closed->collapsed;
    std::lock_guard<std::mutex> hold(lock);
    seen->heard = heard;
    return true;
  }
  bool onAction(cChildElement* sender, cChildAction* a) override {
    int source = -1, value = -2;
    if (sender == &list && a->code >= cListViewChild::laActivate) {
      source = 1;
      if (auto* i = dynamic_cast<cListViewChild::cListViewItemAction*>(a)) value = i->value;
    } else if (sender == &tree && a->code == cTreeViewChild::tvToggled) {
      source = 2;
    } else if (auto* b = sender == &bar ? dynamic_cast<cToolBarChild::cTbButtonAction*>(a) : nullptr) {
      source = 3;
      value = b->id;
    }
    if (source < 0) return cCustomForm::onAction(sender, a);
    std::lock_guard<std::mutex> hold(lock);
    heard.push_back({source * 100 + a->code, value});
    return true;
  }
};

}  // namespace

TEST(ViewWindows, SortCheckExpandAndOverflowMenu) {
  nstest::requireDisplay();
  sToolkitMaker m;
  auto* form = new cViewsForm;
  form->caption = "zvk-views";
  bool menuShown = false, painted = false;
  // The first step that went unanswered, if any; the window is closed
  // whatever happened, so a lost event fails the test instead of hanging it.
  std::string lost;
  std::thread user([&] {
    cUser u;
    const Window w = u.find("zvk-views");
    size_t expected = 0;
    auto step = [&](const char* name, auto act) {
      if (!lost.empty()) return;
      act();
      if (u.waitFor([&] { return form->heardCount() > expected; }))
        expected = form->heardCount();
      else
        lost = name;
    };
    if (!u.waitFor([&] { return form->ready.load(); })) lost = "ready";
    step("header click", [&] { u.peer.click(form->header.x, form->header.y); });
    step("row click", [&] { u.peer.click(form->secondRow.x, form->secondRow.y); });
    step("space", [&] { u.key(w, XK_space); });
    step("expander click", [&] { u.peer.click(form->expander.x, form->expander.y); });
    Window menu = 0;
    if (lost.empty()) {
      u.peer.click(form->dropDown.x, form->dropDown.y);
      if (!u.waitFor([&] {
            const std::vector<Window> now = u.popups();
            menu = now.empty() ? 0 : now.back();
            return menu != 0;
          }))
        lost = "overflow menu";
    }
    if (menu) {
      XWindowAttributes a;
      XGetWindowAttributes(u.peer.d, menu, &a);
      // Drawn once its first item's text shows in the menu's text colour.
      const unsigned int ink = themeColor(4);
      menuShown = u.waitFor([&] {
        XImage* image =
            XGetImage(u.peer.d, menu, 0, 0, static_cast<unsigned>(a.width), 20, AllPlanes, ZPixmap);
        bool inked = false;
        for (int y = 0; image && y < 20 && !inked; ++y)
          for (int x = 0; x < a.width && !inked; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            inked = ((p & 0xFF) << 16 | (p & 0xFF00) | (p >> 16 & 0xFF)) == ink;
          }
        if (image) XDestroyImage(image);
        return inked;
      });
      XWindowAttributes f;
      XGetWindowAttributes(u.peer.d, w, &f);
      writeScreenPng(u.peer.d, u.peer.root(), f.x, f.y, std::max(f.width, a.x + a.width - f.x),
                     std::max(f.height, a.y + a.height - f.y), screenshotPath("views_overflow_menu.png"));
      step("menu item", [&] { u.peer.click(a.x + 10, a.y + 8); });
    }
    if (lost.empty()) {
      u.key(w, XK_F6);
      painted = u.waitCaption(w, "zvk-views 1") && u.screenshot(w, screenshotPath("views_form.png"));
    }
    if (!u.popups().empty()) u.peer.key(XK_Escape);
    u.closeBox(w);
  });
  sViewsSeen seen;
  form->seen = &seen;
  EXPECT_EQ(m.maker.modal("zvk-views", 560, 320, form, nullptr, false), 0);
  user.join();
  EXPECT_EQ(lost, "");
  EXPECT_EQ(seen.order, (std::vector<int>{1, 4, 3, 2, 0})) << "Alpha, Omega, beta, mu, zeta: bytes decide";
  EXPECT_TRUE(seen.checked);
  EXPECT_EQ(seen.selected, 4);
  EXPECT_TRUE(seen.opened);
  EXPECT_TRUE(menuShown);
  EXPECT_TRUE(painted);
  ASSERT_GE(seen.firstHidden, 0);
  const std::vector<std::pair<int, int>> expected = {
      {100 + cListViewChild::laSorted, 1},
      {100 + cListViewChild::laSelection, 4},
      {100 + cListViewChild::laCheck, 4},
      {200 + cTreeViewChild::tvToggled, -2},
      {300 + cToolBarChild::cTbButtonAction(0).code, seen.firstHidden}};
  EXPECT_EQ(seen.heard, expected);
}

namespace {

// A job at 40 % until the user presses Stop; it ends with 5.
class cRunningForm : public cSyncingForm<cStdBasicProgressForm> {
 public:
  std::atomic<int> shownTexts{0};
  sPoint2 stop;
  std::atomic<bool> stopPictured{false};
  ~cRunningForm() override { terminate(); }
  int job() override {
    while (!haveToStop()) {
      notifyProgress(40);
      sleep(10);
    }
    return 5;
  }
  bool onAfterConstruct() override {
    cButtonChild* b = buttons()->findButton(cProgressParts::idStop);
    stop.set(b, b->width() / 2, b->height() / 2);
    stopPictured = b->forDraw(cButtonChild::bsNormal) != nullptr;
    return false;
  }
  bool onAction(cChildElement* sender, cChildAction* a) override {
    const bool status = sender == this && dynamic_cast<cProgressParts::cStatusTextAction*>(a);
    const bool taken = cStdBasicProgressForm::onAction(sender, a);
    if (status) ++shownTexts;
    return taken;
  }
};

// Runs the progress form over itself and ends with its answer.
class cProgressHostForm : public cCustomForm {
 public:
  cRunningForm* running = nullptr;
  bool onAfterConstruct() override {
    end_modal(cStdBasicProgressForm::runUIJob(this, running, "zvk-progress"));
    return true;
  }
};

}  // namespace

TEST(ViewWindows, AProgressFormRunsUntilStop) {
  nstest::requireDisplay();
  sToolkitMaker m;
  auto* host = new cProgressHostForm;
  auto* running = new cRunningForm;
  running->caption = "zvk-progress";
  host->running = running;
  bool shown = false, painted = false, pictured = false;
  std::atomic<bool> ended{false};
  std::thread user([&] {
    cUser u;
    const Window w = u.find("zvk-progress");
    // The bar fades in and then moves to the reported 40 %.
    shown = u.waitFor(
        [&] { return running->shownTexts > 0 && running->stop.x >= 0 && running->bar().shownPos() == 400; });
    u.key(w, XK_F6);
    painted =
        shown && u.waitCaption(w, "zvk-progress 1") && u.screenshot(w, screenshotPath("views_progress.png"));
    pictured = running->stopPictured;
    const int x = running->stop.x, y = running->stop.y;
    // The form is gone once the run ends; a lost click is tried again.
    for (int i = 0; i < 15 && !ended; ++i) {
      u.peer.click(x, y);
      u.waitFor([&] { return ended.load(); }, std::chrono::seconds(1));
    }
  });
  EXPECT_EQ(m.maker.modal("zvk-progress-host", 640, 200, host, nullptr, false), 5);
  ended = true;
  user.join();
  EXPECT_TRUE(shown);
  EXPECT_TRUE(painted);
  EXPECT_TRUE(pictured) << "a window's root form dresses its Stop button too";
}
