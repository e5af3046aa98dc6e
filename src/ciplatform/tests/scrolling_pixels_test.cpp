// The scroll bars and the text field painted on the real off-screen canvas:
// each bar piece's picture where the layout puts it, and a mebibyte line
// scrolled to its end that draws its last characters exactly as they look
// alone.
#include <gtest/gtest.h>

#include <string>

#include "ciom/edit.h"
#include "ciom/fontobject.h"
#include "ciom/scrollbar.h"
#include "ciom/themeuse.h"
#include "sheettarget.h"

TEST(ScrollingPixels, BarPiecesSitWhereTheLayoutPutsThem) {
  const int t = themeDim(19);
  for (bool vertical : {false, true}) {
    for (int length : {themeDim(20), themeDim(21), 200}) {
      SCOPED_TRACE(testing::Message() << (vertical ? "vertical " : "horizontal ") << length);
      sScene s(vertical ? t : length, vertical ? length : t);
      cHScroll h;
      cVScroll v;
      cScrollBar& bar = vertical ? static_cast<cScrollBar&>(v) : h;
      s.root.attach(&bar, 0, 0, s.root.width(), s.root.height());
      s.paint();
      auto len = [&](cScrollBar::eSubElements e) {
        cPicture* p = bar.image(e);
        return p ? (vertical ? p->height() : p->width()) : 0;
      };
      auto expectAt = [&](cScrollBar::eSubElements e, int at) {
        cPicture* p = bar.image(e);
        ASSERT_NE(p, nullptr);
        EXPECT_GT(expectPicture(s.canvas, p, vertical ? 0 : at, vertical ? at : 0),
                  p->width() * p->height() / 2);
      };
      if (length <= themeDim(21)) {
        const bool small = length <= themeDim(20);
        const auto dec = small ? cScrollBar::seSmallDecArrow : cScrollBar::seDecArrow;
        const auto inc = small ? cScrollBar::seSmallIncArrow : cScrollBar::seIncArrow;
        expectAt(dec, 0);
        expectAt(inc, length - len(inc));
        EXPECT_EQ(bar.hit(0), cScrollBar::hrDecrease);
        EXPECT_EQ(bar.hit(length - 1), cScrollBar::hrIncrease);
      } else {
        const int inc = len(cScrollBar::seIncArrow), sep = len(cScrollBar::seArrowSeparator);
        const int dec = len(cScrollBar::seDecArrow);
        expectAt(cScrollBar::seStartCap, 0);
        expectAt(cScrollBar::seIncArrow, length - inc);
        expectAt(cScrollBar::seArrowSeparator, length - inc - 5 - sep);
        expectAt(cScrollBar::seDecArrow, length - inc - 10 - sep - dec);
        expectAt(cScrollBar::seThumbStart, len(cScrollBar::seStartCap));
        EXPECT_EQ(bar.hit(length - 1), cScrollBar::hrIncrease);
        EXPECT_EQ(bar.hit(length - inc - 10 - sep - dec), cScrollBar::hrDecrease);
        EXPECT_EQ(bar.hit(len(cScrollBar::seStartCap)), cScrollBar::hrThumb);
      }
      s.root.dettach(&bar);
    }
  }
}

TEST(ScrollingPixels, AMebibyteLineEndsWithItsLastCharactersAsTheyLookAlone) {
  const int w = 300, fieldH = 24;
  sScene s(w, fieldH);
  cEditChild field;
  s.root.attach(&field, 0, 0, w, fieldH);
  const long long n = 1 << 20;
  ASSERT_TRUE(field.setMaxLen(n));
  std::string line;
  line.reserve(static_cast<size_t>(n));
  const std::string words[] = {"scroll ", "bar ", "Wide ", "line, ", "kerning AV ", "end. "};
  for (size_t i = 0; line.size() < static_cast<size_t>(n); ++i) line += words[i % 6];
  line.resize(static_cast<size_t>(n - 3));
  line += "XYZ";
  field.setText(line.c_str(), -1);
  field.focus();
  field.onKey(cChildElement::kcEnd, false, false, false);
  field.setSelectOnFocus(false);
  s.paint();
  // The caret at W - 2, the glyph ends rising to the last unit.
  EXPECT_EQ(1 + field.glyphEnd(n - 1) + field.scroll(), w - 2);
  for (long long i = n - 2000; i < n; ++i) ASSERT_LE(field.glyphEnd(i - 1), field.glyphEnd(i));
  EXPECT_GT(field.glyphEnd(n - 1), field.glyphEnd(n - 2));
  // "XYZ" drawn alone where the field put it, on the field's background.
  const int x = static_cast<int>(field.scroll() + 2 + field.glyphEnd(n - 4));
  cCrbOffscreenCanvas alone;
  makeWhite(alone, w, fieldH);
  sRect all{0, 0, w, fieldH};
  const unsigned int back = field.bgColor(cEditChild::ctNormal);
  alone.drawRect(&all, back, back);
  cFontObject* font = s.root.createFont(5, 13, _glbalStdFont(), false, false, false);
  ASSERT_NE(font, nullptr);
  font->apply(&alone);
  sSize m;
  alone.textSize("W", 1, m);
  alone.setTextColors(field.fgColor(cEditChild::ctNormal), back);
  const unsigned short xyz[] = {'X', 'Y', 'Z', 0};
  alone.drawText(x, (fieldH - m.cy) / 2, false, xyz, 3);
  for (int px = x; px < w - 3; ++px)
    for (int py = 2; py < fieldH - 2; ++py)
      ASSERT_EQ(pixelAt(s.canvas, px, py), pixelAt(alone, px, py)) << px << "," << py;
  s.root.dettach(&field);
}
