// The portable SHA-2 compression function, shared by SHA-256 (32-bit words,
// 64 rounds) and SHA-512 (64-bit words, 80 rounds), which differ only in
// their constants and rotation counts.
#pragma once

#include <bit>

#include "hash/sha_blocks.h"

// The eight working words of one block. Kept as plain members of a local so
// that, fully unrolled, the compiler holds them in registers; the vector
// paths share these rounds and only feed them a different schedule.
template <typename Params>
struct sSha2Rounds {
  using W = typename Params::tWord;
  W a, b, c, d, e, f, g, h;
  W bc;  // the next round's b ^ c is this round's a ^ b

  explicit sSha2Rounds(const W* state)
      : a(state[0]),
        b(state[1]),
        c(state[2]),
        d(state[3]),
        e(state[4]),
        f(state[5]),
        g(state[6]),
        h(state[7]),
        bc(b ^ c) {}

  // h + K + W is ready before e is, so it is summed first to keep the
  // round's dependency chain short.
  void round(W kw) {
    W t1 = h + kw;
    t1 += ((f ^ g) & e) ^ g;
    t1 += std::rotr(e, Params::kE[0]) ^ std::rotr(e, Params::kE[1]) ^ std::rotr(e, Params::kE[2]);
    W t2 = std::rotr(a, Params::kA[0]) ^ std::rotr(a, Params::kA[1]) ^ std::rotr(a, Params::kA[2]);
    W ab = a ^ b;
    t2 += b ^ (ab & bc);
    bc = ab;
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }

  void addTo(W* state) const {
    W add[8] = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i) state[i] += add[i];
  }
};

template <typename Params>
void sha2Blocks(typename Params::tWord* state, const unsigned char* data, size_t blocks) {
  using W = typename Params::tWord;
  constexpr int R = Params::kRounds;
  for (; blocks > 0; --blocks, data += 16 * sizeof(W)) {
    // The schedule is a ring of 16 words expanded inside the rounds, so its
    // own dependency chain overlaps theirs instead of running ahead of them.
    W w[16];
    for (int i = 0; i < 16; ++i) w[i] = Params::load(data + sizeof(W) * i);
    sSha2Rounds<Params> s(state);
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) s.round(Params::kK[i] + w[i]);
    for (int base = 16; base < R; base += 16) {
#pragma GCC unroll 16
      for (int i = 0; i < 16; ++i) {
        W x = w[(i + 1) & 15], y = w[(i + 14) & 15];
        W s0 = std::rotr(x, Params::kS0[0]) ^ std::rotr(x, Params::kS0[1]) ^ (x >> Params::kS0[2]);
        W s1 = std::rotr(y, Params::kS1[0]) ^ std::rotr(y, Params::kS1[1]) ^ (y >> Params::kS1[2]);
        w[i] += s0 + w[(i + 9) & 15] + s1;
        s.round(Params::kK[base + i] + w[i]);
      }
    }
    s.addTo(state);
  }
}
