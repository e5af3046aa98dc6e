// The property sheet's layout, its sections and headers, and what it makes
// of its children's actions and of the Up and Down keys.
#include <cmath>

#include "ciom/canvas.h"
#include "ciom/propsheet.h"
#include "ciom/themeuse.h"

namespace {
enum { txHide = 0, txExpand = 1 };
constexpr int kButtonSize = 16, kActionButtonWidth = 19, kTextPadding = 4;
constexpr int kEditRow = 18, kListRow = 19;

int rowHeight(cPropSheetChild::sPropertyDescr& d) {
  switch (d.type) {
    case cPropSheetChild::ptEdit:
    case cPropSheetChild::ptReadOnlyEditButton:
    case cPropSheetChild::ptReadOnlyEdit:
      return kEditRow;
    case cPropSheetChild::ptList:
      return kListRow;
    default:
      break;
  }
  sSize want{0, 0};
  static_cast<cStaticElement*>(d.control)->wantsSize(&want);
  if (want.cy == 0) d.name.wantsSize(&want);
  return want.cy + kTextPadding;
}

void showAll(cPropSheetChild::sPropertyDescr& d, bool on) {
  for (cChildElement* e :
       {static_cast<cChildElement*>(&d.name), d.control, static_cast<cChildElement*>(&d.button)})
    if (e) on ? e->show(false) : e->hide(false);
}

template <class F>
void eachProp(cFasterTreeList<int, cPropSheetChild::sPropertyDescr>& props, F f) {
  using tree = cFasterTreeList<int, cPropSheetChild::sPropertyDescr>;
  for (auto* it = props.root ? tree::leftmost(props.root) : nullptr; it; it = tree::next(it))
    f(it->key, it->value);
}
}  // namespace

bool cPropSheetChild::cWTPanelChild::onBackgroundRequest(cCanvas* c, sRect* r) {
  if (!c || !r) return false;
  sRect all{-r->x, -r->y, width(), height()};
  return c->drawRect(&all, themeColor(14), themeColor(14));
}

void cPropSheetChild::cWTPanelChild::onPaint(cCanvas* c) {
  sRect all{0, 0, width(), height()};
  if (c) c->drawRect(&all, themeColor(14), themeColor(14));
}

void cPropSheetChild::cSectionHeaderChild::onInitData() {
  cStaticElement::onInitData();
  auto* sheet = parent() ? dynamic_cast<cPropSheetChild*>(parent()->parent()) : nullptr;
  const unsigned int bg = sheet ? sheet->sectColor() : themeColor(47);
  setBgColor(bg);
  setFrameColor(sheet ? sheet->sectFrameColor() : themeColor(46));
  const int d24 = themeDim(24), m = (d24 - kButtonSize) / 2;
  attach(&button, m, m, kButtonSize, kButtonSize);
  button.setAcceptFocus(false);
  button.setPointer(static_cast<eMousePointerTypes>(3));
  button.setBorder(cButtonChild::bs3DFilled, false);
  button.setBgColor(bg, false);
  button.setBorderColors(cButtonChild::bsNormal, bg, bg);
  button.image(cButtonChild::bsNormal).refImage(themePict(67));
  button.setHint(string(txHide));
  attach(&title, 0, 0, 1, 1);
  anchor(&title, d24 + 2, 1, -3 - d24, -3);
  title.setFont(stdFontBold());
  title.setColorSchema(themeColor(49), bg, bg);
}

void cPropSheetChild::cSectionChild::onInitData() {
  cChildElement::onInitData();
  const int d24 = themeDim(24);
  attach(&header, 0, 0, 1, d24);
  anchor(&header, 0, 0, -1, d24);
  attach(&split, 0, d24, 1, 1);
  anchor(&split, 0, d24, -1, 1);
  for (cPanelChild* p : {&names, static_cast<cPanelChild*>(&values)}) p->setBgColor(themeColor(48));
  split.attach(1, &names, 50);
  split.attach(2, &values, 50);
}

void cPropSheetChild::cSectionChild::sizeColumns() {
  const int w = width(), least = static_cast<int>(std::floor(w * 0.1));
  names.setMinSize(least, 0);
  values.setMinSize(least, 0);
  split.resizeItem(1, w / 2 - 3);
  split.resizeItem(2, w / 2 - 3);
}

void cPropSheetChild::cSectionChild::onSizeChanged() {
  cChildElement::onSizeChanged();
  sizeColumns();
}

bool cPropSheetChild::cSectionChild::onAction(cChildElement* sender, cChildAction* a) {
  if (sender == &header.button && a && a->code == acDefault) {
    notifyAction(new cChildAction(acChange));
    return true;
  }
  return cChildElement::onAction(sender, a);
}

int cPropSheetChild::cSectionChild::rebuildSect(bool withHeader) {
  const int hh = withHeader ? themeDim(24) : 0;
  if (withHeader) {
    anchor(&header, 0, 0, -1, hh);
    header.show(false);
  } else {
    header.hide(false);
  }
  int y = 0;
  eachProp(props, [&](int, sPropertyDescr& d) {
    if (collapsed || !d.control) {
      showAll(d, false);
      return;
    }
    showAll(d, true);
    const bool button = d.type == ptTextButton || d.type == ptReadOnlyEditButton;
    if (!button) d.button.hide(false);
    const int h = rowHeight(d);
    if (button) values.anchor(&d.button, -20, y, kActionButtonWidth, h);
    names.anchor(&d.name, 0, y, -1, h);
    values.anchor(d.control, 0, y, button ? -20 : -1, h);
    if (showHints && d.descr.ptr && *d.descr.ptr) d.name.setHint(d.descr.ptr);
    y += h + 1;
  });
  anchor(&split, 0, hh, -1, y);
  sizeColumns();
  return y + hh;
}

void cPropSheetChild::onInitData() {
  cScrollableElement::onInitData();
  mySectColor = themeColor(47);
  mySectFrameColor = themeColor(46);
  setQuantumSize(5, 13);
  setMinVisualWidth(0);
  setMinVisualHeight(0);
}

void cPropSheetChild::build() {
  int y = 0;
  for (auto* it = mySections.root ? mySections.leftmost(mySections.root) : nullptr; it;
       it = mySections.next(it)) {
    const int h = it->value.rebuildSect(myShowSections);
    anchor(&it->value, 0, y, -1, h);
    y += h;
  }
  setMinVisualHeight(y);
  repaint(nullptr);
}

void cPropSheetChild::onPaintArea(cCanvas* c) {
  if (!c) return;
  sRect all{0, 0, width(), height()};
  c->drawRect(&all, themeColor(48), themeColor(48));
}

void cPropSheetChild::toggle(cSectionChild* s) {
  s->collapsed = !s->collapsed;
  s->header.button.image(cButtonChild::bsNormal).refImage(themePict(s->collapsed ? 66 : 67));
  s->header.button.setHint(string(s->collapsed ? txExpand : txHide));
  s->header.button.repaint(nullptr);
  changed();
}

bool cPropSheetChild::mapChildAction(cChildElement* sender, cChildAction* a) {
  for (auto* it = mySections.root ? mySections.leftmost(mySections.root) : nullptr; it;
       it = mySections.next(it)) {
    cSectionChild& s = it->value;
    if (sender == &s) {
      if (a->code != acChange) return false;
      toggle(&s);
      return true;
    }
    const struct {
      cSectionChild::tLookup& map;
      int childCode, sheetCode;
    } routes[] = {{s.nameLabels, acChange, psSelected},
                  {s.buttons, acDefault, psButton},
                  {s.links, acDefault, psLink},
                  {s.nameLabels, acActivate, psActivated},
                  {s.lists, acChange, psListChanged}};
    for (const auto& r : routes) {
      const sSectProp* ids = r.map.find(sender);
      if (!ids || a->code != r.childCode) continue;
      notifyAction(new cPropSheetAction(r.sheetCode, ids->section, ids->property));
      return true;
    }
  }
  return false;
}

bool cPropSheetChild::onAction(cChildElement* sender, cChildAction* a) {
  if (a && sender != this && mapChildAction(sender, a)) return true;
  return cScrollableElement::onAction(sender, a);
}

bool cPropSheetChild::step(cChildElement* focused, bool down) {
  using tSections = cFasterTreeList<int, cSectionChild>;
  using tProps = cFasterTreeList<int, sPropertyDescr>;
  for (auto* it = mySections.root ? tSections::leftmost(mySections.root) : nullptr; it;
       it = tSections::next(it)) {
    const sSectProp* ids = it->value.nameLabels.find(focused);
    if (!ids) continue;
    auto* at = it->value.props.find_item(ids->property);
    auto* to = down ? tProps::next(at) : tProps::prev(at);
    for (auto* s = it; !to;) {
      s = down ? tSections::next(s) : tSections::prev(s);
      if (!s) return false;
      if (tProps* props = &s->value.props; props->root)
        to = down ? tProps::leftmost(props->root) : tProps::rightmost(props->root);
    }
    return to->value.name.select(true);
  }
  return false;
}

bool cPropSheetChild::processKey(int key, bool shift, bool mod2, bool mod3) {
  if ((key == kcUp || key == kcDown) && !shift && !mod2 && !mod3) {
    for (auto* it = mySections.root ? mySections.leftmost(mySections.root) : nullptr; it;
         it = mySections.next(it))
      for (auto* n = it->value.nameLabels.root ? it->value.nameLabels.leftmost(it->value.nameLabels.root)
                                               : nullptr;
           n; n = it->value.nameLabels.next(n))
        if (n->key->focused()) {
          step(n->key, key == kcDown);
          return true;
        }
  }
  return cChildElement::processKey(key, shift, mod2, mod3);
}
