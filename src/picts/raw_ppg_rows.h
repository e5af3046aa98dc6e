// The inner loops of PPG demosaicing over one row of its working ring.
// A ring row keeps each of the three colours as two half rows, its even and
// its odd columns, so that the sites one stage visits (every other column)
// lie side by side and the loops run over them with unit stride, which the
// compiler vectorises. Column x of colour k is `c[k][x & 1][x >> 1]`.
// The loops live out of line: inlined among calls that may throw, their
// loads would count as throwing and they would not be vectorised.
#pragma once

struct sPPGLine {
  unsigned short* c[3][2];
};

// The scaling stage: sample x of `src` (w of them) through `lut[x & 1]`
// into colour `channel[x & 1]`, the other two colours of its site zeroed;
// `lo` and `hi` widen to the samples' range.
void ppgScaleLine(const unsigned short* src, long long w, const unsigned short* const (&lut)[2],
                  const int (&channel)[2], const sPPGLine& out, unsigned& lo, unsigned& hi);

// Green at `count` sites of colour `c` in the middle row of `rows` (seven
// rows, y - 3 to y + 3), columns 2i + p from i = `from` on.
void ppgGreenSites(const sPPGLine (&rows)[7], int c, int p, long long from, long long count);

// Colour `c` from across and 2 - c from along at green sites of the middle
// row of `rows` (y - 1 to y + 1).
void ppgColoursAtGreen(const sPPGLine (&rows)[3], int c, int p, long long from, long long count);

// Colour `c` at the sites of the other one, from the diagonal with the
// smaller gradient.
void ppgColourAtOthers(const sPPGLine (&rows)[3], int c, int p, long long from, long long count);

// The row's w columns as finished pixel words (blue bits 0-15, green 16-31,
// red 32-47, alpha 65535).
void ppgOutputLine(const sPPGLine& row, long long w, unsigned long long* dst);
