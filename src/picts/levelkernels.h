// The loops of the raw finishing chain that run on every pixel of a
// picture (0xAAAARRRRGGGGBBBB words): the level count, the tone curve and
// the saturation, written out of line over plain pointers so that they are
// vectorised, with a wider build for processors that have AVX2 chosen once
// at run time. Both builds give the same bits.
#pragma once

// The level count spreads its increments over this many sets of tables,
// pixel k of every kLevelWays going to set k: a run of equal levels then
// does not wait on each store before the next load of the same bin.
constexpr int kLevelWays = 4;

// Adds the red, green and blue samples shifted right by `shift` to
// `tables`: kLevelWays sets of red, green and blue bins, each of
// 65536 >> shift counts, one after the other. `count` is a multiple of
// kLevelWays except for the last call over a picture.
void countLevels(const unsigned long long* pixels, long long count, unsigned shift, unsigned int* tables);

// The number of entries a curve handed to levelRun holds: one per 16-bit
// level and one more that wide loads may touch but never use.
constexpr long long kLevelCurveEntries = 65537;

// Red, green and blue through `curve` when it is not null, then, when
// `saturate` is set, each moved away from the luma
// int(b * 0.11 + r * 0.3 + g * 0.59) by half again, truncated and clipped
// to 0..65535; alpha is kept. `src` may be `dst`.
void levelRun(const unsigned short* curve, const unsigned long long* src, unsigned long long* dst,
              long long count, bool saturate);

// Whether the AVX2 build runs where the processor has it (the default);
// false keeps to the plain build, so that both can be checked on one machine.
// For tests: not to be called while another thread decodes.
void levelUseWideKernels(bool use);
