#include "ciom/theme.h"

#include <gtest/gtest.h>

namespace {

using D = cCITheme::eCIThemeDimension;
using C = cCITheme::eCIThemeColor;
using I = cCITheme::eCIThemeImageElement;

struct Span {
  int first, last, w, h;
};

// The horizontal scroll-bar pieces; the vertical bar repeats them 29 entries
// later with width and height exchanged.
const Span kDefaultSizes[] = {
    {0, 0, 5, 30},     {1, 1, 1, 30},    {2, 2, 5, 30},      {3, 4, 5, 1},       {5, 5, 8, 40},
    {6, 6, 1, 40},     {7, 7, 8, 40},    {8, 9, 8, 8},       {10, 11, 3, 24},    {12, 13, 1, 18},
    {14, 14, 1, 3},    {15, 16, 11, 17}, {17, 22, 12, 14},   {23, 27, 1, 20},    {28, 29, 7, 7},
    {30, 35, 10, 10},  {36, 41, 11, 11}, {42, 65, 18, 18},   {66, 71, 8, 9},     {72, 72, 5, 10},
    {73, 76, 27, 27},  {77, 78, 20, 16}, {79, 79, 14, 14},   {80, 85, 20, 16},   {86, 86, 14, 14},
    {87, 87, 4, 14},   {88, 93, 1, 14},  {94, 99, 2, 14},    {100, 105, 10, 14}, {106, 109, 1, 14},
    {110, 115, 6, 14}, {145, 146, 6, 6}, {147, 150, 10, 10}, {151, 156, 14, 14}};
const Span kFlatSizes[] = {{0, 7, 1, 1},       {8, 9, 10, 10},    {10, 14, 1, 1},    {15, 16, 12, 14},
                           {17, 22, 12, 14},   {23, 27, 1, 1},    {28, 29, 7, 7},    {30, 35, 12, 12},
                           {36, 41, 11, 11},   {42, 65, 18, 18},  {66, 67, 6, 6},    {68, 69, 9, 9},
                           {70, 71, 8, 9},     {72, 72, 5, 10},   {73, 76, 27, 27},  {77, 85, 16, 16},
                           {86, 86, 16, 16},   {87, 87, 0, 0},    {88, 93, 1, 2},    {94, 99, 0, 0},
                           {100, 105, 15, 15}, {106, 109, 1, 14}, {110, 115, 6, 15}, {145, 146, 6, 6},
                           {147, 150, 8, 8},   {151, 156, 14, 14}};

template <size_t N>
void expectSizes(cCITheme& theme, const Span (&spans)[N], const char* look) {
  int seen = 0;
  for (const Span& s : spans)
    for (int i = s.first; i <= s.last; ++i) {
      for (int bar = 0; bar < (i >= 87 && i <= 115 ? 2 : 1); ++bar) {
        int n = i + 29 * bar;
        sSize size;
        theme.getImage(static_cast<I>(n), size);
        EXPECT_EQ(size.cx, bar ? s.h : s.w) << look << " picture " << n;
        EXPECT_EQ(size.cy, bar ? s.w : s.h) << look << " picture " << n;
        ++seen;
      }
    }
  EXPECT_EQ(seen, cCITheme::kImages) << look;
}

TEST(Theme, BothLooksHaveEveryPictureAtItsSize) {
  cCITheme def(&gCI_Default_Theme), flat(&gCI_Flat_Theme);
  expectSizes(def, kDefaultSizes, "default");
  expectSizes(flat, kFlatSizes, "flat");

  // Every drawn picture was unpacked: none is left wholly transparent.
  for (cCITheme* theme : {&def, &flat})
    for (int n = 0; n < cCITheme::kImages; ++n)
      if (cPicture* p = theme->getPict(static_cast<I>(n))) {
        unsigned alpha = 0;
        for (long long i = 0; i < p->pixels.count; ++i) alpha |= p->raw()[i] >> 24;
        EXPECT_NE(alpha, 0u) << (theme == &def ? "default " : "flat ") << n;
      } else {
        sSize size;
        theme->getImage(static_cast<I>(n), size);
        EXPECT_TRUE(theme == &flat && (size.cx * size.cy <= 1 || n == 86)) << n;
      }
}

TEST(Theme, SettersKeepToRangesAndNumbersPastTheEndAnswerNothing) {
  cCITheme def(&gCI_Default_Theme), flat(&gCI_Flat_Theme);
  for (int bad : {-1, 25}) EXPECT_EQ(def.getDimension(static_cast<D>(bad), cCITheme::eValue), 0);
  EXPECT_EQ(def.getDimension(static_cast<D>(0), static_cast<cCITheme::eCIThemeDimensionType>(3)), 0);
  for (int bad : {-1, 62}) EXPECT_EQ(def.getColor(static_cast<C>(bad)), 0x908280u);
  EXPECT_FALSE(def.setDimension(static_cast<D>(0), 15));
  EXPECT_TRUE(flat.setDimension(static_cast<D>(0), 15));
  EXPECT_EQ(flat.getDimension(static_cast<D>(0), cCITheme::eValue), 15);
  EXPECT_TRUE(def.setDimension(static_cast<D>(0), 100));
  EXPECT_FALSE(def.setDimension(static_cast<D>(0), 101));
  EXPECT_FALSE(def.setDimension(static_cast<D>(25), 0));
  EXPECT_FALSE(def.setDimension(static_cast<D>(5), 22));  // built in above its maximum
  EXPECT_FALSE(def.setColor(static_cast<C>(62), 0));

  sSize size;
  unsigned* colour = flat.getImage(static_cast<I>(10), size);  // a plain colour, no picture
  ASSERT_NE(colour, nullptr);
  EXPECT_EQ(*colour, 0xADAEADu);
  EXPECT_EQ(flat.getPict(static_cast<I>(10)), nullptr);
  for (int n : {157, -1}) {
    EXPECT_EQ(flat.getImage(static_cast<I>(n), size), nullptr);
    EXPECT_EQ(flat.getPict(static_cast<I>(n)), nullptr);
    EXPECT_FALSE(def.setImage(static_cast<I>(n), colour, 1, 1, false));
  }
}

}  // namespace
