// Code-block decoding: the arithmetic decoder and the three coding passes,
// then dequantisation into the tile-component plane.
//
// Each stripe column (four samples of one column) keeps one flag word: the
// significance of the 3 x 6 samples around and in it, the signs of its own
// column, and which of its four samples were visited in this bit-plane or
// refined before. A pass loads and stores one word per column and passes
// over a column from that word alone. Coefficients are held doubled so that
// the middle of the interval known so far is an integer.
#include <array>
#include <cstdlib>
#include <type_traits>

#include "picts/jp2tile.h"

namespace {

// Significance of row `row` (-1 to 4) of the column `col` (-1 west, 0 own,
// 1 east) sits at bit 3 (row + 1) + col + 1, so the eight neighbours of row r
// and the sample itself are the nine bits from 3 r up.
constexpr uint32_t sigBit(int row, int col) { return 1u << (3 * (row + 1) + col + 1); }
constexpr int signShift(int row) { return 19 + row; }  // own column, rows -1 to 4
constexpr uint32_t visitBit(int row) { return 1u << (24 + row); }
constexpr uint32_t refinedBit(int row) { return 1u << (28 + row); }
constexpr uint32_t kGrid = 0x3FFFF;
constexpr uint32_t kRowBelow = sigBit(4, -1) | sigBit(4, 0) | sigBit(4, 1);
constexpr uint32_t kVisited = visitBit(0) | visitBit(1) | visitBit(2) | visitBit(3);
// Within a neighbourhood: the rows above, level with and below the sample,
// west to east.
constexpr uint32_t kNW = 1, kN = 2, kNE = 4, kW = 8, kSelf = 16, kE = 32, kSW = 64, kS = 128, kSE = 256;

constexpr int kCtxRun = 17, kCtxUni = 18;

struct sQe {
  uint16_t qe;
  uint8_t nmps, nlps, sw;
};
// The probability estimation states of the arithmetic coder.
constexpr sQe kQe[47] = {
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},  {0x0521, 5, 29, 0},
    {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},  {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0},
    {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0}, {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1},
    {0x5401, 16, 14, 0}, {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0}, {0x1C01, 25, 22, 0},
    {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0}, {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0},
    {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0}, {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0},
    {0x02A1, 36, 33, 0}, {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0}, {0x0005, 45, 42, 0},
    {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0},
};

constexpr int bitCount(unsigned int v) { return __builtin_popcount(v); }

// Zero-coding context from a neighbourhood, per band orientation
// (0 LL, 1 HL, 2 LH, 3 HH).
constexpr std::array<uint8_t, 2048> makeZc() {
  std::array<uint8_t, 2048> t{};
  for (int orient = 0; orient < 4; ++orient)
    for (unsigned int f = 0; f < 512; ++f) {
      int h = bitCount(f & (kW | kE)), v = bitCount(f & (kN | kS)), d = bitCount(f & (kNW | kNE | kSW | kSE));
      int ctx;
      if (orient == 3) {
        int hv = h + v;
        ctx = d >= 3 ? 8 : d == 2 ? (hv >= 1 ? 7 : 6) : d == 1 ? (hv >= 2 ? 5 : hv == 1 ? 4 : 3)
                                                              : (hv >= 2 ? 2 : hv);
      } else {
        if (orient == 1) {
          int t2 = h;
          h = v;
          v = t2;
        }
        ctx = h == 2 ? 8 : h == 1 ? (v >= 1 ? 7 : d >= 1 ? 6 : 5) : v == 2 ? 4 : v == 1 ? 3 : d >= 2 ? 2 : d;
      }
      t[orient << 9 | f] = static_cast<uint8_t>(ctx);
    }
  return t;
}
constexpr std::array<uint8_t, 2048> kZc = makeZc();

// Sign context (low 4 bits, 9 to 13) and the bit the decoded sign is
// flipped by (bit 4), from the significance and signs of the four direct
// neighbours.
constexpr std::array<uint8_t, 256> makeSc() {
  std::array<uint8_t, 256> t{};
  for (unsigned int i = 0; i < 256; ++i) {
    auto contribution = [i](unsigned int sig, unsigned int neg) {
      return (i & sig) ? ((i & neg) ? -1 : 1) : 0;
    };
    int hs = contribution(1, 16) + contribution(2, 32), vs = contribution(4, 64) + contribution(8, 128);
    int hc = hs > 0 ? 1 : hs < 0 ? -1 : 0, vc = vs > 0 ? 1 : vs < 0 ? -1 : 0;
    int ctx, flip = 0;
    if (hc < 0) {
      hc = -hc;
      vc = -vc;
      flip = 1;
    }
    if (hc == 0) {
      if (vc < 0) flip = 1;
      ctx = vc == 0 ? 9 : 10;
    } else {
      ctx = vc == 1 ? 13 : vc == 0 ? 12 : 11;
    }
    t[i] = static_cast<uint8_t>(ctx | flip << 4);
  }
  return t;
}
constexpr std::array<uint8_t, 256> kSc = makeSc();

// The nine bits around row r; in vertically causal mode the row below a
// stripe is not known yet.
template <bool VC>
inline uint32_t neighbourhood(uint32_t word, int r) {
  uint32_t nb = (word >> (3 * r)) & 0x1FF;
  return VC && r == 3 ? nb & ~(kSW | kS | kSE) : nb;
}

// Bit 3 r set for each row r of the column that is not significant but has a
// significant neighbour: the samples the significance pass codes. Samples can
// only gain neighbours in a column where one of them is coded, so a column
// whose word gives none is passed over whole.
template <bool VC>
inline uint32_t awaitingSignificance(uint32_t word) {
  uint32_t grid = word & (VC ? kGrid & ~kRowBelow : kGrid);
  uint32_t rowAny = grid | grid >> 1 | grid >> 2;
  uint32_t near = rowAny | rowAny >> 3 | rowAny >> 6;
  return near & ~(word >> 4) & 0x249;
}

// Bit r set for each row r significant.
inline uint32_t significantRows(uint32_t word) {
  return ((word >> 4) & 1) | ((word >> 6) & 2) | ((word >> 8) & 4) | ((word >> 10) & 8);
}

// Bit r set for each row r significant or visited already: those the
// cleanup pass leaves alone.
inline uint32_t settled(uint32_t word) { return significantRows(word) | ((word >> 24) & 0xF); }

// Whether a row was significant before this bit-plane's significance pass
// (significant and not visited by it): the samples the refinement pass codes.
inline bool refinable(uint32_t word) { return (significantRows(word) & ~(word >> 24)) != 0; }

// Sign context of row r of the column at f (its word in `word`), from the
// significance in its neighbourhood and the signs its own word and the words
// of the columns beside it hold.
inline unsigned int signContext(uint32_t nb, uint32_t word, const uint32_t* f, int r) {
  unsigned int i = ((nb >> 3) & 1) | ((nb >> 4) & 2) | ((nb << 1) & 4) | ((nb >> 4) & 8);
  i |= ((f[-1] >> signShift(r)) & 1) << 4 | ((f[1] >> signShift(r)) & 1) << 5;
  i |= ((word >> signShift(r - 1)) & 1) << 6 | ((word >> signShift(r + 1)) & 1) << 7;
  return kSc[i];
}

}  // namespace

namespace {

constexpr std::array<cJP2MQCoder::States, 94> makeStates() {
  std::array<cJP2MQCoder::States, 94> t{};
  for (int s = 0; s < 47; ++s)
    for (int m = 0; m < 2; ++m)
      t[s * 2 + m] = {static_cast<uint32_t>(kQe[s].qe), static_cast<uint8_t>(m),
                      static_cast<uint8_t>(kQe[s].nmps * 2 + m),
                      static_cast<uint8_t>(kQe[s].nlps * 2 + (kQe[s].sw ? 1 - m : m))};
  return t;
}
// Index 2 s + m: state s with the more probable symbol m.
constexpr std::array<cJP2MQCoder::States, 94> kStateTable = makeStates();

}  // namespace

void cJP2MQCoder::resetContexts() {
  for (auto& ctx : ctxs) ctx = kStateTable[0];
  ctxs[kCtxUni] = kStateTable[46 * 2];
  ctxs[kCtxRun] = kStateTable[3 * 2];
  ctxs[0] = kStateTable[4 * 2];
}

// Past the segment the caller has written 0xFF 0xFF, which reads as a marker:
// the decoder then feeds ones without moving, as the coder intends.
void cJP2MQCoder::init(uint8_t* data, size_t n) {
  data[n] = 0xFF;
  data[n + 1] = 0xFF;
  bp = data;
  c = static_cast<uint32_t>(*bp) << 16;
  byteIn();
  c <<= 7;
  ct -= 7;
  a = 0x8000;
}

inline void cJP2MQCoder::byteIn() {
  if (*bp == 0xFF) {
    if (bp[1] > 0x8F) {
      c += 0xFF00;
      ct = 8;
    } else {
      ++bp;
      c += static_cast<uint32_t>(*bp) << 9;
      ct = 7;
    }
  } else {
    ++bp;
    c += static_cast<uint32_t>(*bp) << 8;
    ct = 8;
  }
}

// Doubles a until it reaches 0x8000 again, all the shifts the bits already
// read allow at once; a is never 0 here.
inline void cJP2MQCoder::renorm() {
  int n = __builtin_clz(a) - 16;
  while (n > ct) {
    a <<= ct;
    c <<= ct;
    n -= ct;
    ct = 0;
    byteIn();
  }
  a <<= n;
  c <<= n;
  ct -= n;
}

inline unsigned int cJP2MQCoder::decode(int ctx) {
  // The state is held by value: one load fewer on the way to qe.
  States& s = ctxs[ctx];
  const uint32_t qe = s.qe;
  a -= qe;
  unsigned int d;
  if ((c >> 16) < qe) {
    if (a < qe) {
      d = s.mps;
      s = kStateTable[s.nmps];
    } else {
      d = 1 - s.mps;
      s = kStateTable[s.nlps];
    }
    a = qe;
    renorm();
  } else {
    c -= qe << 16;
    if ((a & 0x8000) == 0) {
      if (a < qe) {
        d = 1 - s.mps;
        s = kStateTable[s.nlps];
      } else {
        d = s.mps;
        s = kStateTable[s.nmps];
      }
      renorm();
    } else {
      d = s.mps;
    }
  }
  return d;
}

bool cJP2Tier1::allocate(unsigned int cw, unsigned int ch) {
  w = cw;
  h = ch;
  fstride = cw + 2;
  coefs.assign(static_cast<size_t>(cw) * ch, 0);
  flags.assign(static_cast<size_t>(fstride) * ((ch + 3) / 4 + 2), 0);
  return true;
}

// Marks row r of the column at f significant: its own word and those of the
// columns beside it, and for a stripe's first or last row the words of the
// stripe above or below, whose neighbourhoods reach one row into this one.
inline void cJP2Tier1::becomeSignificant(uint32_t* f, uint32_t& word, int* d, int r, unsigned int neg,
                                         int value) {
  *d = neg ? -value : value;
  word |= sigBit(r, 0) | neg << signShift(r);
  f[-1] |= sigBit(r, 1);
  f[1] |= sigBit(r, -1);
  if (r == 0) {
    uint32_t* up = f - fstride;
    up[-1] |= sigBit(4, 1);
    up[0] |= sigBit(4, 0) | neg << signShift(4);
    up[1] |= sigBit(4, -1);
  } else if (r == 3) {
    uint32_t* down = f + fstride;
    down[-1] |= sigBit(-1, 1);
    down[0] |= sigBit(-1, 0) | neg << signShift(-1);
    down[1] |= sigBit(-1, -1);
  }
}

// The stripe walk every pass shares: four rows at a time, column by column,
// each column's word held in `word` and written back once. `skip` tells from
// the word alone that nothing in the column is coded by the pass. The rows
// are spelt out so that every shift by the row is a constant.
#define JP2_ROW(R, BODY)          \
  {                               \
    constexpr int r = R;          \
    int* dp = dcol + r * w;       \
    BODY                          \
  }
#define JP2_STRIPES(skip, BODY)                                     \
  for (unsigned int k = 0, s = 0; k < h; k += 4, ++s) {             \
    const unsigned int rows = h - k;                                \
    uint32_t* f = &flags[(s + 1) * fstride + 1];                    \
    int* dcol = &coefs[k * w];                                      \
    for (unsigned int i = 0; i < w; ++i, ++f, ++dcol) {             \
      uint32_t word = *f;                                           \
      if (skip) continue;                                           \
      JP2_ROW(0, BODY)                                              \
      if (rows > 1) JP2_ROW(1, BODY)                                \
      if (rows > 2) JP2_ROW(2, BODY)                                \
      if (rows > 3) JP2_ROW(3, BODY)                                \
      *f = word;                                                    \
    }                                                               \
  }

template <bool VC>
void cJP2Tier1::sigPass(int bpno, int orient) {
  // A local copy lets the coder's registers live in registers.
  cJP2MQCoder mq = mqc;
  const int oneplushalf = 3 << bpno;
  const uint8_t* zc = &kZc[orient << 9];
  // `awaiting` is kept up to date as samples become significant, so each row
  // is one bit test.
  uint32_t awaiting;
  JP2_STRIPES(!(awaiting = awaitingSignificance<VC>(word)), {
    if (awaiting & 1u << 3 * r) {
      const uint32_t nb = neighbourhood<VC>(word, r);
      if (mq.decode(zc[nb])) {
        unsigned int sc = signContext(nb, word, f, r);
        becomeSignificant(f, word, dp, r, mq.decode(sc & 15) ^ (sc >> 4), oneplushalf);
        awaiting = awaitingSignificance<VC>(word);
      }
      word |= visitBit(r);
    }
  })
  mqc = mq;
}

template <bool VC>
void cJP2Tier1::sigPassRaw(int bpno) {
  const int oneplushalf = 3 << bpno;
  JP2_STRIPES(!awaitingSignificance<VC>(word), {
    const uint32_t nb = neighbourhood<VC>(word, r);
    if (!(nb & kSelf) && nb) {
      if (raw.decode()) becomeSignificant(f, word, dp, r, raw.decode(), oneplushalf);
      word |= visitBit(r);
    }
  })
}

template <bool VC>
void cJP2Tier1::refPass(int bpno) {
  // A local copy lets the coder's registers live in registers.
  cJP2MQCoder mq = mqc;
  const int half = 1 << bpno;
  JP2_STRIPES(!refinable(word), {
    const uint32_t nb = neighbourhood<VC>(word, r);
    if ((nb & kSelf) && !(word & visitBit(r))) {
      int ctx = (word & refinedBit(r)) ? 16 : (nb & ~kSelf) ? 15 : 14;
      int step = mq.decode(ctx) ? half : -half;
      *dp += *dp < 0 ? -step : step;
      word |= refinedBit(r);
    }
  })
  mqc = mq;
}

template <bool VC>
void cJP2Tier1::refPassRaw(int bpno) {
  const int half = 1 << bpno;
  JP2_STRIPES(!refinable(word), {
    if ((word & sigBit(r, 0)) && !(word & visitBit(r))) {
      int step = raw.decode() ? half : -half;
      *dp += *dp < 0 ? -step : step;
      word |= refinedBit(r);
    }
  })
}

template <bool VC>
void cJP2Tier1::cleanPass(int bpno, int orient) {
  // A local copy lets the coder's registers live in registers.
  cJP2MQCoder mq = mqc;
  const int oneplushalf = 3 << bpno;
  const uint8_t* zc = &kZc[orient << 9];
  // A column none of whose samples is significant, visited or next to a
  // significant one is coded as a run: one symbol says whether it stays empty.
  constexpr uint32_t runBlockers = (VC ? kGrid & ~kRowBelow : kGrid) | kVisited;
  for (unsigned int k = 0, s = 0; k < h; k += 4, ++s) {
    const int rows = h - k < 4 ? static_cast<int>(h - k) : 4;
    uint32_t* f = &flags[(s + 1) * fstride + 1];
    int* dcol = &coefs[k * w];
    for (unsigned int i = 0; i < w; ++i, ++f, ++dcol) {
      uint32_t word = *f;
      int r = 0;
      if (settled(word) == 0xF) {
        *f = word & ~kVisited;
        continue;
      }
      if (rows == 4 && !(word & runBlockers)) {
        if (!mq.decode(kCtxRun)) continue;
        r = static_cast<int>(mq.decode(kCtxUni) << 1);
        r |= static_cast<int>(mq.decode(kCtxUni));
        unsigned int sc = signContext(neighbourhood<VC>(word, r), word, f, r);
        becomeSignificant(f, word, dcol + r * w, r, mq.decode(sc & 15) ^ (sc >> 4), oneplushalf);
        ++r;
      }
      // Rows from r on; spelt out so that every shift by the row is a constant.
      auto code = [&](auto row) __attribute__((always_inline)) {
        constexpr int rr = decltype(row)::value;
        const uint32_t nb = neighbourhood<VC>(word, rr);
        if (!(nb & kSelf) && !(word & visitBit(rr)) && mq.decode(zc[nb])) {
          unsigned int sc = signContext(nb, word, f, rr);
          becomeSignificant(f, word, dcol + rr * w, rr, mq.decode(sc & 15) ^ (sc >> 4), oneplushalf);
        }
      };
      if (r <= 0) code(std::integral_constant<int, 0>());
      if (r <= 1 && rows > 1) code(std::integral_constant<int, 1>());
      if (r <= 2 && rows > 2) code(std::integral_constant<int, 2>());
      if (r <= 3 && rows > 3) code(std::integral_constant<int, 3>());
      *f = word & ~kVisited;
    }
  }
  mqc = mq;
}

bool cJP2Tier1::decodeCblk(sJP2TcdCblkDec& cblk, const sJP2TcdBand& band, const sJP2Tccp& tccp,
                           sJP2TcdTileComp& tc, long long px, long long py) {
  unsigned int cw = static_cast<unsigned int>(cblk.x1 - cblk.x0), ch = static_cast<unsigned int>(cblk.y1 - cblk.y0);
  allocate(cw, ch);
  mqc.resetContexts();
  const bool vc = tccp.cblksty & 8, bypass = tccp.cblksty & 1, reset = tccp.cblksty & 2,
             segsym = tccp.cblksty & 0x20;
  const int orient = static_cast<int>(band.bandno);
  int bpno = static_cast<int>(tccp.roishift) + cblk.numbps - 1;
  int passtype = 2;
  for (sJP2Seg& seg : cblk.segs) {
    if (bpno < 0) break;
    if (seg.numpasses == 0) continue;
    bool isRaw = bypass && passtype < 2 && bpno + 1 <= cblk.numbps - 4;
    // The segment's two following bytes stand in for the end marker while it is decoded.
    uint8_t* start = cblk.data.data() + seg.dataStart;
    uint8_t saved[2] = {start[seg.len], start[seg.len + 1]};
    if (isRaw)
      raw.init(start, seg.len);
    else
      mqc.init(start, seg.len);
    for (unsigned int pass = 0; pass < seg.numpasses && bpno >= 0; ++pass) {
      if (isRaw) {
        if (passtype == 0)
          vc ? sigPassRaw<true>(bpno) : sigPassRaw<false>(bpno);
        else
          vc ? refPassRaw<true>(bpno) : refPassRaw<false>(bpno);
      } else {
        if (passtype == 0)
          vc ? sigPass<true>(bpno, orient) : sigPass<false>(bpno, orient);
        else if (passtype == 1)
          vc ? refPass<true>(bpno) : refPass<false>(bpno);
        else {
          vc ? cleanPass<true>(bpno, orient) : cleanPass<false>(bpno, orient);
          if (segsym)
            for (int s = 0; s < 4; ++s) mqc.decode(kCtxUni);
        }
        if (reset) mqc.resetContexts();
      }
      if (passtype == 2) {
        passtype = 0;
        --bpno;
      } else {
        ++passtype;
      }
    }
    start[seg.len] = saved[0];
    start[seg.len + 1] = saved[1];
  }

  const int roishift = static_cast<int>(tccp.roishift);
  const long long stride = tc.width();
  for (unsigned int y = 0; y < ch; ++y) {
    int* src = &coefs[static_cast<size_t>(y) * cw];
    // Coefficients stay below 2^31, so a larger shift leaves every one alone.
    if (roishift && roishift < 31) {
      const int thresh = 1 << roishift;
      for (unsigned int x = 0; x < cw; ++x) {
        int v = src[x], mag = std::abs(v);
        if (mag >= thresh) src[x] = v < 0 ? -(mag >> roishift) : mag >> roishift;
      }
    }
    long long at = (py + y) * stride + px;
    if (tccp.qmfbid == 1) {
      int* dst = tc.idata.ptr + at;
      for (unsigned int x = 0; x < cw; ++x) dst[x] = src[x] / 2;
    } else {
      float* dst = tc.fdata.ptr + at;
      const float step = band.stepsize;
      for (unsigned int x = 0; x < cw; ++x) dst[x] = static_cast<float>(src[x]) * step;
    }
  }
  return true;
}
