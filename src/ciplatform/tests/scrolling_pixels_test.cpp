// The text field painted on the real off-screen canvas: a mebibyte line
// scrolled to its end draws its last characters exactly as they look alone.
#include <gtest/gtest.h>

#include <string>

#include "ciom/edit.h"
#include "ciom/fontobject.h"
#include "sheettarget.h"

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
