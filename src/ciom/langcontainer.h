// A free-standing table of language blocks by language number, with the
// language that stands in when another is missing.
#pragma once

#include "base/btree.h"

class cLangContainer {
 public:
  struct sLangBlock {
    unsigned char* data = nullptr;
    long long size = 0;
  };

  cFasterTreeList<int, sLangBlock> langs;
  // 11 while no block has been added.
  int defaultLang = 11;
  int count = 0;

  cLangContainer() { langs.depthLimit = 512; }

  // The block is not copied: it must outlive the container. The first block
  // added, or one added as the default, makes its language the default.
  bool addDef(int lang, unsigned char* data, long long& size, bool isDefault);
  bool defines(int lang);
  bool getLang(int lang, unsigned char*& data, long long& size);
};
