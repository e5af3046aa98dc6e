// The controls painted on the real off-screen canvas, in the default and
// the flat theme, checked pixel by pixel at places computed from the theme.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ciom/button.h"
#include "ciom/checkbox.h"
#include "ciom/customform.h"
#include "ciom/hintmaster.h"
#include "ciom/panel.h"
#include "ciom/progress.h"
#include "ciom/selectableelement.h"
#include "ciom/staticelement.h"
#include "ciom/themeuse.h"
#include "sheettarget.h"
#include "support.h"

namespace {

constexpr unsigned int kMagenta = sScene::kMagenta, kRed = 0x0000FF, kBlue = 0xFF0000;
const cStaticCIThemeDef* const kThemes[] = {&gCI_Default_Theme, &gCI_Flat_Theme};

unsigned int picAt(int n, int x, int y) {
  cPicture* p = themePict(n);
  return p ? colourOf(p->raw()[y * p->width() + x]) : 0xDEADBEEF;
}

// The darkest pixel of a rectangle, by its smallest channel.
unsigned int darkest(cCrbOffscreenCanvas& c, int x0, int y0, int w, int h) {
  unsigned int best = 0xFFFFFF;
  auto level = [](unsigned int v) { return std::min({v & 0xFF, v >> 8 & 0xFF, v >> 16 & 0xFF}); };
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x)
      if (level(pixelAt(c, x, y)) < level(best)) best = pixelAt(c, x, y);
  return best;
}

class ControlPixels : public ::testing::Test {
 protected:
  void TearDown() override { cCITheme::setTheme(&gCI_Default_Theme); }
};

class cSkinForm : public cCustomForm {
 public:
  cChildElement onForm, onPanel;
  bool children = false;
  void onConstruct() override {
    cCustomForm::onConstruct();
    if (!children) return;
    attach(&onForm, 60, 5, 40, 20);
    onForm.setTransparent(true);
    clientArea()->attach(&onPanel, 10, 10, 30, 20);
    onPanel.setTransparent(true);
  }
};

}  // namespace

TEST_F(ControlPixels, FormSkinPiecesFillsAndCustomDraw) {
  constexpr int W = 220, H = 160;
  struct sExpect {
    int x, y;
    int pict, px, py;  // a theme picture's pixel, or
    int colour;        // a theme colour when pict < 0
  };
  for (const cStaticCIThemeDef* def : kThemes) {
    cCITheme::setTheme(def);
    const int T = themeDim(0), B = themeDim(2), S = themeDim(1);
    const bool pictures = themePict(0) != nullptr;
    std::vector<sExpect> expect;
    if (pictures) {
      expect = {{2, 2, 0, 2, 2, 0},         {100, 10, 1, 0, 10, 0},      {W - 3, 2, 2, 2, 2, 0},
                {2, 80, 3, 2, 0, 0},        {W - 3, 80, 4, 2, 0, 0},     {3, H - 20, 5, 3, 20, 0},
                {100, H - 10, 6, 0, 30, 0}, {W - 4, H - 20, 7, 4, 20, 0}};
    } else {
      expect = {{0, 0, -1, 0, 0, 1},      {100, T - 1, -1, 0, 0, 1}, {0, 80, -1, 0, 0, 3},
                {W - 1, 80, -1, 0, 0, 3}, {100, H - 1, -1, 0, 0, 2}, {S - 1, H - B - 1, -1, 0, 0, 3}};
    }
    expect.push_back({S + 5, T + 5, -1, 0, 0, 0});  // the panel
    for (unsigned int flags : {0u, 1u, 2u, 4u}) {
      cSheetTarget target;
      cSkinForm form;
      form.setCustomDraw(flags, true);
      form.setWinTarget(&target, 0, 0, W, H);
      form.processConstruct();
      cCrbOffscreenCanvas c;
      ASSERT_TRUE(c.create(W, H));
      sRect all{0, 0, W, H};
      c.drawRect(&all, kMagenta, kMagenta);
      form.processPaint(&c);
      for (const sExpect& e : expect) {
        // What each flag leaves to the form: 2 the top band; 1 the right
        // side and the bottom band; 4 the bottom corners and the left side.
        const bool top = e.y < T;
        const bool right = e.x >= W - S && e.y >= T && e.y < H - B;
        const bool bottom = e.y >= H - B && e.x >= S && e.x < W - S;
        const bool left = e.x < S && e.y >= T;
        const bool corner = e.y >= H - B && (e.x < S || e.x >= W - S);
        bool skipped =
            (flags == 2 && top) || (flags == 1 && (right || bottom)) || (flags == 4 && (left || corner));
        unsigned int want = skipped       ? kMagenta
                            : e.pict >= 0 ? picAt(e.pict, e.px, e.py)
                                          : themeColor(e.colour);
        // Without its corners the bottom band runs the whole width.
        if (flags == 4 && corner)
          want = pictures ? picAt(6, 0, e.y - (H - themePict(6)->height())) : themeColor(2);
        EXPECT_EQ(pixelAt(c, e.x, e.y), want) << "flags " << flags << " at " << e.x << "," << e.y;
      }
    }

    // Transparent children show what lies behind them: the skin, the panel.
    cSheetTarget target;
    cSkinForm plain, withChildren;
    withChildren.children = true;
    cCrbOffscreenCanvas a, b;
    for (auto pair : {std::make_pair(&plain, &a), std::make_pair(&withChildren, &b)}) {
      pair.first->setWinTarget(&target, 0, 0, W, H);
      pair.first->processConstruct();
      makeWhite(*pair.second, W, H);
      pair.first->processPaint(pair.second);
    }
    for (int y = 5; y < 25; y += 3)
      for (int x = 60; x < 100; x += 7) EXPECT_EQ(pixelAt(b, x, y), pixelAt(a, x, y)) << x << "," << y;
    EXPECT_EQ(pixelAt(b, S + 15, T + 15), themeColor(0));
    plain.setWinTarget(nullptr, 0, 0, W, H);
    withChildren.setWinTarget(nullptr, 0, 0, W, H);
  }
}

TEST_F(ControlPixels, PanelFrameAndCentredText) {
  sScene s(120, 40);
  cPanelChild panel;
  s.root.attach(&panel, 0, 0, 100, 40);
  panel.setBgColor(0xE0E0E0);
  s.paint();
  EXPECT_EQ(s.at(0, 0), 0xE0E0E0u);
  EXPECT_EQ(s.at(50, 20), 0xE0E0E0u);
  panel.setBorderColor(kBlue);
  panel.setXMargin(5, false);
  panel.setText("Ww", -1, false);
  s.paint();
  EXPECT_EQ(s.at(0, 0), kBlue);
  EXPECT_EQ(s.at(99, 39), kBlue);
  sSize size;
  ASSERT_TRUE(s.canvas.textSize("Ww", -1, size));
  const int start = (100 - size.cx) / 2 + 5;
  int first = -1;
  for (int x = 1; x < 99 && first < 0; ++x)
    for (int y = 1; y < 39; ++y)
      if (s.at(x, y) != 0xE0E0E0u) {
        first = x;
        break;
      }
  EXPECT_GE(first, start);
  EXPECT_LE(first, start + 2);
}

TEST_F(ControlPixels, StaticPictureAndDisabledText) {
  sScene s(200, 60);
  cStaticElement label, text;
  s.root.attach(&label, 0, 0, 100, 24);
  s.root.attach(&text, 0, 30, 150, 24);
  cPicture red;
  red.create(0xFFFF0000u, 16, 16);  // B, G, R, A words: pure red
  label.setImage(&red, false);
  text.setText("MIH llll", cCanvas::eAlignLeft, false);
  text.setTextColor(0);
  text.disable(false);
  s.paint();
  EXPECT_EQ(s.at(3, 12), kRed);
  EXPECT_EQ(s.at(18, 12), kRed);
  EXPECT_EQ(s.at(2, 12), themeColor(14));
  EXPECT_EQ(s.at(19, 12), themeColor(14));
  EXPECT_EQ(darkest(s.canvas, 1, 31, 148, 22), 0x626262u);
}

TEST_F(ControlPixels, SelectableSchemas) {
  for (const cStaticCIThemeDef* def : kThemes) {
    cCITheme::setTheme(def);
    sScene s(100, 20);
    cSelectableElement sel;
    s.root.attach(&sel, 0, 0, 100, 20);
    const struct { int bg, frame; } schemas[] = {{14, 20}, {15, 22}, {16, 25}};
    for (int i = 0; i < 3; ++i) {
      if (i == 1) sel.onMouseOver();
      if (i == 2) sel.select(false);
      s.paint();
      EXPECT_EQ(s.at(50, 10), themeColor(schemas[i].bg)) << i;
      EXPECT_EQ(s.at(0, 0), themeColor(schemas[i].frame)) << i;
    }
  }
}

TEST_F(ControlPixels, ButtonsInEveryStateAndBorderStyle) {
  constexpr int W = 40, H = 24;
  constexpr unsigned int kBg = 0x30A0C0;
  const unsigned int backs[5] = {0x101010, 0x202020, 0x303030, 0x404040, 0x505050};
  cPicture back[5];
  for (int i = 0; i < 5; ++i) back[i].create(0xFF000000u | backs[i], 2, 2);
  for (const cStaticCIThemeDef* def : kThemes) {
    cCITheme::setTheme(def);
    const unsigned int inner = themeColor(52);
    for (int style = 0; style <= 6; ++style) {
      for (int st = 0; st <= 4; ++st) {
        sScene s(W + 20, H + 10);
        cButtonChild b;
        s.root.attach(&b, 10, 5, W, H);
        b.setBorder(static_cast<cButtonChild::eBorderStyle>(style), false);
        b.setBgColor(kBg, false);
        for (int i = 0; i < 5; ++i)
          b.refStateBackImage(static_cast<cButtonChild::eButtonStates>(i), &back[i]);
        if (st == 1) s.root.processFocusDirect(&b);
        if (st == 2) b.onMouseOver();
        if (st == 3) b.onMouseButton(5, 5, 1, true);
        if (st == 4) b.disable(false);
        ASSERT_EQ(b.state(), st);
        s.paint();
        const unsigned int light = themeColor(53 + 2 * std::min(st, 3) - (st == 3 ? 2 : 0)),
                           dark = themeColor(54 + 2 * std::min(st, 3) - (st == 3 ? 2 : 0));
        const unsigned int L = st == 4 ? themeColor(59) : light, D = st == 4 ? themeColor(60) : dark;
        auto px = [&](int x, int y) { return s.at(10 + x, 5 + y); };
        const bool idle = st == 0 || st == 4;
        const unsigned int disabledFill =
            ((0xC0 - 128) / 2 + 128) | ((0xA0 - 128) / 2 + 128) << 8 | ((0x30 - 128) / 2 + 128) << 16;
        struct {
          unsigned int top, left, bottom, right, inside;
        } want{};
        switch (style) {
          case 0:
            want = {L, L, D, D, backs[st]};
            break;
          case 1:
            want = {backs[st], backs[st], backs[st], backs[st], backs[st]};
            break;
          case 2:
            want = {D, D, D, D, backs[st]};
            break;
          case 3:
            want = {L, L, D, D, backs[st]};
            break;
          case 4:
            want = {L, L, D, D, st == 0 ? kBg : st == 4 ? disabledFill : backs[st]};
            break;
          case 5:
            want = idle ? decltype(want){kBg, kBg, kBg, kBg, kBg} : decltype(want){L, L, D, D, backs[st]};
            break;
          case 6:
            want = {kBg, kBg, kBg, kBg, kBg};
            break;
        }
        const std::string where = "style " + std::to_string(style) + " state " + std::to_string(st);
        EXPECT_EQ(px(W / 2, 0), want.top) << where;
        EXPECT_EQ(px(0, H / 2), want.left) << where;
        EXPECT_EQ(px(W / 2, H - 1), want.bottom) << where;
        EXPECT_EQ(px(W - 1, H / 2), want.right) << where;
        EXPECT_EQ(px(W / 2, H / 2), want.inside) << where;
        if (style == 0) {
          EXPECT_EQ(px(W / 2, 1), inner) << where;
          EXPECT_EQ(px(1, H / 2), inner) << where;
          EXPECT_EQ(px(W / 2, H - 2), inner) << where;
          EXPECT_EQ(px(W - 2, H / 2), inner) << where;
        }
      }
    }
  }
  // A filled button greys its own colour when disabled.
  sScene s(60, 30);
  cButtonChild b;
  s.root.attach(&b, 0, 0, 60, 30);
  b.setBorder(cButtonChild::bs3DFilled, false);
  b.setBgColor(0x00FF0000, false);
  b.disable(false);
  s.paint();
  EXPECT_EQ(s.at(30, 15), 0x00BF4040u);
}

TEST_F(ControlPixels, AButtonsPictureGoesOneLowerWhilePressed) {
  cPicture red;
  red.create(0xFFFF0000u, 10, 10);
  sScene s(60, 30);
  cButtonChild b;
  s.root.attach(&b, 0, 0, 60, 30);
  b.setBorder(cButtonChild::bs3D, false);
  b.image(cButtonChild::bsNormal).refImage(&red);
  s.paint();
  const int y = (30 - 10) / 2, x = (60 - 10) / 2;
  EXPECT_EQ(s.at(x + 5, y), kRed);
  EXPECT_NE(s.at(x + 5, y + 10), kRed);
  b.onMouseButton(5, 5, 1, true);
  s.paint();
  EXPECT_NE(s.at(x + 5, y), kRed);
  EXPECT_EQ(s.at(x + 5, y + 10), kRed);
}

TEST_F(ControlPixels, CheckBoxPicturesFollowTheState) {
  for (const cStaticCIThemeDef* def : kThemes) {
    cCITheme::setTheme(def);
    const struct {
      bool checked, focused, disabled;
      int pict;
    } cases[] = {{false, false, false, 30}, {true, false, false, 31}, {false, true, false, 32},
                 {true, true, false, 33},   {false, false, true, 34}, {true, false, true, 35}};
    for (const auto& c : cases) {
      sScene s(100, 20);
      cCheckBoxChild box;
      s.root.attach(&box, 0, 0, 100, 20);
      box.setChecked(c.checked, false);
      if (c.focused) s.root.processFocusDirect(&box);
      if (c.disabled) box.disable(false);
      ASSERT_EQ(box.shownImage(), themePict(c.pict));
      s.paint();
      cPicture* p = themePict(c.pict);
      EXPECT_GT(expectPicture(s.canvas, p, 3, (20 + 1 - p->height()) / 2), 0) << c.pict;
    }
  }
}

TEST_F(ControlPixels, ProgressMapFrameAndBlend) {
  sScene s(120, 30);
  cProgressChild bar;
  s.root.attach(&bar, 0, 0, 100, 22);
  bar.setRange(100);
  bar.xIntSetPos(50);
  bar.xIntSetOpacity(0.5);
  const cPicture& map = bar.map();
  ASSERT_EQ(map.width(), 100);
  ASSERT_EQ(map.height(), 22);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(map.raw());
  for (int at : {0, 99, 21 * 100, 21 * 100 + 99, 10 * 100}) {
    EXPECT_EQ(bytes[4 * at], 198);
    EXPECT_EQ(bytes[4 * at + 1], 213);
    EXPECT_EQ(bytes[4 * at + 2], 241);
  }
  // Row 5 inside the frame is the gradients' entry 4; the idle colour is white.
  const unsigned int fill = 0x87DE6D, track = 0xE1DDD9;
  auto blended = [](unsigned int px) {
    unsigned int out = 0;
    for (int k = 0; k < 3; ++k)
      out |= static_cast<unsigned int>(255 * 0.5 + (px >> (8 * k) & 0xFF) * 0.5) << (8 * k);
    return out;
  };
  EXPECT_EQ(map.raw()[5 * 100 + 10] & 0xFFFFFF, blended(fill));
  EXPECT_EQ(map.raw()[5 * 100 + 49] & 0xFFFFFF, blended(fill));
  EXPECT_EQ(map.raw()[5 * 100 + 50] & 0xFFFFFF, blended(track));
  s.paint();
  EXPECT_EQ(s.at(50, 10), themeColor(14));  // not started: the idle look
  EXPECT_EQ(s.at(0, 0), themeColor(21));
}

TEST_F(ControlPixels, HintInThemeColours) {
  for (const cStaticCIThemeDef* def : kThemes) {
    cCITheme::setTheme(def);
    sScene s(100, 40);
    cHintMaster hint;
    ASSERT_TRUE(hint.show(&s.root, "HIM\nMW", nullptr, 0xFF000000, 0xFF000000));
    cCrbOffscreenCanvas c;
    makeWhite(c, hint.width(), hint.height());
    hint.processPaint(&c);
    EXPECT_EQ(pixelAt(c, 0, 0), themeColor(12));
    EXPECT_EQ(pixelAt(c, hint.width() - 1, hint.height() - 1), themeColor(12));
    EXPECT_EQ(pixelAt(c, 1, hint.height() / 2), themeColor(11));
    EXPECT_EQ(darkest(c, 1, 1, hint.width() - 2, hint.height() - 2), themeColor(13));
  }
}
