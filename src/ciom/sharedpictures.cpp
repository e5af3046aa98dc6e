#include "ciom/sharedpictures.h"

#include "ciom/themeuse.h"

void copyThemePicture(cPicturesList& list, int index, int n) {
  cPicture* p = themePict(n);
  if (p && p->raw()) list.storeImage(index, p->raw(), p->width(), p->height(), false);
}

void fillSharedPictures(cPicturesList& list, std::initializer_list<int> themePictures) {
  if (list.image(0)) return;
  int i = 0;
  for (int n : themePictures) copyThemePicture(list, i++, n);
}
