// Bit fields of any width out of byte buffers, for LZW codes and for TIFF
// samples of any bit depth. The caller guarantees the bytes that hold the
// field exist; nothing past them is read.
#pragma once

#include <climits>

class cVariableLengthAccess {
 public:
  // The `width`-bit field starting `bitOff` bits (0..7) after the most
  // significant bit of byte `pos`, most significant bit first. A width
  // outside 1 to the size of T gives 0.
  template <typename T>
  static void getValue(const unsigned char* data, long pos, unsigned char bitOff, int width, T& value) {
    int bytes = fieldBytes<T>(bitOff, width);
    value = 0;
    if (bytes == 0) return;
    // Up to 71 bits for a 64-bit field that starts inside a byte.
    unsigned __int128 acc = 0;
    for (int i = 0; i < bytes; ++i) acc = acc << 8 | data[pos + i];
    value = lowBits<T>(acc >> (bytes * 8 - bitOff - width), width);
  }

  // The `width`-bit field starting at bit `bitOff` (0 = least significant) of
  // byte `pos`, the bytes forming a little-endian number.
  template <typename T>
  static void getValueLSB(const unsigned char* data, long pos, unsigned char bitOff, int width, T& value) {
    int bytes = fieldBytes<T>(bitOff, width);
    value = 0;
    if (bytes == 0) return;
    unsigned __int128 acc = 0;
    for (int i = bytes - 1; i >= 0; --i) acc = acc << 8 | data[pos + i];
    value = lowBits<T>(acc >> bitOff, width);
  }

  // Reverses the `n` bytes at `p`, for samples stored in the other byte order.
  static void changeBytesOrder(void* p, int n);

 private:
  // The bytes that hold the field; none for a width the result cannot hold.
  template <typename T>
  static int fieldBytes(unsigned char bitOff, int width) {
    if (width < 1 || width > static_cast<int>(sizeof(T) * CHAR_BIT) || bitOff > 7) return 0;
    return (bitOff + width - 1) / 8 + 1;
  }
  template <typename T>
  static T lowBits(unsigned __int128 acc, int width) {
    return static_cast<T>(acc & ((static_cast<unsigned __int128>(1) << width) - 1));
  }
};
