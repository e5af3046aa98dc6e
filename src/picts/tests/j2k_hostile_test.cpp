#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>

#include "jp2_support.h"
#include "picts/pixelalloc.h"

namespace {

using namespace jp2test;

bool decodes(const Bytes& cs) { return decodeJ2k(cs).ok; }

Bytes cat2(const Bytes& a, const Bytes& b) {
  Bytes out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// Every cut of a tiled, layered codestream fails and leaves the image
// without samples; so does every cut of a JP2 file.
TEST(J2kHostile, EveryTruncationFails) {
  TempDir dir;
  Picture pic = makePicture(24, 20, 3, 8, false, 5);
  std::string file = dir / "t.j2k";
  ASSERT_TRUE(encode(dir, pic, {"-n", "2", "-t", "9,7", "-r", "4,1", "-SOP"}, file));
  Bytes cs = readFile(file);
  ASSERT_TRUE(decodes(cs));
  for (size_t n = 0; n < cs.size(); ++n) {
    Decoded d = decodeJ2k(Bytes(cs.begin(), cs.begin() + static_cast<long>(n)));
    EXPECT_FALSE(d.ok) << n;
    for (unsigned c = 0; d.image && c < d.image->numcomps; ++c) EXPECT_EQ(d.image->comps.ptr[c].data.ptr, nullptr);
  }
  std::string jp2 = dir / "t.jp2";
  ASSERT_TRUE(encode(dir, pic, {"-n", "2", "-r", "3,1"}, jp2));
  Bytes file2 = readFile(jp2);
  ASSERT_TRUE(decodeJp2(file2).ok);
  for (size_t n = 0; n < file2.size(); ++n)
    EXPECT_FALSE(decodeJp2(Bytes(file2.begin(), file2.begin() + static_cast<long>(n))).ok) << n;
}

// Headers and tile-parts that would make the decoder divide by zero, shift
// past its words, size memory by what the file does not hold or index
// outside its tables: each refused, valid neighbours accepted.
TEST(J2kHostile, DamagedHeadersAndTilePartsAreRefused) {
  TempDir dir;
  Picture pic = makePicture(20, 16, 3, 8, false, 11);
  std::string file = dir / "base.j2k";
  ASSERT_TRUE(encode(dir, pic, {"-n", "2", "-t", "10,8"}, file));
  const Bytes base = readFile(file);
  ASSERT_TRUE(decodes(base));
  const size_t cod = findMarker(base, 0xFF52);
  const std::vector<size_t> sots = sotOffsets(base);
  ASSERT_EQ(sots.size(), 4u);

  struct Case {
    const char* name;
    std::function<void(Bytes&)> patch;
    bool decodes;
  };
  auto at32 = [](size_t at, unsigned v) {
    return [at, v](Bytes& b) {
      for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
  };
  auto at8 = [](size_t at, unsigned v) { return [at, v](Bytes& b) { b[at] = static_cast<uint8_t>(v); }; };
  auto both = [](std::function<void(Bytes&)> a, std::function<void(Bytes&)> b) {
    return [a, b](Bytes& x) {
      a(x);
      b(x);
    };
  };
  auto insertMain = [](Bytes seg) { return [seg](Bytes& b) { b = insertBeforeFirstTile(b, seg); }; };
  Bytes poc16;
  for (int i = 0; i < 16; ++i) poc16.insert(poc16.end(), {0, 0, 0, 1, 2, 3, 0});
  Bytes pocWide = {0, 0, 0, 100, 33, 3, 0};
  const Case kCases[] = {
      {"tile width 0", at32(24, 0), false},
      {"tile height 0", at32(28, 0), false},
      {"horizontal sub-sampling 0", at8(43, 0), false},
      {"vertical sub-sampling 0", at8(44, 0), false},
      {"tile grid right of the image", at32(32, 1), false},
      {"image beyond the first tile", both(at32(16, 10), at32(8, 30)), false},
      {"image empty", at32(16, 20), false},
      {"more than 65535 tiles", both(both(at32(8, 300), at32(12, 300)), both(at32(24, 1), at32(28, 1))), false},
      {"2^31 by 2^31", both(at32(8, 0x80000000), at32(12, 0x80000000)), false},
      {"33-bit samples", at8(42, 32), false},
      {"code-block width 2^11", at8(cod + 10, 9), false},
      {"code-block area 2^14", both(at8(cod + 10, 5), at8(cod + 11, 5)), false},
      {"34 resolutions", at8(cod + 9, 33), false},
      {"transform 2", at8(cod + 13, 2), false},
      {"31 progression changes", insertMain(segment(0xFF5F, Bytes(poc16.begin(), poc16.begin() + 7 * 15))), true},
      {"32 progression changes", insertMain(cat2(segment(0xFF5F, poc16), segment(0xFF5F, poc16))), false},
      {"layer end beyond the layers", insertMain(segment(0xFF5F, pocWide)), true},
      {"region shift past the coefficients", insertMain(segment(0xFF5E, {1, 0, 40})), false},
      {"tile number beyond the grid", at8(sots[0] + 5, 4), false},
      {"Psot 0 on the last tile-part", at32(sots[3] + 6, 0), true},
      {"Psot past the end", at32(sots[3] + 6, 100000), false},
      {"unknown marker in the main header", insertMain(segment(0xFF6F, {1, 2})), true},
      // High-throughput coding, in each of the three places it shows.
      {"high-throughput profile bit", at8(6, 0x40), false},
      {"capabilities marker", insertMain(segment(0xFF50, {0, 2, 0, 0, 0, 0})), false},
      {"high-throughput code-block style", at8(cod + 12, 0x40), false},
      {"after a tile, neither SOT nor EOC", [](Bytes& b) { b[b.size() - 1] = 0x64; }, false},
  };
  for (const Case& c : kCases) {
    Bytes b = base;
    c.patch(b);
    EXPECT_EQ(decodes(b), c.decodes) << c.name;
  }
  for (unsigned psot = 1; psot <= 13; ++psot) {
    if (psot == 12) continue;
    Bytes b = base;
    at32(sots[0] + 6, psot)(b);
    EXPECT_FALSE(decodes(b)) << "Psot " << psot;
  }

  // An unknown marker in a tile-part header, its length counted in Psot.
  Bytes unknown = base;
  Bytes seg = segment(0xFF6F, {1, 2});
  unknown.insert(unknown.begin() + static_cast<long>(sots[0] + 12), seg.begin(), seg.end());
  unknown[sots[0] + 9] = static_cast<uint8_t>(unknown[sots[0] + 9] + seg.size());
  EXPECT_FALSE(decodes(unknown));

  // A tile-part of its SOT alone (Psot 12) is accepted.
  Bytes empty = base;
  for (size_t at : sots) empty[at + 11] = 0;
  Bytes sot = {0xFF, 0x90, 0, 10, 0, 0, 0, 0, 0, 12, 1, 0};
  empty.insert(empty.end() - 2, sot.begin(), sot.end());
  Decoded d = decodeJ2k(empty);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(compare(*d.image, pic.planes), "");
}

// One component with precincts one sample wide, the other one sample high:
// the position grid of the position-driven orders is the square of their
// packets, and the walk gives up instead of spinning through it.
TEST(J2kHostile, PositionGridFarBeyondThePacketsIsRefused) {
  const unsigned n = 1536;
  Bytes siz = {0, 0};
  for (unsigned v : {n, n, 0u, 0u, n, n, 0u, 0u}) put32(siz, v);
  put16(siz, 2);
  siz.insert(siz.end(), {7, 1, 1, 7, 1, 1});
  Bytes cs = {0xFF, 0x4F};
  for (const Bytes& s : {segment(0xFF51, siz), segment(0xFF52, {1, 2, 0, 1, 0, 0, 2, 2, 0, 1, 0xF0}),
                         segment(0xFF53, {1, 1, 0, 2, 2, 0, 1, 0x0F}), segment(0xFF5C, {0x20, 8 << 3})})
    cs.insert(cs.end(), s.begin(), s.end());
  Bytes sot = {0xFF, 0x90, 0, 10, 0, 0};
  put32(sot, 12 + 2 + 2 * n);
  sot.insert(sot.end(), {0, 1, 0xFF, 0x93});
  cs.insert(cs.end(), sot.begin(), sot.end());
  cs.insert(cs.end(), 2 * n, 0);  // every packet empty
  cs.insert(cs.end(), {0xFF, 0xD9});
  EXPECT_FALSE(decodes(cs));
  cs[findMarker(cs, 0xFF52) + 5] = 0;  // the same packets in layer order decode
  EXPECT_TRUE(decodes(cs));
}

TEST(J2kHostile, ImpossibleShapesAreRefused) {
  // SIZ with 16385 components; its length matches the count.
  Bytes siz = {0, 0};
  for (unsigned v : {8u, 8u, 0u, 0u, 8u, 8u, 0u, 0u}) put32(siz, v);
  put16(siz, 16385);
  for (int c = 0; c < 16385; ++c) siz.insert(siz.end(), {7, 1, 1});
  Bytes cs = {0xFF, 0x4F};
  Bytes s = segment(0xFF51, siz);
  cs.insert(cs.end(), s.begin(), s.end());
  cs.insert(cs.end(), {0xFF, 0xD9});
  EXPECT_FALSE(decodes(cs));

  TempDir dir;
  // Precinct exponent 0 above the lowest resolution.
  Picture pic = makePicture(40, 30, 1, 8, false, 12);
  std::string file = dir / "prec.j2k";
  ASSERT_TRUE(encode(dir, pic, {"-n", "3", "-c", "[32,32],[16,16]"}, file));
  Bytes prec = readFile(file);
  ASSERT_TRUE(decodes(prec));
  prec[findMarker(prec, 0xFF52) + 15] = 0;
  EXPECT_FALSE(decodes(prec));

  // The component transform over planes of unequal size.
  Picture sub = makePicture(40, 30, 3, 8, false, 13, {{1, 1}, {2, 2}, {2, 2}});
  ASSERT_TRUE(encode(dir, sub, {"-n", "2", "-mct", "0"}, file));
  Bytes mct = readFile(file);
  ASSERT_TRUE(decodes(mct));
  mct[findMarker(mct, 0xFF52) + 8] = 1;
  EXPECT_FALSE(decodes(mct));
}

// Lossless 16-bit noise packs more than 8192 bytes into one 64 x 64
// code-block: a size no fixed limit may refuse, since a block's bound comes
// from its samples and bit-planes.
TEST(J2kHostile, CodeBlocksHoldWhatTheirBitPlanesCan) {
  TempDir dir;
  std::string file = dir / "noise.j2k";
  for (bool sgnd : {true, false}) {
    Picture noise = makePicture(64, 64, 1, 16, sgnd, 14, {}, 60000);
    ASSERT_TRUE(encode(dir, noise, {"-n", "1", "-b", "64,64"}, file));
    Bytes cs = readFile(file);
    ASSERT_GT(cs.size(), 8192u + 200u);
    std::vector<Plane> planes;
    ASSERT_TRUE(oracle(dir, file, planes));
    Decoded d = decodeJ2k(cs);
    ASSERT_TRUE(d.ok) << sgnd;
    EXPECT_EQ(compare(*d.image, planes), "") << sgnd;
  }
}

// Kilobytes of the process's resident peak since the last reset, or of its
// resident set now.
long long statusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::strlen(field)));
  return -1;
}

// Codestreams of about a hundred bytes that declare planes of hundreds of
// megabytes and hold a few bytes of their packets: refused before a plane
// is made, so the resident peak hardly moves.
TEST(J2kHostile, DeclaredPlanesCostNothingBeforeTheirPacketsArrive) {
  struct Case {
    unsigned side, comps;
  };
  for (const Case& c : {Case{8192, 3}, Case{16384, 1}}) {
    Bytes qcd = {0x40};
    qcd.insert(qcd.end(), 16, 10 << 3);
    Bytes cs =
        handMade(c.side, c.side, c.comps,
                 {segment(0xFF52, {0, 0, 0, 1, 0, 5, 4, 4, 0, 1}), segment(0xFF5C, qcd)}, {0, 0, 0, 0});
    ASSERT_LT(cs.size(), 128u);
    {
      std::ofstream reset("/proc/self/clear_refs");
      reset << "5";
    }
    long long before = statusKb("VmRSS:");
    EXPECT_FALSE(decodes(cs)) << c.side;
    EXPECT_LT(statusKb("VmHWM:") - before, 64 * 1024) << c.side;
  }
}

// Tiles a codestream announces and its file does not hold are blank, as
// opj_decompress shows them, while those held cover a share of the picture
// or the picture is small; otherwise the picture is refused before it is
// made. One byte of a size field makes tens of thousands of such tiles.
TEST(J2kHostile, TilesTheFileDoesNotHold) {
  TempDir dir;
  std::string jp2 = dir / "one.jp2", grid = dir / "grid.j2k", small = dir / "small.j2k";
  ASSERT_TRUE(encode(dir, makePicture(61, 29, 3, 8, false, 21), {"-n", "4", "-SOP", "-EPH"}, jp2));
  ASSERT_TRUE(
      encode(dir, makePicture(2100, 2100, 1, 8, false, 22, {}, 0), {"-n", "2", "-t", "512,512"}, grid));
  ASSERT_TRUE(encode(dir, makePicture(64, 64, 1, 8, false, 23), {"-n", "2", "-t", "16,16"}, small));
  // 61 x 1,835,037 in 63,278 tiles, one of them held; the JP2 header still says 61 x 29.
  Bytes damaged = readFile(jp2);
  const uint8_t socSiz[] = {0xFF, 0x4F, 0xFF, 0x51};
  const auto soc = std::search(damaged.begin(), damaged.end(), socSiz, socSiz + 4);
  const size_t ysiz = static_cast<size_t>(soc - damaged.begin()) + 12;
  ASSERT_EQ(get32(damaged, ysiz), 29u);
  damaged[ysiz + 1] = 0x1C;
  const Bytes damagedStream(soc, damaged.end());
  // The codestream with only the tiles named.
  auto keeping = [](const Bytes& cs, std::vector<unsigned> tiles) {
    std::vector<size_t> sots = sotOffsets(cs);
    Bytes out(cs.begin(), cs.begin() + static_cast<long>(sots[0]));
    for (size_t at : sots)
      if (std::find(tiles.begin(), tiles.end(), get16(cs, at + 4)) != tiles.end())
        out.insert(out.end(), cs.begin() + static_cast<long>(at),
                   cs.begin() + static_cast<long>(at + get32(cs, at + 6)));
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
  };
  struct Case {
    const char* name;
    Bytes file;
    bool jp2, shown;
  };
  const Case cases[] = {
      {"JP2 whose Ysiz is damaged", damaged, true, false},
      {"its codestream alone", damagedStream, false, false},
      {"2 of 25 tiles of 512 x 512", keeping(readFile(grid), {0, 12}), false, true},
      {"the last of 25 tiles of 512 x 512", keeping(readFile(grid), {24}), false, false},
      {"3 of 16 tiles of a small picture", keeping(readFile(small), {1, 5, 15}), false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const unsigned long long before = pictBytesRequested();
    Decoded d = c.jp2 ? decodeJp2(c.file) : decodeJ2k(c.file);
    ASSERT_EQ(d.ok, c.shown);
    if (!c.shown) {
      EXPECT_LT(pictBytesRequested() - before, 1u << 20);
      continue;
    }
    std::string file = dir / "case.j2k";
    writeFile(file, c.file);
    std::vector<Plane> planes;
    ASSERT_TRUE(oracle(dir, file, planes));
    EXPECT_EQ(compare(*d.image, planes), "");
  }
}

}  // namespace

namespace {

// A tile is held when a tile-part of it carries data after its SOD; a
// codestream holding none is refused before its picture is made, however
// small, as opj_decompress refuses it. Tiles of empty packets, Psot 0 and
// tile-parts in any order stay pictures.
TEST(J2kHostile, TilesAreHeldByTheirData) {
  TempDir dir;
  std::string tiled = dir / "tiled.j2k", rgb = dir / "rgb.j2k";
  ASSERT_TRUE(encode(dir, makePicture(64, 64, 1, 8, false, 31), {"-n", "2", "-t", "16,16"}, tiled));
  ASSERT_TRUE(encode(dir, makePicture(16, 16, 3, 8, false, 32), {"-n", "2"}, rgb));
  const Bytes grid = readFile(tiled), small = readFile(rgb);
  // A 4096 x 4096 RGB main header, then tile 0's one tile-part: Psot 14,
  // an SOD and nothing after it; without the SOD, Psot 12.
  const size_t siz = findMarker(small, 0xFF51), sot = findMarker(small, 0xFF90);
  const Bytes defaults(small.begin() + static_cast<long>(siz + 2 + get16(small, siz + 2)),
                       small.begin() + static_cast<long>(sot));
  Bytes sodAlone = handMade(4096, 4096, 3, {defaults}, {});
  const size_t big = findMarker(sodAlone, 0xFF90);
  sodAlone[big + 11] = 0;
  Bytes sotAlone = sodAlone;
  sotAlone.erase(sotAlone.begin() + static_cast<long>(big + 12), sotAlone.begin() + static_cast<long>(big + 14));
  sotAlone[big + 9] = 12;
  // The grid's tile-parts in the order given, TNsot 0, those of tiles not
  // held cut to their SOT and SOD; the last one's Psot 0 when asked.
  auto rebuilt = [&](std::vector<unsigned> held, bool reversed, bool lastRunsOn = false) {
    std::vector<size_t> sots = sotOffsets(grid);
    Bytes out(grid.begin(), grid.begin() + static_cast<long>(sots[0]));
    if (reversed) std::reverse(sots.begin(), sots.end());
    for (size_t at : sots) {
      Bytes part(grid.begin() + static_cast<long>(at), grid.begin() + static_cast<long>(at + get32(grid, at + 6)));
      if (std::find(held.begin(), held.end(), get16(grid, at + 4)) == held.end()) {
        part.resize(12);
        part.insert(part.end(), {0xFF, 0x93});
      }
      part[11] = 0;
      for (int i = 0; i < 4; ++i) part[6 + static_cast<size_t>(i)] = static_cast<uint8_t>(part.size() >> (24 - 8 * i));
      if (lastRunsOn && at == sots.back()) std::fill(part.begin() + 6, part.begin() + 10, 0);
      out.insert(out.end(), part.begin(), part.end());
    }
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
  };
  std::vector<unsigned> all(16);
  for (unsigned t = 0; t < 16; ++t) all[t] = t;
  struct Case {
    const char* name;
    Bytes file;
    bool shown;
  };
  const Case cases[] = {
      {"4096 x 4096, a tile-part of its SOT alone", sotAlone, false},
      {"4096 x 4096, a tile-part of SOT and SOD", sodAlone, false},
      {"16 tiles, each of SOT and SOD", rebuilt({}, false), false},
      {"3 of 16 tiles carry data", rebuilt({1, 5, 15}, false), true},
      {"16 tiles in reverse order, the last of Psot 0", rebuilt(all, true, true), true},
      {"a uniform picture", constantCodestream(dir, 64, 64, 8, {128}), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir / "case.j2k";
    writeFile(file, c.file);
    std::vector<Plane> planes;
    ASSERT_EQ(oracle(dir, file, planes), c.shown);
    const unsigned long long before = pictBytesRequested();
    Decoded d = decodeJ2k(c.file);
    ASSERT_EQ(d.ok, c.shown);
    if (c.shown)
      EXPECT_EQ(compare(*d.image, planes), "");
    else
      EXPECT_LT(pictBytesRequested() - before, 1u << 20);
  }
}

}  // namespace
