#include "ciom/picture.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "compression/zdeflate.h"
#include "picts/pixelalloc.h"

bool __bmp_res_inversed = true;

namespace {

constexpr int kMaxResourceSide = 65536;

int readLE32(const unsigned char* p) {
  return static_cast<int>(static_cast<unsigned int>(p[0]) | static_cast<unsigned int>(p[1]) << 8 |
                          static_cast<unsigned int>(p[2]) << 16 | static_cast<unsigned int>(p[3]) << 24);
}

void copyRows(const unsigned int* src, unsigned int* dst, int w, int h, bool flip) {
  size_t rowBytes = static_cast<size_t>(w) * 4;
  for (long long y = 0; y < h; ++y) {
    long long from = flip ? h - 1 - y : y;
    std::memcpy(dst + y * w, src + from * w, rowBytes);
  }
}

}  // namespace

bool readPictureResourceSize(const unsigned char* resource, unsigned int size, int& w, int& h) {
  if (!resource || size < 9) return false;
  w = readLE32(resource);
  h = readLE32(resource + 4);
  return w > 0 && h > 0 && w <= kMaxResourceSide && h <= kMaxResourceSide;
}

void inflatePictureResource(const unsigned char* resource, unsigned int size, unsigned int* out,
                            long long count) {
  // Pixel counts stay under the picture limit, so the byte count fits 32 bits.
  unsigned int bytes = static_cast<unsigned int>(count * 4);
  unsigned int got = cZInflate().inflate(resource + 8, size - 8, out, bytes);
  std::memset(reinterpret_cast<unsigned char*>(out) + got, 0, bytes - got);
}

bool cPicture::create(int w, int h) {
  long long count = pictPixelCount(w, h);
  if (count < 0) return false;
  if (count != pixels.count || !pixels.ptr) {
    if (!allocPictPixels(pixels, w, h)) {
      myWidth = myHeight = 0;
      return false;
    }
  }
  myWidth = w;
  myHeight = h;
  return true;
}

bool cPicture::create(const unsigned int* px, int w, int h, bool flip) {
  if (!px || !create(w, h)) return false;
  copyRows(px, pixels.ptr, w, h, flip);
  return true;
}

bool cPicture::create(unsigned int colour, int w, int h) {
  if (!create(w, h)) return false;
  std::fill(pixels.ptr, pixels.ptr + pixels.count, colour);
  return true;
}

bool cPicture::create(const unsigned char* resource, unsigned int size) {
  int w, h;
  if (!readPictureResourceSize(resource, size, w, h) || !create(w, h)) return false;
  inflatePictureResource(resource, size, pixels.ptr, pixels.count);
  if (__bmp_res_inversed) flip();
  return true;
}

bool cPicture::create_on(_typebuf<unsigned int>& buf, int w, int h) {
  // The picture's count must match its size, or every pixel loop would walk
  // past the buffer.
  if (!buf.ptr || pictPixelCount(w, h) != buf.count) return false;
  pixels.set(0);
  std::swap(pixels.ptr, buf.ptr);
  std::swap(pixels.count, buf.count);
  myWidth = w;
  myHeight = h;
  return true;
}

void cPicture::destroy() {
  pixels.set(0);
  myWidth = myHeight = 0;
}

void cPicture::swap(cPicture& other) {
  std::swap(pixels.ptr, other.pixels.ptr);
  std::swap(pixels.count, other.pixels.count);
  std::swap(myWidth, other.myWidth);
  std::swap(myHeight, other.myHeight);
}

void cPicture::makesolid() {
  for (long long i = 0; i < pixels.count; ++i) pixels.ptr[i] |= 0xFF000000u;
}

bool cPicture::blt(const cPicture* src, int x, int y, int w, int h, bool keepSrcAlpha) {
  if (!src || empty() || src->empty()) return false;
  if (w == 0) w = src->myWidth;
  if (h == 0) h = src->myHeight;
  // Clipped in 64 bits against both pictures: a negative position skips the
  // source's first columns or rows instead of writing before this picture.
  long long sx = x < 0 ? -static_cast<long long>(x) : 0, sy = y < 0 ? -static_cast<long long>(y) : 0;
  long long dx = x + sx, dy = y + sy;
  long long cols = std::min({static_cast<long long>(w) - sx, myWidth - dx, src->myWidth - sx});
  long long rows = std::min({static_cast<long long>(h) - sy, myHeight - dy, src->myHeight - sy});
  if (cols <= 0 || rows <= 0) return true;

  for (long long r = 0; r < rows; ++r) {
    const unsigned char* s =
        reinterpret_cast<const unsigned char*>(src->pixels.ptr + (sy + r) * src->myWidth + sx);
    unsigned char* d = reinterpret_cast<unsigned char*>(pixels.ptr + (dy + r) * myWidth + dx);
    for (long long c = 0; c < cols; ++c, s += 4, d += 4) {
      unsigned int a = s[3];
      if (a == 0) continue;
      if (a == 255) {
        std::memcpy(d, s, 4);
        continue;
      }
      // The weight is a / 256, so a half-transparent pixel keeps exactly half.
      double f = 0.00390625 * a, g = 1.0 - f;
      for (int k = 0; k < 3; ++k) d[k] = static_cast<unsigned char>(static_cast<int>(d[k] * g + s[k] * f));
      d[3] = keepSrcAlpha ? static_cast<unsigned char>(a)
                          : static_cast<unsigned char>(static_cast<int>(d[3] * g + a * f));
    }
  }
  return true;
}

bool cPicture::subPictTo(sRect& r, cPicture* out) const {
  if (!out || empty() || r.width <= 0 || r.height <= 0 || r.x >= myWidth || r.y >= myHeight) return false;
  if (static_cast<long long>(r.x) + r.width <= 0 || static_cast<long long>(r.y) + r.height <= 0) return false;
  r.width = std::min(r.width, myWidth);
  r.height = std::min(r.height, myHeight);
  if (r.x < 0) {
    r.width += r.x;
    r.x = 0;
  }
  if (r.y < 0) {
    r.height += r.y;
    r.y = 0;
  }
  r.width = std::min(r.width, myWidth - r.x);
  r.height = std::min(r.height, myHeight - r.y);
  if (r.width <= 0 || r.height <= 0 || !out->create(r.width, r.height)) return false;
  long long first = __bmp_res_inversed ? r.y : myHeight - r.y - r.height;
  for (long long row = 0; row < r.height; ++row)
    std::memcpy(out->pixels.ptr + row * r.width, pixels.ptr + (first + row) * myWidth + r.x,
                static_cast<size_t>(r.width) * 4);
  return true;
}

bool cPicture::flip() {
  if (empty()) return false;
  for (long long top = 0, bottom = myHeight - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(pixels.ptr + top * myWidth, pixels.ptr + (top + 1) * myWidth,
                     pixels.ptr + bottom * myWidth);
  return true;
}

bool cPicture::rotate(int degrees) {
  if (degrees == 0) return true;
  if (degrees != 90 && degrees != 180 && degrees != 270) return false;
  if (empty()) return false;
  if (degrees == 180) {
    std::reverse(pixels.ptr, pixels.ptr + pixels.count);
    return true;
  }
  _typebuf<unsigned int> turned;
  turned.set(pixels.count);
  const long long w = myWidth, h = myHeight;  // the new picture is h wide and w high
  for (long long ny = 0; ny < w; ++ny)
    for (long long nx = 0; nx < h; ++nx)
      turned.ptr[ny * h + nx] =
          degrees == 90 ? pixels.ptr[nx * w + (w - 1 - ny)] : pixels.ptr[(h - 1 - nx) * w + ny];
  return create_on(turned, myHeight, myWidth);
}
