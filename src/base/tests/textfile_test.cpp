#include "base/textfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/memio.h"
#include "run_program.h"
#include "scratch_dir.h"

namespace {

using Lines = std::vector<std::string>;

Lines readLines(cTextFileIO& text) {
  Lines lines;
  _typebuf<char> line;
  while (text.gets(line))
    lines.emplace_back(line.ptr ? std::string(line.ptr, static_cast<size_t>(line.count)) : "");
  return lines;
}

// Lines of at most six UTF-8 bytes and five UTF-16 units, so that every block size from 6 up
// holds any of them; a surrogate pair and empty lines included.
const Lines kSample = {"alpha", "", "é中x", "\xF0\x9F\x98\x80z", "b", "", "", "tail!", "12345", "w", "ü"};

std::string joined(const Lines& lines, const std::string& eol, bool finalEol) {
  std::string s;
  for (size_t i = 0; i < lines.size(); ++i) {
    s += lines[i];
    if (i + 1 < lines.size() || finalEol) s += eol;
  }
  return s;
}

TEST(TextFile, ReadsWhatIconvWrites) {
  ScratchDir dir;
  std::string source = dir.file("source"), encoded = dir.file("encoded");
  struct Form {
    const char* iconvName;
    cTextFileIO::eTextContentType openAs;
    const char* bom;
  };
  const Form forms[] = {
      {"UTF-8", cTextFileIO::tctDetect, ""},
      {"UTF-8", cTextFileIO::tctDetect, "\xEF\xBB\xBF"},
      {"UTF-8", cTextFileIO::tctUTF8, ""},
      {"UTF-16LE", cTextFileIO::tctUTF16LE, ""},
      {"UTF-16BE", cTextFileIO::tctUTF16BE, ""},
      {"UTF-16LE", cTextFileIO::tctDetect, "\xFF\xFE"},
      {"UTF-16BE", cTextFileIO::tctDetect, "\xFE\xFF"},
      {"UTF-16", cTextFileIO::tctDetect, ""},
  };
  for (const Form& form : forms) {
    for (const char* eol : {"\n", "\r", "\r\n"}) {
      for (bool finalEol : {false, true}) {
        dir.write("source", joined(kSample, eol, finalEol));
        ASSERT_EQ(runProgram({"iconv", "-f", "UTF-8", "-t", form.iconvName, "-o", encoded, source}), 0);
        dir.write("encoded", form.bom + dir.read("encoded"));
        // Small blocks put line ends, CR LF pairs and surrogate pairs across block edges.
        for (long long block : {6, 7, 8, 9, 11, 13, 4096}) {
          SCOPED_TRACE(std::string(form.iconvName) + " bom " + std::to_string(strlen(form.bom)) + " eol " +
                       std::to_string(strlen(eol)) + " final " + std::to_string(finalEol) + " block " +
                       std::to_string(block));
          cTextFileIO text;
          text.setMaxStrLen(block);
          ASSERT_TRUE(text.open(encoded.c_str(), true, form.openAs));
          EXPECT_EQ(readLines(text), kSample);
          EXPECT_FALSE(text.lineTooLong());
        }
      }
    }
  }
}

TEST(TextFile, WritesUtf16ThatIconvReadsBack) {
  ScratchDir dir;
  std::string path = dir.file("out");
  cTextFileIO refusing;
  EXPECT_FALSE(refusing.putStr("x")) << "nothing open";
  EXPECT_FALSE(refusing.create(path.c_str(), static_cast<cTextFileIO::eTextContentType>(5)));
  for (auto type : {cTextFileIO::tctUTF16LE, cTextFileIO::tctUTF16BE}) {
    cTextFileIO text;
    ASSERT_TRUE(text.create(path.c_str(), type));
    EXPECT_FALSE(text.putStr(nullptr));
    for (const std::string& line : kSample) {
      ASSERT_TRUE(text.putStr(line.c_str()));
      ASSERT_TRUE(text.put_eol());
    }
    ASSERT_TRUE(text.put_fmt("%d-%s", 42, "é"));
    EXPECT_FALSE(text.put_fmt("%16384s", ""));
    text.close();
    std::string decoded;
    ASSERT_EQ(runProgram({"iconv", "-f", "UTF-16", "-t", "UTF-8", path}, &decoded), 0);
    EXPECT_EQ(decoded, joined(kSample, "\r\n", true) + "42-é");
  }
}

TEST(TextFile, DetectionNeedsAWholeMarkAndZeroEndsALine) {
  cMemIOTarget mem;
  cTextFileIO text;
  for (std::string bytes : {std::string("\xEF"), std::string("\xEF\xBB")}) {
    ASSERT_TRUE(mem.fromBuffer(bytes.data(), static_cast<long long>(bytes.size())));
    ASSERT_TRUE(text.open(&mem, cTextFileIO::tctDetect));
    EXPECT_EQ(text.type, cTextFileIO::tctPlain);
    EXPECT_EQ(readLines(text), Lines{bytes});
  }
  std::string bytes("ab\0cd\0\0e\nf\r\0", 12);
  ASSERT_TRUE(mem.fromBuffer(bytes.data(), 12));
  ASSERT_TRUE(text.open(&mem, cTextFileIO::tctPlain));
  // Which lines a zero ended, so a reader can refuse it where it stands.
  const std::pair<std::string, bool> expected[] = {{"ab", true}, {"cd", true}, {"", true},
                                                   {"e", false}, {"f", false}, {"", true}};
  _typebuf<char> line;
  for (const auto& [words, zero] : expected) {
    ASSERT_TRUE(text.gets(line));
    EXPECT_EQ(line.ptr ? std::string(line.ptr, static_cast<size_t>(line.count)) : "", words);
    EXPECT_EQ(text.endedByZero(), zero) << words;
  }
  EXPECT_FALSE(text.gets(line));
}

TEST(TextFile, TooLongLineIsToldApartFromTheEnd) {
  for (long long extra : {0, 1}) {
    std::string body = "ab\n" + std::string(static_cast<size_t>(4096 + extra), 'x') + "\nlast";
    cMemIOTarget mem;
    ASSERT_TRUE(mem.fromBuffer(body.data(), static_cast<long long>(body.size())));
    cTextFileIO text;
    ASSERT_TRUE(text.open(&mem, cTextFileIO::tctPlain));
    _typebuf<char> line;
    ASSERT_TRUE(text.gets(line));
    if (extra == 0) {
      ASSERT_TRUE(text.gets(line));
      EXPECT_EQ(line.count, 4096);
    } else {
      EXPECT_FALSE(text.gets(line));
      EXPECT_TRUE(text.lineTooLong());
    }
    ASSERT_TRUE(text.gets(line));
    EXPECT_FALSE(text.lineTooLong());
    EXPECT_EQ(std::string(line.ptr, static_cast<size_t>(line.count)), "last");
    EXPECT_FALSE(text.gets(line));
    EXPECT_FALSE(text.lineTooLong()) << "the end of the input";
  }
}

TEST(TextFile, WritingAfterReadingLandsAtTheReadPosition) {
  cMemIOTarget mem;
  std::string body = "one\ntwo\nthree\n";
  ASSERT_TRUE(mem.fromBuffer(body.data(), static_cast<long long>(body.size())));
  cTextFileIO text;
  ASSERT_TRUE(text.open(&mem, cTextFileIO::tctPlain));
  _typebuf<char> line;
  ASSERT_TRUE(text.gets(line));
  ASSERT_TRUE(text.putStr("TWO"));
  EXPECT_EQ(readLines(text), (Lines{"", "three"}));
  ASSERT_TRUE(text.goEof());
  ASSERT_TRUE(text.putStr("four"));
  ASSERT_TRUE(text.goStart());
  EXPECT_EQ(readLines(text), (Lines{"one", "TWO", "three", "four"}));
}

}  // namespace
