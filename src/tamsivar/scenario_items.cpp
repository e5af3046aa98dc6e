// The text scenario's item sections: files to pack, menu entries, settings,
// finish-page commands and superseded packages.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstring>
#include <string>
#include <vector>

#include "base/folder.h"
#include "tamsivar/scenario.h"
#include "tamsivar/scenariotext.h"

namespace {

constexpr long long kLongestRest = 0xFFFF;

// The folders on the path of a walk, by device and inode, so a link that
// leads back into one of them ends the walk instead of repeating it forever.
struct sWalkPath {
  std::vector<std::pair<dev_t, ino_t>> folders;

  bool enter(const char* path) {
    struct stat st;
    if (::stat(path, &st) != 0) return false;
    for (const auto& f : folders)
      if (f.first == st.st_dev && f.second == st.st_ino) return false;
    folders.emplace_back(st.st_dev, st.st_ino);
    return true;
  }
  void leave() { folders.pop_back(); }
};

// `to` takes the variable, flags, digits and languages of `from`, and its own rest.
void copyEntry(cSoftPkgScenario::sIntFileDef& from, cSoftPkgScenario::sIntFileDef& to, const char* rest) {
  to.target.var.set(from.target.var.ptr);
  to.target.rest.set(rest);
  for (auto* l = from.langs.head; l; l = l->next) to.langs.add()->value = l->value;
  to.line = from.line;
  to.for32 = from.for32;
  to.for64 = from.for64;
  std::memcpy(to.perms, from.perms, sizeof to.perms);
}

// Why a source cannot be packed, in the writer's words; the reasons the
// file system gives come first.
const char* whyNotTaken(const char* source) {
  struct stat st;
  if (::stat(source, &st) != 0) return std::strerror(errno);
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return "neither a file nor a folder";
  if (S_ISDIR(st.st_mode)) return access(source, R_OK | X_OK) == 0 ? "a link back into a folder that holds it"
                                                                    : std::strerror(errno);
  if (access(source, R_OK) != 0) return std::strerror(errno);
  if (st.st_size == 0) return "an empty file";
  if (static_cast<unsigned long long>(st.st_size) > 0xFFFFFFFFull) return "larger than 4 GiB";
  return "cannot be read";
}

bool refuseSource(cSoftPkgScenario& s, const char* source) {
  s.fault.set(source, whyNotTaken(source));
  return false;
}

bool addFile(cSoftPkgScenario& s, cSoftPkgScenario::sIntFileDef& def, const char* source) {
  cFileIO file;
  // The item stream ends at a stored size of 0, so an empty file could not
  // be carried.
  if (!file.open(source, fmRead) || file.size() == 0) return refuseSource(s, source);
  int index = s.pkg.addPkgItem(&file, false);
  if (index < 0) return refuseSource(s, source);
  cSoftPkgScenario::sIntFileDef& made = s.files.add()->value;
  made.index = static_cast<unsigned int>(index);
  copyEntry(def, made, def.target.rest.ptr);
  return true;
}

bool walk(cSoftPkgScenario& s, cSoftPkgScenario::sIntFileDef& def, const char* source, sWalkPath& path) {
  int type = cFolderContents::objtype(source);
  if (type == fotFile) return addFile(s, def, source);
  if (type != fotFolder || !path.enter(source)) return refuseSource(s, source);
  cFolderContents listing;
  bool ok = listing.init(source, true) || refuseSource(s, source);
  for (int i = 0; ok && i < listing.count(); ++i) {
    _guardchar<char> childPath;
    sFolderItemInfo* info = listing.info(i);
    if (!info || !listing.path(i, childPath)) {
      ok = false;
      break;
    }
    std::string rest = def.target.rest.ptr ? def.target.rest.ptr : "";
    if (!rest.empty()) rest += '/';
    rest += info->name.ptr;
    if (static_cast<long long>(rest.size()) > kLongestRest) {
      s.fault.set(childPath.ptr, "its target path is too long");
      ok = false;
      break;
    }
    cSoftPkgScenario::sIntFileDef child;
    copyEntry(def, child, rest.c_str());
    ok = walk(s, child, childPath.ptr, path);
  }
  path.leave();
  return ok;
}

bool octal(char c) { return c >= '0' && c <= '7'; }

constexpr const char kBeforeNext[] =
    "a value is followed by \",\" and the next one, or ends the entry: only spaces and a # comment may "
    "follow";
constexpr const char kAfterLast[] = "only spaces and a # comment may follow the entry's last value";

// Between the optional parts of an entry: 0 when the entry ends there, 6
// for anything but a ",", kMore after a "," (and the white space after it).
constexpr int kMore = -1;
int nextPart(cSoftPkgScenario& s, char*& p) {
  if (atEntryEnd(p)) return 0;
  if (*p != ',') {
    s.fault.words = kBeforeNext;
    return 6;
  }
  ++p;
  skipSpace(p);
  return kMore;
}

// After an entry's last value: 0, or 6 for text that follows it.
int entryEnd(cSoftPkgScenario& s, char*& p) {
  if (atEntryEnd(p)) return 0;
  s.fault.words = kAfterLast;
  return 6;
}

}  // namespace

bool cSoftPkgScenario::processSiObj(sIntFileDef& def, _guardchar<char>& source) {
  sWalkPath path;
  return source.ptr && walk(*this, def, source.ptr, path);
}

int cSoftPkgScenario::parseInst(char* p) {
  sIntFileDef def;
  def.line = textLine;
  if (std::strncmp(p, "x64.", 4) == 0) {
    def.for64 = 1;
    p += 4;
  } else if (std::strncmp(p, "x32.", 4) == 0) {
    def.for32 = 1;
    p += 4;
  } else if (*p == 'x') {
    return 24;
  } else if (*p == '"') {
    def.for32 = def.for64 = 1;
  } else {
    return 25;
  }
  _guardchar<char> source;
  if (!parseStrVal(p, source)) return 7;
  int type = cFolderContents::objtype(source.ptr);
  if (type != fotFile && type != fotFolder) {
    refuseSource(*this, source.ptr);
    return 26;
  }
  if (!findSkipEq(p)) return 6;
  if (int code = takePath(def.target, p, true)) return code;
  if (type == fotFile && isKnownConstantID(def.target.var.ptr) && !*def.target.rest.ptr) {
    fault.words = "a file's target needs a name after $pgm, such as $pgm \"bin/tool\"";
    return 23;
  }
  if (!atEntryEnd(p)) {
    if (*p != ',') {
      fault.words = kBeforeNext;
      return 6;
    }
    ++p;
    skipSpace(p);
    if (octal(*p)) {
      if (!octal(p[1]) || !octal(p[2])) return 27;
      for (int i = 0; i < 3; ++i) def.perms[i] = static_cast<unsigned char>(p[i] - '0');
      p += 3;
    }
    if (!atEntryEnd(p)) {
      if (*p != ',') {
        // Languages come third, after a "," of their own; the mode before
        // them may be left empty.
        if (langCodeAt(p) >= 0)
          fault.words = def.perms[0] == 8
                            ? "bad permissions: a language list needs the empty mode before it: , , FRA"
                            : "bad permissions: a \",\" goes between the mode and the languages: , 755, FRA";
        else if (def.perms[0] != 8)
          fault.words = "bad permissions: only a \",\" and the languages may follow the mode: , 755, FRA";
        return 27;
      }
      ++p;
      skipSpace(p);
      if (*p == '*') {
        ++p;
        if (!atEntryEnd(p)) return 16;
      } else {
        while (!atEntryEnd(p)) {
          int lang = langCodeAt(p);
          if (lang < 0 || !langStrings.find(lang)) return 16;
          def.langs.add()->value = lang;
          p += 3;
        }
      }
    }
  }
  return processSiObj(def, source) ? 0 : 26;
}

int cSoftPkgScenario::parseMenu(char* p) {
  _guardchar<char> caption;
  if (!getStrVID(caption, p)) return 7;
  if (!findSkipEq(p)) return 6;
  sInMenuDef& entry = menu.add()->value;
  entry.caption.set(caption.ptr);
  if (int code = takePath(entry.program, p)) return code;
  if (*p != ',') return 6;
  ++p;
  if (int code = takePath(entry.icon, p)) return code;
  entry.flags = 0;
  if (int code = nextPart(*this, p); code != kMore) return code;
  // The flag's place holds one digit from 0 to 8 or nothing: "9", "12",
  // "a" and "-1" are bad flags rather than text after the icon.
  const size_t flag = std::strcspn(p, ",# \t\r\n");
  if (flag == 1 && *p >= '0' && *p <= '8') {
    entry.flags = static_cast<unsigned char>(*p - '0');
  } else if (flag) {
    fault.words = "the flag is one digit from 0 to 8";
    return 6;
  }
  p += flag;
  if (int code = nextPart(*this, p); code != kMore) return code;
  if (!getStrVID(entry.comment, p)) return 7;
  if (int code = nextPart(*this, p); code != kMore) return code;
  if (!getStrVID(entry.arguments, p)) return 7;
  return entryEnd(*this, p);
}

int cSoftPkgScenario::parseSett(char* p) {
  _guardchar<char> name, value;
  if (!parseStrVal(p, name)) return 6;
  // The binary form cannot carry a setting without a name.
  if (!*name.ptr) {
    fault.words = "a setting needs a name: \"name\" = type, \"value\"";
    return 6;
  }
  if (!findSkipEq(p)) return 6;
  const char type = *p;
  int width;
  switch (type) {
    case 'w':
      width = 2;
      break;
    case 'd':
      width = 4;
      break;
    case 'q':
      width = 8;
      break;
    case 't':
      width = 0;
      break;
    default:
      fault.words = "a setting's type is w, d, q or t";
      return 6;
  }
  ++p;
  skipSpace(p);
  if (*p != ',') return 6;
  ++p;
  if (!parseStrVal(p, value)) return 7;
  if (int code = entryEnd(*this, p)) return code;
  unsigned long long number = 0;
  if (width && !readNumber(value.ptr, number)) return 8;
  sDefineParam& param = params.add()->value;
  param.name.set(name.ptr);
  const long long size = width ? width : static_cast<long long>(std::strlen(value.ptr));
  param.data.set(size);
  for (long long i = 0; i < size; ++i)
    param.data.ptr[i] =
        width ? static_cast<unsigned char>(number >> (8 * i)) : static_cast<unsigned char>(value.ptr[i]);
  return 0;
}

int cSoftPkgScenario::parseRun(char* p) {
  _guardchar<char> caption;
  if (!getStrVID(caption, p)) return 7;
  if (!findSkipEq(p)) return 6;
  sOnCompletionRunInt& entry = runs.add()->value;
  entry.caption.set(caption.ptr);
  if (int code = takePath(entry.program, p)) return code;
  entry.checked = 0;
  if (int code = nextPart(*this, p); code != kMore) return code;
  if (atEntryEnd(p)) return 0;
  if (std::strncmp(p, "yes", 3) == 0) {
    entry.checked = 1;
    p += 3;
  } else if (std::strncmp(p, "no", 2) == 0) {
    p += 2;
  } else {
    fault.words = "after the program's path and \",\" only the word yes or no may stand";
    return 6;
  }
  if (int code = nextPart(*this, p); code != kMore) return code;
  if (!getStrVID(entry.arguments, p)) return 7;
  return entryEnd(*this, p);
}

int cSoftPkgScenario::parseDeprecate(char* p) {
  _guardchar<char> codename;
  if (!parseStrVal(p, codename)) return 6;
  if (!*codename.ptr) {
    fault.words = "the package it supersedes needs its codename: \"oldcodename\" = \"3\" or = *";
    return 6;
  }
  if (!findSkipEq(p)) return 6;
  unsigned long long version = 0xFFFF;
  if (*p == '"') {
    _guardchar<char> text;
    if (!parseStrVal(p, text)) return 7;
    if (!readNumber(text.ptr, version) || version > 0xFFFF) return 8;
  } else if (*p == '*') {
    ++p;
  } else {
    return 7;
  }
  if (int code = entryEnd(*this, p)) return code;
  sDeprecateItem& entry = deprecates.add()->value;
  entry.codename.set(codename.ptr);
  entry.version = static_cast<unsigned short>(version);
  return 0;
}
