// Files of a few hundred bytes that declare 16384 x 16384 pixels: each
// decoder must refuse them without first committing the gigabyte that such
// a picture would take. The count of bytes asked for through the pixel
// allocator is the measure (sanitizer builds make the resident set useless).
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "dicom_support.h"
#include "jp2_support.h"
#include "jpeg_support.h"
#include "picts/pixelalloc.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr unsigned kSide = 16384;
constexpr unsigned long long kBudget = 64ULL << 20;

void le16(Bytes& b, unsigned v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void le32(Bytes& b, unsigned v) {
  le16(b, v & 0xFFFF);
  le16(b, v >> 16);
}
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Makes the frame header of `f` claim kSide on both sides; answers where its
// first scan header starts (0: no frame or no scan).
size_t claimHuge(Bytes& f) {
  size_t sof = 0, sos = 0;
  for (size_t i = 2; i + 4 < f.size() && !sos; i += 2 + (f[i + 2] << 8 | f[i + 3])) {
    if ((f[i + 1] >= 0xC0 && f[i + 1] <= 0xC3) || f[i + 1] == 0xC9 || f[i + 1] == 0xCA) sof = i;
    if (f[i + 1] == 0xDA) sos = i;
  }
  if (!sof || !sos) return 0;
  for (size_t at : {sof + 5, sof + 7}) {
    f[at] = kSide >> 8;
    f[at + 1] = kSide & 0xFF;
  }
  return sos;
}

size_t scanDataAt(const Bytes& f, size_t sos) { return sos + 2 + (f[sos + 2] << 8 | f[sos + 3]); }

// A small picture written by cjpeg, its frame header made to claim kSide on
// both sides, cut `extra` bytes into its first scan.
Bytes jpegClaiming(const std::vector<std::string>& args, int channels, size_t extra) {
  Bytes f = jpegtest::tool("cjpeg", args, jpegtest::ppm(64, 64, channels, jpegtest::picture(64, 64, channels, 5)));
  size_t sos = claimHuge(f);
  if (!sos) return {};
  f.resize(std::min(f.size(), scanDataAt(f, sos) + extra));
  return f;
}

// Enough segments of `marker` (a comment, an application block) that the
// whole file could hold a kSide x kSide picture, before the first scan or
// `after` its first `scan` bytes (negative: not even its header).
Bytes padded(Bytes f, uint8_t marker, long scan, bool after = false) {
  size_t sos = claimHuge(f);
  if (!sos) return {};
  Bytes head(f.begin(), f.begin() + static_cast<long>(sos));
  const size_t data = scanDataAt(f, sos);
  Bytes tail;
  if (scan >= 0)
    tail.assign(f.begin() + static_cast<long>(sos),
                f.begin() + static_cast<long>(std::min(f.size(), data + static_cast<size_t>(scan))));
  Bytes padding;
  for (int i = 0; i < 5; ++i) padding = padding + Bytes{0xFF, marker, 0xFF, 0xFF} + Bytes(0xFFFD, 'x');
  return after ? head + tail + padding + Bytes{0xFF, 0xD9} : head + padding + tail + Bytes{0xFF, 0xD9};
}

// `f`'s headers up to its first scan's data, then `n` zero bytes, which read
// as entropy-coded data.
Bytes zeroScan(Bytes f, size_t n) {
  const size_t sos = claimHuge(f);
  if (!sos) return {};
  f.resize(scanDataAt(f, sos));
  return f + Bytes(n, 0) + Bytes{0xFF, 0xD9};
}

// `f`'s headers and the first 64 bytes of its first scan's data, then
// `unit` repeated until the file could hold the picture at a bit a block,
// with the frame's precision set to `precision`.
Bytes paddedAfterScan(Bytes f, const Bytes& unit, unsigned precision) {
  const size_t sos = claimHuge(f);
  if (!sos) return {};
  size_t sof = 2;
  while (f[sof + 1] < 0xC0 || f[sof + 1] > 0xC2) sof += 2 + (f[sof + 2] << 8 | f[sof + 3]);
  f[sof + 4] = static_cast<uint8_t>(precision);
  f.resize(scanDataAt(f, sos) + 64);
  while (f.size() < size_t(kSide) * kSide / 512 + 4096) f.insert(f.end(), unit.begin(), unit.end());
  return f + Bytes{0xFF, 0xD9};
}

Bytes cjpeg(const std::vector<std::string>& args) {
  return jpegtest::tool("cjpeg", args, jpegtest::ppm(64, 64, 3, jpegtest::picture(64, 64, 3, 6)));
}

// A lossless frame claiming kSide x kSide whose one scan holds `data` bytes:
// enough for a picture of one bit per 64 pixels, far too few for one bit a
// sample.
Bytes losslessClaiming(size_t data) {
  jpegtest::Lossless im;
  im.width = im.height = 8;
  Bytes f = jpegtest::writeLossless(im);
  size_t sos = claimHuge(f);
  if (!sos) return {};
  f.resize(scanDataAt(f, sos));
  return f + Bytes(data, 0x5A) + Bytes{0xFF, 0xD9};
}

Bytes bmpRle8() {
  Bytes f = text("BM");
  le32(f, 14 + 40 + 1024 + 2);
  le32(f, 0);
  le32(f, 14 + 40 + 1024);
  le32(f, 40);
  for (unsigned v : {kSide, kSide}) le32(f, v);
  le16(f, 1);
  le16(f, 8);
  for (unsigned v : {1u, 2u, 2835u, 2835u, 256u, 0u}) le32(f, v);
  f.resize(f.size() + 1024, 0x40);
  return f + Bytes{0, 0};
}

// A PNG whose one IDAT holds a few hundred deflated zero bytes.
Bytes pngClaiming(int depth, int colorType) {
  pngtest::Image im;
  im.width = im.height = kSide;
  im.depth = depth;
  im.colorType = colorType;
  Bytes zeros(20000), z(compressBound(20000));
  uLongf size = static_cast<uLongf>(z.size());
  compress2(z.data(), &size, zeros.data(), static_cast<uLong>(zeros.size()), 9);
  z.resize(size);
  return pngtest::fileOf({{"IHDR", pngtest::headerData(im)}, {"IDAT", z}});
}

Bytes gifClaiming() {
  Bytes f = text("GIF89a");
  le16(f, kSide);
  le16(f, kSide);
  f = f + Bytes{0x80, 0, 0, 0, 0, 0, 255, 255, 255, 0x2C, 0, 0, 0, 0};
  le16(f, kSide);
  le16(f, kSide);
  f = f + Bytes{0, 2, 200} + Bytes(200, 0x55) + Bytes{0, 0x3B};
  return f;
}

Bytes tgaClaiming() {
  Bytes f = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  le16(f, kSide);
  le16(f, kSide);
  f = f + Bytes{24, 0};
  for (int i = 0; i < 50; ++i) f = f + Bytes{0xFF, 1, 2, 3};
  return f;
}

Bytes pcxClaiming() {
  Bytes f = {10, 5, 1, 8, 0, 0, 0, 0};
  le16(f, kSide - 1);
  le16(f, kSide - 1);
  f.resize(65, 0);
  f.push_back(3);
  le16(f, kSide);
  f.resize(128, 0);
  return f + Bytes(300, 0xFF);
}

Bytes icoHolding(const Bytes& inner) {
  Bytes f = {0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 32, 0};
  le32(f, static_cast<unsigned>(inner.size()));
  le32(f, 22);
  return f + inner;
}

Bytes icnsHolding(const Bytes& png) {
  auto be32 = [](unsigned v) { return Bytes{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; };
  return text("icns") + be32(static_cast<unsigned>(16 + png.size())) + text("ic10") +
         be32(static_cast<unsigned>(8 + png.size())) + png;
}

// The attributes of an 8-bit RGB data set of kSide x kSide.
Bytes dicomHead() {
  using namespace dicomtest;
  Bytes f = preamble();
  putExplicit(f, 0x0008, 0x0016, "UI", Bytes{'1', 0});
  putExplicit(f, 0x0028, 0x0002, "US", u16(3));
  putExplicit(f, 0x0028, 0x0010, "US", u16(kSide));
  putExplicit(f, 0x0028, 0x0011, "US", u16(kSide));
  putExplicit(f, 0x0028, 0x0100, "US", u16(8));
  putExplicit(f, 0x0028, 0x0101, "US", u16(8));
  return f;
}

Bytes dicomNative() {
  Bytes f = dicomHead();
  dicomtest::putExplicit(f, 0x7FE0, 0x0010, "OB", Bytes(300, 7));
  return f;
}

// Encapsulated: an empty offset table, then one fragment with the stream.
Bytes dicomHolding(const Bytes& stream) {
  using namespace dicomtest;
  Bytes f = dicomHead();
  putExplicit(f, 0x7FE0, 0x0010, "OB", {}, 0xFFFFFFFF);
  putElement(f, 0xFFFE, 0xE000, {});
  Bytes even = stream;
  if (even.size() % 2) even.push_back(0);
  putElement(f, 0xFFFE, 0xE000, even);
  putElement(f, 0xFFFE, 0xE0DD, {});
  return f;
}

Bytes j2kClaiming(size_t body) {
  Bytes cod = {0, 0, 0, 1, 0, 5, 4, 4, 0, 0};  // 5 levels, 64 x 64 blocks
  Bytes qcd = {0x40};
  qcd.resize(1 + 16, 0x48);
  return jp2test::handMade(kSide, kSide, 1, {jp2test::segment(0xFF52, cod), jp2test::segment(0xFF5C, qcd)},
                           Bytes(body, 0xA5));
}

struct Case {
  const char* name;
  Bytes file;
};

// Each file is refused, and the bytes asked for on the way stay within the
// budget; `fits` says whether the file's size is the one its kind needs.
template <typename Fits>
void expectRefusedCheaply(const std::vector<Case>& cases, Fits fits) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(fits(c.file.size())) << c.file.size();
    pngtest::MemStream s(c.file);
    const unsigned long long before = pictBytesRequested();
    cPtr<cPictBase> pict(cPictBase::mkPicture(&s.io, nullptr));
    EXPECT_FALSE(pict);
    EXPECT_LT(pictBytesRequested() - before, kBudget);
  }
}

TEST(MemoryBound, ShortFilesClaimingHugePicturesAreRefusedBeforeTheyAreAllocated) {
  Bytes png1 = pngClaiming(1, 0), png8 = pngClaiming(8, 2);
  Bytes jpeg = jpegClaiming({"-quality", "90"}, 3, 300);
  std::vector<Case> cases = {
      {"baseline JPEG", jpeg},
      {"progressive JPEG", jpegClaiming({"-progressive"}, 3, 100)},
      {"grey JPEG", jpegClaiming({"-grayscale"}, 1, 200)},
      {"BMP RLE8", bmpRle8()},
      {"GIF", gifClaiming()},
      {"TGA RLE", tgaClaiming()},
      {"PCX", pcxClaiming()},
      {"PNG 1-bit", png1},
      {"PNG RGB", png8},
      {"PPM", text("P6\n16384 16384\n255\n") + Bytes(300, 9)},
      {"PGM 16-bit", text("P5 16384 16384 65535\n") + Bytes(300, 9)},
      {"XPM", text("/* XPM */\nstatic char *x[] = {\n\"16384 16384 1 1\",\n\"a c #FF0000\",\n\"aaaa\"\n};\n")},
      {"ICO of a PNG", icoHolding(png8)},
      {"ICNS of a PNG", icnsHolding(png1)},
      {"DICOM native", dicomNative()},
      {"DICOM of a JPEG", dicomHolding(jpeg)},
      {"DICOM of a JPEG 2000", dicomHolding(j2kClaiming(300))},
      {"J2K", j2kClaiming(300)},
      {"J2K cut in its header", j2kClaiming(0)},
  };
  expectRefusedCheaply(cases, [](size_t size) { return size > 20 && size < 2000; });
}

// Files large enough for the picture they claim, whose bytes cannot make its
// pixels: padding segments, no scan data, a coding that is never decoded, or
// too little data for the coding.
TEST(MemoryBound, BytesThatCannotMakePixelsDoNotCount) {
  Bytes baseline = cjpeg({}), progressive = cjpeg({"-progressive"});
  Bytes noScan = padded(baseline, 0xFE, -1);
  std::vector<Case> cases = {
      {"comments and no scan", noScan},
      {"application blocks and a scan header", padded(progressive, 0xE2, 0)},
      {"comments and a short scan", padded(baseline, 0xFE, 300)},
      {"progressive, comments and a short scan", padded(progressive, 0xFE, 300)},
      {"a short scan, then comments", padded(baseline, 0xFE, 300, true)},
      {"progressive, a short scan, then application blocks", padded(progressive, 0xE1, 300, true)},
      {"arithmetic coding", padded(cjpeg({"-arithmetic"}), 0xFE, 300)},
      {"lossless, a byte per 1000 samples", losslessClaiming(size_t(kSide) * kSide / 1000)},
      {"DICOM of comments and no scan", dicomHolding(noScan)},
      {"zeros for half a bit a block", zeroScan(baseline, size_t(kSide) * kSide / 1024 + 4096)},
      {"progressive, zeros for half a bit a block", zeroScan(progressive, size_t(kSide) * kSide / 1024 + 4096)},
  };
  // The whole file would have room for the picture at half a bit a block.
  expectRefusedCheaply(cases, [](size_t size) { return size > size_t(kSide) * kSide / 1024; });
}

// Only the entropy-coded bytes inside scans vouch for pixels: tables,
// arithmetic conditioning, reserved segments and restart markers after a
// short scan do not, whatever the frame's precision.
TEST(MemoryBound, SegmentsAndRestartsAfterTheScanDoNotCount) {
  const Bytes baseline = cjpeg({}), progressive = cjpeg({"-progressive"});
  auto segment = [](uint8_t marker) { return Bytes{0xFF, marker, 0xFF, 0xFF} + Bytes(0xFFFD, 'x'); };
  const Bytes restarts{0xFF, 0xD0, 0xFF, 0xD1, 0xFF, 0xD2, 0xFF, 0xD3};
  std::vector<Case> cases;
  for (unsigned precision : {8u, 12u}) {
    const bool deep = precision == 12;
    cases.push_back({deep ? "12-bit, tables" : "tables", paddedAfterScan(baseline, segment(0xDB), precision)});
    cases.push_back({deep ? "12-bit, Huffman tables" : "Huffman tables",
                     paddedAfterScan(progressive, segment(0xC4), precision)});
    cases.push_back({deep ? "12-bit, conditioning" : "conditioning", paddedAfterScan(baseline, segment(0xCC), precision)});
    cases.push_back({deep ? "12-bit, JPG0" : "JPG0", paddedAfterScan(progressive, segment(0xF0), precision)});
    cases.push_back({deep ? "12-bit, restarts" : "restarts", paddedAfterScan(baseline, restarts, precision)});
  }
  expectRefusedCheaply(cases, [](size_t size) { return size > size_t(kSide) * kSide / 512; });
}

// The same bounds leave whole flat pictures, the least data per pixel that
// each Huffman form writes, alone.
TEST(MemoryBound, FlatPicturesInEveryHuffmanFormDecode) {
  constexpr unsigned kFlat = 2304;
  const std::string dcOnly = jpegtest::scratchDir() + "/dc_only.scans";
  const std::string greyDcOnly = jpegtest::scratchDir() + "/grey_dc_only.scans";
  jpegtest::writeFile(dcOnly, text("0,1,2: 0 0 0 0;\n"));
  // One bit a block, the densest any Huffman form gets.
  jpegtest::writeFile(greyDcOnly, text("0: 0 0 0 0;\n"));
  const Bytes flat = jpegtest::ppm(kFlat, kFlat, 3, Bytes(size_t(kFlat) * kFlat * 3, 0x80));
  const std::vector<std::vector<std::string>> forms = {{},
                                                       {"-optimize"},
                                                       {"-progressive"},
                                                       {"-sample", "1x1", "-progressive"},
                                                       {"-scans", dcOnly},
                                                       {"-grayscale", "-scans", greyDcOnly}};
  for (const auto& args : forms) {
    SCOPED_TRACE(args.empty() ? "baseline" : args.back());
    Bytes f = jpegtest::tool("cjpeg", args, flat);
    ASSERT_FALSE(f.empty());
    pngtest::MemStream s(f);
    cPtr<cPictBase> pict(cPictBase::mkPicture(&s.io, nullptr));
    ASSERT_TRUE(pict);
    EXPECT_EQ(pict->raw8Bpp()[kFlat * kFlat / 2] & 0xFFFFFF, 0x808080u);
  }
  std::remove(dcOnly.c_str());
  std::remove(greyDcOnly.c_str());
}

// The stream read ahead for a large picture is put back where the decoder
// stands: a detailed progressive picture with a comment and an application
// block between its scans decodes as libjpeg decodes it.
TEST(MemoryBound, LargePictureReadAheadDecodesLikeLibjpeg) {
  constexpr unsigned kSize = 2304;
  Bytes f = jpegtest::tool("cjpeg", {"-progressive"},
                           jpegtest::ppm(kSize, kSize, 3, jpegtest::picture(kSize, kSize, 3, 9)));
  // A scan header past the first scan's data: entropy-coded bytes never hold FF DA.
  size_t later = 0;
  for (size_t i = f.size() / 8; i + 1 < f.size() && !later; ++i)
    if (f[i] == 0xFF && f[i + 1] == 0xDA) later = i;
  ASSERT_GT(later, 0u);
  const Bytes between = Bytes{0xFF, 0xFE, 0x00, 0x06, 0xFF, 0xD9, 0xFF, 0x00, 0xFF, 0xE2, 0x00, 0x04, 0xFF, 0xFF};
  f.insert(f.begin() + static_cast<long>(later), between.begin(), between.end());
  jpegtest::Reference ref;
  ASSERT_TRUE(jpegtest::referenceDecode(f, ref));
  pngtest::MemStream s(f);
  cPtr<cPictBase> pict(cPictBase::mkPicture(&s.io, nullptr));
  ASSERT_TRUE(pict);
  EXPECT_EQ(jpegtest::compare(*pict, ref), "");
}

// A stream whose reads fail from byte `failAt` on with the error mark, and
// that may be unable to go back before where it stands.
class cFragileIO : public cFileIOTarget {
 public:
  cFragileIO(const Bytes& data, unsigned long long failAt, bool back)
      : myData(data), myFailAt(failAt), myBack(back) {}
  unsigned long long size() override { return myData.size(); }
  unsigned int read(void* buf, unsigned int count) override {
    if (myAt >= myFailAt) return 0xFFFFFFFF;
    const unsigned long long n = std::min<unsigned long long>({count, myData.size() - myAt, myFailAt - myAt});
    std::memcpy(buf, myData.data() + myAt, n);
    myAt += n;
    return static_cast<unsigned int>(n);
  }
  bool set_fp(unsigned long long pos) override {
    if ((pos < myAt && !myBack) || pos > myData.size()) return false;
    myAt = pos;
    return true;
  }
  bool set_fp_end(unsigned long long offset) override {
    return offset <= myData.size() && set_fp(myData.size() - offset);
  }
  bool set_eof(unsigned long long) override { return false; }
  void close() override {}
  bool valid() override { return true; }

 private:
  const Bytes& myData;
  unsigned long long myFailAt;
  bool myBack;
  unsigned long long myAt = 0;
};

// A large picture from a stream that cannot be set back is bounded by all
// its bytes and decodes as libjpeg decodes it; a read that fails, in the
// read-ahead or before it, refuses the picture.
TEST(MemoryBound, StreamsThatCannotGoBackOrFailToRead) {
  constexpr unsigned kSize = 2304;
  const Bytes f = jpegtest::tool("cjpeg", {"-progressive"},
                                 jpegtest::ppm(kSize, kSize, 3, jpegtest::picture(kSize, kSize, 3, 8)));
  ASSERT_GT(f.size(), 300000u);
  jpegtest::Reference ref;
  ASSERT_TRUE(jpegtest::referenceDecode(f, ref));
  const Bytes small = cjpeg({});
  const struct {
    const char* name;
    const Bytes& file;
    unsigned long long failAt;
    bool back;
  } cases[] = {
      {"large, forward only", f, ~0ULL, false},
      {"large, failing in the read-ahead", f, 200000, true},
      {"large, forward only and failing", f, 200000, false},
      {"small, failing in its scan", small, small.size() / 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cFragileIO io(c.file, c.failAt, c.back);
    cPictJPEG jpeg;
    const bool whole = c.failAt == ~0ULL, decoded = jpeg.decode(&io);
    EXPECT_EQ(decoded, whole);
    if (whole && decoded) {
      EXPECT_EQ(jpegtest::compare(jpeg, ref), "");
    }
  }
}

}  // namespace
