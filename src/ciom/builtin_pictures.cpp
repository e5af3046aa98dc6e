#include "ciom/builtin_pictures.h"

#include "ciom/picture.h"

bool unpackBuiltinPictures(const sBuiltinPicture* list, int n) {
  bool all = true;
  for (int i = 0; i < n; ++i) {
    const sBuiltinPicture& b = list[i];
    int w, h;
    if (!readPictureResourceSize(b.resource, b.size, w, h) || static_cast<long long>(w) * h != b.count) {
      all = false;
      continue;
    }
    inflatePictureResource(b.resource, b.size, b.pixels, b.count);
  }
  return all;
}
