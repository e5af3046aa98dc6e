#include "ciom/theme.h"

#include <cstring>

cPtr<cCITheme> gGlobalTheme;

namespace {

bool inRange(int n, int count) { return static_cast<unsigned int>(n) < static_cast<unsigned int>(count); }

}  // namespace

cCITheme::cCITheme(const cStaticCIThemeDef* def) {
  dimensions.set(kDimensions);
  colours.set(kColors);
  pictures.set(kImages);
  if (!def) {
    std::memset(colours.ptr, 0, sizeof(unsigned int) * kColors);
    for (long long i = 0; i < kImages; ++i) pictures.ptr[i].colour = 0xFFFFFFFFu;
    return;
  }
  std::memcpy(dimensions.ptr, def->dimensions, sizeof(int[3]) * kDimensions);
  std::memcpy(colours.ptr, def->colours, sizeof(unsigned int) * kColors);
  for (int i = 0; i < kImages; ++i) {
    const sStaticCIThemeImage& from = def->images[i];
    sImageDef& to = pictures.ptr[i];
    to.width = from.width;
    to.height = from.height;
    to.colour = from.colour;
    if (from.pixels)
      to.picture.create(from.pixels, static_cast<int>(from.width), static_cast<int>(from.height),
                        __bmp_res_inversed);
  }
}

cCITheme* cCITheme::theme() {
  if (!gGlobalTheme) gGlobalTheme = new cCITheme(&gCI_Default_Theme);
  return gGlobalTheme.ptr;
}

bool cCITheme::setTheme(const cStaticCIThemeDef* def) {
  gGlobalTheme = new cCITheme(def);
  return true;
}

int cCITheme::getDimension(eCIThemeDimension d, eCIThemeDimensionType t) const {
  return inRange(d, kDimensions) && inRange(t, 3) ? dimensions.ptr[d][t] : 0;
}

bool cCITheme::setDimension(eCIThemeDimension d, int v) {
  if (!inRange(d, kDimensions)) return false;
  int* dim = dimensions.ptr[d];
  if (v < dim[eMinimum] || v > dim[eMaximum]) return false;
  dim[eValue] = v;
  return true;
}

unsigned int cCITheme::getColor(eCIThemeColor n) const {
  return colours.ptr[inRange(n, kColors) ? n : kColors - 1];
}

bool cCITheme::setColor(eCIThemeColor n, unsigned int c) {
  if (!inRange(n, kColors)) return false;
  colours.ptr[n] = c;
  return true;
}

unsigned int* cCITheme::getImage(eCIThemeImageElement n, sSize& size) {
  if (!inRange(n, kImages)) return nullptr;
  sImageDef& e = pictures.ptr[n];
  size.cx = static_cast<int>(e.width);
  size.cy = static_cast<int>(e.height);
  return e.width == 1 && e.height == 1 ? &e.colour : e.picture.raw();
}

cPicture* cCITheme::getPict(eCIThemeImageElement n) {
  return inRange(n, kImages) && pictures.ptr[n].picture.raw() ? &pictures.ptr[n].picture : nullptr;
}

bool cCITheme::setImage(eCIThemeImageElement n, const unsigned int* px, int w, int h, bool flip) {
  if (!px || w <= 0 || h <= 0 || !inRange(n, kImages)) return false;
  sImageDef& e = pictures.ptr[n];
  if (w == 1 && h == 1)
    e.picture.destroy();
  else if (!e.picture.create(px, w, h, flip))
    return false;  // a size the picture refuses leaves the entry as it was
  e.width = static_cast<unsigned int>(w);
  e.height = static_cast<unsigned int>(h);
  e.colour = px[0];
  return true;
}
