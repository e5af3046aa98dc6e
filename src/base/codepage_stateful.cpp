// The stateful pages ISO-2022-JP (50221) and ISO-2022-CN (50227), and the
// EUC pages EUC-JP (51932) and EUC-CN (51936). Unlike the double-byte pages,
// these stop at the first sequence they cannot read: their escapes and shifts
// change the meaning of everything after them, so guessing past damage would
// produce text that was never written.
#include "base/codepage_walk.h"
#include "base/codepages.h"

namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kShiftOut = 0x0E;
constexpr unsigned char kShiftIn = 0x0F;

// The private-use areas that the EUC-JP user-defined rows decode to.
constexpr unsigned short kEucJpUserJisX0208 = 0xE000;
constexpr unsigned short kEucJpUserJisX0212 = 0xE3AC;

bool isEucByte(unsigned char b) { return b >= 0xA1 && b <= 0xFE; }

using tCharset = bool (*)(unsigned short*, const unsigned char*, long long);

// Decodes a character of a 94 x 94 set that the EUC pages carry with the high
// bit set.
bool eucPair(tCharset set, unsigned short* u, unsigned char b0, unsigned char b1) {
  if (!isEucByte(b0) || !isEucByte(b1)) return false;
  const unsigned char pair[2] = {static_cast<unsigned char>(b0 - 0x80),
                                 static_cast<unsigned char>(b1 - 0x80)};
  return set(u, pair, 2);
}

// EUC-JP's rows from F5 up are user-defined; they read as private-use units
// numbered from `userBase`.
bool eucJpPair(tCharset set, unsigned short userBase, unsigned short* u, unsigned char b0, unsigned char b1) {
  if (b0 < 0xF5 || !isEucByte(b0) || !isEucByte(b1)) return eucPair(set, u, b0, b1);
  *u = userBase + 94 * (b0 - 0xF5) + (b1 - 0xA1);
  return true;
}

enum class eJpSet { ascii, roman, katakana, jisx0208, jisx0212 };

// The length of the escape sequence at s[i], 0 when it is not one of ours.
int jpEscape(const unsigned char* s, long long i, long long end, eJpSet& set) {
  int n = sequenceBytes(s, i, end, 4);
  if (n >= 3 && s[i + 1] == '(') {
    switch (s[i + 2]) {
      case 'B':
        set = eJpSet::ascii;
        return 3;
      case 'J':
        set = eJpSet::roman;
        return 3;
      case 'I':
        set = eJpSet::katakana;
        return 3;
    }
    return 0;
  }
  if (n >= 3 && s[i + 1] == '$') {
    // ESC $ @ names the 1978 edition, read with the same table.
    if (s[i + 2] == '@' || s[i + 2] == 'B') {
      set = eJpSet::jisx0208;
      return 3;
    }
    if (n == 4 && s[i + 2] == '(' && s[i + 3] == 'D') {
      set = eJpSet::jisx0212;
      return 4;
    }
  }
  return 0;
}

// Runs a decoder over the source. `step` reads the sequence at s[i], never a
// zero, puts what it decodes and answers the bytes it took, or 0 to end the
// text there; a zero ends it with a terminator.
template <typename Out, typename Step>
void run(const unsigned char* s, long long end, Out& out, Step step) {
  long long i = 0;
  while (i < end && !out.full()) {
    if (!s[i]) {
      out.terminate();
      return;
    }
    int taken = step(i);
    if (!taken) return;
    i += taken;
  }
}

template <typename Out>
void iso2022_a2w_jp(const unsigned char* s, long long srcLen, Out& out) {
  const long long end = sourceEnd(srcLen);
  eJpSet set = eJpSet::ascii;
  run(s, end, out, [&](long long i) {
    unsigned char b = s[i];
    if (b == kEsc) return jpEscape(s, i, end, set);
    if (b >= 0x80) return 0;
    unsigned short u = b;
    int taken = 1;
    if (set == eJpSet::roman) {
      jisx0201_mbtowc(&u, s + i, 1);
    } else if (set == eJpSet::katakana) {
      const unsigned char kana = b | 0x80;
      if (!jisx0201_mbtowc(&u, &kana, 1)) return 0;
    } else if (set == eJpSet::jisx0208 || set == eJpSet::jisx0212) {
      tCharset charset = set == eJpSet::jisx0208 ? jisx0208_mbtowc : jisx0212_mbtowc;
      if (!charset(&u, s + i, sequenceBytes(s, i, end, 2))) return 0;
      taken = 2;
    }
    out.put(u);
    return taken;
  });
}

template <typename Out>
void iso2022_a2w_cn(const unsigned char* s, long long srcLen, Out& out) {
  const long long end = sourceEnd(srcLen);
  tCharset shiftSet = nullptr;  // designated for SO
  bool singleShiftSet = false;  // CNS 11643 plane 2 designated for ESC N
  bool shifted = false;
  run(s, end, out, [&](long long i) {
    unsigned char b = s[i];
    unsigned short u = b;
    if (b == kEsc) {
      int n = sequenceBytes(s, i, end, 4);
      if (n >= 2 && s[i + 1] == 'N') {
        if (!singleShiftSet || sequenceBytes(s, i + 2, end, 2) < 2 || !cns11643_2_mbtowc(&u, s + i + 2, 2))
          return 0;
        out.put(u);
        return 4;
      }
      if (n < 4 || s[i + 1] != '$') return 0;
      if (s[i + 2] == ')' && s[i + 3] == 'A')
        shiftSet = gb2312_mbtowc;
      else if (s[i + 2] == ')' && s[i + 3] == 'G')
        shiftSet = cns11643_1_mbtowc;
      else if (s[i + 2] == '*' && s[i + 3] == 'H')
        singleShiftSet = true;
      else
        return 0;
      return 4;
    }
    if (b == kShiftOut) {
      shifted = shiftSet != nullptr;
      return shifted ? 1 : 0;
    }
    if (b == kShiftIn) {
      shifted = false;
      return 1;
    }
    if (b >= 0x80) return 0;
    if (!shifted) {
      out.put(u);
      return 1;
    }
    if (!shiftSet(&u, s + i, sequenceBytes(s, i, end, 2))) return 0;
    out.put(u);
    return 2;
  });
}

template <typename Out>
void EUC_a2w_jp(const unsigned char* s, long long srcLen, Out& out) {
  const long long end = sourceEnd(srcLen);
  run(s, end, out, [&](long long i) {
    unsigned char b = s[i];
    unsigned short u = b;
    int taken = 1;
    if (b == 0x8E) {  // half-width Katakana
      if (sequenceBytes(s, i, end, 2) < 2 || s[i + 1] < 0xA1 || !jisx0201_mbtowc(&u, s + i + 1, 1)) return 0;
      taken = 2;
    } else if (b == 0x8F) {  // JIS X 0212
      if (sequenceBytes(s, i, end, 3) < 3 ||
          !eucJpPair(jisx0212_mbtowc, kEucJpUserJisX0212, &u, s[i + 1], s[i + 2]))
        return 0;
      taken = 3;
    } else if (b >= 0x80) {  // JIS X 0208
      if (sequenceBytes(s, i, end, 2) < 2 || !eucJpPair(jisx0208_mbtowc, kEucJpUserJisX0208, &u, b, s[i + 1]))
        return 0;
      taken = 2;
    }
    out.put(u);
    return taken;
  });
}

template <typename Out>
void EUC_a2w_cn(const unsigned char* s, long long srcLen, Out& out) {
  const long long end = sourceEnd(srcLen);
  run(s, end, out, [&](long long i) {
    unsigned char b = s[i];
    unsigned short u = b;
    if (b >= 0x80 && (sequenceBytes(s, i, end, 2) < 2 || !eucPair(gb2312_mbtowc, &u, b, s[i + 1]))) return 0;
    out.put(u);
    return b >= 0x80 ? 2 : 1;
  });
}

template <typename Out>
bool decode(const char* src, long long srcLen, int cp, Out& out) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  switch (cp) {
    case 50221:
      iso2022_a2w_jp(s, srcLen, out);
      return true;
    case 50227:
      iso2022_a2w_cn(s, srcLen, out);
      return true;
    case 51932:
      EUC_a2w_jp(s, srcLen, out);
      return true;
    case 51936:
      EUC_a2w_cn(s, srcLen, out);
      return true;
    default:
      return false;
  }
}

}  // namespace

long long intrnl_2022_a2w(unsigned short* dst, long long dstLen, const char* src, long long srcLen, int cp) {
  if (!dst || !src || srcLen == 0 || dstLen <= 0) return 0;
  sUnitWriter out{dst, dstLen};
  decode(src, srcLen, cp, out);
  return out.n;
}

long long intrnl_2022_a2w_require(const char* src, long long srcLen, int cp) {
  if (!src || srcLen == 0) return 0;
  sUnitCounter count;
  return decode(src, srcLen, cp, count) ? requiredUnits(count, srcLen) : 0;
}
