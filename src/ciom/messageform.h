// The toolkit's message box: a small modal form with a multi-line text
// whose first line is bold, an icon, and Ok or Yes and No. Each static
// operation answers true when the user accepted (Ok, Yes or Enter).
//
// A box larger than the work area is made to fit it: its lines are cut to
// its width and, below the first, shown in a pane that scrolls, so the
// buttons stay on screen and every word can be read.
#pragma once

#include <string>
#include <vector>

#include "base/list.h"
#include "ciom/customform.h"
#include "ciom/pictureslist.h"
#include "ciom/scrollable.h"
#include "ciom/staticelement.h"
#include "ciom/toolbar.h"

class cMessageForm : public cCustomForm {
 public:
  enum eButtonSet { bsOk = 0, bsYesNo = 1 };
  enum eIcon { iconInfo = 0, iconConfirm = 1, iconWarning = 2, iconError = 3 };

  // One line of the text and the label that shows it.
  class cStrTokenItem : public cListItem {
   public:
    _guardchar<char> text;
    cStaticElement element;
    bool bold = false;  // the first line, or a piece of it
  };

  // Pictures of the buttons (0 and 1) and of the icons (10 + icon), shared
  // by every box and borrowed from the theme.
  static cPicturesList myImagesList;

  static bool infobox(cChildElement* parent, const char* text, const char* caption);
  static bool warningbox(cChildElement* parent, const char* text, const char* caption);
  static bool errorbox(cChildElement* parent, const char* text, const char* caption);
  static bool confirmbox(cChildElement* parent, const char* text, const char* caption);
  static bool warnconfirmbox(cChildElement* parent, const char* text, const char* caption);
  // A box the user never saw (no parent, no text, no window) answers false.
  static bool doDialog(cChildElement* parent, const char* text, const char* caption, int captionIndex,
                       int icon, eButtonSet buttons);

  cMessageForm(int icon, const char* caption, eButtonSet buttons);

  const char* wantLangResource() override { return "ciom::messages"; }
  void onInitData() override;
  void onConstruct() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  bool onFormAccept() override;
  bool onFormCancel() override;
  bool processKey(int key, bool shift, bool mod2, bool mod3) override;
  // A box that scrolled only because the room was guessed too small is
  // laid out whole once its window has grown to show every line.
  void onSizeChanged() override;

  cToolBarChild* buttonBar() { return &myButtons; }
  int lineHeight() const { return myLineHeight; }
  // Null for a box that fits the work area.
  cScrollableElement* textPane() { return myScrolled ? &myPane : nullptr; }
  const char* caption() const { return myCaption; }

 private:
  static void fillImagesList();
  void addLine(const std::string& text, bool bold);
  void attachLine(cStrTokenItem* line, cChildElement* to, int x, int y, int width);
  void layOutLines();

  cStaticElement myIcon;
  cToolBarChild myButtons;
  int myIconIndex;
  // Before the lines: they leave it when they go.
  cScrollableElement myPane;
  cList myLines;
  const char* myCaption;
  eButtonSet myButtonSet;
  int myLineHeight = 0;
  bool myScrolled = false;
  // The text as given, and the size that shows all of it without scrolling.
  std::vector<std::string> myText;
  int myWholeWidth = 0, myWholeHeight = 0;
};
