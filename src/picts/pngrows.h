// The per-row work of the PNG decoder, kept apart from the chunk walk: undoing
// the row filters and turning samples into pixel words. These loops carry
// nearly all of the decoder's time besides inflating.
#pragma once

// Undoes the filter `type` on `bytes` bytes of `row` (after its filter byte),
// against `prior` (the previous row of the same pass, zeroed at its start).
// `bpp` is the byte distance of the filters, 1 to 8. Types above 4 are None.
void pngUnfilter(unsigned char* row, const unsigned char* prior, long long bytes, int bpp, int type);

// How the samples of a row become pixel words.
struct sPngRowFormat {
  int colorType = 0;
  int depth = 0;
  // Word of every grey level (types 0 below 16 bits) or palette index
  // (type 3), transparency already applied; `lutSize` entries are valid.
  const unsigned int* lut = nullptr;
  int lutSize = 0;
  bool hasKey = false;
  unsigned int key8 = 0;         // 0x00RRGGBB, 8-bit RGB
  unsigned long long key16 = 0;  // three 16-bit channels, 16-bit grey and RGB
};

// Converts `count` pixels of `samples` into out[0], out[step], ...; false
// when a palette index falls outside the palette.
bool pngRowTo8(const sPngRowFormat& f, const unsigned char* samples, long long count, unsigned int* out,
               long long step);
void pngRowTo16(const sPngRowFormat& f, const unsigned char* samples, long long count,
                unsigned long long* out, long long step);
