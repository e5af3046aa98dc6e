// Test-side TIFF tools: a writer for what real tools will not make (any tag
// and type, forged counts and offsets, IFD chains and cycles, either byte
// order, BigTIFF), and helpers that run the libtiff tools on scratch files.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "picts/tests/scratch_io.h"

namespace tifftest {

using Bytes = std::vector<uint8_t>;

struct Entry {
  uint16_t tag;
  uint16_t type;
  uint64_t count;
  Bytes value;                // in the file's byte order; written inline when it fits
  int64_t forcedOffset = -1;  // an out-of-line value's offset as given, not where it lands
};

struct Writer {
  bool bigEndian = false;
  bool bigTiff = false;
  std::vector<std::vector<Entry>> ifds;
  std::vector<int> nextIfd;  // per IFD: the IFD it chains to, -1 none; default the one after
  Bytes blobs;               // data placed after the header, before the IFDs

  size_t headerSize() const { return bigTiff ? 16 : 8; }

  void put(Bytes& out, uint64_t v, int bytes) const {
    for (int i = 0; i < bytes; ++i)
      out.push_back(static_cast<uint8_t>(v >> (8 * (bigEndian ? bytes - 1 - i : i))));
  }
  Bytes values(uint64_t v, int bytes) const {
    Bytes b;
    put(b, v, bytes);
    return b;
  }
  Bytes values(const std::vector<uint64_t>& vs, int bytes) const {
    Bytes b;
    for (uint64_t v : vs) put(b, v, bytes);
    return b;
  }
  // The offset the bytes will have in the file.
  uint64_t addBlob(const Bytes& data) {
    uint64_t at = headerSize() + blobs.size();
    blobs.insert(blobs.end(), data.begin(), data.end());
    return at;
  }
  Entry shortEntry(uint16_t tag, std::vector<uint64_t> vs) const {
    return {tag, 3, vs.size(), values(vs, 2)};
  }
  Entry longEntry(uint16_t tag, std::vector<uint64_t> vs) const { return {tag, 4, vs.size(), values(vs, 4)}; }

  Bytes build() const {
    const int field = bigTiff ? 8 : 4;
    Bytes out;
    out.push_back(bigEndian ? 'M' : 'I');
    out.push_back(bigEndian ? 'M' : 'I');
    put(out, bigTiff ? 43 : 42, 2);
    if (bigTiff) {
      put(out, 8, 2);
      put(out, 0, 2);
    }
    size_t firstField = out.size();
    put(out, 0, field);
    out.insert(out.end(), blobs.begin(), blobs.end());
    std::vector<size_t> ifdAt, nextField;
    for (const auto& ifd : ifds) {
      // Out-of-line values go before their IFD.
      std::vector<uint64_t> valueAt;
      for (const Entry& e : ifd) {
        valueAt.push_back(out.size());
        if (e.value.size() > static_cast<size_t>(field))
          out.insert(out.end(), e.value.begin(), e.value.end());
        if (out.size() & 1) out.push_back(0);
      }
      ifdAt.push_back(out.size());
      put(out, ifd.size(), bigTiff ? 8 : 2);
      for (size_t i = 0; i < ifd.size(); ++i) {
        const Entry& e = ifd[i];
        put(out, e.tag, 2);
        put(out, e.type, 2);
        put(out, e.count, field);
        if (e.value.size() > static_cast<size_t>(field) || e.forcedOffset >= 0) {
          put(out, e.forcedOffset >= 0 ? static_cast<uint64_t>(e.forcedOffset) : valueAt[i], field);
        } else {
          Bytes inl = e.value;
          inl.resize(field, 0);
          out.insert(out.end(), inl.begin(), inl.end());
        }
      }
      nextField.push_back(out.size());
      put(out, 0, field);
    }
    auto patch = [&](size_t at, uint64_t v) {
      Bytes b = values(v, field);
      std::copy(b.begin(), b.end(), out.begin() + static_cast<long>(at));
    };
    if (!ifdAt.empty()) patch(firstField, ifdAt[0]);
    for (size_t i = 0; i < ifds.size(); ++i) {
      int next = i < nextIfd.size() ? nextIfd[i] : (i + 1 < ifds.size() ? static_cast<int>(i + 1) : -1);
      if (next >= 0) patch(nextField[i], ifdAt[static_cast<size_t>(next)]);
    }
    return out;
  }
};

// A minimal picture IFD: w x h, one uncompressed strip of `pixels`.
inline std::vector<Entry> pictureIfd(Writer& w, uint32_t width, uint32_t height, int bits, int samples,
                                     int photometric, const Bytes& pixels) {
  uint64_t at = w.addBlob(pixels);
  std::vector<uint64_t> bps(static_cast<size_t>(samples), static_cast<uint64_t>(bits));
  return {w.longEntry(256, {width}),
          w.longEntry(257, {height}),
          w.shortEntry(258, bps),
          w.shortEntry(259, {1}),
          w.shortEntry(262, {static_cast<uint64_t>(photometric)}),
          w.longEntry(273, {at}),
          w.shortEntry(277, {static_cast<uint64_t>(samples)}),
          w.longEntry(278, {height}),
          w.longEntry(279, {pixels.size()})};
}

using scratchio::readFile;
using scratchio::run;
using scratchio::writeFile;

// tiffcp with `options` from one file to another.
inline bool tiffcp(const std::vector<std::string>& options, const std::string& from, const std::string& to) {
  std::vector<std::string> args = {"tiffcp"};
  args.insert(args.end(), options.begin(), options.end());
  args.push_back(from);
  args.push_back(to);
  return run(args);
}

inline const std::string& scratchDir() { return scratchio::programFolder("zvk_tiff"); }

}  // namespace tifftest
