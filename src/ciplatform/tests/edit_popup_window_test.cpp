// The text field and the popup menu in real windows. A second X connection
// plays the user through XTest; xclip stands for another program on the
// same desktop, reading and filling the CLIPBOARD selection.
#include "window_user.h"
// The user header brings gtest and Xlib in the order they need.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/textconv.h"
#include "ciom/customform.h"
#include "ciom/edit.h"
#include "ciom/popupmaster.h"
#include "ciom/splitter.h"

namespace {

// xclip with fixed arguments, never through a shell: `input` goes to its
// standard input, its standard output comes back.
std::string xclip(const char* mode, const std::string& input = "") {
  int in[2], out[2];
  if (pipe(in) || pipe(out)) return "<no pipe>";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    // Filling the clipboard leaves xclip behind to serve it; that one must
    // hold neither our end of the output nor the test runner's streams.
    if (input.empty()) {
      dup2(out[1], 1);
    } else {
      const int none = open("/dev/null", O_WRONLY);
      dup2(none, 1);
      dup2(none, 2);
    }
    close(in[0]);
    close(in[1]);
    close(out[0]);
    close(out[1]);
    // A clipboard owner that never answers must not hang the test.
    execlp("timeout", "timeout", "10", "xclip", "-selection", "clipboard", "-t", "UTF8_STRING", mode,
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  if (!input.empty() && write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size()))
    return "";
  close(in[1]);
  std::string got;
  char buf[4096];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return got;
}

// A form with one field; Enter in the field records its text, Escape with
// nothing selected ends the run.
class cFieldForm : public cCustomForm {
 public:
  cEditChild field;
  std::atomic<bool> ready{false};
  std::atomic<int> changes{0};
  std::vector<std::string>* seen = nullptr;
  void onConstruct() override {
    cCustomForm::onConstruct();
    clientArea()->attach(&field, 10, 10, 260, 24);
    field.setSelectOnFocus(false);
  }
  bool onAfterConstruct() override {
    field.focus();
    ready = true;
    return false;
  }
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (sender == &field && a->code == acChange) {
      seen->push_back(field.text());
      ++changes;
      return true;
    }
    if (sender == &field && a->code == acActivate) {
      end_modal(1);
      return true;
    }
    return cCustomForm::onAction(sender, a);
  }
};

// A form that opens a menu over itself once it runs and ends with its answer.
class cMenuForm : public cCustomForm {
 public:
  cPopupMaster::tItems items;
  std::atomic<bool> opening{false};
  bool onAfterConstruct() override {
    items.insert(-5)->text.set("Remove");
    items.insert(2)->text.set("Install");
    items.insert(3)->text.set("Update");
    opening = true;
    sPoint at;
    absPos(at);
    end_modal(cPopupMaster::simplePopup(this, &items, at.x + 40, at.y + 40, nullptr));
    return true;
  }
};

// Two panes split by a bar; Enter records the left pane's width and where
// the right one starts, Escape ends the run.
class cSplitForm : public cCustomForm {
 public:
  cSplitterChild split;
  cChildElement left, right;
  std::atomic<int> splitX{-1}, barX{-1}, barY{-1};
  std::vector<std::pair<int, int>>* seen = nullptr;
  void onConstruct() override {
    cCustomForm::onConstruct();
    clientArea()->attach(&split, 10, 10, 300, 60);
    split.attach(0, &left, 150);
    split.attach(1, &right, 150);
    left.setMinSize(40, 0);
    right.setMinSize(60, 0);
  }
  bool onAfterConstruct() override {
    sPoint at;
    split.absPos(at);
    barY = at.y + 30;
    barX = at.x + left.width() + 1;
    splitX = at.x;
    return false;
  }
  bool onFormAccept() override {
    sRect r;
    split.childRect(&right, &r);
    seen->push_back({left.width(), r.x + r.width});
    return true;
  }
  bool onFormCancel() override {
    end_modal(1);
    return true;
  }
};

// Puts the pointer over the window of that caption: the server then gives
// it the keys, as there is no window manager to give it the focus.
bool pointAt(nstest::cPeer& p, const std::string& caption) {
  return cUser::waitFor([&] {
    XWindowAttributes a;
    const Window w = captioned(p, caption);
    if (w && XGetWindowAttributes(p.d, w, &a)) p.moveTo(a.x + a.width / 2, a.y + a.height - 10);
    return w != 0;
  });
}

}  // namespace

TEST(EditWindows, ClipboardAndKeysAgainstAnotherProgram) {
  nstest::requireDisplay();
  sToolkitMaker m;
  std::vector<std::string> seen;
  auto* form = new cFieldForm;
  form->seen = &seen;
  const std::string words = "Привет 日本 \xF0\x9F\x98\x80";
  std::vector<std::string> copied;
  std::thread user([&] {
    nstest::cPeer u;
    if (!cUser::waitFor([&] { return form->ready.load(); }) || !pointAt(u, "zvk-edit-clipboard")) return;
    cUser::pause(300);
    auto ctrl = [&](KeySym k) { u.key(k, XK_Control_L); };
    auto shift = [&](KeySym k) { u.key(k, XK_Shift_L); };
    auto enter = [&] {
      u.key(XK_Return);
      cUser::pause(100);
    };
    // The field takes the clipboard while it handles the keys, after they
    // were sent: what it holds is waited for, not a time.
    auto copiedOnce = [&](const std::string& want) {
      std::string got;
      cUser::waitFor([&] { return (got = xclip("-o")) == want; });
      copied.push_back(got);
    };
    for (KeySym k : {XK_a, XK_b, XK_c}) u.key(k);
    enter();
    ctrl(XK_a);
    ctrl(XK_c);
    copiedOnce("abc");
    u.key(XK_End);
    shift(XK_Left);
    ctrl(XK_Insert);
    copiedOnce("c");
    xclip("-i", words);
    copiedOnce(words);
    ctrl(XK_a);
    ctrl(XK_v);
    enter();
    shift(XK_Insert);
    enter();
    ctrl(XK_a);
    shift(XK_Delete);
    enter();
    copiedOnce(words + words);
    for (KeySym k : {XK_x, XK_y}) u.key(k);
    ctrl(XK_a);
    ctrl(XK_x);
    enter();
    copiedOnce("xy");
    // U+1F600 from a Unicode keysym: two units, one character.
    const KeyCode smile = u.mapSpare(0x1000000 + 0x1F600);
    u.typeCode(smile);
    enter();
    u.key(XK_Left);
    u.key(XK_a);
    enter();
    u.key(XK_End);
    u.key(XK_BackSpace);
    enter();
    u.key(XK_Escape);
  });
  EXPECT_EQ(m.maker.modal("zvk-edit-clipboard", 300, 120, form, nullptr, false), 1);
  user.join();
  EXPECT_EQ(copied, (std::vector<std::string>{"abc", "c", words, words + words, "xy"}));
  EXPECT_EQ(seen, (std::vector<std::string>{"abc", words, words + words, "", "", "\xF0\x9F\x98\x80",
                                            "a\xF0\x9F\x98\x80", "a"}));
}

// Texts that other programs hand over in pieces are pasted whole and cut
// to the field's length, however large.
TEST(EditWindows, ALargePasteFromAnotherProgramFillsTheField) {
  nstest::requireDisplay();
  sToolkitMaker m;
  const struct {
    size_t bytes;
    const char* picture;
  } cases[] = {{4 << 10, nullptr}, {100 << 10, nullptr}, {10 << 20, "pasted_10mb_field.png"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    std::string text;
    for (int i = 0; text.size() < c.bytes; ++i) text += "Grüße 世界 " + std::to_string(i) + " ";
    std::vector<std::string> seen;
    auto* form = new cFieldForm;
    form->seen = &seen;
    const long long room = form->field.maxLen();
    std::thread user([&] {
      cUser u;
      if (!cUser::waitFor([&] { return form->ready.load(); }) || !pointAt(u.peer, "zvk-edit-paste")) return;
      xclip("-i", text);
      cUser::waitFor([&] { return xclip("-o").size() == text.size(); });
      u.peer.key(XK_v, XK_Control_L);
      u.peer.key(XK_Return);
      cUser::waitFor([&] { return form->changes.load() > 0; });
      if (c.picture) u.screenshot(captioned(u.peer, "zvk-edit-paste"), std::string(ZVK_BINARY_DIR) + "/" + c.picture);
      u.peer.key(XK_Escape);
    });
    EXPECT_EQ(m.maker.modal("zvk-edit-paste", 300, 120, form, nullptr, false), 1);
    user.join();
    _typebuf<unsigned short> units;
    _pc2w(text.data(), static_cast<long long>(text.size()), units);
    _typebuf<char> head;
    _w2pc(units.ptr, room, head);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::string(head.ptr, static_cast<size_t>(head.count)));
  }
}

TEST(PopupWindows, AMenuIsAPopUpThatAnswersTheUser) {
  nstest::requireDisplay();
  sToolkitMaker m;
  const struct {
    const char* name;
    int answer;
  } cases[] = {{"first item", -5}, {"third item", 3}, {"escape", -1}, {"click outside", -1}};
  for (const auto& c : cases) {
    auto* form = new cMenuForm;
    std::thread user([&] {
      nstest::cPeer u;
      // The menu is the only pop-up on the screen: the previous case's is gone.
      const Window menu = waitForPopup(u);
      if (!menu) return;
      cUser::pause(200);
      XWindowAttributes a;
      XGetWindowAttributes(u.d, menu, &a);
      const std::string n = c.name;
      if (n == "first item") u.click(a.x + 10, a.y + 8);
      if (n == "third item") u.click(a.x + 10, a.y + a.height - 8);
      if (n == "escape") u.key(XK_Escape);
      if (n == "click outside") u.click(a.x + a.width + 40, a.y + a.height + 40);
    });
    EXPECT_EQ(m.maker.modal("zvk-menu", 400, 300, form, nullptr, false), c.answer) << c.name;
    user.join();
  }
}

TEST(SplitterWindows, ADraggedBarFollowsThePointerWithinTheMinimums) {
  nstest::requireDisplay();
  sToolkitMaker m;
  auto* form = new cSplitForm;
  std::vector<std::pair<int, int>> seen;
  form->seen = &seen;
  std::thread user([&] {
    nstest::cPeer u;
    if (!cUser::waitFor([&] { return form->barX.load() >= 0; })) return;
    cUser::pause(300);
    const int x = form->barX, y = form->barY, start = form->splitX;
    u.moveTo(x, y);
    XTestFakeButtonEvent(u.d, 1, True, 0);
    XSync(u.d, False);
    cUser::pause(200);
    // Each place is reached by two moves, the pointer settling in between, so
    // a busy machine's coalescing cannot leave the bar behind.
    for (int to : {start + 100, start + 5, start + 295}) {
      u.moveTo(to + 1, y);
      cUser::pause(150);
      u.moveTo(to, y);
      cUser::pause(250);
      u.key(XK_Return);
      cUser::pause(150);
    }
    XTestFakeButtonEvent(u.d, 1, False, 0);
    XSync(u.d, False);
    u.key(XK_Escape);
  });
  EXPECT_EQ(m.maker.modal("zvk-splitter", 360, 160, form, nullptr, false), 1);
  user.join();
  // Left widths after each move: with the pointer, at the left pane's least
  // 40, and where the right pane keeps its least 60 of the 300; the right
  // pane always ends at the splitter's end.
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_NEAR(seen[0].first, 100, 3);
  EXPECT_EQ(seen[1].first, 40);
  EXPECT_NEAR(seen[2].first, 300 - 3 - 60, 3);
  for (const auto& s : seen) EXPECT_NEAR(s.second, 300, 3);
}
