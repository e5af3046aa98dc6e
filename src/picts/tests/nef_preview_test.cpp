#include <gtest/gtest.h>

#include "base/memio.h"
#include "picts/nef.h"
#include "picts/tests/nef_support.h"

namespace {

using tifftest::Bytes;

uint32_t get(const Bytes& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | b[at + size_t(i)];
  return v;
}

void put(Bytes& b, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Photoshop's thumbnail resource over `jpeg`, big-endian as Photoshop writes it.
Bytes photoshopThumbnail(const Bytes& jpeg) {
  Bytes r = {'8', 'B', 'I', 'M', 1036 >> 8, 1036 & 0xFF, 0, 0};
  const uint32_t size = uint32_t(28 + jpeg.size());
  // Size, then the header: JPEG format, four unused sizes, the JPEG's length,
  // depth and planes.
  for (uint32_t v : {size, 1u, 0u, 0u, 0u, 0u, uint32_t(jpeg.size()), 0u})
    for (int i = 3; i >= 0; --i) r.push_back(static_cast<uint8_t>(v >> (8 * i)));
  r.insert(r.end(), jpeg.begin(), jpeg.end());
  if (r.size() & 1) r.push_back(0);
  return r;
}

// A little-endian file whose main directory is copied to its end with one
// entry more, in tag order; its value goes out of line.
Bytes withMainEntry(Bytes file, uint16_t tag, uint16_t type, const Bytes& value) {
  const size_t main = get(file, 4, 4), count = get(file, main, 2);
  if (file.size() & 1) file.push_back(0);
  const size_t at = file.size();
  file.insert(file.end(), value.begin(), value.end());
  if (file.size() & 1) file.push_back(0);
  const size_t ifd = file.size();
  put(file, uint32_t(count + 1), 2);
  bool added = false;
  for (size_t i = 0; i <= count; ++i) {
    const size_t e = main + 2 + 12 * i;
    if (!added && (i == count || get(file, e, 2) > tag)) {
      put(file, tag, 2);
      put(file, type, 2);
      put(file, uint32_t(value.size()), 4);
      put(file, uint32_t(at), 4);
      added = true;
    }
    if (i < count) file.insert(file.end(), file.begin() + long(e), file.begin() + long(e + 12));
  }
  put(file, 0, 4);
  file[4] = uint8_t(ifd), file[5] = uint8_t(ifd >> 8), file[6] = uint8_t(ifd >> 16), file[7] = uint8_t(ifd >> 24);
  return file;
}

// Without a preview directory the preview is the main picture, carrying its
// own thumbnail along.
TEST(NefPreview, MainPictureBringsItsThumbnail) {
  const std::string jpg = tifftest::scratchDir() + "/nef_thumb.jpg";
  ASSERT_TRUE(tifftest::run({"convert", "-size", "16x12", "gradient:red-blue", jpg}));
  neftest::Spec s;
  s.plane = {8, 8, 12, std::vector<uint16_t>(64, 100)};
  s.body = neftest::kPlain;
  const Bytes file =
      withMainEntry(neftest::writeNef(s), 34377, 7, photoshopThumbnail(tifftest::readFile(jpg)));
  cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
  cPictNEF nef;
  cPictDummy out;
  ASSERT_TRUE(nef.getPreview(&io, out, nullptr, nullptr));
  EXPECT_EQ(out.width(), 4);
  const cPictPropImage* thumb = out.getPropImage(cPictBase::epThumbnail);
  ASSERT_TRUE(thumb && thumb->value);
  EXPECT_EQ(thumb->value->width(), 16);
  EXPECT_EQ(thumb->value->height(), 12);
}

}  // namespace
