// 10,000 short texts and 10,000 framed rectangles on an offscreen canvas,
// against the same drawing made straight with cairo and Pango in this run.
#include <pango/pangocairo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ciplatform/crbcanvas.h"

namespace {

constexpr int kItems = 10000;
constexpr int kRounds = 5;
constexpr int kWidth = 800, kHeight = 600;

double millisSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

struct sItem {
  std::string text;
  int x, y;
  unsigned int fill, frame;
};

std::vector<sItem> makeItems() {
  std::vector<sItem> items;
  unsigned int seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  for (int i = 0; i < kItems; ++i)
    items.push_back({"Item " + std::to_string(i), static_cast<int>(next() % (kWidth - 80)),
                     static_cast<int>(next() % (kHeight - 20)), next() & 0xFFFFFF, next() & 0xFFFFFF});
  return items;
}

double drawOnCanvas(const std::vector<sItem>& items) {
  cCrbOffscreenCanvas canvas;
  canvas.create(kWidth, kHeight);
  canvas.setTextMode(5, 13, "Tahoma", false, false, false);
  auto start = std::chrono::steady_clock::now();
  for (const sItem& it : items) canvas.drawText(it.x, it.y, true, it.text.c_str(), -1);
  for (const sItem& it : items) {
    sRect r{it.x, it.y, 60, 16};
    canvas.drawRect(&r, it.fill, it.frame);
  }
  cairo_surface_flush(canvas.surface());
  return millisSince(start);
}

void colour(cairo_t* cr, unsigned int c) {
  cairo_set_source_rgb(cr, (c & 0xFF) / 255.0, (c >> 8 & 0xFF) / 255.0, (c >> 16 & 0xFF) / 255.0);
}

double drawDirect(const std::vector<sItem>& items) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_from_string("Tahoma");
  pango_font_description_set_absolute_size(font, 11 * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  auto start = std::chrono::steady_clock::now();
  for (const sItem& it : items) {
    pango_layout_set_text(layout, it.text.c_str(), -1);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, it.x, it.y);
    pango_cairo_show_layout(cr, layout);
  }
  for (const sItem& it : items) {
    colour(cr, it.fill);
    cairo_rectangle(cr, it.x + 1, it.y + 1, 58, 14);
    cairo_fill(cr);
    colour(cr, it.frame);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, it.x + 0.5, it.y + 15.5);
    cairo_line_to(cr, it.x + 59.5, it.y + 15.5);
    cairo_line_to(cr, it.x + 59.5, it.y + 0.5);
    cairo_line_to(cr, it.x + 0.5, it.y + 0.5);
    cairo_close_path(cr);
    cairo_stroke(cr);
  }
  cairo_surface_flush(surface);
  double ms = millisSince(start);
  pango_font_description_free(font);
  g_object_unref(layout);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return ms;
}

}  // namespace

int main() {
  std::vector<sItem> items = makeItems();
  drawOnCanvas(items);  // fonts and glyph caches warm for both
  drawDirect(items);
  double ours = 1e300, direct = 1e300;
  for (int round = 0; round < kRounds; ++round) {
    ours = std::min(ours, drawOnCanvas(items));
    direct = std::min(direct, drawDirect(items));
  }
  std::printf("canvas ms: %.2f\n", ours);
  std::printf("cairo-direct ms: %.2f\n", direct);
  std::printf("ratio canvas/cairo-direct time: %.3f\n", ours / direct);
  return 0;
}
