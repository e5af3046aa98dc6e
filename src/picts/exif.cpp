#include "picts/exif.h"

#include <cstring>
#include <new>

#include "base/memio.h"
#include "base/targets.h"
#include "picts/pictbase.h"
#include "picts/pictjpeg.h"

namespace {

// Orientation 1 to 8 as rotation in degrees and mirroring.
constexpr int kRotation[9] = {0, 0, 0, 180, 0, 90, 270, 270, 90};
constexpr int kMirror[9] = {0, 0, 1, 0, 2, 1, 0, 1, 0};

template <typename P>
P* propOfKind(cPictBase* pict, cPictBase::eExProps key, int kind) {
  cPictProp* prop = pict->getProp(key, true);
  return prop && prop->typeOf() == kind ? static_cast<P*>(prop) : nullptr;
}

void setInt(cPictBase* pict, cPictBase::eExProps key, int v) {
  if (auto* p = propOfKind<cPictPropInt>(pict, key, kPropInt)) p->value = v;
}

void setDouble(cPictBase* pict, cPictBase::eExProps key, double v) {
  if (auto* p = propOfKind<cPictPropDouble>(pict, key, kPropDouble)) p->value = v;
}

// No JPEG describes more pixels than this per byte of its data (a grey
// block of one colour costs about half a byte for 64 pixels).
constexpr unsigned long long kMaxPixelsPerJpegByte = 1024;

}  // namespace

bool cExifDecoder::decodeEmbeddedJpeg(cPictJPEG& jpeg, cFileIOTarget* io, unsigned long long bytes) {
  cPictBase::sPictInfo info;
  io->set_fp(0);
  if (!jpeg.isPicture(io, &info) || info.width < 1 || info.height < 1) return false;
  if (static_cast<unsigned long long>(info.width) * static_cast<unsigned long long>(info.height) >
      bytes * kMaxPixelsPerJpegByte)
    return false;
  io->set_fp(0);
  return jpeg.decode(io);
}

void cExifDecoder::reset() {
  mySouth = myWest = myBelowSea = myThumbJpeg = myAssociatedAlpha = false;
  myThumbOffset = ~0U;
  myThumbLength = ~0U;
}

void cExifDecoder::prepare(cPictBase* pict, int kind) {
  // Only this decoder's own state: a subclass's reset would clear what its
  // caller set up for the walk.
  cExifDecoder::reset();
  myTarget = pict;
  myKind = kind;
}

bool cExifDecoder::walk(cFileIOTarget* io, unsigned int offset, bool bigEndian, bool bigTiff,
                        unsigned long long size, bool fromHeader) {
  cFasterTreeList<unsigned int, char> walked;
  myWalked = &walked;
  myDepth = 0;
  bool done = fromHeader ? cTiffGeneric::processStream(io, size)
                         : cTiffGeneric::processStream(io, bigEndian, bigTiff, offset, size);
  myWalked = nullptr;
  return done;
}

bool cExifDecoder::decode(cPictBase* pict, cFileIOTarget* io, int kind) {
  prepare(pict, kind);
  return walk(io, 0, false, false, kAskSize, true);
}

bool cExifDecoder::decodeDirect(cPictBase* pict, cFileIOTarget* io, int kind, unsigned int offset,
                                bool bigEndian, bool bigTiff, unsigned long long size) {
  prepare(pict, kind);
  return walk(io, offset, bigEndian, bigTiff, size, false);
}

bool cExifDecoder::onRawTag(int tag, int type, const void* data, int length, unsigned int offset) {
  if (tag == 37500 && length > 0 && myTarget && myKind != kGpsIFD && myKind != kThumbnailIFD) {
    const void* bytes = data;
    if (!bytes) {
      try {
        if (myValue.count < length) myValue.reset(length);
      } catch (const std::bad_alloc&) {
        return fail(kErrValue);
      }
      if (!myStream->set_fp(offset) || !myStream->readf(myValue.ptr, static_cast<unsigned int>(length))) {
        myPosition = offset;
        return fail(kErrValue);
      }
      bytes = myValue.ptr;
    }
    if (auto* note = propOfKind<cPictPropRaw>(myTarget, cPictBase::epMakerNote, kPropRaw)) {
      try {
        note->value.set(length);
      } catch (const std::bad_alloc&) {
        return fail(kErrValue);
      }
      std::memcpy(note->value.ptr, bytes, static_cast<size_t>(length));
      note->position = offset;
    }
    return onTag(tag, type, bytes, length);
  }
  return cTiffGeneric::onRawTag(tag, type, data, length, offset);
}

bool cExifDecoder::onTag(int tag, int type, const void* data, int length) {
  if (!myTarget) return true;
  sTagProcessParam t{tag, type, data, length};
  switch (myKind) {
    case kMainIFD:
    case kExifIFD:
    case kInteropIFD:
      return onMainTag(t);
    case kGpsIFD:
      return onGpsTag(t);
    case kThumbnailIFD:
      return onThumbnailTag(t);
    default:
      return true;
  }
}

bool cExifDecoder::onMainTag(const sTagProcessParam& t) {
  unsigned int u32 = 0;
  unsigned short u16 = 0;
  double d = 0;
  switch (t.tag) {
    case 256:
    case 257:
      if (!getValU32(t, u32) || (t.type != 3 && t.type != 4) || u32 > 0x7FFFFFFF) return false;
      setInt(myTarget, t.tag == 256 ? cPictBase::epEmbeddedWidth : cPictBase::epEmbeddedHeight,
             static_cast<int>(u32));
      return true;
    case 259:
      if (!getValU32(t, u32) || (t.type != 3 && t.type != 4) || t.length != typeSize(t.type)) return false;
      setInt(myTarget, cPictBase::epEmbeddedCompression, static_cast<int>(u32));
      return true;
    case 271:
    case 272: {
      if (t.type != 2 || t.length < 1) return false;
      if (t.length == 1) return true;
      if (auto* p = propOfKind<cPictPropString>(
              myTarget, t.tag == 271 ? cPictBase::epMake : cPictBase::epModel, kPropString))
        p->value.set(static_cast<const char*>(t.data), t.length - 1);
      return true;
    }
    case 274:
      if (!getValU16(t, u16) || t.length != 2) return false;
      if (u16 < 1 || u16 > 8) u16 = 1;
      setInt(myTarget, cPictBase::epMirror, kMirror[u16]);
      setInt(myTarget, cPictBase::epRotation, kRotation[u16]);
      return true;
    case 282:
    case 283:
      if (t.type != 5 || !getValDouble(t, d)) return false;
      if (d > 0) setDouble(myTarget, t.tag == 282 ? cPictBase::epXResolution : cPictBase::epYResolution, d);
      return true;
    case 296:
      if (!getValU16(t, u16) || t.length != 2) return false;
      setInt(myTarget, cPictBase::epResolutionInches, u16 == 3 ? 0 : 1);
      return true;
    case 306:
    case 36867: {
      if (t.type != 2 || t.length < 10) return false;
      sTimestamp when{};
      if (!getDate(static_cast<const char*>(t.data), t.length - 1, when)) return true;
      if (auto* p = propOfKind<cPictPropTimestamp>(
              myTarget, t.tag == 306 ? cPictBase::epDateTime : cPictBase::epDateTaken, kPropTimestamp))
        p->value = when;
      return true;
    }
    case 33434:
    case 33437:
      if (t.type != 5 || !getValDouble(t, d)) return false;
      setDouble(myTarget, t.tag == 33434 ? cPictBase::epExposureTime : cPictBase::epFNumber, d);
      return true;
    case 338:
      // An extra sample of another kind, or one not read, leaves the colours as stored.
      myAssociatedAlpha = myKind == kMainIFD && getValU16(t, u16) && u16 == 1;
      return true;
    case 34855:
      if (!getValU16(t, u16)) return false;
      setInt(myTarget, cPictBase::epISOSpeed, u16);
      return true;
    case kExifIFD:
    case kGpsIFD:
    case kInteropIFD:
      // A broken sub-IFD costs its own tags, never the IFD that points at it.
      walkSubIFD(t);
      return true;
    case kNextIFDTag:
      return myKind == kMainIFD ? walkSubIFD(t) : true;
    default:
      return true;
  }
}

// The nested walk shares the stream and the set of IFDs entered, the one
// pointing included, so a forged pointer back to an IFD on the way, or to
// itself, is refused instead of walked again. An offset inside the header
// (0 among them) names no IFD.
bool cExifDecoder::walkSubIFD(const sTagProcessParam& t) {
  if (t.type != 4 && t.length != 4) return false;
  unsigned int offset = getU32(t.data);
  if (offset < (myBigTiff ? 16U : 8U) || static_cast<unsigned long long>(offset) + 2 > myStreamSize) return false;
  if (myDepth >= kMaxDepth || !myWalked) return false;
  if (!myWalked->find(ifdOffset())) myWalked->insert(ifdOffset());
  if (myWalked->find(offset)) return false;
  myWalked->insert(offset);
  cExifDecoder nested;
  nested.reset();
  nested.myTarget = myTarget;
  nested.myKind = t.tag;
  nested.myLoadPreview = myLoadPreview;
  nested.myWalked = myWalked;
  nested.myDepth = myDepth + 1;
  return nested.cTiffGeneric::processStream(myStream, myBigEndian, myBigTiff, offset, myStreamSize);
}

bool cExifDecoder::onGpsTag(const sTagProcessParam& t) {
  _typebuf<double> values;
  double d = 0;
  switch (t.tag) {
    case 1:
    case 3: {
      if (t.type != 2 || t.length != 2) return false;
      char c = static_cast<const char*>(t.data)[0];
      bool negative = c == (t.tag == 1 ? 'S' : 'W');
      if (!negative && c != 0 && c != (t.tag == 1 ? 'N' : 'E')) return false;
      (t.tag == 1 ? mySouth : myWest) = negative;
      return true;
    }
    case 2:
    case 4: {
      if (t.type != 5 || !getValsDouble(t, values) || values.count < 2) return false;
      double degrees = values.ptr[0] + values.ptr[1] * 0.01666666666666667;
      bool negative = t.tag == 2 ? mySouth : myWest;
      setDouble(myTarget, t.tag == 2 ? cPictBase::epLatitude : cPictBase::epLongitude,
                negative ? -degrees : degrees);
      return true;
    }
    case 5: {
      unsigned char below = 0;
      if (!getValU8(t, below) || below > 1) return false;
      myBelowSea = below == 1;
      return true;
    }
    case 6:
      if (t.type != 5 || !getValDouble(t, d)) return false;
      setDouble(myTarget, cPictBase::epAltitude, myBelowSea ? -d : d);
      return true;
    default:
      return true;
  }
}

bool cExifDecoder::onThumbnailTag(const sTagProcessParam& t) {
  unsigned short u16 = 0;
  switch (t.tag) {
    case 259:
      if (!getValU16(t, u16)) return false;
      myThumbJpeg = u16 == 6 || u16 == 7 || u16 == 99;
      return true;
    case 513:
    case 514:
      if (t.type != 4 || t.length < 4) return false;
      (t.tag == 513 ? myThumbOffset : myThumbLength) = getU32(t.data);
      return t.tag == 513 || storeThumbnail();
    default:
      return true;
  }
}

bool cExifDecoder::storeThumbnail() {
  if (!myThumbJpeg || myThumbLength == 0 || myThumbOffset == 0 || myThumbOffset == ~0U) return true;
  if (myThumbOffset >= myStreamSize || myThumbLength > myStreamSize - myThumbOffset) return false;
  cFileIOSubRange window(myStream, myThumbOffset, myThumbLength);
  if (!window.valid()) return false;
  cPtr<cPictJPEG> jpeg(new cPictJPEG);
  // A thumbnail has no thumbnail of its own worth reading.
  jpeg->setReadExif(false);
  if (myLoadPreview && !decodeEmbeddedJpeg(*jpeg.ptr, &window, myThumbLength)) {
    myPosition = myThumbOffset;
    return fail(kErrThumbnail);
  }
  if (auto* thumb = propOfKind<cPictPropImage>(myTarget, cPictBase::epThumbnail, kPropImage)) {
    delete thumb->value;
    thumb->value = jpeg.ptr;
    jpeg.ptr = nullptr;
  }
  return true;
}
