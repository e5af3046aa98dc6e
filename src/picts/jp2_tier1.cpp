// Code-block decoding: the arithmetic decoder and the three coding passes,
// then dequantisation into the tile-component plane.
//
// Each sample keeps one flag word: which of its eight neighbours are
// significant, the signs of the four direct ones, and its own state, so a
// context is one table lookup. Coefficients are held doubled so that the
// middle of the interval known so far is an integer.
#include <array>
#include <cstdlib>

#include "picts/jp2tile.h"

namespace {

constexpr uint32_t kW = 1, kE = 2, kN = 4, kS = 8, kNW = 16, kNE = 32, kSW = 64, kSE = 128;
constexpr uint32_t kSignW = 0x100, kSignE = 0x200, kSignN = 0x400, kSignS = 0x800;
constexpr uint32_t kSig = 0x1000, kVisit = 0x2000, kRefined = 0x4000, kNeg = 0x8000;
// In vertically causal mode the row below a stripe is not yet known.
constexpr uint32_t kCausalMask = ~static_cast<uint32_t>(kS | kSW | kSE | kSignS);

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

// Zero-coding context from the neighbour bits, per band orientation
// (0 LL, 1 HL, 2 LH, 3 HH).
constexpr std::array<uint8_t, 1024> makeZc() {
  std::array<uint8_t, 1024> t{};
  for (int orient = 0; orient < 4; ++orient)
    for (unsigned int f = 0; f < 256; ++f) {
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
      t[orient << 8 | f] = static_cast<uint8_t>(ctx);
    }
  return t;
}
constexpr std::array<uint8_t, 1024> kZc = makeZc();

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

inline unsigned int scIndex(uint32_t f) { return (f & 0xF) | ((f >> 4) & 0xF0); }

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
  for (auto& ctx : ctxs) ctx = &kStateTable[0];
  ctxs[kCtxUni] = &kStateTable[46 * 2];
  ctxs[kCtxRun] = &kStateTable[3 * 2];
  ctxs[0] = &kStateTable[4 * 2];
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

inline void cJP2MQCoder::renorm() {
  do {
    if (ct == 0) byteIn();
    a <<= 1;
    c <<= 1;
    --ct;
  } while (a < 0x8000);
}

inline unsigned int cJP2MQCoder::decode(int ctx) {
  const States* s = ctxs[ctx];
  uint32_t qe = s->qe;
  a -= qe;
  unsigned int d;
  if ((c >> 16) < qe) {
    if (a < qe) {
      d = s->mps;
      ctxs[ctx] = &kStateTable[s->nmps];
    } else {
      d = 1 - s->mps;
      ctxs[ctx] = &kStateTable[s->nlps];
    }
    a = qe;
    renorm();
  } else {
    c -= qe << 16;
    if ((a & 0x8000) == 0) {
      if (a < qe) {
        d = 1 - s->mps;
        ctxs[ctx] = &kStateTable[s->nlps];
      } else {
        d = s->mps;
        ctxs[ctx] = &kStateTable[s->nmps];
      }
      renorm();
    } else {
      d = s->mps;
    }
  }
  return d;
}

bool cJP2Tier1::allocate(unsigned int cw, unsigned int ch) {
  w = cw;
  h = ch;
  stride = cw + 2;
  coefs.assign(static_cast<size_t>(cw) * ch, 0);
  flags.assign(static_cast<size_t>(stride) * (ch + 2), 0);
  return true;
}

inline void cJP2Tier1::becomeSignificant(uint32_t* f, int* d, int sign, int value) {
  *d = sign ? -value : value;
  const uint32_t all = sign ? ~0U : 0U;
  f[0] |= kSig | (kNeg & all);
  f[-1] |= kE | (kSignE & all);
  f[1] |= kW | (kSignW & all);
  f[-static_cast<long>(stride)] |= kS | (kSignS & all);
  f[stride] |= kN | (kSignN & all);
  f[-static_cast<long>(stride) - 1] |= kSE;
  f[-static_cast<long>(stride) + 1] |= kSW;
  f[stride - 1] |= kNE;
  f[stride + 1] |= kNW;
}

// The stripe walk every pass shares: four rows at a time, column by column;
// a full column none of whose flags has a bit of `need` is passed over.
#define JP2_STRIPES(need, BODY)                                                        \
  for (unsigned int k = 0; k < h; k += 4) {                                            \
    const unsigned int rows = h - k < 4 ? h - k : 4;                                   \
    uint32_t* fcol = &flags[(k + 1) * stride + 1];                                     \
    int* dcol = &coefs[k * w];                                                         \
    for (unsigned int i = 0; i < w; ++i, ++fcol, ++dcol) {                             \
      if (rows == 4 && !((fcol[0] | fcol[stride] | fcol[2 * stride] | fcol[3 * stride]) & (need))) \
        continue;                                                                      \
      for (unsigned int r = 0; r < rows; ++r) {                                        \
        uint32_t* fp = fcol + r * stride;                                              \
        int* dp = dcol + r * w;                                                        \
        uint32_t fm = (VC && r == 3) ? *fp & kCausalMask : *fp;                        \
        BODY                                                                           \
      }                                                                                \
    }                                                                                  \
  }

template <bool VC>
void cJP2Tier1::sigPass(int bpno, int orient) {
  // A local copy lets the coder's registers live in registers.
  cJP2MQCoder mq = mqc;
  int oneplushalf = 3 << bpno;
  const uint8_t* zc = &kZc[orient << 8];
  JP2_STRIPES(0xFF, {
    if (!(fm & (kSig | kVisit)) && (fm & 0xFF)) {
      if (mq.decode(zc[fm & 0xFF])) {
        unsigned int sc = kSc[scIndex(fm)];
        becomeSignificant(fp, dp, mq.decode(sc & 15) ^ (sc >> 4), oneplushalf);
      }
      *fp |= kVisit;
    }
  })
  mqc = mq;
}

template <bool VC>
void cJP2Tier1::sigPassRaw(int bpno) {
  int oneplushalf = 3 << bpno;
  JP2_STRIPES(0xFF, {
    if (!(fm & (kSig | kVisit)) && (fm & 0xFF)) {
      if (raw.decode()) becomeSignificant(fp, dp, raw.decode(), oneplushalf);
      *fp |= kVisit;
    }
  })
}

template <bool VC>
void cJP2Tier1::refPass(int bpno) {
  // A local copy lets the coder's registers live in registers.
  cJP2MQCoder mq = mqc;
  int half = 1 << bpno;
  JP2_STRIPES(kSig, {
    if ((fm & (kSig | kVisit)) == kSig) {
      int ctx = (fm & kRefined) ? 16 : (fm & 0xFF) ? 15 : 14;
      int step = mq.decode(ctx) ? half : -half;
      *dp += *dp < 0 ? -step : step;
      *fp |= kRefined;
    }
  })
  mqc = mq;
}

template <bool VC>
void cJP2Tier1::refPassRaw(int bpno) {
  int half = 1 << bpno;
  JP2_STRIPES(kSig, {
    if ((fm & (kSig | kVisit)) == kSig) {
      int step = raw.decode() ? half : -half;
      *dp += *dp < 0 ? -step : step;
      *fp |= kRefined;
    }
  })
}

template <bool VC>
void cJP2Tier1::cleanPass(int bpno, int orient) {
  // A local copy lets the coder's registers live in registers.
  cJP2MQCoder mq = mqc;
  int oneplushalf = 3 << bpno;
  const uint8_t* zc = &kZc[orient << 8];
  for (unsigned int k = 0; k < h; k += 4)
    for (unsigned int i = 0; i < w; ++i) {
      unsigned int j = k, jend = k + 4 < h ? k + 4 : h;
      if (jend - k == 4) {
        const uint32_t* f0 = &flags[(k + 1) * stride + i + 1];
        uint32_t f3 = f0[3 * stride];
        if (VC) f3 &= kCausalMask;
        constexpr uint32_t busy = kSig | kVisit | 0xFF;
        if (!((f0[0] | f0[stride] | f0[2 * stride] | f3) & busy)) {
          if (!mq.decode(kCtxRun)) continue;
          unsigned int run = mq.decode(kCtxUni) << 1;
          run |= mq.decode(kCtxUni);
          j = k + run;
          uint32_t* fp = &flags[(j + 1) * stride + i + 1];
          uint32_t fm = (VC && (j & 3) == 3) ? *fp & kCausalMask : *fp;
          unsigned int sc = kSc[scIndex(fm)];
          becomeSignificant(fp, &coefs[j * w + i], mq.decode(sc & 15) ^ (sc >> 4), oneplushalf);
          ++j;
        }
      }
      // Samples before a run's first significant one were not visited either.
      for (; j < jend; ++j) {
        uint32_t* fp = &flags[(j + 1) * stride + i + 1];
        uint32_t fm = (VC && (j & 3) == 3) ? *fp & kCausalMask : *fp;
        if (!(fm & (kSig | kVisit)) && mq.decode(zc[fm & 0xFF])) {
          unsigned int sc = kSc[scIndex(fm)];
          becomeSignificant(fp, &coefs[j * w + i], mq.decode(sc & 15) ^ (sc >> 4), oneplushalf);
        }
        *fp &= ~kVisit;
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
