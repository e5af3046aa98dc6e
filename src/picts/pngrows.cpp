#include "picts/pngrows.h"

#include <emmintrin.h>

#include <cstring>

namespace {

inline unsigned char paeth(int a, int b, int c) {
  int pa = b - c, pb = a - c, pc = pa + pb;
  pa = pa < 0 ? -pa : pa;
  pb = pb < 0 ? -pb : pb;
  pc = pc < 0 ? -pc : pc;
  return static_cast<unsigned char>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// The byte distance as a constant lets the compiler keep one pixel's bytes
// in registers and unroll across them.
template <int BPP>
void unfilterFixed(unsigned char* row, const unsigned char* prior, long long n, int type) {
  switch (type) {
    case 1:
      for (long long i = BPP; i < n; ++i) row[i] = static_cast<unsigned char>(row[i] + row[i - BPP]);
      break;
    case 2:
      for (long long i = 0; i < n; ++i) row[i] = static_cast<unsigned char>(row[i] + prior[i]);
      break;
    case 3:
      for (long long i = 0; i < BPP && i < n; ++i)
        row[i] = static_cast<unsigned char>(row[i] + (prior[i] >> 1));
      for (long long i = BPP; i < n; ++i)
        row[i] = static_cast<unsigned char>(row[i] + ((row[i - BPP] + prior[i]) >> 1));
      break;
    case 4:
      // On the row's first pixel a and c are 0, and the predictor is b.
      for (long long i = 0; i < BPP && i < n; ++i) row[i] = static_cast<unsigned char>(row[i] + prior[i]);
      for (long long i = BPP; i < n; ++i)
        row[i] = static_cast<unsigned char>(row[i] + paeth(row[i - BPP], prior[i], prior[i - BPP]));
      break;
    default:
      break;
  }
}

// Pixels of three and four bytes (8-bit RGB and RGBA, the usual photograph
// and screenshot) have their serial filters worked a whole pixel at a time
// in 16-bit lanes.
// The bytes are gathered in registers: a partial copy through memory would
// stall every pixel on the store before it.
template <int BPP>
inline __m128i loadPixel(const unsigned char* p) {
  int v;
  if constexpr (BPP == 4)
    std::memcpy(&v, p, 4);
  else
    v = p[0] | p[1] << 8 | p[2] << 16;
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), _mm_setzero_si128());
}

template <int BPP>
inline void storePixel(unsigned char* p, __m128i lanes) {
  int v = _mm_cvtsi128_si32(_mm_packus_epi16(lanes, lanes));
  if constexpr (BPP == 4) {
    std::memcpy(p, &v, 4);
  } else {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
  }
}

inline __m128i absLanes(__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)); }

inline __m128i select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

template <int BPP>
bool unfilterPixels(unsigned char* row, const unsigned char* prior, long long n, int type) {
  if (type < 1 || type > 4 || type == 2 || n % BPP != 0) return false;
  const __m128i mask = _mm_set1_epi16(0xFF);
  __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
  for (long long i = 0; i < n; i += BPP) {
    __m128i x = loadPixel<BPP>(row + i), b = loadPixel<BPP>(prior + i), pred;
    if (type == 1) {
      pred = a;
    } else if (type == 3) {
      pred = _mm_srli_epi16(_mm_add_epi16(a, b), 1);
    } else {
      __m128i pa = _mm_sub_epi16(b, c), pb = _mm_sub_epi16(a, c);
      __m128i pc = absLanes(_mm_add_epi16(pa, pb));
      pa = absLanes(pa);
      pb = absLanes(pb);
      __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
      pred = select(_mm_cmpeq_epi16(smallest, pb), b, c);
      pred = select(_mm_cmpeq_epi16(smallest, pa), a, pred);
      c = b;
    }
    a = _mm_and_si128(_mm_add_epi16(x, pred), mask);
    storePixel<BPP>(row + i, a);
  }
  return true;
}

inline unsigned int be16(const unsigned char* p) { return static_cast<unsigned int>(p[0]) << 8 | p[1]; }

template <bool kUnit>
bool rowTo8(const sPngRowFormat& f, const unsigned char* s, long long count, unsigned int* out,
            long long step) {
  auto put = [&](long long i, unsigned int word) { out[kUnit ? i : i * step] = word; };
  switch (f.colorType) {
    case 0:
    case 3:
      if (f.depth == 8) {
        for (long long i = 0; i < count; ++i) {
          if (s[i] >= f.lutSize) return false;
          put(i, f.lut[s[i]]);
        }
      } else {
        int depth = f.depth, mask = (1 << depth) - 1;
        for (long long i = 0; i < count; ++i) {
          long long bit = i * depth;
          int v = (s[bit >> 3] >> (8 - depth - (bit & 7))) & mask;
          if (v >= f.lutSize) return false;
          put(i, f.lut[v]);
        }
      }
      return true;
    case 2:
      for (long long i = 0; i < count; ++i, s += 3) {
        unsigned int rgb =
            static_cast<unsigned int>(s[0]) << 16 | static_cast<unsigned int>(s[1]) << 8 | s[2];
        put(i, f.hasKey && rgb == f.key8 ? rgb : rgb | 0xFF000000u);
      }
      return true;
    case 4:
      for (long long i = 0; i < count; ++i, s += 2)
        put(i, static_cast<unsigned int>(s[1]) << 24 | s[0] * 0x010101u);
      return true;
    default:
      for (long long i = 0; i < count; ++i, s += 4)
        put(i, static_cast<unsigned int>(s[3]) << 24 | static_cast<unsigned int>(s[0]) << 16 |
                   static_cast<unsigned int>(s[1]) << 8 | s[2]);
      return true;
  }
}

constexpr unsigned long long kGrey16 = 0x000100010001ULL;
constexpr unsigned long long kOpaque16 = 0xFFFFULL << 48;

template <bool kUnit>
void rowTo16(const sPngRowFormat& f, const unsigned char* s, long long count, unsigned long long* out,
             long long step) {
  auto put = [&](long long i, unsigned long long word) { out[kUnit ? i : i * step] = word; };
  switch (f.colorType) {
    case 0:
      for (long long i = 0; i < count; ++i, s += 2) {
        unsigned long long grey = be16(s) * kGrey16;
        put(i, f.hasKey && grey == f.key16 ? grey : grey | kOpaque16);
      }
      break;
    case 2:
      for (long long i = 0; i < count; ++i, s += 6) {
        unsigned long long rgb = static_cast<unsigned long long>(be16(s)) << 32 |
                                 static_cast<unsigned long long>(be16(s + 2)) << 16 | be16(s + 4);
        put(i, f.hasKey && rgb == f.key16 ? rgb : rgb | kOpaque16);
      }
      break;
    case 4:
      for (long long i = 0; i < count; ++i, s += 4)
        put(i, static_cast<unsigned long long>(be16(s + 2)) << 48 | be16(s) * kGrey16);
      break;
    default:
      for (long long i = 0; i < count; ++i, s += 8)
        put(i, static_cast<unsigned long long>(be16(s + 6)) << 48 |
                   static_cast<unsigned long long>(be16(s)) << 32 |
                   static_cast<unsigned long long>(be16(s + 2)) << 16 | be16(s + 4));
      break;
  }
}

}  // namespace

void pngUnfilter(unsigned char* row, const unsigned char* prior, long long bytes, int bpp, int type) {
  switch (bpp) {
    case 1:
      return unfilterFixed<1>(row, prior, bytes, type);
    case 2:
      return unfilterFixed<2>(row, prior, bytes, type);
    case 3:
      if (!unfilterPixels<3>(row, prior, bytes, type)) unfilterFixed<3>(row, prior, bytes, type);
      return;
    case 4:
      if (!unfilterPixels<4>(row, prior, bytes, type)) unfilterFixed<4>(row, prior, bytes, type);
      return;
    case 6:
      return unfilterFixed<6>(row, prior, bytes, type);
    default:
      return unfilterFixed<8>(row, prior, bytes, type);
  }
}

bool pngRowTo8(const sPngRowFormat& f, const unsigned char* samples, long long count, unsigned int* out,
               long long step) {
  return step == 1 ? rowTo8<true>(f, samples, count, out, 1) : rowTo8<false>(f, samples, count, out, step);
}

void pngRowTo16(const sPngRowFormat& f, const unsigned char* samples, long long count,
                unsigned long long* out, long long step) {
  if (step == 1)
    rowTo16<true>(f, samples, count, out, 1);
  else
    rowTo16<false>(f, samples, count, out, step);
}
