// The look of the toolkit: sizes with their allowed ranges, colours and the
// artwork every element takes by number from the one global theme.
#pragma once

#include "base/buffers.h"
#include "ciom/geometry.h"
#include "ciom/picture.h"

// One built-in picture: a 1 x 1 entry without pixels is a plain colour, a
// 0 x 0 entry is absent. Pixel rows are kept bottom-up, as resources keep them.
struct sStaticCIThemeImage {
  unsigned int width, height, colour, reserved;
  const unsigned int* pixels;
};

struct cStaticCIThemeDef {
  const int (*dimensions)[3];   // value, minimum, maximum
  const unsigned int* colours;  // 0x00BBGGRR
  const sStaticCIThemeImage* images;
};

extern const cStaticCIThemeDef gCI_Default_Theme;
extern const cStaticCIThemeDef gCI_Flat_Theme;

class cCITheme {
 public:
  static constexpr int kDimensions = 25;
  static constexpr int kColors = 62;
  static constexpr int kImages = 157;

  enum eCIThemeDimension : int {};
  enum eCIThemeDimensionType : int { eValue = 0, eMinimum = 1, eMaximum = 2 };
  enum eCIThemeColor : int {};
  enum eCIThemeImageElement : int {};

  struct sImageDef {
    unsigned int width = 0, height = 0, colour = 0;
    cPicture picture;
  };

  _classbuf<int[3]> dimensions;
  _typebuf<unsigned int> colours;
  _classbuf<sImageDef> pictures;

  // Without a definition every value is 0 and every picture absent.
  explicit cCITheme(const cStaticCIThemeDef* def);
  virtual ~cCITheme() = default;

  // The global theme, built from the default definition on first use.
  static cCITheme* theme();
  static bool setTheme(const cStaticCIThemeDef* def);

  int getDimension(eCIThemeDimension d, eCIThemeDimensionType t) const;
  // Only the dimension's range is enforced: built-in values may lie outside it.
  bool setDimension(eCIThemeDimension d, int v);
  // Numbers past the last colour answer the last colour.
  unsigned int getColor(eCIThemeColor n) const;
  bool setColor(eCIThemeColor n, unsigned int c);
  // For a plain-colour entry, a pointer to its colour.
  unsigned int* getImage(eCIThemeImageElement n, sSize& size);
  cPicture* getPict(eCIThemeImageElement n);
  bool setImage(eCIThemeImageElement n, const unsigned int* px, int w, int h, bool flip);
};

extern cPtr<cCITheme> gGlobalTheme;
