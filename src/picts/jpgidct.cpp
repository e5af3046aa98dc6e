// From coefficients to samples: the accurate integer inverse DCT, chroma
// replication up to the MCU's resolution, and the colour conversion of
// each output row.
#include <cstring>
#include <new>

#include "picts/jpgkernels.h"
#include "picts/jpgparser.h"

namespace {

constexpr int kPass1Bits = 2;

}  // namespace

void cJPEGParser::idct_int(sJCompInfo* comp, short* in, _typebuf<unsigned char>* outRows, int column,
                           const unsigned short* range, int prec) {
  unsigned long long ac;
  std::memcpy(&ac, in, 8);
  ac &= ~0xFFFFULL;
  for (int i = 1; i < 16 && !ac; ++i) {
    unsigned long long w;
    std::memcpy(&w, in + 4 * i, 8);
    ac |= w;
  }
  if (!ac) {
    // A flat block, the commonest kind: both passes reduce to one rounded
    // value looked up in the range-limit table.
    const int n = 1 << prec;
    unsigned int dc = static_cast<unsigned int>(in[0]) * static_cast<unsigned int>(comp->dequant[0]);
    int v = static_cast<int>((dc << kPass1Bits) + (1u << (kPass1Bits + 2))) >> (kPass1Bits + 3);
    unsigned char s = static_cast<unsigned char>(
        range[n / 2 + (static_cast<unsigned int>(v) & (4u * n - 1))] >> (prec - 8));
    for (int r = 0; r < 8; ++r) std::memset(outRows[r].ptr + column, s, 8);
    return;
  }
  unsigned char* rows[8];
  for (int r = 0; r < 8; ++r) rows[r] = outRows[r].ptr;
  jpgIdct8x8(in, comp->dequant, rows, column, prec);
}

bool cJPEGParser::decodeSample(sHuffDecodedUnit** units, int count, unsigned char** rows, int& outW,
                               int& outH) {
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
    // The inverse DCT writes 8 x 8 samples a block.
    if (c.blockW != 8 || c.blockH != 8) return false;
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
