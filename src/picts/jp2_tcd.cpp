// One tile from geometry to samples: layout, both tiers, the inverse
// wavelet and component transforms, and the level shift into the image.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "picts/jp2tile.h"
#include "picts/pixelalloc.h"

namespace {

long long ceilDivPow2(long long a, unsigned int b) { return (a + (1LL << b) - 1) >> b; }
long long floorDivPow2(long long a, unsigned int b) { return a >> b; }
long long ceilDiv(long long a, long long b) { return (a + b - 1) / b; }

// Lifting sums of hostile coefficients may pass the int range: they wrap
// instead of being undefined, and valid data never comes near.
inline int wrapAdd(int a, int b) { return static_cast<int>(static_cast<unsigned int>(a) + static_cast<unsigned int>(b)); }
inline int wrapSub(int a, int b) { return static_cast<int>(static_cast<unsigned int>(a) - static_cast<unsigned int>(b)); }

int toInt(float f) {
  if (!(f > -2147483648.0f)) return f != f ? 0 : INT32_MIN;
  if (f >= 2147483648.0f) return INT32_MAX;
  return static_cast<int>(f);  // toward zero
}

// One lifting step over a band of a line held as its low-pass then its
// high-pass samples: c[t] from nb[t + off] and nb[t + off + 1] of the other
// band (nn samples), the one that exists standing for one past an end. The
// middle, where both exist, is a plain loop the compiler vectorises.
template <typename T, typename Op>
void liftBand(T* __restrict c, unsigned int nt, const T* __restrict nb, unsigned int nn, int off, Op op) {
  auto edge = [&](long long t) {
    long long a = t + off, b = a + 1;
    if (a < 0) a = b;
    if (b >= nn) b = a;
    c[t] = op(c[t], nb[a], nb[b]);
  };
  const long long mid0 = std::min<long long>(std::max(0, -off), nt);
  const long long mid1 = std::max(mid0, std::min<long long>(static_cast<long long>(nn) - 1 - off, nt));
  for (long long t = 0; t < mid0; ++t) edge(t);
  for (long long t = mid0; t < mid1; ++t) c[t] = op(c[t], nb[t + off], nb[t + off + 1]);
  for (long long t = mid1; t < nt; ++t) edge(t);
}

// Pairs of a first and a second sample into `out`, in one loop the compiler
// vectorises with shuffles; out of line, so that it knows the three apart.
template <typename T>
__attribute__((noinline)) void interleave(T* __restrict out, const T* __restrict first,
                                          const T* __restrict second, size_t pairs) {
  for (size_t i = 0; i < pairs; ++i) {
    out[2 * i] = first[i];
    out[2 * i + 1] = second[i];
  }
}

// The horizontal transform of one row of n samples (the first sn low-pass):
// lifted band by band, then interleaved through tmp.
template <typename T>
void horizontalRow(T* lo, unsigned int n, unsigned int sn, unsigned int cas, std::vector<T>& tmp) {
  const unsigned int dn = n - sn;
  T* hi = lo + sn;
  if (n == 1) {
    if constexpr (std::is_same_v<T, int>)
      if (cas) lo[0] /= 2;
    return;
  }
  const int lowOffset = static_cast<int>(cas) - 1, highOffset = -static_cast<int>(cas);
  if constexpr (std::is_same_v<T, int>) {
    liftBand(lo, sn, hi, dn, lowOffset, [](int c, int l, int r) { return wrapSub(c, wrapAdd(wrapAdd(l, r), 2) >> 2); });
    liftBand(hi, dn, lo, sn, highOffset, [](int c, int l, int r) { return wrapAdd(c, wrapAdd(l, r) >> 1); });
  } else {
    for (unsigned int i = 0; i < sn; ++i) lo[i] *= 1.23017406f;
    for (unsigned int j = 0; j < dn; ++j) hi[j] *= 1.62573242f;
    auto by = [](float k) { return [k](float v, float l, float r) { return v + k * (l + r); }; };
    liftBand(lo, sn, hi, dn, lowOffset, by(-0.443506867f));
    liftBand(hi, dn, lo, sn, highOffset, by(-0.882911086f));
    liftBand(lo, sn, hi, dn, lowOffset, by(0.0529801175f));
    liftBand(hi, dn, lo, sn, highOffset, by(1.58613431f));
  }
  tmp.resize(n);
  const unsigned int pairs = std::min(sn, dn);
  if (cas)
    interleave(tmp.data(), hi, lo, pairs);
  else
    interleave(tmp.data(), lo, hi, pairs);
  if (sn > pairs) tmp[2 * pairs + cas] = lo[pairs];
  if (dn > pairs) tmp[2 * pairs + 1 - cas] = hi[pairs];
  std::memcpy(lo, tmp.data(), static_cast<size_t>(n) * sizeof(T));
}

// One lifting step over a row: c from its neighbours l and r. Kept out of
// line, as is scaleRow: inlined where calls may throw, their loads count as
// throwing too and the loops are not vectorised.
template <typename T, typename Op>
__attribute__((noinline)) void liftRow(T* __restrict c, const T* __restrict l, const T* __restrict r,
                                       unsigned int width, Op op) {
  for (unsigned int x = 0; x < width; ++x) c[x] = op(c[x], l[x], r[x]);
}

__attribute__((noinline)) void scaleRow(float* row, unsigned int width, float scale) {
  for (unsigned int x = 0; x < width; ++x) row[x] *= scale;
}

// One level of the inverse transform over h rows of w samples; the first sh
// rows are low-pass, and in each row the first sw samples. The rows are
// worked where they stand: a front moves down them in natural order, each
// row transformed horizontally when the front reaches it and the vertical
// lifting steps following a row apart, so that a row is done with while it
// is in the cache. Then the rows are put in natural order, each moved once
// along the cycles of the reordering.
template <typename T>
void inverseLevel(T* plane, long long stride, unsigned int w, unsigned int h, unsigned int sw, unsigned int sh,
                  unsigned int casx, unsigned int casy, std::vector<T>& tmp, std::vector<T>& spare,
                  std::vector<uint8_t>& placed) {
  const unsigned int cas = casy;
  // Where the row of natural position pos stands; one past an end stands
  // for the one on the other side.
  auto rowIndex = [&](long long pos) -> long long {
    if (pos < 0) pos = 1;
    if (pos >= h) pos = h - 2;
    return (pos & 1) == cas ? (pos - cas) >> 1 : sh + ((pos - 1 + cas) >> 1);
  };
  auto rowAt = [&](long long pos) { return plane + rowIndex(pos) * stride; };
  if (h == 1) {
    horizontalRow(plane, w, sw, casx, tmp);
    if constexpr (std::is_same_v<T, int>)
      if (cas)
        for (unsigned int x = 0; x < w; ++x) plane[x] /= 2;
    return;
  }
  // Step k lifts the positions of its parity k rows behind the front q.
  auto step = [&](long long q, unsigned int k, unsigned int parity, auto op) {
    const long long pos = q - k;
    if (pos >= 0 && pos < h && (pos & 1) == parity) liftRow(rowAt(pos), rowAt(pos - 1), rowAt(pos + 1), w, op);
  };
  if constexpr (std::is_same_v<T, int>) {
    auto low = [](int c, int l, int r) { return wrapSub(c, wrapAdd(wrapAdd(l, r), 2) >> 2); };
    auto high = [](int c, int l, int r) { return wrapAdd(c, wrapAdd(l, r) >> 1); };
    for (long long q = 0; q < h + 2; ++q) {
      if (q < h) horizontalRow(rowAt(q), w, sw, casx, tmp);
      step(q, 1, cas, low);
      step(q, 2, 1 - cas, high);
    }
  } else {
    auto by = [](float k) { return [k](float v, float l, float r) { return v + k * (l + r); }; };
    for (long long q = 0; q < h + 4; ++q) {
      if (q < h) {
        float* row = rowAt(q);
        horizontalRow(row, w, sw, casx, tmp);
        scaleRow(row, w, (q & 1) == cas ? 1.23017406f : 1.62573242f);
      }
      step(q, 1, cas, by(-0.443506867f));
      step(q, 2, 1 - cas, by(-0.882911086f));
      step(q, 3, cas, by(0.0529801175f));
      step(q, 4, 1 - cas, by(1.58613431f));
    }
  }
  // Row p takes the row standing at rowIndex(p); the first of each cycle
  // waits in `spare` for the cycle to come round.
  const size_t bytes = static_cast<size_t>(w) * sizeof(T);
  spare.resize(w);
  placed.assign(h, 0);
  for (unsigned int start = 0; start < h; ++start) {
    if (placed[start]) continue;
    placed[start] = 1;
    long long from = rowIndex(start);
    if (from == start) continue;
    std::memcpy(spare.data(), plane + start * stride, bytes);
    long long p = start;
    while (from != start) {
      std::memcpy(plane + p * stride, plane + from * stride, bytes);
      placed[from] = 1;
      p = from;
      from = rowIndex(p);
    }
    std::memcpy(plane + p * stride, spare.data(), bytes);
  }
}

template <typename T>
void inverseDwtPlane(T* plane, const sJP2TcdTileComp& tc, unsigned int numres) {
  const long long stride = tc.width();
  std::vector<T> tmp, spare;
  std::vector<uint8_t> placed;
  for (unsigned int r = 1; r < numres; ++r) {
    const sJP2TcdResolution& res = tc.resolutions[r];
    const sJP2TcdResolution& low = tc.resolutions[r - 1];
    unsigned int rw = static_cast<unsigned int>(res.x1 - res.x0), rh = static_cast<unsigned int>(res.y1 - res.y0);
    unsigned int sw = static_cast<unsigned int>(low.x1 - low.x0), sh = static_cast<unsigned int>(low.y1 - low.y0);
    if (rw == 0 || rh == 0) continue;
    inverseLevel(plane, stride, rw, rh, sw, sh, static_cast<unsigned int>(res.x0 & 1),
                 static_cast<unsigned int>(res.y0 & 1), tmp, spare, placed);
  }
}

// Cell i of a grid of 2^ew by 2^eh cells, `across` to a row, whose first
// cell starts at gx, gy; clipped to the box of `clip`.
template <typename Cell, typename Box>
void placeCell(Cell& cell, long long gx, long long gy, unsigned int across, size_t i, unsigned int ew,
               unsigned int eh, const Box& clip) {
  long long x = gx + (static_cast<long long>(i % across) << ew), y = gy + (static_cast<long long>(i / across) << eh);
  cell.x0 = std::max(x, clip.x0);
  cell.y0 = std::max(y, clip.y0);
  cell.x1 = std::min(x + (1LL << ew), clip.x1);
  cell.y1 = std::min(y + (1LL << eh), clip.y1);
}

}  // namespace

bool cJP2Tcd::initComp(const cJP2Image& image, const cJP2Tcp& tcp, unsigned int compno) {
  const sJP2ImageComp& ic = image.comps.ptr[compno];
  const sJP2Tccp& tccp = (*tcp.tccps)[compno];
  sJP2TcdTileComp& tc = myTile.comps.ptr[compno];
  // Exponents the coding passes and the tag trees cannot take.
  if (tccp.cblkw < 2 || tccp.cblkw > 10 || tccp.cblkh < 2 || tccp.cblkh > 10 || tccp.cblkw + tccp.cblkh > 12)
    return false;
  if (tccp.qmfbid > 1 || tccp.numresolutions < 1 || tccp.numresolutions > kJP2MaxResolutions) return false;
  tc.x0 = ceilDiv(myTile.x0, ic.dx);
  tc.y0 = ceilDiv(myTile.y0, ic.dy);
  tc.x1 = ceilDiv(myTile.x1, ic.dx);
  tc.y1 = ceilDiv(myTile.y1, ic.dy);
  if (tc.width() * tc.height() < 1) return false;
  tc.numresolutions = tccp.numresolutions;
  tc.resolutionsToDecode = tccp.numresolutions;
  tc.resolutions.assign(tc.numresolutions, {});
  for (unsigned int r = 0; r < tc.numresolutions; ++r) {
    sJP2TcdResolution& res = tc.resolutions[r];
    unsigned int levelno = tc.numresolutions - 1 - r;
    unsigned int pdx = tccp.prcw[r], pdy = tccp.prch[r];
    if (pdx > 15 || pdy > 15 || (r > 0 && (pdx == 0 || pdy == 0))) return false;
    res.x0 = ceilDivPow2(tc.x0, levelno);
    res.y0 = ceilDivPow2(tc.y0, levelno);
    res.x1 = ceilDivPow2(tc.x1, levelno);
    res.y1 = ceilDivPow2(tc.y1, levelno);
    bool emptyRes = res.x0 == res.x1 || res.y0 == res.y1;
    res.pw = emptyRes ? 0 : static_cast<unsigned int>(ceilDivPow2(res.x1, pdx) - floorDivPow2(res.x0, pdx));
    res.ph = emptyRes ? 0 : static_cast<unsigned int>(ceilDivPow2(res.y1, pdy) - floorDivPow2(res.y0, pdy));
    res.numbands = r == 0 ? 1 : 3;
    unsigned int cbgw = r == 0 ? pdx : pdx - 1, cbgh = r == 0 ? pdy : pdy - 1;
    unsigned int cblkw = std::min(tccp.cblkw, cbgw), cblkh = std::min(tccp.cblkh, cbgh);
    long long tlcbgx = floorDivPow2(res.x0, pdx) << pdx, tlcbgy = floorDivPow2(res.y0, pdy) << pdy;
    if (r > 0) {
      tlcbgx = ceilDivPow2(tlcbgx, 1);
      tlcbgy = ceilDivPow2(tlcbgy, 1);
    }
    for (unsigned int b = 0; b < res.numbands; ++b) {
      sJP2TcdBand& band = res.bands[b];
      band.bandno = r == 0 ? 0 : b + 1;
      if (r == 0) {
        band.x0 = res.x0, band.y0 = res.y0, band.x1 = res.x1, band.y1 = res.y1;
      } else {
        long long xob = band.bandno & 1, yob = band.bandno >> 1;
        band.x0 = ceilDivPow2(tc.x0 - (xob << levelno), levelno + 1);
        band.y0 = ceilDivPow2(tc.y0 - (yob << levelno), levelno + 1);
        band.x1 = ceilDivPow2(tc.x1 - (xob << levelno), levelno + 1);
        band.y1 = ceilDivPow2(tc.y1 - (yob << levelno), levelno + 1);
      }
      unsigned int k = r == 0 ? 0 : 3 * (r - 1) + b + 1;
      const sJP2StepSize& ss = tccp.stepsizes[k];
      int gain = tccp.qmfbid == 0 ? 0 : band.bandno == 0 ? 0 : band.bandno == 3 ? 2 : 1;
      band.numbps = ss.expn + static_cast<int>(tccp.numgbits) - 1;
      band.stepsize = static_cast<float>((1.0 + ss.mant / 2048.0) *
                                         std::ldexp(1.0, static_cast<int>(ic.prec) + gain - ss.expn) * 0.5);
      band.precincts.clear();
      if (band.empty() || emptyRes) continue;
      band.precincts.resize(static_cast<size_t>(res.pw) * res.ph);
      for (unsigned int p = 0; p < band.precincts.size(); ++p) {
        sJP2TcdPrecinct& prc = band.precincts[p];
        placeCell(prc, tlcbgx, tlcbgy, res.pw, p, cbgw, cbgh, band);
        prc.cw = prc.ch = 0;
        prc.cblks.clear();
        if (prc.x0 >= prc.x1 || prc.y0 >= prc.y1) {
          prc.incltree.init(0, 0);
          prc.imsbtree.init(0, 0);
          continue;
        }
        long long cx0 = floorDivPow2(prc.x0, cblkw) << cblkw, cy0 = floorDivPow2(prc.y0, cblkh) << cblkh;
        prc.cw = static_cast<unsigned int>(((ceilDivPow2(prc.x1, cblkw) << cblkw) - cx0) >> cblkw);
        prc.ch = static_cast<unsigned int>(((ceilDivPow2(prc.y1, cblkh) << cblkh) - cy0) >> cblkh);
        prc.cblks.resize(static_cast<size_t>(prc.cw) * prc.ch);
        for (size_t i = 0; i < prc.cblks.size(); ++i) placeCell(prc.cblks[i], cx0, cy0, prc.cw, i, cblkw, cblkh, prc);
        prc.incltree.init(prc.cw, prc.ch);
        prc.imsbtree.init(prc.cw, prc.ch);
      }
    }
  }
  return true;
}

bool cJP2Tcd::initTile(const cJP2Image& image, const sJP2CodingParameters& cp, const cJP2Tcp& tcp,
                       unsigned int tileno) {
  myTileno = tileno;
  unsigned int p = tileno % cp.tw, q = tileno / cp.tw;
  myTile.x0 = std::max<long long>(cp.tx0 + static_cast<long long>(p) * cp.tdx, image.x0);
  myTile.y0 = std::max<long long>(cp.ty0 + static_cast<long long>(q) * cp.tdy, image.y0);
  myTile.x1 = std::min<long long>(cp.tx0 + static_cast<long long>(p + 1) * cp.tdx, image.x1);
  myTile.y1 = std::min<long long>(cp.ty0 + static_cast<long long>(q + 1) * cp.tdy, image.y1);
  if (myTile.x0 >= myTile.x1 || myTile.y0 >= myTile.y1 || !tcp.tccps) return false;
  if (myTile.numcomps != image.numcomps) {
    myTile.comps.set(image.numcomps);
    myTile.numcomps = image.numcomps;
  }
  for (unsigned int c = 0; c < image.numcomps; ++c)
    if (!initComp(image, tcp, c)) return false;
  return true;
}

void cJP2Tcd::inverseDwt(sJP2TcdTileComp& tc, const sJP2Tccp& tccp, unsigned int numres) {
  if (tccp.qmfbid == 1)
    inverseDwtPlane(tc.idata.ptr, tc, numres);
  else
    inverseDwtPlane(tc.fdata.ptr, tc, numres);
}

bool cJP2Tcd::mctFits(const cJP2Tcp& tcp) const {
  if (tcp.mct == 0 || myTile.numcomps < 3) return true;
  const long long n = myTile.comps.ptr[0].width() * myTile.comps.ptr[0].height();
  unsigned int used = tcp.mct == 2 ? myTile.numcomps : 3;
  for (unsigned int c = 1; c < used; ++c)
    if (myTile.comps.ptr[c].width() * myTile.comps.ptr[c].height() != n) return false;
  // The three components must have come through the same wavelet.
  const tJP2Tccps& tccps = *tcp.tccps;
  return tcp.mct == 2 || (tccps[1].qmfbid == tccps[0].qmfbid && tccps[2].qmfbid == tccps[0].qmfbid);
}

void cJP2Tcd::inverseMct(const cJP2Tcp& tcp, long long from, long long to) {
  if (tcp.mct == 0 || myTile.numcomps < 3) return;
  const tJP2Tccps& tccps = *tcp.tccps;
  if (tcp.mct == 2) {
    if (!tcp.mc || tcp.mc->matrix.empty()) return;
    unsigned int used = myTile.numcomps;
    std::vector<float> in(used), out(used);
    for (long long i = from; i < to; ++i) {
      for (unsigned int c = 0; c < used; ++c) {
        const sJP2TcdTileComp& tc = myTile.comps.ptr[c];
        in[c] = tccps[c].qmfbid == 1 ? static_cast<float>(tc.idata.ptr[i]) : tc.fdata.ptr[i];
      }
      for (unsigned int r = 0; r < used; ++r) {
        float s = 0;
        const float* row = &tcp.mc->matrix[static_cast<size_t>(r) * used];
        for (unsigned int c = 0; c < used; ++c) s += row[c] * in[c];
        out[r] = s;
      }
      for (unsigned int c = 0; c < used; ++c) {
        sJP2TcdTileComp& tc = myTile.comps.ptr[c];
        if (tccps[c].qmfbid == 1)
          tc.idata.ptr[i] = toInt(out[c]);
        else
          tc.fdata.ptr[i] = out[c];
      }
    }
  } else if (tccps[0].qmfbid == 1) {
    int *y = myTile.comps.ptr[0].idata.ptr, *u = myTile.comps.ptr[1].idata.ptr, *v = myTile.comps.ptr[2].idata.ptr;
    for (long long i = from; i < to; ++i) {
      int g = wrapSub(y[i], wrapAdd(u[i], v[i]) >> 2);
      int r = wrapAdd(v[i], g), b = wrapAdd(u[i], g);
      y[i] = r;
      u[i] = g;
      v[i] = b;
    }
  } else {
    float *y = myTile.comps.ptr[0].fdata.ptr, *u = myTile.comps.ptr[1].fdata.ptr, *v = myTile.comps.ptr[2].fdata.ptr;
    for (long long i = from; i < to; ++i) {
      float yy = y[i], cb = u[i], cr = v[i];
      y[i] = yy + 1.402f * cr;
      u[i] = yy - 0.34413f * cb - 0.71414f * cr;
      v[i] = yy + 1.772f * cb;
    }
  }
}

bool cJP2Tcd::decodeTile(cJP2Image& image, cJP2Tcp& tcp) {
  if (!myT2.decodePackets(image, tcp, myTile)) return false;
  const tJP2Tccps& tccps = *tcp.tccps;
  // The planes are made only once every packet of the tile has been read: a
  // header of a few bytes may declare more samples than memory holds, and
  // its missing packets must cost nothing.
  for (unsigned int c = 0; c < myTile.numcomps; ++c) {
    sJP2TcdTileComp& tc = myTile.comps.ptr[c];
    const long long count = tc.width() * tc.height();
    if (tccps[c].qmfbid == 1 ? tc.idata.count < count && !allocPictSamples(tc.idata, count)
                             : tc.fdata.count < count && !allocPictSamples(tc.fdata, count))
      return false;
  }
  for (unsigned int c = 0; c < myTile.numcomps; ++c) {
    sJP2TcdTileComp& tc = myTile.comps.ptr[c];
    for (unsigned int r = 0; r < tc.numresolutions; ++r) {
      sJP2TcdResolution& res = tc.resolutions[r];
      long long lowW = r > 0 ? tc.resolutions[r - 1].x1 - tc.resolutions[r - 1].x0 : 0;
      long long lowH = r > 0 ? tc.resolutions[r - 1].y1 - tc.resolutions[r - 1].y0 : 0;
      for (unsigned int b = 0; b < res.numbands; ++b) {
        sJP2TcdBand& band = res.bands[b];
        long long offx = (band.bandno & 1) ? lowW : 0, offy = (band.bandno & 2) ? lowH : 0;
        for (sJP2TcdPrecinct& prc : band.precincts)
          for (sJP2TcdCblkDec& cblk : prc.cblks)
            if (!myT1.decodeCblk(cblk, band, tccps[c], tc, cblk.x0 - band.x0 + offx, cblk.y0 - band.y0 + offy))
              return false;
      }
    }
    image.comps.ptr[c].resnoDecoded = tc.resolutionsToDecode - 1;
    inverseDwt(tc, tccps[c], tc.resolutionsToDecode);
  }
  // The component transform itself waits for the output, which does it
  // with the level shift while the samples are in the cache.
  return mctFits(tcp);
}

namespace {

// What a component's reconstructed values become in the image: level-shifted
// and clamped to the component's precision.
struct sJP2Finish {
  long long shift, lo, hi;
  sJP2Finish(const sJP2ImageComp& ic, const sJP2Tccp& tccp)
      : shift(tccp.dcLevelShift),
        lo(ic.sgnd ? -(1LL << (ic.prec - 1)) : 0),
        hi(ic.sgnd ? (1LL << (ic.prec - 1)) - 1 : (1LL << ic.prec) - 1) {}
  int operator()(long long v) const {
    v += shift;
    return static_cast<int>(static_cast<uint32_t>(v < lo ? lo : v > hi ? hi : v));
  }
};

// A float's bits as an integer that orders as the float does (-0 just
// below +0); its own inverse.
inline int32_t orderedKey(int32_t bits) { return bits ^ ((bits >> 31) & 0x7FFFFFFF); }

// Finishes n values of type T at `from` into samples at `to`, which may be
// the same place: both are read and written through memcpy, so a float
// plane can become a sample plane where it stands.
template <typename T>
void finishRun(const unsigned char* from, unsigned char* to, long long n, const sJP2Finish& finish) {
  static_assert(sizeof(T) == sizeof(int));
  if (finish.hi - finish.lo < (1LL << 24)) {
    // Clamping to the range less the shift, then shifting, is the same and
    // cannot overflow; within 24 bits a float holds the bounds exactly.
    const T lo = static_cast<T>(finish.lo - finish.shift), hi = static_cast<T>(finish.hi - finish.shift);
    const int shift = static_cast<int>(finish.shift);
    auto run = [&](const unsigned char* src, unsigned char* dst) __attribute__((always_inline)) {
      if constexpr (std::is_same_v<T, int>) {
        for (long long i = 0; i < n; ++i) {
          int v;
          std::memcpy(&v, src + 4 * i, 4);
          v = (v < lo ? lo : v > hi ? hi : v) + shift;
          std::memcpy(dst + 4 * i, &v, 4);
        }
      } else {
        // Float compares may trap, which keeps the compiler from
        // vectorising them here; the same clamp on ordered keys cannot.
        int32_t keyLo, keyHi;
        std::memcpy(&keyLo, &lo, 4);
        std::memcpy(&keyHi, &hi, 4);
        keyLo = orderedKey(keyLo);
        keyHi = orderedKey(keyHi);
        for (long long i = 0; i < n; ++i) {
          int32_t bits;
          std::memcpy(&bits, src + 4 * i, 4);
          // A NaN goes as 0, as toInt takes it.
          int32_t key = (bits & 0x7FFFFFFF) > 0x7F800000 ? 0 : orderedKey(bits);
          key = orderedKey(key < keyLo ? keyLo : key > keyHi ? keyHi : key);
          float v;
          std::memcpy(&v, &key, 4);
          int sample = static_cast<int>(v) + shift;
          std::memcpy(dst + 4 * i, &sample, 4);
        }
      }
    };
    // Where the plane is finished in place, the compiler must see one
    // pointer: its overlap test would otherwise fail and take the scalar loop.
    if (from == to)
      run(to, to);
    else
      run(from, to);
  } else {
    for (long long i = 0; i < n; ++i) {
      T v;
      std::memcpy(&v, from + 4 * i, 4);
      int sample;
      if constexpr (std::is_same_v<T, int>)
        sample = finish(v);
      else
        sample = finish(toInt(v));
      std::memcpy(to + 4 * i, &sample, 4);
    }
  }
}

}  // namespace

bool cJP2Tcd::toImage(cJP2Image& image, const cJP2Tcp& tcp) {
  inverseMct(tcp, 0, myTile.comps.ptr[0].width() * myTile.comps.ptr[0].height());
  const tJP2Tccps& tccps = *tcp.tccps;
  for (unsigned int c = 0; c < myTile.numcomps; ++c) {
    const sJP2TcdTileComp& tc = myTile.comps.ptr[c];
    sJP2ImageComp& ic = image.comps.ptr[c];
    if (!ic.data.ptr && !allocPictSamples(ic.data, static_cast<long long>(ic.w) * ic.h)) return false;
    const long long x0 = std::max<long long>(tc.x0, ic.x0), x1 = std::min<long long>(tc.x1, ic.x0 + ic.w);
    const long long y0 = std::max<long long>(tc.y0, ic.y0), y1 = std::min<long long>(tc.y1, ic.y0 + ic.h);
    const sJP2Finish finish(ic, tccps[c]);
    const bool reversible = tccps[c].qmfbid == 1;
    const void* plane = reversible ? static_cast<const void*>(tc.idata.ptr) : tc.fdata.ptr;
    for (long long y = y0; y < y1 && x0 < x1; ++y) {
      const unsigned char* from =
          static_cast<const unsigned char*>(plane) + 4 * ((y - tc.y0) * tc.width() + (x0 - tc.x0));
      auto* to = reinterpret_cast<unsigned char*>(ic.data.ptr + (y - ic.y0) * ic.w + (x0 - ic.x0));
      if (reversible)
        finishRun<int>(from, to, x1 - x0, finish);
      else
        finishRun<float>(from, to, x1 - x0, finish);
    }
  }
  return true;
}

bool cJP2Tcd::planesAreImage(const cJP2Image& image, const cJP2Tcp& tcp) const {
  const tJP2Tccps& tccps = *tcp.tccps;
  for (unsigned int c = 0; c < myTile.numcomps; ++c) {
    const sJP2TcdTileComp& tc = myTile.comps.ptr[c];
    const sJP2ImageComp& ic = image.comps.ptr[c];
    const long long n = tc.width() * tc.height();
    if (ic.data.ptr || tc.x0 != ic.x0 || tc.y0 != ic.y0 || tc.width() != ic.w || tc.height() != ic.h ||
        (tccps[c].qmfbid == 1 ? tc.idata.count : tc.fdata.count) != n)
      return false;
  }
  return true;
}

void cJP2Tcd::planesToImage(cJP2Image& image, const cJP2Tcp& tcp) {
  const tJP2Tccps& tccps = *tcp.tccps;
  std::vector<sJP2Finish> finishes;
  for (unsigned int c = 0; c < myTile.numcomps; ++c) finishes.emplace_back(image.comps.ptr[c], tccps[c]);
  // Finishes samples [from, to) of component c's plane, clipped to its size.
  auto finishPlane = [&](unsigned int c, long long from, long long to) {
    sJP2TcdTileComp& tc = myTile.comps.ptr[c];
    to = std::min(to, tc.width() * tc.height());
    if (to <= from) return;
    if (tccps[c].qmfbid == 1) {
      auto* at = reinterpret_cast<unsigned char*>(tc.idata.ptr + from);
      finishRun<int>(at, at, to - from, finishes[c]);
    } else {
      auto* at = reinterpret_cast<unsigned char*>(tc.fdata.ptr + from);
      finishRun<float>(at, at, to - from, finishes[c]);
    }
  };
  // A stretch of every plane at a time, small enough to stay in the cache
  // between the component transform and the level shift. Components outside
  // the transform may be larger than the first: their rest comes after.
  constexpr long long kStretch = 8192;
  const long long n = myTile.comps.ptr[0].width() * myTile.comps.ptr[0].height();
  for (long long at = 0; at < n; at += kStretch) {
    const long long end = std::min(n, at + kStretch);
    inverseMct(tcp, at, end);
    for (unsigned int c = 0; c < myTile.numcomps; ++c) finishPlane(c, at, end);
  }
  for (unsigned int c = 0; c < myTile.numcomps; ++c) {
    sJP2TcdTileComp& tc = myTile.comps.ptr[c];
    sJP2ImageComp& ic = image.comps.ptr[c];
    const long long count = tc.width() * tc.height();
    finishPlane(c, n, count);
    if (tccps[c].qmfbid == 1) {
      ic.takeData(tc.idata);
    } else {
      // Floats and samples are both four bytes: the plane changes hands
      // without a copy.
      ic.data.set(0);
      ic.data.ptr = static_cast<int*>(static_cast<void*>(tc.fdata.ptr));
      ic.data.count = count;
      tc.fdata.ptr = nullptr;
      tc.fdata.count = 0;
    }
  }
}

void cJP2Tcd::releasePlanes() {
  for (unsigned int c = 0; c < myTile.numcomps; ++c) {
    myTile.comps.ptr[c].idata.set(0);
    myTile.comps.ptr[c].fdata.set(0);
  }
}
