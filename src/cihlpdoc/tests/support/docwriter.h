// Binary documents written field by field for the tests, independently of
// the compiler: the record heads, the tables and the language blocks, with
// the streams compressed by the system zlib.
#pragma once

#include <zlib.h>

#include <map>
#include <string>
#include <vector>

using tBytes = std::vector<unsigned char>;

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

inline tBytes zlibPack(const tBytes& plain) {
  uLongf n = compressBound(static_cast<uLong>(plain.size()));
  tBytes out(n);
  compress2(out.data(), &n, plain.data(), static_cast<uLong>(plain.size()), 5);
  out.resize(n);
  return out;
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
};

inline void putHead(tBytes& b, unsigned int type, const sHead& h) {
  put8(b, type);
  put32(b, h.bg);
  put8(b, h.br);
  for (unsigned int v : {h.ml, h.mr, h.mt, h.mb, h.w, h.h}) put16(b, v);
}

inline tBytes textRec(const std::string& text, unsigned int font = 0xFFFF, unsigned int colour = 0xFFFFFFFF,
                      const sHead& h = {}) {
  tBytes b;
  putHead(b, 0, h);
  put32(b, colour);
  put16(b, font);
  put16(b, static_cast<unsigned int>(text.size()));
  putText(b, text);
  return b;
}

inline tBytes linkRec(const std::string& text, unsigned int link, unsigned int font = 0xFFFF,
                      unsigned int colour = 0xFFFFFFFF, const sHead& h = {}) {
  tBytes b;
  putHead(b, 3, h);
  put32(b, colour);
  put16(b, font);
  put16(b, static_cast<unsigned int>(text.size()));
  put16(b, link);
  putText(b, text);
  return b;
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
    packed.push_back({id, zlibPack(stream)});
  }
  return rawDocument(packed, fonts.empty() ? tBytes() : zlibPack(fonts), links.empty() ? tBytes() : zlibPack(links),
                     pictures);
}
