#include <gtest/gtest.h>

#include <fstream>

#include "base/tests/run_program.h"
#include "base/tests/scratch_dir.h"
#include "cihlpdoc/tests/support/docwriter.h"
#include "hash/sha256.h"
#include "scenario_support.h"

namespace {

tBytes contentOf(cMemIOTarget& m) {
  _typebuf<unsigned char> buf;
  m.toBuffer(buf);
  return tBytes(buf.ptr, buf.ptr + buf.count);
}

// The whole file around a body, as a writer other than ours would make it.
tBytes fileAround(const tBytes& body, unsigned format = 1) {
  tBytes digest(32);
  _SHA2Hash(body.data(), digest.data(), static_cast<long long>(body.size()));
  tBytes packed = zlibCompress(body, 6);
  return Fields()
      .raw("ZVKSOPKG")
      .u8(format)
      .u32(static_cast<unsigned>(body.size()))
      .u32(static_cast<unsigned>(packed.size()))
      .raw(digest)
      .raw(packed)
      .b;
}

bool loads(cSoftPkgScenario& s, tBytes file) {
  cBufWrapperIO in(file.data(), static_cast<long long>(file.size()), false);
  return s.loadBinConfig(&in);
}

tBytes savedBody(cSoftPkgScenario& s) {
  cMemIOTarget out;
  EXPECT_TRUE(s.saveBinConfig(&out));
  tBytes file = contentOf(out);
  tBytes plain(file[9] | file[10] << 8 | file[11] << 16);
  uLongf size = static_cast<uLongf>(plain.size());
  uncompress(plain.data(), &size, file.data() + 49, static_cast<uLong>(file.size() - 49));
  return plain;
}

// Uses every section of the format.
void fillEverything(cSoftPkgScenario& s) {
  SCOPED_TRACE("filling");
  unsigned v[4] = {3, 1, 4, 1};
  std::copy(v, v + 4, s.ver);
  s.support.set("https://example.org/support");
  s.publisher.set("https://example.org");
  s.updates.set("https://example.org/updates");
  s.setStr(-1, "codename", "demo");
  s.setStr(-1, "cap", "Demo");
  s.setStr(-1, "key5x", "five bytes");
  s.declareLang(0);
  s.declareLang(4);
  s.declareLang(9);
  s.setStr(0, "caption", "Run");
  s.setStr(4, "caption", "실행");
  s.setStr(9, "caption", "執行");
  setPath(s.icon, "pgm", "icon.png");
  auto& m = s.menu.add()->value;
  m.caption.set("caption");
  m.comment.set("cap");
  m.arguments.set("key5x");
  setPath(m.program, "pgm", "bin/demo");
  setPath(m.icon, "pgm", "icon.png");
  m.flags = 1;
  addItem(s, sampleBytes(5000, 1));
  addItem(s, sampleBytes(9000, 2), true);
  auto& f = addFile(s, 0, "pgm", "bin/demo", false, true);
  f.perms[0] = 7;
  f.perms[1] = 5;
  f.perms[2] = 5;
  f.langs.add()->value = 4;
  f.langs.add()->value = 9;
  addFile(s, 1, "", "/usr/share/demo/data");
  auto& r = s.runs.add()->value;
  r.caption.set("caption");
  setPath(r.program, "pgm", "bin/demo");
  r.arguments.set("key5x");
  r.checked = 1;
  auto& p = s.params.add()->value;
  p.name.set("answer");
  p.data.set(4);
  std::memcpy(p.data.ptr, "\x2a\0\0\0", 4);
  auto& d = s.deprecates.add()->value;
  d.codename.set("olddemo");
  d.version = 2;
  tBytes welcome = document({{0, textRec("Welcome")}, {4, textRec("환영합니다")}}, {}, {}, {});
  tBytes readme = document({{0, textRec("Read me")}}, {}, {}, {});
  tBytes eula = document({{4, textRec("약관")}, {9, textRec("條款")}}, {}, {}, {});
  ASSERT_TRUE(s.welcomeDoc.load(welcome.data(), static_cast<long long>(welcome.size())));
  ASSERT_TRUE(s.readmeDoc.load(readme.data(), static_cast<long long>(readme.size())));
  s.readmeAccept = 1;
  ASSERT_TRUE(s.eulaDoc.load(eula.data(), static_cast<long long>(eula.size())));
}

TEST(BinaryScenario, EveryTagRoundTripsAtAnOffsetAndSavesIdentically) {
  cSoftPkgScenario made;
  fillEverything(made);
  cMemIOTarget file;
  tBytes lead = sampleBytes(4096, 9);
  file.writef(lead.data(), 4096);
  ASSERT_TRUE(made.saveBinConfig(&file));
  unsigned long long end = file.size();
  file.writef(lead.data(), 1000);  // whatever follows the scenario in the package
  tBytes first = contentOf(file);

  cSoftPkgScenario back;
  back.setCurrLangID(0);
  file.set_fp(4096);
  ASSERT_TRUE(back.loadBinConfig(&file));
  cMemIOTarget again;
  ASSERT_TRUE(back.saveBinConfig(&again));
  EXPECT_EQ(contentOf(again), tBytes(first.begin() + 4096, first.begin() + static_cast<long>(end)));

  // Saving again gave the same bytes, so the model is the same; what is
  // left to see is that the documents and items are usable.
  ASSERT_TRUE(back.setCurrLangID(4));
  EXPECT_NE(back.welcome(), nullptr);
  EXPECT_EQ(back.readme(), nullptr) << "the readme has no Korean text";
  EXPECT_NE(back.eula(), nullptr);
  back.setCurrLangID(0);
  EXPECT_NE(back.readme(), nullptr);
  EXPECT_EQ(back.eula(), nullptr);
  cFileIOTarget* item = back.file(1);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(readAll(*item), sampleBytes(9000, 2));
  delete item;

  // Every shorter file fails, however it is cut.
  tBytes whole(first.begin() + 4096, first.begin() + static_cast<long>(end));
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    cSoftPkgScenario part;
    ASSERT_FALSE(loads(part, tBytes(whole.begin(), whole.begin() + static_cast<long>(cut)))) << cut;
  }
}

TEST(BinaryScenario, SystemToolsAgreeWithTheHeader) {
  cSoftPkgScenario made;
  fillEverything(made);
  ScratchDir dir;
  cFileIO out;
  ASSERT_TRUE(out.create(dir.file("scenario.data").c_str(), fmWrite));
  ASSERT_TRUE(made.saveBinConfig(&out));
  out.close();
  const char* check =
      "import hashlib, struct, sys, zlib\n"
      "d = open(sys.argv[1], 'rb').read()\n"
      "assert d[:8] == b'ZVKSOPKG' and d[8] == 1\n"
      "plain, packed = struct.unpack('<II', d[9:17])\n"
      "assert len(d) == 49 + packed\n"
      "body = zlib.decompress(d[49:])\n"
      "assert len(body) == plain and hashlib.sha256(body).digest() == d[17:49]\n"
      "assert body[0] == 1 and body[-1] == 0\n"
      "print('agreed')\n";
  std::string said;
  EXPECT_EQ(runProgram({"python3", "-c", check, dir.file("scenario.data")}, &said), 0);
  EXPECT_EQ(said, "agreed\n");
}

// A body written by hand with its sections in another order than ours.
Fields handBody() {
  tBytes item = sampleBytes(64, 5);
  tBytes digest(32);
  _SHA2Hash(item.data(), digest.data(), 64);
  Fields b;
  b.u8(13).u32(0).u32(64).raw(digest).raw(item).u32(0).u32(0);
  b.u8(4).u8(1).u32(0).u8(4).u8(4).u8(8).u8(3).str("pgm").str("a/../b").u8(0).u8(10).u8(0xFF).u8(0);
  b.u8(7).u8(10).u8(1).u16(8).raw(tBytes{'c', 'a', 'p', 't', 'i', 'o', 'n', 0}).str("Ten").u8(0).u8(0xFF);
  b.u8(5).u8(1).u8(3).str("caption").str("pgm").str("run").str("").u8(0);
  b.u8(8).u8(1).u16(4).raw("text").u16(0).u8(0);
  b.u8(1).u32(2).u32(0).u32(0).u32(0).str("").str("").str("");
  b.u8(6).u8(1).u16(4).raw("code").str("hand").u8(0);
  return b;
}

TEST(BinaryScenario, HandWrittenFileInAnotherOrderLoads) {
  tBytes file = fileAround(Fields(handBody()).u8(0).b);
  cSoftPkgScenario s;
  ASSERT_TRUE(loads(s, file));
  EXPECT_TRUE(s.setCurrLangID(10)) << "language 10 is accepted";
  EXPECT_EQ(text(s.getStr("caption")), "Ten");
  EXPECT_EQ(text(s.getStr("code")), "hand");
  EXPECT_EQ(s.supportURL(), nullptr) << "an empty text reads back as absent";
  ASSERT_NE(s.runs.head, nullptr);
  EXPECT_EQ(s.runs.head->value.checked, 1) << "run flags 3 read as checked";
  ASSERT_NE(s.files.head, nullptr);
  auto& f = s.files.head->value;
  EXPECT_EQ(f.perms[0], 8);
  EXPECT_EQ(f.perms[1], 4);
  EXPECT_EQ(f.perms[2], 4);
  EXPECT_TRUE(f.for32 && f.for64);
  EXPECT_EQ(s.params.head->value.data.count, 0) << "a setting may carry no data";
  EXPECT_EQ(s.pkg.count, 1u);
  EXPECT_EQ(s.getVerID(), 2ull << 48);

  for (size_t cut = 0; cut < file.size(); ++cut) {
    cSoftPkgScenario part;
    EXPECT_FALSE(loads(part, tBytes(file.begin(), file.begin() + static_cast<long>(cut)))) << cut;
  }
}

TEST(BinaryScenario, DescribedFieldRules) {
  tBytes hand = handBody().b;
  tBytes goodDoc = document({{10, textRec("Ten")}}, {}, {}, {});
  auto with = [&](const Fields& more) { return fileAround(Fields().raw(hand).raw(more.b).u8(0).b); };
  struct Case {
    const char* what;
    tBytes file;
    bool loads;
  } cases[] = {
      {"format 0", fileAround(Fields().raw(hand).u8(0).b, 0), true},
      {"format 2", fileAround(Fields().raw(hand).u8(0).b, 2), false},
      {"permission digit 9",
       with(Fields().u8(4).u8(1).u32(0).u8(9).u8(0).u8(0).u8(2).str("pgm").str("x").u8(0xFF).u8(0)), false},
      {"file language 11", with(Fields().u8(4).u8(1).u32(0).u32(0x02000000).str("pgm").str("x").u8(11).u8(0xFF).u8(0)),
       false},
      {"table language 11", with(Fields().u8(7).u8(11).u8(0).u8(0xFF)), false},
      {"a language twice", with(Fields().u8(7).u8(10).u8(0).u8(0xFF)), false},
      {"a key twice", with(Fields().u8(6).u8(1).u16(4).raw("code").str("again").u8(0)), false},
      {"a key of length 0", with(Fields().u8(6).u8(1).u16(0).str("x").u8(0)), false},
      {"a setting named by nothing", with(Fields().u8(8).u8(1).u16(0).u16(1).u8(1).u8(0)), false},
      {"a bad list marker", with(Fields().u8(12).u8(2)), false},
      {"an unknown tag", with(Fields().u8(14)), false},
      {"a document of size 0", with(Fields().u8(9).u32(0)), false},
      {"a document past the end", with(Fields().u8(11).u32(100).raw(tBytes(50))), false},
      {"a document that does not load", with(Fields().u8(9).u32(8).raw("ZVKHDOCX")), false},
      {"a document that loads",
       with(Fields().u8(9).u32(static_cast<unsigned>(goodDoc.size())).raw(goodDoc)), true},
      {"an item past the end", with(Fields().u8(13).u32(0).u32(1000).raw(tBytes(40))), false},
      {"a file of an item the package lacks",
       with(Fields().u8(4).u8(1).u32(1).u32(0x02000000).str("pgm").str("x").u8(0xFF).u8(0)), false},
      {"a rest climbing out", with(Fields().u8(4).u8(1).u32(0).u32(0x02000000).str("pgm").str("../x").u8(0xFF).u8(0)),
       false},
      {"a rest climbing out later",
       with(Fields().u8(4).u8(1).u32(0).u32(0x02000000).str("pgm").str("a/../../x").u8(0xFF).u8(0)), false},
      {"a rest coming back to its folder",
       with(Fields().u8(4).u8(1).u32(0).u32(0x02000000).str("pgm").str("a/..").u8(0xFF).u8(0)), false},
      {"an absolute rest under no variable",
       with(Fields().u8(4).u8(1).u32(0).u32(0x02000000).str("").str("/etc/x.conf").u8(0xFF).u8(0)), true},
      {"an icon variable no language defines", with(Fields().u8(2).str("nowhere").str("i.png")), false},
      {"an icon variable every language defines", with(Fields().u8(2).str("caption").str("i.png")), true},
      {"a run caption no language defines", with(Fields().u8(5).u8(1).u8(0).str("nowhere").str("").str("x").str("").u8(0)),
       false},
  };
  for (Case& c : cases) {
    cSoftPkgScenario s;
    EXPECT_EQ(loads(s, c.file), c.loads) << c.what;
  }
}

TEST(BinaryScenario, WriterFormsAndLimits) {
  cSoftPkgScenario s;
  s.declareLang(2);
  s.setStr(-1, "abcde", "v");
  tBytes body = savedBody(s);
  // A declared language without strings is its id and the byte 0; a 5-byte
  // key goes out as its two packed words.
  tBytes expected = Fields()
                        .u8(1).u32(0).u32(0).u32(0).u32(0).u16(0).u16(0).u16(0)
                        .u8(6).u8(1).u16(8).raw(tBytes{'a', 'b', 'c', 'd', 'e', 0, 0, 0}).str("v").u8(0)
                        .u8(7).u8(2).u8(0).u8(0xFF)
                        .u8(0)
                        .b;
  EXPECT_EQ(body, expected);

  struct Case {
    const char* what;
    void (*spoil)(cSoftPkgScenario&);
  } cases[] = {
      {"a text over 65535 bytes", [](cSoftPkgScenario& t) { t.support.set(std::string(65536, 'x').c_str()); }},
      {"a key over 65535 bytes once padded",
       [](cSoftPkgScenario& t) { t.setStr(-1, std::string(65533, 'k').c_str(), "v"); }},
      {"an empty key", [](cSoftPkgScenario& t) { t.setStr(-1, "", "v"); }},
      {"a setting without a name", [](cSoftPkgScenario& t) { t.params.add(); }},
      {"a deprecated package without a codename", [](cSoftPkgScenario& t) { t.deprecates.add(); }},
      {"a language the reader refuses", [](cSoftPkgScenario& t) { t.declareLang(11); }},
  };
  for (Case& c : cases) {
    cSoftPkgScenario t;
    c.spoil(t);
    cMemIOTarget out;
    EXPECT_FALSE(t.saveBinConfig(&out)) << c.what;
  }
  cSoftPkgScenario fine;
  fine.setStr(-1, std::string(65532, 'k').c_str(), "v");
  cMemIOTarget out;
  EXPECT_TRUE(fine.saveBinConfig(&out)) << "a key of exactly 65532 bytes fits";
  EXPECT_FALSE(fine.saveBinConfig(nullptr));
}

TEST(BinaryScenario, APackageThatSetsTheInstallationFolderIsRefused) {
  for (int lang : {-1, 0}) {
    cSoftPkgScenario made;
    made.setStr(-1, "codename", "x");
    made.declareLang(0);
    made.setStr(lang, "pgm", "/somewhere");
    cMemIOTarget out;
    ASSERT_TRUE(made.saveBinConfig(&out));
    cSoftPkgScenario s;
    EXPECT_FALSE(loads(s, contentOf(out))) << lang;
  }
}

TEST(BinaryScenario, DamagedFilesFail) {
  cSoftPkgScenario small;
  small.setStr(-1, "codename", "x");
  cMemIOTarget out;
  ASSERT_TRUE(small.saveBinConfig(&out));
  tBytes file = contentOf(out);
  for (size_t i = 0; i < file.size(); ++i) {
    if (i >= 9 && i < 17) continue;  // the sizes have cases of their own below
    tBytes bad = file;
    bad[i] ^= 0x5A;
    cSoftPkgScenario s;
    EXPECT_FALSE(loads(s, bad)) << "byte " << i;
  }
  struct Case {
    const char* what;
    unsigned plain, packed;
    size_t extra;
  } cases[] = {
      {"a plain size one larger", 1, 0, 0},
      {"a plain size one smaller", ~0u, 0, 0},
      {"4 GiB claimed by a bare header", 0xFFFFFFFFu, 0xFFFFFFFFu, 0},
      {"a compressed size past the end", 0, 1, 0},
      {"more plain bytes than deflate can give", 0x7FFFFFFFu, 0, 0},
      {"sizes of 0", 0x80000000u, 0x80000000u, 0},
  };
  unsigned plain = file[9] | file[10] << 8, packed = file[13] | file[14] << 8;
  for (Case& c : cases) {
    tBytes bad = c.plain == 0xFFFFFFFFu && c.packed == 0xFFFFFFFFu ? tBytes(file.begin(), file.begin() + 49) : file;
    unsigned p = c.plain == 0x80000000u ? 0 : plain + c.plain, k = c.packed == 0x80000000u ? 0 : packed + c.packed;
    if (c.packed == 0xFFFFFFFFu) p = k = 0xFFFFFFFFu;
    if (c.plain == 0x7FFFFFFFu) p = packed * 1032 + 65;
    for (int b = 0; b < 4; ++b) {
      bad[9 + b] = static_cast<unsigned char>(p >> 8 * b);
      bad[13 + b] = static_cast<unsigned char>(k >> 8 * b);
    }
    cSoftPkgScenario s;
    EXPECT_FALSE(loads(s, bad)) << c.what;
  }
}

}  // namespace
