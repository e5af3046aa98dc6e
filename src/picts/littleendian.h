// Little-endian numbers out of bytes already read; most raster formats
// other than PNG store their header fields so.
#pragma once

constexpr unsigned int le16(const unsigned char* p) { return p[0] | static_cast<unsigned int>(p[1]) << 8; }
constexpr unsigned int le32(const unsigned char* p) {
  return p[0] | static_cast<unsigned int>(p[1]) << 8 | static_cast<unsigned int>(p[2]) << 16 |
         static_cast<unsigned int>(p[3]) << 24;
}
inline void putLe16(unsigned char* p, unsigned int v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void putLe32(unsigned char* p, unsigned int v) {
  putLe16(p, v);
  putLe16(p + 2, v >> 16);
}
