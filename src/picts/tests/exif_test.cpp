// EXIF properties of JPEG and TIFF files written by exiftool, against
// exiftool's own reading, and the walks a forged block must not take.
#include "picts/exif.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picts/pictjpeg.h"
#include "picts/picttiff.h"
#include "picts/tests/raster_support.h"
#include "picts/tests/tiff_support.h"

using namespace tifftest;

namespace {

// exiftool's numeric values of the tags, in order, tab-separated.
std::vector<std::string> exiftoolValues(const std::string& path, const std::vector<std::string>& tags) {
  std::string command = "exiftool -n -T";
  for (const auto& t : tags) command += " -" + t;
  std::FILE* p = popen((command + " " + path).c_str(), "r");
  std::vector<std::string> out;
  if (!p) return out;
  char line[4096] = {};
  if (std::fgets(line, sizeof line, p)) {
    std::stringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '\t'))
      out.push_back(field.substr(0, field.find_last_not_of("\r\n") + 1));
  }
  pclose(p);
  return out;
}

double number(cPictBase& pict, cPictBase::eExProps key) {
  if (auto* d = pict.getPropDouble(key)) return d->value;
  if (auto* i = pict.getPropInt(key)) return i->value;
  return NAN;
}

std::string text(cPictBase& pict, cPictBase::eExProps key) {
  auto* s = pict.getPropString(key);
  return s && s->value.ptr ? s->value.ptr : "";
}

std::string date(cPictBase& pict, cPictBase::eExProps key) {
  auto* t = pict.getPropTimestamp(key);
  if (!t) return "";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d:%02d:%02d %02d:%02d:%02d", t->value.year, t->value.month, t->value.day,
                t->value.hour, t->value.minute, t->value.second);
  return buf;
}

TEST(Exif, PropertiesEqualExiftoolInJpegAndTiff) {
  std::string dir = scratchDir(), thumb = dir + "/thumb.jpg";
  ASSERT_TRUE(run({"convert", "rose:", "-resize", "32x21", thumb}));
  const std::vector<std::string> tags = {
      "Make", "Model",       "DateTimeOriginal", "ModifyDate",  "ExposureTime", "FNumber",
      "ISO",  "XResolution", "YResolution",      "GPSLatitude", "GPSLongitude", "GPSAltitude"};
  const int rotation[9] = {0, 0, 0, 180, 0, 90, 270, 270, 90}, mirror[9] = {0, 0, 1, 0, 2, 1, 0, 1, 0};
  for (const char* ext : {"jpg", "tif"})
    for (int orientation = 1; orientation <= 8; ++orientation) {
      std::string path = dir + "/exif" + std::to_string(orientation) + "." + ext;
      bool south = orientation % 2, west = orientation > 4, below = orientation % 3 == 0;
      ASSERT_TRUE(run({"convert", "rose:", "-depth", "8", path}));
      std::vector<std::string> args = {"exiftool",
                                       "-q",
                                       "-overwrite_original",
                                       "-Make=Acme Optics",
                                       "-Model=Model " + std::to_string(orientation),
                                       "-DateTimeOriginal=2021:05:06 07:08:09",
                                       "-ModifyDate=2020:01:02 03:04:05",
                                       "-ExposureTime=0.004",
                                       "-FNumber=2.8",
                                       "-ISO=" + std::to_string(100 * orientation),
                                       "-XResolution=300",
                                       "-YResolution=240",
                                       "-ResolutionUnit=cm",
                                       "-Orientation#=" + std::to_string(orientation),
                                       "-GPSLatitude=10.5",
                                       std::string("-GPSLatitudeRef=") + (south ? "S" : "N"),
                                       "-GPSLongitude=20.25",
                                       std::string("-GPSLongitudeRef=") + (west ? "W" : "E"),
                                       "-GPSAltitude=100.5",
                                       std::string("-GPSAltitudeRef=") + (below ? "1" : "0")};
      if (std::string(ext) == "jpg") args.push_back("-ThumbnailImage<=" + thumb);
      args.push_back(path);
      ASSERT_TRUE(run(args)) << path;
      std::vector<std::string> expected = exiftoolValues(path, tags);
      ASSERT_EQ(expected.size(), tags.size()) << path;

      Bytes file = readFile(path);
      cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
      cPtr<cPictBase> pict(std::string(ext) == "jpg" ? static_cast<cPictBase*>(new cPictJPEG)
                                                     : new cPictTIFF);
      cPictBase::sPictInfo info;
      ASSERT_TRUE(pict->isPicture(&io, &info)) << path;
      EXPECT_EQ(info.hasPreview, std::string(ext) == "jpg") << path;
      EXPECT_EQ(text(*pict, cPictBase::epMake), expected[0]);
      EXPECT_EQ(text(*pict, cPictBase::epModel), expected[1]);
      EXPECT_EQ(date(*pict, cPictBase::epDateTaken), expected[2]);
      EXPECT_EQ(date(*pict, cPictBase::epDateTime), expected[3]);
      const std::pair<cPictBase::eExProps, int> numbers[] = {
          {cPictBase::epExposureTime, 4}, {cPictBase::epFNumber, 5},     {cPictBase::epISOSpeed, 6},
          {cPictBase::epXResolution, 7},  {cPictBase::epYResolution, 8}, {cPictBase::epLatitude, 9},
          {cPictBase::epLongitude, 10},   {cPictBase::epAltitude, 11}};
      for (const auto& [key, at] : numbers)
        EXPECT_NEAR(number(*pict, key), std::stod(expected[at]), 1e-9) << path << " " << tags[at];
      EXPECT_EQ(number(*pict, cPictBase::epResolutionInches), 0);
      EXPECT_EQ(number(*pict, cPictBase::epRotation), rotation[orientation]) << path;
      EXPECT_EQ(number(*pict, cPictBase::epMirror), mirror[orientation]) << path;
    }
}

TEST(Exif, JpegThumbnailEqualsTheThumbnailDecodedAlone) {
  std::string dir = scratchDir(), thumb = dir + "/thumb2.jpg", path = dir + "/withthumb.jpg";
  ASSERT_TRUE(run({"convert", "rose:", "-resize", "32x21", thumb}));
  ASSERT_TRUE(run({"convert", "rose:", path}));
  ASSERT_TRUE(
      run({"exiftool", "-q", "-overwrite_original", "-Make=Acme", "-ThumbnailImage<=" + thumb, path}));
  Bytes alone = readFile(thumb), file = readFile(path);
  cBufWrapperIO aloneIo(alone.data(), static_cast<long long>(alone.size()), false);
  cPictJPEG expected;
  ASSERT_TRUE(expected.decode(&aloneIo));
  cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
  cPictJPEG jpeg;
  cPictDummy preview;
  ASSERT_TRUE(jpeg.getPreview(&io, preview, nullptr, nullptr));
  ASSERT_EQ(preview.width(), expected.width());
  ASSERT_EQ(preview.height(), expected.height());
  for (long long i = 0; i < preview.width() * preview.height(); ++i)
    ASSERT_EQ(preview.raw8Bpp()[i], expected.raw8Bpp()[i]) << i;
  io.set_fp(0);
  ASSERT_TRUE(jpeg.decode(&io));
  EXPECT_EQ(jpeg.width(), 70);

  // A decode loads the thumbnail as well, as djpeg reads what exiftool
  // extracts; a picture that wants no alternatives leaves it unread.
  rastertest::Pixels want;
  ASSERT_TRUE(
      rastertest::oracle("exiftool -b -ThumbnailImage {} | djpeg -nosmooth -dct int -pnm", path, want));
  for (bool wanted : {true, false}) {
    cPictJPEG full;
    full.setWantAlts(wanted);
    io.set_fp(0);
    ASSERT_TRUE(full.decode(&io));
    cPictPropImage* loaded = full.getPropImage(cPictBase::epThumbnail);
    cPictBase* thumbnail = loaded ? loaded->value : nullptr;
    ASSERT_EQ(thumbnail && thumbnail->raw8Bpp(), wanted);
    if (!wanted) continue;
    rastertest::Pixels got = rastertest::pixelsOf(*thumbnail);
    EXPECT_EQ(got.w, want.w);
    EXPECT_EQ(got.h, want.h);
    EXPECT_TRUE(got.argb == want.argb);
  }
}

// A block of one IFD whose EXIF pointer leads where the test says.
Bytes exifBlock(int pointTo, bool badMake) {
  Writer w;
  std::vector<Entry> main = {{271, static_cast<uint16_t>(badMake ? 7 : 2), 5, {'A', 'c', 'm', 'e', 0}},
                             w.longEntry(34665, {0})};
  std::vector<Entry> exif = {w.longEntry(256, {77}), w.longEntry(40965, {0})};
  w.ifds = {main, exif};
  w.nextIfd = {-1, -1};
  Bytes file = w.build();
  // Patch the pointers now that the IFD offsets are known: IFD 0 sits at
  // the header's offset, IFD 1 right after IFD 0's values.
  uint32_t first = file[4] | file[5] << 8 | file[6] << 16 | static_cast<uint32_t>(file[7]) << 24;
  uint32_t second = first + 2 + 2 * 12 + 4;
  auto patch = [&](uint32_t entryAt, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[entryAt + 8 + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  patch(first + 2 + 12, second);
  patch(second + 2 + 12, pointTo == 0 ? first : pointTo == 1 ? second : second + 40);
  return file;
}

// A sub-IFD that cannot be walked is skipped: its own tags are lost, not
// the block's.
TEST(Exif, ForgedBlocksStopWithoutLoopsAndKeepWhatWasRead) {
  struct sCase {
    const char* name;
    Bytes block;
    bool ok;
    int width;  // property 18 after the walk, -1 none
    bool make;
  };
  const std::vector<sCase> cases = {
      {"interoperability pointer back to the main IFD", exifBlock(0, false), true, 77, true},
      {"interoperability pointer to itself", exifBlock(1, false), true, 77, true},
      {"pointer past the block", exifBlock(2, false), true, 77, true},
      {"Make of type UNDEFINED", exifBlock(2, true), false, -1, false},
  };
  for (const auto& tc : cases) {
    Bytes block = tc.block;
    cBufWrapperIO io(block.data(), static_cast<long long>(block.size()), false);
    cPictDummy pict;
    cExifDecoder exif;
    EXPECT_EQ(exif.decode(&pict, &io, cExifDecoder::kMainIFD), tc.ok) << tc.name;
    if (tc.width < 0) {
      EXPECT_EQ(pict.getPropInt(cPictBase::epEmbeddedWidth), nullptr) << tc.name;
    } else {
      EXPECT_EQ(number(pict, cPictBase::epEmbeddedWidth), tc.width) << tc.name;
    }
    EXPECT_EQ(text(pict, cPictBase::epMake), tc.make ? "Acme" : "") << tc.name;
  }
}

// A TIFF whose EXIF or interoperability pointer leads nowhere, to 0 or back
// to its own IFD, is a picture as libtiff reads it.
TEST(Exif, TiffsWithBrokenSubIfdPointersArePictures) {
  const uint32_t kSelf = ~0U, kExif = ~1U;
  const struct {
    const char* name;
    uint32_t exif, interop;  // offsets, or where the IFD itself lands
  } cases[] = {{"EXIF pointer to 0", 0, 0},
               {"EXIF pointer to its own IFD", kSelf, 0},
               {"interoperability pointer to its own IFD", kExif, kExif},
               {"EXIF pointer past the file", 0x7FFFFFF0, 0}};
  const std::string path = scratchDir() + "/broken_subifd.tif";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Writer w;
    const Bytes grey = {10, 20, 30, 40};
    w.ifds.push_back(pictureIfd(w, 2, 2, 8, 1, 1, grey));
    w.ifds[0].push_back(w.longEntry(34665, {c.exif}));
    w.ifds.push_back({w.longEntry(36864, {0}), w.longEntry(40965, {c.interop})});
    w.nextIfd = {-1, -1};
    Bytes file = w.build();
    // The IFDs' offsets are known once built: the main one from the
    // header, the EXIF one from the main one's pointer when it is patched.
    auto u32 = [&](size_t at) {
      return uint32_t(file[at] | file[at + 1] << 8 | file[at + 2] << 16 | uint32_t(file[at + 3]) << 24);
    };
    const uint32_t main = u32(4), mainEntries = 10;
    const uint32_t exifAt = main + 2 + mainEntries * 12 + 4;
    const auto patch = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) file[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    patch(main + 2 + 9 * 12 + 8, c.exif == kSelf ? main : c.exif == kExif ? exifAt : c.exif);
    patch(exifAt + 2 + 12 + 8, c.interop == kExif ? exifAt : c.interop);
    writeFile(path, file);
    ASSERT_TRUE(run({"tiff2rgba", path, path + ".rgba.tif"}));
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
    cPictTIFF pict;
    ASSERT_TRUE(pict.decode(&io));
    EXPECT_EQ(pict.raw8Bpp()[0] & 0xFF, 30u);  // bottom-up: the picture's last row first
  }
}

TEST(Exif, AJpegWhoseExifIsRefusedStillDecodesWithWhatWasRead) {
  std::string path = scratchDir() + "/refused_exif.jpg";
  ASSERT_TRUE(run({"convert", "rose:", path}));
  Bytes jpeg = readFile(path), block = exifBlock(0, false);
  Bytes app1 = {0xFF, 0xE1, uint8_t((block.size() + 8) >> 8), uint8_t(block.size() + 8)};
  app1.insert(app1.end(), {'E', 'x', 'i', 'f', 0, 0});
  app1.insert(app1.end(), block.begin(), block.end());
  jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
  cBufWrapperIO io(jpeg.data(), static_cast<long long>(jpeg.size()), false);
  cPictJPEG pict;
  ASSERT_TRUE(pict.decode(&io));
  EXPECT_EQ(pict.width(), 70);
  EXPECT_EQ(text(pict, cPictBase::epMake), "Acme");
  EXPECT_EQ(number(pict, cPictBase::epEmbeddedWidth), 77);
}

}  // namespace
