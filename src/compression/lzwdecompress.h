// The LZW decoder: GIF pictures use least-significant-bit-first codes
// without early change, TIFF strips most-significant-bit-first codes with it.
#pragma once

#include <array>

#include "base/integralmemory.h"
#include "base/memio.h"
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

  // Decoding ends, with true, once this many bytes are out (0: no limit of
  // the caller's). Pictures know their size; hostile codes can ask for any.
  void setOutputLimit(unsigned long long bytes);

 private:
  struct sString {
    const unsigned char* bytes;
    unsigned long long length;
  };
  static const int kTableSize = 4094;

  const unsigned char* input = nullptr;
  unsigned long long inputSize = 0;
  cIntegralMemory strings;
  bool msbFirst;
  bool earlyChange;
  int initialWidth;
  unsigned short clearCode;
  unsigned short endCode;
  unsigned short firstFree;
  unsigned long long readByte = 0;
  unsigned char readBit = 0;
  unsigned char width = 0;
  unsigned int outputPosition = 0;
  unsigned long long outputLimit = 0;
  sString table[kTableSize];
  unsigned short tableCount = 0;
  cMemIOTarget output{65536};

  bool getNextCode(unsigned short& code);
  void initTable();
  const unsigned char* getTableString(unsigned short code, long long& len);
  bool addTableString(const unsigned char* prefix, long long len, unsigned char last);
  // Writes up to the output limit; false when memory ran out.
  bool writeString(const unsigned char* bytes, long long len);
  unsigned long long limit() const;
};
