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
    constexpr int kBits = sizeof(T) * CHAR_BIT;
    value = 0;
    if (width < 1 || width > kBits || bitOff > 7) return;
    const unsigned char* p = data + pos;
    int bytes = (bitOff + width - 1) / 8 + 1;
    // Up to 71 bits for a 64-bit field that starts inside a byte.
    unsigned __int128 acc = 0;
    for (int i = 0; i < bytes; ++i) acc = acc << 8 | p[i];
    acc >>= bytes * 8 - bitOff - width;
    value = static_cast<T>(acc & ((static_cast<unsigned __int128>(1) << width) - 1));
  }

  // The `width`-bit field starting at bit `bitOff` (0 = least significant) of
  // byte `pos`, the bytes forming a little-endian number.
  template <typename T>
  static void getValueLSB(const unsigned char* data, long pos, unsigned char bitOff, int width, T& value) {
    constexpr int kBits = sizeof(T) * CHAR_BIT;
    value = 0;
    if (width < 1 || width > kBits || bitOff > 7) return;
    const unsigned char* p = data + pos;
    int bytes = (bitOff + width - 1) / 8 + 1;
    unsigned __int128 acc = 0;
    for (int i = bytes - 1; i >= 0; --i) acc = acc << 8 | p[i];
    acc >>= bitOff;
    value = static_cast<T>(acc & ((static_cast<unsigned __int128>(1) << width) - 1));
  }

  // Reverses the `n` bytes at `p`, for samples stored in the other byte order.
  static void changeBytesOrder(void* p, int n);
};
