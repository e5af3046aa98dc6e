#include "propreader/fileprops.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/memio.h"
#include "base/tests/scratch_dir.h"

namespace {

using Bytes = std::vector<unsigned char>;

const ScratchDir& scratch() {
  static const ScratchDir dir;
  return dir;
}

// The commands are the test's own, over paths in the scratch folder.
Bytes made(const std::string& command, const std::string& name) {
  std::string cmd = command;
  for (size_t at; (at = cmd.find("{}")) != std::string::npos;) cmd.replace(at, 2, scratch().file(name));
  if (std::system((cmd + " 2>/dev/null").c_str()) != 0) return {};
  const std::string bytes = scratch().read(name);
  return Bytes(bytes.begin(), bytes.end());
}

struct Stream {
  Bytes bytes;
  cBufWrapperIO io;
  explicit Stream(Bytes b)
      : bytes(std::move(b)), io(bytes.data(), static_cast<long long>(bytes.size()), false) {}
};

const std::string kSource = "convert -size 40x20 gradient:red-blue";

TEST(FileProps, EveryKnownFormatGivesItsFileType) {
  struct Case {
    std::string make, name;
    int type;
    const char *extension, *contentType, *typeName;
  } cases[] = {
      {kSource + " {}", "a.jpg", 8, "jpg", "image/jpeg", "JPEG Image"},
      {kSource + " {}", "a.png", 10, "png", "image/png", "Portable Network Graphics"},
      {kSource + " {}", "a.gif", 3, "gif", "image/gif", "Graphics Interchange Format"},
      {kSource + " bmp3:{}", "a.bmp", 1, "bmp", "image/bmp", "Bitmap Image File"},
      {kSource + " bmp3:- | tail -c +15 > {}", "a.dib", 14, "pict", "image/x-image", "Generic Image"},
      {kSource + " {}", "a.ico", 5, "ico", "image/ico", "Windows Icon Image"},
      {kSource + " {}", "a.jp2", 7, "jp2", "image/jp2", "JPEG 2000 Image"},
      {kSource + " {}", "a.j2k", 6, "jpf", "image/jpf", "JPEG 2000 Image"},
      {kSource + " {}", "a.tga", 12, "tga", "image/x-tga", "Truevision TGA"},
      {kSource + " {}", "a.ppm", 11, "ppm", "image/x-portable-pixmap", "Portable Pixmap Format"},
      {kSource + " {}", "a.pcx", 9, "pcx", "image/x-pcx", "PCX Image"},
      {kSource + " {}", "a.xpm", 14, "pict", "image/x-image", "Generic Image"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stream s(made(c.make, c.name));
    ASSERT_FALSE(s.bytes.empty());
    cPtr<cFileObjectProps> props(cFileObjectProps::guessObj(&s.io));
    ASSERT_TRUE(props);
    EXPECT_EQ(props->typeOf(), c.type);
    EXPECT_STREQ(props->default_extension(), c.extension);
    EXPECT_STREQ(props->content_type(), c.contentType);
    EXPECT_STREQ(props->type_name(), c.typeName);
    EXPECT_EQ(props->media_type(), 1);
    s.io.set_fp(0);
    ASSERT_TRUE(props->load(&s.io, 0, true));
    EXPECT_EQ(*props->prop_int(cFileObjectProps::kWidth), 40);
    EXPECT_EQ(*props->prop_int(cFileObjectProps::kHeight), 20);
  }
  Stream text(Bytes(100, 'x'));
  EXPECT_EQ(cFileObjectProps::guessObj(&text.io), nullptr);
  EXPECT_EQ(cFileObjectProps::guessObj(nullptr), nullptr);
}

// The manager's road: a small icon at 16, then a large one at 48 after
// close, from the same reader.
TEST(FileProps, ManagerRoadGivesBothIconSizes) {
  const std::string icon = "convert -size 16x16 xc:red -size 48x48 xc:blue -size 256x256 xc:lime {}";
  struct Case {
    std::string make, name;
    unsigned int small, large;  // the colour each preview shows; 0 any
  } cases[] = {
      {icon, "i.ico", 0xFFFF0000, 0xFF0000FF},
      {"png2icns {} " + scratch().file("16.png") + " " + scratch().file("48.png") + " >/dev/null", "i.icns",
       0xFFFF0000, 0xFF0000FF},
      {"convert -size 256x128 xc:lime {}", "p.png", 0xFF00FF00, 0xFF00FF00},
  };
  made("convert -size 16x16 xc:red PNG32:{}", "16.png");
  made("convert -size 48x48 xc:blue PNG32:{}", "48.png");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stream s(made(c.make, c.name));
    ASSERT_FALSE(s.bytes.empty());
    cPtr<cFileObjectProps> props(cFileObjectProps::guessObj(&s.io));
    ASSERT_TRUE(props);
    for (int side : {16, 48}) {
      SCOPED_TRACE(side);
      props->close();
      props->setPreviewPreferrences(side, side);
      s.io.set_fp(0);
      ASSERT_TRUE(props->load(&s.io, 0, true));
      cPictDummy* preview = props->prop_pict(cFileObjectProps::kPreview);
      ASSERT_TRUE(preview);
      long long w = preview->width(), h = preview->height();
      EXPECT_EQ(w, side);
      EXPECT_EQ(h, c.name == "p.png" ? side / 2 : side);
      EXPECT_EQ(preview->raw8Bpp()[h / 2 * w + w / 2], side == 16 ? c.small : c.large);
    }
  }
}

TEST(FileProps, StoreKeepsKindsApart) {
  Stream s(made("convert -size 256x128 xc:red {}", "kinds.png"));
  cPtr<cFileObjectProps> props(cFileObjectProps::guessObj(&s.io));
  ASSERT_TRUE(props);
  props->setPreviewPreferrences(0, 16);
  s.io.set_fp(0);
  ASSERT_TRUE(props->load(&s.io, 0, true));
  EXPECT_FALSE(props->has_prop(cFileObjectProps::kPreview));
  EXPECT_EQ(*props->prop_int(cFileObjectProps::kWidth), 256);

  cPictDummy pict;
  ASSERT_TRUE(pict.create(4, 3, 0xFF112233));
  EXPECT_TRUE(props->setProp(3, &pict));
  EXPECT_EQ(pict.raw8Bpp(), nullptr);
  EXPECT_EQ(props->prop_pict(3)->width(), 4);
  EXPECT_FALSE(props->setProp(2, &pict));
  EXPECT_FALSE(props->setProp(4, 2.5));
  EXPECT_TRUE(props->setProp(16, 2.5));
  EXPECT_FALSE(props->setProp(3, 7));
  EXPECT_TRUE(props->setProp(4, 7));
  EXPECT_FALSE(props->setProp(15, "text"));
  EXPECT_TRUE(props->setProp(14, "first"));
  EXPECT_TRUE(props->setProp(14, "second"));
  EXPECT_STREQ(props->prop_string(14), "second");
  EXPECT_FALSE(props->has_prop(18));

  for (int outside : {18, -1}) EXPECT_EQ(cFileObjectProps::prop_type(outside), 0) << outside;
  EXPECT_EQ(cFileObjectProps::type_name(31), nullptr);
  EXPECT_EQ(cFileObjectProps::content_type(-1), nullptr);

  props->close();
  EXPECT_EQ(props->prop_pict(3), nullptr);
  EXPECT_EQ(props->prop_int(0), nullptr);
  EXPECT_EQ(props->prop_string(14), nullptr);
  EXPECT_EQ(props->prop_float(16), nullptr);
}

}  // namespace
