// Bytes play a small text field: typed units (lone and paired surrogate
// halves among them), keys with modifiers, pastes and texts of arbitrary
// bytes, mouse clicks and drags, new capacities, read-only and password
// modes, and paints that measure the line. After every step the text keeps
// within the capacity, the caret and selection within the text, the caret
// off the middle of a pair, and no pair is split: lone halves grow only by
// what the step itself brought in.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/textconv.h"
#include "ciom/canvas.h"
#include "ciom/edit.h"
#include "ciom/fontobject.h"

namespace {

bool isHigh(unsigned short u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(unsigned short u) { return u >= 0xDC00 && u <= 0xDFFF; }

long long loneHalves(const unsigned short* t, long long n) {
  long long lone = 0;
  for (long long i = 0; i < n; ++i) {
    if (isHigh(t[i]) && i + 1 < n && isLow(t[i + 1]))
      ++i;
    else if (isHigh(t[i]) || isLow(t[i]))
      ++lone;
  }
  return lone;
}

// Widths vary with the unit, zero included.
class cMeasuringCanvas : public cCanvas {
 public:
  int width() override { return 300; }
  int height() override { return 24; }
  bool drawText(int, int, bool, const unsigned short* text, long long) override { return text != nullptr; }
  bool drawText(int, int, bool, const char* text, long long) override { return text != nullptr; }
  bool drawRect(sRect*, unsigned int, unsigned int) override { return true; }
  bool drawLine(sPoint*, sPoint*) override { return true; }
  bool textSize(const char*, long long, sSize& out) override {
    out = {7, 13};
    return true;
  }
  bool textRuler(const unsigned short* text, long long len, int* out) override {
    int edge = 0;
    for (long long i = 0; i < len; ++i) out[i] = edge += static_cast<int>(text[i] * 7u % 23u);
    return true;
  }
};

const unsigned short kUnits[] = {'a', ' ', 'Z', '\t', 0xD83D, 0xDE00, 0xDBFF, 0xDC00, 0x2022, 0};
const int kKeys[] = {cChildElement::kcLeft,   cChildElement::kcRight,  cChildElement::kcHome,
                     cChildElement::kcEnd,    cChildElement::kcUp,     cChildElement::kcDown,
                     cChildElement::kcBackspace, cChildElement::kcDelete, cChildElement::kcEnter,
                     cChildElement::kcEscape, cChildElement::kcInsert, 'A', 'C', 'V', 'X'};

struct sReader {
  const uint8_t* p;
  size_t left;
  uint8_t byte() {
    if (!left) return 0;
    --left;
    return *p++;
  }
};

void check(const cEditChild& f, long long loneBefore, long long brought) {
  const cEditBuffer& b = f.buffer();
  const long long n = b.length();
  if (n < 0 || n > b.maxLen()) abort();
  if (b.caret() < 0 || b.caret() > n) abort();
  if (b.caret() > 0 && b.caret() < n && isHigh(b.units()[b.caret() - 1]) && isLow(b.units()[b.caret()])) abort();
  if (b.hasSelection() && (b.selStart() < 0 || b.selEnd() >= n)) abort();
  if (b.units()[n] != 0) abort();
  if (loneBefore >= 0 && loneHalves(b.units(), n) > loneBefore + brought) abort();
}

}  // namespace

// The toolkit's platform hooks: the field here has no window and no fonts.
const char* _glbalStdFont() { return "Sans"; }
cFontObject* __newPlatformCPFont() { return nullptr; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sReader in{data, size};
  cEditChild field;
  field.setMaxLen(24);
  cMeasuringCanvas canvas;
  while (in.left) {
    const cEditBuffer& b = field.buffer();
    long long lone = loneHalves(b.units(), b.length()), brought = 0;
    const uint8_t op = in.byte();
    switch (op % 9) {
      case 0: {
        const uint8_t pick = in.byte();
        const unsigned short u = pick < 200 ? kUnits[pick % 10] : static_cast<unsigned short>(pick << 8 | in.byte());
        brought = isHigh(u) || isLow(u);
        field.onChar(u, false, false, false);
        break;
      }
      case 1: {
        const uint8_t k = in.byte();
        field.onKey(kKeys[k % 15], k & 0x10, k & 0x20, k & 0x40);
        break;
      }
      case 2:
      case 3: {
        const size_t n = std::min<size_t>(in.byte(), in.left);
        std::vector<char> bytes(in.p, in.p + n);
        in.p += n;
        in.left -= n;
        _typebuf<unsigned short> units;
        if (n) _pc2w(bytes.data(), static_cast<long long>(n), units);
        brought = loneHalves(units.ptr, units.count);
        if (op % 9 == 2) {
          field.pasteText(bytes.data(), static_cast<long long>(n));
        } else {
          field.setText(bytes.data(), static_cast<long long>(n));
          lone = -1;
        }
        break;
      }
      case 4:
        field.setMaxLen(in.byte() % 48);
        lone = -1;
        break;
      case 5: {
        const int x = in.byte() * 2 - 40;
        const uint8_t how = in.byte();
        if (how % 4 == 3)
          field.onMouseDoubleClick(x, 5);
        else if (how % 4 == 2)
          field.onMouseMoving(x, 5);
        else
          field.onMouseButton(x, 5, 1, how % 4 == 0);
        break;
      }
      case 6: field.onPaint(&canvas); break;
      case 7:
        field.setReadonly(in.byte() & 1);
        field.setPwdMode(in.byte() & 1);
        break;
      default: field.processSelectKbd(in.byte() % 30, in.byte() % 30); break;
    }
    check(field, lone, brought);
  }
  return 0;
}
