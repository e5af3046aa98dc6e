// The implicit little-endian walk: no VRs, so attributes are read by their
// length and only undefined lengths open sequences.
#include "picts/pictdicoml.h"

#include "base/targets.h"
#include "picts/littleendian.h"

bool cPictDICOMLegacy::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictDICOMLegacy probe;
  return probe.isPicture(io, info);
}

bool cPictDICOMLegacy::processDICOM(cFileIOTarget* io) {
  unsigned long long position = 0;
  int counter = 0;
  if (!processDICOM_cat(io, position, io->size(), counter, 0) || !myImages.root) return false;
  cFasterTreeList<int, sDicomInfo> pages;
  for (auto* it = myImages.leftmost(myImages.root); it; it = myImages.next(it)) {
    sDicomInfo info = it->value;
    if (!info.columns || !info.rows || !info.pixelOffset || !info.pixelLength) continue;
    if (!info.samplesPerPixel) info.samplesPerPixel = 1;
    *pages.insert(it->key) = info;
  }
  pages.moveTo(myImages);
  return myImages.root != nullptr;
}

bool cPictDICOMLegacy::processDICOM_cat(cFileIOTarget* io, unsigned long long& position,
                                        unsigned long long end, int& itemCounter, int depth) {
  const int dataSet = itemCounter;
  const unsigned long long fileSize = io->size();
  unsigned prevGroup = 0, prevElement = 0;
  bool first = true, afterPixelData = false;
  for (;;) {
    if (position >= end) return position == end;
    unsigned char h[8];
    if (!io->set_fp(position)) return false;
    unsigned got = io->read(h, 8);
    if (got == 0) return true;
    if (got == 2) return h[0] == 0 && h[1] == 0;
    if (got < 8) return false;
    unsigned group = le16(h), element = le16(h + 2);
    unsigned long long length = le32(h + 4);
    if (group >= 0x8000) {
      int kind = highGroup(group);
      if (kind) return kind > 0;
    }
    if (group == 0 && element == 0 && length == 0) return true;
    position += 8;
    // Whatever follows the pixel data in a lower group is trailing padding.
    if (!first && group < prevGroup) return afterPixelData;
    if (!first && group == prevGroup && element <= prevElement) return false;
    first = false;
    prevGroup = group;
    prevElement = element;
    afterPixelData = isPixelData(group, element);
    if (length == 0xFFFFFFFF) {
      if (!walkItems(io, position, end, itemCounter, depth)) return false;
      continue;
    }
    if (length >= 0x7FFFFFFF || position + length > fileSize) return false;
    if (!onTag(static_cast<unsigned short>(group), static_cast<unsigned short>(element),
               static_cast<unsigned>(length), static_cast<unsigned>(position), dataSet))
      return false;
    position += length;
  }
}

bool cPictDICOMLegacy::onTag(unsigned short group, unsigned short element, unsigned valueLength,
                             unsigned valueOffset, int dataSet) {
  if (isPixelData(group, element)) return recordPixelData(dataSet, valueOffset, valueLength);
  if (isPhotometric(group, element)) return recordPhotometric(dataSet, valueOffset, valueLength);
  unsigned sDicomInfo::*field = imageAttribute(group, element);
  if (!field) return true;
  unsigned char v[2];
  sDicomInfo* info = img(dataSet);
  if (!info || valueLength != 2 || !myIo || !myIo->set_fp(valueOffset) || !myIo->readf(v, 2)) return false;
  info->*field = le16(v);
  return true;
}
