#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "base/str.h"
#include "base/textconv.h"
#include "ciom/canvas.h"

namespace {

bool isIdeographicStop(unsigned short c) { return c == 0x3001 || c == 0x3002; }
bool isHighSurrogate(unsigned short c) { return c >= 0xD800 && c <= 0xDBFF; }
// Positions far outside the canvas are still positions outside it.
int toInt(long long v) { return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX)); }

// Token keys are ints; a text with more tokens than that is cut there.
// `word` fills a word token from its units.
template <typename C, typename Token, typename Word>
bool tokenize(const C* text, cFasterTreeList<int, Token>& out, bool ideographicStops, Word word) {
  if (!text) return true;
  int key = 0;
  for (const C* p = text; key < INT_MAX;) {
    int columns = 0;
    bool spaced = false;
    for (; *p && static_cast<unsigned>(*p) <= 32; ++p) {
      spaced = true;
      if (*p == 10) {
        columns = 0;
        ++p;
        break;
      }
      columns += *p == 9 ? 4 : 1;
    }
    if (spaced) out.insert(key++)->width = columns;
    if (!*p || key == INT_MAX) break;
    const C* start = p;
    bool stop = ideographicStops && isIdeographicStop(static_cast<unsigned short>(*p));
    for (++p; !stop && static_cast<unsigned>(*p) >= 33; ++p)
      stop = ideographicStops && isIdeographicStop(static_cast<unsigned short>(*p));
    word(*out.insert(key++), start, p - start);
  }
  return true;
}

}  // namespace

bool cCanvas::tokenizeString(const unsigned short* text, cFasterTreeList<int, cTokenizedW>& out) {
  return tokenize(text, out, true, [this](cTokenizedW& t, const unsigned short* s, long long n) {
    sSize size;
    t.text.set(s, n);
    t.width = textSize(s, n, size) ? size.cx : 0;
  });
}

bool cCanvas::tokenizeString(const char* text, cFasterTreeList<int, cTokenizedA>& out) {
  // Bytes at or above 0x80 are never white space, so UTF-8 sequences stay whole.
  return tokenize(reinterpret_cast<const unsigned char*>(text), out, false,
                  [this](cTokenizedA& t, const unsigned char* s, long long n) {
                    sSize size;
                    t.text.set(reinterpret_cast<const char*>(s), n);
                    t.width = textSize(t.text.ptr, n, size) ? size.cx : 0;
                  });
}

int cCanvas::drawTextLimited(int x, int y, int w, int h, eTextAlign align, bool transparent, int leftMargin,
                             int rightMargin, const char* text, long long len, long long* outWidth,
                             bool fillBackground) {
  _typebuf<unsigned short> wide;
  long long units = _pc2w(text, len, wide);
  if (units < 1) return 0;
  return drawTextLimited(x, y, w, h, align, transparent, leftMargin, rightMargin, wide.ptr, units, outWidth,
                         fillBackground);
}

int cCanvas::drawTextLimited(int x, int y, int w, int h, eTextAlign align, bool transparent, int leftMargin,
                             int rightMargin, const unsigned short* text, long long len, long long* outWidth,
                             bool fillBackground) {
  if (!text) return -1;
  if (len < 0) len = _wcslen(text);
  if (w <= 0 || leftMargin < 0 || rightMargin < 0 || static_cast<long long>(leftMargin) + rightMargin >= w)
    return -1;
  const int avail = w - leftMargin - rightMargin;
  sSize whole;
  if (!textSize(text, len, whole)) return -1;

  // The drawn text is the caller's, or a cut copy ending in the ellipsis.
  const unsigned short* drawn = text;
  long long drawnLen = len;
  long long drawnWidth = whole.cx;
  _typebuf<unsigned short> cut;
  if (whole.cx > avail) {
    sSize dots;
    if (!textSize("...", 3, dots) || dots.cx > avail) return -1;
    _typebuf<int> ruler;
    ruler.set(len);
    if (len > 0 && !textRuler(text, len, ruler.ptr)) return -1;
    long long n = 0;
    while (n < len && static_cast<long long>(ruler.ptr[n]) + dots.cx <= avail) ++n;
    if (n > 0 && isHighSurrogate(text[n - 1])) --n;  // never half a character
    cut.set(n + 3);
    std::copy(text, text + n, cut.ptr);
    std::fill(cut.ptr + n, cut.ptr + n + 3, static_cast<unsigned short>('.'));
    drawn = cut.ptr;
    drawnLen = n + 3;
    drawnWidth = (n > 0 ? ruler.ptr[n - 1] : 0) + dots.cx;
  }

  const long long left = static_cast<long long>(x) + leftMargin;
  long long tx = left;
  if (align == eAlignRight) tx = left + avail - drawnWidth;
  if (align == eAlignCenter) tx = left + (avail - drawnWidth) / 2;
  const long long ty = y + (static_cast<long long>(h) - whole.cy) / 2;
  if (!drawText(toInt(tx), toInt(ty), transparent, drawn, drawnLen)) return -1;

  if (fillBackground && !transparent) {
    const unsigned int bg = bgColor();
    const long long spare = static_cast<long long>(h) - whole.cy, above = spare / 2;
    auto fill = [&](long long fx, long long fy, long long fw, long long fh) {
      if (fw <= 0 || fh <= 0) return;
      sRect r{toInt(fx), toInt(fy), toInt(fw), toInt(fh)};
      drawRect(&r, bg, bg);
    };
    fill(left, y, tx - left, h);
    if (spare >= 2) fill(tx, y, drawnWidth, above);
    fill(tx, y + whole.cy + above, drawnWidth, spare - above);
    fill(tx + drawnWidth, y, static_cast<long long>(x) + w - rightMargin - (tx + drawnWidth), h);
  }
  if (outWidth) *outWidth = drawnWidth;
  return toInt(tx);
}

bool cCanvas::drawTextWrapped(int x, int y, int w, int h, eTextAlign align, const char* text, sSize& outSize,
                              bool transparent, double lineFactor) {
  if (!text) return false;
  _guardchar<unsigned short> wide;
  _pc2w(text, -1, wide);
  if (!wide.ptr || !wide.ptr[0]) return false;
  return drawTextWrapped(x, y, w, h, align, wide.ptr, outSize, transparent, lineFactor);
}

bool cCanvas::drawTextWrapped(int x, int y, int w, int h, eTextAlign align, const unsigned short* text,
                              sSize& outSize, bool transparent, double lineFactor) {
  if (w == 0 || h == 0 || !text) return false;
  sSize space;
  if (!textSize(" ", 1, space) || h < space.cy || w < space.cx) return false;
  const long long sw = space.cx;
  const int lineStep = static_cast<int>(space.cy * lineFactor);

  cFasterTreeList<int, cTokenizedW> tree;
  tree.depthLimit = 512;
  tokenizeString(text, tree);
  std::vector<const cTokenizedW*> tokens;
  if (tree.root)
    for (auto* item = tree.leftmost(tree.root); item; item = tree.next(item)) tokens.push_back(&item->value);
  const size_t count = tokens.size();

  long long lineY = 0, widest = 0;
  auto isWord = [&](size_t i) { return tokens[i]->text.ptr != nullptr; };
  auto isRun = [&](size_t i) { return !isWord(i) && tokens[i]->width != 0; };

  size_t first = 0, cur = 0;
  long long lw = 0, sc = 0;
  size_t prev = SIZE_MAX;
  bool placed = false;  // cur already sits on the line, having started it
  while (cur < count) {
    const cTokenizedW& t = *tokens[cur];
    const bool last = cur + 1 == count;
    bool overflow = false;
    if (!placed) {
      if (isWord(cur)) {
        overflow = lw + t.width > w;
        if (!overflow) lw += t.width;
      } else if (t.width == 0) {
        overflow = true;
      } else {
        if (t.width * sw > w) break;
        overflow = lw + t.width * sw > w;
        if (!overflow) {
          lw += t.width * sw;
          sc += t.width;
        }
      }
    }
    placed = false;
    if (!overflow && !last) {
      prev = cur++;
      continue;
    }

    // The line ends. White space in front of the word that broke it stays
    // behind, so lines never end in spaces.
    size_t end = overflow ? cur : count;
    if (overflow && isWord(cur) && prev != SIZE_MAX && !isWord(prev)) {
      sc -= tokens[prev]->width;
      lw -= tokens[prev]->width * sw;
      end = prev;
    }
    double offset = 0, spaceW = static_cast<double>(sw);
    bool skipRun = false;
    switch (align) {
      case eAlignCenter:
        offset = (w - lw) * 0.5;
        break;
      case eAlignRight:
        offset = static_cast<double>(w - lw);
        break;
      case eAlignJustify:
        if (sc != 0 && t.width != 0) {
          if (overflow)
            spaceW = static_cast<double>(sw) + static_cast<double>(w - lw) / static_cast<double>(sc);
          skipRun = isRun(cur);
        }
        break;
      default:
        skipRun = sc != 0 && isRun(cur);
        break;
    }
    for (size_t i = first; i < end; ++i) {
      if (isWord(i)) {
        drawText(toInt(x + static_cast<long long>(offset)), toInt(y + lineY), transparent,
                 tokens[i]->text.ptr, -1);
        offset += tokens[i]->width;
      } else {
        offset += tokens[i]->width * spaceW;
      }
    }
    widest = std::max(widest, static_cast<long long>(offset));
    lineY += lineStep;
    if (!overflow) break;
    if (skipRun) ++cur;
    if (cur >= count) break;

    // The token that did not fit opens the next line, whatever its width: a
    // word wider than the box is drawn whole on a line of its own.
    first = cur;
    lw = isWord(cur) ? tokens[cur]->width : tokens[cur]->width * sw;
    sc = isWord(cur) ? 0 : tokens[cur]->width;
    prev = cur;
    if (cur + 1 < count) {
      ++cur;
    } else if (isWord(cur)) {
      placed = true;  // the last word still needs its own line drawn
    } else {
      break;
    }
  }
  outSize.cx = static_cast<int>(std::min<long long>(widest, INT_MAX));
  outSize.cy = static_cast<int>(std::min<long long>(lineY, INT_MAX));
  return true;
}
