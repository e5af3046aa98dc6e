#include "picts/jpghuffman.h"

#include <cstring>

#include "picts/jpgparser.h"

namespace {

// The luminance DC and AC tables of the standard's examples; a scan that
// names a table no DHT defined decodes with these.
constexpr sJHuffSource kDefaultDC = {
    {0, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 1};
constexpr sJHuffSource kDefaultAC = {
    {0, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
    {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22,
     0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33,
     0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34,
     0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55,
     0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76,
     0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96,
     0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5,
     0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4,
     0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1,
     0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa},
    1};

// Bits past 56 would not fit a whole byte more into the accumulator.
constexpr unsigned int kFullBits = 56;

inline int extend(int v, int s) { return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v; }

inline unsigned int peekBits(unsigned long long acc, unsigned int bits, int n) {
  return static_cast<unsigned int>(acc >> (bits - n)) & ((1u << n) - 1);
}

}  // namespace

void jpgScaledOrder(int n, int* out) {
  int k = 0;
  for (int s = 0; s <= 2 * (n - 1); ++s)
    for (int i = 0; i <= s; ++i) {
      int r = s % 2 ? i : s - i, c = s - r;
      if (r < n && c < n) out[k++] = r * 8 + c;
    }
  for (; k < 64 + 16; ++k) out[k] = out[n * n - 1];
}

const int kJpgNaturalOrder[64 + 16] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                       12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                       35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                       58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
                                       63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

bool cJHuffDecoder::mkTab(bool isDC, int id, sJHDerivedTable& t) {
  if (id < 0 || id > 3) return false;
  const sJHuffSource& given = isDC ? myState->dcTabs[id] : myState->acTabs[id];
  t.source = given.defined ? given : isDC ? kDefaultDC : kDefaultAC;
  int total = 0;
  for (int l = 1; l <= 16; ++l) total += t.source.counts[l];
  if (total > 256) return false;
  // Canonical codes by length. A table whose codes overflow their code
  // space would leave symbols without a code and decode other data than
  // was written, so it is refused.
  unsigned int codes[256];
  unsigned char lengths[256];
  int n = 0;
  unsigned int code = 0;
  for (int l = 1; l <= 16; ++l) {
    for (int i = 0; i < t.source.counts[l]; ++i) {
      if (code >= (1u << l)) return false;
      codes[n] = code++;
      lengths[n++] = static_cast<unsigned char>(l);
    }
    code <<= 1;
  }
  int at = 0;
  for (int l = 1; l <= 16; ++l) {
    if (at < n && lengths[at] == l) {
      t.valoffset[l] = at - static_cast<int>(codes[at]);
      while (at < n && lengths[at] == l) ++at;
      t.maxcode[l] = static_cast<int>(codes[at - 1]);
    } else {
      t.maxcode[l] = -1;
      t.valoffset[l] = 0;
    }
  }
  t.maxcode[0] = -1;
  t.valoffset[0] = 0;
  t.maxcode[17] = 0xFFFFF;
  t.valoffset[17] = 0;
  std::memset(t.look_nbits, 0, sizeof t.look_nbits);
  std::memset(t.look_sym, 0, sizeof t.look_sym);
  for (int i = 0; i < n && lengths[i] <= 8; ++i) {
    int l = lengths[i], span = 1 << (8 - l);
    int first = static_cast<int>(codes[i]) << (8 - l);
    for (int j = 0; j < span; ++j) {
      t.look_nbits[first + j] = l;
      t.look_sym[first + j] = t.source.symbols[i];
    }
  }
  std::memset(t.fastAC, 0, sizeof t.fastAC);
  for (int i = 0; !isDC && i < n && lengths[i] <= 9; ++i) {
    int l = lengths[i], r = t.source.symbols[i] >> 4, size = t.source.symbols[i] & 15;
    if (size == 0 || l + size > 9) continue;
    int first = static_cast<int>(codes[i]) << (9 - l);
    for (int p = first; p < first + (1 << (9 - l)); ++p) {
      int v = extend((p >> (9 - l - size)) & ((1 << size) - 1), size);
      t.fastAC[p] = v * 256 + r * 16 + l + size;
    }
  }
  // Lossless differences go up to category 16; DCT differences to 15.
  if (isDC) {
    int top = myState->coding == 2 ? 16 : 15;
    for (int i = 0; i < total; ++i)
      if (t.source.symbols[i] > top) return false;
  }
  return true;
}

bool cJHuffDecoder::create(sJPGState& state) {
  myState = &state;
  myMode = 0;
  myAcc = 0;
  myBits = 0;
  myEobRun = 0;
  myRestartsToGo = state.restartInterval;
  myCurrentAC = nullptr;
  long long nf = state.frameComps();
  if (nf < 1 || nf > 4 || state.scanCount > 4) return false;
  // A lossless scan starts from the middle of its samples as the point
  // transform leaves them.
  if (state.coding == 2 && state.al >= state.precision) return false;
  int dc0 = state.coding == 2 ? 1 << (state.precision - state.al - 1) : 0;
  for (int i = 0; i < 4; ++i) {
    myDC[i] = dc0;
    myDCMap[i] = -1;
    myCoefLimit[i] = 0;
    myScanDC[i] = myScanAC[i] = nullptr;
  }
  myOrder = kJpgNaturalOrder;
  unsigned int ss = state.ss, se = state.se, ah = state.ah, al = state.al;
  if (state.process == 3 && state.coding == 1) {
    if (ss > 0) {
      if (se < ss || se > state.coefLimit || state.scanCount != 1) return false;
    } else if (se != 0) {
      return false;
    }
    if ((ah > 0 && al != ah - 1) || al > 13) return false;
    myMode = ah > 0 ? (ss > 0 ? 4 : 3) : (ss > 0 ? 2 : 1);
    for (unsigned int i = 0; i < state.scanCount; ++i) {
      unsigned int c = state.scanComps[i];
      if (c >= nf) return false;
      const sJCompInfo& ci = state.comps.ptr[c];
      myDCMap[c] = static_cast<int>(ci.td);
      if (ss > 0) {
        if (!mkTab(false, static_cast<int>(ci.ta), myProgAC[ci.ta & 3])) return false;
        myCurrentAC = &myProgAC[ci.ta];
      } else if (ah == 0) {
        if (!mkTab(true, static_cast<int>(ci.td), myProgDC[ci.td & 3])) return false;
      }
    }
    return true;
  }
  myMode = state.coding == 2 ? 7 : state.coefLimit == 63 ? 6 : 5;
  int n = static_cast<int>(state.blockSize);
  if (myMode == 5) {
    jpgScaledOrder(n < 1 ? 1 : n > 8 ? 8 : n, myScaledOrder);
    myOrder = myScaledOrder;
  }
  for (unsigned int i = 0; i < state.scanCount; ++i) {
    unsigned int c = state.scanComps[i];
    if (c >= nf) return false;
    const sJCompInfo& ci = state.comps.ptr[c];
    if (!mkTab(true, static_cast<int>(ci.td), mySeqDC[ci.td & 3])) return false;
    myScanDC[i] = &mySeqDC[ci.td];
    if (state.coefLimit != 0 && myMode != 7) {
      if (!mkTab(false, static_cast<int>(ci.ta), mySeqAC[ci.ta & 3])) return false;
      myScanAC[i] = &mySeqAC[ci.ta];
    }
    int side = n > 8 ? 8 : n;
    myCoefLimit[i] = state.coefLimit == 0 ? 1 : static_cast<unsigned int>(side * side);
  }
  return true;
}

// Takes bytes straight from the read block while none is 0xFF (no stuffing
// or marker can interfere); true once the accumulator is full.
inline bool cJHuffDecoder::takePlainBytes(unsigned long long& acc, unsigned int& bits) {
  sJPGState& s = *myState;
  if (s.readEnd - s.readAt < 8) return false;
  const unsigned char* p = s.readBuf.ptr + s.readAt;
  int taken = 0;
  while (bits <= kFullBits && p[taken] != 0xFF) {
    acc = acc << 8 | p[taken++];
    bits += 8;
  }
  s.readAt += taken;
  s.position += static_cast<unsigned long long>(taken);
  return bits > kFullBits;
}

// The common top-up, inline; fillBitBuf handles stuffing, markers and the
// end of the block.
inline void cJHuffDecoder::refill(unsigned long long& acc, unsigned int& bits) {
  if (myState->pendingMarker || !takePlainBytes(acc, bits)) fillBitBuf(acc, bits, 0);
}

bool cJHuffDecoder::fillBitBuf(unsigned long long& acc, unsigned int& bits, int need) {
  sJPGState& s = *myState;
  if (s.pendingMarker) return bits >= static_cast<unsigned int>(need);
  while (bits <= kFullBits) {
    if (takePlainBytes(acc, bits)) break;
    unsigned char b;
    if (!s.readByte(b)) return bits >= static_cast<unsigned int>(need);
    if (b == 0xFF) {
      unsigned char next;
      do {
        if (!s.readByte(next)) return bits >= static_cast<unsigned int>(need);
      } while (next == 0xFF);
      if (next != 0) {
        s.pendingMarker = next;
        return bits >= static_cast<unsigned int>(need);
      }
    }
    acc = acc << 8 | b;
    bits += 8;
  }
  return true;
}

int cJHuffDecoder::huffDecode(unsigned long long& acc, unsigned int& bits, int minBits,
                              const sJHDerivedTable* t) {
  if (bits < static_cast<unsigned int>(minBits) && !fillBitBuf(acc, bits, minBits)) return -1;
  int l = minBits;
  int code = static_cast<int>(peekBits(acc, bits, l));
  bits -= l;
  while (code > t->maxcode[l]) {
    if (++l > 16) return -1;
    if (bits < 1 && !fillBitBuf(acc, bits, 1)) return -1;
    code = code << 1 | static_cast<int>(peekBits(acc, bits, 1));
    --bits;
  }
  int index = code + t->valoffset[l];
  if (index < 0 || index > 255) return -1;
  return t->source.symbols[index];
}

inline int cJHuffDecoder::decodeSymbol(unsigned long long& acc, unsigned int& bits,
                                       const sJHDerivedTable* t) {
  if (bits < 16) refill(acc, bits);
  if (bits < 8) return huffDecode(acc, bits, 1, t);
  unsigned int peek = peekBits(acc, bits, 8);
  int n = t->look_nbits[peek];
  if (n) {
    bits -= n;
    return t->look_sym[peek];
  }
  return huffDecode(acc, bits, 9, t);
}

// Most AC codes and their values fit in nine bits: one lookup gives the
// run and the value; false leaves the code to decodeSymbol.
inline bool cJHuffDecoder::fastCode(unsigned long long& acc, unsigned int& bits, const sJHDerivedTable* t,
                                    int& run, int& value) {
  if (bits < 16) refill(acc, bits);
  if (bits < 9) return false;
  int e = t->fastAC[peekBits(acc, bits, 9)];
  if (!e) return false;
  bits -= e & 15;
  run = (e >> 4) & 15;
  value = e >> 8;
  return true;
}

// Reads s bits (1..16) and gives their signed value.
inline bool cJHuffDecoder::receive(unsigned long long& acc, unsigned int& bits, int s, int& value) {
  if (bits < static_cast<unsigned int>(s) && !fillBitBuf(acc, bits, s)) return false;
  bits -= s;
  value = extend(static_cast<int>(acc >> bits) & ((1 << s) - 1), s);
  return true;
}

void cJHuffDecoder::record(unsigned long long& position, unsigned int& acc, unsigned char& bits) const {
  position = myState->position;
  acc = static_cast<unsigned int>(myAcc);
  bits = static_cast<unsigned char>(myBits);
}

bool cJHuffDecoder::restartIfDue() {
  if (myState->restartInterval == 0 || myRestartsToGo != 0) return true;
  return restart();
}

bool cJHuffDecoder::restart() {
  myAcc = 0;
  myBits = 0;
  if (!cJPEGParser::getRestart(myState)) return false;
  myEobRun = 0;
  int dc0 = myState->coding == 2 ? 1 << (myState->precision - myState->al - 1) : 0;
  for (int& d : myDC) d = dc0;
  myRestartsToGo = myState->restartInterval;
  return true;
}

int cJHuffDecoder::scanSlotOf(int component) const {
  for (unsigned int i = 0; i < myState->scanCount; ++i)
    if (myState->scanComps[i] == component) return static_cast<int>(i);
  return -1;
}

bool cJHuffDecoder::nextUnit(sHuffDecodedUnit& unit) {
  // A block inside an end-of-band run of a first AC scan takes no bits: it
  // is left untouched, so that the long runs of a progressive picture do
  // not walk the whole store (its recorded position stays that of the last
  // scan that read bits for it).
  if (myMode == 2 && myEobRun > 0 && (myState->restartInterval == 0 || myRestartsToGo != 0)) {
    --myEobRun;
    return true;
  }
  if (unit.comp >= myState->frameComps() || !restartIfDue()) return false;
  bool done;
  switch (myMode) {
    case 1:
      done = decodeDCFirst(unit);
      break;
    case 2:
      done = decodeACFirst(unit);
      break;
    case 3:
      done = decodeDCRefine(unit);
      break;
    case 4:
      done = decodeACRefine(unit);
      break;
    case 5:
    case 6: {
      int slot = scanSlotOf(unit.comp);
      if (slot < 0) return false;
      done = myMode == 6 ? decodeMinimalUnit(unit, slot) : decodeMinimalUnitSub(unit, slot);
      break;
    }
    default:
      return false;
  }
  if (done) record(unit.position, unit.acc, unit.bits);
  return done;
}

bool cJHuffDecoder::nextSample(sHuffDecodedSample& sample) {
  if (myMode != 7 || sample.comp >= myState->frameComps() || !restartIfDue()) return false;
  int slot = scanSlotOf(sample.comp);
  if (slot < 0 || !decodeSample(sample, slot)) return false;
  record(sample.position, sample.acc, sample.bits);
  return true;
}

// Kept to 16 bits, as stored, so that hostile differences cannot overflow.
inline int cJHuffDecoder::addDC(int comp, int diff) {
  myDC[comp] = static_cast<short>(static_cast<unsigned int>(myDC[comp]) + static_cast<unsigned int>(diff));
  return myDC[comp];
}

inline bool cJHuffDecoder::sequentialBlock(sHuffDecodedUnit& unit, int slot, const int* order) {
  unsigned long long acc = myAcc;
  unsigned int bits = myBits;
  short* coef = unit.coef;
  std::memset(coef, 0, sizeof unit.coef);
  bool good = false;
  do {
    int s = decodeSymbol(acc, bits, myScanDC[slot]);
    if (s < 0) break;
    int diff = 0;
    if (s && !receive(acc, bits, s, diff)) break;
    unsigned int limit = myCoefLimit[slot];
    if (limit) coef[0] = static_cast<short>(addDC(unit.comp, diff));
    const sJHDerivedTable* ac = myScanAC[slot];
    good = true;
    for (int k = 1; ac && k < 64; ++k) {
      int run, value;
      if (fastCode(acc, bits, ac, run, value)) {
        k += run;
        if (static_cast<unsigned int>(k) < limit) coef[order[k]] = static_cast<short>(value);
        continue;
      }
      int rs = decodeSymbol(acc, bits, ac);
      if (rs < 0) {
        good = false;
        break;
      }
      int r = rs >> 4;
      s = rs & 15;
      if (s) {
        k += r;
        int v;
        if (!receive(acc, bits, s, v)) {
          good = false;
          break;
        }
        // Positions past the limit are decoded and dropped.
        if (static_cast<unsigned int>(k) < limit) coef[order[k]] = static_cast<short>(v);
      } else if (r == 15) {
        k += 15;
      } else {
        break;
      }
    }
  } while (false);
  myAcc = acc;
  myBits = bits;
  return good;
}

bool cJHuffDecoder::decodeMinimalUnit(sHuffDecodedUnit& unit, int slot) {
  return sequentialBlock(unit, slot, kJpgNaturalOrder);
}

bool cJHuffDecoder::decodeMinimalUnitSub(sHuffDecodedUnit& unit, int slot) {
  return sequentialBlock(unit, slot, myOrder);
}

// The length of an end-of-band run whose symbol gave r: 2^r plus r bits.
inline bool cJHuffDecoder::readEobRun(unsigned long long& acc, unsigned int& bits, int r) {
  myEobRun = 1u << r;
  if (!r) return true;
  if (bits < static_cast<unsigned int>(r) && !fillBitBuf(acc, bits, r)) return false;
  bits -= r;
  myEobRun += static_cast<unsigned int>(acc >> bits) & ((1u << r) - 1);
  return true;
}

bool cJHuffDecoder::decodeDCFirst(sHuffDecodedUnit& unit) {
  int t = myDCMap[unit.comp];
  if (t < 0) return false;
  int s = decodeSymbol(myAcc, myBits, &myProgDC[t]);
  int diff = 0;
  if (s < 0 || (s && !receive(myAcc, myBits, s, diff))) return false;
  unit.coef[0] = static_cast<short>(static_cast<unsigned int>(addDC(unit.comp, diff)) << myState->al);
  return true;
}

bool cJHuffDecoder::decodeACFirst(sHuffDecodedUnit& unit) {
  if (myEobRun > 0) {
    --myEobRun;
    return true;
  }
  unsigned long long acc = myAcc;
  unsigned int bits = myBits;
  unsigned int al = myState->al;
  int se = myState->se;
  bool good = true;
  for (int k = myState->ss; k <= se; ++k) {
    int run, value;
    if (fastCode(acc, bits, myCurrentAC, run, value)) {
      k += run;
      unit.coef[kJpgNaturalOrder[k < 79 ? k : 79]] =
          static_cast<short>(static_cast<unsigned int>(value) << al);
      continue;
    }
    int rs = decodeSymbol(acc, bits, myCurrentAC);
    if (rs < 0) {
      good = false;
      break;
    }
    int r = rs >> 4, s = rs & 15;
    if (s) {
      k += r;
      int v;
      if (!receive(acc, bits, s, v)) {
        good = false;
        break;
      }
      unit.coef[kJpgNaturalOrder[k < 79 ? k : 79]] = static_cast<short>(static_cast<unsigned int>(v) << al);
    } else if (r == 15) {
      k += 15;
    } else {
      good = readEobRun(acc, bits, r);
      if (good) --myEobRun;
      break;
    }
  }
  myAcc = acc;
  myBits = bits;
  return good;
}

bool cJHuffDecoder::decodeDCRefine(sHuffDecodedUnit& unit) {
  if (myBits < 1 && !fillBitBuf(myAcc, myBits, 1)) return false;
  --myBits;
  if ((myAcc >> myBits) & 1) unit.coef[0] = static_cast<short>(unit.coef[0] | (1 << myState->al));
  return true;
}

bool cJHuffDecoder::decodeACRefine(sHuffDecodedUnit& unit) {
  unsigned long long acc = myAcc;
  unsigned int bits = myBits;
  int p1 = 1 << myState->al, m1 = -p1;
  int k = myState->ss, se = myState->se;
  short* coef = unit.coef;
  auto bit = [&](int& out) {
    if (bits < 1 && !fillBitBuf(acc, bits, 1)) return false;
    --bits;
    out = static_cast<int>(acc >> bits) & 1;
    return true;
  };
  // Corrects a coefficient already known to be non-zero by its next bit.
  auto refine = [&](short* c) {
    int b;
    if (!bit(b)) return false;
    if (b && (*c & p1) == 0) *c = static_cast<short>(*c >= 0 ? *c + p1 : *c + m1);
    return true;
  };
  bool good = true;
  if (myEobRun == 0) {
    for (; k <= se; ++k) {
      int rs = decodeSymbol(acc, bits, myCurrentAC);
      if (rs < 0) {
        good = false;
        break;
      }
      int r = rs >> 4, s = rs & 15, value = 0;
      if (s) {
        int b;
        if (!bit(b)) {
          good = false;
          break;
        }
        value = b ? p1 : m1;
      } else if (r != 15) {
        good = readEobRun(acc, bits, r);
        break;
      }
      // Skips r zero coefficients, refining the non-zero ones passed over.
      do {
        short* c = coef + kJpgNaturalOrder[k < 79 ? k : 79];
        if (*c != 0) {
          if (!refine(c)) {
            good = false;
            break;
          }
        } else if (--r < 0) {
          break;
        }
        ++k;
      } while (k <= se);
      if (!good) break;
      if (value) coef[kJpgNaturalOrder[k < 79 ? k : 79]] = static_cast<short>(value);
    }
  }
  if (good && myEobRun > 0) {
    for (; k <= se; ++k) {
      short* c = coef + kJpgNaturalOrder[k];
      if (*c != 0 && !refine(c)) {
        good = false;
        break;
      }
    }
    --myEobRun;
  }
  myAcc = acc;
  myBits = bits;
  return good;
}

bool cJHuffDecoder::decodeSample(sHuffDecodedSample& sample, int slot) {
  int s = decodeSymbol(myAcc, myBits, myScanDC[slot]);
  if (s < 0) return false;
  int diff = 0;
  if (s == 16)
    diff = 32768;
  else if (s && !receive(myAcc, myBits, s, diff))
    return false;
  unsigned int value =
      (static_cast<unsigned int>(myDC[sample.comp]) + static_cast<unsigned int>(diff)) & 0xFFFF;
  sample.sample = static_cast<unsigned short>(value);
  myDC[sample.comp] = static_cast<short>(value);
  return true;
}

bool cJHuffDecoder::canRunLossless(unsigned int cells) const {
  if (myMode != 7 || (myState->restartInterval != 0 && myRestartsToGo < cells)) return false;
  const unsigned int n = myState->scanCount;
  if (n < 1 || n > 4) return false;
  for (unsigned int i = 0; i < n; ++i)
    for (unsigned int j = i + 1; j < n; ++j)
      if (myState->scanComps[i] == myState->scanComps[j]) return false;
  return true;
}

// decodeSample's steps with the bit window and the predictions in locals,
// so that the loop keeps them in registers; N, the scan's component count,
// known to the compiler.
template <unsigned int N>
unsigned int cJHuffDecoder::runCells(unsigned short* const* out, unsigned int cells) {
  const sJHDerivedTable* table[N];
  int dc[N];
  for (unsigned int i = 0; i < N; ++i) {
    table[i] = myScanDC[i];
    dc[i] = myDC[myState->scanComps[i]];
  }
  unsigned long long acc = myAcc;
  unsigned int bits = myBits;
  unsigned int x = 0;
  bool good = true;
  for (; x < cells; ++x) {
    for (unsigned int i = 0; i < N && good; ++i) {
      const int s = decodeSymbol(acc, bits, table[i]);
      int diff = 0;
      if (s < 0)
        good = false;
      else if (s == 16)
        diff = 32768;
      else if (s && !receive(acc, bits, s, diff))
        good = false;
      const unsigned int value = (static_cast<unsigned int>(dc[i]) + static_cast<unsigned int>(diff)) & 0xFFFF;
      out[i][x] = static_cast<unsigned short>(value);
      dc[i] = static_cast<short>(value);
    }
    if (!good) break;
    if (myRestartsToGo > 0) --myRestartsToGo;
  }
  myAcc = acc;
  myBits = bits;
  for (unsigned int i = 0; i < N; ++i) myDC[myState->scanComps[i]] = dc[i];
  return x;
}

unsigned int cJHuffDecoder::losslessRun(unsigned short* const* out, unsigned int cells) {
  switch (myState->scanCount) {
    case 1: return runCells<1>(out, cells);
    case 2: return runCells<2>(out, cells);
    case 3: return runCells<3>(out, cells);
    default: return runCells<4>(out, cells);
  }
}

bool cJHuffDecoder::isGoodEnd() const {
  if (myBits == 0) return true;
  if (myBits > 8) return false;
  unsigned int left = static_cast<unsigned int>(myAcc) & ((1u << myBits) - 1);
  return left == 0 || left == (1u << myBits) - 1;
}

bool cJHuffDecoder::setDCVal(int component, int value) {
  if (!myState || component < 0 || component >= myState->frameComps() || component > 3) return false;
  myDC[component] = value;
  return true;
}

int cJHuffDecoder::lastDCVal(int component) const {
  if (!myState || component < 0 || component >= myState->frameComps() || component > 3) return 0;
  return myDC[component];
}

unsigned cJHuffDecoder::simpleRead(int n) {
  if (n <= 0 || n > 32) return 0;
  if (myBits < static_cast<unsigned int>(n) && !fillBitBuf(myAcc, myBits, n)) return 0;
  myBits -= n;
  return static_cast<unsigned>(myAcc >> myBits) & static_cast<unsigned>((1ULL << n) - 1);
}
