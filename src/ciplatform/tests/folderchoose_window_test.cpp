// The folder chooser in a real window, opened over a host form on a path
// inside a scratch tree; its picture is left under build/ for review.
#include "window_user.h"
// The user header brings gtest and Xlib in the order they need.
#include <sys/stat.h>

#include <string>
#include <thread>

#include "base/tests/scratch_dir.h"
#include "ciom/customform.h"
#include "ciom/folderchoosedialog.h"

namespace {

// Opens the chooser once it is live, and ends with what it answered.
class cHostForm : public cCustomForm {
 public:
  std::string* folder = nullptr;  // start in, chosen out
  bool onAfterConstruct() override {
    _guardchar<char> f(folder->c_str());
    const bool chose = cFolderChooseDialog::choose(this, "zvk-folder-choose", f);
    *folder = f.ptr ? f.ptr : "";
    end_modal(chose ? 1 : 2);
    return true;
  }
};

}  // namespace

TEST(FolderChooseWindow, OpensOnTheStartPathAndSelectsIt) {
  nstest::requireDisplay();
  sToolkitMaker m;
  ScratchDir tmp;
  for (const char* d : {"/docs", "/docs/letters", "/docs/letters/2026", "/docs/photos", "/music"})
    ASSERT_EQ(mkdir((tmp.root + d).c_str(), 0755), 0);
  const std::string start = tmp.root + "/docs/letters";
  std::string folder = start;
  auto* host = new cHostForm;
  host->folder = &folder;
  std::thread user([&] {
    cUser u;
    Window w = u.find("zvk-folder-choose");
    u.pause(400);
    EXPECT_TRUE(u.screenshot(w, std::string(ZVK_BINARY_DIR) + "/folder_chooser.png"));
    u.key(w, XK_Return);
  });
  EXPECT_EQ(m.maker.modal("zvk-host", 500, 500, host, nullptr, false), 1);
  user.join();
  EXPECT_EQ(folder, start);
}
