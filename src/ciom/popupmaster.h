// The popup menu: a modal pop-up window listing one flat button per item,
// scrolling when the screen has less room than the list. It answers the id
// of the item clicked, or -1 when it is dismissed by a click outside it,
// Escape or the loss of the focus.
#pragma once

#include "base/btree.h"
#include "base/list.h"
#include "ciom/activeitem.h"
#include "ciom/button.h"
#include "ciom/picture.h"
#include "ciom/scrollable.h"

class cPicturesList;

class cPopupMaster : public cScrollableElement {
 public:
  using tItems = cFasterTreeList<int, sActiveElementItem>;
  static constexpr unsigned int kNoColor = 0xFFFFFFFF;

  struct sPopupConfig {
    int minWidth = 0;
    cPicturesList* pictures = nullptr;
    int selectedId = -1;
    unsigned int background, text;
    unsigned int state2Background = kNoColor, state2Text = kNoColor;
    unsigned int state3Background = kNoColor, state3Text = kNoColor;
    unsigned int border;
    cFontObject* font = nullptr;
    sPopupConfig();
  };

  class cBtnListItem : public cListItem {
   public:
    cButtonChild button;
    int id = 0;
    sActiveElementItem* item = nullptr;
  };

  static bool evalSize(cChildElement* parent, tItems* items, cPicturesList* pictures, sSize& size,
                       cFontObject* font);
  static int runPopUp(cChildElement* parent, tItems* items, cPicturesList* pictures, int x, int y, int w, int h,
                      int selectedId, unsigned int background, unsigned int text, unsigned int border,
                      cFontObject* font, unsigned int state2Background, unsigned int state2Text,
                      unsigned int state3Background, unsigned int state3Text);
  static int simplePopup(cChildElement* parent, tItems* items, int x, int y, int minWidth, cPicturesList* pictures,
                         int selectedId, unsigned int background, unsigned int text, unsigned int border,
                         cFontObject* font, unsigned int state2Background, unsigned int state2Text,
                         unsigned int state3Background, unsigned int state3Text);
  static int simplePopup(cChildElement* parent, tItems* items, int x, int y, sPopupConfig* config);

  void processOSFocus() override {}
  void processOSFocusLost() override {}
  bool processKey(int key, bool shift, bool mod2, bool mod3) override;
  void onConstruct() override;
  bool onBackgroundRequest(cCanvas* c, sRect* r) override;
  void onMouseButton(int x, int y, int button, bool down) override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  void onLooseFocus(bool f1, bool f2) override;
  bool wantDoubleBuffer() override { return true; }
  int wantBorderWidth() override { return 1; }
  void onInitData() override;
  void onPaintArea(cCanvas* c) override;

  const cList& buttons() const { return myButtons; }

 private:
  // What an item shows: its text's size with its picture beside it.
  static bool measure(cChildElement* parent, sActiveElementItem& item, cPicturesList* pictures,
                      cFontObject* font, sSize& size);
  void build();
  void finish(int code);

  tItems* myItems = nullptr;
  cPicturesList* myPictures = nullptr;
  cFontObject* myFont = nullptr;
  unsigned int myBackground = 0xFFFFFF, myText = 0, myBorder = 0;
  unsigned int myState2Background = kNoColor, myState2Text = kNoColor;
  unsigned int myState3Background = kNoColor, myState3Text = kNoColor;
  cPicture myState2Picture, myState3Picture;
  int mySelectedId = -1;
  cList myButtons;
};
