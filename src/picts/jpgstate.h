// The frame, table and scan state of a JPEG stream, shared by the marker
// parser and the entropy decoder, and the records the decoder fills: one
// block of coefficients, or one lossless sample.
#pragma once

#include "base/buffers.h"

class cFileIOTarget;

// One frame component.
struct sJCompInfo {
  unsigned int id = 0;
  unsigned int index = 0;
  unsigned int firstPos = 0;  // first block position in the coefficient store
  unsigned int h = 1, v = 1;
  unsigned int tq = 0;
  unsigned int td = 0, ta = 0;
  unsigned int widthInBlocks = 0, heightInBlocks = 0;
  unsigned int blockW = 8, blockH = 8;
  bool inScan = false;
  unsigned int blocksPerMCU = 1;
  int dequant[64] = {};
  unsigned short qtab[65] = {};
  // Samples at the component's resolution (V x 8 rows of H x 8), and the
  // rows widened to the MCU's resolution when the component is subsampled.
  _classbuf<_typebuf<unsigned char>> blockRows;
  _classbuf<_typebuf<unsigned char>> mcuRows;
};

// One decoded block: coefficients in natural order, and where the stream
// stood after it.
struct sHuffDecodedUnit {
  short coef[64];
  unsigned long long position;
  unsigned int acc;
  unsigned char bits;
  unsigned char comp;  // frame index of the block's component
};

struct sHuffDecodedSample {
  unsigned short sample;
  unsigned long long position;
  unsigned int acc;
  unsigned char bits;
  unsigned char comp;
};

// One DHT table as the stream gave it.
struct sJHuffSource {
  unsigned char counts[17];  // counts[l]: codes of length l; [0] unused
  unsigned char symbols[256];
  unsigned char defined;
};

struct sJPGState {
  // Buffered reading: the marker loop and the bit reader both take bytes
  // from one block, so a byte costs no virtual call and `position` counts
  // exactly what was consumed.
  static constexpr int kReadBlock = 1 << 16;

  unsigned long long position = 0;
  unsigned int pendingMarker = 0;
  bool firstScan = true;
  cFileIOTarget* io = nullptr;
  unsigned int precision = 8;
  unsigned int bytesPerSample = 1;
  unsigned int imageWidth = 0, imageHeight = 0;
  unsigned int blockSize = 8;
  unsigned int blocksPerMCU = 0;
  unsigned int maxH = 1, maxV = 1;
  unsigned int blockW = 8, blockH = 8;
  unsigned int coding = 0;   // 1 Huffman DCT, 2 lossless Huffman, 3 arithmetic DCT
  unsigned int process = 0;  // 1 baseline or lossless, 2 extended, 3 progressive
  bool multiScan = false;
  bool frameSeen = false, jfif = false, adobe = false;
  unsigned int adobeTransform = 0;
  unsigned int colorSpace = 0;  // 0 none, 1 grey, 2 YCbCr, 3 RGB, 4 CMYK, 5 YCCK, 7 RGB and alpha
  unsigned int restartInterval = 0;
  unsigned int nextRestart = 0;
  unsigned int scanCount = 0;
  unsigned char scanComps[4] = {};
  unsigned char ss = 0, se = 0, ah = 0, al = 0;
  unsigned int coefLimit = 63;
  unsigned short qtabs[4][65] = {};
  sJHuffSource acTabs[4] = {};
  sJHuffSource dcTabs[4] = {};
  const unsigned short* rangeBase = nullptr;
  const int* naturalOrder = nullptr;
  _classbuf<sJCompInfo> comps;
  _typebuf<unsigned short> rangeLimit;
  // One array of units per block position of the MCU, each holding one unit
  // per MCU of the picture.
  _classbuf<_typebuf<sHuffDecodedUnit>> store;
  unsigned int forceColorSpace = 0;
  unsigned int ycckMode = 1;
  // CMYK samples are ink amounts as they stand, not inverted as Adobe's files have them.
  bool plainInks = false;
  // Four components stored as they are hold red, green, blue and alpha, not inks.
  bool fourthAlpha = false;

  // The read block; bytes [readAt, readEnd) are read but not consumed.
  _typebuf<unsigned char> readBuf;
  long long readAt = 0, readEnd = 0;
  bool readFailed = false;

  // Refills the block; false at the end of the stream.
  bool refill();
  bool readByte(unsigned char& b) {
    if (readAt == readEnd && !refill()) return false;
    b = readBuf.ptr[readAt++];
    ++position;
    return true;
  }
  // Reads up to n bytes; answers how many came.
  long long readBytes(unsigned char* out, long long n);
  long long frameComps() const { return comps.count; }
};

// Natural-order positions of the zig-zag sequence, with 16 spare entries so
// that a corrupt run past 63 lands on a harmless slot.
extern const int kJpgNaturalOrder[64 + 16];

// The zig-zag sequence of an n x n block (n 1..8) as positions of the 8-wide
// coefficient array, padded like the full table.
void jpgScaledOrder(int n, int* out);
