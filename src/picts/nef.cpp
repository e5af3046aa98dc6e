#include "picts/nef.h"

#include <algorithm>
#include <new>

#include "base/memio.h"
#include "base/str.h"
#include "base/targets.h"
#include "picts/nef_models.h"
#include "picts/pictjpeg.h"
#include "picts/pixelalloc.h"

namespace {

// The main directory as a plain TIFF reads it, with the steps this decoder
// needs of another picture.
class cMainProbe : public cPictTIFF {
 public:
  using cPictTIFF::isFullConfig;
  bool read(cFileIOTarget* io) { return io && cExifDecoder::decode(this, io, kMainIFD); }
};

// No sensor plane is believed larger than four samples per stored byte: the
// tersest body, Huffman-coded, spends at least two bits on a sample.
constexpr unsigned long long kMaxSamplesPerByte = 4;

bool startsNoCase(const char* text, const char* prefix, long long n) {
  return text && __stricmp(text, prefix, n) == 0;
}

template <typename P>
P* propFor(cPictBase& pict, cPictBase::eExProps key, int kind) {
  cPictProp* prop = pict.getProp(key, true);
  return prop && prop->typeOf() == kind ? static_cast<P*>(prop) : nullptr;
}

// Hands `pict` to an Image property of `owner`, replacing what it held.
void adoptImage(cPictBase& owner, cPictBase::eExProps key, cPictBase* pict) {
  cPtr<cPictBase> held(pict);
  if (auto* prop = propFor<cPictPropImage>(owner, key, kPropImage)) {
    delete prop->value;
    prop->value = held.ptr;
    held.ptr = nullptr;
  }
}

// A JPEG at [offset, offset + length) of the file, decoded when asked.
cPictJPEG* jpegAt(cFileIOTarget* io, unsigned long long offset, unsigned long long length, bool decode) {
  const unsigned long long size = io->size();
  if (!offset || !length || offset >= size || length > size - offset) return nullptr;
  cPtr<cPictJPEG> jpeg(new cPictJPEG);
  jpeg->setReadExif(false);
  cFileIOSubRange window(io, offset, length);
  if (decode && !cExifDecoder::decodeEmbeddedJpeg(*jpeg, &window, length)) return nullptr;
  cPictJPEG* out = jpeg.ptr;
  jpeg.ptr = nullptr;
  return out;
}

}  // namespace

cPictNEF::cPictNEF() { resetRaw(); }

void cPictNEF::resetRaw() {
  myRaw.set(0);
  myRawWidth = myRawHeight = 0;
  myRawBits = 0;
  myMargins = sMarginInfo{};
  myOrdinary = false;
}

bool cPictNEF::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictNEF probe;
  return probe.isPicture(io, info);
}

void cPictNEF::clearCFA() {
  myCFA.pattern.set(0);
  myCFA.rows = myCFA.columns = 0;
}

cPictNEF::eNoteForm cPictNEF::noteForm(const cPictPropRaw* note) {
  if (!note || note->value.count < 6) return kNoteNone;
  static const char kPrefix[6] = {'N', 'i', 'k', 'o', 'n', 0};
  const auto* b = note->value.ptr;
  bool nikon = true;
  for (int i = 0; i < 6; ++i)
    if ((b[i] | (i < 5 ? 0x20 : 0)) != (kPrefix[i] | (i < 5 ? 0x20 : 0))) nikon = false;
  if (!nikon) return kNoteBare;
  if (note->value.count < 7) return kNoteNone;
  return b[6] == 2 ? kNoteV2 : b[6] == 1 ? kNoteV1 : kNoteNone;
}

// SubIFD roles by their number: 1 raw only; 3 raw 1, preview 2; 4 raw 3,
// preview 2; 2 and 5 or more raw 1, preview 0.
unsigned int cPictNEF::rawDirectory(const cPictTIFF& main) {
  const int n = main.numSubIFDs();
  return main.subIFD(n == 1 ? 0 : n == 4 ? 3 : 1);
}

unsigned int cPictNEF::previewDirectory(const cPictTIFF& main) {
  const int n = main.numSubIFDs();
  return n <= 1 ? 0 : main.subIFD(n == 3 || n == 4 ? 2 : 0);
}

bool cPictNEF::readMakerNote(cFileIOTarget* io, cPictTIFF& probe, eNoteForm form, const cPictPropRaw& note) {
  myProps.reset();
  const unsigned long long size = io->size();
  switch (form) {
    case kNoteV2: {
      cBufWrapperIO wrap(note.value.ptr + 10, note.value.count - 10, false);
      return note.value.count > 10 &&
             myProps.processStream(&wrap, static_cast<unsigned long long>(wrap.bufSize));
    }
    case kNoteV1:
      return note.position > 0 && note.position + 8 <= 0xFFFFFFFFLL &&
             myProps.processStream(io, probe.isBigEndian(), false,
                                   static_cast<unsigned int>(note.position + 8), size);
    case kNoteBare:
      return note.position > 0 && myProps.processStream(io, probe.isBigEndian(), false,
                                                        static_cast<unsigned int>(note.position), size);
    default:
      return false;
  }
}

bool cPictNEF::readOwnMain(cFileIOTarget* io, bool holdsRaw) {
  reset();
  clearCFA();
  return cExifDecoder::decode(this, io, kMainIFD) && (holdsRaw ? isFullConfig() : cPictTIFF::isFullConfig());
}

bool cPictNEF::readRawDirectory(cFileIOTarget* io, unsigned int offset) {
  if (!offset) return false;
  const bool bigEndian = myBigEndian, bigTiff = myBigTiff;
  reset();
  clearCFA();
  return decodeDirect(this, io, kMainIFD, offset, bigEndian, bigTiff, io->size()) && isFullConfig();
}

bool cPictNEF::isPicture(cFileIOTarget* io, sPictInfo* info) {
  cMainProbe probe;
  if (!probe.read(io)) return false;
  const cPictPropString* make = probe.getPropString(epMake);
  const cPictPropRaw* note = probe.getPropRaw(epMakerNote);
  if (!make || !startsNoCase(make->value.ptr, "NIKON", 5) || !note || note->value.count <= 9) return false;
  const eNoteForm form = noteForm(note);
  if (form != kNoteV1 && form != kNoteV2) return false;
  if (!readMakerNote(io, probe, form, *note)) return false;
  bool preview = false;
  if (form == kNoteV2) {
    preview = probe.isFullConfig() || probe.getPropImage(epThumbnail);
    myBigEndian = probe.isBigEndian();
    myBigTiff = probe.isBigTiff();
    if (!readRawDirectory(io, rawDirectory(probe))) return false;
    preview = preview || previewDirectory(probe);
  } else {
    preview = myProps.jpegPreview.count > 0;
    if (!probe.isFullConfig() || !readOwnMain(io, true)) return false;
  }
  if (info) {
    const cPictPropInt* w = getPropInt(epEmbeddedWidth);
    const cPictPropInt* h = getPropInt(epEmbeddedHeight);
    if (w) info->width = w->value;
    if (h) info->height = h->value;
    info->hasPreview = preview;
  }
  return true;
}

bool cPictNEF::onTag(int tag, int type, const void* data, int length) {
  if (ifdKind() == kMainIFD && (tag == 33421 || tag == 33422)) {
    sTagProcessParam t{tag, type, data, length};
    if (tag == 33422) {
      if (!getValsU8(t, myCFA.pattern)) return false;
    } else {
      _typebuf<unsigned short> dims;
      if (!getValsU16(t, dims) || dims.count != 2) return false;
      myCFA.rows = dims.ptr[0];
      myCFA.columns = dims.ptr[1];
    }
  }
  return cPictTIFF::onTag(tag, type, data, length);
}

bool cPictNEF::isFullConfig() {
  return cPictTIFF::isFullConfig() && myCFA.rows && myCFA.columns &&
         myCFA.pattern.count == static_cast<long long>(myCFA.rows) * myCFA.columns;
}

bool cPictNEF::takeThumbnail(cFileIOTarget* io, cPictTIFF& probe) {
  if (static_cast<cMainProbe&>(probe).isFullConfig()) {
    cPtr<cPictTIFF> main(new cPictTIFF);
    if (wantAlts() && !main->decode(io)) return false;
    adoptImage(*this, epThumbnail, main.ptr);
    main.ptr = nullptr;
  } else if (cPictPropImage* thumb = probe.getPropImage(epThumbnail)) {
    adoptImage(*this, epThumbnail, thumb->value);
    thumb->value = nullptr;
  }
  return true;
}

bool cPictNEF::takePreviewDirectory(cFileIOTarget* io, unsigned int offset, eExProps key) {
  if (!offset) return true;
  myPreviewDir.reset();
  myPreviewDir.length = 0;
  if (!myPreviewDir.processStream(io, myBigEndian, myBigTiff, offset, io->size())) return true;
  if (!myPreviewDir.offset || !myPreviewDir.length) return true;
  cPictJPEG* jpeg = jpegAt(io, myPreviewDir.offset, myPreviewDir.length, wantAlts());
  if (!jpeg) return false;
  adoptImage(*this, key, jpeg);
  return true;
}

bool cPictNEF::decode(cFileIOTarget* io) {
  resetRaw();
  myModel = kUnknownModel;
  cMainProbe probe;
  if (!probe.read(io)) return false;
  myIO = io;
  const cPictPropRaw* note = probe.getPropRaw(epMakerNote);
  const eNoteForm form = noteForm(note);
  if (form == kNoteNone || !readMakerNote(io, probe, form, *note)) return false;
  if (form == kNoteV1) {
    if (myProps.jpegPreview.count) {
      cBufWrapperIO wrap(myProps.jpegPreview.ptr, myProps.jpegPreview.count, false);
      cPtr<cPictJPEG> jpeg(new cPictJPEG);
      jpeg->setReadExif(false);
      if (wantAlts() && !decodeEmbeddedJpeg(*jpeg, &wrap, static_cast<unsigned long long>(wrap.bufSize)))
        return false;
      adoptImage(*this, epThumbnail, jpeg.ptr);
      jpeg.ptr = nullptr;
    }
    return readOwnMain(io, true) && decodeRaw(io);
  }
  if (form == kNoteBare && !readOwnMain(io, false)) return false;
  if (!takeThumbnail(io, probe)) return false;
  const cPictPropString* make = probe.getPropString(epMake);
  if (make && startsNoCase(make->value.ptr, "NIKON", 5)) {
    if (auto* to = propFor<cPictPropString>(*this, epMake, kPropString)) to->value.set(make->value.ptr);
    const cPictPropString* model = probe.getPropString(epModel);
    if (model) {
      if (auto* to = propFor<cPictPropString>(*this, epModel, kPropString)) to->value.set(model->value.ptr);
      myModel = getModel(model->value.ptr);
    }
  }
  myBigEndian = probe.isBigEndian();
  myBigTiff = probe.isBigTiff();
  if (!takePreviewDirectory(io, previewDirectory(probe), epPreviewImage)) return false;
  return readRawDirectory(io, rawDirectory(probe)) && decodeRaw(io);
}

bool cPictNEF::decodeRaw(cFileIOTarget* io) {
  const cPictPropInt* compression = getPropInt(epEmbeddedCompression);
  if (!compression) return false;
  const int kind = compression->value;
  if (kind != 34713 && (kind != 1 || myBitsPerSample <= 8)) {
    myOrdinary = true;
    return decodeIntFinal(io);
  }
  return processStripes(io, kind);
}

bool cPictNEF::processStripes(cFileIOTarget* io, int compression) {
  if (myOrdinary) return cPictTIFF::processStripes(io, compression);
  const long long w = getPropInt(epEmbeddedWidth)->value, h = getPropInt(epEmbeddedHeight)->value;
  if (pictPixelCount(w, h) < 0 || mySamplesPerPixel != 1 || myBitsPerSample > 32) return false;
  const long long strips = myStripOffsets.count;
  if (myStripByteCounts.count != strips) return false;
  const long long rowsPerStrip = myRowsPerStrip && myRowsPerStrip < h ? myRowsPerStrip : h;
  if ((h + rowsPerStrip - 1) / rowsPerStrip != strips) return false;
  const unsigned long long size = io->size();
  unsigned long long have = 0;
  for (long long i = 0; i < strips; ++i) {
    const unsigned long long at = myStripOffsets.ptr[i], count = myStripByteCounts.ptr[i];
    if (at >= size || count > size - at) return false;
    have += count;
  }
  if (have * kMaxSamplesPerByte < static_cast<unsigned long long>(w * h)) return false;
  myWidth = w;
  myHeight = h;
  if (!onBeforeDecodeStripes(strips >= 2)) return false;
  const long long rowBytes = (w * myBitsPerSample + 7) / 8;
  _typebuf<unsigned char> in;
  sDecomress out;
  for (long long i = 0; i < strips; ++i) {
    const long long y = i * rowsPerStrip;
    // Through the picture allocator for its huge pages, as the strip's
    // decoded form: a whole-body strip otherwise faults every 4 KiB.
    const long long bytes = myStripByteCounts.ptr[i];
    if (bytes == 0)
      in.set(0);
    else if (!allocPictSamples(in, bytes))
      return false;
    if (in.count &&
        (!io->set_fp(myStripOffsets.ptr[i]) || !io->readf(in.ptr, static_cast<unsigned int>(in.count))))
      return false;
    out.rowBytes = static_cast<unsigned int>(rowBytes);
    out.bitsPerSample = myBitsPerSample;
    out.samplesPerPixel = 1;
    out.rows = static_cast<unsigned int>(std::min(rowsPerStrip, h - y));
    out.photometric = myPhotometric;
    out.bigEndian = myBigEndian;
    if (!decodeStripe(in, compression, out) || !decodeColors16bpp(static_cast<unsigned int>(y), out))
      return false;
  }
  return onAfterDecodeStripes();
}

bool cPictNEF::onBeforeDecodeStripes(bool) {
  if (myOrdinary) return true;
  getCropInfo(myMargins);
  myRawWidth = myWidth;
  myRawHeight = myHeight;
  const long long count = pictPixelCount(myRawWidth, myRawHeight);
  if (count < 0) return false;
  try {
    myRaw.set(count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool cPictNEF::decodeColors16bpp(unsigned int row, sDecomress& record) {
  if (myOrdinary) return cPictTIFF::decodeColors16bpp(row, record);
  const long long firstRow = row;
  const long long samples = record.rowBytes / 2;
  if (samples < myRawWidth || firstRow < 0 || firstRow + record.rows > myRawHeight) return false;
  myRawBits = static_cast<int>(record.bitsPerSample);
  if (firstRow == 0 && record.rows == myRawHeight && samples == myRawWidth && record.data.count == 2 * myRaw.count) {
    // One strip holding the whole plane in its layout: taking its buffer
    // spares copying it into a second plane's worth of untouched memory,
    // whose first touch cost as much again as the copy. Both buffers are
    // raw storage from the same allocator, so either type may free it.
    myRaw.set(0);
    myRaw.ptr = reinterpret_cast<unsigned short*>(record.data.ptr);
    myRaw.count = record.data.count / 2;
    record.data.ptr = nullptr;
    record.data.count = 0;
    return true;
  }
  const auto* src = reinterpret_cast<const unsigned short*>(record.data.ptr);
  for (long long r = 0; r < record.rows; ++r)
    std::copy(src + r * samples, src + r * samples + myRawWidth, myRaw.ptr + (firstRow + r) * myRawWidth);
  return true;
}

bool cPictNEF::onAfterDecodeStripes() {
  if (myOrdinary) return true;
  return myRaw.count && finishPicture(myIO);
}

bool cPictNEF::finishPicture(cFileIOTarget* io) {
  cPtr<cBayerFilter> filter(newFilter());
  if (!filter) return false;
  sRawFinish f;
  f.raw = myRaw.ptr;
  f.rawWidth = myRawWidth;
  f.rawHeight = myRawHeight;
  f.margins = myMargins;
  f.filter = filter.ptr;
  f.black = blackLevel();
  f.white = whiteLevel() ? whiteLevel() : static_cast<unsigned short>((1U << myRawBits) - 1);
  f.saturate = true;
  if (f.black >= f.white) return false;
  double mix[3][4];
  if (isBayerRGB()) {
    double balance[4];
    decryptWhiteBalance(balance);
    const double m = 65535.0 / (f.white - f.black);
    double least = 0;
    for (double b : balance)
      if (b > 0 && (least == 0 || b < least)) least = b;
    for (int c = 0; c < 4; ++c) f.multipliers[c] = least > 0 ? balance[c] * m / least : m;
  } else {
    getNonRGBColorMix(mix);
    f.demosaic = sRawFinish::dmLinearNonRGB;
    f.mix = &mix;
  }
  myPix8.set(0);
  myIs16 = true;
  if (!finishRaw(f, io, myPix16, myWidth, myHeight)) return false;
  double sx = 1, sy = 1;
  if (getScale(sx, sy)) {
    cPictNEF scaled;
    if (stretchTo(static_cast<int>(static_cast<double>(myWidth) * sx),
                  static_cast<int>(static_cast<double>(myHeight) * sy), scaled)) {
      swapBuffers(myPix16, scaled.myPix16);
      myWidth = scaled.myWidth;
      myHeight = scaled.myHeight;
    }
  }
  return true;
}

bool cPictNEF::getPreview(cFileIOTarget* io, cPictBase& target, long long const* maxW,
                          long long const* maxH) {
  cMainProbe probe;
  if (!probe.read(io)) return false;
  const cPictPropRaw* note = probe.getPropRaw(epMakerNote);
  const eNoteForm form = noteForm(note);
  if (form == kNoteNone || !readMakerNote(io, probe, form, *note)) return false;
  if (form == kNoteV1) {
    if (!myProps.jpegPreview.count) return false;
    cBufWrapperIO wrap(myProps.jpegPreview.ptr, myProps.jpegPreview.count, false);
    cPictJPEG jpeg;
    jpeg.setReadExif(false);
    if (!decodeEmbeddedJpeg(jpeg, &wrap, static_cast<unsigned long long>(wrap.bufSize))) return false;
    jpeg.moveTo(target);
    return true;
  }
  if (form == kNoteBare && !readOwnMain(io, false)) return false;
  bool have = false;
  if (probe.isFullConfig()) {
    cPictTIFF main;
    if (main.decode(io)) {
      main.moveTo(target);
      // The pixels move on their own; the main picture's thumbnail goes along.
      if (cPictPropImage* thumb = main.getPropImage(epThumbnail); thumb && thumb->value) {
        adoptImage(target, epThumbnail, thumb->value);
        thumb->value = nullptr;
      }
      have = true;
    }
  }
  const unsigned int dir = previewDirectory(probe);
  if (!dir) return have;
  if (have && !target.is16Bpp() && maxW && maxH && target.width() > 0 && target.height() > 0) {
    const double r =
        std::max(static_cast<double>(*maxW) / target.width(), static_cast<double>(*maxH) / target.height());
    if (r < 1.5) return true;
  }
  myPreviewDir.reset();
  myPreviewDir.length = 0;
  if (!myPreviewDir.processStream(io, probe.isBigEndian(), probe.isBigTiff(), dir, io->size()) ||
      !myPreviewDir.offset || !myPreviewDir.length)
    return have;
  cPtr<cPictJPEG> jpeg(jpegAt(io, myPreviewDir.offset, myPreviewDir.length, false));
  if (!jpeg) return have;
  cFileIOSubRange window(io, myPreviewDir.offset, myPreviewDir.length);
  if (!jpeg->getPreview(&window, target, maxW, maxH)) {
    if (!decodeEmbeddedJpeg(*jpeg, &window, myPreviewDir.length)) return have;
    jpeg->moveTo(target);
  }
  return true;
}
