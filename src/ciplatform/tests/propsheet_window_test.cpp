// A property sheet of every kind above a description pane, in a real form
// window: the user selects the first property, so the pane shows it, and
// the picture is left under build/ for review.
#include "window_user.h"
// The user header brings gtest and Xlib in the order they need.
#include <string>
#include <thread>

#include "ciom/customform.h"
#include "ciom/propsheetex.h"

namespace {

class cSheetForm : public cCustomForm {
 public:
  cPropSheetExChild ex;
  std::string* paneTitle = nullptr;
  void onConstruct() override {
    cCustomForm::onConstruct();
    clientArea()->attach(&ex, 0, 0, 1, 1);
    clientArea()->anchor(&ex, 0, 0, -1, -1);
    ex.sheet.setSection(1, "Package");
    const char* names[] = {"Name", "Folder", "Home page", "Note", "Licence", "Version", "Channel"};
    for (int k = 0; k <= cPropSheetChild::ptList; ++k)
      ex.sheet.setProperty(1, k + 1, names[k], k ? "" : "The name the package is installed under.",
                           k == 2 ? "example.org" : "value", static_cast<cPropSheetChild::ePropTypes>(k));
    ex.sheet.setPropertyVal(1, 7, 0, nullptr, "Stable", true);
  }
  bool onAfterConstruct() override {
    ex.sheet.selectCapt(1, 1, true);
    return true;
  }
  bool onFormCancel() override {
    *paneTitle = ex.pane.title() ? ex.pane.title() : "";
    end_modal(0);
    return true;
  }
};

}  // namespace

TEST(PropSheetWindow, ASheetOfEveryKindAboveItsPane) {
  nstest::requireDisplay();
  sToolkitMaker m;
  std::string paneTitle;
  auto* form = new cSheetForm;
  form->paneTitle = &paneTitle;
  std::thread user([] {
    cUser u;
    Window w = u.find("zvk-sheet");
    u.pause(400);
    EXPECT_TRUE(u.screenshot(w, std::string(ZVK_BINARY_DIR) + "/propsheet_window.png"));
    u.key(w, XK_Escape);
  });
  EXPECT_EQ(m.maker.modal("zvk-sheet", 420, 420, form, nullptr, true), 0);
  user.join();
  EXPECT_EQ(paneTitle, "Name");
}
