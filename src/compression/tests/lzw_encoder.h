// A test-side LZW encoder written from the format's rules, independent of
// the decoder: the table it keeps is a map from strings to codes.
#pragma once

#include <map>
#include <string>
#include <vector>

class cTestBitWriter {
 public:
  explicit cTestBitWriter(bool msbFirst) : msbFirst(msbFirst) {}

  void put(unsigned int code, int width) {
    for (int i = 0; i < width; ++i) {
      int bit = msbFirst ? (code >> (width - 1 - i)) & 1 : (code >> i) & 1;
      if (used % 8 == 0) bytes.push_back(0);
      int shift = msbFirst ? 7 - used % 8 : used % 8;
      bytes.back() = static_cast<unsigned char>(bytes.back() | bit << shift);
      ++used;
    }
  }
  std::vector<unsigned char> bytes;

 private:
  bool msbFirst;
  long long used = 0;
};

struct sLzwCodes {
  std::vector<unsigned char> bytes;
  int codes = 0;
  int clears = 0;
};

// Starts with a clear code and ends with the end code; clears again before
// the decoder's table would run out of 12-bit codes.
inline sLzwCodes lzwEncode(const std::vector<unsigned char>& plain, bool msbFirst, int initialWidth,
                           bool earlyChange) {
  const int clear = 1 << (initialWidth - 1), end = clear + 1, firstFree = clear + 2;
  cTestBitWriter out(msbFirst);
  sLzwCodes result;
  std::map<std::string, int> dict;
  int width = initialWidth, next = firstFree;
  int decoderEntries = 0;  // the decoder adds its entry one code later than the encoder
  bool firstAfterClear = true;
  auto emit = [&](int code) {
    out.put(static_cast<unsigned>(code), width);
    ++result.codes;
    if (code == clear) {
      dict.clear();
      next = firstFree;
      width = initialWidth;
      decoderEntries = 0;
      firstAfterClear = true;
      ++result.clears;
      return;
    }
    if (firstAfterClear) {
      firstAfterClear = false;
      return;
    }
    ++decoderEntries;
    int n = firstFree + decoderEntries + (earlyChange ? 1 : 0);
    if ((n & (n - 1)) == 0 && width < 12) ++width;
  };
  auto codeOf = [&](const std::string& s) {
    return s.size() == 1 ? static_cast<unsigned char>(s[0]) : dict.at(s);
  };

  emit(clear);
  std::string w;
  for (unsigned char c : plain) {
    std::string wc = w + static_cast<char>(c);
    if (w.empty() || dict.count(wc)) {
      w = wc;
      continue;
    }
    emit(codeOf(w));
    dict[wc] = next++;
    w = std::string(1, static_cast<char>(c));
    if (next >= 4093) {
      emit(codeOf(w));
      emit(clear);
      w.clear();
    }
  }
  if (!w.empty()) emit(codeOf(w));
  emit(end);
  result.bytes = out.bytes;
  return result;
}
