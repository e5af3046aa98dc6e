// What the compiler's steps share: its white space, its failure report and
// the writing of records in the loader's layout.
#pragma once

#include "cihlpdoc/hdlparser.h"

namespace hdl {

// Tab, line feed, carriage return and space; nothing else is white space here.
inline bool isWhite(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// The bytes of the character at `p` in a terminated text: a UTF-8 sequence
// is one character, as an editor shows it (so one column), and a byte that
// leads none (Latin-1 text, say) is one of its own.
size_t charBytes(const char* p);

// Records the message at the start of the cursor's last token (a tag's
// "<", a word's first character) and answers false.
bool fail(cHDLParser::sHDLParsePtr& cursor, const char* message);

// The fields of a record head and what follows it.
struct sHeadFields {
  unsigned int bg = 0xFFFFFFFF;
  unsigned int br = 0;
  unsigned int ml = 0, mr = 0, mt = 0, mb = 0;
  unsigned int w = 0xFFFF, h = 0xFFFF;
};

// A record being assembled before it goes to the stream in one write.
class cRecord {
 public:
  cRecord(unsigned char type, const sHeadFields& head);
  void put8(unsigned int v) { myBytes[myLen++] = static_cast<unsigned char>(v); }
  void put16(unsigned int v) {
    put8(v & 0xFF);
    put8(v >> 8 & 0xFF);
  }
  void put32(unsigned int v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  }
  // The record and then `extraLen` bytes of text.
  bool write(cHDLParser::sHDLParsePtr& cursor, const char* extra = nullptr, unsigned int extraLen = 0);

 private:
  unsigned char myBytes[32];
  unsigned int myLen = 0;
};

// The first `folderLen` bytes of `folder` followed by `rest`.
void joinPath(_guardchar<char>& out, const char* folder, size_t folderLen, const char* rest);

// Appends bytes to a table or stream.
bool append(cMemIOTarget& to, unsigned long long& written, const void* data, unsigned long long len);

}  // namespace hdl
