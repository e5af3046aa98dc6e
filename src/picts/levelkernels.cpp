#include "picts/levelkernels.h"

#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "picts/cpufeatures.h"

namespace {

constexpr unsigned long long kAlpha = 0xFFFF000000000000ULL;

// `shift` is a number or a std::integral_constant: the chain's own 4096
// bins get constant shifts, which cost a third of a shift by a register.
// One set of bins: splitting the counts over several sets to part runs of
// equal levels cost more in cache misses than it saved on the pictures
// measured.
template <typename Shift>
__attribute__((always_inline)) inline void countBody(const unsigned long long* pixels, long long count,
                                                     Shift shift, unsigned int* red, unsigned int* green,
                                                     unsigned int* blue) {
  const unsigned long long mask = 0xFFFFu >> shift;
  for (long long i = 0; i < count; ++i) {
    const unsigned long long p = pixels[i];
    ++red[(p >> (32 + shift)) & mask];
    ++green[(p >> (16 + shift)) & mask];
    ++blue[(p >> shift) & mask];
  }
}

// With the factor 1.5, (v - y) * 1.5 + y is (3v - y) / 2 exactly, and
// truncating its non-negative values is a shift: integers give the same.
__attribute__((always_inline)) inline unsigned long long saturated(unsigned long long v, long long y) {
  const long long t = (3 * (long long)v - y) >> 1;
  return (unsigned long long)(t < 0 ? 0 : t > 65535 ? 65535 : t);
}

__attribute__((always_inline)) inline void runBody(const unsigned short* curve, const unsigned long long* src,
                                                   unsigned long long* dst, long long count, bool saturate) {
  for (long long i = 0; i < count; ++i) {
    unsigned long long p = src[i];
    unsigned long long r = (p >> 32) & 0xFFFF, g = (p >> 16) & 0xFFFF, b = p & 0xFFFF;
    if (curve) r = curve[r], g = curve[g], b = curve[b];
    if (saturate) {
      // The weighted sum stays within 0..65535, so the 32-bit cast truncates
      // as std::trunc would, without its library call.
      const long long y = int(double(b) * 0.11 + double(r) * 0.3 + double(g) * 0.59);
      r = saturated(r, y), g = saturated(g, y), b = saturated(b, y);
    }
    dst[i] = (p & kAlpha) | r << 32 | g << 16 | b;
  }
}

__attribute__((always_inline)) inline void scaleBody(unsigned long long* pixels, long long count,
                                                     const double* factors) {
  auto scaled = [](unsigned long long v, double m) -> unsigned long long {
    const double s = double(v & 0xFFFF) * m;
    return s >= 65535 ? 65535 : s > 0 ? (unsigned long long)s : 0;
  };
  for (long long i = 0; i < count; ++i) {
    const unsigned long long p = pixels[i];
    pixels[i] = (p & kAlpha) | scaled(p >> 32, factors[0]) << 32 | scaled(p >> 16, factors[1]) << 16 |
                scaled(p, factors[2]);
  }
}

#if defined(__x86_64__)
#define ZVK_AVX2 __attribute__((target("avx2")))

// The luma of eight lanes in doubles, each product and sum rounded as the
// plain build rounds it, then truncated.
ZVK_AVX2 inline __m128i lumaHalf(__m128i r, __m128i g, __m128i b) {
  __m256d s = _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(b), _mm256_set1_pd(0.11)),
                            _mm256_mul_pd(_mm256_cvtepi32_pd(r), _mm256_set1_pd(0.3)));
  s = _mm256_add_pd(s, _mm256_mul_pd(_mm256_cvtepi32_pd(g), _mm256_set1_pd(0.59)));
  return _mm256_cvttpd_epi32(s);
}
ZVK_AVX2 inline __m256i luma(__m256i r, __m256i g, __m256i b) {
  __m128i lo = lumaHalf(_mm256_castsi256_si128(r), _mm256_castsi256_si128(g), _mm256_castsi256_si128(b));
  __m128i hi = lumaHalf(_mm256_extracti128_si256(r, 1), _mm256_extracti128_si256(g, 1),
                        _mm256_extracti128_si256(b, 1));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}
ZVK_AVX2 inline __m256i saturatedAvx2(__m256i v, __m256i y) {
  __m256i t = _mm256_srai_epi32(_mm256_sub_epi32(_mm256_add_epi32(v, _mm256_add_epi32(v, v)), y), 1);
  return _mm256_min_epi32(_mm256_max_epi32(t, _mm256_setzero_si256()), _mm256_set1_epi32(0xFFFF));
}
ZVK_AVX2 inline __m256i lookedUp(const unsigned short* curve, __m256i v) {
  // Four bytes read at each entry: the curve's extra entry covers the last.
  return _mm256_and_si256(_mm256_i32gather_epi32(reinterpret_cast<const int*>(curve), v, 2),
                          _mm256_set1_epi32(0xFFFF));
}

// Eight pixels a step as two words each: low words green and blue, high
// words alpha and red. The shuffle pairs pixels in an order its unpacking
// undoes, and pixels do not depend on each other. `op` changes the three
// channels of eight pixels; returns how many pixels were done.
template <typename Op>
ZVK_AVX2 inline long long eightAtATime(const unsigned long long* src, unsigned long long* dst,
                                       long long count, const Op& op) {
  const __m256i low16 = _mm256_set1_epi32(0xFFFF);
  long long i = 0;
  for (; i + 8 <= count; i += 8) {
    __m256 p0 = _mm256_castsi256_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)));
    __m256 p1 = _mm256_castsi256_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 4)));
    __m256i lo = _mm256_castps_si256(_mm256_shuffle_ps(p0, p1, _MM_SHUFFLE(2, 0, 2, 0)));
    __m256i hi = _mm256_castps_si256(_mm256_shuffle_ps(p0, p1, _MM_SHUFFLE(3, 1, 3, 1)));
    __m256i r = _mm256_and_si256(hi, low16), g = _mm256_srli_epi32(lo, 16), b = _mm256_and_si256(lo, low16);
    op(r, g, b);
    lo = _mm256_or_si256(_mm256_slli_epi32(g, 16), b);
    hi = _mm256_or_si256(_mm256_andnot_si256(low16, hi), r);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_unpacklo_epi32(lo, hi));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i + 4), _mm256_unpackhi_epi32(lo, hi));
  }
  return i;
}

template <bool kCurve, bool kSaturate>
struct sCurveSaturate {
  const unsigned short* curve;
  ZVK_AVX2 void operator()(__m256i& r, __m256i& g, __m256i& b) const {
    if constexpr (kCurve) {
      r = lookedUp(curve, r);
      g = lookedUp(curve, g);
      b = lookedUp(curve, b);
    }
    if constexpr (kSaturate) {
      __m256i y = luma(r, g, b);
      r = saturatedAvx2(r, y);
      g = saturatedAvx2(g, y);
      b = saturatedAvx2(b, y);
    }
  }
};

template <bool kCurve, bool kSaturate>
ZVK_AVX2 void runAvx2(const unsigned short* curve, const unsigned long long* src, unsigned long long* dst,
                      long long count) {
  const long long i = eightAtATime(src, dst, count, sCurveSaturate<kCurve, kSaturate>{curve});
  if (i < count) runBody(curve, src + i, dst + i, count - i, kSaturate);
}

// As scaledBody: NaN and products at or below zero give 0 (max returns its
// second operand for NaN), those at or above 65535 give 65535.
ZVK_AVX2 inline __m128i scaledHalf(__m128i v, __m256d factor) {
  __m256d s = _mm256_max_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(v), factor), _mm256_setzero_pd());
  return _mm256_cvttpd_epi32(_mm256_min_pd(s, _mm256_set1_pd(65535)));
}
ZVK_AVX2 inline __m256i scaledAvx2(__m256i v, __m256d factor) {
  __m128i lo = scaledHalf(_mm256_castsi256_si128(v), factor);
  return _mm256_inserti128_si256(_mm256_castsi128_si256(lo),
                                 scaledHalf(_mm256_extracti128_si256(v, 1), factor), 1);
}

struct sScale {
  __m256d r, g, b;
  ZVK_AVX2 void operator()(__m256i& vr, __m256i& vg, __m256i& vb) const {
    vr = scaledAvx2(vr, r);
    vg = scaledAvx2(vg, g);
    vb = scaledAvx2(vb, b);
  }
};

ZVK_AVX2 void scaleAvx2(unsigned long long* pixels, long long count, const double* factors) {
  const sScale op{_mm256_set1_pd(factors[0]), _mm256_set1_pd(factors[1]), _mm256_set1_pd(factors[2])};
  const long long i = eightAtATime(pixels, pixels, count, op);
  if (i < count) scaleBody(pixels + i, count - i, factors);
}
#endif

void runPlain(const unsigned short* curve, const unsigned long long* src, unsigned long long* dst,
              long long count, bool saturate) {
  runBody(curve, src, dst, count, saturate);
}

void scalePlain(unsigned long long* pixels, long long count, const double* factors) {
  scaleBody(pixels, count, factors);
}

bool gWide = cpuHasAvx2();

}  // namespace

void levelUseWideKernels(bool use) { gWide = use && cpuHasAvx2(); }

void countLevels(const unsigned long long* pixels, long long count, unsigned shift, unsigned int* red,
                 unsigned int* green, unsigned int* blue) {
  if (shift == 4)
    countBody(pixels, count, std::integral_constant<unsigned, 4>{}, red, green, blue);
  else
    countBody(pixels, count, shift, red, green, blue);
}

void levelRun(const unsigned short* curve, const unsigned long long* src, unsigned long long* dst,
              long long count, bool saturate) {
#if defined(__x86_64__)
  if (gWide) {
    if (curve && saturate) return runAvx2<true, true>(curve, src, dst, count);
    if (curve) return runAvx2<true, false>(curve, src, dst, count);
    if (saturate) return runAvx2<false, true>(curve, src, dst, count);
  }
#endif
  runPlain(curve, src, dst, count, saturate);
}

void levelScale(unsigned long long* pixels, long long count, const double* factors) {
#if defined(__x86_64__)
  if (gWide) return scaleAvx2(pixels, count, factors);
#endif
  scalePlain(pixels, count, factors);
}
