// The walker against tiffdump's listing, and its bounds on forged entries.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "base/memio.h"
#include "picts/tests/tiff_support.h"
#include "picts/tiffgeneric.h"

using namespace tifftest;

namespace {

using Seen = std::vector<std::tuple<int, int, long long>>;  // tag, type, value count

class cRecorder : public cTiffGeneric {
 public:
  Seen seen;
  std::vector<unsigned int> offsets;  // of out-of-line values, 0 inline
  bool onRawTag(int tag, int type, const void* data, int length, unsigned int offset) override {
    offsets.push_back(offset);
    return cTiffGeneric::onRawTag(tag, type, data, length, offset);
  }
  bool onTag(int tag, int type, const void*, int length) override {
    int size = typeSize(type);
    seen.emplace_back(tag, type, size ? length / size : 0);
    return true;
  }
};

// Walks every IFD of the chain as a reader of pages would.
Seen walkAll(const Bytes& file) {
  cBufWrapperIO io(const_cast<uint8_t*>(file.data()), static_cast<long long>(file.size()), false);
  cRecorder r;
  EXPECT_TRUE(r.processStream(&io, cTiffGeneric::kAskSize)) << r.errorCode();
  for (int pages = 0; r.nextOffset() && pages < 100; ++pages)
    EXPECT_TRUE(r.processStream(&io, r.isBigEndian(), r.isBigTiff(), r.nextOffset(), cTiffGeneric::kAskSize));
  Seen all;
  for (auto& s : r.seen)
    if (std::get<0>(s) != cTiffGeneric::kNextIFDTag) all.push_back(s);
  return all;
}

Seen tiffdumpListing(const std::string& path) {
  Seen out;
  std::FILE* p = popen(("tiffdump " + path).c_str(), "r");
  if (!p) return out;
  char line[4096];
  while (std::fgets(line, sizeof line, p)) {
    int tag = 0, type = 0;
    long long count = 0;
    if (std::sscanf(line, "%*s (%d) %*s (%d) %lld<", &tag, &type, &count) == 3)
      out.emplace_back(tag, type, count);
  }
  pclose(p);
  return out;
}

TEST(TiffWalker, CallbacksEqualTiffdumpInEveryByteOrderAndBigTiff) {
  std::string dir = scratchDir(), src = dir + "/walk_src.tif";
  ASSERT_TRUE(
      run({"convert", "-size", "19x7", "gradient:red-blue", "(", "-size", "19x7", "xc:gray", ")", src}));
  const std::vector<std::vector<std::string>> variants = {{},     {"-B"},       {"-L"},
                                                          {"-8"}, {"-8", "-B"}, {"-t", "-c", "lzw"}};
  for (size_t i = 0; i < variants.size(); ++i) {
    std::string out = dir + "/walk" + std::to_string(i) + ".tif";
    ASSERT_TRUE(tiffcp(variants[i], src, out));
    Seen expected = tiffdumpListing(out);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(walkAll(readFile(out)), expected) << "variant " << i;
  }
}

struct sWalkCase {
  const char* name;
  bool bigTiff;
  std::vector<Entry> entries;
  int error;  // expected code, 0 for success
  Seen seen;  // expected callbacks before the end or the failure
};

TEST(TiffWalker, ForgedEntriesAreBoundedAndCoded) {
  Writer c, b;
  b.bigTiff = true;
  auto big = [](uint64_t v) {
    Bytes x(8);
    for (int i = 0; i < 8; ++i) x[i] = static_cast<uint8_t>(v >> 8 * i);
    return x;
  };
  const std::vector<sWalkCase> cases = {
      {"empty IFD", false, {}, 0, {}},
      {"tag 0 of type 0 has no bytes", false, {{0, 0, 5, {}}}, 0, {{0, 0, 0}}},
      {"type 0 with a tag", false, {{300, 0, 1, {}}}, 5, {}},
      {"type 14", false, {{300, 14, 1, {1, 0, 0, 0}}}, 5, {}},
      {"type 18", false, {{300, 18, 1, {1, 0, 0, 0}}}, 5, {}},
      {"four bytes stay inline", false, {c.shortEntry(300, {1, 2})}, 0, {{300, 3, 2}}},
      {"five bytes go out of line", false, {{270, 2, 5, {'a', 'b', 'c', 'd', 0}}}, 0, {{270, 2, 5}}},
      {"eight bytes inline in BigTIFF", true, {{300, 16, 1, big(7)}}, 0, {{300, 16, 1}}},
      {"count past the stream", false, {{270, 2, 1u << 30, {}, 8}}, 2, {}},
      {"value past the end", false, {{270, 2, 8, {}, 60000}}, 6, {}},
      {"value running over the end", false, {{270, 2, 20, {}, 10}}, 6, {}},
      {"count x size past 32 bits", false, {{300, 12, 0x20000001u, {}, 10}}, 2, {}},
      {"BigTIFF offset from 2^32", true, {{270, 2, 9, {}, 1LL << 32}}, 6, {}},
  };
  for (const auto& tc : cases) {
    Writer w;
    w.bigTiff = tc.bigTiff;
    w.ifds.push_back(tc.entries);
    Bytes file = w.build();
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
    cRecorder r;
    EXPECT_EQ(r.processStream(&io, cTiffGeneric::kAskSize), tc.error == 0) << tc.name;
    EXPECT_EQ(r.errorCode(), tc.error) << tc.name;
    EXPECT_EQ(r.seen, tc.seen) << tc.name;
  }
}

TEST(TiffWalker, HeadersAndChainFields) {
  struct sCase {
    const char* name;
    Bytes file;
    int error;
  };
  const std::vector<sCase> cases = {
      {"seven bytes", {'I', 'I', 42, 0, 8, 0, 0}, 2},
      {"eight bytes pass the header, not the IFD", {'I', 'I', 42, 0, 8, 0, 0, 0}, 2},
      {"bad order", {'I', 'M', 42, 0, 8, 0, 0, 0, 0, 0}, 4},
      {"bad magic", {'I', 'I', 44, 0, 8, 0, 0, 0, 0, 0}, 4},
      {"first offset below 8", {'M', 'M', 0, 42, 0, 0, 0, 4, 0, 0}, 4},
      {"BigTIFF first offset from 2^32", {'I', 'I', 43, 0, 8, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}, 3},
      {"BigTIFF next IFD from 2^32",
       {'I', 'I', 43, 0, 8, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
       3},
      {"a next IFD of 0 ends the walk", {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
  };
  for (const auto& tc : cases) {
    Bytes file = tc.file;
    cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
    cRecorder r;
    EXPECT_EQ(r.processStream(&io, cTiffGeneric::kAskSize), tc.error == 0) << tc.name;
    EXPECT_EQ(r.errorCode(), tc.error) << tc.name;
    EXPECT_TRUE(r.seen.empty()) << tc.name;
  }
  cRecorder none;
  EXPECT_FALSE(none.processStream(nullptr, cTiffGeneric::kAskSize));
  EXPECT_EQ(none.errorCode(), 1);
}

TEST(TiffWalker, BigEndianValuesReachCallbacksRawAndGettersConvert) {
  Writer w;
  w.bigEndian = true;
  w.ifds.push_back({w.shortEntry(300, {0x1234}),
                    w.longEntry(301, {0x89ABCDEF, 5}),
                    {302, 16, 1, w.values(1ULL << 32, 8)},
                    {303, 5, 1, w.values({3, 4}, 4)},
                    {304, 10, 1, w.values({0xFFFFFFFE, 4}, 4)},
                    {305, 8, 1, w.values(0xFFFE, 2)}});
  Bytes file = w.build();
  struct cCheck : cTiffGeneric {
    int checked = 0;
    bool onTag(int tag, int type, const void* data, int length) override {
      sTagProcessParam t{tag, type, data, length};
      unsigned short u16 = 0;
      unsigned int u32 = 0;
      _typebuf<unsigned int> u32s;
      double d = 0;
      int i32 = 0;
      switch (tag) {
        case 300:
          EXPECT_EQ(static_cast<const unsigned char*>(data)[0], 0x12);
          EXPECT_TRUE(getValU16(t, u16) && u16 == 0x1234);
          EXPECT_TRUE(getValU32(t, u32) && u32 == 0x1234);  // widened
          EXPECT_FALSE(getValI32(t, i32));
          break;
        case 301:
          EXPECT_TRUE(getValsU32(t, u32s) && u32s.count == 2 && u32s.ptr[0] == 0x89ABCDEF &&
                      u32s.ptr[1] == 5);
          EXPECT_FALSE(getValU16(t, u16));
          break;
        case 302:
          EXPECT_FALSE(getValU32(t, u32));
          EXPECT_FALSE(getValsU32(t, u32s));  // refused, never cut to 0
          break;
        case 303:
          EXPECT_TRUE(getValDouble(t, d) && d == 0.75);
          break;
        case 304:
          EXPECT_TRUE(getValDouble(t, d) && d == -0.5);
          break;
        case 305:
          EXPECT_TRUE(getValI32(t, i32) && i32 == -2);
          break;
      }
      ++checked;
      return true;
    }
  } check;
  cBufWrapperIO io(file.data(), static_cast<long long>(file.size()), false);
  EXPECT_TRUE(check.processStream(&io, cTiffGeneric::kAskSize));
  EXPECT_EQ(check.checked, 6);
}

TEST(TiffWalker, Dates) {
  struct sCase {
    const char* text;
    bool ok;
    sTimestamp when;
  };
  const std::vector<sCase> cases = {
      {"2024:02:30", true, {2024, 2, 30, 0, 0, 0}},
      {"2019:12:31 23:59:58", true, {2019, 12, 31, 23, 59, 58}},
      {"1899:12:31", false, {}},
      {"2101:01:01", false, {}},
      {"2019:13:01", false, {}},
      {"2019:12:31 24:00:00", false, {}},
      {"2019:12:3", false, {}},
      {"2019:1x:01", false, {}},
  };
  // Field by field: a whole-struct compare would read the padding byte.
  auto fields = [](const sTimestamp& t) {
    return std::tuple<int, int, int, int, int, int>(t.year, t.month, t.day, t.hour, t.minute, t.second);
  };
  for (const auto& tc : cases) {
    sTimestamp got{};
    EXPECT_EQ(cTiffGeneric::getDate(tc.text, static_cast<int>(std::strlen(tc.text)), got), tc.ok) << tc.text;
    if (tc.ok) {
      EXPECT_EQ(fields(got), fields(tc.when)) << tc.text;
    }
  }
}

}  // namespace
