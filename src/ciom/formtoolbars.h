// Where the dialogs put their toolbars: one across the form's top band and
// the accept and cancel buttons at its bottom right, both transparent over
// the form's skin. The form takes the two for its own accept and cancel.
#pragma once

#include "ciom/customform.h"
#include "ciom/pictureslist.h"
#include "ciom/toolbar.h"

void attachTopToolbar(cCustomForm& form, cToolBarChild& bar, cPicturesList* images);
void attachControlButtons(cCustomForm& form, cToolBarChild& bar, cPicturesList* images, int acceptId,
                          const char* accept, int acceptImage, int cancelId, const char* cancel,
                          int cancelImage);
