#include <gif_lib.h>
#include <gtest/gtest.h>

#include "picts/pictgif.h"
#include "raster_support.h"

namespace {

using namespace rastertest;

// Every frame of a file as giflib reads it: transparent and out-of-palette
// indices become 0x00FFFFFF, as the decoder makes them.
bool giflibFrames(const std::string& file, std::vector<Pixels>& frames) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(file.c_str(), &error);
  if (!gif) return false;
  bool ok = DGifSlurp(gif) == GIF_OK;
  for (int i = 0; ok && i < gif->ImageCount; ++i) {
    const SavedImage& im = gif->SavedImages[i];
    const ColorMapObject* map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : gif->SColorMap;
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    DGifSavedExtensionToGCB(gif, i, &gcb);
    Pixels p;
    p.w = im.ImageDesc.Width;
    p.h = im.ImageDesc.Height;
    for (long long k = 0; k < p.w * p.h; ++k) {
      int index = im.RasterBits[k];
      bool known = map && index < map->ColorCount && index != gcb.TransparentColor;
      const GifColorType* c = known ? &map->Colors[index] : nullptr;
      p.argb.push_back(c ? 0xFF000000u | c->Red << 16 | c->Green << 8 | c->Blue : 0x00FFFFFFu);
    }
    frames.push_back(p);
  }
  DGifCloseFile(gif, &error);
  return ok;
}

TEST(GifDecode, ToolFilesMatchGiflibFrameByFrame) {
  std::string few = sourcePicture("gfew.pam", 31, 17, 16, false, 11);
  std::string two = sourcePicture("gtwo.pam", 9, 26, 2, false, 12);
  std::string many = sourcePicture("gmany.pam", 97, 61, 250, false, 13);
  std::string alpha = sourcePicture("galpha.pam", 23, 11, 12, true, 14);
  std::vector<std::pair<std::string, std::string>> cases = {
      {"89a", "convert " + few + " GIF:{}"},
      {"87a", "convert " + few + " GIF87:{}"},
      {"pamtogif", "pamtogif " + few + " > {}"},
      {"pamtogif without compression", "pamtogif -nolzw " + many + " > {}"},
      {"pamtogif without clear codes", "pamtogif -noclear " + many + " > {}"},
      {"pamtogif interlaced", "pamtogif -interlace " + many + " > {}"},
      {"codes to 12 bits", "convert " + many + " GIF:{}"},
      {"transparency", "convert " + alpha + " GIF:{}"},
      {"frames of other sizes and tables",
       "convert " + few + " " + two + " " + many + " " + alpha + " GIF:{}"},
  };
  for (int h = 1; h <= 9; ++h) {
    std::string src = sourcePicture("gi" + std::to_string(h) + ".pam", 5, h, 7, false, 20 + h);
    cases.push_back({"interlaced height " + std::to_string(h), "convert " + src + " -interlace GIF GIF:{}"});
  }
  for (const auto& [name, make] : cases) {
    SCOPED_TRACE(name);
    std::string file = path("case.gif"), cmd = make;
    cmd.replace(cmd.find("{}"), 2, file);
    ASSERT_TRUE(run(cmd));
    std::vector<Pixels> want;
    ASSERT_TRUE(giflibFrames(file, want));
    Stream s(readFile(file));
    cPictGIF gif;
    ASSERT_EQ(gif.getNumPages(&s.io), static_cast<int>(want.size()));
    for (size_t i = 0; i < want.size(); ++i) {
      SCOPED_TRACE("frame " + std::to_string(i));
      s.io.set_fp(0);
      int w = 0, h = 0;
      ASSERT_TRUE(gif.getPageSize(&s.io, static_cast<int>(i), w, h));
      EXPECT_EQ(w, want[i].w);
      EXPECT_EQ(h, want[i].h);
      s.io.set_fp(0);
      ASSERT_TRUE(gif.decodePage(&s.io, static_cast<int>(i)));
      EXPECT_EQ(differences(pixelsOf(gif), want[i]), "");
      s.io.set_fp(0);
      cPictDummy preview;
      ASSERT_TRUE(gif.decodePagePreview(&s.io, preview, 8, 8, static_cast<int>(i), true, 0));
      EXPECT_EQ(std::max(preview.width(), preview.height()), std::min<long long>(8, std::max(w, h)));
    }
  }
}

// A GIF put together by hand; codes are written as literals with a clear
// code often enough that their width never grows.
struct GifBuilder {
  Bytes out;
  int minCode = 2;

  GifBuilder(const char* version, int w, int h, std::vector<uint32_t> table) {
    out = {'G', 'I', 'F', '8', uint8_t(version[0]), uint8_t(version[1])};
    out.insert(out.end(), {uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 0, 0, 0});
    if (!table.empty()) {
      int bits = 0;
      while ((2u << bits) < table.size()) ++bits;
      out[10] = static_cast<uint8_t>(0x80 | bits);
      table.resize(2u << bits, 0);
      for (uint32_t c : table) out.insert(out.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    }
  }
  void control(int transparent) { out.insert(out.end(), {0x21, 0xF9, 4, 1, 0, 0, uint8_t(transparent), 0}); }
  void image(int w, int h, const std::vector<int>& codes, bool clearOnly = false) {
    out.insert(out.end(), {0x2C, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 0,
                           uint8_t(minCode)});
    int clear = 1 << minCode, width = minCode + 1, perClear = clear - 2;
    std::vector<int> stream;
    for (size_t i = 0; i < codes.size(); ++i) {
      if (i % perClear == 0) stream.push_back(clear);
      stream.push_back(clearOnly ? clear : codes[i]);
    }
    stream.push_back(clear + 1);
    Bytes data;
    unsigned acc = 0;
    int bits = 0;
    for (int c : stream) {
      acc |= static_cast<unsigned>(c) << bits;
      for (bits += width; bits >= 8; bits -= 8, acc >>= 8) data.push_back(static_cast<uint8_t>(acc));
    }
    if (bits) data.push_back(static_cast<uint8_t>(acc));
    for (size_t at = 0; at < data.size(); at += 255) {
      size_t n = std::min<size_t>(255, data.size() - at);
      out.push_back(static_cast<uint8_t>(n));
      out.insert(out.end(), data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
    }
    out.push_back(0);
  }
  Bytes done() {
    out.push_back(0x3B);
    return out;
  }
};

TEST(GifDecode, ControlBelongsToTheNextImageOnly) {
  GifBuilder b("9a", 2, 1, {0x102030, 0x405060});
  b.control(0);
  b.image(2, 1, {0, 1});
  b.image(2, 1, {0, 3});  // 3 lies past the two colours
  std::string file = path("control.gif");
  writeFile(file, b.done());
  std::vector<Pixels> want;
  ASSERT_TRUE(giflibFrames(file, want));
  Stream s(readFile(file));
  cPictGIF gif;
  ASSERT_TRUE(gif.decodePage(&s.io, 0));
  EXPECT_EQ(pixelsOf(gif).argb, (std::vector<uint32_t>{0x00FFFFFF, 0xFF405060}));
  s.io.set_fp(0);
  ASSERT_TRUE(gif.decodePage(&s.io, 1));
  EXPECT_EQ(pixelsOf(gif).argb, (std::vector<uint32_t>{0xFF102030, 0x00FFFFFF}));
  EXPECT_EQ(pixelsOf(gif).argb, want[1].argb);
}

TEST(GifDecode, ProbesAndRefusals) {
  auto file = [](const char* version, int w, int h, bool table) {
    GifBuilder b(version, w, h, table ? std::vector<uint32_t>{1, 2} : std::vector<uint32_t>{});
    b.image(w, h, std::vector<int>(static_cast<size_t>(w) * h, 1));
    return b.done();
  };
  struct Case {
    const char* name;
    Bytes bytes;
    bool probes, decodes;
  };
  Bytes otherBlock = file("9a", 2, 2, true);
  otherBlock[19] = 0x00;  // the first block after the table
  const Case cases[] = {
      {"9a", file("9a", 3, 2, true), true, true},
      {"7a", file("7a", 3, 2, true), true, true},
      {"8a", file("8a", 3, 2, true), false, false},
      {"no screen width", file("9a", 0, 2, true), false, false},
      {"no colour table", file("9a", 3, 2, false), true, false},
      {"other first block", otherBlock, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stream s(c.bytes);
    EXPECT_EQ(cPictGIF::validFor(&s.io, nullptr), c.probes);
    s.io.set_fp(0);
    cPictGIF gif;
    EXPECT_EQ(gif.decode(&s.io), c.decodes);
  }
  // A preview refused before drawing leaves no target behind for the next decode.
  {
    Stream bare(file("9a", 3, 2, false)), good(file("9a", 3, 2, true));
    cPictGIF gif;
    cPictDummy preview;
    EXPECT_FALSE(gif.decodePagePreview(&bare.io, preview, 8, 8, 0, true, 0));
    ASSERT_TRUE(gif.decode(&good.io));
    EXPECT_NE(gif.raw8Bpp(), nullptr);
  }
  // A trailer missing: the count of pages cannot be known.
  Bytes open = file("9a", 2, 2, true);
  open.pop_back();
  Stream s(open);
  cPictGIF gif;
  EXPECT_EQ(gif.getNumPages(&s.io), -1);
}

TEST(GifDecode, HostileSizesAndCodesStayBounded) {
  // Clear codes only, for a frame as large as the format allows: neither a
  // buffer nor a render may be attempted at that size.
  GifBuilder huge("9a", 65535, 65535, {1, 2});
  huge.image(65535, 65535, std::vector<int>(2000, 0), true);
  Stream s(huge.done());
  cPictGIF gif;
  EXPECT_FALSE(gif.decode(&s.io));
  cPictDummy icon;
  ASSERT_TRUE(icon.create(16, 16, 0));
  cPictBase::sExtPictDef target(&icon);
  ASSERT_TRUE(gif.setExtTarget(&target));
  s.io.set_fp(0);
  EXPECT_FALSE(gif.decode(&s.io));

  // Within the pixel cap, yet far more pixels than a few codes can fill.
  GifBuilder sparse("9a", 16384, 16384, {1, 2});
  sparse.image(16384, 16384, std::vector<int>(300, 1));
  Stream sp(sparse.done());
  EXPECT_FALSE(gif.decode(&sp.io));

  // Codes for far more pixels than a 2 x 1 frame holds stop at its size.
  GifBuilder many("9a", 2, 1, {0x111111, 0x222222});
  many.image(2, 1, std::vector<int>(100000, 1));
  Stream m(many.done());
  ASSERT_TRUE(gif.decode(&m.io));
  EXPECT_EQ(pixelsOf(gif).argb, (std::vector<uint32_t>{0xFF222222, 0xFF222222}));

  // Clear codes only in a small frame: a success with nothing drawn.
  GifBuilder clears("9a", 2, 1, {0x111111, 0x222222});
  clears.image(2, 1, std::vector<int>(10, 0), true);
  Stream c(clears.done());
  EXPECT_TRUE(gif.decode(&c.io));
}

}  // namespace
