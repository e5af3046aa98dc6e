// A loaded rich-text document: one box tree per language, with the fonts,
// link targets and pictures the boxes point into. The boxes are valid only
// while the loader keeps its content.
#pragma once

#include "base/btree.h"
#include "base/buffers.h"
#include "base/guardchar.h"
#include "cihlpdoc/sidocbox.h"

class cSiDocLoader {
 public:
  // The markup's tags, by the ids the compiler gives them.
  enum eKnownTags : int {
    eTagTop = 0,
    eTagText = 1,
    eTagLink = 2,
    eTagImg = 3,
    eTagBr = 4,
    eTagLt = 5,
    eTagB = 6,
    eTagI = 7,
  };

  // Record types of a language's stream.
  enum eRecordType : unsigned char {
    eRecText = 0,
    eRecImage = 1,
    eRecContainer = 2,
    eRecLink = 3,
    eRecImageLink = 4,
    eRecEnd = 0xFF,
  };

  // A record stream or table inflating past this is refused before more is
  // allocated: about twice the most that the largest source compiles to.
  static constexpr long long kMaxInflated = 128ll << 20;
  // Containers nest at most this deep, so no document can exhaust the stack
  // of the thread that loads or draws it.
  static constexpr int kMaxDepth = 256;

  // The read cursor of one record stream.
  struct sLangDecodePtr {
    const unsigned char* data = nullptr;
    long long left = 0;
  };

  cSiDocLoader() = default;
  cSiDocLoader(const cSiDocLoader&) = delete;
  cSiDocLoader& operator=(const cSiDocLoader&) = delete;
  ~cSiDocLoader() { destroy(); }

  // Replaces the content. On false the document is to be treated as absent.
  bool load(unsigned char* data, long long size);
  bool load(char* path);
  // The root of that language, or null when the document has none.
  cSiDocContainer* forLang(int lang);
  void destroy();

 private:
  bool decodeFontDefs(unsigned char* data, long long size);
  bool decodeStringDefs(unsigned char* data, long long size);
  bool getImages(unsigned char* data, long long size);
  bool processLang(cSiDocContainer* parent, sLangDecodePtr& cursor, int depth);
  bool readBox(cSiDocBox* box, int type, sLangDecodePtr& cursor);
  bool readTextRun(cSiDocText* box, sLangDecodePtr& cursor, bool link);

  cFasterTreeList<int, cPtr<cPicture> > myPictures;
  cFasterTreeList<int, _guardchar<char> > myLinks;
  cFasterTreeList<int, cFontObject*> myFonts;  // the toolkit's shared fonts
  cFasterTreeList<int, cPtr<cSiDocContainer> > myRoots;
};
