// The manager window: the installed packages, the details of the selected
// one with its update, uninstallation, links and run options, a refresh,
// the language switch and, with nothing installed, the manager's removal.
#pragma once

#include <string>
#include <vector>

#include "base/job.h"
#include "base/list.h"
#include "ciom/linkelement.h"
#include "ciom/listview.h"
#include "ciom/panel.h"
#include "ciom/pictureelement.h"
#include "ciom/pictureslist.h"
#include "ciom/staticelement.h"
#include "tamsivarapp/cistd.h"
#include "tamsivarapp/installeditem.h"
#include "tamsivarapp/langsw.h"

class cTamsivarForm : public cChildElement {
 public:
  using sInstalledItem = ::sInstalledItem;
  using sRunOption = ::sRunOption;

  // Reads the records and fills the list from its own thread, hands the
  // list over, then asks the update server about each package, one after
  // another, posting each answer to the form.
  class cConfigReaderJob : public cJob {
   public:
    cConfigReaderJob() : cJob(nullptr) {}
    ~cConfigReaderJob() override { terminate(); }
    bool start(cTamsivarForm* form, int generation);
    int job() override;
    void onJobEnd(unsigned long code) override;
    static bool sectionEnumProc(const char* id, void* job);

   private:
    void checkAll();

    cTamsivarForm* myForm = nullptr;
    int myGeneration = 0;
    // The ids of the list's rows, by row: the items belong to the main
    // thread once the list is handed over.
    std::vector<std::string> myIds;
  };

  cTamsivarForm() = default;
  ~cTamsivarForm() override;

  void refresh();
  void selectItem(sInstalledItem* item);
  void updateCurrItem();

  const char* wantLangResource() override { return "pkgm::tamsivar"; }
  void onConstruct() override;
  void onPaint(cCanvas* c) override;
  bool onClose() override;
  bool processKey(int key, bool shift, bool mod2, bool mod3) override;
  // Control+Q quits.
  bool endsOnKey(int key, bool shift, bool mod2, bool mod3) override;
  bool onAction(cChildElement* sender, cChildAction* a) override;

 private:
  void startReading();
  void listRead();
  void applyCheck(cChildAction* a);
  void jobEnded();
  // True once the reader's work has ended, even when its end is still on
  // its way: a refresh or a close then waits for no further end.
  bool readerIdle();
  // Ends the window with `result` once the reader has stopped.
  void endWhenIdle(int result);
  void uninstallCurrent();
  // After a wait for another run of the package: its row and the details
  // show what its record holds now, and the list is read anew when it is
  // gone.
  void showRecorded(const char* id);
  void fillRow(int row, sInstalledItem& item);
  void fitColumn(int id, const char* text);
  void clearRunOptions();
  void placeRunOptions(sInstalledItem* item);
  void placeLinks(sInstalledItem* item);
  // Shown only when the server named a newer version; repaints the details.
  void showUpdateButton(sInstalledItem* item);

  cConfigReaderJob myJob;
  sInstalledItem* myCurrent = nullptr;
  _List<sInstalledItem> myItems;
  cPicturesList mySmallIcons;
  int myRows = 0;
  cWZISelButton myHeader;
  cPanelChild myListPanel;
  cListViewChild myList;
  cStaticElement myStatus;
  cPanelChild myDetails;
  cWZIButton myUpdate;
  cWZIButton myUninstall;
  cPicture myShownIcon;
  cPictureElement myIcon;
  cStaticElement myTitle;
  cStaticElement myVersion;
  cStaticElement myTime;
  _List<cLinkElement> myRunLinks;
  cLinkElement myPublisher;
  cLinkElement mySupport;
  cLinkElement myUpdates;
  cLinkElement myRemoveLink;
  cWZIButton myRefresh;
  cLangSwitchCtl myLangSwitch;
  // Each reading has its number; answers of an earlier one are dropped.
  int myGeneration = 0;
  // What to do once the running reader has stopped: end the window with
  // this result (-1: no), or read again.
  int myPendingEnd = -1;
  bool myReadAgain = false;
};
