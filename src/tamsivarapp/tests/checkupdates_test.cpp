// The update server's reply and the request address, without a network:
// replies are fed to the reader from memory.
#include "tamsivarapp/checkupdates.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/memio.h"

namespace {

struct sReplyCase {
  const char* name;
  std::string body;
  bool ok;
  unsigned long long newest;  // ~0: not written
  const char* url;
  const char* site;
  const char* notes;
};

TEST(UpdateReply, ParsesLinesAndRefusesWhatIsNotAReply) {
  const std::string big(70000, 'x');
  const sReplyCase cases[] = {
      {"short version", "2.1\rhttp://h/f.zip\rhttp://h/\rNew\r", true, 0x0002000100000000ull,
       "http://h/f.zip", "http://h/", "New\r"},
      {"four fields", "1.2.3.4\ru\rs\r", true, 0x0001000200030004ull, "u", "s", ""},
      {"CR LF lines", "1.2\r\nu\r\ns\r\nline 1\r\nline 2", true, 0x0001000200000000ull, "u", "s",
       "line 1\r\nline 2"},
      {"runs of ends", "1.2\r\n\r\nu\r\r\n\ns\r\n\r\nn", true, 0x0001000200000000ull, "u", "s", "n"},
      {"exactly three", "3.0\ru\rs\r", true, 0x0003000000000000ull, "u", "s", ""},
      {"field too big", "1.70000\ru\rs\r", false, ~0ull, "", "", ""},
      {"negative field", "1.-2\ru\rs\r", false, ~0ull, "", "", ""},
      {"one number", "7\ru\rs\r", false, ~0ull, "", "", ""},
      {"LF only", "1.2\nu\ns\n", false, ~0ull, "", "", ""},
      {"CR first", "\r1.2\ru\rs\r", false, ~0ull, "", "", ""},
      {"not a number", "v1.2\ru\rs\r", false, ~0ull, "", "", ""},
      {"digits past the range", "99999999999999999999.1\ru\rs\r", false, ~0ull, "", "", ""},
      {"no site line end", "1.2\ru\rs", false, 0x0001000200000000ull, "u", "", ""},
      {"ends after url", "1.2\ru\r\r\n", false, 0x0001000200000000ull, "u", "", ""},
      {"ends after version", "1.2\r", false, 0x0001000200000000ull, "", "", ""},
      {"long notes", "1.2\ru\rs\r" + big, true, 0x0001000200000000ull, "u", "s", big.c_str()},
      {"empty", "", false, ~0ull, "", "", ""},
      // The version line is read to its end: what follows the numbers is
      // no part of a version, a fifth number is not dropped, and only white
      // space around the numbers (and a sign before one) is read past.
      {"letters after the numbers", "2.0beta\ru\rs\r", false, ~0ull, "", "", ""},
      {"fifth number", "3.0.0.0.7\ru\rs\r", false, ~0ull, "", "", ""},
      {"blanks around the numbers", " 2.0 \ru\rs\r", true, 0x0002000000000000ull, "u", "s", ""},
      {"text after a blank", "2.0 x\ru\rs\r", false, ~0ull, "", "", ""},
      {"trailing dot", "2.0.\ru\rs\r", false, ~0ull, "", "", ""},
      {"NUL inside", std::string("2.0\0x\ru\rs\r", 10), false, ~0ull, "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unsigned long long newest = ~0ull;
    _guardchar<char> url(""), site(""), notes("");
    const auto* bytes = reinterpret_cast<const unsigned char*>(c.body.data());
    EXPECT_EQ(parseUpdateReply(bytes, c.body.size(), newest, url, site, notes), c.ok);
    EXPECT_EQ(newest, c.newest);
    EXPECT_STREQ(url.ptr, c.url);
    EXPECT_STREQ(site.ptr, c.site);
    EXPECT_STREQ(notes.ptr, c.notes);
  }
}

// The C library's reading of a first line with "%d.%d.%d.%d": at least two
// numbers of 0 to 65535, and nothing but white space after the last read.
bool scannedVersion(const std::string& line, unsigned long long& version) {
  int f[4] = {0, 0, 0, 0}, end[4] = {0, 0, 0, 0};
  const int n = std::sscanf(line.c_str(), "%d%n.%d%n.%d%n.%d%n", &f[0], &end[0], &f[1], &end[1], &f[2],
                            &end[2], &f[3], &end[3]);
  if (n < 2) return false;
  for (size_t i = static_cast<size_t>(end[n - 1]); i < line.size(); ++i)
    if (!std::isspace(static_cast<unsigned char>(line[i]))) return false;
  version = 0;
  for (int v : f) {
    if (v < 0 || v > 0xFFFF) return false;
    version = version << 16 | static_cast<unsigned int>(v);
  }
  return true;
}

TEST(UpdateReply, FirstLineIsReadAsTheLibraryScansIt) {
  const char* const lines[] = {
      "\n2.0",    "\v2.0",    "2.0\f",     "+2.0",    "\n\n 1.2 \t", "2. +0",   "2.-0",
      "-0.5",     "2.-1",     "+-2.0",     "2. 0",    "2 .0",        "2.0 x",   "2.0\t\n",
      "1.2.3.4 ", "1.2.3.4.", "1.2.3.4.5", "2.0beta", "65535.65535", "65536.0", "0x1.0",
      "2.0.",     "+ 2.0",    "7",         "\f\v",    "1.2\n3",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    unsigned long long expected = ~0ull, newest = ~0ull;
    const bool ok = scannedVersion(line, expected);
    const std::string body = std::string(line) + "\ru\rs\r";
    _guardchar<char> url(""), site(""), notes("");
    EXPECT_EQ(parseUpdateReply(reinterpret_cast<const unsigned char*>(body.data()), body.size(), newest, url,
                               site, notes),
              ok);
    EXPECT_EQ(newest, ok ? expected : ~0ull);
  }
}

TEST(UpdateReply, HeadIsCheckedBeforeTheBodyIsTaken) {
  struct {
    const char* name;
    std::string head;
    unsigned long long bodySize;
    bool taken;
  } cases[] = {
      {"ok", "HTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\n", 12, true},
      {"not found", "HTTP/1.1 404 Not Found\r\nContent-Length: 12\r\n\r\n", 12, false},
      {"length 0", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", 0, false},
      {"largest", "HTTP/1.1 200 OK\r\nContent-Length: 65536\r\n\r\n", 65536, true},
      {"too large", "HTTP/1.1 200 OK\r\nContent-Length: 65537\r\n\r\n", 65537, false},
      {"no length", "HTTP/1.1 200 OK\r\n\r\n", 12, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string reply = c.head + std::string(c.bodySize, 'b');
    cBufWrapperIO stream(reply.data(), static_cast<long long>(reply.size()), false);
    cPlainDataReader reader;
    EXPECT_EQ(reader.processResponse(&stream), c.taken);
    EXPECT_EQ(reader.body.size(), c.taken ? c.bodySize : 0);
  }
}

TEST(UpdateReply, IdIsEncodedSoItCannotChangeTheQuery) {
  setenv("ZVK_UPDATE_URL", "http://127.0.0.1:1/autocheck.php?softwareid=", 1);
  const struct {
    const char* id;
    const char* query;
  } cases[] = {
      {"org.example-app_2", "org.example-app_2"},
      {"a b", "a%20b"},
      {"a&os=mac", "a%26os%3Dmac"},
      {"a#frag", "a%23frag"},
      {"a\r\nHost: x", "a%0D%0AHost%3A%20x"},
      {"日本", "%E6%97%A5%E6%9C%AC"},
  };
  for (const auto& c : cases) {
    _guardchar<char> url;
    updateCheckUrl(c.id, url);
    EXPECT_EQ(std::string(url.ptr),
              std::string("http://127.0.0.1:1/autocheck.php?softwareid=") + c.query + "&os=linux");
  }
  unsetenv("ZVK_UPDATE_URL");
  _guardchar<char> url;
  updateCheckUrl("x", url);
  EXPECT_EQ(std::string(url.ptr), std::string(_check_updates_url) + "x&os=linux");
}

}  // namespace
