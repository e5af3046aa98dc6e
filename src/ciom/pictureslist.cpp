#include "ciom/pictureslist.h"

#include <new>

namespace {

// Dropping ownership of the very picture that is handed in again must not
// delete it under the new holder.
void takeOver(cPtr<cPicture>& owned, cPicture* p, bool own) {
  if (owned.ptr == p)
    owned.ptr = nullptr;
  else
    owned = nullptr;
  if (own) owned.ptr = p;
}

cPicture* newPicture(const unsigned int* px, int w, int h, bool flip) {
  cPicture* p = new (std::nothrow) cPicture;
  if (p && !p->create(px, w, h, flip)) {
    delete p;
    p = nullptr;
  }
  return p;
}

}  // namespace

bool cPicturesList::put(int id, cPicture* p, bool own) {
  if (!p) {
    destroy(id);
    return true;
  }
  sImageRef* ref = list.insert(id);
  takeOver(ref->owned, p, own);
  ref->picture = p;
  return true;
}

bool cPicturesList::storeImage(int id, const unsigned int* px, int w, int h, bool flip) {
  cPicture* p = newPicture(px, w, h, flip && __bmp_res_inversed);
  if (!p) {
    destroy(id);
    return false;
  }
  return put(id, p, true);
}

bool cPicturesList::storeImage(int id, cPicture* p) { return put(id, p, true); }
bool cPicturesList::refImage(int id, cPicture* p) { return put(id, p, false); }

cPicture* cPicturesList::image(int id) const {
  sImageRef* ref = list.find(id);
  return ref ? ref->picture : nullptr;
}

void cPicturesList::destroy() {
  if (list.root) list.destroyRec(list.root);
  list.root = nullptr;
}

void cPicturesList::destroy(int id) { list.dettach(id); }

template <cPicture* (cPicture::*Make)() const>
void cPicturesList::variants(cPicturesList& out) const {
  // Built aside first, so that a list asked to fill itself reads its own
  // pictures before they are replaced.
  cPicturesList made;
  if (list.root)
    for (auto* item = list.leftmost(list.root); item; item = list.next(item))
      if (cPicture* v = item->value.picture ? (item->value.picture->*Make)() : nullptr)
        made.put(item->key, v, true);
  made.list.moveTo(out.list);
}

void cPicturesList::mkDisabled(cPicturesList& out) const { variants<&cPicture::mkDisabled>(out); }
void cPicturesList::mkActive(cPicturesList& out) const { variants<&cPicture::mkActive>(out); }

void cChildPicture::hold(cPicture* p, bool own) {
  takeOver(owned, p, own);
  picture = p;
}

bool cChildPicture::refImage(cPicturesList* list, int id) {
  hold(list ? list->image(id) : nullptr, false);
  return true;
}

bool cChildPicture::refImage(cPicture* p) {
  hold(p, false);
  return true;
}

bool cChildPicture::setImage(cPicture* p) {
  hold(p, true);
  return true;
}

bool cChildPicture::setImage(const unsigned int* px, int w, int h) {
  cPicture* p = newPicture(px, w, h, __bmp_res_inversed);
  hold(p, true);
  return p != nullptr;
}
