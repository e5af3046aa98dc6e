// Coding parameters of a JPEG 2000 codestream as its marker segments set
// them: the default set of the main header and one set per tile that has
// tile-parts, with the per-component parameters shared until a tile-part
// header changes them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

// Big-endian fields of a marker segment or box. A read past the end answers
// 0 and leaves `ok` false, so a reader checks once after its fields.
struct sJP2Bytes {
  const uint8_t* p;
  const uint8_t* end;
  bool ok = true;

  sJP2Bytes(const uint8_t* data, size_t n) : p(data), end(data + n) {}
  size_t left() const { return static_cast<size_t>(end - p); }
  bool has(size_t n) const { return left() >= n; }
  unsigned int u8() { return take(1); }
  unsigned int u16() { return take(2); }
  unsigned int u24() { return take(3); }
  unsigned int u32() { return take(4); }
  unsigned int take(int n) {
    if (!has(static_cast<size_t>(n))) {
      ok = false;
      p = end;
      return 0;
    }
    unsigned int v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | *p++;
    return v;
  }
};

constexpr int kJP2MaxResolutions = 33;
constexpr int kJP2MaxBands = 3 * (kJP2MaxResolutions - 1) + 1;
constexpr int kJP2MaxPocs = 32;

struct sJP2StepSize {
  int16_t expn = 0;
  int16_t mant = 0;
};

struct sJP2Tccp {
  unsigned int csty = 0;
  unsigned int numresolutions = 1;
  unsigned int cblkw = 6, cblkh = 6;  // exponents
  unsigned int cblksty = 0;
  unsigned int qmfbid = 1;  // 1: reversible 5/3, 0: irreversible 9/7
  unsigned int qntsty = 0;
  unsigned int numgbits = 0;
  unsigned int roishift = 0;
  sJP2StepSize stepsizes[kJP2MaxBands];
  uint8_t prcw[kJP2MaxResolutions];
  uint8_t prch[kJP2MaxResolutions];
  int dcLevelShift = 0;

  sJP2Tccp() {
    for (int i = 0; i < kJP2MaxResolutions; ++i) prcw[i] = prch[i] = 15;
  }
};

struct sJP2Poc {
  unsigned int resno0 = 0, compno0 = 0, layno1 = 0, resno1 = 0, compno1 = 0, prg = 0;
};

enum eJP2McElement { kJP2McInt16 = 0, kJP2McInt32 = 1, kJP2McFloat32 = 2, kJP2McFloat64 = 3 };

struct sJP2MctRecord {
  unsigned int index = 0;
  unsigned int elementType = 0;
  unsigned int arrayType = 0;
  std::vector<uint8_t> data;
};

struct sJP2MccRecord {
  unsigned int index = 0;
  unsigned int numComps = 0;
  int decorrelation = -1;  // position in the MCT list, -1 none
  int offsets = -1;
  bool irreversible = false;
};

using tJP2Tccps = std::vector<sJP2Tccp>;

// The multiple-component transform records and what they give.
struct sJP2McSet {
  std::vector<sJP2MctRecord> mcts;
  std::vector<sJP2MccRecord> mccs;
  std::vector<float> matrix;  // numcomps squared, row-major; empty: none
};

// Packed packet headers arrive in marker segments that each carry an index
// (Zppm in the main header, Zppt in a tile's headers) and are read joined in
// index order. An index given twice, or one missing below the highest, is a
// segment lost: every header after it would be read from the wrong bytes.
class cJP2PackedSegments {
 public:
  void add(unsigned int index, const uint8_t* p, const uint8_t* end) {
    if (!myParts.try_emplace(index, p, end).second) myLost = true;
  }
  bool empty() const { return myParts.empty(); }
  // Whether a segment holds anything beyond its index.
  bool holdsBytes() const {
    for (const auto& [index, part] : myParts)
      if (!part.empty()) return true;
    return false;
  }
  // Appends the segments' bytes in index order and forgets them; false,
  // appending nothing, when one was lost.
  bool joinInto(std::vector<uint8_t>& into) {
    const bool whole = !myLost && (myParts.empty() || myParts.rbegin()->first + 1 == myParts.size());
    if (whole)
      for (const auto& [index, part] : myParts) into.insert(into.end(), part.begin(), part.end());
    *this = {};
    return whole;
  }

 private:
  std::map<unsigned int, std::vector<uint8_t>> myParts;
  bool myLost = false;
};

class cJP2Tcp {
 public:
  unsigned int csty = 0;
  unsigned int prg = 0;
  unsigned int numlayers = 1;
  unsigned int numLayersToDecode = 1;
  unsigned int mct = 0;
  std::vector<sJP2Poc> pocs;
  // Packed packet headers: the tile's PPT bytes or its shares of the PPM.
  std::vector<uint8_t> ppt;
  bool pptSeen = false;
  // The tile's PPT segments, joined into `ppt` when the tile is decoded.
  cJP2PackedSegments pptSegments;
  // Shared with the default set until a tile-part header writes to them.
  std::shared_ptr<tJP2Tccps> tccps;
  unsigned int numTileParts = 0;  // TNsot, 0 until known
  unsigned int tilePartsSeen = 0;  // one past the highest TPsot read
  std::vector<uint8_t> data;      // the tile-parts' data, gathered
  std::shared_ptr<sJP2McSet> mc;  // shared like the component records
  bool decoded = false;

  // The copy a tile starts from: its own lists, the larger records shared.
  void startFrom(const cJP2Tcp& defaults) {
    csty = defaults.csty, prg = defaults.prg, numlayers = defaults.numlayers;
    numLayersToDecode = defaults.numLayersToDecode, mct = defaults.mct;
    pocs = defaults.pocs;
    tccps = defaults.tccps;
    mc = defaults.mc;
  }
};

struct sJP2CodingParameters {
  unsigned int rsiz = 0;
  unsigned int tx0 = 0, ty0 = 0;  // tile grid origin
  unsigned int tdx = 0, tdy = 0;  // tile size
  unsigned int tw = 0, th = 0;    // tiles across and down
  unsigned int reduce = 0;
  unsigned int layerLimit = 0;
  // The packed packet headers of the main header's PPM segments, joined in
  // index order: for each tile-part in turn, Nppm (32 bits) then that many
  // bytes. With them, no tile-part may carry headers of its own in PPT.
  bool ppmSeen = false;
  std::vector<uint8_t> ppm;
  // The share of the tile-part whose Nppm sits at `at`, which then moves
  // past it; false when the bytes left hold no whole share.
  bool ppmShare(unsigned long long& at, const uint8_t*& headers, unsigned long long& n) const {
    if (at > ppm.size() || ppm.size() - at < 4) return false;
    n = static_cast<unsigned long long>(ppm[at]) << 24 | ppm[at + 1] << 16 | ppm[at + 2] << 8 | ppm[at + 3];
    if (ppm.size() - at - 4 < n) return false;
    headers = ppm.data() + at + 4;
    at += 4 + n;
    return true;
  }
  // Made when the tile's first tile-part arrives, so that what is held
  // follows the file rather than the tile count it announces.
  std::map<unsigned int, std::unique_ptr<cJP2Tcp>> tcps;
  unsigned int numTiles() const { return tw * th; }
};
