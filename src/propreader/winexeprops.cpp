#include "propreader/winexeprops.h"

#include <cmath>
#include <cstring>

#include "base/memio.h"
#include "base/textconv.h"
#include "picts/littleendian.h"
#include "picts/pictdib.h"
#include "picts/pictpng.h"

namespace {

constexpr unsigned int kSubdirectory = 0x80000000u;
constexpr int kIconType = 3;
constexpr int kVersionType = 16;
constexpr unsigned int kFixedInfoSignature = 0xFEEF04BDu;
// Real version resources nest four levels; a forged one must not use up the
// stack of the job thread that reads it.
constexpr int kMaxVersionDepth = 16;

struct sResourceSection {
  unsigned int virtualAddress = 0;
  unsigned long long offset = 0;
  unsigned long long size = 0;
};

// The headers up to the section table, from the stream's current position;
// the section must lie within the file to be read whole.
bool findResourceSection(cFileIOTarget* io, sResourceSection& found) {
  unsigned char dos[64], pe[24];
  if (!io || !io->readf(dos, 64) || le16(dos) != 0x5A4D) return false;
  unsigned long long peAt = le32(dos + 60), fileSize = io->size();
  if (peAt < 64 || !io->set_fp(peAt) || !io->readf(pe, 24) || le32(pe) != 0x00004550) return false;
  unsigned int sections = le16(pe + 4 + 2), optional = le16(pe + 4 + 16);
  unsigned long long tableAt = peAt + 24 + optional, tableSize = 40ULL * sections;
  if (!sections || !optional || tableAt + tableSize > fileSize || !io->set_fp(tableAt)) return false;
  _typebuf<cWinExeProps::sImageSectionHeader> table;
  table.set(sections);
  for (unsigned int i = 0; i < sections; ++i) {
    unsigned char raw[40];
    if (!io->readf(raw, 40)) return false;
    cWinExeProps::sImageSectionHeader& s = table.ptr[i];
    std::memcpy(s.name, raw, 8);
    s.virtualAddress = le32(raw + 12);
    s.sizeOfRawData = le32(raw + 16);
    s.pointerToRawData = le32(raw + 20);
  }
  static const unsigned char kName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
  for (unsigned int i = 0; i < sections; ++i) {
    const cWinExeProps::sImageSectionHeader& s = table.ptr[i];
    if (std::memcmp(s.name, kName, 8) != 0) continue;
    if (!s.pointerToRawData || !s.sizeOfRawData) return false;
    found.virtualAddress = s.virtualAddress;
    found.offset = s.pointerToRawData;
    found.size = s.sizeOfRawData;
    return true;
  }
  return false;
}

// A directory's id entries, past the named ones that precede them.
bool directoryEntries(const unsigned char* data, long long size, unsigned int offset, unsigned long long& first,
                      unsigned int& count, long long& budget) {
  if (static_cast<long long>(offset) + 16 > size) return false;
  unsigned int named = le16(data + offset + 12);
  count = le16(data + offset + 14);
  first = offset + 16ULL + 8ULL * named;
  budget -= count;
  return budget >= 0 && static_cast<long long>(first + 8ULL * count) <= size;
}

// Where resource data lies in the section's bytes; false when any of it
// lies outside.
bool resourceBytes(const cWinExeProps::sResRef& ref, unsigned int base, long long size, long long& at) {
  if (ref.rva < base) return false;
  at = static_cast<long long>(ref.rva) - base;
  return at + static_cast<long long>(ref.size) <= size;
}

const cWinExeProps::sResLangs* resource(cWinExeProps::tResTypes& types, int type, int name) {
  cWinExeProps::tResNames* names = types.find(type);
  return names ? names->find(name) : nullptr;
}

}  // namespace

bool cWinExeProps::validFor(cFileIOTarget* io) {
  sResourceSection section;
  return findResourceSection(io, section);
}

bool cWinExeProps::parseResources(const unsigned char* data, long long size, tResTypes& types) {
  unsigned long long first;
  unsigned int count;
  long long budget = size / 8;
  if (!directoryEntries(data, size, 0, first, count, budget)) return false;
  types.depthLimit = 512;
  for (unsigned int i = 0; i < count; ++i) {
    const unsigned char* e = data + first + 8ULL * i;
    unsigned int offset = le32(e + 4);
    if (!(offset & kSubdirectory)) return false;
    tResNames* names = types.insert(static_cast<int>(le32(e)));
    names->depthLimit = 512;
    if (!parseResNames(data, size, offset & ~kSubdirectory, *names, budget)) return false;
  }
  return true;
}

bool cWinExeProps::parseResNames(const unsigned char* data, long long size, unsigned int offset,
                                 tResNames& names, long long& budget) {
  unsigned long long first;
  unsigned int count;
  if (!directoryEntries(data, size, offset, first, count, budget)) return false;
  for (unsigned int i = 0; i < count; ++i) {
    const unsigned char* e = data + first + 8ULL * i;
    unsigned int at = le32(e + 4);
    if (!(at & kSubdirectory)) return false;
    if (!parseResLangs(data, size, at & ~kSubdirectory, *names.insert(static_cast<int>(le32(e))), budget))
      return false;
  }
  return true;
}

bool cWinExeProps::parseResLangs(const unsigned char* data, long long size, unsigned int offset,
                                 _List<sResRef>& list, long long& budget) {
  unsigned long long first;
  unsigned int count;
  if (!directoryEntries(data, size, offset, first, count, budget)) return false;
  for (unsigned int i = 0; i < count; ++i) {
    const unsigned char* e = data + first + 8ULL * i;
    unsigned int at = le32(e + 4);
    if ((at & kSubdirectory) || static_cast<long long>(at) + 16 > size) return false;
    sResRef& ref = list.add()->value;
    ref.rva = le32(data + at);
    ref.size = le32(data + at + 4);
    ref.language = le32(e);
  }
  return true;
}

bool cWinExeProps::loadStrProps(cFileIOTarget* block, tStrings& strings, int depth) {
  if (depth >= kMaxVersionDepth) return false;
  unsigned long long remaining = block->size();
  _typebuf<unsigned char> body;
  while (remaining) {
    // An empty block of 4 bytes may close a level with no room for a full header.
    unsigned char header[6] = {};
    unsigned int want = remaining < 6 ? static_cast<unsigned int>(remaining) : 6;
    if (want < 4 || !block->readf(header, want)) return false;
    unsigned int length = le16(header), valueLength = le16(header + 2), type = le16(header + 4);
    if (length == 4) {
      remaining -= 4;
      block->set_fp(block->size() - remaining);
      continue;
    }
    if (want < 6 || length < 6 || length > remaining) return false;
    // The padding after the last block of a level is often left out, and
    // its absence takes nothing away from the block.
    unsigned long long padded = length + (length & 2);
    unsigned long long occupied = padded > remaining ? length : padded;
    body.set(static_cast<long long>(occupied - 6));
    if (body.count && !block->readf(body.ptr, static_cast<unsigned int>(body.count))) return false;
    const unsigned char* units = body.ptr;
    long long keyUnits = 0, unitsHeld = body.count / 2;
    while (keyUnits < unitsHeld && le16(units + 2 * keyUnits)) ++keyUnits;
    if (keyUnits == unitsHeld) return false;  // no terminator inside the block
    long long valueAt = 2 * (keyUnits + keyUnits % 2) + 2, rest = body.count - valueAt;
    if (rest <= 0) return false;
    if (valueLength && type) {
      long long valueUnits = rest / 2 - 1, end = 0;
      while (end < valueUnits && le16(units + valueAt + 2 * end)) ++end;
      _typebuf<unsigned short> key, value;
      key.set(keyUnits + 1);
      value.set(end + 1);
      for (long long k = 0; k < keyUnits; ++k) key.ptr[k] = static_cast<unsigned short>(le16(units + 2 * k));
      for (long long k = 0; k < end; ++k)
        value.ptr[k] = static_cast<unsigned short>(le16(units + valueAt + 2 * k));
      key.ptr[keyUnits] = value.ptr[end] = 0;
      if (valueUnits >= 0) _w2pc(value.ptr, end, *strings.insert(cStringKey(key.ptr, keyUnits)));
    } else if (!valueLength) {
      cBufWrapperIO children(body.ptr + valueAt, rest, false);
      if (!loadStrProps(&children, strings, depth + 1)) return false;
    }
    remaining -= occupied;
  }
  return true;
}

void cWinExeProps::loadVersion(tResTypes& types, const unsigned char* data, long long size, unsigned int base) {
  const sResLangs* langs = resource(types, kVersionType, 1);
  static const struct {
    const char* key;
    int id;
  } kKeys[] = {{"ProductName", kProductName},
               {"FileDescription", kFileDescription},
               {"CompanyName", kCompanyName},
               {"LegalCopyright", kLegalCopyright},
               {"ProductVersion", kProductVersion}};
  for (const sResLangs::sItem* it = langs ? langs->head : nullptr; it; it = it->next) {
    long long at;
    const sResRef& ref = it->value;
    if (ref.size < 92 || !resourceBytes(ref, base, size, at)) continue;
    const unsigned char* info = data + at;
    unsigned long long length = le16(info), childrenAt = 40ULL + le16(info + 2);
    if (le32(info + 40) != kFixedInfoSignature || childrenAt > length || length > ref.size) continue;
    cBufWrapperIO children(const_cast<unsigned char*>(info + childrenAt),
                           static_cast<long long>(length - childrenAt), false);
    tStrings strings;
    strings.depthLimit = 2048;
    if (!loadStrProps(&children, strings)) continue;
    for (const auto& k : kKeys) {
      _guardchar<char>* value = strings.find(cStringKey(k.key, -1));
      if (value && value->ptr) setProp(k.id, value->ptr);
    }
    return;
  }
}

void cWinExeProps::loadIcon(tResTypes& types, const unsigned char* data, long long size, unsigned int base) {
  tResNames* icons = types.find(kIconType);
  if (!icons || !icons->root || myPrefWidth == 0 || myPrefHeight == 0) return;
  struct sChoice {
    const sResRef* ref = nullptr;
    long long at = 0;  // in the section's bytes
    long long w = 0, h = 0;
    bool png = false;
  } largest, fitting;
  for (tResNames::cTreeItem* item = tResNames::leftmost(icons->root); item; item = tResNames::next(item)) {
    long long at;
    if (!item->value.head || !resourceBytes(item->value.head->value, base, size, at)) continue;
    const sResRef& ref = item->value.head->value;
    cBufWrapperIO stream(const_cast<unsigned char*>(data + at), ref.size, false);
    cPictBase::sPictInfo info;
    sChoice icon{&ref, at};
    if (cPictPNG::validFor(&stream, &info)) {
      icon.png = true;
    } else if (!stream.set_fp(0) || !cPictDIB::validFor(&stream, &info, true)) {
      continue;
    }
    icon.w = info.width;
    icon.h = info.height;
    if (!largest.ref || icon.w * icon.h > largest.w * largest.h) largest = icon;
    if ((myPrefWidth < 0 || myPrefWidth > icon.w / 2) && (myPrefHeight < 0 || myPrefHeight > icon.h / 2))
      fitting = icon;
  }
  const sChoice& chosen = fitting.ref ? fitting : largest;
  if (!chosen.ref || chosen.w < 1 || chosen.h < 1) return;
  double r = 1.0;
  if (myPrefWidth >= 1) r = std::fmin(r, static_cast<double>(myPrefWidth) / static_cast<double>(chosen.w));
  if (myPrefHeight >= 1) r = std::fmin(r, static_cast<double>(myPrefHeight) / static_cast<double>(chosen.h));
  long long tw = static_cast<long long>(std::trunc(static_cast<double>(chosen.w) * r + 0.5));
  long long th = static_cast<long long>(std::trunc(static_cast<double>(chosen.h) * r + 0.5));
  cPictDummy picture;
  if (!picture.create(tw < 1 ? 1 : tw, th < 1 ? 1 : th, 0)) return;
  cBufWrapperIO stream(const_cast<unsigned char*>(data + chosen.at), chosen.ref->size, false);
  cPictPNG png;
  cPictDIB dib;
  dib.setUseAlphaBp(true);
  dib.setForcedPalletteLoad(true);
  cPictBase& decoder = chosen.png ? static_cast<cPictBase&>(png) : dib;
  if (picture.width() < chosen.w || picture.height() < chosen.h) {
    cPictBase::sExtPictDef target(&picture);
    target.background = 0xFFFFFFFF;
    if (!decoder.setExtTarget(&target) || !decoder.decode(&stream)) return;
  } else {
    if (!decoder.decode(&stream) || decoder.is16Bpp()) return;
    decoder.moveTo(picture);
  }
  setProp(kPreview, &picture);
}

bool cWinExeProps::load(cFileIOTarget* io, int, bool) {
  sResourceSection section;
  if (!findResourceSection(io, section)) return false;
  // Read whole only when it lies within the file: a forged header would
  // otherwise ask for gigabytes.
  if (section.offset + section.size > io->size() || !io->set_fp(section.offset)) return false;
  _typebuf<unsigned char> data;
  data.set(static_cast<long long>(section.size));
  if (!io->readf(data.ptr, static_cast<unsigned int>(section.size))) return false;
  tResTypes types;
  if (!parseResources(data.ptr, data.count, types)) return false;
  loadVersion(types, data.ptr, data.count, section.virtualAddress);
  loadIcon(types, data.ptr, data.count, section.virtualAddress);
  return true;
}
