// A JPEG carried inside another file, large enough that the decoder reads
// its stream ahead before the picture is made, decodes to the pixels
// libjpeg gives the bare JPEG, whatever lies before it in the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "picts/dng.h"
#include "picts/pictdib.h"
#include "picts/pictdicom.h"
#include "picts/pictico.h"
#include "picts/picttiff.h"
#include "picts/tests/jpeg_support.h"
#include "picts/tests/raster_support.h"
#include "picts/tests/tiff_support.h"

namespace {

using tifftest::Bytes;

void putLe(Bytes& b, size_t at, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// The info header of a bitmap whose pixels are a JPEG file.
Bytes jpegDib(uint32_t w, uint32_t h, size_t jpegBytes) {
  Bytes b(40, 0);
  putLe(b, 0, 40, 4);
  putLe(b, 4, w, 4);
  putLe(b, 8, h, 4);
  putLe(b, 12, 1, 2);
  putLe(b, 16, 4, 4);
  putLe(b, 20, static_cast<uint32_t>(jpegBytes), 4);
  return b;
}

Bytes bmpOf(const Bytes& jpeg, uint32_t w, uint32_t h) {
  Bytes f{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
  const Bytes dib = jpegDib(w, h, jpeg.size());
  f.insert(f.end(), dib.begin(), dib.end());
  f.insert(f.end(), jpeg.begin(), jpeg.end());
  putLe(f, 2, static_cast<uint32_t>(f.size()), 4);
  return f;
}

// One member: the bitmap's height doubled, as icons keep their mask's rows.
Bytes icoOf(const Bytes& jpeg, uint32_t w, uint32_t h) {
  Bytes f(22, 0);
  putLe(f, 2, 1, 2);
  putLe(f, 4, 1, 2);
  putLe(f, 10, 1, 2);
  putLe(f, 14, static_cast<uint32_t>(40 + jpeg.size()), 4);
  putLe(f, 18, 22, 4);
  const Bytes dib = jpegDib(w, 2 * h, jpeg.size());
  f.insert(f.end(), dib.begin(), dib.end());
  f.insert(f.end(), jpeg.begin(), jpeg.end());
  return f;
}

// One YCbCr JPEG strip; `dng` marks the file as a DNG whose only picture
// is its preview.
Bytes tiffOf(const Bytes& jpeg, uint32_t w, uint32_t h, bool dng) {
  tifftest::Writer t;
  const uint64_t at = t.addBlob(jpeg);
  std::vector<tifftest::Entry> ifd = {t.longEntry(256, {w}),         t.longEntry(257, {h}),
                                      t.shortEntry(258, {8, 8, 8}),  t.shortEntry(259, {7}),
                                      t.shortEntry(262, {6}),        t.longEntry(273, {at}),
                                      t.shortEntry(277, {3}),        t.longEntry(278, {h}),
                                      t.longEntry(279, {jpeg.size()})};
  if (dng) {
    ifd.insert(ifd.begin(), t.longEntry(254, {1}));
    ifd.push_back({50706, 1, 4, Bytes{1, 4, 0, 0}});
  }
  t.ifds.push_back(ifd);
  return t.build();
}

Bytes dicomOf(const std::string& jpegPath) {
  const std::string out = rastertest::path("wrapped.dcm");
  if (!rastertest::run("img2dcm -q -i JPEG " + jpegPath + " " + out)) return {};
  return rastertest::readFile(out);
}

TEST(JpegWrapped, LargeJpegsInsideOtherFilesDecodeAsTheBareJpeg) {
  // Above 2048 x 2048, the size from which the stream is read ahead.
  constexpr uint32_t kW = 2049, kH = 2048;
  const Bytes jpeg = jpegtest::tool("cjpeg", {}, jpegtest::ppm(kW, kH, 3, jpegtest::picture(kW, kH, 3, 11)));
  ASSERT_FALSE(jpeg.empty());
  jpegtest::Reference ref;
  ASSERT_TRUE(jpegtest::referenceDecode(jpeg, ref));
  const std::string jpegPath = rastertest::path("wrapped.jpg");
  rastertest::writeFile(jpegPath, jpeg);
  const struct {
    const char* name;
    Bytes file;
    std::function<cPictBase*()> make;
  } cases[] = {
      {"bitmap file", bmpOf(jpeg, kW, kH), [] { return new cPictBMP; }},
      {"icon", icoOf(jpeg, kW, kH), [] { return new cPictICO; }},
      {"TIFF strip", tiffOf(jpeg, kW, kH, false), [] { return new cPictTIFF; }},
      {"DNG preview", tiffOf(jpeg, kW, kH, true), [] { return new cPictDNG; }},
      {"DICOM", dicomOf(jpegPath), [] { return new cPictDICOM; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.file.empty());
    cBufWrapperIO io(const_cast<uint8_t*>(c.file.data()), static_cast<long long>(c.file.size()), false);
    std::unique_ptr<cPictBase> pict(c.make());
    ASSERT_TRUE(pict->decode(&io));
    EXPECT_EQ(jpegtest::compare(*pict, ref), "");
  }
}

}  // namespace
