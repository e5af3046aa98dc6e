#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>

#include "jp2_support.h"
#include "picts/pixelalloc.h"

namespace {

using namespace jp2test;

void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

// Where a codestream's packet headers are moved to, and how the result is
// spoilt when asked.
struct Packing {
  bool toMain = false;        // PPM segments, else a PPT segment in each tile-part
  size_t ppmBytes = 65000;    // the most bytes a PPM segment holds beyond Zppm
  bool nppmSplit = false;     // a segment may end inside an Nppm, not only inside headers
  bool ppmReversed = false;   // the PPM segments written last index first
  bool uncounted = false;     // TNsot 0
  size_t emptied = SIZE_MAX;  // a tile-part whose packet headers are dropped
  size_t pptBytes = SIZE_MAX;  // the most bytes a PPT segment holds, indexed across the tile's parts
  bool pptPerPart = false;     // PPT indexes counted from 0 in each tile-part
  size_t gone = SIZE_MAX;      // a tile-part dropped with its PPM share
  enum Damage {
    kNone,
    kLastShareCut,
    kLastShareGone,
    kAlsoPpt,
    kZppmTwice,
    kZppmGap,
    kTilePartGone,
    kZpptTwice,
    kZpptGap
  } damage = kNone;
};

// A codestream written with EPH, and SOP when it has more than one packet
// in a tile-part: a packet header ends at the first 0xFF 0x92 after its SOP,
// for headers cannot hold that pair and bodies hold no SOP or EPH marker.
// Each tile-part's headers, EPH markers included, move to a PPT segment of
// its own or to its share of the PPM segments; its SOP markers and bodies
// stay after SOD.
Bytes headersMoved(const Bytes& cs, const Packing& how) {
  std::vector<size_t> sots = sotOffsets(cs);
  Bytes shares, parts;
  size_t lastShare = 0;
  std::vector<size_t> nppms;  // where each Nppm starts in the shares
  std::map<unsigned, unsigned> zppts;  // the next Zppt of each tile
  for (size_t i = 0; i < sots.size(); ++i) {
    const size_t at = sots[i];
    const Bytes part(cs.begin() + static_cast<long>(at),
                     cs.begin() + static_cast<long>(at + get32(cs, at + 6)));
    size_t sod = 12;
    while (get16(part, sod) != 0xFF93) sod += 2 + get16(part, sod + 2);
    Bytes headers, bodies;
    for (size_t p = sod + 2; p < part.size();) {
      if (get16(part, p) == 0xFF91) {
        bodies.insert(bodies.end(), part.begin() + static_cast<long>(p),
                      part.begin() + static_cast<long>(p + 6));
        p += 6;
      }
      size_t eph = p;
      while (get16(part, eph) != 0xFF92) ++eph;
      headers.insert(headers.end(), part.begin() + static_cast<long>(p),
                     part.begin() + static_cast<long>(eph + 2));
      size_t next = eph + 2;
      while (next < part.size() && (next + 1 == part.size() || get16(part, next) != 0xFF91)) ++next;
      bodies.insert(bodies.end(), part.begin() + static_cast<long>(eph + 2),
                    part.begin() + static_cast<long>(next));
      p = next;
    }
    if (i == how.emptied) headers.clear();
    if (i == how.gone) continue;
    Bytes moved(part.begin(), part.begin() + static_cast<long>(sod));
    lastShare = 4 + headers.size();
    if (how.toMain) {
      nppms.push_back(shares.size());
      put32(shares, static_cast<unsigned>(headers.size()));
      append(shares, headers);
    }
    if (!how.toMain || (how.damage == Packing::kAlsoPpt && i == 0)) {
      unsigned& z = zppts[get16(part, 4)];
      if (how.pptPerPart) z = 0;
      size_t from = 0;
      do {
        const size_t to = from + std::min(how.pptBytes, headers.size() - from);
        const unsigned index =
            how.damage == Packing::kZpptTwice ? z - (z >= 2) : z + (how.damage == Packing::kZpptGap && z);
        Bytes ppt{static_cast<uint8_t>(index)};
        ppt.insert(ppt.end(), headers.begin() + static_cast<long>(from),
                   headers.begin() + static_cast<long>(to));
        append(moved, segment(0xFF61, ppt));
        from = to, ++z;
      } while (from < headers.size());
    }
    append(moved, {0xFF, 0x93});
    append(moved, bodies);
    for (int k = 0; k < 4; ++k)
      moved[6 + static_cast<size_t>(k)] = static_cast<uint8_t>(moved.size() >> (24 - 8 * k));
    if (how.uncounted) moved[11] = 0;
    if (how.damage != Packing::kTilePartGone || i != 0) append(parts, moved);
  }
  if (how.damage == Packing::kLastShareCut) shares.pop_back();
  if (how.damage == Packing::kLastShareGone) shares.resize(shares.size() - lastShare);
  std::vector<Bytes> ppms;
  for (size_t from = 0, to; how.toMain && (from < shares.size() || ppms.empty()); from = to) {
    to = std::min(shares.size(), from + how.ppmBytes);
    for (size_t n : nppms)
      if (!how.nppmSplit && n > from && n < to && to < n + 4) to = n;
    Bytes ppm{static_cast<uint8_t>(ppms.size())};
    ppm.insert(ppm.end(), shares.begin() + static_cast<long>(from), shares.begin() + static_cast<long>(to));
    if (how.damage == Packing::kZppmTwice && !ppms.empty()) ppm[0] = 0;
    if (how.damage == Packing::kZppmGap) ppm[0] = static_cast<uint8_t>(2 * ppms.size());
    ppms.push_back(segment(0xFF60, ppm));
  }
  if (how.ppmReversed) std::reverse(ppms.begin(), ppms.end());
  Bytes out(cs.begin(), cs.begin() + static_cast<long>(sots[0]));
  for (const Bytes& ppm : ppms) append(out, ppm);
  append(out, parts);
  append(out, {0xFF, 0xD9});
  return out;
}

}  // namespace

namespace {

// Packet headers packed in the main header's PPM segments, each tile-part's
// share in turn, decode as opj_decompress reads the same file and as it
// reads the codestream they came from.
TEST(J2kPackedHeaders, PpmSharesDecodeAsOpenJpeg) {
  TempDir dir;
  const Picture pic = makePicture(80, 72, 3, 8, false, 23);
  struct Case {
    const char* name;
    std::vector<std::string> options;
    Packing how;
    std::vector<std::string> area = {};
    // opj_decompress neither joins an Nppm that spans segments nor, with an
    // area, passes over the shares of the tiles outside it.
    bool openJpegReadsMoved = true;
  };
  const Case cases[] = {
      {"one tile, three layers, four resolutions", {"-n", "4", "-r", "20,5,1"}, {.toMain = true}},
      {"twelve tiles, two layers", {"-n", "3", "-r", "10,1", "-t", "24,24"}, {.toMain = true}},
      {"tile-parts by resolution, uncounted",
       {"-n", "3", "-t", "40,40", "-TP", "R"},
       {.toMain = true, .uncounted = true}},
      {"shares across PPM segments of 7 bytes, last index first",
       {"-n", "3", "-t", "40,40", "-TP", "R"},
       {.toMain = true, .ppmBytes = 7, .ppmReversed = true}},
      {"Nppm fields across PPM segments of 7 bytes",
       {"-n", "3", "-t", "40,40", "-TP", "R"},
       {.toMain = true, .ppmBytes = 7, .nppmSplit = true},
       {},
       false},
      {"an area of four of twelve tiles",
       {"-n", "2", "-t", "24,24"},
       {.toMain = true},
       {"-d", "30,30,50,60"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = dir / "source.j2k", moved = dir / "moved.j2k";
    std::vector<std::string> options = c.options;
    options.insert(options.end(), {"-SOP", "-EPH"});
    ASSERT_TRUE(encode(dir, pic, options, source));
    const Bytes packed = headersMoved(readFile(source), c.how);
    writeFile(moved, packed);
    std::vector<Plane> fromSource, fromMoved;
    ASSERT_TRUE(oracle(dir, source, fromSource, c.area));
    int area[4] = {};
    if (!c.area.empty()) {
      ASSERT_EQ(std::sscanf(c.area[1].c_str(), "%d,%d,%d,%d", &area[0], &area[1], &area[2], &area[3]), 4);
    }
    Decoded d = decodeJ2k(packed, c.area.empty() ? nullptr : area);
    ASSERT_TRUE(d.ok);
    if (c.openJpegReadsMoved) {
      ASSERT_TRUE(oracle(dir, moved, fromMoved, c.area));
      EXPECT_EQ(compare(*d.image, fromMoved), "");
    }
    EXPECT_EQ(compare(*d.image, fromSource), "");
  }
}

// A 48 x 40 picture in four tiles, each in a tile-part per resolution.
bool encodeFourTilesByResolution(const TempDir& dir, unsigned seed, const std::string& to) {
  return encode(dir, makePicture(48, 40, 1, 8, false, seed),
                {"-n", "3", "-t", "24,24", "-TP", "R", "-SOP", "-EPH"}, to);
}

// Shares that run past the PPM bytes, are missing or are left over, PPM
// segments whose order is lost, and headers in PPT as well as PPM are
// damage: the file is refused rather than decoded from the wrong bytes.
TEST(J2kPackedHeaders, DamagedPpmIsRefused) {
  TempDir dir;
  const std::string source = dir / "source.j2k";
  ASSERT_TRUE(encodeFourTilesByResolution(dir, 5, source));
  const Bytes cs = readFile(source);
  ASSERT_TRUE(decodeJ2k(headersMoved(cs, {.toMain = true, .ppmBytes = 9})).ok);
  struct Case {
    const char* name;
    Packing::Damage damage;
  };
  const Case cases[] = {
      {"the last Nppm one byte past the end", Packing::kLastShareCut},
      {"no share left for the last tile-part", Packing::kLastShareGone},
      {"a tile-part's headers in PPT too", Packing::kAlsoPpt},
      {"two PPM segments of one index", Packing::kZppmTwice},
      {"a PPM index missing", Packing::kZppmGap},
      {"the first tile-part gone, its share left", Packing::kTilePartGone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = decodeJ2k(headersMoved(cs, {.toMain = true, .ppmBytes = 9, .damage = c.damage}));
    // Still a codestream, its header read: damaged, not of another kind.
    EXPECT_TRUE(d.image.get() != nullptr);
    EXPECT_FALSE(d.ok);
  }
}

// PPT segments are joined by their indexes, which run across the tile's
// tile-parts; one repeated or skipped is a segment lost, whether or not the
// tile got all its parts. A tile-part lost in the middle of its tile, with
// its PPM share or its headers in place, shows in the tile-part numbers
// that skip it; one lost at the end of its tile, in a codestream read to
// its EOC, in a tile with fewer parts than it counts. Such files are
// refused, as opj_decompress refuses them, while a tile that does not
// count its parts cannot show the last one lost.
TEST(J2kPackedHeaders, LostSegmentsAndTilePartsAreRefused) {
  TempDir dir;
  const std::string source = dir / "source.j2k";
  ASSERT_TRUE(encodeFourTilesByResolution(dir, 7, source));
  const Bytes cs = readFile(source);
  std::vector<Plane> whole;
  ASSERT_TRUE(oracle(dir, source, whole));
  const size_t last = sotOffsets(cs).size() - 1;
  struct Case {
    const char* name;
    Packing how;
    bool shown;
  };
  const Case cases[] = {
      {"PPT segments of 5 bytes", {.pptBytes = 5}, true},
      {"PPT indexed from 0 in each tile-part", {.pptPerPart = true}, false},
      {"the same, uncounted, the last tile-part gone",
       {.uncounted = true, .pptBytes = SIZE_MAX, .pptPerPart = true, .gone = last},
       false},
      {"the last tile-part of the first tile gone with its PPT", {.gone = 2}, false},
      {"the last tile-part of the first tile gone with its PPM share", {.toMain = true, .gone = 2}, false},
      {"a PPT index repeated", {.pptBytes = 5, .damage = Packing::kZpptTwice}, false},
      {"a PPT index skipped", {.pptBytes = 5, .damage = Packing::kZpptGap}, false},
      {"a middle tile-part gone with its PPM share", {.toMain = true, .gone = 1}, false},
      {"a middle tile-part gone with its PPT", {.gone = 1}, false},
      {"the last tile-part gone with its PPM share", {.toMain = true, .gone = last}, false},
      {"uncounted, the last tile-part gone", {.uncounted = true, .gone = last}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = decodeJ2k(headersMoved(cs, c.how));
    EXPECT_TRUE(d.image.get() != nullptr);
    ASSERT_EQ(d.ok, c.shown);
    if (c.shown && c.how.gone == SIZE_MAX) {
      EXPECT_EQ(compare(*d.image, whole), "");
    }
  }
  Bytes middleGone(cs.begin(), cs.begin() + static_cast<long>(sotOffsets(cs)[1]));
  append(middleGone, Bytes(cs.begin() + static_cast<long>(sotOffsets(cs)[2]), cs.end()));
  EXPECT_FALSE(decodeJ2k(middleGone).ok) << "a middle tile-part gone, headers in place";
}

// A picture of mid-grey tiles, whose packets are all empty, but for the
// textured tiles named.
Picture flatBut(unsigned side, unsigned tile, const std::vector<unsigned>& textured) {
  Picture pic = makePicture(side, side, 1, 8, false, 41);
  const unsigned across = (side + tile - 1) / tile;
  for (unsigned y = 0; y < side; ++y)
    for (unsigned x = 0; x < side; ++x)
      if (std::find(textured.begin(), textured.end(), y / tile * across + x / tile) == textured.end())
        pic.planes[0].v[size_t(y) * side + x] = 128;
  return pic;
}

// A tile whose packet headers sit in PPT or PPM segments is held, though
// nothing follows its SOD: the bytes there are packet bodies, none in a
// flat tile. The pictures are compared with their sources, as
// opj_decompress refuses these files. A codestream that holds neither
// packet headers nor data anywhere is refused at once.
TEST(J2kPackedHeaders, TilesAreHeldByPacketHeadersWhereverTheySit) {
  TempDir dir;
  struct Case {
    const char* name;
    Picture pic;
    unsigned tile;
    Packing how;
    bool shown;
  };
  const Case cases[] = {
      {"128 x 128, four flat tiles, PPT", flatBut(128, 64, {}), 64, {}, true},
      {"the same, its tile-parts not counted", flatBut(128, 64, {}), 64, {.uncounted = true}, true},
      {"2304 x 2304, 4 of 81 tiles textured, PPT", flatBut(2304, 256, {0, 10, 40, 80}), 256, {}, true},
      {"128 x 128, four flat tiles, PPM", flatBut(128, 64, {}), 64, {.toMain = true}, true},
      {"2304 x 2304, 4 of 81 tiles textured, PPM",
       flatBut(2304, 256, {0, 10, 40, 80}),
       256,
       {.toMain = true},
       true},
      {"one flat tile, its PPM share empty", flatBut(64, 64, {}), 64, {.toMain = true, .emptied = 0}, false},
      {"the last of four uncounted tiles given an empty PPT",
       flatBut(128, 64, {0}),
       64,
       {.uncounted = true, .emptied = 3},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir / "source.j2k", tile = std::to_string(c.tile);
    ASSERT_TRUE(encode(dir, c.pic, {"-n", "1", "-EPH", "-t", tile + "," + tile}, file));
    const std::string moved = dir / "moved.j2k";
    writeFile(moved, headersMoved(readFile(file), c.how));
    std::vector<Plane> planes;
    EXPECT_FALSE(oracle(dir, moved, planes));
    const unsigned long long before = pictBytesRequested();
    Decoded d = decodeJ2k(readFile(moved));
    ASSERT_EQ(d.ok, c.shown);
    Picture shown = c.pic;
    for (unsigned y = 64; y < 128 && c.how.emptied == 3; ++y)
      std::fill_n(&shown.planes[0].v[size_t(y) * 128 + 64], 64, 0);
    if (c.shown)
      EXPECT_EQ(compare(*d.image, shown.planes), "");
    else
      EXPECT_LT(pictBytesRequested() - before, 1u << 20);
  }
}

}  // namespace
