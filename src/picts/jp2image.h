// What the JPEG 2000 codec hands to its pictures: the decoded image as
// planes of signed 32-bit samples, one per component, with the colour
// description a JP2 file gave; and the buffered reader the codec reads through.
#pragma once

#include "base/buffers.h"
#include "base/memio.h"

// A cache in front of the picture's input, which it does not own.
class cJP2FileIOTarget : public cMemBufferedIO {
 public:
  explicit cJP2FileIOTarget(cFileIOTarget* in) { ref(in, 4096); }
};

enum eJP2ColorSpace {
  kJP2ColorUnsupported = -1,
  kJP2ColorUnspecified = 0,
  kJP2ColorSRGB = 1,
  kJP2ColorGrey = 2,
  kJP2ColorSYCC = 3,
  kJP2ColorCMYK = 4,
  kJP2ColorNoEnum = 5,
  kJP2ColorCIELab = 6,
};

// The CIELab block carries this in its first word when the colr box gave no
// parameters of its own.
constexpr unsigned int kJP2LabDefaults = 0x44454600;

struct sJP2ImageComp {
  unsigned int dx = 0, dy = 0;  // sub-sampling
  unsigned int w = 0, h = 0;    // samples at the decoded resolution
  unsigned int x0 = 0, y0 = 0;  // origin, in component samples
  unsigned int prec = 0;
  unsigned int bpp = 0;
  unsigned int sgnd = 0;
  unsigned int resnoDecoded = 0;
  unsigned int factor = 0;
  _typebuf<int> data;  // w * h samples row by row; empty until decoded

  // Everything but the samples.
  void copyShape(const sJP2ImageComp& o) {
    dx = o.dx, dy = o.dy, w = o.w, h = o.h, x0 = o.x0, y0 = o.y0;
    prec = o.prec, bpp = o.bpp, sgnd = o.sgnd, resnoDecoded = o.resnoDecoded, factor = o.factor;
  }
  void takeData(_typebuf<int>& from) {
    data.set(0);
    data.ptr = from.ptr;
    data.count = from.count;
    from.ptr = nullptr;
    from.count = 0;
  }
};

class cJP2Image {
 public:
  unsigned int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  unsigned int numcomps = 0;
  int colorSpace = kJP2ColorUnspecified;
  _classbuf<sJP2ImageComp> comps;
  _typebuf<unsigned char> icc;
  // Defaults marker, then RL, OL, RA, OA, RB, OB, IL.
  unsigned int cielab[8] = {};

  // The header of `o`: area and component shapes, no samples.
  bool copyHeader(const cJP2Image& o);
};
