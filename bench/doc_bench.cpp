// The first paint of a 300 KB licence in a 480 x 480 document viewer (the
// whole document laid out and drawn into its off-screen bands), against one
// Pango layout of the same text wrapped to the same width and drawn once,
// in this run. Times are the best of a few runs in processor time, steadier
// than the clock on a busy machine.
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "cihlpdoc/sidocviewer.h"
#include "ciplatform/crbcanvas.h"

namespace {

constexpr int kView = 480, kParagraphs = 300, kParagraphBytes = 1000, kRounds = 5;

// Paragraphs of words from a licence's vocabulary, in a fixed pseudo-random
// order, and the whole text with a line feed after each paragraph.
std::vector<std::vector<std::string> > makeParagraphs(std::string& whole) {
  static const char* const kWords[] = {"the",      "licensee", "shall",    "not",        "distribute",
                                       "software", "without",  "written",  "permission", "of",
                                       "holder",   "any",      "warranty", "whatsoever", "including",
                                       "damages",  "arising",  "from",     "use",        "agreement"};
  std::vector<std::vector<std::string> > out(kParagraphs);
  unsigned int seed = 2026;
  for (auto& para : out) {
    size_t bytes = 0;
    while (bytes < kParagraphBytes) {
      seed = seed * 1103515245u + 12345u;
      para.emplace_back(kWords[(seed >> 16) % (sizeof kWords / sizeof *kWords)]);
      bytes += para.back().size() + 1;
      whole += para.back();
      whole += bytes < kParagraphBytes ? ' ' : '\n';
    }
  }
  return out;
}

cFontObject* standardFont() { return cFontObject::get(5, 13, _glbalStdFont(), false, false, false); }

cSiDocContainer* makeDocument(const std::vector<std::vector<std::string> >& paragraphs) {
  auto* root = new cSiDocContainer;
  root->refFont(standardFont());
  for (const auto& words : paragraphs) {
    auto* para = new cSiDocContainer;
    para->setBreak(true);
    for (const std::string& w : words) {
      auto* t = new cSiDocText;
      t->setText(w.c_str(), static_cast<long long>(w.size()));
      para->addChild(t);
    }
    root->addChild(para);
  }
  return root;
}

// The viewer's first paint of a freshly loaded document; the document's
// height comes back in `height`.
double firstPaint(const std::vector<std::vector<std::string> >& paragraphs, int& height) {
  std::unique_ptr<cSiDocContainer> doc(makeDocument(paragraphs));
  cChildElement root;
  cSiDocViewer view;
  root.processSizeChanges(kView, kView, true);
  root.attach(&view, 0, 0, kView, kView);
  view.refSiDoc(doc.get(), 0xFFFFFF);
  cCrbOffscreenCanvas screen;
  screen.create(kView, kView);
  const double start = bench::cpuMs();
  view.onPaintArea(&screen);
  cairo_surface_flush(screen.surface());
  const double ms = bench::cpuMs() - start;
  height = view.documentHeight();
  root.dettach(&view);
  return ms;
}

// A screen-sized cairo surface and one Pango layout in the viewer's font.
struct sPangoScreen {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kView, kView);
  cairo_t* cr = cairo_create(surface);
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_from_string(_glbalStdFont());
  sPangoScreen() {
    pango_font_description_set_absolute_size(font, 11 * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
  }
  ~sPangoScreen() {
    pango_font_description_free(font);
    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
};

// One Pango layout of the text, wrapped at the viewer's width less its bar,
// laid out whole and its first screen drawn.
double onePangoLayout(const std::string& text, int& height) {
  const double start = bench::cpuMs();
  sPangoScreen screen;
  pango_layout_set_width(screen.layout, (kView - 16) * PANGO_SCALE);
  pango_layout_set_wrap(screen.layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_text(screen.layout, text.c_str(), static_cast<int>(text.size()));
  int w = 0;
  pango_layout_get_pixel_size(screen.layout, &w, &height);
  cairo_set_source_rgb(screen.cr, 0, 0, 0);
  pango_cairo_show_layout(screen.cr, screen.layout);
  cairo_surface_flush(screen.surface);
  return bench::cpuMs() - start;
}

}  // namespace

int main() {
  std::string whole;
  const auto paragraphs = makeParagraphs(whole);
  int ownHeight = 0, peerHeight = 0;
  firstPaint(paragraphs, ownHeight);  // fonts and glyph caches warm for both
  onePangoLayout(whole, peerHeight);
  double ours = 1e300, peer = 1e300;
  for (int round = 0; round < kRounds; ++round) {
    ours = std::min(ours, firstPaint(paragraphs, ownHeight));
    peer = std::min(peer, onePangoLayout(whole, peerHeight));
  }
  std::printf("document: %zu bytes, %d px tall in the viewer, %d px in one layout\n", whole.size(), ownHeight,
              peerHeight);
  std::printf("viewer first paint cpu ms: %.2f\n", ours);
  std::printf("one pango layout cpu ms: %.2f\n", peer);
  std::printf("ratio viewer/pango-layout time: %.3f\n", ours / peer);
  return 0;
}
