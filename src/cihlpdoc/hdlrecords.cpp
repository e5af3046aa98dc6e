#include "cihlpdoc/hdlrecords.h"

#include <cstring>
#include <initializer_list>

namespace hdl {

bool fail(cHDLParser::sHDLParsePtr& cursor, const char* message) {
  cursor.config->errLine = cursor.line;
  cursor.config->errColumn = cursor.column;
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
