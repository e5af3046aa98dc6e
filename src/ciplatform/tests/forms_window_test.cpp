// Forms and message boxes in real windows: a second X connection on its own
// thread plays the user, finding each window by its caption and sending it
// keys, close requests and pointer moves through the server.
#include "window_fixtures.h"
// The fixtures bring gtest and Xlib in the order they need.
#include <atomic>
#include <string>
#include <thread>

#include "ciom/ciomlangs.h"
#include "ciom/customform.h"
#include "ciom/fontobject.h"
#include "ciom/hintmaster.h"
#include "ciom/messageform.h"
#include "ciom/tests/support/langtext.h"
#include "ciplatform/nswmaker.h"
#include "window_user.h"

using nstest::cPeer;

namespace {

// A form that ends with 11 on Enter and 12 on Escape, and can open a box
// over itself once it runs.
class cTestForm : public cCustomForm {
 public:
  bool* deleted = nullptr;
  bool refuseClose = false;
  const char* boxText = nullptr;
  bool endAfterBox = true;
  std::atomic<int> boxAnswer{-1};
  cChildElement tipped;

  ~cTestForm() override {
    if (deleted) *deleted = true;
  }
  void onConstruct() override {
    cCustomForm::onConstruct();
    clientArea()->attach(&tipped, 20, 20, 60, 20);
    tipped.setHint("tip");
  }
  bool onAfterConstruct() override {
    if (!boxText) return false;
    const bool yes = cMessageForm::confirmbox(this, boxText, nullptr);
    boxAnswer = yes;
    if (endAfterBox) end_modal(yes ? 21 : 22);
    return true;
  }
  bool onFormAccept() override {
    end_modal(11);
    return true;
  }
  bool onFormCancel() override {
    end_modal(12);
    return true;
  }
  bool onClose() override { return !refuseClose; }
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (sender == this && a->code == 100) {
      end_modal(5);
      return true;
    }
    return cCustomForm::onAction(sender, a);
  }
};

using sMaker = sToolkitMaker;

}  // namespace

TEST(FormWindows, AFormEndsWithItsCodeOrZeroOnTheCloseBox) {
  nstest::requireDisplay();
  sMaker m;
  const struct {
    const char* name;
    bool refuse;
    int expect;
  } cases[] = {
      {"return", false, 11}, {"escape", false, 12}, {"close", false, 0}, {"refused close", true, 11}};
  for (const auto& c : cases) {
    bool deleted = false;
    auto* form = new cTestForm;
    form->deleted = &deleted;
    form->refuseClose = c.refuse;
    const std::string caption = std::string("zvk-form-") + c.name;
    std::thread user([&] {
      cUser u;
      Window w = u.find(caption);
      const std::string n = c.name;
      if (n == "return") u.key(w, XK_Return);
      if (n == "escape") u.key(w, XK_Escape);
      if (n == "close") u.closeBox(w);
      if (n == "refused close") {
        u.closeBox(w);
        u.pause(300);
        EXPECT_TRUE(u.shown(caption));
        u.key(w, XK_Return);
      }
    });
    EXPECT_EQ(m.maker.modal(caption.c_str(), 300, 200, form, nullptr, false), c.expect) << c.name;
    user.join();
    EXPECT_TRUE(deleted) << c.name;
  }
}

TEST(FormWindows, AConfirmationOverAFormAnswersTheUser) {
  nstest::requireDisplay();
  sMaker m;
  const struct {
    const char* name;
    bool answer;
  } cases[] = {
      {"return", true}, {"escape", false}, {"close", false}, {"tab to no", false}, {"tab to yes", true}};
  for (const auto& c : cases) {
    bool deleted = false;
    auto* form = new cTestForm;
    form->deleted = &deleted;
    form->boxText = "Go on?\nThe second line.";
    std::thread user([&] {
      cUser u;
      Window w = u.findBox("Confirm");
      const std::string n = c.name;
      if (n == "return") u.key(w, XK_Return);
      if (n == "escape") u.key(w, XK_Escape);
      if (n == "close") u.closeBox(w);
      if (n == "tab to no" || n == "tab to yes") {
        u.key(w, XK_Tab);
        if (n == "tab to no") u.key(w, XK_Tab);
        u.key(w, XK_space);
      }
    });
    EXPECT_EQ(m.maker.modal("zvk-outer", 400, 300, form, nullptr, false), c.answer ? 21 : 22) << c.name;
    user.join();
    EXPECT_TRUE(deleted);
  }
}

TEST(FormWindows, AnEndPostedWhileABoxIsOpenWaitsForTheBox) {
  nstest::requireDisplay();
  sMaker m;
  bool deleted = false;
  auto* form = new cTestForm;
  form->deleted = &deleted;
  form->boxText = "Wait";
  form->endAfterBox = false;
  std::thread job([&] {
    cUser u;
    Window box = u.findBox("Confirm");
    form->postAction(new cChildElement::cChildAction(100));
    u.pause(300);
    EXPECT_TRUE(u.shown("Confirm"));
    EXPECT_EQ(form->boxAnswer.load(), -1);
    u.key(box, XK_Return);
  });
  EXPECT_EQ(m.maker.modal("zvk-outer-job", 400, 300, form, nullptr, false), 5);
  job.join();
  EXPECT_TRUE(deleted);
}

TEST(FormWindows, AHintIsAPopUpThatNeverTakesTheFocus) {
  nstest::requireDisplay();
  sMaker m;
  auto* form = new cTestForm;
  std::atomic<int> popupsSeen{0};
  std::atomic<int> popupsAfter{-1};
  sSize text;
  ASSERT_TRUE(
      cFontObject::get(5, 13, _glbalStdFont(), false, false, false)->getTextDim(nullptr, "tip", -1, text));
  std::thread user([&] {
    cUser u;
    Window w = u.find("zvk-hint");
    sRect at;
    form->childRect(&form->tipped, &at);
    const size_t before = u.popups().size();
    u.motion(w, at.x + 5, at.y + 5);
    Window hint = 0;
    for (int i = 0; i < 200 && !hint; ++i, u.pause(20)) {
      std::vector<Window> p = u.popups();
      if (p.size() > before) hint = p.back();
    }
    ASSERT_NE(hint, 0u);
    popupsSeen = static_cast<int>(u.popups().size() - before);
    XWindowAttributes a;
    XGetWindowAttributes(u.peer.d, hint, &a);
    EXPECT_EQ(a.width, text.cx + 8);
    EXPECT_EQ(a.height, text.cy + 4);
    int fx, fy, hx, hy;
    Window child;
    XTranslateCoordinates(u.peer.d, w, u.peer.root(), 0, 0, &fx, &fy, &child);
    XTranslateCoordinates(u.peer.d, hint, u.peer.root(), 0, 0, &hx, &hy, &child);
    EXPECT_EQ(hx, fx + at.x + 2);
    EXPECT_EQ(hy, fy + at.y + at.height + 2);
    Window focus;
    int revert;
    XGetInputFocus(u.peer.d, &focus, &revert);
    EXPECT_NE(focus, hint);
    u.motion(w, at.x + 6, at.y + 6);  // no second window
    u.pause(200);
    EXPECT_EQ(static_cast<int>(u.popups().size() - before), 1);
    u.motion(w, 250, 150);  // leaving takes it away
    for (int i = 0; i < 100 && u.popups().size() > before; ++i) u.pause(20);
    popupsAfter = static_cast<int>(u.popups().size() - before);
    u.key(w, XK_Escape);
  });
  EXPECT_EQ(m.maker.modal("zvk-hint", 300, 200, form, nullptr, false), 12);
  user.join();
  EXPECT_EQ(popupsSeen.load(), 1);
  EXPECT_EQ(popupsAfter.load(), 0);
}

TEST(FormWindows, AsyncWindowsAreTheMakersAndHintsAreNot) {
  nstest::requireDisplay();
  sMaker m;
  cWindowHolder* a = m.maker.asyncwnd("zvk-async-a", 100, 80, new cChildElement, nullptr, false, 10, 10);
  cWindowHolder* b = m.maker.asyncwnd("zvk-async-b", 100, 80, new cChildElement, nullptr, false, 20, 20);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(m.maker.windows.head, a);
  EXPECT_EQ(m.maker.windows.tail, b);
  EXPECT_EQ(m.maker.asyncwnd("none", 10, 10, nullptr, nullptr, false, 0, 0), nullptr);
  // A hint over one of them opens its own window, outside the list.
  auto* owner = static_cast<cNSWHolder*>(a);
  cHintMaster hint;
  cChildElement probe;
  probe.setWinTarget(owner->target(), 0, 0, 100, 80);
  ASSERT_TRUE(hint.show(&probe, "hint", nullptr, 0xFF000000, 0xFF000000));
  EXPECT_NE(hint.window(), nullptr);
  EXPECT_EQ(m.maker.windows.find(hint.window()), nullptr);
  hint.hide();
  probe.setWinTarget(nullptr, 0, 0, 0, 0);
  b->dispose(false);  // leaves the list by itself
  EXPECT_EQ(m.maker.windows.head, a);
  EXPECT_EQ(m.maker.windows.tail, a);
  m.maker.destroy(nullptr);
  EXPECT_EQ(m.maker.windows.head, nullptr);
}

TEST(FormWindows, MessageBoxesInEveryToolkitLanguage) {
  nstest::requireDisplay();
  sMaker m;
  for (int lang = 0; lang < kCIOMStdLangCount; ++lang) {
    cLibLang::applyLang(static_cast<eCIOMStdLangs>(lang));
    const std::string caption = sharedText("ciom::messages", 6);
    auto* form = new cTestForm;
    form->boxText = "A question for the user\nwith a second line";
    // The previous language's box may still be on the screen under the same
    // caption, so Escape goes to the topmost one until the run ends.
    std::atomic<bool> done{false};
    std::thread user([&] {
      cUser u;
      u.find(caption);
      for (int i = 0; i < 75 && !done; ++i, cUser::pause(200))
        if (Window w = captioned(u.peer, caption)) u.key(w, XK_Escape);
    });
    EXPECT_EQ(m.maker.modal("zvk-lang", 400, 300, form, nullptr, false), 22) << ciLangID(lang);
    done = true;
    user.join();
  }
  cLibLang::applyLang(eLangENG);
}

TEST(FormWindows, HostileBoxesAnswerWithoutHarm) {
  nstest::requireDisplay();
  sMaker m;
  std::string many;
  for (int i = 0; i < 5000; ++i) many += "line\n";
  const std::string wide(100000, 'w');
  const std::string broken = "\xff\xfe\xc3(\xe2\x82\nvalid\n\xf0\x9f\x98";
  for (const std::string* text : std::vector<const std::string*>{&many, &wide, &broken}) {
    auto* form = new cTestForm;
    form->boxText = text->c_str();
    std::atomic<bool> done{false};
    std::thread user([&] {
      cUser u;
      // A box too large for the screen may never appear, and the run then
      // ends by itself; one that does is dismissed, however late it comes.
      for (; !done; cUser::pause(20))
        if (u.shown("Confirm")) {
          cUser::pause(100);
          u.key(u.findBox("Confirm"), XK_Escape);
          break;
        }
    });
    EXPECT_EQ(m.maker.modal("zvk-hostile", 300, 200, form, nullptr, false), 22);
    done = true;
    user.join();
  }
}
