#include "picts/mrw.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "base/memio.h"
#include "picts/tests/camera_ifd_support.h"

namespace {

using tifftest::Bytes;

struct MrwSpec {
  bool mrm = true;  // big-endian numbers; MRI little-endian
  bool packed = false;
  int width = 32, height = 24;
  std::vector<uint16_t> samples;
  uint16_t wb[4] = {0, 0, 0, 0};
  std::string model = "DiMAGE 7";
  Bytes thumb;
};

void put(Bytes& b, uint64_t v, int n, bool big) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> 8 * (big ? n - 1 - i : i)));
}

void block(Bytes& b, const char* name, const Bytes& data, bool big) {
  b.insert(b.end(), name, name + 4);
  put(b, data.size(), 4, big);
  b.insert(b.end(), data.begin(), data.end());
}

// The embedded TIFF and the samples follow the chain's byte order.
Bytes writeMrw(const MrwSpec& s) {
  const bool big = s.mrm;
  Bytes prd(8, '0');
  put(prd, static_cast<uint64_t>(s.height), 2, big);
  put(prd, static_cast<uint64_t>(s.width), 2, big);
  put(prd, 0, 4, big);
  Bytes wbg(4, 0);
  for (uint16_t v : s.wb) put(wbg, v, 2, big);
  tifftest::Writer tiff;
  tiff.bigEndian = big;
  const std::string make = "Minolta";
  std::vector<tifftest::Entry> ifd0 = {
      {271, 2, make.size() + 1, Bytes(make.begin(), make.end() + 1)},
      {272, 2, s.model.size() + 1, Bytes(s.model.begin(), s.model.end() + 1)}};
  tiff.ifds.push_back(ifd0);
  if (!s.thumb.empty()) {
    const uint64_t at = tiff.addBlob(s.thumb);
    tiff.ifds.push_back({tiff.longEntry(513, {at}), tiff.longEntry(514, {s.thumb.size()})});
  }
  Bytes chain;
  block(chain, std::string("\0PRD", 4).c_str(), prd, big);
  // dcraw needs the model before the balance to read an A200's.
  block(chain, std::string("\0TTW", 4).c_str(), tiff.build(), big);
  block(chain, std::string("\0WBG", 4).c_str(), wbg, big);
  Bytes file = {0, 'M', 'R', static_cast<uint8_t>(big ? 'M' : 'I')};
  put(file, chain.size(), 4, big);
  file.insert(file.end(), chain.begin(), chain.end());
  if (s.packed) {
    for (size_t i = 0; i + 1 < s.samples.size(); i += 2)
      rawtest::putPair12(file, s.samples[i], s.samples[i + 1], big);
  } else {
    for (uint16_t v : s.samples) put(file, v, 2, big);
  }
  return file;
}

struct Probe : cPictMRW {
  using cPictMRW::colourBalance;
  using cPictMRW::myRaw;
  using cPictMRW::readSamples;
};

// Both number orders and both sample packings come back as written, agree
// with dcraw's raw plane and camera multipliers, and the picture is the
// sensor's size; an all-zero balance leaves the plain 12-to-16-bit factor.
TEST(MrwDecode, FormsAndPackings) {
  struct Case {
    const char* name;
    bool mrm, packed;
    const char* model;
    bool oracle;  // dcraw reads the MRM form only
  } cases[] = {
      {"mrm16", true, false, "DiMAGE 7", true},  {"mrm12", true, true, "DiMAGE A1", true},
      {"a200", true, true, "DiMAGE A200", true}, {"mri16", false, false, "DiMAGE 7", false},
      {"mri12", false, true, "DiMAGE 7", false},
  };
  unsigned seed = 5;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MrwSpec s;
    s.mrm = c.mrm;
    s.packed = c.packed;
    s.model = c.model;
    s.samples = rawtest::mosaic(s.width, s.height, false, seed++);
    for (uint16_t& v : s.samples) v &= 0xFFF;
    const uint16_t wb[4] = {460, 256, 256, 390};
    std::copy(wb, wb + 4, s.wb);
    const Bytes file = writeMrw(s);
    cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictMRW::validFor(&io, &info));
    EXPECT_EQ(info.width, 32);
    Probe mrw;
    ASSERT_TRUE(mrw.loadMrwProps(&io));
    ASSERT_TRUE(mrw.readSamples(&io));
    EXPECT_TRUE(std::equal(s.samples.begin(), s.samples.end(), mrw.myRaw.ptr));
    double ours[4];
    ASSERT_TRUE(mrw.colourBalance(ours));
    ASSERT_TRUE(mrw.decode(&io));
    EXPECT_EQ(mrw.width(), 32);
    EXPECT_EQ(mrw.height(), 24);
    if (!c.oracle) continue;
    std::vector<uint16_t> plane;
    ASSERT_TRUE(camtest::dcrawPlane(file, c.name, plane));
    EXPECT_EQ(plane, s.samples);
    double d[4] = {};
    ASSERT_TRUE(camtest::dcrawMultipliers(file, c.name, d));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(ours[k], d[k]) << k;
  }
}

// Hostile chains and every cut of a small file answer false or decode,
// never read past; an all-zero balance gives every colour the same factor.
TEST(MrwDecode, HostileAndOdd) {
  MrwSpec s;
  s.samples.assign(32 * 24, 100);
  s.packed = true;
  const Bytes good = writeMrw(s);
  cameratest::survivesEveryTruncation<cPictMRW>(good);
  Bytes passing = good;
  passing[12] = 0x7F;  // the first block now runs past the chain's end
  cBufWrapperIO io(passing.data(), static_cast<long long>(passing.size()), false);
  EXPECT_FALSE(cPictMRW::validFor(&io, nullptr));
  Bytes huge = good;
  huge[4] = 0xFF;  // a chain longer than the file
  cBufWrapperIO io2(huge.data(), static_cast<long long>(huge.size()), false);
  EXPECT_FALSE(cPictMRW::validFor(&io2, nullptr));
  Probe mrw;
  cBufWrapperIO io3(const_cast<uint8_t*>(good.data()), static_cast<long long>(good.size()), false);
  ASSERT_TRUE(mrw.loadMrwProps(&io3));
  double b[4];
  ASSERT_TRUE(mrw.colourBalance(b));
  for (double v : b) EXPECT_EQ(v, 1.0);
}

// The thumbnail comes whole when it fits the box, else rendered to fit.
TEST(MrwDecode, ThumbnailWholeOrScaled) {
  MrwSpec s;
  s.samples.assign(32 * 24, 100);
  s.thumb = cameratest::toolJpeg("40x30", "gradient:red-blue");
  const Bytes file = writeMrw(s);
  cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
  struct {
    long long maxW, maxH, w, h;
  } boxes[] = {{40, 30, 40, 30}, {100, 100, 40, 30}, {20, 100, 20, 15}, {10, 6, 8, 6}};
  for (auto& b : boxes) {
    cPictMRW mrw;
    cPictDummy out;
    ASSERT_TRUE(mrw.getPreview(&io, out, &b.maxW, &b.maxH));
    EXPECT_EQ(out.width(), b.w);
    EXPECT_EQ(out.height(), b.h);
  }
}

}  // namespace
