// Pages, sequence items and pixel decoding shared by the two medical-image
// readers. Positions are 64-bit although the readers refuse files of 4 GiB
// and more: sums of a position and a length read from the file never wrap.
#include "picts/dicompages.h"

#include <cmath>
#include <cstring>

#include "base/memio.h"
#include "base/targets.h"
#include "picts/littleendian.h"
#include "picts/pictjp2.h"
#include "picts/pictjpeg.h"
#include "picts/pixelalloc.h"

namespace {

constexpr unsigned kUndefinedLength = 0xFFFFFFFF;

bool isItemTag(const unsigned char* h) { return le16(h) == 0xFFFE && le16(h + 2) == 0xE000; }

}  // namespace

void cPictDICOMPages::reset() {
  close();
  cFasterTreeList<int, sDicomInfo> gone;
  myImages.moveTo(gone);
  myRecords = 0;
  myIo = nullptr;
}

cPictDICOMPages::sDicomInfo* cPictDICOMPages::img(int dataSet) {
  if (sDicomInfo* found = myImages.find(dataSet)) return found;
  if (myRecords >= kMaxRecords) return nullptr;
  ++myRecords;
  sDicomInfo* fresh = myImages.insert(dataSet);
  *fresh = sDicomInfo{};
  return fresh;
}

unsigned cPictDICOMPages::sDicomInfo::*cPictDICOMPages::imageAttribute(unsigned group, unsigned element) {
  if (group != 0x0028) return nullptr;
  switch (element) {
    case 0x0002: return &sDicomInfo::samplesPerPixel;
    case 0x0006: return &sDicomInfo::planarConfiguration;
    case 0x0010: return &sDicomInfo::rows;
    case 0x0011: return &sDicomInfo::columns;
    case 0x0100: return &sDicomInfo::bitsAllocated;
    case 0x0101: return &sDicomInfo::bitsStored;
    case 0x0103: return &sDicomInfo::pixelRepresentation;
    default: return nullptr;
  }
}

bool cPictDICOMPages::recordPixelData(int dataSet, unsigned offset, unsigned length) {
  sDicomInfo* info = img(dataSet);
  if (!info) return false;
  info->pixelOffset = offset;
  info->pixelLength = length;
  return true;
}

bool cPictDICOMPages::recordPhotometric(int dataSet, unsigned offset, unsigned length) {
  sDicomInfo* info = img(dataSet);
  if (!info) return false;
  info->photometric = kPhotometricOther;
  // A code string is at most 16 characters; a longer value names nothing
  // that changes the picture.
  char text[16];
  if (length > sizeof text) return true;
  if (!myIo || !myIo->set_fp(offset) || !myIo->readf(text, length)) return false;
  while (length && (text[length - 1] == ' ' || text[length - 1] == 0)) --length;
  auto is = [&](const char* code) {
    return std::strlen(code) == length && std::memcmp(text, code, length) == 0;
  };
  if (is("MONOCHROME1")) info->photometric = kPhotometricMonochrome1;
  if (is("RGB")) info->photometric = kPhotometricRGB;
  return true;
}

int cPictDICOMPages::highGroup(unsigned group) {
  if (group < 0xFFF0) return -1;
  if (group == 0xFFFE) return 1;
  // FFFA and FFFC hold ordinary elements (digital signatures, padding).
  return group == 0xFFFA || group == 0xFFFC ? 0 : -1;
}

bool cPictDICOMPages::parsed(cFileIOTarget* io) {
  if (!io) return false;
  if (myIo == io && myImages.root) return true;
  reset();
  myIo = io;
  // Positions in the records are 32-bit.
  if (io->size() >= 0x100000000ULL || !processDICOM(io)) {
    reset();
    return false;
  }
  return myImages.root != nullptr;
}

cPictDICOMPages::sDicomInfo* cPictDICOMPages::page(int n) {
  if (n < 0 || !myImages.root) return nullptr;
  auto* it = myImages.leftmost(myImages.root);
  for (int i = 0; it && i < n; ++i) it = myImages.next(it);
  return it ? &it->value : nullptr;
}

bool cPictDICOMPages::isPicture(cFileIOTarget* io, sPictInfo* info) {
  if (!parsed(io)) return false;
  if (info) {
    sDicomInfo* first = page(0);
    info->width = first->columns;
    info->height = first->rows;
    info->hasPreview = false;
  }
  return true;
}

int cPictDICOMPages::getNumPages(cFileIOTarget* io) {
  if (!parsed(io)) return 0;
  int count = 0;
  for (auto* it = myImages.leftmost(myImages.root); it; it = myImages.next(it)) ++count;
  return count;
}

bool cPictDICOMPages::getPageSize(cFileIOTarget* io, int n, int& w, int& h) {
  sDicomInfo* info = parsed(io) ? page(n) : nullptr;
  if (!info) return false;
  w = static_cast<int>(info->columns);
  h = static_cast<int>(info->rows);
  return true;
}

bool cPictDICOMPages::decodePage(cFileIOTarget* io, int n) {
  sDicomInfo* info = parsed(io) ? page(n) : nullptr;
  bool done = info && decodeImage(io, info);
  // A target set for this decode must not outlive it, refused or not.
  if (isExtRender()) endExtRender();
  return done;
}

bool cPictDICOMPages::decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH,
                                        int n, bool, unsigned int background) {
  sDicomInfo* info = parsed(io) ? page(n) : nullptr;
  if (!info || maxW < 1 || maxH < 1 || !info->columns || !info->rows) return false;
  if (info->columns > maxW || info->rows > maxH) {
    double r = std::fmin(static_cast<double>(maxW) / info->columns, static_cast<double>(maxH) / info->rows);
    long long w = static_cast<long long>(info->columns * r + 0.5);
    long long h = static_cast<long long>(info->rows * r + 0.5);
    if (!out.create(w < 1 ? 1 : w, h < 1 ? 1 : h, 0)) return false;
    sExtPictDef target(&out);
    target.background = background;
    return setExtTarget(&target) && decodePage(io, n);
  }
  if (!decodePage(io, n)) return false;
  if (!is16Bpp()) {
    moveTo(out);
    return true;
  }
  _typebuf<unsigned int> words;
  long long w = width(), h = height();
  if (!getColorData(words) || !out.create_und(w, h)) return false;
  std::memcpy(out.raw8Bpp(), words.ptr, static_cast<size_t>(words.count) * sizeof(unsigned int));
  close();
  return true;
}

bool cPictDICOMPages::walkItems(cFileIOTarget* io, unsigned long long& position, unsigned long long end,
                                int& itemCounter, int depth) {
  if (depth >= kMaxNesting) return false;
  while (position < end) {
    unsigned char h[8];
    if (!io->set_fp(position) || !io->readf(h, 8)) return false;
    position += 8;
    if (le16(h) == 0xFFFE && le16(h + 2) == 0xE0DD) return true;
    unsigned length = le32(h + 4);
    if (!length) continue;
    bool undefined = length == kUndefinedLength;
    unsigned long long itemEnd = undefined ? end : position + length;
    if (itemEnd > end) return false;
    ++itemCounter;
    if (!processDICOM_cat(io, position, itemEnd, itemCounter, depth + 1)) return false;
    // An item of undefined length ends at its delimiter, which the next
    // turn reads as an empty item.
    if (!undefined) position = itemEnd;
  }
  return position == end;
}

unsigned long long cPictDICOMPages::frameSizeOf(const sDicomInfo& info) {
  return static_cast<unsigned long long>(info.rows) * info.columns * info.samplesPerPixel *
         (info.bitsAllocated / 8);
}

bool cPictDICOMPages::isNativeLength(unsigned long long frameSize, unsigned long long length) {
  if (!frameSize) return false;
  unsigned long long whole = length / frameSize * frameSize;
  return whole && (whole == length || (whole % 2 && whole + 1 == length));
}

bool cPictDICOMPages::firstFragment(cFileIOTarget* io, const sDicomInfo& info, unsigned long long& start,
                                    unsigned long long& length) {
  unsigned long long at = info.pixelOffset, end = at + info.pixelLength;
  unsigned char h[8];
  if (at + 8 > end || !io->set_fp(at) || !io->readf(h, 8) || !isItemTag(h)) return false;
  at += 8 + static_cast<unsigned long long>(le32(h + 4));
  if (at + 8 > end || !io->set_fp(at) || !io->readf(h, 8) || !isItemTag(h)) return false;
  start = at + 8;
  unsigned long long stated = le32(h + 4);
  length = stated < end - start ? stated : end - start;
  return length > 0;
}

namespace {

// MONOCHROME1 shows its lowest sample as white.
void invertGrey(cPictBase& pict) {
  long long n = pict.width() * pict.height();
  if (unsigned long long* p16 = pict.raw16Bpp())
    for (long long i = 0; i < n; ++i) p16[i] ^= 0xFFFFFFFFFFFFULL;
  else if (unsigned int* p8 = pict.raw8Bpp())
    for (long long i = 0; i < n; ++i) p8[i] ^= 0xFFFFFFu;
}

bool subsampled(const cPictJPEG& jpeg) {
  for (long long i = 0; i < jpeg.comps.count; ++i)
    if (jpeg.comps.ptr[i].h != jpeg.maxH || jpeg.comps.ptr[i].v != jpeg.maxV) return true;
  return false;
}

}  // namespace

bool cPictDICOMPages::decodeJ2K(cFileIOTarget* window, const sDicomInfo& info) {
  window->set_fp(0);
  if (!cPictJ2K::validFor(window, nullptr)) return false;
  cPictJ2K j2k;
  window->set_fp(0);
  if (!j2k.decode(window)) return false;
  if (info.photometric == kPhotometricMonochrome1) invertGrey(j2k);
  // The codestream decodes whole, so a render target is drawn afterwards.
  if (sExtPictDef* target = extTarget()) return j2k.toExtTarget(target);
  j2k.moveTo(*this);
  return true;
}

bool cPictDICOMPages::decodeJPEG(cFileIOTarget* window, const sDicomInfo& info) {
  cPictJPEG jpeg;
  window->set_fp(0);
  if (!jpeg.isPicture(window, nullptr)) return false;
  // The data set, not the stream's component ids, says whether three
  // components are already RGB; but chroma stored at a lower resolution
  // is YCbCr whatever the label, and then the stream's own markers decide.
  if (info.photometric == kPhotometricRGB && !subsampled(jpeg)) jpeg.setForceColorSpace(3);
  window->set_fp(0);
  const bool invert = info.photometric == kPhotometricMonochrome1;
  // Colour is shown as the stream gives it; only grey, whose stored range
  // may be a few bits, is stretched to full range, which needs the whole
  // frame before anything is drawn.
  const bool grey = jpeg.comps.count == 1;
  sExtPictDef* target = extTarget();
  if (target && !invert && !grey) return jpeg.setExtTarget(target) && jpeg.decode(window);
  if (!jpeg.decode(window)) return false;
  if (grey && !jpeg.autoScaleFrom(jpeg)) return false;
  if (invert) invertGrey(jpeg);
  if (target) return jpeg.toExtTarget(target);
  jpeg.moveTo(*this);
  return true;
}

bool cPictDICOMPages::decodeImage(cFileIOTarget* io, sDicomInfo* info) {
  if (!info) return false;
  if (info->bitsAllocated != 8 && info->bitsAllocated != 16) return false;
  if (info->bitsStored < 1 || info->bitsStored > info->bitsAllocated) return false;
  myWidth = info->columns;
  myHeight = info->rows;
  const unsigned long long frameSize = frameSizeOf(*info);
  if (!info->encapsulated && isNativeLength(frameSize, info->pixelLength) &&
      frameSize + 1 >= info->pixelLength)
    return decodeNative(io, *info);
  // A native frame followed by padding: defined-length data at least one
  // frame long that does not open with an item as fragments do.
  if (!info->encapsulated && frameSize && frameSize <= info->pixelLength) {
    unsigned char head[4];
    bool opensItem =
        info->pixelLength >= 8 && io->set_fp(info->pixelOffset) && io->readf(head, 4) && isItemTag(head);
    if (!opensItem) return decodeNative(io, *info);
  }
  return decodeEncapsulated(io, *info);
}

bool cPictDICOMPages::decodeNative(cFileIOTarget* io, const sDicomInfo& info) {
  long long w = info.columns, h = info.rows;
  int samples = static_cast<int>(info.samplesPerPixel);
  if ((samples != 1 && samples != 3) || pictPixelCount(w, h) < 0) return false;
  // The element's stated length is not believed: the frame must be there.
  unsigned long long size = io->size();
  if (info.pixelOffset > size || frameSizeOf(info) > size - info.pixelOffset) return false;
  bool sixteen = info.bitsAllocated == 16;
  int bytes = sixteen ? 2 : 1;
  bool planar = samples == 3 && info.planarConfiguration != 0;
  unsigned storedMax = (1u << info.bitsStored) - 1, fullMax = (1u << info.bitsAllocated) - 1;
  bool narrow = info.bitsStored != info.bitsAllocated;
  bool isSigned = samples == 1 && info.pixelRepresentation == 1;
  long long planeRow = w * bytes, rowBytes = planeRow * samples;
  _typebuf<unsigned char> row;
  if (!allocPictSamples(row, rowBytes)) return false;

  auto readRow = [&](long long r) {
    for (int c = 0; c < (planar ? 3 : 1); ++c) {
      long long chunk = planar ? planeRow : rowBytes;
      unsigned long long at = info.pixelOffset + static_cast<unsigned long long>(c) * planeRow * h +
                              static_cast<unsigned long long>(r) * chunk;
      if (!io->set_fp(at) || !io->readf(row.ptr + c * chunk, static_cast<unsigned>(chunk))) return false;
    }
    return true;
  };
  // Bits above the stored ones may hold overlays or garbage; signed grey is
  // widened from its own top bit, so negative values stay below positive ones.
  auto sample = [&](long long x, int c) {
    long long i = planar ? c * w + x : x * samples + c;
    long long v = (sixteen ? le16(row.ptr + i * 2) : row.ptr[i]) & storedMax;
    if (isSigned && (v >> (info.bitsStored - 1)) & 1) v -= static_cast<long long>(storedMax) + 1;
    return v;
  };

  long long lo = 0;
  double scale = static_cast<double>(fullMax) / storedMax;
  bool stretch = narrow || sixteen;
  if (samples == 1) {
    long long m = 0x7FFFFFFF, M = -m;
    for (long long r = 0; r < h; ++r) {
      if (!readRow(r)) return false;
      for (long long x = 0; x < w; ++x) {
        long long v = sample(x, 0);
        m = v < m ? v : m;
        M = v > M ? v : M;
      }
    }
    if (m < M) {
      lo = m;
      scale = static_cast<double>(fullMax) / static_cast<double>(M - m);
    }
  }
  const bool invert = samples == 1 && info.photometric == kPhotometricMonochrome1;
  auto level = [&](long long v) {
    v -= lo;
    if (stretch) v = static_cast<long long>(static_cast<double>(v) * scale);
    unsigned long long out = static_cast<unsigned long long>(v < 0 ? 0 : v > fullMax ? fullMax : v);
    return invert ? fullMax - out : out;
  };

  myWidth = w;
  myHeight = h;
  myIs16 = sixteen;
  bool rendering = startExtRender();
  if (!rendering && !allocPixels(w, h, sixteen)) return false;
  bool done = true;
  for (long long r = 0; r < h && done; ++r) {
    if (!readRow(r)) {
      done = false;
      break;
    }
    long long y = h - 1 - r;
    for (long long x = 0; x < w; ++x) {
      unsigned long long red = level(sample(x, 0));
      unsigned long long green = samples == 3 ? level(sample(x, 1)) : red;
      unsigned long long blue = samples == 3 ? level(sample(x, 2)) : red;
      if (sixteen) {
        unsigned long long px = 0xFFFFULL << 48 | red << 32 | green << 16 | blue;
        if (rendering)
          setExtPix16(x, y, px);
        else
          myPix16.ptr[y * w + x] = px;
      } else {
        unsigned px = 0xFF000000u | static_cast<unsigned>(red << 16 | green << 8 | blue);
        if (rendering)
          setExtPix(x, y, px);
        else
          myPix8.ptr[y * w + x] = px;
      }
    }
  }
  if (rendering) endExtRender();
  return done;
}

bool cPictDICOMPages::decodeEncapsulated(cFileIOTarget* io, const sDicomInfo& info) {
  unsigned long long start, length;
  if (firstFragment(io, info, start, length)) {
    cFileIOSubRange window(io, start, length);
    return decodeJ2K(&window, info) || (readsJPEG() && decodeJPEG(&window, info));
  }
  // Data without item headers is still read where a one-entry offset table
  // (JPEG 2000) or an empty one (JPEG) would put the stream.
  if (info.pixelLength <= 20) return false;
  cFileIOSubRange j2k(io, info.pixelOffset + 20ULL, info.pixelLength - 20ULL);
  if (decodeJ2K(&j2k, info)) return true;
  if (!readsJPEG()) return false;
  cFileIOSubRange jpeg(io, info.pixelOffset + 16ULL, info.pixelLength - 16ULL);
  return decodeJPEG(&jpeg, info);
}
