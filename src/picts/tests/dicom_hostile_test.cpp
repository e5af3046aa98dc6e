// Files built byte by byte to break the walk: wrong order, values past the
// end, deep or overlong sequences, sizes that pass 32 bits, floods of tiny
// frames and every truncation. Each must be refused or bounded, and never
// crash or ask for memory it has not checked.
#include <gtest/gtest.h>

#include "dicom_support.h"
#include "picts/pictdicom.h"
#include "picts/pictdicoml.h"

using namespace dicomtest;

namespace {

Bytes ul(unsigned v) {
  Bytes b(4);
  putLe32(b.data(), v);
  return b;
}

struct Image {
  unsigned w = 4, h = 3, frames = 1;
  const char* bitsVR = "US";
  Bytes bitsValue = u16(8);
};

// The attributes of a small 8-bit grey image and its pixel data.
void putImage(Bytes& out, const Image& im = {}) {
  putExplicit(out, 0x0028, 0x0002, "US", u16(1));
  putExplicit(out, 0x0028, 0x0010, "US", u16(im.h));
  putExplicit(out, 0x0028, 0x0011, "US", u16(im.w));
  putExplicit(out, 0x0028, 0x0100, im.bitsVR, im.bitsValue);
  putExplicit(out, 0x0028, 0x0101, "US", u16(8));
  Bytes px(static_cast<size_t>(im.w) * im.h * im.frames);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 7);
  if (px.size() % 2) px.push_back(0);
  putExplicit(out, 0x7FE0, 0x0010, "OB", px);
}

Bytes fileWith(const Image& im = {}) {
  Bytes f = preamble();
  putExplicit(f, 0x0008, 0x0016, "UI", Bytes{'1', 0});
  putImage(f, im);
  return f;
}

// `depth` sequences of undefined length, each in an item of the one above,
// the innermost item holding an image.
Bytes nested(int depth, bool legacy) {
  Bytes f = legacy ? Bytes{} : preamble(), tail;
  for (int i = 0; i < depth; ++i) {
    if (legacy)
      putElement(f, 0x0040, 0x0100, {}, 0xFFFFFFFF);
    else
      putExplicit(f, 0x0040, 0x0100, "SQ", {}, 0xFFFFFFFF);
    putElement(f, 0xFFFE, 0xE000, {}, 0xFFFFFFFF);
    putElement(tail, 0xFFFE, 0xE00D, {});
    putElement(tail, 0xFFFE, 0xE0DD, {});
  }
  if (legacy) {
    putElement(f, 0x0028, 0x0010, u16(2));
    putElement(f, 0x0028, 0x0011, u16(2));
    putElement(f, 0x0028, 0x0100, u16(8));
    putElement(f, 0x0028, 0x0101, u16(8));
    putElement(f, 0x7FE0, 0x0010, Bytes(4, 9));
  } else {
    putImage(f);
  }
  f.insert(f.end(), tail.begin(), tail.end());
  return f;
}

struct Case {
  const char* name;
  Bytes file;
  bool picture;
  int pages;  // when a picture
};

template <typename Decoder>
void expectCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    rastertest::Stream s(c.file);
    Decoder pict;
    ASSERT_EQ(pict.isPicture(&s.io, nullptr), c.picture) << c.name;
    if (c.picture) {
      EXPECT_EQ(pict.getNumPages(&s.io), c.pages) << c.name;
    }
  }
}

TEST(DicomHostile, ExplicitWalkRefusesBrokenFiles) {
  std::vector<Case> cases;
  cases.push_back({"plain", fileWith(), true, 1});
  Bytes noMagic = fileWith();
  noMagic[128] = 'X';
  cases.push_back({"no magic", noMagic, false, 0});

  Bytes swapped = preamble();
  putExplicit(swapped, 0x0028, 0x0011, "US", u16(4));
  putExplicit(swapped, 0x0028, 0x0010, "US", u16(3));
  putImage(swapped);
  cases.push_back({"out of order", swapped, false, 0});
  Bytes repeated = fileWith();
  putExplicit(repeated, 0x7FE0, 0x0010, "OB", Bytes(12));
  cases.push_back({"repeated", repeated, false, 0});
  Bytes pastEnd = fileWith();
  pastEnd.resize(pastEnd.size() - 2);
  cases.push_back({"value past the end", pastEnd, false, 0});
  Image asUL;
  asUL.bitsVR = "UL";
  asUL.bitsValue = ul(8);
  cases.push_back({"bits allocated as UL", fileWith(asUL), true, 1});
  Image asOB;
  asOB.bitsVR = "OB";
  asOB.bitsValue = u16(8);
  cases.push_back({"bits allocated as OB", fileWith(asOB), false, 0});
  Bytes unknownVR = preamble();
  putExplicit(unknownVR, 0x0008, 0x0016, "OL", Bytes(4));
  putImage(unknownVR);
  cases.push_back({"unknown VR", unknownVR, false, 0});

  cases.push_back({"nested 20 deep", nested(20, false), true, 1});
  cases.push_back({"nested 10000 deep", nested(10000, false), false, 0});
  Bytes longItem = preamble();
  Bytes item;
  putImage(item);
  Bytes sequence;
  putElement(sequence, 0xFFFE, 0xE000, item, static_cast<long long>(item.size()) + 64);
  putExplicit(longItem, 0x0040, 0x0100, "SQ", sequence);
  cases.push_back({"item past its sequence", longItem, false, 0});

  // A split never makes more pages than the bound.
  Image frames;
  frames.w = frames.h = 1;
  frames.frames = 4096;
  cases.push_back({"4096 frames", fileWith(frames), true, 4096});
  frames.frames = 1 << 20;
  cases.push_back({"a megabyte of one-pixel frames", fileWith(frames), false, 0});
  expectCases<cPictDICOM>(cases);
}

TEST(DicomHostile, BareWalkRefusesBrokenDataSets) {
  auto bare = [](unsigned rowsLength, bool trailing) {
    Bytes f;
    putElement(f, 0x0028, 0x0010, rowsLength == 2 ? u16(2) : ul(2));
    putElement(f, 0x0028, 0x0011, u16(2));
    putElement(f, 0x0028, 0x0100, u16(8));
    putElement(f, 0x0028, 0x0101, u16(8));
    putElement(f, 0x7FE0, 0x0010, Bytes(4, 1));
    if (trailing) putElement(f, 0x0008, 0x0020, Bytes(4, 'x'));
    return f;
  };
  Bytes padded = bare(2, true);
  putElement(padded, 0x7FE0, 0x0020, Bytes(2));
  std::vector<Case> cases = {
      {"plain", bare(2, false), true, 1},
      {"lower group after the pixel data", bare(2, true), true, 1},
      {"nothing read after the trailing group", padded, true, 1},
      {"rows of length 4", bare(4, false), false, 0},
      {"eight zero bytes", Bytes(8, 0), false, 0},
      {"nested 20 deep", nested(20, true), true, 1},
      {"nested 10000 deep", nested(10000, true), false, 0},
  };
  // An element of another group before group 0028 ends nothing: order is
  // only forgiven after the pixel data.
  Bytes outOfOrder;
  putElement(outOfOrder, 0x0028, 0x0010, u16(2));
  putElement(outOfOrder, 0x0008, 0x0020, Bytes(2));
  cases.push_back({"lower group before the pixel data", outOfOrder, false, 0});
  expectCases<cPictDICOMLegacy>(cases);
}

// Sizes whose product passes 32 bits are believed nowhere: the probe may
// accept the walk, the decode refuses without asking for the memory.
TEST(DicomHostile, SizesPastThirtyTwoBitsAreRefusedAtDecode) {
  Bytes f = preamble();
  putExplicit(f, 0x0028, 0x0002, "UL", ul(3));
  putExplicit(f, 0x0028, 0x0010, "UL", ul(0x10000));
  putExplicit(f, 0x0028, 0x0011, "UL", ul(0x10000));
  putExplicit(f, 0x0028, 0x0100, "US", u16(16));
  putExplicit(f, 0x0028, 0x0101, "US", u16(16));
  putExplicit(f, 0x7FE0, 0x0010, "OW", Bytes(6 * 16));
  rastertest::Stream s(f);
  cPictDICOM pict;
  EXPECT_TRUE(pict.isPicture(&s.io, nullptr));
  EXPECT_FALSE(pict.decode(&s.io));
  EXPECT_EQ(pict.raw8Bpp(), nullptr);
  EXPECT_EQ(pict.raw16Bpp(), nullptr);
}

// Record positions are 32-bit: an image past 4 GiB would be read from the
// wrong place, so such files are refused. The memory file keeps only the
// pages written.
TEST(DicomHostile, FilesOfFourGiBAreRefused) {
  Bytes head = preamble(), gap, image;
  putExplicit(head, 0x0009, 0x1000, "OB", {}, 0xFFFFFF00);
  putExplicit(gap, 0x0009, 0x1002, "OB", {}, 0x2000);
  putImage(image);
  cMemIOTarget io;
  auto writeAt = [&](unsigned long long at, Bytes& b) {
    if (io.size() < at) io.set_eof(at);
    return io.set_fp(at) && io.write(b.data(), static_cast<unsigned>(b.size())) == b.size();
  };
  unsigned long long gapAt = head.size() + 0xFFFFFF00ULL, imageAt = gapAt + gap.size() + 0x2000;
  ASSERT_TRUE(writeAt(0, head) && writeAt(gapAt, gap) && writeAt(imageAt, image));
  // Where 32-bit positions would look for the image: a copy there would be
  // believed.
  ASSERT_TRUE(writeAt(imageAt - 0x100000000ULL, image));
  io.set_fp(0);
  cPictDICOM pict;
  EXPECT_FALSE(pict.isPicture(&io, nullptr));
}

// Every prefix of a small file of each kind: probe, decode and render,
// whatever the answers.
TEST(DicomHostile, EveryTruncationIsHandled) {
  Bytes explicitFile = fileWith();
  Bytes item;
  putImage(item);
  Bytes sequence;
  putElement(sequence, 0xFFFE, 0xE000, item);
  putExplicit(explicitFile, 0x0088, 0x0200, "SQ", sequence);
  for (bool legacy : {false, true}) {
    const Bytes& whole = legacy ? nested(2, true) : explicitFile;
    for (size_t n = 0; n <= whole.size(); ++n) {
      rastertest::Stream s(Bytes(whole.begin(), whole.begin() + static_cast<long>(n)));
      cPictDICOM explicitPict;
      cPictDICOMLegacy legacyPict;
      cPictBase& pict = legacy ? static_cast<cPictBase&>(legacyPict) : explicitPict;
      bool probed = pict.isPicture(&s.io, nullptr);
      bool decoded = pict.decode(&s.io);
      EXPECT_TRUE(!decoded || probed) << n;
      cPictDummy box;
      ASSERT_TRUE(box.create(2, 2, 0));
      cPictBase::sExtPictDef target(&box);
      pict.setExtTarget(&target);
      pict.decode(&s.io);
      cPictDummy preview;
      pict.decodePagePreview(&s.io, preview, 3, 3, 1, true, 0);
    }
  }
}

}  // namespace
