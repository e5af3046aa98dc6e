// A form's keys and clicks on the test platform: Enter and Escape reach the
// form first, Tab goes round its controls, and buttons and check boxes
// click only as a user means them to.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ciom/button.h"
#include "ciom/checkbox.h"
#include "ciom/customform.h"
#include "ciom/formtoolbars.h"
#include "ciom/pictureslist.h"
#include "ciom/themeuse.h"
#include "support/formplatform.h"

namespace {

constexpr int kEnter = cChildElement::kcEnter, kEscape = cChildElement::kcEscape, kTab = cChildElement::kcTab,
              kSpace = cChildElement::kcSpace;

class cKeyForm : public cCustomForm {
 public:
  cButtonChild a, b;
  cCheckBoxChild check;
  bool acceptAnswer = false;
  int accepts = 0, cancels = 0, afterConstructs = 0;
  std::vector<std::string> clicks;

  void onConstruct() override {
    cCustomForm::onConstruct();
    clientArea()->attach(&a, 10, 10, 60, 20);
    clientArea()->attach(&b, 80, 10, 60, 20);
    clientArea()->attach(&check, 10, 40, 100, 20);
    a.setText("A");
    b.setText("B");
  }
  bool onAfterConstruct() override { return ++afterConstructs > 0; }
  bool onFormAccept() override {
    ++accepts;
    return acceptAnswer;
  }
  bool onFormCancel() override {
    ++cancels;
    return false;
  }
  bool onAction(cChildElement* sender, cChildAction* act) override {
    if (act->code == acDefault) clicks.push_back(sender == &a ? "A" : sender == &b ? "B" : "check");
    return cCustomForm::onAction(sender, act);
  }
  std::string focusName() {
    cChildElement* f = getFocused();
    return f == &a ? "A" : f == &b ? "B" : f == &check ? "check" : "none";
  }
};

struct sFormWindow {
  cFormTestTarget window;
  cKeyForm form;
  sFormWindow() { window.bind(&form, 300, 200); }
  // The panel starts at the side width and the top band.
  int px(int x) { return x + themeDim(1); }
  int py(int y) { return y + form.topMargin(); }
};

}  // namespace

TEST(FormKeys, TabAndShiftTabGoRoundTheButtonsAndTheCheckBox) {
  sFormWindow w;
  EXPECT_EQ(w.form.afterConstructs, 1);
  const struct {
    bool shift;
    const char* focused;
  } steps[] = {{false, "A"}, {false, "B"}, {false, "check"}, {false, "A"}, {true, "check"}, {true, "B"}};
  for (const auto& s : steps) {
    w.window.key(kTab, s.shift);
    EXPECT_EQ(w.form.focusName(), s.focused);
  }
}

TEST(FormKeys, EnterAndEscapeReachTheFormFirst) {
  const struct {
    const char* name;
    int key;
    bool shift, acceptAnswer;
    int accepts, cancels;
    std::vector<std::string> clicks;
  } cases[] = {
      {"space clicks once", kSpace, false, false, 0, 0, {"A"}},
      {"enter the form declines clicks once", kEnter, false, false, 1, 0, {"A"}},
      {"enter the form takes", kEnter, false, true, 1, 0, {}},
      {"shift+enter never accepts", kEnter, true, true, 0, 0, {"A"}},
      {"escape the form declines goes on", kEscape, false, false, 0, 1, {}},
  };
  for (const auto& c : cases) {
    sFormWindow w;
    w.form.acceptAnswer = c.acceptAnswer;
    w.window.key(kTab);  // focus A
    w.window.key(c.key, c.shift);
    EXPECT_EQ(w.form.accepts, c.accepts) << c.name;
    EXPECT_EQ(w.form.cancels, c.cancels) << c.name;
    EXPECT_EQ(w.form.clicks, c.clicks) << c.name;
  }
}

TEST(FormKeys, SpaceTogglesTheCheckBoxAndEnterDoesNot) {
  sFormWindow w;
  for (int i = 0; i < 3; ++i) w.window.key(kTab);
  ASSERT_EQ(w.form.focusName(), "check");
  w.window.key(kEnter);
  EXPECT_FALSE(w.form.check.checked());
  w.window.key(kSpace);
  EXPECT_TRUE(w.form.check.checked());
  EXPECT_EQ(w.form.clicks, std::vector<std::string>{"check"});
  // Setting what it already is does nothing.
  w.form.check.setChecked(true, true);
  w.window.drain();
  EXPECT_EQ(w.form.clicks.size(), 1u);
}

TEST(FormKeys, OnlyAPressAndReleaseInsideAnEnabledButtonClicks) {
  sFormWindow w;
  w.window.press(w.px(20), w.py(15), true);
  EXPECT_TRUE(w.form.a.pressed());
  EXPECT_EQ(w.form.a.state(), cButtonChild::bsPressed);
  w.window.press(w.px(200), w.py(100), false);
  EXPECT_FALSE(w.form.a.pressed());
  EXPECT_TRUE(w.form.clicks.empty());

  w.form.b.disable(true);
  EXPECT_EQ(w.form.b.state(), cButtonChild::bsDisabled);
  w.window.click(w.px(90), w.py(15));
  w.form.b.onKey(kSpace, false, false, false);
  w.window.drain();
  EXPECT_TRUE(w.form.clicks.empty());

  w.window.click(w.px(20), w.py(15));
  EXPECT_EQ(w.form.clicks, std::vector<std::string>{"A"});
}

TEST(FormKeys, MarginsStayInTheThemesRangeAndMoveThePanel) {
  sFormWindow w;
  const int most = themeDim(0, cCITheme::eMaximum), least = themeDim(0, cCITheme::eMinimum);
  sRect r;
  EXPECT_TRUE(w.form.setTopMargin(most + 50));
  EXPECT_EQ(w.form.topMargin(), most);
  w.form.childRect(w.form.clientArea(), &r);
  EXPECT_EQ(r.y, most);
  EXPECT_EQ(r.height, 200 - most - w.form.bottomMargin());
  EXPECT_TRUE(w.form.setTopMargin(least - 50));
  EXPECT_EQ(w.form.topMargin(), least);
  const int bottomMost = themeDim(2, cCITheme::eMaximum);
  EXPECT_TRUE(w.form.setBottomMargin(bottomMost + 1));
  w.form.childRect(w.form.clientArea(), &r);
  EXPECT_EQ(r.y + r.height, 200 - bottomMost);
}

namespace {

// A form with the accept and cancel buttons of the dialogs, ending its
// window on each only when told to.
class cEndingForm : public cCustomForm {
 public:
  cToolBarChild bar;
  cPicturesList pictures;
  bool accepting = false, cancelling = false;

  void onConstruct() override {
    cCustomForm::onConstruct();
    attachControlButtons(*this, bar, &pictures, 1, "OK", 0, 2, "Cancel", 1);
  }
  bool acceptEnds() override { return accepting; }
  bool cancelEnds() override { return cancelling; }
  bool onFormAccept() override { return accepting && end(1); }
  bool onFormCancel() override { return cancelling && end(0); }
  bool end(int code) {
    end_modal(code);
    return true;
  }
  // A button's middle in the window.
  sPoint middle(int id) {
    cButtonChild* b = bar.findButton(id);
    sPoint at, corner;
    b->absPos(at);
    absPos(corner);
    return {at.x - corner.x + b->width() / 2, at.y - corner.y + b->height() / 2};
  }
};

}  // namespace

// A wait asks the form whether queued input ends it: the answer is what
// handling the input then does, for the keys and the buttons alike.
TEST(FormKeys, AWaitEndsOnWhatTheFormsAcceptAndCancelEnd) {
  const struct {
    const char* name;
    int key;  // 0: a click, pressed on `press` and released on `release`
    bool shift;
    int press, release;  // a button's id, 0 nowhere on one
    bool accepting, cancelling;
    bool ends;
  } cases[] = {
      {"escape", kEscape, false, 0, 0, false, true, true},
      {"escape, the cancel declining", kEscape, false, 0, 0, false, false, false},
      {"shift+escape", kEscape, true, 0, 0, true, true, false},
      {"enter", kEnter, false, 0, 0, true, false, true},
      {"enter, the accept declining", kEnter, false, 0, 0, false, true, false},
      {"cancel", 0, false, 2, 2, false, true, true},
      {"cancel, declining", 0, false, 2, 2, true, false, false},
      {"accept", 0, false, 1, 1, true, false, true},
      {"accept, declining", 0, false, 1, 1, false, true, false},
      {"cancel pressed, released on accept", 0, false, 2, 1, true, true, false},
      {"pressed beside, released on cancel", 0, false, 0, 2, true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cFormTestTarget window;
    cEndingForm form;
    window.bind(&form, 300, 200);
    form.accepting = c.accepting;
    form.cancelling = c.cancelling;
    const sPoint beside{5, 5}, press = c.press ? form.middle(c.press) : beside,
                 release = c.release ? form.middle(c.release) : beside;
    EXPECT_EQ(c.key ? form.endsOnKey(c.key, c.shift, false, false)
                    : form.endsOnClick(press.x, press.y, release.x, release.y),
              c.ends);
    if (c.key) {
      window.key(c.key, c.shift);
    } else {
      window.press(press.x, press.y, true);
      window.press(release.x, release.y, false);
    }
    EXPECT_EQ(window.ended(), c.ends);
  }
}
