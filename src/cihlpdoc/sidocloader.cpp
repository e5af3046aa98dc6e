#include "cihlpdoc/sidocloader.h"

#include <cstring>

#include "base/memio.h"
#include "base/targets.h"
#include "cihlpdoc/sidocbytes.h"
#include "cihlpdoc/sidocfaces.h"
#include "cihlpdoc/sidocinflate.h"
#include "picts/pictbase.h"

using sidoc::le16;
using sidoc::le32;
using sidoc::take;

namespace {

constexpr unsigned char kMagic[8] = {'Z', 'V', 'K', 'H', 'D', 'O', 'C', 'F'};
constexpr unsigned int kNone16 = 0xFFFF;
constexpr long long kHeadSize = 18;

template <typename K, typename V>
void clearMap(cFasterTreeList<K, V>& map) {
  if (map.root) map.destroyRec(map.root);
  map.root = nullptr;
}

// A compressed block of one language, still inside the caller's bytes.
struct sBlock {
  const unsigned char* data = nullptr;
  long long size = 0;
};

// Reads "u32 n, then n bytes" and inflates them; n = 0 gives no bytes.
bool readTable(cSiDocLoader::sLangDecodePtr& c, _typebuf<unsigned char>& out, bool compressed) {
  out.set(0);
  const unsigned char* head = take(c, 4);
  if (!head) return false;
  const long long n = le32(head);
  if (n == 0) return true;
  const unsigned char* body = take(c, n);
  if (!body) return false;
  if (!compressed) {
    out.set(n);
    std::memcpy(out.ptr, body, static_cast<size_t>(n));
    return true;
  }
  return inflateBounded(body, n, cSiDocLoader::kMaxInflated, out);
}

}  // namespace

void cSiDocLoader::destroy() {
  clearMap(myRoots);
  clearMap(myFonts);
  clearMap(myLinks);
  clearMap(myPictures);
}

cSiDocContainer* cSiDocLoader::forLang(int lang) {
  cPtr<cSiDocContainer>* root = myRoots.find(lang);
  return root ? root->ptr : nullptr;
}

bool cSiDocLoader::load(char* path) {
  destroy();
  if (!path) return false;
  cFileIO file;
  if (!file.open(path, fmRead)) return false;
  const unsigned long long size = file.size();
  // Nothing this large is a document; the bound also keeps the read in one piece.
  if (size == 0 || size > 0x7FFFFFFFull) return false;
  _typebuf<unsigned char> bytes;
  try {
    bytes.set(static_cast<long long>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!file.readf(bytes.ptr, static_cast<unsigned int>(size))) return false;
  return load(bytes.ptr, bytes.count);
}

bool cSiDocLoader::load(unsigned char* data, long long size) {
  destroy();
  if (!data || size < 13 || std::memcmp(data, kMagic, sizeof kMagic) != 0) return false;
  sLangDecodePtr c{data + 8, size - 8};
  if (*c.data == eRecEnd) return false;

  cFasterTreeList<int, sBlock> blocks;
  for (;;) {
    const unsigned char* id = take(c, 1);
    if (!id) return false;
    if (*id == eRecEnd) break;
    const unsigned char* head = take(c, 4);
    if (!head) return false;
    const long long n = le32(head);
    const unsigned char* body = n ? take(c, n) : nullptr;
    if (!body || blocks.find(*id)) return false;
    *blocks.insert(*id) = {body, n};
  }

  _typebuf<unsigned char> table;
  if (!readTable(c, table, true) || (table.count && !decodeFontDefs(table.ptr, table.count))) return false;
  if (!readTable(c, table, true) || (table.count && !decodeStringDefs(table.ptr, table.count))) return false;
  if (!readTable(c, table, false) || (table.count && !getImages(table.ptr, table.count))) return false;

  for (auto* b = blocks.root ? blocks.leftmost(blocks.root) : nullptr; b; b = blocks.next(b)) {
    _typebuf<unsigned char> stream;
    if (!inflateBounded(b->value.data, b->value.size, kMaxInflated, stream)) return false;
    cSiDocContainer* root = new cSiDocContainer;
    *myRoots.insert(b->key) = root;
    sLangDecodePtr records{stream.ptr, stream.count};
    if (!processLang(root, records, 0)) return false;
  }
  return true;
}

bool cSiDocLoader::decodeFontDefs(unsigned char* data, long long size) {
  if (size % 8) return false;
  for (long long at = 0; at < size; at += 8) {
    const unsigned char* e = data + at;
    const char* face = siDocFaceName(le16(e));
    if (!face) return false;
    const unsigned int flags = le16(e + 6);
    cFontObject* font = cFontObject::get(static_cast<int>(le16(e + 2)), static_cast<int>(le16(e + 4)), face,
                                         flags & 1, flags & 4, flags & 2);
    if (!font) return false;
    *myFonts.insert(static_cast<int>(at / 8)) = font;
  }
  return true;
}

bool cSiDocLoader::decodeStringDefs(unsigned char* data, long long size) {
  sLangDecodePtr c{data, size};
  for (int index = 0; c.left > 0; ++index) {
    const unsigned char* head = take(c, 2);
    if (!head) return false;
    const long long n = le16(head);
    const unsigned char* text = take(c, n);
    if (!text) return false;
    myLinks.insert(index)->set(reinterpret_cast<const char*>(text), n);
  }
  return true;
}

bool cSiDocLoader::getImages(unsigned char* data, long long size) {
  sLangDecodePtr c{data, size};
  for (int index = 0; c.left > 0;) {
    const unsigned char* head = take(c, 4);
    if (!head) return false;
    const long long n = le32(head);
    if (n == 0) continue;
    const unsigned char* bytes = take(c, n);
    if (!bytes) return false;
    cBufWrapperIO io(const_cast<unsigned char*>(bytes), n, false);
    cPtr<cPictBase> decoder(cPictBase::mkPicture(&io, nullptr));
    if (!decoder || !io.set_fp(0) || !decoder->decode(&io)) return false;
    if (__bmp_res_inversed && !decoder->flip()) return false;
    const long long w = decoder->width(), h = decoder->height();
    if (w <= 0 || h <= 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
    _typebuf<unsigned int> pixels;
    if (!decoder->moveToColorData(pixels) || !pixels.count) return false;
    cPtr<cPicture> picture(new cPicture);
    if (!picture->create_on(pixels, static_cast<int>(w), static_cast<int>(h))) return false;
    *myPictures.insert(index++) = picture.ptr;
    picture.ptr = nullptr;
  }
  return true;
}

bool cSiDocLoader::processLang(cSiDocContainer* parent, sLangDecodePtr& cursor, int depth) {
  for (;;) {
    const unsigned char* type = take(cursor, 1);
    if (!type) return false;
    if (*type == eRecEnd) return true;
    if (*type > eRecImageLink) return false;
    // The type byte goes back so that each record is read from its head.
    --cursor.data;
    ++cursor.left;

    cSiDocBox* box = nullptr;
    switch (*type) {
      case eRecText:
        box = new cSiDocText;
        break;
      case eRecLink:
        box = new cSiDocLink;
        break;
      case eRecImage:
        box = new cSiDocImage;
        break;
      case eRecImageLink:
        box = new cSiDocImageLink;
        break;
      default:
        if (depth >= kMaxDepth) return false;
        box = new cSiDocContainer;
        break;
    }
    parent->addChild(box);
    if (!readBox(box, *type, cursor)) return false;
    if (*type == eRecContainer && !processLang(static_cast<cSiDocContainer*>(box), cursor, depth + 1))
      return false;
    if (cursor.left == 0) return false;
  }
}

bool cSiDocLoader::readBox(cSiDocBox* box, int type, sLangDecodePtr& cursor) {
  static constexpr long long kFixed[] = {26, 20, 25, 28, 20};
  if (cursor.left < kFixed[type]) return false;
  const unsigned char* h = take(cursor, kHeadSize);
  const int left = le16(h + 6), right = le16(h + 8), top = le16(h + 10), bottom = le16(h + 12);
  if (left || right || top || bottom) box->setMargins(left, top, right, bottom);
  if (le16(h + 14) != kNone16) box->setWidth(le16(h + 14));
  if (le16(h + 16) != kNone16) box->setHeight(le16(h + 16));
  if (le32(h + 1) != kSiDocNoColor) box->setBgColor(le32(h + 1));
  if (h[5]) box->setBreak(true);

  switch (type) {
    case eRecText:
      return readTextRun(static_cast<cSiDocText*>(box), cursor, false);
    case eRecLink:
      return readTextRun(static_cast<cSiDocText*>(box), cursor, true);
    case eRecContainer: {
      auto* container = static_cast<cSiDocContainer*>(box);
      const unsigned char* p = take(cursor, 7);
      if (le32(p) != kSiDocNoColor) container->setColor(le32(p));
      container->setAlign(static_cast<cSiDocContainer::eAlign>(p[6]));
      if (le16(p + 4) == kNone16) return true;
      cFontObject** font = myFonts.find(static_cast<int>(le16(p + 4)));
      if (!font) return false;
      container->refFont(*font);
      return true;
    }
    default: {
      auto* image = static_cast<cSiDocImage*>(box);
      const unsigned int index = le16(take(cursor, 2));
      if (index != kNone16) {
        cPtr<cPicture>* picture = myPictures.find(static_cast<int>(index));
        if (!picture) return false;
        image->refImage(picture->ptr);
      }
      if (type != eRecImageLink) return true;
      const unsigned char* link = take(cursor, 2);
      if (!link) return false;
      _guardchar<char>* target = myLinks.find(static_cast<int>(le16(link)));
      if (!target) return false;
      static_cast<cSiDocImageLink*>(box)->refRef(target->ptr);
      return true;
    }
  }
}

bool cSiDocLoader::readTextRun(cSiDocText* box, sLangDecodePtr& cursor, bool link) {
  const unsigned char* p = take(cursor, link ? 10 : 8);
  if (le32(p) != kSiDocNoColor) box->setColor(le32(p));
  if (le16(p + 4) != kNone16) {
    cFontObject** font = myFonts.find(static_cast<int>(le16(p + 4)));
    if (!font) return false;
    box->refFont(*font);
  }
  if (link && le16(p + 8) != kNone16) {
    _guardchar<char>* target = myLinks.find(static_cast<int>(le16(p + 8)));
    if (!target) return false;
    static_cast<cSiDocLink*>(box)->refRef(target->ptr);
  }
  const long long n = le16(p + 6);
  if (n == 0) return true;
  const unsigned char* text = take(cursor, n);
  if (!text) return false;
  box->setText(reinterpret_cast<const char*>(text), n);
  return true;
}
