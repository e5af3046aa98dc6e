// The drop-down choice field: a text field beside a drop button over a list
// of numbered items, opened as a popup menu under the field. Editable by
// default; a field that does not allow editing opens its list on a click
// anywhere on it.
#pragma once

#include "base/btree.h"
#include "ciom/activeitem.h"
#include "ciom/button.h"
#include "ciom/edit.h"

class cPicturesList;

class cComboBoxChild : public cChildElement {
 public:
  static constexpr int kButtonWidth = 19;

  void allowEdit(bool e);
  const char* text() override { return myEdit.text(); }
  void text(char* buf, long long size) override { myEdit.text(buf, size); }
  using cChildElement::setText;
  void setText(const char* utf8, long long n) { myEdit.setText(utf8, n); }
  void setBanner(const char* utf8) { myEdit.setBanner(utf8); }
  long long maxLen() const { return myEdit.maxLen(); }
  bool setMaxLen(long long n) { return myEdit.setMaxLen(n); }

  bool setItem(int index, const char* text, void* association, int image);
  void* association(int index);
  const char* text(int index);
  bool remove(int index);
  void clear();
  bool select(int index, bool notify);
  int selected() const { return mySelected; }
  void setImageList(cPicturesList* list) { myImages = list; }
  void setMaxDropdownHeight(int h) { myMaxDropdown = h; }
  bool dropdown();
  cEditChild& edit() { return myEdit; }
  cButtonChild& button() { return myButton; }

  void processMouseBtn(int x, int y, int button, bool down, bool mod1, bool mod2) override;
  bool processKey(int key, bool shift, bool mod2, bool mod3) override;
  bool onBackgroundRequest(cCanvas* c, sRect* r) override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  void focus() override { myEdit.focus(); }
  bool wantTabStop() override { return true; }
  void onInitData() override;

 private:
  // The item next to the selection, up or down; -1 when the selection's
  // item is gone, the selection itself at either end.
  int neighbour(bool up);

  cEditChild myEdit;
  cButtonChild myButton;
  int mySelected = -1;
  cPicturesList* myImages = nullptr;
  cFasterTreeList<int, sActiveElementItem> myItems;
  int myMaxDropdown = 100;
  bool myPressInside = false;
};
