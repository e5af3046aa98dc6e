// What every camera-RAW decoder shares once its sensor samples are in memory:
// the colour-filter description, the record handed to a demosaicing filter,
// the histogram and tone curve, saturation, and the one routine that runs
// them in order so that no decoder keeps its own copy of the chain.
#pragma once

#include <functional>

#include "base/buffers.h"
#include "base/progress.h"

class cFileIOTarget;

// The colour-filter array as a file states it: colour indices row by row,
// 0 red, 1 green, 2 blue, 3 a fourth colour.
struct sCFAData {
  _typebuf<unsigned char> pattern;
  unsigned short rows = 0;
  unsigned short columns = 0;
  sCFAData(int rows, int columns, int count);
};

class cBayerFilter {
 public:
  virtual int color(int x, int y) = 0;
  virtual int index(int x, int y) = 0;
  virtual bool init(sCFAData& cfa) = 0;
  virtual ~cBayerFilter() = default;
  // Null for a pattern that is not 2 columns by 2, 4 or 8 rows of 0..3.
  static cBayerFilter* newFilter(sCFAData& cfa);
};

// Up to eight rows of two columns packed two bits an entry, so that a colour
// costs two shifts and a mask in the per-pixel loops. Final: demosaicing
// relies on its colours repeating every two columns.
class cBayerFilter8x2 : public cBayerFilter {
 public:
  int color(int x, int y) final { return int((myPattern >> (2 * (x & 1)) >> (4 * (y & 7))) & 3); }
  int index(int x, int y) override { return int(2 * (y & myRowMask) + (x & 1)); }
  bool init(sCFAData& cfa) override;
  unsigned short columns() const { return myColumns; }
  unsigned short rows() const { return myRows; }

 protected:
  void initFixed(unsigned char a, unsigned char b, unsigned char c, unsigned char d);

 private:
  unsigned short myColumns = 2;
  unsigned short myRows = 2;
  unsigned int myPattern = 0;
  unsigned int myRowMask = 1;
};

class cStdCFAFilter : public cBayerFilter8x2 {
 public:
  cStdCFAFilter() { initFixed(0, 1, 1, 2); }
};

class cStdCFAFilterSH : public cBayerFilter8x2 {
 public:
  cStdCFAFilterSH() { initFixed(2, 1, 1, 0); }
};

class cFujiXTransFilter : public cBayerFilter {
 public:
  int color(int x, int y) override;
  int index(int x, int y) override;
  bool init(sCFAData&) override { return true; }
  static cFujiXTransFilter* newFilter() { return new cFujiXTransFilter; }
};

// Raw samples outside the active area.
struct sMarginInfo {
  unsigned int left = 0;
  unsigned int right = 0;
  unsigned int top = 0;
  unsigned int bottom = 0;
};

struct sInterpolateInfo {
  const unsigned short* raw = nullptr;
  unsigned long long* pixels = nullptr;
  long long rawWidth = 0;
  long long rawHeight = 0;
  cBayerFilter* filter = nullptr;
  cProgressNotifyTarget* progress = nullptr;
  double multipliers[4] = {1, 1, 1, 1};
  bool bottomUp = false;
  unsigned int black = 0;
  unsigned int minimum = 0;
  unsigned int maximum = 65535;
};

// Bins: all channels together, red, green, blue.
struct sHystogram {
  _typebuf<unsigned int> all;
  _typebuf<unsigned int> red;
  _typebuf<unsigned int> green;
  _typebuf<unsigned int> blue;
};

// Lets every long loop of the chain notice a stream that broke under it.
class cStreamGuardProgressTarget : public cProgressNotifyTarget {
 public:
  explicit cStreamGuardProgressTarget(cFileIOTarget* io) : myIO(io) {}
  bool notifyProgress(double) override;

 private:
  cFileIOTarget* myIO;
};

bool buildHystogram(const unsigned long long* pixels, long long count, sHystogram& h, long long bins,
                    cProgressNotifyTarget* progress);
bool getHystogramParams(_typebuf<unsigned int>& bins, unsigned bits, unsigned& low, unsigned& middle,
                        unsigned& high, double fraction);
bool makeDeCurveFromGamma(_typebuf<unsigned int>& curve, unsigned bits, double gamma, unsigned black,
                          unsigned white);
bool makeCurveFromHystogram(_typebuf<unsigned int>& bins, _typebuf<unsigned int>& curve, unsigned bits,
                            unsigned low, unsigned high, double fraction);
bool adjustToCurve(const unsigned long long* src, unsigned long long* dst, long long count,
                   _typebuf<unsigned int>& curve, cProgressNotifyTarget* progress);
bool setSaturation(const unsigned long long* src, unsigned long long* dst, long long count, double saturation,
                   cProgressNotifyTarget* progress);

// A decoder's choices for the shared end of its decode.
struct sRawFinish {
  enum eDemosaic { dmPPG, dmLinear, dmLinearNonRGB, dmNone };
  const unsigned short* raw = nullptr;
  long long rawWidth = 0;
  long long rawHeight = 0;
  sMarginInfo margins;
  cBayerFilter* filter = nullptr;  // not owned
  eDemosaic demosaic = dmPPG;
  unsigned int black = 0;
  unsigned int white = 65535;
  double multipliers[4] = {1, 1, 1, 1};
  double (*matrix)[3][3] = nullptr;  // PPG only
  double (*mix)[3][4] = nullptr;     // four-colour sensors only
  bool saturate = false;
  // Lowers the curve's high point to maximum * min(1, a, b) / max(1, a, b),
  // where a and b are white-balance factors and maximum the demosaiced top,
  // so that a strong factor does not push highlights into a colour cast.
  bool boundHigh = false;
  double boundA = 1;
  double boundB = 1;
  // Reshapes the demosaiced pixels (bottom-up rows) before levels and curve,
  // for sensors whose cells are not laid out as the picture's.
  std::function<bool(_typebuf<unsigned long long>& pixels, long long& width, long long& height)> reshape;
};

// White balance of finished 16-bit pixels: red, green and blue times their
// factor, truncated and capped at 65535.
void balanceRGB(unsigned long long* pixels, long long count, const double (&factors)[3]);

// The end of the chain over finished 16-bit pixels: levels from the
// histogram, gamma curve and, when asked, saturation. A `highBound` of 0
// or more caps the level taken for white.
bool finishLevels(unsigned long long* pixels, long long count, bool saturate, cProgressNotifyTarget* guard,
                  double highBound = -1);

// Demosaics into `out` (active width x height, bottom-up rows) and reshapes
// when asked; `maximum` is the largest raw sample of the active area.
bool demosaicRaw(sRawFinish& f, cProgressNotifyTarget* guard, _typebuf<unsigned long long>& out,
                 long long& width, long long& height, unsigned& maximum);

// demosaicRaw, then finishLevels. False on any refused step.
bool finishRaw(sRawFinish& f, cFileIOTarget* io, _typebuf<unsigned long long>& out, long long& width,
               long long& height);
