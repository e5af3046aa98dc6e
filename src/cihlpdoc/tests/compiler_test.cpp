// The markup compiler: the records, tables and messages it gives for
// sources written in the test, compared with bytes written field by field.
#include <gtest/gtest.h>
#include <locale.h>
#include <unistd.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "base/memio.h"
#include "cihlpdoc/hdlparser.h"
#include "support/docwriter.h"
#include "support/tempfolder.h"
#include "support/treedump.h"

namespace {

struct sCompile {
  bool ok = false;
  cHDLParser::sErrInfo err;
  tBytes doc;
  sDocParts parts;
};

void compile(const std::string& index, sCompile& out) {
  cMemIOTarget target;
  cHDLParser parser;
  out.ok = parser.parse(const_cast<char*>(index.c_str()), &target, out.err);
  _typebuf<unsigned char> bytes;
  target.toBuffer(bytes);
  out.doc.assign(bytes.ptr, bytes.ptr + bytes.count);
  if (out.ok) {
    EXPECT_TRUE(splitDocument(out.doc, out.parts));
  }
}

// One English source beside its index.
void compileSource(cTempFolder& dir, const std::string& source, sCompile& out) {
  dir.write("en.hdl", source);
  compile(dir.write("doc.idx", "ENG = \"./en.hdl\"\n"), out);
}

tBytes end() { return tBytes{0xFF}; }

TEST(HdlCompiler, RecordsAndTables) {
  cTempFolder dir;
  const tBytes png = cairoPng(6, 4);
  dir.write("p.png", png);
  const sHead breaks = sHead().breaks();
  const sHead inlineFlow;
  const sHead every = sHead().background(255).margins(1, 2, 3, 4).size(100, 32);
  struct sCase {
    const char* source;
    tBytes stream, fonts = {}, links = {}, pictures = {};
  } cases[] = {
      {"one   \t two", textRec("one") + textRec("two") + end()},
      {"<b>bold</b>", textRec("bold", 0) + end(), fontEntry(0, 6, 13, 1)},
      {"<text>a</text>", containerRec(textRec("a"), 0, 0xFFFF, 0xFFFFFFFF, breaks) + end()},
      {"<text br=0>a</text>", containerRec(textRec("a"), 0, 0xFFFF, 0xFFFFFFFF, inlineFlow) + end()},
      {"<text f=\"verd,16\">a</text>", containerRec(textRec("a"), 0, 0, 0xFFFFFFFF, breaks) + end(),
       fontEntry(3, 6, 16, 0)},
      {"<text f='verd,16'><text f=std>a</text></text>",
       containerRec(containerRec(textRec("a"), 0, 1, 0xFFFFFFFF, breaks), 0, 0, 0xFFFFFFFF, breaks) + end(),
       fontEntry(3, 6, 16, 0) + fontEntry(0, 6, 16, 0)},
      {"<text f=luci,20,9,BiU>a</text>", containerRec(textRec("a", 1), 0, 0, 0xFFFFFFFF, breaks) + end(),
       fontEntry(4, 9, 20, 7) + fontEntry(4, 10, 20, 7)},
      {"<link ref=\"http://x/\"><img src=\"./p.png\"></link>",
       imageLinkRec(0, 0, breaks) + end(),
       {},
       linkTable({"http://x/"}),
       pictureTable({png})},
      {"<img src=./p.png br=0 w=9><img src=./p.png>",
       imageRec(0, sHead().size(9)) + imageRec(0, breaks) + end(),
       {},
       {},
       pictureTable({png})},
      {"a<br>b", textRec("a") + textRec("", 0xFFFF, 0xFFFFFFFF, breaks) + textRec("b") + end()},
      {"<link ref=u>go<br><lt></link>",
       linkRec("go", 0) + textRec("", 0xFFFF, 0xFFFFFFFF, breaks) + textRec("<") + end(),
       {},
       linkTable({"u"})},
      {"<link ref=u><b><i>x</i></b></link><link>y</link><link ref=u>z</link>",
       linkRec("x", 0, 0) + linkRec("y", 1) + linkRec("z", 0) + end(), fontEntry(0, 6, 13, 3),
       linkTable({"u", ""})},
      {"<text ml=1 mr=2 mt=3 mb=4 w=100 h=0x20 br=0 fg=0xFF bg=255 a=Justify>x</text>",
       containerRec(textRec("x"), 3, 0xFFFF, 0xFF, every) + end()},
      {"<text a=r><text a=C>x</text></text>",
       containerRec(containerRec(textRec("x"), 2, 0xFFFF, 0xFFFFFFFF, breaks), 1, 0xFFFF, 0xFFFFFFFF,
                    breaks) +
           end()},
  };
  for (const sCase& k : cases) {
    sCompile c;
    compileSource(dir, k.source, c);
    ASSERT_TRUE(c.ok) << k.source << ": " << (c.err.message.ptr ? c.err.message.ptr : "");
    ASSERT_EQ(c.parts.langs.size(), 1u) << k.source;
    EXPECT_EQ(c.parts.langs[0], k.stream) << k.source;
    EXPECT_EQ(c.parts.fonts, k.fonts) << k.source;
    EXPECT_EQ(c.parts.links, k.links) << k.source;
    EXPECT_EQ(c.parts.pictures, k.pictures) << k.source;
  }
}

TEST(HdlCompiler, TextEncodings) {
  cTempFolder dir;
  const std::string russian = "\xD0\x9F\xD1\x80\xD0\xB8";  // "При"
  tBytes utf16{0xFF, 0xFE};
  for (unsigned short u : {0x41, 0x20, 0x41F, 0x440, 0x438, 0x20}) put16(utf16, u);
  utf16.push_back(0x42);  // an odd byte is not text
  struct sCase {
    tBytes file;
    tBytes stream;
  } cases[] = {
      {tBytes{0xEF, 0xBB, 0xBF, 'a', ' ', 'b'}, textRec("a") + textRec("b") + end()},
      {utf16, textRec("A") + textRec(russian) + end()},
      {tBytes{'a', 'b', 'c'}, textRec("abc") + end()},
  };
  for (const sCase& k : cases) {
    dir.write("en.hdl", k.file);
    sCompile c;
    compile(dir.write("doc.idx", "eng=\"./en.hdl\""), c);
    ASSERT_TRUE(c.ok) << (c.err.message.ptr ? c.err.message.ptr : "");
    EXPECT_EQ(c.parts.langs[0], k.stream);
  }
}

TEST(HdlCompiler, SharedObjectsAreStoredOnceAndTheDocumentLoads) {
  cTempFolder dir;
  const tBytes png = cairoPng(6, 4);
  dir.write("p.png", png);
  const std::string source = "<text f=verd,16 a=j><link ref=\"https://x/\">go <img src=\"" + dir.path +
                             "/p.png\"></link> <b>big</b></text>";
  dir.write("en.hdl", source);
  dir.write("de.hdl", source + " mehr");
  sCompile c;
  compile(dir.write("doc.idx", "  \r\n\tENG = \"./en.hdl\"\r\nDEU=\"" + dir.path + "/de.hdl\"  \n"), c);
  ASSERT_TRUE(c.ok) << (c.err.message.ptr ? c.err.message.ptr : "");
  EXPECT_EQ(c.parts.pictures, pictureTable({png}));
  EXPECT_EQ(c.parts.links, linkTable({"https://x/"}));
  EXPECT_EQ(c.parts.fonts, fontEntry(3, 6, 16, 0) + fontEntry(3, 7, 16, 1));

  cSiDocLoader loader;
  ASSERT_TRUE(loader.load(c.doc.data(), static_cast<long long>(c.doc.size())));
  const std::string eng =
      "C0{C3 f(Verdana,6,16){L\"go\"->https://x/ IL(6x4)->https://x/ br T\"big\" f(Verdana,7,16,b)} br";
  EXPECT_EQ(dumpTree(loader.forLang(0)), eng + "}");
  EXPECT_EQ(dumpTree(loader.forLang(2)), eng + " T\"mehr\"}");
  EXPECT_EQ(loader.forLang(1), nullptr);
}

struct sErrorCase {
  const char* source;
  const char* message;
  unsigned int line, column;
};

TEST(HdlCompiler, SourceErrorsSayWhereAndWhy) {
  cTempFolder dir;
  dir.write("p.png", cairoPng(2, 2));
  dir.write("text.png", std::string("not a picture"));
  dir.write("empty.png", std::string());
  const sErrorCase cases[] = {
      // A mismatch points at the closing tag and names the open one; any
      // other error in a tag points at its "<" too.
      {"<b>x</i>", "close tag mismatch: </i> closes <b> opened at line 1, column 1", 0, 4},
      {"<text>a\n  <i>b\n\t</text>", "close tag mismatch: </text> closes <i> opened at line 2, column 3", 2,
       1},
      {"a </b>", "close tag mismatch: </b> closes no open tag", 0, 2},
      {"<Text>", "invalid tag opened", 0, 0},
      {"<br >", "invalid tag opened", 0, 0},
      {"<b>x\n</b>\n</q>", "invalid tag closed", 2, 0},
      {"<text\nml=1>\n</b>", "close tag mismatch: </b> closes <text> opened at line 1, column 1", 2, 0},
      // CR, CR LF and LF each end a line, as editors write them.
      {"<text>a\r  <i>b\r\t</text>", "close tag mismatch: </text> closes <i> opened at line 2, column 3", 2,
       1},
      {"<text>a\r\n  <i>b\r\n\t</text>", "close tag mismatch: </text> closes <i> opened at line 2, column 3",
       2, 1},
      {"<text>a\r\rb <b>x\r", "termination on opened tag", 3, 0},
      {"<text\rml=1>\r\n</b>", "close tag mismatch: </b> closes <text> opened at line 1, column 1", 2, 0},
      {"<text>a</text >", "tag is not properly closed", 0, 7},
      {"<text>a\n", "termination on opened tag", 1, 0},
      {"a <b", "unexpected termination", 0, 2},
      {"x\n\n  <text a=q>", "bad align", 2, 2},
      {"<text a=>", "bad tag props", 0, 0},
      {"<text ml>", "bad tag props", 0, 0},
      {"<text a=\"x>", "bad tag props", 0, 0},
      {"<text f=arial>", "bad font face name", 0, 0},
      {"<text f=verdana>", "bad font face definition", 0, 0},
      {"<text f=verd,>", "bad font height def", 0, 0},
      {"<text f=verd,5000>", "bad font height", 0, 0},
      {"<text f=verd,16x>", "bad font definition", 0, 0},
      {"<text f=verd,16,>", "bad font width def", 0, 0},
      {"<text f=verd,16,99999999999999999999>", "bad font width", 0, 0},
      {"<text f=verd,16,6x>", "bad font width definition", 0, 0},
      {"<text ml=65536>", "bad left margin", 0, 0},
      {"<text mr=-1>", "bad right margin", 0, 0},
      {"<text mt=x>", "bad top margin", 0, 0},
      {"<text mb=0x10000>", "bad bottom margin", 0, 0},
      {"<text w=70000>", "bad width", 0, 0},
      {"<text h=70000 w=70000>", "bad width", 0, 0},
      {"<text h=70000>", "bad height", 0, 0},
      {"<text br=2>", "bad break", 0, 0},
      {"<text fg=0x100000000>", "bad FG color", 0, 0},
      {"<text bg=blue>", "bad BG color", 0, 0},
      {"<img>", "no src prop", 0, 0},
      {"<img src=./none.png>", "unable to open IMG", 0, 0},
      {"<img src=./text.png>", "unable to recognize IMG", 0, 0},
      {"<img src=./empty.png>", "unable to recognize IMG", 0, 0},
      {"<img src=./p.png br=3>", "bad break", 0, 0},
  };
  for (const sErrorCase& k : cases) {
    sCompile c;
    compileSource(dir, k.source, c);
    EXPECT_FALSE(c.ok) << k.source;
    EXPECT_STREQ(c.err.message.ptr, k.message) << k.source;
    EXPECT_EQ(c.err.line, k.line) << k.source;
    EXPECT_EQ(c.err.column, k.column) << k.source;
    EXPECT_TRUE(c.err.placed) << k.source;
    EXPECT_EQ(c.err.file.ptr, dir.path + "/en.hdl") << k.source;
  }
}

// Where an editor shows the byte at `offset`: line and column from 0, each
// character one column as the C library reads UTF-8, a byte it cannot read
// one of its own.
std::pair<unsigned int, unsigned int> editorPlace(const std::string& text, size_t offset) {
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  locale_t before = uselocale(utf8);
  unsigned int line = 0, column = 0;
  std::mbstate_t state{};
  for (size_t i = 0, n; i < offset; i += n) {
    n = std::mbrtowc(nullptr, text.data() + i, offset - i, &state);
    if (n == 0 || n > offset - i) {
      n = 1;
      state = {};
    }
    if (text[i] == '\n') {
      ++line;
      column = 0;
    } else {
      ++column;
    }
  }
  uselocale(before);
  freelocale(utf8);
  return {line, column};
}

TEST(HdlCompiler, ColumnsCountCharactersAsAnEditorShowsThem) {
  cTempFolder dir;
  // The place is the last "<", or the NUL.
  const struct {
    std::string source;
    const char* message;
  } cases[] = {
      {"<text>Gr\xC3\xBC\xC3\x9F"
       "e</i>",
       "close tag mismatch: </i> closes <text> opened at line 1, column 1"},
      {"<text>\xC3\xA9\xC3\xA9\xC3\xA9</i>",
       "close tag mismatch: </i> closes <text> opened at line 1, column 1"},
      {"<text>\xF0\x9F\x98\x80</i>",
       "close tag mismatch: </i> closes <text> opened at line 1, column 1"},
      {"\xE6\x97\xA5\xE6\x9C\xAC <b>\xE8\xAA\x9E</i>",
       "close tag mismatch: </i> closes <b> opened at line 1, column 4"},
      {"<link ref=\xF0\x9F\x98\x80></b>",
       "close tag mismatch: </b> closes <link> opened at line 1, column 1"},
      {"<text>\n \xC3\xBC <b >", "invalid tag opened"},
      {"\xC3\xBC <img src=./none.png>", "unable to open IMG"},
      {"\xD0\x9F\xD1\x80 <B>", "invalid tag opened"},
      // Bytes that are no UTF-8 (Latin-1, a surrogate, an overlong form)
      // are a character each.
      {"\xE9t\xE9 <B>", "invalid tag opened"},
      {"\xED\xA0\x80\xC0\xAF <B>", "invalid tag opened"},
      {"\xE2\x82 <B>", "invalid tag opened"},
      {std::string("<text>Gr\xC3\xBC\xC3\x9F"
                   "e\0</text>",
                   21),
       "NUL byte in text"},
      {std::string("\xE2\x82\xAC\n\xF0\x9F\x98\x80\0", 9), "NUL byte in text"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.source);
    sCompile c;
    compileSource(dir, k.source, c);
    EXPECT_FALSE(c.ok);
    EXPECT_STREQ(c.err.message.ptr, k.message);
    const size_t nul = k.source.find('\0');
    const auto place = editorPlace(k.source, nul != std::string::npos ? nul : k.source.rfind('<'));
    EXPECT_EQ(c.err.line, place.first);
    EXPECT_EQ(c.err.column, place.second);
  }
}

TEST(HdlCompiler, LimitsOfWordsNestingAndTables) {
  cTempFolder dir;
  std::string nested;
  for (int i = 0; i < 100000; ++i) nested += "<b>";
  std::string links;
  for (int i = 0; i < 0x10000; ++i) links += "<link ref=" + std::to_string(i) + "></link>";
  // Four font entries for each container: its own, bold, italic and both.
  std::string fonts;
  for (int i = 0; i < 0x4000; ++i)
    fonts += "<text f=verd," + std::to_string(i / 64 + 1) + "," + std::to_string(i % 64 + 1) +
             "><b>x</b><i>x</i><b><i>x</i></b></text>";
  // Distinct names of one picture, through links in the folder.
  const std::string png = dir.write("p.png", cairoPng(1, 1));
  std::string pictures;
  for (int i = 0; i < 0x10000; ++i) {
    const std::string name = "l" + std::to_string(i);
    ASSERT_EQ(symlink(png.c_str(), (dir.path + "/" + name).c_str()), 0);
    pictures += "<img src=./" + name + ">";
  }
  const struct {
    std::string source;
    const char* message;
  } cases[] = {
      {std::string(65536, 'w'), "word too long"},
      {nested, "too deeply nested"},
      {links, "too many links"},
      {fonts, "too many fonts"},
      {pictures, "too many pictures"},
  };
  for (const auto& k : cases) {
    sCompile c;
    compileSource(dir, k.source, c);
    EXPECT_FALSE(c.ok);
    EXPECT_STREQ(c.err.message.ptr, k.message);
  }
  // Just within each limit.
  std::string deepest;
  for (int i = 0; i < cHDLParser::kMaxDepth; ++i) deepest += "<text>";
  deepest += "x";
  for (int i = 0; i < cHDLParser::kMaxDepth; ++i) deepest += "</text>";
  links.resize(links.rfind("<link"));
  for (const std::string& s : {std::string(65535, 'w'), deepest, links}) {
    sCompile c;
    compileSource(dir, s, c);
    EXPECT_TRUE(c.ok) << (c.err.message.ptr ? c.err.message.ptr : "");
    cSiDocLoader loader;
    EXPECT_TRUE(loader.load(c.doc.data(), static_cast<long long>(c.doc.size())));
  }
}

TEST(HdlCompiler, IndexAndFileErrors) {
  cTempFolder dir;
  dir.write("en.hdl", std::string("x"));
  dir.write("ok.hdl", std::string("fine"));
  dir.write("big.hdl", std::string(4194305, 'a'));
  dir.write("be.hdl", std::string("\xFE\xFF\0<\0b\0>", 8));
  // A NUL used to end the text there and compile the rest away as a success.
  dir.write("nul.hdl", std::string("one\ntwo\n<b>x\0</b>", 17));
  dir.write("nul16.hdl", std::string("\xFF\xFEo\0\n\0k\0\0\0", 10));
  dir.write("nulcr.hdl", std::string("one\rtwo\r<b>x\0</b>", 17));
  const std::string idx = dir.path + "/doc.idx";
  const struct {
    std::string index;
    const char* message;
    unsigned int line, column;
    std::string file;
  } cases[] = {
      {"ENG = \"./ok.hdl\"\nEN = \"./ok.hdl\"", "invalid lang code", 1, 0, idx},
      {"\n\nENG \"./ok.hdl\"", "expected EQ sign after lang code", 2, 4, idx},
      {"ENG = ./ok.hdl", "expected openning QUOTE sign after EQ", 0, 6, idx},
      {"ENG = \"./ok.hdl\nRUS = \"x\"", "expected openning QUOTE sign after end of path", 0, 15, idx},
      {"ENG = \"./ok.hdl\" x", "not expected anything after file path", 0, 17, idx},
      {"ENG = \"./ok.hdl\"\neng = \"./ok.hdl\"", "lang already defined", 1, 0, idx},
      {"ENG=\"./en.hdl\"", "Unable to read source as text file: shorter than 3 bytes", 0, 0,
       dir.path + "/en.hdl"},
      {"ENG=\"./big.hdl\"", "Unable to read source as text file: longer than 4 MB (4194304 bytes)", 0, 0,
       dir.path + "/big.hdl"},
      {"ENG=\"./be.hdl\"",
       "Unable to read source as text file: UTF-16 big-endian is not read: save it as UTF-8 or UTF-16 "
       "little-endian",
       0, 0, dir.path + "/be.hdl"},
      {"ENG=\"./ok.hdl\"\nRUS=\"./none.hdl\"", "Unable to open source file", 0, 0, dir.path + "/none.hdl"},
      {"x", "Unable to read idex: shorter than 3 bytes", 0, 0, idx},
      {"ENG=\"./nul.hdl\"", "NUL byte in text", 2, 4, dir.path + "/nul.hdl"},
      {"ENG=\"./nul16.hdl\"", "NUL byte in text", 1, 1, dir.path + "/nul16.hdl"},
      {std::string("\nENG=\"./ok.hdl\"\0", 16), "NUL byte in text", 1, 14, idx},
      {"ENG = \"./ok.hdl\"\rENG = \"./ok.hdl\"\r", "lang already defined", 1, 0, idx},
      {"ENG = \"./ok.hdl\"\r\rRUS \"./ok.hdl\"", "expected EQ sign after lang code", 2, 4, idx},
      {"ENG = \"./ok.hdl\rRUS = \"x\"", "expected openning QUOTE sign after end of path", 0, 15, idx},
      {"ENG=\"./nulcr.hdl\"", "NUL byte in text", 2, 4, dir.path + "/nulcr.hdl"},
      // Placed where the offending text starts, a character a column.
      {"ENG = \"./ok.hdl\"\nRUS = \"./ok.hdl\"   x", "not expected anything after file path", 1, 19, idx},
      {"ENG = \"./\xC3\xA9.hdl\" x", "not expected anything after file path", 0, 16, idx},
      {"ENG = \"./\xF0\x9F\x98\x80.hdl\"\t x", "not expected anything after file path", 0, 17, idx},
      {"ENG = \"./ok.hdl\"\n  XX = \"./ok.hdl\"", "invalid lang code", 1, 2, idx},
  };
  for (const auto& k : cases) {
    sCompile c;
    compile(dir.write("doc.idx", k.index), c);
    EXPECT_FALSE(c.ok) << k.index;
    EXPECT_STREQ(c.err.message.ptr, k.message) << k.index;
    EXPECT_EQ(c.err.line, k.line) << k.index;
    EXPECT_EQ(c.err.column, k.column) << k.index;
    EXPECT_EQ(c.err.file.ptr, k.file) << k.index;
    // A file that cannot be opened or read has no line to point at.
    EXPECT_EQ(c.err.placed, std::strncmp(k.message, "Unable", 6) != 0) << k.index;
  }
  sCompile c;
  compile(dir.path + "/none.idx", c);
  EXPECT_STREQ(c.err.message.ptr, "Unable to open index");
  EXPECT_FALSE(c.err.placed);
  cHDLParser parser;
  EXPECT_FALSE(parser.parse(const_cast<char*>(idx.c_str()), nullptr, c.err));
  EXPECT_STREQ(c.err.message.ptr, "bad target");
  // A target that fills up, before and after the header.
  dir.write("doc.idx", std::string("ENG=\"./ok.hdl\""));
  for (long long room : {4, 12}) {
    unsigned char buf[12];
    cBufWrapperIO full(buf, room, true);
    EXPECT_FALSE(parser.parse(const_cast<char*>(idx.c_str()), &full, c.err)) << room;
    EXPECT_STREQ(c.err.message.ptr, "Unable to write target") << room;
  }
}

// Paths without a folder are taken from the working folder.
TEST(HdlCompiler, RelativePathsWithoutAFolder) {
  cTempFolder dir;
  dir.write("p.png", cairoPng(2, 2));
  dir.write("img.hdl", std::string("<img src=./p.png>"));
  dir.write("rel.idx", std::string("ENG = \"./img.hdl\""));
  dir.write("plain.idx", std::string("ENG = \"img.hdl\""));
  char* before = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  sCompile rel, plain;
  compile("rel.idx", rel);
  compile("plain.idx", plain);
  ASSERT_EQ(chdir(before), 0);
  free(before);
  EXPECT_STREQ(rel.err.message.ptr, "Path is specified as relative with no current folder");
  EXPECT_TRUE(rel.err.noFolder);
  EXPECT_FALSE(rel.err.placed);
  EXPECT_STREQ(plain.err.message.ptr, "unable to open IMG");
  EXPECT_FALSE(plain.err.noFolder);
  EXPECT_STREQ(plain.err.file.ptr, "img.hdl");
}

}  // namespace
