#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "base/str.h"
#include "base/textconv.h"
#include "ciom/ciomlangs.h"
#include "ciplatform/macctfont.h"
#include "ciplatform/pangotext.h"
#include "support.h"

namespace {

double describedSize(cFontObject* f) {
  auto* font = static_cast<cMacCTFont*>(f);
  EXPECT_TRUE(pango_font_description_get_size_is_absolute(font->description()));
  return static_cast<double>(pango_font_description_get_size(font->description())) / PANGO_SCALE;
}

TEST(PlatformFonts, SizeFormulaAndStyles) {
  EXPECT_DOUBLE_EQ(describedSize(cFontObject::get(5, 13, "Tahoma", false, false, false)), 11.0);
  EXPECT_DOUBLE_EQ(describedSize(cFontObject::get(5, 11, "Tahoma", false, false, false)), 9.5);

  const char* text = "Installation wizard";
  sSize plain, bold, italic;
  ASSERT_TRUE(cFontObject::get(5, 13, "Tahoma", false, false, false)->getTextDim(nullptr, text, -1, plain));
  ASSERT_TRUE(cFontObject::get(5, 13, "Tahoma", true, false, false)->getTextDim(nullptr, text, -1, bold));
  ASSERT_TRUE(cFontObject::get(5, 13, "Tahoma", false, false, true)->getTextDim(nullptr, text, -1, italic));
  EXPECT_GT(plain.cx, 50);
  EXPECT_GT(plain.cy, 8);
  EXPECT_NE(bold.cx, plain.cx);
  EXPECT_NE(italic.cx, plain.cx);
}

// One edge per UTF-16 unit, also where a line needs a fallback font for
// some of its characters, and never more than the caller's length.
TEST(PlatformFonts, RulerCoversEveryUnit) {
  auto* font = static_cast<cMacCTFont*>(cFontObject::get(5, 13, "Tahoma", false, false, false));
  _guardchar<unsigned short> text;
  _pc2w(
      "ab\xE6\x97\xA5\xE6\x9C\xAC"
      "cd\xF0\x9F\x98\x80"
      "e",
      -1, text);  // Latin, CJK, Latin, emoji, Latin
  const long long len = _wcslen(text.ptr);
  ASSERT_EQ(len, 9);
  int edges[10];
  std::fill(edges, edges + 10, -7);
  ASSERT_TRUE(font->textRuler(text.ptr, len, edges));
  for (int i = 1; i < 9; ++i) EXPECT_GE(edges[i], edges[i - 1]) << i;
  EXPECT_GT(edges[2], edges[1] + 5);  // the CJK character has its own width
  EXPECT_EQ(edges[6], edges[7]);      // both halves of the emoji
  EXPECT_GT(edges[8], edges[7]);
  EXPECT_EQ(edges[9], -7);
  sSize whole;
  font->getTextDim(nullptr, text.ptr, len, whole);
  EXPECT_NEAR(edges[8], whole.cx - 1, 2);
  // Shorter than the text: only that many edges.
  std::fill(edges, edges + 10, -7);
  ASSERT_TRUE(font->textRuler(text.ptr, 3, edges));
  EXPECT_EQ(edges[3], -7);
}

// Spanish has no table of its own; its sample line stands in.
const char kSpanish[] = "Instalar el paquete \xC3\xB1";

int darkPixels(const char* text, sSize size) {
  cCrbOffscreenCanvas c;
  makeWhite(c, size.cx + 4, size.cy + 4);
  EXPECT_TRUE(c.drawText(2, 2, true, text, -1));
  int dark = 0;
  for (int y = 0; y < c.height(); ++y)
    for (int x = 0; x < c.width(); ++x) dark += (pixelAt(c, x, y) & 0xFF) < 128;
  return dark;
}

// Every text of the toolkit's nine tables has a glyph in some installed face
// (no empty boxes), measures wide and draws visibly; Spanish, which has no
// table, by its sample line.
TEST(PlatformFonts, EveryLanguageMeasuresAndDraws) {
  auto* font = static_cast<cMacCTFont*>(cFontObject::get(5, 13, "Tahoma", false, false, false));
  auto check = [font](const char* text) {
    sSize size;
    EXPECT_TRUE(font->getTextDim(nullptr, text, -1, size));
    EXPECT_GT(size.cx, 2) << text;
    cPangoText shown(text, -1);
    PangoLayout* layout = font->layoutOf(shown.bytes, shown.length);
    EXPECT_EQ(pango_layout_get_unknown_glyphs_count(layout), 0) << text;
    return size;
  };
  for (const cLibLang::sLangDef& table : cCIOMLang::gLangs) {
    cCiomLang store;
    ASSERT_TRUE(loadCiomLangData(table.data, table.size, store)) << table.lang;
    const char* longest = "";
    int texts = 0;
    for (auto* s = store.sections.root ? store.sections.leftmost(store.sections.root) : nullptr; s;
         s = store.sections.next(s))
      for (long long i = 0; i < s->value.strings.count; ++i) {
        const char* text = s->value.strings.ptr[i].ptr;
        if (!text || !*text) continue;
        check(text);
        ++texts;
        if (strlen(text) > strlen(longest) && !strchr(text, '\n')) longest = text;
      }
    EXPECT_GT(texts, 20) << table.lang;
    EXPECT_GT(darkPixels(longest, check(longest)), 30) << longest;
  }
  EXPECT_GT(darkPixels(kSpanish, check(kSpanish)), 30);
}

TEST(PlatformFonts, TextNeedsAFontAndSurvivesBadEncodings) {
  cCrbOffscreenCanvas c;
  ASSERT_TRUE(c.create(40, 40));
  sRect part{0, 0, 20, 20};
  std::unique_ptr<cCanvas> sub(c.subCanvas(&part));
  EXPECT_FALSE(sub->drawText(0, 0, true, "a", 1));
  EXPECT_TRUE(sub->setTextMode(5, 13, "Tahoma", false, false, false));
  EXPECT_TRUE(sub->drawText(0, 0, true, "a", 1));
  EXPECT_TRUE(c.drawText(0, 0, false,
                         "\xFF\xFE"
                         "a",
                         -1));
  const unsigned short lone[3] = {'a', 0xD800, 0};
  sSize size;
  EXPECT_TRUE(c.textSize(lone, -1, size));
  EXPECT_GT(size.cx, 0);
}

}  // namespace
