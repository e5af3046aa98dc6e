#include "picts/raw_ljpeg.h"

#include <new>

#include "picts/pixelalloc.h"

cRAWLosslessJpeg::cRAWLosslessJpeg() { setReadExif(false); }

void cRAWLosslessJpeg::init(unsigned width, unsigned height, unsigned sliceCount, unsigned sliceWidth,
                            unsigned lastSliceWidth) {
  myRawWidth = width;
  myRawHeight = height;
  mySliceCount = sliceCount;
  mySliceWidth = sliceWidth;
  myLastSliceWidth = sliceCount == 0 ? width : lastSliceWidth ? lastSliceWidth : sliceWidth;
  myScanType = kScanPlain;
  myRawType = kRawSimple;
  myPrecision = 0;
  myRaw.set(0);
}

void cRAWLosslessJpeg::init(unsigned width, unsigned height, eScanType scan) {
  init(width, height, 0, 0, 0);
  myScanType = scan;
}

bool cRAWLosslessJpeg::getData(_typebuf<unsigned char>& buffer) {
  buffer.set(0);
  buffer.ptr = myRaw.ptr;
  buffer.count = myRaw.count;
  myRaw.ptr = nullptr;
  myRaw.count = 0;
  return buffer.count > 0;
}

bool cRAWLosslessJpeg::prepareRaw() {
  if (myRawWidth == 0 || myRawHeight == 0) return false;
  myPrecision = precision;
  myMaxH = maxH;
  myMaxV = maxV;
  long long perPixel = 1;
  // Slice widths count stream samples; the reduced-size types spend two
  // (2x1) or three (2x2) samples per pixel column, and the cursor walks
  // pixel columns.
  unsigned divisor = 1;
  if (precision != 15) {
    if (comps.count != 1 && comps.count != 2 && comps.count != 4) return false;
    myRawType = kRawSimple;
  } else {
    if (comps.count != 3 || mySliceCount == 0 || maxH != 2) return false;
    if (comps.ptr[0].h != maxH || comps.ptr[0].v != maxV) return false;
    for (int c = 1; c < 3; ++c)
      if (comps.ptr[c].h != 1 || comps.ptr[c].v != 1) return false;
    if (maxV == 1) {
      myRawType = kRawSraw2x1;
      divisor = 2;
    } else if (maxV == 2) {
      myRawType = kRawSraw2x2;
      divisor = 3;
    } else {
      return false;
    }
    perPixel = 3;
  }
  myUnitSlice = mySliceWidth / divisor;
  myUnitLast = mySliceCount == 0 ? myRawWidth : myLastSliceWidth / divisor;
  if ((mySliceCount != 0 && myUnitSlice == 0) || myUnitLast == 0) return false;
  if (static_cast<long long>(mySliceCount) * myUnitSlice + myUnitLast > myRawWidth) return false;
  long long pixels = pictPixelCount(myRawWidth, myRawHeight);
  if (pixels < 0) return false;
  long long bytes = pixels * perPixel * 2;
  // A second scan of the same frame lands in the buffer the first made.
  return myRaw.count == bytes || allocPictSamples(myRaw, bytes);
}

unsigned long long cRAWLosslessJpeg::frameSamples() const {
  return static_cast<unsigned long long>(imageWidth) * comps.count * imageHeight;
}

bool cRAWLosslessJpeg::isPicture(cFileIOTarget* io, sPictInfo* info) {
  myProbing = true;
  myProbed = false;
  processStream(io);
  myProbing = false;
  if (myProbed && info) {
    info->width = imageWidth;
    info->height = imageHeight;
    info->hasPreview = false;
  }
  return myProbed;
}

bool cRAWLosslessJpeg::onImageDescribed() {
  if (coding != 2) return false;
  if (!myProbing) return true;
  myProbed = true;
  return false;
}

bool cRAWLosslessJpeg::processHuffmanLosslessScan() {
  if (!prepareRaw()) {
    onGeneralError(position, kErrGeometry);
    return false;
  }
  return myRawType == kRawSimple ? cJPEGParser::processHuffmanLosslessScan() : scanSraw();
}

// The reduced-size scan: every MCU holds H x V luma samples, then one Cb and
// one Cr. Each luma sample is predicted from the luma decoded just before
// it, as the cameras writing these streams do; the first of a row and the
// chroma follow the usual first-predictor rule.
bool cRAWLosslessJpeg::scanSraw() {
  if (ss != 1 || al != 0 || scanCount != 3) {
    onGeneralError(position, kErrUnsupported);
    return false;
  }
  long long across = (imageWidth + myMaxH - 1) / myMaxH, down = (imageHeight + myMaxV - 1) / myMaxV;
  int per[3];
  _typebuf<unsigned char>* rows[3];
  try {
    myLines.set(3);
    for (int c = 0; c < 3; ++c) {
      per[c] = static_cast<int>(comps.ptr[c].h * comps.ptr[c].v);
      myLines.ptr[c].set(2 * across * per[c]);
      rows[c] = &myLines.ptr[c];
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  cJHuffDecoder dec;
  if (!dec.create(*this)) {
    onGeneralError(position, kErrSetup);
    return false;
  }
  int first[3];
  for (int& f : first) f = 1 << (precision - 1);
  sHuffDecodedSample sample{};
  for (long long y = 0; y < down; ++y) {
    for (int c = 0; c < 3; ++c) dec.setDCVal(c, first[c]);
    for (long long m = 0; m < across; ++m) {
      for (unsigned i = 0; i < scanCount; ++i) {
        int c = scanComps[i];
        unsigned short* line = reinterpret_cast<unsigned short*>(myLines.ptr[c].ptr) + m * per[c];
        sample.comp = static_cast<unsigned char>(c);
        for (int k = 0; k < per[c]; ++k) {
          if (!dec.nextSample(sample)) {
            onGeneralError(position, kErrDecode);
            onSplError(static_cast<int>(m), static_cast<int>(y), position);
            return false;
          }
          line[k] = sample.sample;
        }
        if (m == 0) first[c] = line[0];
      }
      dec.doneCell();
    }
    if (!onScanLine(rows, static_cast<int>(y), static_cast<int>(across))) {
      onGeneralError(position, kErrRefused);
      return false;
    }
  }
  return true;
}

bool cRAWLosslessJpeg::onScanLine(_typebuf<unsigned char>** rows, int y, int lineWidth) {
  if (!myRaw.ptr || y < 0 || lineWidth < 1) return false;
  switch (myRawType) {
    case kRawSimple:
      return onScanLineSimple(rows, y, lineWidth);
    case kRawSraw2x2:
      return onScanLineSraw1(rows, y, lineWidth);
    case kRawSraw2x1:
      return onScanLineSraw2(rows, y, lineWidth);
  }
  return false;
}

void cRAWLosslessJpeg::seek(sCursor& at, long long index, long long height) const {
  long long block = static_cast<long long>(myUnitSlice) * height;
  long long s = mySliceCount != 0 && index / block < mySliceCount ? index / block : mySliceCount;
  long long r = index - s * block;
  at.slice = s;
  at.start = s * myUnitSlice;
  at.width = s < mySliceCount ? myUnitSlice : myUnitLast;
  at.row = r / at.width;
  at.col = r % at.width;
}

inline void cRAWLosslessJpeg::advance(sCursor& at, long long height) const {
  if (++at.col < at.width) return;
  at.col = 0;
  if (++at.row < height || at.slice >= mySliceCount) return;
  at.row = 0;
  ++at.slice;
  at.start += myUnitSlice;
  at.width = at.slice < mySliceCount ? myUnitSlice : myUnitLast;
}

namespace {

// Samples k to k + count - 1 of a line whose two components alternate.
void interleavePair(const unsigned short* a, const unsigned short* b, long long k, long long count,
                    unsigned short* to) {
  long long j = k, end = k + count;
  if (j & 1) *to++ = b[j++ / 2];
  for (; j + 1 < end; j += 2) {
    *to++ = a[j / 2];
    *to++ = b[j / 2];
  }
  if (j < end) *to = a[j / 2];
}

}  // namespace

// The stream is one run of samples, component-interleaved within a line:
// a line may cover part of a raw row or several rows, and slices take the
// run column block by column block. What falls outside the raw is dropped.
bool cRAWLosslessJpeg::onScanLineSimple(_typebuf<unsigned char>** rows, int y, int lineWidth) {
  long long height = myRawHeight, line = y;
  if (myScanType == kScanInterlaced) {
    line = y % 2 == 0 ? y / 2 : height - 1 - y / 2;
    if (line < 0) return true;
  }
  int n = static_cast<int>(comps.count);
  const unsigned short* from[4];
  for (int c = 0; c < n; ++c) from[c] = reinterpret_cast<const unsigned short*>(rows[c]->ptr);
  unsigned short* raw = getBitmap();
  sCursor at;
  seek(at, line * lineWidth * n, height);
  // A stretch at a time: the samples left on the cursor's row of its slice
  // are neighbours in the raw.
  const long long total = static_cast<long long>(lineWidth) * n;
  for (long long k = 0; k < total;) {
    if (at.row >= height) return true;
    const long long room = at.width - at.col, run = room < 1 ? 1 : room < total - k ? room : total - k;
    unsigned short* to = raw + at.row * myRawWidth + at.start + at.col;
    if (n == 2 && run > 1) {
      interleavePair(from[0], from[1], k, run, to);
    } else {
      // One division for the stretch, none per sample.
      long long x = k / n;
      int c = int(k % n);
      for (long long j = 0; j < run; ++j) {
        *to++ = from[c][x];
        if (++c == n) c = 0, ++x;
      }
    }
    k += run;
    at.col += run - 1;
    advance(at, height);
  }
  return true;
}

namespace {

// One pixel of a reduced-size picture: luma and the chroma around zero.
inline void putYCC(unsigned short* raw, long long width, long long height, long long row, long long col,
                   unsigned short luma, unsigned short cb, unsigned short cr) {
  if (row >= height || col >= width) return;
  unsigned short* p = raw + (row * width + col) * 3;
  p[0] = luma;
  p[1] = static_cast<unsigned short>(cb - cRAWLosslessJpeg::kChromaOffset);
  p[2] = static_cast<unsigned short>(cr - cRAWLosslessJpeg::kChromaOffset);
}

}  // namespace

// 2x2: each MCU is two pixel columns of a block row; its luma samples go
// top-left, top-right, bottom-left, bottom-right, its chroma to all four.
bool cRAWLosslessJpeg::onScanLineSraw1(_typebuf<unsigned char>** rows, int y, int lineWidth) {
  const unsigned short* luma = reinterpret_cast<const unsigned short*>(rows[0]->ptr);
  const unsigned short* cb = reinterpret_cast<const unsigned short*>(rows[1]->ptr);
  const unsigned short* cr = reinterpret_cast<const unsigned short*>(rows[2]->ptr);
  long long blockRows = (myRawHeight + 1LL) / 2;
  unsigned short* raw = getBitmap();
  sCursor at;
  seek(at, 2LL * y * lineWidth, blockRows);
  for (int m = 0; m < lineWidth; ++m, luma += 4) {
    for (int k = 0; k < 2; ++k) {
      if (at.row >= blockRows) return true;
      long long col = at.start + at.col;
      putYCC(raw, myRawWidth, myRawHeight, 2 * at.row, col, luma[k], cb[m], cr[m]);
      putYCC(raw, myRawWidth, myRawHeight, 2 * at.row + 1, col, luma[k + 2], cb[m], cr[m]);
      advance(at, blockRows);
    }
  }
  return true;
}

// 2x1: each MCU is two neighbouring pixels sharing one chroma pair.
bool cRAWLosslessJpeg::onScanLineSraw2(_typebuf<unsigned char>** rows, int y, int lineWidth) {
  const unsigned short* luma = reinterpret_cast<const unsigned short*>(rows[0]->ptr);
  const unsigned short* cb = reinterpret_cast<const unsigned short*>(rows[1]->ptr);
  const unsigned short* cr = reinterpret_cast<const unsigned short*>(rows[2]->ptr);
  long long height = myRawHeight;
  unsigned short* raw = getBitmap();
  sCursor at;
  seek(at, 2LL * y * lineWidth, height);
  for (int p = 0; p < 2 * lineWidth; ++p) {
    if (at.row >= height) return true;
    putYCC(raw, myRawWidth, height, at.row, at.start + at.col, luma[p], cb[p / 2], cr[p / 2]);
    advance(at, height);
  }
  return true;
}
