#include "picts/pictpng.h"

#include <cstring>
#include <new>
#include <utility>

#include "base/targets.h"
#include "hash/checksums.h"

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// The format's own bound on a chunk's length.
constexpr unsigned long long kMaxChunkLength = 0x7FFFFFFF;
// A chunk is read in pieces of at most this size, its buffer growing only as
// far as bytes have actually arrived.
constexpr long long kChunkPiece = 1 << 20;
// No deflate stream expands one byte into more than this many.
constexpr long long kMaxInflateRatio = 1032;

// Adam7: first column, first row, column step, row step of each pass.
struct sPass {
  int firstColumn, firstRow, columnStep, rowStep;
};
constexpr sPass myInterlaceStageParams[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr sPass kWholeImage = {0, 0, 1, 1};

inline unsigned int be32(const unsigned char* p) {
  return static_cast<unsigned int>(p[0]) << 24 | static_cast<unsigned int>(p[1]) << 16 |
         static_cast<unsigned int>(p[2]) << 8 | p[3];
}
inline unsigned int be16(const unsigned char* p) { return static_cast<unsigned int>(p[0]) << 8 | p[1]; }

// Reads the type and `length` data bytes of a chunk into `chunk` (type
// first); the caller has checked that the stream holds them.
bool readChunk(cFileIOTarget* io, const unsigned char* type, long long length,
               _typebuf<unsigned char>& chunk) {
  long long need = length + 4, have = 4;
  try {
    if (chunk.count < 4) chunk.reset(need < 4 + kChunkPiece ? need : 4 + kChunkPiece);
    std::memcpy(chunk.ptr, type, 4);
    while (have < need) {
      long long piece = need - have < kChunkPiece ? need - have : kChunkPiece;
      if (chunk.count < have + piece) {
        long long grown = chunk.count * 2 < need ? chunk.count * 2 : need;
        chunk.reset(grown > have + piece ? grown : have + piece);
      }
      if (!io->readf(chunk.ptr + have, static_cast<unsigned int>(piece))) return false;
      have += piece;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

bool cPictPNG::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictPNG probe;
  return probe.isPicture(io, info);
}

bool cPictPNG::colorConvert(unsigned char*, int) { return false; }
bool cPictPNG::colorConvert16(unsigned short*, int) { return false; }

bool cPictPNG::isPicture(cFileIOTarget* io, sPictInfo* info) {
  myProbe = true;
  bool found = decodeInt(io) && myHeader.width != 0 && myHeader.height != 0;
  myProbe = false;
  if (found && info) {
    info->width = myHeader.width;
    info->height = myHeader.height;
    info->hasPreview = false;
  }
  return found;
}

bool cPictPNG::decode(cFileIOTarget* io) {
  myProbe = false;
  return decodeInt(io);
}

bool cPictPNG::decodeInt(cFileIOTarget* io) {
  if (!io || !io->valid()) return false;
  close();
  myHeader = {};
  myPalette.set(0);
  myHasKey = false;
  myKey8 = 0xFFFFFFFF;
  myKey16 = ~0ULL;
  buildLut();
  myRow = 0;
  myPass = -1;
  myGathered = 0;
  myRowBytes = 0;
  myDataStarted = myDataDone = false;
  myPrior.set(0);
  myCurrent.set(0);
  myRendering = false;
  myPictureStarted = false;
  myInflater.init();
  if (!myInflater.reset()) return false;
  bool done = walkChunks(io);
  if (myRendering) endExtRender();
  myRendering = false;
  myRenderRow8.set(0);
  myRenderRow16.set(0);
  return done;
}

bool cPictPNG::walkChunks(cFileIOTarget* io) {
  unsigned char head[8];
  if (!io->readf(head, 8) || std::memcmp(head, kSignature, 8) != 0) return false;
  // Positions are counted from where the walk began; the stream may hold
  // fewer bytes after it than its size, never more.
  unsigned long long total = io->size(), used = 8;
  _typebuf<unsigned char> chunk;
  for (;;) {
    if (!io->readf(head, 8)) return false;
    used += 8;
    unsigned long long length = be32(head);
    if (length > kMaxChunkLength || used > total || length + 4 > total - used) return false;
    if (!readChunk(io, head + 4, static_cast<long long>(length), chunk)) return false;
    unsigned char crc[4];
    if (!io->readf(crc, 4) || be32(crc) != crc32n(chunk.ptr, static_cast<long long>(length) + 4))
      return false;
    used += length + 4;
    const unsigned char* data = chunk.ptr + 4;
    long long n = static_cast<long long>(length);
    if (std::memcmp(chunk.ptr, "IHDR", 4) == 0) {
      // A second header would change the row sizes under rows in flight.
      if (n < 13 || myHeader.width != 0) return false;
      myHeader = {be32(data), be32(data + 4), data[8], data[9], data[10], data[11], data[12]};
      if (!chkProcessHeader()) return false;
    } else if (std::memcmp(chunk.ptr, "PLTE", 4) == 0) {
      if (!processPalette(data, n)) return false;
    } else if (std::memcmp(chunk.ptr, "tRNS", 4) == 0) {
      if (!chkProcessTransparency(data, n)) return false;
    } else if (std::memcmp(chunk.ptr, "IDAT", 4) == 0) {
      if (!myDataStarted && !startImageData(static_cast<long long>(total - used) + n)) return false;
      if (!processIDatChunk(data, n)) return false;
    } else if (std::memcmp(chunk.ptr, "IEND", 4) == 0) {
      // Success needs at least one decoded row: a picture is never made of
      // memory that no data reached.
      return n == 0 && (myProbe || myPictureStarted);
    }
    if (myProbe && myHeader.width != 0) return true;
  }
}

bool cPictPNG::chkProcessHeader() {
  const sHeader& h = myHeader;
  if (h.width == 0 || h.height == 0) return false;
  int d = h.bitDepth;
  bool lowDepth = d == 1 || d == 2 || d == 4 || d == 8;
  switch (h.colorType) {
    case 0:
      if (!lowDepth && d != 16) return false;
      break;
    case 3:
      if (!lowDepth) return false;
      break;
    case 2:
    case 4:
    case 6:
      if (d != 8 && d != 16) return false;
      break;
    default:
      return false;
  }
  if (h.interlace != 0 && h.interlace != 1 && h.interlace != 255) return false;
  buildLut();
  return true;
}

bool cPictPNG::processPalette(const unsigned char* data, long long length) {
  if (length == 0 || length % 3 != 0 || length / 3 > (1LL << myHeader.bitDepth)) return false;
  long long count = length / 3;
  myPalette.set(count);
  for (long long i = 0; i < count; ++i, data += 3)
    myPalette.ptr[i] = 0xFF000000u | static_cast<unsigned int>(data[0]) << 16 |
                       static_cast<unsigned int>(data[1]) << 8 | data[2];
  buildLut();
  return true;
}

bool cPictPNG::chkProcessTransparency(const unsigned char* data, long long length) {
  // Without a header the key's depth is unknown.
  if (myHeader.width == 0) return false;
  int depth = myHeader.bitDepth;
  switch (myHeader.colorType) {
    case 3:
      if (length > myPalette.count) return false;
      for (long long i = 0; i < length; ++i)
        myPalette.ptr[i] = (myPalette.ptr[i] & 0xFFFFFF) | static_cast<unsigned int>(data[i]) << 24;
      break;
    case 0: {
      if (length != 2) return false;
      unsigned int v = be16(data);
      if (depth == 16) {
        myKey16 = v * 0x000100010001ULL;
      } else {
        unsigned int top = (1u << depth) - 1;
        if (v > top) return false;
        myKey8 = v * 255 / top * 0x010101u;
      }
      break;
    }
    case 2: {
      if (length != 6) return false;
      unsigned int r = be16(data), g = be16(data + 2), b = be16(data + 4);
      if (depth == 16) {
        myKey16 = static_cast<unsigned long long>(r) << 32 | static_cast<unsigned long long>(g) << 16 | b;
      } else {
        if (r > 255 || g > 255 || b > 255) return false;
        myKey8 = r << 16 | g << 8 | b;
      }
      break;
    }
    default:
      return false;  // the colour type carries its own alpha
  }
  myHasKey = true;
  buildLut();
  return true;
}

// Grey levels and palette indices are turned into words by lookup; the
// table follows every change of header, palette or key.
void cPictPNG::buildLut() {
  sPngRowFormat& f = myFormat;
  f.colorType = myHeader.colorType;
  f.depth = myHeader.bitDepth;
  f.lut = myLut;
  f.lutSize = 0;
  f.hasKey = myHasKey;
  f.key8 = myKey8;
  f.key16 = myKey16;
  if (f.colorType == 3) {
    f.lutSize = myPalette.count < 256 ? static_cast<int>(myPalette.count) : 256;
    for (int i = 0; i < f.lutSize; ++i) myLut[i] = myPalette.ptr[i];
  } else if (f.colorType == 0 && f.depth >= 1 && f.depth <= 8) {
    f.lutSize = 1 << f.depth;
    unsigned int top = static_cast<unsigned int>(f.lutSize) - 1;
    for (unsigned int v = 0; v <= top; ++v) {
      unsigned int grey = v * 255 / top * 0x010101u;
      myLut[v] = myHasKey && grey == myKey8 ? grey : grey | 0xFF000000u;
    }
  }
}

int cPictPNG::bitsPerPixel() const {
  static constexpr int kSamples[7] = {1, 0, 3, 1, 2, 0, 4};
  return myHeader.colorType < 7 ? myHeader.bitDepth * kSamples[myHeader.colorType] : 0;
}

long long cPictPNG::scanlineBytes() const {
  return (static_cast<long long>(myHeader.width) * bitsPerPixel() + 7) / 8 + 1;
}

int cPictPNG::scanlineBpp() const {
  int bytes = bitsPerPixel() / 8;
  return bytes < 1 ? 1 : bytes;
}

long long cPictPNG::pixelsPerInterlacedLine() const {
  const sPass& p = myPass < 0 ? kWholeImage : myInterlaceStageParams[myPass];
  return (static_cast<long long>(myHeader.width) - 1 - p.firstColumn + p.columnStep) / p.columnStep;
}

// Sets up the rows on the first image data. `streamLeft` is what the stream
// still holds from this chunk's data on.
bool cPictPNG::startImageData(long long streamLeft) {
  if (myHeader.width == 0) return false;
  // An image that its data cannot possibly inflate to is refused before its
  // rows are allocated.
  if (streamLeft < (1LL << 40)) {
    long long budgetBits = (streamLeft + 1) * kMaxInflateRatio * 8;
    long long rowBits = static_cast<long long>(myHeader.width) * bitsPerPixel();
    if (rowBits > budgetBits / myHeader.height) return false;
  }
  long long bytes = scanlineBytes();
  try {
    myPrior.set(bytes);
    myCurrent.set(bytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
  myDataStarted = true;
  myGathered = 0;
  if (myHeader.interlace == 1) return startPass();
  myPass = -1;
  myRow = 0;
  myRowBytes = bytes;
  std::memset(myPrior.ptr, 0, static_cast<size_t>(bytes));
  return true;
}

// Moves to the next pass that has pixels; every pass starts against a zero row.
bool cPictPNG::startPass() {
  while (++myPass < 7) {
    const sPass& p = myInterlaceStageParams[myPass];
    if (p.firstColumn >= static_cast<long long>(myHeader.width) ||
        p.firstRow >= static_cast<long long>(myHeader.height))
      continue;
    myRowBytes = (pixelsPerInterlacedLine() * bitsPerPixel() + 7) / 8 + 1;
    std::memset(myPrior.ptr, 0, static_cast<size_t>(myRowBytes));
    myRow = p.firstRow;
    myGathered = 0;
    return true;
  }
  myDataDone = true;
  return true;
}

bool cPictPNG::processIDatChunk(const unsigned char* data, long long length) {
  while (!myDataDone) {
    long long in = length, out = myRowBytes - myGathered;
    bool sound = myInflater.decompressPart(data, in, myCurrent.ptr + myGathered, out);
    // With no input left the inflater is asked once more for what it holds
    // back; having nothing, it answers false without reading or writing.
    if (!sound && !(length == 0 && in == 0 && out == 0)) return false;
    data += in;
    length -= in;
    myGathered += out;
    if (myGathered == myRowBytes) {
      if (!rowDone()) return false;
    } else if (out == 0) {
      break;  // the chunk is used up; the next one continues this row
    }
  }
  return true;
}

bool cPictPNG::rowDone() {
  const sPass& p = myPass < 0 ? kWholeImage : myInterlaceStageParams[myPass];
  if (!processScanline(p.firstColumn, p.columnStep, myRowBytes)) return false;
  std::swap(myPrior.ptr, myCurrent.ptr);
  std::swap(myPrior.count, myCurrent.count);
  myGathered = 0;
  myRow += p.rowStep;
  if (myRow < static_cast<long long>(myHeader.height)) return true;
  if (myPass < 0) {
    myDataDone = true;
    return true;
  }
  return startPass();
}

bool cPictPNG::startPicture() {
  myWidth = myHeader.width;
  myHeight = myHeader.height;
  myIs16 = myHeader.bitDepth == 16;
  myRendering = startExtRender();
  if (myRendering) {
    try {
      if (myIs16)
        myRenderRow16.set(myWidth);
      else
        myRenderRow8.set(myWidth);
    } catch (const std::bad_alloc&) {
      return false;
    }
  } else if (!allocPixels(myWidth, myHeight, myIs16)) {
    return false;
  }
  myPictureStarted = true;
  return true;
}

bool cPictPNG::processScanline(long long firstColumn, long long columnStep, long long rowBytes) {
  if (myHeader.filter != 0) return false;
  unsigned char* row = myCurrent.ptr;
  pngUnfilter(row + 1, myPrior.ptr + 1, rowBytes - 1, scanlineBpp(), row[0]);
  if (!myPictureStarted && !startPicture()) return false;
  long long pixels = pixelsPerInterlacedLine();
  long long dest = myHeight - 1 - myRow;
  const unsigned char* samples = row + 1;
  int width = static_cast<int>(myWidth);
  if (myIs16) {
    auto* first = myRendering ? nullptr : reinterpret_cast<unsigned short*>(myPix16.ptr + dest * myWidth);
    if (colorConvert16(first, width)) return true;
  } else {
    auto* first = myRendering ? nullptr : reinterpret_cast<unsigned char*>(myPix8.ptr + dest * myWidth);
    if (colorConvert(first, width)) return true;
  }
  if (!myRendering) {
    long long at = dest * myWidth + firstColumn;
    if (myIs16) {
      pngRowTo16(myFormat, samples, pixels, myPix16.ptr + at, columnStep);
      return true;
    }
    return pngRowTo8(myFormat, samples, pixels, myPix8.ptr + at, columnStep);
  }
  if (myIs16) {
    pngRowTo16(myFormat, samples, pixels, myRenderRow16.ptr, 1);
    for (long long i = 0; i < pixels; ++i)
      setExtPix16(firstColumn + i * columnStep, dest, myRenderRow16.ptr[i]);
    return true;
  }
  if (!pngRowTo8(myFormat, samples, pixels, myRenderRow8.ptr, 1)) return false;
  for (long long i = 0; i < pixels; ++i) setExtPix(firstColumn + i * columnStep, dest, myRenderRow8.ptr[i]);
  return true;
}
