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

constexpr char kLong[] = "/h/K\u00fc/file_with_a_rather_long_name_number_1.txt";

TEST(FitPath, KeepsTheStartAndTheFileName) {
  // `located`: the width holds the path whole or with its first two
  // folders and its whole file name.
  const struct {
    const char* path;
    int width;
    const char* fitted;
    bool located;
  } cases[] = {
      {"/a/b.txt", 8, "/a/b.txt", true},
      {"/a/b.txt", 7, "\u2026/b.txt", false},
      {"/home/user/data/file.txt", 15, "/home\u2026/file.txt", false},
      {"/home/user/data/deep/file.txt", 29, "/home/user/data/deep/file.txt", true},
      {"/home/user/data/deep/file.txt", 20, "/home/user\u2026/file.txt", true},
      {"/home/user/data/deep/file.txt", 19, "/home/use\u2026/file.txt", false},
      {"/home/user/data/deep/file.txt", 25, "/home/user\u2026/deep/file.txt", true},
      {"/home/user/data/deep/file.txt", 24, "/home/user/dat\u2026/file.txt", true},
      {"home/user/data/file.txt", 19, "home/user\u2026/file.txt", true},
      {"home/user/data/file.txt", 18, "home/use\u2026/file.txt", false},
      {"/\u00dc\u00dc\u00dc\u00dc\u00dc\u00dc/\u00fc.txt", 9, "/\u00dc\u2026/\u00fc.txt", false},
      {"/a/verylongname.txt", 6, "v\u2026.txt", false},
      {"relative-name-only.txt", 5, "\u2026.txt", false},
      {kLong, 48, "/h/K\u00fc/file_with_a_rather_long_name_number_1.txt", true},
      {kLong, 46, "/h/\u2026/file_with_a_rather_long_name_number_1.txt", false},
      {kLong, 30, "file_with_a_rat\u2026e_number_1.txt", false},
      {kLong, 8, "fil\u2026.txt", false},
  };
  for (const auto& c : cases) {
    const std::string fitted = fitPath(c.path, c.width, characters);
    EXPECT_EQ(fitted, c.fitted) << c.path << " in " << c.width;
    EXPECT_LE(characters(fitted), c.width) << c.path;
    EXPECT_EQ(fitsWithStartAndName(c.path, c.width, characters), c.located) << c.path << " in " << c.width;
  }
}

}  // namespace
