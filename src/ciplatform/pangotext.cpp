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

namespace {

// Line breaks and other control characters stay invisible on a single line,
// as stray zero units do; a lone surrogate shows as the replacement mark.
unsigned short printable(const unsigned short* text, long long i, long long len) {
  const unsigned short c = text[i];
  if (c < 0x20 && c != '\t') return 0x200B;
  if (c >= 0xD800 && c <= 0xDBFF)
    return i + 1 < len && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF ? c : 0xFFFD;
  if (c >= 0xDC00 && c <= 0xDFFF) return i > 0 && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF ? c : 0xFFFD;
  return c;
}

bool plainUtf8(const char* text, long long len) {
  for (long long i = 0; i < len; ++i)
    if (static_cast<unsigned char>(text[i]) < 0x20 && text[i] != '\t') return false;
  return g_utf8_validate(text, len, nullptr);
}

}  // namespace

cPangoText::cPangoText(const char* text, long long len) {
  if (!text) return;
  if (len < 0) len = static_cast<long long>(std::strlen(text));
  if (len <= INT_MAX && plainUtf8(text, len)) {
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
  _typebuf<unsigned short> shown;
  shown.set(len);
  for (long long i = 0; i < len; ++i) shown.ptr[i] = printable(text, i, len);
  _w2pc(shown.ptr, len, myCopy);
  if (myCopy.count > INT_MAX) return;
  bytes = myCopy.ptr;
  length = static_cast<int>(myCopy.count);
}
