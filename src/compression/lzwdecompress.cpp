#include "compression/lzwdecompress.h"

#include "compression/variablelengthaccess.h"

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

bool cLZWDecompress::getNextCode(unsigned short& code) {
  // Only whole codes count: the bytes the field touches must all be there.
  unsigned long long need = static_cast<unsigned long long>((readBit + width - 1) / 8 + 1);
  if (readByte >= inputSize || inputSize - readByte < need) return false;
  long pos = static_cast<long>(readByte);
  if (msbFirst)
    cVariableLengthAccess::getValue<unsigned short>(input, pos, readBit, width, code);
  else
    cVariableLengthAccess::getValueLSB<unsigned short>(input, pos, readBit, width, code);
  unsigned int bits = readBit + width;
  readByte += bits / 8;
  readBit = static_cast<unsigned char>(bits % 8);
  return true;
}

void cLZWDecompress::initTable() {
  tableCount = 0;
  width = static_cast<unsigned char>(initialWidth);
  strings.destroy();
}

const unsigned char* cLZWDecompress::getTableString(unsigned short code, long long& len) {
  if (code < clearCode) {
    len = 1;
    return &mySimpleTabRefs[code];
  }
  int i = code - firstFree;
  if (i < 0 || i >= kTableSize || i >= tableCount) return nullptr;
  len = static_cast<long long>(table[i].length);
  return table[i].bytes;
}

bool cLZWDecompress::addTableString(const unsigned char* prefix, long long len, unsigned char last) {
  if (tableCount >= kTableSize) return false;
  auto* bytes = static_cast<unsigned char*>(strings.alloc(len + 1));
  if (!bytes) return false;
  std::memcpy(bytes, prefix, static_cast<size_t>(len));
  bytes[len] = last;
  table[tableCount++] = {bytes, static_cast<unsigned long long>(len + 1)};
  unsigned int n = (firstFree + tableCount + (earlyChange ? 1u : 0u)) & 0xFFFF;
  if ((n & (n - 1)) == 0 && width < kMaxWidth) ++width;
  return true;
}

unsigned long long cLZWDecompress::limit() const {
  return outputLimit != 0 && outputLimit < kMaxOutput ? outputLimit : kMaxOutput;
}

bool cLZWDecompress::writeString(const unsigned char* bytes, long long len) {
  unsigned long long room = limit() - outputPosition;
  unsigned int n = static_cast<unsigned long long>(len) < room ? static_cast<unsigned int>(len)
                                                               : static_cast<unsigned int>(room);
  if (n > 0 && output.write(const_cast<unsigned char*>(bytes), n) != n) return false;
  outputPosition += n;
  return true;
}

bool cLZWDecompress::decompress(const _typebuf<unsigned char>& in, _typebuf<unsigned char>& out) {
  output.reset();
  input = in.ptr;
  inputSize = in.count > 0 ? static_cast<unsigned long long>(in.count) : 0;
  outputPosition = 0;
  readByte = 0;
  readBit = 0;
  initTable();
  if (!input || inputSize == 0) return false;

  // Decoding ends with true at an end code, a missing string after a clear
  // code, the end of the input, or the output limit; it fails at a code
  // beyond the next one to be assigned or when the table cannot grow.
  bool ok = true;
  const unsigned char* previous = nullptr;
  long long previousLen = 0;
  unsigned short code;
  while (getNextCode(code) && code != endCode) {
    if (code > firstFree + tableCount) {
      ok = false;
      break;
    }
    if (code == clearCode) {
      initTable();
      previous = nullptr;
      if (!getNextCode(code) || code == endCode) break;
    }
    long long len = 0;
    const unsigned char* s = getTableString(code, len);
    if (!previous) {
      if (!s) break;
    } else if (s) {
      addTableString(previous, previousLen, s[0]);
    } else {
      // The code being assigned right now: the previous string and its own first byte.
      if (!addTableString(previous, previousLen, previous[0])) {
        ok = false;
        break;
      }
      s = table[tableCount - 1].bytes;
      len = previousLen + 1;
    }
    if (!writeString(s, len)) {
      ok = false;
      break;
    }
    if (outputPosition >= limit()) break;
    previous = s;
    previousLen = len;
  }
  if (!output.toBuffer(out)) ok = false;
  output.reset();
  strings.destroy();
  return ok;
}
