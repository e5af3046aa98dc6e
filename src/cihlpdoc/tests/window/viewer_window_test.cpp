// The sample page in the viewer, in a real window for each language; the
// window is left in the build folder as hdoc-<code>.png for people to look at.
#include "nslib/tests/x11_driver.h"
// The driver header brings gtest and Xlib in the order they need.
#include <string>
#include <thread>

#include "cihlpdoc/sidocloader.h"
#include "cihlpdoc/sidocviewer.h"
#include "ciom/customform.h"
#include "ciplatform/tests/window_fixtures.h"
#include "support/samplepage.h"

namespace {

class cViewerForm : public cCustomForm {
 public:
  cSiDocViewer viewer;
  cSiDocBox* root = nullptr;
  void onConstruct() override {
    cCustomForm::onConstruct();
    clientArea()->attach(&viewer, 0, 0, clientArea()->width(), clientArea()->height());
    viewer.refSiDoc(root, 0xFFFFFF);
  }
  ~cViewerForm() override { clientArea()->dettach(&viewer); }
};

// The viewable top-level window with this caption, or 0.
Window findWindow(nstest::cPeer& peer, const std::string& caption) {
  Window root, parent, *kids = nullptr, found = 0;
  unsigned int n = 0;
  if (XQueryTree(peer.d, peer.root(), &root, &parent, &kids, &n) && kids)
    for (unsigned int i = 0; i < n; ++i) {
      XWindowAttributes a;
      if (XGetWindowAttributes(peer.d, kids[i], &a) && a.map_state == IsViewable &&
          peer.property(kids[i], "_NET_WM_NAME") == caption)
        found = kids[i];
    }
  if (kids) XFree(kids);
  return found;
}

}  // namespace

TEST(SiDocViewerWindow, SamplePagesInSixLanguages) {
  nstest::requireDisplay();
  sToolkitMaker m;
  sSamplePages sample;
  ASSERT_TRUE(sample.load()) << sample.error;
  for (const sSamplePage& page : kSamplePages) {
    auto* form = new cViewerForm;
    form->root = sample.loader.forLang(page.lang);
    ASSERT_NE(form->root, nullptr) << page.code;
    const std::string caption = std::string("zvk-hdoc-") + page.code;
    const std::string png = std::string(ZVK_BINARY_DIR) + "/hdoc-" + page.code + ".png";
    std::thread user([&] {
      nstest::cPeer peer;
      Window w = 0;
      for (int i = 0; i < 750 && !w; ++i) {
        w = findWindow(peer, caption);
        if (!w) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      ASSERT_NE(w, 0u) << caption;
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      XWindowAttributes a;
      EXPECT_TRUE(XGetWindowAttributes(peer.d, w, &a) && writeScreenPng(peer.d, w, 0, 0, a.width, a.height, png))
          << png;
      peer.closeBox(w);
    });
    EXPECT_EQ(m.maker.modal(caption.c_str(), 440, 320, form, nullptr, false), 0) << page.code;
    user.join();
  }
}
