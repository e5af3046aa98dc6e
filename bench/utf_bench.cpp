// UTF-8 to UTF-16 and back on mostly-ASCII text and on CJK text, against the
// C library's iconv measured in the same run.
#include <iconv.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "base/textconv.h"

namespace {

// Mostly ASCII with some accented letters, symbols and emoji, as in names
// and messages; or almost all three-byte CJK.
std::string corpus(bool cjk, size_t bytes) {
  std::mt19937 rng(42);
  std::vector<unsigned short> units;
  while (units.size() < bytes / (cjk ? 3 : 1)) {
    unsigned pick = rng() % 100;
    if (cjk && pick < 95)
      units.push_back(static_cast<unsigned short>(0x4E00 + rng() % 0x5000));
    else if (pick < 90)
      units.push_back(static_cast<unsigned short>(0x20 + rng() % 0x5F));
    else if (pick < 97)
      units.push_back(static_cast<unsigned short>(0xC0 + rng() % 0x40));
    else if (pick < 99)
      units.push_back(0x20AC);
    else
      units.insert(units.end(), {0xD83D, static_cast<unsigned short>(0xDE00 + rng() % 0x40)});
  }
  _typebuf<char> text;
  _w2pc(units.data(), static_cast<long long>(units.size()), text);
  return std::string(text.ptr, text.ptr + text.count);
}

// Best of five rounds, in MiB of UTF-8 per second.
template <typename Convert>
double rate(size_t bytes, Convert convert) {
  double best = 0;
  for (int round = 0; round < 5; ++round) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) convert();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best = std::max(best, 10.0 * static_cast<double>(bytes) / (1 << 20) / seconds);
  }
  return best;
}

double iconvRate(const char* from, const char* to, const void* in, size_t inBytes, void* out, size_t outBytes,
                 size_t utf8Bytes) {
  iconv_t cd = iconv_open(to, from);
  double r = rate(utf8Bytes, [&] {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* src = static_cast<char*>(const_cast<void*>(in));
    size_t srcLeft = inBytes;
    char* dst = static_cast<char*>(out);
    size_t dstLeft = outBytes;
    iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  });
  iconv_close(cd);
  return r;
}

// Prints the four figures of one corpus; answers ours/iconv decoding time.
double measure(const char* name, const std::string& utf8) {
  const long long units = __a2w_require(utf8.data(), static_cast<long long>(utf8.size()), 65001);
  std::vector<unsigned short> wide(static_cast<size_t>(units));
  std::string back(utf8.size(), '\0');
  const long long size = static_cast<long long>(utf8.size());

  double decode = rate(utf8.size(), [&] { __a2w(utf8.data(), size, wide.data(), units, 65001); });
  double encode = rate(utf8.size(), [&] { __w2a(wide.data(), units, back.data(), size, 65001); });
  double iconvDecode =
      iconvRate("UTF-8", "UTF-16LE", utf8.data(), utf8.size(), wide.data(), wide.size() * 2, utf8.size());
  double iconvEncode =
      iconvRate("UTF-16LE", "UTF-8", wide.data(), wide.size() * 2, back.data(), back.size(), utf8.size());
  std::printf("%s_decode_mib_per_s: %.0f\n", name, decode);
  std::printf("%s_iconv_decode_mib_per_s: %.0f\n", name, iconvDecode);
  std::printf("%s_encode_mib_per_s: %.0f\n", name, encode);
  std::printf("%s_iconv_encode_mib_per_s: %.0f\n", name, iconvEncode);
  return iconvDecode / decode;
}

}  // namespace

int main() {
  const size_t kBytes = 16 << 20;
  double latin = measure("latin", corpus(false, kBytes));
  measure("cjk", corpus(true, kBytes));
  std::printf("ratio utf8-decode/iconv time: %.2f\n", latin);
  return 0;
}
