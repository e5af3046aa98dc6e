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

bool cJPEGParser::processHuffmalProgressive(int across, int down) {
  cJHuffDecoder dec;
  if (!dec.create(*this)) {
    onGeneralError(position, kErrSetup);
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
  // Only the first predictor without point transform, over every component
  // at full resolution, is decoded here; anything else would come out as
  // wrong samples.
  if (ss != 1 || al != 0) {
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
    for (long long i = 0; i < comps.count; ++i) {
      myLosslessRows.ptr[i].set(2LL * imageWidth);
      rowPtrs[i] = &myLosslessRows.ptr[i];
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  int first[4];
  for (int& f : first) f = 1 << (precision - 1);
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
    if (!onScanLine(rowPtrs, static_cast<int>(y), static_cast<int>(imageWidth))) return false;
  }
  return true;
}
