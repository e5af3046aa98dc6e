#include "ciplatform/macctfont.h"

#include <vector>

#include "base/str.h"
#include "ciom/canvas.h"
#include "ciplatform/pangotext.h"

bool cMacCTFont::define(int, int height, const char* face, bool bold, bool, bool italic) {
  close();
  myDescription = pango_font_description_new();
  // The face is only a wish: fontconfig substitutes an installed family.
  if (face) pango_font_description_set_family(myDescription, face);
  pango_font_description_set_absolute_size(myDescription, pixelSize(height) * PANGO_SCALE);
  pango_font_description_set_weight(myDescription, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(myDescription, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  myLayout = pango_layout_new(sharedPangoContext());
  pango_layout_set_font_description(myLayout, myDescription);
  // One line whatever the text holds, so every character has its edge on it.
  pango_layout_set_single_paragraph_mode(myLayout, TRUE);
  return true;
}

void cMacCTFont::close() {
  if (myLayout) g_object_unref(myLayout);
  if (myDescription) pango_font_description_free(myDescription);
  myLayout = nullptr;
  myDescription = nullptr;
}

bool cMacCTFont::apply(cCanvas* canvas) { return canvas && canvas->setTextMode(this); }

PangoLayout* cMacCTFont::layoutOf(const char* utf8, int bytes) {
  if (!myLayout) return nullptr;
  pango_layout_set_text(myLayout, utf8, bytes);
  return myLayout;
}

bool cMacCTFont::measure(const char* utf8, int bytes, sSize& out) {
  out = {};
  if (!myLayout || !utf8) return false;
  if (bytes == 0) return true;
  PangoRectangle logical;
  pango_layout_get_extents(layoutOf(utf8, bytes), nullptr, &logical);
  out.cx = static_cast<int>(static_cast<double>(logical.width) / PANGO_SCALE + 1.5);
  out.cy = static_cast<int>(static_cast<double>(logical.height) / PANGO_SCALE + 0.5);
  return true;
}

bool cMacCTFont::getTextDim(cCanvas*, const char* text, long long len, sSize& out) {
  out = {};
  if (!text) return false;
  cPangoText t(text, len);
  return measure(t.bytes, t.length, out);
}

bool cMacCTFont::getTextDim(cCanvas*, const unsigned short* text, long long len, sSize& out) {
  out = {};
  if (!text) return false;
  cPangoText t(text, len);
  return measure(t.bytes, t.length, out);
}

// Every character gets its edge, whichever of the fonts that one line needed
// drew it: the widths come from all runs, in the order of the text.
bool cMacCTFont::textRuler(const unsigned short* text, long long len, int* out) {
  if (!myLayout || !text || !out) return false;
  if (len < 0) len = _wcslen(text);
  if (len == 0) return true;
  cPangoText t(text, len);
  PangoLayout* layout = layoutOf(t.bytes, t.length);
  if (!layout) return false;
  const long long chars = g_utf8_strlen(t.bytes, t.length);
  std::vector<int> widths(static_cast<size_t>(chars), 0);
  PangoLayoutLine* line = pango_layout_get_line_readonly(layout, 0);
  for (GSList* run = line ? line->runs : nullptr; run; run = run->next) {
    auto* item = static_cast<PangoGlyphItem*>(run->data);
    const int first = static_cast<int>(g_utf8_pointer_to_offset(t.bytes, t.bytes + item->item->offset));
    if (first < 0 || first + item->item->num_chars > chars) continue;
    pango_glyph_item_get_logical_widths(item, t.bytes, widths.data() + first);
  }
  // A character beyond U+FFFF fills two units; both end where it ends.
  long long unit = 0, sum = 0;
  const char* p = t.bytes;
  for (long long c = 0; c < chars && unit < len; ++c, p = g_utf8_next_char(p)) {
    sum += widths[static_cast<size_t>(c)];
    const int edge = static_cast<int>(static_cast<double>(sum) / PANGO_SCALE);
    out[unit++] = edge;
    if (g_utf8_get_char(p) > 0xFFFF && unit < len) out[unit++] = edge;
  }
  for (; unit < len; ++unit) out[unit] = static_cast<int>(static_cast<double>(sum) / PANGO_SCALE);
  return true;
}
