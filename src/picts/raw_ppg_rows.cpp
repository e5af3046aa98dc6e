#include "picts/raw_ppg_rows.h"

namespace {

// Branch-free forms the vectoriser takes.
inline int absDiff(int a, int b) { return a > b ? a - b : b - a; }
inline int clampInt(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }
inline unsigned short clip16(int v) { return (unsigned short)clampInt(v, 0, 65535); }

// Half-row index of column 2i + p + k for the sites' index i, as an offset
// from i: floor((p + k) / 2).
inline long long shift(int p, int k) { return (p + k) >> 1; }

}  // namespace

void ppgScaleLine(const unsigned short* src, long long w, const unsigned short* const (&lut)[2],
                  const int (&channel)[2], const sPPGLine& out, unsigned& lo, unsigned& hi) {
  unsigned l = lo, h = hi;
  for (long long x = 0; x < w; ++x) {
    const unsigned s = src[x];
    l = s < l ? s : l;
    h = s > h ? s : h;
  }
  lo = l;
  hi = h;
  for (int p = 0; p < 2; ++p) {
    const long long n = (w - p + 1) / 2;
    const unsigned short* t = lut[p];
    unsigned short* own = out.c[channel[p]][p];
    const unsigned short* from = src + p;
    for (long long i = 0; i < n; ++i) own[i] = t[from[2 * i]];
    for (int k = 0; k < 3; ++k) {
      if (k == channel[p]) continue;
      unsigned short* zero = out.c[k][p];
      for (long long i = 0; i < n; ++i) zero[i] = 0;
    }
  }
}

namespace {

struct sGreenInputs {
  const unsigned short *own, *gm3, *gm1, *gp1, *gp3;  // along the row
  const unsigned short *um3, *um2, *um1, *up1, *up2, *up3;  // down the column
};

[[gnu::always_inline]] inline void greenLoop(const sGreenInputs& in, unsigned short* out, long long count) {
  const unsigned short *own = in.own, *gm3 = in.gm3, *gm1 = in.gm1, *gp1 = in.gp1, *gp3 = in.gp3;
  const unsigned short *um3 = in.um3, *um2 = in.um2, *um1 = in.um1, *up1 = in.up1, *up2 = in.up2,
                       *up3 = in.up3;
  for (long long i = 0; i < count; ++i) {
    const int o = own[i];
    const int hm2 = own[i - 1], hp2 = own[i + 1], hm1 = gm1[i], hp1 = gp1[i];
    const int hGuess = (hm1 + o + hp1) * 2 - hm2 - hp2;
    const int hDiff = (absDiff(hm2, o) + absDiff(hp2, o) + absDiff(hm1, hp1)) * 3 +
                      (absDiff(gp3[i], hp1) + absDiff(gm3[i], hm1)) * 2;
    const int vm2 = um2[i], vp2 = up2[i], vm1 = um1[i], vp1 = up1[i];
    const int vGuess = (vm1 + o + vp1) * 2 - vm2 - vp2;
    const int vDiff = (absDiff(vm2, o) + absDiff(vp2, o) + absDiff(vm1, vp1)) * 3 +
                      (absDiff(up3[i], vp1) + absDiff(um3[i], vm1)) * 2;
    const bool down = hDiff > vDiff;
    const int a = down ? vp1 : hp1, b = down ? vm1 : hm1;
    const int lo = a < b ? a : b, hi = a < b ? b : a;
    out[i] = (unsigned short)clampInt((down ? vGuess : hGuess) >> 2, lo, hi);
  }
}

// `out` shares memory with none of the inputs: with eleven of them the
// compiler would not check them all at run time and would not vectorise.
void greenApart(const sGreenInputs& in, unsigned short* __restrict out, long long count) {
  greenLoop(in, out, count);
}

}  // namespace

void ppgGreenSites(const sPPGLine (&rows)[7], int c, int p, long long from, long long count) {
  if (count < 1) return;
  const int q = p ^ 1;
  const unsigned short* g = rows[3].c[1][q] + from;
  const sGreenInputs in{rows[3].c[c][p] + from, g + shift(p, -3), g + shift(p, -1), g + shift(p, 1), g + shift(p, 3),
                  rows[0].c[1][p] + from, rows[1].c[c][p] + from, rows[2].c[1][p] + from,
                  rows[4].c[1][p] + from, rows[5].c[c][p] + from, rows[6].c[1][p] + from};
  unsigned short* out = rows[3].c[1][p] + from;
  // On a row of a pattern with green alone, each estimate reads the green
  // the site before it has just been given: one site after the other.
  if (c == 1) return greenLoop(in, out, count);
  greenApart(in, out, count);
}

void ppgColoursAtGreen(const sPPGLine (&rows)[3], int c, int p, long long from, long long count) {
  const int q = p ^ 1;
  const unsigned short* g = rows[1].c[1][p] + from;
  {
    const long long l = from + shift(p, -1), r = from + shift(p, 1);
    const unsigned short *lc = rows[1].c[c][q] + l, *rc = rows[1].c[c][q] + r;
    const unsigned short *lg = rows[1].c[1][q] + l, *rg = rows[1].c[1][q] + r;
    unsigned short* out = rows[1].c[c][p] + from;
    for (long long i = 0; i < count; ++i) out[i] = clip16((lc[i] + rc[i] + 2 * g[i] - lg[i] - rg[i]) >> 1);
  }
  const int k = 2 - c;
  const unsigned short *uc = rows[0].c[k][p] + from, *dc = rows[2].c[k][p] + from;
  const unsigned short *ug = rows[0].c[1][p] + from, *dg = rows[2].c[1][p] + from;
  unsigned short* out = rows[1].c[k][p] + from;
  for (long long i = 0; i < count; ++i) out[i] = clip16((uc[i] + dc[i] + 2 * g[i] - ug[i] - dg[i]) >> 1);
}

void ppgColourAtOthers(const sPPGLine (&rows)[3], int c, int p, long long from, long long count) {
  const int q = p ^ 1;
  const long long l = from + shift(p, -1), r = from + shift(p, 1);
  // The two diagonals: up-left with down-right, up-right with down-left.
  const unsigned short *ulc = rows[0].c[c][q] + l, *drc = rows[2].c[c][q] + r;
  const unsigned short *ulg = rows[0].c[1][q] + l, *drg = rows[2].c[1][q] + r;
  const unsigned short *urc = rows[0].c[c][q] + r, *dlc = rows[2].c[c][q] + l;
  const unsigned short *urg = rows[0].c[1][q] + r, *dlg = rows[2].c[1][q] + l;
  const unsigned short* g = rows[1].c[1][p] + from;
  unsigned short* out = rows[1].c[c][p] + from;
  for (long long i = 0; i < count; ++i) {
    const int own = g[i];
    const int d0 = absDiff(ulc[i], drc[i]) + absDiff(ulg[i], own) + absDiff(drg[i], own);
    const int d1 = absDiff(urc[i], dlc[i]) + absDiff(urg[i], own) + absDiff(dlg[i], own);
    const int g0 = ulc[i] + drc[i] + 2 * own - ulg[i] - drg[i];
    const int g1 = urc[i] + dlc[i] + 2 * own - urg[i] - dlg[i];
    const int v = d0 != d1 ? (d0 > d1 ? g1 : g0) >> 1 : (g0 + g1) >> 2;
    out[i] = clip16(v);
  }
}

void ppgOutputLine(const sPPGLine& row, long long w, unsigned long long* dst) {
  for (int p = 0; p < 2; ++p) {
    const long long n = (w - p + 1) / 2;
    const unsigned short *r = row.c[0][p], *g = row.c[1][p], *b = row.c[2][p];
    unsigned long long* d = dst + p;
    for (long long i = 0; i < n; ++i)
      d[2 * i] = 0xFFFF000000000000ULL | (unsigned long long)r[i] << 32 | (unsigned long long)g[i] << 16 | b[i];
  }
}
