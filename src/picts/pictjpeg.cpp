#include "picts/pictjpeg.h"

#include "base/memio.h"
#include "picts/exif.h"

#include <algorithm>
#include <new>

#include "base/targets.h"
#include "picts/pixelalloc.h"

cPictJPEG::cPictJPEG() {
  myCurves8Ref = &myCurves8;
  myCurves16Ref = &myCurves16;
}

bool cPictJPEG::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictJPEG probe;
  return probe.isPicture(io, info);
}

bool cPictJPEG::isPicture(cFileIOTarget* io, sPictInfo* info) {
  myMode = kProbe;
  myDescribed = false;
  processStream(io);
  if (myDescribed && info) {
    info->width = imageWidth;
    info->height = imageHeight;
    info->hasPreview = getProp(epThumbnail, false) != nullptr;
  }
  return myDescribed;
}

bool cPictJPEG::decode(cFileIOTarget* io) {
  myMode = kDecode;
  myDescribed = false;
  myDelivered = false;
  myRendering = false;
  myAwaitingData = false;
  close();
  myStreamBytes = io->size();
  bool done = processStream(io);
  if (myRendering) endExtRender();
  myRendering = false;
  myConv8.set(0);
  myConv16.set(0);
  return done;
}

bool cPictJPEG::getPreview(cFileIOTarget* io, cPictBase& target, long long const*, long long const*) {
  myMode = kPreview;
  myDescribed = false;
  processStream(io);
  cPictPropImage* thumb = getPropImage(epThumbnail);
  if (!thumb || !thumb->value) return false;
  thumb->value->moveTo(target);
  return !target.is16Bpp() && target.raw8Bpp() != nullptr;
}

// The thumbnail is decoded for a preview and for a decode that wants
// alternative images; a probe only notes that it is there.
// A refused entry keeps the properties read before it and never hides the
// photograph: one odd camera tag must not cost the picture.
bool cPictJPEG::onExif(const void* data, unsigned& count) {
  if (!myReadExif) return true;
  cBufWrapperIO io(const_cast<void*>(data), count, false);
  cExifDecoder exif;
  exif.setLoadPreview(myMode == kPreview || (myMode == kDecode && wantAlts()));
  exif.decode(this, &io, cExifDecoder::kMainIFD);
  return true;
}

namespace {

// Every 8x8 block of the largest component costs at least one bit in the
// first scan that reaches it, since no Huffman code is shorter: one bit per
// 64 pixels. A margin above that would let zeros that read as scan data
// claim pictures no stream of their size can hold.
constexpr unsigned long long kDctPixelsPerByte = 512;
// Every sample of a lossless scan costs at least one bit.
constexpr unsigned long long kLosslessSamplesPerByte = 8;
// Pictures above this many pixels would cost the memory worth guarding
// against padding: the stream is read ahead for them.
constexpr long long kAheadPixels = 1LL << 22;

}  // namespace

// Nothing is made for the picture yet: a frame header followed by padding
// and no scan must not cost the memory of the picture it claims.
bool cPictJPEG::onImageDescribed() {
  myDescribed = true;
  if (myMode != kDecode) return false;
  myAwaitingData = true;
  return true;
}

bool cPictJPEG::onScanData() {
  if (!myAwaitingData) return true;
  myAwaitingData = false;
  return preparePicture();
}

// Only the entropy-coded bytes of the scans can make pixels: pixels that
// they cannot hold are refused before the picture or the coefficient store
// is made, and the limit holds whether or not a buffer is made, since a
// render target still gets every MCU of the picture.
bool cPictJPEG::preparePicture() {
  auto fits = [this](unsigned long long bytes) {
    return coding == 2 ? pictDataCanHold(imageWidth, imageHeight, bytes, kLosslessSamplesPerByte,
                                         static_cast<unsigned long long>(comps.count))
                       : pictDataCanHold(imageWidth, imageHeight, bytes, kDctPixelsPerByte);
  };
  unsigned long long left = myStreamBytes > position ? myStreamBytes - position : 0;
  if (!fits(left)) return false;
  // Segments may follow the first scan's data as well; a stream that cannot
  // be read ahead keeps the bound of all its bytes.
  if (pictPixelCount(imageWidth, imageHeight) > kAheadPixels && (!codedBytesAhead(left) || !fits(left)))
    return false;
  myWidth = imageWidth;
  myHeight = imageHeight;
  myIs16 = precision > 8;
  myRendering = startExtRender();
  if (!myRendering && !allocPixels(imageWidth, imageHeight, myIs16)) return false;
  try {
    myRowPtrs.set(mcuHeight());
    if (myRendering) {
      // Whole MCUs pass through the 8-bit row on their way to the target,
      // single lines of lossless scans through either.
      long long area = static_cast<long long>(mcuWidth()) * mcuHeight();
      if (myIs16)
        myConv16.set(imageWidth);
      else
        myConv8.set(std::max(area, static_cast<long long>(imageWidth)));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool cPictJPEG::onMCUDone(int x, int y, sHuffDecodedUnit** units, int count) {
  long long mw = mcuWidth(), mh = mcuHeight();
  long long left = x * mw, top = y * mh;
  if (left >= myWidth || top >= myHeight || myRowPtrs.count < mh) return false;
  int w = static_cast<int>(myWidth - left < mw ? myWidth - left : mw);
  int rows = static_cast<int>(myHeight - top < mh ? myHeight - top : mh);
  if (!myRendering) {
    if (myIs16 || !myPix8.ptr) return false;
    for (int r = 0; r < rows; ++r)
      myRowPtrs.ptr[r] = reinterpret_cast<unsigned char*>(myPix8.ptr + rowIndex(top + r) * myWidth + left);
    if (!decodeSample(units, count, myRowPtrs.ptr, w, rows)) return false;
    myDelivered = true;
    return true;
  }
  long long bottom = myHeight - 1 - top;
  if (!canExtRender(left, left + w - 1, bottom - rows + 1, bottom)) return true;
  if (!myConv8.ptr) return false;
  for (int r = 0; r < rows; ++r) myRowPtrs.ptr[r] = reinterpret_cast<unsigned char*>(myConv8.ptr + r * mw);
  if (!decodeSample(units, count, myRowPtrs.ptr, w, rows)) return false;
  for (int r = 0; r < rows; ++r) {
    const unsigned int* px = myConv8.ptr + r * mw;
    for (int i = 0; i < w; ++i) setExtPix(left + i, bottom - r, px[i] | 0xFF000000u);
  }
  myDelivered = true;
  return true;
}

bool cPictJPEG::onScanLine(_typebuf<unsigned char>** rows, int y, int count) {
  if (y < 0 || y >= myHeight || count != myWidth) return false;
  if (!myRendering) {
    long long at = rowIndex(y) * myWidth;
    bool done = myIs16 ? colorConvert16(rows, reinterpret_cast<unsigned short*>(myPix16.ptr + at), count)
                       : colorConvert(rows, reinterpret_cast<unsigned char*>(myPix8.ptr + at), count, true);
    myDelivered = myDelivered || done;
    return done;
  }
  long long bottom = myHeight - 1 - y;
  if (!canExtRender(0, myWidth - 1, bottom, bottom)) return true;
  if (myIs16) {
    if (!myConv16.ptr || !colorConvert16(rows, reinterpret_cast<unsigned short*>(myConv16.ptr), count))
      return false;
    for (int i = 0; i < count; ++i) setExtPix16(i, bottom, myConv16.ptr[i] | 0xFFFF000000000000ULL);
  } else {
    if (!myConv8.ptr || !colorConvert(rows, reinterpret_cast<unsigned char*>(myConv8.ptr), count, true))
      return false;
    for (int i = 0; i < count; ++i) setExtPix(i, bottom, myConv8.ptr[i] | 0xFF000000u);
  }
  myDelivered = true;
  return true;
}

bool cPictJPEG::onImageDone() { return myMode != kDecode || myDelivered; }
