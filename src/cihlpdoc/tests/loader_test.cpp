// The loader against documents written field by field in the test.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <future>
#include <memory>

#include "base/job.h"
#include "cihlpdoc/sidocinflate.h"
#include "cihlpdoc/sidocloader.h"
#include "support/docwriter.h"
#include "support/peakmemory.h"
#include "support/tempfolder.h"
#include "support/treedump.h"

namespace {

// Loads from a heap block of exactly the document's size, so a read past
// the end is caught by the sanitizer.
bool loadExact(cSiDocLoader& loader, const tBytes& doc) {
  std::unique_ptr<unsigned char[]> copy(new unsigned char[doc.size() ? doc.size() : 1]);
  std::copy(doc.begin(), doc.end(), copy.get());
  return loader.load(copy.get(), static_cast<long long>(doc.size()));
}

tBytes everyFace() {
  return fontEntry(0, 5, 13, 0) + fontEntry(1, 6, 12, 1) + fontEntry(2, 5, 13, 2) + fontEntry(3, 6, 16, 4) +
         fontEntry(4, 7, 14, 7);
}

// Every record type, nested three containers deep, in two languages.
tBytes fullDocument() {
  const sHead outer = sHead().background(0xFFEEDD).breaks().margins(1, 2, 3, 4).size(300);
  const sHead brk = sHead().breaks();
  tBytes inner = textRec("deep", 1) + linkRec("go", 0, 4) + imageRec(0) + imageLinkRec(0, 1);
  tBytes eng =
      containerRec(containerRec(containerRec(inner, 3, 2, 0x112233), 1), 2, 0xFFFF, 0xFFFFFFFF, outer) +
      textRec("", 0xFFFF, 0xFFFFFFFF, brk) + textRec("top", 0, 0xFF);
  tBytes deu = textRec("Hallo", 3);
  return document({{0, eng}, {2, deu}}, everyFace(), linkTable({"https://example.org/", "docs/readme.txt"}),
                  pictureTable({tBytes(), cairoPng(8, 6)}));
}

TEST(SiDocLoader, LoadsEveryRecordTypeFontAndLanguage) {
  cSiDocLoader loader;
  ASSERT_TRUE(loadExact(loader, fullDocument()));
  ASSERT_NE(loader.forLang(0), nullptr);
  EXPECT_EQ(dumpTree(loader.forLang(0)),
            "C0{C2{C1{C3 f(Malgun Gothic,5,13,i) c=112233{T\"deep\" f(TestMono,6,12,b) "
            "L\"go\" f(Lucida Sans,7,14,b,i,u)->https://example.org/ I(8x6) IL(8x6)->docs/readme.txt}}}"
            " m(1,3,2,4) w=300 bg=FFEEDD br T\"\" br T\"top\" f(TestSans,5,13) c=FF}");
  ASSERT_NE(loader.forLang(2), nullptr);
  EXPECT_EQ(dumpTree(loader.forLang(2)), "C0{T\"Hallo\" f(Verdana,6,16,u)}");
  EXPECT_EQ(loader.forLang(1), nullptr);
  EXPECT_EQ(loader.forLang(-1), nullptr);

  // The picture after the empty entry took index 0, and stands upright.
  auto* level1 = static_cast<cSiDocContainer*>(loader.forLang(0)->children.head->value.ptr);
  auto* level2 = static_cast<cSiDocContainer*>(level1->children.head->value.ptr);
  auto* level3 = static_cast<cSiDocContainer*>(level2->children.head->value.ptr);
  auto* image = static_cast<cSiDocImage*>(level3->children.head->next->next->value.ptr);
  ASSERT_NE(image->picture, nullptr);
  const unsigned int* px = image->picture->raw();
  EXPECT_EQ(px[0] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(px[8 * 6 - 1] & 0xFFFFFF, 0x0000FFu);

  loader.destroy();
  EXPECT_EQ(loader.forLang(0), nullptr);
}

TEST(SiDocLoader, DocumentWithoutTablesAndFromAFile) {
  tBytes doc = document({{5, textRec("plain")}}, {}, {}, {});
  cTempFolder dir;
  std::string path = dir.write("doc", doc), none = dir.file("none");
  cSiDocLoader loader;
  EXPECT_TRUE(loader.load(path.data()));
  EXPECT_EQ(dumpTree(loader.forLang(5)), "C0{T\"plain\"}");
  EXPECT_FALSE(loader.load(none.data()));
  EXPECT_EQ(loader.forLang(5), nullptr);
}

tBytes block(const tBytes& records) {
  tBytes stream = records;
  put8(stream, 0xFF);
  return zlibCompress(stream, 5);
}

TEST(SiDocLoader, RefusesDamagedDocuments) {
  const tBytes good = fullDocument();
  tBytes badMagic = good;
  badMagic[3] = 'X';
  tBytes noLanguage;
  putText(noLanguage, "ZVKHDOCF");
  noLanguage.insert(noLanguage.end(), {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  tBytes hugeBlock;
  putText(hugeBlock, "ZVKHDOCF");
  put8(hugeBlock, 0);
  put32(hugeBlock, 0xFFFFFFFF);
  hugeBlock.resize(64);
  tBytes hugeTable = rawDocument({{0, block(textRec("a"))}}, {}, {}, {});
  hugeTable[hugeTable.size() - 12] = 0xFF;  // the font table's size becomes 0xFF...
  hugeTable[hugeTable.size() - 9] = 0xFF;
  tBytes hugePictures = rawDocument({{0, block(textRec("a"))}}, {}, {}, {});
  hugePictures.resize(hugePictures.size() - 4);
  put32(hugePictures, 0xFFFFFFFF);
  hugePictures.resize(hugePictures.size() + 16);
  tBytes cutContainer = containerRec(textRec("a"));
  cutContainer.pop_back();
  tBytes typeFive = textRec("a");
  typeFive[0] = 5;
  tBytes longText = textRec("abc");
  longText[24] = 100;
  tBytes stream = textRec("a");
  stream.pop_back();
  tBytes unstartedStream = zlibCompress(tBytes(stream.begin(), stream.begin() + 10), 5);
  tBytes noEndByte = zlibCompress(textRec("a"), 5);

  const tBytes pict = pictureTable({cairoPng(4, 4)});
  struct sCase {
    const char* name;
    tBytes doc;
  } cases[] = {
      {"short", tBytes(good.begin(), good.begin() + 12)},
      {"bad magic", badMagic},
      {"no language", noLanguage},
      {"repeated language", rawDocument({{1, block(textRec("a"))}, {1, block(textRec("b"))}}, {}, {}, {})},
      {"block of size 0", rawDocument({{0, {}}}, {}, {}, {})},
      {"block of size 0xFFFFFFFF", hugeBlock},
      {"font table larger than the document", hugeTable},
      {"picture table of size 0xFFFFFFFF", hugePictures},
      {"font table of 12 bytes", document({{0, textRec("a")}}, everyFace() + tBytes{0, 0, 5, 0}, {}, {})},
      {"face 5", document({{0, textRec("a")}}, fontEntry(5, 5, 13, 0), {}, {})},
      {"damaged font stream", rawDocument({{0, block(textRec("a"))}}, {1, 2, 3, 4, 5}, {}, {})},
      {"link longer than its table", document({{0, textRec("a")}}, {}, tBytes{10, 0, 'a', 'b'}, {})},
      {"picture longer than its table", document({{0, textRec("a")}}, {}, {}, tBytes{99, 0, 0, 0, 1, 2})},
      {"picture of no known format", document({{0, textRec("a")}}, {}, {}, pictureTable({tBytes(40, 7)}))},
      {"no closing byte", rawDocument({{0, noEndByte}}, {}, {}, {})},
      {"container without its closing byte", document({{0, cutContainer}}, {}, {}, {})},
      {"record type 5", document({{0, typeFive}}, {}, {}, {})},
      {"record cut inside its head", rawDocument({{0, unstartedStream}}, {}, {}, {})},
      {"text past the stream", document({{0, longText}}, {}, {}, {})},
      {"empty stream", rawDocument({{0, zlibCompress({}, 5)}}, {}, {}, {})},
      {"text font missing", document({{0, textRec("a", 0)}}, {}, {}, {})},
      {"container font missing", document({{0, containerRec({}, 0, 1)}}, fontEntry(0, 5, 13, 0), {}, {})},
      {"link target missing", document({{0, linkRec("a", 1)}}, {}, linkTable({"x"}), {})},
      {"picture missing", document({{0, imageRec(1)}}, {}, {}, pict)},
      {"picture link without target", document({{0, imageLinkRec(0, 0xFFFF)}}, {}, linkTable({"x"}), pict)},
  };
  for (const sCase& k : cases) {
    cSiDocLoader loader;
    EXPECT_FALSE(loadExact(loader, k.doc)) << k.name;
  }
  cSiDocLoader loader;
  EXPECT_TRUE(loadExact(loader, document({{0, imageLinkRec(0, 0)}}, {}, linkTable({"x"}), pict)));
  EXPECT_FALSE(loader.load(nullptr, 100));
}

TEST(SiDocLoader, EveryTruncationFails) {
  const tBytes good = fullDocument();
  for (size_t n = 0; n < good.size(); ++n) {
    cSiDocLoader loader;
    ASSERT_FALSE(loadExact(loader, tBytes(good.begin(), good.begin() + static_cast<long>(n)))) << n;
  }
}

tBytes nested(int depth) {
  tBytes opening = containerRec({});
  opening.pop_back();
  tBytes stream;
  stream.reserve(opening.size() * depth + depth + 1);
  for (int i = 0; i < depth; ++i) stream.insert(stream.end(), opening.begin(), opening.end());
  stream.insert(stream.end(), static_cast<size_t>(depth) + 1, 0xFF);
  return rawDocument({{0, zlibCompress(stream, 5)}}, {}, {}, {});
}

class cLoadJob : public cJob {
 public:
  const tBytes& doc;
  std::promise<bool> done;
  explicit cLoadJob(const tBytes& d) : cJob(nullptr), doc(d) {}
  int job() override {
    cSiDocLoader loader;
    done.set_value(loadExact(loader, doc));
    return 0;
  }
};

TEST(SiDocLoader, NestingIsBounded) {
  cSiDocLoader loader;
  EXPECT_TRUE(loadExact(loader, nested(cSiDocLoader::kMaxDepth)));
  EXPECT_FALSE(loadExact(loader, nested(cSiDocLoader::kMaxDepth + 1)));
  // A job's thread has a smaller stack than the main one.
  const tBytes deep = nested(100000);
  cLoadJob job(deep);
  std::future<bool> loaded = job.done.get_future();
  ASSERT_TRUE(job.start());
  EXPECT_FALSE(loaded.get());
  job.terminate();
}

// A zlib stream of n zero bytes, made without holding them.
tBytes zeros(long long n) {
  z_stream z{};
  deflateInit(&z, 1);
  static const unsigned char chunk[1 << 20] = {};
  unsigned char out[1 << 16];
  tBytes packed;
  for (long long left = n;;) {
    const long long now = left < static_cast<long long>(sizeof chunk) ? left : sizeof chunk;
    left -= now;
    z.next_in = const_cast<Bytef*>(chunk);
    z.avail_in = static_cast<uInt>(now);
    int rc;
    do {
      z.next_out = out;
      z.avail_out = sizeof out;
      rc = deflate(&z, left ? Z_NO_FLUSH : Z_FINISH);
      packed.insert(packed.end(), out, out + (sizeof out - z.avail_out));
    } while (z.avail_out == 0 || (!left && rc != Z_STREAM_END));
    if (!left) break;
  }
  deflateEnd(&z);
  return packed;
}

TEST(SiDocLoader, InflationStopsAtTheCeiling) {
  struct sCase {
    long long size, limit;
    bool ok;
  } cases[] = {{1000, 1000, true}, {1001, 1000, false}, {300000, 1 << 20, true}, {0, 10, false}};
  for (const sCase& k : cases) {
    tBytes packed = zeros(k.size);
    _typebuf<unsigned char> out;
    EXPECT_EQ(inflateBounded(packed.data(), static_cast<long long>(packed.size()), k.limit, out), k.ok)
        << k.size;
    EXPECT_EQ(out.count, k.ok ? k.size : 0) << k.size;
  }
  tBytes cut = zeros(100000);
  cut.resize(cut.size() / 2);
  _typebuf<unsigned char> out;
  EXPECT_FALSE(inflateBounded(cut.data(), static_cast<long long>(cut.size()), 1 << 20, out));

  // A language stream of 1 GiB fails at the ceiling, holding little.
  const tBytes bomb = rawDocument({{0, zeros(1ll << 30)}}, {}, {}, {});
  resetPeakArrayBytes();
  cSiDocLoader loader;
  EXPECT_FALSE(loadExact(loader, bomb));
  EXPECT_LT(peakArrayBytes(), 200ll << 20);
}

}  // namespace
