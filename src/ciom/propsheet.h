// The property sheet: rows of name and value grouped in collapsible
// sections, both addressed by the caller's ids and laid out in id order. A
// value is a text, a link, an edit field or a drop-down list, some with an
// action button; what the user does reaches the parents as a
// cPropSheetAction carrying the section and property ids.
#pragma once

#include "base/btree.h"
#include "base/guardchar.h"
#include "ciom/button.h"
#include "ciom/combobox.h"
#include "ciom/edit.h"
#include "ciom/panel.h"
#include "ciom/pictureslist.h"
#include "ciom/scrollable.h"
#include "ciom/selectableelement.h"
#include "ciom/splitter.h"
#include "ciom/staticelement.h"

class cPropSheetChild : public cScrollableElement {
 public:
  enum ePropTypes : int {
    ptText = 0,
    ptTextButton = 1,
    ptLink = 2,
    ptEdit = 3,
    ptReadOnlyEditButton = 4,
    ptReadOnlyEdit = 5,
    ptList = 6,
  };
  // Codes of the actions to the parents.
  enum { psSelected = 6, psButton = 7, psLink = 8, psActivated = 9, psListChanged = 10 };

  struct sPropertyDescr {
    cSelectableElement name;
    _guardchar<char> descr;
    ePropTypes type = ptText;
    void* assoc = nullptr;
    cChildElement* control = nullptr;  // owned
    cButtonChild button;
    sPropertyDescr() = default;
    sPropertyDescr(const sPropertyDescr&) = delete;
    sPropertyDescr& operator=(const sPropertyDescr&) = delete;
    ~sPropertyDescr() { delete control; }
  };

  struct sSectProp {
    int section = 0;
    int property = 0;
  };

  // The values panel paints its whole area as a frame, so the one-pixel gaps
  // between value rows show as grid lines.
  class cWTPanelChild : public cPanelChild {
   public:
    bool onBackgroundRequest(cCanvas* c, sRect* r) override;
    void onPaint(cCanvas* c) override;
  };

  class cSectionHeaderChild : public cStaticElement {
   public:
    cButtonChild button;
    cStaticElement title;
    const char* wantLangResource() override { return "ciom::propsheet"; }
    void onInitData() override;
  };

  class cSectionChild : public cChildElement {
   public:
    using tLookup = cFasterTreeList<cChildElement*, sSectProp>;
    cSectionHeaderChild header;
    cSplitterChild split;
    cPanelChild names;
    cWTPanelChild values;
    tLookup nameLabels, buttons, lists, links;
    cFasterTreeList<int, sPropertyDescr> props;
    bool collapsed = false;
    bool showHints = false;

    void onInitData() override;
    void onSizeChanged() override;
    bool onAction(cChildElement* sender, cChildAction* a) override;
    // Lays the rows out; answers the section's height.
    int rebuildSect(bool withHeader);

   private:
    void sizeColumns();
  };

  class cPropSheetAction : public cChildAction {
   public:
    int section, property;
    cPropSheetAction(int code, int s, int p) : cChildAction(code), section(s), property(p) {}
  };

  bool setSection(int s, const char* name);
  bool setProperty(int s, int p, const char* name, const char* descr, const char* value, ePropTypes type);
  bool setPropertyVal(int s, int p, const char* text);
  bool setPropertyVal(int s, int p, unsigned long long v, bool hex, char separator);
  bool setPropertyVal(int s, int p, int index, void* assoc, const char* text, bool select);
  bool clearPropertyVals(int s, int p);
  bool select(int s, int p, int index);
  bool wipeVal(int s, int p);
  bool setPropertyColor(int s, int p, unsigned int colour);
  bool setImage(int s, int p, int index);
  bool setImage(int s, int p, cPicture* picture);
  bool setPropertyAssoc(int s, int p, void* assoc);

  const char* value(int s, int p);
  unsigned long long int_value(int s, int p);
  void* value_assoc(int s, int p);
  int value_id(int s, int p);
  void* assoc(int s, int p);
  cButtonChild* actionButton(int s, int p);
  cEditChild* editControl(int s, int p);
  cChildElement* valueControl(int s, int p) {
    sPropertyDescr* d = prop(s, p);
    return d ? d->control : nullptr;
  }
  using cChildElement::focus;
  bool focus(int s, int p);
  bool hasSection(int s) { return mySections.find(s) != nullptr; }
  bool hasProp(int s, int p) { return prop(s, p) != nullptr; }
  const char* sectionName(int s);
  const char* propName(int s, int p);
  const char* propDescr(int s, int p);
  bool selectCapt(int s, int p, bool notify);
  cSplitterChild* sectionSplit(int s);

  bool remove(int s, int p);
  bool remove(int s);
  void clear();

  void startChanges() { myInChanges = true; }
  void endChanges();
  void showSections(bool on);
  void showHints(bool on);
  void setSectColor(unsigned int c);
  void setSectFrameColor(unsigned int c);
  void setImagesList(cPicturesList* list) { myImages = list; }
  unsigned int sectColor() const { return mySectColor; }
  unsigned int sectFrameColor() const { return mySectFrameColor; }

  const char* wantLangResource() override { return "ciom::propsheet"; }
  void build();
  void onInitData() override;
  void onPaintArea(cCanvas* c) override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  bool processKey(int key, bool shift, bool mod2, bool mod3) override;
  bool wantCaptureArrows() override { return true; }

 private:
  cSectionChild* section(int s) { return mySections.find(s); }
  sPropertyDescr* prop(int s, int p);
  cComboBoxChild* listOf(int s, int p);
  // Rebuilds now, or once the batch ends.
  void changed();
  void toggle(cSectionChild* section);
  bool mapChildAction(cChildElement* sender, cChildAction* a);
  // The property next to the one whose name label has the focus, across
  // sections; false when there is none to go to.
  bool step(cChildElement* focused, bool down);

  bool myInChanges = false, myDirty = false, myShowSections = true, myShowHints = false;
  unsigned int mySectColor = 0, mySectFrameColor = 0;
  cPicturesList* myImages = nullptr;
  cFasterTreeList<int, cSectionChild> mySections;
};
