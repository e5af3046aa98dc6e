#include "picts/pictarw.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/memio.h"

const cPictARW::sModel cPictARW::kModels[] = {
    {"DSC-R1", 58, 320, 0, 1.1, 1, 1.1, false},
    {"DSC-RX1", 15, 128, 0, 0.75, 1, 0.8, false},
    {"DSC-RX1R", 15, 128, 0, 0.75, 1, 0.8, false},
    {"DSC-RX10", 10, 200, 0, 0.6, 1, 0.75, false},
    {"DSC-RX10M2", 10, 200, 0, 0.6, 1, 0.75, false},
    {"DSC-RX100", 10, 220, 0, 0.9, 1, 1.3, false},
    {"DSC-RX100M2", 10, 128, 0, 0.95, 1, 1.05, false},
    {"DSC-RX100M3", 10, 128, 0, 0.55, 1, 0.9, false},
    {"DSC-RX100M4", 10, 200, 0, 0.55, 1, 0.9, false},
    {"DSLR-A700", 0, 128, 0, 1, 1, 1, false},
    {"DSLR-A850", 0, 128, 0, 1, 1, 1, false},
    {"DSLR-A560", 0, 128, 0, 1, 1, 1, false},
    {"DSLR-A900", 0, 128, 0, 1, 1, 1, false},
    {"NEX-6", 0, 128, 0, 1, 1, 1, false},
    {"NEX-7", 0, 128, 0, 1, 1, 1, false},
    {"SLT-A57", 0, 128, 0, 1, 1, 1, false},
    {"SLT-A58", 0, 128, 0, 1, 1, 1, false},
    {"SLT-A02", 0, 128, 0, 1, 1, 1, false},
    {"SLT-A65V", 0, 128, 0, 1, 1, 1, false},
    {"ILCE-3000", 32, 128, 992, 1.2, 1, 1, false},
    {"ILCE-5000", 32, 128, 992, 1.2, 1, 1, false},
    {"ILCE-6000", 0, 160, 864, 1, 1.39, 1, false},
    {"ILCE-7M2", 0, 160, 864, 1, 1.39, 1, false},
    {"ILCE-7", 0, 128, 896, 1, 1, 1, false},
    {"ILCE-7R", 0, 128, 896, 1, 1, 1, false},
    {"ILCE-7RM2", 0, 128, 896, 1, 1, 1, false},
    {"ILCA-77M2", 0, 128, 896, 1, 1, 1, false},
    {"ILCE-5100", 0, 128, 896, 1, 1, 1, false},
    {"ILCE-7S", 0, 128, 896, 1, 1, 1, false},
    {"MODEL-NAME", 0, 128, 640, 1, 1, 1, false},
    {"SLT-A77V", 0, 128, 640, 1, 1, 1, false},
    {"SLT-A99V", 0, 128, 640, 1, 1, 1, false},
    {"DSLR-A100", 0, 0, 0, 1, 1, 1, true},
};
const int cPictARW::kModelCount = sizeof kModels / sizeof kModels[0];

bool cARWExtProps::onRawTag(int tag, int, const void*, int length, unsigned int offset) {
  if (tag != 29459 || length != 8) return true;
  unsigned char b[8];
  if (!myStream->set_fp(offset) || !myStream->readf(b, 8)) return false;
  for (int i = 0; i < 4; ++i) m[i] = getU16(b + 2 * i);
  return true;
}

void cPictARW::reset() {
  myRawWidth = myRawHeight = myBits = myCompression = mySamples = 0;
  myStrips.clear();
  myCFA.clear();
  myCFARows = myCFAColumns = 0;
  myMargins = sMarginInfo();
  myPreviewOffset = myPreviewLength = 0;
  mySubIFDs.set(0);
  std::fill(myM, myM + 4, 1.0);
  myA100 = false;
  myBlack = myWhite = 0;
  std::fill(myF, myF + 3, 1.0);
  mySR2Key = mySR2Length = mySR2Offset = 0;
  myGuard.clear();
}

void cPictARW::sonyDecrypt(unsigned char* data, unsigned long long words, unsigned int key) {
  unsigned int pad[128];
  for (int i = 0; i < 4; ++i) pad[i] = key = key * 48828125u + 1;
  pad[3] = pad[3] << 1 | (pad[0] ^ pad[2]) >> 31;
  for (int i = 4; i < 127; ++i) pad[i] = (pad[i - 4] ^ pad[i - 2]) << 1 | (pad[i - 3] ^ pad[i - 1]) >> 31;
  // The pad words are stored big-endian, so each one meets the data's bytes high byte first.
  for (unsigned long long w = 0; w < words; ++w, data += 4) {
    const unsigned x = pad[(w + 64) & 127] ^ pad[w & 127];
    pad[(w + 127) & 127] = x;
    data[0] ^= (unsigned char)(x >> 24);
    data[1] ^= (unsigned char)(x >> 16);
    data[2] ^= (unsigned char)(x >> 8);
    data[3] ^= (unsigned char)x;
  }
}

void cPictARW::readPrivateBlock() {
  const unsigned long long at = mySR2Offset, length = mySR2Length;
  if (!at || !length || !mySR2Key || at >= myStreamSize || length > myStreamSize - at) return;
  // The block's offsets are file offsets: it is walked where it lies, in a
  // sparse memory stream that reads zero everywhere else.
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[length]);
  if (!block || !myStream->set_fp(at) || !myStream->readf(block.get(), unsigned(length))) return;
  sonyDecrypt(block.get(), length / 4, mySR2Key);
  cMemIOTarget memory;
  if (!memory.set_eof(at) || !memory.set_fp(at) || memory.write(block.get(), unsigned(length)) != length) return;
  cARWExtProps props;
  if (props.processStream(&memory, myBigEndian, false, unsigned(at), at + length))
    std::copy(props.m, props.m + 4, myM);
}

bool cPictARW::processMRW(cFileIOTarget* io, unsigned int offset) {
  unsigned char head[8];
  if (!io->set_fp(offset) || !io->readf(head, 8)) return false;
  if (head[0] != 0 || head[1] != 'M' || head[2] != 'R') return false;
  const bool big = head[3] == 'M';
  auto u32 = [big](const unsigned char* p) {
    return big ? (unsigned)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3] : (unsigned)p[3] << 24 | p[2] << 16 | p[1] << 8 | p[0];
  };
  const unsigned long long length = u32(head + 4);
  if (length < 17) return true;
  // The block's own length bounds the search as well as each record's.
  const unsigned long long end = offset + 8ULL + length;
  for (unsigned long long at = offset + 8ULL; at < end;) {
    unsigned char record[8];
    if (!io->set_fp(at) || !io->readf(record, 8)) return true;
    if (record[1] == 'W' && record[2] == 'B' && record[3] == 'G') {
      unsigned char b[8];
      if (!io->set_fp(at + 12) || !io->readf(b, 8)) return true;
      for (int i = 0; i < 4; ++i) myM[i] = big ? b[2 * i] << 8 | b[2 * i + 1] : b[2 * i + 1] << 8 | b[2 * i];
      return true;
    }
    const unsigned size = u32(record + 4);
    if (size > length - 8) return true;
    at += 8ULL + size;
  }
  return true;
}

void cPictARW::readMinoltaBlock(unsigned int offset) {
  if (processMRW(myStream, offset)) return;
  const int error = myError;
  myGuard.walk(*this, myStream, myBigEndian, offset, myStreamSize);
  myError = error;  // the block is a courtesy: its walk decides nothing
}

bool cPictARW::onTag(int tag, int type, const void* data, int length) {
  const sTagProcessParam t{tag, type, data, length};
  const unsigned char* p = static_cast<const unsigned char*>(data);
  unsigned v = 0;
  switch (tag) {
    case 256: return getValU32(t, myRawWidth) && myRawWidth;
    case 257: return getValU32(t, myRawHeight) && myRawHeight;
    case 258: return getValU32(t, myBits) && myBits >= 1 && myBits <= 16;
    case 259: return getValU32(t, myCompression);
    case 271: return length >= 4 && std::memcmp(p, "SONY", 4) == 0;
    case 272: {
      _typebuf<char> model;
      if (!getValsPCHAR(t, model)) return true;
      for (const sModel& m : kModels) {
        if (std::strcmp(model.ptr, m.key) != 0) continue;
        myMargins.right = m.right;
        if (m.black) myBlack = m.black;
        if (m.white) myWhite = m.white;
        myF[0] = m.f0;
        myF[1] = m.f1;
        myF[2] = m.f2;
        myA100 = m.a100;
        break;
      }
      return true;
    }
    case 273:
    case 278:
    case 279: return myStrips.readTag(*this, t, tag);
    case 277: return getValU32(t, mySamples) && mySamples;
    case 330: return getValsU32(t, mySubIFDs) && mySubIFDs.count;
    case 513: return getValU32(t, myPreviewOffset);
    case 514: return getValU32(t, myPreviewLength);
    case 29184: return getValU32(t, mySR2Offset);
    case 29185: return getValU32(t, mySR2Length);
    case 29217:
      if (length >= 4) mySR2Key = getU32(p);
      return true;
    case 29265: readPrivateBlock(); return true;
    case 50740:
      if (length >= 4) readMinoltaBlock(getU32(p));
      return true;
    case 33421: {
      _typebuf<unsigned short> dims;
      if (!getValsU16(t, dims) || dims.count != 2 || !dims.ptr[0] || !dims.ptr[1]) return false;
      myCFAColumns = dims.ptr[0];
      myCFARows = dims.ptr[1];
      return true;
    }
    case 33422: return myCFA.held() || myCFA.set(myCFARows, myCFAColumns, p, length);
    case 34665: {
      return getValU32(t, v) && myGuard.walk(*this, myStream, myBigEndian, v, myStreamSize);
    }
    case 41730: return myCFA.parseExif(p, length, myBigEndian);
    case 50706: return false;  // a DNG is the DNG reader's
    default: return true;
  }
}

bool cPictARW::onRawTag(int tag, int type, const void* data, int length, unsigned int offset) {
  if (tag == 29264) {
    if (!data) readMinoltaBlock(offset);
    return true;
  }
  return cTiffGeneric::onRawTag(tag, type, data, length, offset);
}

bool cPictARW::walk(cFileIOTarget* io) {
  reset();
  if (!processStream(io, kAskSize) || !mySubIFDs.count) return false;
  if (myA100) {
    myStrips.offsets.set(1);
    myStrips.offsets.ptr[0] = mySubIFDs.ptr[0];
    myStrips.counts.set(0);
    const unsigned char rggb[4] = {0, 1, 1, 2};
    myCFA.set(2, 2, rggb, 4);
    myBits = 12;
    myCompression = 32767;
    myRawHeight += 8;
  } else {
    const unsigned sub = mySubIFDs.ptr[0];
    if (!myGuard.walk(*this, io, myBigEndian, sub, myStreamSize)) return false;
  }
  return myRawWidth && myRawHeight && myBits && myStrips.offsets.count && myCFA.held();
}

bool cPictARW::isPicture(cFileIOTarget* io, sPictInfo* info) {
  if (!walk(io)) return false;
  if (info) {
    info->width = myRawWidth;
    info->height = myRawHeight;
    info->hasPreview = myPreviewOffset != 0;
  }
  return true;
}

bool cPictARW::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictARW probe;
  return probe.isPicture(io, info);
}

bool cPictARW::whiteBalance(double (&m)[4]) {
  std::copy(myM, myM + 4, m);
  if (myCFA.entries.count == 4) {
    double t[4] = {1, 1, 1, 1};
    for (int i = 0; i < 4; ++i) {
      if (myCFA.entries.ptr[i] > 3) return false;
      t[myCFA.entries.ptr[i]] = m[i];
    }
    std::copy(t, t + 4, m);
  }
  if (myCFA.entries.count != 4 || (m[0] == 1.0 && m[2] == 1.0)) {
    const double standard[4] = {1.4, 1.0, 1.1, 1.0};
    std::copy(standard, standard + 4, m);
  }
  for (int i = 0; i < 3; ++i) m[i] *= myF[i];
  m[3] = m[1];
  if (std::min({m[0], m[1], m[2]}) == 0) std::fill(m, m + 4, 1.0);
  return true;
}

bool cPictARW::readArw1(unsigned short* raw, unsigned long long rows) {
  static const unsigned short kCodes[] = {
#include "picts/raw_arw1_codes.inc"
  };
  _typebuf<unsigned short> table;
  if (!makeRawLookup(kCodes, sizeof kCodes / sizeof kCodes[0], 15, table)) return false;
  getbithuff_ctx bits(myStream);
  const unsigned long long w = myRawWidth, total = rows + 8;
  int sum = 0;
  for (unsigned long long col = w; col--;) {
    for (unsigned long long row = 0; row < total + 1; row += 2) {
      if (row == total) row = 1;
      sum += rawLosslessDiff(15, table.ptr, bits);
      if (sum >> 12) return false;
      if (row < rows) raw[row * w + col] = (unsigned short)sum;
    }
  }
  return true;
}

bool cPictARW::readArw2(unsigned short* raw, unsigned long long rows) {
  const unsigned long long w = myRawWidth;
  // Room past the row for the last block's look-ahead.
  std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[w + 32]());
  if (!data) return false;
  for (unsigned long long row = 0; row < rows; ++row) {
    if (!myStream->readf(data.get(), unsigned(w))) return false;
    unsigned short* out = raw + row * w;
    const unsigned char* dp = data.get();
    for (long long col = 0; col < (long long)w - 30; dp += 16) {
      const unsigned val = getU32(dp);
      const int max = int(val & 0x7FF), min = int(val >> 11 & 0x7FF), imax = int(val >> 22 & 15),
                imin = int(val >> 26 & 15);
      int sh = 0;
      while (sh < 4 && (0x80 << sh) <= max - min) ++sh;
      unsigned short pix[16];
      for (int i = 0, bit = 30; i < 16; ++i) {
        if (i == imax) {
          pix[i] = (unsigned short)max;
        } else if (i == imin) {
          pix[i] = (unsigned short)min;
        } else {
          const int v = ((getU16(dp + (bit >> 3)) >> (bit & 7) & 0x7F) << sh) + min;
          pix[i] = (unsigned short)(v > 0x7FF ? 0x7FF : v);
          bit += 7;
        }
      }
      for (int i = 0; i < 16; ++i, col += 2) out[col] = pix[i] >> 1;
      col -= col & 1 ? 1 : 31;
    }
  }
  return true;
}

bool cPictARW::readStrip(long long s, unsigned short* raw) {
  const unsigned long long w = myRawWidth, r = myStrips.rowsOf(s, myRawHeight), c = myStrips.counts.ptr[s];
  const unsigned long long offset = myStrips.offsets.ptr[s], samples = r * w;
  unsigned short* out = raw + myStrips.firstRow(s) * w;
  if (!r) return true;
  if (!myStream->set_fp(offset)) return false;
  const bool packed = myCompression == 32767 && 2 * c == 3 * samples;
  if (myCompression == 32767 && !packed) return c == samples ? readArw2(out, r) : readArw1(out, r);
  if (!packed && (myCompression != 1 || c != 2 * samples)) return false;
  if (offset > myStreamSize || c > myStreamSize - offset) return false;
  std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[c ? c : 1]);
  if (!buf || !myStream->readf(buf.get(), unsigned(c))) return false;
  if (!packed) {
    unpackRaw16(buf.get(), (long long)samples, myBigEndian, out);
    return true;
  }
  return unpackRaw12(myBigEndian ? rpBig : rpLittle, buf.get(), (long long)c, out, (long long)samples) ==
         (long long)samples;
}

bool cPictARW::decode(cFileIOTarget* io) {
  long long aw = 0, ah = 0;
  double m[4];
  if (!walk(io) || !whiteBalance(m) || !rawActiveSize(myRawWidth, myRawHeight, myMargins, aw, ah) ||
      !myStrips.settle(myRawHeight, myStreamSize, false))
    return false;
  std::unique_ptr<cBayerFilter> filter(myCFA.newFilter());
  _typebuf<unsigned short> raw;
  if (!filter || !myStrips.allocPlane(myStreamSize, myRawWidth, myRawHeight, raw)) return false;
  for (long long s = 0; s < myStrips.offsets.count; ++s)
    if (!readStrip(s, raw.ptr)) return false;
  const double white = myWhite ? myWhite : myBits == 8 ? 4095 : double((1u << myBits) - 1);
  const double scale = 65536.0 / white / std::min({m[0], m[1], m[2]});
  const double multipliers[4] = {m[0] * scale, m[1] * scale, m[2] * scale, m[1] * scale};
  sRawFinish f = rawPlane(raw, myRawWidth, myRawHeight, myMargins, filter.get(), myBlack, multipliers);
  return finishCamera(f, io);
}

bool cPictARW::getPreview(cFileIOTarget* io, cPictBase& dst, const long long* maxWidth,
                          const long long* maxHeight) {
  reset();
  return processStream(io, kAskSize) && nextOffset() &&
         embeddedPreview(io, myPreviewOffset, myPreviewLength, dst, maxWidth, maxHeight);
}
