// Any bytes through every code-page decoder, and any units through the
// single-byte encoders: nothing may be read past the input or written past
// the destination, and a destination sized by the count always suffices.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/codepages.h"

namespace {

const int kSingleByte[] = {37,    437,   500,   737,   850,   852,   855,   857,   858,   862,
                           866,   870,   1250,  1251,  1252,  1254,  1255,  10007, 10029, 20866,
                           21866, 28591, 28592, 28593, 28595, 28596, 28597, 28598, 28599, 28605};
const int kDecodedOnly[] = {932, 936, 949, 950, 50221, 50227, 51932, 51936};
constexpr size_t kSingleCount = sizeof(kSingleByte) / sizeof(kSingleByte[0]);
constexpr size_t kPageCount = kSingleCount + sizeof(kDecodedOnly) / sizeof(kDecodedOnly[0]);

void check(bool ok) {
  if (!ok) abort();
}

using tDecode = long long (*)(unsigned short*, long long, const char*, long long, int);
using tRequire = long long (*)(const char*, long long, int);

void decodeBothWays(const std::string& text, int cp, tDecode decode, tRequire require) {
  // The exact range, from a buffer of exactly its size.
  std::vector<char> exact(text.begin(), text.end());
  long long need = require(exact.data(), exact.size(), cp);
  check(need >= 0 && need <= static_cast<long long>(exact.size()));
  std::vector<unsigned short> out(need);
  long long n = decode(out.data(), need, exact.data(), exact.size(), cp);
  check(n >= 0 && n <= need);
  // A destination too small for the text.
  if (need > 1) check(decode(out.data(), need / 2, exact.data(), exact.size(), cp) <= need / 2);

  // The same bytes up to their terminator.
  need = require(text.c_str(), -1, cp);
  check(need >= 1 && need <= static_cast<long long>(text.size()) + 1);
  out.assign(need, 0);
  n = decode(out.data(), need, text.c_str(), -1, cp);
  check(n >= 0 && n < need);
}

long long singleByteRequire(const char* src, long long srcLen, int) {
  return srcLen < 0 ? static_cast<long long>(std::char_traits<char>::length(src)) + 1 : srcLen;
}

void encode(const uint8_t* data, size_t size, int cp) {
  std::vector<unsigned short> units(size / 2);
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<unsigned short>(data[2 * i] | data[2 * i + 1] << 8);
  std::vector<char> out(units.size());
  check(intrnl_ACP_w2a(units.data(), units.size(), out.data(), out.size(), cp) <=
        static_cast<long long>(out.size()));
  units.push_back(0);
  out.resize(units.size());
  check(intrnl_ACP_w2a(units.data(), -1, out.data(), out.size(), cp) < static_cast<long long>(out.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t page = data[0] % kPageCount;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (page < kSingleCount) {
    decodeBothWays(text, kSingleByte[page], intrnl_ACP_a2w, singleByteRequire);
    encode(data + 1, size - 1, kSingleByte[page]);
    return 0;
  }
  int cp = kDecodedOnly[page - kSingleCount];
  if (cp < 50000)
    decodeBothWays(text, cp, intrnl_JIS_a2w, intrnl_JIS_a2w_require);
  else
    decodeBothWays(text, cp, intrnl_2022_a2w, intrnl_2022_a2w_require);
  return 0;
}
