// The language block format: sections of indexed strings, the "CIOMLANG"
// table inflated from a block, and the block header around it.
#include "ciom/ciomlang.h"

#include <zlib.h>

#include <cstring>
#include <vector>

#include "base/folder.h"
#include "base/targets.h"
#include "base/textconv.h"
#include "compression/zcommon.h"
#include "compression/zdeflate.h"

namespace {

constexpr char kBlockMagic[8] = {'C', 'I', 'O', 'M', 'L', 'A', 'F', 'I'};
constexpr char kTableMagic[8] = {'C', 'I', 'O', 'M', 'L', 'A', 'N', 'G'};
constexpr long long kHeaderSize = 20;
constexpr unsigned int kAbsent = 65535;
constexpr int kTableLevel = 5;

unsigned int u16At(const unsigned char* p) { return p[0] | p[1] << 8; }
unsigned long long u32At(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<unsigned long long>(p[3]) << 24;
}
void putU16(std::vector<unsigned char>& out, unsigned int v) {
  out.push_back(static_cast<unsigned char>(v));
  out.push_back(static_cast<unsigned char>(v >> 8));
}
void putU32(std::vector<unsigned char>& out, unsigned long long v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void putBytes(std::vector<unsigned char>& out, const void* p, unsigned long long n) {
  const auto* bytes = static_cast<const unsigned char*>(p);
  out.insert(out.end(), bytes, bytes + n);
}

// The kind cut to the field or padded with spaces.
void kindField(const char* kind, char field[8]) {
  std::memset(field, ' ', 8);
  std::memcpy(field, kind, strnlen(kind, 8));
}

bool toBuffer(const std::vector<unsigned char>& bytes, _typebuf<unsigned char>& out) {
  out.set(static_cast<long long>(bytes.size()));
  if (!bytes.empty()) std::memcpy(out.ptr, bytes.data(), bytes.size());
  return true;
}

}  // namespace

bool cCiomLangData::create(const void* data, long long size) {
  destroy();
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (!bytes || size < 4) return false;
  long long slots = u16At(bytes);
  long long at = 2 + 2 * slots;
  if (slots == 0 || at > size) return false;
  strings.set(slots);
  for (long long i = 0; i < slots; ++i) {
    unsigned int length = u16At(bytes + 2 + 2 * i);
    if (length == kAbsent) continue;
    if (length > size - at) return false;
    strings.ptr[i].set(reinterpret_cast<const char*>(bytes + at), length);
    at += length;
  }
  return true;
}

bool cCiomLangData::create(cFasterTreeList<unsigned short, _guardchar<char>>& texts) {
  destroy();
  if (!texts.root) return false;
  // Slot 65535 would need a count the stored form cannot hold.
  auto* last = texts.rightmost(texts.root);
  if (last->key >= kAbsent) return false;
  strings.set(last->key + 1);
  for (auto* item = texts.leftmost(texts.root); item; item = texts.next(item))
    strings.ptr[item->key].set(item->value.ptr);
  return true;
}

bool cCiomLangData::raw(_typebuf<unsigned char>& out) {
  if (strings.count == 0 || strings.count > 0xFFFF) return false;
  std::vector<unsigned char> bytes;
  putU16(bytes, static_cast<unsigned int>(strings.count));
  unsigned long long textBytes = 0;
  for (long long i = 0; i < strings.count; ++i) {
    const char* text = strings.ptr[i].ptr;
    size_t length = text ? std::strlen(text) : kAbsent;
    // A longer text would be stored cut, or read back as an absent one.
    if (text && length >= kAbsent) return false;
    putU16(bytes, static_cast<unsigned int>(length));
    if (text) textBytes += length;
  }
  bytes.reserve(bytes.size() + textBytes);
  for (long long i = 0; i < strings.count; ++i)
    if (const char* text = strings.ptr[i].ptr) putBytes(bytes, text, std::strlen(text));
  return toBuffer(bytes, out);
}

char* cCiomLangData::string(long long i) {
  return i < 0 || i >= strings.count ? nullptr : strings.ptr[i].ptr;
}

void cCiomLang::setIdentity(const char* newCode, const char* newName) {
  std::memset(code, 0, sizeof code);
  if (newCode) std::memcpy(code, newCode, strnlen(newCode, 3));
  name.set(newName);
}

bool cCiomLang::create(const char* newCode, const char* newName) {
  if (sections.root) sections.destroyRec(sections.root);
  sections.root = nullptr;
  setIdentity(newCode, newName);
  return true;
}

bool cCiomLang::create(const char* newCode, const char* newName, const void* data, long long size) {
  if (!loadCiomLang(data, size, sections)) return false;
  setIdentity(newCode, newName);
  return true;
}

bool loadCiomLang(const void* data, long long size, cFasterTreeList<cStringKey, cCiomLangData>& sections) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (!bytes || size < 4) return false;
  unsigned long long plainSize = u32At(bytes);
  // Only the magic is no table: at least one section must follow it.
  if (plainSize <= sizeof kTableMagic || plainSize > kCiomLangMaxPlain) return false;
  _typebuf<unsigned char> plain;
  plain.set(static_cast<long long>(plainSize));
  z_stream stream;
  if (!startInflate(stream)) return false;
  stream.next_in = const_cast<unsigned char*>(bytes + 4);
  stream.avail_in = zlibCount(static_cast<unsigned long long>(size - 4));
  stream.next_out = plain.ptr;
  stream.avail_out = static_cast<unsigned int>(plainSize);
  int result = inflate(&stream, Z_FINISH);
  inflateEnd(&stream);
  // The whole stream, checksum included, and exactly the declared size: a
  // shorter one would leave the walk reading bytes never written.
  if (result != Z_STREAM_END || stream.total_out != plainSize ||
      std::memcmp(plain.ptr, kTableMagic, sizeof kTableMagic) != 0)
    return false;

  unsigned long long at = sizeof kTableMagic;
  while (at < plainSize) {
    unsigned long long left = plainSize - at;
    if (left < 4) return false;
    unsigned long long nameSize = u32At(plain.ptr + at);
    if (nameSize > left - 4) return false;
    const char* name = reinterpret_cast<const char*>(plain.ptr + at + 4);
    at += 4 + nameSize;
    left = plainSize - at;
    if (left < 4) return false;
    unsigned long long dataSize = u32At(plain.ptr + at);
    if (dataSize > left - 4) return false;
    cStringKey key(name, static_cast<long long>(strnlen(name, nameSize)));
    if (!sections.insert(key)->create(plain.ptr + at + 4, static_cast<long long>(dataSize))) return false;
    at += 4 + dataSize;
  }
  return true;
}

bool saveCiomLang(cFasterTreeList<cStringKey, cCiomLangData>& sections, _typebuf<unsigned char>& out) {
  std::vector<unsigned char> plain;
  putBytes(plain, kTableMagic, sizeof kTableMagic);
  for (auto* item = sections.root ? sections.leftmost(sections.root) : nullptr; item;
       item = sections.next(item)) {
    _typebuf<char> name;
    _typebuf<unsigned char> data;
    item->key.utf8(name);
    if (!item->value.raw(data)) return false;
    putU32(plain, static_cast<unsigned long long>(name.count));
    putBytes(plain, name.ptr, static_cast<unsigned long long>(name.count));
    putU32(plain, static_cast<unsigned long long>(data.count));
    putBytes(plain, data.ptr, static_cast<unsigned long long>(data.count));
  }
  if (plain.size() > 0x7FFFFFFF) return false;
  unsigned int plainSize = static_cast<unsigned int>(plain.size());
  // Twice the plain size, but never less than what zlib promises for the
  // few bytes of a nearly empty table.
  unsigned long long room = 2ull * plainSize;
  if (room < compressBound(plainSize)) room = compressBound(plainSize);
  std::vector<unsigned char> block(4 + room);
  cZDeflate deflater(kTableLevel);
  unsigned int packed =
      deflater.deflate(plain.data(), plainSize, block.data() + 4, static_cast<unsigned int>(room));
  if (packed == 0) return false;
  for (int i = 0; i < 4; ++i) block[i] = static_cast<unsigned char>(plainSize >> (8 * i));
  block.resize(4 + packed);
  return toBuffer(block, out);
}

bool loadCiomLangData(const void* data, long long size, cCiomLang& store) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  // The whole header, the name and the plain size must be there before
  // any of them is read.
  if (!bytes || size < kHeaderSize + 4 || std::memcmp(bytes, kBlockMagic, sizeof kBlockMagic) != 0)
    return false;
  long long nameSize = bytes[19];
  if (size - kHeaderSize - 4 < nameSize) return false;
  char code[4] = {static_cast<char>(bytes[16]), static_cast<char>(bytes[17]), static_cast<char>(bytes[18]),
                  0};
  _guardchar<char> name;
  _a2pc(reinterpret_cast<const char*>(bytes + kHeaderSize), nameSize, name);
  return store.create(code, name.ptr, bytes + kHeaderSize + nameSize, size - kHeaderSize - nameSize);
}

bool saveCiomLangData(const char* kind, cCiomLang& store, _typebuf<unsigned char>& out) {
  _typebuf<unsigned char> table;
  if (!kind || !saveCiomLang(store.sections, table)) return false;
  _typebuf<char> name;
  if (store.name.ptr) _pc2a(store.name.ptr, -1, name);
  long long nameSize = name.count > 255 ? 255 : name.count;

  std::vector<unsigned char> block;
  putBytes(block, kBlockMagic, sizeof kBlockMagic);
  char field[8];
  kindField(kind, field);
  putBytes(block, field, sizeof field);
  putBytes(block, store.code, 3);
  block.push_back(static_cast<unsigned char>(nameSize));
  putBytes(block, name.ptr, static_cast<unsigned long long>(nameSize));
  putBytes(block, table.ptr, static_cast<unsigned long long>(table.count));
  return toBuffer(block, out);
}

bool loadCiomLangFile(const char* path, cCiomLang& store) {
  cFileIO file;
  if (!path || !file.open(path, fmRead)) return false;
  unsigned long long size = file.size();
  if (size > static_cast<unsigned long long>(kCiomLangMaxPlain)) return false;
  _typebuf<unsigned char> bytes;
  bytes.set(static_cast<long long>(size));
  return size && file.readf(bytes.ptr, static_cast<unsigned int>(size)) &&
         loadCiomLangData(bytes.ptr, bytes.count, store);
}

bool saveCiomLangFile(const char* kind, const char* path, cCiomLang& store) {
  _typebuf<unsigned char> block;
  cFileIO file;
  return path && saveCiomLangData(kind, store, block) && file.create(path, fmWrite) &&
         file.writef(block.ptr, static_cast<unsigned int>(block.count));
}

bool findCiomLangFiles(const char* folder, const char* kind,
                       cFasterTreeList<int, sCiomLangDescrInfo>& found) {
  if (found.root) found.destroyRec(found.root);
  found.root = nullptr;
  cFolderContents listing;
  if (!kind || cFolderContents::objtype(folder) != fotFolder || !listing.init(folder, true)) return false;
  char wanted[8];
  kindField(kind, wanted);
  int number = 0;
  for (int i = 0; i < listing.count(); ++i) {
    sFolderItemInfo* item = listing.info(i);
    _guardchar<char> path;
    cFileIO file;
    unsigned char header[kHeaderSize];
    char name[255];
    if (item->type != fotFile || !cFolderContents::wcmatch(item->name.ptr, "*.laci") ||
        !listing.path(i, path) || !file.open(path.ptr, fmRead) || !file.readf(header, sizeof header) ||
        std::memcmp(header, kBlockMagic, sizeof kBlockMagic) != 0 ||
        std::memcmp(header + 8, wanted, 8) != 0 || !file.readf(name, header[19]))
      continue;
    sCiomLangDescrInfo* info = found.insert(number++);
    std::memcpy(info->code, header + 16, 3);
    _a2pc(name, header[19], info->name);
    info->path.set(path.ptr);
  }
  return true;
}
