#include "ciom/propsheet.h"

#include <cstdio>

#include "ciom/linkelement.h"
#include "ciom/themeuse.h"

namespace {
enum { txChangeValue = 2 };
constexpr unsigned long long kNoValue = ~0ULL;

bool isTextKind(int t) { return t >= cPropSheetChild::ptText && t <= cPropSheetChild::ptLink; }
bool isEditKind(int t) { return t >= cPropSheetChild::ptEdit && t <= cPropSheetChild::ptReadOnlyEdit; }
bool hasButton(int t) {
  return t == cPropSheetChild::ptTextButton || t == cPropSheetChild::ptReadOnlyEditButton;
}

cChildElement* makeControl(cPropSheetChild::ePropTypes type) {
  const unsigned int text = themeColor(50), bg = themeColor(51);
  if (isTextKind(type)) {
    cStaticElement* e = type == cPropSheetChild::ptLink ? new cLinkElement : new cStaticElement;
    if (type != cPropSheetChild::ptLink) e->setTextColor(text);
    e->setBgColor(bg);
    e->setFrameColor(bg);
    e->setDoubleBuffer(true);
    return e;
  }
  if (isEditKind(type)) {
    auto* e = new cEditChild;
    e->setColors(cEditChild::ctNormal, bg, text);
    e->setReadonly(type != cPropSheetChild::ptEdit);
    e->setBorderColor(cEditChild::ctNormal,
                      type == cPropSheetChild::ptReadOnlyEditButton ? bg : themeColor(14));
    if (type != cPropSheetChild::ptEdit)
      for (auto state : {cEditChild::ctFocused, cEditChild::ctHovered})
        e->setBorderColor(state, themeColor(28));
    return e;
  }
  auto* list = new cComboBoxChild;
  list->allowEdit(false);
  list->edit().setColors(cEditChild::ctNormal, bg, text);
  list->edit().setBorderColor(cEditChild::ctNormal, bg);
  return list;
}

// The edit a value shows its text in: the control itself, or a list's.
cEditChild* editOf(cPropSheetChild::sPropertyDescr* d) {
  if (!d || !d->control) return nullptr;
  if (isEditKind(d->type)) return static_cast<cEditChild*>(d->control);
  if (d->type == cPropSheetChild::ptList) return &static_cast<cComboBoxChild*>(d->control)->edit();
  return nullptr;
}
}  // namespace

cPropSheetChild::sPropertyDescr* cPropSheetChild::prop(int s, int p) {
  cSectionChild* sect = section(s);
  return sect ? sect->props.find(p) : nullptr;
}

cComboBoxChild* cPropSheetChild::listOf(int s, int p) {
  sPropertyDescr* d = prop(s, p);
  return d && d->type == ptList && d->control ? static_cast<cComboBoxChild*>(d->control) : nullptr;
}

void cPropSheetChild::changed() {
  if (myInChanges)
    myDirty = true;
  else
    build();
}

void cPropSheetChild::endChanges() {
  myInChanges = false;
  if (myDirty) build();
  myDirty = false;
}

bool cPropSheetChild::setSection(int s, const char* name) {
  if (!name) return false;
  cSectionChild* sect = section(s);
  if (sect) {
    sect->header.title.setText(name, cCanvas::eAlignLeft, true);
    return true;
  }
  sect = mySections.insert(s);
  sect->showHints = myShowHints;
  attach(sect, 0, 0, 1, 1);
  sect->header.title.setText(name, cCanvas::eAlignLeft, false);
  changed();
  return true;
}

bool cPropSheetChild::setProperty(int s, int p, const char* name, const char* descr, const char* value,
                                  ePropTypes type) {
  cSectionChild* sect = section(s);
  if (!sect || sect->props.find(p) || type < ptText || type > ptList) return false;
  sPropertyDescr* d = sect->props.insert(p);
  d->type = type;
  d->descr.set(descr);
  d->control = makeControl(type);
  sect->values.attach(d->control, 0, 0, 1, 1);
  if (isTextKind(type))
    static_cast<cStaticElement*>(d->control)->setText(value, cCanvas::eAlignLeft, false);
  else
    editOf(d)->setText(value, -1);
  const sSectProp ids{s, p};
  if (hasButton(type)) {
    sect->values.attach(&d->button, 0, 0, 1, 1);
    d->button.setTransparent(true);
    d->button.image(cButtonChild::bsNormal).refImage(themePict(29));
    d->button.setBorder(cButtonChild::bs3D, false);
    d->button.setHint(string(txChangeValue));
    *sect->buttons.insert(&d->button) = ids;
  }
  sect->names.attach(&d->name, 0, 0, 1, 1);
  d->name.setTextColor(themeColor(50));
  d->name.setStdColorSchema(themeColor(50), themeColor(51), themeColor(51));
  d->name.setText(name, cCanvas::eAlignLeft, false);
  *sect->nameLabels.insert(&d->name) = ids;
  if (type == ptList) *sect->lists.insert(d->control) = ids;
  if (type == ptLink) *sect->links.insert(d->control) = ids;
  changed();
  return true;
}

bool cPropSheetChild::setPropertyVal(int s, int p, const char* text) {
  sPropertyDescr* d = prop(s, p);
  if (!d || !d->control) return false;
  if (isTextKind(d->type))
    static_cast<cStaticElement*>(d->control)->setText(text, cCanvas::eAlignLeft, true);
  else
    editOf(d)->setText(text, -1);
  return true;
}

bool cPropSheetChild::setPropertyVal(int s, int p, unsigned long long v, bool hex, char separator) {
  sPropertyDescr* d = prop(s, p);
  if (!d || !d->control) return false;
  if (cEditChild* e = editOf(d)) {
    e->setU64(v, hex, separator);
    return true;
  }
  char text[32];
  std::snprintf(text, sizeof text, hex ? "0x%llX" : "%lld", hex ? v : static_cast<long long>(v));
  static_cast<cStaticElement*>(d->control)->setText(text, cCanvas::eAlignLeft, true);
  return true;
}

bool cPropSheetChild::setPropertyVal(int s, int p, int index, void* assoc, const char* text, bool selectIt) {
  cComboBoxChild* list = listOf(s, p);
  if (!list) return false;
  const bool set = list->setItem(index, text, assoc, -1);
  if (set && selectIt) list->select(index, false);
  return set;
}

bool cPropSheetChild::clearPropertyVals(int s, int p) {
  cComboBoxChild* list = listOf(s, p);
  if (list) list->clear();
  return list != nullptr;
}

bool cPropSheetChild::select(int s, int p, int index) {
  cComboBoxChild* list = listOf(s, p);
  return list && list->select(index, false);
}

bool cPropSheetChild::wipeVal(int s, int p) {
  sPropertyDescr* d = prop(s, p);
  if (!d || !d->control) return false;
  d->control->wipeText();
  return true;
}

bool cPropSheetChild::setPropertyColor(int s, int p, unsigned int colour) {
  sPropertyDescr* d = prop(s, p);
  if (!d || !d->control || !isTextKind(d->type)) return false;
  static_cast<cStaticElement*>(d->control)->setTextColor(colour);
  d->name.setTxtColorStd(colour);
  d->control->repaint(nullptr);
  return true;
}

bool cPropSheetChild::setImage(int s, int p, int index) {
  return myImages && setImage(s, p, myImages->image(index));
}

bool cPropSheetChild::setImage(int s, int p, cPicture* picture) {
  sPropertyDescr* d = prop(s, p);
  if (!d || !d->control || !isTextKind(d->type)) return false;
  static_cast<cStaticElement*>(d->control)->setImage(picture, true);
  return true;
}

bool cPropSheetChild::setPropertyAssoc(int s, int p, void* assoc) {
  sPropertyDescr* d = prop(s, p);
  if (d) d->assoc = assoc;
  return d != nullptr;
}

const char* cPropSheetChild::value(int s, int p) {
  sPropertyDescr* d = prop(s, p);
  return d && d->control ? d->control->text() : nullptr;
}

unsigned long long cPropSheetChild::int_value(int s, int p) {
  sPropertyDescr* d = prop(s, p);
  if (!d || !d->control) return kNoValue;
  cEditChild* e = editOf(d);
  return e ? e->asU64() : 0;
}

void* cPropSheetChild::value_assoc(int s, int p) {
  cComboBoxChild* list = listOf(s, p);
  return list ? list->association(list->selected()) : nullptr;
}

int cPropSheetChild::value_id(int s, int p) {
  sPropertyDescr* d = prop(s, p);
  if (!d) return 0;
  cComboBoxChild* list = listOf(s, p);
  return list ? list->selected() : -1;
}

void* cPropSheetChild::assoc(int s, int p) {
  sPropertyDescr* d = prop(s, p);
  return d ? d->assoc : nullptr;
}

cButtonChild* cPropSheetChild::actionButton(int s, int p) {
  sPropertyDescr* d = prop(s, p);
  return d && hasButton(d->type) ? &d->button : nullptr;
}

cEditChild* cPropSheetChild::editControl(int s, int p) { return editOf(prop(s, p)); }

bool cPropSheetChild::focus(int s, int p) {
  sPropertyDescr* d = prop(s, p);
  if (!d) return false;
  if (cEditChild* e = editOf(d)) e->focus();
  return true;
}

const char* cPropSheetChild::sectionName(int s) {
  cSectionChild* sect = section(s);
  return sect ? sect->header.title.text() : nullptr;
}

const char* cPropSheetChild::propName(int s, int p) {
  sPropertyDescr* d = prop(s, p);
  return d ? d->name.text() : nullptr;
}

const char* cPropSheetChild::propDescr(int s, int p) {
  sPropertyDescr* d = prop(s, p);
  return d ? d->descr.ptr : nullptr;
}

bool cPropSheetChild::selectCapt(int s, int p, bool notify) {
  sPropertyDescr* d = prop(s, p);
  return d && d->name.select(notify);
}

cSplitterChild* cPropSheetChild::sectionSplit(int s) {
  cSectionChild* sect = section(s);
  return sect ? &sect->split : nullptr;
}

bool cPropSheetChild::remove(int s, int p) {
  cSectionChild* sect = section(s);
  sPropertyDescr* d = sect ? sect->props.find(p) : nullptr;
  if (!d) return false;
  sect->names.dettach(&d->name);
  sect->values.dettach(&d->button);
  if (d->control) sect->values.dettach(d->control);
  sect->nameLabels.dettach(&d->name);
  sect->buttons.dettach(&d->button);
  sect->lists.dettach(d->control);
  sect->links.dettach(d->control);
  sect->props.dettach(p);
  changed();
  return true;
}

bool cPropSheetChild::remove(int s) {
  cSectionChild* sect = section(s);
  if (!sect) return false;
  dettach(sect);
  mySections.dettach(s);
  changed();
  return true;
}

void cPropSheetChild::clear() {
  const bool batch = myInChanges;
  myInChanges = true;
  while (mySections.root) remove(mySections.root->key);
  myInChanges = batch;
  changed();
}

void cPropSheetChild::showSections(bool on) {
  if (on == myShowSections) return;
  myShowSections = on;
  changed();
}

void cPropSheetChild::showHints(bool on) {
  if (on == myShowHints) return;
  myShowHints = on;
  changed();
}

void cPropSheetChild::setSectColor(unsigned int c) {
  mySectColor = c;
  changed();
}

void cPropSheetChild::setSectFrameColor(unsigned int c) {
  mySectFrameColor = c;
  changed();
}
