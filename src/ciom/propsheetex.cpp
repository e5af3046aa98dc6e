#include "ciom/propsheetex.h"

void cPropSheetExChild::clear() {
  pane.setText("", "");
  sheet.clear();
}

void cPropSheetExChild::onInitData() {
  cVSplitterChild::onInitData();
  if (!(sheetShare > 0 && sheetShare < 100)) sheetShare = 75.0;
  attach(1, &sheet, static_cast<int>(sheetShare * 5));
  attach(2, &pane, static_cast<int>((100 - sheetShare) * 5));
  pane.setQuantumSize(5, 13);
}

bool cPropSheetExChild::onAction(cChildElement* sender, cChildAction* a) {
  auto* at = dynamic_cast<cPropSheetChild::cPropSheetAction*>(a);
  if (sender == &sheet && at && at->code == cPropSheetChild::psSelected) {
    pane.setText(sheet.propName(at->section, at->property), sheet.propDescr(at->section, at->property));
    return true;
  }
  auto* resize = dynamic_cast<cPropDispAreaChild::cPropDispResizeAction*>(a);
  if (sender == &pane && resize) {
    pane.setMinVisualHeight(resize->height);
    return true;
  }
  return cChildElement::onAction(sender, a);
}
