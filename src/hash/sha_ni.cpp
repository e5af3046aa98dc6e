// SHA-1 and SHA-256 blocks with the processor's SHA instructions. Only called
// after cpuid has reported them, so the rest of the library builds for the
// baseline processor.
#include <immintrin.h>

#include <utility>

#include "hash/sha_blocks.h"

#define ZVK_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

namespace {

// Message words live in a ring of four vectors: group g (words 4g..4g+3)
// replaces group g-4 once it has been expanded from the three after it.
struct sSha256Lanes {
  __m128i msg[4];
  __m128i state0, state1;  // ABEF and CDGH, the layout sha256rnds2 wants
};

template <int G>
ZVK_SHA_TARGET inline void sha256Group(sSha256Lanes& s, const unsigned char* data, __m128i byteSwap) {
  __m128i& m = s.msg[G & 3];
  if constexpr (G < 4) {
    m = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * G)), byteSwap);
  } else {
    const __m128i& next = s.msg[(G + 1) & 3];
    const __m128i& prev2 = s.msg[(G + 2) & 3];
    const __m128i& prev1 = s.msg[(G + 3) & 3];
    __m128i t = _mm_add_epi32(_mm_sha256msg1_epu32(m, next), _mm_alignr_epi8(prev1, prev2, 4));
    m = _mm_sha256msg2_epu32(t, prev1);
  }
  __m128i k = _mm_add_epi32(m, _mm_load_si128(reinterpret_cast<const __m128i*>(kSha256K + 4 * G)));
  s.state1 = _mm_sha256rnds2_epu32(s.state1, s.state0, k);
  s.state0 = _mm_sha256rnds2_epu32(s.state0, s.state1, _mm_shuffle_epi32(k, 0x0E));
}

template <int... G>
ZVK_SHA_TARGET inline void sha256Rounds(sSha256Lanes& s, const unsigned char* data, __m128i byteSwap,
                                        std::integer_sequence<int, G...>) {
  (sha256Group<G>(s, data, byteSwap), ...);
}

struct sSha1Lanes {
  __m128i msg[4];
  __m128i abcd, e, abcdBefore;
};

template <int G>
ZVK_SHA_TARGET inline void sha1Group(sSha1Lanes& s, const unsigned char* data, __m128i byteSwap) {
  __m128i& m = s.msg[G & 3];
  if constexpr (G < 4) {
    m = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * G)), byteSwap);
  } else {
    __m128i t = _mm_xor_si128(_mm_sha1msg1_epu32(m, s.msg[(G + 1) & 3]), s.msg[(G + 2) & 3]);
    m = _mm_sha1msg2_epu32(t, s.msg[(G + 3) & 3]);
  }
  __m128i e = G == 0 ? _mm_add_epi32(s.e, m) : _mm_sha1nexte_epu32(s.abcdBefore, m);
  s.abcdBefore = s.abcd;
  s.abcd = _mm_sha1rnds4_epu32(s.abcd, e, G / 5);
}

template <int... G>
ZVK_SHA_TARGET inline void sha1Rounds(sSha1Lanes& s, const unsigned char* data, __m128i byteSwap,
                                      std::integer_sequence<int, G...>) {
  (sha1Group<G>(s, data, byteSwap), ...);
}

}  // namespace

ZVK_SHA_TARGET void sha256_blocks_shani(uint32_t* state, const unsigned char* data, size_t blocks) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  sSha256Lanes s;
  __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
  __m128i hgfe = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
  s.state0 = _mm_alignr_epi8(dcba, hgfe, 8);
  s.state1 = _mm_blend_epi16(hgfe, dcba, 0xF0);
  for (; blocks > 0; --blocks, data += 64) {
    __m128i save0 = s.state0, save1 = s.state1;
    sha256Rounds(s, data, byteSwap, std::make_integer_sequence<int, 16>());
    s.state0 = _mm_add_epi32(s.state0, save0);
    s.state1 = _mm_add_epi32(s.state1, save1);
  }
  __m128i feba = _mm_shuffle_epi32(s.state0, 0x1B);
  __m128i dchg = _mm_shuffle_epi32(s.state1, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

ZVK_SHA_TARGET void sha1_blocks_shani(uint32_t* state, const unsigned char* data, size_t blocks) {
  const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607ULL, 0x08090a0b0c0d0e0fULL);
  sSha1Lanes s;
  s.abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  s.e = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
  for (; blocks > 0; --blocks, data += 64) {
    __m128i saveAbcd = s.abcd, saveE = s.e;
    sha1Rounds(s, data, byteSwap, std::make_integer_sequence<int, 20>());
    s.e = _mm_sha1nexte_epu32(s.abcdBefore, saveE);
    s.abcd = _mm_add_epi32(s.abcd, saveAbcd);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(s.abcd, 0x1B));
  state[4] = static_cast<uint32_t>(_mm_extract_epi32(s.e, 3));
}
