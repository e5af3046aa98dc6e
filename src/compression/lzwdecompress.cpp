#include "compression/lzwdecompress.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

// Filled at compile time, so concurrent first users have nothing to race on.
constexpr std::array<unsigned char, 256> identityBytes() {
  std::array<unsigned char, 256> a{};
  for (int i = 0; i < 256; ++i) a[i] = static_cast<unsigned char>(i);
  return a;
}

// The output position counts in 32 bits.
const unsigned long long kMaxOutput = 0xFFFFFFFFull;
const int kMaxWidth = 12;

// Codes of up to 12 bits out of a byte buffer, either bit order. Only whole
// codes count: a code whose bits run past the input is not read.
class cCodeReader {
 public:
  cCodeReader(cPullInput& source, bool msbFirst)
      : source(source), in(source.data), size(source.size), msbFirst(msbFirst) {}

  bool next(int width, unsigned int& code) {
    if (held < width) {
      refill();
      if (held < width) return false;
    }
    held -= width;
    unsigned long long mask = (1ull << width) - 1;
    if (msbFirst) {
      code = static_cast<unsigned int>(bits >> held & mask);
    } else {
      code = static_cast<unsigned int>(bits & mask);
      bits >>= width;
    }
    return true;
  }

 private:
  cPullInput& source;
  const unsigned char* in;
  unsigned long long size;
  unsigned long long pos = 0;
  unsigned long long bits = 0;
  int held = 0;
  bool msbFirst;

  void refill() {
    if (size - pos < 8 && source.pull(static_cast<size_t>(pos + 8))) {
      in = source.data;
      size = source.size;
    }
    if (msbFirst && size - pos >= 8) {
      // Whole bytes of one big-endian word; the bits above those held are
      // masked off when a code is taken.
      unsigned long long word = 0;
      for (int b = 0; b < 8; ++b) word = word << 8 | in[pos + b];
      int take = (63 - held) >> 3;
      bits = bits << (8 * take) | word >> (64 - 8 * take);
      held += 8 * take;
      pos += static_cast<unsigned long long>(take);
      return;
    }
    for (; held <= 56 && pos < size; held += 8, ++pos) {
      if (msbFirst)
        bits = bits << 8 | in[pos];
      else
        bits |= static_cast<unsigned long long>(in[pos]) << held;
    }
  }
};

// The decoded bytes, grown by doubling up to the limit. The first size is
// a guess from the input, since a hostile limit may be far beyond it.
class cOutput {
 public:
  cOutput(unsigned long long limit, unsigned long long inputSize) : cap(limit) {
    first = inputSize < cap / 4 ? inputSize * 4 + 4096 : cap;
    if (first > cap) first = cap;
  }

  // Starts in the caller's old buffer, which strips of one picture share.
  void adopt(_typebuf<unsigned char>& old) {
    std::swap(old.ptr, bytes.ptr);
    std::swap(old.count, bytes.count);
  }

  unsigned long long used = 0;
  _typebuf<unsigned char> bytes;

  // Room for `n` more bytes, fewer at the limit; false when memory ran out.
  bool reserve(unsigned long long& n) {
    if (n > cap - used) n = cap - used;
    unsigned long long need = used + n;
    if (need <= static_cast<unsigned long long>(bytes.count)) return true;
    unsigned long long grown = bytes.count == 0 ? first : static_cast<unsigned long long>(bytes.count) * 2;
    if (grown < need) grown = need;
    if (grown > cap) grown = cap;
    try {
      bytes.reset(static_cast<long long>(grown));
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  // Hands the bytes over without copying; the allocation may be longer than
  // the count, which the buffer frees without needing.
  void moveTo(_typebuf<unsigned char>& out) {
    std::swap(out.ptr, bytes.ptr);
    std::swap(out.count, bytes.count);
    out.count = static_cast<long long>(used);
  }

 private:
  unsigned long long cap;
  unsigned long long first;
};

}  // namespace

const std::array<unsigned char, 256> cLZWDecompress::mySimpleTabRefs = identityBytes();

cLZWDecompress::cLZWDecompress(bool msbFirst, int initialWidth, bool earlyChange)
    : msbFirst(msbFirst), earlyChange(earlyChange) {
  this->initialWidth = initialWidth >= 1 && initialWidth <= 9 ? initialWidth : 9;
  clearCode = static_cast<unsigned short>(1 << (this->initialWidth - 1));
  endCode = static_cast<unsigned short>(clearCode + 1);
  firstFree = static_cast<unsigned short>(clearCode + 2);
}

int cLZWDecompress::typeOf() { return 1; }

void cLZWDecompress::setOutputLimit(unsigned long long bytes) { outputLimit = bytes; }

unsigned long long cLZWDecompress::limit() const {
  return outputLimit != 0 && outputLimit < kMaxOutput ? outputLimit : kMaxOutput;
}

bool cLZWDecompress::decompress(const _typebuf<unsigned char>& in, _typebuf<unsigned char>& out) {
  if (!in.ptr || in.count <= 0) return false;
  cPullInput whole(in.ptr, static_cast<size_t>(in.count));
  return decompress(whole, out);
}

bool cLZWDecompress::decompress(cPullInput& in, _typebuf<unsigned char>& out) {
  if ((in.size == 0 && !in.pull(1)) || !in.data) return false;
  cCodeReader codes(in, msbFirst);
  cOutput output(limit(), static_cast<unsigned long long>(in.size));
  if (out.ptr != in.data) output.adopt(out);

  // Decoding ends with true at an end code, a missing string after a clear
  // code, the end of the input, or the output limit; it fails at a code
  // beyond the next one to be assigned or when the table cannot grow.
  bool ok = true;
  int width = initialWidth;
  int count = 0;
  bool havePrevious = false;
  sString previous{};
  unsigned int code;
  while (codes.next(width, code) && code != endCode) {
    if (code > static_cast<unsigned int>(firstFree + count)) {
      ok = false;
      break;
    }
    if (code == clearCode) {
      count = 0;
      width = initialWidth;
      havePrevious = false;
      if (!codes.next(width, code) || code >= clearCode) break;
    }
    bool known = code < clearCode || static_cast<int>(code - firstFree) < count;
    if (!known && !havePrevious) break;
    if (havePrevious) {
      // The new entry ends with the first byte of this code's string, which
      // is written right behind the previous one; a full table stops growing
      // unless this very code needs the entry.
      if (count < kTableSize) {
        table[count++] = {previous.offset, previous.length + 1};
        unsigned int n = (firstFree + count + (earlyChange ? 1u : 0u)) & 0xFFFF;
        if ((n & (n - 1)) == 0 && width < kMaxWidth) ++width;
      } else if (!known) {
        ok = false;
        break;
      }
    }
    unsigned long long want;
    unsigned int from = 0;
    if (code < clearCode)
      want = 1;
    else {
      const sString& s = table[code - firstFree];
      from = s.offset;
      want = s.length;
    }
    unsigned long long n = want;
    if (!output.reserve(n)) {
      ok = false;
      break;
    }
    unsigned char* to = output.bytes.ptr + output.used;
    if (code < clearCode) {
      if (n) *to = static_cast<unsigned char>(code);
    } else if (n) {
      // A code made just now copies the previous string and then its own
      // first byte, which the copy has only just written.
      const unsigned char* src = output.bytes.ptr + from;
      unsigned long long direct = n < want ? n : want - 1;
      if (known) direct = n;
      if (static_cast<unsigned long long>(output.bytes.count) - output.used >= direct + 8) {
        // Word by word, ending up to 7 bytes past the string in room that
        // later codes overwrite. The bytes that count all lie before `to`,
        // so no word written feeds one of them.
        for (unsigned long long i = 0; i < direct; i += 8) {
          unsigned long long word;
          std::memcpy(&word, src + i, 8);
          std::memcpy(to + i, &word, 8);
        }
      } else {
        std::memcpy(to, src, static_cast<size_t>(direct));
      }
      if (direct < n) to[direct] = src[0];
    }
    sString current{static_cast<unsigned int>(output.used), static_cast<unsigned int>(want)};
    output.used += n;
    if (output.used >= limit()) break;
    previous = current;
    havePrevious = true;
  }
  output.moveTo(out);
  return ok;
}
