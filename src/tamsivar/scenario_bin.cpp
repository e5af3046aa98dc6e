// The binary scenario: a 49-byte header ("ZVKSOPKG", format, the plain and
// compressed sizes of the body, the SHA-256 of the plain body) and the body
// as one zlib stream of tagged sections.
#include <cstring>
#include <new>
#include <string>

#include "base/memio.h"
#include "compression/zdeflate.h"
#include "compression/zpieces.h"
#include "hash/sha256.h"
#include "tamsivar/fieldio.h"
#include "tamsivar/scenario.h"

namespace {

constexpr char kMagic[8] = {'Z', 'V', 'K', 'S', 'O', 'P', 'K', 'G'};
constexpr unsigned int kHeaderSize = 49;
constexpr unsigned int kHeaderAfterMagic = kHeaderSize - sizeof kMagic;
constexpr unsigned char kEntry = 0x01, kEnd = 0x00, kLangEnd = 0xFF;
// Deflate cannot shrink data by more than about 1032 to 1, so a header
// claiming more plain bytes than that lies about one of its sizes.
constexpr unsigned long long kMaxRatio = 1032, kRatioSlack = 64;
constexpr int kMaxLangID = 10;

enum eTag : unsigned char {
  tEnd = 0, tVersion = 1, tIcon = 2, tMenu = 3, tFiles = 4, tRuns = 5, tStrings = 6, tLangs = 7,
  tParams = 8, tWelcome = 9, tReadme = 10, tEula = 11, tDeprecates = 12, tPackage = 13,
};

bool putPath(cFileIOTarget& out, cSoftPkgScenario::sPathDef& def) {
  return ifPutStr(out, def.var) && ifPutStr(out, def.rest);
}

bool getPath(cFileIOTarget& in, cSoftPkgScenario::sPathDef& def) {
  return ifGetStr(in, def.var) && ifGetStr(in, def.rest);
}

bool putBlock(cFileIOTarget& out, const void* data, unsigned long long size) {
  return size <= 0xFFFF && writeU16(out, static_cast<unsigned int>(size)) &&
         (!size || out.writef(const_cast<void*>(data), static_cast<unsigned int>(size)));
}

bool putDoc(cFileIOTarget& out, sScenarioDoc& doc) {
  if (doc.bytes.count > 0xFFFFFFFFll) return false;
  return writeU32(out, static_cast<unsigned int>(doc.bytes.count)) &&
         writeBlock(out, doc.bytes.ptr, static_cast<unsigned long long>(doc.bytes.count));
}

bool validLangID(int id) { return id >= 0 && id <= kMaxLangID; }

// A list section: entries behind 0x01 markers until 0x00; any other marker
// is damage.
template <typename T, typename ReadEntry>
bool readList(cFileIOTarget& in, _List<T>& list, ReadEntry readEntry) {
  for (;;) {
    unsigned char marker;
    if (!readU8(in, marker)) return false;
    if (marker == kEnd) return true;
    if (marker != kEntry || !readEntry(list.add()->value)) return false;
  }
}

}  // namespace

bool ifPutStr(cFileIOTarget& out, _guardchar<char>& text) {
  return putBlock(out, text.ptr, text.ptr ? std::strlen(text.ptr) : 0);
}

bool ifGetStr(cFileIOTarget& in, _guardchar<char>& text) {
  text.set(nullptr);
  unsigned short length;
  if (!readU16(in, length)) return false;
  if (!length) return true;
  char bytes[65536];
  if (!in.readf(bytes, length)) return false;
  text.set(bytes, length);
  return true;
}

bool saveLang(cFileIOTarget& out, tScenarioTable& table) {
  for (auto* it = table.root ? table.leftmost(table.root) : nullptr; it; it = table.next(it)) {
    // The key goes out as its packed words, so its length is a multiple of
    // four; an empty key could not be read back.
    _typebuf<char> key;
    it->key.utf8(key);
    if (!key.count || !writeU8(out, kEntry) || !putBlock(out, key.ptr, static_cast<unsigned long long>(key.count)) ||
        !ifPutStr(out, it->value))
      return false;
  }
  return writeU8(out, kEnd);
}

bool loadLang(cFileIOTarget& in, tScenarioTable& table) {
  char key[65536];
  for (;;) {
    unsigned char marker;
    unsigned short length;
    if (!readU8(in, marker)) return false;
    if (marker == kEnd) return true;
    if (marker != kEntry || !readU16(in, length) || !length || !in.readf(key, length)) return false;
    // The padding of the key's last word ends it.
    const size_t keyLength = strnlen(key, length);
    cStringKey k(key, static_cast<long long>(keyLength));
    if (!k.words.count || table.find(k)) return false;
    // No package may set the system's own variables.
    if (cSoftPkgScenario::isKnownConstantID(std::string(key, keyLength).c_str())) return false;
    if (!ifGetStr(in, *table.insert(k))) return false;
  }
}

bool cSoftPkgScenario::saveBinConfig(cFileIOTarget* target) {
  if (!target || !target->writef(const_cast<char*>(kMagic), sizeof kMagic)) return false;
  cMemIOTarget body(65536);
  bool ok = writeU8(body, tVersion);
  for (unsigned int part : ver) ok = ok && writeU32(body, part);
  ok = ok && ifPutStr(body, support) && ifPutStr(body, publisher) && ifPutStr(body, updates);

  if (ok && strings.root) ok = writeU8(body, tStrings) && saveLang(body, strings);
  if (ok && langStrings.root) {
    ok = writeU8(body, tLangs);
    for (auto* it = langStrings.leftmost(langStrings.root); ok && it; it = langStrings.next(it))
      ok = validLangID(it->key) && writeU8(body, static_cast<unsigned char>(it->key)) && saveLang(body, it->value);
    ok = ok && writeU8(body, kLangEnd);
  }
  if (ok && icon.var.ptr && *icon.var.ptr) ok = writeU8(body, tIcon) && putPath(body, icon);
  if (ok && menu.head) {
    ok = writeU8(body, tMenu);
    for (auto* it = menu.head; ok && it; it = it->next) {
      sInMenuDef& m = it->value;
      ok = writeU8(body, kEntry) && ifPutStr(body, m.caption) && putPath(body, m.program) &&
           ifPutStr(body, m.arguments) && putPath(body, m.icon) && ifPutStr(body, m.comment) && writeU8(body, m.flags);
    }
    ok = ok && writeU8(body, kEnd);
  }
  if (ok && files.head) {
    ok = writeU8(body, tFiles);
    for (auto* it = files.head; ok && it; it = it->next) {
      sIntFileDef& f = it->value;
      unsigned int bits = (f.for32 ? 1u : 0u) | (f.for64 ? 2u : 0u);
      unsigned int flags = f.perms[2] | f.perms[1] << 8 | f.perms[0] << 16 | bits << 24;
      ok = writeU8(body, kEntry) && writeU32(body, f.index) && writeU32(body, flags) && putPath(body, f.target);
      for (auto* lang = f.langs.head; ok && lang; lang = lang->next)
        ok = validLangID(lang->value) && writeU8(body, static_cast<unsigned char>(lang->value));
      ok = ok && writeU8(body, kLangEnd);
    }
    ok = ok && writeU8(body, kEnd);
  }
  if (ok && runs.head) {
    ok = writeU8(body, tRuns);
    for (auto* it = runs.head; ok && it; it = it->next) {
      sOnCompletionRunInt& r = it->value;
      ok = writeU8(body, kEntry) && writeU8(body, r.checked & 1) && ifPutStr(body, r.caption) &&
           putPath(body, r.program) && ifPutStr(body, r.arguments);
    }
    ok = ok && writeU8(body, kEnd);
  }
  if (ok && params.head) {
    ok = writeU8(body, tParams);
    for (auto* it = params.head; ok && it; it = it->next) {
      sDefineParam& p = it->value;
      ok = p.name.ptr && *p.name.ptr && writeU8(body, kEntry) && putBlock(body, p.name.ptr, std::strlen(p.name.ptr)) &&
           putBlock(body, p.data.ptr, static_cast<unsigned long long>(p.data.count));
    }
    ok = ok && writeU8(body, kEnd);
  }
  if (ok && deprecates.head) {
    ok = writeU8(body, tDeprecates);
    for (auto* it = deprecates.head; ok && it; it = it->next) {
      sDeprecateItem& d = it->value;
      ok = d.codename.ptr && *d.codename.ptr && writeU8(body, kEntry) && ifPutStr(body, d.codename) &&
           writeU16(body, d.version);
    }
    ok = ok && writeU8(body, kEnd);
  }
  if (ok && !welcomeDoc.empty()) ok = writeU8(body, tWelcome) && putDoc(body, welcomeDoc);
  if (ok && !readmeDoc.empty()) ok = writeU8(body, tReadme) && writeU8(body, readmeAccept & 1) && putDoc(body, readmeDoc);
  if (ok && !eulaDoc.empty()) ok = writeU8(body, tEula) && putDoc(body, eulaDoc);
  if (ok && pkg.count) ok = writeU8(body, tPackage) && pkg.savePackage(&body);
  ok = ok && writeU8(body, tEnd);
  if (!ok || body.size() > 0xFFFFFFFFull) return false;

  try {
    _typebuf<unsigned char> plain, packed;
    if (!body.toBuffer(plain)) return false;
    body.close();
    unsigned char header[kHeaderAfterMagic];
    header[0] = 1;
    putU32(header + 1, static_cast<unsigned int>(plain.count));
    _SHA2Hash(plain.ptr, header + 9, plain.count);
    unsigned long long bound = zDeflateBound(static_cast<unsigned long long>(plain.count));
    packed.set(static_cast<long long>(bound > 0xFFFFFFFFull ? 0xFFFFFFFFull : bound));
    unsigned int packedSize = cZDeflate(9).deflate(plain.ptr, static_cast<unsigned int>(plain.count), packed.ptr,
                                                   static_cast<unsigned int>(packed.count));
    if (!packedSize) return false;
    putU32(header + 5, packedSize);
    return target->writef(header, sizeof header) && writeBlock(*target, packed.ptr, packedSize);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool cSoftPkgScenario::loadBinConfig(cFileIOTarget* target) {
  close();
  if (!target) return false;
  unsigned char header[kHeaderSize];
  if (!target->readf(header, kHeaderSize) || std::memcmp(header, kMagic, sizeof kMagic) != 0 || header[8] > 1)
    return false;
  unsigned int plainSize = header[9] | header[10] << 8 | header[11] << 16 | static_cast<unsigned int>(header[12]) << 24;
  unsigned int packedSize = header[13] | header[14] << 8 | header[15] << 16 | static_cast<unsigned int>(header[16]) << 24;
  unsigned long long total = target->size();
  // The target's size bounds the bytes left after the header, and the
  // compressed size bounds the plain one: both are checked before anything
  // is allocated.
  if (!plainSize || !packedSize || total < kHeaderSize || packedSize > total - kHeaderSize ||
      plainSize > packedSize * kMaxRatio + kRatioSlack)
    return false;
  _typebuf<unsigned char> packed, plain;
  try {
    packed.set(packedSize);
    if (!readBlock(*target, packed.ptr, packedSize)) return false;
    plain.set(plainSize);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // The stream must end exactly at the compressed size, its check value
  // included: a damaged trailer is damage even when the bytes come out right.
  if (!zInflateExact(packed.ptr, packedSize, plain.ptr, plainSize)) return false;
  packed.set(0);
  unsigned char digest[32];
  _SHA2Hash(plain.ptr, digest, plainSize);
  if (std::memcmp(digest, header + 17, 32) != 0) return false;

  cBufWrapperIO in(plain.ptr, plainSize, false);
  auto readDoc = [&](sScenarioDoc& doc) {
    unsigned int size;
    if (!readU32(in, size) || !size || size > static_cast<unsigned long long>(in.bufSize - in.position)) return false;
    if (!doc.load(plain.ptr + in.position, size)) return false;
    return in.set_fp(static_cast<unsigned long long>(in.position) + size);
  };
  for (;;) {
    unsigned char tag;
    if (!readU8(in, tag)) return false;
    bool ok = false;
    switch (tag) {
      case tEnd:
        return bodyValid();
      case tVersion:
        ok = readU32(in, ver[0]) && readU32(in, ver[1]) && readU32(in, ver[2]) && readU32(in, ver[3]) &&
             ifGetStr(in, support) && ifGetStr(in, publisher) && ifGetStr(in, updates);
        break;
      case tIcon:
        ok = getPath(in, icon);
        break;
      case tMenu:
        ok = readList(in, menu, [&](sInMenuDef& m) {
          return ifGetStr(in, m.caption) && getPath(in, m.program) && ifGetStr(in, m.arguments) &&
                 getPath(in, m.icon) && ifGetStr(in, m.comment) && readU8(in, m.flags);
        });
        break;
      case tFiles:
        ok = readList(in, files, [&](sIntFileDef& f) {
          unsigned char flags[4];
          if (!readU32(in, f.index) || !in.readf(flags, 4) || !getPath(in, f.target)) return false;
          for (int i = 0; i < 3; ++i) {
            f.perms[2 - i] = flags[i];
            if (flags[i] > 8) return false;
          }
          f.for32 = flags[3] & 1;
          f.for64 = (flags[3] >> 1) & 1;
          for (;;) {
            unsigned char lang;
            if (!readU8(in, lang)) return false;
            if (lang == kLangEnd) return true;
            if (lang > kMaxLangID) return false;
            f.langs.add()->value = lang;
          }
        });
        break;
      case tRuns:
        ok = readList(in, runs, [&](sOnCompletionRunInt& r) {
          if (!readU8(in, r.checked)) return false;
          r.checked &= 1;
          return ifGetStr(in, r.caption) && getPath(in, r.program) && ifGetStr(in, r.arguments);
        });
        break;
      case tParams:
        ok = readList(in, params, [&](sDefineParam& p) {
          unsigned short nameLength, dataLength;
          char name[65536];
          if (!readU16(in, nameLength) || !nameLength || !in.readf(name, nameLength)) return false;
          p.name.set(name, nameLength);
          if (!readU16(in, dataLength)) return false;
          p.data.set(dataLength);
          return !dataLength || in.readf(p.data.ptr, dataLength);
        });
        break;
      case tStrings:
        ok = loadLang(in, strings);
        break;
      case tLangs:
        for (;;) {
          unsigned char lang;
          if (!readU8(in, lang)) break;
          if (lang == kLangEnd) {
            ok = true;
            break;
          }
          if (lang > kMaxLangID || langStrings.find(lang) || !loadLang(in, *declareLang(lang))) break;
        }
        break;
      case tWelcome:
        ok = readDoc(welcomeDoc);
        break;
      case tReadme:
        ok = readU8(in, readmeAccept) && readDoc(readmeDoc);
        readmeAccept &= 1;
        break;
      case tEula:
        ok = readDoc(eulaDoc);
        break;
      case tDeprecates:
        ok = readList(in, deprecates,
                      [&](sDeprecateItem& d) { return ifGetStr(in, d.codename) && readU16(in, d.version); });
        break;
      case tPackage: {
        // The stream sees exactly the bytes left in the body, so no item can
        // claim more than those.
        unsigned long long start = static_cast<unsigned long long>(in.position);
        cFileIOSubRange rest(&in, start, static_cast<unsigned long long>(in.bufSize) - start);
        ok = pkg.loadPackage(&rest) && in.set_fp(start + rest.position);
        break;
      }
      default:
        break;
    }
    if (!ok) return false;
  }
}

// What the sections may only be checked against once all of them are in:
// every variable a definition names must be defined for every declared
// language, every file must name an item the package has, and no file may
// climb out of its folder. A definition without a variable is resolved
// without the tables, so it has nothing to check.
bool cSoftPkgScenario::bodyValid() {
  int badLang;
  auto defined = [&](const char* name) { return isValidDef(name, badLang); };
  auto pathDefined = [&](sPathDef& def) { return !def.var.ptr || !*def.var.ptr || defined(def.var.ptr); };
  if (!pathDefined(icon)) return false;
  for (auto* it = menu.head; it; it = it->next)
    if (!defined(it->value.caption.ptr) || !pathDefined(it->value.program) || !pathDefined(it->value.icon))
      return false;
  for (auto* it = files.head; it; it = it->next)
    if (!pathDefined(it->value.target) || it->value.index >= pkg.count || restLeavesFolder(it->value.target.rest.ptr))
      return false;
  for (auto* it = runs.head; it; it = it->next)
    if (!defined(it->value.caption.ptr) || !pathDefined(it->value.program)) return false;
  return true;
}

bool startsBinScenario(cFileIOTarget& in) {
  char magic[sizeof kMagic];
  return in.readf(magic, sizeof magic) && std::memcmp(magic, kMagic, sizeof kMagic) == 0;
}
