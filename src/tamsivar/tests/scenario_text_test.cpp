#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "text_support.h"

namespace {

// Declares English and Russian and has everything the final checks ask
// for; its lines are 0 to 4, so an appended entry's section header is line 5.
const std::string kHead =
    "[General]\n"
    "langs = ENGRUS\n"
    "[Software]\n"
    "codename = \"demo\"\n"
    "eula = \"@/eula.idx\"\n";

class TextScenario : public ::testing::Test {
 protected:
  ScratchDir dir;
  void SetUp() override {
    writeDoc(dir, "eula", {"ENG", "RUS"});
    writeDoc(dir, "en", {"ENG"});
    writeDoc(dir, "all", {"ENG", "RUS", "DEU"});
    dir.write("bad.idx", "ENG = \"./missing.hdl\"\n");
    dir.write("one.txt", "one\n");
    dir.write("empty.bin", "");
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  }
};

TEST_F(TextScenario, EveryRefusalAnswersItsCodeAndLine) {
  struct Case {
    std::string text;
    int code, line;
  };
  const std::string in = kHead + "[Install]\n";
  const std::string menu = kHead + "[Menu]\n";
  const std::string soft = kHead + "[Software]\n";
  const std::string strs = kHead + "[Strings]\n";
  const std::string notUtf8 = "the line holds bytes that are not UTF-8", control = "the line holds a control character";
  const Case cases[] = {
      {"# only\n\n   # comments\n", 9, -1},
      {"[General] # fine\n[general]\n", 2, 1},
      {"[General] x\n", 3, 0},
      {"langs = ENG\n", 4, 0},
      {"[General]\nlang = ENG\n", 5, 1},
      {soft + "bogus = \"x\"\n", 5, 6},
      {"[General]\nlangs ENG\n", 6, 1},
      {"[General]\nlangs =   # nothing\n", 9, 1},
      {"[General]\nlangs = ENG,RUS\n", 16, 1},
      {"[Strings]\nRUS.x = \"a\"\n[General]\nlangs = RUS\n", 16, 1},
      {strs + "EN.x = \"a\"\n", 16, 6},
      {strs + "ENGx.y = \"a\"\n", 16, 6},
      {strs + "ENG.a.b = \"a\"\n", 16, 6},
      {strs + "DEU.x = \"a\"\n", 16, 6},
      {strs + "= \"a\"\n", 17, 6},
      {strs + "ENG. = \"a\"\n", 17, 6},
      {strs + "pgm = \"/somewhere\"\n", 28, 6},
      {strs + "ENG.pgm = \"/somewhere\"\n", 28, 6},
      {strs + "x = a\n", 7, 6},
      {strs + "x \"a\"\n", 7, 6},
      {strs + "x = \"a\\\"\n", 7, 6},
      {strs + "x = \"a\\", 7, 6},
      {strs + "x = \"a\" b\n", 7, 6},
      {soft + "name \"x\"\n", 6, 6},
      {soft + "version = \"1\"\n", 18, 6},
      {soft + "version = \"1.70000\"\n", 18, 6},
      {soft + "version = \"1.99999999999\"\n", 18, 6},
      {soft + "version = \"-1.2\"\n", 18, 6},
      {soft + "readme = \"@/eula.idx\", maybe\n", 7, 6},
      {soft + "welcome = \"@/bad.idx\"\n", 19, 6},
      {soft + "readme = \"@/bad.idx\"\n", 20, 6},
      {soft + "eula = \"@/nothing.idx\"\n", 21, 6},
      {soft + "icon = $nokey \"x\"\n", 23, 6},
      {soft + "icon = \"\" \"/x\" extra\n", 6, 6},
      {strs + "ENG.only = \"e\"\n[Menu]\n$only = $pgm \"a\", $pgm \"i\"\n", 7, 8},
      {strs + "ENG.only = \"e\"\n[Software]\nicon = $only \"x\"\n", 23, 8},
      {"[General]\nlangs = ENG\n[Software]\ncodename = \"d\"\n", 11, -1},
      {"[General]\nlangs = ENG\n[Software]\neula = \"@/eula.idx\"\n", 10, -1},
      {"[General]\nlangs = ENG DEU\n[Software]\ncodename = \"d\"\neula = \"@/eula.idx\"\n", 12, -1},
      {soft + "welcome = \"@/en.idx\"\n", 13, -1},
      {soft + "readme = \"@/en.idx\"\n", 14, -1},
      {"[General]\nlangs = ENG RUS DEU\n[Software]\ncodename = \"d\"\neula = \"@/all.idx\"\n"
       "[Strings]\nENG.k = \"e\"\nRUS.k = \"r\"\n",
       15, -1},
      {in + "x86.\"@/one.txt\" = $pgm \"a\"\n", 24, 6},
      {in + "y\"@/one.txt\" = $pgm \"a\"\n", 25, 6},
      {in + "\"@/one.txt = $pgm \"a\"\n", 26, 6},
      {in + "\"@/missing\" = $pgm \"a\"\n", 26, 6},
      {in + "\"@/empty.bin\" = $pgm \"a\"\n", 26, 6},
      {in + "\"@/fifo\" = $pgm \"a\"\n", 26, 6},
      {in + "\"@/one.txt\" $pgm \"a\"\n", 6, 6},
      {in + "\"@/one.txt\" = $nokey \"a\"\n", 23, 6},
      {in + "\"@/one.txt\" = $pgm \"../x\"\n", 23, 6},
      {in + "\"@/one.txt\" = $pgm \"a/../../x\"\n", 23, 6},
      {in + "\"@/one.txt\" = $pgm \"a\" x\n", 6, 6},
      {in + "\"@/one.txt\" = $pgm \"a\", 75\n", 27, 6},
      {in + "\"@/one.txt\" = $pgm \"a\", 758\n", 27, 6},
      {in + "\"@/one.txt\" = $pgm \"a\", 755 RUS\n", 27, 6},
      {in + "\"@/one.txt\" = $pgm \"a\", 755, RUS DEU\n", 16, 6},
      {in + "\"@/one.txt\" = $pgm \"a\", , * RUS\n", 16, 6},
      {menu + "\"c\" = $pgm \"p\"\n", 6, 6},
      {menu + "\"c\" $pgm \"p\", $pgm \"i\"\n", 6, 6},
      {menu + "\"c\" = $pgm \"p\", $pgm \"i\", 9\n", 6, 6},
      {menu + "\"c\" = $pgm \"p\", $pgm \"i\", 1, x\n", 7, 6},
      {menu + "\"c\" = $pgm \"p\", $pgm \"i\", 1, \"m\", \"a\" x\n", 6, 6},
      {menu + "$ = $pgm \"p\", $pgm \"i\"\n", 7, 6},
      {menu + "$.0000 = $pgm \"p\", $pgm \"i\"\n", 7, 6},
      {menu + "\"c\" = $pgm, $pgm \"i\"\n", 23, 6},
      {"[Menu]\n$later = $pgm \"p\", $pgm \"i\"\n" + kHead, 7, 1},
      {"[Menu]\n\"c\" = $later \"p\", $pgm \"i\"\n" + kHead, 23, 1},
      {kHead + "[Settings]\n\"\" = d, \"1\"\n", 6, 6},
      {kHead + "[Settings]\n\"n\" = d, \"abc\"\n", 8, 6},
      {kHead + "[Settings]\n\"n\" = x, \"1\"\n", 6, 6},
      {kHead + "[Settings]\nn = d, \"1\"\n", 6, 6},
      {kHead + "[Settings]\n\"n\" = d \"1\"\n", 6, 6},
      {kHead + "[Settings]\n\"n\" = t, x\n", 7, 6},
      {kHead + "[Settings]\n\"n\" = t, \"x\" y\n", 6, 6},
      {kHead + "[Run]\n\"c\" = $pgm \"p\", maybe\n", 6, 6},
      {kHead + "[Run]\n\"c\" = $pgm \"p\", yes, \"a\" b\n", 6, 6},
      {kHead + "[Run]\n\"c\" = $pgm\n", 23, 6},
      {kHead + "[Deprecates]\n\"old\" = \"70000\"\n", 8, 6},
      {kHead + "[Deprecates]\n\"old\" = \"-1\"\n", 8, 6},
      {kHead + "[Deprecates]\n\"old\" = \"x1\"\n", 8, 6},
      {kHead + "[Deprecates]\n\"\" = *\n", 6, 6},
      {kHead + "[Deprecates]\n\"old\" = 5\n", 7, 6},
      {kHead + "[Deprecates]\n\"old\" = * x\n", 6, 6},
      {kHead + "[Software]\n" + std::string("name = \"a\0b\"\n", 13), 7, 6},
      {std::string("# a\0 b\n", 7) + kHead, 7, 0},
  };
  for (const Case& c : cases) {
    cSoftPkgScenario s;
    int line;
    EXPECT_EQ(compileText(dir, c.text, s, line), c.code) << c.text;
    EXPECT_EQ(line, c.line) << c.text;
    EXPECT_TRUE(s.fault.words || textCodeMeaning(c.code)) << c.text;
  }
  cSoftPkgScenario s;
  int line = 0;
  EXPECT_EQ(s.loadTextConfig(dir.file("absent.txt").c_str(), line), 1);
  EXPECT_EQ(line, 0);
}

TEST_F(TextScenario, EntriesFillTheModel) {
  const std::string text = kHead +
                           "[General]\n"
                           "langs = DEU\n"
                           "[Strings]\n"
                           "ENG.title = \"T\"\n"
                           "RUS.title = \"Z\"\n"
                           "DEU.title = \"D\"\n"
                           "q = \"say \\\"hi\\\" \\\\ ok\"\n"
                           "[Software]\n"
                           "version = \"2.5\"\n"
                           "[Menu]\n"
                           "\"Caption\" = $pgm \"bin/a\", $pgm \"a.png\"\n"
                           "\"Caption\" = $pgm \"bin/b\", \"\" \"/abs/b.png\", 3, \"Other\", $title\n"
                           "[Install]\n"
                           "\"@/one.txt\" = $pgm \"one\", 755 # digits only\n"
                           "x64.\"@/one.txt\" = $pgm \"two\", , RUS DEU\n"
                           "x32. \"@/one.txt\" = $pgm \"a/../three\", 644, *\n"
                           "[Settings]\n"
                           "\"d\" = d, \"0x10\"\n"
                           "\"w\" = w, \"70000\"\n"
                           "\"t\" = t, \"\"\n"
                           "[Run]\n"
                           "$title = $pgm \"bin/a\", yes, \"--go\"\n"
                           "\"Run\" = $pgm \"bin/b\",\n"
                           "[Deprecates]\n"
                           "\"old\" = \"12\"\n"
                           "\"older\" = *\n";
  writeDoc(dir, "eula", {"ENG", "RUS", "DEU"});
  cSoftPkgScenario s;
  int line;
  ASSERT_EQ(compileText(dir, text, s, line), 0);
  EXPECT_EQ(line, -1);
  EXPECT_EQ(s.currLangID(), 0);
  EXPECT_STREQ(s.getStr("q"), "say \"hi\" \\ ok");
  int ver[4];
  s.getVer(ver);
  EXPECT_EQ(std::vector<int>(ver, ver + 4), (std::vector<int>{2, 5, 0, 0}));

  auto* m = s.menu.head;
  ASSERT_TRUE(m && m->next);
  EXPECT_STREQ(m->value.caption.ptr, ".0000");
  EXPECT_EQ(m->value.flags, 0);
  EXPECT_EQ(m->value.comment.ptr, nullptr);
  EXPECT_STREQ(m->next->value.caption.ptr, ".0000");
  EXPECT_STREQ(m->next->value.icon.var.ptr, ".0001");
  EXPECT_STREQ(s.getStr(".0001"), "");
  EXPECT_STREQ(m->next->value.comment.ptr, ".0002");
  EXPECT_STREQ(m->next->value.arguments.ptr, "title");
  EXPECT_EQ(m->next->value.flags, 3);

  struct File {
    const char* rest;
    int perms[3];
    bool for32, for64;
    std::vector<int> langs;
  };
  const File files[] = {{"one", {7, 5, 5}, true, true, {}},
                        {"two", {8, 8, 8}, false, true, {1, 2}},
                        {"a/../three", {6, 4, 4}, true, false, {}}};
  auto* f = s.files.head;
  for (const File& want : files) {
    ASSERT_TRUE(f);
    EXPECT_STREQ(f->value.target.var.ptr, "pgm");
    EXPECT_STREQ(f->value.target.rest.ptr, want.rest);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(f->value.perms[i], want.perms[i]) << want.rest;
    EXPECT_EQ(f->value.for32 != 0, want.for32);
    EXPECT_EQ(f->value.for64 != 0, want.for64);
    std::vector<int> langs;
    for (auto* l = f->value.langs.head; l; l = l->next) langs.push_back(l->value);
    EXPECT_EQ(langs, want.langs) << want.rest;
    f = f->next;
  }

  const std::vector<tBytes> params = {{0x10, 0, 0, 0}, {0x70, 0x11}, {}};
  auto* p = s.params.head;
  for (const tBytes& want : params) {
    ASSERT_TRUE(p);
    EXPECT_EQ(tBytes(p->value.data.ptr, p->value.data.ptr + p->value.data.count), want);
    p = p->next;
  }

  ASSERT_TRUE(s.runs.head && s.runs.head->next);
  EXPECT_EQ(s.runs.head->value.checked, 1);
  EXPECT_STREQ(s.getStr(s.runs.head->value.arguments.ptr), "--go");
  EXPECT_EQ(s.runs.head->next->value.checked, 0);
  ASSERT_TRUE(s.deprecates.head && s.deprecates.head->next);
  EXPECT_EQ(s.deprecates.head->value.version, 12);
  EXPECT_EQ(s.deprecates.head->next->value.version, 65535);
}

// The byte-order mark decides the encoding; lines reach the parsers as
// UTF-8. The "~" stands for the Cyrillic letter U+0416.
// Beside its code and line a refusal says what is wrong there, and names
// the file at fault with a place only where there is one inside it.
TEST_F(TextScenario, RefusalsSayWhatIsAtFault) {
  dir.write("open.ENG.hdl", "<text>Terms\n <b>bold</text>");
  dir.write("open.idx", "ENG = \"./open.ENG.hdl\"\nRUS = \"./open.ENG.hdl\"\n");
  std::filesystem::create_directory(dir.file("tree"));
  dir.write("tree/a.txt", "a");
  const std::string steps = "the target's \"..\" or \".\" steps lead out of its folder or back to the folder itself";
  const std::string in = kHead + "[Install]\n", soft = kHead + "[Software]\n";
  const std::string run = kHead + "[Run]\n", menu = kHead + "[Menu]\n";
  const std::string pathSteps =
      "the path's \"..\" or \".\" steps lead out of its base or back to the base itself";
  const std::string noName =
      "the path names no file after its base: write the name in the quoted rest, such as $pgm \"bin/tool\" or "
      "\"\" \"/usr/bin/tool\"";
  std::string cjk;
  for (int i = 0; i < 87383; ++i) cjk += "\xE4\xB8\xAD";
  const std::string beforeNext =
      "a value is followed by \",\" and the next one, or ends the entry: only spaces and a # comment may "
      "follow";
  const std::string afterLast = "only spaces and a # comment may follow the entry's last value";
  const std::string flag = "the flag is one digit from 0 to 8";
  const std::string keyWithoutEq =
      "a key is known by its first letters, and \"=\" must follow them at once (namex = \"T\" is the key name "
      "without its \"=\")";
  struct Case {
    std::string text;
    int code, line;
    std::string words, file;
    long long faultLine, faultColumn;
    std::string message;
  };
  const std::string strs = kHead + "[Strings]\n";
  const std::string notUtf8 = "the line holds bytes that are not UTF-8", control = "the line holds a control character";
  const std::string noText = "the line holds U+FFFE or U+FFFF, which are no text";
  const std::string version = textCodeMeaning(18),
                    after = "only spaces and a # comment may follow the quoted value";
  const std::string codename =
      "the codename names the package's record: one name, not empty, \".\" or \"..\", without \"/\"";
  // Only where an address may stand instead is it offered.
  const std::string absolute = "the path is no absolute path: its base must be $pgm or begin with \"/\"";
  const std::string absoluteRun = absolute + " (a [Run] program may also be an http:// or https:// address)";
  const std::string alone = "an address is opened alone: it takes no arguments";
  const std::string same = "two lines install a file at the same place";
  const std::string nested =
      "two lines install a file and another inside it, where a folder would have to be";
  const Case cases[] = {
      // Each number of digits only, one dot between two, at most four;
      // blanks before a number and after the last are read past.
      {soft + "version = \"1.2.3.4.5\"\n", 18, 6, version, "", -1, -1, ""},
      {soft + "version = \"1.0beta\"\n", 18, 6, version, "", -1, -1, ""},
      {soft + "version = \"1.0.\"\n", 18, 6, version, "", -1, -1, ""},
      {soft + "version = \"1 .0\"\n", 18, 6, version, "", -1, -1, ""},
      {soft + "version = \"1.0 x\"\n", 18, 6, version, "", -1, -1, ""},
      {soft + "version = \"+1.+0\"\n", 18, 6, version, "", -1, -1, ""},
      {soft + "version = \"1..0\"\n", 18, 6, version, "", -1, -1, ""},
      {soft + "version = \" 1.0\"\n", 0, -1, "", "", -1, -1, ""},
      {soft + "version = \"1.0 \"\n", 0, -1, "", "", -1, -1, ""},
      {soft + "version = \"1. 0\"\n", 0, -1, "", "", -1, -1, ""},
      {soft + "version = \"65535.0.0.7\"\n", 0, -1, "", "", -1, -1, ""},
      // A key is known by its first letters: what follows it must be the
      // "=" (6); words that name the cause the code has here.
      {soft + "namex = \"T\"\n", 6, 6, keyWithoutEq, "", -1, -1, ""},
      {"[General]\nlangsx = ENG\n", 6, 1, keyWithoutEq, "", -1, -1, ""},
      {soft + "nam = \"T\"\n", 5, 6, textCodeMeaning(5), "", -1, -1, ""},
      {strs + "my.key = \"v\"\n", 16, 6,
       "a dot in a [Strings] key may only follow a three-letter language code, as in DEU.name", "", -1, -1,
       ""},
      {strs + "XYZ.key = \"v\"\n", 16, 6, "the three letters before the dot are no language code", "", -1, -1,
       ""},
      {strs + "DEU.key = \"v\"\n", 16, 6, "the language before the dot is not declared by langs =", "", -1,
       -1, ""},
      {strs + "key \"v\"\n", 7, 6, "a [Strings] entry is key = \"text\": the \"=\" is missing", "", -1, -1,
       ""},
      {strs + "key = \"v\" junk\n", 7, 6, after, "", -1, -1, ""},
      {soft + "name = \"Hello\" junk\n", 7, 6, after, "", -1, -1, ""},
      {soft + "readme = \"@/eula.idx\", maybe\n", 7, 6,
       "after readme's path and \",\" only the word yes or no may stand", "", -1, -1, ""},
      {soft + "readme = \"@/eula.idx\", yesno\n", 7, 6,
       "after readme's path and \",\" only the word yes or no may stand", "", -1, -1, ""},
      {in + "\"@/one.txt\" = $pgm \"a\", RUS\n", 27, 6,
       "bad permissions: a language list needs the empty mode before it: , , FRA", "", -1, -1, ""},
      {in + "\"@/one.txt\" = $pgm \"a\", 755 RUS\n", 27, 6,
       "bad permissions: a \",\" goes between the mode and the languages: , 755, FRA", "", -1, -1, ""},
      {in + "\"@/one.txt\" = $pgm \"a\", 755 junk\n", 27, 6,
       "bad permissions: only a \",\" and the languages may follow the mode: , 755, FRA", "", -1, -1, ""},
      {in + "\"@/one.txt\" = $pgm \"a\", , RUS\n", 0, -1, "", "", -1, -1, ""},
      // A codename is the record's one plain name, however it is set.
      {soft + "codename = \"../../evil\"\n", 7, 6, codename, "", -1, -1, ""},
      {soft + "codename = \"a/b\"\n", 7, 6, codename, "", -1, -1, ""},
      {soft + "codename = \"..\"\n", 7, 6, codename, "", -1, -1, ""},
      {soft + "codename = \".\"\n", 7, 6, codename, "", -1, -1, ""},
      {soft + "codename = \"\"\n", 7, 6, codename, "", -1, -1, ""},
      {strs + "codename = \"../x\"\n", 7, 6, codename, "", -1, -1, ""},
      {strs + "RUS.codename = \"x/y\"\n", 7, 6, codename, "", -1, -1, ""},
      {soft + "codename = \"a..b\"\n", 0, -1, "", "", -1, -1, ""},
      // Targets that could never install: relative, twice the same, one
      // inside another; per language and bitness apart they may meet.
      {in + "\"@/one.txt\" = \"\" \"relpwn/x\"\n", 23, 6, absolute, "", -1, -1, ""},
      {in + "\"@/one.txt\" = \"relbase\" \"x\"\n", 23, 6, absolute, "", -1, -1, ""},
      {strs + "ENG.base = \"/abs\"\nRUS.base = \"rel\"\n[Install]\n\"@/one.txt\" = $base \"x\"\n", 23, 9,
       absolute, "", -1, -1, ""},
      {in + "\"@/one.txt\" = $pgm \"a\"\n\"@/one.txt\" = $pgm \"./a\"\n", 23, 7, same, "@/scenario.txt", 6,
       -1, "installs $pgm/a as well"},
      {in + "\"@/one.txt\" = $pgm \"a/b\"\n\n\"@/one.txt\" = $pgm \"a\"\n", 23, 8, nested, "@/scenario.txt",
       6, -1, "installs $pgm/a/b, and line 9 $pgm/a"},
      {in + "\"@/tree\" = $pgm \"d\"\n\"@/one.txt\" = $pgm \"d//a.txt\"\n", 23, 7, same, "@/scenario.txt", 6,
       -1, "installs $pgm/d/a.txt as well"},
      {in + "\"@/one.txt\" = \"/\" \"x\"\n\"@/one.txt\" = \"\" \"/x/y\"\n", 23, 7, nested, "@/scenario.txt",
       6, -1, "installs /x, and line 8 /x/y"},
      {in + "\"@/one.txt\" = $pgm \"r\", , ENG\n\"@/one.txt\" = $pgm \"r\", , RUS\n" +
           "x64.\"@/one.txt\" = $pgm \"t\"\nx32.\"@/one.txt\" = $pgm \"t\"\n\"@/one.txt\" = \"\" "
           "\"/opt/a\"\n" +
           "\"@/one.txt\" = $pgm \"a\"\n\"@/one.txt\" = $pgm \"a-b\"\n\"@/one.txt\" = $pgm \"a.b/c\"\n",
       0, -1, "", "", -1, -1, ""},
      {in + "\"@/one.txt\" = $pgm \"sub/..\"\n", 23, 6, steps, "", -1, -1, ""},
      {in + "\"@/one.txt\" = $pgm \"sub/./..\"\n", 23, 6, steps, "", -1, -1, ""},
      {in + "\"@/one.txt\" = $pgm \"sub//../\"\n", 23, 6, steps, "", -1, -1, ""},
      {in + "\"@/tree\" = $pgm \".\"\n", 23, 6, steps, "", -1, -1, ""},
      {in + "\"@/one.txt\" = $pgm \"./..\"\n", 23, 6, steps, "", -1, -1, ""},
      {in + "\"@/one.txt\" = $pgm \"a/../..\"\n", 23, 6, steps, "", -1, -1, ""},
      {in + "\"@/one.txt\" = $pgm \"\"\n", 23, 6,
       "a file's target needs a name after $pgm, such as $pgm \"bin/tool\"", "", -1, -1, ""},
      // Every path of a scenario stays below its base, not only a target.
      {soft + "icon = $pgm \"../../i.png\"\n", 23, 6, pathSteps, "", -1, -1, ""},
      {soft + "icon = $pgm \"sub/..\"\n", 23, 6, pathSteps, "", -1, -1, ""},
      {run + "\"Go\" = $pgm \"../../../bin/sh\", yes, \"-c id\"\n", 23, 6, pathSteps, "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"../x\", $pgm \"i\"\n", 23, 6, pathSteps, "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"p\", \"/usr\" \"./\"\n", 23, 6, pathSteps, "", -1, -1, ""},
      {soft + "icon = \"/usr\" \"share/../icons/i.png\"\n", 0, -1, "", "", -1, -1, ""},
      {run + "\"Go\" = \"\" \"/usr/bin/env\", no, \"true\"\n", 0, -1, "", "", -1, -1, ""},
      // An empty rest names the base, a folder: no file to open or run.
      {soft + "icon = $pgm \"\"\n", 23, 6, noName, "", -1, -1, ""},
      {run + "\"Go\" = $pgm \"\", yes\n", 23, 6, noName, "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"\", $pgm \"i\"\n", 23, 6, noName, "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"p\", $pgm \"\"\n", 23, 6, noName, "", -1, -1, ""},
      {run + "\"Go\" = \"/usr\" \"\"\n", 23, 6, noName, "", -1, -1, ""},
      {soft + "icon = \"\" \"\"\n", 23, 6, noName, "", -1, -1, ""},
      {run + "\"Go\" = \"/usr/bin\" \"env\"\n", 0, -1, "", "", -1, -1, ""},
      // A file opened or run is judged as a target is: a relative path
      // would run from wherever the installer started.
      {run + "\"S\" = \"relbase\" \"x\"\n", 23, 6, absoluteRun, "", -1, -1, ""},
      {run + "\"S\" = \"\" \"relpwn/x\"\n", 23, 6, absoluteRun, "", -1, -1, ""},
      {menu + "\"c\" = \"\" \"rel/p\", $pgm \"i\"\n", 23, 6, absolute, "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"p\", \"rel\" \"i\"\n", 23, 6, absolute, "", -1, -1, ""},
      {soft + "icon = \"\" \"relpwn/i.png\"\n", 23, 6, absolute, "", -1, -1, ""},
      {strs + "ENG.base = \"/abs\"\nRUS.base = \"rel\"\n[Run]\n\"S\" = $base \"x\"\n", 23, 9, absoluteRun, "",
       -1, -1, ""},
      {run + "\"a\" = $pgm \"p\"\n\"b\" = \"\" \"/p\"\n\"c\" = \"\" \"p\"\n", 23, 8, absoluteRun, "", -1, -1, ""},
      // A [Run] web address is opened, not looked for: no path; what only
      // looks like one is a relative path, and the opener takes no
      // arguments.
      {run + "\"Visit\" = \"\" \"https://example.com/\", yes\n", 0, -1, "", "", -1, -1, ""},
      {strs + "ENG.site = \"HTTP://example.com\"\nRUS.site = \"https://example.ru/\"\n[Run]\n\"V\" = $site \"a\"\n", 0,
       -1, "", "", -1, -1, ""},
      {strs + "ENG.site = \"https://example.com\"\nRUS.site = \"docs:\"\n[Run]\n\"V\" = $site \"a\"\n", 23, 9,
       absoluteRun, "", -1, -1, ""},
      {run + "\"V\" = \"\" \"file:///usr/bin/env\"\n", 23, 6, absoluteRun, "", -1, -1, ""},
      {menu + "\"c\" = \"\" \"https://example.com/\", $pgm \"i\"\n", 23, 6, absolute, "", -1, -1, ""},
      {run + "\"V\" = \"\" \"https://example.com/\", no, \"--new\"\n", 6, 6, alone, "", -1, -1, ""},
      {run + "\"V\" = \"\" \"https://example.com/\", no, \"\"\n", 0, -1, "", "", -1, -1, ""},
      // Code 6 says which of its causes it is.
      {soft + "icon = \"\" \"/x\" extra\n", 6, 6, after, "", -1, -1, ""},
      {in + "\"@/one.txt\" = $pgm \"a\" x\n", 6, 6, beforeNext, "", -1, -1, ""},
      {run + "\"c\" = $pgm \"p\" x\n", 6, 6, beforeNext, "", -1, -1, ""},
      {run + "\"c\" = $pgm \"p\", yes junk\n", 6, 6, beforeNext, "", -1, -1, ""},
      {run + "\"c\" = $pgm \"p\", yes, \"a\" b\n", 6, 6, afterLast, "", -1, -1, ""},
      {run + "\"c\" = $pgm \"p\", maybe\n", 6, 6,
       "after the program's path and \",\" only the word yes or no may stand", "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"p\", $pgm \"i\", 9\n", 6, 6, flag, "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"p\", $pgm \"i\", 12\n", 6, 6, flag, "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"p\", $pgm \"i\", a\n", 6, 6, flag, "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"p\", $pgm \"i\", -1, \"m\"\n", 6, 6, flag, "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"p\", $pgm \"i\", 1a\n", 6, 6, flag, "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"p\", $pgm \"i\",\t3\t, \"m\"\n", 0, -1, "", "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"p\", $pgm \"i\", , \"m\"\n", 0, -1, "", "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"p\", $pgm \"i\" 1\n", 6, 6, beforeNext, "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"p\", $pgm \"i\", 1, \"m\", \"a\" x\n", 6, 6, afterLast, "", -1, -1, ""},
      {menu + "\"c\" = $pgm \"p\"\n", 6, 6, textCodeMeaning(6), "", -1, -1, ""},
      {kHead + "[Settings]\n\"n\" = t, \"x\" y\n", 6, 6, afterLast, "", -1, -1, ""},
      {kHead + "[Settings]\n\"n\" = x, \"1\"\n", 6, 6, "a setting's type is w, d, q or t", "", -1, -1, ""},
      {kHead + "[Settings]\n\"\" = d, \"1\"\n", 6, 6, "a setting needs a name: \"name\" = type, \"value\"",
       "", -1, -1, ""},
      {kHead + "[Settings]\n\"n\" = d \"1\"\n", 6, 6, textCodeMeaning(6), "", -1, -1, ""},
      {kHead + "[Deprecates]\n\"old\" = * x\n", 6, 6, afterLast, "", -1, -1, ""},
      {kHead + "[Deprecates]\n\"old\" = \"3\" x\n", 6, 6, afterLast, "", -1, -1, ""},
      {kHead + "[Deprecates]\n\"\" = *\n", 6, 6,
       "the package it supersedes needs its codename: \"oldcodename\" = \"3\" or = *", "", -1, -1, ""},
      {in + "\"@/one.txt\" = $pgm \"sub/../b\"\n", 0, -1, "", "", -1, -1, ""},
      {in + "\"@/tree\" = $pgm \"\"\n", 0, -1, "", "", -1, -1, ""},
      {std::string("# a\0 b\n", 7) + kHead, 7, 0, "the line holds a NUL byte", "", -1, -1, ""},
      // Text only: bytes that are no UTF-8 and control characters would
      // reach the bundle's property list and the wizard's title.
      {soft + "name = \"Caf\xE9\"\n", 7, 6, notUtf8, "", -1, -1, ""},
      {soft + "name = \"a\xC0\xAF\"\n", 7, 6, notUtf8, "", -1, -1, ""},
      {soft + "name = \"a\xED\xA0\x80\"\n", 7, 6, notUtf8, "", -1, -1, ""},
      {soft + "name = \"a\xF4\x90\x80\x80\"\n", 7, 6, notUtf8, "", -1, -1, ""},
      {soft + "name = \"a\xE2\x82\"\n", 7, 6, notUtf8, "", -1, -1, ""},
      {"# \xFF\n" + kHead, 7, 0, notUtf8, "", -1, -1, ""},
      {soft + "name = \"a\x01\"\n", 7, 6, control, "", -1, -1, ""},
      {soft + "name = \"a\x1B[0m\"\n", 7, 6, control, "", -1, -1, ""},
      {soft + "name = \"a\x7F\"\n", 7, 6, control, "", -1, -1, ""},
      {soft + "name = \"a\xC2\x85\"\n", 7, 6, control, "", -1, -1, ""},
      {soft + "name = \"a\xEF\xBF\xBE\"\n", 7, 6, noText, "", -1, -1, ""},
      {soft + "name = \"a\xEF\xBF\xBF\"\n", 7, 6, noText, "", -1, -1, ""},
      {soft + "name = \"a\xEF\xBF\xBD\xEF\xB7\x90\xF0\x9F\xBF\xBF\"\n", 0, -1, "", "", -1, -1, ""},
      {soft + "name\t=\t\"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"\n", 0, -1, "", "", -1, -1, ""},
      // The limit counts the bytes a UTF-8 line takes.
      {kHead + "[Strings]\nk = \"" + std::string(300000, 'v') + "\"\n", 7, 6,
       "the line is longer than 262144 bytes", "", -1, -1, ""},
      {kHead + "[Strings]\n" + cjk + "\n", 7, 6, "the line is longer than 262144 bytes", "", -1, -1, ""},
      {kHead + "[Strings]\n#" + std::string(262143, 'v') + "\n", 0, -1, "", "", -1, -1, ""},
      {"[General]\nlangs =   # nothing\n", 9, 1, "\"langs =\" names no language", "", -1, -1, ""},
      {"# only\n", 9, -1, "no language is declared: [General] needs a line such as langs = ENG", "", -1, -1,
       ""},
      {kHead + "[Strings]\npgm = \"/x\"\n", 28, 6, textCodeMeaning(28), "", -1, -1, ""},
      {soft + "eula = \"eula.idx\"\n", 21, 6, textCodeMeaning(21), "@/scenario.txt", 6, -1,
       "\"eula.idx\" is named without its folder, so its \"./\" sources cannot be found: write "
       "\"./eula.idx\""},
      {soft + "eula = \"@/nothing.idx\"\n", 21, 6, textCodeMeaning(21), "@/nothing.idx", -1, -1,
       "Unable to open index"},
      {soft + "readme = \"@/bad.idx\"\n", 20, 6, textCodeMeaning(20), "@/missing.hdl", -1, -1,
       "Unable to open source file"},
      {soft + "eula = \"@/open.idx\"\n", 21, 6, textCodeMeaning(21), "@/open.ENG.hdl", 1, 8,
       "close tag mismatch: </text> closes <b> opened at line 2, column 2"},
  };
  // The scenario names its files from the folder `make` runs in.
  char before[4096];
  ASSERT_TRUE(getcwd(before, sizeof before));
  ASSERT_EQ(chdir(dir.root.c_str()), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 200));
    cSoftPkgScenario s;
    int line;
    EXPECT_EQ(compileText(dir, c.text, s, line), c.code);
    EXPECT_EQ(line, c.line);
    const char* words = s.fault.words ? s.fault.words : textCodeMeaning(c.code);
    EXPECT_EQ(words ? words : "", c.words);
    EXPECT_EQ(s.fault.file.ptr ? s.fault.file.ptr : "", inFolder(dir, c.file));
    EXPECT_EQ(s.fault.line, c.faultLine);
    EXPECT_EQ(s.fault.column, c.faultColumn);
    EXPECT_EQ(s.fault.message.ptr ? s.fault.message.ptr : "", c.message);
  }
  ASSERT_EQ(chdir(before), 0);
}

TEST_F(TextScenario, EncodingsByByteOrderMark) {
  const std::string text = inFolder(dir, kHead + "[Strings]\nq = \"~\"\n");
  std::string utf8 = "\xEF\xBB\xBF", le = "\xFF\xFE", be = "\xFE\xFF";
  for (char c : text) {
    const unsigned unit = c == '~' ? 0x416 : static_cast<unsigned char>(c);
    utf8 += c == '~' ? std::string("\xD0\x96") : std::string(1, c);
    le += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    be += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
  }
  for (const std::string& form : {utf8, le, be}) {
    cSoftPkgScenario s;
    int line;
    ASSERT_EQ(compileText(dir, form, s, line), 0) << line;
    EXPECT_STREQ(s.getStr("q"), "\xD0\x96");
  }
  // The line limit counts what the file stores: a comment of 87,383 CJK
  // characters, too long as UTF-8, fits as UTF-16.
  for (const size_t units : {87383u, 262144u}) {
    std::string text = "\xFF\xFE";
    for (const char c : inFolder(dir, kHead) + "#") text += {c, '\0'};
    for (size_t i = 0; i < units; ++i) text += "\x2D\x4E";
    text += {'\n', '\0'};
    cSoftPkgScenario s;
    int line;
    EXPECT_EQ(compileText(dir, text, s, line), units < 262144 ? 0 : 7) << units;
    EXPECT_STREQ(s.fault.words, units < 262144 ? nullptr : "the line is longer than 262144 UTF-16 units");
  }
}

TEST_F(TextScenario, ReadmeAcceptanceAndPathForms) {
  const struct {
    const char* option;
    bool accept;
  } options[] = {{", yes", true}, {", no", false}, {"", false}};
  for (const auto& o : options) {
    cSoftPkgScenario s;
    int line;
    ASSERT_EQ(compileText(dir, kHead + "readme = \"@/eula.idx\"" + o.option + "\n", s, line), 0) << o.option;
    EXPECT_EQ(s.readme_needs_accept(), o.accept) << o.option;
    EXPECT_NE(s.readme(), nullptr);
  }
  // The three forms of a path definition: a variable, a literal base, and
  // an empty literal before an absolute path.
  const struct {
    const char* def;
    const char* path;
  } forms[] = {{"$pgm \"bin/tool\"", "/opt/demo/bin/tool"},
               {"\"/usr/local\" \"share\"", "/usr/local/share"},
               {"\"\" \"/etc/demo.conf\"", "/etc/demo.conf"}};
  for (const auto& form : forms) {
    cSoftPkgScenario s;
    int line;
    ASSERT_EQ(compileText(dir, kHead + "icon = " + form.def + "\n", s, line), 0) << form.def;
    s.setStr(-1, "pgm", "/opt/demo");
    _guardchar<char> path;
    ASSERT_TRUE(s.getIconPath(path));
    EXPECT_STREQ(path.ptr, form.path);
  }
}

}  // namespace
