// The 3FR body. Cameras write it the way dcraw reads it: its header walked
// segment by segment without the JPEG parser's checks, one byte more after
// a one-component frame header, and the coded bits in little-endian 32-bit
// words. A body whose frame header is followed at once by the next marker
// cannot be one of those (dcraw would read no marker there); it is taken
// as the same code in a plain byte stream, 0xFF being data.
#include <cstring>
#include <new>

#include "base/targets.h"
#include "picts/h3fr.h"

namespace {

constexpr int kLookBits = 9;

struct sBody {
  _typebuf<unsigned char> bytes;
  long long at = 0;
  bool words = true;  // the coded bits in little-endian 32-bit words
  unsigned precision = 0, width = 0, height = 0, colours = 0;
  unsigned predictor = 0;  // the scan header's
  bool sawFrame = false;
  const unsigned char* table = nullptr;  // counts and symbols of DC table 0
  long long tableSize = 0;
};

unsigned be16(const unsigned char* p) { return static_cast<unsigned>(p[0] << 8 | p[1]); }

// Segments up to the scan header, as dcraw takes them: any marker code,
// only the values it uses are looked at.
bool walkHeader(sBody& b) {
  const unsigned char* p = b.bytes.ptr;
  const long long n = b.bytes.count;
  if (n < 2 || p[0] != 0xFF || p[1] != 0xD8) return false;
  b.at = 2;
  for (;;) {
    if (n - b.at < 4) return false;
    const unsigned tag = be16(p + b.at);
    const long long len = static_cast<long long>(be16(p + b.at + 2)) - 2;
    if (tag <= 0xFF00 || len < 0 || len > n - b.at - 4) return false;
    const unsigned char* d = p + b.at + 4;
    b.at += 4 + len;
    if (tag == 0xFFC0 || tag == 0xFFC1 || tag == 0xFFC3) {
      if (len < 6) return false;
      b.precision = d[0];
      b.height = be16(d + 1);
      b.width = be16(d + 3);
      b.colours = d[5];
      b.sawFrame = true;
      if (len == 9) {
        const bool markerNext = n - b.at >= 2 && p[b.at] == 0xFF && p[b.at + 1] != 0xFF;
        if (markerNext)
          b.words = false;
        else
          ++b.at;
      }
    } else if (tag == 0xFFC4) {
      for (long long i = 0; i < len;) {
        const unsigned id = d[i++];
        if (len - i < 16) return false;
        long long total = 0;
        for (int k = 0; k < 16; ++k) total += d[i + k];
        if (total > 256 || len - i - 16 < total) return false;
        if (id == 0) {
          b.table = d + i;
          b.tableSize = 16 + total;
        }
        i += 16 + total;
      }
    } else if (tag == 0xFFDA) {
      if (len < 1 || len < 2 + 2 * static_cast<long long>(d[0])) return false;
      b.predictor = d[1 + 2 * d[0]];
      break;
    }
  }
  return b.sawFrame && b.precision >= 1 && b.precision <= 16 && b.width && b.height && b.colours &&
         b.colours <= 6 && b.table;
}

// Bits most significant first from words or bytes; a last partial word
// is read as if padded with zero bytes.
struct sBits {
  const unsigned char* p;
  const unsigned char* end;
  bool words;
  unsigned long long acc = 0;
  int have = 0;

  bool fill(int need) {
    while (have < need) {
      if (p >= end) return false;
      if (words) {
        unsigned w = 0;
        for (int i = 0; i < 4 && p < end; ++i) w |= static_cast<unsigned>(*p++) << 8 * i;
        acc = acc << 32 | w;
        have += 32;
      } else {
        acc = acc << 8 | *p++;
        have += 8;
      }
    }
    return true;
  }
  // n of 0 to 16 bits; -1 past the data.
  int get(int n) {
    if (n == 0) return 0;
    if (!fill(n)) return -1;
    have -= n;
    return static_cast<int>(acc >> have) & ((1 << n) - 1);
  }
};

struct sHuffman {
  int maxcode[17];
  int mincode[17];
  int first[17];
  unsigned char symbols[256];
  // By the next kLookBits bits: the symbol and its code's length (0: longer).
  unsigned short look[1 << kLookBits];

  bool build(const unsigned char* t) {
    std::memset(look, 0, sizeof look);
    int code = 0, k = 0;
    for (int l = 1; l <= 16; ++l, code <<= 1) {
      const int count = t[l - 1];
      mincode[l] = code;
      first[l] = k;
      for (int i = 0; i < count; ++i, ++code, ++k) {
        // More codes than the length holds: no prefix code.
        if (code >= 1 << l) return false;
        symbols[k] = t[16 + k];
        if (l <= kLookBits)
          for (int j = code << (kLookBits - l); j < (code + 1) << (kLookBits - l); ++j)
            look[j] = static_cast<unsigned short>(symbols[k] << 8 | l);
      }
      maxcode[l] = count ? code - 1 : -1;
    }
    return true;
  }
  int decode(sBits& bits) const {
    bits.fill(16);
    if (bits.have >= kLookBits) {
      const unsigned e = look[(bits.acc >> (bits.have - kLookBits)) & ((1 << kLookBits) - 1)];
      if (e & 255) {
        bits.have -= static_cast<int>(e & 255);
        return static_cast<int>(e >> 8);
      }
    }
    int code = 0;
    for (int l = 1; l <= 16; ++l) {
      const int bit = bits.get(1);
      if (bit < 0) return -1;
      code = code << 1 | bit;
      if (code <= maxcode[l]) return symbols[first[l] + code - mincode[l]];
    }
    return -1;
  }
};

}  // namespace

bool cPict3FR_LJPEG::decode(cFileIOTarget* io) {
  myScanDone = false;
  sBody body;
  const long long size = io ? io->size() : -1;
  if (size < 0 || size > 0x7FFFFFFF || !myRawWidth || !myRawHeight) return false;
  try {
    body.bytes.set(size);
    myRaw.set(2LL * myRawWidth * myRawHeight);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!io->set_fp(0) || (size && !io->readf(body.bytes.ptr, static_cast<unsigned>(size)))) return false;
  sHuffman huffman;
  if (!walkHeader(body) || !huffman.build(body.table)) return false;
  myPrecision = body.precision;
  std::memset(myRaw.ptr, 0, static_cast<size_t>(myRaw.count));
  // Predictor 11 adds to the running value half the step the row two above
  // took there, reckoned on the values before they are cut to 16 bits; the
  // cameras' other selections are read with the running values alone, as
  // dcraw reads them.
  const bool vertical = body.predictor == 11;
  _typebuf<long long> kept;
  try {
    if (vertical) kept.set(3LL * myRawWidth);
  } catch (const std::bad_alloc&) {
    return false;
  }
  sBits bits{body.bytes.ptr + body.at, body.bytes.ptr + body.bytes.count, body.words};
  unsigned short* line = reinterpret_cast<unsigned short*>(myRaw.ptr);
  for (unsigned y = 0; y < myRawHeight; ++y, line += myRawWidth) {
    long long* row = vertical ? kept.ptr + (y % 3) * static_cast<long long>(myRawWidth) : nullptr;
    const long long* twoUp =
        vertical ? kept.ptr + ((y + 1) % 3) * static_cast<long long>(myRawWidth) : nullptr;
    long long running[2] = {32768, 32768};
    for (unsigned x = 0; x < myRawWidth; x += 2) {
      int length[2];
      for (int& l : length) l = huffman.decode(bits);
      // Only the last row may end early: its writer stopped with the data.
      if (length[0] < 0 || length[1] < 0) {
        if (y + 1 < myRawHeight) return false;
        break;
      }
      if (length[0] > 16 || length[1] > 16) return false;
      for (unsigned c = 0; c < 2; ++c) {
        int diff = bits.get(length[c]);
        if (diff < 0) diff = 0;
        if (length[c] && (diff & (1 << (length[c] - 1))) == 0) diff -= (1 << length[c]) - 1;
        if (diff == 65535) diff = -32768;
        const unsigned s = x + c;
        if (s >= myRawWidth) continue;
        if (vertical && x && y > 1) running[c] += twoUp[s] / 2 - twoUp[s - 2] / 2;
        running[c] += diff;
        line[s] = static_cast<unsigned short>(running[c] & 0xFFFF);
        if (vertical) row[s] = running[c];
      }
    }
  }
  myScanDone = true;
  return true;
}
