// Marker segments of the main header and the tile-part headers. A reader
// works on the current tile's parameters inside a tile-part header and on
// the default set otherwise; it answers false for a segment it refuses.
#include <algorithm>
#include <cstring>

#include "picts/jp2codec.h"
#include "picts/pixelalloc.h"

namespace {

// Most tiles use the default records; those a tile-part header changes
// become the tile's own, and tiles hold no more than this many bytes of
// them at once.
constexpr unsigned long long kMaxOwnBytes = 128ULL << 20;

unsigned long long mcBytes(const sJP2McSet& mc) {
  unsigned long long n = sizeof mc + mc.matrix.size() * sizeof(float) + mc.mccs.size() * sizeof(sJP2MccRecord);
  for (const sJP2MctRecord& r : mc.mcts) n += sizeof r + r.data.size();
  return n;
}

unsigned int elementSize(unsigned int type) {
  static const unsigned int kSizes[4] = {2, 4, 4, 8};
  return kSizes[type & 3];
}

// Element i of an MCT array, as a float.
double element(const sJP2MctRecord& rec, size_t i) {
  const uint8_t* p = rec.data.data() + i * elementSize(rec.elementType);
  switch (rec.elementType) {
    case kJP2McInt16:
      return static_cast<int16_t>(p[0] << 8 | p[1]);
    case kJP2McInt32:
      return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
    case kJP2McFloat32: {
      uint32_t u = static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
      float f;
      std::memcpy(&f, &u, 4);
      return f;
    }
    default: {
      uint64_t u = 0;
      for (int k = 0; k < 8; ++k) u = u << 8 | p[k];
      double d;
      std::memcpy(&d, &u, 8);
      return d;
    }
  }
}

}  // namespace

cJP2Tcp& cJ2KDecode::current() {
  return myState == kTilePartHeader ? *myCp.tcps[myCurTile] : myDefaults;
}

tJP2Tccps* cJ2KDecode::writableTccps() {
  cJP2Tcp& tcp = current();
  if (&tcp != &myDefaults && tcp.tccps.use_count() > 1) {
    myOwnBytes += tcp.tccps->size() * sizeof(sJP2Tccp);
    if (myOwnBytes > kMaxOwnBytes) return nullptr;
    tcp.tccps = std::make_shared<tJP2Tccps>(*tcp.tccps);
  }
  return tcp.tccps.get();
}

sJP2McSet* cJ2KDecode::writableMc() {
  cJP2Tcp& tcp = current();
  if (&tcp != &myDefaults && tcp.mc.use_count() > 1) {
    myOwnBytes += mcBytes(*tcp.mc);
    if (myOwnBytes > kMaxOwnBytes) return nullptr;
    tcp.mc = std::make_shared<sJP2McSet>(*tcp.mc);
  }
  return tcp.mc.get();
}

void cJ2KDecode::releaseTile(cJP2Tcp& tcp) {
  if (tcp.tccps && tcp.tccps != myDefaults.tccps && tcp.tccps.use_count() == 1)
    myOwnBytes -= std::min<unsigned long long>(myOwnBytes, tcp.tccps->size() * sizeof(sJP2Tccp));
  if (tcp.mc && tcp.mc != myDefaults.mc && tcp.mc.use_count() == 1)
    myOwnBytes -= std::min<unsigned long long>(myOwnBytes, mcBytes(*tcp.mc));
  tcp.tccps.reset();
  tcp.mc.reset();
  std::vector<uint8_t>().swap(tcp.data);
  std::vector<uint8_t>().swap(tcp.ppt);
  std::vector<sJP2Poc>().swap(tcp.pocs);
  tcp.decoded = true;
}

unsigned int cJ2KDecode::readCompIndex(sJP2Bytes& b) { return myHeader.numcomps > 256 ? b.u16() : b.u8(); }

bool cJ2KDecode::readSIZ(sJP2Bytes& b) {
  size_t n = b.left();
  if (n < 36 || (n - 36) % 3 != 0) return false;
  myCp.rsiz = b.u16();
  // High-throughput block coding (bit 14) is another entropy coder whose
  // passes ours would read as noise.
  if (myCp.rsiz & 0x4000) {
    myHighThroughput = true;
    return false;
  }
  cJP2Image& im = myHeader;
  im.x1 = b.u32();
  im.y1 = b.u32();
  im.x0 = b.u32();
  im.y0 = b.u32();
  myCp.tdx = b.u32();
  myCp.tdy = b.u32();
  myCp.tx0 = b.u32();
  myCp.ty0 = b.u32();
  unsigned int numcomps = b.u16();
  if (numcomps == 0 || numcomps > 16384 || numcomps != (n - 36) / 3) return false;
  // Divisors and the grid must make sense before anything is sized by them.
  if (myCp.tdx == 0 || myCp.tdy == 0) return false;
  if (myCp.tx0 > im.x0 || myCp.ty0 > im.y0 || im.x0 >= im.x1 || im.y0 >= im.y1) return false;
  if (static_cast<unsigned long long>(myCp.tx0) + myCp.tdx <= im.x0 ||
      static_cast<unsigned long long>(myCp.ty0) + myCp.tdy <= im.y0)
    return false;
  unsigned long long tw = (static_cast<unsigned long long>(im.x1) - myCp.tx0 + myCp.tdx - 1) / myCp.tdx;
  unsigned long long th = (static_cast<unsigned long long>(im.y1) - myCp.ty0 + myCp.tdy - 1) / myCp.tdy;
  // Tile numbers have 16 bits.
  if (tw * th > 65535) return false;
  myCp.tw = static_cast<unsigned int>(tw);
  myCp.th = static_cast<unsigned int>(th);
  im.numcomps = numcomps;
  im.comps.set(numcomps);
  myDefaults.tccps = std::make_shared<tJP2Tccps>(numcomps);
  myDefaults.mc = std::make_shared<sJP2McSet>();
  long long allSamples = 0;
  for (unsigned int c = 0; c < numcomps; ++c) {
    sJP2ImageComp& ic = im.comps.ptr[c];
    unsigned int ssiz = b.u8();
    ic.prec = (ssiz & 0x7F) + 1;
    ic.sgnd = ssiz >> 7;
    ic.dx = b.u8();
    ic.dy = b.u8();
    if (ic.dx == 0 || ic.dy == 0 || ic.prec > 32) return false;
    ic.x0 = static_cast<unsigned int>((static_cast<unsigned long long>(im.x0) + ic.dx - 1) / ic.dx);
    ic.y0 = static_cast<unsigned int>((static_cast<unsigned long long>(im.y0) + ic.dy - 1) / ic.dy);
    ic.w = static_cast<unsigned int>((static_cast<unsigned long long>(im.x1) + ic.dx - 1) / ic.dx - ic.x0);
    ic.h = static_cast<unsigned int>((static_cast<unsigned long long>(im.y1) + ic.dy - 1) / ic.dy - ic.y0);
    long long samples = pictPixelCount(ic.w, ic.h);
    if (samples < 0) return false;
    allSamples += samples;
    if (allSamples > kMaxPictSamples) return false;
    (*myDefaults.tccps)[c].dcLevelShift = ic.sgnd ? 0 : static_cast<int>(1U << (ic.prec - 1));
  }
  myEndCol = myCp.tw;
  myEndRow = myCp.th;
  myState = kMainHeader;
  return b.ok;
}

bool cJ2KDecode::readSPco(sJP2Bytes& b, sJP2Tccp& tccp) {
  if (!b.has(5)) return false;
  tccp.numresolutions = b.u8() + 1;
  if (tccp.numresolutions > kJP2MaxResolutions) return false;
  tccp.cblkw = b.u8() + 2;
  tccp.cblkh = b.u8() + 2;
  tccp.cblksty = b.u8();
  // Bit 6 marks high-throughput code-blocks, which ours cannot read.
  if (tccp.cblksty & 0x40) return false;
  tccp.qmfbid = b.u8();
  // Only the two wavelets of the baseline exist here.
  if (tccp.qmfbid > 1) return false;
  for (unsigned int r = 0; r < tccp.numresolutions; ++r) {
    unsigned int v = (tccp.csty & 1) ? b.u8() : 0xFF;
    tccp.prcw[r] = static_cast<uint8_t>(v & 15);
    tccp.prch[r] = static_cast<uint8_t>(v >> 4);
  }
  return b.ok;
}

bool cJ2KDecode::readCOD(sJP2Bytes& b) {
  if (b.left() < 5) return false;
  cJP2Tcp& tcp = current();
  tJP2Tccps* tccps = writableTccps();
  if (!tccps) return false;
  tcp.csty = b.u8();
  tcp.prg = b.u8();
  tcp.numlayers = b.u16();
  tcp.mct = b.u8();
  if (tcp.prg > 4 || tcp.numlayers == 0 || tcp.mct > 2) return false;
  tcp.numLayersToDecode = myCp.layerLimit ? myCp.layerLimit : tcp.numlayers;
  for (sJP2Tccp& t : *tccps) t.csty = tcp.csty & 1;
  sJP2Tccp& first = (*tccps)[0];
  if (!readSPco(b, first) || b.left() != 0) return false;
  for (sJP2Tccp& t : *tccps) {
    t.numresolutions = first.numresolutions;
    t.cblkw = first.cblkw;
    t.cblkh = first.cblkh;
    t.cblksty = first.cblksty;
    t.qmfbid = first.qmfbid;
    std::memcpy(t.prcw, first.prcw, sizeof t.prcw);
    std::memcpy(t.prch, first.prch, sizeof t.prch);
  }
  if (&tcp == &myDefaults) myHasCod = true;
  return true;
}

bool cJ2KDecode::readCOC(sJP2Bytes& b) {
  unsigned int idxBytes = myHeader.numcomps > 256 ? 2 : 1;
  if (b.left() < idxBytes + 1) return false;
  unsigned int c = readCompIndex(b);
  if (c >= myHeader.numcomps) return false;
  tJP2Tccps* tccps = writableTccps();
  if (!tccps) return false;
  sJP2Tccp& tccp = (*tccps)[c];
  tccp.csty = b.u8();
  return readSPco(b, tccp) && b.left() == 0;
}

bool cJ2KDecode::readSQc(sJP2Bytes& b, sJP2Tccp& tccp) {
  if (!b.has(1)) return false;
  unsigned int sqcd = b.u8();
  tccp.qntsty = sqcd & 31;
  tccp.numgbits = sqcd >> 5;
  size_t bands = tccp.qntsty == 0 ? b.left() : tccp.qntsty == 1 ? 1 : b.left() / 2;
  if (tccp.qntsty == 1 && !b.has(2)) return false;
  for (size_t k = 0; k < bands; ++k) {
    sJP2StepSize s;
    if (tccp.qntsty == 0) {
      s.expn = static_cast<int16_t>(b.u8() >> 3);
    } else {
      unsigned int v = b.u16();
      s.expn = static_cast<int16_t>(v >> 11);
      s.mant = static_cast<int16_t>(v & 0x7FF);
    }
    if (k < kJP2MaxBands) tccp.stepsizes[k] = s;
  }
  if (tccp.qntsty == 1)
    for (int k = 1; k < kJP2MaxBands; ++k) {
      // Exponents below zero would mean step sizes the coder never makes.
      int e = tccp.stepsizes[0].expn - (k - 1) / 3;
      tccp.stepsizes[k] = {static_cast<int16_t>(e > 0 ? e : 0), tccp.stepsizes[0].mant};
    }
  return b.ok;
}

bool cJ2KDecode::readQCD(sJP2Bytes& b) {
  tJP2Tccps* tccps = writableTccps();
  if (!tccps) return false;
  sJP2Tccp& first = (*tccps)[0];
  if (!readSQc(b, first) || b.left() != 0) return false;
  for (sJP2Tccp& t : *tccps) {
    t.qntsty = first.qntsty;
    t.numgbits = first.numgbits;
    std::memcpy(t.stepsizes, first.stepsizes, sizeof t.stepsizes);
  }
  if (&current() == &myDefaults) myHasQcd = true;
  return true;
}

bool cJ2KDecode::readQCC(sJP2Bytes& b) {
  unsigned int c = readCompIndex(b);
  if (!b.ok || c >= myHeader.numcomps) return false;
  tJP2Tccps* tccps = writableTccps();
  return tccps && readSQc(b, (*tccps)[c]) && b.left() == 0;
}

bool cJ2KDecode::readRGN(sJP2Bytes& b) {
  unsigned int idxBytes = myHeader.numcomps > 256 ? 2 : 1;
  if (b.left() != idxBytes + 2) return false;
  unsigned int c = readCompIndex(b);
  b.u8();  // Srgn: only the maximum shift exists
  unsigned int shift = b.u8();
  if (c >= myHeader.numcomps) return false;
  tJP2Tccps* tccps = writableTccps();
  if (!tccps) return false;
  (*tccps)[c].roishift = shift;
  return true;
}

bool cJ2KDecode::readPOC(sJP2Bytes& b) {
  unsigned int entry = myHeader.numcomps > 256 ? 9 : 7;
  size_t n = b.left();
  if (n == 0 || n % entry != 0) return false;
  cJP2Tcp& tcp = current();
  if (tcp.pocs.size() + n / entry > kJP2MaxPocs - 1) return false;
  for (size_t i = 0; i < n / entry; ++i) {
    sJP2Poc p;
    p.resno0 = b.u8();
    p.compno0 = readCompIndex(b);
    p.layno1 = b.u16();
    p.resno1 = b.u8();
    p.compno1 = readCompIndex(b);
    p.prg = b.u8();
    if (p.compno1 > myHeader.numcomps) p.compno1 = myHeader.numcomps;
    if (p.prg > 4) return false;
    tcp.pocs.push_back(p);
  }
  return b.ok;
}

bool cJ2KDecode::readTLM(sJP2Bytes& b) {
  if (b.left() < 2) return false;
  b.u8();
  unsigned int stlm = b.u8();
  unsigned int st = (stlm >> 4) & 3, sp = (stlm >> 6) & 1;
  unsigned int entry = st + (sp ? 4 : 2);
  return b.left() % entry == 0;
}

bool cJ2KDecode::readPLM(sJP2Bytes& b) { return b.left() > 0; }

bool cJ2KDecode::readPLT(sJP2Bytes& b) {
  if (b.left() < 1) return false;
  b.u8();
  unsigned int last = 0;
  while (b.left()) last = b.u8();
  return (last & 0x80) == 0;
}

bool cJ2KDecode::readPPM(sJP2Bytes& b) {
  if (b.left() < 1) return false;
  const unsigned int zppm = b.u8();
  myPpmSegments.add(zppm, b.p, b.end);
  return true;
}

// A PPM segment lost leaves no headers at all, so the codestream, still
// one, is refused as damaged at its first tile-part.
void cJ2KDecode::joinPpm() {
  if (myPpmSegments.empty()) return;
  myPpmSegments.joinInto(myCp.ppm);
  myCp.ppmSeen = true;
}

bool cJ2KDecode::readPPT(sJP2Bytes& b) {
  // Packet headers packed in the main header leave none to a tile-part.
  if (b.left() < 1 || myCp.ppmSeen) return false;
  cJP2Tcp& tcp = current();
  // The indexes run across all the tile's parts: one given again in a later
  // part, even 0, is a segment lost, which refuses the tile when decoded.
  const unsigned int zppt = b.u8();
  tcp.pptSegments.add(zppt, b.p, b.end);
  tcp.pptSeen = true;
  return true;
}

bool cJ2KDecode::readCRG(sJP2Bytes& b) { return b.left() == 4ULL * myHeader.numcomps; }

bool cJ2KDecode::readCOM(sJP2Bytes& b) { return b.left() > 0; }

bool cJ2KDecode::readIgnored(sJP2Bytes&) { return true; }

bool cJ2KDecode::readCBD(sJP2Bytes& b) {
  if (b.left() != myHeader.numcomps + 2ULL || b.u16() != myHeader.numcomps) return false;
  for (unsigned int c = 0; c < myHeader.numcomps; ++c) {
    unsigned int v = b.u8();
    sJP2ImageComp& ic = myHeader.comps.ptr[c];
    ic.prec = (v & 0x7F) + 1;
    ic.sgnd = v >> 7;
    if (ic.prec > 32) return false;
  }
  return true;
}

bool cJ2KDecode::readMCT(sJP2Bytes& b) {
  if (b.left() < 2) return false;
  if (b.u16() != 0) return true;  // continuation segments are not read
  if (b.left() < 4) return false;
  unsigned int imct = b.u16();
  if (b.u16() != 0) return true;
  sJP2McSet* mc = writableMc();
  if (!mc) return false;
  sJP2MctRecord rec;
  rec.index = imct & 0xFF;
  rec.arrayType = (imct >> 8) & 3;
  rec.elementType = (imct >> 10) & 3;
  rec.data.assign(b.p, b.end);
  for (sJP2MctRecord& old : mc->mcts)
    if (old.index == rec.index) {
      old = std::move(rec);
      return true;
    }
  mc->mcts.push_back(std::move(rec));
  return true;
}

bool cJ2KDecode::readMCC(sJP2Bytes& b) {
  if (b.left() < 2) return false;
  if (b.u16() != 0) return true;
  if (b.left() < 5) return false;
  unsigned int imcc = b.u8();
  unsigned int ymcc = b.u16();
  unsigned int qmcc = b.u16();
  if (ymcc != 0 || qmcc > 1) return true;
  sJP2McSet* mc = writableMc();
  if (!mc) return false;
  sJP2MccRecord rec;
  rec.index = imcc;
  if (qmcc == 0) {
    if (b.left() != 0) return false;
  } else {
    if (b.u8() != 1) return b.ok;
    unsigned int nmcc = b.u16();
    unsigned int wide = nmcc >> 15;
    nmcc &= 0x7FFF;
    for (unsigned int i = 0; i < nmcc; ++i)
      if ((wide ? b.u16() : b.u8()) != i) return b.ok;
    unsigned int mmcc = b.u16();
    unsigned int wideOut = mmcc >> 15;
    if ((mmcc & 0x7FFF) != nmcc) return b.ok;
    for (unsigned int i = 0; i < nmcc; ++i)
      if ((wideOut ? b.u16() : b.u8()) != i) return b.ok;
    unsigned int tmcc = b.u24();
    if (!b.ok || b.left() != 0) return false;
    rec.numComps = nmcc;
    rec.irreversible = !((tmcc >> 16) & 1);
    auto find = [mc](unsigned int index) -> int {
      if (index == 0) return -1;
      for (size_t i = 0; i < mc->mcts.size(); ++i)
        if (mc->mcts[i].index == index) return static_cast<int>(i);
      return -2;
    };
    rec.decorrelation = find(tmcc & 0xFF);
    rec.offsets = find((tmcc >> 8) & 0xFF);
    if (rec.decorrelation == -2 || rec.offsets == -2) return false;
  }
  for (sJP2MccRecord& old : mc->mccs)
    if (old.index == rec.index) {
      old = rec;
      return true;
    }
  mc->mccs.push_back(rec);
  return true;
}

bool cJ2KDecode::readMCO(sJP2Bytes& b) {
  if (b.left() < 1) return false;
  unsigned int nmco = b.u8();
  if (nmco > 1) return true;
  if (b.left() != nmco) return false;
  tJP2Tccps* tccps = writableTccps();
  sJP2McSet* mc = writableMc();
  if (!tccps || !mc) return false;
  for (sJP2Tccp& t : *tccps) t.dcLevelShift = 0;
  mc->matrix.clear();
  const size_t numcomps = myHeader.numcomps;
  for (unsigned int s = 0; s < nmco; ++s) {
    unsigned int index = b.u8();
    const sJP2MccRecord* mcc = nullptr;
    for (const sJP2MccRecord& r : mc->mccs)
      if (r.index == index) mcc = &r;
    if (!mcc || mcc->numComps != numcomps) continue;
    if (mcc->decorrelation >= 0) {
      const sJP2MctRecord& m = mc->mcts[static_cast<size_t>(mcc->decorrelation)];
      if (m.data.size() != elementSize(m.elementType) * numcomps * numcomps) return false;
      mc->matrix.resize(numcomps * numcomps);
      for (size_t i = 0; i < numcomps * numcomps; ++i) mc->matrix[i] = static_cast<float>(element(m, i));
    }
    if (mcc->offsets >= 0) {
      const sJP2MctRecord& o = mc->mcts[static_cast<size_t>(mcc->offsets)];
      if (o.data.size() != elementSize(o.elementType) * numcomps) return false;
      for (size_t c = 0; c < numcomps; ++c) {
        double v = element(o, c);
        (*tccps)[c].dcLevelShift = v != v                ? 0
                                  : v > 2147483647.0   ? INT32_MAX
                                  : v < -2147483648.0  ? INT32_MIN
                                                       : static_cast<int>(v);
      }
    }
  }
  return true;
}
