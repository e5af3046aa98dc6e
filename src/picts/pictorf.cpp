#include "picts/pictorf.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/memio.h"
#include "picts/pixelalloc.h"

const cPictORF::sModel cPictORF::kModels[] = {
    {"E-P1 ", 5, 0, 4, 0, false},     {"E-P2 ", 5, 0, 4, 0, false},     {"E-PL1 ", 6, 0, 4, 0, false},
    {"E-330 ", 6, 0, 30, 0, false},   {"E-300 ", 6, 0, 24, 0, false},   {"E-500 ", 6, 0, 24, 0, false},
    {"E-P3 ", 5, 0, 24, 0, false},    {"E-PM1 ", 6, 0, 24, 0, false},   {"E-30 ", 5, 1, 4, 1, false},
    {"E-5 ", 4, 1, 4, 1, false},      {"E-600 ", 6, 1, 4, 1, false},    {"E-620 ", 6, 1, 4, 1, false},
    {"SP500UZ", 8, 0, 0, 1, false},   {"E-1 ", 4, 1, 0, 0, false},      {"TG-4", 4, 1, 0, 0, false},
    {"C5050Z", 7, 1, 0, 1, false},    {"C8080WZ", 8, 1, 0, 1, false},   {"E-M1 ", 5, 1, 0, 1, false},
    {"SP570UZ", 7, 1, 0, 1, false},   {"XZ-10", 5, 0, 0, 0, true},      {"XZ-2", 4, 0, 0, 0, true},
    {"SH-2", 4, 1, 0, 0, true},
};
const int cPictORF::kModelCount = sizeof kModels / sizeof kModels[0];

bool cExtORFProps::readShorts(unsigned int offset, unsigned short (&v)[4]) {
  unsigned char b[8];
  if (offset < myCorrection || !myStream->set_fp(offset - myCorrection) || !myStream->readf(b, 8)) return false;
  for (int i = 0; i < 4; ++i) v[i] = getU16(b + 2 * i);
  return true;
}

bool cExtORFProps::onRawTag(int tag, int type, const void* data, int length, unsigned int offset) {
  unsigned short v[4] = {};
  if (tag == 0x0100) {
    if (length == 4 && type == 3 && data) {
      v[0] = getU16(data);
      v[1] = getU16(static_cast<const unsigned char*>(data) + 2);
    } else if (length != 8 || !readShorts(offset, v)) {
      return false;
    }
    red = v[0] / 256.0;
    blue = v[1] / 256.0;
    return true;
  }
  if (tag == 0x0600) {
    if (length == 8 && readShorts(offset, v))
      for (unsigned short s : v) black = s > black ? s : black;
    return false;  // nothing after the black level is wanted
  }
  return true;
}

void cPictORF::reset() {
  myRawWidth = myRawHeight = myBits = myPhotometric = 0;
  myStrips.clear();
  myM0 = myM1 = myM2 = 1;
  myMargins = sMarginInfo();
  myBlack = 0;
  myPreviewOffset = myPreviewLength = 0;
  myInterlaced = myBigSamples = mySwapped = myMakerMode = false;
  myCorrection = 0;
  myGuard.clear();
}

bool cPictORF::processStream(cFileIOTarget* io, unsigned long long size) {
  myError = kErrNone;
  bool bigEndian = false;
  unsigned magic = 0, first = 0;
  if (int code = readRawHeader(io, size, bigEndian, magic, first)) return fail(code);
  if (magic != 0x4F52 && magic != 0x5352) return fail(kErrHeader);
  return cTiffGeneric::processStream(io, bigEndian, false, first, size);
}

bool cPictORF::walkMakerNote(unsigned int offset, int length) {
  unsigned char head[12];
  if (!myStream->set_fp(offset) || !myStream->readf(head, 12)) return false;
  if (std::memcmp(head, "OLYMP", 6) == 0) {
    myMakerMode = true;
    const bool ok = processStream(myStream, myBigEndian, false, offset + 8, myStreamSize);
    myMakerMode = false;
    return ok;
  }
  if (std::memcmp(head, "OLYMPUS", 8) != 0) return true;
  // The newer note counts its offsets from its own start, the walker from
  // the window's: the window reaches 12 bytes past the note so that the
  // walker's bounds check still admits a value in the note's last bytes.
  if (length < 12) return false;
  cFileIOTarget* file = myStream;
  const unsigned long long fileSize = myStreamSize;
  cFileIOSubRange window(file, offset + 12ULL, (unsigned long long)length);
  myCorrection = 12;
  myMakerMode = true;
  const bool ok = window.valid() && processStream(&window, myBigEndian, false, 0, window.size());
  myMakerMode = false;
  myStream = file;
  myStreamSize = fileSize;
  if (myPreviewOffset) myPreviewOffset += offset;
  return ok;
}

bool cPictORF::onRawTag(int tag, int type, const void* data, int length, unsigned int offset) {
  if (myMakerMode) {
    if (tag == 0x2040 && length != 4) return true;
    if (tag == 0x0100) {
      myPreviewOffset = offset;
      myPreviewLength = unsigned(length);
      return true;
    }
  } else if (tag == 37500) {
    if (data) return true;  // four bytes hold no note
    if (!myGuard.enter(offset)) return false;
    const bool ok = walkMakerNote(offset, length);
    myGuard.leave();
    return ok;
  }
  return cTiffGeneric::onRawTag(tag, type, data, length, offset);
}

bool cPictORF::onTag(int tag, int type, const void* data, int length) {
  const sTagProcessParam t{tag, type, data, length};
  if (myMakerMode) {
    unsigned v = 0;
    if (tag == 0x2040) {
      if (!getValU32(t, v) || !v) return false;
      cExtORFProps props(myCorrection);
      if (v >= myCorrection) props.processStream(myStream, myBigEndian, false, v - myCorrection, myStreamSize);
      if (props.red != 0 && props.blue != 0) {
        myM0 = props.red;
        myM2 = props.blue;
        myBlack = props.black;
      }
      return true;
    }
    if (tag == 0x1017 || tag == 0x1018) {
      if (type != 3 || length != 2) return false;
      (tag == 0x1017 ? myM0 : myM2) = getU16(data) / 256.0;
    }
    return true;
  }
  switch (tag) {
    case 256: return getValU32(t, myRawWidth) && myRawWidth;
    case 257: return getValU32(t, myRawHeight) && myRawHeight;
    case 258: return getValU32(t, myBits) && myBits >= 1 && myBits <= 16;
    case 262: return getValU32(t, myPhotometric);
    case 272:
      if (myBits == 16) myBigSamples = myBigEndian;
      if (myBits == 12) {
        myInterlaced = myPhotometric == 2;
        myBigSamples = true;
      }
      for (const sModel& m : kModels) {
        if (length < m.bytes || std::memcmp(data, m.key, m.bytes) != 0) continue;
        myMargins.left = m.left;
        myMargins.right = m.right;
        myMargins.top = m.top;
        mySwapped = m.swapped;
        break;
      }
      return true;
    case 273: return getValsU32(t, myStrips.offsets);
    case 279: return getValsU32(t, myStrips.counts);
    case 278: return getValU32(t, myStrips.rowsPerStrip) && myStrips.rowsPerStrip;
    case 34665: {
      unsigned offset = 0;
      return getValU32(t, offset) && myGuard.walk(*this, myStream, myBigEndian, offset, myStreamSize);
    }
    default: return true;
  }
}

bool cPictORF::walk(cFileIOTarget* io) {
  reset();
  return processStream(io, kAskSize) && myRawWidth && myRawHeight && myStrips.offsets.count &&
         myStrips.offsets.count == myStrips.counts.count;
}

bool cPictORF::isPicture(cFileIOTarget* io, sPictInfo* info) {
  return walk(io) && probeActive(myRawWidth, myRawHeight, myMargins, myPreviewOffset && myPreviewLength, info);
}

bool cPictORF::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictORF probe;
  return probe.isPicture(io, info);
}

bool cPictORF::readCompressed(unsigned short* out, unsigned int rows, bool lastStrip) {
  static const unsigned short kList[] = {0xC0C, 0xC0B, 0xB0A, 0xA09, 0x908, 0x807, 0x706,
                                         0x605, 0x504, 0x403, 0x302, 0x201, 0x100};
  _typebuf<unsigned short> table;
  if (!makeRawLookup(kList, 13, 12, table)) return false;
  getbithuff_ctx bits(myStream);
  const long long w = myRawWidth;
  for (long long row = 0; row < rows; ++row) {
    int carries[2][3] = {};
    unsigned short* line = out + row * w;
    for (long long col = 0; col < w; ++col) {
      int* carry = carries[col & 1];
      const int i = carry[2] < 3 ? 2 : 0;
      int nbits = 2 + i;
      while (nbits < 16 && ((carry[0] & 0xFFFF) >> (nbits + i))) ++nbits;
      const int t = int(getbithuff(3, nullptr, bits));
      const int low = t & 3, sign = t & 4 ? -1 : 0;
      int high = int(getbithuff(12, table.ptr, bits));
      if (high == 12) high = int(getbithuff(16 - nbits, nullptr, bits)) >> 1;
      if (bits.error && !(lastStrip && row == rows - 1)) return false;
      carry[0] = int((unsigned(high) << nbits) | getbithuff(nbits, nullptr, bits));
      const int diff = (carry[0] ^ sign) + carry[1];
      carry[1] = (diff * 3 + carry[1]) >> 5;
      carry[2] = carry[0] > 16 ? 0 : carry[2] + 1;
      int pred;
      if (row < 2 && col < 2) {
        pred = 0;
      } else if (row < 2) {
        pred = line[col - 2];
      } else if (col < 2) {
        pred = line[col - 2 * w];
      } else {
        const int wv = line[col - 2], n = line[col - 2 * w], nw = line[col - 2 * w - 2];
        if ((wv < nw && nw < n) || (n < nw && nw < wv))
          pred = std::abs(wv - nw) > 32 || std::abs(n - nw) > 32 ? wv + n - nw : (wv + n) >> 1;
        else
          pred = std::abs(wv - nw) > std::abs(n - nw) ? wv : n;
      }
      const int v = pred + diff * 4 + low;
      if (v < 0 || v > 4095) return false;
      line[col] = (unsigned short)v;
    }
  }
  return true;
}

bool cPictORF::readStrip(long long s, unsigned short* out, bool lastStrip) {
  const unsigned long long w = myRawWidth, r = myStrips.rowsOf(s, myRawHeight), c = myStrips.counts.ptr[s];
  const unsigned long long offset = myStrips.offsets.ptr[s], samples = r * w;
  if (!r) return true;
  if (!myStream->set_fp(offset)) return false;
  const bool packed = 2 * c == 3 * samples, sixteen = c == 2 * samples, padded = c == 8 * samples / 5;
  if (!packed && !sixteen && !padded) return myStream->set_fp(offset + 7ULL) && readCompressed(out, unsigned(r), lastStrip);
  if (offset > myStreamSize || c > myStreamSize - offset) return false;
  std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[c ? c : 1]);
  if (!buf || !myStream->readf(buf.get(), unsigned(c))) return false;
  if (sixteen) {
    unpackRaw16(buf.get(), (long long)samples, myBigSamples, out);
    return true;
  }
  const eRawPacking packing = padded ? (myBigSamples ? rpPaddedBig : rpPaddedLittle)
                              : mySwapped ? rpSwappedGroups
                              : myBigSamples ? rpBig
                                             : rpLittle;
  return unpackRaw12(packing, buf.get(), (long long)c, out, (long long)samples) == (long long)samples;
}

bool cPictORF::decode(cFileIOTarget* io) {
  long long aw = 0, ah = 0;
  if (!walk(io) || !rawActiveSize(myRawWidth, myRawHeight, myMargins, aw, ah) ||
      !myStrips.settle(myRawHeight, myStreamSize, true))
    return false;
  _typebuf<unsigned short> raw, strip;
  if (!myStrips.allocPlane(myStreamSize, myRawWidth, myRawHeight, raw) ||
      (myInterlaced && !allocPictPixels(strip, myRawWidth, myRawHeight)))
    return false;
  // Strip rows land in file order, or even rows first when interlaced.
  const unsigned long long w = myRawWidth, h = myRawHeight, evens = (h + 1) / 2;
  for (long long s = 0; s < myStrips.offsets.count; ++s) {
    const unsigned long long first = myStrips.firstRow(s), rows = myStrips.rowsOf(s, myRawHeight);
    const bool last = s == myStrips.offsets.count - 1;
    if (!readStrip(s, myInterlaced ? strip.ptr : raw.ptr + first * w, last)) return false;
    if (!myInterlaced) continue;
    for (unsigned long long k = first; k < first + rows; ++k) {
      const unsigned long long row = !myInterlaced ? k : k < evens ? 2 * k : 2 * (k - evens) + 1;
      std::memcpy(raw.ptr + row * w, strip.ptr + (k - first) * w, w * sizeof(unsigned short));
    }
  }
  strip.set(0);
  cStdCFAFilter filter;
  const double unit[4] = {1, 1, 1, 1};
  sRawFinish f = rawPlane(raw, myRawWidth, myRawHeight, myMargins, &filter, myBlack, unit);
  balanceToRed(f, myM0, myM1, myM2);
  return finishCamera(f, io);
}

bool cPictORF::getPreview(cFileIOTarget* io, cPictBase& dst, const long long* maxWidth,
                          const long long* maxHeight) {
  return walk(io) && embeddedPreview(io, myPreviewOffset, myPreviewLength, dst, maxWidth, maxHeight);
}
