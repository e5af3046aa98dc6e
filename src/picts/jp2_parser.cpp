// The codestream reader: main header, tile-parts gathered per tile, the
// tile loop, the decoding area and the assembly of tiles into the image.
#include <algorithm>
#include <new>

#include "picts/jp2codec.h"
#include "picts/pixelalloc.h"

namespace {

constexpr unsigned int kSOC = 0xFF4F, kCAP = 0xFF50, kSOT = 0xFF90, kSOD = 0xFF93, kEOC = 0xFFD9, kPPT = 0xFF61;
// The capability bit of high-throughput block coding, in the upper half of Pcap.
constexpr unsigned int kCapHighThroughput = 0x0002;

// A tile the codestream announces and the file does not hold is blank in the
// picture; a tile is held when a tile-part of it carries packet headers,
// after its SOD, in its PPT segments or in its share of the main header's
// PPM segments. A picture of this many grid points may be
// blank anywhere but in one held tile; a larger one must be covered to
// this share by the tiles the file holds, or its memory and work would be
// bought by tiles that are not there.
constexpr unsigned long long kAnyCoverArea = 1ULL << 22;
constexpr unsigned long long kCoverShare = 16;

// The length of [origin + from * step, origin + to * step) within [lo, hi).
unsigned long long spanWithin(unsigned long long origin, unsigned long long step, unsigned long long from,
                              unsigned long long to, unsigned long long lo, unsigned long long hi) {
  unsigned long long a = std::max(origin + from * step, lo), b = std::min(origin + to * step, hi);
  return b > a ? b - a : 0;
}

bool read16(cFileIOTarget* in, unsigned int& v) {
  uint8_t b[2];
  if (!in->readf(b, 2)) return false;
  v = static_cast<unsigned int>(b[0] << 8 | b[1]);
  return true;
}

// Reads n bytes to the end of `into`, in pieces a single read can take.
bool appendBytes(cFileIOTarget* in, std::vector<uint8_t>& into, unsigned long long n) {
  size_t at = into.size();
  into.resize(at + n);
  while (n > 0) {
    unsigned int piece = static_cast<unsigned int>(std::min<unsigned long long>(n, 1U << 30));
    if (!in->readf(into.data() + at, piece)) return false;
    at += piece;
    n -= piece;
  }
  return true;
}

}  // namespace

bool cJP2Image::copyHeader(const cJP2Image& o) {
  x0 = o.x0, y0 = o.y0, x1 = o.x1, y1 = o.y1;
  numcomps = o.numcomps;
  colorSpace = o.colorSpace;
  comps.set(o.numcomps);
  for (unsigned int c = 0; c < numcomps; ++c) comps.ptr[c].copyShape(o.comps.ptr[c]);
  return true;
}

struct cJ2KDecode::sMarkerHandler {
  unsigned int id;
  int states;
  bool (cJ2KDecode::*reader)(sJP2Bytes&);
};

const cJ2KDecode::sMarkerHandler* cJ2KDecode::handlerOf(unsigned int marker) {
  constexpr int kHeaders = kMainHeader | kTilePartHeader;
  static const sMarkerHandler kHandlers[] = {
      {0xFF52, kHeaders, &cJ2KDecode::readCOD},    {0xFF53, kHeaders, &cJ2KDecode::readCOC},
      {0xFF5E, kHeaders, &cJ2KDecode::readRGN},    {0xFF5C, kHeaders, &cJ2KDecode::readQCD},
      {0xFF5D, kHeaders, &cJ2KDecode::readQCC},    {0xFF5F, kHeaders, &cJ2KDecode::readPOC},
      {0xFF51, kExpectSIZ, &cJ2KDecode::readSIZ},  {0xFF55, kMainHeader, &cJ2KDecode::readTLM},
      {0xFF57, kMainHeader, &cJ2KDecode::readPLM}, {0xFF58, kTilePartHeader, &cJ2KDecode::readPLT},
      {0xFF60, kMainHeader, &cJ2KDecode::readPPM}, {0xFF61, kTilePartHeader, &cJ2KDecode::readPPT},
      {0xFF63, kMainHeader, &cJ2KDecode::readCRG}, {0xFF64, kHeaders, &cJ2KDecode::readCOM},
      {0xFF74, kHeaders, &cJ2KDecode::readMCT},    {0xFF78, kMainHeader, &cJ2KDecode::readCBD},
      {0xFF75, kHeaders, &cJ2KDecode::readMCC},    {0xFF77, kHeaders, &cJ2KDecode::readMCO},
      {0xFF68, kHeaders, &cJ2KDecode::readIgnored}, {0xFF66, kHeaders, &cJ2KDecode::readIgnored},
      {0xFF67, kHeaders, &cJ2KDecode::readIgnored}, {0xFF69, kHeaders, &cJ2KDecode::readIgnored},
  };
  for (const sMarkerHandler& h : kHandlers)
    if (h.id == marker) return &h;
  return nullptr;
}

cJ2KDecode::cJ2KDecode() { myHeaderBuf.reserve(1000); }

cJ2KDecode::~cJ2KDecode() = default;

bool cJ2KDecode::readSegment(cJP2FileIOTarget* in, unsigned int marker, unsigned int length,
                             std::vector<sJP2MarkerInfo>& into) {
  const sMarkerHandler* h = handlerOf(marker);
  if (!h || !(myState & h->states)) return false;
  unsigned long long at = in->position - 4;
  myHeaderBuf.resize(length - 2);
  if (length > 2 && !in->readf(myHeaderBuf.data(), length - 2)) return false;
  sJP2Bytes b(myHeaderBuf.data(), myHeaderBuf.size());
  if (!(this->*h->reader)(b)) return false;
  into.push_back({marker, at, length + 2});
  return true;
}

bool cJ2KDecode::readMainHeader(cJP2FileIOTarget* in) {
  myState = kExpectSOC;
  unsigned int marker;
  if (!read16(in, marker) || marker != kSOC) return false;
  myIndex.mainStart = in->position - 2;
  myIndex.markers.push_back({kSOC, myIndex.mainStart, 2});
  myState = kExpectSIZ;
  if (!read16(in, marker)) return false;
  while (marker != kSOT) {
    unsigned int length;
    if (marker < 0xFF00 || !read16(in, length) || length < 2) return false;
    // Capabilities beyond the baseline coding (high-throughput blocks
    // above all) are announced here; decoding past them would be noise.
    if (marker == kCAP) {
      unsigned int high, low;
      myHighThroughput = length >= 6 && read16(in, high) && read16(in, low) && (high & kCapHighThroughput);
      return false;
    }
    if (handlerOf(marker)) {
      if (!readSegment(in, marker, length, myIndex.markers)) return false;
    } else {
      in->set_fp(in->position + length - 2);  // not ours to read; a short file fails at the next marker
    }
    if (!read16(in, marker)) return false;
  }
  // A codestream without its coding and quantisation defaults cannot be decoded.
  if (myState != kMainHeader || !myHasCod || !myHasQcd) return false;
  joinPpm();
  myIndex.mainEnd = in->position - 2;
  myState = kExpectSOT;
  return true;
}

bool cJ2KDecode::readHeader(cJP2FileIOTarget* in, cPtr<cJP2Image>& image) {
  if (!in || myState != kNone) return false;
  try {
    if (!readMainHeader(in)) {
      myHeader.comps.set(0);
      return false;
    }
    cJP2Image* out = new cJP2Image;
    out->copyHeader(myHeader);
    myOut.copyHeader(myHeader);
    image = out;
    return true;
  } catch (const std::bad_alloc&) {
    myHeader.comps.set(0);
    return false;
  }
}

bool cJ2KDecode::setDecodeArea(cJP2Image* image, int x0, int y0, int x1, int y1) {
  if (!image || myState != kExpectSOT || image->numcomps != myOut.numcomps) return false;
  const cJP2Image& im = myHeader;
  if (x0 == 0 && y0 == 0 && x1 == 0 && y1 == 0) {
    myStartCol = myStartRow = 0;
    myEndCol = myCp.tw;
    myEndRow = myCp.th;
    return true;
  }
  if (x0 < 0 || y0 < 0 || x1 <= 0 || y1 <= 0) return false;
  unsigned long long ux0 = static_cast<unsigned int>(x0), uy0 = static_cast<unsigned int>(y0);
  unsigned long long ux1 = static_cast<unsigned int>(x1), uy1 = static_cast<unsigned int>(y1);
  if (ux0 >= im.x1 || uy0 >= im.y1 || ux1 <= im.x0 || uy1 <= im.y0) return false;
  myStartCol = ux0 < im.x0 ? 0 : static_cast<unsigned int>((ux0 - myCp.tx0) / myCp.tdx);
  myStartRow = uy0 < im.y0 ? 0 : static_cast<unsigned int>((uy0 - myCp.ty0) / myCp.tdy);
  myEndCol = ux1 > im.x1 ? myCp.tw : static_cast<unsigned int>((ux1 - myCp.tx0 + myCp.tdx - 1) / myCp.tdx);
  myEndRow = uy1 > im.y1 ? myCp.th : static_cast<unsigned int>((uy1 - myCp.ty0 + myCp.tdy - 1) / myCp.tdy);
  ux0 = std::max<unsigned long long>(ux0, im.x0);
  uy0 = std::max<unsigned long long>(uy0, im.y0);
  ux1 = std::min<unsigned long long>(ux1, im.x1);
  uy1 = std::min<unsigned long long>(uy1, im.y1);
  for (unsigned int c = 0; c < im.numcomps; ++c) {
    const sJP2ImageComp& hc = im.comps.ptr[c];
    unsigned long long cx0 = (ux0 + hc.dx - 1) / hc.dx, cy0 = (uy0 + hc.dy - 1) / hc.dy;
    unsigned long long cx1 = (ux1 + hc.dx - 1) / hc.dx, cy1 = (uy1 + hc.dy - 1) / hc.dy;
    if (cx1 <= cx0 || cy1 <= cy0) return false;
    for (cJP2Image* target : {image, &myOut}) {
      sJP2ImageComp& ic = target->comps.ptr[c];
      ic.x0 = static_cast<unsigned int>(cx0);
      ic.y0 = static_cast<unsigned int>(cy0);
      ic.w = static_cast<unsigned int>(cx1 - cx0);
      ic.h = static_cast<unsigned int>(cy1 - cy0);
    }
  }
  myAreaSet = true;
  return true;
}

bool cJ2KDecode::readSot(sJP2Bytes& b) {
  unsigned int isot = b.u16();
  unsigned long long psot = b.u32();
  unsigned int tpsot = b.u8(), tnsot = b.u8();
  if (!b.ok || isot >= myCp.numTiles()) return false;
  if ((psot >= 1 && psot <= 11) || psot == 13) return false;
  myCurTile = isot;
  myLastTilePart = psot == 0;
  myTileComplete = false;
  std::unique_ptr<cJP2Tcp>& slot = myCp.tcps[isot];
  if (!slot) {
    slot = std::make_unique<cJP2Tcp>();
    slot->startFrom(myDefaults);
  }
  cJP2Tcp& tcp = *slot;
  // Its samples are in the image already; more data for it is damage.
  if (tcp.decoded) return false;
  if (tnsot) {
    if (tcp.numTileParts && tpsot >= tcp.numTileParts) return false;
    tcp.numTileParts = tnsot;
  }
  if (tcp.numTileParts && tpsot + 1 == tcp.numTileParts) myTileComplete = true;
  myRemaining = myLastTilePart ? 0 : psot - 12;
  myState = kTilePartHeader;
  unsigned int col = isot % myCp.tw, row = isot / myCp.tw;
  mySkipTile = (myTileToDecode >= 0 && isot != static_cast<unsigned int>(myTileToDecode)) || col < myStartCol ||
               col >= myEndCol || row < myStartRow || row >= myEndRow;
  // A tile's parts come numbered in order: one numbered past those read
  // proves a part lost in the middle, whose data (and PPM share) would leave
  // the tile's packets read from the wrong bytes. A codestream cut at its
  // end loses none this way.
  if (tpsot > tcp.tilePartsSeen && !mySkipTile) return false;
  tcp.tilePartsSeen = std::max(tcp.tilePartsSeen, tpsot + 1);
  if (myCp.ppmSeen) {
    // Every tile-part has its share, in the order the tile-parts come,
    // those of tiles left out of the area too.
    const uint8_t* headers;
    unsigned long long n;
    if (!myCp.ppmShare(myPpmAt, headers, n)) return false;
    if (!mySkipTile) tcp.ppt.insert(tcp.ppt.end(), headers, headers + n);
    tcp.pptSeen = true;
  }
  std::unique_ptr<sJP2TileIndex>& index = myIndex.tiles[isot];
  if (!index) index = std::make_unique<sJP2TileIndex>();
  index->tileno = isot;
  index->numTileParts = tcp.numTileParts;
  index->current = tpsot;
  index->tileParts.push_back({myLastSot, 0, 0});
  return true;
}

bool cJ2KDecode::readTileData(cJP2FileIOTarget* in) {
  cJP2Tcp& tcp = *myCp.tcps[myCurTile];
  sJP2TileIndex& index = *myIndex.tiles[myCurTile];
  const unsigned long long size = in->size();
  if (mySkipTile) {
    in->set_fp(myLastTilePart ? (size >= 2 ? size - 2 : 0) : in->position + myRemaining);
    myState = kExpectSOT;
    myTileComplete = false;
    return true;
  }
  if (!myLastTilePart && myRemaining == 0) {  // a tile-part of its SOT alone
    myState = kExpectSOT;
    return true;
  }
  for (;;) {
    unsigned int marker, length;
    if (!read16(in, marker)) return false;
    if (marker == kSOD) break;
    if (marker < 0xFF00 || !read16(in, length) || length < 2) return false;
    if (!myLastTilePart) {
      if (myRemaining < length + 2ULL) return false;
      myRemaining -= length + 2;
    }
    if (!readSegment(in, marker, length, index.markers)) return false;
  }
  if (!myLastTilePart) {
    if (myRemaining < 2) return false;
    myRemaining -= 2;
  }
  index.tileParts.back().endHeader = in->position;
  unsigned long long pos = in->position;
  unsigned long long wanted = myLastTilePart ? (size >= pos + 2 ? size - 2 - pos : 0) : myRemaining;
  // The file, not the header, says how much there is.
  unsigned long long present = std::min(wanted, size > pos ? size - pos : 0);
  if (!appendBytes(in, tcp.data, present)) return false;
  index.tileParts.back().endData = in->position;
  myState = present < wanted ? kShortData : kExpectSOT;
  return true;
}

bool cJ2KDecode::readTilePart(cJP2FileIOTarget* in) {
  myLastSot = in->position - 2;
  unsigned int length;
  uint8_t seg[8];
  if (!read16(in, length) || length != 10 || !in->readf(seg, 8)) return false;
  sJP2Bytes b(seg, 8);
  return readSot(b) && readTileData(in);
}

unsigned long long cJ2KDecode::coveredArea(unsigned int fromCol, unsigned int toCol, unsigned int fromRow,
                                           unsigned int toRow) const {
  return spanWithin(myCp.tx0, myCp.tdx, fromCol, toCol, myHeader.x0, myHeader.x1) *
         spanWithin(myCp.ty0, myCp.tdy, fromRow, toRow, myHeader.y0, myHeader.y1);
}

// Whether the tile-part header from `at` gives packet headers in a PPT
// segment or ends on an SOD with bytes after it before `end`: the bytes
// after SOD may hold only packet bodies, all of them empty in a flat tile.
// A header the reader would refuse holds nothing.
bool cJ2KDecode::tilePartHoldsPackets(cJP2FileIOTarget* in, unsigned long long at, unsigned long long end) {
  uint8_t m[4];
  while (at + 2 < end && in->set_fp(at) && in->readf(m, 2)) {
    if ((m[0] << 8 | m[1]) == kSOD) return true;
    if (m[0] != 0xFF || at + 4 > end || !in->readf(m + 2, 2) || (m[2] << 8 | m[3]) < 2) return false;
    const unsigned int marker = m[0] << 8 | m[1], length = m[2] << 8 | m[3];
    // Beyond its Zppt byte, a PPT holds one packet header at least.
    if (marker == kPPT && length > 3 && at + 2 + length <= end) return true;
    at += 2 + static_cast<unsigned long long>(length);
  }
  return false;
}

bool cJ2KDecode::tilesCoverPicture(cJP2FileIOTarget* in) {
  const unsigned long long picture = coveredArea(myStartCol, myEndCol, myStartRow, myEndRow);
  // A picture none of whose tiles is held is no picture, however small.
  const unsigned long long need = picture <= kAnyCoverArea ? 1 : (picture + kCoverShare - 1) / kCoverShare;
  // The tile-parts are walked by their lengths, from the SOT that ended the
  // main header, to the first place that holds no SOT.
  const unsigned long long resume = in->position, size = in->size();
  std::vector<bool> held(myCp.numTiles());
  unsigned long long covered = 0, ppmAt = 0;
  for (unsigned long long at = resume - 2; covered < need && at + 12 <= size;) {
    uint8_t sot[12];
    if (!in->set_fp(at) || !in->readf(sot, 12) || (sot[0] << 8 | sot[1]) != kSOT) break;
    const unsigned int isot = static_cast<unsigned int>(sot[4] << 8 | sot[5]);
    const unsigned long long psot =
        static_cast<unsigned long long>(sot[6]) << 24 | sot[7] << 16 | sot[8] << 8 | sot[9];
    // Psot 0 runs to the EOC that ends the file.
    const unsigned long long end = psot ? std::min(at + psot, size) : size - 2;
    const uint8_t* headers;
    unsigned long long packed = 0;
    if (myCp.ppmSeen && !myCp.ppmShare(ppmAt, headers, packed)) break;  // the decoder refuses the rest
    if (isot < held.size() && !held[isot] && (packed > 0 || tilePartHoldsPackets(in, at + 12, end))) {
      held[isot] = true;
      const unsigned int col = isot % myCp.tw, row = isot / myCp.tw;
      if (col >= myStartCol && col < myEndCol && row >= myStartRow && row < myEndRow)
        covered += coveredArea(col, col + 1, row, row + 1);
    }
    if (psot < 12) break;  // 0 runs to the end; below 12 the reader refuses
    at += psot;
  }
  in->set_fp(resume);
  return covered >= need;
}

bool cJ2KDecode::decodeTile(unsigned int tileno) {
  cJP2Tcp& tcp = *myCp.tcps[tileno];
  myState |= kTileReady;
  bool ok = tcp.pptSegments.joinInto(tcp.ppt) && myTcd.initTile(myOut, myCp, tcp, tileno) &&
            myTcd.decodeTile(myOut, tcp);
  if (ok && myCp.numTiles() == 1 && myTcd.planesAreImage(myOut, tcp)) {
    // A single tile over the whole image becomes the image's planes as they are.
    myTcd.planesToImage(myOut, tcp);
  } else if (ok) {
    ok = myTcd.toImage(myOut, tcp);
    // With one tile the planes are done: give their memory back.
    if (myCp.numTiles() == 1) myTcd.releasePlanes();
  }
  releaseTile(tcp);
  myState &= ~kTileReady;
  if (!ok) myState |= kError;
  return ok;
}

bool cJ2KDecode::decodeTiles(cJP2FileIOTarget* in) {
  // The main header ended on the first SOT marker.
  for (;;) {
    if (!readTilePart(in)) return false;
    if (myTileComplete && !mySkipTile) {
      if (!decodeTile(myCurTile)) return false;
      myTileComplete = false;
    }
    unsigned int marker;
    if (!read16(in, marker)) return false;
    if (marker == kEOC) break;
    if (marker != kSOT) return false;
  }
  // A share left over belongs to a tile-part the file lost: those after it
  // took the wrong shares.
  if (myCp.ppmSeen && myPpmAt != myCp.ppm.size()) return false;
  // Read to its EOC, the codestream is whole: a tile with fewer parts than
  // its TNsot lost one, and its packets would be read short. Only a file
  // cut before its EOC may end inside a tile.
  for (const auto& [tileno, tcp] : myCp.tcps)
    if (tcp->numTileParts && tcp->tilePartsSeen < tcp->numTileParts) return false;
  myState = kEndOfCodestream;
  myCurTile = 0;
  // A tile given nothing but empty PPT segments holds no packet either: it
  // stays blank, as one the file does not hold.
  for (auto& [tileno, tcp] : myCp.tcps)
    if (!tcp->decoded && (!tcp->data.empty() || !tcp->ppt.empty() || tcp->pptSegments.holdsBytes()) &&
        !decodeTile(tileno))
      return false;
  return true;
}

bool cJ2KDecode::decode(cJP2FileIOTarget* in, cJP2Image* image) {
  if (!in || !image || myState != kExpectSOT || image->numcomps != myOut.numcomps) return false;
  bool ok;
  try {
    ok = tilesCoverPicture(in) && decodeTiles(in);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  for (unsigned int c = 0; ok && c < myOut.numcomps; ++c)
    if (!myOut.comps.ptr[c].data.ptr) ok = allocPictSamples(myOut.comps.ptr[c].data,
                                                           static_cast<long long>(myOut.comps.ptr[c].w) * myOut.comps.ptr[c].h);
  if (!ok) {
    myState |= kError;
    myHeader.comps.set(0);
    for (unsigned int c = 0; c < image->numcomps; ++c) image->comps.ptr[c].data.set(0);
    return false;
  }
  for (unsigned int c = 0; c < myOut.numcomps; ++c) {
    image->comps.ptr[c].copyShape(myOut.comps.ptr[c]);
    image->comps.ptr[c].takeData(myOut.comps.ptr[c].data);
  }
  return true;
}
