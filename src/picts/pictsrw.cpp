#include "picts/pictsrw.h"

#include <cstring>
#include <memory>

#include "base/targets.h"
#include "picts/littleendian.h"

namespace {

// Model rows: margins (-1 leaves one as it is) and what else a model changes.
struct sSrwModel {
  const char* key;
  bool prefix;
  int left, right, top, bottom;
  bool big12;
  const unsigned char* cfa;  // 2 x 2, row by row
};

constexpr unsigned char kGN120Pattern[4] = {1, 0, 2, 1};

// The first row that matches wins: "NX2000" must come before the NX1000 group.
constexpr sSrwModel kSrwModels[] = {
    {"NX mini", true, 96, 25, 17, -1, false, nullptr},
    {"EX2F", true, -1, 105, -1, 10, false, nullptr},
    {"EK-GN120", false, -1, 8, -1, 19, false, kGN120Pattern},
    {"WB2000", true, -1, 11, 2, 2, false, nullptr},
    {"NX2000", true, 1, -1, -1, 20, false, nullptr},
    {"NX1000", true, 46, 57, 2, 60, false, nullptr},
    {"NX20", false, 46, 57, 2, 60, false, nullptr},
    {"NX200", false, 46, 57, 2, 60, false, nullptr},
    {"NX210", false, 46, 57, 2, 60, false, nullptr},
    {"NX10 ", true, 8, 8, 8, -1, true, nullptr},
    {"NX11 ", true, 8, 8, 8, -1, true, nullptr},
    {"NX100 ", true, 8, 8, 8, -1, true, nullptr},
    {"NX30", false, -1, 9, -1, 20, false, nullptr},
    {"EX1    ", false, -1, 6, -1, 20, false, nullptr},
    {"NX300", false, 1, 9, -1, 20, false, nullptr},
    {"NX3000", true, 97, 32, 37, 26, false, nullptr},
};

// The samsung2 body's length table (length << 8 | category), as the public
// dcraw converter's samsung2_load_raw lists it; the lengths fill 2^10 places.
constexpr unsigned short kSrwDiffCodes[14] = {0x304, 0x307, 0x206, 0x205, 0x403, 0x600, 0x709,
                                              0x80a, 0x90b, 0xa0c, 0xa0d, 0x501, 0x408, 0x402};

// Longer fields cannot matter to 16-bit samples; a forged length is refused
// rather than read.
constexpr int kMaxFieldBits = 16;

int signedField(int bits, sph1_bithuff_ctx& ctx) {
  if (bits == 0) return 0;
  const unsigned v = ph1_bithuff(bits, ctx);
  return v >> (bits - 1) ? int(v) - (1 << bits) : int(v);
}

}  // namespace

void cPictSRW::reset() {
  myRawWidth = myRawHeight = myBits = myCompression = mySamples = 0;
  mySubIFDs.set(0);
  myStrips.clear();
  myCFA.clear();
  myCFARows = myCFAColumns = 0;
  mySawCFA = false;
  myMargins = sMarginInfo();
  myRowTable = 0;
  myBig12 = false;
  myPreviewOffset = myPreviewLength = 0;
  myGuard.clear();
}

void cPictSRW::applyModel(const char* model) {
  for (const sSrwModel& m : kSrwModels) {
    const size_t n = std::strlen(m.key);
    if (m.prefix ? std::strncmp(model, m.key, n) != 0 : std::strcmp(model, m.key) != 0) continue;
    if (m.left >= 0) myMargins.left = unsigned(m.left);
    if (m.right >= 0) myMargins.right = unsigned(m.right);
    if (m.top >= 0) myMargins.top = unsigned(m.top);
    if (m.bottom >= 0) myMargins.bottom = unsigned(m.bottom);
    if (m.big12) myBig12 = true;
    if (m.cfa) myCFA.set(2, 2, m.cfa, 4);
    return;
  }
}

bool cPictSRW::onTag(int tag, int type, const void* data, int length) {
  const sTagProcessParam t{tag, type, data, length};
  const unsigned char* p = static_cast<const unsigned char*>(data);
  switch (tag) {
    case 256: return getValU32(t, myRawWidth) && myRawWidth;
    case 257: return getValU32(t, myRawHeight) && myRawHeight;
    case 258: return getValU32(t, myBits) && myBits >= 1 && myBits <= 16;
    case 259: return getValU32(t, myCompression);
    case 271: return length >= 7 && std::memcmp(p, "SAMSUNG", 7) == 0;
    case 272: {
      _typebuf<char> model;
      if (getValsPCHAR(t, model)) applyModel(model.ptr);
      return true;
    }
    case 273:
    case 278:
    case 279: return myStrips.readTag(*this, t, tag);
    case 277: return getValU32(t, mySamples) && mySamples;
    case 330: return getValsU32(t, mySubIFDs) && mySubIFDs.count;
    case 513: return getValU32(t, myPreviewOffset);
    case 514: return getValU32(t, myPreviewLength);
    case 33421: {
      _typebuf<unsigned short> dims;
      if (!getValsU16(t, dims) || dims.count != 2 || !dims.ptr[0] || !dims.ptr[1]) return false;
      myCFAColumns = dims.ptr[0];
      myCFARows = dims.ptr[1];
      return true;
    }
    case 33422:
      mySawCFA = true;
      return myCFA.held() || myCFA.set(myCFARows, myCFAColumns, p, length);
    case 40976: return getValU32(t, myRowTable);
    case 50706: return false;  // a DNG is the DNG reader's
    default: return true;
  }
}

bool cPictSRW::walkSub(cFileIOTarget* io, unsigned int offset) {
  mySawCFA = false;
  return myGuard.walk(*this, io, myBigEndian, offset, myStreamSize);
}

bool cPictSRW::walk(cFileIOTarget* io) {
  reset();
  if (!processStream(io, kAskSize) || mySubIFDs.count != 2) return false;
  // Kept apart: a SubIFD may forge its own list.
  const unsigned int sub[2] = {mySubIFDs.ptr[0], mySubIFDs.ptr[1]};
  // Later walks overwrite what earlier ones set, so the first SubIFD is
  // walked last when it is the one holding the body.
  if (!walkSub(io, sub[1]) || (!mySawCFA && !walkSub(io, sub[0]))) return false;
  return myRawWidth && myRawHeight && myBits && myStrips.offsets.count && myCFA.held();
}

bool cPictSRW::isPicture(cFileIOTarget* io, sPictInfo* info) {
  if (!walk(io)) return false;
  if (info) {
    info->width = myRawWidth;
    info->height = myRawHeight;
    info->hasPreview = true;
  }
  return true;
}

bool cPictSRW::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictSRW probe;
  return probe.isPicture(io, info);
}

bool cPictSRW::readRowTable(long long s, unsigned short* raw) {
  const unsigned long long w = myRawWidth, rows = myStrips.rowsOf(s, myRawHeight), c = myStrips.counts.ptr[s];
  const unsigned long long first = myStrips.firstRow(s);
  const unsigned long long table = myRowTable + 4ULL * first;
  if (!myRowTable || table > myStreamSize || 4 * rows > myStreamSize - table) return false;
  std::unique_ptr<unsigned char[]> offsets(new (std::nothrow) unsigned char[4 * rows]);
  if (!offsets || !myStream->set_fp(table) || !myStream->readf(offsets.get(), unsigned(4 * rows))) return false;
  // Rows above the picture and columns past its width count as 0.
  auto at = [&](long long row, unsigned long long col) -> int {
    return row >= 0 && col < w ? raw[(unsigned long long)row * w + col] : 0;
  };
  for (unsigned long long r = 0; r < rows; ++r) {
    const unsigned rowOffset = le32(offsets.get() + 4 * r);
    if (rowOffset >= c || !myStream->set_fp((unsigned long long)myStrips.offsets.ptr[s] + rowOffset)) return false;
    sph1_bithuff_ctx bits(myStream);
    const long long row = (long long)(first + r);
    int len[4];
    for (int& l : len) l = r < 2 ? 7 : 4;
    for (unsigned long long col = 0; col < w; col += 16) {
      const bool dir = ph1_bithuff(1, bits);
      int op[4];
      for (int& o : op) o = int(ph1_bithuff(2, bits));
      for (int k = 0; k < 4; ++k) {
        if (op[k] == 3) len[k] = int(ph1_bithuff(4, bits));
        else if (op[k] == 2) --len[k];
        else if (op[k] == 1) ++len[k];
      }
      for (int k = 0; k < 16; ++k) {
        const int cc = k < 8 ? 2 * k : 2 * (k - 8) + 1;  // even columns first
        const int i = len[(cc >> 3) | (cc & 1) << 1];
        if (i < 0 || i > kMaxFieldBits) return false;
        const int d = signedField(i, bits);
        const unsigned long long x = col + unsigned(cc);
        const int ref = dir ? at(row - ((cc & 1) ? 2 : 1), x) : col ? at(row, col - ((cc & 1) ? 1 : 2)) : 128;
        if (x < w) raw[(unsigned long long)row * w + x] = (unsigned short)(d + ref);
      }
      if (bits.error) return false;
    }
  }
  // The sensor stores each 2 x 2 cell with its two greens exchanged.
  for (unsigned long long y = 0; y + 1 < rows; y += 2)
    for (unsigned long long x = 0; x + 1 < w; x += 2)
      std::swap(raw[(first + y) * w + x + 1], raw[(first + y + 1) * w + x]);
  return true;
}

bool cPictSRW::readDifferences(long long s, unsigned short* raw, unsigned short (&vpred)[2][2]) {
  _typebuf<unsigned short> table;
  if (!makeRawLookup(kSrwDiffCodes, 14, 10, table) || !myStream->set_fp(myStrips.offsets.ptr[s])) return false;
  const unsigned long long w = myRawWidth, rows = myStrips.rowsOf(s, myRawHeight);
  const unsigned long long first = myStrips.firstRow(s);
  getbithuff_ctx bits(myStream);
  for (unsigned long long r = 0; r < rows; ++r) {
    const unsigned parity = (first + r) & 1;
    unsigned short hpred[2] = {};
    unsigned short* out = raw + (first + r) * w;
    for (unsigned long long col = 0; col < w; ++col) {
      const int d = rawLosslessDiff(10, table.ptr, bits);
      // A dry strip leaves the rest of its samples at 0.
      if (bits.error) return true;
      if (col < 2)
        hpred[col] = vpred[parity][col] = (unsigned short)(vpred[parity][col] + d);
      else
        hpred[col & 1] = (unsigned short)(hpred[col & 1] + d);
      if (hpred[col & 1] >> myBits) return false;
      out[col] = hpred[col & 1];
    }
  }
  return true;
}

bool cPictSRW::readGroups(long long s, unsigned short* raw) {
  const unsigned long long w = myRawWidth, rows = myStrips.rowsOf(s, myRawHeight);
  const unsigned long long first = myStrips.firstRow(s), offset = myStrips.offsets.ptr[s];
  unsigned char head[16];
  if (!myStream->set_fp(offset) || !myStream->readf(head, 16)) return false;
  const unsigned opt = head[9];
  const int init = int(le16(head + 12));
  auto at = [&](unsigned long long row, long long col) -> int {
    return col >= 0 && (unsigned long long)col < w ? raw[row * w + (unsigned long long)col] : 0;
  };
  unsigned long long rowAt = offset + 16;
  for (unsigned long long r = 0; r < rows; ++r) {
    if (rowAt > myStreamSize || !myStream->set_fp(rowAt)) return false;
    sph1_bithuff_ctx bits(myStream);
    const unsigned long long row = first + r;
    const unsigned odd = r & 1;
    long long mag = 0;
    unsigned pmode = 7;
    int slots[3][2], len[4] = {};
    for (auto& slot : slots) slot[0] = slot[1] = r < 2 ? 7 : 4;
    for (unsigned long long tab = 0; tab + 15 < w; tab += 16) {
      if (!(opt & 4) && !(tab & 63)) {
        const unsigned i = ph1_bithuff(2, bits);
        mag = i < 3 ? mag + ("204"[i] - '2') : ph1_bithuff(12, bits);
      }
      if (opt & 2)
        pmode = 7 - 4 * ph1_bithuff(1, bits);
      else if (!ph1_bithuff(1, bits))
        pmode = ph1_bithuff(3, bits);
      if ((opt & 1) || !ph1_bithuff(1, bits)) {
        for (int& l : len) l = int(ph1_bithuff(2, bits));
        for (int c = 0; c < 4; ++c) {
          int* slot = slots[((odd << 1) | (c & 1)) % 3];
          len[c] = len[c] < 3 ? slot[0] - '1' + "120"[len[c]] : int(ph1_bithuff(4, bits));
          slot[0] = slot[1];
          slot[1] = len[c];
        }
      }
      for (unsigned c = 0; c < 16; ++c) {
        const unsigned long long col = tab + (((c & 7) << 1) ^ (c >> 3) ^ odd);
        long long pred;
        if (pmode == 7 || r < 2) {
          pred = tab ? raw[row * w + tab - 2 + (col & 1)] : init;
        } else {
          // The reference of this colour: one row up shifted by a column, or two rows up.
          const bool near = (col & 1) == odd;
          const unsigned long long ref = near ? row - 1 : row - 2;
          const long long base = (long long)col + (near ? (odd ? -1 : 1) : 0) - '4';
          pred = (at(ref, base + "0224468"[pmode]) + at(ref, base + "0244668"[pmode]) + 1) >> 1;
        }
        const int i = len[c >> 2];
        if (i < 0 || i > kMaxFieldBits) return false;
        const long long diff = signedField(i, bits);
        raw[row * w + col] = (unsigned short)(pred + diff * (mag * 2 + 1) + mag);
      }
      if (bits.error) return false;
    }
    rowAt += (bits.bytesRead + 15) & ~15ULL;
  }
  return true;
}

bool cPictSRW::readStrip(long long s, unsigned short* raw, unsigned short (&vpred)[2][2]) {
  const unsigned long long rows = myStrips.rowsOf(s, myRawHeight);
  if (!rows) return true;
  if (myCompression == 32772) return readDifferences(s, raw, vpred);
  if (myCompression == 32773) return readGroups(s, raw);
  if (myCompression != 32769 && myCompression != 32770) return false;
  const unsigned long long samples = rows * myRawWidth, c = myStrips.counts.ptr[s];
  const unsigned long long offset = myStrips.offsets.ptr[s];
  const bool plain = c == 2 * samples, packed = 2 * c / 3 == samples;
  if (!plain && !packed) return readRowTable(s, raw);
  if (offset > myStreamSize || c > myStreamSize - offset) return false;
  std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[c ? c : 1]);
  if (!buf || !myStream->set_fp(offset) || !myStream->readf(buf.get(), unsigned(c))) return false;
  unsigned short* out = raw + myStrips.firstRow(s) * (unsigned long long)myRawWidth;
  if (plain) {
    unpackRaw16(buf.get(), (long long)samples, false, out);
    return true;
  }
  return unpackRaw12(myBig12 ? rpBig : rpLittle, buf.get(), (long long)c, out, (long long)samples) ==
         (long long)samples;
}

bool cPictSRW::decode(cFileIOTarget* io) {
  long long aw = 0, ah = 0;
  if (!walk(io) || !rawActiveSize(myRawWidth, myRawHeight, myMargins, aw, ah) ||
      !myStrips.settle(myRawHeight, myStreamSize, false))
    return false;
  std::unique_ptr<cBayerFilter> filter(myCFA.newFilter());
  _typebuf<unsigned short> raw;
  if (!filter || !myStrips.allocPlane(myStreamSize, myRawWidth, myRawHeight, raw)) return false;
  unsigned short vpred[2][2] = {};
  for (long long s = 0; s < myStrips.offsets.count; ++s)
    if (!readStrip(s, raw.ptr, vpred)) return false;
  const double multipliers[4] = {2.0, 1.0, 1.5, 1.0};
  sRawFinish f = rawPlane(raw, myRawWidth, myRawHeight, myMargins, filter.get(), 0, multipliers);
  // Half the demosaiced top: the bound min(1, a, b) / max(1, a, b) gives.
  f.boundHigh = true;
  f.boundA = 0.5;
  return finishCamera(f, io);
}

bool cPictSRW::getPreview(cFileIOTarget* io, cPictBase& dst, const long long* maxWidth,
                          const long long* maxHeight) {
  reset();
  if (!processStream(io, kAskSize) || mySubIFDs.count != 2) return false;
  const unsigned int sub[2] = {mySubIFDs.ptr[0], mySubIFDs.ptr[1]};
  if (!walkSub(io, sub[0]) || (myCFA.held() && !walkSub(io, sub[1]))) return false;
  return embeddedPreview(io, myPreviewOffset, myPreviewLength, dst, maxWidth, maxHeight);
}
