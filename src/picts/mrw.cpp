#include "picts/mrw.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/memio.h"
#include "base/targets.h"
#include "picts/exif.h"
#include "picts/pictjpeg.h"
#include "picts/pixelalloc.h"

namespace {

// 65535 / 4095: twelve-bit samples to the full sixteen.
constexpr double kTwelveToSixteen = 16.003907203907204;

unsigned int number(const unsigned char* p, int bytes, bool big) {
  unsigned int v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<unsigned int>(p[i]) << 8 * (big ? bytes - 1 - i : i);
  return v;
}

bool readFileAt(cFileIOTarget* io, unsigned long long at, void* buf, unsigned int count) {
  return io->set_fp(at) && io->readf(buf, count);
}

}  // namespace

cPictMRW::cPictMRW() { reset(); }

void cPictMRW::reset() {
  for (double& b : myBalance) b = 1.0;
  myWidth = myHeight = 0;
  myThumbOffset = myRawStart = myTiffStart = 0;
  myThumbLength = myThumbTiffOffset = 0;
  myTiffBig = false;
  myMargins = sMarginInfo{};
  static constexpr unsigned char kRGGB[4] = {0, 1, 1, 2};
  std::memcpy(myCFA.pattern.ptr, kRGGB, 4);
}

bool cPictMRW::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictMRW probe;
  return probe.isPicture(io, info);
}

bool cPictMRW::onTag(int tag, int type, const void* data, int length) {
  sTagProcessParam t{tag, type, data, length};
  if (tag == 513) return getValU32(t, myThumbTiffOffset);
  if (tag == 514) return getValU32(t, myThumbLength);
  if (tag == 272 && length >= 12 && std::memcmp(data, "DiMAGE A200", 12) == 0) {
    static constexpr unsigned char kGBRG[4] = {1, 2, 0, 1};
    std::memcpy(myCFA.pattern.ptr, kGBRG, 4);
  }
  return true;
}

bool cPictMRW::readTiffBlock(cFileIOTarget* io, unsigned long long at, unsigned long long length) {
  cFileIOSubRange window(io, at, length);
  if (!window.valid() || !processStream(&window, length)) return false;
  myTiffBig = isBigEndian();
  // The thumbnail's tags sit in the directory after the first.
  const unsigned int first = ifdOffset(), next = nextOffset();
  if (next && next != first && !processStream(&window, myBigEndian, myBigTiff, next, length)) return false;
  if (myThumbTiffOffset && myThumbLength) myThumbOffset = at + myThumbTiffOffset;
  return true;
}

bool cPictMRW::loadMrwProps(cFileIOTarget* io) {
  reset();
  if (!io) return false;
  const unsigned long long size = io->size();
  unsigned char head[8];
  if (size < 8 || !readFileAt(io, 0, head, 8)) return false;
  if (head[0] || head[1] != 'M' || head[2] != 'R' || (head[3] != 'M' && head[3] != 'I')) return false;
  const bool big = head[3] == 'M';
  const unsigned long long end = number(head + 4, 4, big) + 8ULL;
  if (end > size) return false;
  for (unsigned long long pos = 8; pos + 8 <= end;) {
    unsigned char block[20];
    if (!readFileAt(io, pos, block, 8)) return false;
    const unsigned long long length = number(block + 4, 4, big), data = pos + 8;
    if (data + length > end) return false;
    if (std::memcmp(block, "\0PRD", 4) == 0 && length >= 16) {
      if (!readFileAt(io, data, block, 12)) return false;
      myHeight = number(block + 8, 2, big);
      myWidth = number(block + 10, 2, big);
    } else if (std::memcmp(block, "\0WBG", 4) == 0 && length >= 12) {
      if (!readFileAt(io, data, block, 12)) return false;
      for (int k = 0; k < 4; ++k) myBalance[k] = number(block + 4 + 2 * k, 2, big);
    } else if (std::memcmp(block, "\0TTW", 4) == 0) {
      if (!readTiffBlock(io, data, length)) return false;
    }
    pos = data + length;
  }
  myRawStart = end;
  return true;
}

bool cPictMRW::isPicture(cFileIOTarget* io, sPictInfo* info) {
  if (!loadMrwProps(io)) return false;
  if (info) {
    info->width = myWidth;
    info->height = myHeight;
    info->hasPreview = myThumbOffset != 0;
  }
  return true;
}

bool cPictMRW::readSamples(cFileIOTarget* io) {
  const long long count = pictPixelCount(myWidth, myHeight);
  if (count < 0) return false;
  const unsigned long long size = io->size(), n = static_cast<unsigned long long>(count);
  const unsigned long long have = size > myRawStart ? size - myRawStart : 0;
  const bool sixteen = have >= 2 * n;
  const unsigned long long need = sixteen ? 2 * n : (3 * n + 1) / 2;
  if (have < need) return false;
  _typebuf<unsigned char> bytes;
  try {
    myRaw.set(count);
    bytes.set(static_cast<long long>(need));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!readFileAt(io, myRawStart, bytes.ptr, static_cast<unsigned int>(need))) return false;
  const unsigned char* b = bytes.ptr;
  if (sixteen) {
    for (unsigned long long i = 0; i < n; ++i)
      myRaw.ptr[i] = static_cast<unsigned short>(number(b + 2 * i, 2, myTiffBig));
    return true;
  }
  for (unsigned long long i = 0; i < n; i += 2) {
    const unsigned char* p = b + 3 * (i / 2);
    const unsigned int b2 = i + 1 < n ? p[2] : 0;
    const unsigned int s0 = myTiffBig ? p[0] << 4 | p[1] >> 4 : p[0] | (p[1] & 15) << 8;
    const unsigned int s1 = myTiffBig ? (p[1] & 15) << 8 | b2 : p[1] >> 4 | b2 << 4;
    myRaw.ptr[i] = static_cast<unsigned short>(s0);
    if (i + 1 < n) myRaw.ptr[i + 1] = static_cast<unsigned short>(s1);
  }
  return true;
}

bool cPictMRW::colourBalance(double (&balance)[4]) const {
  std::fill(balance, balance + 4, 0.0);
  for (int k = 0; k < 4; ++k) {
    const int colour = myCFA.pattern.ptr[k];
    if (colour > 3) return false;
    balance[colour] = myBalance[k];
  }
  if (std::min({balance[0], balance[1], balance[2]}) == 0) std::fill(balance, balance + 4, 1.0);
  return true;
}

bool cPictMRW::decode(cFileIOTarget* io) {
  if (!loadMrwProps(io) || !myWidth || !myHeight || !readSamples(io)) return false;
  double balance[4];
  if (!colourBalance(balance)) return false;
  const double least = std::min({balance[0], balance[1], balance[2]});
  cPtr<cBayerFilter> filter(cBayerFilter::newFilter(myCFA));
  if (!filter) return false;
  sRawFinish f;
  f.raw = myRaw.ptr;
  f.rawWidth = myWidth;
  f.rawHeight = myHeight;
  f.margins = myMargins;
  f.filter = filter.ptr;
  for (int c = 0; c < 3; ++c) f.multipliers[c] = balance[c] * kTwelveToSixteen / least;
  f.multipliers[3] = f.multipliers[1];
  myPix8.set(0);
  myIs16 = true;
  const bool done = finishRaw(f, io, myPix16, myWidth, myHeight);
  myRaw.set(0);
  return done;
}

bool cPictMRW::getPreview(cFileIOTarget* io, cPictBase& target, long long const* maxW,
                          long long const* maxH) {
  if (!loadMrwProps(io) || !myThumbOffset) return false;
  const unsigned long long size = io->size();
  if (myThumbOffset >= size || myThumbLength > size - myThumbOffset) return false;
  cFileIOSubRange window(io, myThumbOffset, myThumbLength);
  sPictInfo info;
  if (!cPictJPEG::validFor(&window, &info) || info.width < 1 || info.height < 1) return false;
  window.set_fp(0);
  cPictJPEG jpeg;
  jpeg.setReadExif(false);
  if (!maxW || !maxH || (*maxW >= info.width && *maxH >= info.height)) {
    if (!cExifDecoder::decodeEmbeddedJpeg(jpeg, &window, myThumbLength)) return false;
    jpeg.moveTo(target);
    return true;
  }
  const double r = std::min({1.0, static_cast<double>(*maxW) / static_cast<double>(info.width),
                             static_cast<double>(*maxH) / static_cast<double>(info.height)});
  const long long w = static_cast<long long>(static_cast<double>(info.width) * r + 0.5);
  const long long h = static_cast<long long>(static_cast<double>(info.height) * r + 0.5);
  cPictDummy scaled;
  if (w < 1 || h < 1 || !scaled.create(w, h, 0)) return false;
  sExtPictDef def(&scaled);
  if (!jpeg.setExtTarget(&def) || !jpeg.decode(&window)) return false;
  scaled.moveTo(target);
  return true;
}
