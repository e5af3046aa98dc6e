// The loops of the raw finishing chain that run on every pixel of a
// picture (0xAAAARRRRGGGGBBBB words): the level count, the tone curve, the
// saturation and the white balance. Out of line over plain pointers:
// inlined among calls that may throw, their loads would count as throwing
// and never be vectorised. All but the count have a wider build for
// processors with AVX2, chosen once at run time; both give the same bits.
#pragma once

// Adds the red, green and blue samples shifted right by `shift` to their
// bins; each array holds 65536 >> shift counts.
void countLevels(const unsigned long long* pixels, long long count, unsigned shift, unsigned int* red,
                 unsigned int* green, unsigned int* blue);

// The number of entries a curve handed to levelRun holds: one per 16-bit
// level and one more that wide loads may touch but never use.
constexpr long long kLevelCurveEntries = 65537;

// Red, green and blue through `curve` when it is not null, then, when
// `saturate` is set, each moved away from the luma
// int(b * 0.11 + r * 0.3 + g * 0.59) by half again, truncated and clipped
// to 0..65535; alpha is kept. `src` may be `dst`.
void levelRun(const unsigned short* curve, const unsigned long long* src, unsigned long long* dst,
              long long count, bool saturate);

// Red, green and blue times factors[0], [1] and [2], truncated and clipped
// to 0..65535 (a NaN product gives 0); alpha is kept.
void levelScale(unsigned long long* pixels, long long count, const double* factors);

// Whether the AVX2 build runs where the processor has it (the default);
// false keeps to the plain build, so that both can be checked on one machine.
// For tests: not to be called while another thread decodes.
void levelUseWideKernels(bool use);
