#include "picts/pictgif.h"

#include <cmath>
#include <cstring>

#include "base/memio.h"
#include "base/targets.h"
#include "compression/lzwdecompress.h"
#include "picts/littleendian.h"
#include "picts/streamskip.h"

namespace {

constexpr unsigned char kExtension = 0x21;
constexpr unsigned char kImage = 0x2C;
constexpr unsigned char kTrailer = 0x3B;
constexpr unsigned char kGraphicControl = 0xF9;
constexpr unsigned int kNoIndex = 256;
constexpr unsigned int kUnknownPixel = 0x00FFFFFF;
// No code stands for more than 4096 indices, and none takes fewer than 12
// bits once the table is full: 4096 / 1.5 bytes.
constexpr long long kMaxCodeExpansion = 2731;

bool hasTable(unsigned char flags) { return flags & 0x80; }
unsigned long long tableBytes(unsigned char flags) { return 3ULL << ((flags & 7) + 1); }

// Skips data sub-blocks, the first of size `size`, up to the empty one.
bool skipSubBlocks(cFileIOTarget* io, unsigned char size) {
  while (size) {
    if (!skipBytes(io, size) || !io->readf(&size, 1)) return false;
  }
  return true;
}

// Interlaced frames store every eighth row from 0, every eighth from 4,
// every fourth from 2, then every second from 1.
struct sPass {
  long long first, step;
};
constexpr sPass kInterlace[4] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
constexpr sPass kSequential[1] = {{0, 1}};

}  // namespace

bool cPictGIF::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictGIF probe;
  return probe.isPicture(io, info);
}

bool cPictGIF::readScreen(cFileIOTarget* io) {
  const unsigned char* s = myScreen;
  return io && io->readf(myScreen, 13) && std::memcmp(s, "GIF8", 4) == 0 &&
         (std::memcmp(s + 4, "7a", 2) == 0 || std::memcmp(s + 4, "9a", 2) == 0) && le16(s + 6) && le16(s + 8);
}

bool cPictGIF::isPicture(cFileIOTarget* io, sPictInfo* info) {
  if (!readScreen(io)) return false;
  if (hasTable(myScreen[10]) && !skipBytes(io, tableBytes(myScreen[10]))) return false;
  unsigned char next;
  if (!io->readf(&next, 1) || (next != kExtension && next != kImage)) return false;
  if (info) {
    info->width = le16(myScreen + 6);
    info->height = le16(myScreen + 8);
    info->hasPreview = false;
  }
  return true;
}

bool cPictGIF::loadPalette(cFileIOTarget* io, int sizeBits) {
  long long count = 2LL << sizeBits;
  unsigned char rgb[3 * 256];
  if (!io->readf(rgb, static_cast<unsigned int>(count * 3))) return false;
  myPalette.set(count);
  for (long long i = 0; i < count; ++i)
    myPalette.ptr[i] = 0xFF000000u | static_cast<unsigned int>(rgb[3 * i]) << 16 |
                       static_cast<unsigned int>(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
  return true;
}

bool cPictGIF::findPage(cFileIOTarget* io, int page, bool withControl, int& count) {
  count = -1;
  if (!readScreen(io)) return false;
  unsigned char flags = myScreen[10];
  myPalette.set(0);
  if (hasTable(flags) && !(withControl ? loadPalette(io, flags & 7) : skipBytes(io, tableBytes(flags))))
    return false;
  std::memset(myControl, 0, sizeof myControl);
  int found = 0;
  unsigned char block;
  if (!io->readf(&block, 1)) return false;
  for (;;) {
    if (block == kExtension) {
      unsigned char head[2];
      if (!io->readf(head, 2)) return false;
      if (withControl && head[0] == kGraphicControl && head[1] == 4) {
        if (!io->readf(myControl, sizeof myControl)) return false;
      } else if (!skipSubBlocks(io, head[1])) {
        return false;
      }
    } else if (block == kImage) {
      if (found == page) return true;
      unsigned char d[9], start[2];  // descriptor; code size and first sub-block size
      if (!io->readf(d, 9) || !le16(d + 4) || !le16(d + 6)) return false;
      if (hasTable(d[8]) && !skipBytes(io, tableBytes(d[8]))) return false;
      if (!io->readf(start, 2) || !start[1] || !skipSubBlocks(io, start[1])) return false;
      ++found;
      // A graphic control belongs to the one image that follows it.
      std::memset(myControl, 0, sizeof myControl);
    } else if (block == kTrailer) {
      count = found;
      return false;
    } else {
      return false;
    }
    if (!io->readf(&block, 1)) return false;
  }
}

bool cPictGIF::readFrame(cFileIOTarget* io, sFrame& frame) {
  unsigned char d[9];
  if (!io->readf(d, 9)) return false;
  frame.width = le16(d + 4);
  frame.height = le16(d + 6);
  frame.flags = d[8];
  return frame.width > 0 && frame.height > 0;
}

int cPictGIF::getNumPages(cFileIOTarget* io) {
  int count;
  findPage(io, -1, false, count);
  return count;
}

bool cPictGIF::getPageSize(cFileIOTarget* io, int page, int& w, int& h) {
  int count;
  sFrame frame;
  if (page < 0 || !findPage(io, page, false, count) || !readFrame(io, frame)) return false;
  w = static_cast<int>(frame.width);
  h = static_cast<int>(frame.height);
  return true;
}

bool cPictGIF::decodePage(cFileIOTarget* io, int page) {
  int count;
  sFrame frame;
  return page >= 0 && findPage(io, page, true, count) && readFrame(io, frame) && decodeFrame(io, frame);
}

bool cPictGIF::decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH, int page,
                                 bool, unsigned int) {
  int count;
  sFrame frame;
  if (page < 0 || maxW < 1 || maxH < 1 || !findPage(io, page, true, count) || !readFrame(io, frame))
    return false;
  double r = std::fmin(1.0, std::fmin(static_cast<double>(maxW) / static_cast<double>(frame.width),
                                      static_cast<double>(maxH) / static_cast<double>(frame.height)));
  long long w = static_cast<long long>(static_cast<double>(frame.width) * r + 0.5);
  long long h = static_cast<long long>(static_cast<double>(frame.height) * r + 0.5);
  if (w < 1 || h < 1 || !out.create(w, h, 0)) return false;
  sExtPictDef target(&out);
  bool done = setExtTarget(&target) && decodeFrame(io, frame);
  // A frame refused before it started rendering must not leave this local
  // target behind for the next decode.
  if (isExtRender()) endExtRender();
  return done;
}

bool cPictGIF::decodeFrame(cFileIOTarget* io, const sFrame& frame) {
  if (hasTable(frame.flags) && !loadPalette(io, frame.flags & 7)) return false;
  unsigned char minCodeSize;
  if (!io->readf(&minCodeSize, 1) || !myPalette.count) return false;
  cMemIOTarget gathered(65536);
  unsigned char size, data[255];
  for (;;) {
    if (!io->readf(&size, 1)) return false;
    if (!size) break;
    if (!io->readf(data, size) || gathered.write(data, size) != size) return false;
  }
  _typebuf<unsigned char> codes;
  if (!gathered.size() || !gathered.toBuffer(codes)) return false;
  gathered.reset();

  long long w = frame.width, h = frame.height;
  // A frame is believed only when its codes could fill it: a small file
  // must not claim a gigabyte of pixels it cannot reach.
  if (w * h / kMaxCodeExpansion > codes.count) {
    if (isExtRender()) endExtRender();  // a refused frame ends the target's use like a decoded one
    return false;
  }
  myWidth = w;
  myHeight = h;
  myIs16 = false;
  myRendering = startExtRender();
  if (!myRendering && !allocPixels(w, h, false)) return false;
  cLZWDecompress lzw(false, minCodeSize + 1, false);
  // The frame's size is all the output it can use; codes that promise more
  // are cut off there instead of filling memory.
  lzw.setOutputLimit(static_cast<unsigned long long>(w) * static_cast<unsigned long long>(h));
  _typebuf<unsigned char> indices;
  lzw.decompress(codes, indices);  // a damaged stream still yields the pixels before the damage
  codes.set(0);

  unsigned int transparent = myControl[0] & 1 ? myControl[3] : kNoIndex;
  unsigned int lut[256];
  for (unsigned int i = 0; i < 256; ++i)
    lut[i] = i < myPalette.count && i != transparent ? myPalette.ptr[i] : kUnknownPixel;
  bool interlaced = frame.flags & 0x40;
  const sPass* passes = interlaced ? kInterlace : kSequential;
  int passCount = interlaced ? 4 : 1;
  const unsigned char* in = indices.ptr;
  long long left = indices.count;
  for (int p = 0; p < passCount && left > 0; ++p) {
    for (long long row = passes[p].first; row < h && left > 0; row += passes[p].step) {
      long long n = left < w ? left : w, dest = h - 1 - row;
      if (myRendering) {
        for (long long x = 0; x < n; ++x) setExtPix(x, dest, lut[in[x]]);
      } else {
        unsigned int* out = myPix8.ptr + dest * w;
        for (long long x = 0; x < n; ++x) out[x] = lut[in[x]];
      }
      in += n;
      left -= n;
    }
  }
  if (myRendering) endExtRender();
  myRendering = false;
  return true;
}
