// The property sheet, its description pane and the two combined, on the
// test platform's fixed-metric fonts: each value kind's control, row and
// actions, the layout edge cases, Up and Down across sections, and the
// heights the pane reports.
#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <vector>

#include "ciom/linkelement.h"
#include "ciom/propsheetex.h"
#include "ciom/themeuse.h"
#include "support/fixedcanvas.h"
#include "support/formplatform.h"

namespace {

using cSheet = cPropSheetChild;
// One line of text, at the toolkit's line spacing of 1.2.
constexpr int kLH = cFixedMetricCanvas::kLineHeight * 12 / 10;

// Keeps what the sheet and the pane tell their parent.
class cHost : public cChildElement {
 public:
  std::vector<std::vector<int>> sheetActions;
  std::vector<int> heights;
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (auto* s = dynamic_cast<cSheet::cPropSheetAction*>(a)) {
      sheetActions.push_back({s->code, s->section, s->property});
      return true;
    }
    if (auto* r = dynamic_cast<cPropDispAreaChild::cPropDispResizeAction*>(a)) {
      heights.push_back(r->height);
      return true;
    }
    return cChildElement::onAction(sender, a);
  }
};

struct sSheet {
  cFormTestTarget window;
  cHost host;
  cSheet sheet;
  sSheet() {
    cFormTestTarget::reset();
    cFormTestTarget::useLanguage(eLangENG);
    window.bind(&host, 600, 800);
    host.attach(&sheet, 0, 0, 400, 700);
  }
  ~sSheet() {
    host.dettach(&sheet);
    cFormTestTarget::reset();
  }
  void settle() { window.settle(); }
  int splitHeight(int s) { return sheet.sectionSplit(s)->height(); }
};

TEST(PropSheet, EachKindItsControlRowAndActions) {
  const struct {
    cSheet::ePropTypes type;
    const std::type_info& control;
    int row;
    bool button, edit;
    int valueId;
    unsigned long long intValue;
  } kinds[] = {
      {cSheet::ptText, typeid(cStaticElement), kLH + 4, false, false, -1, 0},
      {cSheet::ptTextButton, typeid(cStaticElement), kLH + 4, true, false, -1, 0},
      {cSheet::ptLink, typeid(cLinkElement), kLH + 4, false, false, -1, 0},
      {cSheet::ptEdit, typeid(cEditChild), 18, false, true, -1, 42},
      {cSheet::ptReadOnlyEditButton, typeid(cEditChild), 18, true, true, -1, 42},
      {cSheet::ptReadOnlyEdit, typeid(cEditChild), 18, false, true, -1, 42},
      {cSheet::ptList, typeid(cComboBoxChild), 19, false, true, -1, 42},
  };
  sSheet s;
  for (const auto& k : kinds) {
    const int id = k.type + 1;
    ASSERT_TRUE(s.sheet.setSection(id, "Section"));
    ASSERT_TRUE(s.sheet.setProperty(id, 1, "Name", "About it", "42", k.type));
    cChildElement* control = s.sheet.valueControl(id, 1);
    ASSERT_TRUE(control);
    EXPECT_EQ(typeid(*control), k.control) << k.type;
    EXPECT_EQ(s.splitHeight(id), k.row + 1) << k.type;
    EXPECT_EQ(s.sheet.actionButton(id, 1) != nullptr, k.button) << k.type;
    EXPECT_EQ(s.sheet.editControl(id, 1) != nullptr, k.edit) << k.type;
    EXPECT_EQ(s.sheet.value_id(id, 1), k.valueId) << k.type;
    EXPECT_EQ(s.sheet.int_value(id, 1), k.intValue) << k.type;
  }
  // What each child does, as the sheet reports it.
  const int name = cChildElement::acChange, click = cChildElement::acDefault;
  s.sheet.selectCapt(1, 1, true);
  s.settle();
  s.window.key(cChildElement::kcEnter);
  s.sheet.valueControl(1, 1)->notifyAction(new cChildElement::cChildAction(click));  // a text: nothing
  s.sheet.actionButton(2, 1)->notifyAction(new cChildElement::cChildAction(click));
  s.sheet.valueControl(3, 1)->notifyAction(new cChildElement::cChildAction(click));
  s.sheet.valueControl(4, 1)->notifyAction(
      new cChildElement::cChildAction(name));  // an edit's Enter: nothing
  ASSERT_TRUE(s.sheet.setPropertyVal(7, 1, 3, nullptr, "three", false));
  EXPECT_TRUE(s.sheet.select(7, 1, 3));
  EXPECT_EQ(s.sheet.value_id(7, 1), 3);
  s.sheet.valueControl(7, 1)->notifyAction(new cChildElement::cChildAction(name));
  s.settle();
  EXPECT_EQ(s.host.sheetActions,
            (std::vector<std::vector<int>>{{6, 1, 1}, {9, 1, 1}, {7, 2, 1}, {8, 3, 1}, {10, 7, 1}}));
}

TEST(PropSheet, EdgeCasesCollapseAndUpDown) {
  sSheet s;
  for (int sect : {1, 2, 3}) s.sheet.setSection(sect, "S");
  s.sheet.setProperty(1, 1, "a", "", "x", cSheet::ptText);
  s.sheet.setProperty(1, 2, "b", "", "x", cSheet::ptText);
  s.sheet.setProperty(3, 5, "c", "", "x", cSheet::ptText);
  EXPECT_FALSE(s.sheet.setProperty(1, 1, "again", "", "y", cSheet::ptEdit));
  EXPECT_STREQ(s.sheet.propName(1, 1), "a");
  EXPECT_FALSE(s.sheet.setProperty(1, 9, "bad", "", "", static_cast<cSheet::ePropTypes>(-1)));
  EXPECT_FALSE(s.sheet.setProperty(1, 9, "bad", "", "", static_cast<cSheet::ePropTypes>(7)));
  EXPECT_FALSE(s.sheet.setProperty(4, 1, "no section", "", "", cSheet::ptText));
  EXPECT_EQ(s.sheet.int_value(1, 9), ~0ULL);
  EXPECT_EQ(s.sheet.value_id(1, 9), 0);
  EXPECT_FALSE(s.sheet.setSection(5, nullptr));

  // Collapsing leaves a section as high as its header; Up and Down still
  // reach its hidden property, and stop at the ends.
  const int header = themeDim(24), row = kLH + 4 + 1;
  EXPECT_EQ(s.sheet.minVisualHeight(), 3 * header + 3 * row);
  s.sheet.sectionSplit(3)->parent()->notifyAction(new cChildElement::cChildAction(cChildElement::acChange));
  s.settle();
  EXPECT_EQ(s.sheet.minVisualHeight(), 3 * header + 2 * row);
  s.sheet.showSections(false);
  EXPECT_EQ(s.sheet.minVisualHeight(), 2 * row);
  s.sheet.showSections(true);
  const struct {
    int fromSect, fromProp, key, toSect, toProp;
  } keys[] = {{1, 2, cChildElement::kcDown, 3, 5},
              {3, 5, cChildElement::kcUp, 1, 2},
              {3, 5, cChildElement::kcDown, 3, 5},
              {1, 1, cChildElement::kcUp, 1, 1},
              {1, 1, cChildElement::kcDown, 1, 2}};
  for (const auto& k : keys) {
    s.sheet.selectCapt(k.fromSect, k.fromProp, true);
    s.settle();
    s.window.key(k.key);
    ASSERT_FALSE(s.host.sheetActions.empty());
    EXPECT_EQ(s.host.sheetActions.back(), (std::vector<int>{6, k.toSect, k.toProp}))
        << k.fromProp << " " << k.key;
  }
}

TEST(PropDispArea, SetTextLengthsAndReportedHeights) {
  const struct {
    const char* title;
    int titleLen;
    const char* text;
    int textLen;
    const char* wantTitle;
    const char* wantText;
    int height;
  } cases[] = {
      {nullptr, -1, nullptr, -1, nullptr, "", 10},
      {"Title", -1, "", 0, "Title", "", kLH + 10},
      {"Title", 0, "abc", 2, "", "ab", 10 + kLH},
      {"Ti", 50, "short", 99, "Ti", "short", kLH + 10 + kLH},
  };
  sSheet s;
  cPropDispAreaChild pane;
  s.host.attach(&pane, 0, 0, 300, 200);
  for (const auto& c : cases) {
    pane.setText(c.title, c.titleLen, c.text, c.textLen);
    EXPECT_STREQ(pane.title(), c.wantTitle);
    EXPECT_STREQ(pane.text(), c.wantText);
    cFixedMetricCanvas canvas(300, 200);
    s.host.heights.clear();
    pane.onPaintArea(&canvas);
    s.settle();
    EXPECT_EQ(s.host.heights, std::vector<int>{c.height}) << (c.text ? c.text : "(null)");
  }
  s.host.dettach(&pane);
}

TEST(PropDispArea, TheCombinedSheetShowsTheSelectedProperty) {
  sSheet s;
  cPropSheetExChild ex;
  s.host.attach(&ex, 0, 0, 400, 500);
  ex.sheet.setSection(1, "S");
  ex.sheet.setProperty(1, 1, "Name", "", "v", cSheet::ptText);
  ex.sheet.setProperty(1, 2, "Size", "How large it is", "v", cSheet::ptText);
  for (int p : {1, 2}) {
    ex.sheet.selectCapt(1, p, true);
    s.settle();
    EXPECT_STREQ(ex.pane.title(), p == 1 ? "Name" : "Size");
    EXPECT_STREQ(ex.pane.text(), p == 1 ? "" : "How large it is");
  }
  ex.clear();
  EXPECT_FALSE(ex.sheet.hasSection(1));
  EXPECT_STREQ(ex.pane.text(), "");
  s.host.dettach(&ex);
}

}  // namespace
