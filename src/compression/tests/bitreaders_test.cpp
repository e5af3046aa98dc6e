#include <gtest/gtest.h>

#include <cstring>

#include "compression/haffmantable.h"
#include "compression/variablelengthaccess.h"

namespace {

using cVLA = cVariableLengthAccess;

// Reference: the bits of the buffer in reading order, one per element.
std::vector<int> bitsMsbFirst(const std::vector<unsigned char>& b) {
  std::vector<int> bits;
  for (unsigned char c : b)
    for (int i = 7; i >= 0; --i) bits.push_back(c >> i & 1);
  return bits;
}

TEST(VariableLengthAccess, MsbFirstFieldsOfEveryWidthAndOffset) {
  std::vector<unsigned char> buf = {0xA5, 0x3C, 0xF0, 0x0F, 0x96, 0x69, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
  auto bits = bitsMsbFirst(buf);
  for (int off = 0; off < 8; ++off) {
    for (int width = 1; width <= 64; ++width) {
      unsigned long long expect = 0;
      for (int i = 0; i < width; ++i) expect = expect << 1 | bits[8 + off + i];
      unsigned long long v64;
      cVLA::getValue<unsigned long long>(buf.data(), 1, static_cast<unsigned char>(off), width, v64);
      ASSERT_EQ(v64, expect) << "offset " << off << " width " << width;
      if (width <= 32) {
        unsigned int v32;
        cVLA::getValue<unsigned int>(buf.data(), 1, static_cast<unsigned char>(off), width, v32);
        ASSERT_EQ(v32, expect);
      }
      if (width <= 16) {
        unsigned short v16;
        cVLA::getValue<unsigned short>(buf.data(), 1, static_cast<unsigned char>(off), width, v16);
        ASSERT_EQ(v16, expect);
      }
    }
  }
  unsigned short v;
  cVLA::getValue<unsigned short>(buf.data(), 0, 0, 17, v);
  EXPECT_EQ(v, 0);  // wider than the result: refused
}

TEST(VariableLengthAccess, LsbFirstFieldsReadOnlyTheirBytesAndOrdersSwap) {
  // The field ends inside the second byte; the third is outside the array,
  // so ASan reports any read of it.
  unsigned char* two = new unsigned char[2]{0xB4, 0x9D};
  unsigned short v;
  cVLA::getValueLSB<unsigned short>(two, 0, 3, 9, v);
  EXPECT_EQ(v, (0x9DB4 >> 3) & 0x1FF);
  cVLA::getValueLSB<unsigned short>(two, 0, 0, 16, v);
  EXPECT_EQ(v, 0x9DB4);
  delete[] two;

  unsigned char b[4] = {1, 2, 3, 4};
  cVLA::changeBytesOrder(b, 3);
  cVLA::changeBytesOrder(nullptr, 4);
  EXPECT_EQ(0, std::memcmp(b, "\3\2\1\4", 4));
}

TEST(HaffmanTable, BuildsTheLookupTableFromCodeLengths) {
  // Two tables in a row; the pointer moves past the first.
  const unsigned char specs[] = {
      0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0,  0,  0, 0, 0, 0,  // codes per length 1..16
      5, 4, 3, 6, 2, 7, 1, 0, 8, 9, 11, 10,              // their symbols
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0,  0, 0, 0, 0,  // no codes at all
  };
  const unsigned char* spec = specs;
  _typebuf<unsigned short> table;
  cHaffmanTable::createIndexTable(&spec, table);
  EXPECT_EQ(spec, specs + 28);
  ASSERT_EQ(table.count, 513);
  EXPECT_EQ(table[0], 9);
  EXPECT_EQ(table[128], 2 << 8 | 5);  // code 00
  EXPECT_EQ(table[129], 3 << 8 | 4);  // code 010
  EXPECT_EQ(table[511], 9 << 8 | 10);
  EXPECT_EQ(table[512], 9 << 8 | 0);  // all ones is no code: decodes as symbol 0, moving on

  cHaffmanTable::createIndexTable(&spec, table);
  EXPECT_EQ(table.count, 2);
  EXPECT_EQ(table[0], 0);
}

TEST(HaffmanTable, ReadsSymbolsAndRawBitsThenZerosPastTheEnd) {
  // Codes: A=0, B=10, C=11 (length 1: one code, length 2: two codes).
  const unsigned char spec[] = {1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'A', 'B', 'C'};
  const unsigned char* p = spec;
  _typebuf<unsigned short> table;
  cHaffmanTable::createIndexTable(&p, table);
  // Bits: 0 10 11 0 | 101 (raw) | 1 11 ...
  _typebuf<unsigned char> data;
  data.set(2);
  data[0] = 0b01011010;
  data[1] = 0b11110000;
  cHaffmanTable h;
  long long pos = 0;
  std::string got;
  for (int i = 0; i < 4; ++i) got += static_cast<char>(h.getBitHuff(table[0], table.ptr + 1, data, pos));
  EXPECT_EQ(got, "ABCA");
  EXPECT_EQ(h.getBitHuff(3, nullptr, data, pos), 0b101);
  EXPECT_EQ(h.getBitHuff(8, nullptr, data, pos), 0b11100000);  // four data bits, four zeros
  EXPECT_LT(h.bitCount, 0);
  EXPECT_EQ(h.getBitHuff(1, nullptr, data, pos), 0);
  EXPECT_EQ(pos, 2);

  // A reset reader from the start reads like a fresh one.
  h.getBitHuff(-1, nullptr, data, pos);
  pos = 0;
  EXPECT_EQ(h.getBitHuff(12, nullptr, data, pos), 0b010110101111);
}

}  // namespace
