// Pictures kept by number, and the single picture slot that elements embed;
// either may own its picture or borrow one that lives elsewhere.
#pragma once

#include "base/btree.h"
#include "base/buffers.h"
#include "ciom/picture.h"

class cPicturesList {
 public:
  struct sImageRef {
    cPtr<cPicture> owned;  // empty for a borrowed picture
    cPicture* picture = nullptr;
  };
  cFasterTreeList<int, sImageRef> list;

  cPicturesList() = default;
  cPicturesList(const cPicturesList&) = delete;
  cPicturesList& operator=(const cPicturesList&) = delete;

  bool storeImage(int id, const unsigned int* px, int w, int h, bool flip);
  bool storeImage(int id, cPicture* p);
  bool refImage(int id, cPicture* p);
  cPicture* image(int id) const;
  void destroy();
  void destroy(int id);
  // out is refilled, in id order, with a greyed or highlighted copy of each picture.
  void mkDisabled(cPicturesList& out) const;
  void mkActive(cPicturesList& out) const;

 private:
  bool put(int id, cPicture* p, bool own);
  template <cPicture* (cPicture::*Make)() const>
  void variants(cPicturesList& out) const;
};

class cChildPicture {
 public:
  cPtr<cPicture> owned;
  cPicture* picture = nullptr;

  bool refImage(cPicturesList* list, int id);
  bool refImage(cPicture* p);
  bool setImage(cPicture* p);
  bool setImage(const unsigned int* px, int w, int h);
  cPicture* image() const { return picture; }

 private:
  void hold(cPicture* p, bool own);
};
