// The toolkit's bitmap: B, G, R, A pixels (0xAARRGGBB as a little-endian
// word), rows top-down in memory with no gap between them.
#pragma once

#include "base/buffers.h"
#include "ciom/geometry.h"

// Pixel data handed over as a resource, or as an array with the flip request,
// keeps its rows bottom-up; such data is reversed row by row as it is copied in.
extern bool __bmp_res_inversed;

class cPicture {
 public:
  // Fixed to int, so that a number outside the list is a value of the type
  // that resizing() can refuse.
  enum eResizeMethod : int { eResizeStretch = 0, eResizeScaling = 1 };

  _typebuf<unsigned int> pixels;

  cPicture() = default;
  cPicture(const cPicture&) = delete;
  cPicture& operator=(const cPicture&) = delete;

  // A size of 0 or below, or one past the pixel limit, is refused and leaves
  // the picture as it was. A new pixel count starts cleared; an equal one
  // keeps the old pixels.
  bool create(int w, int h);
  bool create(const unsigned int* px, int w, int h, bool flip);
  bool create(unsigned int colour, int w, int h);
  // The compressed picture resource: width and height as little-endian ints,
  // then a zlib stream of the pixels in stored row order. Pixels a short or
  // damaged stream does not supply stay 0.
  bool create(const unsigned char* resource, unsigned int size);
  // Takes over buf's storage when it holds exactly w x h pixels.
  bool create_on(_typebuf<unsigned int>& buf, int w, int h);
  void destroy();
  void swap(cPicture& other);
  void makesolid();

  unsigned int* raw() { return pixels.ptr; }
  const unsigned int* raw() const { return pixels.ptr; }
  int width() const { return myWidth; }
  int height() const { return myHeight; }

  // Alpha-composes src with its top-left corner at (x, y); whatever falls
  // outside either picture is left out.
  bool blt(const cPicture* src, int x, int y, int w, int h, bool keepSrcAlpha);
  bool subPictTo(sRect& r, cPicture* out) const;

  bool resizing(eResizeMethod m, int w, int h, cPicture* out) const;
  bool stretch(int w, int h, cPicture* out) const;
  bool scaling(int w, int h, cPicture* out) const;

  bool flip();
  bool rotate(int degrees);

  // New pictures the caller owns; null for an empty picture.
  cPicture* mkDisabled() const;
  cPicture* mkActive() const;
  bool mkDisabled(unsigned int* out) const;
  bool mkActive(unsigned int* out) const;
  static bool mkDisabled(const unsigned int* src, long long count, unsigned int* out);
  static bool mkActive(const unsigned int* src, long long count, unsigned int* out);

 private:
  bool empty() const { return !pixels.ptr || myWidth < 1 || myHeight < 1; }
  // Checks a resize, sizes out, and settles the same-size copy at once.
  enum eResizeStart { eResizeFailed, eResizeDone, eResizeToDo };
  eResizeStart startResize(int w, int h, cPicture* out) const;

  int myWidth = 0;
  int myHeight = 0;
};

// Validates a picture resource's header and inflates its pixels, in stored
// row order, into `out` of `count` pixels; missing pixels are zeroed.
bool readPictureResourceSize(const unsigned char* resource, unsigned int size, int& w, int& h);
void inflatePictureResource(const unsigned char* resource, unsigned int size, unsigned int* out,
                            long long count);
