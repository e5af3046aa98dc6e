// The text field on the fixed-metric test platform (7 pixels a unit, 4 for a
// space): keys, surrogate pairs kept whole, the memory clipboard, numbers,
// painting and scrolling, and the piecewise glyph ends checked against one
// measurement of the whole text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/textconv.h"
#include "ciom/edit.h"
#include "ciom/themeuse.h"
#include "support/canvaslog.h"
#include "support/fixedcanvas.h"
#include "support/formplatform.h"

namespace {

class cHeardEdit : public cEditChild {
 public:
  std::vector<int> heard;
  bool onAction(cChildElement* sender, cChildAction* a) override {
    if (sender == this) heard.push_back(a->code);
    return cEditChild::onAction(sender, a);
  }
};

struct sField {
  cFormTestTarget window;
  cChildElement root;
  cHeardEdit field;
  explicit sField(int w = 200) {
    window.bind(&root, 600, 100);
    root.attach(&field, 10, 10, w, 24);
  }
  ~sField() { root.dettach(&field); }
  void keys(const std::vector<int>& codes, bool shift = false, bool ctrl = false) {
    for (int k : codes) field.onKey(k, shift, ctrl, false);
    window.settle();
  }
  void type(const std::u16string& s) {
    for (char16_t u : s) field.onChar(static_cast<unsigned short>(u), false, false, false);
  }
  std::u16string units() const {
    const cEditBuffer& b = field.buffer();
    return std::u16string(reinterpret_cast<const char16_t*>(b.units()), static_cast<size_t>(b.length()));
  }
  void focus() {
    field.focus();
    window.settle();
  }
  // Paints into a logging canvas the field's size.
  sCanvasLog paint() {
    cLoggingCanvas<cFixedMetricCanvas> c(field.width(), field.height());
    field.onPaint(&c);
    return c;
  }
};

constexpr int L = cChildElement::kcLeft, R = cChildElement::kcRight, BS = cChildElement::kcBackspace,
              DEL = cChildElement::kcDelete, HOME = cChildElement::kcHome, END = cChildElement::kcEnd;

const std::u16string kSmile = u"\U0001F600";

}  // namespace

TEST(Edit, CaretKeysAndSelection) {
  struct sStep {
    std::vector<int> keys;
    bool shift, ctrl;
  };
  struct {
    const char* name;
    std::u16string text;
    long long caret;
    std::vector<sStep> steps;
    long long caretAfter, selStart, selEnd;
  } cases[] = {
      {"shift right twice", u"abcdefg", 3, {{{R, R}, true, false}}, 5, 3, 4},
      {"then shift left", u"abcdefg", 3, {{{R, R, L}, true, false}}, 4, 3, 3},
      {"ctrl left stops before the word", u"foo  bar", 8, {{{L}, false, true}}, 5, -1, -1},
      {"ctrl left again after foo", u"foo  bar", 8, {{{L, L}, false, true}}, 3, -1, -1},
      {"ctrl right over a word", u"foo  bar", 0, {{{R}, false, true}}, 3, -1, -1},
      {"shift home from the end", u"abc", 3, {{{HOME}, true, false}}, 0, 0, 2},
      {"plain move clears", u"abc", 3, {{{HOME}, true, false}, {{R}, false, false}}, 1, -1, -1},
      // A pair is one character for every caret move.
      {"right over a pair", u"a" + kSmile + u"b", 1, {{{R}, false, false}}, 3, -1, -1},
      {"left over a pair", u"a" + kSmile + u"b", 3, {{{L}, false, false}}, 1, -1, -1},
      {"shift left takes the pair", u"a" + kSmile, 3, {{{L}, true, false}}, 1, 1, 2},
      {"ctrl left over pairs", u"x " + kSmile + kSmile, 6, {{{L}, false, true}}, 2, -1, -1},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sField f;
    f.field.setSelectOnFocus(false);
    f.type(k.text);
    f.field.onKey(HOME, false, false, false);
    for (long long i = 0; i < k.caret; ++i) f.field.onKey(R, false, false, false);
    // Right over pairs counts characters; place the caret by units instead.
    const_cast<cEditBuffer&>(f.field.buffer()).setCaret(k.caret);
    for (const sStep& s : k.steps) f.keys(s.keys, s.shift, s.ctrl);
    EXPECT_EQ(f.field.caret(), k.caretAfter);
    const bool has = f.field.buffer().hasSelection();
    EXPECT_EQ(has ? f.field.buffer().selStart() : -1, k.selStart);
    EXPECT_EQ(has ? f.field.buffer().selEnd() : -1, k.selEnd);
  }
}

TEST(Edit, EditsKeepSurrogatePairsWhole) {
  struct {
    const char* name;
    std::u16string text;
    long long caret;
    int key;
    std::u16string after;
    long long caretAfter;
  } cases[] = {
      {"backspace", u"a" + kSmile + u"b", 3, BS, u"ab", 1},
      {"delete", u"a" + kSmile + u"b", 1, DEL, u"ab", 1},
      {"backspace at the start", u"ab", 0, BS, u"ab", 0},
      {"delete at the end", u"ab", 2, DEL, u"ab", 2},
      // Two lone halves that an edit brings together become one character.
      {"joined halves", std::u16string(1, u'\xD83D') + u"x" + std::u16string(1, u'\xDE00'), 2, BS, kSmile, 0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    sField f;
    f.type(k.text);
    const_cast<cEditBuffer&>(f.field.buffer()).setCaret(k.caret);
    f.keys({k.key});
    EXPECT_EQ(f.units(), k.after);
    EXPECT_EQ(f.field.caret(), k.caretAfter);
  }

  // One unit of room takes no half of a pair; the next plain unit still fits.
  sField f;
  f.field.setMaxLen(3);
  f.type(u"ab" + kSmile + u"c");
  EXPECT_EQ(f.units(), u"abc");
  f.field.setMaxLen(4);
  f.type(u"ab" + kSmile + u"c");
  EXPECT_EQ(f.units(), u"ab" + kSmile);
  // setText cuts before a pair that does not fit.
  f.field.setMaxLen(3);
  f.field.setText("ab\xF0\x9F\x98\x80", -1);
  EXPECT_EQ(f.units(), u"ab");
  // A double click takes the run, pair included.
  f.field.setMaxLen(20);
  f.field.setText("ab \xF0\x9F\x98\x80\xF0\x9F\x98\x80 c", -1);
  f.paint();
  f.field.onMouseDoubleClick(2 + 4 * 7 - 3, 5);  // over the second half of the first pair
  EXPECT_EQ(f.field.buffer().selStart(), 3);
  EXPECT_EQ(f.field.buffer().selEnd(), 6);
}

TEST(Edit, TypingFullFieldsActionsAndReadOnly) {
  sField f;
  f.type(std::u16string(257, u'x'));
  EXPECT_EQ(f.field.buffer().length(), 256);
  f.field.setMaxLen(10);
  EXPECT_EQ(f.field.buffer().length(), 0) << "setMaxLen clears the text";

  f.type(u"abc");
  f.keys({cChildElement::kcEnter});
  f.keys({'A'}, false, true);
  f.keys({cChildElement::kcEscape});
  EXPECT_FALSE(f.field.buffer().hasSelection());
  f.keys({cChildElement::kcEscape});
  EXPECT_EQ(f.field.heard, (std::vector<int>{cChildElement::acChange, cChildElement::acActivate}));

  f.field.setReadonly(true);
  f.type(u"zz");
  f.keys({BS, DEL});
  f.keys({'A'}, false, true);
  f.keys({'X'}, false, true);
  EXPECT_EQ(f.units(), u"abc");
  EXPECT_EQ(cTestRequestTarget::clipboard, "abc") << "a read-only field only copies on cut";
  cTestRequestTarget::clipboard = "zz";
  f.keys({'V'}, false, true);
  EXPECT_EQ(f.units(), u"abc");
}

TEST(Edit, ClipboardCopyCutPaste) {
  sField f;
  f.field.setSelectOnFocus(false);
  f.field.setText("Привет 日本 \xF0\x9F\x98\x80!", -1);
  f.keys({END});
  f.keys({L, L, L}, true);  // "😀!" and the space before: three characters
  f.keys({'C'}, false, true);
  EXPECT_EQ(cTestRequestTarget::clipboard, " \xF0\x9F\x98\x80!");
  f.keys({cChildElement::kcInsert}, false, true);
  EXPECT_EQ(cTestRequestTarget::clipboard, " \xF0\x9F\x98\x80!");
  f.keys({DEL}, true);  // Shift+Delete cuts
  EXPECT_EQ(f.units(), u"Привет 日本");
  f.keys({HOME});
  f.keys({cChildElement::kcInsert}, true);  // Shift+Insert pastes
  EXPECT_EQ(f.units(), u" " + kSmile + u"!Привет 日本");
  EXPECT_EQ(f.field.caret(), 4);
  f.keys({'A'}, false, true);
  f.keys({'X'}, false, true);
  EXPECT_EQ(f.units(), u"");
  EXPECT_EQ(cTestRequestTarget::clipboard, " \xF0\x9F\x98\x80!Привет 日本");

  // A nearly full field keeps what fits of the paste and cuts its old tail.
  f.field.setMaxLen(6);
  f.field.setText("abcd", -1);
  f.keys({R});
  cTestRequestTarget::clipboard = "123456";
  f.keys({'V'}, false, true);
  EXPECT_EQ(f.units(), u"a12345");
  EXPECT_EQ(f.field.caret(), 6);
  // A pair that does not fit is left out whole.
  f.field.setText("abcd", -1);
  cTestRequestTarget::clipboard = "1\xF0\x9F\x98\x80";
  f.keys({R, R, R, R});
  f.keys({'V'}, false, true);
  EXPECT_EQ(f.units(), u"abcd1");

  // A paste that brings nothing (an empty clipboard, an owner given up)
  // leaves the selection where it was, its text kept.
  f.field.setText("keepme", -1);
  f.keys({HOME});
  f.keys({R, R, R, R}, true);
  cTestRequestTarget::clipboard.clear();
  f.keys({'V'}, false, true);
  f.keys({cChildElement::kcInsert}, true);
  EXPECT_EQ(f.units(), u"keepme");
  f.keys({DEL});
  EXPECT_EQ(f.units(), u"me") << "the selection outlives the paste";

  // Password mode refuses to copy; cut then only deletes.
  f.field.setText("secret", -1);
  f.field.setPwdMode(true);
  cTestRequestTarget::clipboard = "kept";
  f.keys({'A'}, false, true);
  f.keys({'C'}, false, true);
  f.keys({'X'}, false, true);
  EXPECT_EQ(cTestRequestTarget::clipboard, "kept");
  EXPECT_EQ(f.units(), u"");
}

TEST(Edit, NumbersReadBackWhole) {
  struct {
    unsigned long long value;
    bool hex;
    char sep;
    const char* shown;
  } cases[] = {
      {1234567, false, ',', "1,234,567"},
      {123, false, ',', "123"},
      {9223372036854775808ull, false, 0, "9223372036854775808"},
      {~0ull, false, 0, "18446744073709551615"},
      {0xABCDEFull, true, 0, "0xABCDEF"},
      {0, false, 0, "0"},
  };
  for (const auto& k : cases) {
    sField f;
    f.field.setU64(k.value, k.hex, k.sep);
    EXPECT_STREQ(f.field.text(), k.shown);
    if (!k.sep) {
      EXPECT_EQ(f.field.asU64(), k.value) << k.shown;
    }
  }
  sField empty;
  EXPECT_EQ(empty.field.asU64(), ~0ull);
}

TEST(Edit, BannerPasswordAndScrolling) {
  sField f(100);
  f.field.setBanner("Name");
  sCanvasLog log = f.paint();
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_EQ(log.texts[0].text, "Name");
  EXPECT_EQ(log.texts[0].x, 2);
  f.field.setReadonly(true);
  EXPECT_TRUE(f.paint().texts.empty()) << "a read-only empty field shows nothing";
  f.field.setReadonly(false);

  f.field.setText("secret", -1);
  f.field.setPwdMode(true);
  f.focus();
  log = f.paint();
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_EQ(log.texts[0].text, "••••••");
  f.field.setPwdMode(false);

  // Forty units of 7 pixels in a field of 100: End puts the caret at W - 2.
  f.field.setText(std::string(40, 'x').c_str(), -1);
  f.keys({END});
  f.paint();
  EXPECT_EQ(1 + 40 * 7 + f.field.scroll(), 98);
  // Walking left to the edge scrolls back by at least a quarter of the width.
  long long before = f.field.scroll();
  while (f.field.scroll() == before) {
    f.keys({L});
    f.paint();
  }
  const long long cx = 1 + f.field.caret() * 7 + f.field.scroll();
  EXPECT_GE(f.field.scroll() - before, 25);
  EXPECT_GE(cx, 100 / 8);
  f.keys({HOME});
  f.paint();
  EXPECT_EQ(f.field.scroll(), 0);
  // A click lands on the nearer edge of a unit, after the scroll.
  EXPECT_EQ(f.field.symbolPos(9), 1);
  EXPECT_EQ(f.field.symbolPos(11), 2);
  EXPECT_EQ(f.field.symbolPos(5000), 40);
}

TEST(Edit, AMebibyteLineScrollsToItsEndAndDrawsOnlyWhatIsInView) {
  const long long n = 1 << 20;
  sField f(300);
  ASSERT_TRUE(f.field.setMaxLen(n));
  std::string line(static_cast<size_t>(n), 'm');
  for (long long i = 5; i < n; i += 11) line[static_cast<size_t>(i)] = ' ';
  f.field.setText(line.c_str(), -1);
  f.focus();
  f.keys({END});
  sCanvasLog log = f.paint();
  long long width = 0;
  for (char ch : line) width += cFixedMetricCanvas::unitWidth(static_cast<unsigned char>(ch));
  EXPECT_EQ(f.field.glyphEnd(n - 1), width) << "glyph ends rise to the last unit";
  EXPECT_EQ(1 + width + f.field.scroll(), 300 - 2);
  // Only a few pieces are drawn, the last ending at the last unit.
  long long drawn = 0;
  for (const auto& t : log.texts) drawn += static_cast<long long>(t.text.size());
  EXPECT_LT(drawn, 4 * cGlyphRuler::kPiece);
  ASSERT_FALSE(log.texts.empty());
  const sDrawnText& last = log.texts.back();
  EXPECT_EQ(last.text, line.substr(line.size() - last.text.size()));
  // Typing in the middle keeps everything after it in step.
  f.keys({HOME});
  for (int i = 0; i < 1000; ++i) f.field.onKey(R, false, false, false);
  f.type(u"QQ");
  f.keys({END});
  f.paint();
  EXPECT_EQ(f.field.glyphEnd(n - 1), width + (n == f.field.buffer().length() ? 0 : 14));
}

TEST(Edit, PiecewiseGlyphEndsMatchOneMeasurementOfTheWholeText) {
  std::mt19937 rng(7);
  cEditBuffer b;
  ASSERT_TRUE(b.setMaxLen(5000));
  cFixedMetricCanvas canvas(100, 20);
  const unsigned short alphabet[] = {'a', ' ', '.', 0xD83D, 0xDE00, 'z'};
  std::vector<int> whole;
  for (int step = 0; step < 3000; ++step) {
    const int op = static_cast<int>(rng() % 10);
    b.setCaret(static_cast<long long>(rng() % static_cast<unsigned>(b.length() + 1)));
    if (op < 6) {
      for (int i = static_cast<int>(rng() % 40); i >= 0; --i) b.type(alphabet[rng() % 6]);
    } else if (op < 8) {
      for (int i = static_cast<int>(rng() % 30); i >= 0; --i) b.backspace();
    } else if (op < 9) {
      std::vector<unsigned short> paste(rng() % 700, 'q');
      b.paste(paste.data(), static_cast<long long>(paste.size()));
    } else {
      b.select(b.caret() / 2, b.caret());
      b.deleteSelection();
    }
    ASSERT_TRUE(b.ruler.update(&canvas, b.units(), b.length()));
    whole.assign(static_cast<size_t>(b.length()), 0);
    canvas.textRuler(b.units(), b.length(), whole.data());
    for (long long i = 0; i < b.length(); ++i)
      ASSERT_EQ(b.ruler.end(i), whole[static_cast<size_t>(i)]) << "step " << step << " unit " << i;
  }
}
