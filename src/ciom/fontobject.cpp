#include "ciom/fontobject.h"

#include <cstring>
#include <mutex>

cList cFontObject::myFontsStore;

namespace {
// Fonts are asked for while painting on the main thread, but also while a
// job measures text for a view it fills; the store must not be built twice.
std::mutex gFontsLock;
}  // namespace

bool cFontObject::eq(void* key) {
  const sKey* k = static_cast<const sKey*>(key);
  if (!k || k->width != width || k->height != height || k->bold != bold || k->underline != underline ||
      k->italic != italic)
    return false;
  // Fonts without a face match each other, so such requests share one font
  // instead of adding a new one to the store on every call.
  if (!k->face || !face.ptr) return !k->face && !face.ptr;
  return std::strcmp(k->face, face.ptr) == 0;
}

cFontObject* cFontObject::get(int width, int height, const char* face, bool bold, bool underline,
                              bool italic) {
  sKey key{width, height, face, bold, underline, italic};
  std::lock_guard<std::mutex> guard(gFontsLock);
  if (cListItem* found = myFontsStore.find(&key)) return static_cast<cFontObject*>(found);
  cFontObject* font = __newPlatformCPFont();
  if (!font) return nullptr;
  if (!font->define(width, height, face, bold, underline, italic)) {
    delete font;
    return nullptr;
  }
  font->width = width;
  font->height = height;
  font->face.set(face);
  font->bold = bold;
  font->underline = underline;
  font->italic = italic;
  myFontsStore.add(font);
  return font;
}
