// The choosers in real windows, opened over a host form on a scratch tree:
// the user presses Return until the chooser is gone, and its picture is
// left under build/ for review.
#include "window_user.h"
// The user header brings gtest and Xlib in the order they need.
#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "base/tests/scratch_dir.h"
#include "ciom/customform.h"
#include "ciom/filechoosedialog.h"
#include "ciom/folderchoosedialog.h"

namespace {

struct sTree : ScratchDir {
  sTree() {
    for (const char* d : {"/docs", "/docs/letters", "/docs/letters/2026", "/docs/photos", "/music"})
      mkdir((root + d).c_str(), 0755);
    for (const char* f : {"/docs/notes.txt", "/docs/report.pdf"})
      if (FILE* out = std::fopen((root + f).c_str(), "wb")) {
        std::fputs("some text\n", out);
        std::fclose(out);
      }
  }
};

// The chooser's picture once its listing had time to show, then Return
// until it closes (Return is ignored while a folder is being read).
void playChooser(const char* caption, const char* png) {
  cUser u;
  Window w = u.find(caption);
  u.pause(600);
  EXPECT_TRUE(u.screenshot(w, std::string(ZVK_BINARY_DIR) + "/" + png));
  for (int i = 0; i < 50 && u.shown(caption); ++i) {
    u.key(w, XK_Return);
    u.pause(100);
  }
}

}  // namespace

TEST(ChooserWindows, ChoosersOpenOnTheStartPathAndAnswer) {
  nstest::requireDisplay();
  sToolkitMaker m;
  sTree tmp;
  // No name: the folder chooser, which selects the start folder itself.
  const struct {
    bool saving;
    const char* name;
    const char* png;
    const char* chosen;
  } cases[] = {
      {false, nullptr, "folder_chooser.png", "/docs/letters"},
      {false, "notes.txt", "file_chooser_open.png", "/docs/notes.txt"},
      {true, "update", "file_chooser_save.png", "/docs/update.zip"},
  };
  for (const auto& c : cases) {
    std::string chosen;
    const char* caption = c.name ? "zvk-file-choose" : "zvk-folder-choose";
    std::thread user([&] { playChooser(caption, c.png); });
    EXPECT_EQ(hostRun(m, "zvk-host",
                      [&](cChildElement* host) {
                        if (!c.name) {
                          _guardchar<char> folder((tmp.root + c.chosen).c_str());
                          const bool ok = cFolderChooseDialog::choose(host, caption, folder);
                          chosen = folder.ptr ? folder.ptr : "";
                          return ok;
                        }
                        cFileChooseDialog::sFileChooseInfo info;
                        info.folder.set((tmp.root + "/docs").c_str());
                        info.file.set(c.name);
                        info.filters.set(1);
                        info.filters[0].name.set("Archives");
                        info.filters[0].pattern.set("*");
                        info.filters[0].extension.set("zip");
                        const bool ok = c.saving ? cFileChooseDialog::save(host, caption, info)
                                                 : cFileChooseDialog::open(host, caption, info);
                        chosen = info.file.ptr ? info.file.ptr : "";
                        return ok;
                      }),
              1)
        << c.png;
    user.join();
    EXPECT_EQ(chosen, tmp.root + c.chosen) << c.png;
  }
}
