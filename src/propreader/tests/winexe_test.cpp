#include <gtest/gtest.h>

#include <string>

#include "base/memio.h"
#include "base/tests/run_program.h"
#include "base/tests/scratch_dir.h"
#include "propreader/winexeprops.h"
#include "winexe_support.h"

namespace {

using namespace winexetest;

struct Loaded {
  Bytes bytes;
  cWinExeProps props;
  bool ok = false;
};

void load(Loaded& l, const Bytes& file, int side) {
  l.bytes = file;
  cBufWrapperIO io(l.bytes.data(), static_cast<long long>(l.bytes.size()), false);
  l.props.close();
  l.props.setPreviewPreferrences(side, side);
  l.ok = l.props.load(&io, 0, true);
}

Bytes pngOf(int side, const char* colour) {
  ScratchDir dir;
  const std::string size = std::to_string(side) + "x" + std::to_string(side);
  if (runProgram({"convert", "-size", size, std::string("xc:") + colour, dir.file("p.png")}) != 0) return {};
  const std::string bytes = dir.read("p.png");
  return Bytes(bytes.begin(), bytes.end());
}

const Bytes kStrings = versionInfo(
    {block(
         "040904B0", {}, 0, 1,
         {text("CompanyName", "First Company"), text("ProductName", "Early"), text("FileDescription", "Tool"),
          text("LegalCopyright", "(c) Someone"), text("ProductVersion", "1.2.3")}),
     block("040704B0", {}, 0, 1, {text("ProductName", "Later"), text("CompanyName", "Zweite Firma")})});

TEST(WinExe, IconChoiceFollowsThePreference) {
  const Bytes png = pngOf(256, "yellow");
  ASSERT_FALSE(png.empty());
  std::vector<Resource> icons = {{3, 1, 1033, solidIcon(16, 0xFFFF0000)},
                                 {3, 2, 1033, solidIcon(32, 0xFF00FF00)},
                                 {3, 3, 1033, solidIcon(48, 0xFF0000FF)},
                                 {3, 4, 1033, png}};
  std::vector<Resource> onlyPng = {{3, 7, 1033, png}};
  struct Case {
    const std::vector<Resource>* resources;
    int side;
    long long want;
    uint32_t colour;
  } cases[] = {{&icons, 16, 16, 0xFFFF0000},  {&icons, 48, 48, 0xFF0000FF},   {&icons, 20, 20, 0xFF00FF00},
               {&icons, -1, 256, 0xFFFFFF00}, {&onlyPng, 16, 16, 0xFFFFFF00}, {&onlyPng, 48, 48, 0xFFFFFF00}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.side);
    Loaded l;
    load(l, executable(resourceSection(*c.resources)), c.side);
    ASSERT_TRUE(l.ok);
    cPictDummy* p = l.props.prop_pict(cFileObjectProps::kPreview);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->width(), c.want);
    EXPECT_EQ(p->height(), c.want);
    EXPECT_EQ(p->raw8Bpp()[c.want / 2 * c.want + c.want / 2], c.colour);
  }
}

TEST(WinExe, VersionStringsAndMissingParts) {
  Bytes broken = kStrings;
  put(broken, 40, 0, 4);  // the fixed block's signature
  Bytes other = versionInfo({block("041104B0", {}, 0, 1, {text("ProductName", "Other")})});
  Bytes closed =
      versionInfo({block("041104B0", {}, 0, 1, {text("ProductName", "Closed"), Bytes{4, 0, 0, 0}})});
  struct Case {
    std::string name;
    std::vector<Resource> resources;
    bool named;
    const char* product;  // null: no strings
    const char* company;
    bool icon;
  } cases[] = {
      {"later table wins",
       {{16, 1, 1033, kStrings}, {3, 1, 1033, solidIcon(16, 0xFF000000)}},
       false,
       "Later",
       "Zweite Firma",
       true},
      {"first language that parses",
       {{16, 1, 1031, broken}, {16, 1, 1041, other}},
       false,
       "Other",
       nullptr,
       false},
      {"first language wins",
       {{16, 1, 1033, kStrings}, {16, 1, 1041, other}},
       true,
       "Later",
       "Zweite Firma",
       false},
      {"no version", {{3, 1, 1033, solidIcon(32, 0xFF000000)}}, false, nullptr, nullptr, true},
      {"empty block closing a level", {{16, 1, 1033, closed}}, false, "Closed", nullptr, false},
      {"version name 2 is not read", {{16, 2, 1033, kStrings}}, false, nullptr, nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Loaded l;
    load(l, executable(resourceSection(c.resources, c.named)), 16);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.props.has_prop(cFileObjectProps::kPreview), c.icon);
    if (!c.product) {
      EXPECT_FALSE(l.props.has_prop(cFileObjectProps::kProductName));
      continue;
    }
    EXPECT_STREQ(l.props.prop_string(cFileObjectProps::kProductName), c.product);
    if (c.company) {
      EXPECT_STREQ(l.props.prop_string(cFileObjectProps::kCompanyName), c.company);
      EXPECT_STREQ(l.props.prop_string(cFileObjectProps::kFileDescription), "Tool");
      EXPECT_STREQ(l.props.prop_string(cFileObjectProps::kLegalCopyright), "(c) Someone");
      EXPECT_STREQ(l.props.prop_string(cFileObjectProps::kProductVersion), "1.2.3");
    }
  }
  Loaded l;
  Bytes exe = executable(resourceSection({{16, 1, 1033, kStrings}}));
  cBufWrapperIO io(exe.data(), static_cast<long long>(exe.size()), false);
  cPtr<cFileObjectProps> guessed(cFileObjectProps::guessObj(&io));
  ASSERT_TRUE(guessed);
  EXPECT_EQ(guessed->typeOf(), 0);
  EXPECT_STREQ(guessed->default_extension(), "exe");
}

// An icon whose bitmap carries a JPEG larger than the size from which the
// decoder reads its stream ahead shows the pixels djpeg gives that JPEG
// when it repeats chroma as our decoder does.
TEST(WinExe, LargeJpegIconShowsAsDjpeg) {
  const int w = 2049, h = 2048;
  ScratchDir dir;
  std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) ppm += {char(x * 255 / w), char(y * 255 / h), char((x ^ y) & 0xFF)};
  ASSERT_EQ(runProgram({"cjpeg", "-outfile", dir.file("i.jpg"), dir.write("i.ppm", ppm)}), 0);
  ASSERT_EQ(runProgram({"djpeg", "-nosmooth", "-pnm", "-outfile", dir.file("o.ppm"), dir.file("i.jpg")}), 0);
  const std::string jpeg = dir.read("i.jpg"), shown = dir.read("o.ppm");
  ASSERT_EQ(shown.size(), ppm.size());
  Bytes icon(40, 0);
  put(icon, 0, 40, 4);
  put(icon, 4, w, 4);
  put(icon, 8, 2 * h, 4);
  put(icon, 12, 1, 2);
  put(icon, 16, 4, 4);  // the pixels are a JPEG file
  put(icon, 20, static_cast<uint32_t>(jpeg.size()), 4);
  icon.insert(icon.end(), jpeg.begin(), jpeg.end());
  Loaded l;
  load(l, executable(resourceSection({{3, 1, 1033, icon}})), -1);
  ASSERT_TRUE(l.ok);
  cPictDummy* p = l.props.prop_pict(cFileObjectProps::kPreview);
  ASSERT_TRUE(p);
  ASSERT_EQ(p->width(), w);
  ASSERT_EQ(p->height(), h);
  long long differ = 0;
  const unsigned char* rgb = reinterpret_cast<const unsigned char*>(shown.data() + shown.size() - 3LL * w * h);
  for (long long y = 0; y < h; ++y)
    for (long long x = 0; x < w; ++x, rgb += 3)
      differ += p->raw8Bpp()[(h - 1 - y) * w + x] != (0xFF000000u | rgb[0] << 16 | rgb[1] << 8 | rgb[2]);
  EXPECT_EQ(differ, 0);
}

// Version blocks that lie: each still loads, without the strings.
TEST(WinExe, HostileVersionBlocksLeaveTheStringsOut) {
  Bytes five = kStrings, unterminated = kStrings, deep = block("Leaf", utf16("x"), 2, 1);
  put(five, 40 + 52, 5, 2);  // StringFileInfo's length
  for (size_t at = 40 + 52 + 6; at < unterminated.size(); ++at) unterminated[at] |= 1;
  for (int i = 0; i < 1000; ++i) deep = block("L", {}, 0, 1, {deep});
  Bytes tooDeep = versionInfo({deep});
  Bytes longer = kStrings;
  put(longer, 0, static_cast<uint32_t>(kStrings.size() + 8), 2);
  for (const Bytes& version : {five, unterminated, tooDeep, longer}) {
    Loaded l;
    load(l, executable(resourceSection({{16, 1, 1033, version}})), 16);
    EXPECT_TRUE(l.ok);
    EXPECT_FALSE(l.props.has_prop(cFileObjectProps::kProductName));
  }
}

TEST(WinExe, HostileFilesAreRefusedWithoutLargeAllocations) {
  const std::vector<Resource> resources = {{16, 1, 1033, kStrings}, {3, 1, 1033, solidIcon(16, 0xFFFF0000)}};
  const Bytes section = resourceSection(resources), good = executable(section);
  auto patched = [](Bytes b, size_t at, uint32_t v, int n) {
    put(b, at, v, n);
    return b;
  };
  const size_t rsrc = kSectionsAt + 40;
  Bytes selfPointing = section;
  put(selfPointing, 16 + 4, 0x80000000u, 4);  // the first type's names are the root again
  // Every type entry of a wide root sharing one names directory.
  Bytes wide(16 + 8 * 4000, 0);
  put(wide, 14, 4000, 2);
  for (size_t i = 0; i < 4000; ++i) put(wide, 16 + 8 * i + 4, 0x80000000u, 4);
  Bytes outside = section;
  put(outside, 16 + 4, 0x80000000u | 0x7FFFFF00u, 4);
  Bytes dataAtType = section;
  put(dataAtType, 16 + 4, 16, 4);
  // One resource: the root, names and languages directories of 24 bytes
  // each, then its data entry.
  Bytes rvaOutside = resourceSection({{16, 1, 1033, kStrings}});
  put(rvaOutside, 72, 0x7FFFFFF0u, 4);
  struct Case {
    std::string name;
    Bytes file;
    bool loads;
  } cases[] = {
      {"e_lfanew past the end", patched(good, 60, 0xFFFFFF00u, 4), false},
      {"e_lfanew inside the DOS header", patched(good, 60, 8, 4), false},
      {"no PE signature", patched(good, 64, 0, 4), false},
      {"65535 sections", patched(good, 70, 65535, 2), false},
      {"raw data past the end", patched(good, rsrc + 20, 0xFFFFF000u, 4), false},
      {"raw size of 4 GiB", patched(good, rsrc + 16, 0xFFFFFFFFu, 4), false},
      {"self-pointing directory", executable(selfPointing), false},
      {"shared directories", executable(wide), false},
      {"directory outside the section", executable(outside), false},
      {"data at the type level", executable(dataAtType), false},
      {"version RVA outside the section", executable(rvaOutside), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Loaded l;
    load(l, c.file, 16);
    EXPECT_EQ(l.ok, c.loads);
  }
  for (size_t cut = 0; cut < good.size(); cut += 7) {
    Loaded l;
    load(l, Bytes(good.begin(), good.begin() + static_cast<long>(cut)), 16);
    EXPECT_FALSE(l.ok) << cut;
  }
}

}  // namespace
