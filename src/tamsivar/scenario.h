// What an installation needs besides the installed bytes: string tables in a
// neutral form and per language, version and addresses, the files with their
// targets, menu entries, finish-page commands, settings, superseded packages,
// three documents and the package of items. Targets are path definitions (a
// variable and the rest of the path) resolved through the string tables when
// the installation runs, so the folder the user picks ("pgm") decides where
// every file goes.
#pragma once

#include "base/btree.h"
#include "base/buffers.h"
#include "base/list.h"
#include "base/stringkey.h"
#include "base/targets.h"
#include "tamsivar/pkg.h"
#include "tamsivar/scenariodoc.h"

using tScenarioTable = cFasterTreeList<cStringKey, _guardchar<char>>;

class cSoftPkgScenario {
 public:
  struct sPathDef {
    _guardchar<char> var;  // a string-table key, or "pgm"
    _guardchar<char> rest;
    int line = 0;  // of the text entry, for the compiler's refusals
  };
  struct sIntFileDef {
    unsigned int index = 0;
    sPathDef target;
    _List<int> langs;  // empty: every language
    unsigned char for32 = 0;
    unsigned char for64 = 0;
    unsigned char perms[3] = {8, 8, 8};  // first to third digit; 8: not given
    int line = 0;                        // of the text entry, for the compiler's refusals
    ~sIntFileDef() { langs.destroy(); }
  };
  struct sInMenuDef {
    _guardchar<char> caption;
    _guardchar<char> comment;
    sPathDef program;
    _guardchar<char> arguments;
    sPathDef icon;
    unsigned char flags = 0;  // a digit 0 to 8; bit 0: run with administrator rights
  };
  struct sOnCompletionRunInt {
    _guardchar<char> caption;
    sPathDef program;
    _guardchar<char> arguments;
    unsigned char checked = 0;
  };
  struct sDeprecateItem {
    _guardchar<char> codename;
    unsigned short version = 0xFFFF;  // 65535: any version
  };
  struct sDefineParam {
    _guardchar<char> name;
    _typebuf<unsigned char> data;
  };
  struct sCopiedFile {
    _guardchar<char> path;
    unsigned int index = 0;
    unsigned char perms[3] = {8, 8, 8};
    unsigned char digest[32] = {};
  };
  struct sMenuItemDef {
    _guardchar<char> caption;
    _guardchar<char> program;
    _guardchar<char> arguments;
    _guardchar<char> icon;
    _guardchar<char> comment;
    bool elevated = false;
  };
  struct sOnCompletionRun {
    _guardchar<char> program;
    _guardchar<char> arguments;
    _guardchar<char> caption;
    bool checked = false;
  };

  _List<sInMenuDef> menu;
  _List<sIntFileDef> files;
  _List<sOnCompletionRunInt> runs;
  _List<sDeprecateItem> deprecates;
  tScenarioTable strings;
  cFasterTreeList<int, tScenarioTable> langStrings;
  int currLang = 0;
  unsigned int ver[4] = {};
  _guardchar<char> support;
  _guardchar<char> publisher;
  _guardchar<char> updates;
  sPathDef icon;
  sScenarioDoc welcomeDoc;
  sScenarioDoc readmeDoc;
  unsigned char readmeAccept = 0;
  sScenarioDoc eulaDoc;
  cSoftPkg pkg;
  _List<sDefineParam> params;
  // Why the text compiler refused, beyond its code and line: the file at
  // fault and what went wrong in it, with a document compiler's line and
  // column (counted from 0; -1 when the message names no place).
  struct sTextFault {
    _guardchar<char> file;
    _guardchar<char> message;
    long long line = -1;
    long long column = -1;
    // What the code means at this spot, where its general meaning would
    // leave the writer guessing; a static text, or null.
    const char* words = nullptr;
    void set(const char* at, const char* why, long long atLine = -1, long long atColumn = -1) {
      file.set(at);
      message.set(why);
      line = atLine;
      column = atColumn;
    }
  };
  // A "$" name as the text uses it: where it first stands and the code its
  // refusal answers (7 for a text, 23 for a path), checked again once every
  // language is known.
  struct sTextRef {
    _guardchar<char> name;
    int line = 0;
    int code = 7;
  };

  // Kept for the text compiler: literal text to its key, and the next key's number.
  tScenarioTable literals;
  unsigned int literalCount = 0;
  int sectionState = 0;
  int textLine = 0;
  _guardchar<char> textPath;  // of the text being compiled, for faults of its own lines
  _List<sTextRef> textRefs;
  sTextFault fault;

  cSoftPkgScenario();
  cSoftPkgScenario(const cSoftPkgScenario&) = delete;
  cSoftPkgScenario& operator=(const cSoftPkgScenario&) = delete;
  ~cSoftPkgScenario();

  // Empties everything but the current language.
  void close();

  int currLangID() { return currLang; }
  bool setCurrLangID(int id);
  void getSupportedLangs(_List<int>& out);
  // A language is declared once it has a table, possibly an empty one.
  tScenarioTable* declareLang(int id);

  char* getStr(const char* key);
  bool setStr(int lang, const char* key, const char* value);
  static bool setStr(tScenarioTable& table, const char* key, const char* value);
  void clearStr(const char* key);
  static bool isKnownConstantID(const char* name);
  bool isValidDef(const char* name, int& badLang);
  bool defToPath(sPathDef& def, _guardchar<char>& out);

  void getVer(int (&out)[4]);
  unsigned long long getVerID();
  bool getStrVer(_guardchar<char>& out, bool full);
  bool getIconPath(_guardchar<char>& out);
  char* supportURL() { return support.ptr; }
  char* publisherURL() { return publisher.ptr; }
  char* updatesURL() { return updates.ptr; }
  // The document's root for the current language; null when it has none.
  cSiDocContainer* welcome() { return welcomeDoc.loader.forLang(currLang); }
  cSiDocContainer* readme() { return readmeDoc.loader.forLang(currLang); }
  cSiDocContainer* eula() { return eulaDoc.loader.forLang(currLang); }
  bool readme_needs_accept() { return readmeAccept & 1; }

  cFileIOTarget* file(int i) { return pkg.item(i); }
  bool digest(int i, unsigned char (&out)[32]) { return pkg.digest(i, out); }
  bool getParams(_List<sDefineParam>& out);
  bool getDepractesList(_List<sDeprecateItem>& out);
  bool getMenuItems(_List<sMenuItemDef>& out);
  // False also for a target that would land outside the folder its
  // variable names; when a link already in the folder leads it out (or
  // dangles), `blocker` names that link.
  bool getCopiedFiles(_List<sCopiedFile>& out) { return getCopiedFiles(out, nullptr); }
  bool getCopiedFiles(_List<sCopiedFile>& out, _guardchar<char>* blocker);
  // A path that names no absolute place would land, or run, wherever the
  // installer runs; the folder the user chooses counts as absolute.
  bool targetAbsolute(sPathDef& def);
  // Whether a run option's program resolves, in the current language, to
  // a web address, which the desktop opens: no path.
  bool runsAddress(sPathDef& def);
  // The first path (by `line`, which receives it) that names a file and
  // no absolute place in the current language: the icon, each run
  // option's program that is no address, each menu entry's program and
  // icon, and each target installed on a 64-bit system (`bits` 64), a
  // 32-bit one (32) or either (0); null when there is none. `section`,
  // when given, receives where it stands ("icon", "[Install]", "[Run]",
  // "[Menu]").
  sPathDef* relativePath(int bits, int& line, const char** section = nullptr);
  bool getOnCompletionRun(_List<sOnCompletionRun>& out);
  unsigned long long requiresSize(unsigned int blockSize);

  bool saveBinConfig(cFileIOTarget* target);
  bool loadBinConfig(cFileIOTarget* target);

  // The text form, compiled with its documents and files. Answers 0 or the
  // code of the first refusal; `line` counts the lines read before the one
  // at fault, and is -1 when all went well or the final checks refuse the
  // whole scenario (a "$" name still undefined at the end gives the line of
  // the entry that uses it). `fault` tells more where a file is at fault.
  int loadTextConfig(const char* path, int& line);
  // One entry of a section, from its first non-space character: 0 or a code.
  int parseGen(char* p);
  int parseSoft(char* p);
  int parseStrs(char* p);
  int parseInst(char* p);
  int parseMenu(char* p);
  int parseSett(char* p);
  int parseRun(char* p);
  int parseDeprecate(char* p);
  // The current section's parser; 4 before any section header.
  int parseEntry(char* p);
  // A "$" name the variable check accepts, or a quoted literal interned as
  // a ".%04d" key; white space after it is skipped.
  bool getStrVID(_guardchar<char>& key, char*& p);
  // A reference giving the variable, then a quoted rest.
  bool getPathDef(sPathDef& def, char*& p);
  // A path definition whose rest stays below its base: 0, or 23 with the
  // words saying why when its steps leave the base or come back to it (an
  // [Install] target's words name the target).
  int takePath(sPathDef& def, char*& p, bool target = false);
  // Packs a file, or every file under a folder, as stored items with their
  // file entries.
  bool processSiObj(sIntFileDef& def, _guardchar<char>& source);
  // The places of the files, in every declared language and bitness: each
  // absolute, no two at one place, none inside another; 0 or 23 with the
  // line at fault.
  int checkTargets(int& line);

 private:
  // The file is installed in the current language on a 64-bit system, or
  // on a 32-bit one.
  bool installsIn(sIntFileDef& def, bool on64);
  tScenarioTable* currTable();
  bool bodyValid();
};

// The primitives of the binary form: a text with a 16-bit length, and a
// string table.
bool ifPutStr(cFileIOTarget& out, _guardchar<char>& text);
bool ifGetStr(cFileIOTarget& in, _guardchar<char>& text);
bool saveLang(cFileIOTarget& out, tScenarioTable& table);
bool loadLang(cFileIOTarget& in, tScenarioTable& table);

// True when the rest of a target path climbs above the folder it is joined
// to (some ".." component has no earlier component left to cancel), or when
// its steps come back to that folder itself ("sub/..", ".").
bool restLeavesFolder(const char* rest);

// True when the bytes at the target's position begin like a binary
// scenario; the target moves past them.
bool startsBinScenario(cFileIOTarget& in);

// A codename names the installed package's record and is given to
// uninstall and update: a name of its own, neither empty nor "." or "..",
// without "/".
bool isUsableCodename(const char* codename);

// A version as its writer spells it: two to four numbers of digits, each 0
// to 65535 so that the 64-bit version keeps every part, one dot between two.
// Blanks (space, tab) before a number and after the last are read past;
// nothing else (a sign, a letter, a fifth number, text after the last) is
// taken. `asScanned`, for an update server's first line, reads each number
// as "%d" reads it: past any white space, LF and FF among it, and one sign
// ("-0" is 0); white space after the last is read past, any other text is
// refused all the same.
// `parts` gets the numbers read and keeps the others; false leaves it alone.
bool parseVersionText(const char* text, unsigned int (&parts)[4], bool asScanned = false);

// What a code of loadTextConfig means, in the words of the scenario's writer;
// null for a code it never answers.
const char* textCodeMeaning(int code);
