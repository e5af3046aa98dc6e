// A text field holding a mebibyte: 1,000 characters typed into the middle,
// then 1,000 Backspaces, each followed by a paint into an off-screen
// canvas; against one Pango layout of the same text (set text, pixel size)
// in this run, which is what measuring the whole line on each key would
// cost at the least.
#include <pango/pangocairo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "ciom/edit.h"
#include "ciom/fontobject.h"
#include "ciplatform/crbcanvas.h"

namespace {

constexpr long long kUnits = 1 << 20;
constexpr int kKeys = 1000;
constexpr int kWidth = 400, kHeight = 24;

double millisSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::string makeLine() {
  std::string line;
  const char* words[] = {"package ", "installer ", "wizard ", "Größe ", "update, ", "línea "};
  for (size_t i = 0; line.size() < static_cast<size_t>(kUnits) - 16; ++i) line += words[i % 6];
  return line;
}

// Milliseconds per key: typing then deleting in the middle, painting after each.
double editPerKey(const std::string& line) {
  cCrbOffscreenCanvas canvas;
  canvas.create(kWidth, kHeight);
  cEditChild field;
  field.processSizeChanges(kWidth, kHeight, true);
  field.setStdFont(cFontObject::get(5, 13, _glbalStdFont(), false, false, false));
  field.setMaxLen(kUnits);
  field.setText(line.c_str(), -1);
  field.onPaint(&canvas);
  field.onKey(cChildElement::kcHome, false, false, false);
  for (long long i = 0; i < field.buffer().length() / 2; ++i) field.onKey(cChildElement::kcRight, false, false, false);
  field.onPaint(&canvas);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kKeys; ++i) {
    field.onChar(static_cast<unsigned short>('a' + i % 26), false, false, false);
    field.onPaint(&canvas);
  }
  for (int i = 0; i < kKeys; ++i) {
    field.onKey(cChildElement::kcBackspace, false, false, false);
    field.onPaint(&canvas);
  }
  cairo_surface_flush(canvas.surface());
  return millisSince(start) / (2 * kKeys);
}

double pangoLayout(const std::string& line) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_from_string(_glbalStdFont());
  pango_font_description_set_absolute_size(font, 11 * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  auto start = std::chrono::steady_clock::now();
  pango_layout_set_text(layout, line.c_str(), static_cast<int>(line.size()));
  int w = 0, h = 0;
  pango_layout_get_pixel_size(layout, &w, &h);
  const double ms = millisSince(start);
  pango_font_description_free(font);
  g_object_unref(layout);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return ms;
}

}  // namespace

int main() {
  const std::string line = makeLine();
  double edit = 1e300, pango = 1e300;
  for (int round = 0; round < 3; ++round) {
    edit = std::min(edit, editPerKey(line));
    pango = std::min(pango, pangoLayout(line));
  }
  std::printf("edit ms per key: %.4f\n", edit);
  std::printf("pango layout ms: %.2f\n", pango);
  std::printf("ratio edit/pango time: %.4f\n", edit / pango);
  return 0;
}
