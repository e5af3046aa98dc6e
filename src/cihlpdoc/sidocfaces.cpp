#include "cihlpdoc/sidocfaces.h"

#include "ciom/fontobject.h"

const char* siDocFaceName(unsigned int face) {
  switch (face) {
    case 0:
      return _glbalStdFont();
    case 1:
      return _glbalFixedFont();
    case 2:
      return "Malgun Gothic";
    case 3:
      return "Verdana";
    case 4:
      return "Lucida Sans";
  }
  return nullptr;
}
