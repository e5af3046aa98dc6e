// The document viewer on the test platform and the fixed-metric canvas
// (7 px per character, lines 14 px apart): link hit-testing, clicks, keys,
// and that painting after the first layout only copies.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cihlpdoc/sidocviewer.h"
#include "support/canvaslog.h"
#include "support/fixedcanvas.h"
#include "support/testplatform.h"

namespace {

constexpr int kLine = 14;

struct sCopy {
  cCanvas* band;
  int y, fromY;
};

class cCountingCanvas;

struct sPaintLog {
  int textSizes = 0, offscreens = 0;
  std::vector<sCopy> copies;
  std::vector<cCountingCanvas*> bands;  // owned by the viewer
};

// Counts measuring, hands out off-screen canvases of its own kind (refusing
// the heights a real one refuses) and records every copy from them.
class cCountingCanvas : public cLoggingCanvas<cFixedMetricCanvas> {
 public:
  cCountingCanvas(int w, int h, sPaintLog& log, bool band = false) : cLoggingCanvas(w, h), myLog(log), myBand(band) {}
  // Measuring for the layout; what drawing a text measures on a band is
  // the drawing's own. UTF-8 is measured through the UTF-16 form.
  using cLoggingCanvas::textSize;
  bool textSize(const unsigned short* text, long long len, sSize& out) override {
    myLog.textSizes += !myBand;
    return cFixedMetricCanvas::textSize(text, len, out);
  }
  cCanvas* offscreen(int w, int h, int, int) override {
    if (w < 1 || h < 1 || h > cSiDocViewer::kBandHeight) return nullptr;
    ++myLog.offscreens;
    auto* band = new cCountingCanvas(w, h, myLog, true);
    myLog.bands.push_back(band);
    return band;
  }
  bool draw(int x, int y, cCanvas* src, int, int sy, int, int) override {
    if (x != 0) ADD_FAILURE() << "a copy starts at x " << x;
    myLog.copies.push_back({src, y, sy});
    return true;
  }

 private:
  sPaintLog& myLog;
  bool myBand;
};

class cTestViewer : public cSiDocViewer {
 public:
  std::vector<std::string> opened;
  void onActiveZone(char* ref) override { opened.emplace_back(ref); }
};

char kSite[] = "https://example.org/a b";
char kOther[] = "/tmp/other";

cSiDocText* run(const char* text, bool lineBreak) {
  auto* t = new cSiDocText;
  t->setText(text, static_cast<long long>(strlen(text)));
  t->setBreak(lineBreak);
  return t;
}

cSiDocLink* link(const char* text, char* target, bool lineBreak) {
  auto* l = new cSiDocLink;
  l->setText(text, static_cast<long long>(strlen(text)));
  l->refRef(target);
  l->setBreak(lineBreak);
  return l;
}

// `lines` lines of text, the link "go" (14 x 14) starting line `linkLine`,
// another link to the same target right after it, and one to another target
// on the line below.
cSiDocContainer* document(int lines, int linkLine) {
  auto* root = new cSiDocContainer;
  for (int i = 0; i < lines; ++i) {
    if (i == linkLine) {
      root->addChild(link("go", kSite, true));
      root->addChild(link("on", kSite, false));
      root->addChild(link("far", kOther, true));
    }
    root->addChild(run(i + 1 == lines ? "omega" : "alpha", true));
  }
  return root;
}

struct sViewer {
  cTestRequestTarget window;
  cChildElement top;
  cTestViewer view;
  sPaintLog log;
  std::unique_ptr<cSiDocContainer> doc;
  sViewer(int w, int h, cSiDocContainer* d) : doc(d) {
    window.bind(&top, 1000, 1000);
    top.attach(&view, 0, 0, w, h);
    view.refSiDoc(doc.get(), 0xFFFFFF);
  }
  ~sViewer() { top.dettach(&view); }
  void paint() {
    cCountingCanvas screen(view.width(), view.height(), log);
    view.onPaintArea(&screen);
    while (window.drain()) {
    }
  }
  void key(int k) {
    view.onKey(k, false, false, false);
    while (window.drain()) {
    }
  }
};

}  // namespace

TEST(SiDocViewer, LinkAreasAreInclusiveAndFollowTheScroll) {
  sViewer s(200, 100, document(40, 2));
  s.paint();
  // "go" is 14 x 14 at line 2 (y 28), "on" 4 px further; the scroll then
  // moves them up by 15.
  const struct {
    int x, y;
    const char* hit;
  } cases[] = {
      {0, 28, kSite},   {13, 41, kSite},  {14, 28, nullptr},  // the word gap before "on"
      {18, 28, kSite},
      {0, 27, nullptr}, {0, 42, kOther}, {0, 56, nullptr}, {100, 30, nullptr},
  };
  for (const auto& c : cases) EXPECT_EQ(s.view.getRef(c.x, c.y), c.hit) << c.x << "," << c.y;
  s.key(cChildElement::kcDown);
  ASSERT_EQ(s.view.shiftY(), 15);
  for (const auto& c : cases) EXPECT_EQ(s.view.getRef(c.x, c.y - 15), c.hit) << c.x << "," << c.y << " scrolled";
}

TEST(SiDocViewer, PressAndReleaseOnTheSameTargetOpensIt) {
  const struct {
    const char* name;
    int button;
    sPoint press, release;
    bool opens;
  } cases[] = {
      {"same link", cChildElement::mbLeft, {1, 30}, {12, 40}, true},
      {"another link to the target", cChildElement::mbLeft, {1, 30}, {20, 30}, true},
      {"released elsewhere", cChildElement::mbLeft, {1, 30}, {150, 30}, false},
      {"released on another target", cChildElement::mbLeft, {1, 30}, {1, 44}, false},
      {"pressed elsewhere", cChildElement::mbLeft, {150, 30}, {1, 30}, false},
      {"right button", cChildElement::mbRight, {1, 30}, {1, 30}, false},
  };
  for (const auto& c : cases) {
    sViewer s(200, 100, document(10, 2));
    s.paint();
    s.view.onMouseButton(c.press.x, c.press.y, c.button, true);
    s.view.onMouseButton(c.release.x, c.release.y, c.button, false);
    EXPECT_EQ(s.view.opened.size(), c.opens ? 1u : 0u) << c.name;
    if (c.opens && !s.view.opened.empty()) {
      EXPECT_EQ(s.view.opened[0], kSite) << c.name;
    }
  }
}

TEST(SiDocViewer, KeysMoveTheScrollBar) {
  sViewer s(200, 100, document(40, 2));
  s.paint();
  const unsigned long long max = 40ull * kLine + 2 * kLine - 100;
  ASSERT_EQ(s.view.vbar().maxval(), max);
  const unsigned long long page = s.view.vbar().pageQuantum();
  const struct {
    int key;
    unsigned long long pos;
  } steps[] = {
      {cChildElement::kcDown, 15},      {cChildElement::kcRight, 30},          {cChildElement::kcUp, 15},
      {cChildElement::kcLeft, 0},       {cChildElement::kcPageDown, page},     {cChildElement::kcEnd, max},
      {cChildElement::kcDown, max},     {cChildElement::kcPageUp, max - page}, {cChildElement::kcHome, 0},
      {'a', 0},
  };
  for (const auto& st : steps) {
    s.key(st.key);
    EXPECT_EQ(s.view.vbar().pos(), st.pos) << "key " << st.key;
    EXPECT_EQ(static_cast<unsigned long long>(s.view.shiftY()), st.pos) << "key " << st.key;
  }
  // A document that fits leaves nothing to scroll, whatever range the hidden
  // bar kept from the taller one.
  s.key(cChildElement::kcEnd);
  std::unique_ptr<cSiDocContainer> shorter(document(2, 0));
  s.view.refSiDoc(shorter.get(), 0xFFFFFF);
  s.paint();
  for (int k : {cChildElement::kcDown, cChildElement::kcPageDown, cChildElement::kcEnd}) {
    s.key(k);
    EXPECT_EQ(s.view.shiftY(), 0) << "key " << k;
  }
  s.view.refSiDoc(s.doc.get(), 0xFFFFFF);
}

TEST(SiDocViewer, ScrollingOnlyCopiesAndOnlyAWidthOrDocumentChangeLaysOutAgain) {
  sViewer s(200, 100, document(40, 2));
  s.paint();
  ASSERT_GT(s.log.textSizes, 0);
  ASSERT_EQ(s.log.offscreens, 1);
  s.log = {};
  for (int k : {cChildElement::kcPageDown, cChildElement::kcDown, cChildElement::kcEnd}) {
    s.key(k);
    s.paint();
  }
  EXPECT_EQ(s.log.textSizes, 0);
  EXPECT_EQ(s.log.offscreens, 0);
  EXPECT_EQ(s.log.copies.size(), 3u);

  s.view.move(0, 0, 200, 101);
  s.paint();
  EXPECT_EQ(s.log.offscreens, 0) << "a height change";
  s.view.move(0, 0, 201, 101);
  s.paint();
  EXPECT_EQ(s.log.offscreens, 1) << "a width change";
  EXPECT_GT(s.log.textSizes, 0);

  EXPECT_FALSE(s.view.refSiDoc(s.doc.get(), 0x00FF00)) << "the same document";
  s.paint();
  EXPECT_EQ(s.log.offscreens, 1);
  std::unique_ptr<cSiDocContainer> other(document(2, 0));
  EXPECT_TRUE(s.view.refSiDoc(other.get(), 0x00FF00));
  s.paint();
  EXPECT_EQ(s.log.offscreens, 2) << "another document";
  s.view.refSiDoc(s.doc.get(), 0x00FF00);

  // A height that makes the bar come or go changes the room for the lines.
  s.paint();
  const struct {
    int height, offscreens;
  } heights[] = {{2000, 1}, {2001, 0}, {101, 1}, {100, 0}};
  for (const auto& h : heights) {
    s.log = {};
    s.view.move(0, 0, 201, h.height);
    s.paint();
    EXPECT_EQ(s.log.offscreens, h.offscreens) << "height " << h.height;
  }
}

TEST(SiDocViewer, ATallDocumentIsKeptInBandsAndShowsItsLastLineAfterEnd) {
  const int lines = 100000 / kLine + 1;
  sViewer s(300, 200, document(lines, lines - 3));
  s.paint();
  const int height = (lines + 2) * kLine;
  ASSERT_EQ(s.view.documentHeight(), height);
  EXPECT_EQ(s.log.offscreens, (height + cSiDocViewer::kBandHeight - 1) / cSiDocViewer::kBandHeight);
  // Link areas are kept once each, in document coordinates.
  const int linkTop = (lines - 3) * kLine;
  s.key(cChildElement::kcEnd);
  const int shift = s.view.shiftY();
  ASSERT_EQ(shift, height - 200);
  EXPECT_EQ(s.view.getRef(1, linkTop - shift), kSite);
  EXPECT_EQ(s.view.getRef(1, linkTop - shift + kLine), kOther);

  s.log.copies.clear();
  s.paint();
  // Where "omega" lands on the screen, from whichever band holds it.
  bool shown = false;
  for (const sCopy& c : s.log.copies) {
    auto* band = dynamic_cast<cCountingCanvas*>(c.band);
    ASSERT_NE(band, nullptr);
    for (const sDrawnText& t : band->texts)
      if (t.text == "omega") {
        const int onScreen = t.y - c.fromY + c.y;
        shown |= onScreen >= 0 && onScreen + kLine <= 200;
        EXPECT_EQ(onScreen, 200 - kLine);
      }
  }
  EXPECT_TRUE(shown);
}

TEST(SiDocViewer, WithoutAnythingLaidOutTheBackgroundIsPainted) {
  const struct {
    const char* name;
    bool empty;
  } cases[] = {{"no document", false}, {"an empty document", true}};
  for (const auto& c : cases) {
    sViewer s(120, 80, nullptr);
    std::unique_ptr<cSiDocContainer> empty(new cSiDocContainer);
    s.view.refSiDoc(c.empty ? empty.get() : nullptr, 0x123456);
    cCountingCanvas screen(120, 80, s.log);
    s.view.onPaintArea(&screen);
    ASSERT_EQ(screen.fills.size(), 1u) << c.name;
    EXPECT_EQ(screen.fills[0].fill, 0x123456u) << c.name;
    EXPECT_EQ(screen.fills[0].r.width, 120) << c.name;
    EXPECT_EQ(screen.fills[0].r.height, 80) << c.name;
    s.view.refSiDoc(nullptr, 0);
  }
}

namespace {

// About 300 KB of text: paragraphs of words, each paragraph its own
// container, as the markup's text sections give them.
cSiDocContainer* longDocument(int paragraphs, int words) {
  auto* root = new cSiDocContainer;
  root->refFont(cFontObject::get(5, 13, "TestSans", false, false, false));
  for (int p = 0; p < paragraphs; ++p) {
    auto* para = new cSiDocContainer;
    para->setBreak(true);
    for (int w = 0; w < words; ++w) para->addChild(run(w % 7 ? "clause" : "licence", false));
    root->addChild(para);
  }
  return root;
}

}  // namespace

TEST(SiDocViewer, ALongDocumentIsLaidOutOnceAndEachBandDrawsOnlyItsOwnBoxes) {
  const int paragraphs = 300, words = 150;
  sViewer s(480, 480, longDocument(paragraphs, words));
  s.paint();
  const int bands = (s.view.documentHeight() + cSiDocViewer::kBandHeight - 1) / cSiDocViewer::kBandHeight;
  ASSERT_GT(bands, 2);
  ASSERT_EQ(s.log.bands.size(), static_cast<size_t>(bands));
  EXPECT_EQ(s.view.layouts(), 1);
  // Each word is measured once; each paragraph measures its space when it
  // is measured and when it is placed.
  EXPECT_LE(s.log.textSizes, paragraphs * words + 2 * paragraphs + 1);
  // Only the lines across a seam are drawn by both bands they touch.
  size_t drawn = 0;
  for (cCountingCanvas* band : s.log.bands) drawn += band->texts.size();
  EXPECT_GE(drawn, static_cast<size_t>(paragraphs * words));
  EXPECT_LE(drawn, static_cast<size_t>(paragraphs * words + (bands - 1) * 80));
  s.log.textSizes = 0;
  s.key(cChildElement::kcEnd);
  s.paint();
  EXPECT_EQ(s.view.layouts(), 1);
  EXPECT_EQ(s.log.textSizes, 0);
}
