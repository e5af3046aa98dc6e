#include "picts/picttiff.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "base/memio.h"
#include "base/targets.h"
#include "picts/md8bim.h"
#include "picts/pictjpeg.h"
#include "picts/pixelalloc.h"

namespace {

// A unit's first read: what its rows take stored as they are, at least
// enough for a stream's header and at most this much, which a JPEG or fax
// unit rarely passes; its decoder pulls the rest as it goes.
constexpr long long kFirstReadLeast = 16;
constexpr long long kFirstReadMost = 64 << 10;

// Deeper chains are refused: no genuine file pages this far, and a forged
// one must not keep the walker busy.
constexpr int kMaxPages = 65536;

long long ceilDiv(long long a, long long b) { return (a + b - 1) / b; }

// Tiles pad a picture by less than a tile on each side: four times the
// picture covers pictures no smaller than their tiles, and 16 MiB small
// pictures in large tiles.
constexpr unsigned long long kUnitWorkPerShownByte = 4;
constexpr unsigned long long kUnitWorkFloor = 16ULL << 20;

// sum + a * b, or the largest value where that passes it.
unsigned long long saturatedSum(unsigned long long sum, unsigned long long a, unsigned long long b) {
  unsigned long long r;
  return __builtin_mul_overflow(a, b, &r) || __builtin_add_overflow(sum, r, &r) ? ~0ULL : r;
}

bool isJpeg(int compression) { return compression == 6 || compression == 7; }
bool isFax(int compression) { return compression == 3 || compression == 4; }

// The most bytes one compressed byte can become, with room to spare: a
// picture is sized only when its data could fill it. A fax code has no
// such ratio, as a row costs a bit at any width: its rows are counted
// instead, and its units keep only the columns shown.
long long expansionOf(int compression) {
  switch (compression) {
    case 1:
      return 1;
    case 32773:
      return 64;
    case 8:
    case 32946:
      return 1032;
    case 5:
      return 4096;
    // A JPEG block costs at least a bit, and the widest sampling gives
    // 18 blocks to 32 x 32 pixels.
    case 6:
    case 7:
      return 2048;
    default:
      return 0;
  }
}

}  // namespace

cPictTIFF::cPictTIFF() { reset(); }

void cPictTIFF::reset() {
  cExifDecoder::reset();
  setLoadPreview(false);
  myPhotometric = 0;
  myRowsPerStrip = 0;
  myStripOffsets.set(0);
  myStripByteCounts.set(0);
  myTileWidth = myTileLength = 0;
  myTileOffsets.set(0);
  myTileByteCounts.set(0);
  mySubIFDs.set(0);
  myBitsPerChannel.set(0);
  myBitsPerSample = 0;
  mySamplesPerPixel = 0;
  myPlanarConfig = 0;
  myColorMap.set(0);
  myT4Options = 0;
  mySubfileType = 0;
  myPredictor = 0;
  myFillOrder = 1;
  mySampleFormat = 0;
  myJpegTables.set(0);
  myBottomUp = true;
  myReadLeft = myRunOnLeft = 0;
  removeProp(epEmbeddedWidth);
  removeProp(epEmbeddedHeight);
  removeProp(epEmbeddedCompression);
}

bool cPictTIFF::onTag(int tag, int type, const void* data, int length) {
  // The chain is the pages', not a thumbnail's.
  if (tag == kNextIFDTag) return true;
  if (ifdKind() != kMainIFD) return cExifDecoder::onTag(tag, type, data, length);
  sTagProcessParam t{tag, type, data, length};
  unsigned int u32 = 0;
  switch (tag) {
    case 254:
      mySubfileType = 0;
      return getValU32(t, mySubfileType);
    case 255:
      if (!getValU32(t, u32)) return false;
      mySubfileType = u32 == 3 ? (mySubfileType & 2) : u32 == 2 ? (mySubfileType & 1) : 0;
      return true;
    case 258:
      if (!getValsU16(t, myBitsPerChannel) || myBitsPerChannel.count < 1) return false;
      myBitsPerSample = myBitsPerChannel.ptr[0];
      if (myBitsPerChannel.count == 1) myBitsPerChannel.set(0);
      return true;
    case 262:
      return getValU16(t, myPhotometric);
    case 266:
      return getValU16(t, myFillOrder);
    case 273:
      return getValsU32(t, myStripOffsets);
    case 277:
      return getValU32(t, mySamplesPerPixel);
    case 278:
      return getValU32(t, myRowsPerStrip);
    case 279:
      return getValsU32(t, myStripByteCounts);
    case 284:
      return getValU16(t, myPlanarConfig);
    case 292:
      return getValU32(t, myT4Options);
    case 317:
      return getValU16(t, myPredictor);
    case 320:
      return getValsU16(t, myColorMap);
    case 322:
      return getValU32(t, myTileWidth) && myTileWidth != 0;
    case 323:
      return getValU32(t, myTileLength) && myTileLength != 0;
    case 324:
      return getValsU32(t, myTileOffsets);
    case 325:
      return getValsU32(t, myTileByteCounts);
    case 330:
      return getValsU32(t, mySubIFDs);
    case 339:
      return getValU16(t, mySampleFormat);
    case 347:
      return getValsU8(t, myJpegTables);
    case 34377:
      return (type != 1 && type != 7) || length < 13 || takePhotoshopThumbnail(data, length);
    default:
      return cExifDecoder::onTag(tag, type, data, length);
  }
}

// Photoshop writes its resources big-endian whatever the TIFF's byte order,
// so they are read so in every TIFF. Anything odd leaves the thumbnail out
// and the picture as it is.
bool cPictTIFF::takePhotoshopThumbnail(const void* data, int length) {
  cMd8BIM resources;
  resources.processMD(data, length, true);
  const cMd8BIM::sEntry* thumb = resources.prop(cMd8BIM::kThumbnailKey);
  if (!thumb || thumb->size < 29) return true;
  const unsigned char* p = thumb->data;
  unsigned long long jpegSize =
      static_cast<unsigned long long>(p[20]) << 24 | p[21] << 16 | p[22] << 8 | p[23];
  if (jpegSize + 28 != thumb->size) return true;
  cPtr<cPictJPEG> jpeg(new cPictJPEG);
  jpeg->setReadExif(false);
  if (loadPreview()) {
    cBufWrapperIO io(const_cast<unsigned char*>(p + 28), static_cast<long long>(jpegSize), false);
    if (!decodeEmbeddedJpeg(*jpeg.ptr, &io, jpegSize)) return true;
  }
  if (cPictPropImage* image = static_cast<cPictPropImage*>(getProp(epThumbnail, true));
      image && image->typeOf() == kPropImage) {
    delete image->value;
    image->value = jpeg.ptr;
    jpeg.ptr = nullptr;
  }
  return true;
}

bool cPictTIFF::getPreview(cFileIOTarget* io, cPictBase& target, long long const*, long long const*) {
  if (!io) return false;
  removeProp(epThumbnail);
  walkToPage(io, 0, true);
  cPictPropImage* thumb = getPropImage(epThumbnail);
  if (!thumb || !thumb->value || !thumb->value->raw8Bpp()) return false;
  thumb->value->moveTo(target);
  return true;
}

bool cPictTIFF::decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH,
                                  int page, bool allowDecode, unsigned int background) {
  if (maxW < 1 || maxH < 1) return false;
  removeProp(epThumbnail);
  if (!walkToPage(io, page, true)) return false;
  cPictPropImage* thumb = getPropImage(epThumbnail);
  if (thumb && thumb->value) return imgToPreview(*thumb->value, out, maxW, maxH, background);
  if (!allowDecode || isSensorMosaic()) return false;
  double r = std::min({1.0, static_cast<double>(maxW) / getPropInt(epEmbeddedWidth)->value,
                       static_cast<double>(maxH) / getPropInt(epEmbeddedHeight)->value});
  long long w = static_cast<long long>(getPropInt(epEmbeddedWidth)->value * r + 0.5);
  long long h = static_cast<long long>(getPropInt(epEmbeddedHeight)->value * r + 0.5);
  if (w < 1 || h < 1 || !out.create(w, h, 0)) return false;
  sExtPictDef target(&out);
  target.background = background;
  if (supportsExtRendering()) return setExtTarget(&target) && decodeIntFinal(io);
  return decodeIntFinal(io) && toExtTarget(&target);
}

bool cPictTIFF::isFullConfig() {
  if (myPlanarConfig > 2 && myPlanarConfig != 32768) return false;
  if (myBitsPerSample < 1 || myBitsPerSample > 64) return false;
  if (mySamplesPerPixel < 1 || mySamplesPerPixel > 5) return false;
  if (myStripOffsets.count) {
    if (myStripByteCounts.count ? myStripByteCounts.count != myStripOffsets.count : myStripOffsets.count != 1)
      return false;
  } else if (!myTileOffsets.count || (myTileByteCounts.count == 0 && myTileOffsets.count != 1)) {
    return false;
  }
  return getPropInt(epEmbeddedWidth) && getPropInt(epEmbeddedHeight);
}

// Each step forgets what the previous IFD said: a page describes itself.
bool cPictTIFF::walkToPage(cFileIOTarget* io, int page, bool withPreview) {
  if (!io || page < 0 || page >= kMaxPages) return false;
  reset();
  setLoadPreview(withPreview);
  if (!cExifDecoder::decode(this, io, kMainIFD)) return false;
  mySize = myStreamSize;
  cFasterTreeList<unsigned int, char> walked;
  walked.insert(ifdOffset());
  for (int i = 0; i < page; ++i)
    if (!walkNext(io, walked)) return false;
  return isFullConfig();
}

bool cPictTIFF::walkNext(cFileIOTarget* io, cFasterTreeList<unsigned int, char>& walked) {
  unsigned int next = nextOffset();
  if (next == 0 || walked.find(next)) return false;
  walked.insert(next);
  bool bigEndian = myBigEndian, bigTiff = myBigTiff, preview = loadPreview();
  reset();
  // A page's thumbnail is its own.
  removeProp(epThumbnail);
  setLoadPreview(preview);
  return decodeDirect(this, io, kMainIFD, next, bigEndian, bigTiff, mySize);
}

bool cPictTIFF::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictTIFF probe;
  return probe.isPicture(io, info);
}

// The main page need not be a whole picture: a camera file's may name no
// strips and leave its raw to a SubIFD.
bool cPictTIFF::holdsSensorMosaic(cFileIOTarget* io) {
  cPictTIFF probe;
  if (!io || !probe.cExifDecoder::decode(&probe, io, kMainIFD)) return false;
  if (probe.isSensorMosaic()) return true;
  // Kept apart: a SubIFD may name SubIFDs of its own.
  const std::vector<unsigned int> subs(
      probe.mySubIFDs.ptr, probe.mySubIFDs.ptr + std::min<long long>(probe.mySubIFDs.count, kMaxPages));
  const bool bigEndian = probe.myBigEndian, bigTiff = probe.myBigTiff;
  for (unsigned int offset : subs) {
    probe.reset();
    if (probe.decodeDirect(&probe, io, kMainIFD, offset, bigEndian, bigTiff, kAskSize) &&
        probe.isSensorMosaic())
      return true;
  }
  return false;
}

bool cPictTIFF::isPicture(cFileIOTarget* io, sPictInfo* info) {
  if (!walkToPage(io, 0) || isSensorMosaic()) return false;
  if (info) {
    info->width = getPropInt(epEmbeddedWidth)->value;
    info->height = getPropInt(epEmbeddedHeight)->value;
    info->hasPreview = getPropImage(epThumbnail) != nullptr;
  }
  return true;
}

int cPictTIFF::getNumPages(cFileIOTarget* io) {
  if (!walkToPage(io, 0)) return 0;
  cFasterTreeList<unsigned int, char> walked;
  walked.insert(ifdOffset());
  int pages = 1;
  while (pages < kMaxPages && walkNext(io, walked) && isFullConfig()) ++pages;
  return pages;
}

bool cPictTIFF::getPageSize(cFileIOTarget* io, int page, int& w, int& h) {
  if (!walkToPage(io, page)) return false;
  w = getPropInt(epEmbeddedWidth)->value;
  h = getPropInt(epEmbeddedHeight)->value;
  return true;
}

bool cPictTIFF::decode(cFileIOTarget* io) { return decodePage(io, 0); }

bool cPictTIFF::decodePage(cFileIOTarget* io, int page) {
  if (walkToPage(io, page, true) && !isSensorMosaic()) return decodeIntFinal(io);
  if (extTarget()) endExtRender();
  return false;
}

bool cPictTIFF::checkLayout(int compression) {
  if (compression != 1 && compression != 5 && compression != 8 && compression != 32946 &&
      compression != 32773 && !isJpeg(compression) && compression != 3 && compression != 4)
    return false;
  if ((compression == 3 || compression == 4) && (myBitsPerSample != 1 || mySamplesPerPixel != 1))
    return false;
  if (myPlanarConfig > 2) return false;
  // The JPEG picture delivers RGB whatever the TIFF says of its colours,
  // CMYK included, and 16-bit samples for 12-bit data.
  if (isJpeg(compression))
    return (myBitsPerSample == 8 || myBitsPerSample == 12) && mySamplesPerPixel >= 1 &&
           mySamplesPerPixel <= 4 && (myPlanarConfig != 2 || mySamplesPerPixel == 1);
  // Floating-point undifferencing would show raw differences as pixels.
  if (myPredictor > 2) return false;
  if (mySampleFormat > 1 && mySampleFormat != 3) return false;
  if (mySampleFormat == 3 && myBitsPerSample != 16 && myBitsPerSample != 24 && myBitsPerSample != 32 &&
      myBitsPerSample != 64)
    return false;
  for (long long i = 0; i < myBitsPerChannel.count; ++i)
    if (myBitsPerChannel.ptr[i] != myBitsPerSample) return false;
  if (myPhotometric == 3) {
    if (mySamplesPerPixel != 1 || myBitsPerSample > 16) return false;
  } else {
    unsigned int samples[5] = {};
    unsigned int pixel;
    if (!getColor32(samples, static_cast<int>(mySamplesPerPixel), myPhotometric, pixel)) return false;
  }
  return true;
}

bool cPictTIFF::decodeIntFinal(cFileIOTarget* io) {
  sExtPictDef* target = extTarget();
  bool done = decodeInto(io, target);
  // A target serves one decode, whether or not it was drawn into.
  if (target) endExtRender();
  return done;
}

bool cPictTIFF::decodeInto(cFileIOTarget* io, sExtPictDef* target) {
  long long w = getPropInt(epEmbeddedWidth)->value, h = getPropInt(epEmbeddedHeight)->value;
  cPictPropInt* compression = getPropInt(epEmbeddedCompression);
  if (!compression || !checkLayout(compression->value)) return false;
  if (myTileOffsets.count && !myStripOffsets.count && myTileWidth == w && myTileLength == h) {
    swapBuffers(myStripOffsets, myTileOffsets);
    swapBuffers(myStripByteCounts, myTileByteCounts);
    myRowsPerStrip = static_cast<unsigned int>(h);
  }
  myPlanar = myPlanarConfig == 2 && mySamplesPerPixel > 1;
  if (!dataCanFill(w, h, compression->value) || !unitsComplete(w, h, compression->value) ||
      !unitWorkBounded(w, h, compression->value))
    return false;
  bool sixteen = myPhotometric != 3 && (myBitsPerSample > 8 || mySampleFormat == 3);
  myPix8.set(0);
  myPix16.set(0);
  myWidth = w;
  myHeight = h;
  myIs16 = sixteen;
  // Planes meet only once all are in, so planar pictures are drawn after decoding.
  myRendering = target && !myPlanar && startExtRender();
  if (myRendering) {
    try {
      if (sixteen)
        myRenderRow16.set(w);
      else
        myRenderRow8.set(w);
    } catch (const std::bad_alloc&) {
      myRendering = false;
      return false;
    }
  } else if (!allocPixels(w, h, sixteen)) {
    return false;
  }
  takeCurves();
  bool done =
      myStripOffsets.count ? processStripes(io, compression->value) : processTiles(io, compression->value);
  if (myRendering) {
    myRendering = false;
    myRenderRow8.set(0);
    myRenderRow16.set(0);
    return done;
  }
  return done && (!target || toExtTarget(target));
}

// While rendering, what the target does not show is not decoded at all.
bool cPictTIFF::unitVisible(const sUnit& unit) const {
  if (!myRendering) return true;
  long long top = unit.y, bottom = std::min(unit.y + unit.rows, myHeight) - 1;
  long long y0 = myBottomUp ? myHeight - 1 - bottom : top, y1 = myBottomUp ? myHeight - 1 - top : bottom;
  return canExtRender(unit.x, std::min(unit.x + unit.width, myWidth) - 1, y0, y1);
}

bool cPictTIFF::dataCanFill(long long w, long long h, int compression) const {
  if (pictPixelCount(w, h) < 0) return false;
  // Every row of a fax unit costs at least a bit of its data; other units
  // make at most their compression's expansion of each byte. At most 2^28
  // pixels of 5 samples of 64 bits: no product below wraps.
  unsigned long long need, perByte;
  if (isFax(compression)) {
    const long long across = myStripOffsets.count || !myTileWidth ? 1 : ceilDiv(w, myTileWidth);
    need = static_cast<unsigned long long>(h) * static_cast<unsigned long long>(across);
    perByte = 8;
  } else {
    need = static_cast<unsigned long long>(w * h) * mySamplesPerPixel * myBitsPerSample / 8;
    perByte = static_cast<unsigned long long>(expansionOf(compression));
  }
  // Each unit may make its part from its own bytes, whether or not other
  // units share them: what sharing costs is bounded by the units' reads.
  const _typebuf<unsigned int>& offsets = myStripOffsets.count ? myStripOffsets : myTileOffsets;
  const _typebuf<unsigned int>& counts = myStripOffsets.count ? myStripByteCounts : myTileByteCounts;
  unsigned long long have = 0;
  for (long long i = 0; i < offsets.count && have * perByte < need; ++i) {
    unsigned long long room = offsets.ptr[i] < mySize ? mySize - offsets.ptr[i] : 0;
    have += i < counts.count && counts.ptr[i] < room ? counts.ptr[i] : room;
  }
  return need <= have * perByte;
}

template <typename Visit>
bool cPictTIFF::eachUnit(long long w, long long h, Visit visit) const {
  const long long planes = myPlanar ? mySamplesPerPixel : 1;
  if (myStripOffsets.count) {
    const long long strips = myStripOffsets.count, perPlane = strips / planes;
    const long long rowsPerStrip = stripRows(h, perPlane),
                    held = myRowsPerStrip ? myRowsPerStrip : rowsPerStrip;
    for (long long i = 0; i < strips; ++i) {
      const long long y = (i % perPlane) * rowsPerStrip;
      if (!visit(sUnit{myStripOffsets.ptr[i], myStripByteCounts.count ? myStripByteCounts.ptr[i] : 0, 0, y, w,
                       std::min(rowsPerStrip, h - y), static_cast<int>(i / perPlane), held}))
        return false;
    }
    return true;
  }
  const long long across = ceilDiv(w, myTileWidth), down = ceilDiv(h, myTileLength);
  long long i = 0;
  for (long long plane = 0; plane < planes; ++plane)
    for (long long ty = 0; ty < down; ++ty)
      for (long long tx = 0; tx < across; ++tx, ++i) {
        const long long y = ty * myTileLength;
        if (!visit(sUnit{myTileOffsets.ptr[i], myTileByteCounts.count ? myTileByteCounts.ptr[i] : 0,
                         tx * myTileWidth, y, myTileWidth, std::min<long long>(myTileLength, h - y),
                         static_cast<int>(plane), myTileLength}))
          return false;
      }
  return true;
}

// Every strip or tile the picture needs has its place in the file, and its
// size when compressed, and its bytes lie within the file: asked before the
// pixels are made, so that a small file claiming a huge picture, or one of
// many units whose last is missing, is refused without them.
bool cPictTIFF::unitsComplete(long long w, long long h, int compression) const {
  const long long planes = myPlanar ? mySamplesPerPixel : 1;
  if (myStripOffsets.count) {
    const long long strips = myStripOffsets.count;
    if (strips % planes) return false;
    const long long perPlane = strips / planes;
    if (ceilDiv(h, stripRows(h, perPlane)) != perPlane || (!myStripByteCounts.count && compression != 1))
      return false;
  } else {
    if (!myTileWidth || !myTileLength) return false;
    // Both counts are at most 2^28 (the pixel limit) and planes at most 5.
    const long long across = ceilDiv(w, myTileWidth), down = ceilDiv(h, myTileLength);
    if (myTileOffsets.count < across * down * planes) return false;
    if (myTileByteCounts.count && myTileByteCounts.count < myTileOffsets.count) return false;
    if (!myTileByteCounts.count && compression != 1) return false;
  }
  return eachUnit(w, h, [this](const sUnit& unit) { return unitBytes(unit) >= 0; });
}

bool cPictTIFF::unitWorkBounded(long long w, long long h, int compression) {
  sUnitWork work(mySize, static_cast<unsigned long long>(expansionOf(compression)));
  const long long samples = myPlanar ? 1 : mySamplesPerPixel;
  eachUnit(w, h, [&](const sUnit& unit) {
    const long long cols = std::min(unit.width, w - unit.x);
    const long long shownRow = ceilDiv(cols * samples * myBitsPerSample, 8);
    const long long rowBytes = isFax(compression) ? shownRow : unitRowBytes(unit);
    work.add(static_cast<unsigned long long>(rowBytes), static_cast<unsigned long long>(shownRow * unit.rows),
             static_cast<unsigned long long>(unit.rows));
    work.reach(unit.offset, unit.byteCount);
    return true;
  });
  startUnits(work);
  return work.placedAffordable();
}

cPictTIFF::sUnitWork::sUnitWork(unsigned long long fileBytes, unsigned long long expansion)
    : fileBytes(fileBytes), fileMakes(saturatedSum(0, fileBytes, expansion)) {}

void cPictTIFF::sUnitWork::add(unsigned long long rowBytes, unsigned long long shownBytes,
                               unsigned long long rows) {
  shown = saturatedSum(shown, shownBytes, 1);
  placed = saturatedSum(placed, rowBytes, rows);
}

unsigned long long cPictTIFF::sUnitWork::slack() const {
  return saturatedSum(kUnitWorkFloor, shown, kUnitWorkPerShownByte);
}

unsigned long long cPictTIFF::sUnitWork::readable() const { return saturatedSum(slack(), fileBytes, 1); }

unsigned long long cPictTIFF::sUnitWork::bound() const { return std::max(slack(), fileMakes); }

void cPictTIFF::startUnits(const sUnitWork& work) {
  myReadLeft = work.readable();
  myRunOnLeft = work.slack();
  myWindow.forget(work.unitsEnd);
}

bool cPictTIFF::openUnit(cFileIOTarget* io, unsigned long long offset, long long count, long long rowsBytes,
                         bool pulled) {
  if (!pulled) return myWindow.open(io, offset, count, count, count, myReadLeft);
  // Room for the rows stored as they are, and what PackBits or Deflate add
  // to data they cannot shrink, so such a unit is not copied as it grows.
  // Rows of at most 2^32 bytes, at most 2^28 of them: no sum below wraps.
  return myWindow.open(io, offset, count, std::clamp(rowsBytes, kFirstReadLeast, kFirstReadMost),
                       rowsBytes + rowsBytes / 64 + 4096, myReadLeft);
}

bool cPictTIFF::pullsInput(int compression) { return expansionOf(compression) > 0 || isFax(compression); }

// RowsPerStrip, or a plane's rows shared evenly among its strips.
long long cPictTIFF::stripRows(long long h, long long perPlane) const {
  const long long rows = myRowsPerStrip ? myRowsPerStrip : ceilDiv(h, perPlane);
  return std::min(rows, h);
}

long long cPictTIFF::unitRowBytes(const sUnit& unit) const {
  return ceilDiv(unit.width * (myPlanar ? 1 : mySamplesPerPixel) * myBitsPerSample, 8);
}

long long cPictTIFF::unitBytes(const sUnit& unit) const {
  const long long rowBytes = unitRowBytes(unit);
  if (rowBytes > 0xFFFFFFFFLL) return -1;
  const unsigned long long count =
      unit.byteCount ? unit.byteCount : static_cast<unsigned long long>(rowBytes * unit.rows);
  // A count running past the file costs nothing: what its decoder reads
  // must be in the file.
  if (unit.offset >= mySize) return -1;
  return static_cast<long long>(std::min({count, mySize - unit.offset, 0xFFFFFFFFULL}));
}

bool cPictTIFF::decodeUnits(cFileIOTarget* io, int compression) {
  return eachUnit(myWidth, myHeight,
                  [&](const sUnit& unit) { return !unitVisible(unit) || decodeUnit(io, compression, unit); });
}

bool cPictTIFF::processStripes(cFileIOTarget* io, int compression) {
  if (!onBeforeDecodeStripes(myStripOffsets.count >= 2) || !decodeUnits(io, compression)) return false;
  if (myPlanar) finalizeColorTransform();
  return onAfterDecodeStripes();
}

bool cPictTIFF::processTiles(cFileIOTarget* io, int compression) {
  if (!onBeforeDecodeTiles() || !decodeUnits(io, compression)) return false;
  if (myPlanar) finalizeColorTransform();
  return onAfterDecodeTiles();
}

bool cPictTIFF::decodeUnit(cFileIOTarget* io, int compression, const sUnit& unit) {
  const long long count = unitBytes(unit);
  if (count < 0) return false;
  const long long samples = myPlanar ? 1 : mySamplesPerPixel, rowBytes = unitRowBytes(unit);
  sDecomress& out = myUnitData;
  myUnit = unit;
  myUnitHeld = unit.held;
  out.rowBytes = static_cast<unsigned int>(rowBytes);
  out.bitsPerSample = myBitsPerSample;
  out.samplesPerPixel = static_cast<unsigned int>(samples);
  out.rows = static_cast<unsigned int>(unit.rows);
  out.planarConfig = myPlanarConfig;
  out.photometric = myPhotometric;
  out.sampleFormat = mySampleFormat;
  out.bigEndian = myBigEndian;
  // A compression may answer in a format of its own (JPEG's RGB rows, fax
  // rows cut to the columns shown); the columns shown must be there.
  bool decoded = openUnit(io, unit.offset, count, rowBytes * unit.rows, true) &&
                 decodeStripe(myWindow.bytes(), compression, out);
  myWindow.close();
  myUnitHeld = 0;
  const long long outRow =
      ceilDiv(static_cast<long long>(out.bitsPerSample) * out.samplesPerPixel * unitColumns(), 8);
  decoded = decoded && out.rowBytes >= outRow && out.rows >= unit.rows &&
            out.data.count >= static_cast<long long>(out.rowBytes) * unit.rows;
  if (!decoded) {
    myWindow.takeBack(out.data);
    return false;
  }
  // Predictor 2 is the byte compressions' alone: fax rows carry no differences.
  myPredicted = myPredictor == 2 && !isJpeg(compression) && !isFax(compression);
  const unsigned int row = static_cast<unsigned int>(unit.y);
  bool placed;
  if (out.photometric == 3)
    placed = decodeColorsPalette(row, out);
  else if (!myPlanar)
    placed = myIs16 ? decodeColors16bpp(row, out) : decodeColors8bpp(row, out);
  else if (myIs16)
    placed = decodeColorsMargePlane16bpp(row, static_cast<unsigned int>(unit.plane), out);
  else
    placed = decodeColorsMargePlane8bpp(row, static_cast<unsigned int>(unit.plane), out);
  // Uncompressed strips pass the input buffer on; it comes back for the next.
  myWindow.takeBack(out.data);
  return placed;
}
