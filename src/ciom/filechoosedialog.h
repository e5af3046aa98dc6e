// The modal file chooser, to open a file or to name one to save: Home,
// Places and (saving) New folder above a path bar, a four-column list of the
// folder, the name field, the filter choice and Open/Save and Cancel. Folders
// are read on the path bar's job thread; the old rows leave the list when a
// read starts, and the list is filled from the listing only once the job has
// said it is done, a batch of rows per turn of the action queue so that the
// window keeps answering while a large folder fills.
#pragma once

#include "base/buffers.h"
#include "base/guardchar.h"
#include "base/list.h"
#include "ciom/combobox.h"
#include "ciom/customform.h"
#include "ciom/edit.h"
#include "ciom/listview.h"
#include "ciom/navigationchild.h"
#include "ciom/pictureslist.h"
#include "ciom/staticelement.h"
#include "ciom/toolbar.h"

class cFileChooseDialog : public cCustomForm {
 public:
  struct sFilterInfo {
    _guardchar<char> name;
    _guardchar<char> pattern;    // wildcard patterns separated by ";"
    _guardchar<char> extension;  // without the dot; may be empty
    bool usable() const { return name.ptr && *name.ptr && pattern.ptr && *pattern.ptr; }
  };

  // A caller's element shown under the name row; it may keep the dialog
  // open when the user picks a file.
  class cCustomElement : public cChildElement {
   public:
    virtual bool acceptFileChoice() { return true; }
    virtual int customWidth() { return 0; }
    virtual int customHeight() { return 0; }
  };

  struct sFileChooseInfo {
    _guardchar<char> file;    // in: start name or path; out: the chosen path
    _guardchar<char> folder;  // in: where to open
    int filter = 0;           // in: preselected; out: the one chosen last
    bool namedCustomFilter = false;
    bool multiSelect = false;  // open mode only
    _classbuf<sFilterInfo> filters;
    bool showHidden = false;
    _List<_guardchar<char>> results;  // out: the further selected files
    cCustomElement* customElement = nullptr;

    sFileChooseInfo() = default;
    sFileChooseInfo(const sFileChooseInfo&) = delete;
    sFileChooseInfo& operator=(const sFileChooseInfo&) = delete;
    ~sFileChooseInfo() { results.destroy(); }
  };

  static cPicturesList myImagesToolsMain;
  static cPicturesList myImagesToolsCtl;
  static cPicturesList myImagesList;

  // True when the user chose a file; info.file then holds its full path.
  static bool open(cChildElement* parent, const char* caption, sFileChooseInfo& info);
  static bool save(cChildElement* parent, const char* caption, sFileChooseInfo& info);

  void ls(const char* path) { myNavi.navigate(path); }
  const char* wantLangResource() override { return "ciom::filechoose"; }
  void onConstruct() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  bool onFormAccept() override;
  bool onFormCancel() override;
  bool processKey(int key, bool shift, bool mod2, bool mod3) override;
  bool processChar(unsigned short ch, bool f1, bool f2, bool f3) override;

  cToolBarChild& mainTools() { return myMainTools; }
  cNavigationChild& navigation() { return myNavi; }
  cListViewChild& list() { return myList; }
  cEditChild& nameField() { return myName; }
  cComboBoxChild& filterCombo() { return myFilters; }
  cFileChooseListFolder& provider() { return myProvider; }
  cToolBarChild& controls() { return myControls; }
  const char* pattern() const { return myPattern.ptr; }

 private:
  // The listing's reader; a read that starts takes the old rows away, so
  // that nothing of a folder being left can still be chosen.
  class cReader : public cFileChooseListFolder {
   public:
    explicit cReader(cFileChooseDialog& dialog) : myDialog(dialog) {}
    // The read ends before this class's part goes: the job's thread calls
    // into the object while it runs.
    ~cReader() override { terminate(); }
    bool asyncNavigate(cNavigationPostTarget* bar, const char* path) override;

   private:
    cFileChooseDialog& myDialog;
  };
  // The next batch of rows of the fill it belongs to.
  class cFillAction : public cChildAction {
   public:
    explicit cFillAction(int run) : run(run) {}
    int run;
  };

  static bool run(cChildElement* parent, const char* caption, sFileChooseInfo& info, bool saving);
  void initFilters();
  void initList();
  // Starts filling the list from the listing; the rows come in batches.
  void ls_data(bool sort);
  void fillBatch();
  void endFill();
  bool filling() const { return myFillNext >= 0; }
  // A new listing starts: what the user does from here on decides where
  // the focus goes once its rows are in.
  void noteListingStart();
  void onFilterChange();
  // Home and the listing's folder; null at the special locations.
  const char* listedFolder() { return myProvider.listing().folder(); }
  bool entryPath(int row, _guardchar<char>& out) { return myProvider.listing().path(row, out); }
  int entryType(int row);
  void listPlaces();
  void relist();
  void onListAction(cChildAction* a);
  void onMainTool(int id);
  // A tool given while a folder is read waits for the read's rows: Home and
  // Places replace a folder entered meanwhile, New folder is made where the
  // user ends up.
  void holdTool(int id);
  void onContextRequest(cChildAction* a);
  // `reading`: the folder the user went to is still being read.
  bool acceptTyped(const char* typed, bool reading);
  void showTypedPattern(const char* typed);
  bool acceptSelectedFiles();
  // `file` = path; the further selected files go to `results` when asked.
  void choose(const char* path, bool withSelected);
  void endSODialog();
  void mkdir();

  cToolBarChild myMainTools;
  cNavigationChild myNavi;
  cListViewChild myList;
  cEditChild myName;
  cComboBoxChild myFilters;
  cToolBarChild myControls;
  cStaticElement myLabel;
  // After the elements: its job is ended before the listing goes.
  cReader myProvider{*this};
  _guardchar<char> myPattern;
  // The fill under way: its number (a batch of an older one is dropped),
  // the next listing entry (-1 when none runs), its sorting, and whether the
  // path bar waits for its end to be back to normal.
  int myFillRun = 0;
  long long myFillNext = -1;
  bool myFillSort = false;
  bool myFillEndsNavigation = false;
  _guardchar<char> myHeldFolder;  // entered while another was read
  bool myHeldPlaces = false;
  bool myHeldNewFolder = false;
  cChildElement* myListingFocus = nullptr;  // only compared, never followed
  bool myTypedSinceListing = false;
  bool mySave = false;
  sFileChooseInfo* myInfo = nullptr;
};
