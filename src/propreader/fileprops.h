// What the manager learns about a file without opening it for the user: its
// size in pixels, its pages, a preview scaled to a preferred size and, for
// Windows executables, the version strings. `guessObj` picks the reader.
#pragma once

#include "base/btree.h"
#include "base/guardchar.h"
#include "picts/pictbase.h"

class cFileIOTarget;

class cFileObjectProps {
 public:
  // Property ids; the table in fileprops.cpp gives each one's kind.
  enum ePropId {
    kWidth = 0,
    kHeight = 1,
    kPages = 2,
    kPreview = 3,
    kProductName = 5,
    kFileDescription = 6,
    kCompanyName = 7,
    kLegalCopyright = 8,
    kProductVersion = 10,
  };
  // What `prop_type` answers.
  enum ePropKind { kNoKind = 0, kKindInt = 1, kKindString = 2, kKindFloat = 3, kKindPict = 4 };

  cFileObjectProps();
  cFileObjectProps(const cFileObjectProps&) = delete;
  cFileObjectProps& operator=(const cFileObjectProps&) = delete;
  virtual ~cFileObjectProps() = default;

  // The file-type index, 0 to 30.
  virtual int typeOf() = 0;
  // The caller seeks the stream to the file's start; `wantPreview` asks for
  // a preview even when the file carries none of its own.
  virtual bool load(cFileIOTarget* io, int unused, bool wantPreview) = 0;
  // Forgets the properties and preferences; the reader can load again.
  virtual void close();

  // A reader for the file, owned by the caller; null when none knows it.
  static cFileObjectProps* guessObj(cFileIOTarget* io);

  // A negative side means no limit that way, 0 no preview at all.
  void setPreviewPreferrences(int width, int height);

  int* prop_int(int id);
  double* prop_float(int id);
  char* prop_string(int id);
  cPictDummy* prop_pict(int id);
  bool has_prop(int id);
  static int prop_type(int id);

  bool setProp(int id, int v);
  bool setProp(int id, double v);
  bool setProp(int id, const char* text);
  // Takes the pixels of `p`, leaving it empty.
  bool setProp(int id, cPictBase* p);

  static const char* default_extension(int type);
  static const char* content_type(int type);
  static const char* type_name(int type);
  static int media_type(int type);
  const char* default_extension() { return default_extension(typeOf()); }
  const char* content_type() { return content_type(typeOf()); }
  const char* type_name() { return type_name(typeOf()); }
  int media_type() { return media_type(typeOf()); }

 protected:
  int myPrefWidth = -1;
  int myPrefHeight = -1;

 private:
  cFasterTreeList<int, int> myInts;
  cFasterTreeList<int, double> myFloats;
  cFasterTreeList<int, _guardchar<char>> myStrings;
  cFasterTreeList<int, cPictDummy> myPicts;
};
