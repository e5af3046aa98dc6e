// Demosaicing: one colour per photosite in, full-colour 16-bit pixel words
// out (blue bits 0-15, green 16-31, red 32-47, alpha 65535).
#pragma once

#include "picts/balance.h"

// PPG needs colours that repeat every two columns (a cBayerFilter8x2); any
// other filter is refused.
bool interpolatePPG(sInterpolateInfo& info, sMarginInfo* margins, double (*matrix)[3][3]);
bool interpolateLinear(sInterpolateInfo& info, sMarginInfo* margins);
bool interpolateLinearNonRGB(sInterpolateInfo& info, double (&mix)[3][4], sMarginInfo* margins);
bool interpolateRawAsIs(sInterpolateInfo& info, double scale, sMarginInfo* margins);
bool interpolateNone(sInterpolateInfo& info, sMarginInfo* margins);
// Fills the frame `border` wide that the inner passes of PPG leave.
bool interpolateBorder(int border, const unsigned short* raw, unsigned long long* pixels, long long rawWidth,
                       long long rawHeight, cBayerFilter* filter, bool bottomUp, const double* multipliers,
                       sMarginInfo* margins, unsigned short black);
// A 2x2 Bayer pattern only; a smooth-fit alternative no decoder picks. The
// target hears the percentage of rows done.
bool interpolateDCT2x2(sInterpolateInfo& info);
bool interpolateDCT2x2Co(const unsigned short* raw, unsigned long long* pixels, long long width, long long height,
                         cBayerFilter* filter, bool bottomUp, const double* multipliers,
                         cProgressNotifyTarget* progress = nullptr);
// The same frame for a buffer without margins that keeps channel c in bits
// 16c..16c+15 and the own colour's sample unscaled.
bool interpolateBorderRaw(int border, const unsigned short* raw, unsigned long long* pixels, long long width,
                          long long height, cBayerFilter* filter, const double* multipliers);
