// Decoding one JPEG 2000 tile: its geometry (components, resolutions,
// bands, precincts, code-blocks), the packets that fill the code-blocks
// (tier 2), the code-block coding passes (tier 1) and the reconstruction.
#pragma once

#include <cstdint>
#include <vector>

#include "base/buffers.h"
#include "picts/jp2image.h"
#include "picts/jp2params.h"

// Packet-header bits, with the bit stuffing after 0xFF.
class cJP2Bio {
 public:
  void start(const uint8_t* data, size_t n) {
    begin = cur = data;
    end = data + n;
    buf = 0;
    ct = 0;
  }
  unsigned int bit() {
    if (ct == 0) byteIn();
    --ct;
    return (buf >> ct) & 1;
  }
  unsigned int bits(int n) {
    unsigned int v = 0;
    while (n-- > 0) v = v << 1 | bit();
    return v;
  }
  // The header ends on a byte boundary; after 0xFF the stuffed byte belongs to it.
  bool align() {
    if ((buf & 0xFF) == 0xFF && !byteIn()) return false;
    ct = 0;
    return true;
  }
  size_t consumed() const { return static_cast<size_t>(cur - begin); }

 private:
  bool byteIn() {
    buf = (buf << 8) & 0xFFFF;
    ct = buf == 0xFF00 ? 7 : 8;
    if (cur >= end) return false;
    buf |= *cur++;
    return true;
  }
  const uint8_t* begin = nullptr;
  const uint8_t* cur = nullptr;
  const uint8_t* end = nullptr;
  unsigned int buf = 0;
  int ct = 0;
};

class cJP2TgtTree {
 public:
  void init(unsigned int w, unsigned int h);
  void reset();
  // Whether the leaf's value is below `threshold`, reading what it must.
  bool decode(cJP2Bio& bio, unsigned int leaf, int threshold);

 private:
  struct sNode {
    int parent;
    int value;
    int low;
  };
  std::vector<sNode> nodes;
};

// A run of coding passes that the coder terminates as one unit.
struct sJP2Seg {
  unsigned int dataStart = 0;
  unsigned int numpasses = 0;
  unsigned int newpasses = 0;
  unsigned int maxpasses = 0;
  unsigned int len = 0;
  unsigned int newlen = 0;
};

struct sJP2TcdCblkDec {
  long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  int numbps = 0;
  unsigned int numlenbits = 0;
  unsigned int totalPasses = 0;
  unsigned int newpasses = 0;  // in the packet being read
  unsigned int firstNewSeg = 0;
  unsigned int dataLen = 0;
  bool included = false;
  std::vector<uint8_t> data;  // dataLen bytes and two spare ones
  std::vector<sJP2Seg> segs;
};

struct sJP2TcdPrecinct {
  long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  unsigned int cw = 0, ch = 0;
  std::vector<sJP2TcdCblkDec> cblks;
  cJP2TgtTree incltree, imsbtree;
};

struct sJP2TcdBand {
  long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  unsigned int bandno = 0;
  float stepsize = 0;
  int numbps = 0;
  std::vector<sJP2TcdPrecinct> precincts;
  bool empty() const { return x0 >= x1 || y0 >= y1; }
};

struct sJP2TcdResolution {
  long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  unsigned int pw = 0, ph = 0;
  unsigned int numbands = 0;
  sJP2TcdBand bands[3];
};

struct sJP2TcdTileComp {
  long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  unsigned int numresolutions = 0;
  unsigned int resolutionsToDecode = 0;
  std::vector<sJP2TcdResolution> resolutions;
  // One plane per transform; kept from tile to tile and only grown.
  _typebuf<int> idata;
  _typebuf<float> fdata;
  long long width() const { return x1 - x0; }
  long long height() const { return y1 - y0; }
};

struct sJP2TcdTile {
  long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  unsigned int numcomps = 0;
  _classbuf<sJP2TcdTileComp> comps;
};

// One packet: layer, resolution, component and precinct.
struct sJP2Packet {
  unsigned int layno, resno, compno, precno;
};

class cJP2PiIterator {
 public:
  // Lays out the packets of the tile; false when there are more than
  // `headerBytes` (each packet header takes one byte at least).
  bool init(const cJP2Image& image, const cJP2Tcp& tcp, const sJP2TcdTile& tile, size_t headerBytes);
  // Yields, in the progression's order, every packet not yielded before.
  template <typename F>
  bool run(const sJP2Poc& prog, F&& yield);
  sJP2Poc whole(unsigned int prg) const;

 private:
  struct sResInfo {
    unsigned int pdx, pdy, pw, ph;
    long long first;  // index of its first packet in the include table
  };
  struct sCompInfo {
    unsigned int dx, dy, numres;
    std::vector<sResInfo> res;
  };
  bool take(unsigned int layno, unsigned int resno, unsigned int compno, unsigned int precno);
  template <typename F>
  bool positional(const sJP2Poc& prog, F&& yield);
  // Precinct at grid position x, y or -1 when none starts there.
  long long precinctAt(unsigned int compno, unsigned int resno, long long x, long long y) const;

  std::vector<sCompInfo> comps;
  std::vector<uint8_t> included;
  unsigned int numlayers = 0;
  unsigned int maxres = 0;
  unsigned long long maxprec = 0;
  long long tx0 = 0, ty0 = 0, tx1 = 0, ty1 = 0;
  long long stepx = 0, stepy = 0;
  unsigned long long positionBudget = 0;
};

class cJP2Tier2 {
 public:
  bool decodePackets(const cJP2Image& image, cJP2Tcp& tcp, sJP2TcdTile& tile);

 private:
  bool decodePacket(cJP2Tcp& tcp, sJP2TcdTile& tile, const sJP2Packet& pk);
  bool readHeader(cJP2Tcp& tcp, sJP2TcdResolution& res, const sJP2Packet& pk, bool& empty);

  cJP2Bio bio;
  const uint8_t* body = nullptr;  // tile data not yet consumed
  size_t bodyLeft = 0;
  const uint8_t* hdr = nullptr;  // where headers are read: the tile data or the PPT bytes
  size_t hdrLeft = 0;
  bool fromPpt = false;
};

class cJP2MQCoder {
 public:
  struct States {
    uint32_t qe;
    uint8_t mps;
    uint8_t nmps;  // index of the next state, sense included
    uint8_t nlps;
  };
  void init(uint8_t* data, size_t n);  // data must have 2 writable bytes after n
  void resetContexts();
  inline unsigned int decode(int ctx);

 private:
  inline void byteIn();
  inline void renorm();

  const uint8_t* bp = nullptr;
  uint32_t c = 0, a = 0;
  int ct = 0;
  States ctxs[19];
};

class cJP2Raw {
 public:
  void init(const uint8_t* data, size_t n) {
    bp = data;
    end = data + n;
    c = 0;
    ct = 0;
  }
  unsigned int decode() {
    if (ct == 0) {
      unsigned int next = bp < end ? *bp : 0xFF;
      if (c == 0xFF && next > 0x8F) {
        ct = 8;  // a marker: the reader stays on it and supplies ones
      } else {
        if (bp < end) ++bp;
        ct = c == 0xFF ? 7 : 8;  // after 0xFF only seven bits carry data
        c = next;
      }
    }
    --ct;
    return (c >> ct) & 1;
  }

 private:
  const uint8_t* bp = nullptr;
  const uint8_t* end = nullptr;
  unsigned int c = 0;
  int ct = 0;
};

class cJP2Tier1 {
 public:
  // Decodes the code-block and writes its samples into the tile-component plane.
  bool decodeCblk(sJP2TcdCblkDec& cblk, const sJP2TcdBand& band, const sJP2Tccp& tccp, sJP2TcdTileComp& tc,
                  long long px, long long py);

 private:
  bool allocate(unsigned int w, unsigned int h);
  template <bool VC>
  void sigPass(int bpno, int orient);
  template <bool VC>
  void sigPassRaw(int bpno);
  template <bool VC>
  void refPass(int bpno);
  template <bool VC>
  void refPassRaw(int bpno);
  template <bool VC>
  void cleanPass(int bpno, int orient);
  inline void becomeSignificant(uint32_t* f, uint32_t& word, int* d, int r, unsigned int neg, int value);

  cJP2MQCoder mqc;
  cJP2Raw raw;
  std::vector<int> coefs;
  std::vector<uint32_t> flags;  // a word per stripe column, a spare one on every side
  unsigned int w = 0, h = 0, fstride = 0;
};

class cJP2Tcd {
 public:
  // Geometry of tile `tileno`; false for shapes that cannot be decoded.
  bool initTile(const cJP2Image& image, const sJP2CodingParameters& cp, const cJP2Tcp& tcp, unsigned int tileno);
  bool decodeTile(cJP2Image& image, cJP2Tcp& tcp);
  // Writes the tile's samples, through the component transform, level-shifted
  // and clamped, into the image's planes where they overlap; false when a
  // plane cannot be had.
  bool toImage(cJP2Image& image, const cJP2Tcp& tcp);
  // Whether the planes are the image's components exactly (one tile over the
  // whole image, nothing decoded into it yet), and then handing them over,
  // through the component transform, level-shifted and clamped, without a
  // copy.
  bool planesAreImage(const cJP2Image& image, const cJP2Tcp& tcp) const;
  void planesToImage(cJP2Image& image, const cJP2Tcp& tcp);
  const sJP2TcdTile& tile() const { return myTile; }
  // Gives the sample planes back once no other tile will need them.
  void releasePlanes();

 private:
  bool initComp(const cJP2Image& image, const cJP2Tcp& tcp, unsigned int compno);
  void inverseDwt(sJP2TcdTileComp& tc, const sJP2Tccp& tccp, unsigned int numres);
  // Whether the component transform can apply (sizes and wavelets agree).
  bool mctFits(const cJP2Tcp& tcp) const;
  // The component transform over samples [from, to) of the planes.
  void inverseMct(const cJP2Tcp& tcp, long long from, long long to);

  sJP2TcdTile myTile;
  cJP2Tier1 myT1;
  cJP2Tier2 myT2;
  unsigned int myTileno = 0;
};
