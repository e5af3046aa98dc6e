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
      {"/a/verylongname.txt", 6, "\u2026e.txt"},
      {"relative-name-only.txt", 5, "\u2026.txt"},
  };
  for (const auto& c : cases) {
    const std::string fitted = fitPath(c.path, c.width, characters);
    EXPECT_EQ(fitted, c.fitted) << c.path;
    EXPECT_LE(characters(fitted), c.width) << c.path;
  }
}

}  // namespace
