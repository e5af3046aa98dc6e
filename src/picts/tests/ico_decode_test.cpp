#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "picts/littleendian.h"
#include "picts/pictdib.h"
#include "picts/pictico.h"
#include "picts/pictpng.h"
#include "raster_support.h"

namespace {

using namespace rastertest;

void putLe(Bytes& b, size_t at, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// An icon container over `images`, entries pointing at them in order and
// describing them as the tools do, for ImageMagick reads those fields.
Bytes iconFile(const std::vector<Bytes>& images, int type = 1) {
  Bytes f(6 + 16 * images.size(), 0);
  putLe(f, 2, static_cast<uint32_t>(type), 2);
  putLe(f, 4, static_cast<uint32_t>(images.size()), 2);
  for (size_t i = 0; i < images.size(); ++i) {
    const Bytes& m = images[i];
    bool png = m.size() > 24 && m[0] == 0x89;
    if (m.size() > 24) {
      f[6 + 16 * i] = png ? m[19] : m[4];
      f[6 + 16 * i + 1] = png ? m[23] : static_cast<uint8_t>(le32(&m[8]) / 2);
      putLe(f, 6 + 16 * i + 4, 1, 2);
      putLe(f, 6 + 16 * i + 6, png ? 32 : le16(&m[14]), 2);
    }
    putLe(f, 6 + 16 * i + 8, static_cast<uint32_t>(images[i].size()), 4);
    putLe(f, 6 + 16 * i + 12, static_cast<uint32_t>(f.size()), 4);
    f.insert(f.end(), images[i].begin(), images[i].end());
  }
  return f;
}

// A BMP file made by ImageMagick turned into an icon member: the file
// header dropped, the height doubled and a random AND mask appended.
Bytes iconMember(const std::string& bmp, uint32_t seed) {
  Bytes f = readFile(bmp);
  if (f.size() < 54) return {};
  Bytes dib(f.begin() + 14, f.end());
  int32_t w = static_cast<int32_t>(le32(&dib[4])), h = static_cast<int32_t>(le32(&dib[8]));
  putLe(dib, 8, static_cast<uint32_t>(2 * h), 4);
  std::mt19937 rng(seed);
  size_t stride = static_cast<size_t>((w + 31) / 32 * 4);
  for (size_t i = 0; i < stride * static_cast<size_t>(h); ++i) dib.push_back(static_cast<uint8_t>(rng()));
  return dib;
}

Pixels imageMagick(const std::string& file, int page) {
  Pixels ref;
  oracle("convert {} -depth 8 pam:-", file + "[" + std::to_string(page) + "]", ref);
  return ref;
}

// Every page decoded by itself and through the preview road, against
// ImageMagick's reading of the same page.
void expectPagesMatch(const std::string& file, int pages) {
  Stream s(readFile(file));
  cPictICO pict;
  cPictBase::sPictInfo info;
  ASSERT_TRUE(cPictICO::validFor(&s.io, &info));
  s.io.set_fp(0);
  ASSERT_EQ(pict.getNumPages(&s.io), pages);
  for (int page = 0; page < pages; ++page) {
    SCOPED_TRACE(page);
    s.io.set_fp(0);
    ASSERT_TRUE(pict.decodePage(&s.io, page));
    Pixels ours = pixelsOf(pict), ref = imageMagick(file, page);
    EXPECT_EQ(differences(ours, ref), "");
    int w = 0, h = 0;
    s.io.set_fp(0);
    ASSERT_TRUE(pict.getPageSize(&s.io, page, w, h));
    EXPECT_EQ(w, ours.w);
    EXPECT_EQ(h, ours.h);
  }
}

TEST(IcoDecode, MembersOfEveryDepthMatchImageMagick) {
  std::string rgb = sourcePicture("ico_rgb.pam", 24, 24, 0, false, 11);
  std::string alpha = sourcePicture("ico_alpha.pam", 32, 32, 0, true, 12);
  struct Member {
    std::string make;  // a BMP from `rgb`
    int bits;
  };
  const std::vector<Member> members = {
      {"convert " + rgb + " -colors 2 -type palette -compress none bmp3:{}", 1},
      {"convert " + rgb + " -colors 16 -type palette -compress none bmp3:{}", 4},
      {"convert " + rgb + " -colors 200 -type palette -compress none bmp3:{}", 8},
      {"convert " + rgb + " -type truecolor bmp3:{}", 24},
  };
  uint32_t seed = 1;
  for (const Member& m : members) {
    SCOPED_TRACE(m.make);
    std::string bmp = path("member.bmp"), make = m.make;
    make.replace(make.find("{}"), 2, bmp);
    ASSERT_TRUE(run(make));
    Bytes member = iconMember(bmp, seed++);
    ASSERT_EQ(le16(&member[14]), static_cast<unsigned>(m.bits));
    for (int type : {1, 2}) {
      writeFile(path("member.ico"), iconFile({member}, type));
      expectPagesMatch(path("member.ico"), 1);
    }
  }
  // 32-bit members keep their own alpha; 256 pixels are stored as PNG.
  std::string big = path("big.png");
  ASSERT_TRUE(run("convert " + rgb + " -resize 256x256! " + big));
  ASSERT_TRUE(run("convert " + alpha + " " + rgb + " " + big + " " + path("magick.ico")));
  expectPagesMatch(path("magick.ico"), 3);
  ASSERT_TRUE(run("pamtowinicon " + alpha + " > " + path("netpbm.ico")));
  expectPagesMatch(path("netpbm.ico"), 1);
  ASSERT_TRUE(run("pamtowinicon -pngthreshold 1 " + alpha + " > " + path("netpbmpng.ico")));
  expectPagesMatch(path("netpbmpng.ico"), 1);
  // A member whose alpha is 0 everywhere stays transparent: an icon's
  // fourth byte is alpha whatever it holds.
  ASSERT_TRUE(run("convert " + rgb +
                  " -alpha set -channel A -evaluate set 0 +channel pam:- | pamtowinicon > " +
                  path("clear.ico")));
  expectPagesMatch(path("clear.ico"), 1);
}

// A 32-pixel bitmap member and a 16-pixel PNG member.
Bytes mixedIcon() {
  std::string png = path("small.png"), bmp = path("large.bmp");
  run("convert " + sourcePicture("s.pam", 16, 16, 0, true, 21) + " " + png);
  run("convert " + sourcePicture("l.pam", 32, 32, 0, false, 22) + " -type truecolor bmp3:" + bmp);
  return iconFile({iconMember(bmp, 5), readFile(png)});
}

TEST(IcoDecode, SizeAndPreviewChoice) {
  Stream s(mixedIcon());
  cPictBase::sPictInfo info;
  ASSERT_TRUE(cPictICO::validFor(&s.io, &info));
  EXPECT_EQ(info.width, 32);
  EXPECT_EQ(info.height, 32);
  EXPECT_TRUE(info.hasPreview);
  struct Limit {
    long long w, h, want;  // want: the chosen image's side, 0 none
  } limits[] = {{16, 16, 16}, {48, 48, 32}, {31, 100, 16}, {15, 15, 0}, {32, 32, 32}};
  for (const Limit& l : limits) {
    SCOPED_TRACE(l.w);
    cPictICO pict;
    cPictDummy out;
    s.io.set_fp(0);
    ASSERT_EQ(pict.getPreview(&s.io, out, &l.w, &l.h), l.want != 0);
    if (l.want) {
      EXPECT_EQ(out.width(), l.want);
    }
  }
  cPictICO pict;
  cPictDummy out;
  s.io.set_fp(0);
  ASSERT_TRUE(pict.getPreview(&s.io, out, nullptr, nullptr));
  EXPECT_EQ(out.width(), 32);
  s.io.set_fp(0);
  ASSERT_TRUE(pict.decodePagePreview(&s.io, out, 8, 8, 1, true, 0xFFFFFFFF));
  EXPECT_EQ(out.width(), 8);
  s.io.set_fp(0);
  EXPECT_FALSE(pict.decodePagePreview(&s.io, out, 8, 8, 1, false, 0));
  // The factory finds icons, and rendering into a caller's bitmap works.
  s.io.set_fp(0);
  cPtr<cPictBase> found(cPictBase::mkPicture(&s.io, nullptr));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->typeOf(), kPictICO);
  cPictDummy target;
  ASSERT_TRUE(target.create(16, 16, 0));
  cPictBase::sExtPictDef def(&target);
  cPictICO rendered;
  s.io.set_fp(0);
  ASSERT_TRUE(rendered.setExtTarget(&def) && rendered.decode(&s.io));
  EXPECT_EQ(rendered.width(), 32);
}

// A bitmap header whose pixels are the PNG (compression 5) or JPEG (4) file `inner`.
Bytes carrying(const Bytes& inner, uint32_t w, uint32_t storedHeight, uint32_t compression) {
  Bytes dib(40 + inner.size(), 0);
  putLe(dib, 0, 40, 4);
  putLe(dib, 4, w, 4);
  putLe(dib, 8, storedHeight, 4);
  putLe(dib, 12, 1, 2);
  putLe(dib, 16, compression, 4);
  putLe(dib, 20, static_cast<uint32_t>(inner.size()), 4);
  std::copy(inner.begin(), inner.end(), dib.begin() + 40);
  return dib;
}

// The size icotool lists for an icon of `png` stored as it is.
bool icotoolSize(const std::string& png, long long& w, long long& h) {
  const std::string ico = png + ".ico", listing = png + ".txt";
  if (!run("icotool -c -o " + ico + " --raw=" + png) || !run("icotool -l " + ico + " > " + listing))
    return false;
  const Bytes text = readFile(listing);
  return std::sscanf(std::string(text.begin(), text.end()).c_str(),
                     "--icon --index=1 --width=%lld --height=%lld", &w, &h) == 2;
}

// Members carrying a PNG or JPEG file have that file's size, whether their
// stored height counts a mask or not: as the icon, its page, its decoded
// picture, and the preview the factory makes of it.
TEST(IcoDecode, MembersCarryingAFileHaveItsSize) {
  const struct {
    const char* name;
    int w, h;
    uint32_t compression;
    bool doubled;
  } cases[] = {{"PNG, height doubled", 256, 256, 5, true},
               {"JPEG, odd height doubled", 300, 301, 4, true},
               {"PNG, height as the file's", 300, 301, 5, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string png = path("carried.png"), jpeg = path("carried.jpg");
    ASSERT_TRUE(run("convert " + sourcePicture("carried.pam", c.w, c.h, 0, false, 31) + " " + png));
    ASSERT_TRUE(run("convert " + png + " -quality 90 " + jpeg));
    long long w = 0, h = 0;
    ASSERT_TRUE(icotoolSize(png, w, h));
    const Bytes inner = readFile(c.compression == 5 ? png : jpeg);
    const uint32_t stored = static_cast<uint32_t>(c.doubled ? 2 * h : h);
    Stream s(iconFile({carrying(inner, static_cast<uint32_t>(w), stored, c.compression)}));
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictICO::validFor(&s.io, &info));
    EXPECT_EQ(info.width, w);
    EXPECT_EQ(info.height, h);
    int pw = 0, ph = 0;
    cPictICO pict;
    s.io.set_fp(0);
    ASSERT_TRUE(pict.getPageSize(&s.io, 0, pw, ph));
    EXPECT_EQ(pw, w);
    EXPECT_EQ(ph, h);
    s.io.set_fp(0);
    ASSERT_TRUE(pict.decode(&s.io));
    EXPECT_EQ(pict.width(), w);
    EXPECT_EQ(pict.height(), h);
    cPictDummy preview;
    s.io.set_fp(0);
    ASSERT_EQ(cPictBase::getPreview(&s.io, preview, 64, 64, true, 0xFFFFFF), 0);
    EXPECT_NEAR(preview.width(), 64.0 * w / std::max(w, h), 1);
    EXPECT_NEAR(preview.height(), 64.0 * h / std::max(w, h), 1);
  }
}

// A member whose PNG or JPEG cannot be read keeps its header's size and
// fails its own page only; the good member beside it reads as icotool
// extracts it.
TEST(IcoDecode, AnUnreadableCarriedFileCostsOnlyItsMember) {
  const std::string png = path("good.png"), ico = path("good.ico"), extracted = path("extracted.png");
  ASSERT_TRUE(run("convert " + sourcePicture("good.pam", 16, 16, 0, true, 41) + " " + png));
  ASSERT_TRUE(run("icotool -c -o " + ico + " " + png + " && icotool -x -o " + extracted + " " + ico));
  const Bytes good = readFile(ico);
  const Bytes goodMember(good.begin() + le32(&good[6 + 12]), good.end());
  Bytes badSignature = readFile(png);
  badSignature[1] = 'X';
  std::mt19937 rng(42);
  Bytes garbage(300);
  for (uint8_t& b : garbage) b = static_cast<uint8_t>(rng());
  auto with = [](Bytes b, size_t at, uint32_t v, int n) {
    putLe(b, at, v, n);
    return b;
  };
  const Bytes carried = carrying(readFile(png), 16, 32, 5);
  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"PNG signature damaged", carrying(badSignature, 16, 32, 5)},
      {"PNG of image size 0", with(carried, 20, 0, 4)},
      {"JPEG that is garbage", carrying(garbage, 16, 32, 4)},
      {"8 bits and no palette", with(carried, 14, 8, 2)},
      {"1 bit and no palette", with(carried, 14, 1, 2)},
  };
  for (const auto& [name, damaged] : cases) {
    SCOPED_TRACE(name);
    Stream s(iconFile({goodMember, damaged}));
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictICO::validFor(&s.io, &info));
    cPictICO pict;
    int w = 0, h = 0;
    s.io.set_fp(0);
    ASSERT_TRUE(pict.getPageSize(&s.io, 1, w, h));
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 32);
    s.io.set_fp(0);
    EXPECT_FALSE(pict.decodePage(&s.io, 1));
    s.io.set_fp(0);
    ASSERT_TRUE(pict.decode(&s.io));
    EXPECT_EQ(differences(pixelsOf(pict), imageMagick(extracted, 0)), "");
    cPictDummy preview;
    s.io.set_fp(0);
    EXPECT_EQ(cPictBase::getPreview(&s.io, preview, 64, 64, true, 0xFFFFFF), 0);
  }
}

// Bit-field members and DIB files after a 40-byte header have their masks
// next; they read as ImageMagick reads the same bitmap in a BMP file.
// ImageMagick knows no alpha bit fields, so that bitmap is held against the
// BMP file ImageMagick wrote, whose longer header carries the same masks.
TEST(IcoDecode, BitFieldMembersReadTheirMasks) {
  const struct {
    const char* subtype;
    uint32_t bits, compression, masks;
  } cases[] = {{"RGB565", 16, 3, 3}, {"ARGB8888", 32, 3, 3}, {"ARGB8888", 32, 6, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.subtype) + " " + std::to_string(c.compression));
    const std::string written = path("written.bmp"), same = path("same.bmp"), icon = path("fields.ico");
    // ImageMagick writes 32 bits for a source with alpha whatever it is asked.
    const std::string source = sourcePicture("fields.pam", 16, 16, 0, c.bits == 32, 51);
    ASSERT_TRUE(run("convert " + source + " -define bmp:subtype=" + c.subtype + " bmp:" + written));
    const Bytes f = readFile(written);
    ASSERT_EQ(le32(&f[14]), 124u);
    ASSERT_EQ(le16(&f[14 + 14]), c.bits);
    Bytes bitmap(f.begin() + 14, f.begin() + 14 + 40 + 4 * c.masks);
    putLe(bitmap, 0, 40, 4);
    putLe(bitmap, 16, c.compression, 4);
    bitmap.insert(bitmap.end(), f.begin() + le32(&f[10]), f.end());
    Bytes bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    putLe(bmp, 2, static_cast<uint32_t>(14 + bitmap.size()), 4);
    putLe(bmp, 10, 14 + 40 + 4 * c.masks, 4);
    bmp.insert(bmp.end(), bitmap.begin(), bitmap.end());
    writeFile(same, bmp);
    Bytes member = bitmap;
    putLe(member, 8, 32, 4);
    member.resize(member.size() + 4 * 16);  // an AND mask hiding nothing
    writeFile(icon, iconFile({member}));
    const Pixels ref = imageMagick(c.compression == 6 ? written : same, 0);
    Stream s(readFile(icon));
    cPictICO pict;
    ASSERT_TRUE(pict.decode(&s.io));
    EXPECT_EQ(differences(pixelsOf(pict), ref), "");
    // A DIB file has no offset field either.
    Stream bare(bitmap);
    cPictDIB dib;
    ASSERT_TRUE(dib.decode(&bare.io));
    EXPECT_EQ(differences(pixelsOf(dib), ref), "");
  }
}

TEST(IcoDecode, HostileDirectoriesAreRefused) {
  Bytes good = mixedIcon();
  auto with = [&](size_t at, uint32_t v, int n) {
    Bytes b = good;
    putLe(b, at, v, n);
    return b;
  };
  Bytes many(6 + 16 * 65535, 0);
  putLe(many, 2, 1, 2);
  putLe(many, 4, 65535, 2);
  for (size_t i = 0; i < 65535; ++i) {
    putLe(many, 6 + 16 * i + 8, 0xFFFFFFFFu, 4);
    putLe(many, 6 + 16 * i + 12, static_cast<uint32_t>(i * 7), 4);
  }
  Bytes second = good;
  second[le32(&good[6 + 16 + 12]) + 1] = 'X';  // the PNG signature broken
  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"reserved word", with(0, 1, 2)},
      {"no images", with(4, 0, 2)},
      {"unknown type", with(2, 3, 2)},
      {"offset past the end", with(6 + 12, 0xFFFFFFF0u, 4)},
      {"size cutting the PNG", with(6 + 16 + 8, 30, 4)},
      {"more entries than bytes", with(4, 500, 2)},
      {"second image unknown", second},
      {"65535 entries", many},
      {"truncated", Bytes(good.begin(), good.begin() + 40)},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    Stream s(bytes);
    cPictBase::sPictInfo info;
    EXPECT_FALSE(cPictICO::validFor(&s.io, &info));
    cPictICO pict;
    s.io.set_fp(0);
    pict.decode(&s.io);  // must not crash; some still hold a good first page
  }
}

}  // namespace
