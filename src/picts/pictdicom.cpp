// The explicit little-endian walk: preamble, magic, elements in strictly
// rising tag order, sequences entered by their value representation.
#include "picts/pictdicom.h"

#include <cstring>

#include "base/targets.h"
#include "picts/littleendian.h"

namespace {

constexpr unsigned short vrCode(const char (&name)[3]) {
  return static_cast<unsigned short>(static_cast<unsigned char>(name[0]) |
                                     static_cast<unsigned char>(name[1]) << 8);
}

constexpr unsigned short kSQ = vrCode("SQ");
constexpr unsigned short kUS = vrCode("US");
constexpr unsigned short kUL = vrCode("UL");

constexpr unsigned short kShortVRs[] = {
    vrCode("AE"), vrCode("AS"), vrCode("AT"), vrCode("CS"), vrCode("DA"), vrCode("DS"), vrCode("DT"),
    vrCode("FD"), vrCode("FL"), vrCode("IS"), vrCode("LO"), vrCode("LT"), vrCode("PN"), vrCode("SH"),
    vrCode("SL"), vrCode("SS"), vrCode("ST"), vrCode("TM"), vrCode("UI"), kUL,          kUS,
};
constexpr unsigned short kLongVRs[] = {vrCode("OB"), vrCode("OD"), vrCode("OF"), vrCode("OW"),
                                       kSQ,          vrCode("UN"), vrCode("UT")};

// The size of the length field after a VR: 2, 4 (after two reserved
// bytes), or 0 for a VR this reader does not know.
int lengthFieldOf(unsigned short vr) {
  for (unsigned short known : kShortVRs)
    if (vr == known) return 2;
  for (unsigned short known : kLongVRs)
    if (vr == known) return 4;
  return 0;
}

}  // namespace

bool cPictDICOM::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictDICOM probe;
  return probe.isPicture(io, info);
}

bool cPictDICOM::processDICOM(cFileIOTarget* io) {
  char magic[4];
  if (!io->set_fp(128) || !io->readf(magic, 4) || std::memcmp(magic, "DICM", 4) != 0) return false;
  unsigned long long position = 132;
  int counter = 0;
  return processDICOM_cat(io, position, io->size(), counter, 0) && splitFrames();
}

bool cPictDICOM::processDICOM_cat(cFileIOTarget* io, unsigned long long& position, unsigned long long end,
                                  int& itemCounter, int depth) {
  const int dataSet = itemCounter;
  const unsigned long long fileSize = io->size();
  unsigned prevGroup = 0, prevElement = 0;
  bool first = true;
  for (;;) {
    if (position >= end) return position == end;
    unsigned char h[8];
    if (!io->set_fp(position)) return false;
    unsigned got = io->read(h, 8);
    if (got < 8) return got == 0;
    unsigned group = le16(h), element = le16(h + 2);
    unsigned short vr = static_cast<unsigned short>(le16(h + 4));
    if (group >= 0x8000) {
      int kind = highGroup(group);
      if (kind) return kind > 0;
    }
    if (!first && (group < prevGroup || (group == prevGroup && element <= prevElement))) return false;
    first = false;
    prevGroup = group;
    prevElement = element;
    position += 8;
    unsigned long long length;
    switch (lengthFieldOf(vr)) {
      case 2:
        length = le16(h + 6);
        break;
      case 4: {
        unsigned char l[4];
        if (le16(h + 6) != 0 || !io->readf(l, 4)) return false;
        position += 4;
        length = le32(l);
        break;
      }
      default:
        return false;
    }
    bool undefined = length == 0xFFFFFFFF;
    if (undefined) length = end > position ? end - position : 0;
    if (vr == kSQ) {
      unsigned long long sequenceEnd = position + length;
      if (sequenceEnd > end || !walkItems(io, position, sequenceEnd, itemCounter, depth)) return false;
      if (!undefined) position = sequenceEnd;
      continue;
    }
    if (position + length > fileSize) return false;
    if (!onTag(static_cast<unsigned short>(group), static_cast<unsigned short>(element), vr,
               static_cast<unsigned>(length), static_cast<unsigned>(position), dataSet))
      return false;
    if (undefined && isPixelData(group, element)) {
      if (sDicomInfo* info = img(dataSet)) info->encapsulated = true;
    }
    position += length;
  }
}

bool cPictDICOM::getValU32(unsigned short vr, unsigned length, unsigned offset, unsigned& out) {
  unsigned char v[4];
  if (!myIo || !myIo->set_fp(offset)) return false;
  if (vr == kUS && length == 2 && myIo->readf(v, 2)) {
    out = le16(v);
    return true;
  }
  if (vr == kUL && length == 4 && myIo->readf(v, 4)) {
    out = le32(v);
    return true;
  }
  return false;
}

bool cPictDICOM::onTag(unsigned short group, unsigned short element, unsigned short vr, unsigned valueLength,
                       unsigned valueOffset, int dataSet) {
  if (isPixelData(group, element)) return recordPixelData(dataSet, valueOffset, valueLength);
  if (isPhotometric(group, element)) return recordPhotometric(dataSet, valueOffset, valueLength);
  unsigned sDicomInfo::*field = imageAttribute(group, element);
  if (!field) return true;
  // Planar configuration and pixel representation are the two that may be 0.
  bool zeroAllowed = field == &sDicomInfo::planarConfiguration || field == &sDicomInfo::pixelRepresentation;
  unsigned value;
  sDicomInfo* info = img(dataSet);
  if (!info || !getValU32(vr, valueLength, valueOffset, value) || (!value && !zeroAllowed)) return false;
  info->*field = value;
  return true;
}

bool cPictDICOM::splitFrames() {
  // Rebuilt rather than edited in place: removing items one by one would
  // rearrange the tree once per removal. Pages are numbered afresh in data
  // set order, a split image's frames in its own place, so that an icon in
  // a later item stays behind the main image's frames.
  cFasterTreeList<int, sDicomInfo> pages;
  if (!myImages.root) return false;
  unsigned long long count = 0;
  for (auto* it = myImages.leftmost(myImages.root); it; it = myImages.next(it)) {
    const sDicomInfo& info = it->value;
    unsigned long long frameSize = frameSizeOf(info);
    if (!info.columns || !info.rows || !info.pixelOffset || !info.pixelLength || !info.samplesPerPixel ||
        !frameSize)
      continue;
    if (info.encapsulated || frameSize >= info.pixelLength || !isNativeLength(frameSize, info.pixelLength)) {
      if (count >= kMaxPages) return false;
      *pages.insert(static_cast<int>(count++)) = info;
      continue;
    }
    unsigned long long frames = info.pixelLength / frameSize;
    if (frames > kMaxPages - count) return false;
    for (unsigned long long i = 0; i < frames; ++i) {
      sDicomInfo* frame = pages.insert(static_cast<int>(count++));
      *frame = info;
      frame->pixelOffset = static_cast<unsigned>(info.pixelOffset + i * frameSize);
      frame->pixelLength = static_cast<unsigned>(frameSize);
    }
  }
  pages.moveTo(myImages);
  return myImages.root != nullptr;
}
