#include "picts/crw.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/memio.h"
#include "base/targets.h"
#include "compression/haffmantable.h"
#include "picts/crw_tables.h"
#include "picts/exif.h"
#include "picts/pictjpeg.h"
#include "picts/pixelalloc.h"

namespace {

constexpr unsigned int kDefaultWhite = 1023;

// Models whose files keep two more bits of every sample beside the
// compressed stream.
constexpr unsigned int kLowBitModels[] = {0x01140000, 0x01190000, 0x01210000, 0x01290000,
                                          0x01310000, 0x01370000, 0x01380000, 0x01390000,
                                          0x01400000, 0x01668000, 0x80000168, 0x80000170};
// Of those, the ones with a black level.
constexpr unsigned int kBlackModels[] = {0x01668000, 0x80000168, 0x80000170};
constexpr unsigned int kFourColourModels[] = {0x03010000, 0x04040000};

template <size_t N>
bool listed(const unsigned int (&list)[N], unsigned int model) {
  return std::find(list, list + N, model) != list + N;
}

// Canon's compressed stream: bytes most significant bit first, a zero byte
// stuffed after every 0xFF, nothing past the end but zeros.
class cCRWBits {
 public:
  explicit cCRWBits(_typebuf<unsigned char>& data, long long start) : myData(data), myPos(start) {}

  // Keeps at least 25 bits at hand.
  void fillCtx() {
    while (myCount < 25) {
      unsigned int byte = 0;
      if (myPos < myData.count) {
        byte = myData.ptr[myPos++];
        if (byte == 0xFF && myPos < myData.count) ++myPos;
      }
      myAcc = myAcc << 8 | byte;
      myCount += 8;
    }
  }

  unsigned int getBits(int n) {
    if (n <= 0) return 0;
    fillCtx();
    myCount -= n;
    return static_cast<unsigned int>(myAcc >> myCount & ((1ULL << n) - 1));
  }

  int getHuff(const _typebuf<unsigned short>& table) {
    fillCtx();
    const int longest = table.ptr[0];
    const unsigned short entry = table.ptr[1 + (myAcc >> (myCount - longest) & ((1ULL << longest) - 1))];
    myCount -= entry >> 8;
    return entry & 0xFF;
  }

 private:
  _typebuf<unsigned char>& myData;
  long long myPos;
  unsigned long long myAcc = 0;
  int myCount = 0;
};

void mkDecoder(const unsigned char* tree, _typebuf<unsigned short>& table) {
  cHaffmanTable::createIndexTable(&tree, table);
}

}  // namespace

unsigned int cCRWTagProcessor::number(const unsigned char* p, int bytes) const {
  unsigned int v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<unsigned int>(p[i]) << 8 * (myBig ? bytes - 1 - i : i);
  return v;
}

bool cCRWTagProcessor::readAt(cFileIOTarget* block, unsigned long long at, void* buf,
                              unsigned int count) const {
  const unsigned long long size = block->size();
  return at <= size && count <= size - at && block->set_fp(at) && block->readf(buf, count);
}

bool cCRWTagProcessor::process(cFileIOTarget* block, bool bigEndian) {
  myBig = bigEndian;
  const unsigned long long size = block->size();
  unsigned char b[10];
  if (size < 4 || !readAt(block, size - 4, b, 4)) return false;
  const unsigned long long table = number(b, 4);
  if (!readAt(block, table, b, 2)) return false;
  const unsigned int count = number(b, 2);
  if (!count) return false;
  for (unsigned int i = 0; i < count; ++i) {
    if (!readAt(block, table + 2 + 10ULL * i, b, 10)) return false;
    const unsigned int type = number(b, 2), storage = type & 0xC000;
    if ((storage != 0 && storage != 0x4000) || (type >> 11 & 7) == 7) return false;
    const unsigned int length = number(b + 2, 4), offset = number(b + 6, 4);
    const bool inHeap = storage == 0;
    // Heap data must lie inside the heap; the sum cannot wrap in 64 bits.
    if (inHeap && static_cast<unsigned long long>(offset) + length > size) return false;
    if (!onTag(block, static_cast<unsigned short>(type & 0x3FFF), length, offset, inHeap)) return false;
  }
  return true;
}

bool cMainCRWProps::onTag(cFileIOTarget*, unsigned short tag, unsigned size, unsigned offset, bool inHeap) {
  sCRWSpan* span = tag == 0x2005 ? &raw : tag == 0x2007 ? &jpeg : tag == 0x300A ? &image : nullptr;
  if (!span) return true;
  if (!inHeap) return false;
  *span = {offset, size};
  return true;
}

bool cImageCRWProps::onTag(cFileIOTarget* block, unsigned short tag, unsigned size, unsigned offset,
                           bool inHeap) {
  if (tag == 0x1810) {
    unsigned char b[8];
    if (!inHeap || size != 28 || !readAt(block, offset, b, 8)) return false;
    width = number(b, 4);
    height = number(b + 4, 4);
    return width && height;
  }
  if (tag == 0x300B) {
    if (!inHeap) return false;
    exif = {offset, size};
  }
  return true;
}

bool cExifCRWProps::onTag(cFileIOTarget* block, unsigned short tag, unsigned size, unsigned offset,
                          bool inHeap) {
  unsigned char b[16];
  switch (tag) {
    case 0x102A:
      if (inHeap && size >= 14) {
        if (!readAt(block, offset + 12ULL, b, 2)) return false;
        const unsigned int v = number(b, 2);
        wbIndex = static_cast<unsigned short>(v < 10 ? v : v == 14 ? 1 : 6);
      }
      return true;
    case 0x1031:
      if (inHeap && size >= 14) {
        if (!readAt(block, offset, b, 14)) return false;
        for (int i = 0; i < 7; ++i) sensor[i] = static_cast<unsigned short>(number(b + 2 * i, 2));
      }
      return true;
    case 0x10A9:
      if (inHeap && size >= 10) {
        if (8ULL * wbIndex + 10 > size) wbIndex = 0;
        if (!readAt(block, offset + 8ULL * wbIndex + 2, b, 8)) return false;
        for (int i = 0; i < 4; ++i) wb[i] = static_cast<unsigned short>(number(b + 2 * i, 2));
      }
      return true;
    case 0x1834:
      if (inHeap) return false;
      model = size;
      return true;
    case 0x1835:
      if (inHeap && size >= 16) {
        if (!readAt(block, offset, b, 12)) return false;
        table = number(b, 4);
        skip = number(b + 8, 4);
      }
      return true;
    default:
      return true;
  }
}

void cExifCRWProps::balance(double (&out)[4]) const {
  out[0] = wb[0];
  out[1] = wb[1];
  out[2] = wb[3];
  out[3] = wb[2];
}

bool cPictCRW::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictCRW probe;
  return probe.isPicture(io, info);
}

bool cPictCRW::isPicture(cFileIOTarget* io, sPictInfo* info) {
  myProbe = true;
  const bool ok = processStream(io);
  myProbe = false;
  if (ok && info) {
    info->width = myWidth;
    info->height = myHeight;
    info->hasPreview = myJpegLength != 0;
  }
  return ok;
}

bool cPictCRW::decode(cFileIOTarget* io) { return processStream(io); }

bool cPictCRW::processStream(cFileIOTarget* io) {
  myJpegOffset = myJpegLength = 0;
  if (!io) return false;
  const unsigned long long size = io->size();
  unsigned char head[14];
  if (size < 14 || !io->set_fp(0) || !io->readf(head, 14)) return false;
  if ((head[0] != 'I' || head[1] != 'I') && (head[0] != 'M' || head[1] != 'M')) return false;
  if (std::memcmp(head + 6, "HEAPCCDR", 8) != 0) return false;
  myBig = head[0] == 'M';
  const unsigned long long h =
      myBig ? static_cast<unsigned long long>(head[2]) << 24 | head[3] << 16 | head[4] << 8 | head[5]
            : static_cast<unsigned long long>(head[5]) << 24 | head[4] << 16 | head[3] << 8 | head[2];
  if (h >= size) return false;
  cFileIOSubRange root(io, h, size - h);
  cMainCRWProps main;
  if (!main.process(&root, myBig) || !main.raw.size || !main.image.size) return false;
  if (main.jpeg.size) {
    myJpegOffset = h + main.jpeg.offset;
    myJpegLength = main.jpeg.size;
  }
  const unsigned long long imageAt = h + main.image.offset;
  cFileIOSubRange imageHeap(io, imageAt, main.image.size);
  cImageCRWProps image;
  if (!image.process(&imageHeap, myBig) || !image.exif.size) return false;
  myWidth = image.width;
  myHeight = image.height;
  if (myProbe) return true;
  cFileIOSubRange exifHeap(io, imageAt + image.exif.offset, image.exif.size);
  cExifCRWProps exif;
  if (!exif.process(&exifHeap, myBig) || !exif.model) return false;
  myLowBits = listed(kLowBitModels, exif.model);
  const unsigned int white = listed(kBlackModels, exif.model) ? 4000 : myLowBits ? 4095 : kDefaultWhite;
  const unsigned int black = listed(kBlackModels, exif.model) ? 128 : 0;
  const long long sensorW = exif.sensor[1], sensorH = exif.sensor[2];
  const long long count = pictPixelCount(sensorW, sensorH);
  if (count < 0 || exif.skip > main.raw.size) return false;
  // The picture must lie inside the sensor; a border past it is refused.
  const long long left = exif.sensor[5], top = exif.sensor[6];
  if (left + myWidth > sensorW || top + myHeight > sensorH) return false;
  sMarginInfo margins;
  margins.left = static_cast<unsigned int>(left);
  margins.right = static_cast<unsigned int>(sensorW - left - myWidth);
  margins.top = static_cast<unsigned int>(top);
  margins.bottom = static_cast<unsigned int>(sensorH - top - myHeight);
  try {
    myRaw.set(count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  cFileIOSubRange rawData(io, h + main.raw.offset + exif.skip, main.raw.size - exif.skip);
  const bool ok = decodeSensorInfo(&rawData, myRaw.ptr, count, sensorW, exif.table) &&
                  finish(io, exif, margins, white, black);
  myRaw.set(0);
  return ok;
}

bool cPictCRW::decodeSensorInfo(cFileIOTarget* window, unsigned short* samples, long long count,
                                long long width, unsigned int table) {
  const unsigned long long size = window->size();
  const long long lowBytes = myLowBits ? count / 4 : 0;
  // A block of 64 flat samples costs the stream four bits at least, so no
  // byte describes more than 128 samples.
  if (size > 0xFFFFFFFFULL || static_cast<unsigned long long>(count) > 128 * size + 64) return false;
  _typebuf<unsigned char> data;
  try {
    data.set(static_cast<long long>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (size && (!window->set_fp(0) || !window->readf(data.ptr, static_cast<unsigned int>(size)))) return false;
  _typebuf<unsigned short> first, second;
  const unsigned int t = std::min(table, 2u);
  mkDecoder(kCanonFirstTree[t], first);
  mkDecoder(kCanonSecondTree[t], second);
  cCRWBits bits(data, lowBytes);
  int carry = 0, base[2] = {512, 512};
  for (long long start = 0; start < count; start += 64) {
    int diff[64] = {};
    for (int i = 0; i < 64; ++i) {
      const int symbol = bits.getHuff(i ? second : first);
      if (symbol == 0 && i) break;
      if (symbol == 0xFF) continue;
      i += symbol >> 4;
      const int len = symbol & 15;
      if (!len) continue;
      int d = static_cast<int>(bits.getBits(len));
      if ((d & 1 << (len - 1)) == 0) d -= (1 << len) - 1;
      if (i < 64) diff[i] = d;
    }
    diff[0] += carry;
    carry = diff[0];
    for (long long i = 0; i < 64 && start + i < count; ++i) {
      if ((start + i) % width == 0) base[0] = base[1] = 512;
      base[i & 1] += diff[i];
      samples[start + i] = static_cast<unsigned short>(base[i & 1]);
    }
  }
  if (myLowBits) {
    if (lowBytes > data.count) return false;
    for (long long i = 0; i < count; ++i)
      samples[i] = static_cast<unsigned short>(samples[i] << 2 | (data.ptr[i / 4] >> 2 * (i % 4) & 3));
  }
  return true;
}

bool cPictCRW::finish(cFileIOTarget* io, const cExifCRWProps& exif, const sMarginInfo& margins,
                      unsigned int white, unsigned int black) {
  sRawFinish f;
  f.raw = myRaw.ptr;
  f.rawWidth = exif.sensor[1];
  f.rawHeight = exif.sensor[2];
  f.margins = margins;
  f.white = white;
  double mix[3][4] = {{2.0, 2.0, -0.5, -0.2}, {-0.2, 2.0, 2.0, 1.0}, {1.0, -0.5, 2.0, -0.2}};
  cPtr<cBayerFilter> filter;
  if (listed(kFourColourModels, exif.model)) {
    sCFAData cfa(2, 2, 4);
    static constexpr unsigned char kPattern[4] = {1, 2, 3, 0};
    std::memcpy(cfa.pattern.ptr, kPattern, 4);
    filter.ptr = cBayerFilter::newFilter(cfa);
    f.demosaic = sRawFinish::dmLinearNonRGB;
    f.mix = &mix;
    f.saturate = true;
  } else {
    filter.ptr = new cStdCFAFilter;
    f.black = black;
    double balance[4];
    exif.balance(balance);
    double least = 0;
    for (double b : balance)
      if (b > 0 && (least == 0 || b < least)) least = b;
    const double m = 65535.0 / (white - black);
    for (int c = 0; c < 4; ++c) f.multipliers[c] = least > 0 ? balance[c] * m / least : m;
  }
  if (!filter) return false;
  f.filter = filter.ptr;
  myPix8.set(0);
  myIs16 = true;
  return finishRaw(f, io, myPix16, myWidth, myHeight);
}

bool cPictCRW::getPreview(cFileIOTarget* io, cPictBase& target, long long const*, long long const*) {
  if (!isPicture(io, nullptr) || !myJpegLength) return false;
  cFileIOSubRange window(io, myJpegOffset, myJpegLength);
  cPictJPEG jpeg;
  jpeg.setReadExif(false);
  if (!window.valid() || !cExifDecoder::decodeEmbeddedJpeg(jpeg, &window, myJpegLength)) return false;
  jpeg.moveTo(target);
  return true;
}
