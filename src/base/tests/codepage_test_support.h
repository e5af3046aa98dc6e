// What the code-page tests share: the C library's iconv as the reference the
// pages are checked against, and a decoding that catches every overrun.
#pragma once

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using tUnits = std::vector<unsigned short>;

// One conversion direction between a page and UTF-16LE (this machine's order).
class cIconv {
 public:
  cIconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  cIconv(const cIconv&) = delete;
  cIconv& operator=(const cIconv&) = delete;
  ~cIconv() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // The whole of `in` converted, or false when any of it is refused.
  bool convert(const void* in, size_t inBytes, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.assign(inBytes * 4 + 16, '\0');
    char* ip = const_cast<char*>(static_cast<const char*>(in));
    char* op = out.data();
    size_t il = inBytes, ol = out.size();
    if (iconv(cd_, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || il) return false;
    if (iconv(cd_, nullptr, nullptr, &op, &ol) == static_cast<size_t>(-1)) return false;
    out.resize(out.size() - ol);
    return true;
  }

 private:
  iconv_t cd_;
};

// Bytes of the page `from` as UTF-16 units; false when iconv refuses them.
inline bool iconvDecode(const char* from, const std::string& bytes, tUnits& units) {
  cIconv cv("UTF-16LE", from);
  std::string out;
  if (!cv.ok() || !cv.convert(bytes.data(), bytes.size(), out)) return false;
  units.assign(reinterpret_cast<const unsigned short*>(out.data()),
               reinterpret_cast<const unsigned short*>(out.data()) + out.size() / 2);
  return true;
}

// UTF-16 units in the page `to`; false when iconv cannot encode all of them.
inline bool iconvEncode(const char* to, const tUnits& units, std::string& bytes) {
  cIconv cv(to, "UTF-16LE");
  return cv.ok() && cv.convert(units.data(), units.size() * 2, bytes);
}

// Decodes exactly `bytes` from a buffer of that size, so reading past the
// text is caught, into a destination sized by the count, which must be what
// the decoder writes; a guard unit after it must stay untouched.
template <typename Decode, typename Require>
tUnits decodeExactly(const std::string& bytes, int cp, Decode decode, Require require) {
  std::unique_ptr<char[]> src(new char[bytes.size()]);
  std::memcpy(src.get(), bytes.data(), bytes.size());
  long long need = require(src.get(), bytes.size(), cp);
  tUnits out(need + 1, 0xAAAA);
  long long n = decode(out.data(), need, src.get(), bytes.size(), cp);
  EXPECT_EQ(n, need);
  EXPECT_EQ(out[need], 0xAAAA);
  out.resize(n);
  return out;
}
