// The language choice that installation and uninstallation open: a grid of
// the package's languages, each applied as soon as it is browsed, so the
// form speaks the language being chosen.
#pragma once

#include <string>

#include "base/buffers.h"
#include "base/guardchar.h"
#include "base/list.h"
#include "ciom/linkelement.h"
#include "ciom/panel.h"
#include "ciom/simplegrid.h"
#include "tamsivarapp/cistd.h"

inline constexpr int kNoLangChosen = 10;

class cLangsGrid : public cSimpleGridChild {
 public:
  void setLangs(_List<int>* list);
  // The selected cell's language, or kNoLangChosen.
  int getSelectedLang();
  int langAt(int index) const { return index >= 0 && index < myLangs.count ? myLangs.ptr[index] : kNoLangChosen; }
  int count() const { return static_cast<int>(myLangs.count); }

  void paintElement(cCanvas* c, int index, bool selected) override;
  // One column as wide as the grid leaves beside its scroll bar.
  int cellWidth() override;
  int cellHeight() override { return 30; }
  int numCells() override { return static_cast<int>(myLangs.count); }
  int cellSpacing() override { return 0; }
  int maxSpacing() override { return 0; }

 private:
  _typebuf<int> myLangs;
};

// The rows of "pkgm::langs" a form speaks by, as the run it asks for: its
// title, its introduction and its question before it is cancelled. The
// uninstall's window carries its title as well; the installation's keeps
// the bare window the wizard has always opened.
struct sLangFormRows {
  int title, intro, cancel;
  bool titledWindow;
};
inline constexpr sLangFormRows kInstallLangRows{0, 1, 3, false};
inline constexpr sLangFormRows kUninstallLangRows{5, 6, 7, true};

class cLangSelectionForm : public cChildElement {
 public:
  // The chosen language, or kNoLangChosen; a single language is answered
  // without a window.
  static int chooseLang(_List<int>* list, int current, const char* appName, cChildElement* parent,
                        const sLangFormRows& rows = kInstallLangRows);
  // Where the link leads for `appName`: the name percent-encoded.
  static std::string langPageAddress(const char* appName);
  // Room for the introduction (row 1) between the title and the panel.
  static constexpr int kIntroHeight = 34;

  cLangSelectionForm(_List<int>* list, int current, const char* appName,
                     const sLangFormRows& rows = kInstallLangRows);

  const char* wantLangResource() override { return "pkgm::langs"; }
  void onConstruct() override;
  void onPaint(cCanvas* c) override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  bool processKey(int key, bool shift, bool mod2, bool mod3) override;
  // The close box cancels as Escape does: only once the user confirms.
  bool onClose() override;
  // The window's focus lands on the form itself; the keys belong to the grid.
  void processOSFocus() override;

  cLangsGrid* grid() { return &myGrid; }
  cWZIButton* startButton() { return &myStart; }

 private:
  void accept();
  bool confirmCancel();
  void placeLink();

  cPanelChild myPanel;
  cLangsGrid myGrid;
  cLinkElement myLink;
  cWZIButton myStart;
  _List<int>* myList;
  int myCurrent;
  _guardchar<char> myAppName;
  sLangFormRows myRows;
  bool myAsking = false;
};
