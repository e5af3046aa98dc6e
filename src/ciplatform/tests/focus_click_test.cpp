// One left click on a real window, from the X server through the window
// layer and the translator to the element tree, asks for the focus once.
#include "nslib/tests/x11_driver.h"
// x11_driver.h brings gtest and Xlib in the order they need.
#include "ciom/child.h"
#include "ciplatform/nswmaker.h"

namespace {

class cCountingRoot : public cChildElement {
 public:
  int focusRequests = 0;
  int presses = 0;
  int paints = 0;
  void processFocus(int x, int y, int button, bool f1, bool f2) override {
    ++focusRequests;
    cChildElement::processFocus(x, y, button, f1, f2);
  }
  void onMouseButton(int, int, int button, bool down) override { presses += button == 1 && down; }
  void onPaint(cCanvas*) override { ++paints; }
};

}  // namespace

TEST(FocusPath, OneLeftClickAsksForTheFocusOnce) {
  nstest::requireDisplay();
  cNSWMaker maker;
  ASSERT_TRUE(maker.create(nullptr, nullptr, 0));
  auto* root = new cCountingRoot;
  cWindowHolder* holder = maker.asyncwnd("Focus", 200, 120, root, nullptr, false, 40, 40);
  ASSERT_TRUE(holder);
  auto& window = static_cast<cNSWHolder*>(holder)->translator;
  window.show();
  ASSERT_TRUE(nstest::pumpUntil([&] { return root->paints > 0; }));

  nstest::cPeer user;
  ASSERT_TRUE(user.d);
  int x, y;
  Window child;
  XTranslateCoordinates(user.d, nstest::xidOf(window.handle()), user.root(), 30, 30, &x, &y, &child);
  int before = root->focusRequests;
  user.click(x, y);
  ASSERT_TRUE(nstest::pumpUntil([&] { return root->presses == 1; }));
  // Anything late would arrive with the next events.
  nstest::pumpUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(root->focusRequests - before, 1);
  EXPECT_TRUE(root->focused());
  holder->dispose(false);  // leaves the maker's list and deletes the root with it
}
