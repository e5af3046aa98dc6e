#include "picts/tiff_ep.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/memio.h"
#include "base/targets.h"
#include "picts/pixelalloc.h"
#include "picts/pullio.h"

namespace {

constexpr int kTagEPStandard = 37398;
constexpr int kTagCFADim = 33421;
constexpr int kTagCFAPattern = 33422;

long long ceilDiv(long long a, long long b) { return (a + b - 1) / b; }

// Samples of `bits` (1..16), rows starting on a byte; 16-bit ones in the
// file's byte order, narrower ones packed from the high bit.
void unpackRows(const unsigned char* in, long long rowBytes, long long w, long long rows, int bits,
                bool bigEndian, unsigned scale8, unsigned short* out) {
  for (long long r = 0; r < rows; ++r, out += w) {
    const unsigned char* p = in + r * rowBytes;
    if (bits == 16) {
      for (long long x = 0; x < w; ++x)
        out[x] = static_cast<unsigned short>(bigEndian ? p[2 * x] << 8 | p[2 * x + 1]
                                                       : p[2 * x + 1] << 8 | p[2 * x]);
    } else if (bits == 8) {
      for (long long x = 0; x < w; ++x) out[x] = static_cast<unsigned short>(p[x] * scale8);
    } else {
      unsigned long long acc = 0;
      int have = 0;
      for (long long x = 0; x < w; ++x) {
        while (have < bits) {
          acc = acc << 8 | *p++;
          have += 8;
        }
        have -= bits;
        out[x] = static_cast<unsigned short>((acc >> have) & ((1u << bits) - 1));
      }
    }
  }
}

// 12-bit samples two to three bytes, with a byte of padding after every
// fifteen. False when the bytes end before `count` samples.
bool unpackPacked12(const unsigned char* in, long long size, long long count, unsigned short* out) {
  long long at = 0, n = 0;
  for (int group = 0; n < count && at + 3 <= size; ++group) {
    out[n++] = static_cast<unsigned short>(in[at] << 4 | in[at + 1] >> 4);
    if (n < count) out[n++] = static_cast<unsigned short>((in[at + 1] & 15) << 8 | in[at + 2]);
    at += 3;
    if (group % 5 == 4) ++at;
  }
  return n == count;
}

}  // namespace

cPictTIFF_EP::cPictTIFF_EP() { cPictTIFF_EP::reset(); }

void cPictTIFF_EP::reset() {
  cPictTIFF::reset();
  myEPStandard = 0;
  myEPSeen = false;
  myRawMode = false;
  myCFA.set(0);
  myCFACols = myCFARows = 0;
}

bool cPictTIFF_EP::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictTIFF_EP probe;
  return probe.isPicture(io, info);
}

bool cPictTIFF_EP::onTag(int tag, int type, const void* data, int length) {
  if (ifdKind() == kMainIFD) {
    sTagProcessParam t{tag, type, data, length};
    if (!myRawMode && tag == kTagEPStandard) {
      const unsigned char* b = static_cast<const unsigned char*>(data);
      if (type == 1 && length == 4 && b)
        myEPStandard = static_cast<unsigned>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
      else if (type != 4 || length != 4 || !getValU32(t, myEPStandard))
        return false;
      myEPSeen = true;
    } else if (myRawMode && tag == kTagCFADim) {
      _typebuf<unsigned short> dims;
      if (type != 3 || length != 4 || !getValsU16(t, dims) || dims.count != 2) return false;
      myCFARows = dims.ptr[0];
      myCFACols = dims.ptr[1];
    } else if (myRawMode && tag == kTagCFAPattern) {
      if (type != 1 || length < 1 || length != static_cast<long long>(myCFARows) * myCFACols ||
          !getValsU8(t, myCFA))
        return false;
    }
  }
  return cPictTIFF::onTag(tag, type, data, length);
}

bool cPictTIFF_EP::walkSubIFD(cFileIOTarget* io, int index) {
  unsigned offset = subIFD(index);
  if (index < 0 || index >= numSubIFDs() || offset == 0) return false;
  bool bigEndian = myBigEndian, bigTiff = myBigTiff;
  myRawMode = true;
  cPictTIFF::reset();
  return decodeDirect(this, io, kMainIFD, offset, bigEndian, bigTiff, kAskSize);
}

bool cPictTIFF_EP::walkMain(cFileIOTarget* io, bool& full, bool withPreview) {
  full = walkToPage(io, 0, withPreview);
  return full || (io && cExifDecoder::decode(this, io, kMainIFD));
}

bool cPictTIFF_EP::walkRaw(cFileIOTarget* io, int page, bool& preview) {
  return walkMain(io, preview) && myEPSeen && walkSubIFD(io, page) && isFullConfig() && mosaicTaken();
}

bool cPictTIFF_EP::mosaicTaken() const {
  return !isSensorMosaic() || mySamplesPerPixel != 1 || cPtr<cBayerFilter>(newPatternFilter()).ptr != nullptr;
}

cBayerFilter* cPictTIFF_EP::newPatternFilter() const {
  sCFAData cfa(myCFARows, myCFACols, static_cast<int>(myCFA.count));
  if (!myCFA.count || cfa.pattern.count != myCFA.count) return nullptr;
  std::memcpy(cfa.pattern.ptr, myCFA.ptr, static_cast<size_t>(myCFA.count));
  return cBayerFilter::newFilter(cfa);
}

void cPictTIFF_EP::rawSize(int& w, int& h) {
  w = getPropInt(epEmbeddedWidth)->value;
  h = getPropInt(epEmbeddedHeight)->value;
}

bool cPictTIFF_EP::isPicture(cFileIOTarget* io, sPictInfo* info) {
  bool preview = false;
  if (!walkRaw(io, 0, preview)) return false;
  if (info) {
    int w, h;
    rawSize(w, h);
    info->width = w;
    info->height = h;
    info->hasPreview = preview;
  }
  return true;
}

int cPictTIFF_EP::getNumPages(cFileIOTarget* io) {
  bool full;
  return walkMain(io, full) && myEPSeen ? numSubIFDs() : 0;
}

bool cPictTIFF_EP::getPageSize(cFileIOTarget* io, int page, int& w, int& h) {
  bool preview;
  if (!walkRaw(io, page, preview)) return false;
  rawSize(w, h);
  return true;
}

bool cPictTIFF_EP::decodePage(cFileIOTarget* io, int page) {
  close();
  bool preview;
  if (!walkRaw(io, page, preview)) return false;
  if (!isCFA()) return decodePlain(io);
  return readRawPlane(io);
}

bool cPictTIFF_EP::onRawDecoded(cFileIOTarget* io) {
  const double ones[4] = {1, 1, 1, 1};
  return finishCFA(io, sMarginInfo{}, 0, ones);
}

// The raw is sized only when the units' bytes in the file could fill it: a
// small forged file must not have hundreds of megabytes made and cleared.
bool cPictTIFF_EP::unitsCanFill(int method, long long pixels) const {
  const _typebuf<unsigned int>& offsets = myStripOffsets.count ? myStripOffsets : myTileOffsets;
  const _typebuf<unsigned int>& counts = myStripOffsets.count ? myStripByteCounts : myTileByteCounts;
  unsigned long long have = 0;
  for (long long i = 0; i < offsets.count && have < myStreamSize; ++i) {
    unsigned long long room = offsets.ptr[i] < myStreamSize ? myStreamSize - offsets.ptr[i] : 0;
    have += method != 1 && i < counts.count && counts.ptr[i] && counts.ptr[i] < room ? counts.ptr[i] : room;
  }
  // Uncompressed strips may give short counts: they are read as far as the
  // file goes.
  return bytesCanFill(method, pixels, have);
}

// Lossless codes spend at least a bit per sample; the general TIFF
// compressions expand a byte at most a few thousandfold.
bool cPictTIFF_EP::bytesCanFill(int method, long long samples, unsigned long long have) const {
  unsigned long long bits = static_cast<unsigned long long>(samples) * myBitsPerSample;
  if (isLosslessJpeg(method)) return static_cast<unsigned long long>(samples) <= have * 8;
  return bits / 8 <= have * rawExpansion(method);
}

unsigned long long cPictTIFF_EP::rawExpansion(int method) const {
  if (method == 1 || method == 32769) return 1;
  return isLosslessJpeg(method) ? myBitsPerSample : 4096;
}

bool cPictTIFF_EP::readRawPlane(cFileIOTarget* io) {
  cPictPropInt* compression = getPropInt(epEmbeddedCompression);
  if (!compression) return false;
  myRawIO = io;
  myReadingRaw = true;
  const int method = compression->value;
  bool done = myStripOffsets.count ? processStripes(io, method) : processTiles(io, method);
  myReadingRaw = false;
  return done;
}

// Three-sample pixels (linear raws) are read as rows of three times as many
// samples. The plane is sized only when the units' bytes could fill it.
bool cPictTIFF_EP::onBeforeDecodeStripes(bool many) {
  if (!myReadingRaw) return cPictTIFF::onBeforeDecodeStripes(many);
  const long long spp = mySamplesPerPixel == 3 ? 3 : 1;
  if (mySamplesPerPixel != spp || myPlanarConfig > 1 || myBitsPerSample > 16) return false;
  myRawWidth = getPropInt(epEmbeddedWidth)->value * spp;
  myRawHeight = getPropInt(epEmbeddedHeight)->value;
  long long pixels = pictPixelCount(myRawWidth, myRawHeight);
  const int method = getPropInt(epEmbeddedCompression)->value;
  // Each unit is placed in the file before the plane is made: one of many
  // that is missing refuses the file without it.
  return pixels >= 0 && unitsCanFill(method, pixels) &&
         eachRawUnit(method, [this](const sRawUnit& unit) { return rawUnitBytes(unit) >= 0; }) &&
         allocPictSamples(myRaw, pixels * 2);
}

bool cPictTIFF_EP::onBeforeDecodeTiles() {
  return myReadingRaw ? onBeforeDecodeStripes(true) : cPictTIFF::onBeforeDecodeTiles();
}

// A mosaic is finished here; a plane of another kind is its caller's.
bool cPictTIFF_EP::onAfterDecodeStripes() {
  if (!myReadingRaw) return cPictTIFF::onAfterDecodeStripes();
  return !isCFA() || onRawDecoded(myRawIO);
}

bool cPictTIFF_EP::onAfterDecodeTiles() {
  return myReadingRaw ? onAfterDecodeStripes() : cPictTIFF::onAfterDecodeTiles();
}

bool cPictTIFF_EP::eachRawUnit(int method, const std::function<bool(const sRawUnit&)>& visit) const {
  if (myStripOffsets.count) {
    const long long strips = myStripOffsets.count;
    if (!myStripByteCounts.count && method != 1) return false;
    // Without RowsPerStrip the strips share the rows evenly, as in any TIFF.
    const long long perStrip =
        myRowsPerStrip ? std::min<long long>(myRowsPerStrip, myRawHeight) : ceilDiv(myRawHeight, strips);
    if (ceilDiv(myRawHeight, perStrip) > strips) return false;
    const long long rowBytes = rawRowBytes(myRawWidth);
    for (long long i = 0; i * perStrip < myRawHeight; ++i) {
      unsigned long long count = i < myStripByteCounts.count ? myStripByteCounts.ptr[i] : 0;
      // A lone uncompressed strip whose count is short (or missing) holds
      // what its rows need: writers are known to get that count wrong.
      if (myStripByteCounts.count == 1 && method == 1 && myRowsPerStrip)
        count = std::max<unsigned long long>(count, static_cast<unsigned long long>(perStrip * rowBytes));
      const long long y = i * perStrip;
      if (!visit(sRawUnit{myStripOffsets.ptr[i], count, 0, y, myRawWidth, std::min(perStrip, myRawHeight - y),
                          myRowsPerStrip ? myRowsPerStrip : perStrip}))
        return false;
    }
    return true;
  }
  if (!myTileWidth || !myTileLength) return false;
  const long long tileWidth = myTileWidth * (mySamplesPerPixel == 3 ? 3 : 1);
  const long long across = ceilDiv(myRawWidth, tileWidth), down = ceilDiv(myRawHeight, myTileLength);
  if (myTileOffsets.count < across * down || myTileByteCounts.count < across * down) return false;
  for (long long i = 0; i < across * down; ++i) {
    const long long y = (i / across) * myTileLength;
    if (!visit(sRawUnit{myTileOffsets.ptr[i], myTileByteCounts.ptr[i], (i % across) * tileWidth, y, tileWidth,
                        std::min<long long>(myTileLength, myRawHeight - y), myTileLength}))
      return false;
  }
  return true;
}

long long cPictTIFF_EP::rawUnitBytes(const sRawUnit& unit) const {
  // Sides come from the file: a unit past the library's pixel limit is
  // refused before any size is made of them.
  if (pictPixelCount(unit.width, unit.rows) < 0) return -1;
  // A unit without a count holds what it stores takes uncompressed: every
  // tile its declared rows, a bottom one as a top one, a strip its rows
  // inside the raw, as writers cut the last one short.
  const long long stored = myStripOffsets.count ? unit.rows : unit.held;
  const unsigned long long count =
      unit.count ? unit.count : static_cast<unsigned long long>(rawRowBytes(unit.width) * stored);
  // A count past the end of the file is no damage by itself: the unit's
  // decoder must find what it reads before that end.
  if (unit.offset >= myStreamSize) return -1;
  return static_cast<long long>(std::min({count, myStreamSize - unit.offset, 0x7FFFFFFFULL}));
}

long long cPictTIFF_EP::rawRowBytes(long long width) const { return ceilDiv(width * myBitsPerSample, 8); }

bool cPictTIFF_EP::decodeRawUnits(cFileIOTarget* io, int method) {
  sUnitWork work(myStreamSize, rawExpansion(method));
  eachRawUnit(method, [&](const sRawUnit& unit) {
    const long long shown = rawRowBytes(std::min(unit.width, myRawWidth - unit.x)) * unit.rows;
    work.add(static_cast<unsigned long long>(rawRowBytes(unit.width)), static_cast<unsigned long long>(shown),
             static_cast<unsigned long long>(unit.rows));
    work.reach(unit.offset, unit.count);
    return true;
  });
  if (!work.placedAffordable()) return false;
  startUnits(work);
  return eachRawUnit(method, [&](const sRawUnit& unit) {
    myUnitHeld = unit.held;
    const bool decoded = decodeRawUnit(io, method, unit);
    myUnitHeld = 0;
    return decoded;
  });
}

bool cPictTIFF_EP::processStripes(cFileIOTarget* io, int method) {
  if (!myReadingRaw) return cPictTIFF::processStripes(io, method);
  return onBeforeDecodeStripes(myStripOffsets.count >= 2) && decodeRawUnits(io, method) &&
         onAfterDecodeStripes();
}

bool cPictTIFF_EP::processTiles(cFileIOTarget* io, int method) {
  if (!myReadingRaw) return cPictTIFF::processTiles(io, method);
  return myTileWidth && myTileLength && onBeforeDecodeTiles() && decodeRawUnits(io, method) &&
         onAfterDecodeTiles();
}

cRAWLosslessJpeg* cPictTIFF_EP::newLosslessDecoder(long long w, long long rows) {
  cRAWLosslessJpeg* jpeg = new cRAWLosslessJpeg;
  jpeg->init(static_cast<unsigned>(w), static_cast<unsigned>(rows), cRAWLosslessJpeg::kScanPlain);
  return jpeg;
}

bool cPictTIFF_EP::decodeLosslessUnit(const _typebuf<unsigned char>& in, long long w, long long rows,
                                      unsigned short* out) {
  cPtr<cRAWLosslessJpeg> jpeg(newLosslessDecoder(w, rows));
  cPullInput whole(in.ptr, static_cast<size_t>(in.count));
  const bool windowed = myWindow.serves(in);
  cPullIO io(nullptr, 0, windowed ? static_cast<cPullInput&>(myWindow) : whole, 0,
             static_cast<unsigned long long>(windowed ? myWindow.limit() : in.count));
  if (!jpeg->decodedWhole(jpeg->decode(&io)) || !jpeg->getBitmap()) return false;
  // Only the unit's part inside the raw must be there: an edge tile's frame
  // may stop at the raw's edge.
  const long long inRows = std::min(rows, myRawHeight - myRawUnitY),
                  inCols = std::min(w, myRawWidth - myRawUnitX);
  if (jpeg->frameSamples() < static_cast<unsigned long long>((inRows - 1) * w + inCols)) return false;
  cRAWLosslessJpeg::eRawType type;
  int precision;
  jpeg->getInfo(type, precision);
  if (type != cRAWLosslessJpeg::kRawSimple) return false;
  const unsigned short* from = jpeg->getBitmap();
  const long long n = w * rows;
  // An 8-bit plane reads the same whichever way it was stored.
  const unsigned scale = myBitsPerSample == 8 ? eightBitScale() : 1;
  if (scale == 1)
    std::memcpy(out, from, static_cast<size_t>(n) * 2);
  else
    for (long long i = 0; i < n; ++i) out[i] = static_cast<unsigned short>(from[i] * scale);
  return true;
}

// One strip or tile (its full width, its rows inside the raw) into the
// plane at (x, y), clipped to the raw: decodeStripe makes its samples, the
// colour stage's 16-bit hook places them.
bool cPictTIFF_EP::decodeRawUnit(cFileIOTarget* io, int compression, const sRawUnit& unit) {
  const long long count = rawUnitBytes(unit);
  if (count < 0) return false;
  // A tile may pass the raw's edges, but one larger than the raw itself
  // is believed only as far as its bytes go.
  const long long area = unit.width * unit.rows;
  if (area > myRawWidth * myRawHeight &&
      !bytesCanFill(compression, area, static_cast<unsigned long long>(count)))
    return false;
  myRawUnitX = unit.x;
  myRawUnitY = unit.y;
  myRawUnitWidth = unit.width;
  const long long rowBytes = rawRowBytes(unit.width);
  sDecomress out;
  swapBuffers(out.data, myUnitOut);
  out.rowBytes = static_cast<unsigned>(rowBytes);
  out.rows = static_cast<unsigned>(unit.rows);
  out.bitsPerSample = myBitsPerSample;
  out.samplesPerPixel = 1;
  out.bigEndian = myBigEndian;
  // Lossless JPEG reads to its end of image as the plain compressions do;
  // a packed raw unit is read whole.
  const bool pulled = pullsInput(compression) || isLosslessJpeg(compression);
  bool done = openUnit(io, unit.offset, count, rowBytes * unit.rows, pulled) &&
              decodeStripe(myWindow.bytes(), compression, out);
  myWindow.close();
  done = done && decodeColors16bpp(static_cast<unsigned>(unit.y), out);
  swapBuffers(out.data, myUnitOut);
  return done;
}

// The unit's bytes into w x rows host-order 16-bit samples.
bool cPictTIFF_EP::decodeStripe(_typebuf<unsigned char>& in, int compression, sDecomress& out) {
  if (!myReadingRaw) return cPictTIFF::decodeStripe(in, compression, out);
  const long long w = myRawUnitWidth, rows = out.rows, rowBytes = out.rowBytes;
  // Every sample is written below, so the last unit's buffer serves when its size fits.
  if (out.data.count != w * rows * 2 && !allocPictSamples(out.data, w * rows * 2)) return false;
  unsigned short* samples = reinterpret_cast<unsigned short*>(out.data.ptr);
  if (isLosslessJpeg(compression)) {
    if (!decodeLosslessUnit(in, w, rows, samples)) return false;
  } else if (compression == 32769) {
    // A cut unit is damage, as a short uncompressed one is.
    if (!takesPacked12() || myBitsPerSample != 12 || !unpackPacked12(in.ptr, in.count, w * rows, samples))
      return false;
  } else {
    sDecomress plain;
    plain.rowBytes = out.rowBytes;
    plain.rows = out.rows;
    plain.bitsPerSample = out.bitsPerSample;
    plain.samplesPerPixel = 1;
    plain.bigEndian = out.bigEndian;
    if (compression == 6 || compression == 7 || !cPictTIFF::decodeStripe(in, compression, plain))
      return false;
    // A unit that stops short is damaged: its rows are not all there, and
    // a picture half black is no answer.
    bool whole = plain.data.count >= rowBytes * rows;
    if (whole)
      unpackRows(plain.data.ptr, rowBytes, w, rows, myBitsPerSample, myBigEndian, eightBitScale(), samples);
    if (compression == 1) swapBuffers(in, plain.data);  // hand the input buffer back
    if (!whole) return false;
  }
  out.rowBytes = static_cast<unsigned>(w * 2);
  out.bitsPerSample = 16;
  out.bigEndian = 0;
  return true;
}

bool cPictTIFF_EP::decodeColors16bpp(unsigned int row, sDecomress& rec) {
  if (!myReadingRaw) return cPictTIFF::decodeColors16bpp(row, rec);
  const unsigned short* samples = reinterpret_cast<const unsigned short*>(rec.data.ptr);
  unsigned short* raw = reinterpret_cast<unsigned short*>(myRaw.ptr);
  const long long w = myRawUnitWidth, x = myRawUnitX;
  long long cols = std::min(w, myRawWidth - x), lines = std::min<long long>(rec.rows, myRawHeight - row);
  for (long long r = 0; r < lines; ++r)
    std::memcpy(raw + (row + r) * myRawWidth + x, samples + r * w, static_cast<size_t>(cols) * 2);
  return true;
}

bool cPictTIFF_EP::finishCFA(cFileIOTarget* io, const sMarginInfo& margins, unsigned black,
                             const double* multipliers, const double (*balance)[3]) {
  cPtr<cBayerFilter> filter(newPatternFilter());
  if (!filter) return false;
  sRawFinish f;
  f.raw = reinterpret_cast<const unsigned short*>(myRaw.ptr);
  f.rawWidth = myRawWidth;
  f.rawHeight = myRawHeight;
  f.margins = margins;
  f.filter = filter.ptr;
  f.black = black;
  for (int i = 0; i < 4; ++i) f.multipliers[i] = multipliers[i];
  f.saturate = true;
  if (balance)
    f.reshape = [balance](_typebuf<unsigned long long>& pixels, long long& w, long long& h) {
      balanceRGB(pixels.ptr, w * h, *balance);
      return true;
    };
  _typebuf<unsigned long long> out;
  long long w = 0, h = 0;
  if (!finishRaw(f, io, out, w, h)) return false;
  takePicture(out, w, h);
  return true;
}

void cPictTIFF_EP::takePicture(_typebuf<unsigned long long>& pixels, long long w, long long h) {
  myRaw.set(0);
  swapBuffers(myPix16, pixels);
  myPix8.set(0);
  myWidth = w;
  myHeight = h;
  myIs16 = true;
}

bool cPictTIFF_EP::plainPreview(cFileIOTarget* io, int subIFD, cPictBase& target, long long const* maxW,
                                long long const* maxH) {
  close();
  bool full;
  if (!walkMain(io, full)) return false;
  if (subIFD >= 0 && !walkSubIFD(io, subIFD)) return false;
  myRawMode = false;
  return isFullConfig() && decodeIntFinal(io) && movePreview(*this, target, maxW, maxH);
}

bool cPictTIFF_EP::movePreview(cPictBase& pict, cPictBase& target, long long const* maxW,
                               long long const* maxH) {
  long long pw = pict.width(), ph = pict.height();
  if (pw < 1 || ph < 1) return false;
  double r = 1;
  if (maxW) r = std::min(r, static_cast<double>(*maxW) / pw);
  if (maxH) r = std::min(r, static_cast<double>(*maxH) / ph);
  if (r >= 1) {
    pict.moveTo(target);
    return true;
  }
  long long w = static_cast<long long>(pw * r + 0.5), h = static_cast<long long>(ph * r + 0.5);
  cPictDummy scaled;
  if (w < 1 || h < 1 || !scaled.create(w, h, 0)) return false;
  sExtPictDef to(&scaled);
  if (!pict.toExtTarget(&to)) return false;
  scaled.moveTo(target);
  return true;
}

bool cPictTIFF_EP::getPreview(cFileIOTarget* io, cPictBase& target, long long const* maxW,
                              long long const* maxH) {
  return io && plainPreview(io, -1, target, maxW, maxH);
}

bool cPictTIFF_EP::decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH, int,
                                     bool, unsigned int) {
  return getPreview(io, out, &maxW, &maxH);
}
