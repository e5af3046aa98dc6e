// Documents drawn with real fonts on the platform's off-screen canvas, read
// back pixel by pixel.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/memio.h"
#include "cihlpdoc/hdlparser.h"
#include "cihlpdoc/sidocloader.h"
#include "ciplatform/tests/support.h"
#include "support/docwriter.h"
#include "support/samplepage.h"
#include "support/tempfolder.h"
#include "support/treedump.h"

namespace {

constexpr unsigned int kWhite = 0xFFFFFF, kGreen = 0x00FF00, kRed = 0x0000FF, kBlue = 0xFF0000;

cFontObject* standardFont() { return cFontObject::get(5, 13, _glbalStdFont(), false, false, false); }

sSize drawOn(cCrbOffscreenCanvas& canvas, cSiDocBox& box, int right, cSiDocActiveTarget* active = nullptr) {
  sSiDocDrawProps props;
  props.font = standardFont();
  props.right = right;
  props.active = active;
  sSize size;
  box.draw(&canvas, props, size);
  return size;
}

bool isBlue(unsigned int c) { return (c >> 16 & 0xFF) > 0x80 && (c & 0xFF) < 0x60 && (c >> 8 & 0xFF) < 0x60; }

// The right-most column in [top, bottom) that is not white, or -1.
int inkRight(cCrbOffscreenCanvas& c, int top, int bottom) {
  for (int x = c.width() - 1; x >= 0; --x)
    for (int y = top; y < bottom; ++y)
      if (pixelAt(c, x, y) != kWhite) return x;
  return -1;
}

TEST(SiDocPixels, BackgroundsPictureAndLinkColours) {
  // Two runs on one line inside a green container; the first has margins
  // that take the container's background.
  const sHead margins = sHead().margins(10, 6, 4, 3);
  const sHead picturePlace = sHead().margins(5, 0, 7, 0).breaks();
  const sHead green = sHead().background(kGreen);
  const tBytes records = containerRec(textRec("ab", 0xFFFF, 0xFFFFFFFF, margins) + linkRec("linked", 0), 0,
                                      0xFFFF, 0xFFFFFFFF, green) +
                         imageRec(0, picturePlace);
  const tBytes doc =
      document({{0, records}}, {}, linkTable({"https://example.org/"}), pictureTable({cairoPng(8, 6)}));
  cSiDocLoader loader;
  ASSERT_TRUE(loader.load(const_cast<unsigned char*>(doc.data()), static_cast<long long>(doc.size())));

  struct cAreas : cSiDocActiveTarget {
    sRect link;
    void resetActive() override {}
    bool setActive(char*, int x, int y, int w, int h) override {
      link = {x, y, w, h};
      return true;
    }
  } areas;
  cCrbOffscreenCanvas canvas;
  makeWhite(canvas, 300, 100);
  const sSize size = drawOn(canvas, *loader.forLang(0), 300, &areas);
  ASSERT_GT(size.cy, 0);

  // The first run's margins and the link's background take the container's green.
  EXPECT_EQ(pixelAt(canvas, 3, 2), kGreen);
  EXPECT_EQ(pixelAt(canvas, 12, 1), kGreen);
  EXPECT_EQ(pixelAt(canvas, areas.link.x, areas.link.y), kGreen);
  EXPECT_EQ(pixelAt(canvas, 299, 2), kWhite);
  int blue = 0;
  for (int y = areas.link.y; y < areas.link.y + areas.link.height; ++y)
    for (int x = areas.link.x; x < areas.link.x + areas.link.width; ++x)
      blue += isBlue(pixelAt(canvas, x, y));
  EXPECT_GT(blue, 10);
  for (int y = 4; y < 4 + 10; ++y)
    for (int x = 10; x < areas.link.x - 6; ++x) EXPECT_FALSE(isBlue(pixelAt(canvas, x, y))) << x << "," << y;

  // The picture stands upright at its box: red top-left quarter, blue rest.
  const int top = size.cy - 6;
  EXPECT_EQ(pixelAt(canvas, 5, top), kRed);
  EXPECT_EQ(pixelAt(canvas, 5 + 7, top + 5), kBlue);
  EXPECT_EQ(pixelAt(canvas, 4, top), kWhite);
}

TEST(SiDocPixels, JustifiedLinesReachTheRightLimit) {
  cSiDocContainer paragraph;
  paragraph.setAlign(cSiDocContainer::eJustify);
  paragraph.setWidth(240);
  const char* words[] = {"Lorem", "ipsum", "dolor", "sit",  "amet,", "consectetur", "adipiscing",
                         "elit,", "sed",   "do",    "eius", "modo",  "tempor",      "end"};
  for (const char* w : words) {
    auto* t = new cSiDocText;
    t->setText(const_cast<char*>(w));
    paragraph.addChild(t);
  }
  cCrbOffscreenCanvas canvas;
  makeWhite(canvas, 260, 200);
  const sSize size = drawOn(canvas, paragraph, 260);
  sSize line;
  cSiDocText probe;
  probe.setText(const_cast<char*>("x"));
  sSiDocDrawProps props;
  props.font = standardFont();
  probe.wantsSize(&canvas, props, line);
  ASSERT_GE(size.cy, 2 * line.cy);
  EXPECT_GE(inkRight(canvas, 0, line.cy), 240 - 3);
  EXPECT_LT(inkRight(canvas, 0, line.cy), 240);
  EXPECT_LT(inkRight(canvas, size.cy - line.cy, size.cy), 240 - 20);
}

// The make road has no display: compiling and loading must not need one.
TEST(SiDocPixels, CompilesAndLoadsWithoutADisplay) {
  cTempFolder dir;
  dir.write("en.hdl", std::string("<text f=verd,16><b>Hello</b> <link ref=x>there</link></text>"));
  dir.write("ru.hdl", std::string("<text f=kor,14>\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82</text>"));
  const std::string index = dir.write("doc.idx", std::string("ENG=\"./en.hdl\"\nRUS=\"./ru.hdl\""));
  unsetenv("DISPLAY");
  cMemIOTarget target;
  cHDLParser parser;
  cHDLParser::sErrInfo err;
  ASSERT_TRUE(parser.parse(const_cast<char*>(index.c_str()), &target, err)) << err.message.ptr;
  _typebuf<unsigned char> doc;
  target.toBuffer(doc);
  cSiDocLoader loader;
  ASSERT_TRUE(loader.load(doc.ptr, doc.count));
  EXPECT_NE(loader.forLang(0), nullptr);
  EXPECT_NE(loader.forLang(1), nullptr);
  EXPECT_EQ(loader.forLang(2), nullptr);
}

// A sample page in six languages, compiled, loaded and drawn.
TEST(SiDocPixels, SamplePagesInSixLanguages) {
  sSamplePages sample;
  ASSERT_TRUE(sample.load()) << sample.error;
  for (const sSamplePage& page : kSamplePages) {
    const int lang = page.lang;
    cSiDocContainer* root = sample.loader.forLang(lang);
    ASSERT_NE(root, nullptr) << lang;
    cCrbOffscreenCanvas canvas;
    makeWhite(canvas, 400, 400);
    const sSize size = drawOn(canvas, *root, 400);
    EXPECT_GT(size.cy, 60) << lang;
    EXPECT_LT(size.cy, 400) << lang;
    int blue = 0;
    for (int y = 0; y < size.cy; ++y)
      for (int x = 0; x < 400; ++x) blue += isBlue(pixelAt(canvas, x, y));
    EXPECT_GT(blue, 20) << lang;
  }
}

}  // namespace
