// The standard fonts, kept apart so that only their users need the
// platform's face name.
#include "ciom/child.h"
#include "ciom/fontobject.h"

cFontObject* cChildElement::stdFont() { return createFont(5, 13, _glbalStdFont(), false, false, false); }
cFontObject* cChildElement::stdFontUnderlined() {
  return createFont(5, 13, _glbalStdFont(), false, true, false);
}
cFontObject* cChildElement::stdFontItalic() { return createFont(5, 13, _glbalStdFont(), false, false, true); }
cFontObject* cChildElement::stdFontBold() { return createFont(6, 13, _glbalStdFont(), true, false, false); }
