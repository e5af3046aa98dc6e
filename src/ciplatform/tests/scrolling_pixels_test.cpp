// The scroll bars, the text field and their neighbours painted on the real
// off-screen canvas: each bar piece's picture where the layout puts it, a
// mebibyte line scrolled to its end that draws its last characters exactly
// as they look alone, and one sheet of every control of this family,
// build/controls_sheet_2.png, for people to look at.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ciom/combobox.h"
#include "ciom/edit.h"
#include "ciom/fontobject.h"
#include "ciom/panel.h"
#include "ciom/scrollable.h"
#include "ciom/simplegrid.h"
#include "ciom/splitter.h"
#include "ciom/themeuse.h"
#include "sheettarget.h"
#include "support.h"

namespace {

constexpr unsigned int kMagenta = 0xFF00FF;

struct sScene {
  cSheetTarget target;
  cChildElement root;
  cCrbOffscreenCanvas canvas;
  sScene(int w, int h) { root.setWinTarget(&target, 0, 0, w, h); }
  void paint() {
    canvas.close();
    ASSERT_TRUE(canvas.create(root.width(), root.height()));
    sRect all{0, 0, root.width(), root.height()};
    canvas.drawRect(&all, kMagenta, kMagenta);
    root.processPaint(&canvas);
  }
};

// Every opaque pixel of the picture, drawn at its own size at (x, y).
void expectPicture(cCrbOffscreenCanvas& c, cPicture* p, int x, int y) {
  ASSERT_NE(p, nullptr);
  int compared = 0;
  for (int py = 0; py < p->height(); ++py)
    for (int px = 0; px < p->width(); ++px) {
      const unsigned int v = p->raw()[py * p->width() + px];
      if (v >> 24 != 0xFF) continue;
      const unsigned int word = (v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF);
      ASSERT_EQ(pixelAt(c, x + px, y + py), word) << "at " << x + px << "," << y + py;
      ++compared;
    }
  EXPECT_GT(compared, p->width() * p->height() / 2) << "mostly opaque pieces";
}

class cRows : public cScrollableElement {
 public:
  void onPaintArea(cCanvas* c) override {
    sRect view;
    clientRect(&view);
    for (int y = -(shiftY() % 20); y < view.height; y += 20) {
      sRect r{0, y, view.width, 20};
      const unsigned int shade = ((y + shiftY()) / 20) % 2 ? 0xF0E0D0 : 0xFFFFFF;
      c->drawRect(&r, shade, shade);
    }
  }
};

class cSwatches : public cSimpleGridChild {
 public:
  void paintElement(cCanvas* c, int index, bool selected) override {
    sRect r{0, 0, 24, 16};
    c->drawRect(&r, selected ? 0xC08040 : 0x2020F0u + static_cast<unsigned int>(index) * 0x1800, 0);
  }
  int cellWidth() override { return 24; }
  int cellHeight() override { return 16; }
  int numCells() override { return 30; }
  int cellSpacing() override { return 4; }
  int maxSpacing() override { return 8; }
};

}  // namespace

TEST(ScrollingPixels, BarPiecesSitWhereTheLayoutPutsThem) {
  const int t = themeDim(19);
  for (bool vertical : {false, true}) {
    for (int length : {themeDim(20), themeDim(21), 200}) {
      SCOPED_TRACE(testing::Message() << (vertical ? "vertical " : "horizontal ") << length);
      sScene s(vertical ? t : length, vertical ? length : t);
      cHScroll h;
      cVScroll v;
      cScrollBar& bar = vertical ? static_cast<cScrollBar&>(v) : h;
      s.root.attach(&bar, 0, 0, s.root.width(), s.root.height());
      s.paint();
      auto len = [&](cScrollBar::eSubElements e) {
        cPicture* p = bar.image(e);
        return p ? (vertical ? p->height() : p->width()) : 0;
      };
      auto expectAt = [&](cScrollBar::eSubElements e, int at) {
        expectPicture(s.canvas, bar.image(e), vertical ? 0 : at, vertical ? at : 0);
      };
      if (length <= themeDim(21)) {
        const bool small = length <= themeDim(20);
        const auto dec = small ? cScrollBar::seSmallDecArrow : cScrollBar::seDecArrow;
        const auto inc = small ? cScrollBar::seSmallIncArrow : cScrollBar::seIncArrow;
        expectAt(dec, 0);
        expectAt(inc, length - len(inc));
        EXPECT_EQ(bar.hit(0), cScrollBar::hrDecrease);
        EXPECT_EQ(bar.hit(length - 1), cScrollBar::hrIncrease);
      } else {
        const int inc = len(cScrollBar::seIncArrow), sep = len(cScrollBar::seArrowSeparator);
        const int dec = len(cScrollBar::seDecArrow);
        expectAt(cScrollBar::seStartCap, 0);
        expectAt(cScrollBar::seIncArrow, length - inc);
        expectAt(cScrollBar::seArrowSeparator, length - inc - 5 - sep);
        expectAt(cScrollBar::seDecArrow, length - inc - 10 - sep - dec);
        expectAt(cScrollBar::seThumbStart, len(cScrollBar::seStartCap));
        EXPECT_EQ(bar.hit(length - 1), cScrollBar::hrIncrease);
        EXPECT_EQ(bar.hit(length - inc - 10 - sep - dec), cScrollBar::hrDecrease);
        EXPECT_EQ(bar.hit(len(cScrollBar::seStartCap)), cScrollBar::hrThumb);
      }
      s.root.dettach(&bar);
    }
  }
}

TEST(ScrollingPixels, AMebibyteLineEndsWithItsLastCharactersAsTheyLookAlone) {
  const int w = 300, fieldH = 24;
  sScene s(w, fieldH);
  cEditChild field;
  s.root.attach(&field, 0, 0, w, fieldH);
  const long long n = 1 << 20;
  ASSERT_TRUE(field.setMaxLen(n));
  std::string line;
  line.reserve(static_cast<size_t>(n));
  const std::string words[] = {"scroll ", "bar ", "Wide ", "line, ", "kerning AV ", "end. "};
  for (size_t i = 0; line.size() < static_cast<size_t>(n); ++i) line += words[i % 6];
  line.resize(static_cast<size_t>(n - 3));
  line += "XYZ";
  field.setText(line.c_str(), -1);
  field.focus();
  field.onKey(cChildElement::kcEnd, false, false, false);
  field.setSelectOnFocus(false);
  s.paint();
  // The caret at W - 2, the glyph ends rising to the last unit.
  EXPECT_EQ(1 + field.glyphEnd(n - 1) + field.scroll(), w - 2);
  for (long long i = n - 2000; i < n; ++i) ASSERT_LE(field.glyphEnd(i - 1), field.glyphEnd(i));
  EXPECT_GT(field.glyphEnd(n - 1), field.glyphEnd(n - 2));
  // "XYZ" drawn alone where the field put it, on the field's background.
  const int x = static_cast<int>(field.scroll() + 2 + field.glyphEnd(n - 4));
  cCrbOffscreenCanvas alone;
  makeWhite(alone, w, fieldH);
  sRect all{0, 0, w, fieldH};
  const unsigned int back = field.bgColor(cEditChild::ctNormal);
  alone.drawRect(&all, back, back);
  cFontObject* font = s.root.createFont(5, 13, _glbalStdFont(), false, false, false);
  ASSERT_NE(font, nullptr);
  font->apply(&alone);
  sSize m;
  alone.textSize("W", 1, m);
  alone.setTextColors(field.fgColor(cEditChild::ctNormal), back);
  const unsigned short xyz[] = {'X', 'Y', 'Z', 0};
  alone.drawText(x, (fieldH - m.cy) / 2, false, xyz, 3);
  for (int px = x; px < w - 3; ++px)
    for (int py = 2; py < fieldH - 2; ++py)
      ASSERT_EQ(pixelAt(s.canvas, px, py), pixelAt(alone, px, py)) << px << "," << py;
  s.root.dettach(&field);
}

TEST(ScrollingPixels, SheetOfTheFamily) {
  sScene s(640, 260);
  cHScroll h;
  cVScroll v;
  cRows rows;
  cEditChild edit, banner;
  cComboBoxChild combo;
  cSplitterChild split;
  cPanelChild left, right;
  cSwatches grid;
  s.root.attach(&h, 10, 10, 200, themeDim(19));
  h.setMax(50);
  h.setPos(20);
  s.root.attach(&v, 220, 10, themeDim(19), 120);
  s.root.attach(&rows, 250, 10, 150, 120);
  rows.setMinVisualWidth(300);
  rows.setMinVisualHeight(2000);
  s.root.attach(&edit, 10, 40, 200, 24);
  edit.setText("Selected text", -1);
  edit.focus();
  edit.onKey(cChildElement::kcEnd, false, false, false);
  for (int i = 0; i < 4; ++i) edit.onKey(cChildElement::kcLeft, true, false, false);
  s.root.attach(&banner, 10, 70, 200, 24);
  banner.setBanner("Type a name");
  s.root.attach(&combo, 10, 100, 200, 24);
  combo.setItem(0, "English", nullptr, -1);
  combo.select(0, false);
  s.root.attach(&split, 10, 140, 390, 100);
  split.attach(0, &left, 150);
  split.attach(1, &right, 240);
  split.setLineTrims(10, 10);
  left.setBgColor(0xF8EEE4);
  right.setBgColor(0xE4F0F8);
  s.root.attach(&grid, 420, 10, 200, 230);
  grid.selectCell(7, false);
  s.paint();
  const std::string path = std::string(ZVK_BINARY_DIR) + "/controls_sheet_2.png";
  EXPECT_EQ(cairo_surface_write_to_png(s.canvas.surface(), path.c_str()), CAIRO_STATUS_SUCCESS);
  for (cChildElement* e : std::initializer_list<cChildElement*>{&h, &v, &rows, &edit, &banner, &combo, &split, &grid})
    s.root.dettach(e);
}
