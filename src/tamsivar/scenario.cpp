#include "tamsivar/scenario.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/job.h"
#include "tamsivar/plainpath.h"

namespace {

char gNoText[] = "";

constexpr unsigned int kStringLimit = 2048;
constexpr unsigned int kLangLimit = 512;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

cSoftPkgScenario::cSoftPkgScenario() {
  strings.depthLimit = kStringLimit;
  literals.depthLimit = kStringLimit;
  langStrings.depthLimit = kLangLimit;
}

cSoftPkgScenario::~cSoftPkgScenario() { close(); }

void cSoftPkgScenario::close() {
  menu.destroy();
  files.destroy();
  runs.destroy();
  deprecates.destroy();
  params.destroy();
  tScenarioTable noStrings, noLiterals;
  noStrings.moveTo(strings);
  noLiterals.moveTo(literals);
  strings.depthLimit = literals.depthLimit = kStringLimit;
  cFasterTreeList<int, tScenarioTable> noLangs;
  noLangs.moveTo(langStrings);
  langStrings.depthLimit = kLangLimit;
  for (unsigned int& part : ver) part = 0;
  support.set(nullptr);
  publisher.set(nullptr);
  updates.set(nullptr);
  icon.var.set(nullptr);
  icon.rest.set(nullptr);
  welcomeDoc.clear();
  readmeDoc.clear();
  eulaDoc.clear();
  readmeAccept = 0;
  pkg.newPackage();
  literalCount = 0;
  sectionState = 0;
  textLine = 0;
  textPath.set(nullptr);
  textRefs.destroy();
  fault.set(nullptr, nullptr);
  fault.words = nullptr;
}

bool cSoftPkgScenario::setCurrLangID(int id) {
  if (!langStrings.find(id)) return false;
  currLang = id;
  return true;
}

void cSoftPkgScenario::getSupportedLangs(_List<int>& out) {
  out.destroy();
  for (auto* it = langStrings.root ? langStrings.leftmost(langStrings.root) : nullptr; it; it = langStrings.next(it))
    out.add()->value = it->key;
}

tScenarioTable* cSoftPkgScenario::declareLang(int id) {
  tScenarioTable* table = langStrings.insert(id);
  table->depthLimit = kStringLimit;
  return table;
}

tScenarioTable* cSoftPkgScenario::currTable() { return langStrings.find(currLang); }

char* cSoftPkgScenario::getStr(const char* key) {
  cStringKey k(key, -1);
  if (tScenarioTable* table = currTable())
    if (_guardchar<char>* text = table->find(k)) return text->ptr;
  if (_guardchar<char>* text = strings.find(k)) return text->ptr ? text->ptr : gNoText;
  return nullptr;
}

bool cSoftPkgScenario::setStr(int lang, const char* key, const char* value) {
  if (lang < 0) return setStr(strings, key, value);
  tScenarioTable* table = langStrings.find(lang);
  return table && setStr(*table, key, value);
}

bool cSoftPkgScenario::setStr(tScenarioTable& table, const char* key, const char* value) {
  table.insert(cStringKey(key, -1))->set(value);
  return true;
}

void cSoftPkgScenario::clearStr(const char* key) {
  cStringKey k(key, -1);
  for (auto* it = langStrings.root ? langStrings.leftmost(langStrings.root) : nullptr; it; it = langStrings.next(it))
    it->value.dettach(k);
  strings.dettach(k);
}

bool cSoftPkgScenario::isKnownConstantID(const char* name) { return name && std::strcmp(name, "pgm") == 0; }

bool cSoftPkgScenario::isValidDef(const char* name, int& badLang) {
  cStringKey k(name, -1);
  if (strings.find(k) || isKnownConstantID(name)) return true;
  for (auto* it = langStrings.root ? langStrings.leftmost(langStrings.root) : nullptr; it; it = langStrings.next(it)) {
    if (!it->value.find(k)) {
      badLang = it->key;
      return false;
    }
  }
  return true;
}

// A path is recorded as it is written here: spelled plainly, so that an
// upgrade and the uninstaller find the package's own files under it.
bool cSoftPkgScenario::defToPath(sPathDef& def, _guardchar<char>& out) {
  const char* rest = def.rest.ptr ? def.rest.ptr : "";
  if (!def.var.ptr || !*def.var.ptr) {
    out.set(plainPath(rest).c_str());
    return true;
  }
  const char* value = getStr(def.var.ptr);
  if (!value) return false;
  if (!*value || !*rest) {
    out.set(plainPath(*value ? value : rest).c_str());
    return true;
  }
  std::string joined = value;
  if (joined.back() != '/') joined += '/';
  joined += rest;
  out.set(plainPath(joined).c_str());
  return true;
}

void cSoftPkgScenario::getVer(int (&out)[4]) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<int>(ver[i]);
}

unsigned long long cSoftPkgScenario::getVerID() {
  unsigned long long id = 0;
  for (unsigned int part : ver) id = id << 16 | (part & 0xFFFF);
  return id;
}

bool cSoftPkgScenario::getStrVer(_guardchar<char>& out, bool full) {
  char text[48];
  if (full && ver[3])
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", ver[0], ver[1], ver[2], ver[3]);
  else if (ver[2])
    std::snprintf(text, sizeof text, "%d.%d.%d", ver[0], ver[1], ver[2]);
  else
    std::snprintf(text, sizeof text, "%d.%d", ver[0], ver[1]);
  out.set(text);
  return true;
}

bool cSoftPkgScenario::getIconPath(_guardchar<char>& out) { return defToPath(icon, out); }

bool cSoftPkgScenario::getParams(_List<sDefineParam>& out) {
  out.destroy();
  for (auto* it = params.head; it; it = it->next) {
    sDefineParam& copy = out.add()->value;
    copy.name.set(it->value.name.ptr);
    copy.data.set(it->value.data.count);
    if (copy.data.count) std::memcpy(copy.data.ptr, it->value.data.ptr, static_cast<size_t>(copy.data.count));
  }
  return true;
}

bool cSoftPkgScenario::getDepractesList(_List<sDeprecateItem>& out) {
  out.destroy();
  for (auto* it = deprecates.head; it; it = it->next) {
    sDeprecateItem& copy = out.add()->value;
    copy.codename.set(it->value.codename.ptr);
    copy.version = it->value.version;
  }
  return true;
}

bool cSoftPkgScenario::getMenuItems(_List<sMenuItemDef>& out) {
  out.destroy();
  for (auto* it = menu.head; it; it = it->next) {
    sInMenuDef& def = it->value;
    sMenuItemDef& made = out.add()->value;
    const char* caption = getStr(def.caption.ptr);
    if (!caption) return false;
    made.caption.set(caption);
    if (!defToPath(def.program, made.program) || !defToPath(def.icon, made.icon)) return false;
    made.arguments.set(getStr(def.arguments.ptr));
    made.comment.set(getStr(def.comment.ptr));
    made.elevated = def.flags & 1;
  }
  return true;
}

bool cSoftPkgScenario::getOnCompletionRun(_List<sOnCompletionRun>& out) {
  out.destroy();
  for (auto* it = runs.head; it; it = it->next) {
    sOnCompletionRunInt& def = it->value;
    sOnCompletionRun& made = out.add()->value;
    made.checked = def.checked != 0;
    const char* caption = getStr(def.caption.ptr);
    if (!caption) return false;
    made.caption.set(caption);
    if (!defToPath(def.program, made.program)) return false;
    made.arguments.set(getStr(def.arguments.ptr));
  }
  return true;
}

unsigned long long cSoftPkgScenario::requiresSize(unsigned int blockSize) {
  unsigned long long total = 0;
  for (auto* it = files.head; it; it = it->next) {
    if (!(cJob::is64bitOS() ? it->value.for64 : it->value.for32)) continue;
    unsigned long long size = pkg.sizeOf(static_cast<int>(it->value.index));
    if (blockSize) size = (size + blockSize - 1) / blockSize * blockSize;
    total += size;
  }
  return total;
}

bool parseVersionText(const char* text, unsigned int (&parts)[4], bool asScanned) {
  auto blank = [asScanned](char c) {
    return asScanned ? std::isspace(static_cast<unsigned char>(c)) != 0 : isBlank(c);
  };
  unsigned int read[4];
  int count = 0;
  for (const char* p = text;; ++p) {
    while (blank(*p)) ++p;
    bool negative = false;
    if (asScanned && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (count == 4 || *p < '0' || *p > '9') return false;
    unsigned int value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
      value = value * 10 + static_cast<unsigned int>(*p - '0');
      if (value > 0xFFFF) return false;
    }
    if (negative && value) return false;
    read[count++] = value;
    while (blank(*p) && (blank(p[1]) || !p[1])) ++p;
    if (!*p) break;
    if (*p != '.') return false;
  }
  if (count < 2) return false;
  for (int i = 0; i < count; ++i) parts[i] = read[i];
  return true;
}

bool isUsableCodename(const char* codename) {
  return codename && *codename && !std::strchr(codename, '/') && std::strcmp(codename, ".") != 0 &&
         std::strcmp(codename, "..") != 0;
}
