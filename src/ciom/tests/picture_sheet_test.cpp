// Draws every built-in picture of both looks and every flag into one PNG
// under the build folder, so a person can judge them all at once.
#include <gtest/gtest.h>
#include <png.h>

#include <string>

#include "ciom/flag_pictures.h"
#include "ciom/theme.h"

namespace {

constexpr int kCell = 44, kColumns = 16, kZoom = 3;

// Thin pieces are stretched across so that they show as a swatch.
void place(cPicture& sheet, const cPicture& p, int cell) {
  cPicture shown;
  const cPicture* from = &p;
  if (p.width() < 3 || p.height() < 3) {
    ASSERT_TRUE(p.stretch(p.width() < 3 ? 12 : p.width(), p.height() < 3 ? 12 : p.height(), &shown));
    from = &shown;
  }
  int x = (cell % kColumns) * kCell + (kCell - from->width()) / 2;
  int y = (cell / kColumns) * kCell + (kCell - from->height()) / 2;
  ASSERT_TRUE(sheet.blt(from, x, y, 0, 0, false));
}

TEST(PictureSheet, EveryThemePictureAndFlagIsOpaqueWhereDrawnAndLandsInTheSheet) {
  const int themeRows = (cCITheme::kImages + kColumns - 1) / kColumns;
  const int flagRows = (3 * kLangFlagCount + kColumns - 1) / kColumns;
  cPicture sheet;
  ASSERT_TRUE(sheet.create(0xFFE9E9E9u, kColumns * kCell, (2 * themeRows + flagRows) * kCell));
  int cell = 0;
  for (const cStaticCIThemeDef* def : {&gCI_Default_Theme, &gCI_Flat_Theme}) {
    cCITheme theme(def);
    for (int n = 0; n < cCITheme::kImages; ++n, ++cell)
      if (cPicture* p = theme.getPict(static_cast<cCITheme::eCIThemeImageElement>(n))) place(sheet, *p, cell);
    cell = (cell + kColumns - 1) / kColumns * kColumns;
  }
  struct Size {
    unsigned* const* flags;
    int w, h;
  } sizes[] = {{gLangFlags16x11, 16, 11}, {gLangFlags18x14, 18, 14}, {gLangFlags27x22, 27, 22}};
  for (int lang = 0; lang < kLangFlagCount; ++lang)
    for (const Size& s : sizes) {
      cPicture flag;
      ASSERT_TRUE(flag.create(s.flags[lang], s.w, s.h, true));
      for (long long i = 0; i < flag.pixels.count; ++i) ASSERT_EQ(flag.raw()[i] >> 24, 0xFFu) << lang;
      place(sheet, flag, cell++);
    }

  // Enlarged without smoothing, pixel for pixel.
  cPicture big;
  ASSERT_TRUE(big.create(sheet.width() * kZoom, sheet.height() * kZoom));
  for (int y = 0; y < big.height(); ++y)
    for (int x = 0; x < big.width(); ++x)
      big.raw()[y * big.width() + x] = sheet.raw()[(y / kZoom) * sheet.width() + x / kZoom] | 0xFF000000u;

  std::string path = std::string(ZVK_BINARY_DIR) + "/theme_sheet.png";
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(big.width());
  image.height = static_cast<png_uint_32>(big.height());
  image.format = PNG_FORMAT_BGRA;
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, big.raw(), 0, nullptr)) << image.message;
  RecordProperty("sheet", path);
}

}  // namespace
