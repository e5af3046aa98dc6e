#include "cihlpdoc/hdlrecords.h"

#include <cstring>
#include <initializer_list>

namespace hdl {

size_t charBytes(const char* p) {
  const auto lead = static_cast<unsigned char>(*p);
  const size_t n = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 1;
  // The second byte also rules out overlong forms, surrogates and values
  // past U+10FFFF; a NUL continues nothing, so the text's end stops it.
  unsigned int low = 0x80, high = 0xBF;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  for (size_t k = 1; k < n; ++k, low = 0x80, high = 0xBF) {
    const auto b = static_cast<unsigned char>(p[k]);
    if (b < low || b > high) return 1;
  }
  return n;
}

bool fail(cHDLParser::sHDLParsePtr& cursor, const char* message) {
  cursor.config->errLine = cursor.tokenLine;
  cursor.config->errColumn = cursor.tokenColumn;
  cursor.config->errMessage.set(message);
  return false;
}

cRecord::cRecord(unsigned char type, const sHeadFields& head) {
  put8(type);
  put32(head.bg);
  put8(head.br);
  for (unsigned int v : {head.ml, head.mr, head.mt, head.mb, head.w, head.h}) put16(v);
}

bool cRecord::write(cHDLParser::sHDLParsePtr& cursor, const char* extra, unsigned int extraLen) {
  cHDLParser::sHDLLangStreamCtx& s = *cursor.stream;
  if (!append(s.stream, s.written, myBytes, myLen) || !append(s.stream, s.written, extra, extraLen))
    return fail(cursor, "Unable to write target");
  return true;
}

void joinPath(_guardchar<char>& out, const char* folder, size_t folderLen, const char* rest) {
  const size_t restLen = std::strlen(rest);
  out.set(static_cast<long long>(folderLen + restLen + 1));
  std::memcpy(out.ptr, folder, folderLen);
  std::memcpy(out.ptr + folderLen, rest, restLen + 1);
}

bool append(cMemIOTarget& to, unsigned long long& written, const void* data, unsigned long long len) {
  auto* p = static_cast<const unsigned char*>(data);
  while (len > 0) {
    const unsigned int step = len > 0x40000000ull ? 0x40000000u : static_cast<unsigned int>(len);
    if (to.write(const_cast<unsigned char*>(p), step) != step) return false;
    p += step;
    len -= step;
    written += step;
  }
  return true;
}

}  // namespace hdl
