// The markup compiler: an index file naming one source per language, and the
// sources themselves, compiled into one binary document on a target.
#pragma once

#include "base/btree.h"
#include "base/guardchar.h"
#include "base/memio.h"
#include "base/stringkey.h"
#include "cihlpdoc/sidocloader.h"

class cHDLParser {
 public:
  // Where and why a compile failed; line and column count from 0 and point
  // into the file only when `placed` (a file that cannot be opened or read
  // has no place in it).
  struct sErrInfo {
    unsigned int line = 0;
    unsigned int column = 0;
    bool placed = false;
    // A "./" source of an index that was named without its folder.
    bool noFolder = false;
    _guardchar<char> file;
    _guardchar<char> message;
  };

  // One language's record stream.
  struct sHDLLangStreamCtx {
    sHDLLangStreamCtx() = default;  // not an aggregate: the map value-initialises it
    unsigned long long written = 0;
    cMemIOTarget stream;
  };

  // A growing table of the document.
  struct sHDLTable {
    unsigned long long written = 0;
    cMemIOTarget data{65536};
  };

  // Where a picture, font or link target already stored sits.
  struct sHDLExtObj {
    unsigned long long offset = 0;
    unsigned short index = 0;
  };

  // What every language of one document shares while it compiles.
  struct sHDLConfig {
    cFasterTreeList<int, sHDLLangStreamCtx> streams;
    sHDLTable pictures, links, fonts;
    cFasterTreeList<cStringKey, sHDLExtObj> pictureIds;
    cFasterTreeList<unsigned long long, sHDLExtObj> fontIds;
    cFasterTreeList<cStringKey, sHDLExtObj> linkIds;
    unsigned int nextLink = 0, nextPicture = 0;
    unsigned int errLine = 0, errColumn = 0;
    _guardchar<char> errMessage;
    _guardchar<char> folder;  // of the current source, with its "/"; null when none
    int lang = 0;
  };

  // The read position in one source.
  struct sHDLParsePtr {
    const char* text = nullptr;
    unsigned int line = 0, column = 0;
    unsigned int tokenLine = 0, tokenColumn = 0;  // where the last token began
    sHDLLangStreamCtx* stream = nullptr;
    sHDLConfig* config = nullptr;
    int depth = 0;  // open sections
  };

  // The formatting a section passes on to what it holds.
  struct sCurrProps {
    unsigned int height = 13, width = 5, face = 0;
    unsigned char italic = 0, underline = 0, bold = 0;
    unsigned int link = 0xFFFFFFFF;  // the link-target index, or none
  };

  // A tag's attributes by lower-case name.
  using tAttributes = cFasterTreeList<cStringKey, _guardchar<char> >;

  // Sections (text, link, b, i) nest at most this deep, so no source can
  // exhaust the stack of the thread that compiles it.
  static constexpr int kMaxDepth = 256;
  // The largest source or index file.
  static constexpr unsigned long long kMaxSource = 4194304;

  cHDLParser() = default;
  cHDLParser(const cHDLParser&) = delete;
  cHDLParser& operator=(const cHDLParser&) = delete;

  bool parse(char* indexPath, cFileIOTarget* target, sErrInfo& err);

 private:
  void langSearchInit();
  // `length` counts the text's bytes, a NUL among them included. Null, or
  // why the file is not read: too short, too long, UTF-16 big-endian.
  const char* getFileContents(cFileIOTarget* file, _guardchar<char>& text, long long& length);
  // False, with the line and column of the first NUL in err, when there is one.
  static bool refuseNul(const char* text, long long length, sErrInfo& err);
  bool parseIndexFile(char* text, cFasterTreeList<int, _guardchar<char> >& sources, sErrInfo& err);
  bool compileLanguage(sHDLConfig& config, int lang, const char* path, cFileIOTarget* target, sErrInfo& err);
  bool processHDL(sHDLConfig& config, char* text);
  bool processSection(sCurrProps& props, sHDLParsePtr& cursor, cSiDocLoader::eKnownTags tag);
  bool getNextToken(sHDLParsePtr& cursor, _guardchar<char>& token);
  const char* getTagID(const char* name, int& id);
  bool extToProps(const char* text, tAttributes& attributes);
  unsigned short getCreateFont(sHDLParsePtr& cursor, const char* spec, sCurrProps& props);
  bool getFontIDForText(sHDLParsePtr& cursor, sCurrProps& props, unsigned short& id);

  // processSection one level deeper, refused past kMaxDepth.
  bool nestSection(sCurrProps& props, sHDLParsePtr& cursor, cSiDocLoader::eKnownTags tag);
  bool openTag(sCurrProps& props, sHDLParsePtr& cursor, int id, const char* attributeText);
  bool openText(sCurrProps& props, sHDLParsePtr& cursor, tAttributes& attrs);
  bool openLink(sCurrProps& props, sHDLParsePtr& cursor, tAttributes& attrs);
  bool openImage(sCurrProps& props, sHDLParsePtr& cursor, tAttributes& attrs);
  bool storePicture(sHDLParsePtr& cursor, const char* src, unsigned short& index);
  bool storeFont(sHDLParsePtr& cursor, const unsigned char entry[8], unsigned short& index);

  cFasterTreeList<cStringKey, int> myLangCodes;
};
