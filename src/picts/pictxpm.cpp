#include "picts/pictxpm.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "base/textfile.h"
#include "base/utils.h"

namespace {

constexpr long long kProbeBytes = 255;
constexpr unsigned long long kMinLine = 4096;
constexpr unsigned long long kMaxLine = 1ULL << 26;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

const char* skipSpace(const char* p, const char* end) {
  while (p < end && isSpace(*p)) ++p;
  return p;
}

bool startsWith(const char* p, const char* end, const char* word) {
  long long n = static_cast<long long>(std::strlen(word));
  return end - p >= n && std::memcmp(p, word, static_cast<size_t>(n)) == 0;
}

const char* findText(const char* p, const char* end, const char* word) {
  for (; p < end; ++p)
    if (startsWith(p, end, word)) return p;
  return nullptr;
}

// A whole number after optional white space; past INT_MAX it is refused,
// as no size of this format needs more.
bool readNumber(const char*& p, const char* end, long long& value) {
  p = skipSpace(p, end);
  const char* start = p;
  value = 0;
  bool negative = p < end && *p == '-';
  if (negative || (p < end && *p == '+')) ++p;
  const char* digits = p;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > INT_MAX) return false;
  }
  if (p == digits) {
    p = start;
    return false;
  }
  if (negative) value = -value;
  return true;
}

unsigned int pixelCode(const char* p, long long cpp) {
  unsigned int code = 0;
  for (long long i = 0; i < cpp; ++i)
    code |= static_cast<unsigned int>(static_cast<unsigned char>(p[i])) << (8 * i);
  return code;
}

}  // namespace

bool cPictXPM::validFor(cFileIOTarget* io, sPictInfo* info) {
  cPictXPM probe;
  return probe.isPicture(io, info);
}

bool cPictXPM::parseSize(const char* text, long long length, sSize& size) {
  const char* p = text;
  const char* end = text + length;
  return readNumber(p, end, size.width) && readNumber(p, end, size.height) &&
         readNumber(p, end, size.colors) && readNumber(p, end, size.cpp) && size.width >= 1 &&
         size.height >= 1 && size.colors >= 1 && size.cpp >= 1 && size.cpp <= 4;
}

bool cPictXPM::isPicture(cFileIOTarget* io, sPictInfo* info) {
  char text[kProbeBytes];
  unsigned int got = io ? io->read(text, sizeof text) : 0;
  if (got == 0 || got > sizeof text) return false;
  const char* end = text + got;
  const char* p = skipSpace(text, end);
  if (!startsWith(p, end, "/* XPM")) return false;
  p = findText(p + 6, end, "static");
  if (p) p = findText(p + 6, end, "char");
  if (p) p = findText(p + 4, end, "\"");
  sSize size;
  if (!p || !parseSize(p + 1, end - p - 1, size)) return false;
  if (info) {
    info->width = size.width;
    info->height = size.height;
    info->hasPreview = false;
  }
  return true;
}

bool cPictXPM::takeColor(const char* s, long long length) {
  long long cpp = mySize.cpp;
  if (length < cpp + 7 || s[cpp + 1] != 'c') return false;
  unsigned int code = pixelCode(s, cpp);
  if (myColors->find(code)) return false;
  const char* colour = s + cpp + 3;
  long long n = length - cpp - 3;
  unsigned int word;
  if (n == 4 && std::memcmp(colour, "None", 4) == 0) {
    word = 0;
  } else if (colour[0] == '#' && (n == 7 || n == 13)) {
    for (long long i = 1; i < n; ++i)
      if (!std::isxdigit(static_cast<unsigned char>(colour[i]))) return false;
    long long step = (n - 1) / 3;
    word = 0xFF000000u;
    for (int k = 0; k < 3; ++k) {
      unsigned int channel = getHexb(colour + 1 + k * step);
      // Four digits a channel are rounded to the nearest of 256 levels.
      if (step == 4) channel = ((channel << 8 | getHexb(colour + 3 + k * step)) * 255 + 32767) / 65535;
      word |= channel << (16 - 8 * k);
    }
  } else {
    return false;
  }
  *myColors->insert(code) = word;
  return true;
}

bool cPictXPM::takeRow(const char* s, long long length) {
  long long w = mySize.width, h = mySize.height, cpp = mySize.cpp;
  if (length != w * cpp) return false;
  if (myParse.rowsDone == 0) {
    // Rows are believed only when the text could hold them.
    if (static_cast<unsigned long long>(w * cpp) > myTextBytes / static_cast<unsigned long long>(h))
      return false;
    myWidth = w;
    myHeight = h;
    myIs16 = false;
    myParse.rendering = startExtRender();
    if (!myParse.rendering && !allocPixels(w, h, false)) return false;
  }
  long long dest = h - 1 - myParse.rowsDone;
  for (long long x = 0; x < w; ++x, s += cpp) {
    unsigned int* colour = myColors->find(pixelCode(s, cpp));
    if (!colour) return false;
    if (myParse.rendering)
      setExtPix(x, dest, *colour);
    else
      myPix8.ptr[dest * w + x] = *colour;
  }
  ++myParse.rowsDone;
  return true;
}

bool cPictXPM::takeString(const char* s, long long length, bool& finished) {
  if (!myParse.sized) {
    if (!parseSize(s, length, mySize)) return false;
    myParse.sized = true;
    return true;
  }
  if (myParse.colorsRead < mySize.colors) {
    ++myParse.colorsRead;
    return takeColor(s, length);
  }
  if (!takeRow(s, length)) return false;
  finished = myParse.rowsDone == mySize.height;
  return true;
}

bool cPictXPM::takeLine(const char* line, long long length, bool& finished) {
  const char* p = line;
  const char* end = line + length;
  for (;;) {
    if (myParse.comment) {
      p = findText(p, end, "*/");
      if (!p) return true;
      p += 2;
      myParse.comment = false;
    }
    p = skipSpace(p, end);
    if (p == end) return true;
    if (!myParse.header) {
      if (!startsWith(p, end, "/* XPM")) return false;
      myParse.header = myParse.comment = true;
      p += 2;
      continue;
    }
    if (*p == '/') {
      if (p + 1 == end || p[1] != '*') return false;
      myParse.comment = true;
      p += 2;
    } else if (!myParse.array) {
      if (!startsWith(p, end, "static")) return false;
      p = findText(p + 6, end, "{");
      if (!p) return false;
      myParse.array = true;
      ++p;
    } else if (myParse.comma) {
      if (*p != ',') return false;
      myParse.comma = false;
      ++p;
    } else {
      if (*p != '"') return false;
      const char* close = static_cast<const char*>(std::memchr(p + 1, '"', static_cast<size_t>(end - p - 1)));
      if (!close || !takeString(p + 1, close - p - 1, finished)) return false;
      if (finished) return true;
      myParse.comma = true;
      p = close + 1;
    }
  }
}

bool cPictXPM::decode(cFileIOTarget* io) {
  close();
  myParse = sParse();
  mySize = {};
  myColors = new cFasterTreeList<unsigned int, unsigned int>;
  cTextFileIO text;
  if (!io || !text.open(io, cTextFileIO::tctUTF8)) return false;
  // A row is one line, as long as width times the characters a pixel.
  myTextBytes = io->size();
  text.setMaxStrLen(static_cast<long long>(myTextBytes < kMinLine   ? kMinLine
                                           : myTextBytes > kMaxLine ? kMaxLine
                                                                    : myTextBytes));
  _typebuf<char> line;
  bool finished = false, sound = true;
  while (sound && !finished && text.gets(line)) sound = takeLine(line.ptr, line.count, finished);
  if (myParse.rendering) endExtRender();
  // Text that ends before the last row is a damaged file, not a picture
  // with transparent rows.
  return sound && finished;
}
