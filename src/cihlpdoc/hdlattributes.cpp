#include <cstring>

#include "cihlpdoc/hdlparser.h"
#include "cihlpdoc/hdlrecords.h"

using hdl::isWhite;

bool cHDLParser::extToProps(const char* text, tAttributes& attributes) {
  const char* p = text;
  for (;;) {
    while (isWhite(*p)) ++p;
    if (*p == '>') return p[1] == 0;
    const char* name = p;
    while (*p && !isWhite(*p) && *p != '=') ++p;
    if (p == name) return false;
    _guardchar<char> lower;
    lower.set(name, p - name);
    for (char* c = lower.ptr; *c; ++c)
      if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
    while (isWhite(*p)) ++p;
    if (*p != '=') return false;
    ++p;
    while (isWhite(*p)) ++p;
    const char* value = p;
    const char* valueEnd;
    if (*p == '"' || *p == '\'') {
      valueEnd = std::strchr(p + 1, *p);
      if (!valueEnd) return false;
      ++value;
      p = valueEnd + 1;
    } else {
      while (*p && !isWhite(*p) && *p != '>') ++p;
      if (p == value) return false;
      valueEnd = p;
    }
    attributes.insert(cStringKey(lower.ptr, -1))->set(value, valueEnd - value);
  }
}
