// Encapsulated pixel data: JPEG streams written by img2dcm and dcmcjpeg
// (with and without an offset table), lossless JPEG at 8, 12 and 16 bits,
// JPEG 2000 written by gdcm, and the bare data set with a codestream 20
// bytes into its pixel data. Each is compared with an independent decoding
// of the fragment dcmtk cuts out, or with the samples the stream was made of.
#include <gtest/gtest.h>

#include "dicom_support.h"
#include "jpeg_support.h"
#include "picts/pictdicom.h"
#include "picts/pictdicoml.h"
#include "picts/pictjp2.h"

using namespace dicomtest;

namespace {

// Every colour channel stretched from the picture's own range to the full
// one, as a decoded stream is shown.
std::vector<unsigned long long> stretched(const std::vector<unsigned long long>& words, int bits) {
  const unsigned long long full = (1ULL << bits) - 1;
  auto channel = [&](unsigned long long w, int k) { return w >> (bits * k) & full; };
  unsigned long long lo = full, hi = 0;
  for (auto w : words)
    for (int k = 0; k < 3; ++k) lo = std::min(lo, channel(w, k)), hi = std::max(hi, channel(w, k));
  unsigned long long base = hi > lo ? lo : 0, span = hi > lo ? hi - lo : full;
  std::vector<unsigned long long> out;
  for (auto w : words) {
    unsigned long long o = full << (3 * bits);
    for (int k = 0; k < 3; ++k) o |= (channel(w, k) - base) * full / span << (bits * k);
    out.push_back(o);
  }
  return out;
}

std::vector<unsigned long long> decodeWith(cPictBase& pict, const std::string& file, bool& ok) {
  rastertest::Stream s(readFile(file));
  ok = pict.decode(&s.io);
  return ok ? decodedPixels(pict) : std::vector<unsigned long long>{};
}

std::string nativeFile(const Layout& l, uint32_t seed, Bytes* samples = nullptr) {
  Bytes s = samplesFor(l, seed);
  if (samples) *samples = s;
  return makeFile(l, s, l.name);
}

// The bare layout: implicit elements, a one-entry offset table, the
// fragment, then a lower group and eight zero bytes.
Bytes bareWithFragment(const Layout& l, const Bytes& fragment) {
  Bytes bare, pixels;
  putElement(bare, 0x0028, 0x0002, u16(1));
  putElement(bare, 0x0028, 0x0010, u16(l.h));
  putElement(bare, 0x0028, 0x0011, u16(l.w));
  putElement(bare, 0x0028, 0x0100, u16(l.bitsAllocated));
  putElement(bare, 0x0028, 0x0101, u16(l.bitsStored));
  putElement(pixels, 0xFFFE, 0xE000, Bytes(4));
  putElement(pixels, 0xFFFE, 0xE000, fragment);
  putElement(bare, 0x7FE0, 0x0010, pixels);
  putElement(bare, 0x0008, 0x0000, Bytes{});
  bare.insert(bare.end(), 8, 0);
  return bare;
}

// Grey is stretched from its own range; colour is shown as decoded.
TEST(DicomEncapsulated, LossyJpegMatchesLibjpeg) {
  const Layout grey{"lossygrey", 33, 21, 8, 8, 1, 0, 0, 1}, rgb{"lossyrgb", 19, 17, 8, 8, 3, 0, 0, 1};
  struct Case {
    std::string name, file;
    bool grey;
  };
  std::vector<Case> cases;
  for (const Layout* l : {&grey, &rgb}) {
    Bytes samples = samplesFor(*l, 7);
    // Colour below mid-grey, where a stretch would show.
    if (l == &rgb)
      for (auto& v : samples) v = static_cast<uint8_t>(v / 2);
    std::string src = makeFile(*l, samples, l->name);
    for (const char* mode : {"+eb", "+ep"})
      for (const char* table : {"+ot", "-ot"}) {
        std::string out = src + mode + table + ".dcm";
        ASSERT_TRUE(run(std::string("dcmcjpeg -q ") + mode + " " + table + " " + src + " " + out));
        cases.push_back({std::string(l->name) + mode + table, out, l == &grey});
      }
  }
  // img2dcm keeps the JPEG it is given, behind a one-entry offset table.
  Bytes ppm = jpegtest::ppm(23, 15, 3, jpegtest::picture(23, 15, 3, 5));
  writeFile(path("cj.ppm"), ppm);
  ASSERT_TRUE(run("cjpeg -quality 85 " + path("cj.ppm") + " > " + path("cj.jpg")));
  ASSERT_TRUE(run("img2dcm -q -i JPEG " + path("cj.jpg") + " " + path("cj.dcm")));
  cases.push_back({"img2dcm", path("cj.dcm"), false});

  for (const Case& c : cases) {
    jpegtest::Reference ref;
    ASSERT_TRUE(jpegtest::referenceDecode(firstFragment(c.file), ref)) << c.name;
    cPictDICOM pict;
    bool ok;
    auto ours = decodeWith(pict, c.file, ok);
    ASSERT_TRUE(ok) << c.name;
    std::vector<unsigned long long> words(ref.px.begin(), ref.px.end());
    EXPECT_TRUE(ours == (c.grey ? stretched(words, 8) : words)) << c.name;
  }
}

TEST(DicomEncapsulated, LosslessJpegGivesTheStretchedSamples) {
  const Layout layouts[] = {{"lossless8", 17, 9, 8, 8, 1, 0, 0, 1},
                            {"lossless12", 12, 10, 16, 12, 1, 0, 0, 1},
                            {"lossless16", 9, 13, 16, 16, 1, 0, 0, 1},
                            {"lossless12mono1", 12, 10, 16, 12, 1, 0, 0, 1, true}};
  for (const Layout& l : layouts) {
    // The encoder is given clean samples: what it makes of bits above the
    // stored ones is its own affair.
    Bytes samples = samplesFor(l, 11);
    const int bytes = l.bitsAllocated / 8;
    const unsigned long long full = (1ULL << l.bitsAllocated) - 1, stored = (1ULL << l.bitsStored) - 1;
    std::vector<unsigned long long> plain;
    for (size_t i = 0; i < samples.size(); i += bytes) {
      unsigned long long v = (bytes == 2 ? samples[i] | samples[i + 1] << 8 : samples[i]) & stored;
      samples[i] = static_cast<uint8_t>(v);
      if (bytes == 2) samples[i + 1] = static_cast<uint8_t>(v >> 8);
      plain.push_back(full << (3 * l.bitsAllocated) | v << (2 * l.bitsAllocated) | v << l.bitsAllocated | v);
    }
    std::string src = makeFile(l, samples, l.name), out = src + ".e1.dcm";
    ASSERT_TRUE(run("dcmcjpeg -q +e1 " + src + " " + out)) << l.name;
    cPictDICOM pict;
    bool ok;
    auto ours = decodeWith(pict, out, ok);
    ASSERT_TRUE(ok) << l.name;
    std::vector<unsigned long long> want = stretched(plain, l.bitsAllocated);
    const unsigned long long colour = (1ULL << (3 * l.bitsAllocated)) - 1;
    if (l.monochrome1)
      for (auto& w : want) w ^= colour;
    EXPECT_TRUE(ours == want) << l.name;
  }
}

// Every selection value dcmcjpeg writes, with and without a point
// transform: the stream gives back what dcmdjpeg makes of it, the samples
// less the bits the transform left out.
TEST(DicomEncapsulated, LosslessJpegOfEveryPredictorMatchesDcmtk) {
  const Layout layouts[] = {{"sv8", 17, 9, 8, 8, 1, 0, 0, 1},
                            {"sv12", 12, 10, 16, 12, 1, 0, 0, 1},
                            {"sv16", 9, 13, 16, 16, 1, 0, 0, 1},
                            {"svrgb", 13, 11, 8, 8, 3, 0, 0, 1}};
  for (const Layout& l : layouts) {
    Bytes samples = samplesFor(l, 12);
    const int bytes = l.bitsAllocated / 8;
    const unsigned stored = (1u << l.bitsStored) - 1;
    std::vector<unsigned> plain;
    for (size_t i = 0; i < samples.size(); i += bytes) {
      const unsigned v = (bytes == 2 ? samples[i] | samples[i + 1] << 8 : samples[i]) & stored;
      samples[i] = static_cast<uint8_t>(v);
      if (bytes == 2) samples[i + 1] = static_cast<uint8_t>(v >> 8);
      plain.push_back(v);
    }
    const std::string src = makeFile(l, samples, l.name);
    for (int sv = 1; sv <= 7; ++sv)
      for (unsigned pt : {0u, 2u}) {
        const std::string name = std::string(l.name) + " sv" + std::to_string(sv) + " pt" + std::to_string(pt);
        const std::string out = src + ".sv" + std::to_string(sv) + "pt" + std::to_string(pt) + ".dcm";
        ASSERT_TRUE(run("dcmcjpeg -q +el +sv " + std::to_string(sv) + " +pt " + std::to_string(pt) + " " + src +
                        " " + out))
            << name;
        std::vector<unsigned> want;
        for (unsigned v : plain) want.push_back(v >> pt << pt);
        if (l.samples == 1) {
          // dcmdjpeg's samples, the last of its file.
          ASSERT_TRUE(run("dcmdjpeg -q " + out + " " + out + ".plain")) << name;
          const Bytes back = readFile(out + ".plain");
          const size_t n = want.size() * bytes, at = back.size() - n - (n & 1);
          for (size_t i = 0; i < want.size(); ++i)
            ASSERT_EQ(bytes == 2 ? back[at + 2 * i] | back[at + 2 * i + 1] << 8 : back[at + i], want[i]) << name;
        }
        jpegtest::MemStream m(firstFragment(out));
        cPictJPEG jpeg;
        jpeg.setForceColorSpace(l.samples == 3 ? 3 : 1);
        ASSERT_TRUE(jpeg.decode(&m.io)) << name;
        for (unsigned y = 0; y < l.h; ++y)
          for (unsigned x = 0; x < l.w; ++x) {
            const long long at = (l.h - 1 - y) * static_cast<long long>(l.w) + x;
            const uint64_t word = bytes == 2 ? jpeg.raw16Bpp()[at] : jpeg.raw8Bpp()[at];
            const int bits = bytes == 2 ? 16 : 8;
            for (unsigned c = 0; c < l.samples; ++c) {
              const unsigned got = static_cast<unsigned>(word >> (bits * (l.samples == 3 ? 2 - c : 0))) &
                                   ((1u << bits) - 1);
              ASSERT_EQ(got, want[(static_cast<size_t>(y) * l.w + x) * l.samples + c])
                  << name << " at " << x << "," << y;
            }
          }
      }
  }
}

// Lossless JPEG of photometric RGB, whose stream has no marker that says
// RGB: the samples come back as they were, unconverted, and a dark picture
// is not stretched.
TEST(DicomEncapsulated, PhotometricRgbFramesKeepTheirSamples) {
  const Layout l{"losslessrgb", 13, 11, 8, 8, 3, 0, 0, 1};
  for (unsigned divisor : {1u, 4u}) {
    Bytes samples = samplesFor(l, 21);
    for (auto& v : samples) v = static_cast<uint8_t>(v / divisor);
    std::string name = l.name + std::to_string(divisor);
    std::string src = makeFile(l, samples, name), out = src + ".e1.dcm";
    ASSERT_TRUE(run("dcmcjpeg -q +e1 " + src + " " + out)) << name;
    cPictDICOM pict;
    bool ok;
    auto ours = decodeWith(pict, out, ok);
    ASSERT_TRUE(ok) << name;
    EXPECT_TRUE(ours == expectedPixels(l, samples, 0)) << name;
  }
}

TEST(DicomEncapsulated, Jpeg2000FromGdcmAndTheBareLayout) {
  for (const Layout& l :
       {Layout{"j2kgrey8", 21, 14, 8, 8, 1, 0, 0, 1}, Layout{"j2kgrey16", 14, 9, 16, 12, 1, 0, 0, 1},
        Layout{"j2kmono1", 21, 14, 8, 8, 1, 0, 0, 1, true}}) {
    std::string src = nativeFile(l, 3), out = src + ".j2k.dcm";
    ASSERT_TRUE(run("gdcmconv --j2k " + src + " " + out)) << l.name;
    Bytes codestream = firstFragment(out);
    rastertest::Stream cs(codestream);
    cPictJ2K oracle;
    ASSERT_TRUE(oracle.decode(&cs.io)) << l.name;
    auto expected = decodedPixels(oracle);
    cPictDICOM pict;
    bool ok;
    auto inverted = expected;
    for (auto& w : inverted) w ^= 0xFFFFFFu;
    EXPECT_TRUE(decodeWith(pict, out, ok) == (l.monochrome1 ? inverted : expected) && ok) << l.name;
    // The bare layout made here names no photometric interpretation.

    Bytes bare = bareWithFragment(l, codestream);
    writeFile(path(std::string(l.name) + ".bare"), bare);
    cPictDICOMLegacy legacy;
    EXPECT_TRUE(decodeWith(legacy, path(std::string(l.name) + ".bare"), ok) == expected && ok) << l.name;
  }
}

// Streams the JPEG decoder does not read, JPEG left to the file format with
// a preamble, and data sets that are not little-endian explicit: a clean
// "no", never a wrong picture.
TEST(DicomEncapsulated, RefusesWhatItCannotRead) {
  const Layout grey8{"refgrey8", 16, 16, 8, 8, 1, 0, 0, 1}, grey12{"refgrey12", 16, 16, 16, 12, 1, 0, 0, 1};
  std::string src8 = nativeFile(grey8, 9), src12 = nativeFile(grey12, 9);
  struct Case {
    const char* name;
    std::string command, out;
    bool probes;  // the walk succeeds, the decode fails
  };
  const Case cases[] = {
      {"extended 12", "dcmcjpeg -q +ee " + src12, src12 + ".ee", true},
      {"jpeg-ls", "dcmcjpls -q " + src8, src8 + ".jls", true},
      {"implicit", "dcmconv -q +ti " + src8, src8 + ".ti", false},
      {"big endian", "dcmconv -q +tb " + src8, src8 + ".tb", false},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(run(c.command + " " + c.out)) << c.name;
    rastertest::Stream s(readFile(c.out));
    cPictDICOM pict;
    EXPECT_EQ(pict.isPicture(&s.io, nullptr), c.probes) << c.name;
    s.io.set_fp(0);
    EXPECT_FALSE(pict.decode(&s.io)) << c.name;
  }
  // The bare reader leaves JPEG alone.
  std::string jpeg = src8 + ".eb";
  ASSERT_TRUE(run("dcmcjpeg -q +eb " + src8 + " " + jpeg));
  rastertest::Stream s(bareWithFragment(grey8, firstFragment(jpeg)));
  cPictDICOMLegacy legacy;
  EXPECT_TRUE(legacy.isPicture(&s.io, nullptr));
  s.io.set_fp(0);
  EXPECT_FALSE(legacy.decode(&s.io));
}

}  // namespace

// A label of RGB holds for a stream whose components share one sampling;
// subsampled chroma is YCbCr whatever the data set says. Pure red must come
// back red from both.
TEST(DicomEncapsulated, RgbLabelYieldsToSubsampledChroma) {
  const Layout l{"red", 16, 16, 8, 8, 3, 0, 0, 1};
  Bytes red;
  for (unsigned i = 0; i < l.w * l.h; ++i) red.insert(red.end(), {255, 0, 0});
  std::string native = makeFile(l, red, l.name), full = native + ".444.dcm", sub = path("red420.dcm");
  ASSERT_TRUE(run("dcmcjpeg -q +eb +cr " + native + " " + full));
  writeFile(path("red.ppm"), jpegtest::ppm(l.w, l.h, 3, red));
  ASSERT_TRUE(run("cjpeg -sample 2x2 -quality 95 " + path("red.ppm") + " > " + path("red420.jpg")));
  ASSERT_TRUE(run("img2dcm -q -i JPEG " + path("red420.jpg") + " " + sub));
  ASSERT_TRUE(run("dcmodify -q -nb -m \"(0028,0004)=RGB\" " + sub));
  for (const std::string& file : {full, sub}) {
    cPictDICOM pict;
    bool ok;
    auto ours = decodeWith(pict, file, ok);
    ASSERT_TRUE(ok) << file;
    for (unsigned long long w : ours) {
      int r = static_cast<int>(w >> 16 & 255), g = static_cast<int>(w >> 8 & 255), b = static_cast<int>(w & 255);
      ASSERT_TRUE(r >= 250 && g <= 5 && b <= 5) << file << ": " << r << "," << g << "," << b;
    }
  }
}

// Dark grey (1 to 75) is stretched to the full range whether the frame is
// decoded whole or drawn smaller.
TEST(DicomEncapsulated, GreyIsStretchedAtEverySize) {
  const Layout l{"darkgrey", 32, 32, 8, 8, 1, 0, 0, 1};
  Bytes samples(l.w * l.h);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(1 + (i % 32 + i / 32) * 74 / 62);
  std::string src = makeFile(l, samples, l.name), out = src + ".eb.dcm";
  ASSERT_TRUE(run("dcmcjpeg -q +eb " + src + " " + out));
  auto brightest = [](cPictBase& p) {
    int top = 0;
    for (long long i = 0; i < p.width() * p.height(); ++i)
      top = std::max(top, static_cast<int>(p.raw8Bpp()[i] & 255));
    return top;
  };
  for (long long box : {32, 16, 8}) {
    rastertest::Stream s(readFile(out));
    cPictDICOM pict;
    cPictDummy shown;
    ASSERT_TRUE(pict.decodePagePreview(&s.io, shown, box, box, 0, true, 0)) << box;
    ASSERT_EQ(shown.width(), box);
    EXPECT_GE(brightest(shown), 230) << box;
  }
}
