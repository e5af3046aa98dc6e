#include "cihlpdoc/hdlparser.h"
#include "cihlpdoc/hdlrecords.h"
#include "cihlpdoc/sidocfaces.h"
#include "ciom/fontobject.h"

namespace {

// Face numbers by the leading characters of their names in the markup.
struct sFacePrefix {
  const char* prefix;
  unsigned int face;
};
constexpr sFacePrefix kFacePrefixes[] = {{"luci", 4}, {"verd", 3}, {"kor", 2}, {"std", 0}, {"fixed", 1}};

constexpr unsigned int kMaxFontSize = 4095;

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Decimal digits at p, stopping early once past the largest size; false
// when there are none.
bool readSize(const char*& p, unsigned int& value) {
  if (*p < '0' || *p > '9') return false;
  value = 0;
  for (; *p >= '0' && *p <= '9'; ++p)
    if (value <= kMaxFontSize) value = value * 10 + static_cast<unsigned int>(*p - '0');
  return true;
}

}  // namespace

bool cHDLParser::storeFont(sHDLParsePtr& cursor, const unsigned char entry[8], unsigned short& index) {
  unsigned long long key = 0;
  for (int i = 7; i >= 0; --i) key = key << 8 | entry[i];
  sHDLConfig& config = *cursor.config;
  if (sHDLExtObj* known = config.fontIds.find(key)) {
    index = known->index;
    return true;
  }
  const unsigned long long next = config.fonts.written / 8;
  // 0xFFFF means "inherit" in a record; an index must never reach it.
  if (next >= 0xFFFF) return hdl::fail(cursor, "too many fonts");
  const unsigned long long offset = config.fonts.written;
  if (!hdl::append(config.fonts.data, config.fonts.written, entry, 8))
    return hdl::fail(cursor, "Unable to write target");
  index = static_cast<unsigned short>(next);
  *config.fontIds.insert(key) = {offset, index};
  return true;
}

namespace {

void fontEntry(unsigned char out[8], unsigned int face, unsigned int width, unsigned int height,
               const cHDLParser::sCurrProps& props) {
  const unsigned int flags = (props.bold ? 1u : 0u) | (props.italic ? 2u : 0u) | (props.underline ? 4u : 0u);
  const unsigned int fields[4] = {face, width, height, flags};
  for (int i = 0; i < 4; ++i) {
    out[2 * i] = static_cast<unsigned char>(fields[i]);
    out[2 * i + 1] = static_cast<unsigned char>(fields[i] >> 8);
  }
}

}  // namespace

bool cHDLParser::getFontIDForText(sHDLParsePtr& cursor, sCurrProps& props, unsigned short& id) {
  id = 0xFFFF;
  if (!props.bold && !props.italic && !props.underline) return true;
  // Bold glyphs are wider; the font asked for grows by a tenth to match.
  const unsigned int width = props.bold ? static_cast<unsigned int>(props.width * 1.1 + 0.5) : props.width;
  unsigned char entry[8];
  fontEntry(entry, props.face, width, props.height, props);
  return storeFont(cursor, entry, id);
}

unsigned short cHDLParser::getCreateFont(sHDLParsePtr& cursor, const char* spec, sCurrProps& props) {
  auto bad = [&](const char* message) {
    hdl::fail(cursor, message);
    return static_cast<unsigned short>(0xFFFF);
  };
  const char* p = spec;
  const sFacePrefix* face = nullptr;
  for (const sFacePrefix& f : kFacePrefixes) {
    size_t n = 0;
    while (f.prefix[n] && lowerAscii(p[n]) == f.prefix[n]) ++n;
    if (!f.prefix[n]) {
      face = &f;
      p += n;
      break;
    }
  }
  if (!face) return bad("bad font face name");
  props.face = face->face;
  if (*p) {
    if (*p++ != ',') return bad("bad font face definition");
    unsigned int height;
    if (!readSize(p, height)) return bad("bad font height def");
    if (height > kMaxFontSize) return bad("bad font height");
    props.height = height;
    if (!*p) {
      props.width = static_cast<unsigned int>(height * 5 / 13.0 + 0.5);
    } else {
      if (*p++ != ',') return bad("bad font definition");
      unsigned int width;
      if (!readSize(p, width)) return bad("bad font width def");
      if (width > kMaxFontSize) return bad("bad font width");
      props.width = width;
      if (*p && *p++ != ',') return bad("bad font width definition");
      for (; *p; ++p) {
        const char c = lowerAscii(*p);
        if (c == 'b') props.bold = 1;
        if (c == 'i') props.italic = 1;
        if (c == 'u') props.underline = 1;
      }
    }
  }
  if (!cFontObject::get(static_cast<int>(props.width), static_cast<int>(props.height),
                        siDocFaceName(props.face), props.bold, props.underline, props.italic))
    return bad("bad font");
  unsigned char entry[8];
  fontEntry(entry, props.face, props.width, props.height, props);
  unsigned short index;
  return storeFont(cursor, entry, index) ? index : 0xFFFF;
}
