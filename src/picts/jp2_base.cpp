// Decoded JPEG 2000 images to 8-bit pixels: grey, sYCC, CIELab, CMYK, RGB
// and RGBA, every channel clamped to 0..255.
#include <cmath>

#include "picts/pictjp2.h"

namespace {

inline unsigned int clamp8(long long v) { return v < 0 ? 0 : v > 255 ? 255 : static_cast<unsigned int>(v); }

// A computed channel, truncated toward zero, shifted and clamped; values no
// integer holds (a colour box may ask for any scale) clamp too.
inline unsigned int clampReal(double v, int shift = 0) {
  if (!(v > -1e18)) return 0;
  if (v > 1e18) return 255;
  return clamp8(static_cast<long long>(v) >> shift);
}

inline unsigned int pixel(unsigned int r, unsigned int g, unsigned int b, unsigned int a) {
  return a << 24 | r << 16 | g << 8 | b;
}

struct sLab {
  double minL, minA, minB, scaleL, scaleA, scaleB;
};

sLab labOf(cJP2Image& im) {
  unsigned int p0 = im.comps.ptr[0].prec, p1 = im.comps.ptr[1].prec, p2 = im.comps.ptr[2].prec;
  unsigned int* lab = im.cielab;
  if (lab[0] == kJP2LabDefaults) {
    lab[1] = 100, lab[2] = 0, lab[3] = 170, lab[4] = 1U << (p1 - 1), lab[5] = 200;
    lab[6] = (1U << (p2 - 2)) + (1U << (p2 - 3));
  }
  double rl = lab[1], ol = lab[2], ra = lab[3], oa = lab[4], rb = lab[5], ob = lab[6];
  double m0 = std::ldexp(1.0, static_cast<int>(p0)) - 1, m1 = std::ldexp(1.0, static_cast<int>(p1)) - 1,
         m2 = std::ldexp(1.0, static_cast<int>(p2)) - 1;
  return {-(rl * ol) / m0, -(ra * oa) / m1, -(rb * ob) / m2, rl / m0, ra / m1, rb / m2};
}

double labF(double f) { return f > 0.2068965517241379 ? f * f * f : (f - 0.1379310344827586) * 0.1284185493460166; }

unsigned int labToRgb(const sLab& k, int s0, int s1, int s2) {
  double L = k.minL + s0 * k.scaleL, a = k.minA + s1 * k.scaleA, b = k.minB + s2 * k.scaleB;
  double fy = (L + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
  double X = labF(fx) * 235.875, Y = labF(fy) * 255, Z = labF(fz) * 266.03895;
  auto channel = [](double v) { return clampReal(v + 0.5); };
  return pixel(channel(3.240479 * X - 1.53715 * Y - 0.498535 * Z), channel(-0.969256 * X + 1.875992 * Y + 0.041556 * Z),
               channel(0.055648 * X - 0.204043 * Y + 1.057311 * Z), 0xFF);
}

}  // namespace

void cPictJP2Base::probeInfo(const cJP2Image& image, sPictInfo* info) {
  if (!info) return;
  info->width = image.x1 - image.x0;
  info->height = image.y1 - image.y0;
  info->hasPreview = false;
}

bool cPictJP2Base::jp2ImageToThis(cJP2Image* image) {
  if (!image || image->x1 <= image->x0 || image->y1 <= image->y0 || image->numcomps == 0) return false;
  const unsigned int n = image->numcomps;
  if (n == 2 || n > 4 || image->comps.ptr[0].prec < 8) return false;
  const long long w = image->x1 - image->x0, h = image->y1 - image->y0;
  for (unsigned int c = 0; c < n; ++c) {
    const sJP2ImageComp& ic = image->comps.ptr[c];
    if (!ic.data.ptr || ic.w != w || ic.h != h || ic.prec > 32) return false;
  }
  const int shift = static_cast<int>(image->comps.ptr[0].prec) - 8;
  const int cs = image->colorSpace;
  const bool lab = n >= 3 && cs == kJP2ColorCIELab;
  if (lab && (image->comps.ptr[1].prec < 1 || image->comps.ptr[2].prec < 3)) return false;
  sLab labK{};
  if (lab) labK = labOf(*image);
  const double cmykMax = std::ldexp(1.0, static_cast<int>(image->comps.ptr[0].prec)) - 1;

  myWidth = w;
  myHeight = h;
  myIs16 = false;
  const bool rendering = startExtRender();
  if (!rendering && !allocPixels(w, h, false)) return false;
  const int* s[4] = {};
  for (unsigned int c = 0; c < n; ++c) s[c] = image->comps.ptr[c].data.ptr;
  // Signed samples centre on 0; the display range starts at the most
  // negative one.
  long long offset[4] = {};
  for (unsigned int c = 0; c < n; ++c)
    if (image->comps.ptr[c].sgnd) offset[c] = 1LL << (image->comps.ptr[c].prec - 1);
  auto shifted = [shift, &offset](unsigned int c, int v) { return clamp8((v + offset[c]) >> shift); };
  for (long long y = 0; y < h; ++y) {
    const long long row = h - 1 - y;
    unsigned int* out = rendering ? nullptr : myPix8.ptr + row * w;
    for (long long x = 0; x < w; ++x) {
      const long long i = y * w + x;
      unsigned int p;
      if (n == 1) {
        unsigned int g = shifted(0, s[0][i]);
        p = pixel(g, g, g, 0xFF);
      } else if (lab) {
        p = labToRgb(labK, s[0][i], s[1][i], s[2][i]);
        if (n == 4) p = (p & 0xFFFFFF) | shifted(3, s[3][i]) << 24;
      } else if (n == 3 && cs == kJP2ColorSYCC) {
        float Y = static_cast<float>(s[0][i]), cb = static_cast<float>(s[1][i]) - 128,
              cr = static_cast<float>(s[2][i]) - 128;
        auto channel = [shift](float v) { return clampReal(v, shift); };
        p = pixel(channel(Y + 1.402f * cr), channel(Y - 0.34414f * cb - 0.71414f * cr), channel(Y + 1.772f * cb),
                  0xFF);
      } else if (n == 4 && cs == kJP2ColorCMYK) {
        double k = (cmykMax - s[3][i]) / cmykMax;
        auto channel = [&](int v) { return clampReal((cmykMax - v) / cmykMax * k * 255); };
        p = pixel(channel(s[0][i]), channel(s[1][i]), channel(s[2][i]), 0xFF);
      } else {
        p = pixel(shifted(0, s[0][i]), shifted(1, s[1][i]), shifted(2, s[2][i]),
                  n == 4 ? shifted(3, s[3][i]) : 0xFF);
      }
      if (rendering)
        setExtPix(x, row, p);
      else
        out[x] = p;
    }
  }
  if (rendering) endExtRender();
  return true;
}
