// From coefficients to samples: the accurate integer inverse DCT, chroma
// replication up to the MCU's resolution, and the colour conversion of
// each output row.
#include <cstring>
#include <new>

#include "picts/jpgparser.h"

namespace {

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;

// Fixed-point multipliers, value x 2^13.
constexpr unsigned int k0_298631336 = 2446;
constexpr unsigned int k0_390180644 = 3196;
constexpr unsigned int k0_541196100 = 4433;
constexpr unsigned int k0_765366865 = 6270;
constexpr unsigned int k0_899976223 = 7373;
constexpr unsigned int k1_175875602 = 9633;
constexpr unsigned int k1_501321110 = 12299;
constexpr unsigned int k1_847759065 = 15137;
constexpr unsigned int k1_961570560 = 16069;
constexpr unsigned int k2_053119869 = 16819;
constexpr unsigned int k2_562915447 = 20995;
constexpr unsigned int k3_072711026 = 25172;

// The butterfly of one column or row. Arithmetic wraps modulo 2^32 so that
// hostile coefficients cannot overflow; sound data never comes near it, and
// the results then equal the signed computation bit for bit.
struct sIdctOut {
  unsigned int o[8];
};

inline sIdctOut butterfly(unsigned int i0, unsigned int i1, unsigned int i2, unsigned int i3, unsigned int i4,
                          unsigned int i5, unsigned int i6, unsigned int i7, unsigned int rounding) {
  unsigned int z1 = (i2 + i6) * k0_541196100;
  unsigned int tmp2 = z1 - i6 * k1_847759065;
  unsigned int tmp3 = z1 + i2 * k0_765366865;
  unsigned int tmp0 = ((i0 + i4) << kConstBits) + rounding;
  unsigned int tmp1 = ((i0 - i4) << kConstBits) + rounding;
  unsigned int tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3, tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
  unsigned int t0 = i7, t1 = i5, t2 = i3, t3 = i1;
  unsigned int z2 = t0 + t2, z3 = t1 + t3;
  unsigned int z5 = (z2 + z3) * k1_175875602;
  z2 = z5 - z2 * k1_961570560;
  z3 = z5 - z3 * k0_390180644;
  z1 = 0u - (t0 + t3) * k0_899976223;
  t0 = t0 * k0_298631336 + z1 + z2;
  t3 = t3 * k1_501321110 + z1 + z3;
  z1 = 0u - (t1 + t2) * k2_562915447;
  t1 = t1 * k2_053119869 + z1 + z3;
  t2 = t2 * k3_072711026 + z1 + z2;
  return {{tmp10 + t3, tmp11 + t2, tmp12 + t1, tmp13 + t0, tmp13 - t0, tmp12 - t1, tmp11 - t2, tmp10 - t3}};
}

inline int shiftDown(unsigned int v, int n) { return static_cast<int>(v) >> n; }

}  // namespace

void cJPEGParser::idct_int(sJCompInfo* comp, short* in, _typebuf<unsigned char>* outRows, int column,
                           const unsigned short* range, int prec) {
  const int n = 1 << prec;
  const unsigned short* limit = range + n / 2;
  const unsigned int mask = 4u * static_cast<unsigned int>(n) - 1;
  const int outShift = prec - 8;
  const int* q = comp->dequant;
  unsigned long long acRows;
  std::memcpy(&acRows, in, 8);
  unsigned long long ac = acRows & ~0xFFFFULL;
  for (int i = 1; i < 16 && !ac; ++i) {
    unsigned long long w;
    std::memcpy(&w, in + 4 * i, 8);
    ac |= w;
  }
  if (!ac) {
    // A flat block: both passes reduce to one rounded value.
    unsigned int dc = static_cast<unsigned int>(in[0]) * static_cast<unsigned int>(q[0]);
    int v = shiftDown((dc << kPass1Bits) + (1u << (kPass1Bits + 2)), kPass1Bits + 3);
    unsigned char s = static_cast<unsigned char>(limit[static_cast<unsigned int>(v) & mask] >> outShift);
    for (int r = 0; r < 8; ++r) std::memset(outRows[r].ptr + column, s, 8);
    return;
  }
  int ws[64];
  for (int c = 0; c < 8; ++c) {
    const short* col = in + c;
    const int* qc = q + c;
    if ((col[8] | col[16] | col[24] | col[32] | col[40] | col[48] | col[56]) == 0) {
      int dc = static_cast<int>(static_cast<unsigned int>(col[0]) * static_cast<unsigned int>(qc[0]) << kPass1Bits);
      for (int r = 0; r < 8; ++r) ws[r * 8 + c] = dc;
      continue;
    }
    auto deq = [&](int k) { return static_cast<unsigned int>(col[k * 8]) * static_cast<unsigned int>(qc[k * 8]); };
    sIdctOut o = butterfly(deq(0), deq(1), deq(2), deq(3), deq(4), deq(5), deq(6), deq(7),
                           1u << (kConstBits - kPass1Bits - 1));
    for (int r = 0; r < 8; ++r) ws[r * 8 + c] = shiftDown(o.o[r], kConstBits - kPass1Bits);
  }
  for (int r = 0; r < 8; ++r) {
    const int* w = ws + r * 8;
    unsigned char* out = outRows[r].ptr + column;
    if ((w[1] | w[2] | w[3] | w[4] | w[5] | w[6] | w[7]) == 0) {
      int v = shiftDown(static_cast<unsigned int>(w[0]) + (1u << (kPass1Bits + 2)), kPass1Bits + 3);
      std::memset(out, static_cast<unsigned char>(limit[static_cast<unsigned int>(v) & mask] >> outShift), 8);
      continue;
    }
    auto u = [&](int k) { return static_cast<unsigned int>(w[k]); };
    sIdctOut o = butterfly(u(0), u(1), u(2), u(3), u(4), u(5), u(6), u(7),
                           1u << (kConstBits + kPass1Bits + 2));
    for (int k = 0; k < 8; ++k)
      out[k] = static_cast<unsigned char>(
          limit[static_cast<unsigned int>(shiftDown(o.o[k], kConstBits + kPass1Bits + 3)) & mask] >> outShift);
  }
}

bool cJPEGParser::decodeSample(sHuffDecodedUnit** units, int count, unsigned char** rows, int& outW, int& outH) {
  // The inverse DCT here is the 8-bit one; other precisions would shift
  // its output by a wrong (even negative) amount.
  if (precision != 8 || !units || count < 1 || !rows || outW <= 0 || outH <= 0 || !rangeBase) return false;
  int mw = mcuWidth(), mh = mcuHeight();
  _typebuf<unsigned char>* compRows[4][32];
  long long nc = comps.count;
  if (nc > 4) return false;
  int k = 0;
  for (long long ci = 0; ci < nc; ++ci) {
    sJCompInfo& c = comps.ptr[ci];
    int cw = static_cast<int>(c.h * c.blockW), ch = static_cast<int>(c.v * c.blockH);
    if (mh % ch || mw % cw) return false;
    int fx = mw / cw, fy = mh / ch;
    try {
      if (c.blockRows.count != ch || c.blockRows.ptr[0].count != cw) {
        c.blockRows.set(ch);
        for (int r = 0; r < ch; ++r) c.blockRows.ptr[r].set(cw);
      }
      if (fx > 1 && c.mcuRows.count != ch) {
        c.mcuRows.set(ch);
        for (int r = 0; r < ch; ++r) c.mcuRows.ptr[r].set(mw);
      }
    } catch (const std::bad_alloc&) {
      c.blockRows.set(0);
      c.mcuRows.set(0);
      return false;
    }
    for (unsigned int v = 0; v < c.v; ++v)
      for (unsigned int h = 0; h < c.h; ++h) {
        if (k >= count) return false;
        sHuffDecodedUnit* u = units[k++];
        if (!u || u->comp != c.index) return false;
        idct_int(&c, u->coef, c.blockRows.ptr + v * c.blockH, static_cast<int>(h * c.blockW), rangeBase,
                 static_cast<int>(precision));
      }
    // Chroma is replicated, never interpolated: each sample covers fx x fy.
    for (int r = 0; r < ch; ++r) {
      _typebuf<unsigned char>* src = c.blockRows.ptr + r;
      if (fx > 1) {
        unsigned char* wide = c.mcuRows.ptr[r].ptr;
        const unsigned char* narrow = src->ptr;
        if (fx == 2) {
          for (int x = 0; x < cw; ++x) wide[2 * x] = wide[2 * x + 1] = narrow[x];
        } else {
          for (int x = 0; x < cw; ++x) std::memset(wide + x * fx, narrow[x], static_cast<size_t>(fx));
        }
        src = c.mcuRows.ptr + r;
      }
      for (int y = 0; y < fy; ++y) compRows[ci][r * fy + y] = src;
    }
  }
  if (outH > mh) outH = mh;
  if (outW > mw) outW = mw;
  _typebuf<unsigned char>* rowSet[4];
  for (int r = 0; r < outH; ++r) {
    for (long long ci = 0; ci < nc; ++ci) rowSet[ci] = compRows[ci][r];
    if (!colorConvert(rowSet, rows[r], outW, false)) return false;
  }
  return true;
}
