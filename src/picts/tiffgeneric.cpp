#include "picts/tiffgeneric.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

#include "base/targets.h"

namespace {

constexpr unsigned long long k32Bits = 0xFFFFFFFFULL;

unsigned long long readUnsigned(const void* p, int bytes, bool bigEndian) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  unsigned long long v = 0;
  for (int i = 0; i < bytes; ++i)
    v |= static_cast<unsigned long long>(b[bigEndian ? i : bytes - 1 - i]) << (8 * (bytes - 1 - i));
  return v;
}

void writeUnsigned(void* p, int bytes, bool bigEndian, unsigned long long v) {
  unsigned char* b = static_cast<unsigned char*>(p);
  for (int i = 0; i < bytes; ++i) b[bigEndian ? bytes - 1 - i : i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

int cTiffGeneric::typeSize(int type) {
  switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
      return 1;
    case 3:
    case 8:
      return 2;
    case 4:
    case 9:
    case 11:
    case 13:
      return 4;
    case 5:
    case 10:
    case 12:
    case 16:
    case 17:
      return 8;
    default:
      return 0;
  }
}

bool cTiffGeneric::readAt(unsigned long long pos, void* buf, unsigned int count) {
  myPosition = static_cast<unsigned int>(pos);
  return pos <= myStreamSize && count <= myStreamSize - pos && myStream->set_fp(pos) &&
         myStream->readf(buf, count);
}

bool cTiffGeneric::processStream(cFileIOTarget* io, unsigned long long size) {
  myError = kErrNone;
  if (!io) return fail(kErrNoStream);
  myStream = io;
  myStreamSize = size == kAskSize ? io->size() : size;
  if (myStreamSize < 8) return fail(kErrShort);
  unsigned char header[8];
  if (!readAt(0, header, 8)) return fail(kErrRead);
  bool bigEndian;
  if (header[0] == 'I' && header[1] == 'I')
    bigEndian = false;
  else if (header[0] == 'M' && header[1] == 'M')
    bigEndian = true;
  else
    return fail(kErrHeader);
  unsigned long long magic = readUnsigned(header + 2, 2, bigEndian);
  unsigned long long first;
  if (magic == 42) {
    first = readUnsigned(header + 4, 4, bigEndian);
    if (first < 8) return fail(kErrHeader);
  } else if (magic == 43) {
    unsigned char field[8];
    if (!readAt(8, field, 8)) return fail(kErrRead);
    first = readUnsigned(field, 8, bigEndian);
    // Offsets are 32-bit throughout the walker; a larger one is refused, not cut.
    if (first > myStreamSize || first > k32Bits) return fail(kErrRead);
  } else {
    return fail(kErrHeader);
  }
  return processStream(io, bigEndian, magic == 43, static_cast<unsigned int>(first), myStreamSize);
}

bool cTiffGeneric::processStream(cFileIOTarget* io, bool bigEndian, bool bigTiff, unsigned int ifdOffset,
                                 unsigned long long size) {
  myError = kErrNone;
  if (!io) return fail(kErrNoStream);
  myStream = io;
  myStreamSize = size == kAskSize ? io->size() : size;
  myBigEndian = bigEndian;
  myBigTiff = bigTiff;
  myNextOffset = 0;
  myIfdOffset = ifdOffset;
  const int countBytes = bigTiff ? 8 : 2;
  const unsigned long long entrySize = bigTiff ? 20 : 12;
  unsigned long long pos = ifdOffset;
  myPosition = ifdOffset;
  if (pos + 2 > myStreamSize) return fail(kErrShort);
  unsigned char field[8];
  if (!readAt(pos, field, countBytes)) return fail(kErrRead);
  pos += countBytes;
  unsigned long long entries = readUnsigned(field, countBytes, bigEndian);
  if (entries > (myStreamSize - pos) / entrySize) return fail(kErrShort);
  for (unsigned long long i = 0; i < entries; ++i, pos += entrySize) {
    unsigned char entry[20];
    if (!readAt(pos, entry, static_cast<unsigned int>(entrySize))) return fail(kErrRead);
    if (!walkEntry(entry)) return false;
  }
  if (!readAt(pos, field, countBytes == 8 ? 8 : 4)) return fail(kErrRead);
  unsigned long long next = readUnsigned(field, bigTiff ? 8 : 4, bigEndian);
  if (next > k32Bits) return fail(kErrRead);
  myPosition = static_cast<unsigned int>(pos + (bigTiff ? 8 : 4));
  myNextOffset = static_cast<unsigned int>(next);
  if (next == 0) return true;
  unsigned char raw[4];
  writeUnsigned(raw, 4, bigEndian, next);
  return onRawTag(kNextIFDTag, 4, raw, 4, 0);
}

bool cTiffGeneric::walkEntry(const unsigned char* entry) {
  const int fieldBytes = myBigTiff ? 8 : 4;
  int tag = static_cast<int>(readUnsigned(entry, 2, myBigEndian));
  int type = static_cast<int>(readUnsigned(entry + 2, 2, myBigEndian));
  unsigned long long count = readUnsigned(entry + 4, fieldBytes, myBigEndian);
  const unsigned char* value = entry + 4 + fieldBytes;
  if (count > myStreamSize) return fail(kErrShort);
  int size = typeSize(type);
  if (size == 0 && !(type == 0 && tag == 0)) return fail(kErrType);
  // count is at most the stream size, so the product cannot wrap.
  unsigned long long length = count * static_cast<unsigned long long>(size);
  if (length > static_cast<unsigned long long>(fieldBytes)) {
    unsigned long long offset = readUnsigned(value, fieldBytes, myBigEndian);
    if (offset >= myStreamSize || length > myStreamSize - offset || offset > k32Bits || length > INT_MAX) {
      myPosition = static_cast<unsigned int>(offset > k32Bits ? k32Bits : offset);
      return fail(kErrValue);
    }
    if (onRawTag(tag, type, nullptr, static_cast<int>(length), static_cast<unsigned int>(offset)))
      return true;
    return myError != kErrNone ? false : fail(kErrCallback);
  }
  // A classic value is followed by four zero bytes, as if it were wider.
  unsigned char local[8] = {};
  std::memcpy(local, value, fieldBytes);
  if (onRawTag(tag, type, local, static_cast<int>(length), 0)) return true;
  return fail(kErrCallback);
}

bool cTiffGeneric::onRawTag(int tag, int type, const void* data, int length, unsigned int offset) {
  if (data) return onTag(tag, type, data, length);
  try {
    if (myValue.count < length) myValue.reset(length);
  } catch (const std::bad_alloc&) {
    myPosition = offset;
    return fail(kErrValue);
  }
  if (!readAt(offset, myValue.ptr, static_cast<unsigned int>(length))) {
    myPosition = offset;
    return fail(kErrValue);
  }
  return onTag(tag, type, myValue.ptr, length);
}

bool cTiffGeneric::onTag(int, int, const void*, int) { return true; }

unsigned int cTiffGeneric::nextOffset() const { return myNextOffset; }

unsigned char cTiffGeneric::getU8(const void* p) const {
  return p ? *static_cast<const unsigned char*>(p) : 0;
}
unsigned short cTiffGeneric::getU16(const void* p) const {
  return p ? static_cast<unsigned short>(readUnsigned(p, 2, myBigEndian)) : 0;
}
unsigned int cTiffGeneric::getU32(const void* p) const {
  return p ? static_cast<unsigned int>(readUnsigned(p, 4, myBigEndian)) : 0;
}
unsigned long long cTiffGeneric::getU64(const void* p) const {
  return p ? readUnsigned(p, 8, myBigEndian) : 0;
}
short cTiffGeneric::getInt16(const void* p) const { return static_cast<short>(getU16(p)); }
int cTiffGeneric::getInt32(const void* p) const { return static_cast<int>(getU32(p)); }

double cTiffGeneric::getFloat(const void* p) const {
  if (!p) return 0.0;
  unsigned int den = getU32(static_cast<const unsigned char*>(p) + 4);
  return den == 0 ? 0.0 : static_cast<double>(getU32(p)) / den;
}

double cTiffGeneric::getFloatSig(const void* p) const {
  if (!p) return 0.0;
  unsigned int den = getU32(static_cast<const unsigned char*>(p) + 4);
  return den == 0 ? 0.0 : static_cast<double>(getInt32(p)) / den;
}

template <typename T, typename F>
void cTiffGeneric::convertArray(const void* p, long long length, int size, _typebuf<T>& out,
                                F element) const {
  long long n = p && length > 0 ? length / size : 0;
  out.set(n);
  const unsigned char* b = static_cast<const unsigned char*>(p);
  for (long long i = 0; i < n; ++i) out.ptr[i] = element(b + i * size);
}

void cTiffGeneric::getDataU16(const void* p, long long length, _typebuf<unsigned short>& out) const {
  convertArray(p, length, 2, out, [this](const unsigned char* b) { return getU16(b); });
}
void cTiffGeneric::getDataU32(const void* p, long long length, _typebuf<unsigned int>& out) const {
  convertArray(p, length, 4, out, [this](const unsigned char* b) { return getU32(b); });
}
void cTiffGeneric::getDataU64(const void* p, long long length, _typebuf<unsigned long long>& out) const {
  convertArray(p, length, 8, out, [this](const unsigned char* b) { return getU64(b); });
}
void cTiffGeneric::getDataInt16(const void* p, long long length, _typebuf<short>& out) const {
  convertArray(p, length, 2, out, [this](const unsigned char* b) { return getInt16(b); });
}
void cTiffGeneric::getDataInt32(const void* p, long long length, _typebuf<int>& out) const {
  convertArray(p, length, 4, out, [this](const unsigned char* b) { return getInt32(b); });
}
void cTiffGeneric::getDataInt64(const void* p, long long length, _typebuf<long long>& out) const {
  convertArray(p, length, 8, out,
               [this](const unsigned char* b) { return static_cast<long long>(getU64(b)); });
}
void cTiffGeneric::getDataRational(const void* p, long long length, _typebuf<sRational>& out) const {
  convertArray(p, length, 8, out, [this](const unsigned char* b) {
    return sRational{getU32(b), getU32(b + 4)};
  });
}
void cTiffGeneric::getDataRational(const void* p, long long length, _typebuf<double>& out) const {
  convertArray(p, length, 8, out, [this](const unsigned char* b) { return getFloat(b); });
}
void cTiffGeneric::getDataSRational(const void* p, long long length, _typebuf<sSignedRational>& out) const {
  convertArray(p, length, 8, out, [this](const unsigned char* b) {
    return sSignedRational{getInt32(b), getInt32(b + 4)};
  });
}
void cTiffGeneric::getDataSRational(const void* p, long long length, _typebuf<double>& out) const {
  convertArray(p, length, 8, out, [this](const unsigned char* b) {
    int den = getInt32(b + 4);
    return den == 0 ? 0.0 : static_cast<double>(getInt32(b)) / den;
  });
}

bool cTiffGeneric::getValU8(const sTagProcessParam& t, unsigned char& v) const {
  if ((t.type != 1 && t.type != 7) || t.length < 1) return false;
  v = getU8(t.data);
  return true;
}

bool cTiffGeneric::getValsU8(const sTagProcessParam& t, _typebuf<unsigned char>& v) const {
  v.set(t.data ? t.length : 0);
  if (v.count) std::memcpy(v.ptr, t.data, static_cast<size_t>(v.count));
  return true;
}

bool cTiffGeneric::getValsASCII(const sTagProcessParam& t, _typebuf<char>& v) const {
  if (t.type != 2) return false;
  v.set(t.data ? t.length : 0);
  if (v.count) std::memcpy(v.ptr, t.data, static_cast<size_t>(v.count));
  return true;
}

bool cTiffGeneric::getValsPCHAR(const sTagProcessParam& t, _typebuf<char>& v) const {
  if (t.type != 2) return false;
  long long n = 0;
  const char* text = static_cast<const char*>(t.data);
  while (text && n < t.length && text[n]) ++n;
  v.set(n + 1);
  if (n) std::memcpy(v.ptr, text, static_cast<size_t>(n));
  v.ptr[n] = 0;
  return true;
}

bool cTiffGeneric::getValU16(const sTagProcessParam& t, unsigned short& v) const {
  if (t.type != 3 || t.length < 2) return false;
  v = getU16(t.data);
  return true;
}

bool cTiffGeneric::getValsU16(const sTagProcessParam& t, _typebuf<unsigned short>& v) const {
  if (t.type != 3) return false;
  getDataU16(t.data, t.length, v);
  return true;
}

bool cTiffGeneric::getValU32(const sTagProcessParam& t, unsigned int& v) const {
  if ((t.type == 4 || t.type == 13) && t.length >= 4)
    v = getU32(t.data);
  else if (t.type == 3 && t.length >= 2)
    v = getU16(t.data);
  else
    return false;
  return true;
}

bool cTiffGeneric::getValsU32(const sTagProcessParam& t, _typebuf<unsigned int>& v) const {
  if (t.type == 4) {
    getDataU32(t.data, t.length, v);
    return true;
  }
  if (t.type == 3) {
    convertArray(t.data, t.length, 2, v,
                 [this](const unsigned char* b) { return static_cast<unsigned int>(getU16(b)); });
    return true;
  }
  if (t.type != 16) return false;
  const unsigned char* b = static_cast<const unsigned char*>(t.data);
  for (long long i = 0; b && i + 8 <= t.length; i += 8)
    if (getU64(b + i) > k32Bits) return false;
  convertArray(t.data, t.length, 8, v,
               [this](const unsigned char* e) { return static_cast<unsigned int>(getU64(e)); });
  return true;
}

bool cTiffGeneric::getValRational(const sTagProcessParam& t, sRational& v) const {
  if (t.type != 5 || t.length < 8) return false;
  v = {getU32(t.data), getU32(static_cast<const unsigned char*>(t.data) + 4)};
  return true;
}

bool cTiffGeneric::getValsRational(const sTagProcessParam& t, _typebuf<sRational>& v) const {
  if (t.type != 5) return false;
  getDataRational(t.data, t.length, v);
  return true;
}

bool cTiffGeneric::getValSRational(const sTagProcessParam& t, sSignedRational& v) const {
  if (t.type != 10 || t.length < 8) return false;
  v = {getInt32(t.data), getInt32(static_cast<const unsigned char*>(t.data) + 4)};
  return true;
}

bool cTiffGeneric::getValsSRational(const sTagProcessParam& t, _typebuf<sSignedRational>& v) const {
  if (t.type != 10) return false;
  getDataSRational(t.data, t.length, v);
  return true;
}

bool cTiffGeneric::getValDouble(const sTagProcessParam& t, double& v) const {
  if ((t.type != 5 && t.type != 10) || t.length < 8) return false;
  v = t.type == 5 ? getFloat(t.data) : getFloatSig(t.data);
  return true;
}

bool cTiffGeneric::getValsDouble(const sTagProcessParam& t, _typebuf<double>& v) const {
  if (t.type == 5)
    getDataRational(t.data, t.length, v);
  else if (t.type == 10)
    convertArray(t.data, t.length, 8, v, [this](const unsigned char* b) { return getFloatSig(b); });
  else
    return false;
  return true;
}

bool cTiffGeneric::getValI16(const sTagProcessParam& t, short& v) const {
  if (t.type != 8 || t.length < 2) return false;
  v = getInt16(t.data);
  return true;
}

bool cTiffGeneric::getValsI16(const sTagProcessParam& t, _typebuf<short>& v) const {
  if (t.type != 8) return false;
  getDataInt16(t.data, t.length, v);
  return true;
}

bool cTiffGeneric::getValI32(const sTagProcessParam& t, int& v) const {
  if (t.type == 9 && t.length >= 4)
    v = getInt32(t.data);
  else if (t.type == 8 && t.length >= 2)
    v = getInt16(t.data);
  else
    return false;
  return true;
}

bool cTiffGeneric::getValsI32(const sTagProcessParam& t, _typebuf<int>& v) const {
  if (t.type == 9)
    getDataInt32(t.data, t.length, v);
  else if (t.type == 8)
    convertArray(t.data, t.length, 2, v,
                 [this](const unsigned char* b) { return static_cast<int>(getInt16(b)); });
  else
    return false;
  return true;
}

bool cTiffGeneric::getDate(const char* text, int length, sTimestamp& out) {
  if (!text || (length != 10 && length != 19)) return false;
  char copy[20] = {};
  std::memcpy(copy, text, static_cast<size_t>(length));
  for (int at : {4, 7, 10, 13, 16})
    if (at < length) copy[at] = '-';
  int f[6] = {0, 0, 0, 0, 0, 0};
  int want = length == 10 ? 3 : 6;
  int got = length == 10 ? std::sscanf(copy, "%04d-%02d-%02d", &f[0], &f[1], &f[2])
                         : std::sscanf(copy, "%04d-%02d-%02d-%02d-%02d-%02d", &f[0], &f[1], &f[2], &f[3],
                                       &f[4], &f[5]);
  if (got != want) return false;
  if (f[0] < 1900 || f[0] > 2100 || f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 || f[3] < 0 || f[3] > 23 ||
      f[4] < 0 || f[4] > 59 || f[5] < 0 || f[5] > 59)
    return false;
  out = {static_cast<unsigned short>(f[0]), static_cast<unsigned char>(f[1]),
         static_cast<unsigned char>(f[2]),  static_cast<unsigned char>(f[3]),
         static_cast<unsigned char>(f[4]),  static_cast<unsigned char>(f[5])};
  return true;
}
