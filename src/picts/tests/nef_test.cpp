#include "picts/nef.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "base/memio.h"
#include "picts/nef_models.h"
#include "picts/tests/nef_support.h"

namespace {

using neftest::Spec;
using tifftest::Bytes;

// Keeps the sensor plane as the strips left it, before the finishing chain.
class cNefCapture : public cPictNEF {
 public:
  std::vector<uint16_t> plane;

 protected:
  bool onAfterDecodeStripes() override {
    plane.assign(myRaw.ptr, myRaw.ptr + myRaw.count);
    return cPictNEF::onAfterDecodeStripes();
  }
};

bool decodes(const Bytes& file, cNefCapture& nef) {
  cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
  return nef.decode(&io);
}

neftest::Plane plane(int w, int h, int bits, unsigned seed, int maxStep) {
  neftest::Plane p{w, h, bits, {}};
  std::mt19937 rng(seed);
  const int top = (1 << bits) - 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // Small steps from the sample two to the left (or above) keep lossy
      // differences short; maxStep 0 means anything.
      const int base = x >= 2 ? p.at(x - 2, y) : y >= 2 ? p.at(x, y - 2) : top / 2;
      const int v = maxStep ? base + static_cast<int>(rng() % (2 * maxStep + 1)) - maxStep
                            : static_cast<int>(rng() % static_cast<unsigned>(top + 1));
      p.v.push_back(static_cast<uint16_t>(std::clamp(v, 0, top)));
    }
  return p;
}

Bytes flatBlock(char version) {
  Bytes b(12, 0);
  b[0] = static_cast<uint8_t>(version);
  return b;
}

struct BodyCase {
  const char* name;
  neftest::Body body;
  int kind, bits, subIfds, maxStep;
  neftest::NoteForm form;
  bool big;
  const char* model;
  int width = 32, height = 24;  // of the finished picture
};

// Every body kind, maker-note form and SubIFD count comes back sample for
// sample; the Huffman bodies also equal what dcraw reads from the same file.
// The four-colour E5700 decodes, and the D1X is cropped and stretched.
TEST(NefDecode, BodiesComeBackAsEncoded) {
  const BodyCase cases[] = {
      {"plain12", neftest::kPlain, 0, 12, 1, 0, neftest::kV2, false, "NIKON D9X"},
      {"plain14", neftest::kPlain, 0, 14, 2, 0, neftest::kV2, true, "NIKON D9X"},
      {"e5400", neftest::kInterlaced, 0, 12, 3, 0, neftest::kV2, false, "E5400"},
      {"chunked", neftest::kChunked, 2, 12, 4, 0, neftest::kV2, false, "NIKON D9X"},
      {"kind7", neftest::k12in16, 7, 12, 5, 0, neftest::kBare, false, "NIKON D9X"},
      {"kind9", neftest::k12in24, 9, 12, 1, 0, neftest::kV2, true, "NIKON D9X"},
      {"lossless12", neftest::kHuffman, 3, 12, 2, 0, neftest::kV2, false, "NIKON D9X"},
      {"lossless14", neftest::kHuffman, 3, 14, 3, 0, neftest::kV2, true, "NIKON D9X"},
      {"lossless12v1", neftest::kHuffman, 3, 12, 1, 0, neftest::kV1, false, "NIKON D9X"},
      {"lossy12", neftest::kHuffman, 1, 12, 2, 0, neftest::kV2, false, "NIKON D9X"},
      {"split12", neftest::kHuffman, 4, 12, 2, 15, neftest::kV2, false, "NIKON D9X"},
      {"split14", neftest::kHuffman, 4, 14, 5, 15, neftest::kV2, true, "NIKON D9X"},
      {"e5700", neftest::kInterlaced, 0, 12, 2, 0, neftest::kV2, false, "E5700"},
      {"d1x", neftest::kPlain, 0, 12, 1, 0, neftest::kV2, false, "NIKON D1X", 20, 35},
  };
  unsigned seed = 1;
  for (const BodyCase& c : cases) {
    SCOPED_TRACE(c.name);
    Spec s;
    s.plane = plane(32, 24, c.bits, seed++, c.maxStep);
    s.body = c.body;
    s.kind = c.kind;
    s.form = c.form;
    s.subIfds = c.subIfds;
    s.big = c.big;
    s.model = c.model;
    const bool huffman = c.body == neftest::kHuffman;
    if (huffman)
      s.linearization =
          c.kind == 3 ? flatBlock('F') : neftest::splitBlock(c.bits, c.kind == 4 ? 10 : 0, c.big);
    const Bytes file = neftest::writeNef(s);
    cNefCapture nef;
    ASSERT_TRUE(decodes(file, nef));
    EXPECT_EQ(nef.plane, s.plane.v);
    EXPECT_EQ(nef.width(), c.width);
    EXPECT_EQ(nef.height(), c.height);
    // dcraw reads every maker note as a TIFF stream, so it has no linearisation
    // block in a version-1 note; those files rest on the round trip.
    if (!huffman || c.form == neftest::kV1) continue;
    std::vector<uint16_t> dcraw;
    ASSERT_TRUE(camtest::dcrawPlane(file, c.name, dcraw));
    EXPECT_EQ(dcraw, s.plane.v);
  }
}

// Each colour-balance version gives the multipliers dcraw reads from it.
TEST(NefWhiteBalance, VersionsMatchDcraw) {
  const int versions[] = {100, 102, 103, 205, 209, 210, 211, 212, 213, 214, 215, 216};
  const uint16_t wb[4] = {523, 256, 397, 258};
  for (int v : versions) {
    SCOPED_TRACE(v);
    for (bool big : {false, true}) {
      Spec s;
      s.plane = plane(32, 24, 12, 7, 0);
      s.body = neftest::kPlain;
      s.big = big;
      s.serial = 3001234u + static_cast<unsigned>(v);
      s.shutter = 0x01020304u * static_cast<unsigned>(v % 7 + 1);
      s.balance = neftest::balanceBlock(v, wb, s.serial, s.shutter, big);
      const Bytes file = neftest::writeNef(s);
      cNefCapture nef;
      ASSERT_TRUE(decodes(file, nef));
      double got[4];
      ASSERT_TRUE(nef.decryptWhiteBalance(got));
      for (int c = 0; c < 4; ++c) EXPECT_EQ(got[c], wb[c]) << c;
      if (big) continue;
      double d[4] = {};
      ASSERT_TRUE(camtest::dcrawMultipliers(file, "wb.nef", d));
      for (int c = 0; c < 4; ++c) EXPECT_EQ(got[c], d[c]) << c;
    }
  }
}

}  // namespace

namespace {

Spec smallNef() {
  Spec s;
  s.plane = plane(32, 24, 12, 99, 0);
  s.linearization = flatBlock('F');
  return s;
}

bool probes(const Bytes& file) {
  cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
  return cPictNEF::validFor(&io, nullptr);
}

// Model names match whole and without regard to case; each row gives its id.
TEST(NefTables, ModelsAndCurves) {
  for (const sNikonCamera& c : gNikonCameras) EXPECT_EQ(cPictNEF::getModel(c.name), c.id) << c.name;
  EXPECT_EQ(cPictNEF::getModel("nikon d1x"), 12u);
  EXPECT_EQ(cPictNEF::getModel("NIKON D1"), cPictNEF::kUnknownModel);
  cPictNEF nef;
  for (const sNikonModelTraits& t : gNikonTraits) {
    nef.setModel(t.id);
    sMarginInfo m;
    const bool crop = nef.getCropInfo(m);
    EXPECT_EQ(crop, m.left + m.right + m.top + m.bottom > 0) << t.id;
    EXPECT_EQ(m.right, t.margins.right) << t.id;
    EXPECT_EQ(nef.blackLevel(), t.black);
  }
  // An NRW balance block gives (4 w0, w1 + w3, 4 w2, 0) when no colour
  // balance does; other tag forms leave it unset.
  Bytes nrw(1572, 0);
  std::copy_n("NRW 0100", 8, nrw.begin());
  for (int i = 0; i < 4; ++i) nrw[1556 + 4 * static_cast<size_t>(i)] = static_cast<uint8_t>(10 * (i + 1));
  EXPECT_TRUE(nef.makerNote().onTag(0x14, 7, nrw.data(), 1571));
  EXPECT_FALSE(nef.makerNote().hasNrwBalance);
  ASSERT_TRUE(nef.makerNote().onTag(0x14, 7, nrw.data(), 1572));
  double wb[4];
  ASSERT_TRUE(nef.decryptWhiteBalance(wb));
  EXPECT_EQ(wb[0], 40);
  EXPECT_EQ(wb[1], 60);
  EXPECT_EQ(wb[2], 120);
  EXPECT_EQ(wb[3], 0);
  // Blocks: version "D " with one point falls to the stored list; 15 bits
  // make an empty identity; cut blocks are refused.
  struct {
    Bytes block;
    int bits;
    bool ok;
    long long entries;
    int last;  // the top entry, -1 unchecked
  } curves[] = {
      {{'D', ' ', 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 7, 0}, 12, true, 1, 7},
      {{}, 14, true, 16384, 16383},
      {{}, 15, true, 0, -1},
      {{'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 1, 0}, 12, false, 0, -1},
      {{'D', ' ', 0, 0, 0, 0, 0, 0, 0, 0, 9, 0, 1, 0}, 12, false, 0, -1},
      {{'D', ' ', 0}, 12, false, 0, -1},
      // Points at 0, 2048 and 4096 (past the end): the top step still runs
      // towards the last point.
      {{'D', ' ', 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0xE8, 3, 0xB8, 0x0B}, 12, true, 4096, 2999},
  };
  for (auto& c : curves) {
    _typebuf<unsigned char> block;
    block.set(static_cast<long long>(c.block.size()));
    std::copy(c.block.begin(), c.block.end(), block.ptr);
    _typebuf<unsigned short> curve;
    EXPECT_EQ(nef.getCurveTblFromLinearizationData(block, curve, c.bits), c.ok);
    if (c.ok) {
      EXPECT_EQ(curve.count, c.entries);
      EXPECT_TRUE(c.last < 0 || curve.ptr[curve.count - 1] == c.last) << c.last;
    }
  }
}

// Hostile and odd files answer false without a crash; every cut of a small
// file is refused or decoded, never read past.
TEST(NefHostile, CutsAndForgedNotes) {
  const Bytes good = neftest::writeNef(smallNef());
  ASSERT_TRUE(probes(good));
  cameratest::survivesEveryTruncation<cPictNEF>(good);
  Spec shortNote = smallNef();
  shortNote.noteBytes = 9;
  EXPECT_FALSE(probes(neftest::writeNef(shortNote)));
  Spec mixedCase = smallNef();
  Bytes file = neftest::writeNef(mixedCase);
  const std::string make = "NIKON CORPORATION";
  auto at = std::search(file.begin(), file.end(), make.begin(), make.end());
  ASSERT_NE(at, file.end());
  at[1] = 'i';
  EXPECT_TRUE(probes(file));
  // A split-row block cut before its split value fails the decode.
  Spec cutBlock = smallNef();
  cutBlock.kind = 4;
  cutBlock.linearization = neftest::splitBlock(12, 0, false);
  cutBlock.linearization.resize(540);
  cNefCapture nef;
  EXPECT_FALSE(decodes(neftest::writeNef(cutBlock), nef));
}

}  // namespace

namespace {

// The preview directory's JPEG becomes the preview property and what
// getPreview hands out (scaled into a small box); a version-1 note's JPEG is
// the thumbnail.
TEST(NefPreview, PreviewDirectoryAndNoteJpeg) {
  Spec s = smallNef();
  s.subIfds = 3;
  s.previewJpeg = cameratest::toolJpeg("64x48", "gradient:red-blue");
  const Bytes file = neftest::writeNef(s);
  cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
  cPictNEF nef;
  ASSERT_TRUE(nef.decode(&io));
  const cPictPropImage* preview = nef.getPropImage(cPictBase::epPreviewImage);
  ASSERT_TRUE(preview && preview->value);
  EXPECT_EQ(preview->value->width(), 64);
  ASSERT_TRUE(nef.getPropImage(cPictBase::epThumbnail));
  struct {
    long long side, w;
  } boxes[] = {{1000, 64}, {2, 4}};
  for (auto& b : boxes) {
    cPictNEF fresh;
    cPictDummy out;
    ASSERT_TRUE(fresh.getPreview(&io, out, &b.side, &b.side));
    EXPECT_EQ(out.width(), b.w) << b.side;
  }
  Spec v1 = smallNef();
  v1.form = neftest::kV1;
  v1.noteJpeg = s.previewJpeg;
  const Bytes f1 = neftest::writeNef(v1);
  cBufWrapperIO io1(const_cast<uint8_t*>(f1.data()), static_cast<long long>(f1.size()), false);
  cPictNEF one;
  ASSERT_TRUE(one.decode(&io1));
  const cPictPropImage* thumb = one.getPropImage(cPictBase::epThumbnail);
  ASSERT_TRUE(thumb && thumb->value);
  EXPECT_EQ(thumb->value->width(), 64);
}

}  // namespace
