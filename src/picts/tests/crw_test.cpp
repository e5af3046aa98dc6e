#include "picts/crw.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "base/memio.h"
#include "picts/crw_tables.h"
#include "picts/tests/camera_ifd_support.h"

namespace {

using tifftest::Bytes;

struct Record {
  uint16_t type;
  Bytes data;            // heap data
  uint32_t inRecord[2];  // for type bit 0x4000
};

struct Ciff {
  bool big = false;
  void put(Bytes& b, uint64_t v, int n) const {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> 8 * (big ? n - 1 - i : i)));
  }
  // Values first, then the table, then the table's offset.
  Bytes heap(const std::vector<Record>& records) const {
    Bytes out, table;
    put(table, records.size(), 2);
    for (const Record& r : records) {
      put(table, r.type, 2);
      if (r.type & 0x4000) {
        put(table, r.inRecord[0], 4);
        put(table, r.inRecord[1], 4);
        continue;
      }
      put(table, r.data.size(), 4);
      put(table, out.size(), 4);
      out.insert(out.end(), r.data.begin(), r.data.end());
    }
    const size_t at = out.size();
    out.insert(out.end(), table.begin(), table.end());
    put(out, at, 4);
    return out;
  }
  Bytes values(std::initializer_list<uint64_t> vs, int n) const {
    Bytes b;
    for (uint64_t v : vs) put(b, v, n);
    return b;
  }
};

// Canon's compressed coding: per block of 64 samples the differences from
// the running bases, the first against the previous block's, zero runs
// folded into the symbols; 0xFF bytes get a stuffed zero.
struct CanonEncoder {
  Bytes out;
  jpegtest::BitWriter writer{out};
  void bits(unsigned v, int len) { writer.put(v, len); }
  void flush() {
    while (writer.bits) bits(0, 1);
  }
  struct Codes {
    unsigned code[256] = {};
    int len[256] = {};
    explicit Codes(const unsigned char* t) {
      const unsigned char* sym = t + 16;
      unsigned c = 0;
      for (int l = 1; l <= 16; ++l, c <<= 1)
        for (int k = 0; k < t[l - 1]; ++k, ++c) {
          code[*sym] = c;
          len[*sym++] = l;
        }
    }
  };
  static int size(int d) {
    int len = 0;
    while ((d < 0 ? -d : d) >> len) ++len;
    return len;
  }
  void symbol(const Codes& c, int run, int d) {
    const int len = size(d), s = run << 4 | len;
    ASSERT_NE(c.len[s], 0) << "symbol " << s;
    bits(c.code[s], c.len[s]);
    if (len) bits(static_cast<unsigned>(d < 0 ? d + (1 << len) - 1 : d), len);
  }
  void encode(const std::vector<uint16_t>& samples, int width, int table) {
    Codes first(kCanonFirstTree[table]), second(kCanonSecondTree[table]);
    int base[2] = {512, 512}, carry = 0;
    for (size_t start = 0; start < samples.size(); start += 64) {
      int diff[64];
      for (int i = 0; i < 64; ++i) {
        if ((start + static_cast<size_t>(i)) % static_cast<size_t>(width) == 0) base[0] = base[1] = 512;
        diff[i] = samples[start + static_cast<size_t>(i)] - base[i & 1];
        base[i & 1] = samples[start + static_cast<size_t>(i)];
      }
      symbol(first, 0, diff[0] - carry);
      carry = diff[0];
      int run = 0;
      for (int i = 1; i < 64; ++i) {
        if (diff[i] == 0) {
          ++run;
          continue;
        }
        for (; run > 15; run -= 16) bits(second.code[0xF0], second.len[0xF0]);
        symbol(second, run, diff[i]);
        run = 0;
      }
      if (run) bits(second.code[0], second.len[0]);
    }
    flush();
  }
};

struct CrwSpec {
  bool big = false;
  int sensorW = 64, sensorH = 32, left = 0, top = 0, width = 64, height = 32;
  unsigned model = 0x80000001;
  int table = 0;
  std::vector<uint16_t> samples;  // 10 bits, or 12 for low-bit models
  bool lowBits = false;
  uint16_t wb[4] = {0, 0, 0, 0};
  int wbIndex = 1;
  Bytes jpeg;
};

// For dcraw the stream starts at file offset 540: the header of 26 bytes
// and a skip of 514.
Bytes writeCrw(const CrwSpec& s) {
  Ciff c;
  c.big = s.big;
  std::vector<uint16_t> high = s.samples;
  Bytes low;
  if (s.lowBits) {
    low.assign(high.size() / 4, 0);
    for (size_t i = 0; i < high.size(); ++i) {
      low[i / 4] = static_cast<uint8_t>(low[i / 4] | (high[i] & 3) << 2 * (i % 4));
      high[i] = static_cast<uint16_t>(high[i] >> 2);
    }
  }
  CanonEncoder e;
  e.encode(high, s.sensorW, s.table);
  const uint32_t skip = s.lowBits ? 0 : 514;
  Bytes raw(skip, 0);
  raw.insert(raw.end(), low.begin(), low.end());
  raw.insert(raw.end(), e.out.begin(), e.out.end());
  raw.insert(raw.end(), {0xFF, 0, 0, 0});
  Bytes shot(16, 0);
  for (int at : {12, 14}) {
    shot[static_cast<size_t>(at)] = static_cast<uint8_t>(s.big ? 0 : s.wbIndex);
    shot[static_cast<size_t>(at) + 1] = static_cast<uint8_t>(s.big ? s.wbIndex : 0);
  }
  Bytes wbTable(2 + 8 * 4, 0);
  for (int k = 0; k < 4; ++k) {
    Bytes v = c.values({s.wb[k]}, 2);
    std::copy(v.begin(), v.end(), wbTable.begin() + 2 + 8 * s.wbIndex + 2 * k);
  }
  const Bytes exif = c.heap({{0x102A, shot, {}},
                             {0x1031,
                              c.values({0, static_cast<uint64_t>(s.sensorW), static_cast<uint64_t>(s.sensorH),
                                        0, 0, static_cast<uint64_t>(s.left), static_cast<uint64_t>(s.top)},
                                       2),
                              {}},
                             {0x10A9, wbTable, {}},
                             {0x5834, {}, {s.model, 0}},
                             {0x1835, c.values({static_cast<uint64_t>(s.table), 0, skip, 0}, 4), {}}});
  const Bytes image =
      c.heap({{0x1810,
               c.values({static_cast<uint64_t>(s.width), static_cast<uint64_t>(s.height), 0, 0, 0, 0, 0}, 4),
               {}},
              {0x300B, exif, {}}});
  const std::string names = std::string("Canon") + '\0' + "Canon EOS TEST" + '\0';
  // dcraw looks for stuffed bytes in the file's first 16 KiB, so it must
  // have that many: a record of zeros fills them.
  // dcraw reads 64 bytes of model text, so the names come before more data.
  std::vector<Record> root = {{0x2005, raw, {}},
                              {0x0001, Bytes(0x4000, 0), {}},
                              {0x080A, Bytes(names.begin(), names.end()), {}},
                              {0x300A, image, {}}};
  if (!s.jpeg.empty()) root.push_back({0x2007, s.jpeg, {}});
  Bytes file = {static_cast<uint8_t>(s.big ? 'M' : 'I'), static_cast<uint8_t>(s.big ? 'M' : 'I')};
  c.put(file, 26, 4);
  const std::string sig = "HEAPCCDR";
  file.insert(file.end(), sig.begin(), sig.end());
  file.resize(26, 0);
  const Bytes heap = c.heap(root);
  file.insert(file.end(), heap.begin(), heap.end());
  return file;
}

// A smooth plane so that every difference has a code in both trees.
std::vector<uint16_t> smooth(int w, int h, int bits, unsigned seed) {
  std::vector<uint16_t> v;
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      v.push_back(
          static_cast<uint16_t>(((x * 7 + y * 5) % 200 + (rng() % 4 ? 0 : rng() % 40) + 100) << (bits - 10)));
  return v;
}

class cCrwCapture : public cPictCRW {
 public:
  std::vector<uint16_t> plane;
  double balance[4] = {};
  sMarginInfo margins;

 protected:
  bool finish(cFileIOTarget* io, const cExifCRWProps& exif, const sMarginInfo& m, unsigned int white,
              unsigned int black) override {
    plane.assign(myRaw.ptr, myRaw.ptr + myRaw.count);
    exif.balance(balance);
    margins = m;
    return cPictCRW::finish(io, exif, m, white, black);
  }
};

// Both byte orders and all three tables come back as encoded; the plain
// models also equal dcraw's plane and camera multipliers. Low-bit models
// keep their two extra bits; four-colour models decode too.
TEST(CrwDecode, TablesOrdersAndModels) {
  struct Case {
    const char* name;
    bool big;
    int table;
    unsigned model;
    bool lowBits, oracle;
  } cases[] = {
      {"ii0", false, 0, 0x80000001, false, true},  {"ii1", false, 1, 0x80000001, false, true},
      {"mm2", true, 2, 0x80000001, false, true},   {"low", false, 0, 0x01140000, true, false},
      {"four", false, 1, 0x03010000, false, true},
  };
  unsigned seed = 11;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    CrwSpec s;
    s.big = k.big;
    s.table = k.table;
    s.model = k.model;
    s.lowBits = k.lowBits;
    s.samples = smooth(s.sensorW, s.sensorH, k.lowBits ? 12 : 10, seed++);
    const uint16_t wb[4] = {1900, 1024, 1030, 1500};
    std::copy(wb, wb + 4, s.wb);
    Bytes file = writeCrw(s);
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
    cPictBase::sPictInfo info;
    ASSERT_TRUE(cPictCRW::validFor(&io, &info));
    EXPECT_EQ(info.width, s.width);
    cCrwCapture crw;
    ASSERT_TRUE(crw.decode(&io));
    EXPECT_EQ(crw.width(), s.width);
    EXPECT_EQ(crw.plane, s.samples);
    if (!k.oracle) continue;
    std::vector<uint16_t> plane;
    ASSERT_TRUE(camtest::dcrawPlane(file, k.name, plane));
    EXPECT_EQ(plane, s.samples);
    double d[4] = {};
    ASSERT_TRUE(camtest::dcrawMultipliers(file, k.name, d));
    for (int c = 0; c < 4; ++c) EXPECT_EQ(crw.balance[c], d[c]) << c;
  }
}

// Borders give the margins, the JPEG record the preview; hostile heaps and
// every cut of a small file answer false or decode without reading past;
// without a balance table the defaults hold.
TEST(CrwDecode, MarginsHostileAndDefaults) {
  CrwSpec s;
  s.samples = smooth(s.sensorW, s.sensorH, 10, 3);
  s.left = 4, s.top = 2, s.width = 56, s.height = 28;
  s.jpeg = cameratest::toolJpeg("40x30", "gradient:red-blue");
  Bytes file = writeCrw(s);
  {
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
    cPictCRW crw;
    cPictDummy preview;
    ASSERT_TRUE(crw.getPreview(&io, preview, nullptr, nullptr));
    EXPECT_EQ(preview.width(), 40);
  }
  {
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
    cCrwCapture crw;
    ASSERT_TRUE(crw.decode(&io));
    EXPECT_EQ(crw.margins.right, 4u);
    EXPECT_EQ(crw.margins.bottom, 2u);
    EXPECT_EQ(crw.width(), 56);
  }
  struct Mutation {
    const char* name;
    std::function<void(CrwSpec&)> spec;
  } refused[] = {
      {"border past the sensor", [](CrwSpec& c) { c.left = 9; }},
      {"zero width", [](CrwSpec& c) { c.width = 0; }},
  };
  for (auto& m : refused) {
    CrwSpec c = s;
    m.spec(c);
    Bytes f = writeCrw(c);
    cBufWrapperIO io(f.data(), static_cast<long long>(f.size()), false);
    cPictCRW crw;
    EXPECT_FALSE(crw.decode(&io)) << m.name;
  }
  // The root table's count: zero, then past the heap.
  const size_t tableAt = 26 + (file[file.size() - 4] | file[file.size() - 3] << 8);
  for (uint8_t count : {0, 200}) {
    Bytes f = file;
    f[tableAt] = count;
    cBufWrapperIO io(f.data(), static_cast<long long>(f.size()), false);
    EXPECT_FALSE(cPictCRW::validFor(&io, nullptr)) << int(count);
  }
  // The first record's offset pointing past the heap, or at the table itself.
  for (uint32_t offset : {0x7FFFFFF0u, static_cast<uint32_t>(tableAt - 26)}) {
    Bytes f = file;
    for (int i = 0; i < 4; ++i)
      f[tableAt + 2 + 6 + static_cast<size_t>(i)] = static_cast<uint8_t>(offset >> 8 * i);
    cBufWrapperIO io(f.data(), static_cast<long long>(f.size()), false);
    cPictCRW crw;
    EXPECT_FALSE(crw.decode(&io)) << offset;
  }
  for (size_t n = 0; n < file.size(); n += 97) {
    Bytes cut(file.begin(), file.begin() + static_cast<long>(n));
    cBufWrapperIO io(cut.data(), static_cast<long long>(cut.size()), false);
    cPictCRW crw;
    crw.decode(&io);
  }
  cExifCRWProps none;
  double b[4];
  none.balance(b);
  EXPECT_EQ(b[0], 84);
  EXPECT_EQ(b[2], 65);
}

}  // namespace
