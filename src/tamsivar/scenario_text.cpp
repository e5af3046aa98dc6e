// The text scenario: the line loop, [General], [Software], [Strings], the
// references shared by every section and the final checks.
#include <cstdio>
#include <cstring>
#include <string>

#include "base/folder.h"
#include "base/memio.h"
#include "base/textfile.h"
#include "cihlpdoc/hdlparser.h"
#include "tamsivar/scenario.h"
#include "tamsivar/scenariotext.h"

namespace {

// Long enough for every value the binary form can carry (16-bit lengths) in
// any spelling, escapes included; a longer line is refused rather than read
// as the end of the file.
constexpr long long kLongestLine = 262144;

constexpr long long kLongestKey = 0xFFFF / 4 * 4;
// A [Strings] key that names one of the system's own variables.
constexpr int kReservedKey = 28;

constexpr const char* kSections[] = {"General]", "Software]", "Strings]", "Install]",
                                     "Menu]",    "Settings]", "Run]",     "Deprecates]"};

bool startsWith(const char* p, const char* word) { return std::strncmp(p, word, std::strlen(word)) == 0; }

// 0 or the code of a header line; `p` stands on its "[".
int selectSection(char* p, int& state) {
  ++p;
  for (int i = 0; i < 8; ++i) {
    if (!startsWith(p, kSections[i])) continue;
    p += std::strlen(kSections[i]);
    if (!atEntryEnd(p)) return 3;
    state = i + 1;
    return 0;
  }
  return 2;
}

// The text reader answers false both at the end and for a line it cannot
// deliver; only bytes left unread tell the second apart.
bool endOfInput(cTextFileIO& reader) {
  if (reader.lineTooLong()) return false;
  const long long unit = reader.isDoubleByte() ? 2 : 1;
  return reader.pos + unit > static_cast<long long>(reader.target->size());
}

// What goes into the bundle's property list and the installer's title must
// be text: a byte that is no UTF-8 (a Latin-1 letter, an overlong form, a
// surrogate) or a control character would make the list unreadable and show
// as garbage. Null when the line is clean, else the words for the fault.
const char* textFault(const unsigned char* p, long long n) {
  for (long long i = 0; i < n;) {
    const unsigned lead = p[i];
    if (lead < 0x80) {
      if ((lead < 0x20 && lead != '\t') || lead == 0x7F) return "the line holds a control character";
      ++i;
      continue;
    }
    int length = 0;
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    if (length == 0 || n - i < length) return "the line holds bytes that are not UTF-8";
    for (int k = 1; k < length; ++k) {
      if (p[i + k] < low || p[i + k] > high) return "the line holds bytes that are not UTF-8";
      low = 0x80;
      high = 0xBF;
    }
    // U+0080 to U+009F: the second set of control characters.
    if (lead == 0xC2 && p[i + 1] < 0xA0) return "the line holds a control character";
    // U+FFFE and U+FFFF are UTF-8 but no text: a property list holding one
    // is not well-formed.
    if (lead == 0xEF && p[i + 1] == 0xBF && p[i + 2] >= 0xBE)
      return "the line holds U+FFFE or U+FFFF, which are no text";
    i += length;
  }
  return nullptr;
}

// A whole word: "yesno" is neither "yes" nor "no".
bool wordAt(const char* p, const char* word) {
  const size_t n = std::strlen(word);
  return std::strncmp(p, word, n) == 0 && (!p[n] || std::strchr(" \t\r\n=#", p[n]));
}

constexpr const char kAfterValue[] = "only spaces and a # comment may follow the quoted value";
constexpr const char kKeyWithoutEq[] =
    "a key is known by its first letters, and \"=\" must follow them at once (namex = \"T\" is the key name "
    "without its \"=\")";
constexpr const char kCodenameWords[] =
    "the codename names the package's record: one name, not empty, \".\" or \"..\", without \"/\"";

// Compiles a markup index into memory and loads it; nothing is written to
// disk. A refusal leaves the compiler's words in the scenario's fault, with
// a place only where the compiler found one inside a file.
bool compileDoc(const char* indexPath, sScenarioDoc& doc, cSoftPkgScenario& s) {
  cHDLParser compiler;
  cMemIOTarget compiled(65536);
  cHDLParser::sErrInfo err;
  _guardchar<char> path;
  path.set(indexPath);
  _typebuf<unsigned char> bytes;
  if (!compiler.parse(path.ptr, &compiled, err)) {
    if (err.noFolder) {
      // The index is fine; the scenario's line names it the wrong way.
      const std::string why = std::string("\"") + indexPath +
                              "\" is named without its folder, so its \"./\" sources cannot be found: write \"./" +
                              indexPath + "\"";
      s.fault.set(s.textPath.ptr, why.c_str(), s.textLine);
    } else {
      const long long line = err.placed ? static_cast<long long>(err.line) : -1;
      const long long column = err.placed ? static_cast<long long>(err.column) : -1;
      s.fault.set(err.file.ptr ? err.file.ptr : indexPath, err.message.ptr, line, column);
    }
    return false;
  }
  if (compiled.toBuffer(bytes) && doc.load(bytes.ptr, bytes.count)) return true;
  s.fault.set(indexPath, "the compiled document does not load");
  return false;
}

// Every key given for one language but not neutrally must exist in every
// other declared language.
bool keysComplete(cSoftPkgScenario& s, tScenarioTable& table) {
  for (auto* key = table.root ? table.leftmost(table.root) : nullptr; key; key = table.next(key)) {
    if (s.strings.find(key->key)) continue;
    for (auto* other = s.langStrings.leftmost(s.langStrings.root); other; other = s.langStrings.next(other))
      if (!other->value.find(key->key)) return false;
  }
  return true;
}

// A "$" name is accepted while no language is declared yet; once the
// languages are known it must be defined, or the binary reader would refuse
// the scenario that this one is saved as. The first entry at fault gives
// its line.
int referencesDefined(cSoftPkgScenario& s, int& line) {
  int badLang;
  for (auto* ref = s.textRefs.head; ref; ref = ref->next)
    if (!s.isValidDef(ref->value.name.ptr, badLang)) {
      line = ref->value.line;
      return ref->value.code;
    }
  return 0;
}

int finalChecks(cSoftPkgScenario& s, int& line) {
  if (!s.langStrings.root) {
    s.currLang = 0;
    s.fault.words = "no language is declared: [General] needs a line such as langs = ENG";
    return 9;
  }
  s.currLang = s.langStrings.leftmost(s.langStrings.root)->key;
  if (!s.strings.find(cStringKey("codename", -1))) return 10;
  if (s.eulaDoc.empty()) return 11;
  for (auto* lang = s.langStrings.leftmost(s.langStrings.root); lang; lang = s.langStrings.next(lang)) {
    if (!s.eulaDoc.loader.forLang(lang->key)) return 12;
    if (!s.welcomeDoc.empty() && !s.welcomeDoc.loader.forLang(lang->key)) return 13;
    if (!s.readmeDoc.empty() && !s.readmeDoc.loader.forLang(lang->key)) return 14;
    if (!keysComplete(s, lang->value)) return 15;
  }
  if (int code = referencesDefined(s, line)) return code;
  return s.checkTargets(line);
}

}  // namespace

int cSoftPkgScenario::loadTextConfig(const char* path, int& line) {
  close();
  cTextFileIO reader;
  if (!path || cFolderContents::objtype(path) == fotFolder || !reader.open(path, true, cTextFileIO::tctDetect))
    return 1;
  reader.setMaxStrLen(kLongestLine);
  textPath.set(path);
  _typebuf<char> raw;
  _guardchar<char> text;
  for (;; ++line) {
    textLine = line;
    if (!reader.gets(raw)) {
      if (endOfInput(reader)) break;
      // The reader counts what the file stores, not the characters it
      // spells: a CJK character takes three bytes in UTF-8, one unit in
      // UTF-16.
      static_assert(kLongestLine == 262144, "the words name the limit");
      fault.words = !reader.lineTooLong()   ? "the line cannot be read as text"
                    : reader.isDoubleByte() ? "the line is longer than 262144 UTF-16 units"
                                            : "the line is longer than 262144 bytes";
      return 7;
    }
    // A NUL would hide the rest of the line from every parser.
    if (reader.endedByZero()) {
      fault.words = "the line holds a NUL byte";
      return 7;
    }
    if (const char* why = textFault(reinterpret_cast<const unsigned char*>(raw.ptr), raw.count)) {
      fault.words = why;
      return 7;
    }
    text.set(raw.count ? raw.ptr : "", raw.count);
    char* p = text.ptr;
    skipSpace(p);
    if (!*p || *p == '#') continue;
    int code;
    if (*p == '[')
      code = selectSection(p, sectionState);
    else
      code = parseEntry(p);
    if (code) return code;
  }
  line = -1;
  return finalChecks(*this, line);
}

int cSoftPkgScenario::parseEntry(char* p) {
  switch (sectionState) {
    case 1:
      return parseGen(p);
    case 2:
      return parseSoft(p);
    case 3:
      return parseStrs(p);
    case 4:
      return parseInst(p);
    case 5:
      return parseMenu(p);
    case 6:
      return parseSett(p);
    case 7:
      return parseRun(p);
    case 8:
      return parseDeprecate(p);
    default:
      return 4;
  }
}

bool cSoftPkgScenario::getStrVID(_guardchar<char>& key, char*& p) {
  skipSpace(p);
  if (*p == '$') {
    char* end = ++p;
    while (*end && *end != ' ' && *end != '\t' && *end != '\r' && *end != '\n' && *end != ',' && *end != '=')
      ++end;
    if (end == p || *p == '.') return false;
    _guardchar<char> name;
    name.set(p, end - p);
    int badLang;
    if (!isValidDef(name.ptr, badLang)) return false;
    sTextRef& ref = textRefs.add()->value;
    ref.name.set(name.ptr);
    ref.line = textLine;
    key.set(name.ptr);
    p = end;
    skipSpace(p);
    return true;
  }
  _guardchar<char> literal;
  if (!parseStrVal(p, literal)) return false;
  cStringKey textKey(literal.ptr, -1);
  if (_guardchar<char>* known = literals.find(textKey)) {
    key.set(known->ptr);
    return true;
  }
  char made[16];
  std::snprintf(made, sizeof made, ".%04u", literalCount++);
  literals.insert(textKey)->set(made);
  setStr(strings, made, literal.ptr);
  key.set(made);
  return true;
}

bool cSoftPkgScenario::getPathDef(sPathDef& def, char*& p) {
  auto* before = textRefs.tail;
  if (!getStrVID(def.var, p)) return false;
  if (textRefs.tail != before) textRefs.tail->value.code = 23;
  return parseStrVal(p, def.rest);
}

int cSoftPkgScenario::takePath(sPathDef& def, char*& p, bool target) {
  def.line = textLine;
  if (!getPathDef(def, p)) return 23;
  // A rest that leaves its base reaches what the package does not own, and
  // one that comes back to it names the base where a file or program is
  // meant; the binary reader refuses such a target. An empty rest names
  // the base too, a folder ($pgm, "/usr") rather than a file to open or
  // run; a target's is judged by what it installs.
  if (!target && (!def.rest.ptr || !*def.rest.ptr)) {
    fault.words = "the path names no file after its base: write the name in the quoted rest, such as "
                  "$pgm \"bin/tool\" or \"\" \"/usr/bin/tool\"";
    return 23;
  }
  if (!restLeavesFolder(def.rest.ptr)) return 0;
  fault.words = target
                    ? "the target's \"..\" or \".\" steps lead out of its folder or back to the folder itself"
                    : "the path's \"..\" or \".\" steps lead out of its base or back to the base itself";
  return 23;
}

int cSoftPkgScenario::parseGen(char* p) {
  // A key is known by its first letters, so "langsx =" is a known key
  // without its "=" (6) rather than an unknown one.
  if (!startsWith(p, "langs")) return 5;
  p += 5;
  if (!findSkipEq(p)) {
    fault.words = kKeyWithoutEq;
    return 6;
  }
  if (atEntryEnd(p)) {
    fault.words = "\"langs =\" names no language";
    return 9;
  }
  while (!atEntryEnd(p)) {
    int id = langCodeAt(p);
    if (id < 0) return 16;
    if (!langStrings.find(id)) declareLang(id);
    p += 3;
  }
  return 0;
}

int cSoftPkgScenario::parseStrs(char* p) {
  char* end = p;
  while (*end && *end != ' ' && *end != '\t' && *end != '\r' && *end != '\n' && *end != '=') ++end;
  char* key = p;
  int lang = -1;
  if (char* dot = static_cast<char*>(std::memchr(p, '.', static_cast<size_t>(end - p)))) {
    if (dot != p + 3 || std::memchr(dot + 1, '.', static_cast<size_t>(end - dot - 1))) {
      fault.words = "a dot in a [Strings] key may only follow a three-letter language code, as in DEU.name";
      return 16;
    }
    lang = langCodeAt(p);
    if (lang < 0) {
      fault.words = "the three letters before the dot are no language code";
      return 16;
    }
    key = dot + 1;
  }
  if (key == end) return 17;
  // The binary form stores a key as whole 4-byte words behind a 16-bit length.
  if (end - key > kLongestKey) return 7;
  if (lang >= 0 && !langStrings.find(lang)) {
    fault.words = "the language before the dot is not declared by langs =";
    return 16;
  }
  _guardchar<char> name, value;
  name.set(key, end - key);
  // The installation folder is the system's own: a package that set it
  // would skip the location step and install nowhere.
  if (isKnownConstantID(name.ptr)) return kReservedKey;
  p = end;
  if (!findSkipEq(p)) {
    fault.words = "a [Strings] entry is key = \"text\": the \"=\" is missing";
    return 7;
  }
  if (!parseStrVal(p, value)) return 7;
  if (!atEntryEnd(p)) {
    fault.words = kAfterValue;
    return 7;
  }
  if (std::strcmp(name.ptr, "codename") == 0 && !isUsableCodename(value.ptr)) {
    fault.words = kCodenameWords;
    return 7;
  }
  setStr(lang, name.ptr, value.ptr);
  return 0;
}

int cSoftPkgScenario::parseSoft(char* p) {
  enum eKind { kText, kVersion, kURL, kDoc, kIcon };
  struct sKey {
    const char* name;
    eKind kind;
    _guardchar<char>* url;
    sScenarioDoc* doc;
    int docCode;
  };
  const sKey keys[] = {
      {"codename", kText, nullptr, nullptr, 0},    {"name", kText, nullptr, nullptr, 0},
      {"publisher", kText, nullptr, nullptr, 0},   {"copyright", kText, nullptr, nullptr, 0},
      {"group", kText, nullptr, nullptr, 0},       {"folder", kText, nullptr, nullptr, 0},
      {"version", kVersion, nullptr, nullptr, 0},  {"publish_URL", kURL, &publisher, nullptr, 0},
      {"support_URL", kURL, &support, nullptr, 0}, {"updates_URL", kURL, &updates, nullptr, 0},
      {"welcome", kDoc, nullptr, &welcomeDoc, 19}, {"readme", kDoc, nullptr, &readmeDoc, 20},
      {"eula", kDoc, nullptr, &eulaDoc, 21},       {"icon", kIcon, nullptr, nullptr, 0}};
  const sKey* key = nullptr;
  for (const sKey& k : keys)
    if (startsWith(p, k.name)) {
      key = &k;
      break;
    }
  if (!key) return 5;
  p += std::strlen(key->name);
  if (!findSkipEq(p)) {
    fault.words = kKeyWithoutEq;
    return 6;
  }
  if (key->kind == kIcon) {
    if (int code = takePath(icon, p)) return code;
    if (atEntryEnd(p)) return 0;
    fault.words = kAfterValue;
    return 6;
  }
  _guardchar<char> value;
  if (!parseStrVal(p, value)) return 7;
  bool accept = false;
  if (key->doc == &readmeDoc && *p == ',') {
    ++p;
    skipSpace(p);
    accept = wordAt(p, "yes");
    if (!accept && !wordAt(p, "no")) {
      fault.words = "after readme's path and \",\" only the word yes or no may stand";
      return 7;
    }
    p += accept ? 3 : 2;
  }
  if (!atEntryEnd(p)) {
    fault.words = kAfterValue;
    return 7;
  }
  switch (key->kind) {
    case kText:
      if (std::strcmp(key->name, "codename") == 0 && !isUsableCodename(value.ptr)) {
        fault.words = kCodenameWords;
        return 7;
      }
      setStr(strings, key->name, value.ptr);
      return 0;
    case kVersion:
      return parseVersionText(value.ptr, ver) ? 0 : 18;
    case kURL:
      key->url->set(value.ptr);
      return 0;
    default:
      if (!compileDoc(value.ptr, *key->doc, *this)) return key->docCode;
      if (key->doc == &readmeDoc) readmeAccept = accept;
      return 0;
  }
}
