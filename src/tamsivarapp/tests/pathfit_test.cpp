// Paths shortened to a width, measured here in characters: the start and
// the file name stay, whole characters only.
#include "tamsivarapp/pathfit.h"

#include <gtest/gtest.h>

namespace {

int characters(const std::string& s) {
  int n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

TEST(FitPath, KeepsTheStartAndTheFileName) {
  const struct {
    const char* path;
    int width;
    const char* fitted;
  } cases[] = {
      {"/a/b.txt", 8, "/a/b.txt"},
      {"/home/user/data/file.txt", 15, "/home\u2026/file.txt"},
      {"/\u00dc\u00dc\u00dc\u00dc\u00dc\u00dc/\u00fc.txt", 9, "/\u00dc\u2026/\u00fc.txt"},
      {"/a/verylongname.txt", 6, "v\u2026.txt"},
      {"relative-name-only.txt", 5, "\u2026.txt"},
      {"/h/K\u00fc/file_with_a_rather_long_name_number_1.txt", 30, "file_with_a_rat\u2026e_number_1.txt"},
      {"/h/K\u00fc/file_with_a_rather_long_name_number_1.txt", 8, "fil\u2026.txt"},
  };
  for (const auto& c : cases) {
    const std::string fitted = fitPath(c.path, c.width, characters);
    EXPECT_EQ(fitted, c.fitted) << c.path;
    EXPECT_LE(characters(fitted), c.width) << c.path;
  }
}

TEST(FitPath, TellsWhetherTheFirstFoldersAndTheFileNameFit) {
  const struct {
    const char* path;
    int width;
    bool fits;
  } cases[] = {
      {"/home/user/data/deep/file.txt", 29, true},
      {"/home/user/data/deep/file.txt", 20, true},
      {"/home/user/data/deep/file.txt", 19, false},
      {"home/user/data/file.txt", 19, true},
      {"home/user/data/file.txt", 18, false},
      {"/a/b.txt", 7, false},
      {"/h/K\u00fc/file_with_a_rather_long_name_number_1.txt", 48, true},
      {"/h/K\u00fc/file_with_a_rather_long_name_number_1.txt", 46, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fitsWithStartAndName(c.path, c.width, characters), c.fits) << c.path << " in " << c.width;
    if (c.fits) {
      const std::string fitted = fitPath(c.path, c.width, characters);
      const std::string path = c.path;
      EXPECT_TRUE(fitted.ends_with(path.substr(path.rfind('/')))) << fitted;
    }
  }
}

}  // namespace
