// The combo box on the test platform: stepping through sparse indices, the
// list opened by keys and clicks under the field, and what a choice or a
// dismissal tells the parent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ciom/combobox.h"
#include "support/formplatform.h"

namespace {

class cHeardRoot : public cChildElement {
 public:
  std::vector<int> heard;
  cChildElement* from = nullptr;
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (sender == from) heard.push_back(a->code);
    return cChildElement::onAction(sender, a);
  }
};

struct sCombo {
  cFormTestTarget window;
  cHeardRoot root;
  cComboBoxChild combo;
  sCombo() {
    cFormTestTarget::reset();
    window.bind(&root, 400, 300);
    root.from = &combo;
    root.attach(&combo, 10, 20, 150, 24);
    combo.setItem(2, "two", nullptr, -1);
    combo.setItem(5, "five", &combo, -1);
    combo.setItem(9, "nine", nullptr, -1);
  }
  ~sCombo() { root.dettach(&combo); }
  std::vector<int> heard() {
    window.settle();
    auto h = root.heard;
    root.heard.clear();
    return h;
  }
};

}  // namespace

TEST(Combo, KeysStepThroughSparseIndicesAndOpenTheList) {
  constexpr int U = cChildElement::kcUp, D = cChildElement::kcDown, F4 = cChildElement::kcF4;
  struct {
    const char* name;
    int start, key;
    bool shift, ctrl, alt;
    int selected;
    bool notified, opened;
  } cases[] = {
      {"down without a selection", -1, D, false, false, false, -1, false, false},
      {"down", 5, D, false, false, false, 9, true, false},
      {"up", 5, U, false, false, false, 2, true, false},
      {"up at the first", 2, U, false, false, false, 2, false, false},
      {"down at the last", 9, D, false, false, false, 9, false, false},
      {"alt down opens", 5, D, false, false, true, 5, false, true},
      {"f4 opens", 5, F4, false, false, false, 5, false, true},
      {"shift down passes", 5, D, true, false, false, 5, false, false},
      {"alt up passes", 5, U, false, false, true, 5, false, false},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sCombo c;
    c.combo.select(k.start, false);
    c.combo.processKey(k.key, k.shift, k.ctrl, k.alt);
    EXPECT_EQ(c.combo.selected(), k.selected);
    EXPECT_EQ(c.heard(), k.notified ? std::vector<int>{cChildElement::acChange} : std::vector<int>{});
    ASSERT_EQ(cFormTestTarget::runs.size(), k.opened ? 1u : 0u);
    if (k.opened) {
      // Under the field: the window at 100, 50, the field at 10, 20, 24 high.
      EXPECT_EQ(cFormTestTarget::runs[0].x, 110);
      EXPECT_EQ(cFormTestTarget::runs[0].y, 94);
      EXPECT_EQ(cFormTestTarget::runs[0].w, 150);
    }
  }
}

TEST(Combo, ItemsRemovalAndTexts) {
  sCombo c;
  EXPECT_FALSE(c.combo.setItem(-1, "x", nullptr, -1));
  EXPECT_FALSE(c.combo.select(4, true));
  c.combo.select(5, false);
  EXPECT_STREQ(c.combo.text(), "five");
  EXPECT_EQ(c.combo.association(5), &c.combo);
  c.combo.setItem(5, "FIVE", nullptr, -1);
  EXPECT_STREQ(c.combo.text(), "FIVE") << "the selected item's new text shows at once";
  EXPECT_TRUE(c.combo.remove(5));
  EXPECT_FALSE(c.combo.remove(5));
  EXPECT_EQ(c.combo.selected(), 5);
  EXPECT_STREQ(c.combo.text(), "FIVE");
  EXPECT_EQ(c.combo.text(5), nullptr);
  c.heard();
  c.combo.processKey(cChildElement::kcDown, false, false, false);
  EXPECT_EQ(c.combo.selected(), -1);
  EXPECT_EQ(c.heard(), std::vector<int>{cChildElement::acChange});
  c.combo.clear();
  EXPECT_EQ(c.combo.text(2), nullptr);
  EXPECT_STREQ(c.combo.text(), "");
}

TEST(Combo, ChoosingSelectsAndTellsDismissingChangesNothing) {
  struct {
    const char* name;
    cFormTestTarget::tScript script;
    int selected;
    bool notified;
  } cases[] = {
      {"first item", [](cFormTestTarget& w) { w.click(5, 5); }, 2, true},
      {"escape", [](cFormTestTarget& w) { w.key(cChildElement::kcEscape); }, 9, false},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sCombo c;
    c.combo.select(9, false);
    cFormTestTarget::scripts.push_back(k.script);
    c.combo.processKey(cChildElement::kcF4, false, false, false);
    EXPECT_EQ(c.combo.selected(), k.selected);
    EXPECT_EQ(c.heard(), k.notified ? std::vector<int>{cChildElement::acChange} : std::vector<int>{});
  }
}

TEST(Combo, AChoiceOnlyFieldOpensOnAClickInsideIt) {
  struct {
    int releaseX;
    bool opened;
  } cases[] = {{40, true}, {400, false}, {-3, false}};
  for (const auto& k : cases) {
    sCombo c;
    c.combo.allowEdit(false);
    EXPECT_TRUE(c.combo.edit().readonly());
    c.combo.processMouseBtn(40, 5, cChildElement::mbLeft, true, false, false);
    c.combo.processMouseBtn(k.releaseX, 5, cChildElement::mbLeft, false, false, false);
    EXPECT_EQ(cFormTestTarget::runs.size(), k.opened ? 1u : 0u) << k.releaseX;
  }
}
