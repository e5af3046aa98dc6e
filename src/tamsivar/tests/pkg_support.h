// Byte fixtures written field by field, and streams that misbehave the way
// files do, shared by the package tests.
#pragma once

#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/targets.h"
#include "compression/tests/zlib_support.h"

struct Fields {
  tBytes b;
  Fields& u8(unsigned v) {
    b.push_back(static_cast<unsigned char>(v));
    return *this;
  }
  Fields& u16(unsigned v) { return u8(v & 0xFF).u8(v >> 8 & 0xFF); }
  Fields& u32(unsigned v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Fields& raw(const tBytes& more) {
    b.insert(b.end(), more.begin(), more.end());
    return *this;
  }
  Fields& raw(const std::string& more) { return raw(tBytes(more.begin(), more.end())); }
  Fields& str(const std::string& text) { return u16(static_cast<unsigned>(text.size())).raw(text); }
};

// A source that claims `claimed` bytes but holds only `held`, or that
// answers the file layer's error count once its bytes are gone.
class cFaultySource : public cFileIOTarget {
 public:
  tBytes held;
  unsigned long long claimed;
  bool errorAtEnd;
  unsigned long long pos = 0;

  cFaultySource(tBytes bytes, unsigned long long claimedSize, bool error)
      : held(std::move(bytes)), claimed(claimedSize), errorAtEnd(error) {}
  unsigned long long size() override { return claimed; }
  unsigned int read(void* buf, unsigned int count) override {
    if (pos >= held.size()) return errorAtEnd ? 0xFFFFFFFFu : 0;
    unsigned int n = static_cast<unsigned int>(std::min<unsigned long long>(count, held.size() - pos));
    std::memcpy(buf, held.data() + pos, n);
    pos += n;
    return n;
  }
  bool set_fp(unsigned long long p) override {
    pos = p;
    return true;
  }
  bool set_fp_end(unsigned long long) override { return false; }
  bool set_eof(unsigned long long) override { return false; }
  void close() override {}
  bool valid() override { return true; }
};

inline tBytes readAll(cFileIOTarget& in) {
  tBytes out;
  unsigned char piece[1000];
  for (unsigned int n; (n = in.read(piece, sizeof piece)) > 0 && n <= sizeof piece;) out.insert(out.end(), piece, piece + n);
  return out;
}
