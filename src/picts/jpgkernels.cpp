#include "picts/jpgkernels.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "picts/cpufeatures.h"

namespace {

// Fixed-point multipliers of the inverse DCT, value x 2^13.
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
constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;

// One pass of the butterfly over eight lanes: in[k][lane] -> out[k][lane].
// Arithmetic wraps modulo 2^32, so hostile coefficients cannot overflow;
// sound data never comes near it and then equals the signed computation.
__attribute__((always_inline)) inline void pass(const unsigned int (*in)[8], unsigned int (*out)[8],
                                                unsigned int rounding) {
  for (int c = 0; c < 8; ++c) {
    unsigned int i0 = in[0][c], i1 = in[1][c], i2 = in[2][c], i3 = in[3][c];
    unsigned int i4 = in[4][c], i5 = in[5][c], i6 = in[6][c], i7 = in[7][c];
    unsigned int z1 = (i2 + i6) * k0_541196100;
    unsigned int tmp2 = z1 - i6 * k1_847759065;
    unsigned int tmp3 = z1 + i2 * k0_765366865;
    unsigned int tmp0 = ((i0 + i4) << kConstBits) + rounding;
    unsigned int tmp1 = ((i0 - i4) << kConstBits) + rounding;
    unsigned int tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3, tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    unsigned int z2 = i7 + i3, z3 = i5 + i1;
    unsigned int z5 = (z2 + z3) * k1_175875602;
    z2 = z5 - z2 * k1_961570560;
    z3 = z5 - z3 * k0_390180644;
    z1 = 0u - (i7 + i1) * k0_899976223;
    unsigned int t0 = i7 * k0_298631336 + z1 + z2;
    unsigned int t3 = i1 * k1_501321110 + z1 + z3;
    z1 = 0u - (i5 + i3) * k2_562915447;
    unsigned int t1 = i5 * k2_053119869 + z1 + z3;
    unsigned int t2 = i3 * k3_072711026 + z1 + z2;
    out[0][c] = tmp10 + t3;
    out[1][c] = tmp11 + t2;
    out[2][c] = tmp12 + t1;
    out[3][c] = tmp13 + t0;
    out[4][c] = tmp13 - t0;
    out[5][c] = tmp12 - t1;
    out[6][c] = tmp11 - t2;
    out[7][c] = tmp10 - t3;
  }
}

// What the range-limit table gives for a descaled value: the value taken
// modulo four sample ranges as a signed number, plus half the range,
// clamped to the range.
__attribute__((always_inline)) inline unsigned char limited(unsigned int v, int shift, int precision) {
  int keep = 32 - (precision + 2);
  int x = static_cast<int>((v >> shift) << keep) >> keep;
  int half = 1 << (precision - 1), top = (1 << precision) - 1;
  x += half;
  x = x < 0 ? 0 : x > top ? top : x;
  return static_cast<unsigned char>(x >> (precision - 8));
}

__attribute__((always_inline)) inline void idctBody(const short* coef, const int* q,
                                                    unsigned char* const* rows, int column, int precision) {
  unsigned int a[8][8], ws[8][8], wt[8][8], res[8][8];
  for (int k = 0; k < 64; ++k)
    a[k / 8][k % 8] = static_cast<unsigned int>(coef[k]) * static_cast<unsigned int>(q[k]);
  pass(a, ws, 1u << (kConstBits - kPass1Bits - 1));
  // Descaled between the passes, and turned so that rows become lanes.
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c)
      wt[c][r] = static_cast<unsigned int>(static_cast<int>(ws[r][c]) >> (kConstBits - kPass1Bits));
  pass(wt, res, 1u << (kConstBits + kPass1Bits + 2));
  unsigned char bytes[8][8];
  for (int k = 0; k < 8; ++k)
    for (int r = 0; r < 8; ++r) bytes[k][r] = limited(res[k][r], kConstBits + kPass1Bits + 3, precision);
  for (int r = 0; r < 8; ++r) {
    unsigned char* out = rows[r] + column;
    for (int k = 0; k < 8; ++k) out[k] = bytes[k][r];
  }
}

__attribute__((always_inline)) inline void yccBody(const unsigned char* y, const unsigned char* cb,
                                                   const unsigned char* cr, unsigned int* out, int count) {
  constexpr int kCrR = 91881, kCbB = 116130, kCrG = 46802, kCbG = 22554, kHalf = 1 << 15;
  for (int i = 0; i < count; ++i) {
    int Y = y[i], Cb = cb[i] - 128, Cr = cr[i] - 128;
    int r = Y + ((kCrR * Cr + kHalf) >> 16);
    int g = Y + ((-kCbG * Cb - kCrG * Cr + kHalf) >> 16);
    int b = Y + ((kCbB * Cb + kHalf) >> 16);
    r = r < 0 ? 0 : r > 255 ? 255 : r;
    g = g < 0 ? 0 : g > 255 ? 255 : g;
    b = b < 0 ? 0 : b > 255 ? 255 : b;
    out[i] = 0xFF000000u | static_cast<unsigned int>(r) << 16 | static_cast<unsigned int>(g) << 8 |
             static_cast<unsigned int>(b);
  }
}

#if defined(__x86_64__)
#define ZVK_AVX2 __attribute__((target("avx2")))

typedef unsigned int v8u __attribute__((vector_size(32)));
typedef int v8i __attribute__((vector_size(32)));

// The last stage of the butterfly: even and odd parts into the eight outputs.
ZVK_AVX2 inline void combine(v8u* v, v8u tmp10, v8u tmp11, v8u tmp12, v8u tmp13, v8u t0, v8u t1, v8u t2,
                             v8u t3) {
  v[0] = tmp10 + t3;
  v[1] = tmp11 + t2;
  v[2] = tmp12 + t1;
  v[3] = tmp13 + t0;
  v[4] = tmp13 - t0;
  v[5] = tmp12 - t1;
  v[6] = tmp11 - t2;
  v[7] = tmp10 - t3;
}

// The butterfly on eight lanes at once, the same wrapping arithmetic as pass().
ZVK_AVX2 inline void passAvx2(v8u* v, unsigned int rounding) {
  v8u z1 = (v[2] + v[6]) * k0_541196100;
  v8u tmp2 = z1 - v[6] * k1_847759065;
  v8u tmp3 = z1 + v[2] * k0_765366865;
  v8u tmp0 = ((v[0] + v[4]) << kConstBits) + rounding;
  v8u tmp1 = ((v[0] - v[4]) << kConstBits) + rounding;
  v8u tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3, tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
  v8u z2 = v[7] + v[3], z3 = v[5] + v[1];
  v8u z5 = (z2 + z3) * k1_175875602;
  z2 = z5 - z2 * k1_961570560;
  z3 = z5 - z3 * k0_390180644;
  z1 = 0u - (v[7] + v[1]) * k0_899976223;
  v8u t0 = v[7] * k0_298631336 + z1 + z2;
  v8u t3 = v[1] * k1_501321110 + z1 + z3;
  z1 = 0u - (v[5] + v[3]) * k2_562915447;
  v8u t1 = v[5] * k2_053119869 + z1 + z3;
  v8u t2 = v[3] * k3_072711026 + z1 + z2;
  combine(v, tmp10, tmp11, tmp12, tmp13, t0, t1, t2, t3);
}

// The same butterfly when inputs 4 to 7 are zero, as they are in most
// blocks of photographs: the products of zeros are left out, which changes
// no bit of the result.
ZVK_AVX2 inline void passAvx2Low(v8u* v, unsigned int rounding) {
  v8u tmp2 = v[2] * k0_541196100;
  v8u tmp3 = v[2] * (k0_541196100 + k0_765366865);
  v8u tmp0 = (v[0] << kConstBits) + rounding;
  v8u tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3, tmp11 = tmp0 + tmp2, tmp12 = tmp0 - tmp2;
  v8u z5 = (v[3] + v[1]) * k1_175875602;
  v8u z2 = z5 - v[3] * k1_961570560;
  v8u z3 = z5 - v[1] * k0_390180644;
  v8u z1 = 0u - v[1] * k0_899976223;
  v8u t0 = z1 + z2;
  v8u t3 = v[1] * k1_501321110 + z1 + z3;
  z1 = 0u - v[3] * k2_562915447;
  v8u t1 = z1 + z3;
  v8u t2 = v[3] * k3_072711026 + z1 + z2;
  combine(v, tmp10, tmp11, tmp12, tmp13, t0, t1, t2, t3);
}

ZVK_AVX2 inline void transposeAvx2(v8u* r) {
  __m256i t[8], u[8];
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_epi32(reinterpret_cast<__m256i>(r[i]), reinterpret_cast<__m256i>(r[i + 1]));
    t[i + 1] = _mm256_unpackhi_epi32(reinterpret_cast<__m256i>(r[i]), reinterpret_cast<__m256i>(r[i + 1]));
  }
  for (int i = 0; i < 8; i += 4) {
    u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
    u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
    u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
    u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
  }
  for (int i = 0; i < 4; ++i) {
    r[i] = reinterpret_cast<v8u>(_mm256_permute2x128_si256(u[i], u[i + 4], 0x20));
    r[i + 4] = reinterpret_cast<v8u>(_mm256_permute2x128_si256(u[i], u[i + 4], 0x31));
  }
}

// Whether every coefficient outside the top-left 4 x 4 is zero.
inline bool lowOnly(const short* coef) {
  unsigned long long any = 0;
  for (int r = 0; r < 8; ++r) {
    unsigned long long w;
    std::memcpy(&w, coef + 8 * r + 4, 8);
    any |= w;
    if (r >= 4) {
      std::memcpy(&w, coef + 8 * r, 8);
      any |= w;
    }
  }
  return any == 0;
}

ZVK_AVX2 void idctAvx2(const short* coef, const int* q, unsigned char* const* rows, int column,
                       int precision) {
  v8u v[8];
  bool low = lowOnly(coef);
  for (int k = 0; k < 8; ++k) {
    __m256i c = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 8 * k)));
    __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 8 * k));
    v[k] = reinterpret_cast<v8u>(_mm256_mullo_epi32(c, m));
  }
  if (low)
    passAvx2Low(v, 1u << (kConstBits - kPass1Bits - 1));
  else
    passAvx2(v, 1u << (kConstBits - kPass1Bits - 1));
  for (int k = 0; k < 8; ++k)
    v[k] = reinterpret_cast<v8u>(reinterpret_cast<v8i>(v[k]) >> (kConstBits - kPass1Bits));
  transposeAvx2(v);
  // Columns 4 to 7 of the first pass are zero too, so the rows' inputs
  // 4 to 7 are.
  if (low)
    passAvx2Low(v, 1u << (kConstBits + kPass1Bits + 2));
  else
    passAvx2(v, 1u << (kConstBits + kPass1Bits + 2));
  // As limited(): wrap to four sample ranges, re-centre, clamp.
  int keep = 32 - (precision + 2), down = precision - 8;
  v8i half = v8i{} + (1 << (precision - 1)), zero = v8i{}, top = v8i{} + ((1 << precision) - 1);
  for (int k = 0; k < 8; ++k) {
    v8i x = reinterpret_cast<v8i>(v[k] >> (kConstBits + kPass1Bits + 3));
    x = ((x << keep) >> keep) + half;
    x = x < zero ? zero : x;
    x = x > top ? top : x;
    v[k] = reinterpret_cast<v8u>(x >> down);
  }
  transposeAvx2(v);
  for (int r = 0; r < 8; ++r) {
    __m256i x = reinterpret_cast<__m256i>(v[r]);
    __m128i words = _mm_packus_epi32(_mm256_castsi256_si128(x), _mm256_extracti128_si256(x, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(rows[r] + column), _mm_packus_epi16(words, words));
  }
}
ZVK_AVX2 inline __m256i load8(const unsigned char* p) {
  return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}
ZVK_AVX2 inline __m256i descaled(__m256i v) {
  return _mm256_srai_epi32(_mm256_add_epi32(v, _mm256_set1_epi32(1 << 15)), 16);
}
ZVK_AVX2 inline __m256i clamped(__m256i v) {
  return _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()), _mm256_set1_epi32(255));
}

// Eight pixels a step: a plain loop would be widened for the byte inputs
// and never reach its vector body on rows of an MCU's width.
ZVK_AVX2 void yccAvx2(const unsigned char* y, const unsigned char* cb, const unsigned char* cr,
                      unsigned int* out, int count) {
  const __m256i crR = _mm256_set1_epi32(91881), cbB = _mm256_set1_epi32(116130);
  const __m256i crG = _mm256_set1_epi32(-46802), cbG = _mm256_set1_epi32(-22554);
  const __m256i centre = _mm256_set1_epi32(128);
  const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    __m256i Y = load8(y + i), Cb = _mm256_sub_epi32(load8(cb + i), centre);
    __m256i Cr = _mm256_sub_epi32(load8(cr + i), centre);
    __m256i r = clamped(_mm256_add_epi32(Y, descaled(_mm256_mullo_epi32(Cr, crR))));
    __m256i g = clamped(_mm256_add_epi32(
        Y, descaled(_mm256_add_epi32(_mm256_mullo_epi32(Cb, cbG), _mm256_mullo_epi32(Cr, crG)))));
    __m256i b = clamped(_mm256_add_epi32(Y, descaled(_mm256_mullo_epi32(Cb, cbB))));
    __m256i words = _mm256_or_si256(_mm256_or_si256(alpha, _mm256_slli_epi32(r, 16)),
                                    _mm256_or_si256(_mm256_slli_epi32(g, 8), b));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), words);
  }
  if (i < count) yccBody(y + i, cb + i, cr + i, out + i, count - i);
}
#endif

void idctPlain(const short* coef, const int* q, unsigned char* const* rows, int column, int precision) {
  idctBody(coef, q, rows, column, precision);
}
void yccPlain(const unsigned char* y, const unsigned char* cb, const unsigned char* cr, unsigned int* out,
              int count) {
  yccBody(y, cb, cr, out, count);
}

bool gWide = cpuHasAvx2();

bool hasAvx2() { return gWide; }

}  // namespace

void jpgUseWideKernels(bool use) { gWide = use && cpuHasAvx2(); }

void jpgIdct8x8(const short* coef, const int* dequant, unsigned char* const* rows, int column,
                int precision) {
#if defined(__x86_64__)
  if (hasAvx2()) return idctAvx2(coef, dequant, rows, column, precision);
#endif
  idctPlain(coef, dequant, rows, column, precision);
}

void jpgYCbCrRow(const unsigned char* y, const unsigned char* cb, const unsigned char* cr, unsigned int* out,
                 int count) {
#if defined(__x86_64__)
  if (hasAvx2()) return yccAvx2(y, cb, cr, out, count);
#endif
  yccPlain(y, cb, cr, out, count);
}
