// Binary documents written field by field for the tests, independently of
// the compiler: the record heads, the tables and the language blocks, with
// the streams compressed by the system zlib.
#pragma once

#include <zlib.h>

#include <map>
#include <string>
#include <vector>

#include "compression/tests/zlib_support.h"

inline void put8(tBytes& b, unsigned int v) { b.push_back(static_cast<unsigned char>(v)); }
inline void put16(tBytes& b, unsigned int v) {
  put8(b, v & 0xFF);
  put8(b, v >> 8 & 0xFF);
}
inline void put32(tBytes& b, unsigned int v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
inline void putText(tBytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
inline tBytes operator+(tBytes a, const tBytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline tBytes zlibUnpack(const unsigned char* data, size_t size) {
  tBytes out;
  z_stream z{};
  inflateInit(&z);
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  unsigned char step[65536];
  int rc;
  do {
    z.next_out = step;
    z.avail_out = sizeof step;
    rc = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), step, step + (sizeof step - z.avail_out));
  } while (rc == Z_OK);
  inflateEnd(&z);
  return out;
}

// The head every record starts with.
struct sHead {
  unsigned int bg = 0xFFFFFFFF;
  unsigned int br = 0;
  unsigned int ml = 0, mr = 0, mt = 0, mb = 0;
  unsigned int w = 0xFFFF, h = 0xFFFF;

  // Margins in the record's order: left, right, top, bottom.
  sHead& margins(unsigned int l, unsigned int r, unsigned int t, unsigned int b) {
    ml = l;
    mr = r;
    mt = t;
    mb = b;
    return *this;
  }
  sHead& breaks(unsigned int on = 1) {
    br = on;
    return *this;
  }
  sHead& background(unsigned int colour) {
    bg = colour;
    return *this;
  }
  sHead& size(unsigned int width, unsigned int height = 0xFFFF) {
    w = width;
    h = height;
    return *this;
  }
};

inline void putHead(tBytes& b, unsigned int type, const sHead& h) {
  put8(b, type);
  put32(b, h.bg);
  put8(b, h.br);
  for (unsigned int v : {h.ml, h.mr, h.mt, h.mb, h.w, h.h}) put16(b, v);
}

// A text run (type 0), or a link run (type 3) when a link index is given.
inline tBytes runRec(const std::string& text, int link, unsigned int font, unsigned int colour,
                     const sHead& h) {
  tBytes b;
  putHead(b, link < 0 ? 0 : 3, h);
  put32(b, colour);
  put16(b, font);
  put16(b, static_cast<unsigned int>(text.size()));
  if (link >= 0) put16(b, static_cast<unsigned int>(link));
  putText(b, text);
  return b;
}

inline tBytes textRec(const std::string& text, unsigned int font = 0xFFFF, unsigned int colour = 0xFFFFFFFF,
                      const sHead& h = {}) {
  return runRec(text, -1, font, colour, h);
}

inline tBytes linkRec(const std::string& text, unsigned int link, unsigned int font = 0xFFFF,
                      unsigned int colour = 0xFFFFFFFF, const sHead& h = {}) {
  return runRec(text, static_cast<int>(link), font, colour, h);
}

inline tBytes imageRec(unsigned int picture, const sHead& h = {}) {
  tBytes b;
  putHead(b, 1, h);
  put16(b, picture);
  return b;
}

inline tBytes imageLinkRec(unsigned int picture, unsigned int link, const sHead& h = {}) {
  tBytes b;
  putHead(b, 4, h);
  put16(b, picture);
  put16(b, link);
  return b;
}

// The container's record, its children and its closing byte.
inline tBytes containerRec(const tBytes& children, unsigned int align = 0, unsigned int font = 0xFFFF,
                           unsigned int colour = 0xFFFFFFFF, const sHead& h = {}) {
  tBytes b;
  putHead(b, 2, h);
  put32(b, colour);
  put16(b, font);
  put8(b, align);
  b = b + children;
  put8(b, 0xFF);
  return b;
}

inline tBytes fontEntry(unsigned int face, unsigned int width, unsigned int height, unsigned int flags) {
  tBytes b;
  for (unsigned int v : {face, width, height, flags}) put16(b, v);
  return b;
}

inline tBytes linkTable(const std::vector<std::string>& targets) {
  tBytes b;
  for (const std::string& t : targets) {
    put16(b, static_cast<unsigned int>(t.size()));
    putText(b, t);
  }
  return b;
}

inline tBytes pictureTable(const std::vector<tBytes>& files) {
  tBytes b;
  for (const tBytes& f : files) {
    put32(b, static_cast<unsigned int>(f.size()));
    b = b + f;
  }
  return b;
}

// A document from packed parts, in the order given (repeats included).
inline tBytes rawDocument(const std::vector<std::pair<int, tBytes> >& packedLangs, const tBytes& packedFonts,
                          const tBytes& packedLinks, const tBytes& pictures) {
  tBytes b;
  putText(b, "ZVKHDOCF");
  for (const auto& [id, packed] : packedLangs) {
    put8(b, id);
    put32(b, static_cast<unsigned int>(packed.size()));
    b = b + packed;
  }
  put8(b, 0xFF);
  for (const tBytes* part : {&packedFonts, &packedLinks, &pictures}) {
    put32(b, static_cast<unsigned int>(part->size()));
    b = b + *part;
  }
  return b;
}

// The whole document. Record streams are given without the root's closing
// byte, which is added here; empty tables are written as a size of 0.
inline tBytes document(const std::map<int, tBytes>& langs, const tBytes& fonts, const tBytes& links,
                       const tBytes& pictures) {
  std::vector<std::pair<int, tBytes> > packed;
  for (const auto& [id, records] : langs) {
    tBytes stream = records;
    put8(stream, 0xFF);
    packed.push_back({id, zlibCompress(stream, 5)});
  }
  return rawDocument(packed, fonts.empty() ? tBytes() : zlibCompress(fonts, 5),
                     links.empty() ? tBytes() : zlibCompress(links, 5), pictures);
}

// A compiled document taken apart again, its streams and tables inflated.
struct sDocParts {
  std::map<int, tBytes> langs;
  tBytes fonts, links, pictures;
};

inline bool splitDocument(const tBytes& doc, sDocParts& out) {
  size_t at = 8;
  auto u32 = [&](size_t p) {
    return static_cast<size_t>(doc[p] | doc[p + 1] << 8 | doc[p + 2] << 16 |
                               static_cast<unsigned int>(doc[p + 3]) << 24);
  };
  if (doc.size() < 9 || std::string(doc.begin(), doc.begin() + 8) != "ZVKHDOCF") return false;
  while (at < doc.size() && doc[at] != 0xFF) {
    if (at + 5 > doc.size()) return false;
    const int id = doc[at];
    const size_t n = u32(at + 1);
    if (at + 5 + n > doc.size()) return false;
    out.langs[id] = zlibUnpack(doc.data() + at + 5, n);
    at += 5 + n;
  }
  ++at;
  for (tBytes* table : {&out.fonts, &out.links, &out.pictures}) {
    if (at + 4 > doc.size()) return false;
    const size_t n = u32(at);
    if (at + 4 + n > doc.size()) return false;
    if (table == &out.pictures)
      out.pictures.assign(doc.begin() + static_cast<long>(at) + 4,
                          doc.begin() + static_cast<long>(at + 4 + n));
    else if (n)
      *table = zlibUnpack(doc.data() + at + 4, n);
    at += 4 + n;
  }
  return at == doc.size();
}
