#include "base/textfile.h"

#include <cstdarg>
#include <cstring>
#include <initializer_list>
#include <new>
#include <utility>

#include "base/str.h"
#include "base/textconv.h"

namespace {

// One fill reads a whole buffer of maxStrLen UTF-16 units in a single
// 32-bit request.
constexpr long long kLongestLineLimit = 0x3FFFFFFF;
constexpr long long kFormatSize = 16384;
// Text goes to the target in pieces that a 32-bit count can carry.
constexpr unsigned long long kWritePiece = 1u << 30;

struct sBom {
  unsigned char bytes[3];
  unsigned int length;
};

sBom bomOf(cTextFileIO::eTextContentType type) {
  switch (type) {
    case cTextFileIO::tctUTF8:
      return {{0xEF, 0xBB, 0xBF}, 3};
    case cTextFileIO::tctUTF16LE:
      return {{0xFF, 0xFE, 0}, 2};
    case cTextFileIO::tctUTF16BE:
      return {{0xFE, 0xFF, 0}, 2};
    default:
      return {{0, 0, 0}, 0};
  }
}

bool startsWith(const unsigned char* data, unsigned int length, const sBom& bom) {
  return bom.length && length >= bom.length && std::memcmp(data, bom.bytes, bom.length) == 0;
}

bool allocate(_typebuf<char>& buf, long long bytes) {
  if (buf.count >= bytes) return true;
  try {
    buf.set(bytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

void cTextFileIO::dropBuffer() {
  bufStart = -1;
  bufFill = 0;
  skipLF = false;
}

bool cTextFileIO::startReading(eTextContentType requested) {
  readBuf.set(0);
  nextBuf.set(0);
  dropBuffer();
  tooLong = false;
  unsigned char head[3];
  if (requested == tctDetect) {
    unsigned int n = target->read(head, 3);
    if (n > 3) n = 0;
    type = tctPlain;
    for (eTextContentType candidate : {tctUTF8, tctUTF16BE, tctUTF16LE})
      if (startsWith(head, n, bomOf(candidate))) {
        type = candidate;
        break;
      }
    bomLen = bomOf(type).length;
  } else {
    type = requested;
    sBom bom = bomOf(type);
    unsigned int n = bom.length ? target->read(head, bom.length) : 0;
    // A UTF-16 text without its mark is still read in the order asked for.
    bomLen = n <= bom.length && startsWith(head, n, bom) ? bom.length : 0;
  }
  pos = bomLen;
  return target->set_fp(bomLen);
}

bool cTextFileIO::open(const char* path, bool readOnly, eTextContentType requested) {
  if (requested < tctDetect || requested > tctUTF16BE) return false;
  target = nullptr;
  if (!file.open(path, readOnly ? fmRead : fmReadWrite)) return false;
  target = &file;
  return startReading(requested);
}

bool cTextFileIO::open(cFileIOTarget* source, eTextContentType requested) {
  file.close();
  target = source;
  if (!source || requested < tctDetect || requested > tctUTF16BE) return false;
  return startReading(requested);
}

bool cTextFileIO::create(const char* path, eTextContentType requested) {
  if (requested == tctDetect) requested = tctUTF8;
  if (requested < tctPlain || requested > tctUTF16BE) return false;
  target = nullptr;
  readBuf.set(0);
  nextBuf.set(0);
  dropBuffer();
  if (!file.create(path, fmWrite)) return false;
  target = &file;
  type = requested;
  sBom bom = bomOf(type);
  if (bom.length && !file.writef(bom.bytes, bom.length)) return false;
  bomLen = bom.length;
  pos = bomLen;
  return true;
}

void cTextFileIO::close() {
  file.close();
  target = nullptr;
  readBuf.set(0);
  nextBuf.set(0);
  dropBuffer();
}

bool cTextFileIO::goStart() {
  if (!target) return false;
  skipLF = false;
  if (!target->set_fp(bomLen)) return false;
  pos = bomLen;
  return true;
}

bool cTextFileIO::goEof() {
  if (!target) return false;
  skipLF = false;
  pos = static_cast<long long>(target->size());
  return target->set_fp(static_cast<unsigned long long>(pos));
}

void cTextFileIO::setMaxStrLen(long long n) {
  if (n < 1 || n > kLongestLineLimit || n == maxStrLen) return;
  readBuf.set(0);
  nextBuf.set(0);
  bufStart = -1;
  bufFill = 0;
  maxStrLen = n;
}

unsigned int cTextFileIO::unitAt(const char* data, long long offset) const {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(data) + offset;
  switch (type) {
    case tctUTF16LE:
      return p[0] | p[1] << 8;
    case tctUTF16BE:
      return p[0] << 8 | p[1];
    default:
      return p[0];
  }
}

// The offset of the first line end (LF, CR or a zero unit) in [from, end),
// or `end` when there is none.
long long cTextFileIO::scanLine(const char* data, long long from, long long end) const {
  int u = unitSize();
  for (long long at = from; at < end; at += u) {
    unsigned int c = unitAt(data, at);
    if (c == '\n' || c == '\r' || c == 0) return at;
  }
  return end;
}

// Reads one buffer at `pos`, whole units only; a failed read is the end.
bool cTextFileIO::fill(_typebuf<char>& buf, long long& filled) {
  filled = 0;
  long long bytes = maxStrLen * unitSize();
  if (!allocate(buf, bytes) || !target->set_fp(static_cast<unsigned long long>(pos))) return false;
  unsigned int got = target->read(buf.ptr, static_cast<unsigned int>(bytes));
  if (got > bytes) got = 0;
  filled = got - got % unitSize();
  return filled > 0;
}

bool cTextFileIO::finishLine(const char* first, long long firstUnits, const char* second,
                             long long secondUnits, _typebuf<char>& line) {
  long long total = firstUnits + secondUnits;
  if (total == 0) {
    line.set(0);
    return true;
  }
  if (!isDoubleByte()) {
    try {
      line.set(total);
    } catch (const std::bad_alloc&) {
      return false;
    }
    std::memcpy(line.ptr, first, static_cast<size_t>(firstUnits));
    if (secondUnits) std::memcpy(line.ptr + firstUnits, second, static_cast<size_t>(secondUnits));
    return true;
  }
  // UTF-16 is gathered in the machine's order before it is converted.
  if (!allocate(lineBuf, total * 2)) return false;
  unsigned short* units = reinterpret_cast<unsigned short*>(lineBuf.ptr);
  for (long long i = 0; i < firstUnits; ++i) units[i] = static_cast<unsigned short>(unitAt(first, 2 * i));
  for (long long i = 0; i < secondUnits; ++i)
    units[firstUnits + i] = static_cast<unsigned short>(unitAt(second, 2 * i));
  try {
    _w2pc(units, total, line);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool cTextFileIO::gets(_typebuf<char>& line) {
  tooLong = false;
  zeroEnd = false;
  if (!target) return false;
  const int u = unitSize();
  for (;;) {
    if (bufStart < 0 || pos < bufStart || pos >= bufStart + bufFill) {
      bool more = fill(readBuf, bufFill);
      bufStart = pos;
      if (!more) return false;
    }
    if (!skipLF) break;
    skipLF = false;
    if (unitAt(readBuf.ptr, pos - bufStart) != '\n') break;
    pos += u;
  }

  // After a CR the line end also takes an LF that follows it, even when
  // that LF only comes with the next read.
  auto consumeEnd = [&](const char* data, long long at, long long end) {
    unsigned int c = unitAt(data, at);
    at += u;
    zeroEnd = c == 0;
    if (c == '\r') {
      if (at >= end)
        skipLF = true;
      else if (unitAt(data, at) == '\n')
        at += u;
    }
    return at;
  };

  long long from = pos - bufStart;
  long long stop = scanLine(readBuf.ptr, from, bufFill);
  long long firstUnits = (stop - from) / u;
  if (stop < bufFill) {
    pos = bufStart + consumeEnd(readBuf.ptr, stop, bufFill);
    return finishLine(readBuf.ptr + from, firstUnits, nullptr, 0, line);
  }

  // The line goes on past the buffered data: read the next block beside it.
  pos = bufStart + bufFill;
  long long secondStart = pos;
  long long secondFill;
  if (!fill(nextBuf, secondFill)) {
    bufStart = pos;
    bufFill = 0;
    return finishLine(readBuf.ptr + from, firstUnits, nullptr, 0, line);
  }
  long long stop2 = scanLine(nextBuf.ptr, 0, secondFill);
  long long secondUnits = stop2 / u;
  pos = secondStart + (stop2 < secondFill ? consumeEnd(nextBuf.ptr, stop2, secondFill) : stop2);
  bool fits = firstUnits + secondUnits <= maxStrLen;
  bool done = fits && finishLine(readBuf.ptr + from, firstUnits, nextBuf.ptr, secondUnits, line);
  // The second block becomes the buffered data.
  std::swap(readBuf.ptr, nextBuf.ptr);
  std::swap(readBuf.count, nextBuf.count);
  bufStart = secondStart;
  bufFill = secondFill;
  tooLong = !fits;
  return done;
}

bool cTextFileIO::putStr(const char* text) {
  if (!text || !target) return false;
  dropBuffer();
  size_t length = std::strlen(text);
  if (!length) return true;
  // Reading may have left the target anywhere ahead of `pos`.
  if (!target->set_fp(static_cast<unsigned long long>(pos))) return false;

  _typebuf<unsigned char> encoded;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  unsigned long long count = length;
  if (isDoubleByte()) {
    try {
      _typebuf<unsigned short> units;
      _pc2w(text, -1, units);
      encoded.set(units.count * 2);
      bool bigEndian = type == tctUTF16BE;
      for (long long i = 0; i < units.count; ++i) {
        encoded.ptr[2 * i + (bigEndian ? 1 : 0)] = static_cast<unsigned char>(units.ptr[i]);
        encoded.ptr[2 * i + (bigEndian ? 0 : 1)] = static_cast<unsigned char>(units.ptr[i] >> 8);
      }
    } catch (const std::bad_alloc&) {
      return false;
    }
    bytes = encoded.ptr;
    count = static_cast<unsigned long long>(encoded.count);
  }
  for (unsigned long long done = 0; done < count;) {
    unsigned int piece = static_cast<unsigned int>(count - done < kWritePiece ? count - done : kWritePiece);
    if (!target->writef(const_cast<unsigned char*>(bytes + done), piece)) return false;
    done += piece;
  }
  pos += static_cast<long long>(count);
  return true;
}

bool cTextFileIO::put_fmt(const char* fmt, ...) {
  if (!fmt || !allocate(fmtBuf, kFormatSize)) return false;
  va_list args;
  va_start(args, fmt);
  int length = _vsprintf_s(fmtBuf.ptr, kFormatSize, fmt, args);
  va_end(args);
  // A text cut to the buffer would be written as if whole: refuse it and
  // write nothing.
  if (length < 0 || length >= kFormatSize) return false;
  return putStr(fmtBuf.ptr);
}

bool cTextFileIO::put_eol() { return putStr("\r\n"); }
