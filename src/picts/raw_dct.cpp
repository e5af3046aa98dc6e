// The transform filter: each colour's 4x4 samples of an 8x8 window go
// through a 4-point DCT and are evaluated again on the full photosite grid,
// so every pixel gets every colour from a smooth fit of its neighbourhood.
#include <cmath>
#include <mutex>

#include "picts/raw_interpol.h"

namespace {

double gForward[4][4][4][4];  // [u][v][x][y]
double gInverse[9][9][4][4];  // [p][q][u][v], p and q in half-sample steps
std::once_flag gTablesOnce;

// Decoders run on their callers' threads; the tables are filled exactly once.
void fillTables() {
  const double pi = 3.14159265358979323846;
  auto c = [](int k) { return k ? 0.7071067811865476 : 0.5; };
  for (int u = 0; u < 4; ++u)
    for (int v = 0; v < 4; ++v) {
      for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 4; ++y)
          gForward[u][v][x][y] =
              c(u) * c(v) * std::cos((x + 0.5) * u * pi / 4) * std::cos((y + 0.5) * v * pi / 4);
      for (int p = 0; p < 9; ++p)
        for (int q = 0; q < 9; ++q)
          gInverse[p][q][u][v] =
              c(u) * c(v) * std::cos(u * p * 0.5 * pi / 4) * std::cos(v * q * 0.5 * pi / 4);
    }
}

// Mirrors a coordinate into 0..n-1; the period 2(n-1) is even, so the colour
// phase holds however far a window reaches past a small picture.
long long mirror(long long v, long long n) {
  const long long period = 2 * (n - 1);
  v %= period;
  if (v < 0) v += period;
  return v < n ? v : period - v;
}

}  // namespace

bool interpolateDCT2x2Co(const unsigned short* raw, unsigned long long* pixels, long long width,
                         long long height, cBayerFilter* filter, bool bottomUp, const double* multipliers,
                         cProgressNotifyTarget* progress) {
  auto* f = dynamic_cast<cBayerFilter8x2*>(filter);
  if (!raw || !pixels || width < 2 || height < 2 || !f || f->rows() != 2) return false;
  int seen[3] = {0, 0, 0};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      const int c = f->color(x, y);
      ++seen[c == 3 ? 1 : c];
    }
  if (seen[0] * seen[1] * seen[2] != 2) return false;
  std::call_once(gTablesOnce, fillTables);
  const double one[4] = {1, 1, 1, 1};
  if (!multipliers) multipliers = one;
  for (long long wy = -1; wy < height - 1; wy += 6) {
    for (long long wx = -1; wx < width - 1; wx += 6) {
      double sum[3][8][8] = {}, cnt[3] = {};
      // One pass per phase of the 2x2 cell: each is one colour's 4x4 grid.
      for (int py = 0; py < 2; ++py)
        for (int px = 0; px < 2; ++px) {
          const int c0 = f->color(int(wx + px + 2), int(wy + py + 2));
          const int c = c0 == 3 ? 1 : c0;
          double coef[4][4] = {};
          for (int x = 0; x < 4; ++x)
            for (int y = 0; y < 4; ++y) {
              const double s = raw[mirror(wy + py + 2 * y, height) * width + mirror(wx + px + 2 * x, width)];
              for (int u = 0; u < 4; ++u)
                for (int v = 0; v < 4; ++v) coef[u][v] += gForward[u][v][x][y] * s;
            }
          for (int X = 1; X < 7; ++X)
            for (int Y = 1; Y < 7; ++Y) {
              double s = 0;
              for (int u = 0; u < 4; ++u)
                for (int v = 0; v < 4; ++v) s += gInverse[X - px + 1][Y - py + 1][u][v] * coef[u][v];
              sum[c][X][Y] += s;
            }
          ++cnt[c];
        }
      for (int Y = 1; Y < 7 && wy + Y < height; ++Y) {
        const long long y = wy + Y;
        unsigned long long* row = pixels + (bottomUp ? height - 1 - y : y) * width;
        for (int X = 1; X < 7 && wx + X < width; ++X) {
          unsigned long long ch[3];
          for (int c = 0; c < 3; ++c) {
            const double v = sum[c][X][Y] / cnt[c] * multipliers[c] + 0.5;
            ch[c] = v <= 0 ? 0 : v >= 65535 ? 65535 : (unsigned long long)v;
          }
          row[wx + X] = 0xFFFF000000000000ULL | ch[0] << 32 | ch[1] << 16 | ch[2];
        }
      }
    }
    // A band of windows finishes its six rows together.
    const long long rows = wy + 7 < height ? wy + 7 : height;
    if (progress && !progress->notifyProgress(double(rows) * 100 / double(height))) return false;
  }
  return true;
}

bool interpolateDCT2x2(sInterpolateInfo& info) {
  return interpolateDCT2x2Co(info.raw, info.pixels, info.rawWidth, info.rawHeight, info.filter, info.bottomUp,
                             info.multipliers, info.progress);
}
