// The greyed and the highlighted forms of a picture that disabled and
// hovered controls show.
#include <algorithm>
#include <new>

#include "ciom/picture.h"

namespace {

unsigned int disabledPixel(unsigned int p) {
  double b = p & 0xFF, g = p >> 8 & 0xFF, r = p >> 16 & 0xFF;
  // Weights 4/7, 2/7 and 1/7, summed in this order: white lands on 254.
  int l = static_cast<int>(g * 0.5714285714285714 + (r * 0.2857142857142857 + b * 0.14285714285714285));
  unsigned int v = static_cast<unsigned int>(std::min(static_cast<int>(l * 0.7647058823529411) + 30, 255));
  return (p & 0xFF000000u) | v << 16 | v << 8 | v;
}

unsigned int activeChannel(unsigned int c) {
  double v = c * 0.00392156862745098;
  return static_cast<unsigned int>(static_cast<int>((v * v + v + v) * 85));
}

unsigned int activePixel(unsigned int p) {
  return (p & 0xFF000000u) | activeChannel(p >> 16 & 0xFF) << 16 | activeChannel(p >> 8 & 0xFF) << 8 |
         activeChannel(p & 0xFF);
}

template <unsigned int (*Transform)(unsigned int)>
bool transformPixels(const unsigned int* src, long long count, unsigned int* out) {
  if (!src || !out || count <= 0) return false;
  for (long long i = 0; i < count; ++i) out[i] = Transform(src[i]);
  return true;
}

template <unsigned int (*Transform)(unsigned int)>
cPicture* transformedCopy(const cPicture& p) {
  if (!p.raw()) return nullptr;
  cPicture* out = new (std::nothrow) cPicture;
  if (!out) return nullptr;
  if (!out->create(p.width(), p.height())) {
    delete out;
    return nullptr;
  }
  transformPixels<Transform>(p.raw(), out->pixels.count, out->raw());
  return out;
}

}  // namespace

bool cPicture::mkDisabled(const unsigned int* src, long long count, unsigned int* out) {
  return transformPixels<disabledPixel>(src, count, out);
}

bool cPicture::mkActive(const unsigned int* src, long long count, unsigned int* out) {
  return transformPixels<activePixel>(src, count, out);
}

bool cPicture::mkDisabled(unsigned int* out) const { return mkDisabled(pixels.ptr, pixels.count, out); }
bool cPicture::mkActive(unsigned int* out) const { return mkActive(pixels.ptr, pixels.count, out); }
cPicture* cPicture::mkDisabled() const { return transformedCopy<disabledPixel>(*this); }
cPicture* cPicture::mkActive() const { return transformedCopy<activePixel>(*this); }
