// The JPEG 2000 decoder: raw codestreams through cJ2KDecode, JP2 files
// through cJP2Decode, both into a cJP2Image. Every operation answers true
// or false; nothing is printed or thrown, an allocation failure included.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "picts/jp2image.h"
#include "picts/jp2params.h"
#include "picts/jp2tile.h"

// Where the markers and tile-parts of the codestream lie. Bookkeeping
// only; made per tile as its tile-parts arrive.
struct sJP2MarkerInfo {
  unsigned int type;
  unsigned long long pos;
  unsigned int len;
};

struct sJP2TileIndex {
  struct sTilePart {
    unsigned long long start = 0, endHeader = 0, endData = 0;
  };
  unsigned int tileno = 0;
  unsigned int numTileParts = 0;
  unsigned int current = 0;
  std::vector<sTilePart> tileParts;
  std::vector<sJP2MarkerInfo> markers;
};

struct cJP2CodestreamIndex {
  unsigned long long mainStart = 0, mainEnd = 0;
  std::vector<sJP2MarkerInfo> markers;
  std::map<unsigned int, std::unique_ptr<sJP2TileIndex>> tiles;
};

class cJ2KDecode {
 public:
  enum eState {
    kNone = 0,
    kExpectSOC = 1,
    kExpectSIZ = 2,
    kMainHeader = 4,
    kExpectSOT = 8,
    kTilePartHeader = 16,
    kShortData = 64,
    kTileReady = 0x80,
    kEndOfCodestream = 256,
    kError = 0x8000,
  };

  cJ2KDecode();
  virtual ~cJ2KDecode();
  cJ2KDecode(const cJ2KDecode&) = delete;
  cJ2KDecode& operator=(const cJ2KDecode&) = delete;

  bool readHeader(cJP2FileIOTarget* in, cPtr<cJP2Image>& image);
  // After a refused header: whether it announced high-throughput block
  // coding, which this decoder does not read.
  bool highThroughput() const { return myHighThroughput; }
  bool setDecodeArea(cJP2Image* image, int x0, int y0, int x1, int y1);
  bool decode(cJP2FileIOTarget* in, cJP2Image* image);

 private:
  struct sMarkerHandler;
  static const sMarkerHandler* handlerOf(unsigned int marker);

  bool readMainHeader(cJP2FileIOTarget* in);
  void joinPpm();
  bool readSegment(cJP2FileIOTarget* in, unsigned int marker, unsigned int length, std::vector<sJP2MarkerInfo>& into);
  bool decodeTiles(cJP2FileIOTarget* in);
  // Whether the tiles the file holds cover enough of the picture to pay for
  // it, and at least one of them is there.
  bool tilesCoverPicture(cJP2FileIOTarget* in);
  static bool tilePartHoldsPackets(cJP2FileIOTarget* in, unsigned long long at, unsigned long long end);
  // Grid points of the picture within the given tile columns and rows.
  unsigned long long coveredArea(unsigned int fromCol, unsigned int toCol, unsigned int fromRow,
                                 unsigned int toRow) const;
  bool readTilePart(cJP2FileIOTarget* in);
  bool readSot(sJP2Bytes& b);
  bool readTileData(cJP2FileIOTarget* in);
  bool decodeTile(unsigned int tileno);
  cJP2Tcp& current();
  // The current component parameters, made the tile's own before a change.
  tJP2Tccps* writableTccps();
  sJP2McSet* writableMc();
  // Frees what a tile no longer needs once its samples are in the image.
  void releaseTile(cJP2Tcp& tcp);

  bool readSIZ(sJP2Bytes& b);
  bool readCOD(sJP2Bytes& b);
  bool readCOC(sJP2Bytes& b);
  bool readQCD(sJP2Bytes& b);
  bool readQCC(sJP2Bytes& b);
  bool readRGN(sJP2Bytes& b);
  bool readPOC(sJP2Bytes& b);
  bool readTLM(sJP2Bytes& b);
  bool readPLM(sJP2Bytes& b);
  bool readPLT(sJP2Bytes& b);
  bool readPPM(sJP2Bytes& b);
  bool readPPT(sJP2Bytes& b);
  bool readCRG(sJP2Bytes& b);
  bool readCOM(sJP2Bytes& b);
  bool readCBD(sJP2Bytes& b);
  bool readMCT(sJP2Bytes& b);
  bool readMCC(sJP2Bytes& b);
  bool readMCO(sJP2Bytes& b);
  bool readIgnored(sJP2Bytes& b);
  bool readSPco(sJP2Bytes& b, sJP2Tccp& tccp);
  bool readSQc(sJP2Bytes& b, sJP2Tccp& tccp);
  unsigned int readCompIndex(sJP2Bytes& b);

  int myState = kNone;
  std::vector<uint8_t> myHeaderBuf;
  sJP2CodingParameters myCp;
  cJP2Tcp myDefaults;
  cJP2Image myHeader;  // what the main header says
  cJP2Image myOut;     // the image tiles are assembled into
  cJP2Tcd myTcd;
  cJP2CodestreamIndex myIndex;
  bool myHasCod = false, myHasQcd = false;
  bool myHighThroughput = false;
  unsigned long long myOwnBytes = 0;  // records that tiles hold of their own
  cJP2PackedSegments myPpmSegments;   // until the main header ends

  // Tile-part reading.
  unsigned long long myRemaining = 0;
  unsigned int myStartCol = 0, myStartRow = 0, myEndCol = 0, myEndRow = 0;
  int myTileToDecode = -1;
  unsigned long long myLastSot = 0;
  unsigned long long myPpmAt = 0;  // the next tile-part's Nppm in the PPM bytes
  bool myLastTilePart = false, myTileComplete = false, myAreaSet = false, mySkipTile = false;
  unsigned int myCurTile = 0;
};

struct sJP2Pclr {
  struct sCmap {
    uint16_t cmp;
    uint8_t mtyp, pcol;
  };
  std::vector<uint32_t> entries;  // entry-major
  std::vector<uint8_t> sign, depth;
  std::vector<sCmap> cmap;
  bool hasCmap = false;
  unsigned int ne = 0, npc = 0;
};

// The colour boxes of a JP2 file.
class cJP2Color {
 public:
  struct sCdef {
    uint16_t cn, typ, asoc;
  };
  std::vector<uint8_t> icc;
  std::vector<sCdef> cdefs;
  bool hasCdef = false;
  cPtr<sJP2Pclr> pclr;
};

class cJP2Decode : public cJ2KDecode {
 public:
  cJP2Decode() = default;
  ~cJP2Decode() override = default;

  bool setup(unsigned int flags);
  bool readHeader(cJP2FileIOTarget* in, cPtr<cJP2Image>& image);
  bool setArea(cJP2Image* image, int x0, int y0, int x1, int y1) { return setDecodeArea(image, x0, y0, x1, y1); }
  bool decode(cJP2FileIOTarget* in, cJP2Image* image);
  bool endDecompress(cJP2FileIOTarget* in);

 private:
  enum { kSigBox = 1, kFtypBox = 2, kJp2hBox = 4, kCodestreamBox = 8 };
  bool walkBoxes(cJP2FileIOTarget* in);
  bool readFtyp(const uint8_t* data, size_t n);
  bool readJp2h(const uint8_t* data, size_t n);
  bool readColr(sJP2Bytes& b, size_t n);
  bool readPclr(sJP2Bytes& b);
  bool readCmap(sJP2Bytes& b, size_t n);
  bool readCdef(sJP2Bytes& b, size_t n);
  bool applyCdef(cJP2Image& image);
  bool applyPalette(cJP2Image& image);

  unsigned int myFlags = 0;
  unsigned int myBoxes = 0;
  unsigned int myOtherSubBox = 0;
  unsigned int myHeight = 0, myWidth = 0, myBpc = 0, myC = 0, myUnkC = 0, myIpr = 0;
  std::vector<uint8_t> myCompDepths;
  unsigned int myBrand = 0, myMinorVersion = 0;
  std::vector<uint32_t> myCompat;
  unsigned int myMeth = 0, myPrec = 0, myApprox = 0, myEnumCs = 0;
  unsigned int myLab[8] = {};
  bool myColrTaken = false;
  cJP2Color myColor;
};
