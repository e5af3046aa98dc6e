// Test-side JPEG 2000 tools: pictures synthesised as raw planes, encoded by
// opj_compress and decoded by opj_decompress (the oracle) into PGX planes,
// and our decoder run over the same bytes.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/memio.h"
#include "picts/jp2codec.h"
#include "picts/tests/scratch_io.h"

namespace jp2test {

using Bytes = std::vector<uint8_t>;

using scratchio::readFile;
using scratchio::run;
using scratchio::writeFile;

struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/zvk_jp2_XXXXXX";
    if (mkdtemp(tmpl)) path = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

struct Plane {
  unsigned w = 0, h = 0, prec = 8;
  bool sgnd = false;
  std::vector<int> v;
};

// A synthetic picture: smooth gradients with some noise, one plane per
// component, sub-sampled by dx, dy.
struct Picture {
  unsigned w = 1, h = 1, prec = 8;
  bool sgnd = false;
  std::vector<std::pair<unsigned, unsigned>> sub;  // per component
  std::vector<Plane> planes;

  std::string rawFormat() const {
    std::string f = std::to_string(w) + "," + std::to_string(h) + "," + std::to_string(planes.size()) + "," +
                    std::to_string(prec) + "," + (sgnd ? "s" : "u");
    for (size_t c = 0; c < sub.size(); ++c) {
      f += c ? ':' : '@';
      f += std::to_string(sub[c].first);
      f += 'x';
      f += std::to_string(sub[c].second);
    }
    return f;
  }

  // Little-endian planes as opj_compress reads .rawl files.
  Bytes rawl() const {
    Bytes out;
    for (const Plane& p : planes)
      for (int s : p.v) {
        out.push_back(static_cast<uint8_t>(s));
        if (prec > 8) out.push_back(static_cast<uint8_t>(s >> 8));
      }
    return out;
  }
};

// `noise` is the spread of the random part.
inline Picture makePicture(unsigned w, unsigned h, unsigned comps, unsigned prec, bool sgnd, uint32_t seed,
                           std::vector<std::pair<unsigned, unsigned>> sub = {}, int noise = 8) {
  Picture pic;
  pic.w = w, pic.h = h, pic.prec = prec, pic.sgnd = sgnd;
  if (sub.empty()) sub.assign(comps, {1, 1});
  pic.sub = sub;
  std::mt19937 rng(seed);
  long long range = 1LL << prec, lo = sgnd ? -(range / 2) : 0;
  for (unsigned c = 0; c < comps; ++c) {
    Plane p;
    p.w = (w + sub[c].first - 1) / sub[c].first;
    p.h = (h + sub[c].second - 1) / sub[c].second;
    p.prec = prec, p.sgnd = sgnd;
    for (unsigned y = 0; y < p.h; ++y)
      for (unsigned x = 0; x < p.w; ++x) {
        long long base = (static_cast<long long>(x) * 5 + y * 3 + c * 40) * range / 256 / 4;
        long long v = (base + static_cast<long long>(rng() % static_cast<unsigned>(noise + 1))) % range;
        p.v.push_back(static_cast<int>(v + lo));
      }
    pic.planes.push_back(p);
  }
  return pic;
}

inline bool readPgx(const std::string& path, Plane& out) {
  Bytes f = readFile(path);
  std::string head(f.begin(), f.begin() + std::min<size_t>(f.size(), 64));
  size_t nl = head.find('\n');
  if (nl == std::string::npos) return false;
  char endian[3] = {}, sign = '+';
  unsigned prec = 0, w = 0, h = 0;
  if (std::sscanf(head.c_str(), "PG %2s %c %u %u %u", endian, &sign, &prec, &w, &h) != 5) {
    sign = '+';
    if (std::sscanf(head.c_str(), "PG %2s %u %u %u", endian, &prec, &w, &h) != 4) return false;
  }
  out.w = w, out.h = h, out.prec = prec, out.sgnd = sign == '-';
  unsigned bytes = prec <= 8 ? 1 : prec <= 16 ? 2 : 4;
  bool big = endian[0] == 'M';
  if (f.size() < nl + 1 + static_cast<size_t>(w) * h * bytes) return false;
  out.v.clear();
  const uint8_t* p = f.data() + nl + 1;
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i, p += bytes) {
    uint32_t u = 0;
    for (unsigned k = 0; k < bytes; ++k) u |= static_cast<uint32_t>(big ? p[bytes - 1 - k] : p[k]) << (8 * k);
    int v;
    if (out.sgnd && bytes < 4 && (u >> (8 * bytes - 1)))
      v = static_cast<int>(u) - (1 << (8 * bytes));
    else
      v = static_cast<int>(u);
    out.v.push_back(v);
  }
  return true;
}

// opj_decompress's planes of a codestream file, extra arguments appended.
inline bool oracle(const TempDir& dir, const std::string& file, std::vector<Plane>& planes,
                   const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args = {"opj_decompress", "-i", file, "-o", dir / "oracle.pgx"};
  args.insert(args.end(), extra.begin(), extra.end());
  planes.clear();
  std::error_code ec;
  for (int c = 0; std::filesystem::remove(dir / ("oracle_" + std::to_string(c) + ".pgx"), ec); ++c) {
  }
  if (!run(args)) return false;
  for (int c = 0;; ++c) {
    Plane p;
    if (!readPgx(dir / ("oracle_" + std::to_string(c) + ".pgx"), p)) break;
    planes.push_back(p);
  }
  return !planes.empty();
}

// Our decoder over a codestream or a JP2 file held in memory.
struct Decoded {
  bool ok = false;
  std::unique_ptr<cJP2Image> image;
};

inline void takeImage(cPtr<cJP2Image>& from, Decoded& d) {
  d.image.reset(from.ptr);
  from.ptr = nullptr;
}

inline Decoded decodeJ2k(const Bytes& data, const int* area = nullptr) {
  Decoded d;
  cBufWrapperIO io(const_cast<uint8_t*>(data.data()), static_cast<long long>(data.size()), false);
  cJP2FileIOTarget in(&io);
  cJ2KDecode dec;
  cPtr<cJP2Image> image;
  if (!dec.readHeader(&in, image)) return d;
  takeImage(image, d);
  if (area && !dec.setDecodeArea(d.image.get(), area[0], area[1], area[2], area[3])) return d;
  d.ok = dec.decode(&in, d.image.get());
  return d;
}

inline Decoded decodeJp2(const Bytes& data) {
  Decoded d;
  cBufWrapperIO io(const_cast<uint8_t*>(data.data()), static_cast<long long>(data.size()), false);
  cJP2FileIOTarget in(&io);
  cJP2Decode dec;
  dec.setup(0);
  cPtr<cJP2Image> image;
  if (!dec.readHeader(&in, image)) return d;
  takeImage(image, d);
  cJP2Image* im = d.image.get();
  d.ok = dec.setArea(im, static_cast<int>(im->x0), static_cast<int>(im->y0), static_cast<int>(im->x1),
                     static_cast<int>(im->y1)) &&
         dec.decode(&in, im) && dec.endDecompress(&in);
  return d;
}

// "" when every component equals the planes within `tolerance`, else what differs.
inline std::string compare(const cJP2Image& im, const std::vector<Plane>& planes, int tolerance = 0) {
  if (im.numcomps != planes.size())
    return "components " + std::to_string(im.numcomps) + " vs " + std::to_string(planes.size());
  for (unsigned c = 0; c < im.numcomps; ++c) {
    const sJP2ImageComp& ic = im.comps.ptr[c];
    const Plane& p = planes[c];
    if (ic.w != p.w || ic.h != p.h)
      return "component " + std::to_string(c) + " size " + std::to_string(ic.w) + "x" + std::to_string(ic.h) +
             " vs " + std::to_string(p.w) + "x" + std::to_string(p.h);
    if (!ic.data.ptr) return "component " + std::to_string(c) + " has no samples";
    for (size_t i = 0; i < p.v.size(); ++i) {
      int diff = ic.data.ptr[i] - p.v[i];
      if (diff > tolerance || diff < -tolerance)
        return "component " + std::to_string(c) + " sample " + std::to_string(i % p.w) + "," +
               std::to_string(i / p.w) + ": " + std::to_string(ic.data.ptr[i]) + " vs " + std::to_string(p.v[i]);
    }
  }
  return "";
}

// Encodes the picture with opj_compress and the given options into `out`.
inline bool encode(const TempDir& dir, const Picture& pic, const std::vector<std::string>& options,
                   const std::string& out) {
  std::string raw = dir / "source.rawl";
  writeFile(raw, pic.rawl());
  std::vector<std::string> args = {"opj_compress", "-i", raw, "-o", out, "-F", pic.rawFormat()};
  args.insert(args.end(), options.begin(), options.end());
  return run(args);
}

}  // namespace jp2test

namespace jp2test {

inline void put16(Bytes& b, unsigned v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}
inline void put32(Bytes& b, unsigned v) {
  put16(b, v >> 16);
  put16(b, v & 0xFFFF);
}
inline unsigned get16(const Bytes& b, size_t at) { return static_cast<unsigned>(b[at] << 8 | b[at + 1]); }
inline unsigned get32(const Bytes& b, size_t at) { return get16(b, at) << 16 | get16(b, at + 2); }

// A marker segment: marker, length, payload.
inline Bytes segment(unsigned marker, const Bytes& payload) {
  Bytes s;
  put16(s, marker);
  put16(s, static_cast<unsigned>(payload.size() + 2));
  s.insert(s.end(), payload.begin(), payload.end());
  return s;
}

// Offset of the first main-header segment with this marker, or of the
// first SOT when asked for 0xFF90; 0 when there is none.
inline size_t findMarker(const Bytes& cs, unsigned marker) {
  for (size_t at = 2; at + 4 <= cs.size();) {
    unsigned m = get16(cs, at);
    if (m == marker) return at;
    if (m == 0xFF90) return 0;
    at += 2 + get16(cs, at + 2);
  }
  return 0;
}

// Offsets of every SOT, walking the tile-parts by their lengths.
inline std::vector<size_t> sotOffsets(const Bytes& cs) {
  std::vector<size_t> out;
  for (size_t at = findMarker(cs, 0xFF90); at && at + 12 <= cs.size() && get16(cs, at) == 0xFF90;) {
    out.push_back(at);
    unsigned psot = get32(cs, at + 6);
    if (psot == 0) break;
    at += psot;
  }
  return out;
}

inline Bytes insertBeforeFirstTile(const Bytes& cs, const Bytes& segments) {
  Bytes out = cs;
  size_t at = findMarker(cs, 0xFF90);
  out.insert(out.begin() + static_cast<long>(at), segments.begin(), segments.end());
  return out;
}

// A JP2 file around a codestream: signature, file type, a header box with
// an ihdr and the given sub-boxes, then the codestream box.
inline Bytes box(const char* type, const Bytes& data) {
  Bytes b;
  put32(b, static_cast<unsigned>(data.size() + 8));
  b.insert(b.end(), type, type + 4);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

inline Bytes ihdr(unsigned w, unsigned h, unsigned nc, unsigned bpc) {
  Bytes d;
  put32(d, h);
  put32(d, w);
  put16(d, nc);
  d.insert(d.end(), {static_cast<uint8_t>(bpc - 1), 7, 0, 0});
  return box("ihdr", d);
}

inline Bytes colrEnum(unsigned cs) {
  Bytes d = {1, 0, 0};
  put32(d, cs);
  return box("colr", d);
}

inline Bytes jp2File(const Bytes& cs, const Bytes& headerBoxes, const Bytes& beforeHeader = {}) {
  Bytes f = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  Bytes ftyp = {'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' '};
  Bytes b = box("ftyp", ftyp);
  f.insert(f.end(), b.begin(), b.end());
  f.insert(f.end(), beforeHeader.begin(), beforeHeader.end());
  b = box("jp2h", headerBoxes);
  f.insert(f.end(), b.begin(), b.end());
  b = box("jp2c", cs);
  f.insert(f.end(), b.begin(), b.end());
  return f;
}

// A one-tile codestream put together by hand: a w x h image of `comps`
// 8-bit components, the given main-header segments, then the tile's body.
inline Bytes handMade(unsigned w, unsigned h, unsigned comps, const std::vector<Bytes>& segments,
                      const Bytes& body) {
  Bytes siz = {0, 0};
  for (unsigned v : {w, h, 0u, 0u, w, h, 0u, 0u}) put32(siz, v);
  put16(siz, comps);
  for (unsigned k = 0; k < comps; ++k) siz.insert(siz.end(), {7, 1, 1});
  Bytes cs = {0xFF, 0x4F}, sot = {0xFF, 0x90, 0, 10, 0, 0};
  put32(sot, static_cast<unsigned>(14 + body.size()));
  sot.insert(sot.end(), {0, 1, 0xFF, 0x93});
  std::vector<Bytes> parts = {segment(0xFF51, siz)};
  parts.insert(parts.end(), segments.begin(), segments.end());
  parts.insert(parts.end(), {sot, body, Bytes{0xFF, 0xD9}});
  for (const Bytes& part : parts) cs.insert(cs.end(), part.begin(), part.end());
  return cs;
}

// A codestream of constant planes, losslessly coded.
inline Bytes constantCodestream(const TempDir& dir, unsigned w, unsigned h, unsigned prec,
                                const std::vector<int>& values) {
  Picture pic = makePicture(w, h, static_cast<unsigned>(values.size()), prec, false, 1, {}, 0);
  for (size_t c = 0; c < values.size(); ++c)
    for (int& v : pic.planes[c].v) v = values[c];
  std::string file = dir / "constant.j2k";
  if (!encode(dir, pic, {"-n", "2", "-mct", "0"}, file)) return {};
  return readFile(file);
}

}  // namespace jp2test
