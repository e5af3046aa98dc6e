// A property sheet over a description pane that shows the name and
// description of the property the user selects.
#pragma once

#include "ciom/propdisparea.h"
#include "ciom/propsheet.h"
#include "ciom/splitter.h"

class cPropSheetExChild : public cVSplitterChild {
 public:
  cPropSheetChild sheet;
  cPropDispAreaChild pane;
  double sheetShare = 75.0;  // percent of the height

  void clear();
  void onInitData() override;
  bool onAction(cChildElement* sender, cChildAction* a) override;
};
