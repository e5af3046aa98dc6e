#include "cihlpdoc/hdlparser.h"

#include <cstring>
#include <new>
#include <string>

#include "base/targets.h"
#include "base/textconv.h"
#include "cihlpdoc/hdlrecords.h"
#include "ciom/langids.h"
#include "compression/zdeflate.h"

using hdl::isWhite;

namespace {

// Places err at `at` in `text`, line and column as an editor counts them.
void placeAt(const char* text, const char* at, cHDLParser::sErrInfo& err) {
  err.line = err.column = 0;
  err.placed = true;
  for (const char* p = text; p < at; p += hdl::charBytes(p)) {
    ++err.column;
    if (*p == '\n') {
      ++err.line;
      err.column = 0;
    }
  }
}

// Fills err from a message of the index file, placed where the offending
// text starts.
bool indexError(cHDLParser::sErrInfo& err, const char* text, const char* at, const char* message) {
  placeAt(text, at, err);
  err.message.set(message);
  return false;
}

bool writeAll(cFileIOTarget* target, const void* data, unsigned long long len) {
  auto* p = static_cast<const unsigned char*>(data);
  while (len > 0) {
    const unsigned int step = len > 0x40000000ull ? 0x40000000u : static_cast<unsigned int>(len);
    if (target->write(const_cast<unsigned char*>(p), step) != step) return false;
    p += step;
    len -= step;
  }
  return true;
}

bool writeU32(cFileIOTarget* target, unsigned long long v) {
  const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                              static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
  return writeAll(target, b, 4);
}

// "u32 size, then the bytes"; compressed tables and streams go through
// deflate at level 5, and an empty compressed table is just a size of 0.
bool writeBlock(cFileIOTarget* target, cMemIOTarget& from, bool compress) {
  _typebuf<unsigned char> plain;
  if (!from.toBuffer(plain)) return false;
  if (!compress)
    return plain.count <= 0xFFFFFFFFll && writeU32(target, plain.count) &&
           writeAll(target, plain.ptr, plain.count);
  if (plain.count == 0) return writeU32(target, 0);
  if (plain.count > 0x7FFFFFFFll) return false;
  _typebuf<unsigned char> packed;
  try {
    // Deflate never grows data by more than a few bytes per 16 KiB block.
    packed.set(plain.count + plain.count / 8 + 64);
  } catch (const std::bad_alloc&) {
    return false;
  }
  cZDeflate deflater(5);
  const unsigned int n = deflater.deflate(plain.ptr, static_cast<unsigned int>(plain.count), packed.ptr,
                                          static_cast<unsigned int>(packed.count));
  return n && writeU32(target, n) && writeAll(target, packed.ptr, n);
}

// An editor ends a line with CR, CR LF or LF; the parsers count lines and
// end an index entry at LF, so a lone CR becomes one. Both are white space
// everywhere else, so nothing a document shows changes. A NUL ends the
// copy the text is kept in, and the text is refused there.
void endLinesWithLF(char* text, long long length) {
  for (long long i = 0; i < length && text[i]; ++i)
    if (text[i] == '\r' && (i + 1 == length || text[i + 1] != '\n')) text[i] = '\n';
}

}  // namespace

void cHDLParser::langSearchInit() {
  if (myLangCodes.root) return;
  for (int id = 0; id < kCIOMStdLangCount; ++id) {
    cStringKey code(ciLangID(id), -1);
    if (!myLangCodes.find(code)) *myLangCodes.insert(code) = id;
  }
}

const char* cHDLParser::getFileContents(cFileIOTarget* file, _guardchar<char>& text, long long& length) {
  static const char kUnread[] = "the file cannot be read";
  text.set(nullptr);
  length = 0;
  if (!file) return kUnread;
  const unsigned long long size = file->size();
  if (size < 3) return "shorter than 3 bytes";
  static_assert(kMaxSource == 4194304, "the words name the limit");
  if (size > kMaxSource) return "longer than 4 MB (4194304 bytes)";
  _typebuf<unsigned char> bytes;
  bytes.set(static_cast<long long>(size));
  if (!file->set_fp(0) || !file->readf(bytes.ptr, static_cast<unsigned int>(size))) return kUnread;
  const unsigned char* b = bytes.ptr;
  if (b[0] == 0xFE && b[1] == 0xFF)
    return "UTF-16 big-endian is not read: save it as UTF-8 or UTF-16 little-endian";
  if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    length = static_cast<long long>(size) - 3;
    text.set(reinterpret_cast<const char*>(b + 3), length);
    endLinesWithLF(text.ptr, length);
    return nullptr;
  }
  if (b[0] == 0xFF && b[1] == 0xFE) {
    const long long units = static_cast<long long>(size - 2) / 2;
    _typebuf<unsigned short> wide;
    wide.set(units + 1);
    for (long long i = 0; i < units; ++i)
      wide.ptr[i] = static_cast<unsigned short>(b[2 + 2 * i] | b[3 + 2 * i] << 8);
    wide.ptr[units] = 0;
    _typebuf<char> utf8;
    length = _w2pc(wide.ptr, units, utf8);
    if (length < 0 || (length > 0 && !utf8.ptr)) return kUnread;
    text.set(length ? utf8.ptr : "", length);
    if (!text.ptr) return kUnread;
    endLinesWithLF(text.ptr, length);
    return nullptr;
  }
  length = static_cast<long long>(size);
  text.set(reinterpret_cast<const char*>(b), length);
  endLinesWithLF(text.ptr, length);
  return nullptr;
}

bool cHDLParser::refuseNul(const char* text, long long length, sErrInfo& err) {
  // Everything after a NUL would be invisible to the parsers, and the rest of
  // the document silently lost.
  const char* nul = static_cast<const char*>(std::memchr(text, 0, static_cast<size_t>(length)));
  if (!nul) return true;
  placeAt(text, nul, err);
  err.message.set("NUL byte in text");
  return false;
}

bool cHDLParser::parseIndexFile(char* text, cFasterTreeList<int, _guardchar<char> >& sources, sErrInfo& err) {
  const char* p = text;
  auto skipWhite = [&] {
    while (*p && isWhite(*p)) ++p;
  };
  for (;;) {
    skipWhite();
    if (!*p) return true;
    const char* code = p;
    while (*p && !isWhite(*p) && *p != '=') ++p;
    _guardchar<char> upper;
    upper.set(code, p - code);
    for (char* c = upper.ptr; *c; ++c)
      if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
    int* lang = myLangCodes.find(cStringKey(upper.ptr, -1));
    if (!lang) return indexError(err, text, code, "invalid lang code");
    skipWhite();
    if (*p != '=') return indexError(err, text, p, "expected EQ sign after lang code");
    ++p;
    skipWhite();
    if (*p != '"') return indexError(err, text, p, "expected openning QUOTE sign after EQ");
    const char* path = ++p;
    while (*p && *p != '"' && *p != '\n') ++p;
    // Placed at the line's end, where the closing quote is missing.
    if (*p != '"') return indexError(err, text, p, "expected openning QUOTE sign after end of path");
    const char* pathEnd = p++;
    for (; *p && *p != '\n'; ++p)
      if (!isWhite(*p)) return indexError(err, text, p, "not expected anything after file path");
    if (sources.find(*lang)) return indexError(err, text, code, "lang already defined");
    sources.insert(*lang)->set(path, pathEnd - path);
  }
}

bool cHDLParser::parse(char* indexPath, cFileIOTarget* target, sErrInfo& err) {
  err.line = err.column = 0;
  err.placed = err.noFolder = false;
  err.file.set(nullptr);
  err.message.set(nullptr);
  if (!target) {
    err.message.set("bad target");
    return false;
  }
  err.file.set(indexPath);
  _guardchar<char> indexText;
  {
    cFileIO index;
    if (!indexPath || !index.open(indexPath, fmRead)) {
      err.message.set("Unable to open index");
      return false;
    }
    long long length;
    if (const char* why = getFileContents(&index, indexText, length)) {
      err.message.set((std::string("Unable to read idex: ") + why).c_str());
      return false;
    }
    if (!refuseNul(indexText.ptr, length, err)) return false;
  }
  langSearchInit();
  cFasterTreeList<int, _guardchar<char> > sources;
  if (!parseIndexFile(indexText.ptr, sources, err)) return false;

  static const char kMagic[] = "ZVKHDOCF";
  if (!writeAll(target, kMagic, 8)) {
    err.message.set("Unable to write target");
    return false;
  }
  const char* slash = std::strrchr(indexPath, '/');
  sHDLConfig config;
  for (auto* s = sources.root ? sources.leftmost(sources.root) : nullptr; s; s = sources.next(s)) {
    _guardchar<char> path;
    if (std::strncmp(s->value.ptr, "./", 2) == 0) {
      if (!slash) {
        err.line = err.column = 0;
        err.noFolder = true;
        err.message.set("Path is specified as relative with no current folder");
        return false;
      }
      hdl::joinPath(path, indexPath, static_cast<size_t>(slash - indexPath) + 1, s->value.ptr + 2);
    } else {
      path.set(s->value.ptr);
    }
    if (!compileLanguage(config, s->key, path.ptr, target, err)) return false;
  }

  const unsigned char end = 0xFF;
  if (!writeAll(target, &end, 1) || !writeBlock(target, config.fonts.data, true) ||
      !writeBlock(target, config.links.data, true) || !writeBlock(target, config.pictures.data, false)) {
    err.file.set(indexPath);
    err.line = err.column = 0;
    err.message.set("Unable to write target");
    return false;
  }
  return true;
}

bool cHDLParser::compileLanguage(sHDLConfig& config, int lang, const char* path, cFileIOTarget* target,
                                 sErrInfo& err) {
  err.file.set(path);
  err.line = err.column = 0;
  _guardchar<char> text;
  {
    cFileIO source;
    if (!source.open(path, fmRead)) {
      err.message.set("Unable to open source file");
      return false;
    }
    long long length;
    if (const char* why = getFileContents(&source, text, length)) {
      err.message.set((std::string("Unable to read source as text file: ") + why).c_str());
      return false;
    }
    if (!refuseNul(text.ptr, length, err)) return false;
  }
  const char* slash = std::strrchr(path, '/');
  if (slash)
    config.folder.set(path, slash - path + 1);
  else
    config.folder.set(nullptr);
  config.lang = lang;
  if (!processHDL(config, text.ptr)) {
    err.line = config.errLine;
    err.column = config.errColumn;
    err.placed = true;
    err.message.set(config.errMessage.ptr);
    return false;
  }
  const unsigned char id = static_cast<unsigned char>(lang);
  if (!writeAll(target, &id, 1) || !writeBlock(target, config.streams.find(lang)->stream, true)) {
    err.message.set("Unable to write target");
    return false;
  }
  return true;
}
