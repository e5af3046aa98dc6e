#include "ciom/formtoolbars.h"

#include "ciom/themeuse.h"

void attachTopToolbar(cCustomForm& form, cToolBarChild& bar, cPicturesList* images) {
  const int d3 = themeDim(3), d4 = themeDim(4), d5 = themeDim(5);
  form.attach(&bar, 0, 0, 1, d5);
  form.anchor(&bar, d4, d3, -(2 * d4) - 1, d5);
  bar.setTransparent(true);
  bar.setImageList(cButtonChild::bsNormal, images);
}

void attachControlButtons(cCustomForm& form, cToolBarChild& bar, cPicturesList* images, int acceptId,
                          const char* accept, int acceptImage, int cancelId, const char* cancel,
                          int cancelImage) {
  form.attach(&bar, 0, 0, 1, 1);
  bar.setTransparent(true);
  bar.setImageList(cButtonChild::bsNormal, images);
  bar.setButton(acceptId, accept, acceptImage);
  bar.setButton(cancelId, cancel, cancelImage);
  form.setFormButtons(&bar, acceptId, cancelId);
  // Placed once its buttons are in: its width is what they want.
  const int w = bar.wantsWidth(), d7 = themeDim(7), d8 = themeDim(8), d9 = themeDim(9);
  form.anchor(&bar, -(d9 + w), -d8 - 1 - d7, w, d7);
}
