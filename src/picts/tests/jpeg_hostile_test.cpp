// Damaged and forged streams: every one is refused with false, without a
// crash, a sanitizer report or an allocation past the pixel limit, and what
// was decoded before the damage stays.
#include <gtest/gtest.h>

#include <algorithm>

#include "jpeg_support.h"
// After jpeglib.h, which it needs.
#include <jerror.h>

namespace {

using namespace jpegtest;

// Offset of the first marker FF `code` after SOI, or 0.
size_t markerAt(const Bytes& f, uint8_t code, size_t from = 2) {
  for (size_t i = from; i + 1 < f.size(); ++i)
    if (f[i] == 0xFF && f[i + 1] == code) return i;
  return 0;
}

bool decodes(const Bytes& file, cPictBase::sExtPictDef* target = nullptr, cPictJPEG* into = nullptr) {
  MemStream s(file);
  cPictJPEG own;
  cPictJPEG& jpeg = into ? *into : own;
  if (target) jpeg.setExtTarget(target);
  return jpeg.decode(&s.io);
}

struct Files {
  Bytes baseline, progressive, restart, lossless;
  Files() {
    Bytes src = ppm(37, 29, 3, picture(37, 29, 3, 11));
    baseline = tool("cjpeg", {"-sample", "2x2"}, src);
    progressive = tool("cjpeg", {"-progressive"}, src);
    restart = tool("cjpeg", {"-restart", "1B", "-progressive"}, src);
    Lossless im;
    im.width = 9;
    im.height = 6;
    im.comps = 3;
    im.restartRows = 2;
    for (unsigned i = 0; i < 9 * 6 * 3; ++i) im.samples.push_back(static_cast<uint16_t>(i * 7 % 256));
    lossless = writeLossless(im);
  }
};

TEST(JpegHostile, EveryTruncationIsRefusedAndKeepsTheRowsBeforeTheCut) {
  Files f;
  for (const Bytes* file : {&f.baseline, &f.progressive, &f.restart, &f.lossless}) {
    ASSERT_TRUE(decodes(*file));
    for (size_t n = 0; n + 1 < file->size(); ++n) {
      Bytes cut(file->begin(), file->begin() + static_cast<long>(n));
      EXPECT_FALSE(decodes(cut)) << n;
    }
  }
  Reference ref;
  ASSERT_TRUE(referenceDecode(f.baseline, ref));
  Bytes cut(f.baseline.begin(), f.baseline.end() - 40);
  cPictJPEG jpeg;
  EXPECT_FALSE(decodes(cut, nullptr, &jpeg));
  ASSERT_EQ(jpeg.width(), 37);
  for (unsigned y = 0; y < 16; ++y)
    for (unsigned x = 0; x < 37; ++x) ASSERT_EQ(pixel(jpeg, x, y), ref.px[y * 37 + x]) << x << "," << y;
}

TEST(JpegHostile, ForgedSegmentsAreRefused) {
  Files f;
  const Bytes& b = f.baseline;
  size_t dht = markerAt(b, 0xC4), sof = markerAt(b, 0xC0), sos = markerAt(b, 0xDA), dqt = markerAt(b, 0xDB);
  ASSERT_TRUE(dht && sof && sos && dqt);
  auto edited = [&](size_t at, std::initializer_list<uint8_t> bytes) {
    Bytes e = b;
    size_t i = at;
    for (uint8_t v : bytes) e[i++] = v;
    return e;
  };
  Bytes twoFrames = b;
  twoFrames.insert(twoFrames.begin() + static_cast<long>(sos), b.begin() + static_cast<long>(sof),
                   b.begin() + static_cast<long>(sof + 2 + (b[sof + 2] << 8 | b[sof + 3])));
  Bytes scanFirst = b;
  scanFirst.erase(scanFirst.begin() + static_cast<long>(sof),
                  scanFirst.begin() + static_cast<long>(sof + 2 + (b[sof + 2] << 8 | b[sof + 3])));
  // Five components: colour conversion and the predictors stop at four.
  Bytes fiveComponents = b;
  fiveComponents[sof + 3] = static_cast<uint8_t>(fiveComponents[sof + 3] + 6);
  fiveComponents[sof + 9] = 5;
  fiveComponents.insert(fiveComponents.begin() + static_cast<long>(sof + 19), {4, 0x11, 0, 5, 0x11, 0});
  Bytes wrongRestart = f.restart;
  size_t rst = markerAt(wrongRestart, 0xD0);
  ASSERT_TRUE(rst);
  wrongRestart[rst + 1] = 0xD3;
  // DHT: FF C4, length, class/id, 16 counts, symbols.
  const std::pair<const char*, Bytes> kCases[] = {
      {"over 256 codes", edited(dht + 5, {0xFF, 0xFF})},
      {"over-full code space", edited(dht + 5, {3})},
      {"DC symbol above 15", edited(dht + 5 + 16, {16})},
      {"table id above 3", edited(dht + 4, {0x04})},
      {"table class above AC", edited(dht + 4, {0x20})},
      {"two frames", twoFrames},
      {"scan before frame", scanFirst},
      {"frame length", edited(sof + 3, {0x10})},
      {"segment length below 2", edited(dqt + 2, {0, 1})},
      {"sampling 0x0F", edited(sof + 11, {0x0F})},
      {"sampling 0x50", edited(sof + 11, {0x50})},
      {"sampling 0x20", edited(sof + 11, {0x20})},
      {"Tq above 3", edited(sof + 12, {4})},
      {"DQT Tq above 3", edited(dqt + 4, {0x04})},
      {"zero width", edited(sof + 7, {0, 0})},
      {"scan names an unknown component", edited(sos + 5, {0x09})},
      {"scan names a component twice", edited(sos + 7, {0x01})},
      {"wrong restart marker", wrongRestart},
      {"five components", fiveComponents},
      {"no SOI", edited(0, {0xFF, 0xD9})},
      {"JPEG-LS marker", edited(sof + 1, {0xF7})},
  };
  for (const auto& c : kCases) EXPECT_FALSE(decodes(c.second)) << c.first;
}

// A forged size over a few bytes of scan: 65500 x 65500 is far past the
// pixel limit, so nothing of that size is ever asked for, with or without
// a render target and in either process.
TEST(JpegHostile, HugeFramesAreRefusedBeforeAllocation) {
  cPictDummy icon;
  ASSERT_TRUE(icon.create(16, 16, 0));
  for (const char* mode : {"-baseline", "-progressive"}) {
    Bytes file = tool("cjpeg", {mode}, ppm(16, 16, 3, picture(16, 16, 3, 2)));
    size_t sof = markerAt(file, 0xC0) ? markerAt(file, 0xC0) : markerAt(file, 0xC2);
    ASSERT_TRUE(sof) << mode;
    for (int i = 0; i < 2; ++i) {
      file[sof + 5 + 2 * i] = 0xFF;
      file[sof + 6 + 2 * i] = 0xDC;
    }
    MemStream s(file);
    cPictBase::sPictInfo info;
    EXPECT_TRUE(cPictJPEG::validFor(&s.io, &info)) << mode;
    EXPECT_EQ(info.width, 65500);
    EXPECT_FALSE(decodes(file)) << mode;
    cPictBase::sExtPictDef target(&icon);
    EXPECT_FALSE(decodes(file, &target)) << mode;
  }
}

// A lossless code that matches no table entry fails the scan at its own
// cell, in rows decoded in one run and in rows that begin with a restart.
TEST(JpegHostile, BrokenLosslessCodeIsReportedAtItsCell) {
  struct cSplRecorder : cPictJPEG {
    int x = -1, y = -1;
    void onSplError(int atX, int atY, unsigned long long) override { x = atX, y = atY; }
  };
  // width, height, components, restart rows, the (even) sample broken, its cell
  for (auto [w, h, comps, restart, sample, x, y] : {std::array<unsigned, 7>{130, 4, 1, 0, 310, 50, 2},
                                                     {7, 5, 3, 0, 76, 4, 3}, {16, 6, 1, 2, 54, 6, 3},
                                                     {16, 6, 1, 2, 36, 4, 2}}) {
    Lossless im;
    im.width = w, im.height = h, im.comps = comps, im.precision = 12, im.restartRows = restart;
    im.samples.assign(size_t(w) * h * comps, 2048);  // every one at the first prediction: code 0000
    Bytes file = writeLossless(im);
    const size_t sos = markerAt(file, 0xDA), at = sos + 2 + (size_t(file[sos + 2]) << 8 | file[sos + 3]) +
                                                  sample / 2 + (restart ? 2 * (sample / (w * comps) / restart) : 0);
    file[at] = 0xFF;  // all ones, stuffed: no code begins so
    file.insert(file.begin() + long(at) + 1, 0);
    MemStream s(file);
    cSplRecorder jpeg;
    EXPECT_FALSE(jpeg.decode(&s.io));
    EXPECT_EQ(jpeg.x, int(x)) << sample;
    EXPECT_EQ(jpeg.y, int(y)) << sample;
  }
}

}  // namespace

namespace {

// The warnings libjpeg gives over the whole decode, by message code.
std::vector<int> libjpegWarnings(const Bytes& file) {
  static std::vector<int> seen;
  seen.clear();
  jpeg_decompress_struct cinfo;
  ErrorMgr err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = onError;
  err.pub.emit_message = [](j_common_ptr c, int level) {
    if (level < 0) seen.push_back(c->err->msg_code);
  };
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return {-1};
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  std::vector<uint8_t> row(static_cast<size_t>(cinfo.output_width) * cinfo.output_components);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return seen;
}

// `f` with its last scan (header and data) repeated until it has `scans`.
Bytes lastScanRepeated(const Bytes& f, size_t scans) {
  size_t last = 0, count = 0;
  for (size_t at = markerAt(f, 0xDA); at; at = markerAt(f, 0xDA, at + 2)) last = at, ++count;
  const size_t end = markerAt(f, 0xD9, last);
  Bytes out(f.begin(), f.begin() + static_cast<long>(end));
  for (; count < scans; ++count) out.insert(out.end(), f.begin() + static_cast<long>(last), f.begin() + static_cast<long>(end));
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

}  // namespace

// A scan must take up its band at the bit the scans before it reached, as
// libjpeg checks it: where libjpeg warns of an inconsistent progression the
// file is refused, since a repeated refinement walks every block again for
// nothing. First scans repeated at full precision are consistent, and decode
// as libjpeg decodes them up to the limit on scans.
TEST(JpegHostile, ScansOutOfProgressionOrPastTheLimitAreRefused) {
  // Flat, as in the slowest such files: every refinement then reads as
  // end-of-band runs, whatever its place.
  const Bytes src = ppm(40, 24, 1, Bytes(40 * 24, 0x80));
  const std::string script = scratchDir() + "/two.scans";
  writeFile(script, Bytes{'0', ':', ' ', '0', ' ', '0', ' ', '0', ' ', '0', ';', '\n',
                          '0', ':', ' ', '1', ' ', '6', '3', ' ', '0', ' ', '0', ';', '\n'});
  const Bytes progressive = tool("cjpeg", {"-grayscale", "-progressive"}, src);
  const Bytes twoScans = tool("cjpeg", {"-grayscale", "-scans", script}, src);
  std::remove(script.c_str());
  ASSERT_FALSE(progressive.empty());
  ASSERT_FALSE(twoScans.empty());
  const struct {
    const char* name;
    Bytes file;
    bool warned, decodes;
  } cases[] = {
      {"the last refinement twice", lastScanRepeated(progressive, 7), true, false},
      {"the last refinement 40 times", lastScanRepeated(progressive, 45), true, false},
      {"a full first scan to the limit", lastScanRepeated(twoScans, cJPEGParser::kMaxScans), false, true},
      {"a full first scan past the limit", lastScanRepeated(twoScans, cJPEGParser::kMaxScans + 1), false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<int> warnings = libjpegWarnings(c.file);
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), int(JWRN_BOGUS_PROGRESSION)) > 0, c.warned);
    MemStream s(c.file);
    cPictJPEG jpeg;
    const bool decoded = jpeg.decode(&s.io);
    EXPECT_EQ(decoded, c.decodes);
    if (!decoded || !c.decodes) continue;
    Reference ref;
    ASSERT_TRUE(referenceDecode(c.file, ref));
    EXPECT_EQ(compare(jpeg, ref), "");
  }
}
