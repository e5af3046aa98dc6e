#include "picts/picticns.h"

#include <array>
#include <cmath>
#include <cstring>
#include <functional>

#include "base/memio.h"
#include "picts/pictjp2.h"
#include "picts/pictpng.h"

namespace {

constexpr unsigned int be32(const unsigned char* p) {
  return static_cast<unsigned int>(p[0]) << 24 | static_cast<unsigned int>(p[1]) << 16 |
         static_cast<unsigned int>(p[2]) << 8 | p[3];
}

constexpr unsigned int tag(const char (&t)[5]) {
  return static_cast<unsigned int>(static_cast<unsigned char>(t[0])) << 24 |
         static_cast<unsigned int>(static_cast<unsigned char>(t[1])) << 16 |
         static_cast<unsigned int>(static_cast<unsigned char>(t[2])) << 8 | static_cast<unsigned char>(t[3]);
}

struct sFixed {
  unsigned int type;
  int side;
  int bits;
  unsigned int dataLength;
  unsigned int mask8;  // the 8-bit mask that may follow, 0 none
  bool maskHash;       // whether the 1-bit "ich#" may follow instead
};

constexpr sFixed kFixed[] = {
    {tag("ICON"), 32, 1, 128, 0, false},           {tag("ICN#"), 32, 1, 256, 0, false},
    {tag("ics4"), 16, 4, 128, tag("s8mk"), false}, {tag("icl4"), 32, 4, 512, tag("l8mk"), false},
    {tag("ich4"), 48, 4, 1152, tag("h8mk"), true}, {tag("ics8"), 16, 8, 256, tag("s8mk"), false},
    {tag("icl8"), 32, 8, 1024, tag("l8mk"), false}, {tag("ich8"), 48, 8, 2304, tag("h8mk"), true},
    {tag("is32"), 16, 24, 768, tag("s8mk"), false}, {tag("il32"), 32, 24, 3072, tag("l8mk"), false},
    {tag("ih32"), 48, 24, 6912, tag("h8mk"), true}, {tag("it32"), 128, 24, 49152, tag("t8mk"), false},
};

constexpr unsigned int kEmbedded[] = {tag("ic07"), tag("ic08"), tag("ic09"), tag("ic10"),
                                      tag("ic11"), tag("ic12"), tag("ic13"), tag("ic14"),
                                      tag("icp4"), tag("icp5"), tag("icp6")};

const sFixed* fixedType(unsigned int type) {
  for (const sFixed& f : kFixed)
    if (f.type == type) return &f;
  return nullptr;
}

bool embeddedType(unsigned int type) {
  for (unsigned int t : kEmbedded)
    if (t == type) return true;
  return false;
}

constexpr std::array<unsigned int, 256> makePalette8() {
  std::array<unsigned int, 256> p{};
  constexpr unsigned int cube[6] = {0xFF, 0xCC, 0x99, 0x66, 0x33, 0x00};
  constexpr unsigned int ramp[10] = {0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44, 0x22, 0x11};
  int i = 0;
  for (unsigned int r : cube)
    for (unsigned int g : cube)
      for (unsigned int b : cube)
        if (i < 215) p[static_cast<size_t>(i++)] = r << 16 | g << 8 | b;
  for (int shift : {16, 8, 0})
    for (unsigned int v : ramp) p[static_cast<size_t>(i++)] = v << shift;
  for (unsigned int v : ramp) p[static_cast<size_t>(i++)] = v * 0x010101u;
  p[255] = 0;
  return p;
}

// Walks the elements from offset 8, handing each one's type, offset and
// length to `visit` until it answers false; false when the family is bad.
bool walk(cFileIOTarget* io, const std::function<bool(unsigned int, unsigned int, unsigned int)>& visit) {
  unsigned char head[8];
  if (!io || !io->set_fp(0) || !io->readf(head, 8) || be32(head) != tag("icns")) return false;
  unsigned long long total = be32(head + 4);
  if (total < 16) return false;
  for (unsigned long long at = 8; at < total;) {
    if (!io->set_fp(at) || !io->readf(head, 8)) return false;
    unsigned long long length = be32(head + 4);
    if (length < 8 || at + length > total) return false;
    if (!visit(be32(head), static_cast<unsigned int>(at), static_cast<unsigned int>(length))) return true;
    at += length;
  }
  return true;
}

// The decoder of an embedded stream, probed in the family's order.
cPictBase* embeddedDecoder(cFileIOTarget* window, cPictBase::sPictInfo* info, cPictPNG& png, cPictJP2& jp2,
                           cPictJ2K& j2k) {
  window->set_fp(0);
  if (cPictPNG::validFor(window, info)) return &png;
  window->set_fp(0);
  if (cPictJP2::validFor(window, info)) return &jp2;
  window->set_fp(0);
  if (cPictJ2K::validFor(window, info)) return &j2k;
  return nullptr;
}

}  // namespace

const unsigned int cPictICNS::icnsPalette4bpp[16] = {0xFFFFFF, 0xFCF305, 0xFF6402, 0xDD0806, 0xF20884, 0x4600A5,
                                                     0x0000D4, 0x02ABEA, 0x1FB714, 0x006411, 0x562C05, 0x90713A,
                                                     0xC0C0C0, 0x808080, 0x404040, 0x000000};

const std::array<unsigned int, 256> cPictICNS::icnsPalette8bpp = makePalette8();

bool cPictICNS::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictICNS probe;
  return probe.isPicture(io, info);
}

bool cPictICNS::getCurrPageSize(cFileIOTarget* io, unsigned int type, unsigned int offset, unsigned int length,
                                long long& w, long long& h) {
  if (const sFixed* f = fixedType(type)) {
    w = h = f->side;
    return true;
  }
  if (!embeddedType(type)) return false;
  cFileIOSubRange window(io, offset + 8ULL, length - 8ULL);
  sPictInfo info;
  cPictPNG png;
  cPictJP2 jp2;
  cPictJ2K j2k;
  if (!embeddedDecoder(&window, &info, png, jp2, j2k)) return false;
  w = info.width;
  h = info.height;
  return true;
}

bool cPictICNS::findMaxPage(cFileIOTarget* io, long long& w, long long& h, unsigned int& offset,
                            unsigned int& length, long long maxW, long long maxH) {
  if (maxW < 16 || maxH < 16) return false;
  long long bestArea = -1;
  bool walked = walk(io, [&](unsigned int type, unsigned int at, unsigned int len) {
    long long ew, eh;
    if (getCurrPageSize(io, type, at, len, ew, eh) && ew <= maxW && eh <= maxH && ew * eh > bestArea) {
      bestArea = ew * eh;
      w = ew;
      h = eh;
      offset = at;
      length = len;
    }
    return true;
  });
  return walked && bestArea >= 0;
}

bool cPictICNS::goToPage(cFileIOTarget* io, int page, unsigned int& offset, unsigned int& length) {
  int seen = 0;
  bool found = false;
  if (page < 0) return false;
  bool walked = walk(io, [&](unsigned int type, unsigned int at, unsigned int len) {
    long long w, h;
    if (!getCurrPageSize(io, type, at, len, w, h)) return true;
    if (seen++ < page) return true;
    offset = at;
    length = len;
    found = true;
    return false;
  });
  return walked && found;
}

int cPictICNS::getNumPages(cFileIOTarget* io) {
  int count = 0;
  bool walked = walk(io, [&](unsigned int type, unsigned int at, unsigned int len) {
    long long w, h;
    if (getCurrPageSize(io, type, at, len, w, h)) ++count;
    return true;
  });
  return walked ? count : 0;
}

bool cPictICNS::getPageSize(cFileIOTarget* io, int page, int& w, int& h) {
  unsigned int offset, length;
  unsigned char head[8];
  long long pw, ph;
  if (!goToPage(io, page, offset, length) || !io->set_fp(offset) || !io->readf(head, 8) ||
      !getCurrPageSize(io, be32(head), offset, length, pw, ph))
    return false;
  w = static_cast<int>(pw);
  h = static_cast<int>(ph);
  return true;
}

bool cPictICNS::isPicture(cFileIOTarget* io, sPictInfo* info) {
  long long w, h;
  if (!findMaxPage(io, w, h, myOffset, myLength, 0x7FFFFFFF, 0x7FFFFFFF)) {
    myOffset = 0xFFFFFFFFu;
    myLength = 0;
    return false;
  }
  if (info) {
    info->width = w;
    info->height = h;
    info->hasPreview = true;
  }
  return true;
}

bool cPictICNS::decode(cFileIOTarget* io) {
  if (myOffset == 0xFFFFFFFFu && !isPicture(io, nullptr)) return false;
  return decodeImage(io, myOffset, myLength);
}

bool cPictICNS::decodePage(cFileIOTarget* io, int page) {
  unsigned int offset, length;
  return goToPage(io, page, offset, length) && decodeImage(io, offset, length);
}

bool cPictICNS::getPreview(cFileIOTarget* io, cPictBase& out, long long const* maxW, long long const* maxH) {
  if (!maxW && !maxH) {
    if (!decode(io)) return false;
    moveTo(out);
    return true;
  }
  if ((maxW && *maxW < 1) || (maxH && *maxH < 1)) return false;
  long long w, h;
  unsigned int offset, length;
  if (!findMaxPage(io, w, h, offset, length, maxW ? *maxW : 0x7FFFFFFF, maxH ? *maxH : 0x7FFFFFFF) ||
      !decodeImage(io, offset, length))
    return false;
  moveTo(out);
  return true;
}

bool cPictICNS::decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH, int page,
                                  bool, unsigned int background) {
  unsigned int offset, length;
  unsigned char head[8];
  long long w, h;
  if (maxW < 1 || maxH < 1 || !goToPage(io, page, offset, length) || !io->set_fp(offset) ||
      !io->readf(head, 8) || !getCurrPageSize(io, be32(head), offset, length, w, h) || w < 1 || h < 1)
    return false;
  if (w <= maxW && h <= maxH) {
    if (!decodeImage(io, offset, length)) return false;
    moveTo(out);
    return true;
  }
  double r = std::fmin(static_cast<double>(maxW) / static_cast<double>(w),
                       static_cast<double>(maxH) / static_cast<double>(h));
  long long tw = static_cast<long long>(std::trunc(static_cast<double>(w) * r + 0.5));
  long long th = static_cast<long long>(std::trunc(static_cast<double>(h) * r + 0.5));
  if (!out.create(tw < 1 ? 1 : tw, th < 1 ? 1 : th, 0)) return false;
  sExtPictDef target(&out);
  target.background = background;
  bool done = setExtTarget(&target) && decodeImage(io, offset, length);
  // The target is local: a later decode must not find it.
  if (isExtRender()) endExtRender();
  return done;
}

bool cPictICNS::decodeImage(cFileIOTarget* io, unsigned int offset, unsigned int length) {
  unsigned char head[8];
  if (length < 8 || !io->set_fp(offset) || !io->readf(head, 8)) return false;
  unsigned int type = be32(head);
  unsigned long long dataLength = length - 8ULL;
  if (embeddedType(type)) {
    cFileIOSubRange window(io, offset + 8ULL, dataLength);
    cPictPNG png;
    cPictJP2 jp2;
    cPictJ2K j2k;
    cPictBase* inner = embeddedDecoder(&window, nullptr, png, jp2, j2k);
    if (!inner) return false;
    window.set_fp(0);
    return decodeThrough(*inner, &window);
  }
  const sFixed* f = fixedType(type);
  if (!f) return false;
  bool compressed = f->bits == 24 && dataLength != f->dataLength;
  if (!compressed && dataLength != f->dataLength) return false;
  // The stream must hold what the element claims before anything is allocated.
  if (dataLength > io->size()) return false;
  _typebuf<unsigned char> data, pixels;
  data.set(static_cast<long long>(dataLength));
  if (data.count && !io->readf(data.ptr, static_cast<unsigned int>(data.count))) return false;
  if (compressed) {
    pixels.set(f->dataLength);
    if (!unpackRLE24(data.ptr, data.count, pixels.ptr, pixels.count)) return false;
  }
  // A mask counts only as the very next element, read whole.
  _typebuf<unsigned char> mask;
  int maskBits = 0;
  if (type == tag("ICN#")) {
    maskBits = 1;
  } else if (io->set_fp(offset + static_cast<unsigned long long>(length)) && io->readf(head, 8)) {
    unsigned int next = be32(head);
    unsigned long long side = static_cast<unsigned long long>(f->side), nextData = be32(head + 4);
    if (f->mask8 && next == f->mask8 && nextData >= 8 + side * side) {
      mask.set(static_cast<long long>(side * side));
      maskBits = io->readf(mask.ptr, static_cast<unsigned int>(mask.count)) ? 8 : 0;
    } else if (f->maskHash && next == tag("ich#") && nextData >= 8 + 576) {
      mask.set(576);
      maskBits = io->readf(mask.ptr, 576) ? 1 : 0;
    }
  }
  const unsigned char* bits = compressed ? pixels.ptr : data.ptr;
  const unsigned char* maskBytes = type == tag("ICN#") ? data.ptr + 128 : maskBits == 1 ? mask.ptr + 288 : mask.ptr;
  return processBitmap(bits, f->side, f->side, f->bits, maskBits ? maskBytes : nullptr, maskBits);
}

bool cPictICNS::processBitmap(const unsigned char* bits, long long w, long long h, int bitsPerPixel,
                              const unsigned char* mask, int maskBits) {
  if (!bits || w < 1 || h < 1 || !bitsPerPixel) return false;
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24) return false;
  myWidth = w;
  myHeight = h;
  bool rendering = startExtRender();
  if (!rendering && !allocPixels(w, h, false)) return false;
  for (long long y = 0; y < h; ++y) {
    long long dest = h - 1 - y;
    for (long long x = 0; x < w; ++x) {
      long long i = y * w + x;
      unsigned int alpha = 0xFF;
      if (mask && maskBits == 8) alpha = mask[i];
      if (mask && maskBits == 1) alpha = (mask[i >> 3] >> (7 - (i & 7))) & 1 ? 0xFF : 0;
      unsigned int colour;
      switch (bitsPerPixel) {
        case 1: colour = (bits[i >> 3] >> (7 - (i & 7))) & 1 ? 0xFFFFFF : 0; break;
        case 4: colour = icnsPalette4bpp[(bits[i >> 1] >> (i & 1 ? 0 : 4)) & 15]; break;
        case 8: colour = icnsPalette8bpp[bits[i]]; break;
        default:
          colour = static_cast<unsigned int>(bits[3 * i]) << 16 | static_cast<unsigned int>(bits[3 * i + 1]) << 8 |
                   bits[3 * i + 2];
      }
      unsigned int word = colour | alpha << 24;
      if (rendering)
        setExtPix(x, dest, word);
      else
        myPix8.ptr[dest * w + x] = word;
    }
  }
  if (rendering) endExtRender();
  return true;
}

bool cPictICNS::unpackRLE24(const unsigned char* src, long long srcLen, unsigned char* dst, long long dstLen) {
  if (!src || srcLen < 1 || !dst || dstLen < 1) return false;
  if (srcLen >= 4 && !src[0] && !src[1] && !src[2] && !src[3]) {
    src += 4;
    srcLen -= 4;
  }
  std::memset(dst, 0, static_cast<size_t>(dstLen));
  long long pixels = dstLen / 3, at = 0;
  for (int channel = 0; channel < 3; ++channel) {
    long long filled = 0;
    while (filled < pixels && at < srcLen) {
      unsigned int b = src[at++];
      if (b >= 0x80) {
        if (at >= srcLen) break;
        unsigned char v = src[at++];
        for (unsigned int k = 0; k < b - 125 && filled < pixels; ++k) dst[3 * filled++ + channel] = v;
      } else {
        for (unsigned int k = 0; k <= b && filled < pixels && at < srcLen; ++k)
          dst[3 * filled++ + channel] = src[at++];
      }
    }
  }
  return true;
}
