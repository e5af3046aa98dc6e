// The marker loop and the segment handlers. Every length and count comes
// from the stream, so each is checked against what was actually read.
#include "picts/jpgparser.h"

#include <cstring>
#include <new>

#include "base/targets.h"
#include "picts/pixelalloc.h"

namespace {

// Stored as listed, position 0 first; used for a table that is all zeros.
constexpr unsigned short kFallbackQuant[64] = {
    8,   72,  72,  72,  72,  72,  72,  72,  72,  72,  78,  74,  76,  74,  78,  89,
    81,  84,  84,  81,  89,  106, 93,  94,  99,  94,  93,  106, 129, 111, 108, 116,
    116, 108, 111, 129, 135, 128, 136, 145, 136, 128, 135, 155, 160, 177, 177, 160,
    155, 193, 213, 228, 213, 193, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};

// The store may hold the blocks of four full-size components of the largest
// picture the library accepts.
constexpr long long kMaxStoreUnits = 4 * (kMaxPictPixels / 64);

unsigned int be16(const unsigned char* p) { return static_cast<unsigned int>(p[0]) << 8 | p[1]; }

}  // namespace

bool sJPGState::refill() {
  if (readFailed || !io) return false;
  if (readBuf.count < kReadBlock) {
    try {
      readBuf.set(kReadBlock);
    } catch (const std::bad_alloc&) {
      readFailed = true;
      return false;
    }
  }
  unsigned int got = io->read(readBuf.ptr, kReadBlock);
  // A target's answer above the count asked for is its error mark.
  if (got > static_cast<unsigned int>(kReadBlock)) got = 0;
  readAt = 0;
  readEnd = got;
  if (got == 0) readFailed = true;
  return got != 0;
}

long long sJPGState::readBytes(unsigned char* out, long long n) {
  long long done = 0;
  while (done < n) {
    if (readAt == readEnd && !refill()) break;
    long long piece = readEnd - readAt < n - done ? readEnd - readAt : n - done;
    std::memcpy(out + done, readBuf.ptr + readAt, static_cast<size_t>(piece));
    readAt += piece;
    done += piece;
  }
  position += static_cast<unsigned long long>(done);
  return done;
}

cJPEGParser::cJPEGParser() = default;
cJPEGParser::~cJPEGParser() = default;

void cJPEGParser::initState() {
  position = 0;
  pendingMarker = 0;
  firstScan = true;
  io = nullptr;
  precision = 8;
  bytesPerSample = 1;
  imageWidth = imageHeight = 0;
  blockSize = 8;
  blocksPerMCU = 0;
  maxH = maxV = 1;
  blockW = blockH = 8;
  coding = process = 0;
  multiScan = frameSeen = jfif = adobe = false;
  adobeTransform = 0;
  colorSpace = 0;
  restartInterval = 0;
  nextRestart = 0;
  scanCount = 0;
  std::memset(scanComps, 0, sizeof scanComps);
  ss = se = ah = al = 0;
  coefLimit = 63;
  std::memset(qtabs, 0, sizeof qtabs);
  std::memset(acTabs, 0, sizeof acTabs);
  std::memset(dcTabs, 0, sizeof dcTabs);
  rangeBase = nullptr;
  naturalOrder = kJpgNaturalOrder;
  comps.set(0);
  rangeLimit.set(0);
  store.set(0);
  myStoreAcross = myStoreDown = 0;
  myScansSeen = 0;
  std::memset(myCoefBits, -1, sizeof myCoefBits);
  readAt = readEnd = 0;
  readFailed = false;
}

bool cJPEGParser::processStream(cFileIOTarget* target) {
  if (!target) return false;
  initState();
  io = target;
  unsigned char head[2];
  if (readBytes(head, 2) != 2 || head[0] != 0xFF || head[1] != 0xD8) return false;
  for (;;) {
    unsigned char b[2];
    if (pendingMarker) {
      b[0] = 0xFF;
      b[1] = static_cast<unsigned char>(pendingMarker);
      pendingMarker = 0;
    } else if (readBytes(b, 2) != 2) {
      return false;
    }
    if (b[0] != 0xFF) return false;
    while (b[1] == 0xFF)
      if (!readByte(b[1])) return false;
    if (b[1] == 0xD9) return flushScanData() && onImageDone();
    if (!dispatch(static_cast<unsigned short>(0xFF | b[1] << 8))) return false;
  }
}

bool cJPEGParser::dispatch(unsigned short word) {
  myMarker = word;
  switch (word >> 8) {
    case 0xC0:
      return processImageDs(1, 1);
    case 0xC1:
      return processImageDs(1, 2);
    case 0xC2:
      return processImageDs(1, 3);
    case 0xC3:
      return processImageDs(2, 1);
    case 0xC9:
      return processImageDs(3, 2);
    case 0xCA:
      return processImageDs(3, 3);
    case 0xC4:
      return processHTab();
    case 0xDB:
      return processQTab();
    case 0xDD:
      return processRst();
    case 0xDA:
      return frameSeen && processScan();
    case 0xE0:
      return process0xe0ff();
    case 0xE1:
      return process0xe1ff();
    case 0xEE:
      return process0xeeff();
    case 0xFE:
      return process0xfeff();
    case 0xF7:
      return false;  // JPEG-LS is another coding altogether
    default:
      return genericSegment();
  }
}

bool cJPEGParser::readLength(unsigned int& length) {
  unsigned char b[2];
  if (readBytes(b, 2) != 2) return false;
  length = be16(b);
  return length >= 2;
}

// Into the segment buffer, grown to the largest payload met so far (at most
// what a 16-bit length allows), so that a probe stays small.
bool cJPEGParser::readPayload(unsigned int length, unsigned& count) {
  long long want = length - 2;
  if (mySegment.count < want) {
    try {
      mySegment.set(want < 256 ? 256 : want);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  count = static_cast<unsigned>(readBytes(mySegment.ptr, want));
  return true;
}

// The length of a segment whose payload the handler reads itself; the
// segment is shown to onMarker without its bytes.
bool cJPEGParser::announceSegment(unsigned int& length) {
  if (!readLength(length)) return false;
  unsigned count = length - 2;
  return onMarker(myMarker, nullptr, count);
}

// Length and payload of a segment, shown to onMarker; `count` is what came.
bool cJPEGParser::readSegment(unsigned int& length, unsigned& count) {
  return readLength(length) && readPayload(length, count) &&
         onMarker(myMarker, mySegment.ptr, count);
}

bool cJPEGParser::genericSegment() {
  unsigned int length;
  unsigned count;
  return readSegment(length, count) && count == length - 2;
}

bool cJPEGParser::process0xe0ff() {
  unsigned int length;
  unsigned count;
  if (!readSegment(length, count)) return false;
  if (count >= 14 && std::memcmp(mySegment.ptr, "JFIF", 4) == 0) jfif = true;
  return count == length - 2;
}

bool cJPEGParser::process0xe1ff() {
  unsigned int length;
  unsigned count;
  if (!readSegment(length, count)) return false;
  if (count >= 6 && std::memcmp(mySegment.ptr, "Exif\0\0", 6) == 0) {
    unsigned rest = count - 6;
    if (!onExif(mySegment.ptr + 6, rest)) return false;
  }
  return count == length - 2;
}

bool cJPEGParser::process0xeeff() {
  unsigned int length;
  unsigned count;
  if (!readSegment(length, count)) return false;
  if (count >= 12 && std::memcmp(mySegment.ptr, "Adobe", 5) == 0) {
    adobe = true;
    adobeTransform = mySegment.ptr[11];
  }
  return count == length - 2;
}

bool cJPEGParser::process0xfeff() {
  unsigned int length;
  unsigned count;
  if (!readSegment(length, count)) return false;
  return onComment(reinterpret_cast<const char*>(mySegment.ptr), count) && count == length - 2;
}

bool cJPEGParser::processRst() {
  unsigned char b[4];
  if (readBytes(b, 4) != 4 || be16(b) != 4) return false;
  restartInterval = be16(b + 2);
  return true;
}

bool cJPEGParser::processQTab() {
  unsigned int length;
  if (!announceSegment(length)) return false;
  long long left = length - 2;
  unsigned char values[128];
  while (left > 0) {
    unsigned char pq;
    if (!readByte(pq)) return false;
    --left;
    unsigned int tq = pq & 15;
    if (tq > 3) return false;
    bool wide = pq >= 16;
    long long n = wide ? (left >= 128 ? 64 : left / 2) : (left >= 64 ? 64 : left);
    long long bytes = wide ? n * 2 : n;
    if (readBytes(values, bytes) != bytes) return false;
    left -= bytes;
    unsigned short* table = qtabs[tq];
    if (n < 64)
      for (int i = 0; i < 64; ++i) table[i] = 1;
    int side = n == 4 ? 2 : n == 9 ? 3 : n == 16 ? 4 : n == 25 ? 5 : n == 36 ? 6 : n == 49 ? 7 : 8;
    int order[64 + 16];
    jpgScaledOrder(side, order);
    for (long long i = 0; i < n; ++i)
      table[order[i]] = static_cast<unsigned short>(wide ? be16(values + 2 * i) : values[i]);
  }
  return true;
}

bool cJPEGParser::processHTab() {
  unsigned int length;
  if (!announceSegment(length)) return false;
  long long left = length - 2;
  while (left > 16) {
    unsigned char head[17];
    if (readBytes(head, 17) != 17) return false;
    left -= 17;
    bool ac = head[0] & 0x10;
    unsigned int id = ac ? head[0] - 16u : head[0];
    if (id > 3) return false;
    int total = 0;
    for (int l = 1; l <= 16; ++l) total += head[l];
    if (total > 256 || total > left) return false;
    sJHuffSource& t = ac ? acTabs[id] : dcTabs[id];
    std::memset(&t, 0, sizeof t);
    std::memcpy(t.counts + 1, head + 1, 16);
    if (readBytes(t.symbols, total) != total) return false;
    left -= total;
    t.defined = 1;
  }
  return left == 0;
}

bool cJPEGParser::processImageDs(unsigned int frameCoding, unsigned int frameProcess) {
  if (frameSeen) return false;
  unsigned int length;
  if (!announceSegment(length)) return false;
  unsigned char head[6];
  if (readBytes(head, 6) != 6) return false;
  unsigned int p = head[0], y = be16(head + 1), x = be16(head + 3), nf = head[5];
  if (p < 1 || p > 16 || y < 1 || y > 65500 || x < 1 || x > 65500 || nf == 0) return false;
  if (length < 8 || length - 8 != 3 * nf) return false;
  // Colour conversion and the decoder's predictors go up to four components.
  if (nf > 4) return false;
  unsigned char spec[12];
  if (readBytes(spec, 3 * nf) != 3 * nf) return false;
  try {
    comps.set(nf);
  } catch (const std::bad_alloc&) {
    return false;
  }
  maxH = maxV = 1;
  for (unsigned int i = 0; i < nf; ++i) {
    unsigned int sampling = spec[3 * i + 1];
    if (sampling < 0x10 || sampling > 0x4F || (sampling & 15) < 1 || (sampling & 15) > 4) return false;
    if (spec[3 * i + 2] > 3) return false;
    sJCompInfo& c = comps.ptr[i];
    c.id = spec[3 * i];
    c.index = i;
    c.h = sampling >> 4;
    c.v = sampling & 15;
    c.tq = spec[3 * i + 2];
    c.blocksPerMCU = c.h * c.v;
    if (c.h > maxH) maxH = c.h;
    if (c.v > maxV) maxV = c.v;
  }
  precision = p;
  bytesPerSample = (p + 7) / 8;
  imageWidth = x;
  imageHeight = y;
  coding = frameCoding;
  process = frameProcess;
  frameSeen = true;
  if (!onImageDescribed()) return false;
  // Arithmetic scans are never decoded: no buffer is made for their frame.
  if (coding == 3) {
    onGeneralError(position, kErrUnsupported);
    return false;
  }
  return true;
}

bool cJPEGParser::processScan() {
  unsigned int length;
  if (!announceSegment(length)) return false;
  unsigned char ns;
  if (!readByte(ns) || ns > 4 || length - 2 != 2u * ns + 4) return false;
  if (++myScansSeen > kMaxScans) {
    onGeneralError(position, kErrProgression);
    return false;
  }
  if (ns == 0 && process != 3) return false;
  unsigned char body[11];
  if (readBytes(body, 2 * ns + 3) != 2 * ns + 3) return false;
  for (long long i = 0; i < comps.count; ++i) comps.ptr[i].inScan = false;
  for (unsigned int i = 0; i < ns; ++i) {
    long long found = -1;
    for (long long c = 0; c < comps.count && found < 0; ++c)
      if (comps.ptr[c].id == body[2 * i]) found = c;
    // Some camera writers number the scan's components from 0 instead of
    // naming them.
    if (found < 0 && myRelativeSelectors && body[2 * i] < comps.count) found = body[2 * i];
    // A component named twice would be decoded twice into one place.
    if (found < 0 || comps.ptr[found].inScan) return false;
    sJCompInfo& c = comps.ptr[found];
    c.td = body[2 * i + 1] >> 4;
    c.ta = body[2 * i + 1] & 15;
    c.inScan = true;
    scanComps[i] = static_cast<unsigned char>(found);
  }
  scanCount = ns;
  ss = body[2 * ns];
  se = body[2 * ns + 1];
  ah = body[2 * ns + 2] >> 4;
  al = body[2 * ns + 2] & 15;
  // An empty scan codes nothing and leaves the block geometry as it was.
  if (ns == 0) return buildRangeLimit();
  if (process == 1 || process == 3) {
    blockSize = 8;
    coefLimit = 63;
  } else {
    static constexpr unsigned char kLastIndex[16] = {0,  3,  8,   15,  24,  35,  48,  63,
                                                     80, 99, 120, 143, 168, 195, 224, 255};
    unsigned int size = 0;
    for (unsigned int i = 0; i < 16 && !size; ++i)
      if (kLastIndex[i] == se) size = i + 1;
    if (!size) return false;
    blockSize = size;
    coefLimit = size <= 8 ? se : 63;
  }
  blockW = blockH = blockSize;
  for (long long i = 0; i < comps.count; ++i) {
    sJCompInfo& c = comps.ptr[i];
    c.blockW = c.blockH = blockSize;
    unsigned long long across = static_cast<unsigned long long>(maxH) * blockSize;
    unsigned long long down = static_cast<unsigned long long>(maxV) * blockSize;
    c.widthInBlocks =
        static_cast<unsigned int>((static_cast<unsigned long long>(imageWidth) * c.h + across - 1) / across);
    c.heightInBlocks =
        static_cast<unsigned int>((static_cast<unsigned long long>(imageHeight) * c.v + down - 1) / down);
  }
  multiScan = ns < comps.count || process == 3;
  nextRestart = 0;
  if (firstScan) chooseColorSpace();
  return onScanData() && processDecode();
}

void cJPEGParser::chooseColorSpace() {
  // A multi-scan image may open with a scan of one component; its colour
  // space is the frame's.
  long long n = multiScan ? comps.count : scanCount;
  colorSpace = 0;
  if (n == 1) {
    colorSpace = 1;
  } else if (n == 3) {
    if (jfif)
      colorSpace = 2;
    else if (adobe)
      colorSpace = adobeTransform == 0 ? 3 : 2;
    else
      colorSpace = comps.ptr[0].id == 'R' && comps.ptr[1].id == 'G' && comps.ptr[2].id == 'B' ? 3 : 2;
  } else if (n == 4) {
    colorSpace = adobe && adobeTransform != 0 ? 5 : fourthAlpha ? 7 : 4;
  }
}

unsigned int cJPEGParser::effectiveColorSpace() const {
  unsigned int space = forceColorSpace ? forceColorSpace : colorSpace;
  return space == 5 && ycckMode == 0 ? 6 : space;
}

// Only the 8-bit inverse DCT reads the table. Lossless and deeper streams
// leave it out: at 16 bits it is 360,448 entries, which a camera file of
// many small lossless tiles would otherwise build once a tile.
bool cJPEGParser::buildRangeLimit() {
  if (precision != 8) return true;
  long long n = 1LL << precision;
  if (rangeLimit.count == 5 * n + n / 2) return true;
  try {
    rangeLimit.set(5 * n + n / 2);
  } catch (const std::bad_alloc&) {
    return false;
  }
  unsigned short* t = rangeLimit.ptr;
  for (long long i = 0; i < n; ++i) t[i] = 0;
  for (long long i = 0; i < n; ++i) t[n + i] = static_cast<unsigned short>(i);
  for (long long i = 2 * n; i < 3 * n + n / 2; ++i) t[i] = static_cast<unsigned short>(n - 1);
  for (long long i = 3 * n + n / 2; i < 5 * n; ++i) t[i] = 0;
  for (long long i = 0; i < n / 2; ++i) t[5 * n + i] = static_cast<unsigned short>(i);
  rangeBase = t + n;
  return true;
}

bool cJPEGParser::processDecode() {
  if (!buildRangeLimit()) return false;
  long long across = 0, down = 0;
  for (unsigned int i = 0; i < scanCount; ++i) {
    const sJCompInfo& c = comps.ptr[scanComps[i]];
    long long a =
        scanCount == 1 ? (c.widthInBlocks + c.h - 1) / c.h : (imageWidth + mcuWidth() - 1LL) / mcuWidth();
    long long d =
        scanCount == 1 ? (c.heightInBlocks + c.v - 1) / c.v : (imageHeight + mcuHeight() - 1LL) / mcuHeight();
    if (i > 0 && (a != across || d != down)) {
      onGeneralError(position, kErrGeometry);
      return false;
    }
    across = a;
    down = d;
  }
  if (firstScan) {
    unsigned int units = 0;
    for (long long i = 0; i < comps.count; ++i) units += comps.ptr[i].blocksPerMCU;
    blocksPerMCU = units;
  }
  for (unsigned int i = 0; i < scanCount; ++i) {
    sJCompInfo& c = comps.ptr[scanComps[i]];
    std::memcpy(c.qtab, qtabs[c.tq], sizeof c.qtab);
    bool empty = true;
    for (unsigned short q : c.qtab) empty = empty && q == 0;
    if (empty) std::memcpy(c.qtab, kFallbackQuant, sizeof kFallbackQuant);
    for (int k = 0; k < 64; ++k) c.dequant[k] = c.qtab[k];
  }
  if (blockSize != 8) {
    onGeneralError(position, kErrGeometry);
    return false;
  }
  switch (coding) {
    case 1:
      return multiScan ? processHuffmalProgressive(static_cast<int>(across), static_cast<int>(down))
                       : processHuffmalScan(static_cast<int>(across), static_cast<int>(down));
    case 2:
      return processHuffmanLosslessScan();
    default:
      onGeneralError(position, kErrUnsupported);
      return false;
  }
}

bool cJPEGParser::createStore(int across, int down) {
  long long units = static_cast<long long>(blocksPerMCU) * across * down;
  if (units < 1 || units > kMaxStoreUnits) return false;
  // Each unit is cleared and labelled in one pass: the store is the
  // largest buffer of a progressive decode.
  try {
    store.set(blocksPerMCU);
    unsigned int pos = 0;
    for (long long i = 0; i < comps.count; ++i) {
      comps.ptr[i].firstPos = pos;
      for (unsigned int b = 0; b < comps.ptr[i].blocksPerMCU; ++b, ++pos) {
        _typebuf<sHuffDecodedUnit>& units = store.ptr[pos];
        units.set(static_cast<long long>(across) * down);
        for (long long u = 0; u < units.count; ++u) {
          std::memset(static_cast<void*>(units.ptr + u), 0, sizeof(sHuffDecodedUnit));
          units.ptr[u].comp = static_cast<unsigned char>(i);
        }
      }
    }
  } catch (const std::bad_alloc&) {
    store.set(0);
    return false;
  }
  myStoreAcross = across;
  myStoreDown = down;
  return true;
}

bool cJPEGParser::flushScanData() {
  if (coding != 1 || !multiScan) return true;
  if (store.count == 0) {
    onGeneralError(position, kErrNoCoefs);
    return false;
  }
  try {
    myUnitPtrs.set(blocksPerMCU);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int row = 0; row < myStoreDown; ++row)
    for (int col = 0; col < myStoreAcross; ++col) {
      long long at = static_cast<long long>(row) * myStoreAcross + col;
      for (unsigned int p = 0; p < blocksPerMCU; ++p) myUnitPtrs.ptr[p] = store.ptr[p].ptr + at;
      if (!onMCUDone(col, row, myUnitPtrs.ptr, static_cast<int>(blocksPerMCU))) {
        onGeneralError(position, kErrRefused);
        return false;
      }
    }
  return true;
}

bool cJPEGParser::getRestart(sJPGState* s) {
  unsigned int expected = 0xD0 + s->nextRestart;
  if (!s->pendingMarker) {
    unsigned char b;
    if (!s->readByte(b) || b != 0xFF) return false;
    do {
      if (!s->readByte(b)) return false;
    } while (b == 0xFF || b == 0x00);
    s->pendingMarker = b;
  }
  if (s->pendingMarker != expected) return false;
  s->pendingMarker = 0;
  s->nextRestart = (s->nextRestart + 1) & 7;
  return true;
}
