// A box tree as one line of text, so a test states the whole tree it expects.
#pragma once

#include <cairo.h>

#include <string>

#include "cihlpdoc/sidocbox.h"
#include "support/docwriter.h"

inline std::string fontName(const cFontObject* f) {
  if (!f) return "";
  std::string s = " f(" + std::string(f->face.ptr ? f->face.ptr : "") + "," + std::to_string(f->width) + "," +
                  std::to_string(f->height);
  if (f->bold) s += ",b";
  if (f->italic) s += ",i";
  if (f->underline) s += ",u";
  return s + ")";
}

inline std::string hexColour(unsigned int c) {
  char buf[16];
  snprintf(buf, sizeof buf, "%X", c);
  return buf;
}

inline std::string dumpTree(const cSiDocBox* box) {
  std::string s;
  if (auto* c = dynamic_cast<const cSiDocContainer*>(box)) {
    s = "C" + std::to_string(c->align) + fontName(c->font);
    if (c->textColor != kSiDocNoColor) s += " c=" + hexColour(c->textColor);
    s += "{";
    for (auto* it = c->children.head; it; it = it->next)
      s += (it == c->children.head ? "" : " ") + dumpTree(it->value.ptr);
    s += "}";
  } else if (auto* t = dynamic_cast<const cSiDocText*>(box)) {
    auto* l = dynamic_cast<const cSiDocLink*>(box);
    s = (l ? "L\"" : "T\"") + std::string(t->text.ptr ? t->text.ptr : "") + "\"" + fontName(t->font);
    if (t->textColor != (l ? 0xFF0000u : kSiDocNoColor)) s += " c=" + hexColour(t->textColor);
    if (l) s += "->" + std::string(l->ref ? l->ref : "(none)");
  } else if (auto* i = dynamic_cast<const cSiDocImage*>(box)) {
    auto* il = dynamic_cast<const cSiDocImageLink*>(box);
    s = std::string(il ? "IL" : "I") + "(" +
        (i->picture ? std::to_string(i->picture->width()) + "x" + std::to_string(i->picture->height())
                    : "none") +
        ")";
    if (il) s += "->" + std::string(il->ref ? il->ref : "(none)");
  }
  if (box->marginLeft || box->marginTop || box->marginRight || box->marginBottom)
    s += " m(" + std::to_string(box->marginLeft) + "," + std::to_string(box->marginTop) + "," +
         std::to_string(box->marginRight) + "," + std::to_string(box->marginBottom) + ")";
  if (box->width != -1) s += " w=" + std::to_string(box->width);
  if (box->height != -1) s += " h=" + std::to_string(box->height);
  if (box->bgColor != kSiDocNoColor) s += " bg=" + hexColour(box->bgColor);
  if (box->lineBreak) s += " br";
  return s;
}

// A PNG of w x h drawn with cairo: red in the top-left quarter, blue elsewhere.
inline tBytes cairoPng(int w, int h) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0, 0, 1);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 1, 0, 0);
  cairo_rectangle(cr, 0, 0, w / 2.0, h / 2.0);
  cairo_fill(cr);
  cairo_destroy(cr);
  tBytes png;
  cairo_surface_write_to_png_stream(
      surface,
      [](void* closure, const unsigned char* data, unsigned int length) {
        auto* out = static_cast<tBytes*>(closure);
        out->insert(out->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  cairo_surface_destroy(surface);
  return png;
}
