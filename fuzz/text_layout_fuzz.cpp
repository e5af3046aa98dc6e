// Any text in any box: the layout must stay inside its buffers, and a cut
// line must fit the room it was cut for. The first bytes choose the box, the
// rest is the text, drawn both as UTF-8 and as the raw UTF-16 of its bytes.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ciom/canvas.h"

namespace {

// Widths vary with the character, zero included, so no width is special.
int unitWidth(unsigned int c) { return static_cast<int>(c * 7u % 23u); }

class cMeasuringCanvas : public cCanvas {
 public:
  int width() override { return 500; }
  int height() override { return 300; }
  bool drawText(int, int, bool, const unsigned short* text, long long) override { return text != nullptr; }
  bool drawRect(sRect*, unsigned int, unsigned int) override { return true; }
  bool textSize(const char* text, long long len, sSize& out) override {
    if (!text) return false;
    std::vector<unsigned short> wide;
    for (long long i = 0; len < 0 ? text[i] != 0 : i < len; ++i)
      wide.push_back(static_cast<unsigned char>(text[i]));
    wide.push_back(0);
    return textSize(wide.data(), static_cast<long long>(wide.size()) - 1, out);
  }
  bool textSize(const unsigned short* text, long long len, sSize& out) override {
    if (!text) return false;
    out = {0, 13};
    for (long long i = 0; len < 0 ? text[i] != 0 : i < len; ++i) out.cx += unitWidth(text[i]);
    return true;
  }
  bool textRuler(const unsigned short* text, long long len, int* out) override {
    int edge = 0;
    for (long long i = 0; i < len; ++i) out[i] = edge += unitWidth(text[i]);
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  const int w = data[0] * 2 - 40, h = data[1] - 10, left = data[2] % 40 - 2, right = data[3] % 40 - 2;
  const auto align = static_cast<cCanvas::eTextAlign>(data[4] % 5);
  const double factor = 0.5 + data[5] / 64.0;
  // Boxes near the end of the coordinate range as well as near the origin.
  const int x = data[3] & 0x80 ? INT_MAX - data[0] : 3, y = data[3] & 0x40 ? INT_MIN + data[1] : 4;
  std::vector<char> text(data + 6, data + size);
  text.push_back(0);
  std::vector<unsigned short> wide;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    wide.push_back(static_cast<unsigned short>(static_cast<unsigned char>(text[i]) |
                                               static_cast<unsigned char>(text[i + 1]) << 8));
  wide.push_back(0);

  cMeasuringCanvas canvas;
  long long drawn = -1;
  int at = canvas.drawTextLimited(x, y, w, h, align, false, left, right, wide.data(), -1, &drawn, true);
  if (at != -1 && drawn > w - left - right) std::abort();
  canvas.drawTextLimited(x, y, w, h, align, true, left, right, text.data(), -1, nullptr, false);
  sSize out;
  if (canvas.drawTextWrapped(x, y, w, h, align, text.data(), out, true, factor) && (out.cx < 0 || out.cy < 0))
    std::abort();
  canvas.drawTextWrapped(x, y, w, h, align, wide.data(), out, false, factor);
  return 0;
}
