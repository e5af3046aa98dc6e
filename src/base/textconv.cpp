// The core converters' dispatch by code page, and the owned-string, buffer
// and raw-buffer forms built on them.
#include "base/textconv.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/codepages.h"
#include "base/str.h"
#include "base/utf8codec.h"

namespace {

bool isUtf8(int cp) { return cp == 65001 || cp == 0; }

long long measured(const char* src, long long srcLen) {
  return srcLen < 0 ? static_cast<long long>(std::strlen(src)) : srcLen;
}

// Results are built aside and then swapped in, so a source that lies inside
// the destination's own storage is read before that storage is released.
template <typename T>
void adopt(_typebuf<T>& dst, _typebuf<T>& fresh) {
  std::swap(dst.ptr, fresh.ptr);
  std::swap(dst.count, fresh.count);
}

template <typename T>
void adopt(_guardchar<T>& dst, _guardchar<T>& fresh) {
  std::swap(dst.ptr, fresh.ptr);
}

// The whole source decoded into `wide`: the units of the text, then a zero
// unit when the source is terminated. Answers the number of units held.
long long decodeWhole(const char* src, long long srcLen, int cp, _typebuf<unsigned short>& wide) {
  const long long units = __a2w_require(src, srcLen, cp);
  wide.set(units);
  if (units > 0) {
    const long long written = __a2w(src, srcLen, wide.ptr, units, cp);
    std::fill(wide.ptr + written, wide.ptr + units, static_cast<unsigned short>(0));
  }
  return units;
}

// Copies up to and including a zero byte, within both lengths; the zero is
// not counted.
long long copyThroughZero(const char* src, long long srcLen, char* dst, long long dstLen) {
  if (!src || !dst || srcLen == 0 || dstLen <= 0) return 0;
  const size_t limit = static_cast<size_t>(srcLen < 0 ? dstLen : std::min(srcLen, dstLen));
  size_t text = limit;
  if (srcLen < 0)
    text = strnlen(src, limit);
  else if (const void* zero = std::memchr(src, 0, limit))
    text = static_cast<size_t>(static_cast<const char*>(zero) - src);
  std::memmove(dst, src, text < limit ? text + 1 : limit);
  return static_cast<long long>(text);
}

long long copyToBuffer(const char* src, long long srcLen, _typebuf<char>& dst) {
  _typebuf<char> fresh;
  fresh.set(srcLen);
  if (srcLen > 0) std::memcpy(fresh.ptr, src, static_cast<size_t>(srcLen));
  adopt(dst, fresh);
  return dst.count;
}

long long decodeToBuffer(const char* src, long long srcLen, _typebuf<unsigned short>& dst) {
  long long units = __a2w_require(src, srcLen, 65001);
  if (srcLen < 0 && units > 0) --units;  // the terminator stays out
  _typebuf<unsigned short> fresh;
  fresh.set(units);
  if (units > 0) __a2w(src, srcLen, fresh.ptr, units, 65001);
  adopt(dst, fresh);
  return dst.count;
}

long long encodeToBuffer(const unsigned short* src, long long srcLen, _typebuf<char>& dst) {
  long long bytes = __w2a_require(src, srcLen, 65001);
  if (srcLen < 0 && bytes > 0) --bytes;
  _typebuf<char> fresh;
  fresh.set(bytes);
  if (bytes > 0) __w2a(src, srcLen, fresh.ptr, bytes, 65001);
  adopt(dst, fresh);
  return dst.count;
}

}  // namespace

// Core converters: UTF-8, then the code pages (base/codepages.h). The
// double-byte, stateful and EUC pages are only read; every other code page
// answers 0, as an unknown page does.

long long __a2w(const char* src, long long srcLen, unsigned short* dst, long long dstLen, int cp) {
  if (!src || srcLen == 0) return 0;
  if (!dst) return __a2w_require(src, srcLen, cp);
  if (isUtf8(cp)) return utf82w(src, srcLen, dst, dstLen, nullptr);
  if (isSimpleCP(cp)) return intrnl_ACP_a2w(dst, dstLen, src, srcLen, cp);
  if (isJIS(cp)) return intrnl_JIS_a2w(dst, dstLen, src, srcLen, cp);
  if (isISO2022(cp)) return intrnl_2022_a2w(dst, dstLen, src, srcLen, cp);
  return 0;
}

long long __a2w_require(const char* src, long long srcLen, int cp) {
  if (isUtf8(cp)) return utf8UnitsRequired(src, srcLen);
  if (!src || srcLen == 0) return 0;
  // A single-byte page gives one unit per byte, one more for a terminator.
  if (isSimpleCP(cp)) return srcLen < 0 ? measured(src, srcLen) + 1 : srcLen;
  if (isJIS(cp)) return intrnl_JIS_a2w_require(src, srcLen, cp);
  if (isISO2022(cp)) return intrnl_2022_a2w_require(src, srcLen, cp);
  return 0;
}

long long __w2a(const unsigned short* src, long long srcLen, char* dst, long long dstLen, int cp) {
  if (!src || srcLen == 0) return 0;
  if (!dst) return __w2a_require(src, srcLen, cp);
  if (isUtf8(cp)) return w2utf8(src, srcLen, dst, dstLen, nullptr);
  if (isSimpleCP(cp)) return intrnl_ACP_w2a(src, srcLen, dst, dstLen, cp);
  return 0;
}

long long __w2a_require(const unsigned short* src, long long srcLen, int cp) {
  if (isUtf8(cp)) return utf8BytesRequired(src, srcLen);
  if (!src || srcLen == 0) return 0;
  if (isSimpleCP(cp)) return srcLen < 0 ? _wcslen(src) + 1 : srcLen;
  return 0;
}

// Owned-string forms. A terminated source is sized with its terminator and
// converted as terminated, so it reads exactly as the core converter sees it.

long long __a2w(const char* src, long long srcLen, _guardchar<unsigned short>& dst, int cp) {
  long long units = __a2w_require(src, srcLen, cp);
  if (srcLen < 0 && units > 0) --units;
  _guardchar<unsigned short> fresh;
  fresh.set(units + 1);  // zeroed, so the terminator is in place
  if (units > 0) __a2w(src, srcLen, fresh.ptr, units, cp);
  adopt(dst, fresh);
  return 0;
}

long long __w2a(const unsigned short* src, long long srcLen, _guardchar<char>& dst, int cp) {
  long long bytes = __w2a_require(src, srcLen, cp);
  if (srcLen < 0 && bytes > 0) --bytes;
  _guardchar<char> fresh;
  fresh.set(bytes + 1);
  if (bytes > 0) __w2a(src, srcLen, fresh.ptr, bytes, cp);
  adopt(dst, fresh);
  return 0;
}

long long _pc2w(const char* src, long long srcLen, _guardchar<unsigned short>& dst) {
  return __a2w(src, srcLen, dst, 65001);
}

long long _w2pc(const unsigned short* src, long long srcLen, _guardchar<char>& dst) {
  return __w2a(src, srcLen, dst, 65001);
}

long long _a2pc(const char* src, long long srcLen, _guardchar<char>& dst) {
  const long long bytes = src ? measured(src, srcLen) : 0;
  _guardchar<char> fresh;
  fresh.set(bytes + 1);
  if (bytes > 0) std::memcpy(fresh.ptr, src, static_cast<size_t>(bytes));
  adopt(dst, fresh);
  return 0;
}

long long _pc2a(const char* src, long long srcLen, _guardchar<char>& dst) { return _a2pc(src, srcLen, dst); }

long long _enc2pc(const char* src, long long srcLen, _guardchar<char>& dst, int cp) {
  _typebuf<unsigned short> wide;
  long long units = decodeWhole(src, srcLen, cp, wide);
  if (srcLen < 0 && units > 0) --units;
  return __w2a(wide.ptr, units, dst, 65001);
}

// Buffer forms; each answers the number of units the destination holds.

long long _a2pc(const _typebuf<char>& src, _typebuf<char>& dst) {
  return copyToBuffer(src.ptr, src.count, dst);
}

long long _pc2a(const _typebuf<char>& src, _typebuf<char>& dst) { return _a2pc(src, dst); }

long long _w2pc(const _typebuf<unsigned short>& src, _typebuf<char>& dst) {
  return encodeToBuffer(src.ptr, src.count, dst);
}

long long _pc2w(const _typebuf<char>& src, _typebuf<unsigned short>& dst) {
  return decodeToBuffer(src.ptr, src.count, dst);
}

long long _a2pc(const char* src, long long srcLen, _typebuf<char>& dst) {
  return src ? copyToBuffer(src, measured(src, srcLen), dst) : 0;
}

long long _pc2a(const char* src, long long srcLen, _typebuf<char>& dst) { return _a2pc(src, srcLen, dst); }

long long _w2pc(const unsigned short* src, long long srcLen, _typebuf<char>& dst) {
  return src ? encodeToBuffer(src, srcLen, dst) : 0;
}

long long _pc2w(const char* src, long long srcLen, _typebuf<unsigned short>& dst) {
  return src ? decodeToBuffer(src, srcLen, dst) : 0;
}

// Raw-buffer forms.

long long _w2pc_require(const unsigned short* src, long long srcLen) {
  return __w2a_require(src, srcLen, 65001);
}

long long _pc2w_require(const char* src, long long srcLen) { return __a2w_require(src, srcLen, 65001); }

long long _w2pc(const unsigned short* src, long long srcLen, char* dst, long long dstLen) {
  if (!dst || dstLen <= 0) return 0;
  if (!src) {
    dst[0] = 0;
    return 0;
  }
  return __w2a(src, srcLen, dst, dstLen, 65001);
}

long long _pc2w(const char* src, long long srcLen, unsigned short* dst, long long dstLen) {
  if (!dst || dstLen <= 0) return 0;
  if (!src) {
    dst[0] = 0;
    return 0;
  }
  return __a2w(src, srcLen, dst, dstLen, 65001);
}

long long _a2pc_require(const char* src, long long srcLen) { return src ? measured(src, srcLen) : 0; }

long long _pc2a_require(const char* src, long long srcLen) { return _a2pc_require(src, srcLen); }

long long _a2pc(const char* src, long long srcLen, char* dst, long long dstLen) {
  if (!dst || dstLen <= 0) return 0;
  if (!src) {
    dst[0] = 0;
    return 0;
  }
  // strnlen keeps a terminated source from being scanned past what fits.
  const long long fits = dstLen - 1;
  const long long bytes =
      srcLen < 0 ? static_cast<long long>(strnlen(src, static_cast<size_t>(fits))) : std::min(srcLen, fits);
  std::memmove(dst, src, static_cast<size_t>(bytes));
  dst[bytes] = 0;
  return bytes;
}

long long _pc2a(const char* src, long long srcLen, char* dst, long long dstLen) {
  return _a2pc(src, srcLen, dst, dstLen);
}

long long _pc2enc_require(const char* src, long long srcLen, int cp) {
  if (isUtf8(cp)) return _a2pc_require(src, srcLen);
  _typebuf<unsigned short> wide;
  const long long units = decodeWhole(src, srcLen, 65001, wide);
  return units > 0 ? __w2a_require(wide.ptr, units, cp) : 0;
}

long long _pc2enc(const char* src, long long srcLen, char* dst, long long dstLen, int cp) {
  if (isUtf8(cp)) return copyThroughZero(src, srcLen, dst, dstLen);
  _typebuf<unsigned short> wide;
  const long long units = decodeWhole(src, srcLen, 65001, wide);
  return units > 0 ? __w2a(wide.ptr, units, dst, dstLen, cp) : 0;
}

long long _enc2pc_require(const char* src, long long srcLen, int cp) {
  if (isUtf8(cp)) return _a2pc_require(src, srcLen);
  _typebuf<unsigned short> wide;
  const long long units = decodeWhole(src, srcLen, cp, wide);
  return units > 0 ? __w2a_require(wide.ptr, units, 65001) : 0;
}

long long _enc2pc(const char* src, long long srcLen, char* dst, long long dstLen, int cp) {
  if (isUtf8(cp)) return copyThroughZero(src, srcLen, dst, dstLen);
  _typebuf<unsigned short> wide;
  const long long units = decodeWhole(src, srcLen, cp, wide);
  return units > 0 ? __w2a(wide.ptr, units, dst, dstLen, 65001) : 0;
}
