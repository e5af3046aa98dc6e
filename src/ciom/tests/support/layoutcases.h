// The text-layout cases every canvas must pass. They measure through the
// canvas under test, so the same expectations hold for fixed metrics and for
// real fonts.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/textconv.h"
#include "ciom/tests/support/canvaslog.h"

namespace layout {

inline std::u16string w(const char* s) {
  _guardchar<unsigned short> wide;
  _pc2w(s, -1, wide);
  return std::u16string(reinterpret_cast<const char16_t*>(wide.ptr));
}
inline const unsigned short* us(const std::u16string& s) {
  return reinterpret_cast<const unsigned short*>(s.c_str());
}

inline sSize measure(cCanvas& c, const char* s) {
  sSize size;
  EXPECT_TRUE(c.textSize(s, -1, size)) << s;
  return size;
}

// Whole, left and right; the answer is where the text starts.
inline void fittingText(cCanvas& c, sCanvasLog& log) {
  sSize t = measure(c, "Install");
  ASSERT_GT(t.cx, 0);
  long long drawnWidth = 0;
  EXPECT_EQ(c.drawTextLimited(10, 20, t.cx + 40, 30, cCanvas::eAlignLeft, true, 5, 6, "Install", -1,
                              &drawnWidth, false),
            15);
  EXPECT_EQ(drawnWidth, t.cx);
  EXPECT_EQ(c.drawTextLimited(10, 20, t.cx + 40, 30, cCanvas::eAlignRight, true, 5, 6, "Install", -1, nullptr,
                              false),
            10 + t.cx + 40 - 6 - t.cx);
  EXPECT_EQ(c.drawTextLimited(10, 20, t.cx + 40, 30, cCanvas::eAlignCenter, true, 0, 0, "Install", -1,
                              nullptr, false),
            10 + 20);
  ASSERT_EQ(log.texts.size(), 3u);
  EXPECT_EQ(log.texts[0].text, "Install");
  EXPECT_EQ(log.texts[0].y, 20 + (30 - t.cy) / 2);
}

// One pixel too narrow keeps the longest prefix that leaves room for the dots.
inline void ellipsis(cCanvas& c, sCanvasLog& log) {
  const char* text = "Uninstall everything";
  sSize t = measure(c, text), dots = measure(c, "...");
  std::u16string wide = w(text);
  std::vector<int> ruler(wide.size());
  ASSERT_TRUE(c.textRuler(us(wide), static_cast<long long>(wide.size()), ruler.data()));
  int avail = t.cx - 1;
  size_t n = 0;
  while (n < wide.size() && ruler[n] + dots.cx <= avail) ++n;
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, wide.size());
  long long drawnWidth = 0;
  EXPECT_EQ(c.drawTextLimited(0, 0, avail, 20, cCanvas::eAlignLeft, true, 0, 0, text, -1, &drawnWidth, false),
            0);
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_EQ(log.texts[0].text, std::string(text, n) + "...");
  EXPECT_EQ(drawnWidth, ruler[n - 1] + dots.cx);

  // Room for the dots alone; then not even for them.
  log.clear();
  EXPECT_EQ(
      c.drawTextLimited(0, 0, dots.cx, 20, cCanvas::eAlignRight, true, 0, 0, "Wide", -1, &drawnWidth, false),
      0);
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_EQ(log.texts[0].text, "...");
  EXPECT_EQ(drawnWidth, dots.cx);
  EXPECT_EQ(
      c.drawTextLimited(0, 0, dots.cx - 1, 20, cCanvas::eAlignLeft, true, 0, 0, "Wide", -1, nullptr, false),
      -1);
  EXPECT_EQ(log.texts.size(), 1u);
}

inline void noRoom(cCanvas& c, sCanvasLog& log) {
  EXPECT_EQ(c.drawTextLimited(0, 0, 40, 20, cCanvas::eAlignLeft, false, 20, 20, "a", -1, nullptr, true), -1);
  EXPECT_EQ(c.drawTextLimited(0, 0, 40, 20, cCanvas::eAlignLeft, false, -1, 0, "a", -1, nullptr, true), -1);
  EXPECT_EQ(c.drawTextLimited(0, 0, 0, 20, cCanvas::eAlignLeft, false, 0, 0, "a", -1, nullptr, true), -1);
  EXPECT_EQ(c.drawTextLimited(0, 0, 40, 20, cCanvas::eAlignLeft, false, 0, 0,
                              static_cast<const unsigned short*>(nullptr), -1, nullptr, true),
            -1);
  EXPECT_EQ(c.drawTextLimited(0, 0, 40, 20, cCanvas::eAlignLeft, false, 0, 0, "", -1, nullptr, true), 0);
  EXPECT_TRUE(log.texts.empty());
  EXPECT_TRUE(log.fills.empty());
}

inline void tokens(cCanvas& c) {
  cFasterTreeList<int, cCanvas::cTokenizedW> out;
  std::u16string tab = w("a\tb");
  ASSERT_TRUE(c.tokenizeString(us(tab), out));
  auto* a = out.find(0);
  auto* run = out.find(1);
  auto* b = out.find(2);
  ASSERT_TRUE(a && run && b);
  EXPECT_EQ(a->width, measure(c, "a").cx);
  EXPECT_FALSE(run->text.ptr);
  EXPECT_EQ(run->width, 4);
  EXPECT_EQ(b->text.ptr[0], 'b');
  EXPECT_EQ(out.find(3), nullptr);

  cFasterTreeList<int, cCanvas::cTokenizedW> broken;
  std::u16string lf = w("a \nb");
  ASSERT_TRUE(c.tokenizeString(us(lf), broken));
  ASSERT_TRUE(broken.find(1) && broken.find(2));
  EXPECT_FALSE(broken.find(1)->text.ptr);
  EXPECT_EQ(broken.find(1)->width, 0);
  EXPECT_EQ(broken.find(2)->text.ptr[0], 'b');

  // The ideographic full stop ends a word together with itself.
  cFasterTreeList<int, cCanvas::cTokenizedW> cjk;
  std::u16string ja = w("\xE3\x81\x82\xE3\x80\x82\xE3\x81\x84");
  ASSERT_TRUE(c.tokenizeString(us(ja), cjk));
  ASSERT_TRUE(cjk.find(0) && cjk.find(1));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(cjk.find(0)->text.ptr)),
            w("\xE3\x81\x82\xE3\x80\x82"));
  EXPECT_EQ(cjk.find(2), nullptr);
}

inline void wrapping(cCanvas& c, sCanvasLog& log) {
  sSize first = measure(c, "first"), second = measure(c, "second"), space = measure(c, " ");
  int step = static_cast<int>(space.cy * 1.5);
  sSize out;
  ASSERT_TRUE(c.drawTextWrapped(7, 9, first.cx + space.cx + second.cx + 10, 100, cCanvas::eAlignLeft,
                                "first second", out, true, 1.5));
  EXPECT_EQ(out.cx, first.cx + space.cx + second.cx);
  EXPECT_EQ(out.cy, step);
  ASSERT_EQ(log.texts.size(), 2u);
  EXPECT_EQ(log.texts[1].x, 7 + first.cx + space.cx);
  EXPECT_EQ(log.texts[1].y, 9);

  // The second word moves down; the first line ends before the space.
  log.clear();
  ASSERT_TRUE(c.drawTextWrapped(7, 9, first.cx + space.cx + second.cx - 1, 100, cCanvas::eAlignLeft,
                                "first second", out, true, 1.0));
  ASSERT_EQ(log.texts.size(), 2u);
  EXPECT_EQ(log.texts[1].text, "second");
  EXPECT_EQ(log.texts[1].x, 7);
  EXPECT_EQ(log.texts[1].y, 9 + space.cy);
  EXPECT_EQ(out.cx, std::max(first.cx, second.cx));
  EXPECT_EQ(out.cy, 2 * space.cy);

  // A run wider than the box stops the layout where it stands.
  log.clear();
  ASSERT_TRUE(c.drawTextWrapped(0, 0, space.cx * 3, 100, cCanvas::eAlignLeft, "a\t\tb", out, true, 1.0));
  EXPECT_TRUE(log.texts.empty());
  EXPECT_FALSE(c.drawTextWrapped(0, 0, space.cx - 1, 100, cCanvas::eAlignLeft, "a", out, true, 1.0));
  EXPECT_FALSE(c.drawTextWrapped(0, 0, 100, 100, cCanvas::eAlignLeft, "", out, true, 1.0));
}

// Lines ended by overflow are stretched to the box; the last line is not.
inline void justification(cCanvas& c, sCanvasLog& log) {
  sSize aa = measure(c, "aa"), bb = measure(c, "bb"), space = measure(c, " ");
  int boxW = aa.cx + space.cx + bb.cx + space.cx + aa.cx - 1;
  sSize out;
  ASSERT_TRUE(
      c.drawTextWrapped(0, 0, boxW, 100, cCanvas::eAlignJustify, "aa bb aa bb aa bb", out, true, 1.0));
  ASSERT_EQ(log.texts.size(), 6u);
  // Lines "aa bb", stretched so bb ends at the right edge.
  EXPECT_EQ(log.texts[1].text, "bb");
  EXPECT_EQ(log.texts[1].x + bb.cx, boxW);
  EXPECT_EQ(log.texts[2].y, space.cy);
  EXPECT_EQ(log.texts[3].x + bb.cx, boxW);
  // The last line keeps its plain space.
  EXPECT_EQ(log.texts[5].x, aa.cx + space.cx);
  EXPECT_EQ(log.texts[5].y, 2 * space.cy);
  EXPECT_EQ(out.cx, boxW);
  EXPECT_EQ(out.cy, 3 * space.cy);
}

inline void firstWordWiderThanBox(cCanvas& c, sCanvasLog& log) {
  sSize word = measure(c, "Installation"), space = measure(c, " ");
  sSize out;
  ASSERT_TRUE(c.drawTextWrapped(3, 4, word.cx - 5, 100, cCanvas::eAlignLeft, "Installation", out, true, 1.0));
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_EQ(log.texts[0].text, "Installation");
  EXPECT_EQ(log.texts[0].x, 3);
  EXPECT_EQ(log.texts[0].y, 4 + space.cy);
  EXPECT_EQ(out.cy, 2 * space.cy);
  EXPECT_EQ(out.cx, word.cx);

  // Followed by more words, the wide word still gets a line of its own.
  log.clear();
  ASSERT_TRUE(
      c.drawTextWrapped(0, 0, word.cx - 5, 100, cCanvas::eAlignLeft, "Installation of", out, true, 1.0));
  ASSERT_EQ(log.texts.size(), 2u);
  EXPECT_EQ(log.texts[0].y, space.cy);
  EXPECT_EQ(log.texts[1].text, "of");
  EXPECT_EQ(log.texts[1].y, 2 * space.cy);
}

// The last line of a right-aligned text ends at the right edge, and a last
// word that follows a wrapped space run is still drawn.
inline void lastLines(cCanvas& c, sCanvasLog& log) {
  sSize a = measure(c, "a"), b = measure(c, "b"), space = measure(c, " ");
  sSize out;
  int boxW = a.cx + space.cx + b.cx + 20;
  ASSERT_TRUE(c.drawTextWrapped(0, 0, boxW, 100, cCanvas::eAlignRight, "a b", out, true, 1.0));
  ASSERT_EQ(log.texts.size(), 2u);
  EXPECT_EQ(log.texts[1].x + b.cx, boxW);

  log.clear();
  sSize bb = measure(c, "bb");
  ASSERT_TRUE(c.drawTextWrapped(0, 0, a.cx + space.cx + bb.cx + space.cx - 1, 100, cCanvas::eAlignLeft,
                                "a bb cc", out, true, 1.0));
  ASSERT_EQ(log.texts.size(), 3u);
  EXPECT_EQ(log.texts[2].text, "cc");
  EXPECT_EQ(log.texts[2].x, 0);
  EXPECT_EQ(log.texts[2].y, space.cy);
  EXPECT_EQ(out.cy, 2 * space.cy);
}

}  // namespace layout

// The cases as tests of a fixture whose `canvas` is a cLoggingCanvas.
#define ZVK_LAYOUT_TESTS(Fixture)                                                           \
  TEST_F(Fixture, FittingText) { layout::fittingText(canvas, canvas); }                     \
  TEST_F(Fixture, Ellipsis) { layout::ellipsis(canvas, canvas); }                           \
  TEST_F(Fixture, MarginsLeavingNoRoom) { layout::noRoom(canvas, canvas); }                 \
  TEST_F(Fixture, Tokens) { layout::tokens(canvas); }                                       \
  TEST_F(Fixture, Wrapping) { layout::wrapping(canvas, canvas); }                           \
  TEST_F(Fixture, Justification) { layout::justification(canvas, canvas); }                 \
  TEST_F(Fixture, FirstWordWiderThanBox) { layout::firstWordWiderThanBox(canvas, canvas); } \
  TEST_F(Fixture, LastLines) { layout::lastLines(canvas, canvas); }
