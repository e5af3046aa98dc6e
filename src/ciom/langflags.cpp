// Flag pictures are made from the built-in pixels the first time a language
// list asks for them, and kept for the rest of the process.
#include "ciom/flag_pictures.h"
#include "ciom/langids.h"
#include "ciom/pictureslist.h"

static_assert(kLangFlagCount == kCIOMStdLangCount, "one flag per interface language");

namespace {

cPicturesList gFlags16x11;
cPicturesList gFlags18x14;
cPicturesList gFlags27x22;

cPicture* flag(cPicturesList& list, unsigned int* const* pixels, int n, int w, int h) {
  if (!ciLangValid(n)) return nullptr;
  if (cPicture* made = list.image(n)) return made;
  return list.storeImage(n, pixels[n], w, h, true) ? list.image(n) : nullptr;
}

}  // namespace

cPicture* ciLangImage16x11(int n) { return flag(gFlags16x11, gLangFlags16x11, n, 16, 11); }
cPicture* ciLangImage18x14(int n) { return flag(gFlags18x14, gLangFlags18x14, n, 18, 14); }
cPicture* ciLangImage27x22(int n) { return flag(gFlags27x22, gLangFlags27x22, n, 27, 22); }

cPicturesList* ciLangImages16x11() { return &gFlags16x11; }
cPicturesList* ciLangImages18x14() { return &gFlags18x14; }
cPicturesList* ciLangImages27x22() { return &gFlags27x22; }
