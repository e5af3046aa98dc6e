// The parser's own roads: lossless scans, the callbacks a deriving reader
// sees, the entropy decoder's end check, and refusals by general error.
#include <gtest/gtest.h>

#include <map>

#include "jpeg_support.h"

namespace {

using namespace jpegtest;

std::vector<uint16_t> samplesOf(const Lossless& im, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint16_t> s(static_cast<size_t>(im.width) * im.height * im.comps);
  unsigned top = (1u << im.precision) - 1;
  for (size_t i = 0; i < s.size(); ++i) {
    // Mostly smooth, with jumps across the whole range now and then.
    unsigned v = i % 5 == 0 ? rng() : static_cast<unsigned>(i * 37 / (im.comps + 1) + rng() % 9);
    s[i] = static_cast<uint16_t>(v & top);
  }
  return s;
}

uint64_t expectedWord(const Lossless& im, size_t at) {
  const uint16_t* s = im.samples.data() + at * im.comps;
  uint64_t r = s[0], g = im.comps == 3 ? s[1] : s[0], b = im.comps == 3 ? s[2] : s[0];
  if (im.precision > 8) return b | g << 16 | r << 32 | 0xFFFFULL << 48;
  return (b & 0xFF) | (g & 0xFF) << 8 | (r & 0xFF) << 16 | 0xFF000000u;
}

TEST(JpegLossless, StreamsOfEveryPrecisionWidthAndRestartDecodeToTheirSamples) {
  uint32_t seed = 3;
  for (unsigned precision : {2u, 8u, 12u, 16u})
    for (unsigned comps : {1u, 3u})
      for (unsigned w : {1u, 7u, 130u})
        for (unsigned restart : {0u, 1u, 3u}) {
          Lossless im;
          im.width = w;
          im.height = 11;
          im.precision = precision;
          im.comps = comps;
          im.restartRows = restart;
          im.samples = samplesOf(im, seed++);
          MemStream s(writeLossless(im));
          cPictJPEG jpeg;
          std::string where = std::to_string(precision) + " bits, " + std::to_string(comps) +
                              " components, width " + std::to_string(w) + ", restart " +
                              std::to_string(restart);
          ASSERT_TRUE(jpeg.decode(&s.io)) << where;
          ASSERT_EQ(jpeg.is16Bpp(), precision > 8) << where;
          for (unsigned y = 0; y < im.height; ++y)
            for (unsigned x = 0; x < w; ++x) {
              long long at = (im.height - 1 - y) * static_cast<long long>(w) + x;
              uint64_t got = precision > 8 ? jpeg.raw16Bpp()[at] : jpeg.raw8Bpp()[at];
              ASSERT_EQ(got, expectedWord(im, static_cast<size_t>(y) * w + x))
                  << where << " at " << x << "," << y;
            }
        }
}

// Records the general errors and what reached the picture.
class cRecorder : public cPictJPEG {
 public:
  std::vector<int> errors;
  int mcusDone = 0, mcusUpdated = 0, lines = 0;
  bool doneBeforeEnd = false;
  unsigned long long streamSize = 0;
  void onGeneralError(unsigned long long, int code) override { errors.push_back(code); }
  bool onMCUDone(int x, int y, sHuffDecodedUnit** units, int count) override {
    ++mcusDone;
    if (position < streamSize) doneBeforeEnd = true;
    return cPictJPEG::onMCUDone(x, y, units, count);
  }
  bool onMCUUpdated(int, int, sHuffDecodedUnit**, int) override {
    ++mcusUpdated;
    return true;
  }
};

// Every predictor from the row above, with and without a point transform,
// over restarts at row starts: the samples come back less the bits the
// transform left out.
TEST(JpegLossless, EveryPredictorAndPointTransformDecodeToTheirSamples) {
  uint32_t seed = 40;
  for (unsigned precision : {8u, 12u, 16u})
    for (unsigned comps : {1u, 3u})
      for (int predictor = 1; predictor <= 7; ++predictor)
        for (unsigned transform : {0u, 3u}) {
          Lossless im;
          im.width = 9;
          im.height = 7;
          im.precision = precision;
          im.comps = comps;
          im.predictor = predictor;
          im.pointTransform = transform;
          im.restartRows = predictor % 2 ? 0 : 3;
          im.samples = samplesOf(im, seed++);
          MemStream s(writeLossless(im));
          for (auto& v : im.samples) v = static_cast<uint16_t>(v >> transform << transform);
          cPictJPEG jpeg;
          const std::string where = std::to_string(precision) + " bits, " + std::to_string(comps) +
                                    " components, predictor " + std::to_string(predictor) + ", transform " +
                                    std::to_string(transform);
          ASSERT_TRUE(jpeg.decode(&s.io)) << where;
          for (unsigned y = 0; y < im.height; ++y)
            for (unsigned x = 0; x < im.width; ++x) {
              long long at = (im.height - 1 - y) * static_cast<long long>(im.width) + x;
              uint64_t got = precision > 8 ? jpeg.raw16Bpp()[at] : jpeg.raw8Bpp()[at];
              ASSERT_EQ(got, expectedWord(im, static_cast<size_t>(y) * im.width + x))
                  << where << " at " << x << "," << y;
            }
        }
}

TEST(JpegLossless, SelectionsTransformsRestartsAndSamplingOutsideTheCodingAreRefused) {
  Lossless im;
  im.width = 5;
  im.height = 4;
  im.samples = samplesOf(im, 1);
  // The selection and the point transform are the first and last bytes
  // after the scan's component list; the restart interval ends its segment.
  auto patched = [&](const Lossless& from, int marker, size_t at, uint8_t value) {
    Bytes f = writeLossless(from);
    for (size_t i = 0; i + 1 < f.size(); ++i)
      if (f[i] == 0xFF && f[i + 1] == marker) {
        f[i + at] = value;
        break;
      }
    return f;
  };
  Lossless restarted = im;
  restarted.predictor = 2;
  restarted.restartRows = 1;
  Lossless sampled = im;
  sampled.sampling = 0x21;
  const struct {
    const char* name;
    Bytes file;
    int error;
  } cases[] = {
      {"selection 0", patched(im, 0xDA, 7, 0), 6},
      {"selection 8", patched(im, 0xDA, 7, 8), 6},
      {"transform of every bit", patched(im, 0xDA, 9, 8), 6},
      {"restart inside a row", patched(restarted, 0xDD, 5, 7), 6},
      {"sampled", writeLossless(sampled), 5},
  };
  for (const auto& c : cases) {
    MemStream s(c.file);
    cRecorder jpeg;
    EXPECT_FALSE(jpeg.decode(&s.io)) << c.name;
    EXPECT_EQ(jpeg.errors, std::vector<int>{c.error}) << c.name;
  }
}

TEST(JpegParser, ProgressiveImagesGetEveryMCUOnceAtTheEndOnly) {
  for (const char* sampling : {"1x1", "2x2"}) {
    Bytes file = tool("cjpeg", {"-progressive", "-sample", sampling}, ppm(50, 35, 3, picture(50, 35, 3, 4)));
    MemStream s(file);
    cRecorder jpeg;
    jpeg.streamSize = file.size();
    ASSERT_TRUE(jpeg.decode(&s.io)) << sampling;
    EXPECT_FALSE(jpeg.doneBeforeEnd);
    EXPECT_EQ(jpeg.mcusDone, jpeg.mcusAcross() * jpeg.mcusDown()) << sampling;
    EXPECT_GT(jpeg.mcusUpdated, jpeg.mcusDone);
  }
}

// A progressive frame may hold a scan of no components; one whose Se would
// choose a one-sample block must not change the geometry of the others.
TEST(JpegParser, EmptyProgressiveScanChangesNothing) {
  Bytes file = tool("cjpeg", {"-progressive", "-sample", "2x2"}, ppm(40, 24, 3, picture(40, 24, 3, 12)));
  Reference ref;
  ASSERT_TRUE(referenceDecode(file, ref));
  // Last of all, so that the picture is drawn after it.
  file.insert(file.end() - 2, {0xFF, 0xDA, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00});
  MemStream s(file);
  cPictJPEG jpeg;
  ASSERT_TRUE(jpeg.decode(&s.io));
  EXPECT_EQ(compare(jpeg, ref), "");
}

// A restart interval of 3 counted in the wrong unit meets its marker in the
// wrong place, and the decode fails.
TEST(JpegParser, RestartsCountBlocksAloneAndMCUsInterleaved) {
  Bytes grey = tool("cjpeg", {"-grayscale", "-sample", "2x2", "-restart", "3B"},
                    ppm(40, 40, 3, picture(40, 40, 3, 5)));
  Bytes colour = tool("cjpeg", {"-sample", "2x2", "-restart", "3B"}, ppm(40, 40, 3, picture(40, 40, 3, 6)));
  for (const Bytes* file : {&grey, &colour}) {
    MemStream s(*file);
    cRecorder jpeg;
    EXPECT_TRUE(jpeg.decode(&s.io));
    EXPECT_TRUE(jpeg.errors.empty());
  }
}

TEST(JpegParser, RefusalsReportTheirGeneralErrors) {
  Bytes base = tool("cjpeg", {}, ppm(24, 16, 3, picture(24, 16, 3, 7)));
  Bytes arithmetic = tool("cjpeg", {"-arithmetic"}, ppm(24, 16, 3, picture(24, 16, 3, 7)));
  Bytes twelve = base;
  for (size_t i = 0; i + 4 < twelve.size(); ++i)
    if (twelve[i] == 0xFF && twelve[i + 1] == 0xC0) twelve[i + 4] = 12;
  Bytes stray = base;
  stray.insert(stray.end() - 2, {0x12, 0x34, 0x56});
  Bytes noScan;
  for (size_t i = 0; i + 1 < base.size(); ++i)
    if (base[i] == 0xFF && base[i + 1] == 0xDA)
      noScan.assign(base.begin(), base.begin() + static_cast<long>(i));
  noScan.insert(noScan.end(), {0xFF, 0xD9});
  struct Case {
    const char* name;
    const Bytes* file;
    std::vector<int> errors;
  };
  const Case kCases[] = {{"arithmetic coding", &arithmetic, {6}},
                         {"12-bit DCT", &twelve, {1}},
                         {"stray bytes after the last MCU", &stray, {2}},
                         {"no scan before the end", &noScan, {}}};
  for (const Case& c : kCases) {
    MemStream s(*c.file);
    cRecorder jpeg;
    EXPECT_FALSE(jpeg.decode(&s.io)) << c.name;
    EXPECT_EQ(jpeg.errors, c.errors) << c.name;
  }
  MemStream ls(Bytes{0xFF, 0xD8, 0xFF, 0xF7, 0x00, 0x0B});
  cRecorder jpegLS;
  EXPECT_FALSE(jpegLS.decode(&ls.io));
  EXPECT_FALSE(jpegLS.frameSeen);
}

// The entropy decoder over a hand-made scan: leftover padding must be all
// ones or all zeros.
TEST(JpegParser, CleanEndNeedsUniformPadding) {
  struct Case {
    uint8_t last;
    bool good;
  };
  const Case kCases[] = {{0x05, false}, {0x07, true}, {0x00, true}, {0x02, false}};
  for (const Case& c : kCases) {
    Bytes data{c.last, 0xFF, 0xD9};
    cBufWrapperIO io(data.data(), static_cast<long long>(data.size()), false);
    cJPEGParser parser;
    parser.initState();
    parser.io = &io;
    parser.coding = parser.process = 1;
    parser.comps.set(1);
    parser.scanCount = 1;
    cJHuffDecoder dec;
    ASSERT_TRUE(dec.create(parser));
    EXPECT_EQ(dec.simpleRead(5), 0u);
    EXPECT_EQ(dec.isGoodEnd(), c.good) << static_cast<int>(c.last);
  }
}

}  // namespace
