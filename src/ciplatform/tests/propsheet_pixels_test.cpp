// The property sheet, its description pane and the path bar painted on the
// real off-screen canvas with real fonts: the sheet's grid lines and section
// header, the pane's justified text and the height it reports, the bar's
// segments; and a picture of all of them for people to look at.
#include <cairo.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ciom/navigationchild.h"
#include "ciom/propsheetex.h"
#include "ciom/themeuse.h"
#include "sheettarget.h"
#include "support.h"

namespace {

constexpr int kW = 420, kH = 560, kBar = 22;

// Hands the actions the elements notify to the root when asked.
class cQueuedTarget : public cSheetTarget {
 public:
  std::vector<void*> notes;
  bool _rt_send_action(void* e) override {
    notes.push_back(e);
    return true;
  }
  void deliver(cChildElement& root) {
    while (!notes.empty()) {
      std::vector<void*> now;
      now.swap(notes);
      for (void* e : now) root.processActionFirst(static_cast<cChildElement*>(e));
    }
  }
};

const char* kNotes =
    "This update brings faster downloads, a clearer progress display while packages install, and fixes for "
    "several problems reported since the last release. Read the full list of changes on the project page.";

struct sSheetScene {
  cQueuedTarget target;
  cChildElement root;
  cNavigationChild bar;
  cPropSheetExChild ex;
  cCrbOffscreenCanvas canvas;
  sSheetScene() {
    root.setWinTarget(&target, 0, 0, kW, kH);
    root.attach(&bar, 0, 0, kW, kBar);
    root.attach(&ex, 0, kBar + 4, kW, kH - kBar - 4);
    bar.setPath("/home/ann/Downloads");
    cPropSheetChild& s = ex.sheet;
    s.setSection(1, "Package");
    const char* names[] = {"Name", "Folder", "Home page", "Note", "Licence", "Version", "Channel"};
    for (int k = 0; k <= cPropSheetChild::ptList; ++k)
      s.setProperty(1, k + 1, names[k], "", k == 2 ? "example.org" : "value",
                    static_cast<cPropSheetChild::ePropTypes>(k));
    s.setPropertyVal(1, 7, 0, nullptr, "Stable", true);
    s.setSection(2, "Advanced");
    s.setProperty(2, 1, "Hidden", "", "x", cPropSheetChild::ptText);
    s.sectionSplit(2)->parent()->notifyAction(new cChildElement::cChildAction(cChildElement::acChange));
    ex.pane.setText("Release notes", kNotes);
    settle();
  }
  ~sSheetScene() {
    root.dettach(&bar);
    root.dettach(&ex);
  }
  void settle() { target.deliver(root); }
  void paint() {
    canvas.close();
    makeWhite(canvas, kW, kH);
    root.processPaint(&canvas);
    settle();
  }
  sRect rectOf(cChildElement* e) {
    sPoint p{0, 0};
    e->absPos(p);
    return {p.x, p.y, e->width(), e->height()};
  }
};

}  // namespace

TEST(PropSheetPixels, GridHeaderPaneAndBar) {
  sSheetScene s;
  s.paint();
  s.paint();  // the pane's height, reported by the first paint, is in place
  const std::string path = std::string(ZVK_BINARY_DIR) + "/propsheet_sheet.png";
  EXPECT_EQ(cairo_surface_write_to_png(s.canvas.surface(), path.c_str()), CAIRO_STATUS_SUCCESS);

  // The gap under the first value row is a grid line; the header is the
  // section colour.
  const sRect first = s.rectOf(s.ex.sheet.valueControl(1, 1));
  EXPECT_EQ(pixelAt(s.canvas, first.x + first.width / 2, first.y + first.height), themeColor(14));
  const sRect split = s.rectOf(s.ex.sheet.sectionSplit(1));
  EXPECT_EQ(pixelAt(s.canvas, split.x + split.width - 5, split.y - 3), themeColor(47));

  // The pane's content height is what it reported, and narrowing it wraps
  // into more lines.
  const int tall = s.ex.pane.minVisualHeight();
  EXPECT_GT(tall, 40);
  s.ex.pane.setMinVisualHeight(0);
  s.ex.move(0, kBar + 4, kW / 2, kH - kBar - 4);
  s.paint();
  EXPECT_GT(s.ex.pane.minVisualHeight(), tall);

  // Justified: the first text line reaches the right margin (5 + W - 25).
  s.ex.move(0, kBar + 4, kW, kH - kBar - 4);
  s.ex.pane.setMinVisualHeight(0);
  s.paint();
  const sRect pane = s.rectOf(&s.ex.pane);
  int rightmost = -1;
  for (int y = pane.y + 30; y < pane.y + 45; ++y)
    for (int x = pane.x; x < pane.x + pane.width - 2; ++x)
      if ((pixelAt(s.canvas, x, y) & 0xFF) < 0x80) rightmost = std::max(rightmost, x - pane.x);
  EXPECT_GE(rightmost, 5 + pane.width - 25 - 8);

  // One button per segment after the folder icon.
  std::vector<std::string> labels;
  for (int id = 1; id < 6; ++id)
    if (cButtonChild* b = s.bar.tools().findButton(id)) labels.push_back(b->text());
  EXPECT_EQ(labels, (std::vector<std::string>{"/", "home", "ann", "Downloads"}));
}
