// Rows of component samples to pixel words, by colour space.
#include <cmath>

#include "picts/jpgkernels.h"
#include "picts/jpgparser.h"

namespace {

constexpr int kScaleBits = 16;
constexpr int kOneHalf = 1 << (kScaleBits - 1);

// x * 2^16 rounded, for the conversion constants.
constexpr int fix(double x) { return static_cast<int>(x * 65536.0 + 0.5); }

template <int N>
struct sTable {
  int v[N];
};

constexpr sTable<256> makeCrR() {
  sTable<256> t{};
  for (int i = 0; i < 256; ++i) t.v[i] = (fix(1.40200) * (i - 128) + kOneHalf) >> kScaleBits;
  return t;
}
constexpr sTable<256> makeCbB() {
  sTable<256> t{};
  for (int i = 0; i < 256; ++i) t.v[i] = (fix(1.77200) * (i - 128) + kOneHalf) >> kScaleBits;
  return t;
}
constexpr sTable<256> makeCrG() {
  sTable<256> t{};
  for (int i = 0; i < 256; ++i) t.v[i] = -fix(0.71414) * (i - 128);
  return t;
}
constexpr sTable<260> makeCbG() {
  sTable<260> t{};
  for (int i = 0; i < 256; ++i) t.v[i] = -fix(0.34414) * (i - 128) + kOneHalf;
  return t;
}

constexpr sTable<256> Cr_r_tab = makeCrR();
constexpr sTable<256> Cb_b_tab = makeCbB();
constexpr sTable<256> Cr_g_tab = makeCrG();
constexpr sTable<260> Cb_g_tab = makeCbG();

// Clamping to 0..255 by lookup for sums from -384 to 639: the same values as
// the 8-bit range-limit table at its base, and safe for samples of any
// precision read by their low byte.
struct sClamp {
  unsigned char v[1024];
};
constexpr sClamp makeClamp() {
  sClamp t{};
  for (int i = 0; i < 1024; ++i) {
    int x = i - 384;
    t.v[i] = static_cast<unsigned char>(x < 0 ? 0 : x > 255 ? 255 : x);
  }
  return t;
}
constexpr sClamp kClampTable = makeClamp();
constexpr const unsigned char* kClamp = kClampTable.v + 384;

constexpr unsigned int kOpaque = 0xFF000000u;

inline unsigned int word(unsigned int r, unsigned int g, unsigned int b) {
  return kOpaque | r << 16 | g << 8 | b;
}

// The samples of one row, read as bytes or by the low byte of 16-bit words.
struct sRow {
  const unsigned char* p;
  int step;
  unsigned int operator[](int i) const { return p[i * step]; }
};

template <typename Row>
void colorConvert_GS(const Row& g, unsigned int* out, int count) {
  for (int i = 0; i < count; ++i) out[i] = g[i] * 0x010101u | kOpaque;
}

template <typename Row>
void colorConvert_RGB(const Row& r, const Row& g, const Row& b, unsigned int* out, int count) {
  for (int i = 0; i < count; ++i) out[i] = word(r[i], g[i], b[i]);
}

// Word samples only: byte rows take the vectorised kernel, which gives the
// same values.
void colorConvert_YCbCr(const sRow& y, const sRow& cb, const sRow& cr, unsigned int* out, int count) {
  for (int i = 0; i < count; ++i) {
    int Y = static_cast<int>(y[i]), Cb = static_cast<int>(cb[i]), Cr = static_cast<int>(cr[i]);
    out[i] = word(kClamp[Y + Cr_r_tab.v[Cr]], kClamp[Y + ((Cb_g_tab.v[Cb] + Cr_g_tab.v[Cr]) >> kScaleBits)],
                  kClamp[Y + Cb_b_tab.v[Cb]]);
  }
}

// Inverted ink as the stored values give it, weighed by K; in integers, as
// a product of doubles falls one short where the division is exact.
inline unsigned int ink(unsigned int v, unsigned int k) { return v * k / 255; }

inline unsigned int clamp255(double v) { return v <= 0 ? 0 : v >= 255 ? 255 : static_cast<unsigned int>(v); }

struct sCurves {
  const unsigned char* t[4] = {};
  explicit sCurves(cFasterTreeList<int, unsigned char*>* map) {
    if (!map) return;
    for (int c = 0; c < 4; ++c) {
      unsigned char** found = map->find(c);
      t[c] = found ? *found : nullptr;
    }
  }
  unsigned int apply(int c, unsigned int v) const { return t[c] ? t[c][v & 255] : v; }
};

void colorConvert_RGBA(const sRow* c, unsigned int* out, int count) {
  for (int i = 0; i < count; ++i) out[i] = c[3][i] << 24 | c[0][i] << 16 | c[1][i] << 8 | c[2][i];
}

// Adobe's files store inverted inks; `plain` ones (TIFF's) store them as they are.
void colorConvert_CMYK(const sRow* c, unsigned int* out, int count, bool plain) {
  const unsigned int flip = plain ? 255 : 0;
  for (int i = 0; i < count; ++i) {
    unsigned int k = c[3][i] ^ flip;
    out[i] = word(ink(c[0][i] ^ flip, k), ink(c[1][i] ^ flip, k), ink(c[2][i] ^ flip, k));
  }
}

void colorConvert_YCCK(const sRow* c, const sCurves& curves, unsigned int* out, int count) {
  for (int i = 0; i < count; ++i) {
    int y = 255 - static_cast<int>(curves.apply(0, c[0][i]));
    int cb = static_cast<int>(curves.apply(1, c[1][i])), cr = static_cast<int>(curves.apply(2, c[2][i]));
    unsigned int k = curves.apply(3, c[3][i]);
    unsigned int cyan = kClamp[y - Cr_r_tab.v[cr]];
    unsigned int magenta = kClamp[y - ((Cb_g_tab.v[cb] + Cr_g_tab.v[cr]) >> kScaleBits)];
    unsigned int yellow = kClamp[y - Cb_b_tab.v[cb]];
    out[i] = word(ink(cyan, k), ink(magenta, k), ink(yellow, k));
  }
}

// YCbCr in double precision; K is not used.
void colorConvert_YCCK_alt(const sRow* c, const sCurves& curves, unsigned int* out, int count) {
  for (int i = 0; i < count; ++i) {
    double y = curves.apply(0, c[0][i]), cb = curves.apply(1, c[1][i]) - 128.0,
           cr = curves.apply(2, c[2][i]) - 128.0;
    out[i] = word(clamp255(y + 1.402 * cr + 0.5), clamp255(y - 0.3441363 * cb - 0.71413636 * cr + 0.5),
                  clamp255(y + 1.772 * cb + 0.5));
  }
}

// Sixteen-bit words blue, green, red, alpha.
void colorConvert_GS16(const unsigned short* g, unsigned short* out, int count) {
  for (int i = 0; i < count; ++i, out += 4) {
    out[0] = out[1] = out[2] = g[i];
    out[3] = 0xFFFF;
  }
}

// `a` null: opaque.
void colorConvert_RGB16(const unsigned short* r, const unsigned short* g, const unsigned short* b,
                        const unsigned short* a, unsigned short* out, int count) {
  for (int i = 0; i < count; ++i, out += 4) {
    out[0] = b[i];
    out[1] = g[i];
    out[2] = r[i];
    out[3] = a ? a[i] : 0xFFFF;
  }
}

}  // namespace

bool cJPEGParser::colorConvert(_typebuf<unsigned char>** rows, unsigned char* outBytes, int count,
                               bool wordSamples) {
  if (!rows || !outBytes || count < 0) return false;
  unsigned int* out = reinterpret_cast<unsigned int*>(outBytes);
  unsigned int space = effectiveColorSpace();
  long long need = space == 1 ? 1 : space == 2 || space == 3 || space == 6 ? 3 : space >= 4 ? 4 : 0;
  if (need == 0 || need > comps.count) return false;
  if (!wordSamples) {
    const unsigned char* r0 = rows[0]->ptr;
    const unsigned char* r1 = space == 1 ? r0 : rows[1]->ptr;
    const unsigned char* r2 = space == 1 ? r0 : rows[2]->ptr;
    switch (space) {
      case 1:
        colorConvert_GS(r0, out, count);
        return true;
      case 2:
        jpgYCbCrRow(r0, r1, r2, out, count);
        return true;
      case 3:
        colorConvert_RGB(r0, r1, r2, out, count);
        return true;
      default:
        break;
    }
  }
  int step = wordSamples ? 2 : 1;
  sRow c[4];
  for (long long i = 0; i < need; ++i) c[i] = sRow{rows[i]->ptr, step};
  switch (space) {
    case 1:
      colorConvert_GS(c[0], out, count);
      return true;
    case 2:
      colorConvert_YCbCr(c[0], c[1], c[2], out, count);
      return true;
    case 3:
      colorConvert_RGB(c[0], c[1], c[2], out, count);
      return true;
    case 4:
      colorConvert_CMYK(c, out, count, plainInks);
      return true;
    case 5:
      colorConvert_YCCK(c, sCurves(myCurves8Ref), out, count);
      return true;
    case 6:
      colorConvert_YCCK_alt(c, sCurves(myCurves8Ref), out, count);
      return true;
    case 7:
      colorConvert_RGBA(c, out, count);
      return true;
    default:
      return false;
  }
}

bool cJPEGParser::colorConvert16(_typebuf<unsigned char>** rows, unsigned short* out, int count) {
  if (!rows || !out || count < 0) return false;
  unsigned int space = effectiveColorSpace();
  auto words = [&](int c) { return reinterpret_cast<const unsigned short*>(rows[c]->ptr); };
  if (space == 1 && comps.count >= 1) {
    colorConvert_GS16(words(0), out, count);
    return true;
  }
  if ((space == 3 && comps.count >= 3) || (space == 7 && comps.count >= 4)) {
    colorConvert_RGB16(words(0), words(1), words(2), space == 7 ? words(3) : nullptr, out, count);
    return true;
  }
  return false;
}
