// The choosers in real windows, opened over a host form on a scratch tree:
// the user presses Return until the chooser is gone, and its picture is
// left under build/ for review.
#include "window_user.h"
// The user header brings gtest and Xlib in the order they need.
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/tests/scratch_dir.h"
#include "ciom/customform.h"
#include "ciom/filechoosedialog.h"
#include "ciom/folderchoosedialog.h"
#include "ciom/themeuse.h"

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

// A folder A of three files and a large folder B.
struct sTwoFolders : ScratchDir {
  static constexpr int kBig = 20000;
  sTwoFolders() {
    for (const char* d : {"/A", "/B"}) mkdir((root + d).c_str(), 0755);
    for (const char* f : {"/A/0.txt", "/A/a.txt", "/A/b.txt"}) std::fclose(std::fopen((root + f).c_str(), "wb"));
    char name[32];
    for (int i = 0; i < kBig; ++i) {
      std::snprintf(name, sizeof name, "/B/b%05d.txt", i);
      std::fclose(std::fopen((root + name).c_str(), "wb"));
    }
  }
};

// Shown under the chooser's name row: it runs the user thread's questions
// and requests on the main thread, through its action queue.
class cOnMain : public cFileChooseDialog::cCustomElement {
 public:
  using tWork = std::function<void(cFileChooseDialog&)>;
  int customHeight() override { return 2; }
  std::future<void> post(tWork work) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    {
      std::lock_guard<std::mutex> hold(myLock);
      myWork = [this, work, done] {
        work(*dialog());
        done->set_value();
      };
    }
    postAction(new cChildAction(kRun));
    return finished;
  }
  bool run(tWork work) { return post(std::move(work)).wait_for(std::chrono::seconds(30)) == std::future_status::ready; }
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (sender != this || !a || a->code != kRun) return cCustomElement::onAction(sender, a);
    std::function<void()> work;
    {
      std::lock_guard<std::mutex> hold(myLock);
      work.swap(myWork);
    }
    if (work) work();
    return true;
  }

 private:
  enum { kRun = 1000 };
  cFileChooseDialog* dialog() {
    cFileChooseDialog* d = nullptr;
    for (cChildElement* p = parent(); p && !d; p = p->parent()) d = dynamic_cast<cFileChooseDialog*>(p);
    return d;
  }
  std::mutex myLock;
  std::function<void()> myWork;
};

// A theme colour (blue in the high byte) as the screen's pixel gives it.
unsigned int screenColour(int index) {
  const unsigned int c = themeColor(index);
  return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

unsigned int windowPixel(Display* d, Window w, int x, int y) {
  XImage* image = XGetImage(d, w, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0;
  const unsigned int pixel = static_cast<unsigned int>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
  XDestroyImage(image);
  return pixel;
}

}  // namespace

// Rows of a folder being left are not offered while the next one is read,
// and a click and Return given while the window was busy never land on the
// rows that came meanwhile: only rows on the screen can be chosen.
TEST(ChooserWindows, OnlyRowsOnTheScreenCanBeChosen) {
  nstest::requireDisplay();
  sToolkitMaker m;
  sTwoFolders tmp;
  cOnMain onMain;
  const char* caption = "zvk-file-choose-busy";
  std::atomic<bool> ended{false};
  std::string chosen;
  int rowsWhileReading = -1, selectedAfterBusyClick = -2;
  bool endedByBusyClick = false;
  std::thread user([&] {
    // Whatever failed, the chooser is closed so that the host returns.
    struct sClose {
      cOnMain& onMain;
      std::atomic<bool>& ended;
      ~sClose() {
        if (!ended) onMain.post([](cFileChooseDialog& d) { d.onFormCancel(); });
      }
    } close{onMain, ended};
    cUser u;
    Window w = u.find(caption);
    const auto forever = std::chrono::seconds(120);
    auto ask = [&](const std::function<bool(cFileChooseDialog&)>& question) {
      bool answer = false;
      return !ended && onMain.run([&](cFileChooseDialog& d) { answer = question(d); }) && answer;
    };
    auto shown = [&](int rows) {
      return cUser::waitFor(
          [&] {
            return ended || ask([&](cFileChooseDialog& d) {
                     return d.navigation().naviMode() == cNavigationChild::nmNormal &&
                            d.list().getRowCount() == rows && !d.list().rowsHeld();
                   });
          },
          forever);
    };
    // The second row's middle on the screen, and in the window.
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    ASSERT_TRUE(shown(3));
    ASSERT_TRUE(ask([&](cFileChooseDialog& d) {
      int top = 0, bottom = 0;
      sPoint at;
      if (!d.list().itemRange(d.list().nextBySort(d.list().firstBySort()), top, bottom) || !d.list().absPos(at))
        return false;
      rootX = at.x + 150;
      rootY = at.y + 1 + (top + bottom) / 2;
      return true;
    }));
    Window child;
    XTranslateCoordinates(u.peer.d, u.peer.root(), w, rootX, rootY, &winX, &winY, &child);

    u.peer.click(rootX, rootY);
    EXPECT_TRUE(cUser::waitFor([&] {
      const unsigned int px = windowPixel(u.peer.d, w, winX, winY);
      return px == screenColour(16) || px == screenColour(18);
    })) << "a.txt drawn selected";
    EXPECT_TRUE(u.screenshot(w, std::string(ZVK_BINARY_DIR) + "/file_chooser_selected_row.png"));
    EXPECT_TRUE(ask([](cFileChooseDialog& d) { return std::string(d.nameField().text()) == "a.txt"; }));

    ASSERT_TRUE(onMain.run([&](cFileChooseDialog& d) {
      d.ls((tmp.root + "/B").c_str());
      rowsWhileReading = d.list().getRowCount();
    }));
    EXPECT_TRUE(cUser::waitFor([&] { return windowPixel(u.peer.d, w, winX, winY) == screenColour(14); }, forever))
        << "a.txt left the screen";
    // The window is kept busy until B is read; the click and Return given
    // meanwhile wait in the queue behind B's rows.
    std::atomic<bool> busy{false}, release{false};
    std::future<void> held = onMain.post([&](cFileChooseDialog& d) {
      cUser::waitFor([&] { return !d.provider().runs(); }, forever);
      busy = true;
      cUser::waitFor([&] { return release.load(); }, forever);
    });
    ASSERT_TRUE(cUser::waitFor([&] { return busy.load(); }, forever));
    u.peer.click(rootX, rootY);
    u.key(w, XK_Return);
    XSync(u.peer.d, False);
    release = true;
    held.wait();
    ASSERT_TRUE(shown(sTwoFolders::kBig));
    endedByBusyClick = ended;
    if (ended) return;
    ask([&](cFileChooseDialog& d) {
      selectedAfterBusyClick = d.list().selected();
      return true;
    });

    // Once shown, B's rows are chosen as any others.
    u.peer.click(rootX, rootY);
    EXPECT_TRUE(cUser::waitFor([&] {
      return ask([](cFileChooseDialog& d) { return std::string(d.nameField().text()) == "b00001.txt"; });
    }));
    u.key(w, XK_Return);
    EXPECT_TRUE(cUser::waitFor([&] { return ended.load(); }, forever));
  });
  EXPECT_EQ(hostRun(m, "zvk-host",
                    [&](cChildElement* host) {
                      cFileChooseDialog::sFileChooseInfo info;
                      info.folder.set((tmp.root + "/A").c_str());
                      info.customElement = &onMain;
                      const bool ok = cFileChooseDialog::open(host, caption, info);
                      chosen = info.file.ptr ? info.file.ptr : "";
                      ended = true;
                      return ok;
                    }),
            1);
  user.join();
  EXPECT_EQ(rowsWhileReading, 0) << "the rows of A stayed on offer while B was read";
  EXPECT_FALSE(endedByBusyClick) << "a click given before B was shown chose " << chosen;
  EXPECT_EQ(selectedAfterBusyClick, -1);
  EXPECT_EQ(chosen, tmp.root + "/B/b00001.txt");
}

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

namespace {

// A folder of many subfolders, and the folder chooser opening it that
// holds its window still once the first of them are shown, until the user
// has pressed Escape: that key then waits in the queue behind whatever the
// chooser still had to do.
struct sManyFolders : ScratchDir {
  static constexpr int kCount = 20000;
  std::string big = root + "/big";
  sManyFolders() {
    mkdir(big.c_str(), 0755);
    for (int i = 0; i < kCount; ++i) mkdir((big + "/d" + std::to_string(i)).c_str(), 0755);
  }
};

// What the held chooser and the user share; it outlives the chooser.
struct sHold {
  std::atomic<bool> shown{false}, release{false}, walked{false};
  int rowsAtEnd = -1;
  std::string fieldAtEnd;
};

class cHeldChooser : public cFolderChooseDialog {
 public:
  cHeldChooser(std::string big, sHold& hold) : myBig(std::move(big)), myHold(hold) {}
  void onConstruct() override {
    cFolderChooseDialog::onConstruct();
    navigate(myBig.c_str());
  }
  bool onAction(cChildElement* sender, cChildAction* a) override {
    const bool handled = cFolderChooseDialog::onAction(sender, a);
    if (!myHold.shown && rows() > 0) {
      myHold.shown = true;
      cUser::waitFor([&] { return myHold.release.load(); }, std::chrono::seconds(120));
    }
    if (myHold.shown && !walking()) myHold.walked = true;
    return handled;
  }
  // What the chooser showed when it ended, however it was ended.
  ~cHeldChooser() override {
    myHold.rowsAtEnd = rows();
    myHold.fieldAtEnd = field().text() ? field().text() : "";
  }

 private:
  // The rows under the big folder's node, wherever the walk hung it.
  int rows() {
    for (cTreeItem* n = nodes().root(); n;) {
      auto* node = static_cast<cTreeFoldersContentItem*>(n);
      if (node->path.ptr && myBig == node->path.ptr) {
        int count = 0;
        for (cTreeItem* c = n->child; c; c = c->next) ++count;
        return count;
      }
      if (n->child) {
        n = n->child;
        continue;
      }
      while (n && !n->next) n = n->parent;
      if (n) n = n->next;
    }
    return 0;
  }
  std::string myBig;
  sHold& myHold;
};

// Opens the held chooser on a large folder; the user finds it, waits until
// it holds, and does `act` (told whether it held), releasing it after.
void playHeld(const char* caption, sHold& hold, const std::function<void(cUser&, Window, bool)>& act) {
  sToolkitMaker m;
  sManyFolders tmp;
  std::thread user([&] {
    cUser u;
    Window w = u.find(caption);
    const bool held = cUser::waitFor([&] { return hold.shown.load(); }, std::chrono::seconds(120));
    act(u, w, held && w);
  });
  EXPECT_EQ(hostRun(m, "zvk-host",
                    [&](cChildElement* host) {
                      return host->modal(caption, 350, 450, new cHeldChooser(tmp.big, hold), true) == 0;
                    }),
            1);
  user.join();
}

}  // namespace

// Escape or the close box, given while a large folder fills, ends the
// chooser at once: the rows still to come are never added.
TEST(ChooserWindows, EscapeOrTheCloseBoxEndsTheFolderChooserWhileAFolderFills) {
  nstest::requireDisplay();
  const struct {
    const char* caption;
    std::function<void(cUser&, Window)> end;
  } ways[] = {{"zvk-folder-choose-busy-escape", [](cUser& u, Window w) { u.key(w, XK_Escape); }},
              {"zvk-folder-choose-busy-close", [](cUser& u, Window w) { u.closeBox(w); }}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.caption);
    sHold hold;
    playHeld(way.caption, hold, [&](cUser& u, Window w, bool held) {
      if (held) {
        way.end(u, w);
        XSync(u.peer.d, False);
      }
      hold.release = true;
      EXPECT_TRUE(held);
      // One that did not hear is ended all the same, for the host to return.
      if (!cUser::waitFor([&] { return !u.shown(way.caption); }, std::chrono::seconds(30))) {
        ADD_FAILURE() << "the chooser stayed open";
        u.key(w, XK_Escape);
      }
    });
    EXPECT_GT(hold.rowsAtEnd, 0);
    EXPECT_LT(hold.rowsAtEnd, sManyFolders::kCount) << "the chooser waited for every row";
  }
}

// Keys typed in the path field while a large folder fills stay there when
// the fill ends: the folder opened does not take the field back.
TEST(ChooserWindows, TextTypedWhileAFolderFillsStaysInTheField) {
  nstest::requireDisplay();
  sHold hold;
  playHeld("zvk-folder-choose-typed", hold, [&](cUser& u, Window w, bool held) {
    for (KeySym k : {XK_slash, XK_t, XK_m, XK_p}) u.key(w, k);
    XSync(u.peer.d, False);
    hold.release = true;
    EXPECT_TRUE(held && cUser::waitFor([&] { return hold.walked.load(); }, std::chrono::seconds(120)));
    u.screenshot(w, std::string(ZVK_BINARY_DIR) + "/folder_chooser_typed.png");
    u.key(w, XK_Escape);
  });
  EXPECT_EQ(hold.rowsAtEnd, sManyFolders::kCount);
  EXPECT_EQ(hold.fieldAtEnd, "/tmp");
}
