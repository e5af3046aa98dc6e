// Line-oriented text over a file of its own or over any byte stream the
// caller keeps: stored as plain bytes, UTF-8 or UTF-16 of either order, and
// handed to the caller as UTF-8 lines.
#pragma once

#include "base/buffers.h"
#include "base/targets.h"

class cTextFileIO {
 public:
  enum eTextContentType {
    // Recognised by the byte-order mark when opening; UTF-8 when creating.
    tctDetect = 0,
    tctPlain = 1,
    tctUTF8 = 2,
    tctUTF16LE = 3,
    tctUTF16BE = 4,
  };

  cFileIO file;
  cFileIOTarget* target = nullptr;
  long long pos = 0;
  long long bufStart = -1;
  _typebuf<char> readBuf;
  _typebuf<char> nextBuf;
  _typebuf<char> lineBuf;
  long long maxStrLen = 4096;
  long long bufFill = 0;
  eTextContentType type = tctDetect;
  unsigned int bomLen = 0;
  _typebuf<char> fmtBuf;

  cTextFileIO() = default;
  cTextFileIO(const cTextFileIO&) = delete;
  cTextFileIO& operator=(const cTextFileIO&) = delete;

  bool open(const char* path, bool readOnly, eTextContentType type);
  // `source` stays the caller's; it is expected to stand at its start.
  bool open(cFileIOTarget* source, eTextContentType type);
  // Empties an existing file and writes the byte-order mark of the type.
  bool create(const char* path, eTextContentType type);
  void close();

  bool goStart();
  bool goEof();
  bool isDoubleByte() const { return type == tctUTF16LE || type == tctUTF16BE; }

  // The next line as UTF-8 without its line end; an empty line leaves
  // `line` without a buffer. False at the end of the input and for a line
  // longer than maxStrLen characters, which lineTooLong() tells apart.
  bool gets(_typebuf<char>& line);
  bool lineTooLong() const { return tooLong; }
  // The last line was ended by a zero unit rather than a line end, so what
  // follows on the same line in the file comes as the next line.
  bool endedByZero() const { return zeroEnd; }

  bool putStr(const char* text);
  bool put_str(const char* text) { return putStr(text); }
  bool put_fmt(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  // CR LF whatever the stored encoding.
  bool put_eol();

  // Values below 1 or too large for one read of a buffer are ignored.
  void setMaxStrLen(long long n);

 private:
  bool startReading(eTextContentType requested);
  void dropBuffer();
  int unitSize() const { return isDoubleByte() ? 2 : 1; }
  unsigned int unitAt(const char* data, long long offset) const;
  long long scanLine(const char* data, long long from, long long end) const;
  bool fill(_typebuf<char>& buf, long long& filled);
  bool finishLine(const char* first, long long firstUnits, const char* second, long long secondUnits,
                  _typebuf<char>& line);

  // A CR ended the last line at the very end of the buffered data; an LF
  // that starts the next data belongs to that line end.
  bool skipLF = false;
  bool tooLong = false;
  bool zeroEnd = false;
};
