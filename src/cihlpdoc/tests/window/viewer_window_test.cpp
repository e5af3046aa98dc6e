// The sample page in the viewer, in a real window for each language.
#include "ciplatform/tests/window_user.h"
// The user header brings gtest and Xlib in the order they need.
#include <string>
#include <thread>

#include "cihlpdoc/sidocloader.h"
#include "cihlpdoc/sidocviewer.h"
#include "ciom/customform.h"
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
    std::thread user([&] {
      cUser u;
      Window w = u.find(caption);
      u.pause(400);
      u.closeBox(w);
    });
    EXPECT_EQ(m.maker.modal(caption.c_str(), 440, 320, form, nullptr, false), 0) << page.code;
    user.join();
  }
}
