// Photoshop resource blocks: the index itself, and the thumbnail a TIFF
// offers as its preview.
#include "picts/md8bim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/memio.h"
#include "picts/pictjpeg.h"
#include "picts/picttiff.h"
#include "picts/tests/tiff_support.h"

using namespace tifftest;

namespace {

void putBE(Bytes& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

Bytes record(uint32_t key, const Bytes& data) {
  Bytes r = {'8', 'B', 'I', 'M'};
  putBE(r, key);
  putBE(r, static_cast<uint32_t>(data.size()));
  r.insert(r.end(), data.begin(), data.end());
  if (r.size() & 1) r.push_back(0);
  return r;
}

Bytes join(std::vector<Bytes> parts) {
  Bytes out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(Md8BIM, RecordsAreIndexedUntilTheFirstBadOne) {
  struct sCase {
    const char* name;
    Bytes block;
    bool ok;
    std::vector<std::pair<uint32_t, Bytes>> found;
  };
  const std::vector<sCase> cases = {
      {"short block", {'8', 'B', 'I', 'M'}, true, {}},
      {"odd size is padded",
       join({record(1 << 16, {7}), record(2 << 16, {8, 9})}),
       true,
       {{1 << 16, {7}}, {2 << 16, {8, 9}}}},
      {"repeated key keeps the last", join({record(5, {1}), record(5, {2, 3})}), true, {{5, {2, 3}}}},
      {"trailing piece ignored", join({record(5, {1}), Bytes(11, 'x')}), true, {{5, {1}}}},
      {"bad signature", join({record(5, {1}), Bytes(12, 'x'), record(6, {2})}), false, {{5, {1}}}},
      {"size past the block",
       join({record(5, {1}), Bytes{'8', 'B', 'I', 'M', 0, 0, 0, 6, 0, 0, 1, 0}}),
       false,
       {{5, {1}}}},
  };
  for (const auto& tc : cases) {
    cMd8BIM md;
    EXPECT_EQ(md.processMD(tc.block.data(), static_cast<long long>(tc.block.size()), true), tc.ok) << tc.name;
    for (const auto& [key, data] : tc.found) {
      const cMd8BIM::sEntry* e = md.prop(key);
      ASSERT_TRUE(e) << tc.name;
      EXPECT_EQ(Bytes(e->data, e->data + e->size), data) << tc.name;
    }
    EXPECT_FALSE(md.prop(6)) << tc.name;
  }
}

// A 2 x 2 grey TIFF carrying `block` as its Photoshop resources.
Bytes tiffWith(const Bytes& block, bool bigEndian) {
  Writer w;
  w.bigEndian = bigEndian;
  auto ifd = pictureIfd(w, 2, 2, 8, 1, 1, {1, 2, 3, 4});
  ifd.push_back({34377, 7, block.size(), block});
  w.ifds.push_back(ifd);
  return w.build();
}

TEST(Md8BIM, TiffOffersThePhotoshopThumbnailInEitherByteOrder) {
  std::string thumbPath = scratchDir() + "/ps_thumb.jpg";
  ASSERT_TRUE(run({"convert", "rose:", "-resize", "24x16", thumbPath}));
  Bytes jpeg = readFile(thumbPath);
  Bytes resource(28, 0);
  for (int i = 0; i < 4; ++i) resource[20 + i] = static_cast<uint8_t>(jpeg.size() >> (24 - 8 * i));
  resource.insert(resource.end(), jpeg.begin(), jpeg.end());
  Bytes block = join({record(1000 << 16, {1, 2}), record(cMd8BIM::kThumbnailKey, resource)});

  cBufWrapperIO aloneIo(jpeg.data(), static_cast<long long>(jpeg.size()), false);
  cPictJPEG alone;
  ASSERT_TRUE(alone.decode(&aloneIo));
  for (bool bigEndian : {true, false}) {
    Bytes file = tiffWith(block, bigEndian);
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
    cPictTIFF tiff;
    cPictBase::sPictInfo info;
    ASSERT_TRUE(tiff.isPicture(&io, &info));
    EXPECT_TRUE(info.hasPreview);
    cPictDummy preview;
    ASSERT_TRUE(tiff.getPreview(&io, preview, nullptr, nullptr));
    ASSERT_EQ(preview.width(), alone.width());
    ASSERT_EQ(preview.height(), alone.height());
    for (long long i = 0; i < alone.width() * alone.height(); ++i)
      ASSERT_EQ(preview.raw8Bpp()[i], alone.raw8Bpp()[i]);
    EXPECT_TRUE(tiff.decode(&io));
  }
  // A length that disagrees with the resource's own leaves the preview out.
  resource[23] ^= 1;
  Bytes file = tiffWith(record(cMd8BIM::kThumbnailKey, resource), true);
  cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
  cPictTIFF tiff;
  cPictDummy preview;
  EXPECT_FALSE(tiff.getPreview(&io, preview, nullptr, nullptr));
  EXPECT_TRUE(tiff.decode(&io));
}

}  // namespace
