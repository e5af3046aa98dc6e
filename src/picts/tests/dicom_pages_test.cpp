// Pages: frames of one pixel data split into pages in the place of their
// data set, icon images in sequence items as pages of their own, and previews drawn
// while decoding against the same page drawn afterwards.
#include <gtest/gtest.h>

#include "dicom_support.h"
#include "picts/pictdicom.h"
#include "picts/pictdicoml.h"

using namespace dicomtest;

namespace {

// An icon image sequence holding one image, as dump2dcm reads it.
std::string iconSequence(const Layout& icon, const std::string& raw) {
  return "(0088,0200) SQ (Sequence with undefined length #=1)\n"
         "(fffe,e000) na (Item with undefined length #=1)\n" +
         imageLines(icon, raw) + "(fffe,e00d) na (ItemDelimitationItem)\n(fffe,e0dd) na (SequenceDelimitationItem)\n";
}

struct PageCase {
  const char* name;
  Layout main;
  bool icon;
};

TEST(DicomPages, FramesAndIconsBecomePagesInDataSetOrder) {
  const Layout iconLayout{"icon", 6, 5, 8, 8, 1, 0, 0, 1};
  const PageCase cases[] = {
      {"four frames", {"frames4", 9, 7, 16, 12, 1, 0, 0, 4}, false},
      {"icon after the image", {"withicon", 11, 8, 8, 8, 3, 0, 0, 1}, true},
      // The icon's item comes after the main image's frames.
      {"icon after frames", {"iconframes", 5, 5, 8, 8, 1, 0, 0, 3}, true},
      {"odd frames padded", {"oddframes", 3, 3, 8, 8, 1, 0, 0, 3}, false},
  };
  for (const PageCase& c : cases) {
    Bytes mainSamples = samplesFor(c.main, 21), iconSamples = samplesFor(iconLayout, 22);
    writeFile(path(std::string(c.name) + ".icon.raw"), iconSamples);
    std::string extra = c.icon ? iconSequence(iconLayout, path(std::string(c.name) + ".icon.raw")) : "";
    std::string file = makeFile(c.main, mainSamples, c.main.name, "--write-xfer-little", extra);
    ASSERT_FALSE(file.empty()) << c.name;
    // What each page must be, in order.
    std::vector<std::vector<unsigned long long>> pages;
    for (unsigned f = 0; f < c.main.frames; ++f) pages.push_back(expectedPixels(c.main, mainSamples, f));
    if (c.icon) pages.push_back(expectedPixels(iconLayout, iconSamples, 0));

    rastertest::Stream s(readFile(file));
    cPictDICOM pict;
    ASSERT_EQ(pict.getNumPages(&s.io), static_cast<int>(pages.size())) << c.name;
    for (size_t n = 0; n < pages.size(); ++n) {
      ASSERT_TRUE(pict.decodePage(&s.io, static_cast<int>(n))) << c.name << " page " << n;
      EXPECT_TRUE(decodedPixels(pict) == pages[n]) << c.name << " page " << n;
    }
    EXPECT_FALSE(pict.decodePage(&s.io, static_cast<int>(pages.size()))) << c.name;
    EXPECT_FALSE(pict.decodePage(&s.io, -1)) << c.name;
  }
}

// A preview drawn while decoding must look like the decoded page drawn into
// the same box; a 16-bit page that fits its box comes back as 8 bits.
TEST(DicomPages, PreviewsMatchThePageDrawnAfterwards) {
  const Layout layouts[] = {{"prevgrey16", 40, 30, 16, 12, 1, 0, 0, 1},
                            {"prevrgb8", 37, 21, 8, 8, 3, 1, 0, 1},
                            {"prevframes", 20, 20, 8, 8, 1, 0, 0, 2}};
  for (const Layout& l : layouts) {
    std::string file = makeFile(l, samplesFor(l, 31), l.name);
    std::string bare = file + ".bare";
    ASSERT_TRUE(run("dcmconv -q -F +ti " + file + " " + bare));
    // The bare reader does not split frames: two frames are no picture to it.
    for (const std::string& f : l.frames > 1 ? std::vector<std::string>{file} : std::vector<std::string>{file, bare}) {
      rastertest::Stream s(readFile(f));
      bool legacy = f == bare;
      cPictDICOM explicitPict;
      cPictDICOMLegacy legacyPict;
      cPictBase& pict = legacy ? static_cast<cPictBase&>(legacyPict) : explicitPict;
      int page = legacy ? 0 : static_cast<int>(l.frames) - 1;
      cPictDummy small;
      ASSERT_TRUE(pict.decodePagePreview(&s.io, small, 9, 9, page, true, 0)) << l.name;
      ASSERT_TRUE(pict.decodePage(&s.io, page)) << l.name;
      // The decoded page streamed pixel by pixel into the same box: what the
      // reader hands the renderer must be the page itself.
      cPictDummy replay, drawn;
      long long w = pict.width(), h = pict.height();
      ASSERT_TRUE(pict.is16Bpp() ? replay.create16(w, h, 0) : replay.create(w, h, 0));
      ASSERT_TRUE(drawn.create(small.width(), small.height(), 0));
      cPictBase::sExtPictDef target(&drawn);
      ASSERT_TRUE(replay.setExtTarget(&target) && replay.startExtRender());
      for (long long y = 0; y < h; ++y)
        for (long long x = 0; x < w; ++x)
          pict.is16Bpp() ? replay.setExtPix16(x, y, pict.raw16Bpp()[y * w + x])
                         : replay.setExtPix(x, y, pict.raw8Bpp()[y * w + x]);
      replay.endExtRender();
      int worst = 0;
      for (long long i = 0; i < small.width() * small.height(); ++i)
        for (int k = 0; k < 32; k += 8)
          worst = std::max(worst, std::abs(static_cast<int>((small.raw8Bpp()[i] >> k) & 255) -
                                           static_cast<int>((drawn.raw8Bpp()[i] >> k) & 255)));
      EXPECT_LE(worst, 1) << l.name << (legacy ? " bare" : "");

      cPictDummy whole;
      ASSERT_TRUE(pict.decodePagePreview(&s.io, whole, 1000, 1000, page, true, 0)) << l.name;
      EXPECT_FALSE(whole.is16Bpp());
      EXPECT_EQ(whole.width(), l.w);
      ASSERT_TRUE(whole.raw8Bpp()) << l.name;
    }
  }
}

}  // namespace
