// The LZW decoder: GIF pictures use least-significant-bit-first codes
// without early change, TIFF strips most-significant-bit-first codes with it.
#pragma once

#include <array>

#include "base/pullinput.h"
#include "compression/decompress.h"

class cLZWDecompress : public cDecompress {
 public:
  // The string of a literal code c is the one byte at index c.
  static const std::array<unsigned char, 256> mySimpleTabRefs;

  // An `initialWidth` outside 1..9 becomes 9.
  cLZWDecompress(bool msbFirst, int initialWidth, bool earlyChange);
  cLZWDecompress(const cLZWDecompress&) = delete;
  cLZWDecompress& operator=(const cLZWDecompress&) = delete;

  int typeOf() override;
  // `in` and `out` may be the same buffer: `out` is replaced only once decoding
  // has ended. Input that runs out before an end code ends decoding with true;
  // a code that cannot be decoded fails with the bytes before it in `out`.
  bool decompress(const _typebuf<unsigned char>& in, _typebuf<unsigned char>& out) override;
  // The same over input pulled as codes are read; `out` must not be the input.
  bool decompress(cPullInput& in, _typebuf<unsigned char>& out);

  // Decoding ends, with true, once this many bytes are out (0: no limit of
  // the caller's). Pictures know their size; hostile codes can ask for any.
  void setOutputLimit(unsigned long long bytes);

 private:
  // Every string of the table is a stretch of the output already written:
  // the string added after a code is that code's string followed by the
  // first byte of the next one, which the output holds right behind it. So
  // an entry is a place in the output, and decoding is copying within it.
  struct sString {
    unsigned int offset;
    unsigned int length;
  };
  static const int kTableSize = 4094;

  bool msbFirst;
  bool earlyChange;
  int initialWidth;
  unsigned short clearCode;
  unsigned short endCode;
  unsigned short firstFree;
  unsigned long long outputLimit = 0;
  sString table[kTableSize];

  unsigned long long limit() const;
};
