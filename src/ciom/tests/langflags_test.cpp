#include <gtest/gtest.h>

#include <algorithm>

#include "ciom/flag_pictures.h"
#include "ciom/langids.h"
#include "ciom/pictureslist.h"

TEST(LanguageFlags, EachLanguageAtEachSizeMadeOnceAndOpaque) {
  struct sSize {
    cPicture* (*image)(int);
    cPicturesList* (*list)();
    unsigned int* const* pixels;
    int width, height;
  } sizes[] = {{ciLangImage16x11, ciLangImages16x11, gLangFlags16x11, 16, 11},
               {ciLangImage18x14, ciLangImages18x14, gLangFlags18x14, 18, 14},
               {ciLangImage27x22, ciLangImages27x22, gLangFlags27x22, 27, 22}};
  for (const sSize& size : sizes) {
    for (int n = 0; n < kCIOMStdLangCount; ++n) {
      cPicture* picture = size.image(n);
      ASSERT_NE(picture, nullptr) << n;
      EXPECT_EQ(picture->width(), size.width);
      EXPECT_EQ(size.image(n), picture);
      EXPECT_EQ(size.list()->image(n), picture);
      // The built-in rows run bottom-up: the picture's top row is their last.
      const unsigned int* lastRow = size.pixels[n] + (size.height - 1) * size.width;
      EXPECT_TRUE(std::equal(lastRow, lastRow + size.width, picture->raw())) << n;
      for (long long i = 0; i < picture->pixels.count; ++i) ASSERT_EQ(picture->raw()[i] >> 24, 0xFFu) << n;
    }
    EXPECT_EQ(size.image(-1), nullptr);
    EXPECT_EQ(size.image(kCIOMStdLangCount), nullptr);
    EXPECT_EQ(size.list()->image(kCIOMStdLangCount), nullptr);
  }
}
