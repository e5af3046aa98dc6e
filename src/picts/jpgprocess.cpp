// The three scan processors: one sequential scan holding every component,
// the scans of a multi-scan image refining the coefficient store, and
// lossless scans.
#include <cstring>
#include <new>

#include "picts/jpgparser.h"

namespace {

void clearUnits(sHuffDecodedUnit* units, long long n, unsigned char comp) {
  std::memset(static_cast<void*>(units), 0, static_cast<size_t>(n) * sizeof(sHuffDecodedUnit));
  for (long long i = 0; i < n; ++i) units[i].comp = comp;
}

}  // namespace

bool cJPEGParser::processHuffmalScan(int across, int down) {
  cJHuffDecoder dec;
  if (!dec.create(*this)) {
    onGeneralError(position, kErrSetup);
    return false;
  }
  try {
    if (scanCount == 1)
      myRowUnits.set(static_cast<long long>(comps.ptr[scanComps[0]].blocksPerMCU) * across);
    else
      myRowUnits.set(blocksPerMCU);
    myUnitPtrs.set(blocksPerMCU > 16 ? blocksPerMCU : 16);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (scanCount == 1) {
    // Blocks come in the component's raster order; an MCU row is gathered
    // before its MCUs go out.
    const sJCompInfo& c = comps.ptr[scanComps[0]];
    int h = static_cast<int>(c.h), v = static_cast<int>(c.v), per = h * v;
    for (int row = 0; row < down; ++row) {
      clearUnits(myRowUnits.ptr, myRowUnits.count, static_cast<unsigned char>(c.index));
      for (int bv = 0; bv < v; ++bv) {
        unsigned int by = static_cast<unsigned int>(row * v + bv);
        if (by >= c.heightInBlocks) {
          if (bv > 0) break;
          onGeneralError(position, kErrGeometry);
          return false;
        }
        // Column and position advance together: no division per block.
        int col = 0, bh = 0;
        for (unsigned int bx = 0; bx < c.widthInBlocks; ++bx) {
          int pos = bv * h + bh;
          if (!dec.nextUnit(myRowUnits.ptr[static_cast<long long>(pos) * across + col])) {
            onGeneralError(position, kErrDecode);
            onMCUError(col, row, pos, position);
            return false;
          }
          dec.doneCell();
          if (++bh == h) {
            bh = 0;
            ++col;
          }
        }
      }
      for (int col = 0; col < across; ++col) {
        for (int p = 0; p < per; ++p)
          myUnitPtrs.ptr[p] = myRowUnits.ptr + static_cast<long long>(p) * across + col;
        if (!onMCUDone(col, row, myUnitPtrs.ptr, per)) {
          onGeneralError(position, kErrRefused);
          return false;
        }
      }
    }
  } else {
    for (unsigned int p = 0; p < blocksPerMCU; ++p) myUnitPtrs.ptr[p] = myRowUnits.ptr + p;
    for (int row = 0; row < down; ++row)
      for (int col = 0; col < across; ++col) {
        int k = 0;
        for (unsigned int i = 0; i < scanCount; ++i) {
          const sJCompInfo& c = comps.ptr[scanComps[i]];
          for (unsigned int b = 0; b < c.blocksPerMCU; ++b, ++k) {
            if (k >= static_cast<int>(blocksPerMCU)) {
              onGeneralError(position, kErrGeometry);
              return false;
            }
            sHuffDecodedUnit& u = myRowUnits.ptr[k];
            u.comp = static_cast<unsigned char>(c.index);
            if (!dec.nextUnit(u)) {
              onGeneralError(position, kErrDecode);
              onMCUError(col, row, k, position);
              return false;
            }
          }
        }
        dec.doneCell();
        if (!onMCUDone(col, row, myUnitPtrs.ptr, k)) {
          onGeneralError(position, kErrRefused);
          return false;
        }
      }
  }
  if (!dec.isGoodEnd()) {
    onGeneralError(position, kErrUncleanEnd);
    return false;
  }
  return true;
}

// A scan must take up each coefficient of its band at the bit the scans
// before it reached, as the IJG library checks: a refinement repeated or out
// of order would walk every block again for bits that are not there.
bool cJPEGParser::advanceProgression() {
  if (process != 3) return true;
  for (unsigned int i = 0; i < scanCount; ++i) {
    signed char* bits = myCoefBits[scanComps[i] & 3];
    for (unsigned int k = ss; k <= se && k < 64; ++k) {
      if (ah != (bits[k] < 0 ? 0 : static_cast<unsigned int>(bits[k]))) return false;
      bits[k] = static_cast<signed char>(al);
    }
  }
  return true;
}

bool cJPEGParser::processHuffmalProgressive(int across, int down) {
  cJHuffDecoder dec;
  if (!dec.create(*this)) {
    onGeneralError(position, kErrSetup);
    return false;
  }
  if (!advanceProgression()) {
    onGeneralError(position, kErrProgression);
    return false;
  }
  // The store is laid out over every frame component, whichever scan comes
  // first, so that any order of scans finds its place.
  if (store.count == 0 && !createStore(mcusAcross(), mcusDown())) return false;
  if (across > myStoreAcross || down > myStoreDown) {
    onGeneralError(position, kErrGeometry);
    return false;
  }
  try {
    myUnitPtrs.set(blocksPerMCU);
  } catch (const std::bad_alloc&) {
    return false;
  }
  auto updated = [&](int col, int row) {
    long long at = static_cast<long long>(row) * myStoreAcross + col;
    for (unsigned int p = 0; p < blocksPerMCU; ++p) myUnitPtrs.ptr[p] = store.ptr[p].ptr + at;
    if (onMCUUpdated(col, row, myUnitPtrs.ptr, static_cast<int>(blocksPerMCU))) return true;
    onGeneralError(position, kErrRefused);
    return false;
  };
  if (scanCount == 1) {
    const sJCompInfo& c = comps.ptr[scanComps[0]];
    unsigned int h = c.h, v = c.v;
    for (unsigned int by = 0; by < c.heightInBlocks; ++by) {
      int row = static_cast<int>(by / v);
      unsigned int rowPos = c.firstPos + (by % v) * h;
      long long rowBase = static_cast<long long>(row) * myStoreAcross;
      // Column and position advance together: no division per block.
      int col = 0;
      unsigned int bh = 0;
      for (unsigned int bx = 0; bx < c.widthInBlocks; ++bx) {
        if (!dec.nextUnit(store.ptr[rowPos + bh].ptr[rowBase + col])) {
          onGeneralError(position, kErrDecode);
          onMCUError(col, row, static_cast<int>(rowPos + bh), position);
          return false;
        }
        dec.doneCell();
        if (++bh == h) {
          bh = 0;
          ++col;
        }
      }
      if (by % v == v - 1 || by + 1 == c.heightInBlocks)
        for (int col = 0; col < across; ++col)
          if (!updated(col, row)) return false;
    }
  } else {
    for (int row = 0; row < down; ++row)
      for (int col = 0; col < across; ++col) {
        long long at = static_cast<long long>(row) * myStoreAcross + col;
        for (unsigned int i = 0; i < scanCount; ++i) {
          const sJCompInfo& c = comps.ptr[scanComps[i]];
          for (unsigned int b = 0; b < c.blocksPerMCU; ++b) {
            sHuffDecodedUnit& u = store.ptr[c.firstPos + b].ptr[at];
            u.comp = static_cast<unsigned char>(c.index);
            if (!dec.nextUnit(u)) {
              onGeneralError(position, kErrDecode);
              onMCUError(col, row, static_cast<int>(c.firstPos + b), position);
              return false;
            }
          }
        }
        dec.doneCell();
        if (!updated(col, row)) return false;
      }
  }
  if (!dec.isGoodEnd()) {
    onGeneralError(position, kErrUncleanEnd);
    return false;
  }
  firstScan = false;
  return true;
}

bool cJPEGParser::processHuffmanLosslessScan() {
  // Predictors 1 to 7 and a point transform below the precision; the
  // decoder predicts from the sample before, the others are made from its
  // differences a row at a time, and need restarts at row starts.
  if (ss < 1 || ss > 7 || al >= precision ||
      (ss > 1 && restartInterval != 0 && restartInterval % imageWidth != 0)) {
    onGeneralError(position, kErrUnsupported);
    return false;
  }
  if (scanCount != comps.count) {
    onGeneralError(position, kErrGeometry);
    return false;
  }
  for (long long i = 0; i < comps.count; ++i)
    if (comps.ptr[i].h != 1 || comps.ptr[i].v != 1) {
      onGeneralError(position, kErrGeometry);
      return false;
    }
  cJHuffDecoder dec;
  if (!dec.create(*this)) {
    onGeneralError(position, kErrSetup);
    return false;
  }
  _typebuf<unsigned char>* rowPtrs[4];
  try {
    myLosslessRows.set(comps.count);
    myLosslessAbove.set(ss > 1 ? comps.count : 0);
    for (long long i = 0; i < comps.count; ++i) {
      myLosslessRows.ptr[i].set(2LL * imageWidth);
      rowPtrs[i] = &myLosslessRows.ptr[i];
    }
    for (long long i = 0; i < myLosslessAbove.count; ++i) myLosslessAbove.ptr[i].set(imageWidth);
  } catch (const std::bad_alloc&) {
    return false;
  }
  int first[4];
  for (int& f : first) f = 1 << (precision - al - 1);
  sHuffDecodedSample sample{};
  unsigned short* out[4] = {};
  for (unsigned int i = 0; i < scanCount && i < 4; ++i)
    out[i] = reinterpret_cast<unsigned short*>(myLosslessRows.ptr[scanComps[i]].ptr);
  for (unsigned int y = 0; y < imageHeight; ++y) {
    for (long long i = 0; i < comps.count; ++i) dec.setDCVal(static_cast<int>(i), first[i]);
    const bool run = imageWidth > 0 && dec.canRunLossless(imageWidth);
    if (run) {
      const unsigned int done = dec.losslessRun(out, imageWidth);
      if (done < imageWidth) {
        onGeneralError(position, kErrDecode);
        onSplError(static_cast<int>(done), static_cast<int>(y), position);
        return false;
      }
      for (unsigned int i = 0; i < scanCount; ++i) first[scanComps[i]] = static_cast<short>(out[i][0]);
    }
    for (unsigned int x = 0; x < imageWidth && !run; ++x) {
      for (unsigned int i = 0; i < scanCount; ++i) {
        int c = scanComps[i];
        sample.comp = static_cast<unsigned char>(c);
        if (!dec.nextSample(sample)) {
          onGeneralError(position, kErrDecode);
          onSplError(static_cast<int>(x), static_cast<int>(y), position);
          return false;
        }
        reinterpret_cast<unsigned short*>(myLosslessRows.ptr[c].ptr)[x] = sample.sample;
        if (x == 0) first[c] = static_cast<short>(sample.sample);
      }
      dec.doneCell();
    }
    // The first row of the scan and of each restart interval keeps the
    // first predictor.
    const bool opens = y == 0 || (restartInterval != 0 &&
                                  static_cast<unsigned long long>(y) * imageWidth % restartInterval == 0);
    finishLosslessRow(opens);
    if (!onScanLine(rowPtrs, static_cast<int>(y), static_cast<int>(imageWidth))) return false;
  }
  return true;
}

namespace {

// T.81 H.1: Ra left, Rb above, Rc above left.
inline int predict(int selection, int ra, int rb, int rc) {
  switch (selection) {
    case 2: return rb;
    case 3: return rc;
    case 4: return ra + rb - rc;
    case 5: return ra + ((rb - rc) >> 1);
    case 6: return rb + ((ra - rc) >> 1);
    case 7: return (ra + rb) >> 1;
    default: return ra;
  }
}

// The decoder predicted each sample from the one before it, so the
// differences are the steps between its samples; the first sample of a row
// is predicted from the one above by every selection.
void repredictRow(unsigned short* row, const unsigned short* above, unsigned int width, int selection) {
  unsigned int decoded = row[0];
  for (unsigned int x = 1; x < width; ++x) {
    const unsigned int diff = row[x] - decoded;
    decoded = row[x];
    const int p = predict(selection, row[x - 1], above[x], above[x - 1]);
    row[x] = static_cast<unsigned short>(static_cast<unsigned int>(p) + diff);
  }
}

}  // namespace

void cJPEGParser::finishLosslessRow(bool opensInterval) {
  for (long long c = 0; c < comps.count; ++c) {
    unsigned short* row = reinterpret_cast<unsigned short*>(myLosslessRows.ptr[c].ptr);
    if (ss > 1) {
      unsigned short* above = myLosslessAbove.ptr[c].ptr;
      if (!opensInterval) repredictRow(row, above, imageWidth, ss);
      std::memcpy(above, row, sizeof(unsigned short) * imageWidth);
    }
    if (al > 0)
      for (unsigned int x = 0; x < imageWidth; ++x) row[x] = static_cast<unsigned short>(row[x] << al);
  }
}
