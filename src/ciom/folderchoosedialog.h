// The modal folder chooser: a tree of folders under "Computer", a path field
// that shows the chosen folder and takes a typed one, New folder, Select and
// Cancel. Folders are read on the main thread as the user opens them.
#pragma once

#include "base/guardchar.h"
#include "ciom/customform.h"
#include "ciom/edit.h"
#include "ciom/folderchoose_tree.h"
#include "ciom/pictureslist.h"
#include "ciom/toolbar.h"
#include "ciom/treeview.h"

class cFolderChooseDialog : public cCustomForm {
 public:
  using cTreeFoldersContentItem = cFolderChooseTree::cTreeFoldersContentItem;

  static cPicturesList myImagesToolsMain;
  static cPicturesList myImagesToolsCtl;
  static cPicturesList myImagesList;

  // `folder` is where the dialog starts (a folder, or a file in it); true
  // when the user selected a folder, which `folder` then holds. The string
  // is emptied when the dialog opens, so after a cancel it holds the last
  // folder the user opened, not the start.
  static bool choose(cChildElement* parent, const char* caption, _guardchar<char>& folder);

  const char* wantLangResource() override { return "ciom::folderchoose"; }
  void onConstruct() override;
  bool onAfterConstruct() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
  bool onFormAccept() override;
  bool onFormCancel() override;

  void navigate(const char* path);
  bool lsUnder(cTreeFoldersContentItem* node) { return myNodes.lsUnder(node); }
  void mkdir();
  void initBasicView();

  cTreeViewChild& tree() { return myTree; }
  cEditChild& field() { return myField; }
  cToolBarChild& mainTools() { return myMainTools; }
  cToolBarChild& controls() { return myControls; }
  cFolderChooseTree& nodes() { return myNodes; }

 private:
  // What happens when the user selects a row: the row's folder becomes the
  // current one, shown in the field and handed back on Select.
  void makeCurrent(cTreeViewChild::cTreeViewItem* row);
  void onContextRequest(cTreeViewChild::cTreeItemCtxAction* a);

  cToolBarChild myMainTools;
  cTreeViewChild myTree;
  cFolderChooseTree myNodes{myTree};
  cToolBarChild myControls;
  cEditChild myField;
  _guardchar<char>* myFolder = nullptr;
  cTreeViewChild::cTreeViewItem* myCurrent = nullptr;
};
