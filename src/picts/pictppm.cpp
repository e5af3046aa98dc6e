#include "picts/pictppm.h"

#include <new>

#include "base/targets.h"

namespace {

bool isSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Header bytes one at a time, counted.
struct sHeaderReader {
  cFileIOTarget* io;
  unsigned long long length = 0;

  bool get(unsigned char& c) {
    if (!io->readf(&c, 1)) return false;
    ++length;
    return true;
  }
  bool skipComment() {
    unsigned char c;
    do {
      if (!get(c)) return false;
    } while (c != '\n' && c != '\r');
    return true;
  }
  // A decimal number after white space and comments, of ten digits at most,
  // ended by one white-space character or a comment.
  bool number(long long& value) {
    unsigned char c;
    for (;;) {
      if (!get(c)) return false;
      if (c == '#') {
        if (!skipComment()) return false;
      } else if (!isSpace(c)) {
        break;
      }
    }
    value = 0;
    for (int digits = 0;; ++digits) {
      if (c < '0' || c > '9') {
        if (!digits) return false;
        return isSpace(c) || (c == '#' && skipComment());
      }
      if (digits == 10) return false;
      value = value * 10 + (c - '0');
      if (!get(c)) return false;
    }
  }
};

// Onto the full range of the output depth, rounded as netpbm rounds, for
// every value a sample of its width can hold.
void buildScale(_typebuf<unsigned int>& table, unsigned int maxValue, unsigned int top) {
  for (unsigned int v = 0; v < table.count; ++v) {
    unsigned long long s = v > maxValue ? maxValue : v;
    table.ptr[v] = static_cast<unsigned int>((s * top + maxValue / 2) / maxValue);
  }
}

}  // namespace

bool cPictPPM::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictPPM probe;
  return probe.isPicture(io, info);
}

bool cPictPPM::readHeader(cFileIOTarget* io, long long& width, long long& height,
                          unsigned long long& length) {
  unsigned char magic[2];
  if (!io || !io->readf(magic, 2) || magic[0] != 'P' || (magic[1] != '5' && magic[1] != '6')) return false;
  sHeaderReader in{io, 2};
  long long maxValue;
  if (!in.number(width) || !in.number(height) || !in.number(maxValue)) return false;
  if (width < 1 || height < 1 || maxValue < 1 || maxValue > 65535) return false;
  myFormat = magic[1];
  myMaxValue = static_cast<int>(maxValue);
  length = in.length;
  return true;
}

bool cPictPPM::isPicture(cFileIOTarget* io, sPictInfo* info) {
  long long w, h;
  unsigned long long length;
  if (!readHeader(io, w, h, length)) return false;
  if (info) {
    info->width = w;
    info->height = h;
    info->hasPreview = false;
  }
  return true;
}

bool cPictPPM::decode(cFileIOTarget* io) {
  close();
  long long w, h;
  unsigned long long headerLength;
  if (!readHeader(io, w, h, headerLength)) return false;
  bool wide = myMaxValue > 255;
  int samples = myFormat == '6' ? 3 : 1, bytes = wide ? 2 : 1;
  // The rows are believed only when the stream holds them.
  unsigned long long rowBytes = static_cast<unsigned long long>(w) * samples * bytes, size = io->size();
  if (headerLength > size || rowBytes > (size - headerLength) / static_cast<unsigned long long>(h))
    return false;
  _typebuf<unsigned char> row;
  try {
    row.set(static_cast<long long>(rowBytes));
  } catch (const std::bad_alloc&) {
    return false;
  }
  myWidth = w;
  myHeight = h;
  myIs16 = wide;
  bool rendering = startExtRender();
  if (!rendering && !allocPixels(w, h, wide)) return false;
  _typebuf<unsigned int> scale;
  scale.set(wide ? 65536 : 256);
  buildScale(scale, static_cast<unsigned int>(myMaxValue), wide ? 65535 : 255);
  const unsigned int* to = scale.ptr;
  bool done = true;
  for (long long r = 0; r < h && done; ++r) {
    if (!io->readf(row.ptr, static_cast<unsigned int>(rowBytes))) {
      done = false;
      break;
    }
    long long dest = h - 1 - r;
    const unsigned char* p = row.ptr;
    for (long long x = 0; x < w; ++x) {
      unsigned int c[3];
      for (int k = 0; k < samples; ++k, p += bytes) c[k] = to[wide ? p[0] << 8 | p[1] : p[0]];
      if (samples == 1) c[1] = c[2] = c[0];
      if (wide) {
        unsigned long long px = 0xFFFFULL << 48 | static_cast<unsigned long long>(c[0]) << 32 |
                                static_cast<unsigned long long>(c[1]) << 16 | c[2];
        if (rendering)
          setExtPix16(x, dest, px);
        else
          myPix16.ptr[dest * w + x] = px;
      } else {
        unsigned int px = 0xFF000000u | c[0] << 16 | c[1] << 8 | c[2];
        if (rendering)
          setExtPix(x, dest, px);
        else
          myPix8.ptr[dest * w + x] = px;
      }
    }
  }
  if (rendering) endExtRender();
  return done;
}
