#include "picts/picttga.h"

#include <new>

#include "base/targets.h"
#include "picts/bytesource.h"
#include "picts/littleendian.h"
#include "picts/streamskip.h"

namespace {

// The header fields by offset.
enum : int {
  kIdLength = 0,
  kMapType = 1,
  kImageType = 2,
  kMapCount = 5,
  kMapEntryBits = 7,
  kOriginX = 8,
  kOriginY = 10,
  kWidth = 12,
  kHeight = 14,
  kBits = 16,
  kDescriptor = 17,
};
constexpr unsigned char kTopDown = 0x20;

// Five-bit channels reach 254 at most, as files of this kind have always
// been read here.
unsigned int from16(unsigned int v) {
  auto c = [](unsigned int five) { return static_cast<unsigned int>(five * 8.2258); };
  return 0xFF000000u | c((v >> 10) & 31) << 16 | c((v >> 5) & 31) << 8 | c(v & 31);
}

unsigned int fromBytes(const unsigned char* p, int bytes) {
  switch (bytes) {
    case 2:
      return from16(le16(p));
    case 3:
      return 0xFF000000u | static_cast<unsigned int>(p[2]) << 16 | static_cast<unsigned int>(p[1]) << 8 |
             p[0];
    default:
      return le32(p);
  }
}

// Stored rows, whole or unpacked from run-length packets that may run on
// across row ends.
class cRowSource {
 public:
  cRowSource(cFileIOTarget* io, bool rle, int bytes)
      : myIn(new cByteSource(io)), myRle(rle), myBytes(bytes) {}

  bool next(unsigned char* row, long long pixels) {
    if (!myRle) return myIn->read(row, static_cast<unsigned int>(pixels * myBytes));
    for (long long x = 0; x < pixels;) {
      if (!myLeft) {
        unsigned char h;
        if (!myIn->get(h)) return false;
        myLeft = (h & 0x7F) + 1;
        myRun = h & 0x80;
        if (myRun && !myIn->read(myValue, static_cast<unsigned int>(myBytes))) return false;
      }
      long long n = myLeft < pixels - x ? myLeft : pixels - x;
      unsigned char* at = row + x * myBytes;
      if (myRun) {
        for (long long i = 0; i < n; ++i)
          for (int b = 0; b < myBytes; ++b) at[i * myBytes + b] = myValue[b];
      } else if (!myIn->read(at, static_cast<unsigned int>(n * myBytes))) {
        return false;
      }
      myLeft -= n;
      x += n;
    }
    return true;
  }

 private:
  cPtr<cByteSource> myIn;
  bool myRle;
  int myBytes;
  long long myLeft = 0;
  bool myRun = false;
  unsigned char myValue[4] = {};
};

}  // namespace

bool cPictTGA::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictTGA probe;
  return probe.isPicture(io, info);
}

bool cPictTGA::readHeader(cFileIOTarget* io) {
  const unsigned char* h = myHeader;
  if (!io || !io->readf(myHeader, sizeof myHeader)) return false;
  switch (h[kImageType]) {
    case 2:
    case 3:
    case 10:
    case 11:
      if (h[kMapType] != 0 || le16(h + kMapCount) != 0 || h[kMapEntryBits] != 0) return false;
      break;
    case 1:
    case 9:
      if (h[kMapType] != 1 || le16(h + kMapCount) == 0 || h[kMapEntryBits] == 0) return false;
      break;
    default:
      return false;
  }
  int bits = h[kBits];
  return le16(h + kOriginX) == 0 && le16(h + kOriginY) == 0 && le16(h + kWidth) && le16(h + kHeight) &&
         (bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

bool cPictTGA::isPicture(cFileIOTarget* io, sPictInfo* info) {
  if (!readHeader(io)) return false;
  if (info) {
    info->width = le16(myHeader + kWidth);
    info->height = le16(myHeader + kHeight);
    info->hasPreview = false;
  }
  return true;
}

bool cPictTGA::decode(cFileIOTarget* io) {
  close();
  myPalette.set(0);
  if (!readHeader(io) || myHeader[kDescriptor] >= 0x40 || !skipBytes(io, myHeader[kIdLength])) return false;
  myWidth = le16(myHeader + kWidth);
  myHeight = le16(myHeader + kHeight);
  switch (myHeader[kImageType]) {
    case 1:
      return processPlainCMap(io);
    case 2:
      return processPlainRGB(io);
    case 3:
      return processPlainBW(io);
    case 9:
      return processRLECMap(io);
    case 10:
      return processRLERGB(io);
    default:
      return processRLEBW(io);
  }
}

bool cPictTGA::loadPalette(cFileIOTarget* io) {
  int bits = myHeader[kMapEntryBits];
  long long count = le16(myHeader + kMapCount);
  if (bits != 16 && bits != 24 && bits != 32) return false;
  int bytes = bits / 8;
  _typebuf<unsigned char> raw;
  raw.set(count * bytes);  // 256 KiB at most
  if (!io->readf(raw.ptr, static_cast<unsigned int>(count * bytes))) return false;
  myPalette.set(count);
  bool anyAlpha = false;
  for (long long i = 0; i < count; ++i) {
    myPalette.ptr[i] = fromBytes(raw.ptr + i * bytes, bytes);
    anyAlpha |= (myPalette.ptr[i] >> 24) != 0;
  }
  if (!anyAlpha)
    for (long long i = 0; i < count; ++i) myPalette.ptr[i] |= 0xFF000000u;
  return true;
}

bool cPictTGA::convertRow(const unsigned char* raw, unsigned int* out, ePixelKind kind,
                          bool& anyAlpha) const {
  long long w = myWidth;
  int bytes = myHeader[kBits] / 8;
  switch (kind) {
    case pkColorMapped:
      for (long long x = 0; x < w; ++x) {
        if (raw[x] >= myPalette.count) return false;
        out[x] = myPalette.ptr[raw[x]];
      }
      break;
    case pkGrey:
      for (long long x = 0; x < w; ++x) out[x] = 0xFF000000u | raw[x] * 0x010101u;
      break;
    case pkTrueColor:
      for (long long x = 0; x < w; ++x) out[x] = fromBytes(raw + x * bytes, bytes);
      if (bytes == 4)
        for (long long x = 0; x < w && !anyAlpha; ++x) anyAlpha = (out[x] >> 24) != 0;
      break;
  }
  return true;
}

bool cPictTGA::processRows(cFileIOTarget* io, bool rle, ePixelKind kind) {
  int bits = myHeader[kBits];
  if ((kind == pkTrueColor) == (bits == 8)) return false;
  if (kind == pkColorMapped && !loadPalette(io)) return false;
  long long w = myWidth, h = myHeight;
  int bytes = bits / 8;
  // Pixels are believed only when the stream could hold them: a run packet
  // of a byte and one value covers 128 pixels at most.
  unsigned long long pixels = static_cast<unsigned long long>(w) * static_cast<unsigned long long>(h);
  unsigned long long minBytes = rle ? (pixels + 127) / 128 * (1 + bytes) : pixels * bytes;
  if (minBytes > io->size()) return false;
  _typebuf<unsigned char> raw;
  _typebuf<unsigned int> words;
  try {
    raw.set(w * bytes);
    words.set(w);
  } catch (const std::bad_alloc&) {
    return false;
  }
  myRendering = startExtRender();
  if (!myRendering && !allocPixels(w, h, false)) return false;
  bool topDown = myHeader[kDescriptor] & kTopDown, anyAlpha = false, done = true;
  cRowSource rows(io, rle, bytes);
  for (long long r = 0; r < h && done; ++r) {
    long long dest = topDown ? h - 1 - r : r;
    unsigned int* out = myRendering ? words.ptr : myPix8.ptr + dest * w;
    done = rows.next(raw.ptr, w) && convertRow(raw.ptr, out, kind, anyAlpha);
    if (done && myRendering)
      for (long long x = 0; x < w; ++x) setExtPix(x, dest, out[x]);
  }
  // A 32-bit picture without a single non-zero alpha was stored without alpha.
  if (done && kind == pkTrueColor && bytes == 4 && !anyAlpha) {
    if (myRendering) {
      for (long long y = 0; y < h; ++y)
        for (long long x = 0; x < w; ++x) setExtComp(x, y, 255, 3);
    } else {
      for (long long i = 0; i < myPix8.count; ++i) myPix8.ptr[i] |= 0xFF000000u;
    }
  }
  if (myRendering) endExtRender();
  myRendering = false;
  return done;
}
