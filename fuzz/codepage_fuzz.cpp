// Any bytes through every code-page decoder, and any units through the
// single-byte encoders: nothing may be read past the input or written past
// the destination, and a destination sized by the count always suffices.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/textconv.h"

namespace {

void check(bool ok) {
  if (!ok) abort();
}

void decode(const std::string& text, int cp) {
  // The exact range, from a buffer of exactly its size.
  std::vector<char> exact(text.begin(), text.end());
  long long need = __a2w_require(exact.data(), exact.size(), cp);
  check(need >= 0 && need <= static_cast<long long>(exact.size()));
  std::vector<unsigned short> out(need);
  check(__a2w(exact.data(), exact.size(), out.data(), need, cp) <= need);
  // A destination too small for the text.
  if (need > 1) check(__a2w(exact.data(), exact.size(), out.data(), need / 2, cp) <= need / 2);

  // The same bytes up to their terminator.
  need = __a2w_require(text.c_str(), -1, cp);
  check(need >= 1 && need <= static_cast<long long>(text.size()) + 1);
  out.assign(need, 0);
  check(__a2w(text.c_str(), -1, out.data(), need, cp) < need);
}

void encode(const uint8_t* data, size_t size, int cp) {
  std::vector<unsigned short> units(size / 2);
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<unsigned short>(data[2 * i] | data[2 * i + 1] << 8);
  long long need = __w2a_require(units.data(), units.size(), cp);
  std::vector<char> out(need);
  check(__w2a(units.data(), units.size(), out.data(), need, cp) <= need);
  units.push_back(0);
  need = __w2a_require(units.data(), -1, cp);
  out.resize(need);
  check(__w2a(units.data(), -1, out.data(), need, cp) < need);
}

}  // namespace

// The first byte picks a code page of the registry other than UTF-8.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int cp = ___text_encodings[1 + data[0] % (___text_encodings_count - 1)].cp;
  decode(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), cp);
  if (isSimpleCP(cp)) encode(data + 1, size - 1, cp);
  return 0;
}
