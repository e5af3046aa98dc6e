// Layout of the box model on the fixed-metric canvas: 7 px per character, a
// 4 px space and 13 px glyphs, so a line is 14 px high (13 x 1.07 + 0.5).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cihlpdoc/sidocbox.h"
#include "support/canvaslog.h"
#include "support/fixedcanvas.h"

namespace {

using tCanvas = cLoggingCanvas<cFixedMetricCanvas>;

// Children from short codes: "word" a text run, "^word" one that starts a
// line, "|" an empty run with a break (what the markup's br gives).
cSiDocContainer* paragraph(cSiDocContainer::eAlign align, int width, const std::vector<std::string>& runs) {
  auto* c = new cSiDocContainer;
  c->setAlign(align);
  if (width > 0) c->setWidth(width);
  for (const std::string& r : runs) {
    auto* t = new cSiDocText;
    if (r[0] == '|' || r[0] == '^') t->setBreak(true);
    if (r != "|") t->setText(const_cast<char*>(r.c_str() + (r[0] == '^')));
    c->addChild(t);
  }
  return c;
}

struct sPlaced {
  std::string text;
  int x, y;
};

std::vector<sPlaced> drawnTexts(cSiDocBox& box, sSize& size, int right = -1) {
  tCanvas canvas(400, 400);
  sSiDocDrawProps props;
  props.right = right;
  cFontObject* font = cFontObject::get(5, 13, "TestSans", false, false, false);
  props.font = font;
  box.draw(&canvas, props, size);
  std::vector<sPlaced> out;
  for (const sDrawnText& t : canvas.texts) out.push_back({t.text.c_str(), t.x, t.y});
  return out;
}

struct sFlowCase {
  const char* name;
  cSiDocContainer::eAlign align;
  int width;
  std::vector<std::string> runs;
  std::vector<sPlaced> placed;
  sSize size;
};

TEST(SiDocLayout, LinesGapsBreaksAndAlignment) {
  const sFlowCase cases[] = {
      // 14 + 4 + 14 + 4 + 14 = 50 of 70: the two gaps share the 20 px left.
      {"justified",
       cSiDocContainer::eJustify,
       70,
       {"aa", "bb", "cc", "dddd", "ee"},
       {{"aa", 0, 0}, {"bb", 28, 0}, {"cc", 56, 0}, {"dddd", 0, 14}, {"ee", 32, 14}},
       {70, 28}},
      {"ended by a break stays natural",
       cSiDocContainer::eJustify,
       70,
       {"aa", "bb", "^cc"},
       {{"aa", 0, 0}, {"bb", 18, 0}, {"cc", 0, 14}},
       {70, 28}},
      {"right", cSiDocContainer::eRight, 70, {"aa", "bb"}, {{"aa", 38, 0}, {"bb", 56, 0}}, {70, 14}},
      {"centre", cSiDocContainer::eCentre, 70, {"aa", "bb"}, {{"aa", 19, 0}, {"bb", 37, 0}}, {70, 14}},
      {"a leading break makes no empty line",
       cSiDocContainer::eLeft,
       0,
       {"|", "aa"},
       {{"aa", 0, 0}},
       {14, 14}},
      {"breaks alone make empty lines",
       cSiDocContainer::eLeft,
       0,
       {"aa", "|", "|", "bb"},
       {{"aa", 0, 0}, {"bb", 0, 28}},
       {14, 42}},
      {"an empty run takes no gap",
       cSiDocContainer::eLeft,
       0,
       {"aa", "|", "bb"},
       {{"aa", 0, 0}, {"bb", 0, 14}},
       {14, 28}},
      // 49 px in 30: four characters (28 px) a line, none of them lost.
      {"a word wider than the line breaks at its end",
       cSiDocContainer::eLeft,
       30,
       {"a", "bbbbbbb", "c"},
       {{"a", 0, 0}, {"bbbb", 0, 14}, {"bbb", 0, 28}, {"c", 0, 42}},
       {30, 56}},
      {"a broken word keeps its line to itself",
       cSiDocContainer::eLeft,
       30,
       {"bbbbbbbbb", "c"},
       {{"bbbb", 0, 0}, {"bbbb", 0, 14}, {"b", 0, 28}, {"c", 0, 42}},
       {30, 56}},
      // Three UTF-16 units a line, and the pair of the emoji kept together.
      {"a word breaks between whole characters",
       cSiDocContainer::eLeft,
       21,
       {"ab\xF0\x9F\x98\x80" "cd"},
       {{"ab", 0, 0}, {"\xF0\x9F\x98\x80" "c", 0, 14}, {"d", 0, 28}},
       {21, 42}},
  };
  for (const sFlowCase& k : cases) {
    cPtr<cSiDocContainer> c(paragraph(k.align, k.width, k.runs));
    sSize size;
    std::vector<sPlaced> placed = drawnTexts(*c, size);
    ASSERT_EQ(placed.size(), k.placed.size()) << k.name;
    for (size_t i = 0; i < placed.size(); ++i) {
      EXPECT_EQ(placed[i].text, k.placed[i].text) << k.name;
      EXPECT_EQ(placed[i].x, k.placed[i].x) << k.name << " " << placed[i].text;
      EXPECT_EQ(placed[i].y, k.placed[i].y) << k.name << " " << placed[i].text;
    }
    EXPECT_EQ(size.cx, k.size.cx) << k.name;
    EXPECT_EQ(size.cy, k.size.cy) << k.name;
    sSize wanted;
    tCanvas canvas(400, 400);
    EXPECT_TRUE(c->wantsSize(&canvas, sSiDocDrawProps{}, wanted)) << k.name;
    EXPECT_EQ(wanted.cy, k.size.cy) << k.name;
  }
}

// Glyphs 16 px high: lines of 16 x 1.07 + 0.5 = 17.62, cut to 17.
class cTallCanvas : public cFixedMetricCanvas {
 public:
  using cFixedMetricCanvas::cFixedMetricCanvas;
  using cFixedMetricCanvas::textSize;
  bool textSize(const unsigned short* text, long long len, sSize& out) override {
    if (!cFixedMetricCanvas::textSize(text, len, out)) return false;
    if (out.cy) out.cy = 16;
    return true;
  }
};

TEST(SiDocLayout, TextRunsMeasure) {
  cTallCanvas canvas(100, 100);
  sSiDocDrawProps props;
  struct sCase {
    const char* text;
    int width, height;
    sSize want;
    bool answer;
    bool withCanvas;
  } cases[] = {
      {"abc", -1, -1, {21, 17}, true, true}, {nullptr, -1, -1, {0, 17}, true, true},
      {"abc", 50, -1, {50, 17}, true, true}, {"abc", 50, 9, {50, 9}, true, false},
      {"abc", -1, -1, {0, 0}, false, false},
  };
  for (const sCase& k : cases) {
    cSiDocText t;
    if (k.text) t.setText(const_cast<char*>(k.text));
    t.setWidth(k.width);
    t.setHeight(k.height);
    sSize got;
    EXPECT_EQ(t.wantsSize(k.withCanvas ? &canvas : nullptr, props, got), k.answer);
    EXPECT_EQ(got.cx, k.want.cx) << (k.text ? k.text : "(none)");
    EXPECT_EQ(got.cy, k.want.cy) << (k.text ? k.text : "(none)");
  }
}

// A box that counts how often it is measured.
class cCountingBox : public cSiDocBox {
 public:
  int asked = 0;
  bool draw(cCanvas*, const sSiDocDrawProps&, sSize& s) override { return wantsSize(nullptr, {}, s); }
  bool wantsSize(cCanvas*, const sSiDocDrawProps&, sSize& s) override {
    ++asked;
    s = {10, 10};
    return true;
  }
};

TEST(SiDocLayout, ContainerEdges) {
  tCanvas canvas(200, 200);
  sSiDocDrawProps props;
  {
    cSiDocContainer fixed;
    fixed.setWidth(30);
    fixed.setHeight(20);
    auto* probe = new cCountingBox;
    fixed.addChild(probe);
    sSize s;
    EXPECT_TRUE(fixed.wantsSize(&canvas, props, s));
    EXPECT_EQ(s.cx, 30);
    EXPECT_EQ(s.cy, 20);
    EXPECT_EQ(probe->asked, 0);
  }
  {
    cSiDocContainer bad;
    bad.setAlign(static_cast<cSiDocContainer::eAlign>(4));
    bad.addChild(new cCountingBox);
    sSize s{5, 5};
    EXPECT_FALSE(bad.wantsSize(&canvas, props, s));
    EXPECT_FALSE(bad.draw(&canvas, props, s));
    EXPECT_EQ(s.cx, 0);
    EXPECT_EQ(s.cy, 0);
  }
  {
    cSiDocContainer empty;
    empty.setWidth(30);
    empty.setHeight(20);
    empty.setBgColor(0x123456);
    props.x = 5;
    props.y = 6;
    sSize s;
    canvas.clear();
    EXPECT_FALSE(empty.draw(&canvas, props, s));
    ASSERT_EQ(canvas.fills.size(), 1u);
    EXPECT_EQ(canvas.fills[0].r.x, 5);
    EXPECT_EQ(canvas.fills[0].r.y, 6);
    EXPECT_EQ(canvas.fills[0].r.width, 30);
    EXPECT_EQ(canvas.fills[0].fill, 0x123456u);
  }
}

TEST(SiDocLayout, MarginsTakeRoomAndTheLineBackground) {
  cSiDocContainer c;
  c.setBgColor(0xABCDEF);
  auto* a = new cCountingBox;
  a->setMargins(3, 2, 5, 4);
  auto* b = new cCountingBox;
  c.addChild(a);
  c.addChild(b);
  tCanvas canvas(200, 200);
  sSize s;
  ASSERT_TRUE(c.draw(&canvas, sSiDocDrawProps{}, s));
  EXPECT_EQ(s.cx, 3 + 10 + 5 + 10);
  EXPECT_EQ(s.cy, 2 + 10 + 4);
  std::vector<std::vector<int> > fills;
  for (const sDrawnFill& f : canvas.fills) {
    EXPECT_EQ(f.fill, 0xABCDEFu);
    fills.push_back({f.r.x, f.r.y, f.r.width, f.r.height});
  }
  const std::vector<std::vector<int> > want = {{0, 0, 3, 16}, {3, 0, 10, 2}, {13, 0, 5, 16}, {3, 12, 10, 4}};
  EXPECT_EQ(fills, want);
}

// A canvas that logs the clip changes and pictures in order.
class cClipCanvas : public cFixedMetricCanvas {
 public:
  std::vector<std::string> ops;
  using cFixedMetricCanvas::cFixedMetricCanvas;
  using cFixedMetricCanvas::drawBitmap;
  bool clip(sRect* r) override { return log("clip", *r); }
  bool unclip(sRect* r) override { return log("unclip", *r); }
  bool drawRect(sRect* r, unsigned int, unsigned int) override { return log("fill", *r); }
  bool drawBitmap(int x, int y, cPicture* p, int w, int h) override {
    cFixedMetricCanvas::drawBitmap(x, y, p, w, h);
    return log("bitmap", sRect{x, y, w, h});
  }

 private:
  bool log(const char* what, const sRect& r) {
    ops.push_back(std::string(what) + " " + std::to_string(r.x) + "," + std::to_string(r.y) + "," +
                  std::to_string(r.width) + "," + std::to_string(r.height));
    return true;
  }
};

TEST(SiDocLayout, PicturesKeepTheirSizeInsideTheirBox) {
  struct sCase {
    int pw, ph, w, h;
    cSiDocImage::eImagePlacement placement;
    sSize want;
    std::vector<std::string> ops;
  } cases[] = {
      {40, 30, 100, -1, cSiDocImage::eNatural, {100, 30}, {"bitmap 2,3,-1,-1", "fill 42,3,60,30"}},
      {50,
       50,
       20,
       20,
       cSiDocImage::eNatural,
       {20, 20},
       {"clip 2,3,50,50", "unclip 2,3,20,20", "bitmap 2,3,-1,-1", "unclip 2,3,50,50"}},
      {40, 30, -1, 40, cSiDocImage::eNatural, {40, 40}, {"bitmap 2,3,-1,-1", "fill 2,33,40,10"}},
      {50, 50, 20, 10, cSiDocImage::eScaled, {20, 10}, {"bitmap 2,3,20,10"}},
  };
  for (const sCase& k : cases) {
    cPicture p;
    ASSERT_TRUE(p.create(0xFF00FF00u, k.pw, k.ph));
    cSiDocImage box;
    box.refImage(&p);
    box.setWidth(k.w);
    box.setHeight(k.h);
    box.setPlacement(k.placement);
    cClipCanvas canvas(300, 300);
    sSiDocDrawProps props;
    props.x = 2;
    props.y = 3;
    sSize wanted, drawn;
    EXPECT_TRUE(box.wantsSize(&canvas, props, wanted));
    EXPECT_TRUE(box.draw(&canvas, props, drawn));
    EXPECT_EQ(wanted.cx, k.want.cx);
    EXPECT_EQ(wanted.cy, k.want.cy);
    EXPECT_EQ(drawn.cx, k.want.cx);
    EXPECT_EQ(drawn.cy, k.want.cy);
    EXPECT_EQ(canvas.ops, k.ops) << k.pw << "x" << k.ph << " in " << k.w << "x" << k.h;
  }
  cSiDocImage none;
  sSize s;
  EXPECT_FALSE(none.wantsSize(nullptr, {}, s));
}

}  // namespace
