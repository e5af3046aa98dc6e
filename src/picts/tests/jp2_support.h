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

namespace jp2test {

using Bytes = std::vector<uint8_t>;

// Runs a program with its arguments, no shell, output discarded; true on exit 0.
inline bool run(const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    FILE* null = std::fopen("/dev/null", "w");
    if (null) {
      dup2(fileno(null), 1);
      dup2(fileno(null), 2);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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

inline Bytes readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

inline void writeFile(const std::string& path, const Bytes& data) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                              static_cast<std::streamsize>(data.size()));
}

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
    for (size_t c = 0; c < sub.size(); ++c)
      f += (c ? ":" : "@") + std::to_string(sub[c].first) + "x" + std::to_string(sub[c].second);
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

// `noise` is the spread of the random part; high-precision noise is kept
// small so that no 64x64 code-block passes the compressed-size limit.
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
