#include "ciplatform/pangotext.h"

#include <climits>
#include <cstring>

#include "base/str.h"
#include "base/textconv.h"

PangoContext* sharedPangoContext() {
  static PangoContext* context = [] {
    PangoFontMap* map = pango_cairo_font_map_new();
    PangoContext* ctx = pango_font_map_create_context(map);
    g_object_unref(map);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(ctx, options);
    cairo_font_options_destroy(options);
    return ctx;
  }();
  return context;
}

cPangoText::cPangoText(const char* text, long long len) {
  if (!text) return;
  if (len < 0) len = static_cast<long long>(std::strlen(text));
  if (len <= INT_MAX && g_utf8_validate(text, len, nullptr)) {
    bytes = text;
    length = static_cast<int>(len);
    return;
  }
  _typebuf<unsigned short> wide;
  long long units = _pc2w(text, len, wide);
  fromUtf16(wide.ptr, units);
}

cPangoText::cPangoText(const unsigned short* text, long long len) {
  if (!text) return;
  fromUtf16(text, len < 0 ? _wcslen(text) : len);
}

void cPangoText::fromUtf16(const unsigned short* text, long long len) {
  static const char nothing[1] = {0};
  bytes = nothing;
  if (!text || len <= 0) return;
  _w2pc(text, len, myCopy);
  // A lone surrogate comes out as ED A0..BF xx, which Pango rejects; the
  // replacement character has the same length and stands for it.
  // A zero unit inside the text would end it early; it shows as a space.
  for (long long i = 0; i < myCopy.count; ++i) {
    if (!myCopy.ptr[i]) myCopy.ptr[i] = ' ';
    if (i + 2 >= myCopy.count) continue;
    unsigned char lead = static_cast<unsigned char>(myCopy.ptr[i]),
                  next = static_cast<unsigned char>(myCopy.ptr[i + 1]);
    if (lead == 0xED && next >= 0xA0) {
      myCopy.ptr[i] = static_cast<char>(0xEF);
      myCopy.ptr[i + 1] = static_cast<char>(0xBF);
      myCopy.ptr[i + 2] = static_cast<char>(0xBD);
      i += 2;
    }
  }
  if (myCopy.count > INT_MAX) return;
  bytes = myCopy.ptr;
  length = static_cast<int>(myCopy.count);
}
