#include "picts/pictpcx.h"

#include <new>

#include "base/targets.h"
#include "picts/bytesource.h"
#include "picts/littleendian.h"

namespace {

constexpr int kHeaderSize = 128;
constexpr unsigned long long kTrailerSize = 769;  // the marker 12 and 256 colours

// One scan line's run-length state; runs carry from plane to plane.
struct sRuns {
  cByteSource& in;
  unsigned int count = 0;
  unsigned char value = 0;

  bool next(unsigned char& b) {
    if (!count) {
      if (!in.get(value)) return false;
      if (value >= 0xC0) {
        count = value & 0x3F;
        if (!in.get(value)) return false;
      }
    }
    if (count) --count;
    b = value;
    return true;
  }
};

}  // namespace

bool cPictPCX::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictPCX probe;
  return probe.isPicture(io, info);
}

bool cPictPCX::readHeader(cFileIOTarget* io, unsigned char* h) {
  if (!io || !io->readf(h, kHeaderSize)) return false;
  // The resolution is not asked for: ImageMagick leaves it 0. Xmax and
  // Ymax are inclusive, so 0 is a picture one pixel wide or high.
  if (h[0] != 10 || h[1] != 5 || h[2] != 1 || h[3] != 8 || le16(h + 4) || le16(h + 6) || h[64] != 0 ||
      (h[65] != 1 && h[65] != 3))
    return false;
  unsigned int paletteType = le16(h + 68);
  myPlanes = h[65];
  myBytesPerLine = static_cast<int>(le16(h + 66));
  return myBytesPerLine >= static_cast<int>(le16(h + 8)) + 1 && (paletteType == 1 || paletteType == 2);
}

bool cPictPCX::isPicture(cFileIOTarget* io, sPictInfo* info) {
  unsigned char h[kHeaderSize];
  if (!readHeader(io, h)) return false;
  if (info) {
    info->width = le16(h + 8) + 1LL;
    info->height = le16(h + 10) + 1LL;
    info->hasPreview = false;
  }
  return true;
}

// The 256 colours at the end of the file, or else the header's 16; a file
// too short to end with the long palette uses the header's.
bool cPictPCX::loadPalette(cFileIOTarget* io, const unsigned char* header) {
  unsigned long long size = io->size();
  unsigned char rgb[768], marker = 0;
  const unsigned char* entries = header + 16;
  long long count = 16;
  if (size >= kHeaderSize + kTrailerSize && io->set_fp(size - kTrailerSize) && io->readf(&marker, 1) &&
      marker == 12) {
    if (!io->readf(rgb, sizeof rgb)) return false;
    entries = rgb;
    count = 256;
  } else {
    bool any = false;
    for (int i = 0; i < 48; ++i) any |= entries[i] != 0;
    if (!any) return false;
  }
  myPalette.set(count);
  for (long long i = 0; i < count; ++i)
    myPalette.ptr[i] = 0xFF000000u | static_cast<unsigned int>(entries[3 * i]) << 16 |
                       static_cast<unsigned int>(entries[3 * i + 1]) << 8 | entries[3 * i + 2];
  return true;
}

bool cPictPCX::decode(cFileIOTarget* io) {
  close();
  myPalette.set(0);
  unsigned char header[kHeaderSize];
  if (!readHeader(io, header)) return false;
  long long w = le16(header + 8) + 1LL, h = le16(header + 10) + 1LL;
  if (myPlanes == 1 && !loadPalette(io, header)) return false;
  // A run of two bytes gives 63 at most: the stream must hold that much.
  unsigned long long encoded = static_cast<unsigned long long>(myBytesPerLine) * myPlanes * h,
                     size = io->size();
  if (size < kHeaderSize || encoded > (size - kHeaderSize) / 2 * 63 + 1 || !io->set_fp(kHeaderSize))
    return false;
  myWidth = w;
  myHeight = h;
  bool rendering = startExtRender();
  if (!rendering && !allocPixels(w, h, false)) return false;
  cPtr<cByteSource> source(new cByteSource(io));
  bool done = true;
  for (long long r = 0; r < h && done; ++r) {
    long long dest = h - 1 - r;
    unsigned int* row = rendering ? nullptr : myPix8.ptr + dest * w;
    sRuns runs{*source};
    if (myPlanes == 1) {
      for (long long x = 0; x < myBytesPerLine && done; ++x) {
        unsigned char b;
        done = runs.next(b) && b < myPalette.count;
        if (!done || x >= w) continue;
        if (rendering)
          setExtPix(x, dest, myPalette.ptr[b]);
        else
          row[x] = myPalette.ptr[b];
      }
      continue;
    }
    for (int plane = 0; plane < 3 && done; ++plane) {
      int component = 2 - plane, shift = 8 * component;
      for (long long x = 0; x < myBytesPerLine && done; ++x) {
        unsigned char b;
        done = runs.next(b);
        if (!done || x >= w) continue;
        if (rendering) {
          if (plane == 0) setExtComp(x, dest, 255, 3);
          setExtComp(x, dest, b, component);
        } else {
          row[x] = (row[x] & ~(0xFFu << shift)) | 0xFF000000u | static_cast<unsigned int>(b) << shift;
        }
      }
    }
  }
  if (rendering) endExtRender();
  return done;
}
