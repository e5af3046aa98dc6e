// Little-endian fields of the package formats over any byte stream. Every
// reader asks for all of its bytes at once, so a stream that ends early or
// answers an error fails the field instead of leaving it half-read.
#pragma once

#include "base/targets.h"

inline bool readU8(cFileIOTarget& in, unsigned char& v) { return in.readf(&v, 1); }

inline bool readU16(cFileIOTarget& in, unsigned short& v) {
  unsigned char b[2];
  if (!in.readf(b, 2)) return false;
  v = static_cast<unsigned short>(b[0] | b[1] << 8);
  return true;
}

inline bool readU32(cFileIOTarget& in, unsigned int& v) {
  unsigned char b[4];
  if (!in.readf(b, 4)) return false;
  v = b[0] | b[1] << 8 | b[2] << 16 | static_cast<unsigned int>(b[3]) << 24;
  return true;
}

inline void putU16(unsigned char* at, unsigned int v) {
  at[0] = static_cast<unsigned char>(v);
  at[1] = static_cast<unsigned char>(v >> 8);
}

inline void putU32(unsigned char* at, unsigned int v) {
  putU16(at, v);
  putU16(at + 2, v >> 16);
}

inline bool writeU8(cFileIOTarget& out, unsigned char v) { return out.writef(&v, 1); }

inline bool writeU16(cFileIOTarget& out, unsigned int v) {
  unsigned char b[2];
  putU16(b, v);
  return out.writef(b, 2);
}

inline bool writeU32(cFileIOTarget& out, unsigned int v) {
  unsigned char b[4];
  putU32(b, v);
  return out.writef(b, 4);
}

// Large blocks go in pieces: the system moves at most about 2 GiB in one
// call, and a file would answer a bigger request short.
inline constexpr unsigned int kBlockPiece = 1u << 30;

inline bool readBlock(cFileIOTarget& in, void* buf, unsigned long long size) {
  for (unsigned char* at = static_cast<unsigned char*>(buf); size;) {
    unsigned int piece = size < kBlockPiece ? static_cast<unsigned int>(size) : kBlockPiece;
    if (!in.readf(at, piece)) return false;
    at += piece;
    size -= piece;
  }
  return true;
}

inline bool writeBlock(cFileIOTarget& out, const void* buf, unsigned long long size) {
  for (const unsigned char* at = static_cast<const unsigned char*>(buf); size;) {
    unsigned int piece = size < kBlockPiece ? static_cast<unsigned int>(size) : kBlockPiece;
    if (!out.writef(const_cast<unsigned char*>(at), piece)) return false;
    at += piece;
    size -= piece;
  }
  return true;
}
