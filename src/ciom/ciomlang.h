// Language blocks: how the interface texts travel. A block is a small header
// (kind, three-letter language code, display name) followed by a zlib stream
// whose plain data is the "CIOMLANG" table of named sections of indexed
// strings. Blocks are carried in the program's own data and, as ".laci"
// files, beside it.
#pragma once

#include "base/btree.h"
#include "base/buffers.h"
#include "base/guardchar.h"
#include "base/stringkey.h"

// The largest plain table a reader inflates.
inline constexpr long long kCiomLangMaxPlain = 4194304;

// One section: a text per slot, null where the slot is absent.
class cCiomLangData {
 public:
  _classbuf<_guardchar<char>> strings;

  // From one section's stored data; slots read before a fault stay.
  bool create(const void* data, long long size);
  // Slot numbers index the texts; missing numbers are absent slots.
  bool create(cFasterTreeList<unsigned short, _guardchar<char>>& texts);
  // The stored form; refused when a slot cannot be stored whole.
  bool raw(_typebuf<unsigned char>& out);
  // Null outside the slots and for an absent one.
  char* string(long long i);
  void destroy() { strings.dispose(); }
};

class cCiomLang {
 public:
  cFasterTreeList<cStringKey, cCiomLangData> sections;
  char code[4] = {};
  _guardchar<char> name;

  // Empties the store.
  bool create(const char* code, const char* name);
  // Merges the plain size and zlib stream of a block; the code and name
  // change only when the whole of it was taken.
  bool create(const char* code, const char* name, const void* data, long long size);

 private:
  void setIdentity(const char* code, const char* name);
};

struct sCiomLangDescrInfo {
  char code[4] = {};
  _guardchar<char> name;
  _guardchar<char> path;
};

// A block merged into `store`: its sections replace those of the same name.
// What was merged before a fault stays.
bool loadCiomLangData(const void* data, long long size, cCiomLang& store);
// The kind is cut to eight bytes or padded with spaces ("CIOMBASE" for texts,
// "CIOMLN  " for a table of names).
bool saveCiomLangData(const char* kind, cCiomLang& store, _typebuf<unsigned char>& out);
// The part of a block after its name: plain size, then the zlib stream.
bool loadCiomLang(const void* data, long long size, cFasterTreeList<cStringKey, cCiomLangData>& sections);
bool saveCiomLang(cFasterTreeList<cStringKey, cCiomLangData>& sections, _typebuf<unsigned char>& out);

bool loadCiomLangFile(const char* path, cCiomLang& store);
bool saveCiomLangFile(const char* kind, const char* path, cCiomLang& store);
// Every "*.laci" file of `folder` holding a block of `kind`, numbered from 0.
bool findCiomLangFiles(const char* folder, const char* kind, cFasterTreeList<int, sCiomLangDescrInfo>& found);
