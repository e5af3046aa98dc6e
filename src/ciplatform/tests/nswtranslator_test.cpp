// The translator and maker over real windows: what reaches the element
// tree, forms run modally and as sheets, the clipboard in the toolkit's
// UTF-8, and a painted tree read back from the screen.
#include <cstdio>
#include <cstdlib>

#include "ciom/child.h"
#include "ciom/fontobject.h"
#include "ciom/picture.h"
#include "ciplatform/crbcanvas.h"
#include "ciplatform/nswmaker.h"
#include "nslib/tests/x11_driver.h"

namespace {

// Records what the tree is told, and ends its window when asked to.
class cRecorded : public cChildElement {
 public:
  std::vector<std::string> heard;
  bool* deleted = nullptr;
  int endWith = 0;
  bool agreeToClose = true;
  ~cRecorded() override {
    if (deleted) *deleted = true;
  }
  bool processKey(int key, bool shift, bool mod2, bool mod3) override {
    heard.push_back("key " + std::to_string(key) + (shift ? " shift" : "") + (mod2 ? " ctrl" : "") +
                    (mod3 ? " alt" : ""));
    return true;
  }
  bool processChar(unsigned short ch, bool, bool, bool) override {
    heard.push_back("char " + std::to_string(ch));
    return true;
  }
  bool processMouseWheel(int, int, bool f1, bool, int delta) override {
    heard.push_back(std::string("wheel ") + (f1 ? "back " : "on ") + std::to_string(delta));
    return true;
  }
  bool processPostFirst(cChildElement* e) override {
    if (e == this && endWith) winTarget()->_rt_modalresult(endWith);
    return true;
  }
  bool onClose() override { return agreeToClose; }
  // Once the window is there, a posted action wakes it.
  void onConstruct() override {
    if (endWith) postAction(new cChildAction);
  }
};

// Rectangles, text in several scripts and a picture.
class cScene : public cChildElement {
 public:
  int paints = 0;
  void onPaint(cCanvas* c) override {
    ++paints;
    sRect all{0, 0, width(), height()};
    c->drawRect(&all, 0xF0F0F0, 0x808080);
    sRect box{10, 10, 120, 40};
    c->drawRect(&box, 0x3366CC, 0x000000);
    cFontObject* font = cFontObject::get(0, 16, "Tahoma", false, false, false);
    c->setTextMode(font);
    c->setTextColors(0x202020, 0xF0F0F0);
    int y = 60;
    for (const char* line :
         {"Install packages", "Пакеты и обновления", "软件包管理器", "パッケージ", "Ελληνικά"}) {
      c->drawText(10, y, true, line, -1);
      y += 24;
    }
    cPicture picture;
    picture.create(0xFF00FF00u, 48, 48);
    for (int i = 0; i < 48 * 48; ++i) picture.raw()[i] = 0xFF000000u | (i % 48) * 5 << 16 | (i / 48) * 5;
    c->drawBitmap(200, 20, &picture, 48, 48);
  }
};

}  // namespace

TEST(Translator, PassesOnlyWhatTheTreeTakes) {
  cNSWTranslator t;
  auto* root = new cRecorded;
  t.setRoot(root);
  t.onKey(0x109, true, false, false, true, false);   // Shift-Tab
  t.onKey(0x109, false, false, false, true, false);  // its release never arrives
  t.onKey('C', true, true, false, false, true);      // Control-Alt-C
  for (unsigned short unit : {13, 27, 31, 127, 32, 0x44F}) t.onChar(unit, false, false);
  t.onMouseWheel(0, 0, 0, -1, 0, false, false, false, false);
  t.onMouseWheel(0, 0, 0, 3, 0, false, false, false, false);
  EXPECT_EQ(root->heard, (std::vector<std::string>{"key 265 shift", "key 67 ctrl alt", "char 32", "char 1103",
                                                   "wheel back 1", "wheel on 3"}));
}

TEST(Translator, FormsRunModallyAndAsSheetsAndAreDeletedAfter) {
  nstest::requireDisplay();
  cNSWMaker maker;
  ASSERT_TRUE(maker.create(nullptr, nullptr, 0));
  EXPECT_EQ(maker.modal("None", 100, 100, nullptr, nullptr, false), -1);

  bool outerGone = false, innerGone = false;
  int innerResult = 0;
  // The outer form opens the inner one as its sheet, then ends with 7.
  class cOuter : public cRecorded {
   public:
    bool* innerGone;
    int* innerResult;
    bool processPostFirst(cChildElement* e) override {
      if (e != this || *innerResult) return true;
      auto* inner = new cRecorded;
      inner->deleted = innerGone;
      inner->endWith = 3;
      *innerResult = winTarget()->_rt_modal("Inner", 80, 60, inner, false);
      winTarget()->_rt_modalresult(7);
      return true;
    }
  };
  auto* outer = new cOuter;
  outer->deleted = &outerGone;
  outer->innerGone = &innerGone;
  outer->innerResult = &innerResult;
  outer->endWith = 1;  // wakes it once shown
  // A test that would hang fails instead.
  nstest::cDeadline deadline(
      [] {
        std::fprintf(stderr, "deadline passed\n");
        std::abort();
      },
      std::chrono::seconds(20));
  EXPECT_EQ(maker.modal("Outer", 300, 200, outer, nullptr, false), 7);
  EXPECT_EQ(innerResult, 3);
  EXPECT_TRUE(innerGone);
  EXPECT_TRUE(outerGone);
}

TEST(Translator, ClipboardSpeaksUtf8) {
  nstest::requireDisplay();
  cNSWTranslator t;
  const char text[] = "Grüße — 世界";
  ASSERT_TRUE(t._rt_copy_text(text, -1));
  EXPECT_TRUE(t._rt_request_has_copied(false));
  _typebuf<unsigned char> out;
  ASSERT_TRUE(t._rt_request_copied_text(out));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.ptr), static_cast<size_t>(out.count)), text);
  // A length counting the terminator still gives other programs the text alone.
  ASSERT_TRUE(t._rt_copy_text(text, sizeof text));
  ASSERT_TRUE(t._rt_request_copied_text(out));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.ptr), static_cast<size_t>(out.count)), text);

  ASSERT_TRUE(t._rt_copy_text(nullptr, 0));
  EXPECT_FALSE(t._rt_request_has_copied(false));
}

TEST(Translator, APaintedTreeReadsBackAsOffScreen) {
  nstest::requireDisplay();
  constexpr int kW = 320, kH = 200;
  cNSWMaker maker;
  maker.create(nullptr, nullptr, 0);
  auto* shown = new cScene;
  cWindowHolder* holder = maker.asyncwnd("Scene", kW, kH, shown, nullptr, false, 40, 40);
  ASSERT_TRUE(holder);
  auto& window = static_cast<cNSWHolder*>(holder)->translator;
  window.show();
  nstest::pumpUntil([&] { return shown->paints > 0; });
  ASSERT_GT(shown->paints, 0);

  Display* d = nsapp()->display;
  XSync(d, False);
  Window xid = nswnd_cgctx(window.handle())->drawable;
  XImage* screen = XGetImage(d, xid, 0, 0, kW, kH, AllPlanes, ZPixmap);
  ASSERT_TRUE(screen);

  cScene hidden;
  hidden.setWinTarget(nullptr, 0, 0, kW, kH);
  cCrbOffscreenCanvas canvas;
  ASSERT_TRUE(canvas.create(kW, kH));
  hidden.processPaint(&canvas);
  cPicture off;
  sRect all{0, 0, kW, kH};
  ASSERT_TRUE(canvas.snapshot(&off, &all));

  int differ = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if ((XGetPixel(screen, x, y) & 0xFFFFFF) != (off.raw()[y * kW + x] & 0xFFFFFF)) ++differ;
  EXPECT_EQ(differ, 0);
  XDestroyImage(screen);

  holder->dispose(false);
}
