#include "hash/checksums.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

template <typename T>
constexpr std::array<T, 256> reflectedTable(T poly) {
  std::array<T, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    T r = i;
    for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ poly : r >> 1;
    table[i] = r;
  }
  return table;
}

constexpr std::array<uint32_t, 256> normalTable(uint32_t poly) {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t r = i << 24;
    for (int k = 0; k < 8; ++k) r = (r & 0x80000000u) ? (r << 1) ^ poly : r << 1;
    table[i] = r;
  }
  return table;
}

template <typename T>
T reflectedCrc(const std::array<T, 256>& table, T reg, const void* data, long long len) {
  auto* p = static_cast<const unsigned char*>(data);
  for (long long i = 0; i < len; ++i) reg = (reg >> 8) ^ table[(reg ^ p[i]) & 0xFF];
  return reg;
}

constexpr auto crc32CTable = reflectedTable<uint32_t>(0x82F63B78u);
constexpr auto p_crctab = normalTable(0x04C11DB7u);
constexpr auto crc32_tab = reflectedTable<uint32_t>(0xEDB88320u);
constexpr auto crc64_tab = reflectedTable<uint64_t>(0xA17870F5D4F51B49ull);

bool nothing(const void* data, long long len) { return data == nullptr || len < 1; }

template <typename Word>
unsigned int sumWords(const void* data, long long len) {
  if (nothing(data, len)) return 0;
  auto* p = static_cast<const unsigned char*>(data);
  unsigned int sum = 0;
  for (long long i = 0; i + static_cast<long long>(sizeof(Word)) <= len; i += sizeof(Word)) {
    Word w;
    std::memcpy(&w, p + i, sizeof w);
    sum += w;
  }
  return sum;
}

}  // namespace

unsigned int crc32c(unsigned int seed, const void* data, long long len) {
  return ~reflectedCrc(crc32CTable, seed, data, len);
}

unsigned int pcrc32(const void* data, long long len) {
  if (nothing(data, len)) return 0;
  auto* p = static_cast<const unsigned char*>(data);
  uint32_t reg = 0;
  auto feed = [&reg](unsigned char byte) { reg = (reg << 8) ^ p_crctab[byte ^ (reg >> 24)]; };
  for (long long i = 0; i < len; ++i) feed(p[i]);
  for (unsigned long long n = static_cast<unsigned long long>(len); n != 0; n >>= 8) feed(n & 0xFF);
  return ~reg;
}

unsigned int adler32(const void* data, long long len) {
  if (len < 0) return 1;
  if (nothing(data, len)) return 0;
  auto* p = static_cast<const unsigned char*>(data);
  uint32_t a = 1, b = 0;
  // 5552 bytes is the longest run whose sums cannot overflow 32 bits before the modulo.
  while (len > 0) {
    long long run = len < 5552 ? len : 5552;
    for (long long i = 0; i < run; ++i) {
      a += p[i];
      b += a;
    }
    a %= 65521;
    b %= 65521;
    p += run;
    len -= run;
  }
  return b << 16 | a;
}

unsigned int crc32w(const void* data, long long len) {
  if (nothing(data, len)) return 0;
  auto* p = static_cast<const unsigned char*>(data);
  uint32_t reg = 0xFFFFFFFF;
  for (long long i = 0; i < len; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      bool differs = ((p[i] >> bit) & 1) != (reg >> 31);
      reg <<= 1;
      if (differs) reg ^= 0x04C11DB7;
    }
  }
  return ~reg;
}

unsigned int crc32(const void* data, long long len) {
  return nothing(data, len) ? 0 : reflectedCrc<uint32_t>(crc32_tab, 0, data, len);
}

unsigned int crc32n(const void* data, long long len) {
  return nothing(data, len) ? 0 : ~reflectedCrc<uint32_t>(crc32_tab, 0xFFFFFFFF, data, len);
}

unsigned long long crc64(const void* data, long long len) {
  return nothing(data, len) ? 0 : reflectedCrc<uint64_t>(crc64_tab, 0, data, len);
}

unsigned long long crc64n(const void* data, long long len) {
  return nothing(data, len) ? 0 : ~reflectedCrc<uint64_t>(crc64_tab, ~0ull, data, len);
}

unsigned int sum32_8(const void* data, long long len) { return sumWords<uint8_t>(data, len); }

unsigned int sum32_16(const void* data, long long len) { return sumWords<uint16_t>(data, len); }

unsigned int sum32_32(const void* data, long long len) { return sumWords<uint32_t>(data, len); }
