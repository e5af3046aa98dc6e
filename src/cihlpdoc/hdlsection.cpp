#include <cstring>
#include <new>
#include <string>

#include "base/targets.h"
#include "base/utils.h"
#include "cihlpdoc/hdlparser.h"
#include "cihlpdoc/hdlrecords.h"
#include "picts/pictbase.h"

using hdl::fail;
using hdl::isWhite;
using tAttributes = cHDLParser::tAttributes;

namespace {

constexpr unsigned int kNone32 = 0xFFFFFFFF;
constexpr unsigned int kNone16 = 0xFFFF;
constexpr long long kMaxWord = 65535;

struct sTagName {
  const char* name;
  int id;
  bool takesAttributes;
};
constexpr sTagName kTags[] = {
    {"text", cSiDocLoader::eTagText, true}, {"link", cSiDocLoader::eTagLink, true},
    {"img", cSiDocLoader::eTagImg, true},   {"br", cSiDocLoader::eTagBr, false},
    {"lt", cSiDocLoader::eTagLt, false},    {"b", cSiDocLoader::eTagB, false},
    {"i", cSiDocLoader::eTagI, false},
};

// One numeric attribute: its default when absent, false when its value is
// not a number up to `max`.
bool number(tAttributes& attrs, const char* name, unsigned int fallback, unsigned long long max,
            unsigned int& out) {
  _guardchar<char>* value = attrs.find(cStringKey(name, -1));
  if (!value) {
    out = fallback;
    return true;
  }
  const unsigned long long v = strToU64(value->ptr);
  if (v > max) return false;
  out = static_cast<unsigned int>(v);
  return true;
}

// The head attributes that text and img share, checked in their order.
bool headFields(cHDLParser::sHDLParsePtr& cursor, tAttributes& attrs, hdl::sHeadFields& h) {
  struct sField {
    const char* name;
    unsigned int* out;
    unsigned int fallback;
    const char* message;
  } fields[] = {
      {"ml", &h.ml, 0, "bad left margin"}, {"mr", &h.mr, 0, "bad right margin"},
      {"mt", &h.mt, 0, "bad top margin"},  {"mb", &h.mb, 0, "bad bottom margin"},
      {"w", &h.w, kNone16, "bad width"},   {"h", &h.h, kNone16, "bad height"},
  };
  for (const sField& f : fields)
    if (!number(attrs, f.name, f.fallback, 65535, *f.out)) return fail(cursor, f.message);
  if (!number(attrs, "br", 1, 1, h.br)) return fail(cursor, "bad break");
  return true;
}

// Points at the closing tag's "<" and names the tag still open there, with
// the place it opened, as an editor counts lines and columns.
bool closeMismatch(cHDLParser::sHDLParsePtr& cursor, const char* closing, int open, unsigned int openLine,
                   unsigned int openColumn) {
  const char* name = nullptr;
  for (const sTagName& t : kTags)
    if (t.id == open) name = t.name;
  std::string message = std::string("close tag mismatch: ") + closing;
  if (name)
    message += std::string(" closes <") + name + "> opened at line " + std::to_string(openLine + 1) +
               ", column " + std::to_string(openColumn + 1);
  else
    message += " closes no open tag";
  return fail(cursor, message.c_str());
}

}  // namespace

bool cHDLParser::processHDL(sHDLConfig& config, char* text) {
  sHDLLangStreamCtx* stream = config.streams.insert(config.lang);
  stream->stream.reset();
  stream->written = 0;
  sHDLParsePtr cursor;
  cursor.text = text;
  cursor.stream = stream;
  cursor.config = &config;
  sCurrProps props;
  return processSection(props, cursor, cSiDocLoader::eTagTop);
}

bool cHDLParser::getNextToken(sHDLParsePtr& cursor, _guardchar<char>& token) {
  token.set(nullptr);
  const char* p = cursor.text;
  for (; *p && isWhite(*p); ++p) {
    if (*p == '\n') {
      ++cursor.line;
      cursor.column = 0;
    } else {
      ++cursor.column;
    }
  }
  cursor.text = p;
  cursor.tokenLine = cursor.line;
  cursor.tokenColumn = cursor.column;
  if (!*p) return false;
  const char* q = p;
  if (*p == '<') {
    unsigned int line = cursor.line, column = cursor.column;
    for (size_t step = 1; *q && *q != '>'; q += step) {
      step = 1;
      if (*q == '\n') {
        ++line;
        column = 0;
      } else {
        ++column;
        step = hdl::charBytes(q);
      }
    }
    // An unclosed tag leaves the cursor on its "<", so the caller sees text left.
    if (!*q) return false;
    ++q;
    cursor.line = line;
    cursor.column = column + 1;
  } else {
    for (; *q && !isWhite(*q) && *q != '<'; q += hdl::charBytes(q)) ++cursor.column;
  }
  token.set(p, q - p);
  cursor.text = q;
  return true;
}

const char* cHDLParser::getTagID(const char* name, int& id) {
  id = -1;
  for (const sTagName& t : kTags) {
    const size_t n = std::strlen(t.name);
    if (std::strncmp(name, t.name, n) != 0) continue;
    if (name[n] == '>' || (t.takesAttributes && isWhite(name[n]))) {
      id = t.id;
      return name + n;
    }
  }
  return nullptr;
}

bool cHDLParser::processSection(sCurrProps& props, sHDLParsePtr& cursor, cSiDocLoader::eKnownTags tag) {
  static const unsigned char kEnd = cSiDocLoader::eRecEnd;
  // A section starts right after the tag that opened it.
  const unsigned int openLine = cursor.tokenLine, openColumn = cursor.tokenColumn;
  _guardchar<char> token;
  for (;;) {
    if (!getNextToken(cursor, token)) {
      if (*cursor.text) return fail(cursor, "unexpected termination");
      if (tag != cSiDocLoader::eTagTop) return fail(cursor, "termination on opened tag");
      if (!hdl::append(cursor.stream->stream, cursor.stream->written, &kEnd, 1))
        return fail(cursor, "Unable to write target");
      return true;
    }
    const char* t = token.ptr;
    int id;
    if (t[0] != '<') {
      const long long len = static_cast<long long>(std::strlen(t));
      // A record holds at most 65535 bytes of text.
      if (len > kMaxWord) return fail(cursor, "word too long");
      unsigned short font;
      if (!getFontIDForText(cursor, props, font)) return false;
      const bool inLink = props.link != kNone32;
      hdl::cRecord r(inLink ? cSiDocLoader::eRecLink : cSiDocLoader::eRecText, {});
      r.put32(kNone32);
      r.put16(font);
      r.put16(static_cast<unsigned int>(len));
      if (inLink) r.put16(props.link & 0xFFFF);
      if (!r.write(cursor, t, static_cast<unsigned int>(len))) return false;
    } else if (t[1] == '/') {
      const char* after = getTagID(t + 2, id);
      if (after && *after != '>') return fail(cursor, "tag is not properly closed");
      if (!after) return fail(cursor, "invalid tag closed");
      if (id != tag) return closeMismatch(cursor, t, tag, openLine, openColumn);
      if (tag == cSiDocLoader::eTagText &&
          !hdl::append(cursor.stream->stream, cursor.stream->written, &kEnd, 1))
        return fail(cursor, "Unable to write target");
      return true;
    } else {
      const char* after = getTagID(t + 1, id);
      if (!after) return fail(cursor, "invalid tag opened");
      if (!openTag(props, cursor, id, *after == '>' ? after : after + 1)) return false;
    }
  }
}

bool cHDLParser::nestSection(sCurrProps& props, sHDLParsePtr& cursor, cSiDocLoader::eKnownTags tag) {
  if (cursor.depth >= kMaxDepth) return fail(cursor, "too deeply nested");
  ++cursor.depth;
  const bool ok = processSection(props, cursor, tag);
  --cursor.depth;
  return ok;
}

bool cHDLParser::openTag(sCurrProps& props, sHDLParsePtr& cursor, int id, const char* attributeText) {
  if (id == cSiDocLoader::eTagBr || id == cSiDocLoader::eTagLt) {
    hdl::sHeadFields head;
    head.br = id == cSiDocLoader::eTagBr;
    hdl::cRecord r(cSiDocLoader::eRecText, head);
    r.put32(kNone32);
    r.put16(kNone16);
    r.put16(id == cSiDocLoader::eTagLt);
    return r.write(cursor, "<", id == cSiDocLoader::eTagLt);
  }
  if (id == cSiDocLoader::eTagB || id == cSiDocLoader::eTagI) {
    sCurrProps copy = props;
    (id == cSiDocLoader::eTagB ? copy.bold : copy.italic) = 1;
    return nestSection(copy, cursor, static_cast<cSiDocLoader::eKnownTags>(id));
  }
  tAttributes attrs;
  if (!extToProps(attributeText, attrs)) return fail(cursor, "bad tag props");
  if (id == cSiDocLoader::eTagText) return openText(props, cursor, attrs);
  if (id == cSiDocLoader::eTagLink) return openLink(props, cursor, attrs);
  return openImage(props, cursor, attrs);
}

bool cHDLParser::openText(sCurrProps& props, sHDLParsePtr& cursor, tAttributes& attrs) {
  hdl::sHeadFields head;
  if (!headFields(cursor, attrs, head)) return false;
  unsigned int fg;
  if (!number(attrs, "fg", kNone32, kNone32, fg)) return fail(cursor, "bad FG color");
  if (!number(attrs, "bg", kNone32, kNone32, head.bg)) return fail(cursor, "bad BG color");
  unsigned int align = 0;
  if (_guardchar<char>* a = attrs.find(cStringKey("a", -1))) {
    const char* found = std::strchr("lrcj", a->ptr[0] | 0x20);
    if (!a->ptr[0] || !found) return fail(cursor, "bad align");
    align = static_cast<unsigned int>(found - "lrcj");
  }
  sCurrProps copy = props;
  unsigned short font = kNone16;
  if (_guardchar<char>* f = attrs.find(cStringKey("f", -1))) {
    font = getCreateFont(cursor, f->ptr, copy);
    if (font == kNone16) return false;
  }
  hdl::cRecord r(cSiDocLoader::eRecContainer, head);
  r.put32(fg);
  r.put16(font);
  r.put8(align);
  return r.write(cursor) && nestSection(copy, cursor, cSiDocLoader::eTagText);
}

bool cHDLParser::openLink(sCurrProps& props, sHDLParsePtr& cursor, tAttributes& attrs) {
  _guardchar<char>* ref = attrs.find(cStringKey("ref", -1));
  const char* target = ref ? ref->ptr : "";
  sHDLConfig& config = *cursor.config;
  cStringKey key(target, -1);
  unsigned short index;
  if (sHDLExtObj* known = config.linkIds.find(key)) {
    index = known->index;
  } else {
    if (config.nextLink >= 0xFFFF) return fail(cursor, "too many links");
    const size_t full = std::strlen(target);
    const unsigned int len = full > 0xFFFF ? 0xFFFFu : static_cast<unsigned int>(full);
    const unsigned char head[2] = {static_cast<unsigned char>(len), static_cast<unsigned char>(len >> 8)};
    const unsigned long long offset = config.links.written;
    if (!hdl::append(config.links.data, config.links.written, head, 2) ||
        !hdl::append(config.links.data, config.links.written, target, len))
      return fail(cursor, "Unable to write target");
    index = static_cast<unsigned short>(config.nextLink++);
    *config.linkIds.insert(key) = {offset, index};
  }
  sCurrProps copy = props;
  copy.link = index;
  return nestSection(copy, cursor, cSiDocLoader::eTagLink);
}

bool cHDLParser::openImage(sCurrProps& props, sHDLParsePtr& cursor, tAttributes& attrs) {
  _guardchar<char>* src = attrs.find(cStringKey("src", -1));
  if (!src) return fail(cursor, "no src prop");
  unsigned short index;
  if (!storePicture(cursor, src->ptr, index)) return false;
  hdl::sHeadFields head;
  if (!headFields(cursor, attrs, head)) return false;
  if (!number(attrs, "bg", kNone32, kNone32, head.bg)) return fail(cursor, "bad BG color");
  const bool inLink = props.link != kNone32;
  hdl::cRecord r(inLink ? cSiDocLoader::eRecImageLink : cSiDocLoader::eRecImage, head);
  r.put16(index);
  if (inLink) r.put16(props.link & 0xFFFF);
  return r.write(cursor);
}

bool cHDLParser::storePicture(sHDLParsePtr& cursor, const char* src, unsigned short& index) {
  sHDLConfig& config = *cursor.config;
  _guardchar<char> path;
  if (std::strncmp(src, "./", 2) == 0) {
    // A source given without a folder has nothing to be relative to.
    if (!config.folder.ptr) return fail(cursor, "unable to open IMG");
    hdl::joinPath(path, config.folder.ptr, std::strlen(config.folder.ptr), src + 2);
  } else {
    path.set(src);
  }
  cStringKey key(path.ptr, -1);
  if (sHDLExtObj* known = config.pictureIds.find(key)) {
    index = known->index;
    return true;
  }
  if (config.nextPicture >= 0xFFFF) return fail(cursor, "too many pictures");
  cFileIO file;
  if (!file.open(path.ptr, fmRead)) return fail(cursor, "unable to open IMG");
  {
    cPtr<cPictBase> decoder(cPictBase::mkPicture(&file, nullptr));
    if (!decoder) return fail(cursor, "unable to recognize IMG");
  }
  const unsigned long long size = file.size();
  if (size == 0) return fail(cursor, "unable to load IMG");
  // The table's sizes are 32-bit, and the whole table must stay within them.
  if (size > 0x7FFFFFFF || config.pictures.written + 4 + size > 0xFFFFFFFF)
    return fail(cursor, "too many pictures");
  _typebuf<unsigned char> bytes;
  try {
    bytes.set(static_cast<long long>(size));
  } catch (const std::bad_alloc&) {
    return fail(cursor, "unable to read IMG");
  }
  if (!file.set_fp(0) || !file.readf(bytes.ptr, static_cast<unsigned int>(size)))
    return fail(cursor, "unable to read IMG");
  const unsigned char head[4] = {static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8),
                                 static_cast<unsigned char>(size >> 16),
                                 static_cast<unsigned char>(size >> 24)};
  const unsigned long long offset = config.pictures.written;
  if (!hdl::append(config.pictures.data, config.pictures.written, head, 4) ||
      !hdl::append(config.pictures.data, config.pictures.written, bytes.ptr, size))
    return fail(cursor, "Unable to write target");
  index = static_cast<unsigned short>(config.nextPicture++);
  *config.pictureIds.insert(key) = {offset, index};
  return true;
}
